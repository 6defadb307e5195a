#pragma once
// What the parts of the EDID decoder share (edid_decode.h is its interface): where a
// finding stands and how it is reported against its rule, the decoders of the base block
// (edid_decode_base.cpp) and of a CTA-861 block (edid_decode_cta.cpp), and the checks that
// look at the whole EDID (edid_checks.cpp).

#include "core/edid/edid_decode.h"
#include "core/edid/edid_image.h"
#include "core/edid/edid_rules.h"

#include <QString>

#include <cstdint>
#include <span>

namespace edid::parts {

using Bytes = std::span<const uint8_t>;

constexpr int kDescriptorSize = 18;
constexpr int kFirstDescriptor = 54;
constexpr int kDescriptorCount = 4;
// The parts a place names most.
constexpr const char *kCtaPart = "CTA-861 Extension Block";
constexpr const char *kChecksumPart = "Checksum";

// Where in the EDID a finding stands: its block and the offset of the part there, and the
// text the findings show ("Block 1, Audio Data Block"). The text is made for the first
// finding only, and shared by the ones after it.
class Place {
public:
    // Of the whole input: no block.
    Place() = default;
    // "Block 0, Base EDID", of the part at the offset.
    static Place base(int byte);
    // "Block <block>, <part>", of the part at the offset.
    Place(int block, int byte, const char *part) : block_(block), byte_(byte), part_(part) {}
    // "Block <block>, <data block's name>", of the data block.
    Place(int block, const DataBlockEntry &entry) : block_(block), byte_(entry.offset), entry_(&entry) {}
    const QString &text() const;
    int block() const { return block_; }
    int byte() const { return byte_; }

private:
    int block_ = -1;
    int byte_ = -1;
    const char *part_ = nullptr;
    const DataBlockEntry *entry_ = nullptr; // no data block is added while the place is in use
    mutable QString text_;
};

// Adds a finding against the rule, of the rule's severity.
void report(Findings &findings, Rule rule, const Place &where, const QString &text);

// The established timings of bytes 35 to 37 by bit, most significant first: the name the
// decoded view shows and the rates of the timing.
struct EstablishedTiming {
    QString name; // "640x480@60", shared by every decoded EDID that has it
    uint32_t hRateHz;
    uint32_t vRateMilliHz;
    uint32_t pixelClockKhz;
};
constexpr size_t kEstablishedTimingCount = 17;
const EstablishedTiming &establishedTiming(size_t bit);

void checkDetailedTiming(const DetailedTiming &t, Findings &findings, const Place &where);

// Block 0 into out.base.
void decodeBase(std::span<const uint8_t, kEdidBlockSize> b, EdidDecoded &out);
// A CTA-861 block into a CtaBlock appended to out.cta.
void decodeCta(std::span<const uint8_t, kEdidBlockSize> b, int block, EdidDecoded &out);
// The rules that look at more than one part of the EDID, once every block is decoded.
void checkEdid(std::span<const uint8_t> bytes, EdidDecoded &out);

} // namespace edid::parts
