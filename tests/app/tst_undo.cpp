#include "support/TestProgram.h"
#include "unsaved/UnsavedBank.h"
#include "sound/BreedWindow.h"
#include "sound/MorphWindow.h"
#include "sound/SoundMenu.h"
#include "editors/BankHistory.h"
#include "editors/Bit01Edit.h"
#include "editors/NormalEdit.h"
#include "storage/UnsavedCopy.h"
#include "support/EditorWorld.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

namespace {

using Action = std::function<void(TestProgram&, const QTemporaryDir&)>;

struct BankState {
    Bank values;
    QStringList names;
    bool operator==(const BankState& o) const { return values == o.values && names == o.names; }
};
BankState state(TestProgram& p) {
    return {p.code.PatchBank, p.names()};
}

NormalEdit& normal(TestProgram& p, int patch) {
    if (p.list().editorKindOf(patch) != Patch::NormalEditor) {
        p.code.SelectedPatch = int16_t(patch);
        p.list().OpenPatchEditor(patch, Patch::NormalEditor);
    }
    return *p.list().normalEditWindow(patch);
}
Bit01Edit& table(TestProgram& p, int patch) {
    if (p.list().editorKindOf(patch) != Patch::Bit01Editor) {
        p.code.SelectedPatch = int16_t(patch);
        p.list().OpenPatchEditor(patch, Patch::Bit01Editor);
    }
    return *p.list().bit01EditWindow(patch);
}

// Types into a box as the user does after it took the focus: the old text is replaced.
void typeInto(QLineEdit* box, const QString& text) {
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, text);
}

// Every open editor shows what the bank and the patch list hold.
bool editorsShowTheBank(TestProgram& p) {
    for (int n = kFirstPatch; n <= kLastPatch; ++n) {
        if (p.list().editorKindOf(n) == Patch::NormalEditor) {
            NormalEdit& e = *p.list().normalEditWindow(n);
            if (e.NameText->text() != p.list().PatchName(n)) return false;
            for (int k = kFirstParameter; k <= kLastParameter; ++k)
                if (e.Slider[k] && e.Slider[k]->value() != p.code.PatchBank(n, k)) return false;
        } else if (p.list().editorKindOf(n) == Patch::Bit01Editor) {
            Bit01Edit& e = *p.list().bit01EditWindow(n);
            if (e.NameText->text() != p.list().PatchName(n)) return false;
            for (int k = kFirstParameter; k <= kLastParameter; ++k)
                if (e.PT[k]->text() != QString::number(p.code.PatchBank(n, k))) return false;
        }
    }
    return true;
}

int steps(TestProgram& p) {
    return p.window.history().stack().index();
}

const Action nothing = [](TestProgram&, const QTemporaryDir&) {};

} // namespace

Q_DECLARE_METATYPE(Action)

class TestUndo : public QObject {
    Q_OBJECT
private slots:
    void init();
    void eachKindOfChangeUndoesAndRedoes_data();
    void eachKindOfChangeUndoesAndRedoes();
    void newSoundsUndoAndRedo_data();
    void newSoundsUndoAndRedo();
    void oneGestureIsOneStep_data();
    void oneGestureIsOneStep();
    void undoSendsWithAutomaticUpdate_data();
    void undoSendsWithAutomaticUpdate();
    void bankCommandsTakeTheirFileBack_data();
    void bankCommandsTakeTheirFileBack();
    void ctrlZInABoxUsesTheProgramsHistory_data();
    void ctrlZInABoxUsesTheProgramsHistory();
    void historyStaysWithinItsMemory();

private:
    std::unique_ptr<QTemporaryDir> m_state;
};

void TestUndo::init() {
    m_state = std::make_unique<QTemporaryDir>();
    QVERIFY(m_state->isValid());
    qputenv("XDG_STATE_HOME", m_state->path().toUtf8());
}

void TestUndo::eachKindOfChangeUndoesAndRedoes_data() {
    QTest::addColumn<Action>("prepare");
    QTest::addColumn<Action>("change");
    QTest::addColumn<QString>("step");
    QTest::newRow("slider") << nothing << Action([](TestProgram& p, const QTemporaryDir&) {
        normal(p, 7).Slider[19]->setValue(40);
    }) << "VCF CutOff";
    QTest::newRow("value box") << nothing << Action([](TestProgram& p, const QTemporaryDir&) {
        typeInto(normal(p, 7).Text[48], "33");
        QTest::keyClick(normal(p, 7).Text[48], Qt::Key_Return);
    }) << "VCA Prg Vol";
    QTest::newRow("check box") << nothing << Action([](TestProgram& p, const QTemporaryDir&) {
        normal(p, 7).Flag[23]->click();
    }) << "VCF Invert";
    QTest::newRow("wave list") << nothing << Action([](TestProgram& p, const QTemporaryDir&) {
        normal(p, 7).LFO_Type[53]->setCurrentIndex(1);
    }) << "LFO2 Type";
    QTest::newRow("octave list") << nothing << Action([](TestProgram& p, const QTemporaryDir&) {
        normal(p, 7).DCO_Octave[35]->setCurrentIndex(2);
    }) << "DCO2 Octave";
    QTest::newRow("normal name") << nothing << Action([](TestProgram& p, const QTemporaryDir&) {
        typeInto(normal(p, 7).NameText, "Bass");
    }) << "Rename";
    QTest::newRow("table box") << nothing << Action([](TestProgram& p, const QTemporaryDir&) {
        typeInto(table(p, 9).PT[19], "60");
    }) << "VCF CutOff";
    QTest::newRow("table switch") << nothing << Action([](TestProgram& p, const QTemporaryDir&) {
        typeInto(table(p, 9).PT[26], "1"); // the group's other member goes off
    }) << "DCO1 Octave";
    QTest::newRow("table name") << nothing << Action([](TestProgram& p, const QTemporaryDir&) {
        typeInto(table(p, 9).NameText, "Pad");
    }) << "Rename";
    QTest::newRow("open patch") << nothing << Action([](TestProgram& p, const QTemporaryDir& d) {
        writeRecords(d.filePath("one.b01"), variedBank(3), 12, 12, "Lead ");
        p.desktop.answerOpen(d.filePath("one.b01"));
        table(p, 5); // the editor of patch 5 is active: it is the target, and is refreshed
        p.window.mnu_OpenPatch->trigger();
    }) << "Open Patch";
    QTest::newRow("open bank") << nothing << Action([](TestProgram& p, const QTemporaryDir& d) {
        writeRecords(d.filePath("live.bbk"), variedBank(5), 1, 74, "Live ");
        p.desktop.answerOpen(d.filePath("live.bbk"));
        normal(p, 3);
        p.window.mnu_Open->trigger();
    }) << "Open Bank";
    QTest::newRow("partly read bank")
        << nothing << Action([](TestProgram& p, const QTemporaryDir& d) {
               writeRecords(d.filePath("ten.bbk"), variedBank(5), 1, 10, "Ten ");
               p.desktop.answerOpen(d.filePath("ten.bbk"));
               p.window.mnu_Open->trigger();
           })
        << "Open Bank";
    QTest::newRow("new bank") << Action([](TestProgram& p, const QTemporaryDir& d) {
        writeRecords(d.filePath("live.bbk"), variedBank(5), 1, 74, "Live ");
        p.desktop.answerOpen(d.filePath("live.bbk"));
        p.window.mnu_Open->trigger();
        table(p, 2);
    }) << Action([](TestProgram& p, const QTemporaryDir&) { p.window.mnu_New->trigger(); })
                              << "New Bank";
}

// The Sound menu's commands and windows: each is one step, a drag of the morph too, and
// rolling again replaces the roll it takes back.
void TestUndo::newSoundsUndoAndRedo_data() {
    QTest::addColumn<Action>("prepare");
    QTest::addColumn<Action>("change");
    QTest::addColumn<QString>("step");
    const Action variedBankOpen = [](TestProgram& p, const QTemporaryDir& d) {
        writeRecords(d.filePath("live.bbk"), variedBank(5), 1, 74, "Live ");
        p.desktop.answerOpen(d.filePath("live.bbk"));
        p.window.mnu_Open->trigger();
        normal(p, 7);
    };
    QTest::newRow("mutate") << variedBankOpen << Action([](TestProgram& p, const QTemporaryDir&) {
        p.window.sound().mutate(25);
    }) << "Mutate";
    QTest::newRow("randomize") << nothing << Action([](TestProgram& p, const QTemporaryDir&) {
        table(p, 9);
        p.window.sound().mnu_Randomize->trigger();
    }) << "Randomize";
    QTest::newRow("mutate rolled again")
        << variedBankOpen << Action([](TestProgram& p, const QTemporaryDir&) {
               p.window.sound().mutate(10);
               p.window.sound().mnu_RollAgain->trigger();
               p.window.sound().mnu_RollAgain->trigger();
           })
        << "Mutate";
    QTest::newRow("morph drag") << variedBankOpen << Action([](TestProgram& p, const QTemporaryDir&) {
        p.window.sound().mnu_Morph_Click();
        for (int position : {10, 40, 70})
            p.window.sound().morph()->Position->setValue(position);
    }) << "Morph";
    QTest::newRow("bred variation kept")
        << variedBankOpen << Action([](TestProgram& p, const QTemporaryDir&) {
               p.window.sound().mnu_Breed_Click();
               p.window.sound().breed()->keep();
           })
        << "Keep Variation";
}

void TestUndo::newSoundsUndoAndRedo() { eachKindOfChangeUndoesAndRedoes(); }

void TestUndo::eachKindOfChangeUndoesAndRedoes() {
    QFETCH(Action, prepare);
    QFETCH(Action, change);
    QFETCH(QString, step);
    QTemporaryDir dir;
    TestProgram p;
    p.start();
    prepare(p, dir);
    const int stepsBefore = steps(p);
    const BankState before = state(p);
    change(p, dir);
    const BankState after = state(p);
    QVERIFY(!(after == before));
    QCOMPARE(steps(p), stepsBefore + 1);
    QCOMPARE(p.window.mnu_Undo->text(), "&Undo " + step);
    QVERIFY(p.window.mnu_Undo->isEnabled());
    QVERIFY(!p.window.mnu_Redo->isEnabled());
    QCOMPARE(p.window.mnu_Redo->text(), QString("&Redo"));

    p.window.mnu_Undo->trigger();
    QVERIFY(state(p) == before);
    QVERIFY(editorsShowTheBank(p));
    QCOMPARE(p.window.mnu_Redo->text(), "&Redo " + step);
    p.window.mnu_Redo->trigger();
    QVERIFY(state(p) == after);
    QVERIFY(editorsShowTheBank(p));
    // Taking everything back leaves nothing to undo.
    while (p.window.mnu_Undo->isEnabled())
        p.window.mnu_Undo->trigger();
    QCOMPARE(p.window.mnu_Undo->text(), QString("&Undo"));
}

void TestUndo::oneGestureIsOneStep_data() {
    QTest::addColumn<Action>("gesture");
    QTest::addColumn<int>("steps");
    QTest::newRow("60 typed into a table box")
        << Action([](TestProgram& p, const QTemporaryDir&) { typeInto(table(p, 4).PT[8], "60"); })
        << 1;
    QTest::newRow("three arrow presses on a slider")
        << Action([](TestProgram& p, const QTemporaryDir&) {
               QScrollBar* s = normal(p, 4).Slider[19];
               s->setFocus();
               for (int i = 0; i < 3; ++i)
                   QTest::keyClick(s, Qt::Key_Right);
           })
        << 1;
    QTest::newRow("a slider moved and put back")
        << Action([](TestProgram& p, const QTemporaryDir&) {
               QScrollBar* s = normal(p, 4).Slider[19];
               s->setFocus();
               QTest::keyClick(s, Qt::Key_Right);
               QTest::keyClick(s, Qt::Key_Left);
           })
        << 0;
    QTest::newRow("two sliders") << Action([](TestProgram& p, const QTemporaryDir&) {
        for (int k : {19, 20}) {
            normal(p, 4).Slider[k]->setFocus();
            QTest::keyClick(normal(p, 4).Slider[k], Qt::Key_Right);
        }
    }) << 2;
    QTest::newRow("one slider, the focus away and back")
        << Action([](TestProgram& p, const QTemporaryDir&) {
               NormalEdit& e = normal(p, 4);
               e.Slider[19]->setFocus();
               QTest::keyClick(e.Slider[19], Qt::Key_Right);
               e.Slider[20]->setFocus();
               e.Slider[19]->setFocus();
               QTest::keyClick(e.Slider[19], Qt::Key_Right);
           })
        << 2;
    QTest::newRow("two clicks beside a slider's thumb") << Action([](TestProgram& p,
                                                                     const QTemporaryDir&) {
        QScrollBar* s = normal(p, 4).Slider[19];
        s->setFocus();
        for (int i = 0; i < 2; ++i)
            QTest::mouseClick(s, Qt::LeftButton, {}, QPoint(s->width() - 20, s->height() / 2));
    }) << 2;
    QTest::newRow("a value box committed twice")
        << Action([](TestProgram& p, const QTemporaryDir&) {
               NormalEdit& e = normal(p, 4);
               for (const char* value : {"40", "50"}) {
                   typeInto(e.Text[21], value);
                   QTest::keyClick(e.Text[21], Qt::Key_Return);
               }
           })
        << 2;
    // Two turns of the mouse wheel over a slider, `pause` ms apart.
    const auto wheel = [](int pause) {
        return Action([pause](TestProgram& p, const QTemporaryDir&) {
            QScrollBar* s = normal(p, 4).Slider[19];
            s->setFocus();
            QWheelEvent turn(QPointF(5, 5), s->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120),
                             Qt::NoButton, {}, Qt::NoScrollPhase, false);
            QApplication::sendEvent(s, &turn);
            QTest::qWait(pause);
            QApplication::sendEvent(s, &turn);
        });
    };
    QTest::newRow("two turns of the wheel in a row") << wheel(0) << 1;
    QTest::newRow("two turns of the wheel with a pause")
        << wheel(BankHistory::kWheelPauseMs + 200) << 2;
    QTest::newRow("a value box committed by Enter, then left")
        << Action([](TestProgram& p, const QTemporaryDir&) {
               NormalEdit& e = normal(p, 4);
               typeInto(e.Text[21], "45");
               QTest::keyClick(e.Text[21], Qt::Key_Return);
               e.Slider[22]->setFocus();
           })
        << 1;
    QTest::newRow("a name typed") << Action([](TestProgram& p, const QTemporaryDir&) {
        typeInto(normal(p, 4).NameText, "Strings");
    }) << 1;
    QTest::newRow("a check box clicked twice") << Action([](TestProgram& p, const QTemporaryDir&) {
        normal(p, 4).Flag[4]->click();
        normal(p, 4).Flag[4]->click();
    }) << 2;
    QTest::newRow("two table boxes") << Action([](TestProgram& p, const QTemporaryDir&) {
        typeInto(table(p, 4).PT[8], "6");
        typeInto(table(p, 4).PT[9], "7");
    }) << 2;
}

void TestUndo::oneGestureIsOneStep() {
    QFETCH(Action, gesture);
    QFETCH(int, steps);
    QTemporaryDir dir;
    TestProgram p;
    p.start();
    const BankState before = state(p);
    gesture(p, dir);
    QCOMPARE(::steps(p), steps);
    while (p.window.history().canUndo())
        p.window.mnu_Undo->trigger();
    QVERIFY(state(p) == before);
}

void TestUndo::undoSendsWithAutomaticUpdate_data() {
    QTest::addColumn<Action>("change");
    QTest::addColumn<int>("patch"); // the patch sent last
    QTest::addColumn<bool>("automatic");
    QTest::addColumn<int>("dumps");
    const Action typed = [](TestProgram& p, const QTemporaryDir&) {
        typeInto(table(p, 7).PT[19], "5");
    };
    const Action opened = [](TestProgram& p, const QTemporaryDir& d) {
        writeRecords(d.filePath("one.b01"), variedBank(3), 12, 12, "Lead ");
        p.desktop.answerOpen(d.filePath("one.b01"));
        p.list().selectPatchRow(6);
        p.window.mnu_OpenPatch->trigger();
    };
    // A refilled normal editor sends nothing of its own: one step, one send.
    const Action moved = [](TestProgram& p, const QTemporaryDir&) {
        normal(p, 7).Slider[19]->setValue(30);
    };
    // Each patch once, then the one the list has selected, which the instrument plays.
    const Action bank = [](TestProgram& p, const QTemporaryDir& d) {
        writeRecords(d.filePath("a.bbk"), variedBank(2), 1, 74, "A ");
        p.desktop.answerOpen(d.filePath("a.bbk"));
        p.window.mnu_Open->trigger();
        p.list().selectPatchRow(5);
    };
    QTest::newRow("normal editor open, on") << moved << 7 << true << 1;
    QTest::newRow("normal editor open, off") << moved << 7 << false << 0;
    QTest::newRow("table editor open, on") << typed << 7 << true << 1;
    QTest::newRow("table editor open, off") << typed << 7 << false << 0;
    QTest::newRow("open patch, no editor, on") << opened << 6 << true << 1;
    QTest::newRow("open patch, no editor, off") << opened << 6 << false << 0;
    QTest::newRow("open bank, row 5 selected, on") << bank << 5 << true << 75;
}

void TestUndo::undoSendsWithAutomaticUpdate() {
    QFETCH(Action, change);
    QFETCH(int, patch);
    QFETCH(bool, automatic);
    QFETCH(int, dumps);
    QTemporaryDir dir;
    TestProgram p;
    p.start();
    p.code.AutoUpdate = automatic ? kOn : kOff;
    change(p, dir);
    for (bool undo : {true, false}) {
        p.backend.clearRecord();
        undo ? p.window.mnu_Undo->trigger() : p.window.mnu_Redo->trigger();
        const auto sent = p.backend.sentBytes();
        // Each dump followed by Program Change 0: nothing else.
        QCOMPARE(sent.size(), size_t(2 * dumps));
        QCOMPARE(p.dumps(), dumps);
        if (!automatic) continue;
        p.code.preparePatchDump(patch);
        QCOMPARE(sent[sent.size() - 2],
                 std::vector<uint8_t>(p.code.PatchDump.data(),
                                      p.code.PatchDump.data() + p.code.PatchDump.size()));
        QCOMPARE(sent.back(), (std::vector<uint8_t>{0xC0, 0x00}));
    }
}

void TestUndo::bankCommandsTakeTheirFileBack_data() {
    QTest::addColumn<Action>("command");
    QTest::addColumn<QString>("title"); // after the command
    QTest::newRow("Open Bank") << Action([](TestProgram& p, const QTemporaryDir& d) {
        p.desktop.answerOpen(d.filePath("b.bbk"));
        p.window.mnu_Open->trigger();
    }) << "Quenlor 1.2.1 - b.bbk";
    QTest::newRow("New Bank") << Action([](TestProgram& p, const QTemporaryDir&) {
        p.window.mnu_New->trigger();
    }) << "Quenlor 1.2.1";
    QTest::newRow("Restore Unsaved Bank") << Action([](TestProgram& p, const QTemporaryDir& d) {
        const std::string left = UnsavedBank::defaultFolder().toStdString() + "/unsaved-left.bbk";
        QVERIFY(QDir().mkpath(UnsavedBank::defaultFolder()));
        QVERIFY(UnsavedCopy::Write(
            left, UnsavedCopy::encode(variedBank(7), {}, d.filePath("b.bbk").toStdString())));
        p.window.offerUnsavedBank();
        p.window.mnu_Restore->actions().value(0)->trigger();
    }) << "Quenlor 1.2.1 - b.bbk (restored)";
}

// A command that replaced the bank takes back and brings again the bank's file: Save
// Bank after an undo writes the bank to the file it came from, and no other.
void TestUndo::bankCommandsTakeTheirFileBack() {
    QFETCH(Action, command);
    QFETCH(QString, title);
    QTemporaryDir dir;
    TestProgram p;
    p.start();
    writeRecords(dir.filePath("a.bbk"), variedBank(2), 1, 74, "A ");
    writeRecords(dir.filePath("b.bbk"), variedBank(9), 1, 74, "B ");
    const QByteArray bFile = readFile(dir.filePath("b.bbk"));
    p.desktop.answerOpen(dir.filePath("a.bbk"));
    p.window.mnu_Open->trigger();
    p.list().SetPatchName(3, "Mine");
    p.window.history().record("Rename");
    const BankState a = state(p);
    command(p, dir);
    QCOMPARE(p.window.windowTitle(), title);
    p.window.mnu_Undo->trigger();
    QVERIFY(state(p) == a);
    QCOMPARE(p.window.windowTitle(), QString("Quenlor 1.2.1 - a.bbk"));
    p.window.mnu_Save->trigger();
    QVERIFY(readFile(dir.filePath("a.bbk")).contains("\r\nMine\r\n"));
    QCOMPARE(readFile(dir.filePath("b.bbk")), bFile);
    p.window.mnu_Redo->trigger();
    QCOMPARE(p.window.windowTitle(), title);
}

void TestUndo::ctrlZInABoxUsesTheProgramsHistory_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("box"); // a value box by parameter number, or "name"
    QTest::newRow("table box") << int(Patch::Bit01Editor) << "19";
    QTest::newRow("table name") << int(Patch::Bit01Editor) << "name";
    QTest::newRow("value box") << int(Patch::NormalEditor) << "19";
    QTest::newRow("normal name") << int(Patch::NormalEditor) << "name";
}

void TestUndo::ctrlZInABoxUsesTheProgramsHistory() {
    QFETCH(int, kind);
    QFETCH(QString, box);
    TestProgram p;
    p.start();
    QVERIFY(QTest::qWaitForWindowActive(&p.window));
    QLineEdit* edit = nullptr;
    if (kind == Patch::Bit01Editor)
        edit = box == "name" ? table(p, 8).NameText : table(p, 8).PT[box.toInt()];
    else
        edit = box == "name" ? normal(p, 8).NameText : normal(p, 8).Text[box.toInt()];
    const BankState before = state(p);
    typeInto(edit, "42");
    if (kind == Patch::NormalEditor && box != "name") QTest::keyClick(edit, Qt::Key_Return);
    const BankState after = state(p);
    QVERIFY(!(after == before));
    const QString typed = edit->text();

    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(state(p) == before);
    QVERIFY(editorsShowTheBank(p));
    QVERIFY(edit->text() != typed);
    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(state(p) == after);
    QCOMPARE(edit->text(), typed);
    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Y, Qt::ControlModifier);
    QVERIFY(state(p) == after);
    // With nothing left to redo the box does not take the key for its own history.
    QTest::keyClick(edit, Qt::Key_Y, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(state(p) == after);
    QCOMPARE(edit->text(), typed);
}

// Unlimited steps, bounded memory: the oldest steps go, the newest always undo.
void TestUndo::historyStaysWithinItsMemory() {
    EditorWorld world;
    constexpr std::size_t budget = 256 * 1024;
    BankHistory history(*world.Context, budget);
    world.Context->History = &history;
    std::size_t largest = 0;
    for (int i = 1; i <= 3000; ++i) {
        const int patch = i % 74 + 1;
        world.Code.PatchBank(patch, 8) = int16_t(i % 64);
        world.PatchWindow->SetPatchName(patch, QString(i % 50, QChar('a' + i % 26)));
        history.record("Step " + QString::number(i));
        largest = std::max(largest, history.memoryUsed());
    }
    QVERIFY(largest <= budget);
    QVERIFY(history.count() > 100 && history.count() < 3000);
    QCOMPARE(history.undoText(), QString("Step 3000"));
    history.undo();
    QCOMPARE(world.Code.PatchBank(3000 % 74 + 1, 8), int16_t(((3000 - 74) % 64)));
    QCOMPARE(history.undoText(), QString("Step 2999"));
    // A single step larger than the budget stays: the newest step always undoes.
    const QString fifth = world.PatchWindow->PatchName(5);
    for (int patch = kFirstPatch; patch <= kLastPatch; ++patch)
        world.PatchWindow->SetPatchName(patch, QString(4000, QChar('x')));
    history.record("Huge");
    QCOMPARE(history.count(), 1);
    history.undo();
    QCOMPARE(world.PatchWindow->PatchName(5), fifth);
}

QTEST_MAIN(TestUndo)
#include "tst_undo.moc"
