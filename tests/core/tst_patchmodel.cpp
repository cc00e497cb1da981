#include "support/RecordingSink.h"
#include "core/QuenlorCode.h"

#include <QTest>
#include <map>
#include <set>
#include <vector>

class TestPatchModel : public QObject {
    Q_OBJECT
private slots:
    void newBankHoldsClearedPatches();
    void clearPatchLeavesOtherPatches();
    void tableCoversEveryPosition();
    void bankRejectsOutOfRangeIndices();
    void sendPatchSendsDumpThenProgramChange_data();
    void sendPatchSendsDumpThenProgramChange();
    void parameterChangedObeysGates_data();
    void parameterChangedObeysGates();
};

void TestPatchModel::newBankHoldsClearedPatches() {
    QuenlorCode code;
    code.PatchBank(5, 10) = 33;
    code.InitPatchModel();
    for (int n = 1; n <= 74; ++n)
        for (int p = 0; p <= 63; ++p)
            QCOMPARE(int(code.PatchBank(n, p)), (p == 24 || p == 35) ? 1 : 0);
}

void TestPatchModel::clearPatchLeavesOtherPatches() {
    QuenlorCode code;
    code.InitPatchModel();
    for (int n = 1; n <= 74; ++n)
        for (int p = 0; p <= 63; ++p)
            code.PatchBank(n, p) = int16_t(n + p);
    code.ClearPatch(9);
    for (int n = 1; n <= 74; ++n)
        for (int p = 0; p <= 63; ++p) {
            const int expected = n != 9 ? n + p : (p == 24 || p == 35) ? 1 : 0;
            QCOMPARE(int(code.PatchBank(n, p)), expected);
        }
}

void TestPatchModel::tableCoversEveryPosition() {
    QuenlorCode code;
    code.InitPatchModel();
    std::set<int> positions;
    std::map<int, int> sharing;
    std::set<int> maxima;
    for (int p = 1; p <= 63; ++p) {
        const int d = code.ParameterTable.DumpPosition(p);
        QVERIFY(d % 2 == 0 && d >= 0 && d <= 72);
        positions.insert(d);
        ++sharing[d];
        maxima.insert(code.ParameterTable.MaxValue(p));
    }
    QCOMPARE(positions.size(), size_t(37));
    const std::map<int, int> shared = {{20, 5}, {22, 5}, {68, 8}, {70, 7}, {72, 6}};
    for (const auto& [position, count] : sharing)
        QCOMPARE(count, shared.count(position) ? shared.at(position) : 1);
    QCOMPARE(maxima, (std::set<int>{1, 11, 30, 63}));
}

void TestPatchModel::bankRejectsOutOfRangeIndices() {
    Bank bank;
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, bank(75, 1));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, bank(1, 64));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, bank(-1, 1));
    bank(74, 63) = 1;
    QCOMPARE(int(bank(74, 63)), 1);
}

void TestPatchModel::sendPatchSendsDumpThenProgramChange_data() {
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("bit99");
    QTest::addColumn<int>("header");
    QTest::addColumn<int>("programStatus");
    QTest::newRow("channel 1") << 1 << 0 << 0x10 << 0xC0;
    QTest::newRow("channel 10, Bit 99") << 10 << 1 << 0x29 << 0xC9;
    QTest::newRow("channel 16") << 16 << 0 << 0x1F << 0xCF;
    QTest::newRow("channel 16, Bit 99") << 16 << 1 << 0x2F << 0xCF;
    QTest::newRow("damaged channel 0 taken as 1") << 0 << 0 << 0x10 << 0xC0;
    QTest::newRow("damaged channel 99 taken as 1") << 99 << 1 << 0x20 << 0xC0;
}

void TestPatchModel::sendPatchSendsDumpThenProgramChange() {
    QFETCH(int, channel);
    QFETCH(int, bit99);
    QFETCH(int, header);
    QFETCH(int, programStatus);
    QuenlorCode code;
    RecordingSink sink;
    code.Midi = &sink;
    code.InitPatchModel();
    code.MIDIChannelOut = int16_t(channel);
    code.Bit99Compatible = int16_t(bit99);
    code.PatchBank(7, 10) = 63;
    code.SendPatch(7);
    QCOMPARE(sink.Messages.size(), size_t(2));
    const auto& dump = sink.Messages[0];
    QCOMPARE(dump.size(), size_t(80));
    QCOMPARE(int(dump[0]), 0xF0);
    QCOMPARE(int(dump[2]), header);
    QCOMPARE(int(dump[9]), 0x0C); // patch 7's parameter 10, low nibble
    QCOMPARE(int(dump[79]), 0xF7);
    QCOMPARE(sink.Messages[1], (std::vector<uint8_t>{uint8_t(programStatus), 0}));
}

void TestPatchModel::parameterChangedObeysGates_data() {
    QTest::addColumn<int>("autoUpdate");
    QTest::addColumn<int>("editorReady");
    QTest::addColumn<int>("messages");
    QTest::newRow("both on") << -1 << -1 << 2;
    QTest::newRow("automatic update off") << 0 << -1 << 0;
    QTest::newRow("editor filling") << -1 << 0 << 0;
    QTest::newRow("both off") << 0 << 0 << 0;
}

void TestPatchModel::parameterChangedObeysGates() {
    QFETCH(int, autoUpdate);
    QFETCH(int, editorReady);
    QFETCH(int, messages);
    QuenlorCode code;
    RecordingSink sink;
    code.Midi = &sink;
    code.InitPatchModel();
    code.AutoUpdate = int16_t(autoUpdate);
    code.EditorReady = int16_t(editorReady);
    code.ParameterChanged(7);
    QCOMPARE(int(sink.Messages.size()), messages);
}

QTEST_GUILESS_MAIN(TestPatchModel)
#include "tst_patchmodel.moc"
