#include "EditorTesting.h"

#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

using namespace EditorTesting;

// Both editors as child windows: what becoming the active window sends, and the
// registry moving a patch from one kind of editor to the other.
class TestEditorSwitching : public QObject {
    Q_OBJECT
private slots:
    void activationSendsThePatch_data();
    void activationSendsThePatch();
    void switchingWindowsSendsEachPatchAgain_data();
    void switchingWindowsSendsEachPatchAgain();
    void otherKindReplacesTheOpenEditor_data();
    void otherKindReplacesTheOpenEditor();
    void reopenedEditorShowsTheBankAfresh_data();
    void reopenedEditorShowsTheBankAfresh();
    void editorTagsNameTheirPatch();
    void longNameStaysWhole_data();
    void longNameStaysWhole();
};

void TestEditorSwitching::activationSendsThePatch_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("autoUpdate");
    QTest::addColumn<int>("patch");
    QTest::addColumn<QList<int>>("sent");
    for (int kind : {int(Patch::NormalEditor), int(Patch::Bit01Editor)}) {
        const char* name = kind == Patch::NormalEditor ? "normal" : "table";
        // Row 0 is selected from the start.
        QTest::addRow("%s, row already selected", name) << kind << false << 1 << QList<int>{1};
        QTest::addRow("%s, row not selected", name) << kind << false << 9 << QList<int>{9, 9};
        QTest::addRow("%s, automatic update on", name) << kind << true << 9 << QList<int>{9, 9};
    }
}

void TestEditorSwitching::activationSendsThePatch() {
    QFETCH(int, kind);
    QFETCH(bool, autoUpdate);
    QFETCH(int, patch);
    QFETCH(QList<int>, sent);
    EditorWorld world;
    world.Code.AutoUpdate = autoUpdate ? kOn : kOff;
    markPatches(world.Code);
    world.openEditor(patch, kind);
    QCOMPARE(sentPatches(world), sent);
    QCOMPARE(world.PatchWindow->PatchList->currentRow(), patch - 1);
    // Each dump is followed by its Program Change.
    QCOMPARE(world.Midi.Messages.size(), size_t(2 * sent.size()));
}

void TestEditorSwitching::switchingWindowsSendsEachPatchAgain_data() {
    QTest::addColumn<int>("firstKind");
    QTest::addColumn<int>("secondKind");
    QTest::newRow("normal and normal") << int(Patch::NormalEditor) << int(Patch::NormalEditor);
    QTest::newRow("normal and table") << int(Patch::NormalEditor) << int(Patch::Bit01Editor);
    QTest::newRow("table and table") << int(Patch::Bit01Editor) << int(Patch::Bit01Editor);
}

void TestEditorSwitching::switchingWindowsSendsEachPatchAgain() {
    QFETCH(int, firstKind);
    QFETCH(int, secondKind);
    EditorWorld world;
    markPatches(world.Code);
    world.openEditor(4, firstKind);
    world.openEditor(7, secondKind);
    QMdiSubWindow* first = world.Mdi->subWindowList().at(1);
    QMdiSubWindow* second = world.Mdi->subWindowList().at(2);
    world.Midi.clear();
    world.Mdi->setActiveSubWindow(first);
    world.Mdi->setActiveSubWindow(second);
    world.Mdi->setActiveSubWindow(first);
    // Each switch moves the list's row (one send) and activates (another).
    QCOMPARE(sentPatches(world), (QList<int>{4, 4, 7, 7, 4, 4}));
}

void TestEditorSwitching::otherKindReplacesTheOpenEditor_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::newRow("normal to table") << int(Patch::NormalEditor) << int(Patch::Bit01Editor);
    QTest::newRow("table to normal") << int(Patch::Bit01Editor) << int(Patch::NormalEditor);
}

void TestEditorSwitching::otherKindReplacesTheOpenEditor() {
    QFETCH(int, from);
    QFETCH(int, to);
    EditorWorld world;
    world.openEditor(5, from);
    QCOMPARE(int(world.PatchWindow->editorKindOf(5)), from);
    world.openEditor(5, to);
    QCOMPARE(int(world.PatchWindow->editorKindOf(5)), to);
    // The patch list and the one editor now open.
    QTRY_COMPARE(world.Mdi->subWindowList().size(), 2);
    auto* active = qobject_cast<EditorWindow*>(world.Mdi->activeSubWindow()->widget());
    QVERIFY(active);
    QCOMPARE(active->tag(), QString("5"));
    QCOMPARE(bool(qobject_cast<Bit01Edit*>(active)), to == Patch::Bit01Editor);
}

void TestEditorSwitching::reopenedEditorShowsTheBankAfresh_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("normal") << int(Patch::NormalEditor);
    QTest::newRow("table") << int(Patch::Bit01Editor);
}

void TestEditorSwitching::reopenedEditorShowsTheBankAfresh() {
    QFETCH(int, kind);
    EditorWorld world;
    world.openEditor(6, kind);
    world.openEditor(6, kind == Patch::NormalEditor ? Patch::Bit01Editor : Patch::NormalEditor);
    world.Code.PatchBank(6, 19) = 27;
    world.openEditor(6, kind);
    if (kind == Patch::NormalEditor)
        QCOMPARE(world.PatchWindow->normalEditWindow(6)->Text[19]->text(), QString("27"));
    else
        QCOMPARE(world.PatchWindow->bit01EditWindow(6)->PT[19]->text(), QString("27"));
}

void TestEditorSwitching::editorTagsNameTheirPatch() {
    EditorWorld world;
    NormalEdit* normal = openNormal(world, 9);
    Bit01Edit* table = openBit01(world, 74);
    QCOMPARE(normal->tag(), QString("9"));
    QCOMPARE(table->tag(), QString("74"));
}

// A name has no length limit: an editor opened on a very long one shows it and leaves
// the list row, where names are kept and saved from, whole.
void TestEditorSwitching::longNameStaysWhole_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("normal") << int(Patch::NormalEditor);
    QTest::newRow("table") << int(Patch::Bit01Editor);
}

void TestEditorSwitching::longNameStaysWhole() {
    QFETCH(int, kind);
    EditorWorld world;
    const QString name = QString(40000, 'a') + "end";
    world.PatchWindow->SetPatchName(5, name);
    world.openEditor(5, kind);
    QCOMPARE(world.PatchWindow->PatchName(5), name);
    world.PatchWindow->SetPatchName(5, name + "!");
    QCOMPARE(world.PatchWindow->PatchName(5), name + "!");
}

QTEST_MAIN(TestEditorSwitching)
#include "tst_editorswitching.moc"
