#include "core/ParameterLocks.h"
#include "core/QuenlorCode.h"
#include "midi/MIDIUtilities.h"
#include "support/MemoryMidiWorld.h"
#include "midi/MidiPorts.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "support/MemorySettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using Pairs = SettingsStore::Pairs;
using Write = MemorySettingsStore::Write;
Q_DECLARE_METATYPE(Pairs)

namespace {
struct World {
    MemoryMidiWorld world;
    MemoryMidiBackend& backend = world.memory();
    MidiPorts& ports = world.ports();
    MIDIUtilities& midi = world.midi();
    QuenlorCode code;
    MemorySettingsStore store;

    World(QStringList inputs = {}, QStringList outputs = {}) : world(std::move(inputs), std::move(outputs)) {
        code.Midi = &midi;
    }
    void load() { LoadSettings(code, midi, ports, store); }
    void put(const QString& section, const Pairs& pairs) {
        for (const auto& [key, value] : pairs)
            store.writeKey(section, key, value);
        store.Writes.clear();
    }
};

// The eight settings in one line, to compare whole states at once.
QString settings(const QuenlorCode& c) {
    return QStringLiteral("AutoUpdate=%1 SendToOne=%2 In=%3 Out=%4 Thru=%5 Bit99=%6")
        .arg(c.AutoUpdate).arg(c.SendToOne).arg(c.MIDIChannelIn).arg(c.MIDIChannelOut)
        .arg(c.MIDIThru).arg(c.Bit99Compatible);
}
} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void loadValues_data();
    void loadValues();
    void deviceSelection_data();
    void deviceSelection();
    void loadTiming_data();
    void loadTiming();
    void saveWritesTheKeysInOrder();
    void saveThenLoadRoundTrip();
    void qsettingsStoreInUsersConfiguration();
    void qsettingsStoreReadsNoOtherFile_data();
    void qsettingsStoreReadsNoOtherFile();
    void qsettingsStoreReadsHandEditedFile();
    void locksThroughTheFile();
};

void TestSettings::loadValues_data() {
    QTest::addColumn<Pairs>("update");
    QTest::addColumn<Pairs>("midi");
    QTest::addColumn<QString>("expected");
    const QString defaults = "AutoUpdate=0 SendToOne=-1 In=1 Out=1 Thru=0 Bit99=0";
    QTest::newRow("empty store") << Pairs{} << Pairs{} << defaults;
    QTest::newRow("all set") << Pairs{{"SendToOne", "No"}, {"AutoUpdate", "Yes"}}
                             << Pairs{{"MIDIChannelIn", " 3"}, {"MIDIChannelOut", " 16"},
                                      {"MIDIThru", "Yes"}, {"Bit99Compatible", "Yes"}}
                             << "AutoUpdate=-1 SendToOne=0 In=3 Out=16 Thru=-1 Bit99=1";
    QTest::newRow("values are case-sensitive")
        << Pairs{{"SendToOne", "no"}, {"AutoUpdate", "yes"}}
        << Pairs{{"MIDIThru", "YES"}, {"Bit99Compatible", "yes"}} << defaults;
    QTest::newRow("keys are case-sensitive")
        << Pairs{{"sendtoone", "No"}, {"autoUpdate", "Yes"}} << Pairs{{"midithru", "Yes"}, {"midichannelout", "9"}}
        << defaults;
    QTest::newRow("keys of the other section are ignored")
        << Pairs{{"MIDIThru", "Yes"}, {"MIDIChannelOut", "9"}} << Pairs{{"AutoUpdate", "Yes"}, {"SendToOne", "No"}}
        << defaults;
    QTest::newRow("SendToOne Yes keeps it on") << Pairs{{"SendToOne", "Yes"}} << Pairs{} << defaults;
    QTest::newRow("channel without a blank") << Pairs{} << Pairs{{"MIDIChannelOut", "16"}}
                                             << "AutoUpdate=0 SendToOne=-1 In=1 Out=16 Thru=0 Bit99=0";
    QTest::newRow("channel with trailing text") << Pairs{} << Pairs{{"MIDIChannelIn", " 12 channels"}}
                                                << "AutoUpdate=0 SendToOne=-1 In=12 Out=1 Thru=0 Bit99=0";
    QTest::newRow("channel rounds half to even") << Pairs{} << Pairs{{"MIDIChannelIn", "2.5"}, {"MIDIChannelOut", "3.5"}}
                                                 << "AutoUpdate=0 SendToOne=-1 In=2 Out=4 Thru=0 Bit99=0";
    QTest::newRow("channel in hexadecimal") << Pairs{} << Pairs{{"MIDIChannelOut", "&HA"}}
                                            << "AutoUpdate=0 SendToOne=-1 In=1 Out=10 Thru=0 Bit99=0";
    QTest::newRow("channel 0 is taken as 1") << Pairs{} << Pairs{{"MIDIChannelIn", " 0"}, {"MIDIChannelOut", "0"}}
                                             << defaults;
    QTest::newRow("channel 17 is taken as 1") << Pairs{} << Pairs{{"MIDIChannelIn", "17"}, {"MIDIChannelOut", " 17"}}
                                              << defaults;
    QTest::newRow("negative channel") << Pairs{} << Pairs{{"MIDIChannelOut", "-5"}} << defaults;
    QTest::newRow("channel beyond 16 bits") << Pairs{} << Pairs{{"MIDIChannelOut", "65537"}, {"MIDIChannelIn", "1E300"}}
                                            << defaults;
    QTest::newRow("channel without a number") << Pairs{} << Pairs{{"MIDIChannelOut", "ten"}, {"MIDIChannelIn", ""}}
                                              << defaults;
}

void TestSettings::loadValues() {
    QFETCH(Pairs, update);
    QFETCH(Pairs, midi);
    QFETCH(QString, expected);
    World w({"Keys:out"}, {"Bit01:in"});
    w.put("Update", update);
    w.put("MIDI", midi);
    // Values left from before must not survive the load.
    w.code.AutoUpdate = kOn;
    w.code.SendToOne = kOff;
    w.code.MIDIChannelIn = 7;
    w.code.MIDIChannelOut = 7;
    w.code.MIDIThru = kOn;
    w.code.Bit99Compatible = 1;
    w.load();
    QCOMPARE(settings(w.code), expected);
}

void TestSettings::deviceSelection_data() {
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QStringList>("outputs");
    QTest::addColumn<Pairs>("midi");
    QTest::addColumn<QStringList>("log");
    const QStringList ins = {"Keys:out", "Pads:out"};
    const QStringList outs = {"UM-ONE:UM-ONE MIDI 1", "Bit01:in"};
    QTest::newRow("empty store opens input 0 and the default output")
        << ins << outs << Pairs{} << QStringList{"in open 0", "out open -1"};
    QTest::newRow("stored names found")
        << ins << outs << Pairs{{"MIDIInPort", "Pads:out"}, {"MIDIOutPort", "Bit01:in"}}
        << QStringList{"in open 1", "out open 1"};
    QTest::newRow("stored default output")
        << ins << outs << Pairs{{"MIDIOutPort", "Quenlor:MIDI Out"}} << QStringList{"in open 0", "out open -1"};
    // The interface is unplugged: the defaults, not the last device tried.
    QTest::newRow("stored names not found open the defaults")
        << ins << outs << Pairs{{"MIDIInPort", "Gone:out"}, {"MIDIOutPort", "Gone:in"}}
        << QStringList{"in open 0", "out open -1"};
    QTest::newRow("names compared case-sensitively")
        << ins << outs << Pairs{{"MIDIInPort", "pads:out"}, {"MIDIOutPort", "bit01:in"}}
        << QStringList{"in open 0", "out open -1"};
    QTest::newRow("no devices at all") << QStringList{} << QStringList{}
                                       << Pairs{{"MIDIInPort", "Keys:out"}, {"MIDIOutPort", "Bit01:in"}}
                                       << QStringList{"out open -1"};
    // Selection stops at the first of two devices of one name; opening finds the last.
    QTest::newRow("shared names open the last")
        << QStringList{"Twin:out", "Other:out", "Twin:out"} << QStringList{"Twin:in", "Twin:in", "Other:in"}
        << Pairs{{"MIDIInPort", "Twin:out"}, {"MIDIOutPort", "Twin:in"}} << QStringList{"in open 2", "out open 1"};
}

void TestSettings::deviceSelection() {
    QFETCH(QStringList, inputs);
    QFETCH(QStringList, outputs);
    QFETCH(Pairs, midi);
    QFETCH(QStringList, log);
    World w(inputs, outputs);
    w.put("MIDI", midi);
    w.load();
    QCOMPARE(w.backend.Log, log);
}

void TestSettings::loadTiming_data() {
    QTest::addColumn<Pairs>("timing");
    QTest::addColumn<int>("pause");
    QTest::addColumn<int>("newestOnly");
    QTest::newRow("nothing stored") << Pairs{} << 0 << int(kOn);
    QTest::newRow("as saved") << Pairs{{"PauseAfterPatch", " 40"}, {"SendNewestOnly", "No"}} << 40
                              << int(kOff);
    QTest::newRow("without the blank") << Pairs{{"PauseAfterPatch", "60"}} << 60 << int(kOn);
    QTest::newRow("longest") << Pairs{{"PauseAfterPatch", " 2000"}} << 2000 << int(kOn);
    QTest::newRow("beyond the longest") << Pairs{{"PauseAfterPatch", " 2001"}} << 2000 << int(kOn);
    QTest::newRow("negative") << Pairs{{"PauseAfterPatch", "-5"}} << 0 << int(kOn);
    QTest::newRow("past 16 bits") << Pairs{{"PauseAfterPatch", "99999"}} << 0 << int(kOn);
    QTest::newRow("no number") << Pairs{{"PauseAfterPatch", "long"}} << 0 << int(kOn);
    QTest::newRow("no in lower case") << Pairs{{"SendNewestOnly", "no"}} << 0 << int(kOn);
}

// The timing keys reach the output port: a second patch waits for the pause, and with
// newest only a patch still waiting is replaced.
void TestSettings::loadTiming() {
    QFETCH(Pairs, timing);
    QFETCH(int, pause);
    QFETCH(int, newestOnly);
    World w({}, {"Bit01:in"});
    w.put("MIDI", {{"MIDIOutPort", "Bit01:in"}});
    w.put("Timing", timing);
    w.load();
    QCOMPARE(int(w.code.PauseAfterPatch), pause);
    QCOMPARE(int(w.code.SendNewestOnly), newestOnly);

    w.code.InitPatchModel();
    w.backend.Clock.setLeaping(false);
    for (int patch = 1; patch <= 3; ++patch)
        w.code.SendPatch(patch);
    w.backend.Clock.setLeaping(true);
    w.ports.MIDIOutput1.waitUntilSent(std::chrono::milliseconds(0));
    const auto& sent = w.backend.Sent;
    // Newest only: the first patch, which started at once and ends whole, then the last
    // patch alone.
    QCOMPARE(sent.size(), size_t(newestOnly == kOn ? 4 : 6));
    const size_t second = 2;
    QCOMPARE(sent[second].Data.size(), size_t(80));
    QCOMPARE(sent[second].Time - sent[second - 1].Time,
             std::chrono::microseconds(320 * int(sent[second - 1].Data.size()) + pause * 1000));
}

void TestSettings::saveWritesTheKeysInOrder() {
    World w({"Keys:out", "Pads:out"}, {"Bit01:in"});
    w.midi.OpenMidiIn("Pads:out");
    w.midi.OpenMidiOut("Bit01:in");
    w.code.SendToOne = kOff;
    w.code.AutoUpdate = kOn;
    w.code.MIDIChannelIn = 5;
    w.code.MIDIChannelOut = 16;
    w.code.MIDIThru = kOff;
    w.code.Bit99Compatible = 1;
    w.code.PauseAfterPatch = 45;
    w.code.SendNewestOnly = kOff;
    w.code.PlayNoteWhenAuditioning = kOn;
    SaveSettings(w.code, w.ports, w.store);
    const std::vector<Write> expected = {
        {"Update", "SendToOne", "No"},        {"Update", "AutoUpdate", "Yes"},
        {"MIDI", "MIDIInPort", "Pads:out"},   {"MIDI", "MIDIOutPort", "Bit01:in"},
        {"MIDI", "MIDIChannelIn", " 5"},      {"MIDI", "MIDIChannelOut", " 16"},
        {"MIDI", "MIDIThru", "No"},           {"MIDI", "Bit99Compatible", "Yes"},
        {"Timing", "PauseAfterPatch", " 45"}, {"Timing", "SendNewestOnly", "No"},
        {"Library", "PlayNoteWhenAuditioning", "Yes"},
    };
    QCOMPARE(w.store.Writes.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        QCOMPARE(w.store.Writes[i].Section + "/" + w.store.Writes[i].Key + "=" + w.store.Writes[i].Value,
                 expected[i].Section + "/" + expected[i].Key + "=" + expected[i].Value);

    // The opposite values, and the default output by its product name.
    w.store.Writes.clear();
    w.midi.OpenMidiOut(QString());
    w.code.SendToOne = kOn;
    w.code.AutoUpdate = kOff;
    w.code.MIDIThru = kOn;
    w.code.Bit99Compatible = 0;
    w.code.PauseAfterPatch = 0;
    w.code.SendNewestOnly = kOn;
    w.code.PlayNoteWhenAuditioning = kOff;
    SaveSettings(w.code, w.ports, w.store);
    QCOMPARE(w.store.Writes[0].Value, QStringLiteral("Yes"));
    QCOMPARE(w.store.Writes[1].Value, QStringLiteral("No"));
    QCOMPARE(w.store.Writes[3].Value, MidiBackend::defaultOutputName());
    QCOMPARE(w.store.Writes[6].Value, QStringLiteral("Yes"));
    QCOMPARE(w.store.Writes[7].Value, QStringLiteral("No"));
    QCOMPARE(w.store.Writes[8].Value, QStringLiteral(" 0"));
    QCOMPARE(w.store.Writes[9].Value, QStringLiteral("Yes"));
    QCOMPARE(w.store.Writes[10].Value, QStringLiteral("No"));
}

void TestSettings::saveThenLoadRoundTrip() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath("Quenlor.conf");
    {
        World w({"Keys:out", "Pads, drums:out"}, {"UM-ONE:UM-ONE MIDI 1", "Bit01:in"});
        QSettingsStore store(file);
        w.midi.OpenMidiIn("Pads, drums:out");
        w.midi.OpenMidiOut("Bit01:in");
        w.code.SendToOne = kOff;
        w.code.AutoUpdate = kOn;
        w.code.MIDIChannelIn = 9;
        w.code.MIDIChannelOut = 10;
        w.code.MIDIThru = kOn;
        w.code.Bit99Compatible = 1;
        SaveSettings(w.code, w.ports, store);
    }
    World next({"Keys:out", "Pads, drums:out"}, {"UM-ONE:UM-ONE MIDI 1", "Bit01:in"});
    QSettingsStore store(file);
    LoadSettings(next.code, next.midi, next.ports, store);
    QCOMPARE(settings(next.code), QStringLiteral("AutoUpdate=-1 SendToOne=0 In=9 Out=10 Thru=-1 Bit99=1"));
    QCOMPARE(next.backend.Log, (QStringList{"in open 1", "out open 1"}));
}

void TestSettings::qsettingsStoreInUsersConfiguration() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettingsStore store;
    QCOMPARE(store.fileName(), dir.filePath("Quenlor/Quenlor.conf"));
    QVERIFY(store.readSection("MIDI").empty());
    store.writeKey("MIDI", "MIDIChannelIn", " 5");
    store.writeKey("MIDI", "MIDIInPort", "");
    store.writeKey("Update", "AutoUpdate", "Yes");
    QVERIFY(QFile::exists(store.fileName())); // written at once, not at exit

    QSettingsStore again;
    const Pairs midi = again.readSection("MIDI");
    QCOMPARE(midi.size(), size_t(2));
    QVERIFY((midi == Pairs{{"MIDIChannelIn", " 5"}, {"MIDIInPort", ""}}) ||
            (midi == Pairs{{"MIDIInPort", ""}, {"MIDIChannelIn", " 5"}}));
    QCOMPARE(again.readSection("Update"), (Pairs{{"AutoUpdate", "Yes"}}));
    QVERIFY(again.readSection("Nothing").empty());
}

// Only the user's own store counts: files of the whole organisation or of the system
// must not fill an empty store, which gives the defaults.
void TestSettings::qsettingsStoreReadsNoOtherFile_data() {
    QTest::addColumn<bool>("system");
    QTest::addColumn<QString>("file");
    QTest::newRow("user's, organisation") << false << "Quenlor.conf";
    QTest::newRow("system's, program") << true << "Quenlor/Quenlor.conf";
    QTest::newRow("system's, organisation") << true << "Quenlor.conf";
}

void TestSettings::qsettingsStoreReadsNoOtherFile() {
    QFETCH(bool, system);
    QFETCH(QString, file);
    QTemporaryDir user;
    QTemporaryDir systemWide;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, user.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, systemWide.path());
    const QString path = (system ? systemWide : user).filePath(file);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[MIDI]\nMIDIChannelOut=5\n[Update]\nAutoUpdate=Yes\n");
    f.close();
    QSettingsStore store;
    QVERIFY(store.readSection("MIDI").empty());
    QVERIFY(store.readSection("Update").empty());
}

void TestSettings::qsettingsStoreReadsHandEditedFile() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath("hand.conf");
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[MIDI]\n"
            "MIDIChannelIn=16\n"
            "MIDIChannelOut=\" 16\"\n"
            "MIDIOutPort=Pads, drums:in\n"
            "MIDIThru=Yes\n"
            "MIDIInPort=" + QByteArray(10000, 'x') + "\n"
            "garbage line without equals\n"
            "[Update]\n"
            "AutoUpdate=Yes\n");
    f.close();
    World w({"Keys:out"}, {"Bit01:in", "Pads, drums:in"});
    QSettingsStore store(file);
    LoadSettings(w.code, w.midi, w.ports, store);
    QCOMPARE(settings(w.code), QStringLiteral("AutoUpdate=-1 SendToOne=-1 In=16 Out=16 Thru=-1 Bit99=0"));
    QCOMPARE(w.backend.Log, (QStringList{"in open 0", "out open 1"}));
}

// A hand-written list, unquoted, reads as a list of its own; what is no parameter
// number is passed over. Written back, the list reads the same.
void TestSettings::locksThroughTheFile() {
    QTemporaryDir dir;
    const QString file = dir.filePath("locks.conf");
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Locks]\nParameters=19, 8,junk,25,640\n");
    f.close();
    QSettingsStore store(file);
    QCOMPARE(LoadLocks(store).text(), std::string("8,19,24,25,26,27"));
    SaveLocks(*ParameterLocks::fromText("60,8"), store);
    QCOMPARE(LoadLocks(store).text(), std::string("8,60"));
    SaveLocks(ParameterLocks(), store);
    QVERIFY(LoadLocks(store).empty());
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
