#pragma once

#include "PatchDump.h"

#include <cstdint>

// What patch transmission needs of the MIDI output: the port layer implements it.
class MidiSink {
public:
    virtual ~MidiSink() = default;
    virtual void SendSysEx(const SysExMessage& message) = 0;
    virtual void SendProgramChange(int16_t channel, int16_t program) = 0;
};
