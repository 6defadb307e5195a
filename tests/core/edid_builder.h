#pragma once
// EDIDs made for the decoder tests: a base block with a 3840x2160 60 Hz preferred timing
// and a name, followed by one CTA-861 block holding the given data blocks.

#include "core/edid/edid_image.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace testedid {

using Bytes = std::vector<uint8_t>;

inline Bytes bytesOf(const QByteArray &data) {
    return Bytes(data.begin(), data.end());
}

inline Bytes readFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return bytesOf(file.readAll());
}

inline void fixChecksum(Bytes &edid, size_t block) {
    const auto span = std::span<const uint8_t>(edid).subspan(block * kEdidBlockSize).first<kEdidBlockSize>();
    edid[block * kEdidBlockSize + kEdidBlockSize - 1] = edidBlockChecksum(span);
}

// 3840x2160 at 594 MHz: 4400 x 2250 total, 60 Hz.
inline void putPreferredTiming(uint8_t *d) {
    const uint8_t timing[18] = {0x08, 0xE8, 0x00, 0x30, 0xF2, 0x70, 0x5A, 0x80, 0xB0,
                                0x58, 0x8A, 0x00, 0x40, 0x84, 0x63, 0x00, 0x00, 0x1E};
    std::copy(std::begin(timing), std::end(timing), d);
}

inline Bytes baseBlock(uint8_t extensions) {
    Bytes b(kEdidBlockSize, 0);
    const uint8_t head[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x4C, 0x2D, 0x34, 0x12, 0x78,
                            0x56, 0x34, 0x12, 0x0C, 0x1E, 0x01, 0x03, 0x80, 0x50, 0x2D, 0x78, 0x0A};
    std::copy(std::begin(head), std::end(head), b.begin());
    for (int i = 38; i < 54; ++i) {
        b[static_cast<size_t>(i)] = 0x01; // no standard timings
    }
    putPreferredTiming(&b[54]);
    const uint8_t name[18] = {0,   0,   0,   0xFC, 0,   'T', 'E', 'S', 'T',
                              ' ', 'T', 'V', 0x0A, ' ', ' ', ' ', ' ', ' '};
    std::copy(std::begin(name), std::end(name), &b[72]);
    const uint8_t dummy[18] = {0, 0, 0, 0x10, 0};
    std::copy(std::begin(dummy), std::end(dummy), &b[90]);
    std::copy(std::begin(dummy), std::end(dummy), &b[108]);
    b[126] = extensions;
    fixChecksum(b, 0);
    return b;
}

// A base block and a CTA-861 revision 3 block with the data blocks, then no timings.
inline Bytes ctaEdid(const Bytes &dataBlocks) {
    Bytes edid = baseBlock(1);
    Bytes cta(kEdidBlockSize, 0);
    cta[0] = 0x02;
    cta[1] = 0x03;
    const size_t room = std::min<size_t>(dataBlocks.size(), kEdidBlockSize - 5);
    cta[2] = static_cast<uint8_t>(4 + room);
    cta[3] = 0x70;
    std::copy_n(dataBlocks.begin(), room, cta.begin() + 4);
    edid.insert(edid.end(), cta.begin(), cta.end());
    fixChecksum(edid, 1);
    return edid;
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes &p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// A data block of tag 7 with the extended tag and payload.
// Both build their block in a buffer of its final size: GCC 12 at -O3 takes an insert
// that grows a one- or two-byte vector for a write out of bounds (-Warray-bounds).
inline Bytes extendedBlock(uint8_t extendedTag, const Bytes &payload) {
    Bytes b(payload.size() + 2);
    b[0] = static_cast<uint8_t>(0xE0 | (payload.size() + 1));
    b[1] = extendedTag;
    std::copy(payload.begin(), payload.end(), b.begin() + 2);
    return b;
}
inline Bytes block(uint8_t tag, const Bytes &payload) {
    Bytes b(payload.size() + 1);
    b[0] = static_cast<uint8_t>(tag << 5 | payload.size());
    std::copy(payload.begin(), payload.end(), b.begin() + 1);
    return b;
}

} // namespace testedid
