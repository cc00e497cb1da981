#pragma once

#include "MessageStore.h"
#include "core/PatchBank.h"
#include "core/PatchDump.h"
#include "core/PatchTransmission.h"

#include <cstddef>
#include <cstdint>

// Where the stream's messages go, each at a frame of the block being run.
class EventSink {
public:
    virtual ~EventSink() = default;
    // False when the block's output has no room: the message goes in the next block.
    virtual bool write(uint32_t frame, const uint8_t* bytes, std::size_t size) = 0;
};

// The plugin's output, block by block: the track's messages and the patch the controls
// hold, one message at a time at the cable's pace in the host's frames (each message
// starts its cable time after the one before, rounded up to the next frame, carried
// across blocks). A patch is its dump and Program Change 0; a dump that has started is
// followed by its Program Change before anything else, a newer patch replaces one that
// has not started (there is one pending patch), and the pause follows each patch. The
// track's messages and the pending patch go in the order they came, so that a note
// waits at most for a patch that has started. No allocation, lock or system call.
class PatchStream {
public:
    struct Settings {
        PatchValues Values{};
        int Channel = 1;
        bool Bit99 = false;
        int PauseMs = 0;
    };

    explicit PatchStream(uint32_t rate);

    // The block's start: the controls as the host holds them now. A patch is pending
    // when the values, channel or header differ from the last block's, or on the first
    // block after recall().
    void begin(const Settings& settings);
    // A message of the track at `frame` of the block.
    void input(uint32_t frame, const uint8_t* bytes, std::size_t size);
    // Sends what the cable takes within the block's `frames` frames; then the next block.
    void run(uint32_t frames, EventSink& sink);

    // The patch is sent once at the next block, whatever the controls hold (the plugin
    // was made, or its state restored).
    void recall() { m_recall = true; }

    // Track messages dropped because the store had no room for them.
    uint64_t dropped() const { return m_dropped; }
    bool idle() const { return !m_patchPending && !m_programOpen && m_store.empty(); }

private:
    uint32_t framesFor(std::size_t bytes) const;
    bool sendPatchDump(uint64_t at, uint64_t blockStart, EventSink& sink);

    uint32_t m_rate;
    ValuesEncoder m_encoder;
    SysExMessage m_dump;
    MessageStore m_store;
    uint8_t m_message[MessageStore::kLongestMessage]{};

    Settings m_settings;
    Settings m_sent; // what the last begin() saw
    bool m_recall = true;
    bool m_firstBlock = true;

    uint64_t m_now = 0;        // the frame the block starts at
    uint64_t m_cableFree = 0;  // the first frame the next message may start at
    uint64_t m_patchFree = 0;  // the first frame the next dump may start at (the pause)
    bool m_patchPending = false;
    uint64_t m_patchArrival = 0; // when the pending patch was first asked for
    bool m_programOpen = false;  // a dump went, its Program Change not yet
    uint8_t m_program[PatchTransmission::kProgramChangeBytes]{};
    uint64_t m_dropped = 0;
};
