#include "TestFiles.h"
#include "core/QuenlorCode.h"
#include "storage/UnsavedCopy.h"

#include <QTemporaryDir>
#include <QTest>

namespace {
struct Source {
    QuenlorCode code;
    std::array<std::string, kPatchSlots> names;
    Source() {
        code.InitPatchModel();
        for (int n = kFirstPatch; n <= kLastPatch; ++n) {
            names[std::size_t(n)] = "Patch " + std::to_string(n);
            for (int p = kFirstParameter; p <= kLastParameter; ++p)
                code.PatchBank(n, p) = int16_t((n * 5 + p) % 64);
        }
        // Values no editor writes and names with odd bytes pass through as they are.
        code.PatchBank(3, 8) = -32768;
        code.PatchBank(4, 9) = 32767;
        names[5] = "";
        names[6] = "  Caf\xe9 100%  ";
        names[7] = std::string(UnsavedCopy::kMarker);
    }
    std::string encode(std::string_view origin = "/banks/live.bbk") const {
        return UnsavedCopy::encode(code.PatchBank, names, origin);
    }
};
} // namespace

class TestUnsavedCopy : public QObject {
    Q_OBJECT
private slots:
    void readsBackWhatWasWritten_data();
    void readsBackWhatWasWritten();
    void recordsAreABankFile();
    void damagedCopiesAreRefused_data();
    void damagedCopiesAreRefused();
    void missingAndUnreadableFiles();
};

void TestUnsavedCopy::readsBackWhatWasWritten_data() {
    QTest::addColumn<QByteArray>("origin");
    QTest::newRow("no file") << QByteArray();
    QTest::newRow("a file") << QByteArray("/home/me/banks/live.bbk");
    QTest::newRow("blanks, percent and a line break") << QByteArray("/b/my 100%\r\nbank.bbk");
    QTest::newRow("8-bit bytes") << QByteArray("/b/caf\xe9.bbk");
}

void TestUnsavedCopy::readsBackWhatWasWritten() {
    QFETCH(QByteArray, origin);
    Source source;
    QTemporaryDir dir;
    const std::string path = dir.filePath("copy.bbk").toStdString();
    QVERIFY(UnsavedCopy::Write(path, source.encode(origin.toStdString())));
    UnsavedCopy::Image image;
    QCOMPARE(UnsavedCopy::read(path, image), UnsavedCopy::ReadResult::Ok);
    QCOMPARE(QByteArray::fromStdString(image.Origin), origin);
    for (int n = kFirstPatch; n <= kLastPatch; ++n) {
        QCOMPARE(image.Names[std::size_t(n)], source.names[std::size_t(n)]);
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            QCOMPARE(image.Values[std::size_t(n)][std::size_t(p)], source.code.PatchBank(n, p));
    }
}

// Everything before the trailer is byte for byte the bank file the program saves.
void TestUnsavedCopy::recordsAreABankFile() {
    QuenlorCode code;
    code.InitPatchModel();
    const std::string bytes = UnsavedCopy::encode(code.PatchBank, {}, "");
    QCOMPARE(bytes.substr(19684, 22), std::string("Quenlor unsaved bank\r\n"));
    QCOMPARE(bytes.substr(0, 18), std::string("Name\r\n\r\nData\r\n 0\r\n"));
}

void TestUnsavedCopy::damagedCopiesAreRefused_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("result");
    const QByteArray good = QByteArray::fromStdString(Source().encode());
    const int damaged = int(UnsavedCopy::ReadResult::Damaged);
    QTest::newRow("empty") << QByteArray() << damaged;
    QTest::newRow("cut in the records") << good.left(5000) << damaged;
    QTest::newRow("cut in the trailer") << good.left(good.size() - 5) << damaged;
    QTest::newRow("no last line end") << good.left(good.size() - 2) << damaged;
    QByteArray flipped = good;
    flipped[300] = flipped[300] == '1' ? '2' : '1';
    QTest::newRow("a value altered") << flipped << damaged;
    QByteArray renamed = good;
    renamed.replace("Patch 12", "Patch 13");
    QTest::newRow("a name altered") << renamed << damaged;
    QTest::newRow("a plain bank file")
        << good.left(good.indexOf("Quenlor unsaved bank\r\n")) << damaged;
    QTest::newRow("something after the trailer") << good + "x\r\n" << damaged;
    QByteArray newer = good;
    newer.replace("Quenlor unsaved bank\r\n 1\r\n", "Quenlor unsaved bank\r\n 2\r\n");
    QTest::newRow("a newer version") << newer << int(UnsavedCopy::ReadResult::Newer);
    QByteArray version0 = good;
    version0.replace("Quenlor unsaved bank\r\n 1\r\n", "Quenlor unsaved bank\r\n 0\r\n");
    QTest::newRow("version 0") << version0 << damaged;
    QByteArray badPercent = QByteArray::fromStdString(Source().encode("/a%b"));
    badPercent.replace("%25b", "%2");
    QTest::newRow("a broken file name") << badPercent << damaged;
    QTest::newRow("lines ended by LF alone") << QByteArray(good).replace("\r\n", "\n") << damaged;
}

void TestUnsavedCopy::damagedCopiesAreRefused() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, result);
    UnsavedCopy::Image image;
    QCOMPARE(
        int(UnsavedCopy::decode(std::string_view(bytes.constData(), size_t(bytes.size())), image)),
        result);
}

void TestUnsavedCopy::missingAndUnreadableFiles() {
    QTemporaryDir dir;
    UnsavedCopy::Image image;
    QCOMPARE(UnsavedCopy::read(dir.filePath("none.bbk").toStdString(), image),
             UnsavedCopy::ReadResult::Missing);
    QCOMPARE(UnsavedCopy::read(dir.path().toStdString(), image), UnsavedCopy::ReadResult::Damaged);
    // A huge file is not read into memory.
    QVERIFY(TestFiles::write(dir.filePath("huge.bbk"), QByteArray(9 * 1024 * 1024, ' ')));
    QCOMPARE(UnsavedCopy::read(dir.filePath("huge.bbk").toStdString(), image),
             UnsavedCopy::ReadResult::Damaged);
    // A folder that does not exist cannot take a copy.
    QVERIFY(!UnsavedCopy::Write(dir.filePath("no/such/copy.bbk").toStdString(), "x"));
}

QTEST_GUILESS_MAIN(TestUnsavedCopy)
#include "tst_unsavedcopy.moc"
