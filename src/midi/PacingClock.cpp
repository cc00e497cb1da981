#include "PacingClock.h"

#include <algorithm>

void ManualClock::advance(Time by) {
    m_target = m_now + std::max(by, Time::zero());
    // A copy: a port may stop listening while it is told.
    const auto listeners = m_listeners;
    for (const auto& [id, listener] : listeners)
        listener();
    leapTo(m_target);
}

int ManualClock::listen(Listener listener) {
    m_listeners.emplace_back(++m_nextId, std::move(listener));
    return m_nextId;
}

void ManualClock::stopListening(int id) {
    m_listeners.erase(std::remove_if(m_listeners.begin(), m_listeners.end(),
                                     [id](const auto& entry) { return entry.first == id; }),
                      m_listeners.end());
}
