#include "ActivationRouter.h"

#include "MdiChild.h"

#include <QMdiArea>
#include <QMdiSubWindow>

ActivationRouter::ActivationRouter(QMdiArea& mdi) : QObject(&mdi) {
    connect(&mdi, &QMdiArea::subWindowActivated, this, &ActivationRouter::subWindowActivated);
}

void ActivationRouter::subWindowActivated(QMdiSubWindow* window) {
    if (!window || window == m_active)
        return;
    m_active = window;
    if (auto* child = dynamic_cast<MdiChild*>(window->widget()))
        child->Form_Activate();
}
