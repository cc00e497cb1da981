#pragma once

#include "ParameterTable.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// A patch read back from a dump: the values the editors would have held, and the header
// it came with.
struct DecodedPatch {
    std::array<int16_t, kParameterSlots> Values{}; // slot 0 unused, flags as 0 or 1
    int Channel = 1;                               // 1..16, from the header's low nibble
    bool Bit99 = false;                            // header 0x20..0x2F
};

// The outcome of reading one message as a patch dump. A message the program could never
// have sent is refused with the first offending offset, and for a data byte the lowest
// numbered parameter packed into it; nothing is guessed.
struct DumpDecoding {
    DecodedPatch Patch;
    int Offset = -1;   // offset of the refused byte; -1 when the dump is valid
    int Parameter = 0; // 1..63 when a data byte was refused, else 0
    std::string Reason;

    bool ok() const { return Offset < 0; }
};

// Reads a whole message, F0 to F7, as a Bit 01 patch dump: the inverse of the encoder
// for every dump it can produce.
DumpDecoding decodePatch(const uint8_t* bytes, std::size_t length);
