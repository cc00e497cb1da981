#include "CompanionFiles.h"
#include "WindowedSend.h"

#include "cli/SysExCompanion.h"
#include "core/QuenlorCode.h"
#include "midi/MIDIUtilities.h"
#include "support/MemoryMidiBackend.h"
#include "midi/MidiPorts.h"
#include "settings/SettingsStore.h"
#include "support/MemorySettingsStore.h"
#include "storage/FileCheck.h"
#include "storage/BankCommands.h"
#include "storage/FakeStorageHost.h"
#include "library/LibraryCatalogue.h"
#include "library/LibraryDatabase.h"
#include "library/LibraryEdits.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sstream>

using namespace CompanionFiles;

namespace {

// Hands the companion a MIDI system that the test keeps and reads afterwards.
class BorrowedBackend : public MidiBackend {
public:
    explicit BorrowedBackend(MidiBackend& system) : m_system(system) {}
    QString systemName() override { return m_system.systemName(); }
    QStringList inputNames() override { return m_system.inputNames(); }
    QStringList outputNames() override { return m_system.outputNames(); }
    bool openInput(int index, InputHandler handler) override {
        return m_system.openInput(index, std::move(handler));
    }
    void closeInput() override { m_system.closeInput(); }
    bool openOutput(int index) override { return m_system.openOutput(index); }
    void closeOutput() override { m_system.closeOutput(); }
    std::optional<QStringList> programOutputConnections() override {
        return m_system.programOutputConnections();
    }
    bool addOutputConnection(int index) override { return m_system.addOutputConnection(index); }
    bool outputConnected() override { return m_system.outputConnected(); }
    bool inputConnected() override { return m_system.inputConnected(); }
    bool send(const uint8_t* bytes, std::size_t size) override { return m_system.send(bytes, size); }
    void setDevicesChangedHandler(DevicesChangedHandler handler) override {
        m_system.setDevicesChangedHandler(std::move(handler));
    }
    ManualClock* testClock() override { return m_system.testClock(); }

private:
    MidiBackend& m_system;
};

// The companion with its output captured, an in-memory MIDI system and settings store.
struct Run {
    std::ostringstream out;
    std::ostringstream err;
    MemoryMidiBackend midi{{"Keys In"}, {"Synth A", "Synth B"}};
    MemorySettingsStore store;
    QStringList systemsAsked;
    int status = -1;

    int operator()(const QStringList& args) {
        CompanionWorld world{out, err,
                             [this](const std::string& system) -> std::unique_ptr<MidiBackend> {
                                 systemsAsked << QString::fromStdString(system);
                                 return std::make_unique<BorrowedBackend>(midi);
                             },
                             store};
        std::vector<std::string> argv;
        for (const QString& arg : args)
            argv.push_back(arg.toStdString());
        status = SysExCompanion(world).run(argv);
        return status;
    }
    QString output() const { return QString::fromStdString(out.str()); }
    QString errors() const { return QString::fromStdString(err.str()); }
};

Bytes bytesOf(const QByteArray& data) {
    return Bytes(data.begin(), data.end());
}

} // namespace

// The companion's commands in-process, on files the tests make, with an in-memory MIDI
// system and settings store.
class TestCompanion : public QObject {
    Q_OBJECT
private slots:
    void init();

    void usage_data();
    void usage();
    void help_data();
    void help();
    void overviewShowsEachCommandsForms_data();
    void overviewShowsEachCommandsForms();

    void check_data();
    void check();
    void checkSeveralFiles();

    void syxSameBytesAsTheProgram_data();
    void syxSameBytesAsTheProgram();
    void syxWholeBankInOrder();
    void syxRefusesAFileThatDoesNotLoad();
    void syxToStandardOutput();

    void exportMatchesSyx_data();
    void exportMatchesSyx();
    void importWritesTheBank_data();
    void importWritesTheBank();
    void importNamesEveryReasonLeftOut();
    void checkSysEx_data();
    void checkSysEx();

    void sendDumpThenProgramChange_data();
    void sendDumpThenProgramChange();
    void sendEndsAfterThePause_data();
    void sendEndsAfterThePause();
    void sendWithoutAnOutput_data();
    void sendWithoutAnOutput();
    void sendToEveryDeviceOfTheProgramsOutput();
    void sendThatTheSystemDrops();

    void portsAsTheOptionsDialogLists();

    void newSounds_data();
    void newSounds();

    void realProgramExitStatus_data();
    void realProgramExitStatus();

    void library_data();
    void library();
    void libraryRefuses_data();
    void libraryRefuses();
    void libraryTwoProgramsAtOnce();
    void libraryListAfterDamage_data();
    void libraryListAfterDamage();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    QString made(const QString& name, const QByteArray& bytes) {
        const QString p = path(name);
        CompanionFiles::write(p, bytes);
        return p;
    }
    std::optional<QTemporaryDir> m_dir;
};

void TestCompanion::init() {
    m_dir.emplace();
    QVERIFY(m_dir->isValid());
    // The library goes into the test's own folder, as the program's would.
    qputenv("XDG_DATA_HOME", m_dir->filePath("data").toUtf8());
}

void TestCompanion::usage_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing") << QStringList{} << "no command given";
    QTest::newRow("unknown command") << QStringList{"load", "a.bbk"} << "unknown command 'load'";
    QTest::newRow("unknown option")
        << QStringList{"check", "--all", "a.bbk"} << "unknown option '--all'";
    QTest::newRow("option of another command")
        << QStringList{"check", "--patch", "3", "a.bbk"} << "check takes no option --patch";
    QTest::newRow("option before the command")
        << QStringList{"--patch", "3", "syx"} << "the command comes before its options";
    QTest::newRow("check without files") << QStringList{"check"} << "check needs at least one file";
    QTest::newRow("syx without -o")
        << QStringList{"syx", "a.bbk"} << "syx needs -o OUT.syx (or -o - for the standard output)";
    QTest::newRow("syx with two files")
        << QStringList{"syx", "a.bbk", "b.bbk", "-o", "x.syx"} << "syx takes one file";
    QTest::newRow("send without file") << QStringList{"send"} << "send takes one file";
    QTest::newRow("ports with a file") << QStringList{"ports", "a.bbk"} << "ports takes no file";
    QTest::newRow("patch 0") << QStringList{"syx", "a.bbk", "--patch", "0", "-o", "x"}
                             << "--patch takes a patch number 1..74, not '0'";
    QTest::newRow("patch 75") << QStringList{"syx", "a.bbk", "--patch=75", "-o", "x"}
                              << "--patch takes a patch number 1..74, not '75'";
    QTest::newRow("patch -1") << QStringList{"send", "a.bbk", "--patch", "-1"}
                              << "--patch takes a patch number 1..74, not '-1'";
    QTest::newRow("patch 3.0") << QStringList{"send", "a.bbk", "--patch", "3.0"}
                               << "--patch takes a patch number 1..74, not '3.0'";
    QTest::newRow("channel 0") << QStringList{"send", "a.bbk", "--channel", "0"}
                               << "--channel takes a MIDI channel 1..16, not '0'";
    QTest::newRow("channel 17") << QStringList{"send", "a.bbk", "--channel=17"}
                                << "--channel takes a MIDI channel 1..16, not '17'";
    QTest::newRow("channel 65553") << QStringList{"send", "a.bbk", "--channel", "65553"}
                                   << "--channel takes a MIDI channel 1..16, not '65553'";
    QTest::newRow("pause 2001") << QStringList{"send", "a.bbk", "--pause", "2001"}
                                << "--pause takes milliseconds 0..2000, not '2001'";
    QTest::newRow("pause -1") << QStringList{"send", "a.bbk", "--pause=-1"}
                              << "--pause takes milliseconds 0..2000, not '-1'";
    QTest::newRow("pause on syx") << QStringList{"syx", "a.bbk", "--pause", "40", "-o", "x"}
                                  << "syx takes no option --pause";
    QTest::newRow("value missing")
        << QStringList{"send", "a.bbk", "--port"} << "option --port needs a value";
    QTest::newRow("value on a switch")
        << QStringList{"send", "a.bbk", "--bit99=yes"} << "option --bit99 takes no value";
    QTest::newRow("unknown system") << QStringList{"ports", "--midi", "coreaudio"}
                                    << "--midi takes alsa or jack, not 'coreaudio'";
    QTest::newRow("import without -o")
        << QStringList{"import", "a.syx"} << "import needs -o OUT.bbk";
    QTest::newRow("import of two files")
        << QStringList{"import", "a.syx", "b.mid", "-o", "x.bbk"} << "import takes one file";
    QTest::newRow("both lists only") << QStringList{"ports", "--outputs", "--inputs"}
                                     << "--outputs and --inputs exclude each other";
    QTest::newRow("mutate without a seed")
        << QStringList{"mutate", "a.b01", "--amount", "10", "-o", "x.b01"} << "mutate needs --seed N";
    QTest::newRow("mutate by 101 %") << QStringList{"mutate", "a.b01", "--amount", "101"}
                                     << "--amount takes a percentage 0..100, not '101'";
    QTest::newRow("seed past 64 bits") << QStringList{"randomize", "--seed", "18446744073709551616"}
                                       << "--seed takes a whole number 0..18446744073709551615, "
                                          "not '18446744073709551616'";
    QTest::newRow("lock 64") << QStringList{"randomize", "--lock", "8,64"}
                             << "--lock takes parameter numbers 1..63, comma-separated, not '8,64'";
    QTest::newRow("morph of one file")
        << QStringList{"morph", "a.b01", "--at", "5", "-o", "x.b01"} << "morph takes two patch files, A and B";
    QTest::newRow("morph without -o")
        << QStringList{"morph", "a.b01", "b.b01", "--at", "5"} << "morph needs -o OUT.b01";
    QTest::newRow("library alone") << QStringList{"library"} << "library needs add, list or bank";
    QTest::newRow("library add without folder")
        << QStringList{"library", "add"} << "library add needs at least one folder";
    QTest::newRow("library add with a filter") << QStringList{"library", "add", "x", "--favourites"}
                                               << "library add takes folders only";
    QTest::newRow("library list with a file")
        << QStringList{"library", "list", "x"} << "library list takes no folder or file";
    QTest::newRow("library bank without -o")
        << QStringList{"library", "bank", "--search", "pad"} << "library bank needs -o OUT.bbk";
    QTest::newRow("library of another kind")
        << QStringList{"library", "remove"} << "unknown library command 'remove' (add, list or bank)";
    QTest::newRow("search on check")
        << QStringList{"check", "--search", "x", "a.bbk"} << "check takes no option --search";
}

void TestCompanion::usage() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    Run run;
    QCOMPARE(run(args), 2);
    QCOMPARE(run.errors(), "quenlor-sysex: " + message + "\nTry 'quenlor-sysex --help'.\n");
    QCOMPARE(run.output(), QString());
    QVERIFY(run.systemsAsked.isEmpty());
}

void TestCompanion::newSounds_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("name");     // the patch name OUT.b01 keeps
    QTest::addColumn<QByteArray>("equals"); // the file OUT must equal, when fixed
    QTest::addColumn<QString>("errors");     // said on the standard error; %1 is c.b01's path
    const QByteArray a = record("Alpha", {{19, 40}, {28, 1}, {53, 1}});
    const QByteArray b = record("Beta", {{19, 20}, {20, 63}, {26, 1}, {24, 0}});
    QTest::newRow("mutate") << QStringList{"mutate", "a.b01", "--amount", "25", "--seed", "7"}
                            << "Alpha" << QByteArray() << QString();
    QTest::newRow("mutate locked") << QStringList{"mutate", "a.b01", "--amount", "100", "--lock",
                                                  "1,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,"
                                                  "21,22,23,24,28,29,30,31,32,33,34,35,39,40,41,"
                                                  "42,43,44,45,46,47,48,49,50,51,52,53,56,57,58,"
                                                  "59,60,61,62,63", "--seed", "7"}
                                   << "Alpha" << a << QString();
    QTest::newRow("randomize a new patch") << QStringList{"randomize", "--seed", "1"} << ""
                                           << QByteArray() << QString();
    QTest::newRow("randomize") << QStringList{"randomize", "b.b01", "--lock", "20", "--seed", "2"}
                               << "Beta" << QByteArray() << QString();
    QTest::newRow("morph at 0") << QStringList{"morph", "a.b01", "b.b01", "--at", "0"} << "Alpha" << a << QString();
    QTest::newRow("morph at 100, locked")
        << QStringList{"morph", "a.b01", "b.b01", "--at=100", "--lock", "28"} << "Alpha"
        << record("Alpha", {{19, 20}, {20, 63}, {26, 1}, {24, 0}, {28, 1}}) << QString();
    QTest::newRow("morph at 25") << QStringList{"morph", "a.b01", "b.b01", "--at", "25"} << "Alpha"
                                 << record("Alpha", {{19, 35}, {20, 16}, {28, 1}, {53, 1}})
                                 << QString();
    // A locked value no editor writes comes out as the instrument plays it, and is named.
    const QString repairs =
        "quenlor-sysex: %1: record 1, line 22 (parameter 19): value 99 outside 0..63; locked, "
        "written as 63\nquenlor-sysex: %1: record 1, line 38 (parameter 35): choice 35..38 has "
        "no member set; it needs one; locked, written with 35 set\n";
    QTest::newRow("mutate, locked values out of range")
        << QStringList{"mutate", "c.b01", "--amount", "10", "--lock", "19,35", "--seed", "3"}
        << "Gamma" << QByteArray() << repairs;
    QTest::newRow("morph, locked values out of range")
        << QStringList{"morph", "c.b01", "b.b01", "--at", "60", "--lock", "19,35"} << "Gamma"
        << QByteArray() << repairs;
}

// The same seed gives the same file, a patch the check finds nothing to say about, with
// the name of the first file.
void TestCompanion::newSounds() {
    QFETCH(QStringList, args);
    QFETCH(QString, name);
    QFETCH(QByteArray, equals);
    QFETCH(QString, errors);
    made("a.b01", record("Alpha", {{19, 40}, {28, 1}, {53, 1}}));
    made("b.b01", record("Beta", {{19, 20}, {20, 63}, {26, 1}, {24, 0}}));
    made("c.b01", record("Gamma", {{19, 99}, {35, 0}}));
    for (QString& arg : args)
        if (arg.endsWith(".b01")) arg = path(arg);
    QByteArray first;
    for (const QString& out : {path("one.b01"), path("two.b01")}) {
        Run run;
        QCOMPARE(run(args + QStringList{"-o", out}), 0);
        QCOMPARE(run.errors(), errors.isEmpty() ? errors : errors.arg(path("c.b01")));
        Run check;
        QCOMPARE(check({"check", out}), 0);
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray written = file.readAll();
        QVERIFY(written.startsWith("Name\r\n" + name.toLatin1() + "\r\nData\r\n"));
        if (!equals.isEmpty()) QCOMPARE(written, equals);
        if (!first.isEmpty()) QCOMPARE(written, first);
        first = written;
    }
}

void TestCompanion::help_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("firstLine");
    QTest::newRow("--help") << QStringList{"--help"}
                            << "Usage: quenlor-sysex COMMAND [OPTION]... [FILE]...";
    QTest::newRow("-h") << QStringList{"-h"}
                        << "Usage: quenlor-sysex COMMAND [OPTION]... [FILE]...";
    QTest::newRow("check") << QStringList{"check", "--help"}
                           << "Usage: quenlor-sysex check FILE...";
    QTest::newRow("syx")
        << QStringList{"syx", "-h"}
        << "Usage: quenlor-sysex syx FILE [--patch N] [--channel C] [--bit99] -o OUT.syx";
    QTest::newRow("send")
        << QStringList{"send", "--help"}
        << "Usage: quenlor-sysex send FILE [--patch N] [--channel C] [--bit99] [--port NAME]";
    QTest::newRow("ports")
        << QStringList{"ports", "--help"}
        << "Usage: quenlor-sysex ports [--outputs | --inputs] [--midi alsa|jack]";
    QTest::newRow("import") << QStringList{"import", "--help"}
                            << "Usage: quenlor-sysex import IN.syx|IN.mid -o OUT.bbk";
    QTest::newRow("mutate") << QStringList{"mutate", "--help"}
                            << "Usage: quenlor-sysex mutate IN.b01 --amount PCT [--lock LIST] "
                               "--seed N -o OUT.b01";
    QTest::newRow("version") << QStringList{"--version"} << "quenlor-sysex 1.2.1";
}

void TestCompanion::help() {
    QFETCH(QStringList, args);
    QFETCH(QString, firstLine);
    Run run;
    QCOMPARE(run(args), 0);
    QCOMPARE(run.output().section('\n', 0, 0), firstLine);
    QCOMPARE(run.errors(), QString());
}

void TestCompanion::overviewShowsEachCommandsForms_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("forms");
    QTest::newRow("check") << "check" << QStringList{"check FILE..."};
    QTest::newRow("syx") << "syx" << QStringList{"syx FILE -o OUT.syx"};
    QTest::newRow("import") << "import" << QStringList{"import IN.syx|IN.mid -o OUT.bbk"};
    QTest::newRow("send, usage of two lines") << "send" << QStringList{"send FILE"};
    QTest::newRow("ports") << "ports" << QStringList{"ports"};
    QTest::newRow("mutate") << "mutate"
                            << QStringList{"mutate IN.b01 --amount PCT --seed N -o OUT.b01"};
    QTest::newRow("randomize, an operand in brackets")
        << "randomize" << QStringList{"randomize [IN.b01] --seed N -o OUT.b01"};
    QTest::newRow("morph") << "morph" << QStringList{"morph A.b01 B.b01 --at PCT -o OUT.b01"};
    QTest::newRow("library, three forms")
        << "library"
        << QStringList{"library add DIR...", "library list [FILTER]...",
                       "library bank [FILTER]... -o OUT.bbk"};
}

// The overview names each command in the forms its own usage gives, with what is needed
// and without the options in brackets; each form is an item of its own, its text beside
// it or, for a long one, on the next line.
void TestCompanion::overviewShowsEachCommandsForms() {
    QFETCH(QString, command);
    QFETCH(QStringList, forms);
    Run overview;
    QCOMPARE(overview({"--help"}), 0);
    for (const QString& form : forms)
        QVERIFY2(overview.output().contains(
                     QRegularExpression("\n  " + QRegularExpression::escape(form) +
                                        "(  +[a-z]|\n {26}[a-zI])")),
                 qPrintable(form));
    Run own;
    QCOMPARE(own({command, "--help"}), 0);
    QStringList usage = own.output().section(QRegularExpression("\n(?! )"), 0, 0).split('\n');
    for (QString& line : usage)
        line.remove(QRegularExpression("^(Usage:)? +quenlor-sysex |^ +"));
    QString shown = usage.join('\n').remove(QRegularExpression(" *\\[-[^]]*\\]\n?"));
    QCOMPARE(shown.trimmed().split('\n'), forms);
}

void TestCompanion::check_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("status");

    const QByteArray good = bank();
    QTest::newRow("good bank") << good << "bank.bbk"
                               << "loads (74 patches)" << QStringList{} << 0;
    QTest::newRow("varied bank") << variedBank() << "bank.bbk"
                                 << "loads (74 patches)" << QStringList{} << 0;
    QTest::newRow("values at their limits")
        << bank(
               {{74, {{10, 63}, {31, 11}, {32, 30}, {42, 11}, {43, 30}, {4, 1}, {24, 0}, {27, 1}}}})
        << "bank.bbk"
        << "loads (74 patches)" << QStringList{} << 0;
    QTest::newRow("more than 74 records") << good + record("extra", {{10, 99}}) << "bank.bbk"
                                          << "loads (74 patches)" << QStringList{} << 0;
    QTest::newRow("good patch file") << record("Pad", {{10, 40}}) << "pad.b01"
                                     << "loads (1 patch)" << QStringList{} << 0;
    QTest::newRow("patch file, any case") << record("Pad") << "PAD.B01"
                                          << "loads (1 patch)" << QStringList{} << 0;

    // Record 11 of 74 cut after the value line of parameter 22 (line 25).
    QTest::newRow("truncated in a record") << good.left(10 * 266 + 14 + 22 * 4) << "bank.bbk"
                                           << "does not load"
                                           << QStringList{"bank.bbk: record 11, line 26 (parameter "
                                                          "23): the file ends before this line"}
                                           << 1;
    QTest::newRow("truncated in a value line")
        << good.left(10 * 266 + 14 + 22 * 4 + 2) << "bank.bbk"
        << "does not load"
        << QStringList{"bank.bbk: record 11, line 27 (parameter 24): the file ends before this "
                       "line"}
        << 1;
    QTest::newRow("truncated after a record")
        << good.left(73 * 266) << "bank.bbk"
        << "does not load"
        << QStringList{"bank.bbk: record 74, line 1: the file ends before this line"} << 1;
    QTest::newRow("truncated after the name")
        << good.left(6 + 2) << "bank.bbk"
        << "does not load"
        << QStringList{"bank.bbk: record 1, line 3: the file ends before this line"} << 1;
    QTest::newRow("empty file")
        << QByteArray() << "bank.bbk"
        << "does not load"
        << QStringList{"bank.bbk: record 1, line 1: the file ends before this line"} << 1;
    QTest::newRow("patch file of 40 value lines")
        << record("Pad").left(17 + 40 * 4) << "pad.b01"
        << "does not load"
        << QStringList{"pad.b01: record 1, line 44 (parameter 41): the file ends before this line"}
        << 1;
    QTest::newRow("line feeds alone")
        << QByteArray(good).replace("\r\n", "\n") << "bank.bbk"
        << "does not load"
        << QStringList{"bank.bbk: record 1, line 2: the file ends before this line "
                       "(its lines end with a line feed alone; the program needs CR LF)"}
        << 1;
    QByteArray wide = good;
    wide.replace(266 * 4 + 14, 4, "40000\r\n");
    QTest::newRow("value beyond 16 bits") << wide << "bank.bbk"
                                          << "does not load"
                                          << QStringList{"bank.bbk: record 5, line 4 (parameter "
                                                         "1): value \"40000\" does not fit 16 bits"}
                                          << 1;
    QByteArray longLine = good;
    longLine.insert(266 * 2 + 6, QByteArray(70000, 'x'));
    QTest::newRow("name line too long")
        << longLine << "bank.bbk"
        << "does not load"
        << QStringList{"bank.bbk: record 3, line 2: line longer than 65536 bytes"} << 1;
    QTest::newRow("too long at the very end")
        << good.left(73 * 266 + 6) + QByteArray(70000, 'y') << "bank.bbk"
        << "does not load"
        << QStringList{"bank.bbk: record 74, line 2: line longer than 65536 bytes"} << 1;

    QTest::newRow("out of range")
        << bank({{12, {{37, 5}}}}) << "bank.bbk"
        << "loads (74 patches), 1 fault in the patches read"
        << QStringList{"bank.bbk: record 12, line 40 (parameter 37): value 5 outside 0..1"} << 1;
    QTest::newRow("range limits plus one")
        << bank({{1, {{10, 64}, {31, 12}, {32, 31}, {43, -1}}}}) << "bank.bbk"
        << "loads (74 patches), 4 faults in the patches read"
        << QStringList{"bank.bbk: record 1, line 13 (parameter 10): value 64 outside 0..63",
                       "bank.bbk: record 1, line 34 (parameter 31): value 12 outside 0..11",
                       "bank.bbk: record 1, line 35 (parameter 32): value 31 outside 0..30",
                       "bank.bbk: record 1, line 46 (parameter 43): value -1 outside 0..30"}
        << 1;
    QTest::newRow("16-bit limits")
        << bank({{2, {{8, 32767}, {9, -32768}}}}) << "bank.bbk"
        << "loads (74 patches), 2 faults in the patches read"
        << QStringList{"bank.bbk: record 2, line 11 (parameter 8): value 32767 outside 0..63",
                       "bank.bbk: record 2, line 12 (parameter 9): value -32768 outside 0..63"}
        << 1;
    QTest::newRow("two octaves set")
        << bank({{30, {{24, 0}, {25, 1}, {27, 1}}}}) << "bank.bbk"
        << "loads (74 patches), 1 fault in the patches read"
        << QStringList{"bank.bbk: record 30, line 30 (parameter 27): choice 24..27 has more than "
                       "one member set: 25, 27"}
        << 1;
    QTest::newRow("first octave and another")
        << bank({{7, {{36, 1}}}}) << "bank.bbk"
        << "loads (74 patches), 1 fault in the patches read"
        << QStringList{"bank.bbk: record 7, line 39 (parameter 36): choice 35..38 has more than "
                       "one member set: 35, 36"}
        << 1;
    QTest::newRow("two LFO waves")
        << record("Pad", {{53, 1}, {54, 1}, {55, 1}}) << "pad.b01"
        << "loads (1 patch), 1 fault in the patches read"
        << QStringList{"pad.b01: record 1, line 58 (parameter 55): choice 53..55 has more than one "
                       "member set: 53, 54, 55"}
        << 1;
    QTest::newRow("flag of 2")
        << record("Pad", {{2, 2}}) << "pad.b01"
        << "loads (1 patch), 1 fault in the patches read"
        << QStringList{"pad.b01: record 1, line 5 (parameter 2): value 2 outside 0..1"} << 1;
    // An octave must be chosen; an LFO may have no waveform.
    QTest::newRow("no octave set")
        << bank({{5, {{24, 0}}}}) << "bank.bbk"
        << "loads (74 patches), 1 fault in the patches read"
        << QStringList{"bank.bbk: record 5, line 27 (parameter 24): choice 24..27 has no member "
                       "set; it needs one"}
        << 1;
    QTest::newRow("every value 0")
        << record("Zero", {{24, 0}, {35, 0}}) << "zero.b01"
        << "loads (1 patch), 2 faults in the patches read"
        << QStringList{"zero.b01: record 1, line 27 (parameter 24): choice 24..27 has no member "
                       "set; it needs one",
                       "zero.b01: record 1, line 38 (parameter 35): choice 35..38 has no member "
                       "set; it needs one"}
        << 1;
    QTest::newRow("no LFO waveform is no fault") << record("Pad", {{1, 0}, {53, 0}}) << "pad.b01"
                                                 << "loads (1 patch)" << QStringList{} << 0;
    // The patches read before the failure are loaded, so their faults count too.
    QTest::newRow("faults before a failure")
        << bank({{2, {{45, 64}}}}).left(5 * 266) << "bank.bbk"
        << "does not load, 1 fault in the patches read"
        << QStringList{"bank.bbk: record 2, line 48 (parameter 45): value 64 outside 0..63",
                       "bank.bbk: record 6, line 1: the file ends before this line"}
        << 1;
}

void TestCompanion::check() {
    QFETCH(QByteArray, content);
    QFETCH(QString, name);
    QFETCH(QString, verdict);
    QFETCH(QStringList, messages);
    QFETCH(int, status);
    const QString file = made(name, content);
    Run run;
    QCOMPARE(run({"check", file}), status);
    QCOMPARE(run.output(), file + ": " + verdict + "\n");
    QStringList expected;
    for (const QString& message : messages)
        expected << path(message);
    QCOMPARE(run.errors(), expected.isEmpty() ? QString() : expected.join('\n') + '\n');
    QVERIFY(run.systemsAsked.isEmpty()); // a check never opens the MIDI system
}

void TestCompanion::checkSeveralFiles() {
    const QString good = made("good.bbk", bank());
    const QString odd = made("odd.bbk", bank({{3, {{25, 1}}}}));
    const QString missing = path("missing.bbk");
    Run run;
    QCOMPARE(run({"check", good, missing, odd, good}), 1);
    QCOMPARE(run.output(), good + ": loads (74 patches)\n" + missing + ": does not load\n" + odd +
                               ": loads (74 patches), 1 fault in the patches read\n" + good +
                               ": loads (74 patches)\n");
    QCOMPARE(run.errors(), missing + ": cannot be opened: No such file or directory\n" + odd +
                               ": record 3, line 28 (parameter 25): choice 24..27 has more than "
                               "one member set: 24, 25\n");

    Run folder;
    QCOMPARE(folder({"check", m_dir->path()}), 1);
    QCOMPARE(folder.errors(), m_dir->path() + ": is a folder\n");
}

void TestCompanion::syxSameBytesAsTheProgram_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("patch");
    QTest::addColumn<int>("channel");
    QTest::addColumn<bool>("bit99");
    QTest::newRow("patch 1, defaults") << "varied.bbk" << 1 << 0 << false;
    QTest::newRow("patch 7, channel 10, Bit 99") << "varied.bbk" << 7 << 10 << true;
    QTest::newRow("patch 74, channel 16") << "varied.bbk" << 74 << 16 << false;
    QTest::newRow("patch 37, channel 1, Bit 99") << "varied.bbk" << 37 << 1 << true;
    QTest::newRow("values outside their range") << "wild.bbk" << 2 << 5 << false;
    QTest::newRow("patch file") << "pad.b01" << 0 << 3 << false;
}

void TestCompanion::syxSameBytesAsTheProgram() {
    QFETCH(QString, file);
    QFETCH(int, patch);
    QFETCH(int, channel);
    QFETCH(bool, bit99);
    made("varied.bbk", variedBank());
    made("wild.bbk", bank({{2, {{10, 200}, {31, -4}, {45, 99}, {1, 1}, {3, 1}, {26, 1}, {7, 2}}}}));
    made("pad.b01", record("Pad", {{10, 63}, {32, 30}, {24, 0}, {26, 1}, {31, 7}, {45, 63}}));

    QStringList args{"syx", path(file), "-o", path("out.syx")};
    if (patch) args << "--patch" << QString::number(patch);
    if (channel) args << "--channel" << QString::number(channel);
    if (bit99) args << "--bit99";
    Run run;
    QCOMPARE(run(args), 0);
    QCOMPARE(run.errors(), QString());
    const std::vector<Bytes> sent =
        sentByTheProgram(path(file), patch ? patch : 1, channel ? channel : 1, bit99);
    QCOMPARE(sent.size(), std::size_t(2)); // the dump, then Program Change 0
    QCOMPARE(bytesOf(CompanionFiles::read(path("out.syx"))), sent[0]);
    QCOMPARE(sent[0].size(), std::size_t(80));
}

void TestCompanion::syxWholeBankInOrder() {
    const QString file = made("varied.bbk", variedBank());
    Run run;
    QCOMPARE(run({"syx", file, "--channel", "2", "-o", path("bank.syx")}), 0);
    const QByteArray written = CompanionFiles::read(path("bank.syx"));
    QCOMPARE(written.size(), 74 * 80);
    for (int patch = 1; patch <= 74; ++patch) {
        const Bytes dump = bytesOf(written.mid((patch - 1) * 80, 80));
        QCOMPARE(dump, sentByTheProgram(file, patch, 2, 0).at(0));
        QCOMPARE(dump[2], uint8_t(0x11));
    }
    // Every patch differs, so a dump out of place shows.
    QVERIFY(written.mid(0, 80) != written.mid(80, 80));
}

void TestCompanion::syxRefusesAFileThatDoesNotLoad() {
    const QString file = made("short.bbk", bank().left(10 * 266));
    const QString out = made("out.syx", "kept");
    Run run;
    QCOMPARE(run({"syx", file, "-o", out}), 1);
    QCOMPARE(run.errors(),
             "quenlor-sysex: " + file + ": record 11, line 1: the file ends before this line\n");
    QCOMPARE(CompanionFiles::read(out), QByteArray("kept"));

    Run noFolder;
    QCOMPARE(noFolder({"syx", made("good.bbk", bank()), "-o", path("no/such/folder.syx")}), 1);
    QCOMPARE(noFolder.errors(),
             "quenlor-sysex: cannot write '" + path("no/such/folder.syx") + "'\n");

    Run patchOfAPatchFile;
    QCOMPARE(patchOfAPatchFile({"syx", made("pad.b01", record("Pad")), "--patch", "2", "-o", out}),
             2);
    QCOMPARE(patchOfAPatchFile.errors(),
             QStringLiteral("quenlor-sysex: a patch file holds one patch; --patch can only be 1\n"
                            "Try 'quenlor-sysex --help'.\n"));
}

void TestCompanion::syxToStandardOutput() {
    const QString file = made("pad.b01", record("Pad"));
    Run run;
    QCOMPARE(run({"syx", file, "-o", "-"}), 0);
    const std::string bytes = run.out.str();
    // The new patch's dump: all zero nibbles but offset 16, the detune's marker bit.
    Bytes expected(80, 0);
    expected[0] = 0xF0;
    expected[1] = 0x25;
    expected[2] = 0x10;
    expected[3] = 0x07;
    expected[16] = 0x08;
    expected[79] = 0xF7;
    QCOMPARE(Bytes(bytes.begin(), bytes.end()), expected);
}

namespace {
// The dumps of a bank file as the companion's syx writes them.
QByteArray syxOf(const QString& bankFile, const QString& out, const QStringList& options = {}) {
    Run run;
    run(QStringList{"syx", bankFile, "-o", out} + options);
    return CompanionFiles::read(out);
}

// The bank file the import should write: the records of the source bank in order, each
// named after the imported file, and new patches after them.
QByteArray renamed(const QByteArray& source, int first, int count, const QByteArray& stem) {
    QList<QByteArray> records;
    for (int at = 0; at >= 0;) {
        const int next = source.indexOf("Name\r\n", at + 1);
        records << source.mid(at, next < 0 ? -1 : next - at);
        at = next;
    }
    QByteArray text;
    for (int r = 0; r < count; ++r) {
        const QByteArray& one = records.at(first - 1 + r);
        text += "Name\r\n" + stem + (count > 1 ? " " + QByteArray::number(r + 1) : "") +
                one.mid(one.indexOf("\r\n", 6));
    }
    for (int r = count; r < 74; ++r)
        text += record();
    return text;
}
} // namespace

void TestCompanion::exportMatchesSyx_data() {
    QTest::addColumn<int>("channel");
    QTest::addColumn<bool>("bit99");
    QTest::newRow("channel 1") << 1 << false;
    QTest::newRow("channel 16, Bit 99") << 16 << true;
}

// File > Export Bank as SysEx writes the very bytes of the companion's syx, and says in
// the status bar that the names are not in them.
void TestCompanion::exportMatchesSyx() {
    QFETCH(int, channel);
    QFETCH(bool, bit99);
    const QString bankFile = made("varied.bbk", variedBank());
    QuenlorCode code;
    code.InitPatchModel();
    QVERIFY(loadFile(bankFile.toStdString(), code.PatchBank).loads());
    code.MIDIChannelOut = int16_t(channel);
    code.Bit99Compatible = bit99 ? 1 : 0;
    FakeStorageHost host;
    host.answerSave(path("window.syx").toStdString());
    QVERIFY(BankCommands(code, host).exportBankAsSysEx());
    QCOMPARE(host.SaveSetups.back().Filter,
             std::string("SysEx files (*.syx)|*.syx|All files|*.*"));
    QCOMPARE(host.StatusTexts, std::vector<std::string>{"Patch names are not part of SysEx "
                                                        "dumps; Save Bank keeps them."});
    QStringList options{"--channel", QString::number(channel)};
    if (bit99)
        options << "--bit99";
    const QByteArray fromSyx = syxOf(bankFile, path("companion.syx"), options);
    QCOMPARE(fromSyx.size(), 74 * 80);
    QCOMPARE(CompanionFiles::read(path("window.syx")), fromSyx);
}

void TestCompanion::importWritesTheBank_data() {
    QTest::addColumn<QString>("source");      // raw, raw with junk, midi
    QTest::addColumn<QStringList>("options"); // of the syx that makes the dumps
    QTest::addColumn<int>("first");           // first patch of the bank in the file
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("stem"); // of the file's name
    QTest::newRow("whole bank") << "raw" << QStringList{} << 1 << 74 << "Strings";
    QTest::newRow("Bit 99 on channel 16")
        << "raw" << QStringList{"--bit99", "--channel", "16"} << 1 << 74 << "Strings";
    QTest::newRow("one patch") << "raw" << QStringList{"--patch", "7"} << 7 << 1 << "Strings";
    QTest::newRow("junk between") << "junk" << QStringList{} << 1 << 74 << "Strings";
    QTest::newRow("MIDI file") << "midi" << QStringList{} << 1 << 74 << "Strings";
    QTest::newRow("non-ASCII file name") << "raw" << QStringList{} << 1 << 74 << "B\u00e4sse";
}

// The values saved after an import equal the source patches, named after the file.
void TestCompanion::importWritesTheBank() {
    QFETCH(QString, source);
    QFETCH(QStringList, options);
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(QString, stem);
    const QByteArray bankText = variedBank();
    QByteArray dumps = syxOf(made("varied.bbk", bankText), path("made.syx"), options);
    QCOMPARE(dumps.size(), count * 80);
    if (source == "junk")
        for (int at = dumps.size() - 80; at > 0; at -= 80)
            dumps.insert(at, QByteArray::fromHex("00904040F8") + "junk");
    const QString in = made(stem + (source == "midi" ? ".mid" : ".syx"),
                            source == "midi" ? midiFileOf(dumps) : dumps);
    Run run;
    QCOMPARE(run({"import", in, "-o", path("out.bbk")}), 0);
    QCOMPARE(run.errors(), QString());
    QCOMPARE(CompanionFiles::read(path("out.bbk")),
             renamed(bankText, first, count, stem.toLatin1()));
}

// Past the 1024 reasons kept, the import says how many more there were.
void TestCompanion::importNamesEveryReasonLeftOut() {
    const QByteArray good = syxOf(made("b.bbk", bank()), path("b.syx"), {"--patch", "1"});
    const QString in = made("many.syx", QByteArray::fromHex("F0F7").repeated(1100) + good);
    Run run;
    QCOMPARE(run({"import", in, "-o", path("out.bbk")}), 0);
    QVERIFY(run.errors().endsWith(": offset 2046: an empty message\n" + in + ": and 76 more\n"));
}

void TestCompanion::checkSysEx_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QString>("errors");
    QByteArray bad = syxOf(made("b.bbk", bank()), path("b.syx"), {"--patch", "1"});
    bad[9] = 0x0D; // parameter 10 in bits 2..7: the low bits must stay clear
    QTest::newRow("good") << syxOf(made("v.bbk", variedBank()), path("v.syx")) << 0 << "74 patches"
                          << "";
    QTest::newRow("bad byte") << bad + bad << 1 << "0 patches, 2 messages skipped"
                              << "offset 9: data byte 0x0D of parameter 10 has bits 0-1 set\n"
                                 "offset 89: data byte 0x0D of parameter 10 has bits 0-1 set\n";
    QTest::newRow("nothing") << QByteArray("text") << 1 << "0 patches"
                             << "";
}

void TestCompanion::checkSysEx() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    QFETCH(QString, verdict);
    QFETCH(QString, errors);
    const QString file = made("dumps.SYX", bytes);
    Run run;
    QCOMPARE(run({"check", file}), status);
    QCOMPARE(run.output(), file + ": " + verdict + "\n");
    QString expected;
    for (const QString& line : errors.split('\n', Qt::SkipEmptyParts))
        expected += file + ": " + line + "\n";
    QCOMPARE(run.errors(), expected);
}

void TestCompanion::sendDumpThenProgramChange_data() {
    QTest::addColumn<SettingsStore::Pairs>("stored");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("device");
    QTest::addColumn<int>("patch");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("bit99");
    using Pairs = SettingsStore::Pairs;
    QTest::newRow("stored output, channel and header")
        << Pairs{{"MIDIOutPort", "Synth B"}, {"MIDIChannelOut", " 5"}, {"Bit99Compatible", "Yes"}}
        << QStringList{} << 1 << 1 << 5 << 1;
    QTest::newRow("options over the settings")
        << Pairs{{"MIDIOutPort", "Synth B"}, {"MIDIChannelOut", " 5"}}
        << QStringList{"--port", "Synth A", "--channel", "16", "--bit99", "--patch", "74"} << 0
        << 74 << 16 << 1;
    QTest::newRow("port given, nothing stored")
        << Pairs{} << QStringList{"--port=Synth B", "--patch=9"} << 1 << 9 << 1 << 0;
}

void TestCompanion::sendDumpThenProgramChange() {
    QFETCH(SettingsStore::Pairs, stored);
    QFETCH(QStringList, options);
    QFETCH(int, device);
    QFETCH(int, patch);
    QFETCH(int, channel);
    QFETCH(int, bit99);
    const QString file = made("varied.bbk", variedBank());
    Run run;
    for (const auto& [key, value] : stored)
        run.store.writeKey("MIDI", key, value);
    run.store.Writes.clear();
    QCOMPARE(run(QStringList{"send", file} + options), 0);
    QCOMPARE(run.errors(), QString());
    QCOMPARE(run.systemsAsked, QStringList{""});
    QVERIFY(run.store.Writes.empty()); // nothing is saved

    const std::vector<Bytes> expected = sentByTheProgram(file, patch, channel, bit99);
    QCOMPARE(run.midi.Sent.size(), std::size_t(2));
    QCOMPARE(run.midi.Sent[0].Data, expected[0]);
    QCOMPARE(run.midi.Sent[1].Data, (Bytes{uint8_t(0xC0 + channel - 1), 0}));
    QCOMPARE(run.midi.Sent[0].Device, device);
    QCOMPARE(run.midi.Sent[1].Device, device);
}

// The companion ends once the patch has left and its pause has passed, the pause given
// or stored: sends one after another in a script keep it.
void TestCompanion::sendEndsAfterThePause_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("pause");
    QTest::newRow("none") << QString() << QStringList{} << 0;
    QTest::newRow("stored") << " 40" << QStringList{} << 40;
    QTest::newRow("given over the stored") << " 40" << QStringList{"--pause", "2000"} << 2000;
}

void TestCompanion::sendEndsAfterThePause() {
    QFETCH(QString, stored);
    QFETCH(QStringList, options);
    QFETCH(int, pause);
    const QString file = made("varied.bbk", variedBank());
    Run run;
    run.store.writeKey("MIDI", "MIDIOutPort", "Synth A");
    if (!stored.isEmpty())
        run.store.writeKey("Timing", "PauseAfterPatch", stored);
    QCOMPARE(run(QStringList{"send", file} + options), 0);
    QCOMPARE(run.midi.Sent.size(), std::size_t(2));
    QCOMPARE(run.midi.Clock.now() - run.midi.Sent[0].Time,
             std::chrono::microseconds(82 * 320 + pause * 1000));
}

void TestCompanion::sendWithoutAnOutput_data() {
    QTest::addColumn<SettingsStore::Pairs>("stored");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");
    using Pairs = SettingsStore::Pairs;
    const QString notRunning =
        "Quenlor is not running, so its own output, Quenlor:MIDI Out, reaches no device; start "
        "Quenlor, or name a device with --port NAME (quenlor-sysex ports lists them)";
    QTest::newRow("nothing stored") << Pairs{} << QStringList{} << notRunning;
    QTest::newRow("the program's own port stored")
        << Pairs{{"MIDIOutPort", "Quenlor:MIDI Out"}} << QStringList{} << notRunning;
    QTest::newRow("stored output unplugged")
        << Pairs{{"MIDIOutPort", "Synth C"}} << QStringList{}
        << "the output in the settings, 'Synth C', is not there; choose one with --port NAME";
    QTest::newRow("no such port")
        << Pairs{{"MIDIOutPort", "Synth A"}} << QStringList{"--port", "synth a"}
        << "no MIDI output named 'synth a' (quenlor-sysex ports lists them)";
    QTest::newRow("the program's own port given")
        << Pairs{{"MIDIOutPort", "Synth A"}} << QStringList{"--port", "Quenlor:MIDI Out"}
        << notRunning;
}

void TestCompanion::sendWithoutAnOutput() {
    QFETCH(SettingsStore::Pairs, stored);
    QFETCH(QStringList, options);
    QFETCH(QString, message);
    Run run;
    for (const auto& [key, value] : stored)
        run.store.writeKey("MIDI", key, value);
    QCOMPARE(run(QStringList{"send", made("good.bbk", bank())} + options), 1);
    QCOMPARE(run.errors(), "quenlor-sysex: " + message + "\n");
    QVERIFY(run.midi.Sent.empty());
}

// Quenlor's own output connected to two devices: the patch goes to both, which it names.
void TestCompanion::sendToEveryDeviceOfTheProgramsOutput() {
    Run run;
    run.midi.ProgramOutput = QStringList{"Synth A", "Synth B"};
    run.midi.Log.clear();
    QCOMPARE(run({"send", made("good.bbk", bank())}), 0);
    QCOMPARE(run.output(), QString("sent to Synth A, Synth B, which Quenlor:MIDI Out is connected to\n"));
    QCOMPARE(run.midi.Log.filter(QRegularExpression("^out (open|also) [0-9]")),
             (QStringList{"out open 0", "out also 1"}));
    QCOMPARE(run.midi.Sent.size(), 2u);
}

// A MIDI system that takes nothing (a JACK server gone under the companion) is a failure
// that says what was not sent, never a success.
void TestCompanion::sendThatTheSystemDrops() {
    Run run;
    run.store.writeKey("MIDI", "MIDIOutPort", "Synth A");
    run.midi.Gone = true;
    QCOMPARE(run({"send", made("good.bbk", bank())}), 1);
    QCOMPARE(run.errors(), QStringLiteral("quenlor-sysex: nothing was sent: neither the patch "
                                          "dump nor its Program Change\n"));
}

void TestCompanion::portsAsTheOptionsDialogLists() {
    Run all;
    QCOMPARE(all({"ports"}), 0);
    QCOMPARE(all.output(),
             QStringLiteral("MIDI system: memory\nOutputs:\n  Quenlor:MIDI Out\n  Synth A\n"
                            "  Synth B\nInputs:\n  Keys In\n"));
    QCOMPARE(all.midi.Log, QStringList{}); // listing opens nothing

    Run outputs;
    QCOMPARE(outputs({"ports", "--outputs", "--midi", "jack"}), 0);
    QCOMPARE(outputs.output(), QStringLiteral("Quenlor:MIDI Out\nSynth A\nSynth B\n"));
    QCOMPARE(outputs.systemsAsked, QStringList{"jack"});

    Run inputs;
    inputs.midi.setDevices({}, {});
    QCOMPARE(inputs({"ports", "--inputs"}), 0);
    QCOMPARE(inputs.output(), QString());
}

void TestCompanion::realProgramExitStatus_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("good") << QStringList{"check", "good.bbk"} << 0
                          << QByteArray("good.bbk: loads (74 patches)\n") << QByteArray();
    QTest::newRow("truncated")
        << QStringList{"check", "short.bbk"} << 1 << QByteArray("short.bbk: does not load\n")
        << QByteArray("short.bbk: record 3, line 1: the file ends before this line\n");
    QTest::newRow("usage")
        << QStringList{"chek", "good.bbk"} << 2 << QByteArray()
        << QByteArray("quenlor-sysex: unknown command 'chek'\nTry 'quenlor-sysex --help'.\n");
    QTest::newRow("help") << QStringList{"--help"} << 0
                          << QByteArray("Usage: quenlor-sysex COMMAND") << QByteArray();
}

void TestCompanion::realProgramExitStatus() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    made("good.bbk", bank());
    made("short.bbk", bank().left(2 * 266));
    QProcess program;
    program.setWorkingDirectory(m_dir->path());
    program.start(QStringLiteral(QUENLOR_SYSEX_PROGRAM), args);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), status);
    const QByteArray stdoutText = program.readAllStandardOutput();
    QVERIFY2(out.endsWith('\n') ? stdoutText == out : stdoutText.startsWith(out),
             stdoutText.constData());
    QCOMPARE(program.readAllStandardError(), err);
}

void TestCompanion::library_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("lines"); // of the standard output; %1 is the folder
    const QString one = "bc2e3f0353e9dc17\tPad\tPad,Strings\t2\t%1/a.bbk";
    QTest::newRow("list") << QStringList{"library", "list"} << 0
                          << QStringList{one, "00421b7a357ee2ae\tSolo\t\t1\t%1/solo.b01"};
    QTest::newRow("search, any case") << QStringList{"library", "list", "--search", "PA"} << 0
                                      << QStringList{one};
    QTest::newRow("category") << QStringList{"library", "list", "--category", "strings"} << 0
                              << QStringList{one};
    QTest::newRow("favourites") << QStringList{"library", "list", "--favourites"} << 0
                                << QStringList{};
    QTest::newRow("missing") << QStringList{"library", "list", "--missing"} << 0 << QStringList{};
    QTest::newRow("unknown category") << QStringList{"library", "list", "--category", "Drone"} << 1
                                      << QStringList{};
    QTest::newRow("bank") << QStringList{"library", "bank", "--search", "o", "-o", "out.bbk"} << 0
                          << QStringList{"out.bbk: 2 patches from the library"};
    QTest::newRow("bank of nothing")
        << QStringList{"library", "bank", "--search", "zzz", "-o", "out.bbk"} << 1 << QStringList{};
}

// A folder added, then the library listed and written as a bank: the same sound in two
// files is one line with two copies, and the bank holds the matches in list order.
void TestCompanion::library() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QStringList, lines);
    const QString folder = QFileInfo(m_dir->path()).canonicalFilePath() + "/banks";
    QDir().mkpath(folder);
    const QByteArray pad = record("Pad", {{8, 40}});
    CompanionFiles::write(folder + "/a.bbk", pad + bank().mid(266));
    CompanionFiles::write(folder + "/b.bbk", record("Other name", {{8, 40}}) + bank().mid(266));
    CompanionFiles::write(folder + "/solo.b01", record("Solo", {{9, 3}}));
    {
        Run add;
        QCOMPARE(add({"library", "add", folder}), 0);
        QCOMPARE(add.output(), "3 files, 3 read, 149 patches, 3 new sounds\n");
    }
    {
        // The new patch of the banks' other 73 records is hidden, Pad has two categories.
        LibraryDatabase database(LibraryDatabase::defaultPath());
        QCOMPARE(database.open(), QString());
        QString error;
        const auto catalogue = LibraryCatalogue::load(database, error);
        const auto entry = [&](const QString& name) {
            for (const LibraryEntry& e : catalogue->Entries)
                if (e.Name == name) return e.Id;
            return qint64(0);
        };
        QVERIFY(LibraryEdits::setHidden(database, {entry("")}, true));
        for (const char* category : {"Strings", "Pad"})
            QVERIFY(LibraryEdits::setCategory(database, {entry("Pad")},
                                              catalogue->categoryId(category), true));
    }
    QDir::setCurrent(m_dir->path());
    Run run;
    QCOMPARE(run(args), status);
    const QStringList shown = run.output().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(shown, lines.replaceInStrings("%1", folder));
    if (args.contains("bank") && status == 0) {
        Bank written;
        std::vector<std::string> names;
        QCOMPARE(loadFile(path("out.bbk").toStdString(), written, &names).Records, 74);
        QCOMPARE(names[0], "Pad");
        QCOMPARE(names[1], "Solo");
        QCOMPARE(names[2], "");
        QCOMPARE(written(1, 8), 40);
        QCOMPARE(written(2, 9), 3);
    }
}

void TestCompanion::libraryRefuses_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("errors");
    QTest::newRow("not a folder") << "" << QStringList{"library", "add", "/nonexistent/banks"} << 1
                                  << "quenlor-sysex: '/nonexistent/banks' is not a folder\n";
    QTest::newRow("newer library, add")
        << "newer" << QStringList{"library", "add", "."} << 1
        << "quenlor-sysex: The library was written by a newer version of Quenlor: it is shown "
           "read-only\nquenlor-sysex: the library cannot be written\n";
    QTest::newRow("newer library, list")
        << "newer" << QStringList{"library", "list"} << 0
        << "quenlor-sysex: The library was written by a newer version of Quenlor: it is shown "
           "read-only\n";
}

// What the companion cannot do it says, with exit status 1; a library it may only read
// it still lists.
void TestCompanion::libraryRefuses() {
    QFETCH(QString, state);
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, errors);
    if (state == "newer") {
        LibraryDatabase database(LibraryDatabase::defaultPath());
        QCOMPARE(database.open(), QString());
        QVERIFY(database.exec("PRAGMA user_version = 99"));
    }
    Run run;
    QCOMPARE(run(args), status);
    QCOMPARE(run.errors(), errors);
}

// Two companions adding folders to one library at once take turns: both succeed and the
// library holds every patch of both, undamaged.
void TestCompanion::libraryTwoProgramsAtOnce() {
    for (const QString side : {"left", "right"}) {
        QDir().mkpath(path(side));
        for (int file = 0; file < 30; ++file) {
            std::map<int, Values> changes;
            for (int r = 1; r <= 74; ++r)
                changes[r] = {{8, r % 64}, {9, file}, {10, side == "left" ? 1 : 2}};
            CompanionFiles::write(path(side + "/" + QString::number(file) + ".bbk"), bank(changes));
        }
    }
    QProcess left;
    QProcess right;
    left.start(QStringLiteral(QUENLOR_SYSEX_PROGRAM), {"library", "add", path("left")});
    right.start(QStringLiteral(QUENLOR_SYSEX_PROGRAM), {"library", "add", path("right")});
    for (QProcess* program : {&left, &right}) {
        QVERIFY(program->waitForFinished(60000));
        QCOMPARE(program->readAllStandardError(), QByteArray());
        QCOMPARE(program->exitCode(), 0);
    }
    LibraryDatabase database(LibraryDatabase::defaultPath());
    QCOMPARE(database.open(), QString()); // the file passes its check
    QString error;
    const auto catalogue = LibraryCatalogue::load(database, error);
    QCOMPARE(int(catalogue->Entries.size()), 2 * 30 * 64); // records r and r + 64 sound alike
    QCOMPARE(int(catalogue->Copies.size()), 2 * 30 * 74);
}

void TestCompanion::libraryListAfterDamage_data() {
    QTest::addColumn<bool>("foldersKnown");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("lastError");
    QTest::newRow("its folders known")
        << true << 0 << 2
        << "quenlor-sysex: built again from the watched folders: 2 files, 2 read, "
           "2 patches, 2 new sounds\n";
    QTest::newRow("no folder known") << false << 1 << 0
                                     << "quenlor-sysex: the library was not built again: no "
                                        "watched folder is known; add them again "
                                        "with 'quenlor-sysex library add DIR...'\n";
}

// A damaged library is set aside and listed only once it is built again from the
// watched folders; when it cannot be, the companion says so and fails.
void TestCompanion::libraryListAfterDamage() {
    QFETCH(bool, foldersKnown);
    QFETCH(int, status);
    QFETCH(int, lines);
    QFETCH(QString, lastError);
    QDir().mkpath(path("banks"));
    CompanionFiles::write(path("banks/a.b01"), record("One", {{8, 1}}));
    CompanionFiles::write(path("banks/b.b01"), record("Two", {{8, 2}}));
    QCOMPARE(Run()({"library", "add", path("banks")}), 0);
    const QString library = LibraryDatabase::defaultPath();
    QFile::remove(library + "-wal");
    CompanionFiles::write(library, "not a library");
    if (!foldersKnown)
        QVERIFY(QFile::remove(QFileInfo(library).absolutePath() + "/library-folders.txt"));
    Run run;
    QCOMPARE(run({"library", "list"}), status);
    QCOMPARE(int(run.output().count('\n')), lines);
    QVERIFY2(run.errors().startsWith(
                 "quenlor-sysex: The library file was damaged: it was set aside as "),
             qPrintable(run.errors()));
    QVERIFY2(run.errors().endsWith(lastError), qPrintable(run.errors()));
}

QTEST_GUILESS_MAIN(TestCompanion)
#include "tst_companion.moc"
