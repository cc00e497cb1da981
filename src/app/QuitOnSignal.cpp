#include "QuitOnSignal.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QWidget>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

// A signal handler may do almost nothing: it writes a byte into a pipe, which the event
// loop reads. The handler reaches the pipe only through this one process-wide slot.
int g_pipe[2] = {-1, -1};

void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

// Each dialog and message box runs an event loop of its own, inside the command that
// opened it (at start-up, before the program's own loop runs). Rejected, each loop ends
// as if the user had cancelled it, and the command returns.
void endDialogs() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible()) continue;
        if (auto* dialog = qobject_cast<QDialog*>(window))
            dialog->reject();
        else if (window->windowType() == Qt::Popup)
            window->close();
    }
}
} // namespace

QuitOnSignal::QuitOnSignal() {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

QuitOnSignal::~QuitOnSignal() {
    for (const int signal : kSignals)
        ::signal(signal, SIG_DFL);
    for (int& end : g_pipe) {
        if (end >= 0) ::close(end);
        end = -1;
    }
}

int QuitOnSignal::descriptor() const {
    return g_pipe[0];
}

void QuitOnSignal::endThrough(QWidget& mainWindow) {
    if (g_pipe[0] < 0) return;
    // A byte already in the pipe makes the notifier fire at the first turn of events.
    auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, &mainWindow);
    QObject::connect(notifier, &QSocketNotifier::activated, &mainWindow, [this, &mainWindow] {
        m_asked = true;
        char byte;
        while (::read(g_pipe[0], &byte, 1) > 0) {
        }
        endDialogs();
        // Closing works also while the splash is up, before the program's event loop
        // runs; start-up then goes no further.
        mainWindow.close();
    });
}
