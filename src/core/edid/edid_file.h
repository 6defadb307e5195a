#pragma once
// EDID files as the loader sees them: the first 1024 bytes of a file, read into a
// cleared area. A first byte of zero (the first header byte of every EDID) marks a raw
// image; anything else is hex text whose lines of 16 "XX " groups end in CR LF or LF.

#include "core/edid/edid_image.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <span>

constexpr int kEdidFileReadSize = 1024;
// The trailing space of a full line of 16 groups stands in this column, counted from 1.
constexpr size_t kEdidTextLineEndColumn = 48;

using EdidFileArea = std::span<const uint8_t, kEdidFileReadSize>;

constexpr bool edidFileIsRaw(EdidFileArea area) {
    return area[0] == 0;
}

// The image of a raw file: its first 256 bytes (zero where the file was shorter).
constexpr std::span<const uint8_t, kEdidImageSize> edidFileImage(EdidFileArea area) {
    return area.first<kEdidImageSize>();
}

// The text of a hex text file with its line ends converted: a space in column 48
// followed by CR LF or by LF becomes one LF, and the column count starts again. Once a
// line holds anything else in column 48 no later line end is converted. The text ends
// at the first zero byte or with the bytes; bytes past their end count as zero.
QByteArray edidTextFromFile(std::span<const uint8_t> bytes);
