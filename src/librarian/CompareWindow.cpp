#include "CompareWindow.h"

#include "core/QuenlorCode.h"
#include "editors/BankHistory.h"
#include "editors/EditorContext.h"
#include "editors/NormalEdit.h"
#include "editors/Patch.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <algorithm>
#include <limits>

namespace {
constexpr const char* kDiffersMark = "differs";

QTableWidgetItem* cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}
} // namespace

CompareWindow::CompareWindow(EditorContext& context, int patchA, QWidget* parent)
    : QWidget(parent), m_context(context) {
    setWindowTitle(QStringLiteral("Compare"));
    setObjectName(QStringLiteral("Compare"));
    auto* layout = new QGridLayout(this);
    PatchA = new QComboBox(this);
    PatchA->setObjectName(QStringLiteral("PatchA"));
    PatchB = new QComboBox(this);
    PatchB->setObjectName(QStringLiteral("PatchB"));
    auto* labelA = new QLabel(QStringLiteral("&A:"), this);
    labelA->setBuddy(PatchA);
    auto* labelB = new QLabel(QStringLiteral("&B:"), this);
    labelB->setBuddy(PatchB);
    SendA = new QPushButton(QStringLiteral("Send A"), this);
    SendA->setObjectName(QStringLiteral("SendA"));
    SendB = new QPushButton(QStringLiteral("Send B"), this);
    SendB->setObjectName(QStringLiteral("SendB"));
    DifferLabel = new QLabel(this);
    DifferLabel->setObjectName(QStringLiteral("DifferLabel"));
    Table = new QTableWidget(kLastParameter, 6, this);
    Table->setObjectName(QStringLiteral("Table"));
    Table->setAccessibleName(QStringLiteral("Parameters of A and B"));
    labelA->setAccessibleName(QStringLiteral("Patch A"));
    labelB->setAccessibleName(QStringLiteral("Patch B"));
    Table->setHorizontalHeaderLabels({QStringLiteral("No."), QStringLiteral("Section"),
                                      QStringLiteral("Parameter"), QStringLiteral("A"),
                                      QStringLiteral("B"), QStringLiteral("Differs")});
    Table->verticalHeader()->hide();
    Table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    layout->addWidget(labelA, 0, 0);
    layout->addWidget(PatchA, 0, 1);
    layout->addWidget(SendA, 0, 2);
    layout->addWidget(labelB, 1, 0);
    layout->addWidget(PatchB, 1, 1);
    layout->addWidget(SendB, 1, 2);
    layout->addWidget(DifferLabel, 2, 0, 1, 3);
    layout->addWidget(Table, 3, 0, 1, 3);

    for (int p = kFirstParameter; p <= kLastParameter; ++p) {
        const QString caption = NormalEdit::parameterCaption(p);
        const int space = caption.indexOf(QLatin1Char(' '));
        Table->setItem(p - 1, NumberColumn, cell(QString::number(p)));
        Table->setItem(p - 1, SectionColumn, cell(caption.left(space)));
        Table->setItem(p - 1, CaptionColumn, cell(caption.mid(space + 1)));
    }
    // The window takes the width of the columns at their widest, every row in bold with
    // the longest values, so that no later change of the patches hides a column.
    const QString widest = QString::number(std::numeric_limits<int16_t>::min());
    for (int p = kFirstParameter; p <= kLastParameter; ++p)
        showRow(p, widest, widest, true);
    m_widestColumns = columnsWidth();

    refresh();
    PatchA->setCurrentIndex(patchA - 1);
    PatchB->setCurrentIndex(patchA < kLastPatch ? patchA : patchA - 2);
    refresh();

    connect(PatchA, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    connect(PatchB, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    connect(SendA, &QPushButton::clicked, this,
            [this] { m_context.Code.SendPatch(PatchA->currentIndex() + 1); });
    connect(SendB, &QPushButton::clicked, this,
            [this] { m_context.Code.SendPatch(PatchB->currentIndex() + 1); });
    if (m_context.History)
        connect(m_context.History, &BankHistory::changed, this, &CompareWindow::refresh);
}

// The table's width with every column as wide as its contents, beside the scroll bar.
int CompareWindow::columnsWidth() const {
    const QAbstractItemView& view = *Table; // where the column's hint is public
    int width = 2 * Table->frameWidth() + Table->verticalScrollBar()->sizeHint().width();
    for (int column = NumberColumn; column <= DiffersColumn; ++column)
        width += std::max(view.sizeHintForColumn(column),
                          Table->horizontalHeader()->sectionSizeHint(column));
    return width;
}

// Wide enough for every column; the height is the caller's to choose.
QSize CompareWindow::sizeHint() const {
    const QMargins margins = layout()->contentsMargins();
    return {
        std::max(QWidget::sizeHint().width(), m_widestColumns + margins.left() + margins.right()),
        QWidget::sizeHint().height()};
}

void CompareWindow::showRow(int parameter, const QString& a, const QString& b, bool differs) {
    const int row = parameter - 1;
    Table->setItem(row, AColumn, cell(a));
    Table->setItem(row, BColumn, cell(b));
    // Marked by a word, and in bold, not by colour alone.
    Table->setItem(row, DiffersColumn, cell(differs ? QLatin1String(kDiffersMark) : QString()));
    for (int column = NumberColumn; column <= DiffersColumn; ++column) {
        QFont font = Table->item(row, column)->font();
        font.setBold(differs);
        Table->item(row, column)->setFont(font);
    }
}

void CompareWindow::refresh() {
    Patch& list = *m_context.PatchWindow;
    for (QComboBox* choice : {PatchA, PatchB})
        list.fillChoice(*choice);
    const int a = PatchA->currentIndex() + 1;
    const int b = PatchB->currentIndex() + 1;
    const Bank& bank = m_context.Code.PatchBank;
    m_differences = 0;
    for (int p = kFirstParameter; p <= kLastParameter; ++p) {
        const bool differs = bank(a, p) != bank(b, p);
        m_differences += differs;
        showRow(p, QString::number(bank(a, p)), QString::number(bank(b, p)), differs);
    }
    DifferLabel->setText(QStringLiteral("%1 parameters differ").arg(m_differences));
}
