#pragma once

#include "editors/MdiChild.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
struct EditorContext;

// Two patches side by side, parameter by parameter, with the rows that differ marked;
// it follows the bank as it changes, and sends either patch so that both can be heard.
class CompareWindow : public QWidget, public MdiChild {
    Q_OBJECT
public:
    enum Columns { NumberColumn, SectionColumn, CaptionColumn, AColumn, BColumn, DiffersColumn };

    CompareWindow(EditorContext& context, int patchA, QWidget* parent = nullptr);

    QComboBox* PatchA = nullptr;
    QComboBox* PatchB = nullptr;
    QLabel* DifferLabel = nullptr;
    QTableWidget* Table = nullptr;
    QPushButton* SendA = nullptr;
    QPushButton* SendB = nullptr;

    QString tag() const override { return QStringLiteral("Compare"); }

    // Fills the choices and the table again from the bank and the patch list.
    void refresh();
    QSize sizeHint() const override;
    int differences() const { return m_differences; }

private:
    void showRow(int parameter, const QString& a, const QString& b, bool differs);
    int columnsWidth() const;

    EditorContext& m_context;
    int m_differences = 0;
    int m_widestColumns = 0;
};
