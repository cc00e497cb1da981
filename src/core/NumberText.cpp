#include "NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace NumberText {
namespace {

bool isSkipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Hexadecimal or octal integer after "&H" / "&O". Digits are accumulated in a double,
// so any length is safe; a value that large simply fails to fit 16 bits later.
double readRadix(const std::string& s, size_t pos, int radix) {
    double value = 0;
    for (; pos < s.size(); ++pos) {
        const char c = s[pos];
        int digit = -1;
        if (isDigit(c))
            digit = c - '0';
        else if (radix == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (radix == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0 || digit >= radix)
            break;
        value = value * radix + digit;
    }
    return value;
}

} // namespace

double readNumber(std::string_view text) {
    std::string s;
    s.reserve(std::min<size_t>(text.size(), 4096));
    for (char c : text)
        if (!isSkipped(c))
            s.push_back(c);

    if (s.size() >= 2 && s[0] == '&') {
        if (s[1] == 'H' || s[1] == 'h')
            return readRadix(s, 2, 16);
        if (s[1] == 'O' || s[1] == 'o')
            return readRadix(s, 2, 8);
    }

    // Collect the longest prefix that forms a decimal number, in the form from_chars
    // reads (locale-independent; 'D' exponents become 'e').
    std::string number;
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    long significantIntegerDigits = 0;
    bool anyDigit = false;
    bool seenNonZero = false;
    for (; i < s.size() && isDigit(s[i]); ++i) {
        number.push_back(s[i]);
        anyDigit = true;
        if (s[i] != '0')
            seenNonZero = true;
        if (seenNonZero)
            ++significantIntegerDigits;
    }
    if (i < s.size() && s[i] == '.') {
        number.push_back('.');
        ++i;
        for (; i < s.size() && isDigit(s[i]); ++i) {
            number.push_back(s[i]);
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return 0;

    long exponent = 0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        size_t j = i + 1;
        bool expNegative = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            expNegative = s[j] == '-';
            ++j;
        }
        if (j < s.size() && isDigit(s[j])) {
            number.push_back('e');
            if (expNegative)
                number.push_back('-');
            for (; j < s.size() && isDigit(s[j]); ++j) {
                number.push_back(s[j]);
                if (exponent < 1000000)
                    exponent = exponent * 10 + (s[j] - '0');
            }
            if (expNegative)
                exponent = -exponent;
        }
    }

    double value = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: which one follows from the magnitude.
        const bool overflow = significantIntegerDigits + exponent > 0;
        value = overflow ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (result.ec != std::errc()) {
        value = 0;
    }
    return negative ? -value : value;
}

std::optional<int16_t> toInt16(double value) {
    if (std::isnan(value))
        return std::nullopt;
    // nearbyint rounds in the default mode: to nearest, halves to even.
    const double rounded = std::nearbyint(value);
    if (rounded < std::numeric_limits<int16_t>::min() ||
        rounded > std::numeric_limits<int16_t>::max())
        return std::nullopt;
    return static_cast<int16_t>(rounded);
}

std::optional<int16_t> readInt16(std::string_view text) { return toInt16(readNumber(text)); }

int16_t roundToInt16(double value) {
    const double limited = std::clamp(std::isnan(value) ? 0.0 : value, -32768.0, 32767.0);
    return static_cast<int16_t>(std::nearbyint(limited));
}

std::string writeNumber(long value) {
    return value < 0 ? std::to_string(value) : " " + std::to_string(value);
}

std::optional<int> readDigits(std::string_view text, std::size_t mostDigits) {
    constexpr std::size_t kSafeDigits = 9;
    if (text.empty() || text.size() > std::min(mostDigits, kSafeDigits)) return std::nullopt;
    int number = 0;
    for (const char c : text) {
        if (!isDigit(c)) return std::nullopt;
        number = number * 10 + (c - '0');
    }
    return number;
}

} // namespace NumberText
