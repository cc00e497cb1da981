#pragma once

#include "EditorContext.h"
#include "MdiChild.h"
#include "core/ParameterTable.h"

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <vector>

class QFrame;
class QLineEdit;
class QMdiSubWindow;
class QMenu;
class QPushButton;

// What the two editor windows share: each edits one patch, lives as a child window of
// the main window, and is built afresh (its load steps run) each time it is shown
// after having been closed. The patch list opens, focuses and closes them.
class EditorWindow : public QWidget, public MdiChild {
    Q_OBJECT
public:
    explicit EditorWindow(EditorContext& context);

    // Loads the window (its load steps), shows it as a child window and makes it the
    // active one, which runs its activation.
    void showEditor();
    // Brings the open window to the front as the active child window.
    void focusEditor();
    // Closes the window; its close handling runs and the window is gone afterwards.
    void closeEditor();

    QString tag() const override { return m_tag; }
    // The patch list renamed the patch: new caption and name box text.
    void setCaptionAndName(const QString& row, const QString& name);
    // Repaints the window at once (after a file was read into its patch).
    virtual void repaintNow() = 0;
    // Commits what is typed in a box that commits only on Enter or on leaving it, as
    // leaving it would: the program is about to end.
    virtual void commitTyping() {}
    // Shows the bank's values again, leaving the painting to the event loop as for any
    // change of a control: for changes that come many times a second.
    virtual void refill() = 0;

    QMdiSubWindow* subWindow() const { return m_subWindow; }

    // The patch's name, and the button that sends the patch.
    QLineEdit* NameText = nullptr;
    QPushButton* SendButton = nullptr;

    // The editors' type: bold Arial of the given size.
    static QFont arialBold(double points);
    // The undo step of a name change.
    static QString renameCaption() { return QStringLiteral("Rename"); }
    // True once the window has been closed; a closed window is never shown again.
    bool isClosed() const { return m_closed; }

    // The right-click menu of a control that shows a parameter (the menu key and
    // Shift+F10 open it too): the commands on the parameter, then a value box's own
    // editing commands.
    std::unique_ptr<QMenu> parameterMenu(QWidget* control);
    // The frame drawn around a locked parameter's controls; nullptr before it was first
    // locked. It stays, hidden, once the parameter is unlocked.
    QFrame* lockMark(int parameter) const { return m_lockMarks.at(parameter); }

protected:
    virtual void Form_Load() = 0;
    // The load steps both editors begin with: the patch an editor about to load shows
    // (SelectedPatch) enters the registry as this kind, the tags take its number, and
    // the caption and name box its list row.
    void loadPatch(int kind);
    // The close handling both share: box commits stop, and the registry forgets the window.
    void unloadPatch();
    // A changed name box: the list row, where the name is kept, and the caption follow.
    void storeName();
    // The Send button: sends the patch.
    void sendPatch();
    // The patch numbers in the window's tag and in the name box's tag; 0 when unset.
    int windowPatch() const;
    int nameTextPatch() const;
    // The parameter a control shows, from its "parameter" property; 0 for none.
    static int parameterOf(const QObject* control);
    // Hands a change of the bank to the undo history: one step named `label`, joined by
    // the changes that follow with the same key while the control keeps the focus.
    void recordChange(const QString& label, const QString& mergeKey = QString());
    // The key of a patch's control for recordChange.
    static QString mergeKey(const char* control, int patch, int parameter = 0);
    virtual void Form_QueryUnload() = 0;
    void closeEvent(QCloseEvent* event) override;
    // The first time the window is shown, the focus goes to its first control.
    void showEvent(QShowEvent* event) override;
    // The control first in the window's focus order.
    virtual QWidget* firstControl() const = 0;
    // The controls that show a parameter (the widgets whose "parameter" property names
    // it, in one container), which its lock mark surrounds; none where the parameter is
    // shown by another's controls, as a choice is by its first member's list.
    const QList<QWidget*>& parameterControls(int parameter) const {
        return m_parameterControls.at(parameter);
    }
    // Every command on a parameter goes into its controls' menu here, placed before
    // `before` (at the end when it is nullptr), so that each reaches every control of
    // both editors.
    virtual void fillParameterMenu(QMenu& menu, QAction* before, int parameter);
    // MIDI Learn and Forget MIDI Control, last of the commands on the parameter.
    void addControllerItems(QMenu& menu, QAction* before, int parameter);
    static QAction* addMenuItem(QMenu& menu, QAction* before, const QString& text,
                                std::function<void()> run);
    // Locks or unlocks parameters (a switch group as a whole).
    void setLocked(const std::vector<int>& parameters, bool locked);
    bool isLocked(int parameter) const;

    EditorContext& m_context;
    QString m_tag;         // the window's tag: the patch number as decimal text
    QString m_nameTextTag; // NameText's tag: the same number
    bool m_unloaded = false;

private:
    // Once the controls exist: their right-click menus, and the locks shown.
    void attachParameterMenus();
    void showLocks();
    void showParameterMenu(QWidget* control, const QPoint& globalPosition);

    std::array<QList<QWidget*>, kParameterSlots> m_parameterControls;
    std::array<QFrame*, kParameterSlots> m_lockMarks{};
    QMdiSubWindow* m_subWindow = nullptr;
    bool m_closed = false;
    bool m_shown = false;
};
