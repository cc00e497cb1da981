#include "OutputQueue.h"

#include <cstring>

OutputQueue::Message::Message(const uint8_t* bytes, std::size_t size) {
    if (size <= kShortMax) {
        std::memcpy(m_short, bytes, size);
        m_shortSize = static_cast<uint8_t>(size);
    } else {
        m_long.assign(bytes, bytes + size);
    }
}

bool OutputQueue::push(const uint8_t* bytes, std::size_t size, OutputKind kind) {
    if (size == 0) return false;
    const Time cable = cableTime(size);
    switch (kind) {
    case OutputKind::Forwarded:
        if (m_waiting + cable > kLimit) {
            ++m_dropped;
            return false;
        }
        m_forwarded.push_back({Message(bytes, size), kind});
        m_waiting += cable;
        return true;
    case OutputKind::PatchDump:
        if (m_newestOnly) {
            removePatches(false);
        } else {
            // The dump and the Program Change that follows it.
            const Time transmission = cable + cableTime(2);
            while (m_waiting + transmission > kLimit &&
                   std::any_of(m_program.begin(), m_program.end(), isPatch))
                removePatches(true);
        }
        break;
    case OutputKind::Note:
    case OutputKind::PatchProgram:
        break;
    }
    m_program.push_back({Message(bytes, size), kind});
    m_waiting += cable;
    return true;
}

// Removes the waiting parts of every older patch transmission (newest only), or of the
// oldest one alone to make room; the program's notes between them stay where they are.
void OutputQueue::removePatches(bool oldestOnly) {
    bool dumpSeen = false;
    for (auto it = m_program.begin(); it != m_program.end();) {
        if (!isPatch(*it)) {
            ++it;
            continue;
        }
        // The oldest transmission ends before the second dump.
        if (oldestOnly && it->Kind == OutputKind::PatchDump && dumpSeen) break;
        dumpSeen = dumpSeen || it->Kind == OutputKind::PatchDump;
        m_waiting -= cableTime(it->Data.size());
        ++(oldestOnly ? m_dropped : m_replaced);
        it = m_program.erase(it);
    }
}

OutputQueue::Time OutputQueue::dueOf(const Entry& e) const {
    return e.Kind == OutputKind::PatchDump ? std::max(m_wireFree, m_dumpNotBefore) : m_wireFree;
}

std::optional<OutputQueue::Time> OutputQueue::nextDue() const {
    if (!m_forwarded.empty()) return m_wireFree;
    if (!m_program.empty()) return dueOf(m_program.front());
    return std::nullopt;
}

bool OutputQueue::take(Time now, Time ahead, Taken& taken) {
    std::deque<Entry>& lane = m_forwarded.empty() ? m_program : m_forwarded;
    if (lane.empty()) return false;
    Entry& e = lane.front();
    const Time due = dueOf(e);
    if (due > now + ahead) return false;
    taken.Start = std::max(due, now);
    taken.Gap = m_lastStart == kLongAgo ? Time::zero() : due - m_lastStart;
    if (taken.Gap < Time::zero()) taken.Gap = Time::zero();
    const Time cable = cableTime(e.Data.size());
    m_lastStart = taken.Start;
    m_wireFree = taken.Start + cable;
    if (isPatch(e)) m_dumpNotBefore = m_wireFree + m_pause;
    m_waiting -= cable;
    taken.Data = std::move(e.Data);
    lane.pop_front();
    return true;
}

void OutputQueue::clear() {
    m_program.clear();
    m_forwarded.clear();
    m_waiting = Time::zero();
}
