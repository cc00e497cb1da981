#pragma once

#include <cstddef>
#include <cstdint>

// The pace of the 5-pin MIDI cable, for everything that times messages to the instrument:
// 31,250 bits a second, 10 bits a byte, so a message takes 320 us a byte and the next
// one starts no sooner. A patch is its dump and the Program Change that follows it; the
// pause after a patch (if any) comes before the next dump.
namespace CablePacing {
inline constexpr int64_t kByteMicros = 320;
inline constexpr int64_t kMicrosPerSecond = 1'000'000;

// The cable time of a message of `bytes` bytes, in microseconds.
constexpr int64_t cableMicros(std::size_t bytes) { return kByteMicros * int64_t(bytes); }

// Frames for a time at a sample rate, rounded up to the next whole frame: a gap rounded
// down would put two messages closer than the cable carries them.
constexpr uint32_t framesFor(int64_t micros, uint32_t rate) {
    if (micros <= 0) return 0;
    return uint32_t((micros * int64_t(rate) + kMicrosPerSecond - 1) / kMicrosPerSecond);
}

// Whether frame a lies before frame b on a 32-bit frame counter that wraps.
constexpr bool frameBefore(uint32_t a, uint32_t b) { return int32_t(a - b) < 0; }
} // namespace CablePacing
