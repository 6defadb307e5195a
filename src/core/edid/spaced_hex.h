#pragma once
// Spaced hex text, the layout in which the EDID is shown and edited: 16 lines of 16
// upper-case two-digit bytes, one space between bytes, a line feed after the 16th byte
// of every line. The parser reads groups of three characters (two digits and a space
// or line feed; the last group may end with the text).

#include "core/edid/edid_image.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <span>

constexpr int kEdidBytesPerLine = 16;
constexpr int kEdidTextLength = 768; // 256 groups of three characters

// The last byte of each line stands without a trailing space; the line feed follows it.
constexpr bool edidByteEndsLine(int index) {
    return index % kEdidBytesPerLine == kEdidBytesPerLine - 1;
}
constexpr bool edidByteIsChecksum(int index) {
    return index == kEdidChecksum0 || index == kEdidChecksum1;
}

// Two upper-case digits.
QString edidByteText(uint8_t byte);

// The 768-character spaced hex text of a whole image.
QString formatEdidText(std::span<const uint8_t, kEdidImageSize> image);

// The position of the first character that breaks the layout: a character that is not a
// hexadecimal digit where a digit belongs, a separator other than one space or line feed,
// or the end of the text one digit into a group (then the text's length). -1 when the
// layout holds.
qsizetype edidTextLayoutBreak(QByteArrayView text);
qsizetype edidTextLayoutBreak(const QString &text);

// Reads the text into image and returns the number of groups it holds, or -1 when the
// text breaks the layout: a character that is not a hexadecimal digit where a digit
// belongs, a separator other than one space or line feed, or a last group cut short to
// one character. The image is cleared first: bytes the text does not
// supply are zero, and groups past the 256th are counted but not stored. On -1 the image
// is all zero. The QString form upper-cases the text and takes it as 8-bit characters.
qsizetype parseEdidText(QByteArrayView text, std::span<uint8_t, kEdidImageSize> image);
qsizetype parseEdidText(const QString &text, std::span<uint8_t, kEdidImageSize> image);
