#include "core/DumpDecoder.h"
#include "core/QuenlorCode.h"

#include <QTest>
#include <random>

using Values = std::vector<std::pair<int, int>>;
Q_DECLARE_METATYPE(Values)

// Dumps read back: the worked examples, every data byte value at every position judged
// by the instrument's packing rules, the framing bytes, and both round trips.
class TestDumpDecoder : public QObject {
    Q_OBJECT
private slots:
    void init();
    void workedExamples_data();
    void workedExamples();
    void everyDataByteJudged_data();
    void everyDataByteJudged();
    void framingRefused_data();
    void framingRefused();
    void patchesSurviveEncodeAndDecode();
    void dumpsSurviveDecodeAndEncode();

private:
    std::vector<uint8_t> dumpOf(int patch) {
        code.preparePatchDump(patch);
        return {code.PatchDump.data(), code.PatchDump.data() + code.PatchDump.size()};
    }
    DumpDecoding decode(const std::vector<uint8_t>& dump) {
        return decodePatch(dump.data(), dump.size());
    }
    QuenlorCode code;
};

namespace {

// Whether the encoder can produce a data byte of a kind, stated from the packing alone.
bool producible(int kind, int byte) {
    switch (kind) {
    case 1:
        return (byte & 0x70) == 0;
    case 2:
        return true;
    case 3:
        return byte < 64;
    case 4:
    case 5:
        return byte < 48;
    case 6:
        return byte < 64;
    case 7:
        return byte % 4 == 0;
    case 8:
        return byte % 8 == 0 && byte <= 240;
    case 9:
        return byte >= 128 && byte % 2 == 0;
    }
    return false;
}

int kindAt(int position) {
    for (int p = kFirstParameter; p <= kLastParameter; ++p)
        if (kParameterRows[p].DumpPosition == position) return kParameterRows[p].EncodeKind;
    return 0;
}

int lowestParameterAt(int position) {
    for (int p = kFirstParameter; p <= kLastParameter; ++p)
        if (kParameterRows[p].DumpPosition == position) return p;
    return 0;
}

void putByte(std::vector<uint8_t>& dump, int position, int byte) {
    dump[size_t(5 + position)] = uint8_t(byte & 0x0F);
    dump[size_t(6 + position)] = uint8_t(byte >> 4);
}
} // namespace

void TestDumpDecoder::init() {
    code = QuenlorCode();
    code.InitPatchModel();
}

void TestDumpDecoder::workedExamples_data() {
    QTest::addColumn<Values>("changes");
    QTest::addColumn<int>("channel");
    QTest::addColumn<bool>("bit99");
    QTest::newRow("new patch") << Values{} << 1 << false;
    QTest::newRow("changed patch")
        << Values{{1, 1}, {23, 1}, {54, 1}, {10, 63}, {32, 30}, {24, 0}, {26, 1}, {31, 7}, {45, 63}}
        << 1 << false;
    QTest::newRow("channel 16, Bit 99") << Values{{35, 0}, {38, 1}, {42, 11}} << 16 << true;
    QTest::newRow("channel 16") << Values{{3, 1}, {55, 1}, {28, 1}, {59, 1}} << 16 << false;
}

void TestDumpDecoder::workedExamples() {
    QFETCH(Values, changes);
    QFETCH(int, channel);
    QFETCH(bool, bit99);
    for (auto [p, v] : changes)
        code.PatchBank(1, p) = int16_t(v);
    code.MIDIChannelOut = int16_t(channel);
    code.Bit99Compatible = bit99 ? 1 : 0;
    const DumpDecoding read = decode(dumpOf(1));
    QVERIFY2(read.ok(), read.Reason.c_str());
    QCOMPARE(read.Patch.Channel, channel);
    QCOMPARE(read.Patch.Bit99, bit99);
    for (int p = kFirstParameter; p <= kLastParameter; ++p)
        QCOMPARE(read.Patch.Values[size_t(p)], code.PatchBank(1, p));
}

void TestDumpDecoder::everyDataByteJudged_data() {
    QTest::addColumn<int>("kind");
    for (int kind = 1; kind <= 9; ++kind)
        QTest::addRow("kind %d", kind) << kind;
}

// Every value 0..255 at every position of the kind: accepted exactly when the encoder
// could have written it, refused at the byte's low nibble naming its first parameter.
void TestDumpDecoder::everyDataByteJudged() {
    QFETCH(int, kind);
    const std::vector<uint8_t> clean = dumpOf(1);
    int positions = 0;
    for (int position = 0; position < 74; position += 2) {
        if (kindAt(position) != kind) continue;
        ++positions;
        for (int byte = 0; byte < 256; ++byte) {
            std::vector<uint8_t> dump = clean;
            putByte(dump, position, byte);
            const DumpDecoding read = decode(dump);
            if (read.ok() != producible(kind, byte))
                QFAIL(qPrintable(QString("position %1, byte %2: %3")
                                     .arg(position)
                                     .arg(byte)
                                     .arg(read.Reason.c_str())));
            if (!read.ok()) {
                QCOMPARE(read.Offset, 5 + position);
                QCOMPARE(read.Parameter, lowestParameterAt(position));
                QVERIFY(read.Reason.find(std::to_string(read.Parameter)) != std::string::npos);
            }
        }
    }
    QVERIFY(positions > 0);
}

void TestDumpDecoder::framingRefused_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("refusedAt");
    QTest::newRow("one byte short") << 0 << 0xF0 << 79 << 0;
    QTest::newRow("one byte long") << 0 << 0xF0 << 81 << 0;
    QTest::newRow("empty") << 0 << 0xF0 << 0 << 0;
    QTest::newRow("no start") << 0 << 0xF8 << 80 << 0;
    QTest::newRow("other maker") << 1 << 0x41 << 80 << 1;
    QTest::newRow("header below") << 2 << 0x0F << 80 << 2;
    QTest::newRow("header above") << 2 << 0x30 << 80 << 2;
    QTest::newRow("command") << 3 << 0x08 << 80 << 3;
    QTest::newRow("argument") << 4 << 0x01 << 80 << 4;
    QTest::newRow("wide low nibble") << 5 << 0x10 << 80 << 5;
    QTest::newRow("wide high nibble") << 78 << 0x7F << 80 << 78;
    QTest::newRow("no end") << 79 << 0xF0 << 80 << 79;
}

void TestDumpDecoder::framingRefused() {
    QFETCH(int, offset);
    QFETCH(int, value);
    QFETCH(int, length);
    QFETCH(int, refusedAt);
    std::vector<uint8_t> dump = dumpOf(1);
    dump[size_t(offset)] = uint8_t(value);
    dump.resize(size_t(length), 0xF7);
    const DumpDecoding read = decode(dump);
    QVERIFY(!read.ok());
    QCOMPARE(read.Offset, refusedAt);
    QVERIFY(!read.Reason.empty());
}

// decode(encode(p)) = p for every in-range patch with one octave member and at most one
// wave member in each group.
void TestDumpDecoder::patchesSurviveEncodeAndDecode() {
    std::mt19937 random(14);
    for (int round = 0; round < 100000; ++round) {
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            code.PatchBank(1, p) = int16_t(random() % (kParameterRows[p].MaxValue + 1));
        for (const SwitchGroup& group : kSwitchGroups) {
            const int chosen = int(random() % (group.Count + (group.OneRequired ? 0 : 1)));
            for (int i = 0; i < group.Count; ++i)
                code.PatchBank(1, group.FirstMember + i) = i == chosen ? 1 : 0;
        }
        code.MIDIChannelOut = int16_t(1 + random() % 16);
        code.Bit99Compatible = int16_t(random() % 2);
        code.preparePatchDump(1);
        const DumpDecoding read = decodePatch(code.PatchDump.data(), code.PatchDump.size());
        if (!read.ok()) QFAIL(read.Reason.c_str());
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            if (read.Patch.Values[size_t(p)] != code.PatchBank(1, p))
                QFAIL(qPrintable(QString("round %1, parameter %2").arg(round).arg(p)));
        QCOMPARE(read.Patch.Channel, int(code.MIDIChannelOut));
        QCOMPARE(read.Patch.Bit99, code.Bit99Compatible == 1);
    }
}

// encode(decode(d)) = d for every valid dump: random producible bytes and headers.
void TestDumpDecoder::dumpsSurviveDecodeAndEncode() {
    std::mt19937 random(41);
    std::vector<uint8_t> dump = dumpOf(1);
    for (int round = 0; round < 100000; ++round) {
        dump[2] = uint8_t(0x10 + random() % 32);
        for (int position = 0; position < 74; position += 2) {
            const int kind = kindAt(position);
            int byte = 0;
            do
                byte = int(random() % 256);
            while (!producible(kind, byte));
            putByte(dump, position, byte);
        }
        const DumpDecoding read = decode(dump);
        if (!read.ok()) QFAIL(read.Reason.c_str());
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            code.PatchBank(2, p) = read.Patch.Values[size_t(p)];
        code.MIDIChannelOut = int16_t(read.Patch.Channel);
        code.Bit99Compatible = read.Patch.Bit99 ? 1 : 0;
        if (dumpOf(2) != dump) QFAIL(qPrintable(QString("round %1").arg(round)));
    }
}

QTEST_GUILESS_MAIN(TestDumpDecoder)
#include "tst_dumpdecoder.moc"
