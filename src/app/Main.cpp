#include "Main.h"

#include "BackgroundMDI.h"
#include "LibraryMenu.h"
#include "desktop/Desktop.h"
#include "Splash.h"

#include <QApplication>

namespace {
constexpr int kSplashMilliseconds = 3000;

// Swallows the input that piled up while the user-interface thread was paused (mouse,
// keys, and the shortcuts keys would trigger), so that nothing done during the splash
// has an effect afterwards.
class InputSwallower : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::ContextMenu:
        case QEvent::Wheel:
            return true;
        default:
            return false;
        }
    }
};
} // namespace

bool Main(BackgroundMDI& window, Desktop& desktop, const std::optional<std::string>& file) {
    window.MDIForm_Load();
    window.show();
    // Read and rescanned on the library's own thread, during the splash and after.
    window.library().openInBackground();

    Splash splash(&window);
    splash.show();
    splash.raise();
    // Both windows are drawn before the pause: map and paint them now.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    // The task bar shows the icon from the pause on; painting it and handing it to the
    // window system waits until the windows are up.
    QApplication::setWindowIcon(programIcon());
    splash.repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    // The MIDI system is reached under the splash: patch 1 leaves now.
    window.openMidiDevices();

    desktop.pause(kSplashMilliseconds);

    // The splash goes first, so that whatever runs next runs without it.
    splash.close();
    InputSwallower swallower;
    qApp->installEventFilter(&swallower);
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&swallower);
    // A close request from the pause has been handled by now and the window is gone:
    // there is nothing left to run on.
    if (!window.isVisible())
        return false;
    // The file the user asked for first; then what earlier runs left behind.
    if (file)
        window.openFile(*file);
    window.offerUnsavedBank();
    return true;
}
