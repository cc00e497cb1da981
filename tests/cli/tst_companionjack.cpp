#include "CompanionFiles.h"
#include "WindowedSend.h"
#include "midi/CaptureClient.h"
#include "midi/JackServer.h"
#include "support/ChildProcess.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

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

private:
    bool waitForMessages(std::size_t count);
    void storeSettings(const QByteArray& midiSection);

    JackServer m_server;
    std::unique_ptr<CaptureClient> m_capture;
    QTemporaryDir m_dir;
    QString m_configHome;
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

QTEST_GUILESS_MAIN(TestCompanionJack)
#include "tst_companionjack.moc"
