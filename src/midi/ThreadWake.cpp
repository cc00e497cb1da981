#include "ThreadWake.h"

#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

ThreadWake::ThreadWake(QObject& owner, std::function<void()> woken)
    : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), m_woken(std::move(woken)) {
    if (m_fd < 0) return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, &owner);
    QObject::connect(m_notifier, &QSocketNotifier::activated, m_notifier, [this] { take(); });
}

ThreadWake::~ThreadWake() {
    delete m_notifier;
    if (m_fd >= 0) ::close(m_fd);
}

void ThreadWake::ring() {
    if (m_fd >= 0 && !m_pending.exchange(true)) eventfd_write(m_fd, 1);
}

void ThreadWake::take() {
    eventfd_t count;
    eventfd_read(m_fd, &count);
    // Cleared first: a ring that comes while the owner handles this one wakes it again.
    m_pending = false;
    m_woken();
}
