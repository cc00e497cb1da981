#include "EditorTesting.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

using namespace EditorTesting;

// The grouped editor: value boxes committing into sliders, sliders, check boxes and
// lists storing into the bank, the fill from the bank, the name box and the sends.
class TestNormalEdit : public QObject {
    Q_OBJECT
private slots:
    void valueBoxCommitsClampedNumber_data();
    void valueBoxCommitsClampedNumber();
    void valueBoxRefusesCharactersAfterNine_data();
    void valueBoxRefusesCharactersAfterNine();
    void inputMethodTextFollowsTheKeyRule_data();
    void inputMethodTextFollowsTheKeyRule();
    void commitWithEnterThenLeavingSendsOnce();
    void pastedValueIsReadAtCommit();
    void valueBoxOnWindowWithoutPatchStoresNothing();

    void sliderChangeStoresAndSendsOnce_data();
    void sliderChangeStoresAndSendsOnce();
    void thumbDragReportsOneChangeWhenItEnds();
    void loadSendsNothingButTheActivation();

    void waveGroupFill_data();
    void waveGroupFill();
    void octaveGroupFill_data();
    void octaveGroupFill();
    void listChoicesStoreOneMember_data();
    void listChoicesStoreOneMember();
    void flagFill_data();
    void flagFill();
    void flagClickStoresZeroOrOne();
    void sliderFillClampsAndStoresBack_data();
    void sliderFillClampsAndStoresBack();

    void captionAndNameAtLoad_data();
    void captionAndNameAtLoad();
    void renamingWritesRowAndCaptionAndSendsNothing_data();
    void renamingWritesRowAndCaptionAndSendsNothing();
    void pastedLineBreaksBecomeBlanks();
    void setPatchNameRenewsCaptionAndNameBox();
    void nameBoxHasTheFocusWithItsTextSelected();
    void sendButtonSendsEvenWithoutAutomaticUpdate();

    void refreshSendsOncePerChangedControl_data();
    void refreshSendsOncePerChangedControl();
    void repaintWithoutRefreshChangesNothing();
    void closeClearsTheRegistry();
};

// --- value boxes ---------------------------------------------------------------------

void TestNormalEdit::valueBoxCommitsClampedNumber_data() {
    QTest::addColumn<int>("parameter");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("byEnter");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("shown");

    QTest::newRow("99 in 0..63") << 8 << "99" << true << 63 << "63";
    QTest::newRow("12 in Freq") << 31 << "12" << true << 11 << "11";
    QTest::newRow("31 in PW") << 32 << "31" << true << 30 << "30";
    QTest::newRow("emptied by Enter") << 9 << "\b" << true << 0 << "0";
    QTest::newRow("emptied by leaving") << 9 << "\b" << false << 0 << "0";
    QTest::newRow("-5") << 13 << "-5" << true << 0 << "0";
    QTest::newRow(".5 rounds to even 0") << 13 << ".5" << true << 0 << "0";
    QTest::newRow("9.") << 46 << "9." << true << 9 << "9";
    QTest::newRow("lone minus") << 46 << "-" << true << 0 << "0";
    QTest::newRow("63 is the top") << 63 << "63" << false << 63 << "63";
    QTest::newRow("0 by leaving") << 42 << "0" << false << 0 << "0";
}

void TestNormalEdit::valueBoxCommitsClampedNumber() {
    QFETCH(int, parameter);
    QFETCH(QString, typed);
    QFETCH(bool, byEnter);
    QFETCH(int, stored);
    QFETCH(QString, shown);

    EditorWorld world;
    world.Code.PatchBank(4, parameter) = 5;
    world.Code.AutoUpdate = kOn;
    NormalEdit* editor = openNormal(world, 4);
    QCOMPARE(editor->Text[parameter]->text(), QString("5"));
    world.Midi.clear();

    typeInto(editor->Text[parameter], typed);
    if (byEnter)
        QTest::keyClick(editor->Text[parameter], Qt::Key_Return);
    else
        editor->SendButton->setFocus(Qt::TabFocusReason);

    QCOMPARE(int(world.Code.PatchBank(4, parameter)), stored);
    QCOMPARE(editor->Slider[parameter]->value(), stored);
    QCOMPARE(editor->Text[parameter]->text(), shown);
    // The commit sent the patch once, through the slider's change.
    QCOMPARE(world.Midi.dumps(), 1);
    QCOMPARE(world.Desk.Beeps, 0);
}

// Text committed by an input method or a dead key is held to the rule of typed keys.
void TestNormalEdit::inputMethodTextFollowsTheKeyRule_data() { inputMethodRows(); }

void TestNormalEdit::inputMethodTextFollowsTheKeyRule() {
    EditorWorld world;
    checkInputMethodCommit(world, openNormal(world, 2)->Text[10]);
}

void TestNormalEdit::valueBoxRefusesCharactersAfterNine_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("beeps");

    QTest::newRow("letter") << "a"
                            << "0" << 1;
    QTest::newRow("colon, code 58") << ":"
                                    << "0" << 1;
    QTest::newRow("backspace passes") << "\b"
                                      << "" << 0;
    QTest::newRow("digit then letters") << "4xy"
                                        << "4" << 2;
    QTest::newRow("minus") << "-"
                           << "-" << 0;
    QTest::newRow("point") << "."
                           << "." << 0;
    QTest::newRow("slash, code 47") << "/"
                                    << "/" << 0;
    QTest::newRow("third digit refused silently") << "123"
                                                  << "12" << 0;
}

void TestNormalEdit::valueBoxRefusesCharactersAfterNine() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, beeps);

    EditorWorld world;
    world.Code.AutoUpdate = kOn;
    NormalEdit* editor = openNormal(world, 2);
    world.Midi.clear();
    typeInto(editor->Text[10], typed);
    QCOMPARE(editor->Text[10]->text(), shown);
    QCOMPARE(world.Desk.Beeps, beeps);
    QCOMPARE(world.Desk.BeepedAt, QList<const QWidget*>(beeps, editor->Text[10]));
    // Typing alone commits nothing.
    QCOMPARE(int(world.Code.PatchBank(2, 10)), 0);
    QCOMPARE(world.Midi.dumps(), 0);
}

void TestNormalEdit::commitWithEnterThenLeavingSendsOnce() {
    EditorWorld world;
    world.Code.AutoUpdate = kOn;
    NormalEdit* editor = openNormal(world, 1);
    world.Midi.clear();
    typeInto(editor->Text[19], "40");
    QTest::keyClick(editor->Text[19], Qt::Key_Return);
    QCOMPARE(world.Desk.Beeps, 0);
    QCOMPARE(world.Midi.dumps(), 1);
    editor->Text[20]->setFocus(Qt::TabFocusReason);
    QCOMPARE(int(world.Code.PatchBank(1, 19)), 40);
    QCOMPARE(world.Midi.dumps(), 1);
    // Enter in a box that holds the slider's value again commits nothing.
    QTest::keyClick(editor->Text[19], Qt::Key_Return);
    QCOMPARE(world.Midi.dumps(), 1);
}

void TestNormalEdit::pastedValueIsReadAtCommit() {
    EditorWorld world;
    NormalEdit* editor = openNormal(world, 1);
    QApplication::clipboard()->setText("7x9");
    typeInto(editor->Text[34], QString());
    QTest::keyClick(editor->Text[34], Qt::Key_V, Qt::ControlModifier);
    // Pasted text is not filtered, only cut to the box's two characters.
    QCOMPARE(editor->Text[34]->text(), QString("7x"));
    QCOMPARE(world.Desk.Beeps, 0);
    QTest::keyClick(editor->Text[34], Qt::Key_Return);
    QCOMPARE(int(world.Code.PatchBank(1, 34)), 7);
    QCOMPARE(editor->Text[34]->text(), QString("7"));
}

void TestNormalEdit::valueBoxOnWindowWithoutPatchStoresNothing() {
    EditorWorld world;
    world.Code.AutoUpdate = kOn;
    // Never loaded: the window has no patch, so its actions do nothing.
    NormalEdit editor(*world.Context);
    const Bank before = world.Code.PatchBank;
    editor.Text[8]->setText("30");
    int key = '\r';
    editor.Text_KeyPress(8, key);
    QCOMPARE(key, 0);
    QCOMPARE(editor.Slider[8]->value(), 30); // the slider moves all the same
    QCOMPARE(editor.Text[8]->text(), QString("30"));
    editor.Flag[4]->setChecked(true);
    editor.SendButton->click();
    QVERIFY(world.Code.PatchBank == before);
    QCOMPARE(world.Midi.dumps(), 0);
}

// --- sliders ---------------------------------------------------------------------------

void TestNormalEdit::sliderChangeStoresAndSendsOnce_data() {
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("expected");
    QTest::newRow("arrow right") << int(QAbstractSlider::SliderSingleStepAdd) << 21;
    QTest::newRow("arrow left") << int(QAbstractSlider::SliderSingleStepSub) << 19;
    QTest::newRow("trough right") << int(QAbstractSlider::SliderPageStepAdd) << 30;
    QTest::newRow("trough left") << int(QAbstractSlider::SliderPageStepSub) << 10;
    QTest::newRow("end") << int(QAbstractSlider::SliderToMaximum) << 63;
}

void TestNormalEdit::sliderChangeStoresAndSendsOnce() {
    QFETCH(int, action);
    QFETCH(int, expected);
    EditorWorld world;
    world.Code.AutoUpdate = kOn;
    world.Code.PatchBank(6, 21) = 20;
    NormalEdit* editor = openNormal(world, 6);
    world.Midi.clear();
    editor->Slider[21]->triggerAction(QAbstractSlider::SliderAction(action));
    QCOMPARE(int(world.Code.PatchBank(6, 21)), expected);
    QCOMPARE(editor->Text[21]->text(), QString::number(expected));
    QCOMPARE(dumps(world.Midi), QList<RecordingSink::Bytes>{dumpOf(world.Code, 6)});
    QCOMPARE(world.Midi.Messages.size(), size_t(2)); // the dump, then Program Change 0
    QCOMPARE(world.Midi.Messages.back(), (RecordingSink::Bytes{0xC0, 0}));

    // Without automatic update the value is stored all the same, and nothing is sent.
    world.Code.AutoUpdate = kOff;
    editor->Slider[21]->setValue(3);
    QCOMPARE(int(world.Code.PatchBank(6, 21)), 3);
    QCOMPARE(world.Midi.dumps(), 1);
}

void TestNormalEdit::thumbDragReportsOneChangeWhenItEnds() {
    EditorWorld world;
    world.Code.AutoUpdate = kOn;
    NormalEdit* editor = openNormal(world, 3);
    world.Midi.clear();
    QScrollBar* slider = editor->Slider[48];
    slider->setSliderDown(true);
    for (int position = 1; position <= 40; ++position)
        slider->setSliderPosition(position);
    QCOMPARE(int(world.Code.PatchBank(3, 48)), 0);
    QCOMPARE(world.Midi.dumps(), 0);
    slider->setSliderDown(false);
    QCOMPARE(int(world.Code.PatchBank(3, 48)), 40);
    QCOMPARE(editor->Text[48]->text(), QString("40"));
    QCOMPARE(world.Midi.dumps(), 1);
}

void TestNormalEdit::loadSendsNothingButTheActivation() {
    EditorWorld world;
    world.Code.AutoUpdate = kOn;
    // Values that make nearly every control change during the fill.
    for (int p = 1; p <= 63; ++p)
        world.Code.PatchBank(1, p) = world.Code.ParameterTable.MaxValue(p);
    openNormal(world, 1);
    QCOMPARE(world.Midi.dumps(), 1);
    QCOMPARE(int(world.Code.EditorReady), int(kOn));
}

// --- the fill ------------------------------------------------------------------------

void TestNormalEdit::waveGroupFill_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QList<int>>("stored");

    QTest::newRow("none at 1") << 1 << QList<int>{0, 0, 0} << "None" << QList<int>{0, 0, 0};
    QTest::newRow("triangle") << 1 << QList<int>{1, 0, 0} << "Triangle" << QList<int>{1, 0, 0};
    QTest::newRow("pulse wins over both")
        << 1 << QList<int>{1, 1, 1} << "Pulse" << QList<int>{0, 0, 1};
    QTest::newRow("sawtooth wins over triangle")
        << 53 << QList<int>{1, 1, 0} << "Sawtooth" << QList<int>{0, 1, 0};
    QTest::newRow("2 is not on") << 53 << QList<int>{2, 0, 0} << "None" << QList<int>{0, 0, 0};
}

void TestNormalEdit::waveGroupFill() {
    QFETCH(int, first);
    QFETCH(QList<int>, values);
    QFETCH(QString, shown);
    QFETCH(QList<int>, stored);
    EditorWorld world;
    for (int m = 0; m < 3; ++m)
        world.Code.PatchBank(9, first + m) = int16_t(values[m]);
    NormalEdit* editor = openNormal(world, 9);
    QCOMPARE(editor->LFO_Type[first]->currentText(), shown);
    for (int m = 0; m < 3; ++m)
        QCOMPARE(int(world.Code.PatchBank(9, first + m)), stored[m]);
}

void TestNormalEdit::octaveGroupFill_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QList<int>>("stored");

    QTest::newRow("32'") << 24 << QList<int>{1, 0, 0, 0} << "32'" << QList<int>{1, 0, 0, 0};
    QTest::newRow("8'") << 35 << QList<int>{0, 0, 1, 0} << "8'" << QList<int>{0, 0, 1, 0};
    QTest::newRow("4' wins over lower")
        << 24 << QList<int>{1, 1, 0, 1} << "4'" << QList<int>{0, 0, 0, 1};
    QTest::newRow("16' wins over 32'")
        << 35 << QList<int>{1, 1, 0, 0} << "16'" << QList<int>{0, 1, 0, 0};
    QTest::newRow("empty DCO1 group")
        << 24 << QList<int>{0, 0, 0, 0} << "32'" << QList<int>{1, 0, 0, 0};
    QTest::newRow("empty DCO2 group")
        << 35 << QList<int>{0, 0, 0, 0} << "32'" << QList<int>{1, 0, 0, 0};
    QTest::newRow("only a damaged 2")
        << 35 << QList<int>{0, 2, 0, 0} << "32'" << QList<int>{1, 0, 0, 0};
}

void TestNormalEdit::octaveGroupFill() {
    QFETCH(int, first);
    QFETCH(QList<int>, values);
    QFETCH(QString, shown);
    QFETCH(QList<int>, stored);
    EditorWorld world;
    for (int m = 0; m < 4; ++m)
        world.Code.PatchBank(9, first + m) = int16_t(values[m]);
    const bool single = std::count(values.begin(), values.end(), 1) == 1;
    const RecordingSink::Bytes before = dumpOf(world.Code, 9);

    NormalEdit* editor = openNormal(world, 9);
    QCOMPARE(editor->DCO_Octave[first]->currentText(), shown);
    for (int m = 0; m < 4; ++m)
        QCOMPARE(int(world.Code.PatchBank(9, first + m)), stored[m]);
    // A group that already names one octave, or none (which plays the first), sends the
    // same dump after the fill as before it.
    if (single || std::count(values.begin(), values.end(), 1) == 0)
        QCOMPARE(dumpOf(world.Code, 9), before);
}

void TestNormalEdit::listChoicesStoreOneMember_data() {
    QTest::addColumn<int>("list");
    QTest::addColumn<int>("item");
    QTest::addColumn<QList<int>>("stored");

    QTest::newRow("LFO1 None") << 1 << 3 << QList<int>{0, 0, 0};
    QTest::newRow("LFO1 Sawtooth") << 1 << 1 << QList<int>{0, 1, 0};
    QTest::newRow("LFO2 Pulse") << 53 << 2 << QList<int>{0, 0, 1};
    QTest::newRow("DCO1 4'") << 24 << 3 << QList<int>{0, 0, 0, 1};
    QTest::newRow("DCO2 16'") << 35 << 1 << QList<int>{0, 1, 0, 0};
}

void TestNormalEdit::listChoicesStoreOneMember() {
    QFETCH(int, list);
    QFETCH(int, item);
    QFETCH(QList<int>, stored);
    EditorWorld world;
    world.Code.AutoUpdate = kOn;
    // Every member on: a choice leaves exactly the chosen one.
    for (int m = 0; m < stored.size(); ++m)
        world.Code.PatchBank(11, list + m) = 1;
    NormalEdit* editor = openNormal(world, 11);
    QComboBox* box = list == 1 || list == 53 ? editor->LFO_Type[list] : editor->DCO_Octave[list];
    box->setCurrentIndex(0);
    world.Midi.clear();
    box->setCurrentIndex(item);
    for (int m = 0; m < stored.size(); ++m)
        QCOMPARE(int(world.Code.PatchBank(11, list + m)), stored[m]);
    QCOMPARE(world.Midi.dumps(), 1);
}

void TestNormalEdit::flagFill_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("ticked");
    QTest::newRow("0") << 0 << false;
    QTest::newRow("1") << 1 << true;
    QTest::newRow("2") << 2 << false;
    QTest::newRow("-1") << -1 << false;
}

void TestNormalEdit::flagFill() {
    QFETCH(int, value);
    QFETCH(bool, ticked);
    EditorWorld world;
    for (int p : {4, 7, 23, 30, 41, 56, 59})
        world.Code.PatchBank(12, p) = int16_t(value);
    NormalEdit* editor = openNormal(world, 12);
    for (int p : {4, 7, 23, 30, 41, 56, 59}) {
        QCOMPARE(editor->Flag[p]->isChecked(), ticked);
        // The box starts cleared, so a value that shows cleared stays in the bank.
        QCOMPARE(int(world.Code.PatchBank(12, p)), value);
    }
}

void TestNormalEdit::flagClickStoresZeroOrOne() {
    EditorWorld world;
    world.Code.AutoUpdate = kOn;
    world.Code.PatchBank(12, 23) = 2;
    NormalEdit* editor = openNormal(world, 12);
    world.Midi.clear();
    QTest::mouseClick(editor->Flag[23], Qt::LeftButton);
    QCOMPARE(int(world.Code.PatchBank(12, 23)), 1);
    QTest::mouseClick(editor->Flag[23], Qt::LeftButton);
    QCOMPARE(int(world.Code.PatchBank(12, 23)), 0);
    QCOMPARE(world.Midi.dumps(), 2);
}

void TestNormalEdit::sliderFillClampsAndStoresBack_data() {
    QTest::addColumn<int>("parameter");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("stored");
    QTest::newRow("20 in Freq") << 42 << 20 << 11 << 11;
    QTest::newRow("64 in 0..63") << 50 << 64 << 63 << 63;
    QTest::newRow("16-bit top") << 50 << 32767 << 63 << 63;
    // The slider already shows 0, so nothing changes and the bank keeps the value.
    QTest::newRow("negative") << 33 << -1 << 0 << -1;
    QTest::newRow("16-bit bottom") << 33 << -32768 << 0 << -32768;
    QTest::newRow("in range") << 43 << 17 << 17 << 17;
}

void TestNormalEdit::sliderFillClampsAndStoresBack() {
    QFETCH(int, parameter);
    QFETCH(int, value);
    QFETCH(int, shown);
    QFETCH(int, stored);
    EditorWorld world;
    world.Code.PatchBank(20, parameter) = int16_t(value);
    NormalEdit* editor = openNormal(world, 20);
    QCOMPARE(editor->Slider[parameter]->value(), shown);
    QCOMPARE(editor->Text[parameter]->text(), QString::number(shown));
    QCOMPARE(int(world.Code.PatchBank(20, parameter)), stored);
}

// --- name, caption and sends ------------------------------------------------------------

void TestNormalEdit::captionAndNameAtLoad_data() {
    QTest::addColumn<int>("patch");
    QTest::addColumn<QString>("caption");
    QTest::newRow("7") << 7 << "07 - Bass";
    QTest::newRow("12") << 12 << "12 - Bass";
}

void TestNormalEdit::captionAndNameAtLoad() {
    QFETCH(int, patch);
    QFETCH(QString, caption);
    EditorWorld world;
    NormalEdit before(*world.Context);
    QCOMPARE(before.windowTitle(), QString("Normal Edit"));
    world.PatchWindow->SetPatchName(patch, "Bass");
    NormalEdit* editor = openNormal(world, patch);
    QCOMPARE(editor->windowTitle(), caption);
    QCOMPARE(editor->NameText->text(), QString("Bass"));
    QCOMPARE(editor->tag(), QString::number(patch));
}

void TestNormalEdit::renamingWritesRowAndCaptionAndSendsNothing_data() {
    QTest::addColumn<int>("patch");
    QTest::addColumn<QString>("row");
    QTest::newRow("3") << 3 << "03 - Big Pad";
    QTest::newRow("10") << 10 << "10 - Big Pad";
    QTest::newRow("74") << 74 << "74 - Big Pad";
}

void TestNormalEdit::renamingWritesRowAndCaptionAndSendsNothing() {
    QFETCH(int, patch);
    QFETCH(QString, row);
    EditorWorld world;
    world.Code.AutoUpdate = kOn;
    NormalEdit* editor = openNormal(world, patch);
    world.Midi.clear();
    typeInto(editor->NameText, "Big Pad");
    QCOMPARE(editor->windowTitle(), row);
    QCOMPARE(world.PatchWindow->PatchList->item(patch - 1)->text(), row);
    QCOMPARE(world.PatchWindow->PatchName(patch), QString("Big Pad"));
    QCOMPARE(world.Midi.dumps(), 0);
}

void TestNormalEdit::pastedLineBreaksBecomeBlanks() {
    EditorWorld world;
    NormalEdit* editor = openNormal(world, 5);
    editor->NameText->setFocus(Qt::TabFocusReason);
    editor->NameText->selectAll();
    QApplication::clipboard()->setText("Warm\r\nPad\n");
    editor->NameText->paste();
    QCOMPARE(editor->NameText->text(), QString("Warm  Pad "));
    QCOMPARE(world.PatchWindow->PatchName(5), QString("Warm  Pad "));
    QCOMPARE(editor->windowTitle(), QString("05 - Warm  Pad "));
}

void TestNormalEdit::setPatchNameRenewsCaptionAndNameBox() {
    EditorWorld world;
    world.Code.AutoUpdate = kOn;
    NormalEdit* editor = openNormal(world, 8);
    world.Midi.clear();
    world.PatchWindow->SetPatchName(8, "Strings");
    QCOMPARE(editor->windowTitle(), QString("08 - Strings"));
    QCOMPARE(editor->NameText->text(), QString("Strings"));
    QCOMPARE(world.PatchWindow->PatchList->item(7)->text(), QString("08 - Strings"));
    QCOMPARE(world.Midi.dumps(), 0);
}

void TestNormalEdit::nameBoxHasTheFocusWithItsTextSelected() {
    EditorWorld world;
    world.PatchWindow->SetPatchName(2, "Lead");
    NormalEdit* editor = openNormal(world, 2);
    QVERIFY(QTest::qWaitForWindowActive(world.Mdi.get()));
    QCOMPARE(editor->focusWidget(), static_cast<QWidget*>(editor->NameText));
    QCOMPARE(editor->NameText->selectedText(), QString("Lead"));
}

void TestNormalEdit::sendButtonSendsEvenWithoutAutomaticUpdate() {
    EditorWorld world;
    world.Code.AutoUpdate = kOff;
    world.Code.PatchBank(15, 19) = 44;
    NormalEdit* editor = openNormal(world, 15);
    world.Midi.clear();
    QTest::mouseClick(editor->SendButton, Qt::LeftButton);
    QCOMPARE(dumps(world.Midi), QList<RecordingSink::Bytes>{dumpOf(world.Code, 15)});
}

// --- refresh and close -------------------------------------------------------------------

void TestNormalEdit::refreshSendsOncePerChangedControl_data() {
    QTest::addColumn<bool>("autoUpdate");
    QTest::addColumn<int>("sends");
    QTest::newRow("automatic update on") << true << 4;
    QTest::newRow("automatic update off") << false << 0;
}

void TestNormalEdit::refreshSendsOncePerChangedControl() {
    QFETCH(bool, autoUpdate);
    QFETCH(int, sends);
    EditorWorld world;
    world.Code.AutoUpdate = autoUpdate ? kOn : kOff;
    world.Code.PatchBank(30, 8) = 12;
    NormalEdit* editor = openNormal(world, 30);
    world.Midi.clear();

    // A file read into the patch: four controls change, one value stays as it was.
    world.Code.PatchBank(30, 8) = 12;
    world.Code.PatchBank(30, 9) = 50;
    world.Code.PatchBank(30, 5) = 1;
    world.Code.PatchBank(30, 3) = 1;
    world.Code.PatchBank(30, 24) = 0;
    world.Code.PatchBank(30, 26) = 1;
    refreshEditor(world, 30);

    QCOMPARE(world.Midi.dumps(), sends);
    QCOMPARE(editor->Slider[9]->value(), 50);
    QCOMPARE(editor->Text[9]->text(), QString("50"));
    QVERIFY(editor->Flag[5]->isChecked());
    QCOMPARE(editor->LFO_Type[1]->currentText(), QString("Pulse"));
    QCOMPARE(editor->DCO_Octave[24]->currentText(), QString("8'"));
    QCOMPARE(int(world.Code.RefreshPending), int(kOff));
}

void TestNormalEdit::repaintWithoutRefreshChangesNothing() {
    EditorWorld world;
    world.Code.AutoUpdate = kOn;
    NormalEdit* editor = openNormal(world, 30);
    world.Midi.clear();
    world.Code.PatchBank(30, 9) = 50;
    editor->repaintNow();
    QCOMPARE(editor->Slider[9]->value(), 0);
    QCOMPARE(world.Midi.dumps(), 0);
}

void TestNormalEdit::closeClearsTheRegistry() {
    EditorWorld world;
    NormalEdit* editor = openNormal(world, 33);
    QCOMPARE(int(world.PatchWindow->editorKindOf(33)), int(Patch::NormalEditor));
    QPointer<NormalEdit> watch(editor);
    editor->closeEditor();
    QCOMPARE(int(world.PatchWindow->editorKindOf(33)), int(Patch::NoEditor));
    QTRY_VERIFY(watch.isNull());
}

QTEST_MAIN(TestNormalEdit)
#include "tst_normaledit.moc"
