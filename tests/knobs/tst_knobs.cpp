#include "support/TestProgram.h"
#include "editors/BankHistory.h"
#include "editors/NormalEdit.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kCutoff = 20; // a level of 0..63

// The program with thru and automatic update on, the keys as MIDI in, a varied bank and
// patch 7 selected; `controllers` go into the settings first.
struct Knobs : TestProgram {
    explicit Knobs(const QStringList& controllers = {}) {
        store.writeKey("MIDI", "MIDIInPort", "Keys:out");
        store.writeKey("MIDI", "MIDIOutPort", "Synth:Bit 01 in");
        store.writeKey("MIDI", "MIDIThru", "Yes");
        store.writeKey("Update", "AutoUpdate", "Yes");
        for (const QString& line : controllers)
            store.writeKey("Controllers", line.section('=', 0, 0), line.section('=', 1));
        start();
        code.PatchBank = variedBank(3);
        window.history().reset();
        list().selectPatchRow(7);
        backend.clearRecord();
    }
    // The messages arrive together, as one delivery.
    void play(const std::vector<Bytes>& messages) {
        for (const Bytes& m : messages)
            backend.receive(m);
        QTRY_COMPARE(ports.MIDIInput1.messageCount(), 0);
    }
    QString stored(int parameter) {
        for (const auto& [key, value] : store.readSection("Controllers"))
            if (key == QStringLiteral("P%1").arg(parameter)) return value;
        return {};
    }
    // The item of a control's right-click menu; the menu stays open.
    QAction* item(QWidget* control, const QString& caption) {
        menu = list().normalEditWindow(7)->parameterMenu(control);
        for (QAction* a : menu->actions())
            if (a->text() == caption) return a;
        return nullptr;
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
    void nrpnSelectionHeldFromThru_data();
    void nrpnSelectionHeldFromThru();
};

void TestKnobs::knobPlaysThePatchWorkedOn_data() {
    QTest::addColumn<int>("editor");      // patch whose editor is active, 0 for none
    QTest::addColumn<QString>("through"); // PassThrough
    QTest::addColumn<Bytes>("message");
    QTest::addColumn<int>("played"); // patch changed, 0 for none
    QTest::addColumn<bool>("forwarded");
    const Bytes cc74{0xB2, 74, 127}; // channel 3
    QTest::newRow("selected patch, held from thru") << 0 << "No" << cc74 << 7 << false;
    QTest::newRow("active editor's patch") << 9 << "No" << cc74 << 9 << false;
    QTest::newRow("pass-through") << 0 << "Yes" << cc74 << 7 << true;
    QTest::newRow("other channel: unmapped") << 0 << "No" << Bytes{0xB3, 74, 127} << 0 << true;
}

void TestKnobs::knobPlaysThePatchWorkedOn() {
    QFETCH(int, editor);
    QFETCH(QString, through);
    QFETCH(Bytes, message);
    QFETCH(int, played);
    QFETCH(bool, forwarded);
    Knobs p({"P20=3 cc 74 absolute", "PassThrough=" + through});
    if (editor != 0) {
        p.code.SelectedPatch = int16_t(editor);
        p.list().OpenPatchEditor(editor, Patch::NormalEditor);
        QVERIFY(QTest::qWaitForWindowActive(p.list().normalEditWindow(editor)->window()));
    }
    p.backend.clearRecord();
    const Bank before = p.code.PatchBank;
    // The patch is on its way before the history, and the windows that follow it, take
    // their turn.
    int dumpsAtTheStep = -1;
    QObject::connect(&p.window.history(), &BankHistory::changed, &p.window,
                     [&] { dumpsAtTheStep = p.dumps(); });
    p.play({message});
    for (int n = kFirstPatch; n <= kLastPatch; ++n)
        if (n != played) QVERIFY(p.code.PatchBank.values(n) == before.values(n));
    std::vector<Bytes> sent = p.sent();
    QCOMPARE(!sent.empty() && sent.front() == message, forwarded);
    if (forwarded) sent.erase(sent.begin());
    // The patch goes out once, as for an edit, with its Program Change.
    QCOMPARE(sent.size(), std::size_t(played ? 2 : 0));
    QCOMPARE(p.window.history().count(), played ? 1 : 0);
    if (played == 0) return;
    QCOMPARE(int(p.code.PatchBank(played, kCutoff)), 63);
    QCOMPARE(dumpsAtTheStep, 1);
    QVERIFY(sent[0].size() == 80 && sent[1][0] == 0xC0);
    if (editor != 0) QCOMPARE(p.list().normalEditWindow(editor)->Slider[kCutoff]->value(), 63);
}

// A knob turned without a pause is one step, whatever number of deliveries it took; a
// pause or another knob starts a new one.
void TestKnobs::aTurnIsOneStep() {
    Knobs p({"P20=1 cc 74 relative-64", "P21=1 cc 75 absolute"});
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
    // Another knob starts a new step; both knobs in one delivery are one step naming both.
    p.play({{0xB0, 75, 0}});
    p.play({{0xB0, 74, 63}, {0xB0, 75, 127}});
    QCOMPARE(history.count(), 4);
    QCOMPARE(history.undoText(),
             NormalEdit::parameterCaption(20) + ", " + NormalEdit::parameterCaption(21));
    for (int step = 0; step < 3; ++step)
        p.window.history().undo();
    QCOMPARE(int(p.code.PatchBank(7, kCutoff)), start + 15);
}

// Learning binds the next controller moved, which plays nothing while it is learnt; one
// controller plays one parameter, and forgetting it leaves the parameter alone.
void TestKnobs::learnForgetAndLearnAgain() {
    // What cannot be read is passed over, told in one status-bar line; the rest plays.
    // So is what could never play: the messages that select and carry NRPNs and RPNs as
    // plain controllers, the null NRPN, and an empty line.
    Knobs p({"P22=17 cc 1 absolute", "P999=1 cc 2 absolute", "PassThrough=Maybe",
             "P3=1 nrpn 16384 absolute", "P4=1 cc 99999999999999 absolute", "P5=1 cc 7 Absolute",
             "P6=1 cc 8 absolute x", "Px=1 cc 9 absolute", "P60=  16   nrpn 16382 relative-twos ",
             "P61=16 nrpn 16382 absolute", "P12=", "P40=1 cc 6 absolute", "P41=2 cc 38 absolute",
             "P42=3 cc 98 relative-64", "P43=4 cc 99 absolute", "P44=5 cc 100 absolute",
             "P45=6 cc 101 absolute", "P46=1 nrpn 16383 absolute"});
    QCOMPARE(p.window.Status->text(),
             QString("17 controller settings could not be read and are ignored"));
    QCOMPARE(p.code.Controllers.parameters(), std::vector<int>{60});
    p.list().OpenPatchEditor(7, Patch::NormalEditor);
    NormalEdit& normal = *p.list().normalEditWindow(7);
    p.item(normal.Slider[kCutoff], "MIDI Learn")->trigger();
    QCOMPARE(p.window.Status->text(), "Move a control on your MIDI device for " +
                                          NormalEdit::parameterCaption(kCutoff) +
                                          "\u2026 (Esc cancels)");
    p.play({{0x91, 60, 100}, {0xB3, 20, 5}}); // a note goes on, the knob is learnt
    QCOMPARE(p.sent(), (std::vector<Bytes>{{0x91, 60, 100}}));
    QCOMPARE(p.stored(kCutoff), QString("4 cc 20 absolute"));
    // The same knob learnt for a switch group, through another control of the group.
    p.item(normal.LFO_Type[53], "MIDI Learn")->trigger();
    p.play({{0xB3, 20, 90}});
    QCOMPARE(p.stored(kCutoff), QString());
    QCOMPARE(p.stored(53), QString("4 cc 20 absolute"));
    // An NRPN from a value box's menu, then Escape ends the next learning with nothing bound.
    p.item(normal.Text[kCutoff], "MIDI Learn")->trigger();
    p.play({{0xB0, 99, 2}, {0xB0, 98, 3}, {0xB0, 6, 64}});
    QCOMPARE(p.stored(kCutoff), QString("1 nrpn 259 absolute"));
    p.item(normal.Slider[21], "MIDI Learn")->trigger();
    QTest::keyClick(normal.Slider[21], Qt::Key_Escape);
    QCOMPARE(p.window.Status->text(), QString("MIDI Learn cancelled"));
    p.play({{0xB5, 1, 1}});
    QCOMPARE(p.stored(21), QString());

    // The last of the parameter's commands; forgetting leaves the parameter as it is.
    QAction* forget = p.item(normal.Slider[21], "Forget MIDI Control");
    const QList<QAction*> items = p.menu->actions();
    QVERIFY(!forget->isEnabled() && forget == items.last() &&
            items[items.size() - 3]->isSeparator());
    p.item(normal.LFO_Type[53], "Forget MIDI Control")->trigger();
    QCOMPARE(p.stored(53), QString());
    QVERIFY(!p.item(normal.LFO_Type[53], "Forget MIDI Control")->isEnabled());
}

// A played NRPN's selection (CC 99, 98) is kept from thru with its value; the selection
// of any other NRPN goes on whole and in order, at the latest with what reads it. Each
// message comes in a delivery of its own, the hardest case.
void TestKnobs::nrpnSelectionHeldFromThru_data() {
    QTest::addColumn<QString>("through");
    QTest::addColumn<std::vector<Bytes>>("messages");
    QTest::addColumn<std::vector<Bytes>>("forwarded");
    const Bytes select99{0xB2, 99, 2}, select98{0xB2, 98, 3}, value{0xB2, 6, 64};
    const Bytes other98{0xB2, 98, 4}, null99{0xB2, 99, 127}, null98{0xB2, 98, 127};
    const Bytes plain{0xB2, 6, 5}, volume{0xB2, 7, 100};
    using List = std::vector<Bytes>;
    QTest::newRow("played NRPN: nothing goes on") << "No" << List{select99, select98, value} << List{};
    QTest::newRow("pass-through: all goes on")
        << "Yes" << List{select99, select98, value} << List{select99, select98, value};
    QTest::newRow("another NRPN, sharing the upper half")
        << "No" << List{select99, other98, value} << List{select99, other98, value};
    QTest::newRow("a controller between goes at once")
        << "No" << List{select99, volume, other98, value} << List{volume, select99, other98, value};
    QTest::newRow("null selection, then plain data entry")
        << "No" << List{select99, select98, value, null99, null98, plain} << List{null99, null98, plain};
    QTest::newRow("an RPN after a selection")
        << "No" << List{select99, {0xB2, 101, 0}, {0xB2, 100, 0}, plain}
        << List{select99, {0xB2, 101, 0}, {0xB2, 100, 0}, plain};
    QTest::newRow("another channel") << "No" << List{{0xB3, 99, 2}, {0xB3, 98, 3}, {0xB3, 6, 64}}
                                     << List{{0xB3, 99, 2}, {0xB3, 98, 3}, {0xB3, 6, 64}};
}

void TestKnobs::nrpnSelectionHeldFromThru() {
    QFETCH(QString, through);
    QFETCH(std::vector<Bytes>, messages);
    QFETCH(std::vector<Bytes>, forwarded);
    Knobs p({"P20=3 nrpn 259 absolute", "PassThrough=" + through});
    for (const Bytes& m : messages) p.play({m});
    std::vector<Bytes> sent;
    for (const Bytes& m : p.sent())
        if (m.size() == 3) sent.push_back(m);
    QCOMPARE(sent, forwarded);
    // NRPN 259 at 64 << 7 plays the level 32 of 0..63.
    const bool played = std::find(messages.begin(), messages.end(), Bytes{0xB2, 98, 3}) != messages.end();
    QCOMPARE(int(p.code.PatchBank(7, kCutoff)), played ? 32 : int(variedBank(3)(7, kCutoff)));
}

QTEST_MAIN(TestKnobs)
#include "tst_knobs.moc"
