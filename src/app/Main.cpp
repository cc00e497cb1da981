#include "Main.h"

#include "BackgroundMDI.h"
#include "librarywindow/LibraryMenu.h"
#include "desktop/Desktop.h"
#include "Splash.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QWindow>

#include <algorithm>
#include <initializer_list>

namespace {
constexpr int kSplashMilliseconds = 3000;
// How long start-up waits at most for the window system to show its windows.
constexpr int kShowMilliseconds = 1000;

// Handles events until the window system shows the windows: an X server maps them
// within the first round of events, a Wayland compositor only once it has answered
// their first configure. What start-up does next (the icon, the MIDI system, the pause)
// must not keep them off the screen. A window closed meanwhile (a quit signal) is
// not waited for.
void waitUntilShown(std::initializer_list<const QWidget*> windows) {
    const auto shown = [&] {
        return std::all_of(windows.begin(), windows.end(), [](const QWidget* window) {
            return !window->isVisible() || window->windowHandle()->isExposed();
        });
    };
    const QDeadlineTimer limit(kShowMilliseconds);
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (shown() || limit.hasExpired()) return;
        QThread::msleep(1); // the answer comes over the window system's connection
    }
}

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
    // A close request (a quit signal) can come at any turn of events: start-up goes no
    // further once the window is gone, and the program ends instead of running.
    const auto closed = [&window] { return !window.isVisible(); };
    window.MDIForm_Load();
    window.show();
    // The main window reaches the window system before the splash is built.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (closed())
        return false;
    // Read and rescanned on the library's own thread, during the splash and after.
    window.library().openInBackground();

    Splash splash(&window);
    splash.show();
    splash.raise();
    // Both windows are drawn before the pause: map and paint them now.
    waitUntilShown({&window, &splash});
    if (closed())
        return false;
    // The task bar shows the icon from the pause on; painting it and handing it to the
    // window system waits until the windows are up.
    QApplication::setWindowIcon(programIcon());
    splash.repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (closed())
        return false;
    // The MIDI system is reached under the splash: patch 1 leaves now, unless a file is
    // to be opened, whose own patch is the first the instrument hears.
    window.openMidiDevices(!file);

    desktop.pause(kSplashMilliseconds);

    // The splash goes first, so that whatever runs next runs without it.
    splash.close();
    InputSwallower swallower;
    qApp->installEventFilter(&swallower);
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&swallower);
    // A close request from the pause has been handled by now and the window is gone:
    // there is nothing left to run on.
    if (closed())
        return false;
    // The file the user asked for first; then what earlier runs left behind.
    if (file)
        window.openFile(*file);
    if (closed())
        return false;
    window.offerUnsavedBank();
    return true;
}
