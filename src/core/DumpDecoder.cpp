#include "DumpDecoder.h"

#include "PatchDump.h"
#include "SharedBytes.h"

#include <array>
#include <cstdio>

using namespace DumpBytes;
using namespace SharedBytes;

namespace {
constexpr int kOctaveBytes = 4 * kSemitonesPerOctave; // 0..47

std::string hexByte(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
    return text;
}

// The lowest numbered parameter packed into each data byte, by position / 2.
constexpr std::array<int, kDataBytes> kFirstParameters = [] {
    std::array<int, kDataBytes> first{};
    for (int p = kLastParameter; p >= kFirstParameter; --p)
        first[static_cast<std::size_t>(kParameterRows[p].DumpPosition / 2)] = p;
    return first;
}();

int firstParameterAt(int position) {
    return kFirstParameters[static_cast<std::size_t>(position / 2)];
}

class Reader {
public:
    Reader(const uint8_t* bytes, std::size_t length) : m_bytes(bytes), m_length(length) {}

    DumpDecoding read() {
        if (m_length != kDumpLength)
            return refuse(
                0, 0, "a patch dump is 80 bytes long, this message is " + std::to_string(m_length));
        if (!expect(0, kSysExStart) || !expect(kManufacturerOffset, kManufacturer)) return m_result;
        const int header = m_bytes[kHeaderOffset];
        if (header < kHeaderBit01 || header > kHeaderBit99 + 15)
            return refuse(kHeaderOffset, 0,
                          "header " + hexByte(header) +
                              " is neither Bit 01 (0x10..0x1F) nor "
                              "Bit 99 (0x20..0x2F)");
        if (!expect(kCommandOffset, kCommand) || !expect(kArgumentOffset, kCommandArgument))
            return m_result;
        for (int offset = kFirstNibbleOffset; offset <= kLastNibbleOffset; ++offset)
            if (m_bytes[offset] > 0x0F)
                return refuse(offset, firstParameterAt(offset - kFirstNibbleOffset),
                              "data nibble " + hexByte(m_bytes[offset]) + " above 0x0F");
        if (!expect(kEndOffset, kSysExEnd)) return m_result;
        m_result.Patch.Channel = (header & 0x0F) + 1;
        m_result.Patch.Bit99 = header >= kHeaderBit99;
        for (int position = 0; position < 2 * kDataBytes && m_result.ok(); position += 2)
            readByte(position);
        return m_result;
    }

private:
    bool expect(int offset, uint8_t value) {
        if (m_bytes[offset] == value) return true;
        refuse(offset, 0,
               "byte " + hexByte(m_bytes[offset]) + " where " + hexByte(value) + " belongs");
        return false;
    }

    DumpDecoding& refuse(int offset, int parameter, const std::string& reason) {
        m_result.Offset = offset;
        m_result.Parameter = parameter;
        m_result.Reason = reason;
        return m_result;
    }

    // Refuses the data byte at a position unless ok; true when it was accepted.
    bool accept(int position, int byte, bool ok, const char* rule) {
        if (!ok)
            refuse(kFirstNibbleOffset + position, firstParameterAt(position),
                   "data byte " + hexByte(byte) + " of parameter " +
                       std::to_string(firstParameterAt(position)) + " " + rule);
        return ok;
    }

    void readByte(int position) {
        const int byte = m_bytes[kFirstNibbleOffset + position] +
                         16 * m_bytes[kFirstNibbleOffset + position + 1];
        const int parameter = firstParameterAt(position);
        auto& values = m_result.Patch.Values;
        switch (kParameterRows[parameter].EncodeKind) {
        case EncodeWaveChoices:
            if (accept(position, byte, (byte & 0x70) == 0, "has bits 4-6 set")) {
                values[kInvert] = (byte & kInvertBit) ? 1 : 0;
                kLfo1Waves.choose(values.data(), (byte & 0x03) - 1);
                kLfo2Waves.choose(values.data(), ((byte >> 2) & 0x03) - 1);
            }
            break;
        case EncodeDestinations:
            for (int bit = 0; bit < 8; ++bit)
                values[kLfoDestinations[bit]] = (byte >> bit) & 1;
            break;
        case EncodeWaveforms:
            if (accept(position, byte, (byte & 0xC0) == 0, "has bits 6-7 set"))
                for (int bit = 0; bit < 6; ++bit)
                    values[kDcoWaveforms[bit]] = (byte >> bit) & 1;
            break;
        case EncodeDco1Pitch:
        case EncodeDco2Pitch: {
            const bool first = kParameterRows[parameter].EncodeKind == EncodeDco1Pitch;
            if (accept(position, byte, byte < kOctaveBytes, "is above 47")) {
                (first ? kDco1Octaves : kDco2Octaves).choose(values.data(), byte / kSemitonesPerOctave);
                values[first ? kDco1Semitone : kDco2Semitone] =
                    static_cast<int16_t>(byte % kSemitonesPerOctave);
            }
            break;
        }
        case EncodeWholeByte:
            if (accept(position, byte, byte <= kParameterRows[parameter].MaxValue, "is above 63"))
                values[parameter] = static_cast<int16_t>(byte);
            break;
        case EncodeSixBits:
            if (accept(position, byte, (byte & 0x03) == 0, "has bits 0-1 set"))
                values[parameter] = static_cast<int16_t>(byte / 4);
            break;
        case EncodeFiveBits:
            if (accept(position, byte, (byte & 0x07) == 0, "has bits 0-2 set") &&
                accept(position, byte, byte / 8 <= kParameterRows[parameter].MaxValue,
                       "is above 240"))
                values[parameter] = static_cast<int16_t>(byte / 8);
            break;
        case EncodeDetuneByte:
            if (accept(position, byte, (byte & kDetuneMarker) != 0, "lacks bit 7") &&
                accept(position, byte, (byte & 0x01) == 0, "has bit 0 set"))
                values[kDetune] = static_cast<int16_t>((byte - 128) / 2);
            break;
        default:
            break;
        }
    }

    const uint8_t* m_bytes;
    std::size_t m_length;
    DumpDecoding m_result;
};
} // namespace

DumpDecoding decodePatch(const uint8_t* bytes, std::size_t length) {
    return Reader(bytes, bytes ? length : 0).read();
}
