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

// A CTA-861 revision 3 block with the data blocks, then the 18-byte descriptors, then zeros.
inline Bytes ctaBlock(const Bytes &dataBlocks, const std::vector<Bytes> &descriptors = {}) {
    Bytes cta(kEdidBlockSize, 0);
    cta[0] = 0x02;
    cta[1] = 0x03;
    const size_t room = std::min<size_t>(dataBlocks.size(), kEdidBlockSize - 5);
    cta[2] = static_cast<uint8_t>(4 + room);
    cta[3] = 0x70;
    std::copy_n(dataBlocks.begin(), room, cta.begin() + 4);
    size_t at = 4 + room;
    for (const Bytes &d : descriptors) {
        if (at + 18 < kEdidBlockSize) {
            std::copy_n(d.begin(), std::min<size_t>(d.size(), 18),
                        cta.begin() + static_cast<std::ptrdiff_t>(at));
            at += 18;
        }
    }
    cta[127] = edidBlockChecksum(std::span<const uint8_t>(cta).first<kEdidBlockSize>());
    return cta;
}

// A base block and a CTA-861 revision 3 block with the data blocks, then no timings.
inline Bytes ctaEdid(const Bytes &dataBlocks) {
    Bytes edid = baseBlock(1);
    const Bytes cta = ctaBlock(dataBlocks);
    edid.insert(edid.end(), cta.begin(), cta.end());
    return edid;
}

// The EDID with the 18 bytes at the offset of the block, its checksum made right.
inline Bytes withBytes(Bytes edid, size_t block, size_t offset, const Bytes &bytes) {
    std::copy(bytes.begin(), bytes.end(), edid.begin() + static_cast<std::ptrdiff_t>(block * 128 + offset));
    fixChecksum(edid, block);
    return edid;
}

// 2560x1080 at 185.58 MHz: 2720 x 1111 total, 61.4 Hz.
inline Bytes wideTiming() {
    return {0x7E, 0x48, 0x00, 0xA0, 0xA0, 0x38, 0x1F, 0x40, 0x30,
            0x20, 0x3A, 0x00, 0x1E, 0x4E, 0x31, 0x00, 0x00, 0x1A};
}

// A display descriptor of the tag with its text, padded as the base block pads it.
inline Bytes textDescriptor(uint8_t tag, const char *text) {
    Bytes d = {0, 0, 0, tag, 0};
    for (const char *c = text; *c != 0 && d.size() < 18; ++c) {
        d.push_back(static_cast<uint8_t>(*c));
    }
    if (d.size() < 18) {
        d.push_back(0x0A);
    }
    d.resize(18, 0x20);
    return d;
}

// An EDID laid out as HDMI 2.1 lays out an HDMI Forum EDID Extension Override Data Block:
// byte 126 states 1 extension block, and the HF-EEODB, the first data block of block 1,
// states the count (3: blocks 2 and 3 each hold a 2560x1080 timing).
inline Bytes eeodbEdid(uint8_t count = 3) {
    Bytes edid = baseBlock(1);
    for (const Bytes &block : {ctaBlock({0xE2, 0x78, count, 0x41, 0x10, 0xE2, 0x00, 0xC0}),
                               ctaBlock({0x42, 0x04, 0x61}, {wideTiming()}), ctaBlock({}, {wideTiming()})}) {
        edid.insert(edid.end(), block.begin(), block.end());
    }
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
