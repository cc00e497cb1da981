#include "CompanionFiles.h"
#include "WindowedSend.h"
#include "midi/CaptureClient.h"
#include "midi/JackServer.h"
#include "support/ChildProcess.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

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

} // namespace

// The README's examples of quenlor-sysex run as they stand, on files the test makes and
// a JACK server of its own, so that the README shows what the companion does: each
// exits as the table says and prints what the README shows of it.
class TestReadme : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyExampleIsRun();
    void examples_data();
    void examples();

private:
    bool run(const char* line);

    std::optional<ChildProcess> m_program; // the last line run
    JackServer m_server;
    std::unique_ptr<CaptureClient> m_capture;
    QTemporaryDir m_dir;
};

void TestReadme::initTestCase() {
    QVERIFY2(m_server.Start(), qPrintable(m_server.error()));
    m_capture = std::make_unique<CaptureClient>();
    QVERIFY(m_capture->isOpen());
    QVERIFY(m_dir.isValid());
    // The files the examples name: a bank with a fault in patch 12, two patches, a raw
    // SysEx file whose first dump has a bad byte at offset 9, and a MIDI file of two dumps.
    QVERIFY(write(m_dir.filePath("live.bbk"), bank({{7, {{10, 40}}}, {12, {{37, 5}}}})));
    QVERIFY(write(m_dir.filePath("pad.b01"), record("Pad", {{10, 40}, {19, 60}})));
    QVERIFY(write(m_dir.filePath("lead.b01"), record("Lead", {{10, 10}, {19, 5}})));
    QByteArray syx = dumpsOf({0, 21, 22});
    syx[9] = 0x0D; // the low half of parameter 10's byte, whose bits 0-1 stay clear
    QVERIFY(write(m_dir.filePath("dumps.syx"), syx));
    QVERIFY(write(m_dir.filePath("song.mid"), midiFileOf(dumpsOf({30, 31}))));
    // An ALSA configuration without a sequencer: the companion finds the JACK server, as
    // on a machine where only JACK runs.
    QVERIFY(write(m_dir.filePath("no-alsa.conf"), QByteArray()));
}

// Runs a line as a user types it into a shell in the folder of the files, with the
// companion on the path, the test's own settings and JACK server.
bool TestReadme::run(const char* line) {
    // The test has no interface: its own port stands in for the README's.
    const QString command =
        QString::fromLatin1(line).replace(QStringLiteral("system:midi_playback_1"),
                                          QStringLiteral("capture:input"));
    m_capture->clearReceived();
    const QString companionFolder = QFileInfo(QStringLiteral(QUENLOR_SYSEX_PROGRAM)).path();
    m_program.emplace();
    return m_program->start({"PATH=" + companionFolder + ":" + qEnvironmentVariable("PATH"),
                            "HOME=" + m_dir.path(), "XDG_CONFIG_HOME=" + m_dir.filePath("config"),
                            "XDG_DATA_HOME=" + m_dir.filePath("data"),
                            "JACK_DEFAULT_SERVER=" + m_server.name(),
                            "ALSA_CONFIG_PATH=" + m_dir.filePath("no-alsa.conf"), "sh", "-c",
                            "cd \"$1\" && " + command, "sh", m_dir.path()}) &&
           m_program->waitForFinished(60000);
}

void TestReadme::cleanupTestCase() {
    m_capture.reset();
    m_server.stop();
}

// A row for each example and an example for each row: one added, changed or dropped
// needs its row.
void TestReadme::everyExampleIsRun() {
    QStringList rows;
    for (const Example& example : kExamples)
        rows << QString::fromLatin1(example.Line);
    QCOMPARE(exampleLines(), rows);
}

void TestReadme::examples_data() {
    QTest::addColumn<int>("row");
    for (std::size_t i = 0; i < kExamples.size(); ++i)
        QTest::newRow(kExamples[i].Line) << int(i);
}

void TestReadme::examples() {
    QFETCH(int, row);
    const Example& example = kExamples[std::size_t(row)];
    // What the README shows of the output, it shows as it is.
    for (const QByteArray& shown : example.Err.split('\n'))
        QVERIFY2(readme().contains(shown), shown.constData());

    QVERIFY2(run(example.Line), example.Line);
    QCOMPARE(m_program->output("err"), example.Err);
    const QByteArray out = m_program->output("out");
    if (example.Out.endsWith("..."))
        QVERIFY2(out.startsWith(example.Out.chopped(3)), out.constData());
    else
        QCOMPARE(out, example.Out);
    QCOMPARE(m_program->exitCode(), example.Status);

    if (example.Made) {
        const QByteArray file = read(m_dir.filePath(example.Made));
        if (example.Size >= 0)
            QCOMPARE(int(file.size()), example.Size);
        else
            QVERIFY(file.startsWith("Name\r\n"));
    }
    if (example.Sent > 0) {
        QElapsedTimer waited;
        waited.start();
        while (m_capture->receivedCount() < 2 && waited.elapsed() < 5000)
            QThread::msleep(10);
        QCOMPARE(m_capture->received(),
                 sentByTheProgram(m_dir.filePath("live.bbk"), example.Sent, 1, 0));
    }
}

QTEST_GUILESS_MAIN(TestReadme)
#include "tst_readme.moc"
