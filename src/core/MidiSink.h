#pragma once

#include "PatchDump.h"

#include <cstdint>

// The test note: middle C at a moderate velocity.
namespace TestNote {
inline constexpr int16_t kNote = 60;
inline constexpr int16_t kVelocity = 70;
} // namespace TestNote

// What the patch model and the windows need of the MIDI output: the port layer
// implements it. Channels are 1..16.
class MidiSink {
public:
    virtual ~MidiSink() = default;
    virtual void SendSysEx(const SysExMessage& message) = 0;
    virtual void SendProgramChange(int16_t channel, int16_t program) = 0;
    // Test notes; a note is ended by a Note On with velocity 0.
    virtual void PlayNoteOn(int16_t channel, int16_t note, int16_t velocity) {
        (void)channel, (void)note, (void)velocity;
    }
    virtual void PlayNoteOff(int16_t channel, int16_t note) { (void)channel, (void)note; }
    // A test note that belongs to the patch sent just before it (an audition's): it
    // leaves only after that patch, and when a newer patch replaces the patch before it
    // has left, the note and its end go with it.
    virtual void PlayPatchNoteOn(int16_t channel, int16_t note, int16_t velocity) {
        PlayNoteOn(channel, note, velocity);
    }
};
