#include "storage/LineReader.h"

#include <QTest>
#include <fstream>
#include <sstream>
#include <stdexcept>

Q_DECLARE_METATYPE(QList<QByteArray>)

namespace {

QList<QByteArray> readAllLines(const QByteArray& bytes, bool* failedAtEnd = nullptr) {
    std::istringstream in(bytes.toStdString());
    LineReader reader(in);
    QList<QByteArray> lines;
    std::string line;
    while (reader.readLine(line))
        lines << QByteArray(line.data(), qsizetype(line.size()));
    if (failedAtEnd)
        *failedAtEnd = line.empty();
    return lines;
}

// An endless stream of one byte, counting how much the reader pulls from it.
class EndlessBuffer : public std::streambuf {
public:
    explicit EndlessBuffer(char fill) { m_chunk.fill(fill); }
    std::size_t Delivered = 0;

protected:
    int_type underflow() override {
        Delivered += m_chunk.size();
        setg(m_chunk.data(), m_chunk.data(), m_chunk.data() + m_chunk.size());
        return traits_type::to_int_type(m_chunk[0]);
    }

private:
    std::array<char, 4096> m_chunk{};
};

// A device that fails after handing out its first bytes.
class FailingBuffer : public std::streambuf {
public:
    explicit FailingBuffer(std::string first) : m_first(std::move(first)) {}

protected:
    int_type underflow() override {
        if (m_given)
            throw std::runtime_error("device gone");
        m_given = true;
        setg(m_first.data(), m_first.data(), m_first.data() + m_first.size());
        return traits_type::to_int_type(m_first[0]);
    }

private:
    std::string m_first;
    bool m_given = false;
};

} // namespace

// Line ends of bank and patch files and the bounds on what one line may hold.
class TestLineReader : public QObject {
    Q_OBJECT
private slots:
    void lineEnds_data();
    void lineEnds();
    void lineLengthLimit_data();
    void lineLengthLimit();
    void endlessLineStopsEarly();
    void readErrorFails();
    void folderIsNoFile();
};

void TestLineReader::lineEnds_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QByteArray>>("lines");
    using L = QList<QByteArray>;
    QTest::newRow("CR LF") << QByteArray("Name\r\nPad\r\n") << L{"Name", "Pad"};
    QTest::newRow("CR alone") << QByteArray("Name\rPad\r") << L{"Name", "Pad"};
    QTest::newRow("end of file ends the last line") << QByteArray("a\r\nb") << L{"a", "b"};
    QTest::newRow("LF alone stays in the line") << QByteArray("a\nb\r\n") << L{"a\nb"};
    QTest::newRow("LF-only file is one line")
        << QByteArray("Name\nPad\nData\n 0\n") << L{"Name\nPad\nData\n 0\n"};
    QTest::newRow("CR CR LF gives an empty line")
        << QByteArray("7\r\r\n8\r\r\n") << L{"7", "", "8", ""};
    QTest::newRow("LF CR") << QByteArray("a\n\rb") << L{"a\n", "b"};
    QTest::newRow("empty file has no line") << QByteArray() << L{};
    QTest::newRow("one empty line") << QByteArray("\r\n") << L{""};
    QTest::newRow("two empty lines") << QByteArray("\r\n\r\n") << L{"", ""};
    QTest::newRow("NUL bytes pass")
        << QByteArray("a\0b\r\n\0\r\n", 8) << L{QByteArray("a\0b", 3), QByteArray("\0", 1)};
    QTest::newRow("8-bit bytes pass") << QByteArray("\xe9t\xe9 \xff\r\n") << L{"\xe9t\xe9 \xff"};
    QTest::newRow("blanks kept") << QByteArray("  Pad  \r\n") << L{"  Pad  "};

    // The reader takes the file in 16 KiB pieces; a CR LF split between two pieces is
    // still one line end.
    for (int before : {16383, 16382, 16384}) {
        const QByteArray first(before, 'x');
        QTest::newRow(qPrintable(QString("CR LF around a piece boundary, %1").arg(before)))
            << first + "\r\nnext\r\n" << L{first, "next"};
    }
}

void TestLineReader::lineEnds() {
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QByteArray>, lines);
    bool failedEmpty = false;
    QCOMPARE(readAllLines(bytes, &failedEmpty), lines);
    QVERIFY(failedEmpty);
}

void TestLineReader::lineLengthLimit_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("end");
    QTest::addColumn<bool>("readable");
    const int max = int(LineReader::kMaxLineLength);
    QTest::newRow("64 KiB with CR LF") << max << QByteArray("\r\n") << true;
    QTest::newRow("64 KiB at end of file") << max << QByteArray() << true;
    QTest::newRow("64 KiB + 1 with CR LF") << max + 1 << QByteArray("\r\n") << false;
    QTest::newRow("64 KiB + 1 at end of file") << max + 1 << QByteArray() << false;
    QTest::newRow("100 KiB") << 100 * 1024 << QByteArray("\r\n") << false;
}

void TestLineReader::lineLengthLimit() {
    QFETCH(int, length);
    QFETCH(QByteArray, end);
    QFETCH(bool, readable);
    const QByteArray after = end.isEmpty() ? QByteArray() : QByteArray("after\r\n");
    std::istringstream in((QByteArray(length, 'n') + end + after).toStdString());
    LineReader reader(in);
    std::string line;
    QCOMPARE(reader.readLine(line), readable);
    QCOMPARE(line.size(), readable ? std::size_t(length) : 0u);
    // A failed read stays failed: the rest of the file is never taken for the next line.
    QCOMPARE(reader.readLine(line), readable && !end.isEmpty());
}

void TestLineReader::endlessLineStopsEarly() {
    EndlessBuffer endless('\0');
    std::istream in(&endless);
    LineReader reader(in);
    std::string line;
    QVERIFY(!reader.readLine(line));
    QVERIFY(endless.Delivered <= LineReader::kMaxLineLength + 64 * 1024);
    QVERIFY(line.capacity() <= 2 * LineReader::kMaxLineLength);
}

void TestLineReader::readErrorFails() {
    FailingBuffer device("Name\r\nPa");
    std::istream in(&device);
    LineReader reader(in);
    std::string line;
    QStringList lines;
    for (int i = 0; i < 4 && reader.readLine(line); ++i)
        lines << QString::fromStdString(line);
    // Whatever came before the error, the half line "Pa" is never taken for a last line
    // and the reader keeps failing.
    QVERIFY(lines.isEmpty() || lines == QStringList{"Name"});
    QVERIFY(!reader.readLine(line));
}

void TestLineReader::folderIsNoFile() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    std::ifstream in(dir.path().toStdString(), std::ios::binary);
    LineReader reader(in);
    std::string line;
    QVERIFY(!reader.readLine(line));
}

QTEST_GUILESS_MAIN(TestLineReader)
#include "tst_linereader.moc"
