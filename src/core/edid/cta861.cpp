#include "core/edid/cta861.h"

#include "core/base/format_text.h"

#include <algorithm>
#include <cstring>

namespace edid {

namespace cta {

namespace {

struct Named {
    uint32_t value;
    const char *name;
};

struct BlockKind {
    bool extended; // named by its extended tag
    uint8_t value;
    const char *name;
};
constexpr bool kTagIsExtended = false;
constexpr bool kExtIsExtended = true;
#define EDID_CTA_ROW(kind, constant, value, text) BlockKind{k##kind##IsExtended, value, text},
constexpr BlockKind kBlockKinds[] = {EDID_CTA_DATA_BLOCKS(EDID_CTA_ROW)};
#undef EDID_CTA_ROW

const char *blockKindName(bool extended, uint8_t value) {
    for (const BlockKind &kind : kBlockKinds) {
        if (kind.extended == extended && kind.value == value) {
            return kind.name;
        }
    }
    return nullptr;
}

struct Vendor {
    uint32_t oui;
    const char *name;
    unsigned namedIn;
};
#define EDID_CTA_ROW(constant, value, text, namedIn) Vendor{value, text, namedIn},
constexpr Vendor kVendors[] = {EDID_CTA_OUIS(EDID_CTA_ROW)};
#undef EDID_CTA_ROW

const char *nameOf(std::span<const Named> table, uint32_t value) {
    for (const Named &row : table) {
        if (row.value == value) {
            return row.name;
        }
    }
    return nullptr;
}

// "<kind> (<vendor>), OUI <oui>" for a vendor this kind of block names; else the kind with
// the OUI ("00-0C-03") when showUnknown, the kind alone otherwise.
QString vendorBlockName(const char *kind, VendorBlock block, uint32_t oui, bool showUnknown) {
    const char *vendorName = nullptr;
    for (const Vendor &vendor : kVendors) {
        if (vendor.oui == oui && (vendor.namedIn & block) != 0) {
            vendorName = vendor.name;
            break;
        }
    }
    const unsigned high = oui >> 16, middle = (oui >> 8) & 0xFF, low = oui & 0xFF;
    if (vendorName != nullptr) {
        return formatText("%s (%s), OUI %02X-%02X-%02X", kind, vendorName, high, middle, low);
    }
    return showUnknown ? formatText("%s, OUI %02X-%02X-%02X", kind, high, middle, low) : QLatin1String(kind);
}

} // namespace

QString dataBlockName(uint8_t tag, std::optional<uint8_t> extendedTag, uint32_t oui) {
    if (tag == kTagVendor) {
        return vendorBlockName(blockKindName(false, tag), kVsdb, oui, true);
    }
    if (tag != kTagExtended) {
        const char *name = blockKindName(false, tag);
        return name ? QLatin1String(name) : formatText("Unknown Data Block (tag %d)", tag);
    }
    if (!extendedTag) {
        return QStringLiteral("Extended tag data block without its tag");
    }
    const char *name = blockKindName(true, *extendedTag);
    if (!name) {
        return formatText("Unknown Extended Data Block (extended tag %d)", *extendedTag);
    }
    if (*extendedTag == kExtVendorVideo || *extendedTag == kExtVendorAudio) {
        return vendorBlockName(name, *extendedTag == kExtVendorVideo ? kVsvdb : kVsadb, oui, false);
    }
    return QLatin1String(name);
}

uint32_t ouiOf(std::span<const uint8_t> bytes) {
    return bytes.size() < 3 ? 0 : uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16;
}

unsigned vendorBlock(uint8_t tag, std::optional<uint8_t> extendedTag) {
    if (tag == kTagVendor) {
        return kVsdb;
    }
    if (tag != kTagExtended || !extendedTag) {
        return 0;
    }
    if (*extendedTag == kExtVendorVideo) {
        return kVsvdb;
    }
    return *extendedTag == kExtVendorAudio ? unsigned{kVsadb} : 0u;
}

uint32_t blockOui(uint8_t tag, std::span<const uint8_t> payload) {
    const std::optional<uint8_t> extendedTag =
        tag == kTagExtended && !payload.empty() ? std::optional<uint8_t>(payload[0]) : std::nullopt;
    switch (vendorBlock(tag, extendedTag)) {
    case kVsdb:
        return ouiOf(payload);
    case kVsvdb:
    case kVsadb:
        return ouiOf(payload.subspan(1));
    default:
        return 0;
    }
}

QString audioCodingName(uint8_t coding, uint8_t extendedCoding) {
    static constexpr std::array<const char *, 16> kNames = {
        "reserved", "LPCM",          "AC-3",   "MPEG-1", "MP3",          "MPEG-2", "AAC LC",  "DTS",
        "ATRAC",    "One Bit Audio", "E-AC-3", "DTS-HD", "MAT (TrueHD)", "DST",    "WMA Pro", ""};
    static constexpr Named kExtendedNames[] = {{4, "MPEG-4 HE AAC"},
                                               {5, "MPEG-4 HE AAC v2"},
                                               {6, "MPEG-4 AAC LC"},
                                               {7, "DRA"},
                                               {8, "MPEG-4 HE AAC + MPEG Surround"},
                                               {10, "MPEG-4 AAC LC + MPEG Surround"},
                                               {11, "MPEG-H 3D Audio"},
                                               {12, "AC-4"},
                                               {13, "L-PCM 3D Audio"}};
    // Named once for every code (an extended one has five bits), then shared: the model's
    // audio edits name the format of every descriptor they pass.
    constexpr size_t kExtendedCodes = 32;
    static const std::array<QString, 16 + kExtendedCodes> kTexts = [] {
        std::array<QString, 16 + kExtendedCodes> texts;
        for (size_t code = 0; code < 16; ++code) {
            texts[code] = QLatin1String(kNames[code]);
        }
        for (size_t code = 0; code < kExtendedCodes; ++code) {
            const char *name = nameOf(kExtendedNames, static_cast<uint8_t>(code));
            texts[16 + code] = name ? QString(QLatin1String(name))
                                    : formatText("extended audio type %d", static_cast<int>(code));
        }
        return texts;
    }();
    return coding != static_cast<uint8_t>(AudioCoding::Extended)
               ? kTexts[coding & 0x0F]
               : kTexts[16 + (extendedCoding % kExtendedCodes)];
}

CtaLayout::CtaLayout(std::span<const uint8_t, 128> block) : block_(block) {
    const uint8_t offset = block[2];
    if (offset == 0) {
        timingOffset_ = TimingOffset::None;
    } else if (offset < kHeaderBytes) {
        timingOffset_ = TimingOffset::InHeader;
    } else if (offset > kContentBytes) {
        timingOffset_ = TimingOffset::PastBlock;
        collectionEnd_ = kContentBytes;
    } else {
        timingOffset_ = TimingOffset::InBlock;
        collectionEnd_ = offset;
    }
    if (block[1] >= 3) {
        size_t at = kHeaderBytes;
        while (at < collectionEnd_ && at + 1 + (block[at] & 0x1F) <= collectionEnd_) {
            at += 1 + (block[at] & 0x1F);
        }
        blocksEnd_ = at;
        overrun_ = at < collectionEnd_;
    }
    if (timingOffset_ != TimingOffset::None) {
        for (size_t at = collectionEnd_;
             at + kDetailedTimingBytes <= kContentBytes && (block[at] != 0 || block[at + 1] != 0);
             at += kDetailedTimingBytes) {
            ++timingCount_;
        }
        static constexpr uint8_t kPadding[kDetailedTimingBytes] = {};
        for (size_t at = collectionEnd_; at + kDetailedTimingBytes <= kContentBytes &&
                                         std::memcmp(&block[at], kPadding, kDetailedTimingBytes) != 0;
             at += kDetailedTimingBytes) {
            ++slotCount_;
        }
    }
}

std::optional<QString> CtaLayout::overrun() const {
    if (!overrun_) {
        return std::nullopt;
    }
    return formatText("data block at %zu of length %d runs past the data block collection (ends at %zu)",
                      blocksEnd_, block_[blocksEnd_] & 0x1F, collectionEnd_);
}

DataBlock CtaLayout::Iterator::operator*() const {
    DataBlock b;
    b.tag = block_[at_] >> 5;
    b.payload = block_.subspan(at_ + 1, block_[at_] & 0x1F);
    if (b.tag == kTagExtended && !b.payload.empty()) {
        b.extendedTag = b.payload[0];
    }
    b.offset = at_;
    return b;
}

CtaLayout::Iterator &CtaLayout::Iterator::operator++() {
    at_ += 1 + (block_[at_] & 0x1F);
    return *this;
}

} // namespace cta

AudioRates audioRatesKhz(uint8_t rateMask) {
    AudioRates rates;
    for (size_t bit = kSampleRatesKhz.size(); bit-- > 0;) {
        if ((rateMask & (1u << bit)) != 0) {
            rates.push_back(kSampleRatesKhz[bit]);
        }
    }
    return rates;
}

int frlGbps(uint8_t code) {
    return code < kFrlRates.size() ? kFrlRates[code].gbps : 0;
}

QString frlText(uint8_t code) {
    if (code == 0) {
        return QLatin1String(kFrlRates[0].lanes);
    }
    if (code >= kFrlRates.size()) {
        return QStringLiteral("reserved (%1)").arg(code);
    }
    return QStringLiteral("%1 (%2 Gbps)").arg(QLatin1String(kFrlRates[code].lanes)).arg(kFrlRates[code].gbps);
}

std::optional<uint8_t> frlCodeOfGbps(int gbps) {
    for (uint8_t code = 0; code < kFrlRates.size(); ++code) {
        if (kFrlRates[code].gbps == gbps) {
            return code;
        }
    }
    return std::nullopt;
}

QString frlGbpsList() {
    QStringList rates;
    for (const FrlRate &rate : kFrlRates) {
        rates << QString::number(rate.gbps);
    }
    return rates.join(QLatin1String(", "));
}

QStringList eotfNames(uint8_t eotfs) {
    QStringList names;
    for (size_t bit = 0; bit < kEotfs.size(); ++bit) {
        if ((eotfs & (1u << bit)) != 0) {
            names << QLatin1String(kEotfs[bit].shortName);
        }
    }
    return names;
}

QString speakerName(int bit) {
    static constexpr std::array<const char *, kSpeakerBits> kSpeakers = {
        "FL/FR",   "LFE1",        "FC",        "BL/BR", "BC",        "FLc/FRc",  "RLC/RRC",
        "FLw/FRw", "TpFL/TpFR",   "TpC",       "TpFC",  "LS/RS",     "LFE2",     "TpBC",
        "SiL/SiR", "TpSiL/TpSiR", "TpBL/TpBR", "BtFC",  "BtFL/BtFR", "TpLS/TpRS"};
    return bit >= 0 && bit < kSpeakerBits ? QLatin1String(kSpeakers[static_cast<size_t>(bit)]) : QString();
}

} // namespace edid
