#include "app/BackgroundMDI.h"
#include "core/QuenlorCode.h"
#include "editors/PlayWindow.h"
#include "midi/MIDIUtilities.h"
#include "support/MemoryMidiWorld.h"
#include "midi/MidiPorts.h"
#include "settings/ControllerSettings.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "support/MemorySettingsStore.h"
#include "support/FakeDesktop.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include <random>

// Settings stores that no options dialog wrote: damaged by hand, by a crash, by another
// program. Whatever they hold, the program starts at once, takes the documented
// defaults or corrections, and puts only valid status bytes on the wire.

using Bytes = MemoryMidiBackend::Bytes;

namespace {

constexpr uint8_t kSysExStart = 0xF0;
constexpr uint8_t kHeaderBit01 = 0x10;
constexpr uint8_t kHeaderBit99 = 0x20;
constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kProgramChange = 0xC0;
constexpr int kDumpLength = 80;
constexpr int kHeaderOffset = 2;
constexpr qint64 kLoadLimitMs = 1000;

const QString kIn = QStringLiteral("Keys:out");
const QString kOut = QStringLiteral("Synth:Bit 01 in");

// The settings in one line, to compare whole states at once.
QString settingsText(const QuenlorCode& c) {
    return QStringLiteral("AutoUpdate=%1 SendToOne=%2 In=%3 Out=%4 Thru=%5 Bit99=%6")
        .arg(c.AutoUpdate)
        .arg(c.SendToOne)
        .arg(c.MIDIChannelIn)
        .arg(c.MIDIChannelOut)
        .arg(c.MIDIThru)
        .arg(c.Bit99Compatible);
}
const QString kDefaults = QStringLiteral("AutoUpdate=0 SendToOne=-1 In=1 Out=1 Thru=0 Bit99=0");

// A settings file in a folder of the test's own.
class StoreFile {
public:
    StoreFile() : m_path(m_dir.filePath(QStringLiteral("Quenlor.conf"))) {}
    bool write(const QByteArray& content) {
        QFile f(m_path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               f.write(content) == content.size();
    }
    QString path() const { return m_path; }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

// The ports on a MIDI system in memory with the patch model, loaded from a store.
struct World {
    MemoryMidiWorld world;
    MemoryMidiBackend& backend = world.memory();
    MidiPorts& ports = world.ports();
    MIDIUtilities& midi = world.midi();
    QuenlorCode code;
    qint64 loadMs = 0;

    explicit World(QStringList inputs = {kIn}, QStringList outputs = {kOut})
        : world(std::move(inputs), std::move(outputs)) {
        code.Midi = &midi;
        code.InitPatchModel();
    }
    void load(SettingsStore& store) {
        QElapsedTimer timer;
        timer.start();
        LoadSettings(code, midi, ports, store);
        loadMs = timer.elapsed();
    }
};

// A channel's status byte must carry that channel, and the dump header the same one.
void verifyMessages(const std::vector<Bytes>& sent, int channel, int bit99) {
    QVERIFY(!sent.empty());
    for (const Bytes& m : sent) {
        QVERIFY(!m.empty());
        if (m[0] == kSysExStart) {
            QCOMPARE(int(m.size()), kDumpLength);
            const int header = (bit99 == 1 ? kHeaderBit99 : kHeaderBit01) + channel - 1;
            QCOMPARE(int(m[kHeaderOffset]), header);
            for (std::size_t i = 1; i + 1 < m.size(); ++i)
                QVERIFY(m[i] < 0x80);
            continue;
        }
        const int kind = m[0] & 0xF0;
        QVERIFY2(kind == kNoteOn || kind == kProgramChange, qPrintable(QString::number(m[0], 16)));
        QCOMPARE(m[0] & 0x0F, channel - 1);
        for (std::size_t i = 1; i < m.size(); ++i)
            QVERIFY(m[i] < 0x80);
    }
}

// Patch 1 and a test note, as the program sends them.
void verifySends(World& w, int channel) {
    w.backend.clearRecord();
    w.code.SendPatch(kFirstPatch);
    w.midi.PlayNoteOn(w.code.outputChannel(), 60, 100);
    w.midi.PlayNoteOff(w.code.outputChannel(), 60);
    const auto sent = w.backend.sentBytes();
    QCOMPARE(int(sent.size()), 4);
    verifyMessages(sent, channel, w.code.Bit99Compatible);
}

// Bytes with NULs in them, from a literal.
template <std::size_t N> QByteArray raw(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

QByteArray garbage(int size, unsigned seed) {
    std::mt19937 random(seed);
    QByteArray bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

// The whole program started on a settings file and the in-memory MIDI system.
struct Program {
    explicit Program(const QString& file)
        : world({kIn}, {kOut}), store(file), window(code, world, store, desktop) {}
    QuenlorCode code;
    MemoryMidiWorld world;
    QSettingsStore store;
    FakeDesktop desktop;
    BackgroundMDI window;
};

} // namespace

class TestHostileSettings : public QObject {
    Q_OBJECT
private slots:
    void storedChannels_data();
    void storedChannels();
    void deviceNames_data();
    void deviceNames();
    void deviceNamesSavedAndLoaded_data();
    void deviceNamesSavedAndLoaded();
    void damagedFiles_data();
    void damagedFiles();
    void controllerLinesCountedExactly();
    void storeThatIsAFolder();
    void unreadableStore();
    void programStarts_data();
    void programStarts();
};

void TestHostileSettings::storedChannels_data() {
    QTest::addColumn<QByteArray>("stored"); // as it stands in the file after "="
    QTest::addColumn<int>("channel");
    QTest::newRow("letters") << QByteArray("abc") << 1;
    QTest::newRow("99") << QByteArray("99") << 1;
    QTest::newRow("0") << QByteArray("0") << 1;
    QTest::newRow("-3") << QByteArray("-3") << 1;
    QTest::newRow("1e9 does not fit 16 bits") << QByteArray("1e9") << 1;
    QTest::newRow("quoted blank and 16.5, half to even") << QByteArray("\" 16.5\"") << 16;
    QTest::newRow("15.5 rounds up to even") << QByteArray("15.5") << 16;
    QTest::newRow("16.6 rounds to 17") << QByteArray("16.6") << 1;
    QTest::newRow("0.5 rounds to 0") << QByteArray("0.5") << 1;
    QTest::newRow("1.5 rounds to 2") << QByteArray("1.5") << 2;
    QTest::newRow("hexadecimal 16") << QByteArray("&H10") << 16;
    QTest::newRow("hexadecimal beyond 16 bits") << QByteArray("&HFFFFFFFF") << 1;
    QTest::newRow("octal 17 is 15") << QByteArray("&O17") << 15;
    QTest::newRow("beyond a double") << QByteArray("1E400") << 1;
    QTest::newRow("-32769") << QByteArray("-32769") << 1;
    QTest::newRow("32767") << QByteArray("32767") << 1;
    QTest::newRow("nan") << QByteArray("nan") << 1;
    QTest::newRow("inf") << QByteArray("inf") << 1;
    QTest::newRow("escaped tab before 7") << QByteArray("\"\\t7\"") << 7;
    QTest::newRow("trailing words") << QByteArray("7 channels") << 7;
    QTest::newRow("a list of two") << QByteArray("7,8") << 7;
    QTest::newRow("empty") << QByteArray("") << 1;
    QTest::newRow("control bytes") << QByteArray("\x01\x02\x7f") << 1;
    QTest::newRow("invalid UTF-8 then 5") << QByteArray("\xff\xfe"
                                                        "5")
                                          << 1;
    QTest::newRow("5000 digits") << QByteArray(5000, '9') << 1;
}

// Both channels stored with the same text, in a file as the user's store keeps it.
void TestHostileSettings::storedChannels() {
    QFETCH(QByteArray, stored);
    QFETCH(int, channel);
    StoreFile file;
    QVERIFY(file.write("[MIDI]\nMIDIChannelIn=" + stored + "\nMIDIChannelOut=" + stored + "\n"));
    QSettingsStore store(file.path());
    World w;
    w.load(store);
    QCOMPARE(int(w.code.MIDIChannelIn), channel);
    QCOMPARE(int(w.code.MIDIChannelOut), channel);
    QVERIFY(w.loadMs < kLoadLimitMs);
    verifySends(w, channel);
}

void TestHostileSettings::deviceNames_data() {
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QStringList>("outputs");
    QTest::addColumn<QString>("storedIn");
    QTest::addColumn<QString>("storedOut");
    QTest::addColumn<QStringList>("opened");
    const QString huge(10000, QLatin1Char('x'));
    const QString control = QStringLiteral("Synth\x01\x1b[31m\t\r\nin");
    const QString withNul = QStringLiteral("Synth") + QChar(0) + QStringLiteral("in");
    QTest::newRow("10,000 characters that a device carries")
        << QStringList{kIn, huge} << QStringList{kOut, huge} << huge << huge
        << QStringList{"in open 1", "out open 1"};
    QTest::newRow("10,000 characters that no device carries")
        << QStringList{kIn} << QStringList{kOut} << huge << huge
        << QStringList{"in open 0", "out open -1"};
    QTest::newRow("control characters that a device carries")
        << QStringList{kIn, control} << QStringList{kOut, control} << control << control
        << QStringList{"in open 1", "out open 1"};
    QTest::newRow("control characters that no device carries")
        << QStringList{kIn} << QStringList{kOut} << control << control
        << QStringList{"in open 0", "out open -1"};
    QTest::newRow("a NUL inside the name matches only that name")
        << QStringList{kIn, "Synth"} << QStringList{kOut, "Synth"} << withNul << withNul
        << QStringList{"in open 0", "out open -1"};
    QTest::newRow("the start of a device's name is no match")
        << QStringList{kIn} << QStringList{kOut} << "Keys"
        << "Synth" << QStringList{"in open 0", "out open -1"};
    QTest::newRow("no devices at all")
        << QStringList{} << QStringList{} << huge << control << QStringList{"out open -1"};
}

// Exact texts in the store, as a store of any kind may hand them back.
void TestHostileSettings::deviceNames() {
    QFETCH(QStringList, inputs);
    QFETCH(QStringList, outputs);
    QFETCH(QString, storedIn);
    QFETCH(QString, storedOut);
    QFETCH(QStringList, opened);
    MemorySettingsStore store;
    store.writeKey("MIDI", "MIDIInPort", storedIn);
    store.writeKey("MIDI", "MIDIOutPort", storedOut);
    World w(inputs, outputs);
    w.load(store);
    QCOMPARE(w.backend.Log, opened);
    QCOMPARE(settingsText(w.code), kDefaults);
    QVERIFY(w.loadMs < kLoadLimitMs);
    verifySends(w, 1);
}

void TestHostileSettings::deviceNamesSavedAndLoaded_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("control characters") << QStringLiteral("Synth\x01\x1b[31m\t\r\nin");
    QTest::newRow("INI punctuation") << QStringLiteral("[MIDI] a=b; #c, \"d\" \\e");
    QTest::newRow("leading and trailing blanks") << QStringLiteral("  Synth in  ");
    QTest::newRow("beyond Latin-1") << QStringLiteral("Synth \u00e9\u4e2d\U0001F3B9");
    QTest::newRow("4000 characters") << QString(4000, QLatin1Char('y'));
}

// A device with an odd name chosen in the options dialog: saved to the file and loaded
// at the next start, the same device opens.
void TestHostileSettings::deviceNamesSavedAndLoaded() {
    QFETCH(QString, name);
    StoreFile file;
    {
        World first({kIn, name}, {kOut, name});
        first.ports.MIDIInput1.setDeviceID(1);
        first.ports.MIDIOutput1.setDeviceID(1);
        first.code.MIDIChannelOut = 9;
        QSettingsStore store(file.path());
        SaveSettings(first.code, first.ports, store);
    }
    QSettingsStore store(file.path());
    World w({kIn, name}, {kOut, name});
    w.load(store);
    QCOMPARE(w.backend.Log, (QStringList{"in open 1", "out open 1"}));
    QCOMPARE(int(w.code.MIDIChannelOut), 9);
    verifySends(w, 9);
}

void TestHostileSettings::damagedFiles_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("opened");
    const QStringList defaultsOpened{"in open 0", "out open -1"};
    QTest::newRow("empty file") << QByteArray() << kDefaults << defaultsOpened;
    QTest::newRow("no MIDI section")
        << QByteArray("[Update]\nAutoUpdate=Yes\nSendToOne=No\n")
        << "AutoUpdate=-1 SendToOne=0 In=1 Out=1 Thru=0 Bit99=0" << defaultsOpened;
    QTest::newRow("no Update section")
        << QByteArray("[MIDI]\nMIDIChannelOut=4\nMIDIOutPort=Synth:Bit 01 in\n")
        << "AutoUpdate=0 SendToOne=-1 In=1 Out=4 Thru=0 Bit99=0"
        << QStringList{"in open 0", "out open 0"};
    // The store reads a section written twice as one, with the keys of both.
    QTest::newRow("MIDI section twice")
        << QByteArray("[MIDI]\nMIDIChannelOut=4\n[Update]\nAutoUpdate=Yes\n[MIDI]\nMIDIThru=Yes\n")
        << "AutoUpdate=-1 SendToOne=-1 In=1 Out=4 Thru=-1 Bit99=0" << defaultsOpened;
    // Of a key written twice the last one counts.
    QTest::newRow("key twice in two sections")
        << QByteArray("[MIDI]\nMIDIChannelOut=4\n[MIDI]\nMIDIChannelOut=9\n")
        << "AutoUpdate=0 SendToOne=-1 In=1 Out=9 Thru=0 Bit99=0" << defaultsOpened;
    QTest::newRow("key twice in one section")
        << QByteArray("[MIDI]\nMIDIChannelOut=4\nMIDIChannelOut=11\n")
        << "AutoUpdate=0 SendToOne=-1 In=1 Out=11 Thru=0 Bit99=0" << defaultsOpened;
    QTest::newRow("section names are case-sensitive")
        << QByteArray("[midi]\nMIDIChannelOut=4\n[UPDATE]\nAutoUpdate=Yes\n") << kDefaults
        << defaultsOpened;
    QTest::newRow("keys before any section")
        << QByteArray("MIDIChannelOut=4\nAutoUpdate=Yes\n") << kDefaults << defaultsOpened;
    // The store takes a header without its closing bracket as the section all the same.
    QTest::newRow("section header never closed")
        << QByteArray("[MIDI\nMIDIChannelOut=4\n")
        << "AutoUpdate=0 SendToOne=-1 In=1 Out=4 Thru=0 Bit99=0" << defaultsOpened;
    QTest::newRow("CR LF line ends")
        << QByteArray("[MIDI]\r\nMIDIChannelOut=6\r\nMIDIThru=Yes\r\n")
        << "AutoUpdate=0 SendToOne=-1 In=1 Out=6 Thru=-1 Bit99=0" << defaultsOpened;
    QTest::newRow("NUL bytes in a value")
        << raw("[MIDI]\nMIDIChannelOut=\0\0"
               "5\nMIDIThru=Yes\n")
        << "AutoUpdate=0 SendToOne=-1 In=1 Out=1 Thru=-1 Bit99=0" << defaultsOpened;
    QTest::newRow("a value of 1 MiB is no setting")
        << "[MIDI]\nMIDIChannelOut=" + QByteArray(1 << 20, '7') +
               "\nMIDIOutPort=" + QByteArray(1 << 20, 'x') + "\n"
        << kDefaults << defaultsOpened;
    QTest::newRow("8 MiB without a line end")
        << QByteArray(8 << 20, 'z') << kDefaults << defaultsOpened;
    QTest::newRow("binary garbage") << garbage(256 * 1024, 1) << kDefaults << defaultsOpened;
    QTest::newRow("garbage after good settings")
        << "[MIDI]\nMIDIChannelOut=12\n" + garbage(4096, 2)
        << "AutoUpdate=0 SendToOne=-1 In=1 Out=12 Thru=0 Bit99=0" << defaultsOpened;
    QTest::newRow("UTF-16 with a byte order mark")
        << raw("\xff\xfe[\0M\0I\0D\0I\0]\0\n\0") << kDefaults << defaultsOpened;
}

void TestHostileSettings::damagedFiles() {
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QFETCH(QStringList, opened);
    StoreFile file;
    QVERIFY(file.write(content));
    QSettingsStore store(file.path());
    World w;
    w.load(store);
    QCOMPARE(settingsText(w.code), expected);
    QCOMPARE(w.backend.Log, opened);
    QVERIFY2(w.loadMs < kLoadLimitMs, qPrintable(QString::number(w.loadMs)));
    verifySends(w, w.code.MIDIChannelOut);
}

// Every line of the controllers' section that plays nothing is counted once, those the
// store drops itself too: no '=', a key given again, a subsection's key.
void TestHostileSettings::controllerLinesCountedExactly() {
    StoreFile file;
    QVERIFY(file.write("[Controllers]\nP12=\nP13\n; a comment\n\nP19=1 cc 74 absolute\n"
                       "P19=1 cc 75 absolute\r\nP20=1 cc 6 absolute\nP21/x=1 cc 8 absolute\n"
                       "P22=1 cc 9 \\\n absolute\n[MIDI]\nP30\n[Controllers]\nP12=2 cc 1 absolute\n"));
    QSettingsStore store(file.path());
    QuenlorCode code;
    code.InitPatchModel();
    QCOMPARE(LoadControllers(code, store), 5); // P12 once, P13, P19 once, P20, P21/x
    QCOMPARE(code.Controllers.parameters(), (std::vector<int>{12, 19, 22}));
}

void TestHostileSettings::storeThatIsAFolder() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("Quenlor.conf");
    QVERIFY(QDir().mkdir(path));
    QSettingsStore store(path);
    World w;
    w.load(store);
    QCOMPARE(settingsText(w.code), kDefaults);
    verifySends(w, 1);
    // Saving into it fails quietly; the folder stays a folder.
    SaveSettings(w.code, w.ports, store);
    QVERIFY(QFileInfo(path).isDir());
}

void TestHostileSettings::unreadableStore() {
    if (geteuid() == 0) QSKIP("file permissions do not stop the superuser");
    StoreFile file;
    QVERIFY(file.write("[MIDI]\nMIDIChannelOut=5\n"));
    QVERIFY(QFile::setPermissions(file.path(), QFileDevice::Permissions()));
    QSettingsStore store(file.path());
    World w;
    w.load(store);
    QCOMPARE(settingsText(w.code), kDefaults);
    verifySends(w, 1);
}

void TestHostileSettings::programStarts_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("channel");
    QTest::newRow("channels abc") << QByteArray("[MIDI]\nMIDIChannelOut=abc\n") << 1;
    QTest::newRow("channels 99") << QByteArray("[MIDI]\nMIDIChannelOut=99\n") << 1;
    QTest::newRow("channels 0") << QByteArray("[MIDI]\nMIDIChannelOut=0\n") << 1;
    QTest::newRow("channels -3") << QByteArray("[MIDI]\nMIDIChannelOut=-3\n") << 1;
    QTest::newRow("channels 1e9") << QByteArray("[MIDI]\nMIDIChannelOut=1e9\n") << 1;
    QTest::newRow("channels 16.5") << QByteArray("[MIDI]\nMIDIChannelOut=\" 16.5\"\n") << 16;
    QTest::newRow("device names of 10,000 characters")
        << "[MIDI]\nMIDIInPort=" + QByteArray(10000, 'x') +
               "\nMIDIOutPort=" + QByteArray(10000, 'x') + "\nMIDIChannelOut=3\n"
        << 3;
    QTest::newRow("device names with control characters")
        << QByteArray("[MIDI]\nMIDIOutPort=\x01\x1b[2J\x7f\nMIDIChannelOut=\"\\t4\"\n") << 4;
    QTest::newRow("sections duplicated, Bit 99 header")
        << QByteArray("[MIDI]\nMIDIChannelOut=2\n[Update]\nAutoUpdate=Yes\n"
                      "[MIDI]\nBit99Compatible=Yes\n[Update]\nAutoUpdate=No\n")
        << 2;
    QTest::newRow("binary garbage") << garbage(64 * 1024, 3) << 1;
}

// The whole main window on the damaged store: it loads, sends patch 1 from the patch
// list, plays a test note from the play window, and every byte on the wire is valid.
void TestHostileSettings::programStarts() {
    QFETCH(QByteArray, content);
    QFETCH(int, channel);
    StoreFile file;
    QVERIFY(file.write(content));
    Program program(file.path());
    QElapsedTimer timer;
    timer.start();
    program.window.MDIForm_Load();
    program.window.show();
    program.window.openMidiDevices();
    QVERIFY(timer.elapsed() < kLoadLimitMs);
    QCOMPARE(int(program.code.outputChannel()), channel);
    QVERIFY(program.window.Play);
    program.window.Play->Form_MouseDown(100, 100);
    program.window.Play->Form_MouseUp();
    const auto sent = program.world.memory().sentBytes();
    int dumps = 0;
    for (const Bytes& m : sent)
        dumps += m[0] == kSysExStart;
    QVERIFY(dumps >= 1);
    verifyMessages(sent, channel, program.code.Bit99Compatible);
}

QTEST_MAIN(TestHostileSettings)
#include "tst_hostilesettings.moc"
