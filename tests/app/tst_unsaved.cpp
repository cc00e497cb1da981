#include "TestProgram.h"
#include "app/UnsavedBank.h"
#include "editors/BankHistory.h"
#include "editors/Bit01Edit.h"
#include "storage/UnsavedCopy.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The copies in the folder, without their locks.
QStringList copies(const QString& folder) {
    return QDir(folder).entryList({"unsaved-*.bbk"}, QDir::Files, QDir::Name);
}

void rename(TestProgram& p, int patch, const QString& name) {
    p.code.SelectedPatch = int16_t(patch);
    p.list().OpenPatchEditor(patch, Patch::Bit01Editor);
    QLineEdit* box = p.list().bit01EditWindow(patch)->NameText;
    box->setText(name);
}

void typeValue(TestProgram& p, int patch, int parameter, const QString& value) {
    p.code.SelectedPatch = int16_t(patch);
    p.list().OpenPatchEditor(patch, Patch::Bit01Editor);
    p.list().bit01EditWindow(patch)->PT[parameter]->setText(value);
}

// A copy left by a program that is no longer running: no lock, modified `age` days ago.
QString leaveCopy(const QString& folder, const QByteArray& bytes, int age, const char* stem) {
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QString("unsaved-%1.bbk").arg(stem));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        return {};
    file.setFileTime(QDateTime::currentDateTime().addDays(-age).addSecs(-60),
                     QFileDevice::FileModificationTime);
    return path;
}

QByteArray copyOf(const Bank& bank, const QString& name, const QByteArray& origin) {
    std::array<std::string, kPatchSlots> names;
    for (int n = kFirstPatch; n <= kLastPatch; ++n)
        names[std::size_t(n)] = (name + QString::number(n)).toStdString();
    return QByteArray::fromStdString(UnsavedCopy::encode(bank, names, origin.toStdString()));
}

QString offerText(const QDateTime& time) {
    return "Unsaved changes from " + QLocale().toString(time, QLocale::ShortFormat) +
           " can be restored with File > Restore Unsaved Bank";
}

} // namespace

class TestUnsaved : public QObject {
    Q_OBJECT
private slots:
    void init();
    void writtenSoonAfterTheFirstChange();
    void removedOnceNothingIsUnsaved_data();
    void removedOnceNothingIsUnsaved();
    void restoredInALaterRun_data();
    void restoredInALaterRun();
    void twoProgramsAtOnce();
    void unreadableCopiesAreSetAside_data();
    void unreadableCopiesAreSetAside();
    void copyChangedAfterTheOffer_data();
    void copyChangedAfterTheOffer();
    void copiesExpireAfterThirtyDays();

private:
    std::unique_ptr<QTemporaryDir> m_home;
    QString m_folder;
};

void TestUnsaved::init() {
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    qputenv("XDG_STATE_HOME", m_home->filePath("state").toUtf8());
    m_folder = m_home->filePath("state/Quenlor");
    QCOMPARE(UnsavedBank::defaultFolder(), m_folder);
}

void TestUnsaved::writtenSoonAfterTheFirstChange() {
    TestProgram p;
    p.start();
    UnsavedBank& unsaved = p.window.unsaved();
    // Opening an editor changes nothing: nothing is due.
    rename(p, 3, QString());
    QVERIFY(!unsaved.writePending());
    unsaved.writeNow();
    QVERIFY(copies(m_folder).isEmpty());

    typeValue(p, 3, 19, "44");
    QVERIFY(unsaved.writePending());
    QVERIFY(unsaved.writeDelay() <= 2000);
    // More changes before it is written go into the same copy.
    rename(p, 3, "Warm");
    unsaved.writeNow();
    QCOMPARE(copies(m_folder), QStringList{QFileInfo(unsaved.copyPath()).fileName()});
    UnsavedCopy::Image image;
    QCOMPARE(UnsavedCopy::read(unsaved.copyPath().toStdString(), image),
             UnsavedCopy::ReadResult::Ok);
    QCOMPARE(image.Values[3][19], int16_t(44));
    QCOMPARE(image.Names[3], std::string("Warm"));
    QCOMPARE(image.Origin, std::string());
    // The timer itself writes it too, without a call.
    typeValue(p, 3, 20, "7");
    QTRY_VERIFY_WITH_TIMEOUT(UnsavedCopy::read(unsaved.copyPath().toStdString(), image) ==
                                     UnsavedCopy::ReadResult::Ok &&
                                 image.Values[3][20] == 7,
                             2000);
}

void TestUnsaved::removedOnceNothingIsUnsaved_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Save Bank As") << "save as";
    QTest::newRow("Save Bank") << "save";
    QTest::newRow("undone back to the opened bank") << "undo";
    QTest::newRow("New Bank") << "new";
}

void TestUnsaved::removedOnceNothingIsUnsaved() {
    QFETCH(QString, how);
    QTemporaryDir dir;
    TestProgram p;
    p.start();
    writeRecords(dir.filePath("live.bbk"), variedBank(4), 1, 74, "Live ");
    p.desktop.answerOpen(dir.filePath("live.bbk"));
    p.window.mnu_Open->trigger();
    UnsavedBank& unsaved = p.window.unsaved();
    unsaved.writeNow();
    QVERIFY(copies(m_folder).isEmpty()); // the bank is the opened file
    typeValue(p, 9, 8, "12");
    unsaved.writeNow();
    QCOMPARE(copies(m_folder).size(), 1);
    if (how == "save as") {
        p.desktop.answerSave(dir.filePath("other.bbk"));
        p.window.mnu_SaveAs->trigger();
    } else if (how == "save") {
        p.window.mnu_Save->trigger();
    } else if (how == "undo") {
        p.window.mnu_Undo->trigger();
    } else {
        p.window.mnu_New->trigger();
    }
    QVERIFY(!unsaved.writePending());
    unsaved.writeNow();
    QVERIFY(copies(m_folder).isEmpty());
}

void TestUnsaved::restoredInALaterRun_data() {
    QTest::addColumn<bool>("fromAFile");
    QTest::newRow("a bank opened from a file") << true;
    QTest::newRow("a bank without a file") << false;
}

void TestUnsaved::restoredInALaterRun() {
    QFETCH(bool, fromAFile);
    QTemporaryDir dir;
    const QString live = dir.filePath("live.bbk");
    Bank edited;
    QStringList names;
    {
        TestProgram first;
        first.start();
        if (fromAFile) {
            writeRecords(live, variedBank(4), 1, 74, "Live ");
            first.desktop.answerOpen(live);
            first.window.mnu_Open->trigger();
        }
        typeValue(first, 30, 19, "61");
        rename(first, 30, "Kept");
        edited = first.code.PatchBank;
        names = first.names();
        // The program ends with the copy still due: it is written on the way out.
        QVERIFY(first.window.unsaved().writePending());
    }
    QCOMPARE(copies(m_folder).size(), 1);
    const QString left = QDir(m_folder).filePath(copies(m_folder)[0]);
    const QDateTime leftAt = QFileInfo(left).lastModified();

    TestProgram second;
    second.start();
    QVERIFY(!second.window.mnu_Restore->isEnabled());
    second.window.offerUnsavedBank();
    QCOMPARE(second.window.Status->text(), offerText(leftAt));
    QVERIFY(second.window.mnu_Restore->isEnabled());
    second.backend.clearRecord();
    second.code.AutoUpdate = kOn;
    second.window.mnu_Restore->trigger();
    QVERIFY(second.code.PatchBank == edited);
    QCOMPARE(second.names(), names);
    // As Open Bank: every patch sent, then patch 1 by selecting its row (selected already)
    // and once more as the last patch read.
    QCOMPARE(second.dumps(), 76);
    QCOMPARE(second.list().PatchList->currentRow(), 0);
    QVERIFY(!QFile::exists(left));
    QVERIFY(!second.window.mnu_Restore->isEnabled());
    QCOMPARE(second.window.mnu_Undo->text(), QString("&Undo Restore Unsaved Bank"));
    QCOMPARE(second.window.Status->text(), QString());

    if (fromAFile) {
        QCOMPARE(second.window.windowTitle(), QString("Quenlor 1.2.1 - live.bbk (restored)"));
        second.window.mnu_Save->trigger();
        QVERIFY(second.desktop.SaveSetups.isEmpty());
        QCOMPARE(second.window.windowTitle(), QString("Quenlor 1.2.1 - live.bbk"));
        QVERIFY(readFile(live).contains("\r\nKept\r\n"));
    } else {
        QCOMPARE(second.window.windowTitle(), QString("Quenlor 1.2.1"));
        second.desktop.cancelSave();
        second.window.mnu_Save->trigger();
        QCOMPARE(second.desktop.SaveSetups.size(), 1);
    }
    // The restored work is kept again, by this program, until it is saved.
    second.window.unsaved().writeNow();
    QCOMPARE(copies(m_folder).size(), fromAFile ? 0 : 1);
}

void TestUnsaved::twoProgramsAtOnce() {
    auto a = std::make_unique<TestProgram>();
    auto b = std::make_unique<TestProgram>();
    a->start();
    b->start();
    typeValue(*a, 1, 19, "11");
    typeValue(*b, 1, 19, "22");
    a->window.unsaved().writeNow();
    b->window.unsaved().writeNow();
    QCOMPARE(copies(m_folder).size(), 2);
    UnsavedCopy::Image image;
    QCOMPARE(UnsavedCopy::read(a->window.unsaved().copyPath().toStdString(), image),
             UnsavedCopy::ReadResult::Ok);
    QCOMPARE(image.Values[1][19], int16_t(11));
    QCOMPARE(UnsavedCopy::read(b->window.unsaved().copyPath().toStdString(), image),
             UnsavedCopy::ReadResult::Ok);
    QCOMPARE(image.Values[1][19], int16_t(22));
    {
        // Both writers are running: nothing to offer.
        TestProgram c;
        c.start();
        c.window.offerUnsavedBank();
        QVERIFY(!c.window.mnu_Restore->isEnabled());
    }
    const QString leftByA = a->window.unsaved().copyPath();
    a.reset();
    TestProgram d;
    d.start();
    d.window.offerUnsavedBank();
    QVERIFY(d.window.mnu_Restore->isEnabled());
    d.window.mnu_Restore->trigger();
    QCOMPARE(d.code.PatchBank(1, 19), int16_t(11));
    QVERIFY(!QFile::exists(leftByA));
    QVERIFY(QFile::exists(b->window.unsaved().copyPath()));
}

void TestUnsaved::unreadableCopiesAreSetAside_data() {
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = copyOf(variedBank(2), "Old ", "");
    QTest::newRow("truncated") << good.left(good.size() / 2);
    QTest::newRow("altered") << QByteArray(good).replace("Old 40", "Odd 40");
    QTest::newRow("from a newer version")
        << QByteArray(good).replace("unsaved bank\r\n 1\r\n", "unsaved bank\r\n 9\r\n");
    QTest::newRow("not a copy at all") << QByteArray("\x7f"
                                                     "ELF garbage");
}

void TestUnsaved::unreadableCopiesAreSetAside() {
    QFETCH(QByteArray, bytes);
    // An older good copy is offered once the newest, unreadable one is set aside.
    const QString good = leaveCopy(m_folder, copyOf(variedBank(3), "Good ", ""), 2, "good");
    const QString bad = leaveCopy(m_folder, bytes, 1, "bad");
    TestProgram p;
    p.start();
    const Bank before = p.code.PatchBank;
    p.window.offerUnsavedBank();
    QVERIFY(!QFile::exists(bad));
    const QString asideAt = QDir(m_folder).filePath("set-aside/unsaved-bad.bbk");
    QCOMPARE(readFile(asideAt), bytes);
    QVERIFY(p.window.Status->text().startsWith("The unsaved bank from "));
    QVERIFY(p.window.Status->text().contains("set aside as " + asideAt));
    QVERIFY(p.window.Status->text().endsWith(offerText(QFileInfo(good).lastModified())));
    QVERIFY(p.code.PatchBank == before);
    p.window.mnu_Restore->trigger();
    QCOMPARE(p.list().PatchName(9), QString("Good 9"));
}

// The copy offered at start-up can change before it is restored: nothing is read in part.
void TestUnsaved::copyChangedAfterTheOffer_data() {
    QTest::addColumn<bool>("removed");
    QTest::newRow("damaged") << false;
    QTest::newRow("removed") << true;
}

void TestUnsaved::copyChangedAfterTheOffer() {
    QFETCH(bool, removed);
    const QByteArray good = copyOf(variedBank(3), "Good ", "");
    const QString path = leaveCopy(m_folder, good, 1, "later");
    TestProgram p;
    p.start();
    p.window.offerUnsavedBank();
    QVERIFY(p.window.mnu_Restore->isEnabled());
    if (removed)
        QVERIFY(QFile::remove(path));
    else
        QVERIFY(QFile(path).resize(good.size() - 100));
    const Bank before = p.code.PatchBank;
    p.window.mnu_Restore->trigger();
    QVERIFY(p.code.PatchBank == before);
    QVERIFY(!p.window.history().canUndo());
    QVERIFY(!p.window.mnu_Restore->isEnabled());
    QVERIFY(p.window.Status->text().startsWith("The unsaved bank from "));
    QCOMPARE(QFile::exists(QDir(m_folder).filePath("set-aside/unsaved-later.bbk")), !removed);
}

void TestUnsaved::copiesExpireAfterThirtyDays() {
    const QString old = leaveCopy(m_folder, copyOf(variedBank(2), "Old ", ""), 30, "old");
    const QString recent = leaveCopy(m_folder, copyOf(variedBank(3), "New ", ""), 29, "recent");
    // What a program killed while writing its copy left half-written goes too.
    const QString half = leaveCopy(m_folder, "Name\r\n", 1, "x.bbk.save-1");
    const QString halfNow = leaveCopy(m_folder, "Name\r\n", 0, "y.bbk.save-1");
    const QString hidden = QDir(m_folder).filePath(".unsaved-x.bbk.save-1");
    const QString hiddenNow = QDir(m_folder).filePath(".unsaved-y.bbk.save-1");
    QVERIFY(QFile::rename(half, hidden) && QFile::rename(halfNow, hiddenNow));
    QFile touched(hiddenNow);
    QVERIFY(touched.open(QIODevice::ReadWrite));
    touched.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime);
    touched.close();
    TestProgram p;
    p.start();
    p.window.offerUnsavedBank();
    QVERIFY(!QFile::exists(old));
    QVERIFY(QFile::exists(recent));
    QVERIFY(!QFile::exists(hidden));
    QVERIFY(QFile::exists(hiddenNow));
    QCOMPARE(p.window.Status->text(), offerText(QFileInfo(recent).lastModified()));
}

QTEST_MAIN(TestUnsaved)
#include "tst_unsaved.moc"
