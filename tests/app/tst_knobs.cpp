#include "TestProgram.h"
#include "app/ControllerInput.h"
#include "editors/BankHistory.h"
#include "editors/NormalEdit.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTest>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kCutoff = 20; // a level of 0..63

// The program with thru and automatic update on, the keys as MIDI in, a varied bank and
// patch 7 selected; `controllers` go into the settings first.
struct Knobs : TestProgram {
    explicit Knobs(const std::vector<std::pair<QString, QString>>& controllers = {}) {
        store.writeKey("MIDI", "MIDIInPort", "Keys:out");
        store.writeKey("MIDI", "MIDIOutPort", "Synth:Bit 01 in");
        store.writeKey("MIDI", "MIDIThru", "Yes");
        store.writeKey("Update", "AutoUpdate", "Yes");
        for (const auto& [key, value] : controllers) store.writeKey("Controllers", key, value);
        start();
        code.PatchBank = variedBank(3);
        window.history().reset();
        list().selectPatchRow(7);
        backend.clearRecord();
    }
    // The messages arrive together, as one delivery.
    void play(const std::vector<Bytes>& messages) {
        for (const Bytes& m : messages) backend.receive(m);
        QTRY_COMPARE(ports.MIDIInput1.messageCount(), 0);
    }
    QString status() const { return window.Status->text(); }
    QString stored(int parameter) {
        for (const auto& [key, value] : store.readSection("Controllers"))
            if (key == QStringLiteral("P%1").arg(parameter)) return value;
        return {};
    }
    // The item of a control's right-click menu, nullptr for none; the menu stays open.
    QAction* item(EditorWindow& editor, QWidget* control, const QString& caption) {
        menu = editor.parameterMenu(control);
        for (QAction* a : menu->actions())
            if (a->text() == caption) return a;
        return nullptr;
    }
    void choose(EditorWindow& editor, QWidget* control, const QString& caption) {
        QAction* chosen = item(editor, control, caption);
        QVERIFY2(chosen, qPrintable("no item " + caption));
        chosen->trigger();
    }
    std::unique_ptr<QMenu> menu;
};

} // namespace

// Knobs playing parameters as the program runs: which patch they play, what goes on
// through thru, the steps of the history, learning and forgetting in the editors.
class TestKnobs : public QObject {
    Q_OBJECT
private slots:
    void knobPlaysThePatchWorkedOn_data();
    void knobPlaysThePatchWorkedOn();
    void aTurnIsOneStep();
    void learnForgetAndLearnAgain();
    void unreadableSettingsOneLine();
};

void TestKnobs::knobPlaysThePatchWorkedOn_data() {
    QTest::addColumn<int>("editor");      // patch whose editor is active, 0 for none
    QTest::addColumn<QString>("through"); // PassThrough
    QTest::addColumn<Bytes>("message");
    QTest::addColumn<int>("played");      // patch changed, 0 for none
    QTest::addColumn<int>("value");       // its parameter 20 afterwards
    QTest::addColumn<bool>("forwarded");
    const Bytes cc74{0xB2, 74, 127}; // channel 3
    QTest::newRow("selected patch, held from thru") << 0 << "No" << cc74 << 7 << 63 << false;
    QTest::newRow("active editor's patch") << 9 << "No" << cc74 << 9 << 63 << false;
    QTest::newRow("pass-through") << 0 << "Yes" << cc74 << 7 << 63 << true;
    QTest::newRow("rounded") << 0 << "No" << Bytes{0xB2, 74, 64} << 7 << 32 << false;
    QTest::newRow("other channel: unmapped") << 0 << "No" << Bytes{0xB3, 74, 127} << 0 << 0 << true;
    QTest::newRow("other controller") << 0 << "No" << Bytes{0xB2, 75, 127} << 0 << 0 << true;
    QTest::newRow("note") << 0 << "No" << Bytes{0x92, 74, 127} << 0 << 0 << true;
}

void TestKnobs::knobPlaysThePatchWorkedOn() {
    QFETCH(int, editor);
    QFETCH(QString, through);
    QFETCH(Bytes, message);
    QFETCH(int, played);
    QFETCH(int, value);
    QFETCH(bool, forwarded);
    Knobs p({{"P20", "3 cc 74 absolute"}, {"PassThrough", through}});
    if (editor != 0) {
        p.code.SelectedPatch = int16_t(editor);
        p.list().OpenPatchEditor(editor, Patch::NormalEditor);
        QVERIFY(QTest::qWaitForWindowActive(p.list().normalEditWindow(editor)->window()));
    }
    p.backend.clearRecord();
    const Bank before = p.code.PatchBank;
    p.play({message});
    for (int n = kFirstPatch; n <= kLastPatch; ++n)
        if (n != played) QVERIFY2(p.code.PatchBank.values(n) == before.values(n), qPrintable(QString::number(n)));
    std::vector<Bytes> sent = p.sent();
    if (forwarded) {
        QVERIFY(!sent.empty());
        QCOMPARE(sent.front(), message);
        sent.erase(sent.begin());
    }
    if (played == 0) {
        QVERIFY(sent.empty());
        QCOMPARE(p.window.history().count(), 0);
        return;
    }
    QCOMPARE(int(p.code.PatchBank(played, kCutoff)), value);
    // The patch goes out once, as for an edit, with its Program Change.
    QCOMPARE(sent.size(), std::size_t(2));
    QCOMPARE(sent[0].size(), std::size_t(80));
    QCOMPARE(sent[1][0], uint8_t(0xC0));
    QCOMPARE(p.window.history().undoText(), NormalEdit::parameterCaption(kCutoff));
    if (editor != 0) QCOMPARE(p.list().normalEditWindow(editor)->Slider[kCutoff]->value(), value);
}

// A knob turned without a pause is one step, whatever number of deliveries it took; a
// pause, another edit or another knob starts a new one.
void TestKnobs::aTurnIsOneStep() {
    Knobs p({{"P20", "1 cc 74 relative-64"}, {"P21", "1 cc 75 absolute"}});
    const BankHistory& history = p.window.history();
    const int start = p.code.PatchBank(7, kCutoff); // 45
    for (int turn = 0; turn < 5; ++turn) {
        p.play({{0xB0, 74, 66}, {0xB0, 74, 65}}); // 2 up and 1 up
        QTest::qWait(50);
    }
    QCOMPARE(int(p.code.PatchBank(7, kCutoff)), start + 15);
    QCOMPARE(history.count(), 1);
    QTest::qWait(BankHistory::kWheelPauseMs + 100);
    p.play({{0xB0, 74, 63}});
    QCOMPARE(history.count(), 2);
    p.play({{0xB0, 75, 0}});
    p.play({{0xB0, 74, 63}});
    QCOMPARE(history.count(), 4);
    // Both knobs in one delivery: one step naming both.
    p.play({{0xB0, 74, 63}, {0xB0, 75, 127}});
    QCOMPARE(history.count(), 5);
    QCOMPARE(history.undoText(),
             NormalEdit::parameterCaption(20) + ", " + NormalEdit::parameterCaption(21));
    p.window.history().undo();
    p.window.history().undo();
    p.window.history().undo();
    p.window.history().undo();
    QCOMPARE(int(p.code.PatchBank(7, kCutoff)), start + 15);
}

// Learning binds the next controller moved, which plays nothing while it is learnt; one
// controller plays one parameter, and forgetting it leaves the parameter alone.
void TestKnobs::learnForgetAndLearnAgain() {
    Knobs p;
    p.list().OpenPatchEditor(7, Patch::NormalEditor);
    NormalEdit& normal = *p.list().normalEditWindow(7);
    const QString cutoff = NormalEdit::parameterCaption(kCutoff);
    QVERIFY(!p.window.controllers().learning());
    p.choose(normal, normal.Slider[kCutoff], "MIDI Learn");
    QCOMPARE(p.status(),
             QString("Move a control on your MIDI device for %1\u2026 (Esc cancels)").arg(cutoff));
    const Bank before = p.code.PatchBank;
    p.play({{0x91, 60, 100}, {0xB3, 20, 5}}); // a note goes on, the knob is learnt
    QCOMPARE(p.sent(), (std::vector<Bytes>{{0x91, 60, 100}}));
    QVERIFY(p.code.PatchBank == before);
    QCOMPARE(p.stored(kCutoff), QString("4 cc 20 absolute"));
    QVERIFY(p.status().contains(cutoff));
    // The same knob learnt for a switch group, through another control of the group.
    p.choose(normal, normal.LFO_Type[53], "MIDI Learn");
    p.play({{0xB3, 20, 90}});
    QCOMPARE(p.stored(kCutoff), QString());
    QCOMPARE(p.stored(53), QString("4 cc 20 absolute"));
    QVERIFY(p.code.PatchBank == before);
    // An NRPN, then Escape ends the next learning with nothing bound.
    p.choose(normal, normal.Text[kCutoff], "MIDI Learn");
    p.play({{0xB0, 99, 2}, {0xB0, 98, 3}, {0xB0, 6, 64}});
    QCOMPARE(p.stored(kCutoff), QString("1 nrpn 259 absolute"));
    p.choose(normal, normal.Slider[21], "MIDI Learn");
    QTest::keyClick(normal.Slider[21], Qt::Key_Escape);
    QCOMPARE(p.status(), QString("MIDI Learn cancelled"));
    p.play({{0xB5, 1, 1}});
    QCOMPARE(p.stored(21), QString());
    QVERIFY(p.window.controllers().learning() == 0);

    const auto forget = [&](QWidget* control) { return p.item(normal, control, "Forget MIDI Control"); };
    QVERIFY(forget(normal.Slider[21]) && !forget(normal.Slider[21])->isEnabled());
    QVERIFY(forget(normal.LFO_Type[53])->isEnabled());
    forget(normal.LFO_Type[53])->trigger();
    QCOMPARE(p.stored(53), QString());
    QVERIFY(!forget(normal.LFO_Type[53])->isEnabled());
    p.backend.clearRecord();
    p.play({{0xB3, 20, 90}});
    QCOMPARE(p.sent(), (std::vector<Bytes>{{0xB3, 20, 90}})); // forwarded, plays nothing
}

// What cannot be read is passed over, told in one status-bar line; the rest plays.
void TestKnobs::unreadableSettingsOneLine() {
    Knobs p({{"P20", "1 cc 74 absolute"}, {"P21", "17 cc 1 absolute"}, {"P999", "1 cc 2 absolute"},
             {"P22", "1 cc 74 absolute"}, {"PassThrough", "Maybe"}});
    QCOMPARE(p.status(), QString("4 controller settings could not be read and are ignored"));
    p.play({{0xB0, 74, 0}});
    QCOMPARE(int(p.code.PatchBank(7, kCutoff)), 0);
}

QTEST_MAIN(TestKnobs)
#include "tst_knobs.moc"
