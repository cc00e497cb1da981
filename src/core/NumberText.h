#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The one number rule of the program: how value boxes, window tags, file lines and
// stored settings turn text into a number, and how numbers are written back as text.
namespace NumberText {

// Reads a number from text. Blanks, tabs and line feeds anywhere in the text are
// skipped; then an optional sign, digits, an optional decimal point with digits and an
// optional exponent (E or D) are read up to the first character that cannot continue
// the number. "&H" and "&O" introduce hexadecimal and octal integers. Text without a
// number gives 0. A number too large for a double gives +/- infinity, never undefined
// behaviour.
double readNumber(std::string_view text);

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
// Gives no value when the result does not fit a signed 16-bit integer (or is NaN).
std::optional<int16_t> toInt16(double value);

// readNumber followed by toInt16.
std::optional<int16_t> readInt16(std::string_view text);

// Rounds a number already known to lie within -32768..32767 (callers clamp first).
int16_t roundToInt16(double value);

// Writes a number the way files and stored settings hold it: a blank in front of a
// number that is not negative (" 5", " 0"), a minus sign in front of one that is ("-5").
std::string writeNumber(long value);

// A number as the program writes one into a list of its own: decimal digits alone, no
// sign or blank, at most `mostDigits` of them (9 at most, so that nothing can overflow).
// Nothing for any other text.
std::optional<int> readDigits(std::string_view text, std::size_t mostDigits);

} // namespace NumberText
