#include "CompanionFiles.h"
#include "WindowedSend.h"
#include "midi/CaptureClient.h"
#include "midi/JackServer.h"
#include "support/ChildProcess.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>

using namespace CompanionFiles;

namespace {

struct Result {
    int Status = -1;
    QByteArray Out;
    QByteArray Err;
};

// The companion itself, started as a user starts it, on the JACK server of the test.
Result runCompanion(const QStringList& args, const QString& configHome,
                    const QString& server = QString()) {
    ChildProcess program;
    QStringList command{"XDG_CONFIG_HOME=" + configHome};
    if (!server.isEmpty()) command << "JACK_DEFAULT_SERVER=" + server;
    Result result;
    if (!program.start(command << QStringLiteral(QUENLOR_SYSEX_PROGRAM) << args) ||
        !program.waitForFinished(60000))
        return result;
    result.Status = program.exitCode();
    result.Out = program.output("out");
    result.Err = program.output("err");
    return result;
}

} // namespace

// quenlor-sysex end to end: a JACK server with no sound card, a client of the test's
// own reading what arrives, and the companion run as a program of its own.
class TestCompanionJack : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void portsListsTheCaptureClient();
    void sendArrivesExactly_data();
    void sendArrivesExactly();
    void sendToAPortThatIsNotThere();
    void noServer();

    // With the windowed program running beside the companion.
    void sendThroughTheProgramsOutput_data();
    void sendThroughTheProgramsOutput();
    void programsPortsAreNoDevices();
    void programsInputFollowsNoCompanion();
    void cleanup();

private:
    bool waitForMessages(std::size_t count);
    void storeSettings(const QByteArray& midiSection);
    // The program as a user starts it, on the test's server with the test's settings;
    // both its ports are there when this returns (it registers "MIDI Out" second).
    void startProgram();
    void connectProgramsOutput();
    QStringList connectionsOf(const char* port) const;

    JackServer m_server;
    std::unique_ptr<CaptureClient> m_capture;
    QTemporaryDir m_dir;
    QString m_configHome;
    std::unique_ptr<ChildProcess> m_program;
};

void TestCompanionJack::initTestCase() {
    // JACK must be there: without it these tests fail, they are not skipped.
    QVERIFY2(m_server.Start(), qPrintable(m_server.error()));
    m_capture = std::make_unique<CaptureClient>();
    QVERIFY(m_capture->isOpen());
    QVERIFY(m_dir.isValid());
    m_configHome = m_dir.filePath("config");
    QVERIFY(QDir().mkpath(m_configHome + "/Quenlor"));
}

void TestCompanionJack::cleanupTestCase() {
    m_capture.reset();
    m_server.stop();
}

void TestCompanionJack::init() {
    m_capture->clearReceived();
    QFile::remove(m_configHome + "/Quenlor/Quenlor.conf");
}

bool TestCompanionJack::waitForMessages(std::size_t count) {
    QElapsedTimer waited;
    waited.start();
    while (m_capture->receivedCount() < count && waited.elapsed() < 5000)
        QThread::msleep(10);
    return m_capture->receivedCount() >= count;
}

// The settings as the windowed program leaves them in the user's configuration.
void TestCompanionJack::storeSettings(const QByteArray& midiSection) {
    QVERIFY(
        CompanionFiles::write(m_configHome + "/Quenlor/Quenlor.conf", "[MIDI]\n" + midiSection));
}

void TestCompanionJack::portsListsTheCaptureClient() {
    const Result all = runCompanion({"ports", "--midi", "jack"}, m_configHome);
    QCOMPARE(all.Status, 0);
    QCOMPARE(all.Err, QByteArray());
    QVERIFY2(all.Out.startsWith("MIDI system: JACK\nOutputs:\n  Quenlor:MIDI Out\n"),
             all.Out.constData());
    const qsizetype inputs = all.Out.indexOf("Inputs:\n");
    QVERIFY(inputs > 0);
    QVERIFY2(all.Out.left(inputs).contains("\n  capture:input\n"), all.Out.constData());
    QVERIFY2(all.Out.mid(inputs).contains("\n  capture:output\n"), all.Out.constData());

    const Result outputs = runCompanion({"ports", "--outputs", "--midi", "jack"}, m_configHome);
    QCOMPARE(outputs.Status, 0);
    const QList<QByteArray> names = outputs.Out.split('\n');
    QCOMPARE(names.first(), QByteArray("Quenlor:MIDI Out"));
    QVERIFY(names.contains("capture:input"));
    QVERIFY(!names.contains("capture:output"));
    // Only the companion's own client is left out: none of its ports is a device.
    QCOMPARE(names.count("Quenlor:MIDI Out"), 1);
}

void TestCompanionJack::sendArrivesExactly_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("patch");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("bit99");
    QTest::newRow("port given") << QStringList{"--port", "capture:input", "--patch",
                                               "7",      "--channel",     "10",
                                               "--bit99"}
                                << QByteArray() << 7 << 10 << 1;
    QTest::newRow("port from the settings")
        << QStringList{"--patch", "74"}
        << QByteArray("MIDIOutPort=capture:input\nMIDIChannelOut=\" 3\"\nBit99Compatible=No\n")
        << 74 << 3 << 0;
    QTest::newRow("default patch, stored Bit 99")
        << QStringList{} << QByteArray("MIDIOutPort=capture:input\nBit99Compatible=Yes\n") << 1 << 1
        << 1;
}

void TestCompanionJack::sendArrivesExactly() {
    QFETCH(QStringList, options);
    QFETCH(QByteArray, stored);
    QFETCH(int, patch);
    QFETCH(int, channel);
    QFETCH(int, bit99);
    if (!stored.isEmpty()) storeSettings(stored);
    const QString file = m_dir.filePath("varied.bbk");
    QVERIFY(CompanionFiles::write(file, variedBank()));

    const Result result =
        runCompanion(QStringList{"send", file, "--midi", "jack"} + options, m_configHome);
    QCOMPARE(result.Err, QByteArray());
    QCOMPARE(result.Status, 0);
    QVERIFY2(waitForMessages(2), qPrintable(QString::number(m_capture->receivedCount())));
    QThread::msleep(100); // nothing more may follow
    const std::vector<Bytes> expected = sentByTheProgram(file, patch, channel, bit99);
    QCOMPARE(m_capture->received(), expected);
    QCOMPARE(expected.back(), (Bytes{uint8_t(0xC0 + channel - 1), 0}));
}

void TestCompanionJack::sendToAPortThatIsNotThere() {
    storeSettings("MIDIOutPort=capture:input\n");
    const QString file = m_dir.filePath("good.bbk");
    QVERIFY(CompanionFiles::write(file, bank()));
    const Result result =
        runCompanion({"send", file, "--midi", "jack", "--port", "capture:in"}, m_configHome);
    QCOMPARE(result.Status, 1);
    QCOMPARE(
        result.Err,
        QByteArray(
            "quenlor-sysex: no MIDI output named 'capture:in' (quenlor-sysex ports lists them)\n"));
    QThread::msleep(200);
    QCOMPARE(m_capture->receivedCount(), std::size_t(0));
}

void TestCompanionJack::noServer() {
    const Result result = runCompanion(
        {"ports", "--midi", "jack"}, m_configHome,
        QStringLiteral("quenlor-no-such-server-%1").arg(QCoreApplication::applicationPid()));
    QCOMPARE(result.Status, 1);
    QCOMPARE(result.Err, QByteArray("quenlor-sysex: no JACK server is running\n"));
    QCOMPARE(result.Out, QByteArray());
}

void TestCompanionJack::startProgram() {
    // An ALSA configuration without a sequencer: the program takes the JACK server, as on
    // a machine where only JACK runs.
    const QString noAlsa = m_dir.filePath("no-alsa.conf");
    QVERIFY(CompanionFiles::write(noAlsa, QByteArray()));
    m_program = std::make_unique<ChildProcess>();
    QVERIFY(m_program->start({"QT_QPA_PLATFORM=offscreen", "HOME=" + m_dir.path(),
                              "XDG_CONFIG_HOME=" + m_configHome,
                              "XDG_STATE_HOME=" + m_dir.filePath("state"),
                              "XDG_DATA_HOME=" + m_dir.filePath("data"),
                              "ALSA_CONFIG_PATH=" + noAlsa, QStringLiteral(QUENLOR_PROGRAM)}));
    jack_client_t* watcher = jack_client_open("watcher", JackNoStartServer, nullptr);
    QVERIFY(watcher);
    const bool up = QTest::qWaitFor(
        [watcher] { return jack_port_by_name(watcher, "Quenlor:MIDI Out") != nullptr; }, 20000);
    jack_client_close(watcher);
    QVERIFY2(up, m_program->output("err").constData());
}

// As a patchbay connects it; a client takes connections only once it is active, a moment
// after its ports are there.
void TestCompanionJack::connectProgramsOutput() {
    QVERIFY(QTest::qWaitFor([this] {
        jack_connect(m_capture->client(), "Quenlor:MIDI Out", "capture:input");
        return m_capture->connected("Quenlor:MIDI Out", "capture:input");
    }));
}

// What came on one channel: the program's own patch as it starts (on the stored channel,
// whenever it gets to it) is told apart from what the companion sends on another.
std::vector<Bytes> onChannel(const std::vector<Bytes>& received, int channel) {
    std::vector<Bytes> kept;
    for (const Bytes& message : received)
        if (((message.at(0) == 0xF0 ? message.at(2) : message.at(0)) & 0x0F) == channel - 1)
            kept.push_back(message);
    return kept;
}

void TestCompanionJack::cleanup() {
    if (!m_program) return;
    m_program->signal(SIGTERM);
    QVERIFY(m_program->waitForFinished(10000));
    m_program.reset();
}

QStringList TestCompanionJack::connectionsOf(const char* port) const {
    QStringList names;
    jack_port_t* found = jack_port_by_name(m_capture->client(), port);
    const char** connections =
        found ? jack_port_get_all_connections(m_capture->client(), found) : nullptr;
    for (const char** c = connections; c && *c; ++c)
        names << QString::fromUtf8(*c);
    jack_free(connections);
    return names;
}

void TestCompanionJack::sendThroughTheProgramsOutput_data() {
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("connected"); // "Quenlor:MIDI Out" to "capture:input"
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    const QByteArray sent = "sent to capture:input, which Quenlor:MIDI Out is connected to\n";
    QTest::newRow("nothing stored") << true << true << QByteArray() << QStringList{} << sent
                                    << QByteArray();
    QTest::newRow("the program's output stored")
        << true << true << QByteArray("MIDIOutPort=Quenlor:MIDI Out\n") << QStringList{} << sent
        << QByteArray();
    QTest::newRow("the program's output given")
        << true << true << QByteArray("MIDIOutPort=capture:input\n")
        << QStringList{"--port", "Quenlor:MIDI Out"} << sent << QByteArray();
    QTest::newRow("connected to nothing")
        << true << false << QByteArray() << QStringList{} << QByteArray()
        << QByteArray("quenlor-sysex: Quenlor's own output, Quenlor:MIDI Out, is connected to no "
                      "device; connect it to one, or name a device with --port NAME "
                      "(quenlor-sysex ports lists them)\n");
    QTest::newRow("the program not running")
        << false << false << QByteArray() << QStringList{} << QByteArray()
        << QByteArray("quenlor-sysex: Quenlor is not running, so its own output, Quenlor:MIDI "
                      "Out, reaches no device; start Quenlor, or name a device with --port NAME "
                      "(quenlor-sysex ports lists them)\n");
}

// The program's own output chosen, as the README suggests, the companion sends where that
// output is connected, and says so; with nowhere to send, it fails and says why.
void TestCompanionJack::sendThroughTheProgramsOutput() {
    QFETCH(bool, running);
    QFETCH(bool, connected);
    QFETCH(QByteArray, stored);
    QFETCH(QStringList, options);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    storeSettings(stored);
    if (running) startProgram();
    if (connected) connectProgramsOutput();
    m_capture->clearReceived();
    const QString file = m_dir.filePath("varied.bbk");
    QVERIFY(CompanionFiles::write(file, variedBank()));
    const Result result = runCompanion(
        QStringList{"send", file, "--patch", "7", "--channel", "2", "--midi", "jack"} + options,
        m_configHome);
    QCOMPARE(result.Err, err);
    QCOMPARE(result.Out, out);
    QCOMPARE(result.Status, err.isEmpty() ? 0 : 1);
    if (err.isEmpty()) QVERIFY(QTest::qWaitFor([&] { return onChannel(m_capture->received(), 2).size() >= 2; }));
    QThread::msleep(200); // nothing more may follow
    QCOMPARE(onChannel(m_capture->received(), 2),
             err.isEmpty() ? sentByTheProgram(file, 7, 2, 0) : std::vector<Bytes>{});
}

// Neither the program's ports nor the companion's are devices.
void TestCompanionJack::programsPortsAreNoDevices() {
    startProgram();
    const Result all = runCompanion({"ports", "--midi", "jack"}, m_configHome);
    QCOMPARE(all.Err, QByteArray());
    QCOMPARE(all.Out, QByteArray("MIDI system: JACK\nOutputs:\n  Quenlor:MIDI Out\n  capture:input\n"
                                 "Inputs:\n  capture:output\n"));
    QCOMPARE(all.Status, 0);
}

// Started with no input to choose, the program connects nothing to its input, neither the
// devices nor the companion's output that come later while MIDI Thru is on: what the
// companion sends arrives once.
void TestCompanionJack::programsInputFollowsNoCompanion() {
    storeSettings("MIDIThru=Yes\n");
    m_capture.reset();
    startProgram();
    // Past the splash, during which the program takes no news of devices.
    QTest::qWait(4000);
    m_capture = std::make_unique<CaptureClient>();
    QVERIFY(m_capture->isOpen());
    connectProgramsOutput();
    const QString file = m_dir.filePath("varied.bbk");
    QVERIFY(CompanionFiles::write(file, variedBank()));
    m_capture->clearReceived();
    ChildProcess companion;
    QVERIFY(companion.start({"XDG_CONFIG_HOME=" + m_configHome,
                             QStringLiteral(QUENLOR_SYSEX_PROGRAM), "send", file, "--midi", "jack",
                             "--port", "capture:input", "--pause", "2000"}));
    QStringList seen;
    while (companion.running() && seen.isEmpty()) {
        seen = connectionsOf("Quenlor:MIDI In");
        QThread::msleep(10);
    }
    QVERIFY(companion.waitForFinished(20000));
    QCOMPARE(seen, QStringList());
    QCOMPARE(companion.exitCode(), 0);
    QThread::msleep(200);
    QCOMPARE(m_capture->received(), sentByTheProgram(file, 1, 1, 0));
}

QTEST_GUILESS_MAIN(TestCompanionJack)
#include "tst_companionjack.moc"
