#pragma once

#include <algorithm>
#include <bitset>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <vector>

#include "core/CablePacing.h"

// The road a message came by; it decides what may overtake, replace or drop it.
enum class OutputKind : uint8_t {
    Note,         // the program's own short messages (test notes)
    PatchDump,    // a patch dump: the start of a patch transmission
    PatchProgram, // the Program Change that ends a patch transmission
    Forwarded,    // a received message passed on (MIDI thru)
    PatchNote,    // a test note that belongs to the patch before it (an audition's)
};
inline constexpr std::size_t kOutputKinds = 5;

// The messages waiting for the MIDI cable, and when each may start. A 5-pin cable carries
// 31,250 bits a second, 10 bits a byte: a message takes 320 us a byte, and the next one
// starts no sooner. Messages leave whole, one at a time; the program's own messages in
// the order sent and forwarded ones in arrival order, with these rules:
// - A patch transmission is one unit: once its dump has started, its Program Change
//   follows it at once, so that the instrument always ends on the patch it received.
// - Forwarded messages do not wait for the pause after a patch. When messages of both
//   roads are due, they take turns by cable time, so that neither road gets less than
//   half of the cable: input at or above cable speed delays a patch by about its own
//   length, and a patch delays forwarded notes by about the same.
// - A patch dump starts no sooner than the pause after the previous patch.
// - With "newest only", a newer patch dump removes every older patch transmission that
//   has not started: the dump carries no patch number and the instrument keeps only the
//   last one it received, so it ends in the same state, sooner.
// - A patch's own test note (PatchNote) goes wherever its patch goes: a transmission
//   removed takes the notes queued after it with it, and each such Note On takes the Note
//   Off that ends it, waiting or yet to come, so that no note sounds another patch and no
//   note is ended that never sounded.
// - Each road holds at most one second of cable time of its own. Without "newest only"
//   the oldest waiting patch transmissions make room for a new one, so the last patch
//   sent always arrives; the program's own notes are never dropped (one click sends
//   them, never a flood). Forwarded messages make room by dropping the oldest of those
//   that a newer message makes up for: controllers, pressure, pitch bend and the other
//   messages first, then Note Ons. A Note Off (or a Note On of velocity 0) is never
//   dropped, since a lost one leaves a note hanging; one that finds only Note Offs
//   waiting goes beyond the second, unless the same note's Note Off already waits.
// Each message is timed from the due time of the one before, not from when the sender
// got to it: a sender that wakes a little late does not slow the stream down.
// Not thread-safe; the output port guards it.
class OutputQueue {
public:
    using Time = std::chrono::microseconds;
    using Bytes = std::vector<uint8_t>;

    static constexpr Time kByteTime{CablePacing::kByteMicros};
    static constexpr Time kLimit{1'000'000};
    static constexpr Time cableTime(std::size_t size) {
        return kByteTime * static_cast<int64_t>(size);
    }

    // The bytes of one message: a short one kept in place, a longer one on the heap, so
    // that forwarding costs no allocation.
    class Message {
    public:
        Message() = default;
        Message(const uint8_t* bytes, std::size_t size);
        const uint8_t* data() const { return m_long.empty() ? m_short : m_long.data(); }
        std::size_t size() const { return m_long.empty() ? m_shortSize : m_long.size(); }

    private:
        static constexpr std::size_t kShortMax = 3;
        uint8_t m_short[kShortMax] = {};
        uint8_t m_shortSize = 0;
        Bytes m_long;
    };

    // A message taken for sending: when it starts, and the least time between the start
    // of the message before it and its own start (that one's cable time, or the pause
    // after a patch), for a MIDI system that places messages in time itself.
    struct Taken {
        Message Data;
        OutputKind Kind = OutputKind::Note;
        Time Start{};
        Time Gap{};
    };

    void setPauseAfterPatch(Time pause) { m_pause = pause; }
    Time pauseAfterPatch() const { return m_pause; }
    void setNewestOnly(bool on) { m_newestOnly = on; }
    bool newestOnly() const { return m_newestOnly; }

    // Queues a message; false when it was dropped instead.
    bool push(const uint8_t* bytes, std::size_t size, OutputKind kind);

    // When the next waiting message may start; nothing when none waits.
    std::optional<Time> nextDue() const;
    // Takes the next message if, at `now`, it would start by `until`: a MIDI system that
    // places messages in time itself gets them before they are due.
    bool take(Time now, Time until, Taken& taken);

    bool empty() const { return m_program.empty() && m_forwarded.empty(); }
    // When everything taken so far has left the cable and, after a patch, its pause has
    // passed: the moment the next patch could start.
    Time settled() const { return std::max(m_wireFree, m_dumpNotBefore); }
    // When everything taken so far has left the cable.
    Time wireFree() const { return m_wireFree; }
    // Drops every waiting message (not counted: the port closed).
    void clear();

    // Messages dropped because their road was full.
    uint64_t dropped() const { return m_dropped; }
    // Parts of patch transmissions that a newer patch replaced.
    uint64_t replaced() const { return m_replaced; }

    // How late a message may be taken and still be timed from its due time, so that a
    // sender woken this much late (on a loaded or a virtual machine) keeps the stream at
    // the cable's pace: the few messages it then sends at once, the MIDI system and the
    // interface put onto the cable one after the other. Later than this (the cable stood
    // idle, or the system stalled) the next message starts anew from now.
    static constexpr Time kLateness{10000};

private:
    // Which forwarded messages make room first: the lowest rank, oldest first.
    enum Rank : uint8_t { Supersedable, NoteOn, NoteOff, kRanks };
    struct Entry {
        Message Data;
        OutputKind Kind;
        Rank Order = Supersedable;
    };
    static bool isPatch(const Entry& e) {
        return e.Kind == OutputKind::PatchDump || e.Kind == OutputKind::PatchProgram;
    }
    static Rank rankOf(const Message& m);
    Time dueOf(const Entry& e) const;
    std::deque<Entry>* nextLane();
    bool pushForwarded(Entry entry);
    bool makeRoomForForwarded(Time needed, Rank rank);
    bool noteOffWaits(const Message& noteOff) const;
    void removePatches(bool oldestOnly);
    // Removes the waiting message at `index`, counted as dropped or replaced.
    void removeAt(std::size_t index, bool dropped);
    // Removes the patch's own note at `index` and the Note Off that ends a Note On.
    void removeTiedNote(std::size_t index, bool dropped);
    // A Note Off of the program's own whose Note On was removed with its patch: it goes
    // nowhere, once. Ended by a new Note On of the same note.
    bool silenced(const Message& m);

    std::deque<Entry> m_program;   // the program's own messages, in the order sent
    std::deque<Entry> m_forwarded; // received messages passed on, in arrival order
    Time m_programWaiting{0};      // the cable time of each road's waiting messages
    Time m_forwardedWaiting{0};
    std::size_t m_forwardedRanks[kRanks] = {};
    // The cable time forwarded messages have had beyond the program's while both waited.
    Time m_forwardedLead{0};
    // A patch dump has started and its Program Change has not.
    bool m_transmissionOpen = false;
    // The next message came when nothing waited: it is timed from when it is taken.
    bool m_fromNow = false;
    static constexpr Time kLongAgo{std::numeric_limits<int64_t>::min() / 2};
    Time m_lastStart{kLongAgo};
    Time m_wireFree{kLongAgo};
    Time m_dumpNotBefore{kLongAgo};
    Time m_pause{0};
    bool m_newestOnly = true;
    uint64_t m_dropped = 0;
    uint64_t m_replaced = 0;
    // The notes, by channel and number, whose next Note Off of the program's is silenced.
    static constexpr std::size_t kNotes = 16 * 128;
    static std::size_t noteIndex(const Message& m);
    std::bitset<kNotes> m_silenced;
};
