#include "core/QuenlorCode.h"
#include "storage/LineReader.h"
#include "storage/PatchRecord.h"

#include <QTest>
#include <sstream>

namespace {

QByteArray bytesOf(const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); }

QByteArray recordOf(const Bank& bank, int patch, const QByteArray& name) {
    std::ostringstream out;
    if (!WritePatchRecord(out, bank, patch,
                          std::string_view(name.constData(), size_t(name.size()))))
        return {};
    return bytesOf(out.str());
}

// The record of a cleared patch with one value line replaced.
QByteArray recordWithValueLine(int parameter, const QByteArray& line) {
    QByteArray record = "Name\r\n\r\nData\r\n";
    for (int p = 1; p <= 63; ++p)
        record += (p == parameter ? line : QByteArray(p == 24 || p == 35 ? " 1" : " 0")) + "\r\n";
    return record;
}

struct ReadResult {
    bool ok = false;
    std::string name;
    ReadingBuffer values{};
};

ReadResult readRecord(const QByteArray& bytes) {
    std::istringstream in(bytes.toStdString());
    LineReader reader(in);
    ReadResult result;
    result.ok = readPatchRecord(reader, result.name, result.values).ok();
    return result;
}

class RefusingBuffer : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

} // namespace

// The 66-line text record of one patch, as bank and patch files hold it.
class TestPatchRecord : public QObject {
    Q_OBJECT
private slots:
    void clearedPatchRecord();
    void namesWrittenAsGiven_data();
    void namesWrittenAsGiven();
    void lineBreaksInNameBecomeBlanks_data();
    void lineBreaksInNameBecomeBlanks();
    void overlongNameIsCut();
    void extremeValuesRoundTrip();
    void valueLines_data();
    void valueLines();
    void recordEndingEarlyFails_data();
    void recordEndingEarlyFails();
    void markersAreNotExamined();
    void writeErrorReturnsFalse();
};

void TestPatchRecord::clearedPatchRecord() {
    QuenlorCode code;
    code.InitPatchModel();
    const QByteArray record = recordOf(code.PatchBank, 1, "");
    QCOMPARE(record.size(), 266);
    QVERIFY(record.startsWith(QByteArray::fromHex("4E616D650D0A0D0A446174610D0A20300D0A")));
    QCOMPARE(record, recordWithValueLine(0, ""));
    QCOMPARE(record.count("\r\n"), 66);
    QVERIFY(!record.contains("\r\r"));
}

void TestPatchRecord::namesWrittenAsGiven_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("plain") << QByteArray("Pad");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("leading and trailing blanks") << QByteArray("  Soft Pad  ");
    QTest::newRow("only blanks") << QByteArray("   ");
    QTest::newRow("8-bit") << QByteArray("Caf\xe9 \xc4\xff\x80");
    QTest::newRow("NUL inside") << QByteArray("a\0b", 3);
    QTest::newRow("tab") << QByteArray("a\tb");
}

void TestPatchRecord::namesWrittenAsGiven() {
    QFETCH(QByteArray, name);
    QuenlorCode code;
    code.InitPatchModel();
    const QByteArray record = recordOf(code.PatchBank, 5, name);
    QCOMPARE(record.size(), 266 + name.size());
    QCOMPARE(record.mid(6, name.size() + 2), name + "\r\n");
    const ReadResult back = readRecord(record);
    QVERIFY(back.ok);
    QCOMPARE(bytesOf(back.name), name);
}

void TestPatchRecord::lineBreaksInNameBecomeBlanks_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("CR") << QByteArray("Bass\rLine") << QByteArray("Bass Line");
    QTest::newRow("LF") << QByteArray("Bass\nLine") << QByteArray("Bass Line");
    QTest::newRow("CR LF") << QByteArray("Bass\r\nLine") << QByteArray("Bass  Line");
    QTest::newRow("only line breaks") << QByteArray("\r\n\n\r") << QByteArray("    ");
}

void TestPatchRecord::lineBreaksInNameBecomeBlanks() {
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, written);
    QuenlorCode code;
    code.InitPatchModel();
    const QByteArray record = recordOf(code.PatchBank, 1, name);
    QCOMPARE(record.count("\r\n"), 66);
    QCOMPARE(record.count('\r'), 66);
    QCOMPARE(record.count('\n'), 66);
    const ReadResult back = readRecord(record);
    QVERIFY(back.ok);
    QCOMPARE(bytesOf(back.name), written);
}

void TestPatchRecord::overlongNameIsCut() {
    QuenlorCode code;
    code.InitPatchModel();
    code.PatchBank(1, 63) = 21;
    const int max = int(LineReader::kMaxLineLength);
    const QByteArray name = QByteArray(max, 'a') + QByteArray(100 * 1024 - max, 'b');
    const QByteArray record = recordOf(code.PatchBank, 1, name);
    QCOMPARE(record.size(), 266 + 1 + max); // " 21" is one byte longer than " 0"
    const ReadResult back = readRecord(record);
    QVERIFY(back.ok);
    QCOMPARE(bytesOf(back.name), QByteArray(max, 'a'));
    QCOMPARE(int(back.values[63]), 21);
}

void TestPatchRecord::extremeValuesRoundTrip() {
    QuenlorCode code;
    code.InitPatchModel();
    const int16_t values[] = {-32768, 32767, -1, 0, 1, 63, 64, -63, 1000};
    for (int p = 1; p <= 63; ++p)
        code.PatchBank(9, p) = values[p % 9];
    code.PatchBank(9, 0) = 77; // slot 0 is never written
    const QByteArray record = recordOf(code.PatchBank, 9, "x");
    QCOMPARE(record.count("\r\n"), 66);
    QVERIFY(record.contains("\r\n-32768\r\n 32767\r\n-1\r\n 0\r\n"));
    QVERIFY(!record.contains("77"));
    const ReadResult back = readRecord(record);
    QVERIFY(back.ok);
    for (int p = 1; p <= 63; ++p)
        QCOMPARE(back.values[p], code.PatchBank(9, p));
}

void TestPatchRecord::valueLines_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("value");
    QTest::newRow("7") << QByteArray("7") << true << 7;
    QTest::newRow("blank 7") << QByteArray(" 7") << true << 7;
    QTest::newRow("7 and letters") << QByteArray("7abc") << true << 7;
    QTest::newRow("two blanks 7.4") << QByteArray("  7.4") << true << 7;
    QTest::newRow("tab before") << QByteArray("\t12") << true << 12;
    QTest::newRow("empty") << QByteArray("") << true << 0;
    QTest::newRow("letters") << QByteArray("Data") << true << 0;
    QTest::newRow("8.5 to even") << QByteArray("8.5") << true << 8;
    QTest::newRow("9.5 to even") << QByteArray("9.5") << true << 10;
    QTest::newRow("-1") << QByteArray("-1") << true << -1;
    QTest::newRow("LF inside is skipped") << QByteArray("4\n2") << true << 42;
    QTest::newRow("NUL stops the number") << QByteArray("5\0 9", 4) << true << 5;
    QTest::newRow("NUL first") << QByteArray("\0 9", 3) << true << 0;
    QTest::newRow("max") << QByteArray("32767") << true << 32767;
    QTest::newRow("max + 1") << QByteArray("32768") << false << 0;
    QTest::newRow("min") << QByteArray("-32768") << true << -32768;
    QTest::newRow("min - 1") << QByteArray("-32769") << false << 0;
    QTest::newRow("40000") << QByteArray(" 40000") << false << 0;
    QTest::newRow("32767.5 rounds over") << QByteArray("32767.5") << false << 0;
    QTest::newRow("exponent") << QByteArray("1E4") << true << 10000;
    QTest::newRow("exponent too large for a double") << QByteArray("1E400") << false << 0;
    QTest::newRow("negative exponent") << QByteArray("-1E400") << false << 0;
    QTest::newRow("tiny") << QByteArray("1E-400") << true << 0;
    QTest::newRow("hex max") << QByteArray("&H7FFF") << true << 32767;
    QTest::newRow("hex 16 bits is too large") << QByteArray("&HFFFF") << false << 0;
    QTest::newRow("hex 32 bits") << QByteArray("&HFFFFFFFF") << false << 0;
    QTest::newRow("octal") << QByteArray("&O77") << true << 63;
    QTest::newRow("nan") << QByteArray("nan") << true << 0;
    QTest::newRow("inf") << QByteArray("inf") << true << 0;
    QTest::newRow("thousand digits") << QByteArray(1000, '9') << false << 0;
    QTest::newRow("thousand zeros then 5") << QByteArray(1000, '0') + "5" << true << 5;
}

void TestPatchRecord::valueLines() {
    QFETCH(QByteArray, line);
    QFETCH(bool, fits);
    QFETCH(int, value);
    const int parameter = 40;
    const ReadResult back = readRecord(recordWithValueLine(parameter, line));
    QCOMPARE(back.ok, fits);
    if (fits)
        QCOMPARE(int(back.values[parameter]), value);
}

void TestPatchRecord::recordEndingEarlyFails_data() {
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("lastLineEnded");
    QTest::addColumn<bool>("ok");
    QTest::newRow("empty file") << 0 << true << false;
    QTest::newRow("marker only") << 1 << true << false;
    QTest::newRow("no values") << 3 << true << false;
    QTest::newRow("40 value lines") << 43 << true << false;
    QTest::newRow("62 value lines") << 65 << true << false;
    QTest::newRow("complete") << 66 << true << true;
    QTest::newRow("complete, last line unended") << 66 << false << true;
}

void TestPatchRecord::recordEndingEarlyFails() {
    QFETCH(int, lines);
    QFETCH(bool, lastLineEnded);
    QFETCH(bool, ok);
    QList<QByteArray> all = recordWithValueLine(0, "").split('\n');
    all.removeLast(); // after the last LF
    QByteArray bytes = all.mid(0, lines).join('\n');
    if (lines > 0)
        bytes += lastLineEnded ? "\n" : "";
    if (!lastLineEnded)
        bytes.chop(1); // the CR of the last line
    QCOMPARE(readRecord(bytes).ok, ok);
}

void TestPatchRecord::markersAreNotExamined() {
    QByteArray record = recordWithValueLine(7, " 33");
    record.replace("Name\r\n", "Nom de son\r\n");
    record.replace("Data\r\n", "\xff\r\n");
    record.replace(QByteArray("\r\n\r\n"), "\r\nLead\r\n");
    const ReadResult back = readRecord(record);
    QVERIFY(back.ok);
    QCOMPARE(back.name, std::string("Lead"));
    QCOMPARE(int(back.values[7]), 33);
}

void TestPatchRecord::writeErrorReturnsFalse() {
    QuenlorCode code;
    code.InitPatchModel();
    RefusingBuffer refusing;
    std::ostream out(&refusing);
    QVERIFY(!WritePatchRecord(out, code.PatchBank, 1, "Pad"));
}

QTEST_GUILESS_MAIN(TestPatchRecord)
#include "tst_patchrecord.moc"
