#pragma once

#include <QObject>
#include <QPointer>

class QMdiArea;
class QMdiSubWindow;

// Runs a child window's activation when it becomes the active child window of the
// main window. The active child is remembered, so the main window losing and
// regaining the focus (switching to another program and back) activates nothing.
class ActivationRouter : public QObject {
    Q_OBJECT
public:
    explicit ActivationRouter(QMdiArea& mdi);

private:
    void subWindowActivated(QMdiSubWindow* window);
    QPointer<QMdiSubWindow> m_active;
};
