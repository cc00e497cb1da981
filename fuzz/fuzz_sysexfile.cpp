// SysEx files as File > Import SysEx and quenlor-sysex import read them: raw messages
// back to back or a Standard MIDI File. Any bytes end in dumps found and messages skipped
// with a reason, or the file refused, never a crash; the counts and offsets stay within
// the file and the limits kept; and every dump found sends again as the bytes it was read
// from (for a raw file, at its offset, real-time bytes among them left out).
#include "FuzzCheck.h"
#include "core/QuenlorCode.h"
#include "storage/SysExFile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const SysExScan scan = scanSysEx(data, size);
    FUZZ_CHECK(scan.Dumps.size() <= SysExFile::kMaxKept);
    FUZZ_CHECK(scan.Skipped.size() <= SysExFile::kMaxKept);
    FUZZ_CHECK(scan.Dumps.size() == std::min(scan.DumpCount, SysExFile::kMaxKept));
    FUZZ_CHECK(scan.Skipped.size() == std::min(scan.SkippedCount, SysExFile::kMaxKept));
    FUZZ_CHECK(scan.DumpCount * 80 <= size);
    if (scan.refused())
        FUZZ_CHECK(scan.Dumps.empty());
    for (const SkippedMessage& skipped : scan.Skipped) {
        FUZZ_CHECK(skipped.Offset <= size);
        FUZZ_CHECK(!skipped.Reason.empty());
    }
    QuenlorCode code;
    code.InitPatchModel();
    for (const FoundDump& dump : scan.Dumps) {
        FUZZ_CHECK(dump.Offset < size);
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            code.PatchBank(1, p) = dump.Patch.Values[static_cast<std::size_t>(p)];
        code.MIDIChannelOut = static_cast<int16_t>(dump.Patch.Channel);
        code.Bit99Compatible = dump.Patch.Bit99 ? 1 : 0;
        code.preparePatchDump(1);
        const DumpDecoding again = decodePatch(code.PatchDump.data(), code.PatchDump.size());
        FUZZ_CHECK(again.ok());
        FUZZ_CHECK(again.Patch.Values == dump.Patch.Values);
        if (!scan.StandardMidiFile) {
            std::vector<uint8_t> read;
            for (std::size_t at = dump.Offset; at < size && read.size() < 80; ++at)
                if (data[at] < 0xF8) read.push_back(data[at]);
            FUZZ_CHECK(read.size() == 80);
            FUZZ_CHECK(std::memcmp(code.PatchDump.data(), read.data(), 80) == 0);
        }
    }
    return 0;
}
