#pragma once

#include "ParameterTable.h"
#include "PatchBank.h"
#include "PatchDump.h"

#include <cstdint>

// What goes to the instrument for one patch: the dump, with its header byte for the
// output channel and the Bit 01 or Bit 99 model, then Program Change 0 on that channel.
namespace PatchTransmission {
inline constexpr uint8_t kProgramChange = 0xC0; // + channel - 1
inline constexpr uint8_t kFirstProgram = 0;     // the instrument's program 1
inline constexpr std::size_t kProgramChangeBytes = 2;
inline constexpr int kLowestChannel = 1;
inline constexpr int kHighestChannel = 16;

// The patch of a new bank: every value 0 but the first octave of each oscillator.
PatchValues blankPatch();
// The dump's header byte; a channel outside 1..16 is taken as 1.
uint8_t headerByte(bool bit99, int channel);
// The status byte of the Program Change that follows a dump.
uint8_t programChangeStatus(int channel);
} // namespace PatchTransmission

// Encodes patch values that are not in a bank (a plugin's controls, a variation being
// auditioned) into a complete dump, header included. Holds the scratch bank the encoder
// reads, so that encoding allocates nothing.
class ValuesEncoder {
public:
    ValuesEncoder();
    // Fills `dump` (all 80 bytes and its length) for the values.
    void encode(const PatchValues& values, bool bit99, int channel, SysExMessage& dump);

private:
    Bank m_scratch;
    ParamTable m_table;
};
