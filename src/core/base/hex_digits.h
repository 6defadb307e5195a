#pragma once
// The digits both hex text parsers accept and both formatters write. Upper and lower
// case digits are equal ("0a" and "0A" give 0x0A); any other character is no digit, and
// the parsers reject a text that has one where a digit belongs.

#include <cstdint>

namespace hexdigits {

constexpr char kUpper[] = "0123456789ABCDEF";
constexpr char kLower[] = "0123456789abcdef";

constexpr bool isDigit(char character) {
    return (character >= '0' && character <= '9') || (character >= 'A' && character <= 'F') ||
           (character >= 'a' && character <= 'f');
}

// The value of a digit for which isDigit holds.
constexpr uint8_t value(char digit) {
    auto code = static_cast<uint8_t>(digit);
    if (code >= 'a' && code <= 'z') {
        code = static_cast<uint8_t>(code - ('a' - 'A'));
    }
    return static_cast<uint8_t>(code <= '9' ? code - 0x30 : code - 0x37);
}

constexpr uint8_t pairValue(char high, char low) {
    return static_cast<uint8_t>((value(high) << 4) + value(low));
}

} // namespace hexdigits
