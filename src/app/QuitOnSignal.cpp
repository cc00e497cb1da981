#include "QuitOnSignal.h"

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
} // namespace

QuitOnSignal::QuitOnSignal(QWidget& mainWindow) {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [&mainWindow] {
        char byte;
        while (::read(g_pipe[0], &byte, 1) > 0) {
        }
        // Closing works also while the splash is up, before the event loop runs.
        mainWindow.close();
    });
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
    delete m_notifier;
    for (int& end : g_pipe) {
        if (end >= 0) ::close(end);
        end = -1;
    }
}
