#include "core/edid/edid_decode.h"

#include "core/base/format_text.h"
#include "core/edid/edid_decode_parts.h"
#include "core/edid/edid_image.h"

#include <algorithm>

namespace edid {

using parts::Place;
using parts::report;

QString extensionName(uint8_t tag) {
    struct Named {
        uint8_t tag;
        const char *name;
    };
    static constexpr Named kNames[] = {{cta::kExtensionTag, "CTA-861"},
                                       {0x10, "Video Timing Extension"},
                                       {0x20, "EDID 2.0 Extension"},
                                       {0x40, "Display Information Extension"},
                                       {0x50, "Localized String Extension"},
                                       {0x60, "Microdisplay Interface Extension"},
                                       {0x70, "DisplayID"},
                                       {0xA7, "Display Transfer Characteristics Data Block"},
                                       {0xAF, "Display Transfer Characteristics Data Block"},
                                       {0xBF, "Display Transfer Characteristics Data Block"},
                                       {0xF0, "Block Map"},
                                       {0xFF, "Manufacturer-Specific Extension"}};
    for (const Named &named : kNames) {
        if (named.tag == tag) {
            return QLatin1String(named.name);
        }
    }
    return formatText("Unknown Extension (tag 0x%02x)", tag);
}

QString dataBlockName(const DataBlockEntry &entry) {
    return cta::dataBlockName(entry.tag, entry.extendedTag, entry.oui);
}

QString manufacturerId(uint8_t high, uint8_t low) {
    const uint16_t id = static_cast<uint16_t>(high << 8 | low);
    QString letters;
    for (int shift : {10, 5, 0}) {
        const int code = (id >> shift) & 0x1F;
        letters += code >= 1 && code <= 26 ? QChar('A' + code - 1) : QChar('?');
    }
    return letters;
}

QString audioFormatName(const AudioFormat &format) {
    return cta::audioCodingName(format.code, format.extendedCode);
}

bool vrrSupported(const HdmiForum &forum) {
    return forum.vrrMin && (*forum.vrrMin != 0 || *forum.vrrMax != 0);
}

const DetailedTiming *EdidDecoded::preferredTiming() const {
    return base.detailedTimings.empty() ? nullptr : &base.detailedTimings.front();
}

EdidDecoded decodeEdid(std::span<const uint8_t> bytes) {
    EdidDecoded out;
    out.size = bytes.size();
    const size_t blocks = bytes.size() / kEdidBlockSize;
    if (blocks == 0) {
        report(out.findings, Rule::SizeShort, Place(),
               formatText("%zu bytes: an EDID has at least one block of 128", bytes.size()));
        return out;
    }
    if (bytes.size() % kEdidBlockSize != 0) {
        report(out.findings, Rule::SizePartialBlock, Place(),
               formatText("%zu bytes after the last whole block ignored", bytes.size() % kEdidBlockSize));
    }
    const auto blockBytes = [&](size_t index) {
        return bytes.subspan(index * kEdidBlockSize).first<kEdidBlockSize>();
    };
    parts::decodeBase(blockBytes(0), out);
    // Byte 126 states the extension blocks, unless block 1 overrides it (below).
    size_t stated = size_t{1} + out.base.extensionCount;
    size_t ctaBlocks = 0;
    for (size_t index = 1; index < blocks; ++index) {
        ctaBlocks += blockBytes(index)[0] == cta::kExtensionTag ? 1 : 0;
    }
    const size_t most = std::max<size_t>(stated, blocks);
    out.checksums.reserve(most);
    out.checksumsOk.reserve(most);
    out.extensions.reserve(most - 1);
    out.cta.reserve(ctaBlocks);
    for (size_t index = 0; index < std::min(stated, blocks); ++index) {
        const auto block = blockBytes(index);
        const uint8_t expected = edidBlockChecksum(block);
        out.checksums.push_back(block[kEdidBlockSize - 1]);
        out.checksumsOk.push_back(block[kEdidBlockSize - 1] == expected);
        if (block[kEdidBlockSize - 1] != expected) {
            report(out.findings, Rule::Checksum,
                   Place(static_cast<int>(index), kEdidBlockSize - 1, parts::kChecksumPart),
                   formatText("0x%02x, should be 0x%02x", block[kEdidBlockSize - 1], expected));
        }
        if (index == 0) {
            continue;
        }
        const int blockIndex = static_cast<int>(index);
        out.extensions.push_back({blockIndex, block[0]});
        if (block[0] != cta::kExtensionTag) {
            continue;
        }
        parts::decodeCta(block, blockIndex, out);
        if (index == 1 && out.cta.back().extensionOverride) {
            // HDMI 2.1: a source that finds the override reads the blocks it counts.
            out.extensionOverride = out.cta.back().extensionOverride;
            stated = size_t{1} + *out.extensionOverride;
            if (out.base.extensionCount != 1) {
                report(out.findings, Rule::EeodbBaseCount, Place::base(126),
                       formatText("%d extension blocks stated beside an HF-EEODB, which needs 1",
                                  out.base.extensionCount));
            }
        }
    }
    if (stated > blocks && out.extensionOverride && out.base.extensionCount < blocks) {
        report(out.findings, Rule::EeodbBlocksMissing, Place::base(126),
               formatText(
                   "the HF-EEODB states %zu extension blocks, %zu present: the image holds those byte 126 "
                   "states, as a reader that knows no HF-EEODB reads them",
                   stated - 1, blocks - 1));
    } else if (stated > blocks) {
        report(out.findings, Rule::ExtensionsMissing, Place::base(126),
               formatText("%zu extension blocks stated, %zu present", stated - 1, blocks - 1));
    } else if (stated < blocks) {
        report(
            out.findings, Rule::ExtensionsExtra, Place::base(126),
            formatText("%zu extension blocks stated, %zu present; a source reads none of the %zu after them",
                       stated - 1, blocks - 1, blocks - stated));
    }
    parts::checkEdid(bytes, out);
    return out;
}

} // namespace edid
