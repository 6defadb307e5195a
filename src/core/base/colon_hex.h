#pragma once
// Colon hex text: bytes as two-digit groups joined by colons ("87:01:1a").

#include <QString>

#include <cstddef>
#include <cstdint>
#include <span>

// Lower-case groups, no leading or trailing colon; empty for no bytes.
QString formatColonHex(std::span<const uint8_t> bytes);

constexpr size_t kColonHexOutputSize = 100;

// True when the text is groups of exactly two hexadecimal digits joined by single colons,
// with nothing after the last group but spaces and line breaks (Enter in a text box adds
// one). Counts the groups into `groups` when it is given.
bool isColonHexText(std::span<const char> text, size_t *groups = nullptr);

// Reads the groups of a colon hex text into output, which it clears first, and returns
// the number of bytes produced. The scan takes the two characters before each colon and
// goes on while the character three places after a colon is another colon; then it takes
// the two characters after the last colon (after position 0 when there is none). With the
// count byte, output[1] is reserved and holds the number of groups after the first, so
// "50:04" gives 50 01 04 (3) and without it 50 04 (2).
// The text is the first `length` characters of `text` (the caller counts the carriage
// return it appends); a position outside them reads as a zero character, so nothing
// before or after the caller's characters is ever read. A text with more groups than the
// output holds ends the scan when the output is full: at most 100 bytes are produced.
uint8_t parseColonHex(std::span<const char> text, size_t length, bool withCountByte,
                      std::span<uint8_t, kColonHexOutputSize> output);
