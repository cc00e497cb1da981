#pragma once

#include "core/PatchBank.h"
#include "editors/MdiChild.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QSlider;
class PatchWriter;
struct EditorContext;

// A slider between two patches of the bank, A and B: each position writes the patch
// that far from A to B into the target, the patch selected in the patch list. A drag of
// the slider (or a run of key presses on it) is one step of the history.
class MorphWindow : public QWidget, public MdiChild {
    Q_OBJECT
public:
    static constexpr int kLargeStep = 10;

    MorphWindow(EditorContext& context, PatchWriter& writer, QWidget* parent = nullptr);

    QComboBox* PatchA = nullptr;
    QComboBox* PatchB = nullptr;
    QSlider* Position = nullptr;
    QLabel* PositionText = nullptr;
    QLabel* TargetText = nullptr;

    QString tag() const override { return QStringLiteral("Morph"); }

    // Writes the patch at the slider's position (0..100) into the target.
    void Position_Change(int position);

private:
    // A and B as the morph reads them. A side that is the target keeps the values it had
    // when it was chosen, so that the slider can always go back to them; the other side
    // follows the bank.
    void takeSources(bool chosen);
    void showTarget();

    EditorContext& m_context;
    PatchWriter& m_writer;
    PatchValues m_a{};
    PatchValues m_b{};
    bool m_writing = false;
};
