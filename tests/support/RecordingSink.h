#pragma once

#include "core/MidiSink.h"

#include <cstdint>
#include <vector>

// A MIDI output for tests: every message handed to it, as the bytes it stands for.
struct RecordingSink : MidiSink {
    using Bytes = std::vector<uint8_t>;
    std::vector<Bytes> Messages;

    void SendSysEx(const SysExMessage& m) override { Messages.emplace_back(m.data(), m.data() + m.size()); }
    void SendProgramChange(int16_t channel, int16_t program) override {
        Messages.push_back({uint8_t(0xC0 + channel - 1), uint8_t(program)});
    }
    void PlayNoteOn(int16_t channel, int16_t note, int16_t velocity) override {
        Messages.push_back({uint8_t(0x90 + channel - 1), uint8_t(note), uint8_t(velocity)});
    }
    void PlayNoteOff(int16_t channel, int16_t note) override {
        Messages.push_back({uint8_t(0x90 + channel - 1), uint8_t(note), 0});
    }

    // The number of patch dumps sent so far.
    int dumps() const {
        int n = 0;
        for (const Bytes& m : Messages)
            n += !m.empty() && m[0] == 0xF0;
        return n;
    }
    void clear() { Messages.clear(); }
};
