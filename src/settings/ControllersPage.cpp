#include "ControllersPage.h"

#include "core/QuenlorCode.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
// The modes in the order of ControllerMode.
const QStringList& modeCaptions() {
    static const QStringList captions{QObject::tr("Absolute"),
                                      QObject::tr("Relative, two's complement"),
                                      QObject::tr("Relative, offset 64")};
    return captions;
}
} // namespace

ControllersPage::ControllersPage(const QuenlorCode& code, ParameterCaption caption, QWidget* parent)
    : QWidget(parent), m_controllers(code.Controllers), m_caption(std::move(caption)) {
    if (!m_caption)
        m_caption = [](int parameter) { return tr("Parameter %1").arg(parameter); };
    auto* hint = new QLabel(tr("To add a controller, right-click a control in an editor and choose "
                               "MIDI Learn. Controllers are read from whatever reaches the "
                               "program's MIDI input: the MIDI in device, and what a patchbay "
                               "connects to Quenlor:MIDI In."),
                            this);
    hint->setWordWrap(true);
    ControllerTable = new QTableWidget(0, 4, this);
    ControllerTable->setObjectName(QStringLiteral("ControllerTable"));
    ControllerTable->setHorizontalHeaderLabels(
        {tr("Parameter"), tr("Channel"), tr("Controller"), tr("Mode")});
    ControllerTable->setAccessibleName(tr("Controllers"));
    ControllerTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    ControllerTable->setSelectionMode(QAbstractItemView::SingleSelection);
    ControllerTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ControllerTable->verticalHeader()->hide();
    ControllerTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ControllerTable->horizontalHeader()->setStretchLastSection(true);

    btnRemove = new QPushButton(tr("&Remove"), this);
    btnRemove->setObjectName(QStringLiteral("btnRemove"));
    btnClearAll = new QPushButton(tr("C&lear All"), this);
    btnClearAll->setObjectName(QStringLiteral("btnClearAll"));
    PassThroughCheck = new QCheckBox(tr("&Pass their messages on through MIDI Thru"), this);
    PassThroughCheck->setObjectName(QStringLiteral("PassThroughCheck"));
    PassThroughCheck->setChecked(code.ControllerPassThrough == kOn);
    for (QPushButton* button : {btnRemove, btnClearAll}) button->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnRemove);
    buttons->addWidget(btnClearAll);
    buttons->addStretch(1);
    auto* column = new QVBoxLayout(this);
    column->addWidget(hint);
    column->addWidget(ControllerTable, 1);
    column->addLayout(buttons);
    column->addWidget(PassThroughCheck);

    connect(btnRemove, &QPushButton::clicked, this, &ControllersPage::btnRemove_Click);
    connect(btnClearAll, &QPushButton::clicked, this, &ControllersPage::btnClearAll_Click);
    connect(ControllerTable, &QTableWidget::itemSelectionChanged, this,
            &ControllersPage::updateButtons);
    fillTable();
}

bool ControllersPage::passThrough() const { return PassThroughCheck->isChecked(); }

QString ControllersPage::controllerText(const Controller& controller) {
    return (controller.Type == Controller::Kind::Nrpn ? tr("NRPN %1") : tr("CC %1"))
        .arg(controller.Number);
}

// One row per parameter played, in parameter order; each row keeps its parameter number.
void ControllersPage::fillTable() {
    ControllerTable->setRowCount(0);
    for (const int parameter : m_controllers.parameters()) {
        const ControllerMapping mapping = *m_controllers.mapping(parameter);
        const int row = ControllerTable->rowCount();
        ControllerTable->insertRow(row);
        auto* name = new QTableWidgetItem(m_caption(parameter));
        name->setData(Qt::UserRole, parameter);
        ControllerTable->setItem(row, kParameterColumn, name);
        ControllerTable->setItem(row, kChannelColumn,
                                 new QTableWidgetItem(QString::number(mapping.Source.Channel)));
        ControllerTable->setItem(row, kControllerColumn,
                                 new QTableWidgetItem(controllerText(mapping.Source)));
        auto* mode = new QComboBox(ControllerTable);
        mode->addItems(modeCaptions());
        mode->setCurrentIndex(int(mapping.Mode));
        mode->setAccessibleName(tr("Mode of %1").arg(m_caption(parameter)));
        connect(mode, &QComboBox::currentIndexChanged, this, [this, parameter](int index) {
            m_controllers.setMode(parameter, ControllerMode(index));
        });
        ControllerTable->setCellWidget(row, kModeColumn, mode);
    }
    fitColumns();
    updateButtons();
}

// The table measures its items, not the lists in the mode column: that column is made as
// wide as a list showing the longest mode, and the table as wide as its columns, so that
// every mode shows whole.
void ControllersPage::fitColumns() {
    QComboBox widest;
    widest.addItems(modeCaptions());
    ControllerTable->resizeColumnsToContents();
    ControllerTable->horizontalHeader()->resizeSection(kModeColumn, widest.sizeHint().width());
    int width = 2 * ControllerTable->frameWidth() + ControllerTable->verticalScrollBar()->sizeHint().width();
    for (int column = kParameterColumn; column < kModeColumn; ++column)
        width += ControllerTable->columnWidth(column);
    ControllerTable->setMinimumWidth(width + widest.sizeHint().width());
}

void ControllersPage::updateButtons() {
    btnRemove->setEnabled(!ControllerTable->selectedItems().isEmpty());
    btnClearAll->setEnabled(ControllerTable->rowCount() > 0);
}

// The row below takes the place of the one removed, so that Remove can be pressed again.
void ControllersPage::btnRemove_Click() {
    const int row = ControllerTable->currentRow();
    const QTableWidgetItem* name = ControllerTable->item(row, kParameterColumn);
    if (!name || ControllerTable->selectedItems().isEmpty()) return;
    m_controllers.forget(name->data(Qt::UserRole).toInt());
    fillTable();
    if (ControllerTable->rowCount() > 0)
        ControllerTable->selectRow(std::min(row, ControllerTable->rowCount() - 1));
}

void ControllersPage::btnClearAll_Click() {
    m_controllers.clear();
    fillTable();
}
