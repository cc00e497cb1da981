#include "MorphWindow.h"

#include "editors/PatchWriter.h"
#include "core/QuenlorCode.h"
#include "core/ScopedFlag.h"
#include "core/SoundRules.h"
#include "editors/BankHistory.h"
#include "editors/EditorContext.h"
#include "editors/LockedParameters.h"
#include "editors/Patch.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <cstdlib>

namespace {
const ParameterLocks& locksOf(const EditorContext& context) {
    static const ParameterLocks none;
    return context.Locks ? context.Locks->locks() : none;
}
} // namespace

MorphWindow::MorphWindow(EditorContext& context, PatchWriter& writer, int target, QWidget* parent)
    : QWidget(parent), m_context(context), m_writer(writer) {
    setWindowTitle(QStringLiteral("Morph"));
    setObjectName(QStringLiteral("Morph"));
    // Opaque: a move of the slider repaints the window's own controls, not the frame and
    // title around it.
    setAutoFillBackground(true);
    PatchA = new QComboBox(this);
    PatchA->setObjectName(QStringLiteral("PatchA"));
    PatchB = new QComboBox(this);
    PatchB->setObjectName(QStringLiteral("PatchB"));
    auto* labelA = new QLabel(QStringLiteral("Patch &A:"), this);
    labelA->setBuddy(PatchA);
    auto* labelB = new QLabel(QStringLiteral("Patch &B:"), this);
    labelB->setBuddy(PatchB);
    Position = new QSlider(Qt::Horizontal, this);
    Position->setObjectName(QStringLiteral("Position"));
    Position->setRange(0, SoundRules::kMostPercent);
    Position->setSingleStep(1);
    Position->setPageStep(kLargeStep);
    Position->setAccessibleName(QStringLiteral("Position from A to B"));
    auto* positionLabel = new QLabel(QStringLiteral("Posi&tion:"), this);
    positionLabel->setBuddy(Position);
    // As wide as its widest text, and fixed: a new position then repaints the label alone
    // rather than laying out the whole window again, many times a second.
    PositionText = new QLabel(QStringLiteral("100 %"), this);
    PositionText->setObjectName(QStringLiteral("PositionText"));
    PositionText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    PositionText->setFixedSize(PositionText->sizeHint());
    Target = new QComboBox(this);
    Target->setObjectName(QStringLiteral("Target"));
    Target->setAccessibleDescription(QStringLiteral("The patch the slider writes into"));
    auto* targetLabel = new QLabel(QStringLiteral("Tar&get:"), this);
    targetLabel->setBuddy(Target);

    auto* layout = new QGridLayout(this);
    layout->addWidget(labelA, 0, 0);
    layout->addWidget(PatchA, 0, 1, 1, 2);
    layout->addWidget(labelB, 1, 0);
    layout->addWidget(PatchB, 1, 1, 1, 2);
    layout->addWidget(positionLabel, 2, 0);
    layout->addWidget(Position, 2, 1);
    layout->addWidget(PositionText, 2, 2);
    layout->addWidget(targetLabel, 3, 0);
    layout->addWidget(Target, 3, 1, 1, 2);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(4, 1);

    // From the target to the patch after it, as Compare starts: the slider starts at the
    // target itself.
    const int first = target >= kFirstPatch && target <= kLastPatch ? target : kFirstPatch;
    fillChoices();
    PatchA->setCurrentIndex(first - 1);
    PatchB->setCurrentIndex(first < kLastPatch ? first : first - 2);
    Target->setCurrentIndex(first - 1);
    takeSources(true);
    showPosition(0);

    connect(PatchA, &QComboBox::currentIndexChanged, this, [this] { takeSources(true); });
    connect(PatchB, &QComboBox::currentIndexChanged, this, [this] { takeSources(true); });
    connect(Target, &QComboBox::currentIndexChanged, this, [this] {
        takeSources(true);
        m_markStep = -1;
        followTarget();
    });
    connect(Position, &QSlider::valueChanged, this, &MorphWindow::Position_Change);
    if (m_context.History)
        connect(m_context.History, &BankHistory::changed, this, [this] {
            if (m_writing) return;
            fillChoices();
            takeSources(false);
            m_markStep = -1; // the next write is a step of its own
            followTarget();
        });
}

int MorphWindow::target() const { return Target->currentIndex() + 1; }

void MorphWindow::fillChoices() {
    for (QComboBox* choice : {PatchA, PatchB, Target}) m_context.PatchWindow->fillChoice(*choice);
}

void MorphWindow::takeSources(bool chosen) {
    const Bank& bank = m_context.Code.PatchBank;
    const int a = PatchA->currentIndex() + 1;
    const int b = PatchB->currentIndex() + 1;
    if (chosen || a != target()) m_a = bank.values(a);
    if (chosen || b != target()) m_b = bank.values(b);
}

void MorphWindow::showPosition(int position) {
    const QSignalBlocker quiet(Position);
    Position->setValue(position);
    PositionText->setText(QStringLiteral("%1 %").arg(position));
    m_position = position;
}

void MorphWindow::Position_Change(int position) {
    PositionText->setText(QStringLiteral("%1 %").arg(position));
    const int patch = target();
    const PatchValues before = m_context.Code.PatchBank.values(patch);
    const PatchValues made =
        SoundRules::morphPatches(m_a, m_b, before, position, locksOf(m_context));
    {
        const ScopedFlag<bool> writing(m_writing, true);
        m_writer.write(patch, made, QStringLiteral("Morph"), QStringLiteral("Morph/%1").arg(patch));
    }
    markWrite(before, made, position);
    m_position = position;
}

// A write that joined the step before it moves that step's end; any other starts a mark.
void MorphWindow::markWrite(const PatchValues& before, const PatchValues& made, int position) {
    if (!m_context.History) return;
    const int step = m_context.History->stack().index();
    if (step == m_markStep && !m_marks.empty() && m_marks.back().Patch == target()) {
        m_marks.back().After = made;
        m_marks.back().To = position;
        return;
    }
    m_marks.push_back({target(), before, m_position, made, position});
    if (m_marks.size() > kMarks) m_marks.pop_front();
    m_markStep = step;
}

// The slider stands where its next step goes on from the target: at a position whose
// morph gives the target's values, the one nearest to where the slider stood for them;
// off the way from A to B, where it stood for them, or where it is.
void MorphWindow::followTarget() {
    const int patch = target();
    const PatchValues now = m_context.Code.PatchBank.values(patch);
    int remembered = -1;
    for (auto mark = m_marks.rbegin(); mark != m_marks.rend() && remembered < 0; ++mark) {
        if (mark->Patch != patch) continue;
        if (mark->After == now) remembered = mark->To;
        else if (mark->Before == now) remembered = mark->From;
    }
    const int near = remembered >= 0 ? remembered : m_position;
    const ParameterLocks& locks = locksOf(m_context);
    int nearest = -1;
    for (int t = 0; t <= SoundRules::kMostPercent; ++t)
        if (SoundRules::morphPatches(m_a, m_b, now, t, locks) == now &&
            (nearest < 0 || std::abs(t - near) < std::abs(nearest - near)))
            nearest = t;
    if (nearest >= 0)
        showPosition(nearest);
    else if (remembered >= 0)
        showPosition(remembered);
}
