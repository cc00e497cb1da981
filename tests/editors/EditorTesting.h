#pragma once

#include "editors/Bit01Edit.h"
#include "editors/NormalEdit.h"
#include "editors/Patch.h"
#include "support/EditorWorld.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

// What the editor tests do again and again: open an editor as the patch list does, type
// into a box as the user does, refresh as a file read does, and tell sent dumps apart.
namespace EditorTesting {

inline NormalEdit* openNormal(EditorWorld& world, int patch) {
    world.openEditor(patch, Patch::NormalEditor);
    return world.PatchWindow->normalEditWindow(patch);
}

inline Bit01Edit* openBit01(EditorWorld& world, int patch) {
    world.openEditor(patch, Patch::Bit01Editor);
    return world.PatchWindow->bit01EditWindow(patch);
}

// The box gets the focus (which selects its text) and the characters are typed one by
// one, each through the window's key handling.
inline void typeInto(QLineEdit* box, const QString& text) {
    // Focus moves, and the boxes see it, only in the active window.
    QVERIFY(QTest::qWaitForWindowActive(box->window()));
    box->setFocus(Qt::TabFocusReason);
    box->selectAll();
    QTest::keyClicks(box, text);
}

// Text committed by an input method or a dead key, and what a value box of either
// editor holding "0" shows and beeps afterwards: committed, shown, beeps.
inline void inputMethodRows() {
    QTest::addColumn<QString>("committed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("beeps");
    QTest::newRow("letter") << "x" << "0" << 1;
    QTest::newRow("accented letter") << QString::fromUtf8("\u00e9") << "0" << 1;
    QTest::newRow("digit") << "5" << "5" << 0;
    QTest::newRow("digit and letter") << "5x" << "5" << 1;
}

// One row of inputMethodRows on a value box that holds "0": commits the row's text over
// it, as an input method does, and checks what the box shows and the beeps.
inline void checkInputMethodCommit(EditorWorld& world, QLineEdit* box) {
    QFETCH(QString, committed);
    QFETCH(QString, shown);
    QFETCH(int, beeps);
    QCOMPARE(box->text(), QString("0"));
    box->selectAll();
    QInputMethodEvent event;
    event.setCommitString(committed);
    QApplication::sendEvent(box, &event);
    QCOMPARE(box->text(), shown);
    QCOMPARE(world.Desk.Beeps, beeps);
    QCOMPARE(world.Desk.BeepedAt, QList<const QWidget*>(beeps, box));
}

// What reading a file into a patch does to its open editor.
inline void refreshEditor(EditorWorld& world, int patch) {
    EditorWindow* editor = world.PatchWindow->openEditor(patch);
    world.Code.RefreshPending = kOn;
    if (editor) editor->repaintNow();
    world.Code.RefreshPending = kOff;
}

// The dump the patch encodes to as the bank holds it now (header byte aside).
inline RecordingSink::Bytes dumpOf(const QuenlorCode& code, int patch) {
    QuenlorCode copy = code;
    RecordingSink sink;
    copy.Midi = &sink;
    copy.SendPatch(patch);
    return sink.Messages.front();
}

// The dumps among the messages sent, in order.
inline QList<RecordingSink::Bytes> dumps(const RecordingSink& midi) {
    QList<RecordingSink::Bytes> found;
    for (const RecordingSink::Bytes& m : midi.Messages)
        if (!m.empty() && m[0] == 0xF0) found << m;
    return found;
}

// Gives every patch a dump of its own (parameter 8 holds the patch number), so that a
// dump sent tells which patch it was.
inline void markPatches(QuenlorCode& code) {
    for (int n = kFirstPatch; n <= kLastPatch; ++n)
        code.PatchBank(n, 8) = static_cast<int16_t>(n % 64);
}

inline QList<int> sentPatches(const EditorWorld& world) {
    QList<int> patches;
    for (const RecordingSink::Bytes& dump : dumps(world.Midi))
        for (int n = kFirstPatch; n <= kLastPatch; ++n)
            if (dump == dumpOf(world.Code, n)) {
                patches << n;
                break;
            }
    return patches;
}

// The controls that the Tab key visits from the given one on, in order, count of them
// (the given one first). The window must be the active one.
inline QList<QWidget*> tabOrder(QWidget* from, int count) {
    from->setFocus(Qt::OtherFocusReason);
    QList<QWidget*> order;
    for (int k = 0; k < count && QApplication::focusWidget(); ++k) {
        order << QApplication::focusWidget();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    return order;
}

} // namespace EditorTesting
