#pragma once

#include <cstdint>

// The members of the dump's shared data bytes, as the instrument lays them out: the
// encoder packs them and the decoder unpacks them by these, never by copies of its own.
namespace SharedBytes {
inline constexpr int kInvert = 23;
inline constexpr int kLfoDestinations[] = {4, 5, 6, 7, 56, 57, 58, 59}; // bits 0..7
inline constexpr int kDcoWaveforms[] = {30, 41, 29, 40, 28, 39};        // bits 0..5
inline constexpr int kDco1Semitone = 31;
inline constexpr int kDco2Semitone = 42;
inline constexpr int kDetune = 45;
inline constexpr int kSemitonesPerOctave = 12;
inline constexpr uint8_t kInvertBit = 0x80;
inline constexpr uint8_t kDetuneMarker = 0x80;
} // namespace SharedBytes
