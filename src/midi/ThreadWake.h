#pragma once

#include <QObject>

#include <atomic>
#include <functional>

class QSocketNotifier;

// Wakes the thread an object lives on from any other thread, without locking, allocating
// or calling into Qt there: an event counter that the owner's event loop watches. One
// wake waits at a time, however often it is rung; a ring that comes while the owner
// handles a wake brings another.
class ThreadWake {
public:
    // `woken` runs on the owner's thread.
    ThreadWake(QObject& owner, std::function<void()> woken);
    ~ThreadWake();
    ThreadWake(const ThreadWake&) = delete;
    ThreadWake& operator=(const ThreadWake&) = delete;

    // From any thread.
    void ring();

private:
    void take();

    int m_fd;
    QSocketNotifier* m_notifier = nullptr;
    std::function<void()> m_woken;
    std::atomic<bool> m_pending{false};
};
