#include "EditorWindow.h"

#include "BankHistory.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

EditorWindow::EditorWindow(EditorContext& context) : m_context(context) {}

void EditorWindow::ShowEditor() {
    Form_Load();
    m_subWindow = new QMdiSubWindow;
    // A fixed border: no maximize button, no resizing.
    m_subWindow->setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                Qt::WindowCloseButtonHint);
    m_subWindow->setAttribute(Qt::WA_DeleteOnClose);
    m_subWindow->setWidget(this);
    m_context.Mdi.addSubWindow(m_subWindow);
    m_subWindow->setFixedSize(m_subWindow->sizeHint());
    m_subWindow->show();
    FocusEditor();
}

void EditorWindow::FocusEditor() {
    if (m_subWindow)
        m_context.Mdi.setActiveSubWindow(m_subWindow);
}

void EditorWindow::CloseEditor() {
    if (m_subWindow)
        m_subWindow->close();
}

void EditorWindow::recordChange(const QString& label, const QString& mergeKey) {
    if (m_context.History)
        m_context.History->Record(label, mergeKey);
}

QString EditorWindow::mergeKey(const char* control, int patch, int parameter) {
    return QStringLiteral("%1/%2/%3").arg(QLatin1String(control)).arg(patch).arg(parameter);
}

void EditorWindow::closeEvent(QCloseEvent* event) {
    Form_QueryUnload();
    m_closed = true;
    event->accept();
}
