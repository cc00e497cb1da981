#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

// The time the output queue paces messages by, in microseconds.
class PacingClock {
public:
    using Time = std::chrono::microseconds;
    virtual ~PacingClock() = default;
    virtual Time now() const = 0;
};

// The system's monotonic clock: the output port then sends from a thread of its own
// that sleeps until each message is due.
class SteadyPacingClock : public PacingClock {
public:
    Time now() const override {
        return std::chrono::duration_cast<Time>(
            std::chrono::steady_clock::now().time_since_epoch());
    }
};

// A clock that only moves when told, for tests and benchmarks: an output port on it has
// no thread and sends on the thread that sends or moves the clock, so nothing sleeps.
class ManualClock : public PacingClock {
public:
    Time now() const override { return m_now; }

    // Moves the time forward by `by`; every port on this clock sends what comes due
    // meanwhile, each message at its due time, before this returns.
    void advance(Time by);
    // How far a port may move the time: the end of the current Advance(), or, while the
    // clock leaps, without end.
    Time limit() const { return m_leaping ? Time::max() : std::max(m_now, m_target); }

    // When set (as it is from the start), a port on this clock does not wait: time leaps
    // ahead to each message's due time, so that every send leaves the port within the
    // call, at the time the cable would have carried it. Cleared, messages wait until the
    // clock is advanced.
    void setLeaping(bool leaping) { m_leaping = leaping; }
    bool leaping() const { return m_leaping; }

    // Sets the time without telling the ports; used by a port that moves it to the time
    // a message is due.
    void leapTo(Time t) {
        if (t > m_now) m_now = t;
    }

    // The ports on this clock; each is told when the clock moves.
    using Listener = std::function<void()>;
    int listen(Listener listener);
    void stopListening(int id);

private:
    Time m_now{1'000'000}; // not zero, so that "before the start" is never a special case
    Time m_target{0};
    bool m_leaping = true;
    int m_nextId = 0;
    std::vector<std::pair<int, Listener>> m_listeners;
};
