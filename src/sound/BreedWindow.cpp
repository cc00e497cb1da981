#include "BreedWindow.h"

#include "editors/PatchWriter.h"
#include "core/QuenlorCode.h"
#include "core/ScopedFlag.h"
#include "core/SoundRules.h"
#include "desktop/Desktop.h"
#include "editors/BankHistory.h"
#include "editors/EditorContext.h"
#include "editors/LockedParameters.h"
#include "editors/Patch.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QTableWidget>
#include <algorithm>

namespace {
QPushButton* button(const char* caption, const char* name, QWidget* parent) {
    auto* b = new QPushButton(QLatin1String(caption), parent);
    b->setObjectName(QLatin1String(name));
    return b;
}
} // namespace

BreedWindow::BreedWindow(EditorContext& context, PatchWriter& writer, int target, QWidget* parent)
    : QWidget(parent), m_context(context), m_writer(writer),
      m_audition(context.Code, kAuditionNoteMs) {
    setWindowTitle(QStringLiteral("Breed"));
    setObjectName(QStringLiteral("Breed"));
    Grid = new QTableWidget(kColumns, kColumns, this);
    Grid->setObjectName(QStringLiteral("Grid"));
    Grid->setAccessibleName(QStringLiteral("Variations"));
    Grid->horizontalHeader()->hide();
    Grid->verticalHeader()->hide();
    Grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Grid->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->setSelectionMode(QAbstractItemView::SingleSelection);
    Grid->setTabKeyNavigation(false);
    Grid->installEventFilter(this);
    for (int i = 0; i < kVariations; ++i) {
        auto* cell = new QTableWidgetItem;
        cell->setTextAlignment(Qt::AlignCenter);
        cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        Grid->setItem(i / kColumns, i % kColumns, cell);
    }

    Amount = new QSpinBox(this);
    Amount->setObjectName(QStringLiteral("Amount"));
    Amount->setRange(1, SoundRules::kMostPercent);
    Amount->setSuffix(QStringLiteral(" %"));
    Amount->setValue(kFirstAmount);
    auto* amountLabel = new QLabel(QStringLiteral("Mutation amo&unt:"), this);
    amountLabel->setBuddy(Amount);
    GenerationText = new QLabel(this);
    GenerationText->setObjectName(QStringLiteral("GenerationText"));
    AuditionButton = button("&Audition", "AuditionButton", this);
    MarkButton = button("&Mark as Parent", "MarkButton", this);
    KeepButton = button("&Keep", "KeepButton", this);
    PreviousButton = button("&Previous Generation", "PreviousButton", this);
    NextButton = button("&Next Generation", "NextButton", this);
    StartOverButton = button("Start &Over", "StartOverButton", this);
    KeepButton->setAccessibleDescription(
        QStringLiteral("Puts the selected variation into the target patch"));
    Target = new QComboBox(this);
    Target->setObjectName(QStringLiteral("Target"));
    Target->setAccessibleDescription(
        QStringLiteral("The patch the variations come from and Keep writes into"));
    auto* targetLabel = new QLabel(QStringLiteral("Tar&get:"), this);
    targetLabel->setBuddy(Target);
    m_context.PatchWindow->fillChoice(*Target);
    Target->setCurrentIndex((target >= kFirstPatch && target <= kLastPatch ? target : kFirstPatch) - 1);

    auto* layout = new QGridLayout(this);
    layout->addWidget(Grid, 0, 0, 1, 3);
    layout->addWidget(GenerationText, 1, 0, 1, 3);
    layout->addWidget(AuditionButton, 2, 0);
    layout->addWidget(MarkButton, 2, 1);
    layout->addWidget(KeepButton, 2, 2);
    layout->addWidget(PreviousButton, 3, 0);
    layout->addWidget(NextButton, 3, 1);
    layout->addWidget(StartOverButton, 3, 2);
    layout->addWidget(amountLabel, 4, 0);
    layout->addWidget(Amount, 4, 1);
    layout->addWidget(targetLabel, 5, 0);
    layout->addWidget(Target, 5, 1, 1, 2);
    layout->setRowStretch(0, 1);

    connect(Grid, &QTableWidget::currentCellChanged, this, [this] {
        if (!m_filling) audition();
    });
    connect(AuditionButton, &QPushButton::clicked, this, &BreedWindow::audition);
    connect(MarkButton, &QPushButton::clicked, this, &BreedWindow::toggleMark);
    connect(KeepButton, &QPushButton::clicked, this, &BreedWindow::keep);
    connect(PreviousButton, &QPushButton::clicked, this, &BreedWindow::previousGeneration);
    connect(NextButton, &QPushButton::clicked, this, &BreedWindow::nextGeneration);
    connect(StartOverButton, &QPushButton::clicked, this, &BreedWindow::startOver);
    // A renamed patch keeps its name in the choice.
    if (m_context.History)
        connect(m_context.History, &BankHistory::changed, this,
                [this] { m_context.PatchWindow->fillChoice(*Target); });
    startOver();
}

BreedWindow::~BreedWindow() = default;

int BreedWindow::target() const { return Target->currentIndex() + 1; }

int BreedWindow::selectedVariation() const {
    const QTableWidgetItem* cell = Grid->currentItem();
    return cell && cell->isSelected() ? cell->row() * kColumns + cell->column() : -1;
}

void BreedWindow::selectVariation(int index) {
    Grid->setCurrentCell(index / kColumns, index % kColumns);
}

void BreedWindow::startOver() {
    const ParameterLocks& locks = m_context.Locks->locks();
    const PatchValues base = m_context.Code.PatchBank.values(target());
    SoundRandom random(QRandomGenerator::global()->generate64());
    Generation first;
    for (PatchValues& variation : first.Variations)
        variation = SoundRules::mutatePatch(base, Amount->value(), locks, random);
    addGeneration(first);
}

void BreedWindow::nextGeneration() {
    std::vector<PatchValues> parents;
    for (int i = 0; i < kVariations; ++i)
        if (isMarked(i)) parents.push_back(variation(i));
    if (parents.empty()) {
        m_context.Desk.beep();
        return;
    }
    const ParameterLocks& locks = m_context.Locks->locks();
    const PatchValues base = m_context.Code.PatchBank.values(target());
    SoundRandom random(QRandomGenerator::global()->generate64());
    Generation next;
    for (PatchValues& child : next.Variations)
        child = SoundRules::breedChild(parents, base, Amount->value(), locks, random);
    addGeneration(next);
}

// A generation bred from an earlier one replaces those that came after it.
void BreedWindow::addGeneration(const Generation& generation) {
    if (!m_generations.empty()) m_generations.erase(m_generations.begin() + m_shown + 1, m_generations.end());
    m_generations.push_back(generation);
    if (m_generations.size() > kKeptGenerations) m_generations.pop_front();
    m_shown = m_generations.size() - 1;
    showGeneration();
}

void BreedWindow::previousGeneration() {
    if (m_shown == 0) {
        m_context.Desk.beep();
        return;
    }
    --m_shown;
    showGeneration();
}

void BreedWindow::showGeneration() {
    const ScopedFlag<bool> filling(m_filling, true);
    int marked = 0;
    for (int i = 0; i < kVariations; ++i) {
        QTableWidgetItem* cell = Grid->item(i / kColumns, i % kColumns);
        // Marked by a word and in bold, not by colour alone.
        cell->setText(isMarked(i) ? QStringLiteral("%1 parent").arg(i + 1) : QString::number(i + 1));
        QFont font = cell->font();
        font.setBold(isMarked(i));
        cell->setFont(font);
        marked += isMarked(i);
    }
    GenerationText->setText(QStringLiteral("Generation %1 of %2, %3 of %4 parents marked")
                                .arg(generation())
                                .arg(generations())
                                .arg(marked)
                                .arg(SoundRules::kMostParents));
    if (selectedVariation() < 0) selectVariation(0);
}

void BreedWindow::toggleMark() {
    const int index = selectedVariation();
    Generation& current = m_generations.at(m_shown);
    const int marked = static_cast<int>(std::count(current.Marked.begin(), current.Marked.end(), true));
    if (index < 0 || (!current.Marked[index] && marked >= SoundRules::kMostParents)) {
        m_context.Desk.beep();
        return;
    }
    current.Marked[index] = !current.Marked[index];
    showGeneration();
}

void BreedWindow::audition() {
    const int index = selectedVariation();
    if (index < 0) return;
    m_audition.play(variation(index));
}

// The variation's locked parameters came from the patch it was bred from; the target
// keeps its own.
void BreedWindow::keep() {
    const int index = selectedVariation();
    if (index < 0) {
        m_context.Desk.beep();
        return;
    }
    const int patch = target();
    const PatchValues kept = SoundRules::keepLocked(
        variation(index), m_context.Code.PatchBank.values(patch), m_context.Locks->locks());
    m_writer.write(patch, kept, QStringLiteral("Keep Variation"));
}

bool BreedWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Grid && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & ~Qt::KeypadModifier) return false;
        switch (key->key()) {
        case Qt::Key_Space: audition(); return true;
        case Qt::Key_M: toggleMark(); return true;
        case Qt::Key_Return:
        case Qt::Key_Enter: keep(); return true;
        default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
