#include "core/DumpEncoder.h"
#include "core/QuenlorCode.h"

#include <QTest>
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
    void everyParameterAtItsPlace_data();
    void everyParameterAtItsPlace();
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

// Each parameter alone, on a patch of zeros, lands in its own data byte and nowhere
// else. The places are written out in message order from the instrument's dump layout,
// not read from the parameter table, so a swapped row in the table shows here.
// Columns: parameter, value, offset of the low nibble, low nibble, high nibble.
void TestDumpEncoder::everyParameterAtItsPlace_data() {
    QTest::addColumn<int>("parameter");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("lowOffset");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    auto row = [](int parameter, int value, int lowOffset, int low, int high) {
        QTest::addRow("P%d at %d", parameter, lowOffset)
            << parameter << value << lowOffset << low << high;
    };
    row(12, 45, 5, 0x4, 0xB);
    row(11, 45, 7, 0x4, 0xB);
    row(10, 45, 9, 0x4, 0xB);
    row(63, 45, 11, 0x4, 0xB);
    row(62, 45, 13, 0x4, 0xB);
    row(45, 45, 15, 0xA, 0xD);
    row(48, 45, 17, 0x4, 0xB);
    row(34, 45, 19, 0x4, 0xB);
    row(33, 45, 21, 0x4, 0xB);
    row(44, 45, 23, 0x4, 0xB);
    row(24, 1, 25, 0x0, 0x0);
    row(25, 1, 25, 0xC, 0x0);
    row(26, 1, 25, 0x8, 0x1);
    row(27, 1, 25, 0x4, 0x2);
    row(31, 11, 25, 0xB, 0x0);
    row(35, 1, 27, 0x0, 0x0);
    row(36, 1, 27, 0xC, 0x0);
    row(37, 1, 27, 0x8, 0x1);
    row(38, 1, 27, 0x4, 0x2);
    row(42, 11, 27, 0xB, 0x0);
    row(32, 21, 29, 0x8, 0xA);
    row(43, 21, 31, 0x8, 0xA);
    row(19, 45, 33, 0x4, 0xB);
    row(20, 45, 35, 0x4, 0xB);
    row(15, 45, 37, 0x4, 0xB);
    row(21, 45, 39, 0x4, 0xB);
    row(18, 45, 41, 0x4, 0xB);
    row(17, 45, 43, 0x4, 0xB);
    row(22, 45, 45, 0x4, 0xB);
    row(51, 45, 47, 0x4, 0xB);
    row(46, 45, 49, 0x4, 0xB);
    row(47, 45, 51, 0x4, 0xB);
    row(13, 58, 53, 0xA, 0x3);
    row(14, 58, 55, 0xA, 0x3);
    row(16, 58, 57, 0xA, 0x3);
    row(49, 58, 59, 0xA, 0x3);
    row(50, 58, 61, 0xA, 0x3);
    row(52, 58, 63, 0xA, 0x3);
    row(8, 58, 65, 0xA, 0x3);
    row(60, 58, 67, 0xA, 0x3);
    row(9, 58, 69, 0xA, 0x3);
    row(61, 58, 71, 0xA, 0x3);
    row(4, 1, 73, 0x1, 0x0);
    row(5, 1, 73, 0x2, 0x0);
    row(6, 1, 73, 0x4, 0x0);
    row(7, 1, 73, 0x8, 0x0);
    row(56, 1, 73, 0x0, 0x1);
    row(57, 1, 73, 0x0, 0x2);
    row(58, 1, 73, 0x0, 0x4);
    row(59, 1, 73, 0x0, 0x8);
    row(1, 1, 75, 0x1, 0x0);
    row(2, 1, 75, 0x2, 0x0);
    row(3, 1, 75, 0x3, 0x0);
    row(23, 1, 75, 0x0, 0x8);
    row(53, 1, 75, 0x4, 0x0);
    row(54, 1, 75, 0x8, 0x0);
    row(55, 1, 75, 0xC, 0x0);
    row(28, 1, 77, 0x0, 0x1);
    row(29, 1, 77, 0x4, 0x0);
    row(30, 1, 77, 0x1, 0x0);
    row(39, 1, 77, 0x0, 0x2);
    row(40, 1, 77, 0x8, 0x0);
    row(41, 1, 77, 0x2, 0x0);
}

void TestDumpEncoder::everyParameterAtItsPlace() {
    QFETCH(int, parameter);
    QFETCH(int, value);
    QFETCH(int, lowOffset);
    QFETCH(int, low);
    QFETCH(int, high);
    for (int p = 1; p <= 63; ++p)
        code.PatchBank(6, p) = 0;
    std::vector<uint8_t> expected = dumpOf(6);
    expected[lowOffset] = uint8_t(low);
    expected[lowOffset + 1] = uint8_t(high);
    code.PatchBank(6, parameter) = int16_t(value);
    QCOMPARE(dumpOf(6), expected);
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
