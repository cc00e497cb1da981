#include "support/TestProgram.h"
#include "unsaved/UnsavedBank.h"
#include "editors/BankHistory.h"
#include "editors/Bit01Edit.h"
#include "editors/NormalEdit.h"
#include "storage/UnsavedCopy.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

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

bool canRestore(TestProgram& p) {
    return p.window.mnu_Restore->menuAction()->isEnabled();
}

// What File > Restore Unsaved Bank offers, item by item.
QStringList restoreItems(TestProgram& p) {
    QStringList items;
    for (const QAction* item : p.window.mnu_Restore->actions())
        items << item->text();
    return items;
}

void restoreNewest(TestProgram& p) {
    QVERIFY(!p.window.mnu_Restore->actions().isEmpty());
    p.window.mnu_Restore->actions().first()->trigger();
    p.window.unsaved().waitForDisk();
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
    void writtenSoonAfterEachChange();
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
    void endingKeepsTheValueBeingTyped_data();
    void endingKeepsTheValueBeingTyped();
    void replacedBankKeepsItsCopy_data();
    void replacedBankKeepsItsCopy();
    void copiesOfferedNewestFirstTwentyAtMost();
    void locksOfEndedProgramsAreRemoved();
    void failuresToKeepAreTold_data();
    void failuresToKeepAreTold();
    void noticesNeverHideEachOther();

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

void TestUnsaved::writtenSoonAfterEachChange() {
    TestProgram p;
    p.start();
    UnsavedBank& unsaved = p.window.unsaved();
    // Opening an editor changes nothing: nothing is due.
    rename(p, 3, QString());
    QVERIFY(!unsaved.writePending());
    unsaved.writeNow();
    QVERIFY(copies(m_folder).isEmpty());
    // The changes of one turn of the event loop go into one copy, on the next turn.
    typeValue(p, 3, 19, "44");
    rename(p, 3, "Warm");
    QCOMPARE(unsaved.writeDelay(), 0);
    QTRY_VERIFY(!unsaved.writePending());
    unsaved.waitForDisk();
    QCOMPARE(copies(m_folder), QStringList{QFileInfo(unsaved.copyPath()).fileName()});
    UnsavedCopy::Image image;
    QCOMPARE(UnsavedCopy::read(unsaved.copyPath().toStdString(), image),
             UnsavedCopy::ReadResult::Ok);
    QCOMPARE(image.Values[3][19], int16_t(44));
    QCOMPARE(image.Names[3], std::string("Warm"));
    QCOMPARE(image.Origin, std::string());
    // A gesture: ten copies a second at most, one sync; Undo ends it and syncs at once.
    QElapsedTimer gesture;
    gesture.start();
    for (int step = 1; gesture.elapsed() < 400; ++step, QTest::qWait(5))
        typeValue(p, 3, 20, QString::number(step % 60 + 1));
    QTRY_VERIFY(!unsaved.writePending());
    unsaved.waitForDisk();
    const int written = unsaved.copiesWritten(), synced = unsaved.copiesSynced();
    QVERIFY(written >= 3 && written <= gesture.elapsed() / UnsavedBank::kWriteGapMs + 2 &&
            synced <= gesture.elapsed() / UnsavedBank::kSyncGapMs + 2);
    p.window.mnu_Undo->trigger();
    QVERIFY(unsaved.writeDelay() <= UnsavedBank::kWriteGapMs);
    QTRY_VERIFY(!unsaved.writePending());
    unsaved.waitForDisk();
    QVERIFY(unsaved.copiesSynced() > synced && !unsaved.syncPending());
}

void TestUnsaved::removedOnceNothingIsUnsaved_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Save Bank As") << "save as";
    QTest::newRow("Save Bank") << "save";
    QTest::newRow("undone back to the opened bank") << "undo";
    // An editor putting a value of the file into range as it shows it changes nothing
    // the user did: no copy, and no step (which would leave nothing to redo).
    QTest::newRow("undone, then an editor corrects the file") << "correct";
}

void TestUnsaved::removedOnceNothingIsUnsaved() {
    QFETCH(QString, how);
    QTemporaryDir dir;
    TestProgram p;
    p.start();
    Bank live = variedBank(4);
    for (int octave = 35; octave <= 38; ++octave)
        live(5, octave) = 0; // the instrument plays the first
    writeRecords(dir.filePath("live.bbk"), live, 1, 74, "Live ");
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
    } else {
        p.window.mnu_Undo->trigger();
    }
    if (how == "correct") {
        p.code.SelectedPatch = 5;
        p.list().OpenPatchEditor(5, Patch::NormalEditor);
        QCOMPARE(p.code.PatchBank(5, 35), int16_t(1));
        QVERIFY(p.window.history().canRedo());
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
    const QByteArray leftBytes = readFile(left);

    TestProgram second;
    second.start();
    QVERIFY(!canRestore(second));
    second.window.offerUnsavedBank();
    QCOMPARE(second.window.Status->text(), offerText(leftAt));
    QVERIFY(canRestore(second));
    second.backend.clearRecord();
    second.code.AutoUpdate = kOn;
    restoreNewest(second);
    // The copy is handed over at once: this program's own copy holds the bank before
    // the one restored is gone, with no wait between.
    QCOMPARE(readFile(second.window.unsaved().copyPath()), leftBytes);
    QVERIFY(second.code.PatchBank == edited);
    QCOMPARE(second.names(), names);
    // As Open Bank: every patch sent, then patch 1 by selecting its row (selected already)
    // and once more as the last patch read.
    QCOMPARE(second.dumps(), 76);
    QCOMPARE(second.list().PatchList->currentRow(), 0);
    QVERIFY(!QFile::exists(left));
    QVERIFY(!canRestore(second));
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
        QVERIFY(!canRestore(c));
    }
    const QString leftByA = a->window.unsaved().copyPath();
    a.reset();
    TestProgram d;
    d.start();
    d.window.offerUnsavedBank();
    QVERIFY(canRestore(d));
    restoreNewest(d);
    QCOMPARE(d.code.PatchBank(1, 19), int16_t(11));
    QVERIFY(!QFile::exists(leftByA));
    QVERIFY(QFile::exists(b->window.unsaved().copyPath()));
}

void TestUnsaved::unreadableCopiesAreSetAside_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("note"); // how the status bar tells of it
    const QByteArray good = copyOf(variedBank(2), "Old ", "");
    const QString aside = "could not be read and was set aside as ";
    QTest::newRow("truncated") << good.left(good.size() / 2) << aside;
    QTest::newRow("altered") << QByteArray(good).replace("Old 40", "Odd 40") << aside;
    QTest::newRow("not a copy at all") << QByteArray("\x7f"
                                                     "ELF garbage")
                                       << aside;
    // Only a version that can read a copy decides what becomes of it.
    QTest::newRow("from a newer version, left where it is")
        << QByteArray(good).replace("unsaved bank\r\n 1\r\n", "unsaved bank\r\n 9\r\n")
        << "was kept by a newer version of Quenlor and is left for it";
}

void TestUnsaved::unreadableCopiesAreSetAside() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, note);
    // An older good copy is offered once the newest, unreadable one is set aside.
    const QString good = leaveCopy(m_folder, copyOf(variedBank(3), "Good ", ""), 2, "good");
    const QString bad = leaveCopy(m_folder, bytes, 1, "bad");
    TestProgram p;
    p.start();
    const Bank before = p.code.PatchBank;
    p.window.offerUnsavedBank();
    const bool newer = !note.startsWith("could not");
    const QString asideAt = QDir(m_folder).filePath("set-aside/unsaved-bad.bbk");
    QCOMPARE(readFile(newer ? bad : asideAt), bytes);
    QCOMPARE(QFile::exists(bad), newer);
    // The offer in view, the note behind it in the tool tip.
    const QString offer = offerText(QFileInfo(good).lastModified());
    QCOMPARE(p.window.Status->text(), offer + "  (and 1 more notice)");
    const QStringList notices = p.window.Status->toolTip().split('\n');
    QCOMPARE(notices.size(), 2);
    QCOMPARE(notices[0], offer);
    QVERIFY(notices[1].startsWith("The unsaved bank from "));
    QVERIFY(notices[1].endsWith(note + (newer ? QString() : asideAt)));
    QVERIFY(p.code.PatchBank == before);
    restoreNewest(p);
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
    QVERIFY(canRestore(p));
    if (removed)
        QVERIFY(QFile::remove(path));
    else
        QVERIFY(QFile(path).resize(good.size() - 100));
    const Bank before = p.code.PatchBank;
    restoreNewest(p);
    QVERIFY(p.code.PatchBank == before);
    QVERIFY(!p.window.history().canUndo());
    QVERIFY(!canRestore(p));
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

void TestUnsaved::endingKeepsTheValueBeingTyped_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Ctrl+Q") << "ctrl+q";
    QTest::newRow("File > Quit") << "quit";
    QTest::newRow("the close button") << "close";
}

// "12" typed into a value box without Enter, then the program ends: the value is
// committed while everything it goes through still stands, and kept.
void TestUnsaved::endingKeepsTheValueBeingTyped() {
    QFETCH(QString, how);
    auto p = std::make_unique<TestProgram>();
    p->start();
    p->code.SelectedPatch = 4;
    p->list().OpenPatchEditor(4, Patch::NormalEditor);
    QLineEdit* box = p->list().normalEditWindow(4)->Text[8];
    box->setFocus(); // which selects the box's text
    QTest::keyClicks(box, "12");
    const std::string copy = p->window.unsaved().copyPath().toStdString();
    // The way out runs inside the event loop, as in the program.
    QTimer::singleShot(0, &p->window, [&] {
        if (how == "ctrl+q") QTest::keyClick(box, Qt::Key_Q, Qt::ControlModifier);
        if (how == "quit") p->window.mnu_Quit->trigger();
        if (how == "close") p->window.close();
    });
    QCoreApplication::exec();
    p.reset();
    UnsavedCopy::Image image;
    QCOMPARE(UnsavedCopy::read(copy, image), UnsavedCopy::ReadResult::Ok);
    QCOMPARE(image.Values[4][8], int16_t(12));
}

void TestUnsaved::replacedBankKeepsItsCopy_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("item"); // the kept bank's menu item, with its time as %1
    QTest::newRow("New Bank") << "new" << QString("&1 Untitled \u2014 %1, 1 patch changed");
    QTest::newRow("Open Bank") << "open" << QString("&1 live.bbk \u2014 %1, 1 patch changed");
    QTest::newRow("New Bank, undone, redone")
        << "redo" << QString("&1 Untitled \u2014 %1, 1 patch changed");
    QTest::newRow("Restore undone")
        << "restore" << QString("&1 Untitled \u2014 %1, 74 patches changed");
}

// A bank with unsaved changes that is replaced keeps its copy, offered at once.
void TestUnsaved::replacedBankKeepsItsCopy() {
    QFETCH(QString, how);
    QFETCH(QString, item);
    QTemporaryDir dir;
    writeRecords(dir.filePath("live.bbk"), variedBank(4), 1, 74, "Live ");
    if (how == "restore") leaveCopy(m_folder, copyOf(variedBank(3), "Kept ", ""), 1, "left");
    TestProgram p;
    p.start();
    p.window.offerUnsavedBank();
    p.desktop.answerOpen(dir.filePath("live.bbk"));
    p.desktop.answerOpen(dir.filePath("live.bbk"));
    if (how == "open") p.window.mnu_Open->trigger();
    if (how == "restore")
        restoreNewest(p);
    else
        rename(p, 30, "Kept 30");
    const QStringList kept = p.names();
    if (how == "open") p.window.mnu_Open->trigger();
    if (how == "restore") p.window.mnu_Undo->trigger();
    if (how == "new" || how == "redo") p.window.mnu_New->trigger();
    if (how == "redo") {
        p.window.mnu_Undo->trigger();
        p.window.mnu_Redo->trigger();
    }
    const QStringList items = restoreItems(p);
    QCOMPARE(items.size(), 1);
    const QDateTime time = p.window.unsaved().copies().front().Time;
    QCOMPARE(items[0], item.arg(QLocale().toString(time, QLocale::ShortFormat)));
    restoreNewest(p);
    QCOMPARE(p.names(), kept);
}

void TestUnsaved::copiesOfferedNewestFirstTwentyAtMost() {
    QStringList left;
    for (int age = 1; age <= 22; ++age)
        left << leaveCopy(m_folder, copyOf(variedBank(age), "Old ", ""), age,
                          QByteArray::number(age).constData());
    TestProgram p;
    p.start();
    p.window.offerUnsavedBank();
    p.window.unsaved().waitForDisk();
    QCOMPARE(restoreItems(p).size(), 20);
    for (int i = 0; i < 20; ++i)
        QCOMPARE(p.window.unsaved().copies()[std::size_t(i)].Path, left[i]);
    QVERIFY(!QFile::exists(left[20]) && !QFile::exists(left[21]));
}

// A lock whose program ended before it wrote a copy goes; a running program's stays.
void TestUnsaved::locksOfEndedProgramsAreRemoved() {
    const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid());
    const QString ended = m_folder + "/unsaved-ended.bbk.lock";
    const QString running = m_folder + "/unsaved-running.bbk.lock";
    QVERIFY(QDir().mkpath(m_folder));
    for (const QString& path : {ended, running}) {
        QFile lock(path);
        const QString program = path == ended ? "an-ended-program" : qAppName();
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(pid + "\n" + program.toUtf8() + "\n\n");
    }
    TestProgram p;
    p.start();
    p.window.offerUnsavedBank();
    QVERIFY(!QFile::exists(ended));
    QVERIFY(QFile::exists(running));
}

void TestUnsaved::failuresToKeepAreTold_data() {
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<QString>("reason");
    QTest::newRow("the disk is full") << true << "No space left on device";
    QTest::newRow("the folder cannot be made") << false << "Not a directory";
}

// Said once in the status bar, and tried again with the next change.
void TestUnsaved::failuresToKeepAreTold() {
    QFETCH(bool, diskFull);
    QFETCH(QString, reason);
    const QString blocker = m_home->filePath("blocker");
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    if (!diskFull) qputenv("XDG_STATE_HOME", blocker.toUtf8());
    TestProgram p;
    p.start();
    UnsavedBank& unsaved = p.window.unsaved();
    if (diskFull) QVERIFY(QFile::link("/dev/full", unsaved.copyPath()));
    const QString told =
        "Unsaved changes cannot be kept: " + reason + " (" + UnsavedBank::defaultFolder() + ")";
    typeValue(p, 3, 19, "44");
    unsaved.writeNow();
    QCOMPARE(p.window.Status->text(), told);
    QSignalSpy tellings(&unsaved, &UnsavedBank::cannotKeep);
    typeValue(p, 3, 20, "7");
    unsaved.writeNow();
    QCOMPARE(tellings.count(), 0);
    QCOMPARE(p.window.Status->text(), told);
    QVERIFY(QFile::remove(diskFull ? unsaved.copyPath() : blocker));
    typeValue(p, 3, 21, "9");
    unsaved.writeNow();
    QVERIFY(!unsaved.copyPath().isEmpty() && QFile::exists(unsaved.copyPath()));
    // Kept again: the notice no longer holds.
    QCOMPARE(p.window.Status->text(), QString());
}

// The restore offer stays in view while other notices come and Open Bank's progress goes,
// and holds until there is nothing left to restore.
void TestUnsaved::noticesNeverHideEachOther() {
    const QString left = leaveCopy(m_folder, copyOf(variedBank(3), "Left ", ""), 1, "left");
    const QString offer = offerText(QFileInfo(left).lastModified());
    TestProgram p;
    p.start();
    p.window.offerUnsavedBank();
    QCOMPARE(p.window.Status->text(), offer);

    UnsavedBank& unsaved = p.window.unsaved();
    QVERIFY(QFile::link("/dev/full", unsaved.copyPath()));
    typeValue(p, 3, 19, "44");
    unsaved.writeNow();
    const QString told = "Unsaved changes cannot be kept: No space left on device (" +
                         UnsavedBank::defaultFolder() + ")";
    QCOMPARE(p.window.Status->text(), offer + "  (and 1 more notice)");
    QCOMPARE(p.window.Status->toolTip(), offer + "\n" + told);

    // A bank read only in part: its progress ends with it, and the notices are back.
    const QString broken = m_home->filePath("broken.bbk");
    writeRecords(broken, variedBank(2), 1, 10, "Broken ");
    // The bank it replaced had unsaved changes and is kept: the offer names it now.
    p.window.openFile(broken.toStdString());
    QCOMPARE(p.desktop.Messages.size(), 1);
    QCOMPARE(unsaved.copies().size(), std::size_t(2));
    const QString renewed = offerText(unsaved.copies().front().Time);
    QCOMPARE(p.window.Status->text(), renewed + "  (and 1 more notice)");
    QCOMPARE(p.window.Status->toolTip(), renewed + "\n" + told);

    // With the disk written again, that notice no longer holds.
    QVERIFY(QFile::remove(unsaved.copyPath()));
    typeValue(p, 3, 20, "7");
    unsaved.writeNow();
    QCOMPARE(p.window.Status->text(), renewed);
    QCOMPARE(p.window.Status->toolTip(), renewed);
}

QTEST_MAIN(TestUnsaved)
#include "tst_unsaved.moc"
