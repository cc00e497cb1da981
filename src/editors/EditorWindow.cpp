#include "EditorWindow.h"

#include "BankHistory.h"
#include "EditorInput.h"
#include "Patch.h"
#include "core/QuenlorCode.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>

EditorWindow::EditorWindow(EditorContext& context) : m_context(context) {}

void EditorWindow::showEditor() {
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
    focusEditor();
}

void EditorWindow::focusEditor() {
    if (m_subWindow)
        m_context.Mdi.setActiveSubWindow(m_subWindow);
}

void EditorWindow::closeEditor() {
    if (m_subWindow)
        m_subWindow->close();
}

void EditorWindow::recordChange(const QString& label, const QString& mergeKey) {
    if (m_context.History)
        m_context.History->record(label, mergeKey);
}

QString EditorWindow::mergeKey(const char* control, int patch, int parameter) {
    return QStringLiteral("%1/%2/%3").arg(QLatin1String(control)).arg(patch).arg(parameter);
}

void EditorWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Focus given before the window has its place in the main window does not last, so
    // it is given here.
    if (!m_shown) {
        m_shown = true;
        firstControl()->setFocus(Qt::TabFocusReason);
    }
}

void EditorWindow::closeEvent(QCloseEvent* event) {
    Form_QueryUnload();
    m_closed = true;
    event->accept();
}

void EditorWindow::setCaptionAndName(const QString& row, const QString& name) {
    setWindowTitle(row);
    NameText->setText(name);
}

QFont EditorWindow::arialBold(double points) {
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setPointSizeF(points);
    return font;
}

void EditorWindow::loadPatch(int kind) {
    Patch& list = *m_context.PatchWindow;
    const int patch = m_context.Code.SelectedPatch;
    list.setEditorKind(patch, int16_t(kind));
    m_tag = m_nameTextTag = QString::number(patch);
    const QListWidgetItem* row = list.PatchList->item(patch - 1);
    const QString caption = row ? row->text() : Patch::PatchRowText(patch, QString());
    setWindowTitle(caption);
    NameText->setText(caption.mid(Patch::kNamePrefixLength));
}

void EditorWindow::unloadPatch() {
    // Focus leaving a box while the window goes is no commit.
    m_unloaded = true;
    if (const int patch = nameTextPatch())
        m_context.PatchWindow->setEditorKind(patch, Patch::NoEditor);
}

void EditorWindow::storeName() {
    const int patch = windowPatch();
    if (patch == 0) return;
    // The patch list row is where the name is kept; a name change sends nothing.
    const QString row = Patch::PatchRowText(patch, NameText->text());
    setWindowTitle(row);
    m_context.PatchWindow->setRowText(patch, row);
    recordChange(renameCaption(), mergeKey("NameText", patch));
}

void EditorWindow::sendPatch() {
    if (const int patch = windowPatch()) m_context.Code.SendPatch(patch);
}

int EditorWindow::windowPatch() const { return EditorInput::patchFromTag(m_tag); }
int EditorWindow::nameTextPatch() const { return EditorInput::patchFromTag(m_nameTextTag); }

int EditorWindow::parameterOf(const QObject* control) {
    const QVariant index = control->property("parameter");
    return index.isValid() ? index.toInt() : 0;
}
