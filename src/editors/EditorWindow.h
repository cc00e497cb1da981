#pragma once

#include "EditorContext.h"
#include "MdiChild.h"

#include <QWidget>

class QMdiSubWindow;

// What the two editor windows share: each edits one patch, lives as a child window of
// the main window, and is built afresh (its load steps run) each time it is shown
// after having been closed. The patch list opens, focuses and closes them.
class EditorWindow : public QWidget, public MdiChild {
    Q_OBJECT
public:
    explicit EditorWindow(EditorContext& context);

    // Loads the window (its load steps), shows it as a child window and makes it the
    // active one, which runs its activation.
    void ShowEditor();
    // Brings the open window to the front as the active child window.
    void FocusEditor();
    // Closes the window; its close handling runs and the window is gone afterwards.
    void CloseEditor();

    // The patch list renamed the patch: new caption and name box text.
    virtual void SetCaptionAndName(const QString& row, const QString& name) = 0;
    // Repaints the window at once (after a file was read into its patch).
    virtual void RepaintNow() = 0;

    QMdiSubWindow* SubWindow() const { return m_subWindow; }
    // True once the window has been closed; a closed window is never shown again.
    bool IsClosed() const { return m_closed; }

protected:
    virtual void Form_Load() = 0;
    // Hands a change of the bank to the undo history: one step named `label`, joined by
    // the changes that follow with the same key while the control keeps the focus.
    void recordChange(const QString& label, const QString& mergeKey = QString());
    // The key of a patch's control for recordChange.
    static QString mergeKey(const char* control, int patch, int parameter = 0);
    virtual void Form_QueryUnload() = 0;
    void closeEvent(QCloseEvent* event) override;

    EditorContext& m_context;

private:
    QMdiSubWindow* m_subWindow = nullptr;
    bool m_closed = false;
};
