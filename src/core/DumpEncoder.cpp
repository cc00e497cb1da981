#include "DumpEncoder.h"

#include "SharedBytes.h"

#include <algorithm>

using namespace DumpBytes;
using namespace SharedBytes;

void fillFixedDumpBytes(SysExMessage& dump) {
    dump.Length = kDumpLength;
    dump.Bytes[0] = kSysExStart;
    dump.Bytes[kManufacturerOffset] = kManufacturer;
    dump.Bytes[kHeaderOffset] = kHeaderBit01;
    dump.Bytes[kCommandOffset] = kCommand;
    dump.Bytes[kArgumentOffset] = kCommandArgument;
    dump.Bytes[kEndOffset] = kSysExEnd;
}

void DumpEncoder::WriteNibblePair(int16_t position, int16_t value) {
    const auto byte = static_cast<uint8_t>(value & 0xFF);
    m_dump.Bytes.at(kFirstNibbleOffset + position) = byte & 0x0F;
    m_dump.Bytes.at(kFirstNibbleOffset + 1 + position) = (byte & 0xF0) >> 4;
}

// A level as the instrument may receive it. Only a hand-made file can hold a value
// outside 0..MaxValue; it is clamped here so that it can never spill into the bits of
// a neighbour or overflow, and the instrument gets the nearest value it can play.
int16_t DumpEncoder::level(int patch, int parameter) const {
    return std::clamp<int16_t>(m_bank.row(patch)[parameter], 0, m_table.MaxValue(parameter));
}

void DumpEncoder::encodeLfoWaves(int patch, int16_t position) {
    const int16_t first = chosenMember(patch, kLfo1Waves);
    const int16_t second = chosenMember(patch, kLfo2Waves);
    const int16_t invert = isSet(patch, kInvert) ? kInvertBit : 0;
    WriteNibblePair(position, static_cast<int16_t>(invert | first | (second * 4)));
}

void DumpEncoder::encodeLfoDestinations(int patch, int16_t position) {
    int16_t byte = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (isSet(patch, kLfoDestinations[bit]))
            byte = static_cast<int16_t>(byte | (1 << bit));
    WriteNibblePair(position, byte);
}

void DumpEncoder::encodeDcoWaveforms(int patch, int16_t position) {
    int16_t byte = 0;
    for (int bit = 0; bit < 6; ++bit)
        if (isSet(patch, kDcoWaveforms[bit]))
            byte = static_cast<int16_t>(byte | (1 << bit));
    WriteNibblePair(position, byte);
}

// 1 + the index of the set member with the highest number, or 0 when none is set.
int16_t DumpEncoder::chosenMember(int patch, const SwitchGroup& group) const {
    int16_t chosen = 0;
    for (int i = 0; i < group.Count; ++i)
        if (isSet(patch, group.FirstMember + i))
            chosen = static_cast<int16_t>(i + 1);
    return chosen;
}

// With no member set the instrument gets the first octave, as it does with the first
// member set.
int16_t DumpEncoder::octaveByte(int patch, const SwitchGroup& octaves,
                                int semitoneParameter) const {
    const int chosen = chosenMember(patch, octaves);
    const int octave = chosen > 0 ? chosen - 1 : 0;
    return static_cast<int16_t>(octave * kSemitonesPerOctave + level(patch, semitoneParameter));
}

void DumpEncoder::encodeDco1Octave(int patch, int16_t position) {
    WriteNibblePair(position, octaveByte(patch, kDco1Octaves, kDco1Semitone));
}

void DumpEncoder::encodeDco2Octave(int patch, int16_t position) {
    WriteNibblePair(position, octaveByte(patch, kDco2Octaves, kDco2Semitone));
}

void DumpEncoder::encodeByteValue(int patch, int parameter, int16_t position) {
    WriteNibblePair(position, level(patch, parameter));
}

void DumpEncoder::encodeSixBitValue(int patch, int parameter, int16_t position) {
    WriteNibblePair(position, static_cast<int16_t>(level(patch, parameter) * 4));
}

void DumpEncoder::encodeFiveBitValue(int patch, int parameter, int16_t position) {
    WriteNibblePair(position, static_cast<int16_t>(level(patch, parameter) * 8));
}

void DumpEncoder::encodeDetune(int patch, int16_t position) {
    WriteNibblePair(position, static_cast<int16_t>(level(patch, kDetune) * 2 + kDetuneMarker));
}

void DumpEncoder::EncodePatch(int patch) {
    // The members of a shared byte all build the same whole byte from the same values,
    // so each shared byte is computed once, by its first member; the result is the same.
    uint64_t written = 0;
    for (int p = kFirstParameter; p <= kLastParameter; ++p) {
        const int16_t position = m_table.DumpPosition(p);
        const uint64_t bit = uint64_t(1) << (position / 2);
        if (written & bit)
            continue;
        written |= bit;
        switch (m_table.EncodeKind(p)) {
        case EncodeWaveChoices: encodeLfoWaves(patch, position); break;
        case EncodeDestinations: encodeLfoDestinations(patch, position); break;
        case EncodeWaveforms: encodeDcoWaveforms(patch, position); break;
        case EncodeDco1Pitch: encodeDco1Octave(patch, position); break;
        case EncodeDco2Pitch: encodeDco2Octave(patch, position); break;
        case EncodeWholeByte: encodeByteValue(patch, p, position); break;
        case EncodeSixBits: encodeSixBitValue(patch, p, position); break;
        case EncodeFiveBits: encodeFiveBitValue(patch, p, position); break;
        case EncodeDetuneByte: encodeDetune(patch, position); break;
        default: break;
        }
    }
}
