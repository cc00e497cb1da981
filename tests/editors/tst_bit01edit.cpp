#include "EditorTesting.h"
#include "editors/Twips.h"

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace EditorTesting;

// The parameter-table editor: the grid, the boxes' number rule, clamping and switch
// groups, the key handling, the refill from the bank and what it sends.
class TestBit01Edit : public QObject {
    Q_OBJECT
private slots:
    void gridIsBuiltColumnFirst_data();
    void gridIsBuiltColumnFirst();
    void boxesShowTheBankWhenOpened();
    void focusStartsOnBoxOne();
    void firstBoxTextIsSelected_data();
    void firstBoxTextIsSelected();

    void boxTextIsClampedAndStored_data();
    void boxTextIsClampedAndStored();
    void typedEntryStoresAndSends_data();
    void typedEntryStoresAndSends();
    void keysAfterNineBeepAndEnterIsSilent_data();
    void keysAfterNineBeepAndEnterIsSilent();
    void inputMethodTextFollowsTheKeyRule_data();
    void inputMethodTextFollowsTheKeyRule();
    void pasteIsNotFiltered();

    void switchGroupsStayConsistent_data();
    void switchGroupsStayConsistent();

    void refreshShowsTheBankAndSendsNothing();
    void gettingTheFocusRefillsSilently();
    void renamingWritesRowAndCaptionAndSendsNothing_data();
    void renamingWritesRowAndCaptionAndSendsNothing();
    void pastedLineBreaksBecomeBlanks();
    void sendButtonSendsThePatch();
    void closeClearsTheRegistry();
};

// --- the grid ------------------------------------------------------------------------

void TestBit01Edit::gridIsBuiltColumnFirst_data() {
    QTest::addColumn<int>("box");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::newRow("1") << 1 << 480 << 240;
    QTest::newRow("11, last of the first column") << 11 << 480 << 4240;
    QTest::newRow("12, top of the second column") << 12 << 1480 << 240;
    QTest::newRow("33") << 33 << 2480 << 4240;
    QTest::newRow("56, top of the sixth column") << 56 << 5480 << 240;
    QTest::newRow("63, the last") << 63 << 5480 << 3040;
}

void TestBit01Edit::gridIsBuiltColumnFirst() {
    QFETCH(int, box);
    QFETCH(int, left);
    QFETCH(int, top);
    EditorWorld world;
    Bit01Edit* editor = openBit01(world, 1);
    QCOMPARE(editor->findChildren<QLineEdit*>("PT").size(), 63);
    QCOMPARE(editor->PT[box]->parentWidget(), static_cast<QWidget*>(editor->Bit01EditFrame));
    QCOMPARE(editor->PT[box]->geometry(), twipRect(left, top, 492, 288));
    QCOMPARE(editor->PL[box]->geometry(), twipRect(left - 430, top + 40, 372, 252));
    QCOMPARE(editor->PL[box]->text(), QString::number(box));
    QVERIFY(editor->PT[box]->isVisible());
    // Copies of box 1: the same font and colours.
    QCOMPARE(editor->PT[box]->font(), editor->PT[1]->font());
    QCOMPARE(editor->PT[box]->palette().color(QPalette::Base), QColor(Qt::white));
    // The box stands inside the frame, in full.
    QVERIFY(editor->Bit01EditFrame->rect().contains(editor->PT[box]->geometry()));
}

void TestBit01Edit::boxesShowTheBankWhenOpened() {
    EditorWorld world;
    world.Code.AutoUpdate = kOn;
    for (int k = 1; k <= 63; ++k)
        world.Code.PatchBank(17, k) = int16_t(k - 20); // negatives too: shown as they are
    Bit01Edit* editor = openBit01(world, 17);
    for (int k = 1; k <= 63; ++k)
        QCOMPARE(editor->PT[k]->text(), QString::number(k - 20));
    // Showing the values changes nothing: only the activation sent.
    QCOMPARE(world.Midi.dumps(), 2);
    QCOMPARE(int(world.Code.PatchBank(17, 1)), -19);
    QCOMPARE(editor->windowTitle(), QString("17 - "));
}

void TestBit01Edit::focusStartsOnBoxOne() {
    EditorWorld world;
    Bit01Edit* editor = openBit01(world, 1);
    QVERIFY(QTest::qWaitForWindowActive(world.Mdi.get()));
    QCOMPARE(editor->focusWidget(), static_cast<QWidget*>(editor->PT[1]));
    // Tab moves through the boxes by number, then to the name and the button.
    QList<QWidget*> expected;
    for (int k = 1; k <= 63; ++k)
        expected << editor->PT[k];
    expected << editor->NameText << editor->SendButton << editor->PT[1];
    QCOMPARE(tabOrder(editor->PT[1], 66), expected);
}

void TestBit01Edit::firstBoxTextIsSelected_data() {
    QTest::addColumn<int>("value"); // of parameter 1 as the editor opens
    QTest::addColumn<int>("readIn"); // read in from a file while it is open; -1 none
    QTest::addColumn<QString>("typed");
    QTest::newRow("1, 0 typed") << 1 << -1 << "0";
    QTest::newRow("0, 1 typed") << 0 << -1 << "1";
    QTest::newRow("0, 1 read in, 0 typed") << 0 << 1 << "0";
}

// Opened from the patch list of an active main window, as the user opens it, box 1
// has its text selected, as Tab selects it: a digit typed replaces the value.
void TestBit01Edit::firstBoxTextIsSelected() {
    QFETCH(int, value);
    QFETCH(int, readIn);
    QFETCH(QString, typed);
    EditorWorld world;
    world.Code.PatchBank(1, 1) = int16_t(value);
    QVERIFY(QTest::qWaitForWindowActive(world.Mdi.get()));
    Bit01Edit* editor = openBit01(world, 1);
    QVERIFY(editor->PT[1]->hasFocus());
    if (readIn >= 0) {
        world.Code.PatchBank(1, 1) = int16_t(readIn);
        refreshEditor(world, 1);
    }
    QCOMPARE(editor->PT[1]->selectedText(), QString::number(readIn >= 0 ? readIn : value));
    QTest::keyClicks(editor->PT[1], typed);
    QCOMPARE(editor->PT[1]->text(), typed);
    QCOMPARE(QString::number(world.Code.PatchBank(1, 1)), typed);
}

// --- value entry ---------------------------------------------------------------------

void TestBit01Edit::boxTextIsClampedAndStored_data() {
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("sends");

    // A text the box keeps is handled once; one it rewrites is handled twice.
    QTest::newRow("99 in Freq") << 31 << "99" << 11 << "11" << 2;
    QTest::newRow("007 pasted") << 8 << "007" << 7 << "7" << 2;
    QTest::newRow("plain 7") << 8 << "7" << 7 << "7" << 1;
    QTest::newRow("emptied") << 8 << "" << 0 << "0" << 2;
    QTest::newRow("lone minus") << 8 << "-" << 0 << "0" << 2;
    QTest::newRow("-5") << 13 << "-5" << 0 << "0" << 2;
    QTest::newRow("2.5 kept as typed, stored as 2") << 13 << "2.5" << 2 << "2.5" << 1;
    QTest::newRow("3.5 stored as 4") << 13 << "3.5" << 4 << "3.5" << 1;
    QTest::newRow("63.4 stored as 63") << 13 << "63.4" << 63 << "63" << 2;
    QTest::newRow("blanks skipped") << 14 << " 1 2" << 12 << "12" << 2;
    QTest::newRow("hexadecimal") << 14 << "&H1F" << 31 << "31" << 2;
    QTest::newRow("exponent") << 14 << "1E1" << 10 << "10" << 2;
    QTest::newRow("huge") << 14 << "1E400" << 63 << "63" << 2;
    QTest::newRow("tiny written back with E") << 14 << "0.00001" << 0 << "1E-05" << 2;
    QTest::newRow("tiny kept with E") << 14 << "1E-05" << 0 << "1E-05" << 1;
    QTest::newRow("letters") << 14 << "abc" << 0 << "0" << 2;
    QTest::newRow("PW top") << 43 << "30" << 30 << "30" << 1;
    QTest::newRow("PW above top") << 43 << "31" << 30 << "30" << 2;
    QTest::newRow("flag 2") << 23 << "2" << 1 << "1" << 2;
}

void TestBit01Edit::boxTextIsClampedAndStored() {
    QFETCH(int, box);
    QFETCH(QString, text);
    QFETCH(int, stored);
    QFETCH(QString, shown);
    QFETCH(int, sends);
    EditorWorld world;
    world.Code.AutoUpdate = kOn;
    world.Code.PatchBank(40, box) = 5;
    Bit01Edit* editor = openBit01(world, 40);
    world.Midi.clear();
    editor->PT[box]->setText(text);
    QCOMPARE(int(world.Code.PatchBank(40, box)), stored);
    QCOMPARE(editor->PT[box]->text(), shown);
    QCOMPARE(world.Midi.dumps(), sends);
    QCOMPARE(int(editor->Updating), 0);
}

void TestBit01Edit::typedEntryStoresAndSends_data() {
    QTest::addColumn<bool>("autoUpdate");
    QTest::addColumn<int>("sends");
    QTest::newRow("automatic update on") << true << 2;
    QTest::newRow("automatic update off") << false << 0;
}

void TestBit01Edit::typedEntryStoresAndSends() {
    QFETCH(bool, autoUpdate);
    QFETCH(int, sends);
    EditorWorld world;
    world.Code.AutoUpdate = autoUpdate ? kOn : kOff;
    Bit01Edit* editor = openBit01(world, 1);
    world.Midi.clear();
    // "4" replaces the selected "0", then "2" makes "42": two changes, each sent.
    typeInto(editor->PT[20], "42");
    QCOMPARE(int(world.Code.PatchBank(1, 20)), 42);
    QCOMPARE(editor->PT[20]->text(), QString("42"));
    QCOMPARE(world.Midi.dumps(), sends);
    QCOMPARE(world.Desk.Beeps, 0);
}

// Text committed by an input method or a dead key is held to the rule of typed keys.
void TestBit01Edit::inputMethodTextFollowsTheKeyRule_data() { inputMethodRows(); }

void TestBit01Edit::inputMethodTextFollowsTheKeyRule() {
    EditorWorld world;
    checkInputMethodCommit(world, openBit01(world, 2)->PT[12]);
}

void TestBit01Edit::keysAfterNineBeepAndEnterIsSilent_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("beeps");
    QTest::newRow("letter") << int(Qt::Key_A) << "a" << 1;
    QTest::newRow("colon") << int(Qt::Key_Colon) << ":" << 1;
    QTest::newRow("Enter") << int(Qt::Key_Return) << "\r" << 0;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << "\r" << 0;
}

void TestBit01Edit::keysAfterNineBeepAndEnterIsSilent() {
    QFETCH(int, key);
    QFETCH(QString, text);
    QFETCH(int, beeps);
    EditorWorld world;
    world.Code.AutoUpdate = kOn;
    world.Code.PatchBank(3, 12) = 33;
    Bit01Edit* editor = openBit01(world, 3);
    world.Midi.clear();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(editor->PT[12], &press);
    QCOMPARE(editor->PT[12]->text(), QString("33"));
    QCOMPARE(int(world.Code.PatchBank(3, 12)), 33);
    QCOMPARE(world.Desk.Beeps, beeps);
    QCOMPARE(world.Desk.BeepedAt, QList<const QWidget*>(beeps, editor->PT[12]));
    QCOMPARE(world.Midi.dumps(), 0);
}

void TestBit01Edit::pasteIsNotFiltered() {
    EditorWorld world;
    Bit01Edit* editor = openBit01(world, 2);
    QApplication::clipboard()->setText("007");
    typeInto(editor->PT[8], QString());
    QTest::keyClick(editor->PT[8], Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(world.Desk.Beeps, 0);
    QCOMPARE(int(world.Code.PatchBank(2, 8)), 7);
    QCOMPARE(editor->PT[8]->text(), QString("7"));
}

// --- switch groups ------------------------------------------------------------------------

void TestBit01Edit::switchGroupsStayConsistent_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<QList<int>>("before");
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QList<int>>("after");

    QTest::newRow("1 into box 2 while box 1 is on")
        << 1 << QList<int>{1, 0, 0} << 2 << "1" << QList<int>{0, 1, 0};
    QTest::newRow("0 into the only wave on")
        << 1 << QList<int>{1, 0, 0} << 1 << "0" << QList<int>{0, 0, 0};
    QTest::newRow("0 into the only octave on")
        << 24 << QList<int>{1, 0, 0, 0} << 24 << "0" << QList<int>{1, 0, 0, 0};
    QTest::newRow("1 into 8' of DCO2")
        << 35 << QList<int>{1, 0, 0, 0} << 37 << "1" << QList<int>{0, 0, 1, 0};
    QTest::newRow("9 into a wave member")
        << 53 << QList<int>{0, 0, 1} << 53 << "9" << QList<int>{1, 0, 0};
    QTest::newRow("into an empty octave group")
        << 24 << QList<int>{0, 0, 0, 0} << 26 << "5" << QList<int>{0, 0, 1, 0};
}

void TestBit01Edit::switchGroupsStayConsistent() {
    QFETCH(int, first);
    QFETCH(QList<int>, before);
    QFETCH(int, box);
    QFETCH(QString, typed);
    QFETCH(QList<int>, after);
    EditorWorld world;
    for (int m = 0; m < before.size(); ++m)
        world.Code.PatchBank(9, first + m) = int16_t(before[m]);
    Bit01Edit* editor = openBit01(world, 9);
    typeInto(editor->PT[box], typed);
    for (int m = 0; m < after.size(); ++m) {
        QCOMPARE(int(world.Code.PatchBank(9, first + m)), after[m]);
        QCOMPARE(editor->PT[first + m]->text(), QString::number(after[m]));
    }
}

// --- refill, name and sends -----------------------------------------------------------------

void TestBit01Edit::refreshShowsTheBankAndSendsNothing() {
    EditorWorld world;
    world.Code.AutoUpdate = kOn;
    Bit01Edit* editor = openBit01(world, 1);
    world.Midi.clear();
    world.Code.PatchBank(1, 31) = 20; // out of range, as a hand-made file may hold
    world.Code.PatchBank(1, 24) = 0;
    world.Code.PatchBank(1, 62) = 61;
    refreshEditor(world, 1);
    QCOMPARE(editor->PT[31]->text(), QString("20"));
    QCOMPARE(editor->PT[24]->text(), QString("0"));
    QCOMPARE(editor->PT[62]->text(), QString("61"));
    // The refill corrects nothing and sends nothing.
    QCOMPARE(int(world.Code.PatchBank(1, 31)), 20);
    QCOMPARE(world.Midi.dumps(), 0);
    QCOMPARE(int(world.Code.EditorReady), int(kOn));
}

void TestBit01Edit::gettingTheFocusRefillsSilently() {
    EditorWorld world;
    world.Code.AutoUpdate = kOn;
    Bit01Edit* a = openBit01(world, 1);
    openBit01(world, 2);
    world.Code.PatchBank(1, 50) = 44;
    world.Midi.clear();
    a->focusEditor();
    QCOMPARE(a->PT[50]->text(), QString("44"));
    // Once through the list's row, once by the activation; the refill sends nothing.
    QCOMPARE(sentPatches(world), (QList<int>{1, 1}));
}

void TestBit01Edit::renamingWritesRowAndCaptionAndSendsNothing_data() {
    QTest::addColumn<int>("patch");
    QTest::addColumn<QString>("row");
    QTest::newRow("3") << 3 << "03 - Organ";
    QTest::newRow("10") << 10 << "10 - Organ";
}

void TestBit01Edit::renamingWritesRowAndCaptionAndSendsNothing() {
    QFETCH(int, patch);
    QFETCH(QString, row);
    EditorWorld world;
    world.Code.AutoUpdate = kOn;
    Bit01Edit before(*world.Context);
    QCOMPARE(before.windowTitle(), QString("Bit-01 Edit"));
    Bit01Edit* editor = openBit01(world, patch);
    world.Midi.clear();
    typeInto(editor->NameText, "Organ");
    QCOMPARE(editor->windowTitle(), row);
    QCOMPARE(world.PatchWindow->PatchList->item(patch - 1)->text(), row);
    QCOMPARE(world.Midi.dumps(), 0);
    world.PatchWindow->SetPatchName(patch, "Brass");
    QCOMPARE(editor->NameText->text(), QString("Brass"));
    QCOMPARE(editor->windowTitle(), row.left(5) + "Brass");
    QCOMPARE(world.Midi.dumps(), 0);
}

void TestBit01Edit::pastedLineBreaksBecomeBlanks() {
    EditorWorld world;
    Bit01Edit* editor = openBit01(world, 6);
    editor->NameText->setText("ab");
    editor->NameText->setCursorPosition(1);
    QApplication::clipboard()->setText("\n\r");
    editor->NameText->paste();
    QCOMPARE(editor->NameText->text(), QString("a  b"));
    QCOMPARE(editor->NameText->cursorPosition(), 3);
    QCOMPARE(world.PatchWindow->PatchName(6), QString("a  b"));
}

void TestBit01Edit::sendButtonSendsThePatch() {
    EditorWorld world;
    world.Code.AutoUpdate = kOff;
    markPatches(world.Code);
    Bit01Edit* editor = openBit01(world, 21);
    world.Midi.clear();
    QTest::mouseClick(editor->SendButton, Qt::LeftButton);
    QCOMPARE(sentPatches(world), QList<int>{21});
}

void TestBit01Edit::closeClearsTheRegistry() {
    EditorWorld world;
    Bit01Edit* editor = openBit01(world, 33);
    QCOMPARE(int(world.PatchWindow->editorKindOf(33)), int(Patch::Bit01Editor));
    QPointer<Bit01Edit> watch(editor);
    editor->closeEditor();
    QCOMPARE(int(world.PatchWindow->editorKindOf(33)), int(Patch::NoEditor));
    QTRY_VERIFY(watch.isNull());
}

QTEST_MAIN(TestBit01Edit)
#include "tst_bit01edit.moc"
