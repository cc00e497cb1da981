#include "support/TestProgram.h"

#include "librarian/Librarian.h"
#include "librarywindow/LibraryMenu.h"
#include "librarywindow/LibraryModel.h"
#include "librarywindow/LibraryWindow.h"
#include "editors/BankHistory.h"
#include "library/LibraryDatabase.h"
#include "library/LibraryTestFiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QMimeData>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTreeWidget>
#include <QTemporaryDir>

using namespace LibraryTestFiles;

namespace {
using Bytes = std::vector<uint8_t>;

// The dump the program sends for a sound, on channel 1.
Bytes dumpOf(int n) {
    const QByteArray bytes = dumps({n});
    return Bytes(bytes.begin(), bytes.end());
}

// The program with a watched folder of two banks ("Pad n" and "Bass n", sounds 1..148)
// read into its library, and the Library window open.
struct LibraryProgram : TestProgram {
    explicit LibraryProgram(const QString& folder) {
        start();
        desktop.FolderAnswers.push_back(folder);
        library().mnu_AddFolder->trigger();
        settle();
        window.library().mnu_ShowLibrary->trigger();
        settle();
    }
    LibraryMenu& library() { return window.library(); }
    LibraryWindow& libraryWindow() { return *window.library().window(); }
    QTableView& table() { return *libraryWindow().PatchTable; }
    void settle() {
        QTRY_VERIFY_WITH_TIMEOUT(library().pendingJobs() == 0, 20000);
    }
    // The names of the rows shown.
    QStringList rows() {
        QStringList names;
        for (int row = 0; row < libraryWindow().model().rowCount(); ++row)
            names << libraryWindow().model().index(row, LibraryModel::NameColumn).data().toString();
        return names;
    }
    void typeSearch(const QString& text) {
        libraryWindow().SearchBox->clear();
        QTest::keyClicks(libraryWindow().SearchBox, text);
    }
};
} // namespace

// The Library window in the whole program: a folder added and read, search, audition,
// the patch into the bank, and the keys of the list.
class TestLibraryWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void startUpLeavesTheLibraryClosed();
    void addFolderSearchEnter();
    void audition_data();
    void audition();
    void keys_data();
    void keys();
    void fillBankFromSelection();
    void drags_data();
    void drags();
    void filtersAndCategories();
    void addCurrentBank();
    void copiesProblemsAndLikeness();
    void damagedLibraryIsSaidInTheStatusBar_data();
    void damagedLibraryIsSaidInTheStatusBar();
    void namesAsShownAndKept();

private:
    QString folder() const { return m_dir->filePath(QStringLiteral("banks")); }
    std::optional<QTemporaryDir> m_dir;
};

void TestLibraryWindow::init() {
    m_dir.emplace();
    QVERIFY(m_dir->isValid());
    qputenv("XDG_STATE_HOME", m_dir->filePath("state").toUtf8());
    qputenv("XDG_DATA_HOME", m_dir->filePath("data").toUtf8());
    writeBank(folder() + "/pads.bbk", 1, QStringLiteral("Pad "));
    writeBank(folder() + "/basses.bbk", 75, QStringLiteral("Bass "));
}

// The program starts without opening the library.
void TestLibraryWindow::startUpLeavesTheLibraryClosed() {
    TestProgram p;
    p.start();
    QVERIFY(!QFileInfo::exists(LibraryDatabase::defaultPath()));
    QCOMPARE(p.window.library().pendingJobs(), 0);
}

// The whole road: a folder added, a search typed, Down into the list (the patch is
// auditioned), Enter puts it into the bank's selected row as one step.
void TestLibraryWindow::addFolderSearchEnter() {
    LibraryProgram p(folder());
    QCOMPARE(p.window.Mdi->currentSubWindow()->widget(), &p.libraryWindow());
    QVERIFY(p.libraryWindow().SearchBox->hasFocus());
    QCOMPARE(p.rows().size(), 148);
    p.list().selectPatchRow(10);
    const Bank before = p.code.PatchBank;

    p.libraryWindow().SearchBox->setFocus();
    QTest::keyClicks(p.libraryWindow().SearchBox, "bass 7");
    QCOMPARE(p.rows(), (QStringList{"Bass 7", "Bass 70", "Bass 71", "Bass 72", "Bass 73", "Bass 74"}));
    p.backend.clearRecord();
    QTest::keyClick(p.libraryWindow().SearchBox, Qt::Key_Down);
    QVERIFY(p.table().hasFocus());
    QCOMPARE(p.sent(), (std::vector<Bytes>{dumpOf(75 + 6), {0xC0, 0x00}}));
    QVERIFY(p.code.PatchBank == before); // auditioned, not put into the bank
    QTest::keyClick(&p.table(), Qt::Key_Down);
    QCOMPARE(p.sent().back(), (Bytes{0xC0, 0x00}));
    QCOMPARE(p.sent()[2], dumpOf(75 + 69));

    QTest::keyClick(&p.table(), Qt::Key_Return);
    QCOMPARE(p.list().PatchName(10), QStringLiteral("Bass 70"));
    const PatchValues chosen = sound(75 + 69);
    for (int parameter = kFirstParameter; parameter <= kLastParameter; ++parameter)
        QCOMPARE(p.code.PatchBank(10, parameter), chosen[std::size_t(parameter)]);
    QCOMPARE(p.window.mnu_Undo->text(), QStringLiteral("&Undo Patch from Library"));
    p.window.mnu_Undo->trigger();
    QVERIFY(p.code.PatchBank == before);
    QCOMPARE(p.list().PatchName(10), QString());
}

void TestLibraryWindow::audition_data() {
    QTest::addColumn<bool>("note");
    QTest::newRow("without the test note") << false;
    QTest::newRow("with the test note") << true;
}

// With "Play a note when auditioning" the test note follows the dump, and ends.
void TestLibraryWindow::audition() {
    QFETCH(bool, note);
    LibraryProgram p(folder());
    p.code.PlayNoteWhenAuditioning = note ? kOn : kOff;
    p.backend.clearRecord();
    QTest::keyClick(p.libraryWindow().SearchBox, Qt::Key_Down);
    std::vector<Bytes> expected{dumpOf(75), {0xC0, 0x00}};
    if (note) expected.push_back({0x90, 60, 70});
    QCOMPARE(p.sent(), expected);
    if (note) {
        QTRY_COMPARE(p.sent().size(), std::size_t(4));
        QCOMPARE(p.sent().back(), (Bytes{0x90, 60, 0}));
    }
}

void TestLibraryWindow::keys_data() {
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<bool>("favourite");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<int>("rows");
    QTest::newRow("F marks a favourite") << QList<int>{Qt::Key_F} << true << false << 148;
    QTest::newRow("F again clears it") << QList<int>{Qt::Key_F, Qt::Key_F} << false << false << 148;
    QTest::newRow("Shift+F marks too, finding no name")
        << QList<int>{(Qt::SHIFT | Qt::Key_F).toCombined()} << true << false << 148;
    QTest::newRow("Delete hides") << QList<int>{Qt::Key_Delete} << false << true << 147;
    QTest::newRow("Escape goes back to the search")
        << QList<int>{Qt::Key_Escape} << false << false << 148;
}

// The keys of the list act on the selected patches and are kept in the library.
void TestLibraryWindow::keys() {
    QFETCH(QList<int>, keys);
    QFETCH(bool, favourite);
    QFETCH(bool, hidden);
    QFETCH(int, rows);
    {
        LibraryProgram p(folder());
        QTest::keyClick(p.libraryWindow().SearchBox, Qt::Key_Down);
        const int entry = p.libraryWindow().currentEntry();
        for (const int key : keys)
            QTest::keyClick(&p.table(), Qt::Key(key & ~Qt::KeyboardModifierMask),
                            Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask));
        if (!hidden) QCOMPARE(p.libraryWindow().currentEntry(), entry);
        QCOMPARE(p.libraryWindow().SearchBox->hasFocus(), keys.back() == Qt::Key_Escape);
        QCOMPARE(p.library().catalogue()->Entries[std::size_t(entry)].Favourite, favourite);
        QCOMPARE(p.rows().size(), rows);
        p.libraryWindow().ShowHidden->setChecked(true);
        QCOMPARE(p.rows().size(), 148);
        p.settle();
    }
    // Read again by a new run of the program.
    LibraryProgram again(folder());
    const LibraryEntry& first = again.library().catalogue()->Entries.front();
    QCOMPARE(first.Favourite, favourite);
    QCOMPARE(first.Hidden, hidden);
}

// The selection goes into the bank from the selected row on, as far as the bank goes.
void TestLibraryWindow::fillBankFromSelection() {
    LibraryProgram p(folder());
    p.typeSearch("pad 1");
    QCOMPARE(p.rows().mid(0, 3), (QStringList{"Pad 1", "Pad 10", "Pad 11"}));
    p.table().selectionModel()->select(
        QItemSelection(p.libraryWindow().model().index(0, 0), p.libraryWindow().model().index(2, 0)),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    p.list().selectPatchRow(73);
    const int steps = p.window.history().count();
    p.libraryWindow().FillBankButton->click();
    QCOMPARE(p.names().mid(71), (QStringList{"", "Pad 1", "Pad 10"}));
    QCOMPARE(p.window.history().count(), steps + 1);
    QCOMPARE(p.window.mnu_Undo->text(), QStringLiteral("&Undo Fill Bank from Selection"));
}

void TestLibraryWindow::drags_data() {
    QTest::addColumn<bool>("intoBank");
    QTest::newRow("a library row onto a bank row") << true;
    QTest::newRow("a bank row into the library") << false;
}

// A library row dropped on a bank row goes into it with its name, one step; a bank row
// dropped on the library joins it as Add Current Bank would add it.
void TestLibraryWindow::drags() {
    QFETCH(bool, intoBank);
    LibraryProgram p(folder());
    p.typeSearch("bass 40");
    QListWidget* list = p.list().PatchList;
    QWidget* target = intoBank ? list->viewport() : p.table().viewport();
    std::unique_ptr<QMimeData> data;
    QPoint at;
    if (intoBank) {
        data.reset(p.libraryWindow().model().mimeData({p.libraryWindow().model().index(0, 0)}));
        at = list->visualItemRect(list->item(9)).center();
    } else {
        p.list().SetPatchName(12, QStringLiteral("Kept"));
        p.code.PatchBank(12, 8) = 63;
        p.code.PatchBank(12, 9) = 63;
        data.reset(p.window.patchLibrarian().rowDragData(12));
        at = p.table().viewport()->rect().center();
    }
    const int steps = p.window.history().count();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(target, &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(drop.dropAction(), Qt::CopyAction);
    if (intoBank) {
        QCOMPARE(p.list().PatchName(10), QStringLiteral("Bass 40"));
        QCOMPARE(p.code.PatchBank(10, 8), sound(75 + 39)[8]);
        QCOMPARE(p.list().selectedRowPatch(), 10);
        QCOMPARE(p.window.history().count(), steps + 1);
    } else {
        p.settle();
        p.typeSearch("kept");
        QCOMPARE(p.rows(), QStringList{"Kept"});
        QCOMPARE(p.window.history().count(), steps);
    }
}

// Filters narrow the list and one button clears them all; a new category is given to
// the selection, can be filtered by and renamed; a rescan asked for shows its progress.
void TestLibraryWindow::filtersAndCategories() {
    LibraryProgram p(folder());
    LibraryWindow& w = p.libraryWindow();
    QTest::keyClick(w.SearchBox, Qt::Key_Down);
    p.desktop.TextAnswers.push_back(QStringLiteral("Drones"));
    p.library().newCategory(w.selectedEntries());
    p.settle();
    w.CategoryFilter->setCurrentIndex(w.CategoryFilter->findText(QStringLiteral("Drones")));
    QCOMPARE(p.rows(), QStringList{"Bass 1"});
    w.FavouritesOnly->setChecked(true);
    p.typeSearch("zzz");
    QCOMPARE(p.rows(), QStringList{});
    QCOMPARE(w.CountLabel->text(), QStringLiteral("0 of 148 patches"));
    w.ClearFilters->click();
    QCOMPARE(p.rows().size(), 148);
    QCOMPARE(w.SearchBox->text(), QString());
    QVERIFY(!w.FavouritesOnly->isChecked());
    p.typeSearch("DRON");
    QCOMPARE(p.rows(), QStringList{"Bass 1"});

    // A renamed category is found by its new name, and kept.
    p.desktop.ItemAnswers.push_back(12); // after the twelve it starts with
    p.desktop.TextAnswers.push_back(QStringLiteral("Low Hums"));
    p.library().renameCategory();
    p.typeSearch("low hum");
    QCOMPARE(p.rows(), QStringList{"Bass 1"});
    QCOMPARE(w.model().index(0, LibraryModel::CategoriesColumn).data().toString(),
             QStringLiteral("Low Hums"));
    p.settle();
    p.library().mnu_RescanFolders->trigger();
    QVERIFY(p.library().progressLabel()->isVisible());
    QVERIFY(p.library().cancelButton()->isVisible());
    p.settle();
    QVERIFY(!p.library().progressLabel()->isVisible());
    QCOMPARE(p.window.Status->text(), QStringLiteral("Library: 2 files, 0 read, 0 patches, 0 new sounds"));
    QVERIFY(w.CategoryFilter->findText(QStringLiteral("Low Hums")) > 0);
}

// Add Current Bank keeps the bank's 74 patches with their names as a collection.
void TestLibraryWindow::addCurrentBank() {
    LibraryProgram p(folder());
    p.list().SetPatchName(3, QStringLiteral("Mine"));
    p.code.PatchBank(3, 8) = 63;
    p.code.PatchBank(3, 9) = 63;
    p.library().mnu_AddCurrentBank->trigger();
    p.settle();
    QVERIFY(p.window.Status->text().contains("74 patches added to the library as \"Untitled "));
    LibraryWindow& w = p.libraryWindow();
    QVERIFY(w.FolderFilter->findText("Collection: Untitled ", Qt::MatchStartsWith) > 0);
    p.typeSearch("mine");
    QCOMPARE(p.rows(), QStringList{"Mine"});
}

// Each copy of a sound is listed, the files that could not be read are in Problems, and
// Similar to selected sorts by likeness to the bank's selected patch.
void TestLibraryWindow::copiesProblemsAndLikeness() {
    writeRecords(folder() + "/zz.b01", {{75 + 39, QStringLiteral("Renamed")}});
    writeBytes(folder() + "/cut.bbk", "Name\r\nx\r\n");
    LibraryProgram p(folder());
    LibraryWindow& w = p.libraryWindow();
    p.typeSearch("renamed");
    QCOMPARE(p.rows(), QStringList{"Renamed"}); // the name the search found
    QTest::keyClick(w.SearchBox, Qt::Key_Down);
    QCOMPARE(w.CopiesList->topLevelItemCount(), 2);
    QCOMPARE(w.CopiesList->topLevelItem(1)->text(2), QStringLiteral("Renamed"));
    QCOMPARE(w.model().index(0, LibraryModel::CopiesColumn).data().toString(), QStringLiteral("2"));
    QCOMPARE(w.Views->tabText(1), QStringLiteral("Pro&blems (1)"));
    QCOMPARE(w.ProblemsTable->item(0, 1)->text(),
             QStringLiteral("record 1, line 3: the file ends before this line"));

    w.ClearFilters->click();
    const PatchValues near = sound(75 + 20);
    for (int parameter = kFirstParameter; parameter <= kLastParameter; ++parameter)
        p.code.PatchBank(5, parameter) = near[std::size_t(parameter)];
    p.list().selectPatchRow(5);
    w.SimilarButton->click();
    QCOMPARE(p.rows().mid(0, 3), (QStringList{"Bass 21", "Bass 20", "Bass 22"}));
}

void TestLibraryWindow::damagedLibraryIsSaidInTheStatusBar_data() {
    QTest::addColumn<bool>("startUp");
    QTest::newRow("opened by Show Library") << false;
    // Its own scan is on its way then, and is the one that reads the folders.
    QTest::newRow("opened at start-up") << true;
}

// A damaged library file is set aside, the library read again from the watched folders,
// and both said in one status-bar line.
void TestLibraryWindow::damagedLibraryIsSaidInTheStatusBar() {
    QFETCH(bool, startUp);
    writeBytes(LibraryDatabase::defaultPath(), "not a database");
    writeBytes(QFileInfo(LibraryDatabase::defaultPath()).absolutePath() + "/library-folders.txt",
               QFile::encodeName(folder()) + "\n");
    TestProgram p;
    p.start();
    if (startUp)
        p.window.library().openInBackground();
    else
        p.window.library().mnu_ShowLibrary->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(p.window.library().pendingJobs() == 0, 20000);
    const QString status = p.window.Status->text();
    QVERIFY2(status.startsWith("The library file was damaged: it was set aside as"), qPrintable(status));
    QVERIFY2(status.endsWith("from the watched folders: 2 files, 2 read, 148 patches, 148 new sounds"),
             qPrintable(status));
    QCOMPARE(int(p.window.library().catalogue()->Entries.size()), 148);
}

// A name written as UTF-8 by today's tools is shown and found as UTF-8 and goes into the
// bank with its bytes; a sound without a name comes last either way; the File column
// names the file first; a patch found by another copy's name shows that name, sorts by
// it, and goes into the bank with it.
void TestLibraryWindow::namesAsShownAndKept() {
    const QString utf8Bytes = QString::fromLatin1("\xC3\x89t\xC3\xA9 Lead"); // "Été Lead"
    writeRecords(folder() + "/ete.b01", {{300, utf8Bytes}});
    writeRecords(folder() + "/latin.b01", {{301, QString::fromLatin1("P\xE2"
                                                                     "d")}});
    writeRecords(folder() + "/blank.b01", {{302, QString()}});
    writeRecords(folder() + "/zz.b01", {{75 + 2, QStringLiteral("Lux")}});
    LibraryProgram p(folder());
    LibraryWindow& w = p.libraryWindow();
    QCOMPARE(p.rows().size(), 148 + 3);
    QCOMPARE(p.rows().front(), QStringLiteral("Bass 1"));
    QCOMPARE(p.rows().back(), QString());
    w.model().sort(LibraryModel::NameColumn, Qt::DescendingOrder);
    QCOMPARE(p.rows().back(), QString());
    QCOMPARE(p.rows().front(), QStringLiteral("Pad 9"));
    w.model().sort(LibraryModel::NameColumn, Qt::AscendingOrder);

    p.typeSearch("ete");
    QCOMPARE(p.rows(), QStringList{QString::fromUtf8("Été Lead")});
    QCOMPARE(w.model().index(0, LibraryModel::FileColumn).data().toString(),
             QString::fromUtf8("ete.b01 — ") + folder());
    p.list().selectPatchRow(10);
    QTest::keyClick(w.SearchBox, Qt::Key_Down);
    QTest::keyClick(&p.table(), Qt::Key_Return);
    QCOMPARE(p.list().PatchName(10), utf8Bytes);

    // "Bass 3" is "Lux" in zz.b01: found by that name, listed where it goes.
    p.typeSearch("l");
    QCOMPARE(p.rows(), (QStringList{QString::fromUtf8("Été Lead"), "Lux"}));
    QVERIFY(w.model().index(1, LibraryModel::FileColumn).data().toString().startsWith("zz.b01 — "));
    QTest::keyClick(w.SearchBox, Qt::Key_Down);
    QTest::keyClick(&p.table(), Qt::Key_Down);
    QTest::keyClick(&p.table(), Qt::Key_Return);
    QCOMPARE(p.list().PatchName(10), QStringLiteral("Lux"));
}

QTEST_MAIN(TestLibraryWindow)
#include "tst_librarywindow.moc"
