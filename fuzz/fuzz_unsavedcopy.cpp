// Copies of unsaved banks as File > Restore Unsaved Bank and the start-up offer read
// them: any bytes at all end in a verdict, never in a crash, and a copy read as good is
// written back as a copy that reads as the same values, names (a line break read into a
// name comes back as a space) and file.
#include "FuzzCheck.h"
#include "core/PatchBank.h"
#include "storage/UnsavedCopy.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    UnsavedCopy::Image image;
    if (UnsavedCopy::decode(bytes, image) != UnsavedCopy::ReadResult::Ok)
        return 0;

    Bank bank;
    for (int patch = kFirstPatch; patch <= kLastPatch; ++patch)
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            bank(patch, p) = image.Values[std::size_t(patch)][std::size_t(p)];
    const std::string again = UnsavedCopy::encode(bank, image.Names, image.Origin);
    UnsavedCopy::Image reread;
    FUZZ_CHECK(UnsavedCopy::decode(again, reread) == UnsavedCopy::ReadResult::Ok);
    FUZZ_CHECK(reread.Origin == image.Origin);
    for (int patch = kFirstPatch; patch <= kLastPatch; ++patch) {
        const auto n = std::size_t(patch);
        // A name is written on a line of its own: a line ends at a CR, so a line feed
        // without one is read into the name, and written back as a space.
        std::string written = image.Names[n];
        for (char& c : written)
            if (c == '\r' || c == '\n') c = ' ';
        FUZZ_CHECK(reread.Names[n] == written);
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            FUZZ_CHECK(reread.Values[n][std::size_t(p)] == image.Values[n][std::size_t(p)]);
    }
    return 0;
}
