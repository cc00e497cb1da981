#pragma once

#include <cstddef>
#include <cstdint>

// A channel or system message of at most three bytes, and the MIDI bytes it is built of.
namespace MidiBytes {
inline constexpr uint8_t kStatusBit = 0x80;
inline constexpr uint8_t kDataMask = 0x7F;
inline constexpr uint8_t kNoteOff = 0x80;
inline constexpr uint8_t kNoteOn = 0x90;
inline constexpr uint8_t kControlChange = 0xB0;
inline constexpr uint8_t kProgramChange = 0xC0;
inline constexpr uint8_t kChannelPressure = 0xD0;
inline constexpr uint8_t kPitchBend = 0xE0;
inline constexpr uint8_t kSystem = 0xF0; // also the start of System Exclusive
inline constexpr uint8_t kTimeCodeQuarterFrame = 0xF1;
inline constexpr uint8_t kSongPosition = 0xF2;
inline constexpr uint8_t kSongSelect = 0xF3;
inline constexpr uint8_t kSysExEnd = 0xF7;
inline constexpr int kShortMessageMax = 3;
} // namespace MidiBytes

struct ShortMessage {
    uint8_t Status = 0;
    uint8_t Data1 = 0;
    uint8_t Data2 = 0;
};

// The number of bytes a message with this status byte has on the wire: 3 for most
// channel messages, 2 for Program Change, Channel Pressure, quarter frame and song
// select, 3 for song position, 1 for the other system messages. 0 for a byte that
// starts no short message (a data byte, System Exclusive start or end, or no byte).
constexpr int shortMessageLength(int status) {
    using namespace MidiBytes;
    if (status < kStatusBit || status > 0xFF)
        return 0;
    if (status < kSystem) {
        const int kind = status & 0xF0;
        return kind == kProgramChange || kind == kChannelPressure ? 2 : 3;
    }
    switch (status) {
    case kSystem:
    case kSysExEnd:
        return 0;
    case kTimeCodeQuarterFrame:
    case kSongSelect:
        return 2;
    case kSongPosition:
        return 3;
    default:
        return 1;
    }
}
