#include "MorphWindow.h"

#include "PatchWriter.h"
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
#include <QLabel>
#include <QListWidget>
#include <QSlider>

MorphWindow::MorphWindow(EditorContext& context, PatchWriter& writer, QWidget* parent)
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
    TargetText = new QLabel(this);
    TargetText->setObjectName(QStringLiteral("TargetText"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(labelA, 0, 0);
    layout->addWidget(PatchA, 0, 1, 1, 2);
    layout->addWidget(labelB, 1, 0);
    layout->addWidget(PatchB, 1, 1, 1, 2);
    layout->addWidget(positionLabel, 2, 0);
    layout->addWidget(Position, 2, 1);
    layout->addWidget(PositionText, 2, 2);
    layout->addWidget(TargetText, 3, 0, 1, 3);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(4, 1);

    // From the selected patch to the one after it, as Compare starts.
    Patch& list = *m_context.PatchWindow;
    const int selected = m_writer.selectedPatch() > 0 ? m_writer.selectedPatch() : kFirstPatch;
    list.fillChoice(*PatchA);
    list.fillChoice(*PatchB);
    PatchA->setCurrentIndex(selected - 1);
    PatchB->setCurrentIndex(selected < kLastPatch ? selected : selected - 2);
    takeSources(true);
    PositionText->setText(QStringLiteral("0 %"));
    showTarget();

    connect(PatchA, &QComboBox::currentIndexChanged, this, [this] { takeSources(true); });
    connect(PatchB, &QComboBox::currentIndexChanged, this, [this] { takeSources(true); });
    connect(Position, &QSlider::valueChanged, this, &MorphWindow::Position_Change);
    connect(list.PatchList, &QListWidget::currentRowChanged, this, &MorphWindow::showTarget);
    if (m_context.History)
        connect(m_context.History, &BankHistory::changed, this, [this] {
            if (m_writing) return;
            m_context.PatchWindow->fillChoice(*PatchA);
            m_context.PatchWindow->fillChoice(*PatchB);
            takeSources(false);
            showTarget();
        });
}

void MorphWindow::takeSources(bool chosen) {
    const Bank& bank = m_context.Code.PatchBank;
    const int target = m_writer.selectedPatch();
    const int a = PatchA->currentIndex() + 1;
    const int b = PatchB->currentIndex() + 1;
    if (chosen || a != target) m_a = bank.values(a);
    if (chosen || b != target) m_b = bank.values(b);
}

void MorphWindow::showTarget() {
    const int target = m_writer.selectedPatch();
    TargetText->setText(
        target > 0 ? QStringLiteral("Target: ") +
                         Patch::PatchRowText(target, m_context.PatchWindow->PatchName(target))
                   : QStringLiteral("Target: none (select a patch in the list)"));
}

void MorphWindow::Position_Change(int position) {
    PositionText->setText(QStringLiteral("%1 %").arg(position));
    const int target = m_writer.selectedPatch();
    if (target == 0) {
        m_context.Desk.beep();
        return;
    }
    const ParameterLocks none;
    const ParameterLocks& locks = m_context.Locks ? m_context.Locks->locks() : none;
    const PatchValues made = SoundRules::morphPatches(
        m_a, m_b, m_context.Code.PatchBank.values(target), position, locks);
    const ScopedFlag<bool> writing(m_writing, true);
    m_writer.write(target, made, QStringLiteral("Morph"), QStringLiteral("Morph/%1").arg(target));
}
