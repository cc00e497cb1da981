#include "core/DumpEncoder.h"
#include "core/QuenlorCode.h"

#include <QtTest>
#include <random>
#include <set>

// The dump encoder against the instrument's worked examples, and the properties that
// keep a dump valid whatever the bank holds.
class TestDumpEncoder : public QObject {
    Q_OBJECT
private slots:
    void init();
    void newPatchDump();
    void changedPatchBytes_data();
    void changedPatchBytes();
    void choiceGroupsResolveToHighestMember_data();
    void choiceGroupsResolveToHighestMember();
    void flagsCountOnlyWhenExactlyOne();
    void everyNibbleStaysInRangeForAnyValues();
    void encodingTwiceGivesSameBytes();
    void outOfRangeLevelsAreClamped_data();
    void outOfRangeLevelsAreClamped();
    void writeNibblePairUsesLowByte();

private:
    std::vector<uint8_t> dumpOf(int patch) {
        code.EncodePatch(patch);
        return {code.PatchDump.data(), code.PatchDump.data() + code.PatchDump.size()};
    }
    QuenlorCode code;
};

void TestDumpEncoder::init() {
    code = QuenlorCode();
    code.InitPatchModel();
}

void TestDumpEncoder::newPatchDump() {
    const auto dump = dumpOf(1);
    QCOMPARE(dump.size(), size_t(80));
    const std::vector<uint8_t> head = {0xF0, 0x25, 0x10, 0x07, 0x00};
    QCOMPARE(std::vector<uint8_t>(dump.begin(), dump.begin() + 5), head);
    for (int offset = 5; offset <= 78; ++offset)
        QCOMPARE(int(dump[offset]), offset == 16 ? 0x08 : 0x00);
    QCOMPARE(int(dump[79]), 0xF7);
}

void TestDumpEncoder::changedPatchBytes_data() {
    QTest::addColumn<int>("lowOffset");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::newRow("waves and invert at 70") << 75 << 0x09 << 0x08;
    QTest::newRow("LFO1 rate 63 at 4") << 9 << 0x0C << 0x0F;
    QTest::newRow("DCO1 PW 30 at 24") << 29 << 0x00 << 0x0F;
    QTest::newRow("DCO1 8' and freq 7 at 20") << 25 << 0x0F << 0x01;
    QTest::newRow("detune 63 at 10") << 15 << 0x0E << 0x0F;
}

void TestDumpEncoder::changedPatchBytes() {
    QFETCH(int, lowOffset);
    QFETCH(int, low);
    QFETCH(int, high);
    const auto before = dumpOf(1);
    for (auto [p, v] : {std::pair{1, 1}, {23, 1}, {54, 1}, {10, 63}, {32, 30}, {24, 0},
                        {26, 1}, {31, 7}, {45, 63}})
        code.PatchBank(1, p) = int16_t(v);
    const auto after = dumpOf(1);
    QCOMPARE(int(after[lowOffset]), low);
    QCOMPARE(int(after[lowOffset + 1]), high);
    // Only the five changed data bytes differ from the new patch.
    const std::set<int> changed = {75, 76, 9, 10, 29, 30, 25, 26, 15, 16};
    for (int offset = 0; offset < 80; ++offset)
        if (!changed.count(offset))
            QCOMPARE(after[offset], before[offset]);
}

void TestDumpEncoder::choiceGroupsResolveToHighestMember_data() {
    QTest::addColumn<QList<int>>("setParameters");
    QTest::addColumn<int>("lowOffset");
    QTest::addColumn<int>("byte");
    QTest::newRow("LFO1 all three waves") << QList<int>{1, 2, 3} << 75 << 3;
    QTest::newRow("LFO1 triangle and sawtooth") << QList<int>{1, 2} << 75 << 2;
    QTest::newRow("LFO2 pulse") << QList<int>{55} << 75 << 3 * 4;
    QTest::newRow("invert alone") << QList<int>{23} << 75 << 0x80;
    QTest::newRow("DCO2 16' and 4'") << QList<int>{36, 38} << 27 << 36;
    QTest::newRow("DCO1 no octave set plays 32'") << QList<int>{} << 25 << 0;
    QTest::newRow("LFO destination 56 is bit 4") << QList<int>{56} << 73 << 0x10;
    QTest::newRow("all LFO destinations") << QList<int>{4, 5, 6, 7, 56, 57, 58, 59} << 73 << 0xFF;
    QTest::newRow("DCO waveforms") << QList<int>{30, 41, 29, 40, 28, 39} << 77 << 0x3F;
    QTest::newRow("DCO2 sawtooth is bit 3") << QList<int>{40} << 77 << 0x08;
}

void TestDumpEncoder::choiceGroupsResolveToHighestMember() {
    QFETCH(QList<int>, setParameters);
    QFETCH(int, lowOffset);
    QFETCH(int, byte);
    code.PatchBank(3, 24) = 0;
    code.PatchBank(3, 35) = 0;
    for (int p : setParameters)
        code.PatchBank(3, p) = 1;
    const auto dump = dumpOf(3);
    QCOMPARE(dump[lowOffset] | (dump[lowOffset + 1] << 4), byte);
}

void TestDumpEncoder::flagsCountOnlyWhenExactlyOne() {
    const auto cleared = dumpOf(1);
    for (int p : {1, 4, 23, 28, 56}) {
        for (int16_t v : {int16_t(2), int16_t(-1), int16_t(32767)}) {
            init();
            code.PatchBank(1, p) = v;
            QCOMPARE(dumpOf(1), cleared);
        }
    }
}

void TestDumpEncoder::everyNibbleStaysInRangeForAnyValues() {
    std::mt19937 random(1234);
    std::uniform_int_distribution<int> value(-32768, 32767);
    for (int round = 0; round < 500; ++round) {
        for (int p = 1; p <= 63; ++p)
            code.PatchBank(2, p) = int16_t(value(random));
        const auto dump = dumpOf(2);
        for (int offset = 5; offset <= 78; ++offset)
            QVERIFY2(dump[offset] <= 0x0F, qPrintable(QString("offset %1").arg(offset)));
        QCOMPARE(int(dump[0]), 0xF0);
        QCOMPARE(int(dump[79]), 0xF7);
    }
}

void TestDumpEncoder::encodingTwiceGivesSameBytes() {
    for (int p = 1; p <= 63; ++p)
        code.PatchBank(4, p) = int16_t(p % (code.ParameterTable.MaxValue(p) + 1));
    QCOMPARE(dumpOf(4), dumpOf(4));
    // Encoding another patch in between leaves nothing behind.
    const auto first = dumpOf(4);
    dumpOf(5);
    QCOMPARE(dumpOf(4), first);
}

void TestDumpEncoder::outOfRangeLevelsAreClamped_data() {
    QTest::addColumn<int>("parameter");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("equivalent");
    QTest::newRow("kind 6 above max") << 8 << 200 << 63;
    QTest::newRow("kind 7 above max") << 10 << 64 << 63;
    QTest::newRow("kind 7 negative") << 10 << -1 << 0;
    QTest::newRow("kind 8 above max") << 32 << 31 << 30;
    QTest::newRow("kind 9 above max") << 45 << 32767 << 63;
    QTest::newRow("kind 9 negative") << 45 << -32768 << 0;
    QTest::newRow("DCO1 semitone above max") << 31 << 12 << 11;
    QTest::newRow("DCO2 semitone negative") << 42 << -5 << 0;
}

void TestDumpEncoder::outOfRangeLevelsAreClamped() {
    QFETCH(int, parameter);
    QFETCH(int, value);
    QFETCH(int, equivalent);
    code.PatchBank(1, parameter) = int16_t(equivalent);
    const auto expected = dumpOf(1);
    code.PatchBank(1, parameter) = int16_t(value);
    QCOMPARE(dumpOf(1), expected);
}

void TestDumpEncoder::writeNibblePairUsesLowByte() {
    DumpEncoder encoder(code.PatchBank, code.ParameterTable, code.PatchDump);
    encoder.WriteNibblePair(72, 0x1A5);
    QCOMPARE(int(code.PatchDump.Bytes[77]), 0x05);
    QCOMPARE(int(code.PatchDump.Bytes[78]), 0x0A);
    encoder.WriteNibblePair(0, -1);
    QCOMPARE(int(code.PatchDump.Bytes[5]), 0x0F);
    QCOMPARE(int(code.PatchDump.Bytes[6]), 0x0F);
}

QTEST_GUILESS_MAIN(TestDumpEncoder)
#include "tst_dumpencoder.moc"
