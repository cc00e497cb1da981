#include "editors/Bit01Edit.h"
#include "editors/NormalEdit.h"
#include "editors/Patch.h"
#include "support/EditorWorld.h"

#include <QListWidget>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>

// The patch list: rows as the only store of names, a send for every change of the
// selected row, and the registry that opens, focuses and replaces editor windows.
class TestPatchList : public QObject {
    Q_OBJECT
private slots:
    void fillListsUnnamedRowsAndSendsPatchOne();
    void setPatchNameWritesTheRow_data();
    void setPatchNameWritesTheRow();
    void everySelectionChangeSendsThatPatch();
    void arrowKeysSendEachPatchPassedOver();
    void selectedRowStaysSelected_data();
    void selectedRowStaysSelected();
    void buttonsDoNothingWithoutSelection();
    void editorKindsReplaceEachOther();
    void sameKindAgainFocusesTheOpenWindow();
    void closedEditorIsLoadedAfreshWhenReopened();
    void onlyTheNormalEditorShowsTheBusyPointer();
    void listCannotBeClosed();

private:
    // The patch number in each dump sent, told apart by a value set per patch.
    static QList<int> sentPatches(const RecordingSink& midi);
    static void markPatches(QuenlorCode& code);
};

void TestPatchList::markPatches(QuenlorCode& code) {
    for (int n = 1; n <= 74; ++n)
        code.PatchBank(n, 8) = int16_t(n % 64); // parameter 8: its own byte at position 60
}

QList<int> TestPatchList::sentPatches(const RecordingSink& midi) {
    QList<int> patches;
    for (const auto& m : midi.Messages)
        if (m.size() == 80)
            patches << (m[65] | (m[66] << 4));
    return patches;
}

void TestPatchList::fillListsUnnamedRowsAndSendsPatchOne() {
    EditorWorld world;
    QListWidget* list = world.PatchWindow->PatchList;
    list->item(3)->setText("04 - Old name");
    world.PatchWindow->FillPatchList();
    QCOMPARE(list->count(), 74);
    QCOMPARE(list->item(0)->text(), QString("01 - "));
    QCOMPARE(list->item(8)->text(), QString("09 - "));
    QCOMPARE(list->item(9)->text(), QString("10 - "));
    QCOMPARE(list->item(73)->text(), QString("74 - "));
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(world.Midi.dumps(), 1);
    QCOMPARE(world.Midi.Messages.size(), size_t(2)); // the dump and Program Change 0
    QCOMPARE(world.Midi.Messages[1], (RecordingSink::Bytes{0xC0, 0x00}));
}

void TestPatchList::setPatchNameWritesTheRow_data() {
    QTest::addColumn<int>("patch");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("row");
    QTest::newRow("one digit") << 7 << "Bass" << "07 - Bass";
    QTest::newRow("empty name") << 12 << "" << "12 - ";
    QTest::newRow("leading and trailing blanks kept") << 20 << "  Pad " << "20 -   Pad ";
    QTest::newRow("last patch") << 74 << "Strings" << "74 - Strings";
}

void TestPatchList::setPatchNameWritesTheRow() {
    QFETCH(int, patch);
    QFETCH(QString, name);
    QFETCH(QString, row);
    EditorWorld world;
    world.PatchWindow->SetPatchName(patch, name);
    QCOMPARE(world.PatchWindow->PatchList->item(patch - 1)->text(), row);
    QCOMPARE(world.PatchWindow->PatchName(patch), name);
    // Patch 0 holds no row: nothing changes.
    world.PatchWindow->SetPatchName(0, "Nothing");
    QCOMPARE(world.PatchWindow->PatchList->item(patch - 1)->text(), row);
    QCOMPARE(world.Midi.Messages.size(), size_t(0));
}

void TestPatchList::everySelectionChangeSendsThatPatch() {
    EditorWorld world;
    markPatches(world.Code);
    world.Code.SelectedPatch = 33;
    QListWidget* list = world.PatchWindow->PatchList;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(4)).center());
    QCOMPARE(sentPatches(world.Midi), QList<int>{5});
    QCOMPARE(int(world.Code.SelectedPatch), 33); // a single click does not pick the editor's patch
    world.PatchWindow->selectPatchRow(40);
    QCOMPARE(sentPatches(world.Midi), (QList<int>{5, 40}));
}

void TestPatchList::arrowKeysSendEachPatchPassedOver() {
    EditorWorld world;
    markPatches(world.Code);
    QListWidget* list = world.PatchWindow->PatchList;
    list->setFocus();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Up);
    QCOMPARE(sentPatches(world.Midi), (QList<int>{2, 3, 4, 3}));
    QCOMPARE(world.Midi.Messages.size(), size_t(8));
}

// The user cannot empty the list: whatever is done to the selected row keeps it
// selected, and as it stays the current row nothing is sent.
void TestPatchList::selectedRowStaysSelected_data() {
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("byKey");
    QTest::newRow("click") << Qt::KeyboardModifiers() << false;
    QTest::newRow("Ctrl+click") << Qt::KeyboardModifiers(Qt::ControlModifier) << false;
    QTest::newRow("Ctrl+Space") << Qt::KeyboardModifiers(Qt::ControlModifier) << true;
    QTest::newRow("Space") << Qt::KeyboardModifiers() << true;
}

void TestPatchList::selectedRowStaysSelected() {
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, byKey);
    EditorWorld world;
    QListWidget* list = world.PatchWindow->PatchList;
    const QPoint row = list->visualItemRect(list->item(0)).center();
    list->setFocus();
    for (int twice = 0; twice < 2; ++twice) {
        if (byKey)
            QTest::keyClick(list, Qt::Key_Space, modifiers);
        else
            QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, row);
        QCOMPARE(world.PatchWindow->selectedRowPatch(), 1);
    }
    world.PatchWindow->selectPatchRow(1);
    QCOMPARE(world.Midi.Messages.size(), size_t(0));
    world.PatchWindow->Bit01EditButton->click();
    QCOMPARE(int(world.PatchWindow->editorKindOf(1)), int(Patch::Bit01Editor));
}

void TestPatchList::buttonsDoNothingWithoutSelection() {
    EditorWorld world;
    world.PatchWindow->PatchList->setCurrentRow(-1);
    world.PatchWindow->NormalEditButton->click();
    world.PatchWindow->Bit01EditButton->click();
    QCOMPARE(world.Mdi->subWindowList().size(), 1);
    for (int n = 0; n <= 74; ++n)
        QCOMPARE(int(world.PatchWindow->editorKindOf(n)), 0);
    QCOMPARE(world.Desk.BusyPointers, 0);
}

void TestPatchList::editorKindsReplaceEachOther() {
    EditorWorld world;
    Patch& list = *world.PatchWindow;
    world.openEditor(5, Patch::NormalEditor);
    QCOMPARE(int(list.editorKindOf(5)), int(Patch::NormalEditor));
    QPointer<NormalEdit> normal = list.normalEditWindow(5);
    QVERIFY(normal);
    world.openEditor(5, Patch::Bit01Editor);
    QCOMPARE(int(list.editorKindOf(5)), int(Patch::Bit01Editor));
    QVERIFY(!normal || normal->isClosed());
    QVERIFY(list.bit01EditWindow(5));
    QCOMPARE(world.Mdi->currentSubWindow(), list.bit01EditWindow(5)->subWindow());
    // Editors of other patches stay open beside it, of either kind.
    world.openEditor(6, Patch::NormalEditor);
    QCOMPARE(int(list.editorKindOf(5)), int(Patch::Bit01Editor));
    QCOMPARE(int(list.editorKindOf(6)), int(Patch::NormalEditor));
}

void TestPatchList::sameKindAgainFocusesTheOpenWindow() {
    EditorWorld world;
    Patch& list = *world.PatchWindow;
    world.openEditor(9, Patch::Bit01Editor);
    world.openEditor(10, Patch::Bit01Editor);
    const int windows = world.Mdi->subWindowList().size();
    Bit01Edit* first = list.bit01EditWindow(9);
    world.openEditor(9, Patch::Bit01Editor);
    QCOMPARE(world.Mdi->subWindowList().size(), windows);
    QCOMPARE(list.bit01EditWindow(9), first);
    QCOMPARE(world.Mdi->currentSubWindow(), first->subWindow());
}

void TestPatchList::closedEditorIsLoadedAfreshWhenReopened() {
    EditorWorld world;
    Patch& list = *world.PatchWindow;
    world.openEditor(3, Patch::NormalEditor);
    list.normalEditWindow(3)->closeEditor();
    QCOMPARE(int(list.editorKindOf(3)), 0);
    // Reopening before the closed window is gone still shows a fresh, loaded window.
    world.openEditor(3, Patch::NormalEditor);
    QCOMPARE(int(list.editorKindOf(3)), int(Patch::NormalEditor));
    QVERIFY(!list.normalEditWindow(3)->isClosed());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(list.normalEditWindow(3));
    QCOMPARE(list.normalEditWindow(3)->tag(), QString("3"));
}

void TestPatchList::onlyTheNormalEditorShowsTheBusyPointer() {
    EditorWorld world;
    Patch& list = *world.PatchWindow;
    list.selectPatchRow(4);
    list.Bit01EditButton->click();
    QCOMPARE(world.Desk.BusyPointers, 0);
    QCOMPARE(int(world.Code.SelectedPatch), 4);
    list.selectPatchRow(8);
    list.NormalEditButton->click();
    QCOMPARE(world.Desk.BusyPointers, 1);
    QCOMPARE(world.Desk.NormalPointers, 1);
    QVERIFY(!world.Desk.Busy);
    QCOMPARE(int(world.Code.SelectedPatch), 8);
    QCOMPARE(int(list.editorKindOf(8)), int(Patch::NormalEditor));
}

void TestPatchList::listCannotBeClosed() {
    EditorWorld world;
    world.PatchFrame->close();
    QVERIFY(world.PatchWindow->isVisible());
    QCOMPARE(world.PatchWindow->PatchList->count(), 74);
}

QTEST_MAIN(TestPatchList)
#include "tst_patchlist.moc"
