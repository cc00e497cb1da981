#pragma once

#include "ParameterTable.h"
#include "PatchBank.h"
#include "PatchDump.h"

#include <cstdint>

// Packs one patch into the data area of the dump: 37 data bytes, each sent as two
// 4-bit message bytes (low nibble first). Nothing here sends anything.
class DumpEncoder {
public:
    DumpEncoder(const Bank& bank, const ParamTable& table, SysExMessage& dump)
        : m_bank(bank), m_table(table), m_dump(dump) {}

    // Overwrites offsets 5..78 of the dump from the patch's values.
    void EncodePatch(int patch);

    // Writes the low 8 bits of value as two nibbles at 5 + position and 6 + position.
    void WriteNibblePair(int16_t position, int16_t value);

    // The nine group encoders, one per EncodeKind, each ending in one WriteNibblePair.
    void encodeLfoWaves(int patch, int16_t position);        // EncodeWaveChoices
    void encodeLfoDestinations(int patch, int16_t position); // EncodeDestinations
    void encodeDcoWaveforms(int patch, int16_t position);    // EncodeWaveforms
    void encodeDco1Octave(int patch, int16_t position);      // EncodeDco1Pitch
    void encodeDco2Octave(int patch, int16_t position);      // EncodeDco2Pitch
    void encodeByteValue(int patch, int parameter, int16_t position);  // EncodeWholeByte
    void encodeSixBitValue(int patch, int parameter, int16_t position); // EncodeSixBits
    void encodeFiveBitValue(int patch, int parameter, int16_t position); // EncodeFiveBits
    void encodeDetune(int patch, int16_t position);          // EncodeDetuneByte

private:
    bool isSet(int patch, int parameter) const { return m_bank.row(patch)[parameter] == 1; }
    int16_t level(int patch, int parameter) const;
    int16_t chosenMember(int patch, const SwitchGroup& group) const;
    int16_t octaveByte(int patch, const SwitchGroup& octaves, int semitoneParameter) const;

    const Bank& m_bank;
    const ParamTable& m_table;
    SysExMessage& m_dump;
};

// Writes the bytes of the dump that never change (start, manufacturer, command, end)
// and its length; the header byte starts as channel 1 without the Bit 99 header.
void fillFixedDumpBytes(SysExMessage& dump);
