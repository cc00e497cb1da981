#pragma once

#include "editors/Audition.h"
#include "core/PatchBank.h"
#include "editors/MdiChild.h"

#include <QWidget>
#include <array>
#include <deque>

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;
class PatchWriter;
struct EditorContext;

// Sixteen variations of a patch in a 4 x 4 grid, bred generation by generation from the
// ones marked as parents. Selecting a variation auditions it: it is sent, the bank left
// as it is, and the test note plays. Keep puts it into the target, the patch the window
// was opened on until another is chosen in the window itself, whose locked parameters
// keep their own values. In the grid the arrows move, Space auditions, M marks and Enter
// keeps.
class BreedWindow : public QWidget, public MdiChild {
    Q_OBJECT
public:
    static constexpr int kColumns = 4;
    static constexpr int kVariations = kColumns * kColumns;
    static constexpr int kKeptGenerations = 10;
    static constexpr int kFirstAmount = 10;
    static constexpr int kAuditionNoteMs = 800;

    // The variations are of `target`, the patch Keep writes into.
    BreedWindow(EditorContext& context, PatchWriter& writer, int target, QWidget* parent = nullptr);
    ~BreedWindow() override;

    QTableWidget* Grid = nullptr;
    QSpinBox* Amount = nullptr;
    QLabel* GenerationText = nullptr;
    QPushButton* AuditionButton = nullptr;
    QPushButton* MarkButton = nullptr;
    QPushButton* KeepButton = nullptr;
    QPushButton* PreviousButton = nullptr;
    QPushButton* NextButton = nullptr;
    QPushButton* StartOverButton = nullptr;
    QComboBox* Target = nullptr;

    QString tag() const override { return QStringLiteral("Breed"); }

    const PatchValues& variation(int index) const { return shown().Variations.at(index); }
    bool isMarked(int index) const { return shown().Marked.at(index); }
    // The selected variation, -1 with none.
    int selectedVariation() const;
    void selectVariation(int index);
    // The shown generation, counted from 1 among those kept, and how many are kept.
    int generation() const { return static_cast<int>(m_shown) + 1; }
    int generations() const { return static_cast<int>(m_generations.size()); }
    // The patch Keep writes into.
    int target() const;

    void audition();
    // Marks the selected variation as a parent, or unmarks it; at most three are marked.
    void toggleMark();
    void nextGeneration();
    void previousGeneration();
    void keep();
    // Sixteen variations of the target, as a new generation.
    void startOver();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Generation {
        std::array<PatchValues, kVariations> Variations{};
        std::array<bool, kVariations> Marked{};
    };
    const Generation& shown() const { return m_generations.at(m_shown); }
    void addGeneration(const Generation& generation);
    void showGeneration();

    EditorContext& m_context;
    PatchWriter& m_writer;
    std::deque<Generation> m_generations;
    std::size_t m_shown = 0;
    Audition m_audition;
    bool m_filling = false;
};
