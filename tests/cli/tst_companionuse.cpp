#include "CompanionFiles.h"
#include "WindowedSend.h"
#include "midi/CaptureClient.h"
#include "midi/JackServer.h"
#include "support/ChildProcess.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>

using namespace CompanionFiles;

namespace {

QByteArray readme() { return read(QStringLiteral(QUENLOR_README)); }

// The companion's command lines among the README's examples (lines indented as code), in
// the README's order.
QStringList exampleLines() {
    QStringList lines;
    static const QRegularExpression example(QStringLiteral("^    (quenlor-sysex .*)$"),
                                            QRegularExpression::MultilineOption);
    for (auto match = example.globalMatch(QString::fromUtf8(readme())); match.hasNext();)
        lines << match.next().captured(1);
    return lines;
}

// The dumps the program sends for patches of a new bank whose parameter 10 holds the
// given values, back to back.
QByteArray dumpsOf(std::initializer_list<int16_t> levels) {
    QuenlorCode code;
    code.InitPatchModel();
    QByteArray bytes;
    int patch = kFirstPatch;
    for (const int16_t level : levels) {
        code.PatchBank(patch, 10) = level;
        code.preparePatchDump(patch++);
        bytes += QByteArray(reinterpret_cast<const char*>(code.PatchDump.data()),
                            qsizetype(code.PatchDump.size()));
    }
    return bytes;
}

// An example as the README gives it, and what running it does.
struct Example {
    const char* Line;
    int Status;
    QByteArray Out; // ending in "...": what the output begins with
    QByteArray Err;
    const char* Made = nullptr; // the file it writes
    int Size = -1;              // its size in bytes; -1: a bank or patch file
    int Sent = 0;               // the patch sent to the test's port; 0: none
};

const QByteArray kFault = "live.bbk: record 12, line 40 (parameter 37): value 5 outside 0..1\n";
const QByteArray kBadByte = "dumps.syx: offset 9: data byte 0x0D of parameter 10 has bits 0-1 set\n";

const std::vector<Example> kExamples = {
    {"quenlor-sysex check live.bbk pad.b01", 1,
     "live.bbk: loads (74 patches), 1 fault in the patches read\npad.b01: loads (1 patch)\n",
     kFault},
    {"quenlor-sysex syx live.bbk --channel 2 -o live.syx", 0, {}, {}, "live.syx", 74 * 80},
    {"quenlor-sysex syx live.bbk --patch 7 --bit99 -o patch7.syx", 0, {}, {}, "patch7.syx", 80},
    {"quenlor-sysex import dumps.syx -o dumps.bbk", 0, "dumps.bbk: 2 patches imported\n", kBadByte,
     "dumps.bbk"},
    {"quenlor-sysex import song.mid -o song.bbk", 0, "song.bbk: 2 patches imported\n", {},
     "song.bbk"},
    {"quenlor-sysex send live.bbk --patch 7 --port \"system:midi_playback_1\"", 0, {}, {},
     nullptr, -1, 7},
    {"quenlor-sysex ports", 0, "MIDI system: JACK\nOutputs:\n  Quenlor:MIDI Out\n...", {}},
    {"quenlor-sysex mutate pad.b01 --amount 10 --lock 13,14,15,16 --seed 7 -o pad-7.b01", 0, {},
     {}, "pad-7.b01"},
    {"quenlor-sysex randomize pad.b01 --seed 8 -o wild.b01", 0, {}, {}, "wild.b01"},
    {"quenlor-sysex morph pad.b01 lead.b01 --at 30 -o between.b01", 0, {}, {}, "between.b01"},
};

// What came on one channel: the program's own patch as it starts (on channel 1, whenever
// it gets to it) is told apart from what the companion sends on another.
std::vector<Bytes> onChannel(const std::vector<Bytes>& received, int channel) {
    std::vector<Bytes> kept;
    for (const Bytes& message : received)
        if (((message.at(0) == 0xF0 ? message.at(2) : message.at(0)) & 0x0F) == channel - 1)
            kept.push_back(message);
    return kept;
}

} // namespace

// quenlor-sysex as a user runs it, from a shell, on a JACK server of the test's own with a
// client of the test's reading what arrives: the README's examples as they stand, and
// the companion beside the windowed program.
class TestCompanionUse : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    // The README shows what the companion does: each example exits as the table says
    // and prints what the README shows of it.
    void everyExampleIsRun();
    void examples_data();
    void examples();

    // With the program running.
    void sendThroughTheProgramsOutput_data();
    void sendThroughTheProgramsOutput();
    void programsInputFollowsNoCompanion();

private:
    QStringList environment() const;
    bool start(const QString& line);
    bool run(const QString& line);
    void startProgram();
    void connectProgramsOutput();
    bool waitForMessages(std::size_t count, int channel = 1);

    std::optional<ChildProcess> m_companion; // the last line run
    std::optional<ChildProcess> m_program;
    JackServer m_server;
    std::unique_ptr<CaptureClient> m_capture;
    QTemporaryDir m_dir;
};

void TestCompanionUse::initTestCase() {
    QVERIFY2(m_server.Start(), qPrintable(m_server.error()));
    m_capture = std::make_unique<CaptureClient>();
    QVERIFY(m_capture->isOpen());
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir(m_dir.path()).mkpath("config/Quenlor"));
    // The files the examples name: a bank with a fault in patch 12, two patches, a raw
    // SysEx file whose first dump has a bad byte at offset 9, and a MIDI file of two dumps.
    QVERIFY(write(m_dir.filePath("live.bbk"), bank({{7, {{10, 40}}}, {12, {{37, 5}}}})));
    QVERIFY(write(m_dir.filePath("pad.b01"), record("Pad", {{10, 40}, {19, 60}})));
    QVERIFY(write(m_dir.filePath("lead.b01"), record("Lead", {{10, 10}, {19, 5}})));
    QByteArray syx = dumpsOf({0, 21, 22});
    syx[9] = 0x0D; // the low half of parameter 10's byte, whose bits 0-1 stay clear
    QVERIFY(write(m_dir.filePath("dumps.syx"), syx));
    QVERIFY(write(m_dir.filePath("song.mid"), midiFileOf(dumpsOf({30, 31}))));
    // An ALSA configuration without a sequencer: the programs find the JACK server, as on
    // a machine where only JACK runs.
    QVERIFY(write(m_dir.filePath("no-alsa.conf"), QByteArray()));
}

void TestCompanionUse::cleanupTestCase() {
    m_capture.reset();
    m_server.stop();
}

void TestCompanionUse::init() {
    QFile::remove(m_dir.filePath("config/Quenlor/Quenlor.conf"));
    m_capture->clearReceived();
}

void TestCompanionUse::cleanup() {
    if (!m_program) return;
    m_program->signal(SIGTERM);
    QVERIFY(m_program->waitForFinished(10000));
    m_program.reset();
}

// The test's own folders, settings and JACK server, the companion on the path.
QStringList TestCompanionUse::environment() const {
    const QString companionFolder = QFileInfo(QStringLiteral(QUENLOR_SYSEX_PROGRAM)).path();
    return {"PATH=" + companionFolder + ":" + qEnvironmentVariable("PATH"),
            "HOME=" + m_dir.path(),
            "XDG_CONFIG_HOME=" + m_dir.filePath("config"),
            "XDG_DATA_HOME=" + m_dir.filePath("data"),
            "XDG_STATE_HOME=" + m_dir.filePath("state"),
            "JACK_DEFAULT_SERVER=" + m_server.name(),
            "ALSA_CONFIG_PATH=" + m_dir.filePath("no-alsa.conf")};
}

// Starts a line as a user types it into a shell in the folder of the files.
bool TestCompanionUse::start(const QString& line) {
    // The test has no interface: its own port stands in for the README's.
    const QString command = QString(line).replace("system:midi_playback_1", "capture:input");
    m_companion.emplace();
    return m_companion->start(environment() << "sh" << "-c" << "cd \"$1\" && " + command << "sh"
                                            << m_dir.path());
}

bool TestCompanionUse::run(const QString& line) {
    return start(line) && m_companion->waitForFinished(60000);
}

// The program as a user starts it; both its ports are there when this returns (it
// registers "MIDI Out" second).
void TestCompanionUse::startProgram() {
    m_program.emplace();
    QVERIFY(m_program->start(environment() << "QT_QPA_PLATFORM=offscreen"
                                           << QStringLiteral(QUENLOR_PROGRAM)));
    jack_client_t* watcher = jack_client_open("watcher", JackNoStartServer, nullptr);
    QVERIFY(watcher);
    const bool up = QTest::qWaitFor(
        [watcher] { return jack_port_by_name(watcher, "Quenlor:MIDI Out") != nullptr; }, 20000);
    jack_client_close(watcher);
    QVERIFY2(up, m_program->output("err").constData());
}

// As a patchbay connects it; a client takes connections only once it is active, a moment
// after its ports are there.
void TestCompanionUse::connectProgramsOutput() {
    QVERIFY(QTest::qWaitFor([this] {
        jack_connect(m_capture->client(), "Quenlor:MIDI Out", "capture:input");
        return m_capture->connected("Quenlor:MIDI Out", "capture:input");
    }));
}

bool TestCompanionUse::waitForMessages(std::size_t count, int channel) {
    const bool came = QTest::qWaitFor(
        [&] { return onChannel(m_capture->received(), channel).size() >= count; }, 5000);
    QThread::msleep(200); // nothing more may follow
    return came;
}

// A row for each example and an example for each row: one added, changed or dropped
// needs its row.
void TestCompanionUse::everyExampleIsRun() {
    QStringList rows;
    for (const Example& example : kExamples)
        rows << QString::fromLatin1(example.Line);
    QCOMPARE(exampleLines(), rows);
}

void TestCompanionUse::examples_data() {
    QTest::addColumn<int>("row");
    for (std::size_t i = 0; i < kExamples.size(); ++i)
        QTest::newRow(kExamples[i].Line) << int(i);
}

void TestCompanionUse::examples() {
    QFETCH(int, row);
    const Example& example = kExamples[std::size_t(row)];
    // What the README shows of the output, it shows as it is.
    for (const QByteArray& shown : example.Err.split('\n'))
        QVERIFY2(readme().contains(shown), shown.constData());

    QVERIFY2(run(example.Line), example.Line);
    QCOMPARE(m_companion->output("err"), example.Err);
    const QByteArray out = m_companion->output("out");
    if (example.Out.endsWith("..."))
        QVERIFY2(out.startsWith(example.Out.chopped(3)), out.constData());
    else
        QCOMPARE(out, example.Out);
    QCOMPARE(m_companion->exitCode(), example.Status);

    if (example.Made) {
        const QByteArray file = read(m_dir.filePath(example.Made));
        if (example.Size >= 0)
            QCOMPARE(int(file.size()), example.Size);
        else
            QVERIFY(file.startsWith("Name\r\n"));
    }
    if (example.Sent > 0) {
        QVERIFY(waitForMessages(2));
        QCOMPARE(m_capture->received(),
                 sentByTheProgram(m_dir.filePath("live.bbk"), example.Sent, 1, 0));
    }
}

void TestCompanionUse::sendThroughTheProgramsOutput_data() {
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("connected"); // "Quenlor:MIDI Out" to "capture:input"
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("options");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    const QByteArray sent = "sent to capture:input, which Quenlor:MIDI Out is connected to\n";
    const QByteArray nameOne = "name a device with --port NAME (quenlor-sysex ports lists them)\n";
    QTest::newRow("nothing stored") << true << true << QByteArray() << "" << sent << QByteArray();
    QTest::newRow("the program's output stored")
        << true << true << QByteArray("MIDIOutPort=Quenlor:MIDI Out\n") << "" << sent
        << QByteArray();
    QTest::newRow("the program's output given")
        << true << true << QByteArray("MIDIOutPort=capture:input\n")
        << "--port 'Quenlor:MIDI Out'" << sent << QByteArray();
    QTest::newRow("connected to nothing")
        << true << false << QByteArray() << "" << QByteArray()
        << "quenlor-sysex: Quenlor's own output, Quenlor:MIDI Out, is connected to no device; "
           "connect it to one, or " + nameOne;
    QTest::newRow("the program not running")
        << false << false << QByteArray() << "" << QByteArray()
        << "quenlor-sysex: Quenlor is not running, so its own output, Quenlor:MIDI Out, reaches "
           "no device; start Quenlor, or " + nameOne;
}

// The program's own output chosen, as the README suggests, the companion sends where that
// output is connected, and says so; with nowhere to send, it fails and says why. Its
// list of devices holds none of the program's ports, nor its own.
void TestCompanionUse::sendThroughTheProgramsOutput() {
    QFETCH(bool, running);
    QFETCH(bool, connected);
    QFETCH(QByteArray, stored);
    QFETCH(QString, options);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QVERIFY(write(m_dir.filePath("config/Quenlor/Quenlor.conf"), "[MIDI]\n" + stored));
    if (running) startProgram();
    if (connected) connectProgramsOutput();
    QVERIFY(run("quenlor-sysex send live.bbk --patch 7 --channel 2 --midi jack " + options));
    QCOMPARE(m_companion->output("err"), err);
    QCOMPARE(m_companion->output("out"), out);
    QCOMPARE(m_companion->exitCode(), err.isEmpty() ? 0 : 1);
    waitForMessages(2, 2);
    QCOMPARE(onChannel(m_capture->received(), 2),
             err.isEmpty() ? sentByTheProgram(m_dir.filePath("live.bbk"), 7, 2, 0)
                           : std::vector<Bytes>{});
    QVERIFY(run("quenlor-sysex ports --midi jack"));
    QCOMPARE(m_companion->output("out"),
             QByteArray("MIDI system: JACK\nOutputs:\n  Quenlor:MIDI Out\n  capture:input\n"
                        "Inputs:\n  capture:output\n"));
}

// Started with no input to choose, the program connects nothing to its input, neither a
// device nor the companion's output that come later while MIDI Thru is on: what the
// companion sends arrives once.
void TestCompanionUse::programsInputFollowsNoCompanion() {
    QVERIFY(write(m_dir.filePath("config/Quenlor/Quenlor.conf"), "[MIDI]\nMIDIThru=Yes\n"));
    m_capture.reset();
    startProgram();
    QTest::qWait(4000); // past the splash, during which the program takes no news of devices
    m_capture = std::make_unique<CaptureClient>();
    QVERIFY(m_capture->isOpen());
    connectProgramsOutput();
    QVERIFY(start("quenlor-sysex send live.bbk --midi jack --port capture:input --pause 2000"));
    jack_port_t* input = jack_port_by_name(m_capture->client(), "Quenlor:MIDI In");
    QVERIFY(input);
    const char** connections = nullptr;
    while (m_companion->running() && !connections) {
        connections = jack_port_get_all_connections(m_capture->client(), input);
        QThread::msleep(10);
    }
    QVERIFY2(!connections, connections ? connections[0] : "");
    QVERIFY(m_companion->waitForFinished(20000));
    QCOMPARE(m_companion->exitCode(), 0);
    waitForMessages(2);
    QCOMPARE(m_capture->received(), sentByTheProgram(m_dir.filePath("live.bbk"), 1, 1, 0));
}

QTEST_GUILESS_MAIN(TestCompanionUse)
#include "tst_companionuse.moc"
