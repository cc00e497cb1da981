// Reading a number from text, as value boxes, window tags, file lines and stored
// settings do: any bytes at all give a number, never NaN, and the 16-bit conversion
// agrees with itself and with the way numbers are written back.
#include "FuzzCheck.h"
#include "core/NumberText.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Plain decimal integers of up to nine digits, with an optional sign and nothing
// else: their value is known without the number rule.
bool isPlainInteger(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t digits = text.size() - i;
    if (digits == 0 || digits > 9) return false;
    for (; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

// A digit of any radix the rule knows ("&HFF" has no decimal digit but is 255).
bool hasDigit(std::string_view text) {
    for (char c : text)
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')) return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const double value = NumberText::readNumber(text);
    FUZZ_CHECK(!std::isnan(value));
    // Without a single digit there is no number, and no number reads as 0.
    if (!hasDigit(text)) FUZZ_CHECK(value == 0);

    const auto fitted = NumberText::readInt16(text);
    const auto direct = NumberText::toInt16(value);
    FUZZ_CHECK(fitted.has_value() == direct.has_value());

    if (isPlainInteger(text)) {
        const long expected = std::strtol(std::string(text).c_str(), nullptr, 10);
        FUZZ_CHECK(value == static_cast<double>(expected));
        FUZZ_CHECK(fitted.has_value() == (expected >= INT16_MIN && expected <= INT16_MAX));
    }

    if (fitted) {
        FUZZ_CHECK(*fitted == *direct);
        // Nearest integer: never more than half away from what was read.
        FUZZ_CHECK(std::fabs(value - *fitted) <= 0.5);
        FUZZ_CHECK(NumberText::roundToInt16(value) == *fitted);
        // What the program writes for a value reads back as that value.
        const std::string written = NumberText::writeNumber(*fitted);
        FUZZ_CHECK(written[0] == (*fitted < 0 ? '-' : ' '));
        FUZZ_CHECK(NumberText::readInt16(written) == fitted);
    } else {
        // Out of 16-bit range: the clamping conversion lands on a limit.
        const int16_t limited = NumberText::roundToInt16(value);
        FUZZ_CHECK(limited == INT16_MIN || limited == INT16_MAX);
    }
    return 0;
}
