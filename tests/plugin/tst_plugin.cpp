#include "PluginHost.h"

#include "core/CablePacing.h"
#include "core/PatchTransmission.h"
#include "core/PluginInterface.h"
#include "storage/FileCheck.h"
#include "storage/PresetExport.h"

#include <QProcess>
#include <QTemporaryDir>

#include <QTest>

#include <vector>

// The plugin in the test host: what it sends, when, and what it keeps with a project.
class TestPlugin : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void timingAndUnits_data();
    void timingAndUnits();
    void newestFirstUnderAutomation();
    void notesPassThrough();
    void recallOnFirstRunAndRestore();
    void presetsWrittenAndApplied();

private:
    std::vector<std::string> m_bundles;
};

namespace {
constexpr std::size_t kDump = 80;
constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kNoteOff = 0x80;

bool isDump(const PluginHost::Event& e) { return e.Bytes.size() == kDump && e.Bytes[0] == 0xF0; }
bool isProgram(const PluginHost::Event& e, int channel = 1) {
    return e.Bytes == std::vector<uint8_t>{uint8_t(0xBF + channel), 0};
}
// The dump the program sends for these values.
std::vector<uint8_t> dumpOf(const PatchValues& values, bool bit99 = false, int channel = 1) {
    ValuesEncoder encoder;
    SysExMessage dump;
    encoder.encode(values, bit99, channel, dump);
    return {dump.data(), dump.data() + dump.size()};
}
int64_t cableFrames(std::size_t bytes, uint32_t rate) {
    return CablePacing::framesFor(CablePacing::cableMicros(bytes), rate);
}
} // namespace

void TestPlugin::initTestCase() {
    m_bundles = {QUENLOR_LV2_BUNDLE};
    PluginHost host(48000, m_bundles);
    QVERIFY2(host.ok(), "the plugin does not load from " QUENLOR_LV2_BUNDLE);
}

// Every gap between two messages is the first one's cable time rounded up to a frame,
// or more; a Program Change follows its dump by exactly that; each dump is followed by
// its Program Change and nothing else. An automation ramp and notes run meanwhile.
void TestPlugin::timingAndUnits_data() {
    QTest::addColumn<uint>("rate");
    QTest::addColumn<uint>("block");
    for (uint rate : {44100u, 48000u, 96000u})
        for (uint block : {32u, 100u, 256u, 1024u, 4096u})
            QTest::newRow(qPrintable(QStringLiteral("%1 Hz, %2 frames").arg(rate).arg(block)))
                << rate << block;
}

void TestPlugin::timingAndUnits() {
    QFETCH(uint, rate);
    QFETCH(uint, block);
    PluginHost host(rate, m_bundles);
    QVERIFY(host.ok());
    host.setControl("pause", 20);
    const uint64_t before = PluginHost::allocationsInRun();
    const uint64_t seconds = 2;
    uint64_t frame = 0;
    int note = 0;
    for (uint64_t b = 0; frame < seconds * rate; ++b, frame += block) {
        host.setControl("p19", float((frame * 63) / (seconds * rate)));
        host.setControl("p26", float((b / 7) % 2));
        if (b % 5 == 0) host.feed(block / 2, {kNoteOn, uint8_t(60 + note % 12), 100});
        if (b % 5 == 2) host.feed(0, {kNoteOff, uint8_t(60 + note++ % 12), 0});
        host.run(block);
    }
    for (uint64_t end = frame + rate; frame < end; frame += block) host.run(block); // the rest
    QCOMPARE(PluginHost::allocationsInRun(), before);

    const auto& events = host.events();
    int dumps = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (isDump(events[i])) {
            ++dumps;
            QVERIFY2(i + 1 < events.size() && isProgram(events[i + 1]), "a dump without its Program Change");
        }
        if (i == 0) continue;
        const int64_t gap = int64_t(events[i].Frame - events[i - 1].Frame);
        const int64_t least = cableFrames(events[i - 1].Bytes.size(), rate);
        QVERIFY2(gap >= least, qPrintable(QStringLiteral("event %1: %2 frames after the one before, "
                                                         "the cable needs %3").arg(i).arg(gap).arg(least)));
        if (isProgram(events[i])) QCOMPARE(gap, least);
    }
    // Newest first: far fewer dumps than changes, the last one the final values.
    QVERIFY(dumps >= 10);
    PatchValues last = PatchTransmission::blankPatch();
    for (int p = 1; p <= 63; ++p) last[std::size_t(p)] = int16_t(host.control("p" + std::to_string(p)));
    auto lastDump = events.rbegin();
    while (!isDump(*lastDump)) ++lastDump;
    QCOMPARE(lastDump->Bytes, dumpOf(last));
}

// A sweep faster than the cable: each dump that starts finishes, the newest replaces a
// waiting one, the pause follows each patch, and the end of the sweep arrives.
void TestPlugin::newestFirstUnderAutomation() {
    const uint32_t rate = 48000;
    PluginHost host(rate, m_bundles);
    host.run(4096);
    host.clearEvents(); // the recall
    const int pauseMs = 10;
    host.setControl("pause", pauseMs);
    for (int value = 0; value <= 63; ++value) {
        host.setControl("p19", float(value));
        host.run(64);
    }
    for (int b = 0; b < 100; ++b) host.run(64);
    const auto& events = host.events();
    QVERIFY(events.size() % 2 == 0);
    // 64 blocks of 64 frames take 85 ms: a dump and its pause take 36.
    QVERIFY2(events.size() / 2 >= 2 && events.size() / 2 <= 4,
             qPrintable(QString::number(events.size() / 2)));
    for (std::size_t i = 0; i + 1 < events.size(); i += 2) {
        QVERIFY(isDump(events[i]) && isProgram(events[i + 1]));
        if (i + 2 < events.size()) {
            const int64_t least = CablePacing::framesFor(
                CablePacing::cableMicros(2) + pauseMs * 1000, rate);
            QVERIFY(int64_t(events[i + 2].Frame - events[i + 1].Frame) >= least);
        }
    }
    PatchValues final = PatchTransmission::blankPatch();
    final[19] = 63;
    QCOMPARE(events[events.size() - 2].Bytes, dumpOf(final));
}

// The track's messages go out unchanged and in order, never inside a patch, and wait no
// longer than the patch that has started.
void TestPlugin::notesPassThrough() {
    const uint32_t rate = 44100;
    PluginHost host(rate, m_bundles);
    const std::vector<std::vector<uint8_t>> track = {
        {kNoteOn, 60, 100}, {0xB0, 1, 64}, {kNoteOff, 60, 0}, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}};
    // The recall's dump starts at frame 0; the messages come during it.
    for (std::size_t i = 0; i < track.size(); ++i) host.feed(uint32_t(10 + i), track[i]);
    host.run(4096);
    host.run(4096);
    const auto& events = host.events();
    QCOMPARE(events.size(), track.size() + 2);
    QVERIFY(isDump(events[0]) && isProgram(events[1]));
    const int64_t patch = cableFrames(kDump, rate) + cableFrames(2, rate);
    for (std::size_t i = 0; i < track.size(); ++i) {
        QCOMPARE(events[i + 2].Bytes, track[i]);
        QVERIFY(int64_t(events[i + 2].Frame) - int64_t(10 + i) <= patch + 4 * cableFrames(6, rate));
    }
}

// The first block sends the patch once, and nothing follows while no control changes;
// a restored state sends it again and keeps the name.
void TestPlugin::recallOnFirstRunAndRestore() {
    PluginHost host(48000, m_bundles);
    host.setControl("channel", 10);
    host.setControl("bit99", 1);
    host.setControl("p10", 63);
    for (int b = 0; b < 50; ++b) host.run(512);
    PatchValues values = PatchTransmission::blankPatch();
    values[10] = 63;
    QCOMPARE(host.events().size(), std::size_t(2));
    QCOMPARE(host.events()[0].Bytes, dumpOf(values, true, 10));
    QVERIFY(isProgram(host.events()[1], 10));

    const std::string saved = host.saveState();
    QVERIFY(!saved.empty());
    // The saved state with a name, as a project saved with one holds it.
    std::string named = saved;
    const std::string empty = std::string(PluginInterface::kNameKey) + "> \"\"";
    QVERIFY(named.find(empty) != std::string::npos);
    named.replace(named.find(empty), empty.size(), std::string(PluginInterface::kNameKey) + "> \"Brass\"");
    PluginHost reopened(48000, m_bundles);
    reopened.run(4096);
    reopened.clearEvents();
    QVERIFY(reopened.restoreState(named));
    QCOMPARE(reopened.control("p10"), 63.0f);
    reopened.run(4096);
    QCOMPARE(reopened.events().size(), std::size_t(2));
    QCOMPARE(reopened.events()[0].Bytes, dumpOf(values, true, 10));
    QVERIFY(reopened.saveState().find("\"Brass\"") != std::string::npos);
}

// The companion writes a bank's presets; a host that applies one sends that patch, and
// keeps its name.
void TestPlugin::presetsWrittenAndApplied() {
    QTemporaryDir folder;
    const QString bundle = folder.filePath("quenlor-demo.lv2");
    QProcess companion;
    companion.start(QUENLOR_SYSEX, {"presets", QUENLOR_DEMO_BANK, "-o", bundle});
    QVERIFY(companion.waitForFinished(30000));
    QCOMPARE(companion.exitCode(), 0);

    Bank bank;
    const LoadedFile demo = loadFile(QUENLOR_DEMO_BANK, bank);
    QCOMPARE(demo.Records, kLastPatch);
    m_bundles.push_back(bundle.toStdString());
    PluginHost host(48000, m_bundles);
    m_bundles.pop_back();
    host.run(4096);
    host.clearEvents();
    for (int patch : {3, 74}) {
        QVERIFY(host.applyPreset(PresetExport::presetUri("demo", patch)));
        host.run(4096);
        QCOMPARE(host.events().size(), std::size_t(2));
        QCOMPARE(host.events()[0].Bytes, dumpOf(bank.values(patch)));
        const std::string name = demo.Names[std::size_t(patch - 1)];
        QVERIFY(host.saveState().find('"' + name + '"') != std::string::npos);
        host.clearEvents();
    }
}

QTEST_GUILESS_MAIN(TestPlugin)
#include "tst_plugin.moc"
