#pragma once
// Whether a source can read an EDID before it goes to the box: the header, the extension
// count against the blocks the box holds, the blocks that count names, and whether the
// text or file holds a whole EDID. The checksums are checked apart (edidChecksumsRight):
// a user may repair them, while what is found here only the user can judge.

#include "core/edid/edid_image.h"

#include <QByteArrayView>
#include <QStringList>

#include <cstdint>
#include <span>

// The base block's count of the extension blocks that follow it.
constexpr int kEdidExtensionCountByte = 126;

// Where the bytes came from, as the reasons name it: "the text holds 8 of 256 bytes".
enum class EdidOrigin : uint8_t { Text, File };

struct EdidCheck {
    qsizetype bytesHeld = 0; // as many as the text or file held, also past 256
    QStringList reasons;     // empty when a source can read the EDID
    bool ok() const { return reasons.isEmpty(); }
    // 128 or 256 bytes: the box takes them (a base block alone is followed by an empty one).
    bool whole() const;
    // Blocks of 128 bytes the bytes held, a block begun counting as one.
    qsizetype blocksHeld() const;
};

// Checks the image the box would get (the first 256 bytes the text or file held, zero past
// their end) and the count of bytes it held, also past 256.
EdidCheck checkEdidForSource(std::span<const uint8_t, kEdidImageSize> image, qsizetype bytesHeld,
                             EdidOrigin origin);
// The same for all the bytes a text or file held.
EdidCheck checkEdidForSource(std::span<const uint8_t> bytes, EdidOrigin origin);

// Keeps the first two blocks of a longer EDID as the box holds them: the extension count
// set to 1, and block 0's checksum moved by the same amount, so that a block whose checksum
// was right stays right and one that was wrong is still caught.
void fitEdidToBox(std::span<uint8_t, kEdidImageSize> image);

// The first byte of the text that is no character of a text file (a control character
// other than tab, line feed, form feed and carriage return, or DEL, or a byte of 0x80 to
// 0x9F), or -1 when every byte is text.
qsizetype firstNonTextByte(QByteArrayView text);
