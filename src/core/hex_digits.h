#pragma once
// The digit rule both hex text parsers share, and the digits both formatters write.
// The parsers reject no character: after upper-casing, anything up to '9' counts its
// code minus 0x30 and anything else its code minus 0x37, all in 8 bits, so "0a" and
// "0A" give 0x0A and "GG" gives 0x10.

#include <cstdint>

namespace hexdigits {

constexpr char kUpper[] = "0123456789ABCDEF";
constexpr char kLower[] = "0123456789abcdef";

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
