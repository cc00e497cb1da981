#include "OutputQueue.h"

#include "ShortMessage.h"

#include <cstring>

namespace {
constexpr uint8_t kKindMask = 0xF0;
constexpr uint8_t kChannelMask = 0x0F;
constexpr std::size_t kNoteNumbers = 128;
constexpr std::size_t kNoteMessage = 3;
} // namespace

OutputQueue::Message::Message(const uint8_t* bytes, std::size_t size) {
    if (size <= kShortMax) {
        std::memcpy(m_short, bytes, size);
        m_shortSize = static_cast<uint8_t>(size);
    } else {
        m_long.assign(bytes, bytes + size);
    }
}

OutputQueue::Rank OutputQueue::rankOf(const Message& m) {
    const uint8_t kind = m.data()[0] & 0xF0;
    const bool noteOn = kind == MidiBytes::kNoteOn && m.size() == 3;
    if (kind == MidiBytes::kNoteOff || (noteOn && m.data()[2] == 0)) return NoteOff;
    return noteOn ? NoteOn : Supersedable;
}

bool OutputQueue::push(const uint8_t* bytes, std::size_t size, OutputKind kind) {
    if (size == 0) return false;
    // Nothing waited: the message came after its due time, and starts when it is taken.
    if (empty()) m_fromNow = true;
    const Time cable = cableTime(size);
    switch (kind) {
    case OutputKind::Forwarded:
        return pushForwarded({Message(bytes, size), kind});
    case OutputKind::PatchDump:
        if (m_newestOnly) {
            removePatches(false);
        } else {
            // The dump and the Program Change that follows it.
            const Time transmission = cable + cableTime(2);
            while (m_programWaiting + transmission > kLimit &&
                   std::any_of(m_program.begin(), m_program.end(), isPatch)) {
                const Time before = m_programWaiting;
                removePatches(true);
                if (m_programWaiting == before) break; // only a started transmission's end
            }
        }
        break;
    case OutputKind::Note:
    case OutputKind::PatchNote:
        if (silenced(Message(bytes, size))) {
            ++m_replaced;
            return true;
        }
        break;
    case OutputKind::PatchProgram:
        break;
    }
    m_program.push_back({Message(bytes, size), kind});
    m_programWaiting += cable;
    return true;
}

bool OutputQueue::pushForwarded(Entry entry) {
    entry.Order = rankOf(entry.Data);
    const Time cable = cableTime(entry.Data.size());
    if (!makeRoomForForwarded(cable, entry.Order)) {
        // Only Note Offs wait: a new one goes beyond the bound unless its note's Note Off
        // is already on its way, which bounds them by the notes there are.
        if (entry.Order != NoteOff || noteOffWaits(entry.Data)) {
            ++m_dropped;
            return false;
        }
    }
    m_forwardedWaiting += cable;
    ++m_forwardedRanks[entry.Order];
    m_forwarded.push_back(std::move(entry));
    return true;
}

// Drops the oldest waiting forwarded messages of the lowest rank, up to the rank of the
// one that needs the room, until it fits; false when it still does not.
bool OutputQueue::makeRoomForForwarded(Time needed, Rank rank) {
    while (m_forwardedWaiting + needed > kLimit) {
        Rank victim = Supersedable;
        while (victim < NoteOff && m_forwardedRanks[victim] == 0)
            victim = Rank(victim + 1);
        if (victim == NoteOff || victim > rank) return false;
        const auto it = std::find_if(m_forwarded.begin(), m_forwarded.end(),
                                     [victim](const Entry& e) { return e.Order == victim; });
        m_forwardedWaiting -= cableTime(it->Data.size());
        --m_forwardedRanks[victim];
        m_forwarded.erase(it);
        ++m_dropped;
    }
    return true;
}

// Whether the latest waiting message about the same note on the same channel is a Note Off.
bool OutputQueue::noteOffWaits(const Message& noteOff) const {
    const uint8_t channel = noteOff.data()[0] & 0x0F;
    const uint8_t note = noteOff.data()[1];
    for (auto it = m_forwarded.rbegin(); it != m_forwarded.rend(); ++it) {
        if (it->Order == Supersedable || (it->Data.data()[0] & 0x0F) != channel ||
            it->Data.data()[1] != note)
            continue;
        return it->Order == NoteOff;
    }
    return false;
}

// Removes the waiting parts of every older patch transmission that has not started
// (newest only), or of the oldest one alone to make room, with the patches' own notes;
// the program's other notes between them stay where they are, and so does the Program
// Change of a dump that has started, with the notes after it.
void OutputQueue::removePatches(bool oldestOnly) {
    bool dumpSeen = false;
    bool first = true;
    bool removing = false; // what follows belongs to a transmission removed
    for (std::size_t i = 0; i < m_program.size();) {
        const Entry& e = m_program[i];
        if (!isPatch(e)) {
            if (removing && e.Kind == OutputKind::PatchNote)
                removeTiedNote(i, oldestOnly);
            else
                ++i;
            continue;
        }
        const bool started = first && m_transmissionOpen && e.Kind == OutputKind::PatchProgram;
        first = false;
        removing = !started;
        if (started) {
            ++i;
            continue;
        }
        // The oldest transmission ends before the second dump.
        if (oldestOnly && e.Kind == OutputKind::PatchDump && dumpSeen) break;
        dumpSeen = dumpSeen || e.Kind == OutputKind::PatchDump;
        removeAt(i, oldestOnly);
    }
}

void OutputQueue::removeAt(std::size_t index, bool dropped) {
    m_programWaiting -= cableTime(m_program[index].Data.size());
    ++(dropped ? m_dropped : m_replaced);
    m_program.erase(m_program.begin() + static_cast<std::ptrdiff_t>(index));
}

// A note message's place among the 16 channels' notes.
std::size_t OutputQueue::noteIndex(const Message& m) {
    return std::size_t(m.data()[0] & kChannelMask) * kNoteNumbers + (m.data()[1] & MidiBytes::kDataMask);
}

void OutputQueue::removeTiedNote(std::size_t index, bool dropped) {
    const Message note = m_program[index].Data;
    removeAt(index, dropped);
    if (note.size() != kNoteMessage || rankOf(note) != NoteOn) return;
    const std::size_t which = noteIndex(note);
    for (std::size_t j = index; j < m_program.size(); ++j) {
        const Entry& e = m_program[j];
        if (!isPatch(e) && rankOf(e.Data) == NoteOff && noteIndex(e.Data) == which)
            return removeAt(j, dropped);
    }
    m_silenced.set(which);
}

bool OutputQueue::silenced(const Message& m) {
    if (m.size() != kNoteMessage) return false;
    const Rank rank = rankOf(m);
    const bool note = rank == NoteOff || (m.data()[0] & kKindMask) == MidiBytes::kNoteOn;
    if (!note) return false;
    const std::size_t which = noteIndex(m);
    const bool ends = rank == NoteOff && m_silenced.test(which);
    m_silenced.reset(which);
    return ends;
}

OutputQueue::Time OutputQueue::dueOf(const Entry& e) const {
    return e.Kind == OutputKind::PatchDump ? std::max(m_wireFree, m_dumpNotBefore) : m_wireFree;
}

// The road of the next message: the Program Change of a started dump comes first; then
// the program's message unless it waits for the pause or forwarded messages are behind
// in their share of the cable.
std::deque<OutputQueue::Entry>* OutputQueue::nextLane() {
    if (m_program.empty()) return m_forwarded.empty() ? nullptr : &m_forwarded;
    const Entry& own = m_program.front();
    if (m_forwarded.empty() || (m_transmissionOpen && own.Kind == OutputKind::PatchProgram))
        return &m_program;
    if (dueOf(own) > m_wireFree) return &m_forwarded;
    return m_forwardedLead > Time::zero() ? &m_program : &m_forwarded;
}

std::optional<OutputQueue::Time> OutputQueue::nextDue() const {
    auto* lane = const_cast<OutputQueue*>(this)->nextLane();
    if (!lane) return std::nullopt;
    return dueOf(lane->front());
}

bool OutputQueue::take(Time now, Time until, Taken& taken) {
    std::deque<Entry>* lane = nextLane();
    if (!lane) return false;
    Entry& e = lane->front();
    const Time due = dueOf(e);
    const Time start = m_fromNow || now - due > kLateness ? std::max(due, now) : due;
    if (start > until) return false;
    const bool forwarded = lane == &m_forwarded;
    const bool bothDue = !m_forwarded.empty() && !m_program.empty() &&
                         dueOf(m_program.front()) <= m_wireFree;
    taken.Start = start;
    m_fromNow = false;
    taken.Gap = m_lastStart == kLongAgo ? Time::zero() : due - m_lastStart;
    if (taken.Gap < Time::zero()) taken.Gap = Time::zero();
    const Time cable = cableTime(e.Data.size());
    m_lastStart = taken.Start;
    m_wireFree = taken.Start + cable;
    if (isPatch(e)) {
        m_dumpNotBefore = m_wireFree + m_pause;
        m_transmissionOpen = e.Kind == OutputKind::PatchDump;
    }
    if (bothDue) m_forwardedLead += forwarded ? cable : -cable;
    (forwarded ? m_forwardedWaiting : m_programWaiting) -= cable;
    if (forwarded) --m_forwardedRanks[e.Order];
    taken.Kind = e.Kind;
    taken.Data = std::move(e.Data);
    lane->pop_front();
    if (m_forwarded.empty() || m_program.empty()) m_forwardedLead = Time::zero();
    return true;
}

void OutputQueue::clear() {
    m_program.clear();
    m_forwarded.clear();
    m_programWaiting = m_forwardedWaiting = Time::zero();
    std::fill(std::begin(m_forwardedRanks), std::end(m_forwardedRanks), 0);
    m_forwardedLead = Time::zero();
    m_transmissionOpen = false;
    m_silenced.reset();
}
