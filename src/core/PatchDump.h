#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The System Exclusive message that carries one patch to the instrument.
namespace DumpBytes {
inline constexpr uint8_t kSysExStart = 0xF0;
inline constexpr uint8_t kManufacturer = 0x25;
inline constexpr uint8_t kHeaderBit01 = 0x10; // + channel - 1
inline constexpr uint8_t kHeaderBit99 = 0x20; // + channel - 1
inline constexpr uint8_t kCommand = 0x07;
inline constexpr uint8_t kCommandArgument = 0x00;
inline constexpr uint8_t kSysExEnd = 0xF7;

inline constexpr int kManufacturerOffset = 1;
inline constexpr int kHeaderOffset = 2;
inline constexpr int kCommandOffset = 3;
inline constexpr int kArgumentOffset = 4;
inline constexpr int kFirstNibbleOffset = 5; // low nibble of data byte 0
inline constexpr int kDataBytes = 37;
inline constexpr int kLastNibbleOffset = kFirstNibbleOffset + 2 * kDataBytes - 1; // 78
inline constexpr int kEndOffset = 79;
inline constexpr int kDumpLength = 80;
inline constexpr int kBufferSize = 1025;
} // namespace DumpBytes

// One message buffer for the whole program, reused by every send.
struct SysExMessage {
    int16_t Length = 0;
    std::array<uint8_t, DumpBytes::kBufferSize> Bytes{};

    const uint8_t* data() const { return Bytes.data(); }
    std::size_t size() const { return Length > 0 ? static_cast<std::size_t>(Length) : 0; }
};
