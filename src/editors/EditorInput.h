#pragma once

#include "core/NumberText.h"
#include "core/PatchBank.h"
#include "core/QuenlorCode.h"
#include "core/ScopedFlag.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QString>
#include <limits>

// What the two editors share in reading their input: typed characters, window tags and
// pasted names.
namespace EditorInput {

inline constexpr int kNoCharacter = -1;
inline constexpr int kBackspace = 8;
inline constexpr int kEnter = 13;
// Codes from here on (":" and everything after the digit 9) are refused by value boxes.
inline constexpr int kFirstRefused = 58;
inline constexpr int kDelete = 127;

// The character a key press types, as its code, or kNoCharacter for a key that types
// nothing (arrows, Delete, Shift). Enter counts as code 13 from either Enter key.
inline int typedCharacter(const QKeyEvent& event) {
    if (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter) return kEnter;
    // Ctrl with a letter types control code 1..26 (Ctrl+V is 22), whatever text the
    // platform attaches to the key.
    if ((event.modifiers() & Qt::ControlModifier) && event.key() >= Qt::Key_A &&
        event.key() <= Qt::Key_Z)
        return event.key() - Qt::Key_A + 1;
    const QString text = event.text();
    if (text.isEmpty()) return kNoCharacter;
    const int code = text.at(0).unicode();
    // Delete edits the box but types no character.
    return code == kDelete ? kNoCharacter : code;
}

// Text that an input method or a dead key commits into a value box passes the rule of
// typed keys: characters from code 58 on are dropped, the others go in. True when any
// character was dropped, for the caller to beep.
inline bool dropRefusedCharacters(QInputMethodEvent& event) {
    const QString committed = event.commitString();
    QString kept;
    for (const QChar c : committed)
        if (c.unicode() < kFirstRefused) kept += c;
    if (kept.size() == committed.size()) return false;
    event.setCommitString(kept, event.replacementStart(), event.replacementLength());
    return true;
}

// The patch number a window tag holds, or 0 when it holds none (or no valid patch).
inline int patchFromTag(const QString& tag) {
    const int patch = NumberText::readInt16(tag.toStdString()).value_or(0);
    return patch >= kFirstPatch && patch <= kLastPatch ? patch : 0;
}

// A name never holds a line break: it would split the name's line in a bank or patch
// file. Each CR and LF becomes a blank, so the text keeps its length and caret positions.
inline bool hasLineBreak(const QString& text) {
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}
inline QString withoutLineBreaks(QString text) {
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

// Runs a name box's change handling for every change of its text. A pasted line break
// becomes a blank first; that rewrite changes the text again and runs the handling.
// A name has no length limit: a box that cut it would write the cut name into the list
// row, and from there into the next save.
template <typename Handler>
void connectNameBox(QLineEdit* box, QObject* context, Handler onChange) {
    box->setMaxLength(std::numeric_limits<int>::max());
    QObject::connect(box, &QLineEdit::textChanged, context, [box, onChange](const QString& text) {
        if (hasLineBreak(text)) {
            const int caret = box->cursorPosition();
            box->setText(withoutLineBreaks(text));
            box->setCursorPosition(caret);
            return;
        }
        onChange();
    });
}

// Keeps automatic sending off while an editor copies bank values into its controls;
// the editor is ready again afterwards, however the copying ends.
class SendingHeld : public ScopedFlag<int16_t> {
public:
    explicit SendingHeld(QuenlorCode& code) : ScopedFlag(code.EditorReady, kOff, kOn) {}
};

} // namespace EditorInput
