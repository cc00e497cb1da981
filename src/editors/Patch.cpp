#include "Patch.h"

#include "Bit01Edit.h"
#include "NormalEdit.h"
#include "Twips.h"
#include "desktop/Desktop.h"
#include "core/QuenlorCode.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

namespace {
constexpr int kClientWidth = 3408;
constexpr int kClientHeight = 3840;
} // namespace

Patch::Patch(EditorContext& context, QWidget* parent) : QWidget(parent), m_context(context) {
    setWindowTitle("Patches");
    QFont font("Arial");
    font.setPointSizeF(7.8);
    setFont(font);
    setFixedSize(px(kClientWidth), px(kClientHeight));

    PatchList = new PatchRows(this);
    PatchList->setObjectName("PatchList");
    PatchList->setSelectionMode(QAbstractItemView::SingleSelection);
    // Every row is one line in the list's font: the list measures one row, not all 74,
    // when it is shown and whenever a name changes.
    PatchList->setUniformItemSizes(true);
    PatchList->setGeometry(twipRect(120, 120, 3132, 3144));
    PatchList->setAccessibleName(QStringLiteral("Patches"));

    NormalEditButton = new QPushButton("Normal Edit", this);
    NormalEditButton->setObjectName("NormalEditButton");
    NormalEditButton->setGeometry(twipRect(120, 3360, 1452, 372));

    Bit01EditButton = new QPushButton("Bit 01 Edit", this);
    Bit01EditButton->setObjectName("Bit01EditButton");
    Bit01EditButton->setGeometry(twipRect(1680, 3360, 1572, 372));

    setTabOrder(PatchList, NormalEditButton);
    setTabOrder(NormalEditButton, Bit01EditButton);

    connect(PatchList, &QListWidget::currentRowChanged, this, &Patch::PatchList_Click);
    // A single-selection list the user cannot empty: Ctrl+click or Ctrl+Space on the
    // selected row would leave both buttons and the patch-file commands without a patch,
    // so the current row is selected again. It stays current, so nothing is sent.
    connect(PatchList->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndex current = PatchList->currentIndex();
        if (current.isValid() && !PatchList->selectionModel()->hasSelection())
            PatchList->selectionModel()->select(current, QItemSelectionModel::Select);
    });
    connect(PatchList, &QListWidget::itemDoubleClicked, this, [this] { PatchList_DblClick(); });
    connect(NormalEditButton, &QPushButton::clicked, this, &Patch::NormalEditButton_Click);
    connect(Bit01EditButton, &QPushButton::clicked, this, &Patch::Bit01EditButton_Click);
}

Patch::~Patch() = default;

QString Patch::PatchRowText(int patch, const QString& name) {
    return QString::number(patch).rightJustified(2, '0') + " - " + name;
}

void Patch::Form_Load() { FillPatchList(); }

void Patch::FillPatchList() {
    PatchList->clear();
    for (int n = kFirstPatch; n <= kLastPatch; ++n)
        PatchList->addItem(PatchRowText(n, QString()));
    PatchList->setCurrentRow(0);
}

void Patch::SetPatchName(int patch, const QString& name) {
    if (patch == 0)
        return;
    const QString row = PatchRowText(patch, name);
    setRowText(patch, row);
    if (EditorWindow* editor = openEditor(patch))
        editor->setCaptionAndName(row, name);
}

NormalEdit* Patch::normalEditWindow(int patch) const { return NormalEditWindows.at(patch); }
Bit01Edit* Patch::bit01EditWindow(int patch) const { return Bit01EditWindows.at(patch); }

EditorWindow* Patch::openEditor(int patch) const {
    switch (OpenEditorKind.at(patch)) {
    case NormalEditor: return NormalEditWindows.at(patch);
    case Bit01Editor: return Bit01EditWindows.at(patch);
    default: return nullptr;
    }
}

QString Patch::PatchName(int patch) const {
    const QListWidgetItem* item = PatchList->item(patch - 1);
    return item ? item->text().mid(kNamePrefixLength) : QString();
}

void Patch::setRowText(int patch, const QString& text) {
    if (QListWidgetItem* item = PatchList->item(patch - 1))
        item->setText(text);
}

void Patch::fillChoice(QComboBox& choice) const {
    const QSignalBlocker quiet(&choice);
    const int current = choice.currentIndex();
    if (choice.count() != kLastPatch) {
        choice.clear();
        for (int n = kFirstPatch; n <= kLastPatch; ++n)
            choice.addItem(QString());
    }
    for (int n = kFirstPatch; n <= kLastPatch; ++n)
        choice.setItemText(n - 1, PatchRowText(n, PatchName(n)));
    choice.setCurrentIndex(current < 0 ? 0 : current);
}

void Patch::selectPatchRow(int patch) { PatchList->setCurrentRow(patch - 1); }

void Patch::clickPatchRow(int patch) {
    if (PatchList->currentRow() != patch - 1)
        selectPatchRow(patch);
    else
        PatchList_Click(patch - 1);
}

int Patch::selectedRowPatch() const {
    const int row = PatchList->currentRow();
    return row >= 0 && PatchList->item(row)->isSelected() ? row + 1 : 0;
}

namespace {
template <typename Window>
Window* liveWindow(QPointer<Window>& slot) {
    return slot && !slot->isClosed() ? slot.data() : nullptr;
}
} // namespace

void Patch::OpenPatchEditor(int patch, int kind) {
    int16_t& open = OpenEditorKind.at(patch);
    if (open == NormalEditor && kind != NormalEditor) {
        if (NormalEdit* window = liveWindow(NormalEditWindows.at(patch)))
            window->closeEditor();
    } else if (open == Bit01Editor && kind != Bit01Editor) {
        if (Bit01Edit* window = liveWindow(Bit01EditWindows.at(patch)))
            window->closeEditor();
    }
    if (open == kind) {
        if (kind == NormalEditor && liveWindow(NormalEditWindows.at(patch)))
            NormalEditWindows.at(patch)->focusEditor();
        else if (kind == Bit01Editor && liveWindow(Bit01EditWindows.at(patch)))
            Bit01EditWindows.at(patch)->focusEditor();
    }
    if (open != NoEditor)
        return;
    // A closed window is gone; its slot gets a new instance, loaded afresh.
    if (kind == NormalEditor) {
        if (!liveWindow(NormalEditWindows.at(patch)))
            NormalEditWindows.at(patch) = new NormalEdit(m_context);
        NormalEditWindows.at(patch)->showEditor();
    } else if (kind == Bit01Editor) {
        if (!liveWindow(Bit01EditWindows.at(patch)))
            Bit01EditWindows.at(patch) = new Bit01Edit(m_context);
        Bit01EditWindows.at(patch)->showEditor();
    }
}

void Patch::PatchList_Click(int row) {
    if (row >= 0)
        m_context.Code.SendPatch(row + 1);
}

void Patch::PatchList_DblClick() {
    const int row = PatchList->currentRow();
    if (row < 0)
        return;
    m_context.Code.SelectedPatch = static_cast<int16_t>(row + 1);
    m_context.Desk.ShowBusyPointer();
    OpenPatchEditor(m_context.Code.SelectedPatch, NormalEditor);
    m_context.Desk.ShowNormalPointer();
}

void Patch::NormalEditButton_Click() {
    if (selectedRowPatch() != 0)
        PatchList_DblClick();
}

void Patch::Bit01EditButton_Click() {
    const int patch = selectedRowPatch();
    if (patch == 0)
        return;
    m_context.Code.SelectedPatch = static_cast<int16_t>(patch);
    OpenPatchEditor(patch, Bit01Editor);
}

// The rows are the only store of the patch names: closing the list would lose them all,
// so the list stays open for as long as the main window does.
void Patch::closeEvent(QCloseEvent* event) { event->ignore(); }
