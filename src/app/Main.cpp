#include "Main.h"

#include "BackgroundMDI.h"
#include "Desktop.h"
#include "Splash.h"

#include <QApplication>

namespace {
constexpr int kSplashMilliseconds = 3000;

// Swallows the mouse and key input that piled up while the user-interface thread was
// paused, so that a click during the splash has no effect afterwards.
class InputSwallower : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
            return true;
        default:
            return false;
        }
    }
};
} // namespace

void Main(BackgroundMDI& window, Desktop& desktop) {
    window.MDIForm_Load();
    window.show();

    Splash splash(&window);
    splash.show();
    splash.raise();
    // Both windows are drawn before the pause: map and paint them now.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    splash.repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    desktop.Pause(kSplashMilliseconds);

    InputSwallower swallower;
    qApp->installEventFilter(&swallower);
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&swallower);
    splash.close();
    window.OfferUnsavedBank();
}
