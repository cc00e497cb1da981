#include "core/NumberText.h"

#include <QTest>
#include <cmath>

// The number rule shared by value boxes, tags, file lines and stored settings.
class TestNumberText : public QObject {
    Q_OBJECT
private slots:
    void readNumber_data();
    void readNumber();
    void toInt16_data();
    void toInt16();
    void hugeInputIsSafe_data();
    void hugeInputIsSafe();
    void writeNumber_data();
    void writeNumber();
};

void TestNumberText::readNumber_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("plain") << QByteArray("7") << 7.0;
    QTest::newRow("leading blank") << QByteArray(" 7") << 7.0;
    QTest::newRow("trailing letters") << QByteArray("7abc") << 7.0;
    QTest::newRow("two blanks and fraction") << QByteArray("  7.4") << 7.4;
    QTest::newRow("half") << QByteArray("8.5") << 8.5;
    QTest::newRow("empty") << QByteArray("") << 0.0;
    QTest::newRow("lone minus") << QByteArray("-") << 0.0;
    QTest::newRow("leading point") << QByteArray(".5") << 0.5;
    QTest::newRow("trailing point") << QByteArray("9.") << 9.0;
    QTest::newRow("hex") << QByteArray("&H1F") << 31.0;
    QTest::newRow("hex lower case") << QByteArray("&hff") << 255.0;
    QTest::newRow("octal") << QByteArray("&O17") << 15.0;
    QTest::newRow("octal stops at 8") << QByteArray("&O178") << 15.0;
    QTest::newRow("exponent E") << QByteArray("1E3") << 1000.0;
    QTest::newRow("exponent D") << QByteArray("1D2") << 100.0;
    QTest::newRow("negative exponent") << QByteArray("25e-1") << 2.5;
    QTest::newRow("exponent without digits") << QByteArray("4E") << 4.0;
    QTest::newRow("negative") << QByteArray("-5") << -5.0;
    QTest::newRow("plus sign") << QByteArray("+12") << 12.0;
    QTest::newRow("blanks inside") << QByteArray("1 2\t3") << 123.0;
    QTest::newRow("line feed skipped") << QByteArray("\n42") << 42.0;
    QTest::newRow("carriage return stops") << QByteArray("4\r2") << 4.0;
    QTest::newRow("not a number") << QByteArray("abc") << 0.0;
    QTest::newRow("nan is no number") << QByteArray("nan") << 0.0;
    QTest::newRow("inf is no number") << QByteArray("inf") << 0.0;
    QTest::newRow("comma stops") << QByteArray("3,5") << 3.0;
    QTest::newRow("second point stops") << QByteArray("1.2.3") << 1.2;
    QTest::newRow("tiny underflows to zero") << QByteArray("1E-400") << 0.0;
}

void TestNumberText::readNumber() {
    QFETCH(QByteArray, text);
    QFETCH(double, expected);
    QCOMPARE(NumberText::readNumber(text.toStdString()), expected);
}

void TestNumberText::toInt16_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("expected");
    QTest::newRow("2.5 to even") << 2.5 << true << 2;
    QTest::newRow("3.5 to even") << 3.5 << true << 4;
    QTest::newRow("8.5") << 8.5 << true << 8;
    QTest::newRow("9.5") << 9.5 << true << 10;
    QTest::newRow("0.5") << 0.5 << true << 0;
    QTest::newRow("-0.5") << -0.5 << true << 0;
    QTest::newRow("-2.5") << -2.5 << true << -2;
    QTest::newRow("7.4") << 7.4 << true << 7;
    QTest::newRow("max") << 32767.0 << true << 32767;
    QTest::newRow("max + 0.4") << 32767.4 << true << 32767;
    QTest::newRow("max + 0.5 rounds over") << 32767.5 << false << 0;
    QTest::newRow("max + 1") << 32768.0 << false << 0;
    QTest::newRow("min") << -32768.0 << true << -32768;
    QTest::newRow("min - 0.5 rounds to even min") << -32768.5 << true << -32768;
    QTest::newRow("min - 1") << -32769.0 << false << 0;
    QTest::newRow("infinity") << HUGE_VAL << false << 0;
    QTest::newRow("NaN") << std::nan("") << false << 0;
}

void TestNumberText::toInt16() {
    QFETCH(double, value);
    QFETCH(bool, fits);
    QFETCH(int, expected);
    const auto result = NumberText::toInt16(value);
    QCOMPARE(result.has_value(), fits);
    if (fits)
        QCOMPARE(int(*result), expected);
}

void TestNumberText::hugeInputIsSafe_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("1E400") << QByteArray("1E400");
    QTest::newRow("-1E400") << QByteArray("-1E400");
    QTest::newRow("long hex") << QByteArray("&HFFFFFFFFF");
    QTest::newRow("32-bit hex") << QByteArray("&HFFFFFFFF");
    QTest::newRow("thousand digits") << QByteArray(1000, '9');
    QTest::newRow("huge exponent digits") << QByteArray("1E") + QByteArray(500, '9');
    QTest::newRow("32768") << QByteArray("32768");
    QTest::newRow("-32769") << QByteArray("-32769");
}

void TestNumberText::hugeInputIsSafe() {
    QFETCH(QByteArray, text);
    QVERIFY(!NumberText::readInt16(text.toStdString()).has_value());
}

void TestNumberText::writeNumber_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << 0 << " 0";
    QTest::newRow("positive") << 5 << " 5";
    QTest::newRow("two digits") << 16 << " 16";
    QTest::newRow("negative") << -5 << "-5";
    QTest::newRow("minimum") << -32768 << "-32768";
}

void TestNumberText::writeNumber() {
    QFETCH(int, value);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(NumberText::writeNumber(value)), expected);
}

QTEST_GUILESS_MAIN(TestNumberText)
#include "tst_numbertext.moc"
