// The dump encoder fed the bank values a file can put into a patch (any 16-bit value,
// far outside the parameters' ranges) and any channel and header setting: the dump
// stays a well-formed message of 4-bit data bytes, encoding twice gives the same
// bytes, and each single-value parameter carries its value held to 0..MaxValue, the
// nearest one the instrument can play, so that it never spills into other bits.
//
// The input is text, one number per line (a line feed or carriage return ends it):
// the output channel, the Bit 99 setting, then parameters 1 to 63 of the patch. A
// number outside 16 bits is taken at the nearer limit; missing lines are 0.
#include "FuzzCheck.h"
#include "FuzzWorld.h"
#include "core/NumberText.h"
#include "core/QuenlorCode.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace {

constexpr int kSettingLines = 2;

enum EncodeKinds : int16_t { kByteValue = 6, kSixBitValue = 7, kFiveBitValue = 8, kDetune = 9 };
constexpr int kDetuneMarker = 0x80;

std::vector<int16_t> readNumbers(std::string_view text) {
    std::vector<int16_t> numbers;
    std::size_t start = 0;
    while (start < text.size() && numbers.size() < kSettingLines + kLastParameter) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        numbers.push_back(
            NumberText::roundToInt16(NumberText::readNumber(text.substr(start, end - start))));
        start = end + 1;
    }
    numbers.resize(kSettingLines + kLastParameter, 0);
    return numbers;
}

int dataByte(const std::array<uint8_t, DumpBytes::kDumpLength>& dump, int position) {
    return dump[DumpBytes::kFirstNibbleOffset + position] |
           (dump[DumpBytes::kFirstNibbleOffset + position + 1] << 4);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const auto numbers = readNumbers(std::string_view(reinterpret_cast<const char*>(data), size));
    // The patch follows from the input too, so that every row of the bank is reached.
    const int patch = kFirstPatch + static_cast<int>(size % kLastPatch);

    QuenlorCode code;
    CheckingSink sink;
    code.InitPatchModel();
    code.Midi = &sink;
    code.MIDIChannelOut = numbers[0];
    code.Bit99Compatible = numbers[1];
    for (int p = kFirstParameter; p <= kLastParameter; ++p)
        code.PatchBank(patch, p) = numbers[kSettingLines + p - 1];
    const Bank before = code.PatchBank;

    code.SendPatch(patch);
    FUZZ_CHECK(sink.SysEx == 1 && sink.ProgramChanges == 1);
    const auto first = sink.LastDump;
    FUZZ_CHECK(code.PatchBank == before); // encoding reads the bank, never writes it

    // The header names the channel the Program Change went to.
    const int channel = sink.LastProgramChannel;
    const uint8_t headerBase =
        code.Bit99Compatible == 1 ? DumpBytes::kHeaderBit99 : DumpBytes::kHeaderBit01;
    FUZZ_CHECK(first[DumpBytes::kHeaderOffset] == headerBase + channel - 1);
    if (code.MIDIChannelOut >= 1 && code.MIDIChannelOut <= 16)
        FUZZ_CHECK(channel == code.MIDIChannelOut);

    for (int p = kFirstParameter; p <= kLastParameter; ++p) {
        const int value =
            std::clamp<int>(code.PatchBank(patch, p), 0, code.ParameterTable.MaxValue(p));
        const int position = code.ParameterTable.DumpPosition(p);
        switch (code.ParameterTable.EncodeKind(p)) {
        case kByteValue:
            FUZZ_CHECK(dataByte(first, position) == value);
            break;
        case kSixBitValue:
            FUZZ_CHECK(dataByte(first, position) == value * 4);
            break;
        case kFiveBitValue:
            FUZZ_CHECK(dataByte(first, position) == value * 8);
            break;
        case kDetune:
            FUZZ_CHECK(dataByte(first, position) == value * 2 + kDetuneMarker);
            break;
        default:
            break;
        }
    }

    code.SendPatch(patch);
    FUZZ_CHECK(sink.SysEx == 2);
    FUZZ_CHECK(sink.LastDump == first);
    return 0;
}
