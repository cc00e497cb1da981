#include "support/TestProgram.h"
#include "sound/BreedWindow.h"
#include "sound/MorphWindow.h"
#include "sound/SoundMenu.h"
#include "core/SoundRules.h"
#include "support/RecordingSink.h"
#include "editors/BankHistory.h"
#include "editors/Bit01Edit.h"
#include "editors/LockedParameters.h"
#include "editors/NormalEdit.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTableWidget>
#include <QTest>

namespace {

QStringList texts(const QList<QAction*>& actions) {
    QStringList all;
    for (const QAction* a : actions)
        all << (a->isSeparator() ? "-" : a->text() + (a->shortcut().isEmpty() ? "" : " " + a->shortcut().toString()));
    return all;
}

// The captions of a control's right-click menu.
QStringList menuOf(EditorWindow& editor, QWidget* control) {
    return texts(editor.parameterMenu(control)->actions());
}
// The locks as the settings store keeps them.
QString stored(TestProgram& p) {
    for (const auto& [key, value] : p.store.readSection("Locks"))
        if (key == "Parameters") return value;
    return "none";
}
void choose(std::unique_ptr<QMenu> menu, const QString& caption) {
    for (QAction* a : menu->actions())
        if (a->text() == caption) return a->trigger();
    QFAIL(qPrintable("no item " + caption));
}

// The program with a varied bank, automatic update on, the editor of patch 7 active and
// parameter 19 locked.
struct Sounding : TestProgram {
    Sounding() {
        store.writeKey("Locks", "Parameters", "19, x");
        store.writeKey("Update", "AutoUpdate", "Yes");
        start();
        code.PatchBank = variedBank(3);
        window.history().reset();
        code.SelectedPatch = 7;
        list().OpenPatchEditor(7, Patch::NormalEditor);
        backend.clearRecord();
    }
    SoundMenu& sound() { return window.sound(); }
    PatchValues patch(int n) const { return code.PatchBank.values(n); }
    // The dump the patch encodes to as the bank holds it now.
    std::vector<uint8_t> dumpOf(int n) {
        RecordingSink sink;
        QuenlorCode copy = code;
        copy.Midi = &sink;
        copy.SendPatch(n);
        return sink.Messages.front();
    }
};

} // namespace

class TestSound : public QObject {
    Q_OBJECT
private slots:
    void soundMenuItemsAndShortcuts();
    void rollsAreValidKeepLocksAndSendOnce_data();
    void rollsAreValidKeepLocksAndSendOnce();
    void locksInBothEditorsAndTheSettings();
    void morphEndsAndAPacedDrag();
    void breedFromTheKeyboard();
    void soundWindowsWriteTheirTarget_data();
    void soundWindowsWriteTheirTarget();
    void undoPutsTheMorphSliderBack();
    void auditionNotesSoundTheirOwnPatch();
};

void TestSound::soundMenuItemsAndShortcuts() {
    TestProgram p;
    p.start();
    SoundMenu& sound = p.window.sound();
    QCOMPARE(texts(sound.mnu_Sound->actions()),
             (QStringList{"&Mutate", "&Randomize", "Roll &Again Ctrl+Shift+M", "-",
                          "Clear All Locks", "-", "Mor&ph...", "&Breed..."}));
    QCOMPARE(texts(sound.mnu_Mutate->actions()),
             (QStringList{"&5 %", "&10 % Ctrl+M", "&25 %", "5&0 %"}));
    // Ctrl+M mutates by the amount used last.
    sound.mnu_MutateBy[2]->trigger();
    QCOMPARE(texts(sound.mnu_Mutate->actions()),
             (QStringList{"&5 %", "&10 %", "&25 % Ctrl+M", "5&0 %"}));
}

void TestSound::rollsAreValidKeepLocksAndSendOnce_data() {
    QTest::addColumn<int>("command"); // 0..3 mutate by an amount, 4 randomize, 5 roll again
    for (int c = 0; c < 6; ++c) QTest::addRow("command %d", c) << c;
}

void TestSound::rollsAreValidKeepLocksAndSendOnce() {
    QFETCH(int, command);
    Sounding p;
    const PatchValues before = p.patch(7);
    for (int roll = 0; roll < 20; ++roll) {
        p.backend.clearRecord();
        if (command < 4) p.sound().mnu_MutateBy[command]->trigger();
        if (command == 4) p.sound().mnu_Randomize->trigger();
        if (command == 5) p.sound().mnu_RollAgain->trigger();
        const PatchValues now = p.patch(7);
        QVERIFY(now != before);
        QCOMPARE(now[19], before[19]);
        QVERIFY(SoundRules::isValidPatch(now));
        QVERIFY(p.code.PatchBank.values(8) == variedBank(3).values(8));
        // Sent once, as any edit with automatic update on; the open editor shows it.
        QCOMPARE(p.dumps(), 1);
        QCOMPARE(p.sent().front(), p.dumpOf(7));
        QCOMPARE(p.list().normalEditWindow(7)->Slider[20]->value(), int(now[20]));
    }
}

void TestSound::locksInBothEditorsAndTheSettings() {
    Sounding p;
    NormalEdit& normal = *p.list().normalEditWindow(7);
    QVERIFY(p.window.sound().locks().locked(19));
    QVERIFY(normal.lockMark(19)->isVisible());
    QVERIFY(normal.lockMark(19)->geometry().contains(normal.Slider[19]->geometry()));
    QCOMPARE(normal.Slider[19]->accessibleDescription(), QString("locked"));
    // A value box keeps its own editing commands after the lock.
    const QStringList boxMenu = menuOf(normal, normal.Text[20]);
    QCOMPARE(boxMenu.mid(0, 5), (QStringList{"Lock", "-", "Lock Section", "Unlock Section", "-"}));
    QVERIFY(boxMenu.join(' ').contains("Copy"));
    choose(normal.parameterMenu(normal.Text[20]), "Lock");
    choose(normal.parameterMenu(normal.LFO_Type[53]), "Lock");
    QCOMPARE(stored(p), QString("19,20,53,54,55"));

    p.code.SelectedPatch = 8;
    p.list().OpenPatchEditor(8, Patch::Bit01Editor);
    Bit01Edit& table = *p.list().bit01EditWindow(8);
    QVERIFY(table.lockMark(54)->isVisible());
    QCOMPARE(table.PT[20]->accessibleDescription(), QString("VCF Res, locked"));
    QCOMPARE(menuOf(table, table.PT[55]).first(), QString("Unlock"));
    choose(table.parameterMenu(table.PT[55]), "Unlock");
    QVERIFY(!table.lockMark(53)->isVisible());
    QCOMPARE(table.PT[53]->accessibleDescription(), QString("LFO2 Type"));

    choose(normal.sectionMenu(normal.VCA_Frame), "Lock Section");
    QCOMPARE(stored(p),
             QString("19,20,46,47,48,49,50,51,52"));
    QCOMPARE(texts(normal.sectionMenu(normal.VCA_Frame)->actions()), QStringList{"Unlock Section"});
    QVERIFY(table.lockMark(48)->isVisible());
    p.window.sound().mnu_ClearLocks->trigger();
    QCOMPARE(stored(p), QString(""));
    QVERIFY(!normal.lockMark(19)->isVisible() && !table.lockMark(48)->isVisible());
}

// A drag at 60 positions a second on a cable: a dump at most every dump time, the last
// one the patch at the last position; the ends are A and B themselves.
void TestSound::morphEndsAndAPacedDrag() {
    Sounding p;
    p.list().selectPatchRow(30);
    p.sound().mnu_Morph_Click();
    MorphWindow& morph = *p.sound().morph();
    SoundRandom random(1);
    p.code.PatchBank.setValues(3, SoundRules::randomizePatch(p.patch(3), {}, random));
    p.code.PatchBank.setValues(41, SoundRules::randomizePatch(p.patch(41), {}, random));
    morph.PatchA->setCurrentIndex(2);
    morph.PatchB->setCurrentIndex(40);
    morph.Position->setValue(100);
    PatchValues expected = p.patch(41);
    expected[19] = variedBank(3)(30, 19);
    QCOMPARE(p.patch(30), expected);
    morph.Position->setValue(0);
    expected = p.patch(3);
    expected[19] = variedBank(3)(30, 19);
    QCOMPARE(p.patch(30), expected);

    p.backend.clearRecord();
    p.backend.Clock.setLeaping(false);
    for (int position = 1; position <= 60; ++position) {
        morph.Position->setValue(position);
        p.backend.Clock.advance(std::chrono::microseconds(16667));
    }
    p.backend.Clock.advance(std::chrono::seconds(1));
    std::vector<PacingClock::Time> dumpTimes;
    std::vector<uint8_t> last;
    for (const auto& m : p.backend.Sent)
        if (m.Data[0] == 0xF0) {
            dumpTimes.push_back(m.Time);
            last = m.Data;
        }
    QCOMPARE(last, p.dumpOf(30));
    QVERIFY(dumpTimes.size() < 60);
    for (std::size_t i = 1; i < dumpTimes.size(); ++i)
        QVERIFY(dumpTimes[i] - dumpTimes[i - 1] >= OutputQueue::cableTime(80));
}

void TestSound::breedFromTheKeyboard() {
    Sounding p;
    p.sound().mnu_Breed_Click();
    BreedWindow& breed = *p.sound().breed();
    const PatchValues base = p.patch(7);
    for (int i = 0; i < BreedWindow::kVariations; ++i) {
        QVERIFY(SoundRules::isValidPatch(breed.variation(i)));
        QCOMPARE(breed.variation(i)[19], base[19]);
        QVERIFY(breed.variation(i) != base);
    }
    breed.Grid->setFocus();
    // Without "Play a note when auditioning" an audition is the dump alone.
    p.backend.clearRecord();
    QTest::keyClick(breed.Grid, Qt::Key_Space);
    QCOMPARE(p.sent().size(), std::size_t(2));
    // The arrows move and audition: the variation's dump, then the test note; the bank stays.
    p.code.PlayNoteWhenAuditioning = kOn;
    p.backend.clearRecord();
    QTest::keyClick(breed.Grid, Qt::Key_Right);
    QTest::keyClick(breed.Grid, Qt::Key_Down);
    QCOMPARE(breed.selectedVariation(), 5);
    QCOMPARE(p.sent().size(), std::size_t(7)); // two dumps with their Program Change, notes
    QCOMPARE(p.sent()[6], (std::vector<uint8_t>{0x90, TestNote::kNote, TestNote::kVelocity}));
    QCOMPARE(p.patch(7), base);
    QTest::keyClick(breed.Grid, Qt::Key_Space);
    QCOMPARE(p.dumps(), 3);
    // M marks up to three parents; the fourth beeps.
    for (const Qt::Key move : {Qt::Key_Right, Qt::Key_Right, Qt::Key_Down, Qt::Key_Down}) {
        QTest::keyClick(breed.Grid, Qt::Key_M);
        QTest::keyClick(breed.Grid, move);
    }
    QCOMPARE(p.desktop.Beeps, 1);
    QVERIFY(breed.isMarked(5) && breed.isMarked(6) && breed.isMarked(7) && !breed.isMarked(11));
    breed.NextButton->click();
    QCOMPARE(breed.generation(), 2);
    for (int i = 0; i < BreedWindow::kVariations; ++i) {
        QVERIFY(SoundRules::isValidPatch(breed.variation(i)));
        QCOMPARE(breed.variation(i)[19], base[19]);
    }
    for (int g = 0; g < 12; ++g) breed.StartOverButton->click();
    QCOMPARE(breed.generations(), BreedWindow::kKeptGenerations);
    breed.PreviousButton->click();
    QCOMPARE(breed.generation(), BreedWindow::kKeptGenerations - 1);
    // Enter keeps the selected variation in the selected patch.
    breed.Grid->setFocus();
    QTest::keyClick(breed.Grid, Qt::Key_Left);
    const PatchValues kept = breed.variation(breed.selectedVariation());
    QTest::keyClick(breed.Grid, Qt::Key_Return);
    QCOMPARE(p.patch(7), kept);
    QCOMPARE(p.window.history().undoText(), QString("Keep Variation"));
}

// Morph and Breed write the patch they name, the one they were opened on, whatever the
// list selects or the editor shows since; another target is chosen in the window itself.
// The target's locked parameters keep their own values.
void TestSound::soundWindowsWriteTheirTarget_data() {
    QTest::addColumn<bool>("morph"); // or breed
    QTest::addColumn<int>("picked"); // the target chosen in the window, 0 for none
    QTest::newRow("morph, the list's selection moved") << true << 0;
    QTest::newRow("morph, another target chosen") << true << 40;
    QTest::newRow("breed, the list's selection moved") << false << 0;
    QTest::newRow("breed, another target chosen") << false << 40;
}

void TestSound::soundWindowsWriteTheirTarget() {
    QFETCH(bool, morph);
    QFETCH(int, picked);
    TestProgram p;
    p.store.writeKey("Locks", "Parameters", "19");
    p.start();
    p.code.PatchBank = variedBank(3);
    p.window.history().reset();
    p.list().SetPatchName(25, "Brass");
    p.list().SetPatchName(40, "Pad");
    p.list().selectPatchRow(25);
    morph ? p.window.sound().mnu_Morph_Click() : p.window.sound().mnu_Breed_Click();
    QWidget* window = morph ? static_cast<QWidget*>(p.window.sound().morph())
                            : static_cast<QWidget*>(p.window.sound().breed());
    auto* target = window->findChild<QComboBox*>("Target");
    QCOMPARE(target->currentText(), QString("25 - Brass"));
    // The list and an editor move on to patch 9.
    p.list().selectPatchRow(9);
    p.list().OpenPatchEditor(9, Patch::NormalEditor);
    if (picked) target->setCurrentIndex(picked - 1);
    const int written = picked ? picked : 25;
    QCOMPARE(target->currentText(), written == 25 ? QString("25 - Brass") : QString("40 - Pad"));
    const Bank before = p.code.PatchBank;
    if (morph) {
        MorphWindow& m = *p.window.sound().morph();
        m.Position->setFocus();
        for (int press = 0; press < 5; ++press) QTest::keyClick(m.Position, Qt::Key_Right);
        QCOMPARE(m.Position->value(), 5);
    } else {
        BreedWindow& b = *p.window.sound().breed();
        for (const int parent : {0, 1}) {
            b.selectVariation(parent);
            b.toggleMark();
        }
        b.nextGeneration();
        b.selectVariation(3);
        b.keep();
        QCOMPARE(p.code.PatchBank.values(written), SoundRules::keepLocked(b.variation(3), before.values(written),
                                                          p.window.sound().locks().locks()));
    }
    for (int n = kFirstPatch; n <= kLastPatch; ++n)
        if (n != written) QVERIFY2(p.code.PatchBank.values(n) == before.values(n), qPrintable(QString::number(n)));
    QVERIFY(p.code.PatchBank.values(written) != before.values(written));
    QCOMPARE(p.code.PatchBank(written, 19), before(written, 19));
}

// Undo and redo of a morph put the slider where the patch they restore stands, so that the
// next arrow goes on from there.
void TestSound::undoPutsTheMorphSliderBack() {
    Sounding p;
    p.list().selectPatchRow(30);
    p.sound().mnu_Morph_Click();
    MorphWindow& morph = *p.sound().morph();
    morph.Target->setCurrentIndex(39); // patch 40, off the way from A (30) to B (31)
    morph.Position->setFocus();
    QTest::keyClick(morph.Position, Qt::Key_PageUp);
    p.window.history().endGesture();
    for (int press = 0; press < 27; ++press) QTest::keyClick(morph.Position, Qt::Key_Right);
    const PatchValues at37 = p.patch(40);
    p.window.mnu_Undo->trigger();
    QCOMPARE(morph.Position->value(), 10);
    QCOMPARE(morph.PositionText->text(), QString("10 %"));
    p.window.mnu_Undo->trigger();
    QCOMPARE(morph.Position->value(), 0);
    p.window.mnu_Redo->trigger();
    p.window.mnu_Redo->trigger();
    QCOMPARE(morph.Position->value(), 37);
    QCOMPARE(p.patch(40), at37);
    p.window.mnu_Undo->trigger();
    QTest::keyClick(morph.Position, Qt::Key_Right);
    QCOMPARE(morph.Position->value(), 11);
    // A restored patch on the way from A to B puts the slider where it stands on the way,
    // wherever the slider stood before: the patch A itself at 0. A and B alike first, the
    // slider moves without a change.
    p.window.history().endGesture();
    for (QComboBox* choice : {morph.Target, morph.PatchA, morph.PatchB}) choice->setCurrentIndex(6);
    morph.Position->setValue(25);
    morph.PatchB->setCurrentIndex(7);
    morph.Position->setValue(30);
    p.window.mnu_Undo->trigger();
    QCOMPARE(morph.Position->value(), 0);
}

// Arrows held down in the grid, a move every 15 ms, on a cable that carries a dump in
// 25.6 ms: the patches the newest replaces go unplayed, and so do their notes; every note
// that sounds follows its own variation's dump, and every end follows a note that sounded.
void TestSound::auditionNotesSoundTheirOwnPatch() {
    Sounding p;
    p.code.PlayNoteWhenAuditioning = kOn;
    p.sound().mnu_Breed_Click();
    BreedWindow& breed = *p.sound().breed();
    breed.Grid->setFocus();
    p.backend.clearRecord();
    p.backend.Clock.setLeaping(false);
    // Along the rows, down at each end: every move selects another variation.
    for (int move = 0; move < 15; ++move) {
        const bool down = move % 4 == 3;
        QTest::keyClick(breed.Grid, down ? Qt::Key_Down : move / 4 % 2 ? Qt::Key_Left : Qt::Key_Right);
        p.backend.Clock.advance(std::chrono::milliseconds(15));
    }
    p.backend.Clock.advance(std::chrono::seconds(2));
    const std::vector<std::vector<uint8_t>> sent = p.sent();
    int dumps = 0, notes = 0;
    bool noteOn = false;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        dumps += sent[i][0] == 0xF0;
        if (sent[i][0] != 0x90) continue;
        noteOn = !noteOn;
        QVERIFY2(noteOn == (sent[i][2] > 0), "a note ended that never sounded");
        // Right after its own patch, dump and Program Change: one note for each dump.
        if (noteOn) QVERIFY(++notes == dumps && sent[i - 1][0] == 0xC0);
    }
    QVERIFY(dumps < 15);
    QCOMPARE(notes, dumps);
    QuenlorCode copy = p.code;
    RecordingSink last;
    copy.Midi = &last;
    copy.sendPatchValues(breed.variation(breed.selectedVariation()));
    QCOMPARE(sent[sent.size() - 3], last.Messages.front());
}

QTEST_MAIN(TestSound)
#include "tst_sound.moc"
