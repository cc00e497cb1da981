#include "EditorWindow.h"

#include "BankHistory.h"
#include "EditorInput.h"
#include "LockedParameters.h"
#include "ParameterControllers.h"
#include "Patch.h"
#include "core/QuenlorCode.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QShortcut>

namespace {
// A lock mark: a frame in a colour none of the controls has, drawn over their edges, so
// that it needs no room of its own and shows at every scale.
const QColor kLockColour(0xC8, 0x3C, 0x00);
constexpr int kLockLineWidth = 2;
constexpr const char* kOwnDescription = "ownDescription";

// A listener hears that a control is locked at the end of its description.
QString lockedDescription(const QString& own) {
    return own.isEmpty() ? QStringLiteral("locked") : own + QStringLiteral(", locked");
}
} // namespace

EditorWindow::EditorWindow(EditorContext& context) : m_context(context) {}

void EditorWindow::showEditor() {
    Form_Load();
    attachParameterMenus();
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

void EditorWindow::attachParameterMenus() {
    for (QWidget* control : findChildren<QWidget*>()) {
        const int parameter = parameterOf(control);
        if (parameter < kFirstParameter || parameter > kLastParameter) continue;
        m_parameterControls[parameter] << control;
        control->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(control, &QWidget::customContextMenuRequested, this,
                [this, control](const QPoint& at) {
                    showParameterMenu(control, control->mapToGlobal(at));
                });
    }
    // The menu key opens the menu of the control with the focus by itself; Shift+F10 is
    // the other key desktops use for it.
    auto* menuKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), this);
    menuKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(menuKey, &QShortcut::activated, this, [this] {
        QWidget* control = focusWidget();
        if (control && parameterOf(control) != 0)
            showParameterMenu(control, control->mapToGlobal(QPoint(0, control->height())));
    });
    if (m_context.Locks)
        connect(m_context.Locks, &LockedParameters::changed, this, &EditorWindow::showLocks);
    showLocks();
}

std::unique_ptr<QMenu> EditorWindow::parameterMenu(QWidget* control) {
    auto* box = qobject_cast<QLineEdit*>(control);
    std::unique_ptr<QMenu> menu(box ? box->createStandardContextMenu() : new QMenu(this));
    QAction* boxCommands = menu->actions().value(0);
    fillParameterMenu(*menu, boxCommands, parameterOf(control));
    addControllerItems(*menu, boxCommands, parameterOf(control));
    if (boxCommands) menu->insertSeparator(boxCommands);
    return menu;
}

void EditorWindow::showParameterMenu(QWidget* control, const QPoint& globalPosition) {
    parameterMenu(control)->exec(globalPosition);
}

QAction* EditorWindow::addMenuItem(QMenu& menu, QAction* before, const QString& text,
                                   std::function<void()> run) {
    auto* item = new QAction(text, &menu);
    connect(item, &QAction::triggered, &menu, std::move(run));
    menu.insertAction(before, item);
    return item;
}

void EditorWindow::fillParameterMenu(QMenu& menu, QAction* before, int parameter) {
    if (!m_context.Locks) return;
    const bool locked = isLocked(parameter);
    addMenuItem(menu, before, locked ? QStringLiteral("Unlock") : QStringLiteral("Lock"),
                [this, parameter, locked] { setLocked({parameter}, !locked); });
}

void EditorWindow::addControllerItems(QMenu& menu, QAction* before, int parameter) {
    ParameterControllers* controllers = m_context.Controllers;
    if (!controllers) return;
    const qsizetype placed = before ? menu.actions().indexOf(before) : menu.actions().size();
    if (placed > 0) menu.insertSeparator(before);
    addMenuItem(menu, before, QStringLiteral("MIDI Learn"),
                [controllers, parameter] { controllers->learn(parameter); });
    addMenuItem(menu, before, QStringLiteral("Forget MIDI Control"),
                [controllers, parameter] { controllers->forget(parameter); })
        ->setEnabled(m_context.Code.Controllers.mapped(parameter));
}

void EditorWindow::setLocked(const std::vector<int>& parameters, bool locked) {
    if (m_context.Locks) m_context.Locks->setLocked(parameters, locked);
}

bool EditorWindow::isLocked(int parameter) const {
    return m_context.Locks && m_context.Locks->locked(parameter);
}

void EditorWindow::showLocks() {
    for (int p = kFirstParameter; p <= kLastParameter; ++p) {
        const bool locked = isLocked(p);
        const QList<QWidget*>& controls = parameterControls(p);
        if (controls.isEmpty()) continue;
        for (QWidget* control : controls) {
            if (control->focusPolicy() == Qt::NoFocus) continue;
            if (!control->property(kOwnDescription).isValid())
                control->setProperty(kOwnDescription, control->accessibleDescription());
            const QString own = control->property(kOwnDescription).toString();
            control->setAccessibleDescription(locked ? lockedDescription(own) : own);
        }
        QFrame*& mark = m_lockMarks[p];
        if (locked && !mark) {
            QWidget* container = controls.first()->parentWidget();
            QRect around;
            for (QWidget* control : controls)
                around |= control->geometry();
            // Captions start at their control's left edge: the frame keeps clear of them.
            around.adjust(-(kLockLineWidth + 1), 0, 0, 0);
            mark = new QFrame(container);
            mark->setObjectName(QStringLiteral("LockMark"));
            mark->setFrameStyle(QFrame::Box | QFrame::Plain);
            mark->setLineWidth(kLockLineWidth);
            QPalette colours = mark->palette();
            colours.setColor(QPalette::WindowText, kLockColour);
            mark->setPalette(colours);
            mark->setAttribute(Qt::WA_TransparentForMouseEvents);
            mark->setGeometry(around);
        }
        if (mark) {
            mark->setVisible(locked);
            mark->raise();
        }
    }
}
