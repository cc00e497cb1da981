#pragma once

#include "core/PatchBank.h"
#include "editors/MdiChild.h"

#include <QWidget>
#include <deque>

class QComboBox;
class QLabel;
class QSlider;
class PatchWriter;
struct EditorContext;

// A slider between two patches of the bank, A and B: each position writes the patch
// that far from A to B into the target, the patch the window was opened on until another
// is chosen in the window itself. A drag of the slider (or a run of key presses on it) is
// one step of the history; undoing or redoing it puts the slider back where the patch
// it restores stands.
class MorphWindow : public QWidget, public MdiChild {
    Q_OBJECT
public:
    static constexpr int kLargeStep = 10;

    // `target` is the patch the slider writes into; A is that patch, B the one after it.
    MorphWindow(EditorContext& context, PatchWriter& writer, int target, QWidget* parent = nullptr);

    QComboBox* PatchA = nullptr;
    QComboBox* PatchB = nullptr;
    QSlider* Position = nullptr;
    QLabel* PositionText = nullptr;
    QComboBox* Target = nullptr;

    QString tag() const override { return QStringLiteral("Morph"); }

    // The patch the slider writes into.
    int target() const;
    // Writes the patch at the slider's position (0..100) into the target.
    void Position_Change(int position);

private:
    // Where the slider stood for a patch it made: before a step's first position and at
    // its last, so that undo and redo can put it back.
    struct Mark {
        int Patch = 0;
        PatchValues Before{};
        int From = 0;
        PatchValues After{};
        int To = 0;
    };
    static constexpr std::size_t kMarks = 64;

    // A and B as the morph reads them. A side that is the target keeps the values it had
    // when it was chosen, so that the slider can always go back to them; the other side
    // follows the bank.
    void takeSources(bool chosen);
    void fillChoices();
    void markWrite(const PatchValues& before, const PatchValues& made, int position);
    // Puts the slider where the target's values stand, without writing.
    void followTarget();
    void showPosition(int position);

    EditorContext& m_context;
    PatchWriter& m_writer;
    PatchValues m_a{};
    PatchValues m_b{};
    bool m_writing = false;
    int m_position = 0;  // where the slider stood at the last write or move
    int m_markStep = -1; // the history's index after the write that the last mark belongs to
    std::deque<Mark> m_marks;
};
