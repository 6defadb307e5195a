// The edits of the CTA block's data blocks: video, audio, speakers, HDR and the HDMI blocks.

#include "core/edid/edid_model.h"

#include "core/base/format_text.h"
#include "core/edid/edid_model_blocks.h"
#include "core/edid/video_formats.h"

#include <algorithm>
#include <functional>
#include <iterator>

namespace edid {

using namespace cta;
using namespace detail;

namespace {

uint32_t vendorVideoOui(VendorVideo which) {
    return which == VendorVideo::DolbyVision ? kOuiDolby : kOuiHdr10Plus;
}

QString vendorVideoName(VendorVideo which) {
    return which == VendorVideo::DolbyVision ? QStringLiteral("Dolby Vision") : QStringLiteral("HDR10+");
}

bool isVendorVideo(const CtaDataBlock &b, VendorVideo which) {
    return isExtended(b, kExtVendorVideo) && b.oui() == vendorVideoOui(which);
}

// --- Audio --------------------------------------------------------------------------------

bool isAudioData(const CtaDataBlock &b) {
    return b.tag == kTagAudio;
}

bool isSpeakers(const CtaDataBlock &b) {
    return b.tag == kTagSpeakers;
}

bool isRoom(const CtaDataBlock &b) {
    return isExtended(b, kExtRoomConfiguration);
}

bool isSpeakerLocation(const CtaDataBlock &b) {
    return isExtended(b, kExtSpeakerLocation);
}

// Blocks of another EDID in place of this one's of their kind, where the first of those stood,
// or after the last block `after` matches.
void putBlocks(EdidModel &m, const std::vector<CtaDataBlock> &blocks,
               const std::function<bool(const CtaDataBlock &)> &kind,
               const std::function<bool(const CtaDataBlock &)> &after) {
    const auto first = std::find_if(m.dataBlocks.begin(), m.dataBlocks.end(), kind);
    if (first == m.dataBlocks.end()) {
        // Last first: each goes right after the same block, before the ones put already.
        for (auto block = blocks.rbegin(); block != blocks.rend(); ++block) {
            insertAfter(m, *block, after);
        }
        return;
    }
    const ptrdiff_t at = first - m.dataBlocks.begin();
    std::erase_if(m.dataBlocks, kind);
    m.dataBlocks.insert(m.dataBlocks.begin() + at, blocks.begin(), blocks.end());
}

bool formatMatches(std::span<const uint8_t> sad, const QString &format) {
    if (sadCoding(sad) == static_cast<uint8_t>(AudioCoding::Mat) &&
        (format.compare(QLatin1String("MLP"), Qt::CaseInsensitive) == 0 ||
         format.compare(QLatin1String("TrueHD"), Qt::CaseInsensitive) == 0)) {
        return true;
    }
    return audioCodingName(sadCoding(sad), sadExtendedCoding(sad)).compare(format, Qt::CaseInsensitive) == 0;
}

// Calls visit for every descriptor of the format; returns how many there were.
template <typename Visit> int forEachSad(EdidModel &model, const QString &format, const Visit &visit) {
    int found = 0;
    for (CtaDataBlock &b : model.dataBlocks) {
        if (b.tag != kTagAudio) {
            continue;
        }
        for (size_t at = 0; at + 3 <= b.length; at += 3) {
            if (formatMatches(std::span<const uint8_t>(b.payload).subspan(at, 3), format)) {
                ++found;
                visit(&b.payload[at]);
            }
        }
    }
    return found;
}

QString missingFormat(const QString &format) {
    return QStringLiteral("the Audio Data Block lists no ") + format;
}

// --- HDMI blocks --------------------------------------------------------------------------

// Both HDMI Forum blocks put the version at payload byte 3 and the fields after it at the
// same places: 4 max TMDS character rate, 6 max FRL, 7 ALLM, 8 and 9 the VRR range.
template <typename Change>
EditOutcome editHdmiForumByte(EdidModel &model, size_t index, const Change &change) {
    return editCta(model, [&](EdidModel &m) {
        CtaDataBlock *forum = findBlock(m, isHdmiForum);
        if (!forum) {
            return refused(QStringLiteral("the EDID has no HDMI Forum block"));
        }
        change(*payloadByte(*forum, index));
        return EditOutcome{};
    });
}

template <typename Change>
EditOutcome editHdmiVsdbByte(EdidModel &model, size_t index, const Change &change) {
    return editCta(model, [&](EdidModel &m) {
        CtaDataBlock *hdmi = findBlock(m, isHdmiVsdb);
        if (!hdmi) {
            return refused(QStringLiteral("the EDID has no HDMI VSDB"));
        }
        change(*payloadByte(*hdmi, index));
        return EditOutcome{};
    });
}

} // namespace

EditOutcome removeVic(EdidModel &model, uint8_t vic) {
    return editCta(model, [vic](EdidModel &m) {
        if (eraseVicEverywhere(m, vic) == 0) {
            return refused(formatText("the Video Data Block lists no VIC %d", vic));
        }
        return EditOutcome{};
    });
}

EditOutcome addVic(EdidModel &model, uint8_t vic) {
    return editCta(model, [vic](EdidModel &m) {
        if (!findVideoFormat(vic)) {
            return refused(formatText("VIC %d is not in the video format table", vic));
        }
        const std::vector<uint8_t> svds = allSvds(m);
        if (std::any_of(svds.begin(), svds.end(), [vic](uint8_t svd) { return svdVic(svd) == vic; })) {
            return refused(QStringLiteral("the Video Data Block lists ") + vicText(vic) +
                           QStringLiteral(" already"));
        }
        std::optional<CapabilityMap> map = capabilityMap(m);
        const uint8_t svd[] = {vic};
        const auto isVideo = [](const CtaDataBlock &b) { return b.tag == kTagVideo; };
        const auto last = std::find_if(m.dataBlocks.rbegin(), m.dataBlocks.rend(), isVideo);
        if (last == m.dataBlocks.rend()) {
            m.dataBlocks.insert(m.dataBlocks.begin(), makeBlock(kTagVideo, svd));
        } else if (!appendPayload(*last, svd)) {
            m.dataBlocks.insert(last.base(), makeBlock(kTagVideo, svd));
        }
        if (map) {
            map->append(false); // an empty map would have named it too
            writeCapabilityMap(m, *map);
        }
        return EditOutcome{};
    });
}

EditOutcome setNativeVic(EdidModel &model, uint8_t vic) {
    return editCta(model, [vic](EdidModel &m) {
        if (vic < 1 || vic > 64) {
            return refused(formatText("only VICs 1 to 64 can be marked native, not %d", vic));
        }
        bool listed = false;
        for (CtaDataBlock &b : m.dataBlocks) {
            if (b.tag != kTagVideo) {
                continue;
            }
            for (size_t at = 0; at < b.length; ++at) {
                uint8_t &svd = b.payload[at];
                if (svdVic(svd) == vic) {
                    listed = true;
                    svd = static_cast<uint8_t>(vic | 0x80);
                } else if (svdNative(svd)) {
                    svd = svdVic(svd);
                }
            }
        }
        if (!listed) {
            return refused(formatText("the Video Data Block lists no VIC %d", vic));
        }
        return EditOutcome{};
    });
}

EditOutcome setYcbcr420Capable(EdidModel &model, uint8_t vic, bool capable) {
    return editCta(model, [vic, capable](EdidModel &m) {
        const std::vector<uint8_t> svds = allSvds(m);
        if (std::none_of(svds.begin(), svds.end(), [vic](uint8_t svd) { return svdVic(svd) == vic; })) {
            return refused(formatText("the Video Data Block lists no VIC %d", vic));
        }
        std::optional<CapabilityMap> map = capabilityMap(m);
        if (!map) {
            if (!capable) {
                return EditOutcome{};
            }
            const uint8_t empty[] = {kExtYcbcr420Map};
            insertAfter(m, makeBlock(kTagExtended, empty), [](const CtaDataBlock &b) {
                return b.tag == kTagVideo || isExtended(b, kExtYcbcr420Video);
            });
            map = CapabilityMap{};
            map->count = std::min(svds.size(), CapabilityMap::kMaxDescriptors);
        }
        for (size_t i = 0; i < svds.size() && i < map->count; ++i) {
            if (svdVic(svds[i]) == vic) {
                map->capable[i] = capable;
            }
        }
        writeCapabilityMap(m, *map);
        return EditOutcome{};
    });
}

EditOutcome addYcbcr420OnlyVic(EdidModel &model, uint8_t vic) {
    return editCta(model, [vic](EdidModel &m) {
        if (!findVideoFormat(vic)) {
            return refused(formatText("VIC %d is not in the video format table", vic));
        }
        CtaDataBlock *only =
            findBlock(m, [](const CtaDataBlock &b) { return isExtended(b, kExtYcbcr420Video); });
        if (only) {
            const auto listed = only->bytes().subspan(1);
            if (std::find(listed.begin(), listed.end(), vic) != listed.end()) {
                return refused(QStringLiteral("the YCbCr 4:2:0 Video Data Block lists ") + vicText(vic) +
                               QStringLiteral(" already"));
            }
        }
        const uint8_t svd[] = {vic};
        if (!only) {
            const uint8_t payload[] = {kExtYcbcr420Video, vic};
            insertAfter(m, makeBlock(kTagExtended, payload),
                        [](const CtaDataBlock &b) { return b.tag == kTagVideo; });
        } else if (!appendPayload(*only, svd)) {
            return refused(QStringLiteral("the YCbCr 4:2:0 Video Data Block is full"));
        }
        return EditOutcome{};
    });
}

EditOutcome removeYcbcr420OnlyVic(EdidModel &model, uint8_t vic) {
    return editCta(model, [vic](EdidModel &m) {
        if (eraseYcbcr420OnlyVic(m, vic) == 0) {
            return refused(formatText("the YCbCr 4:2:0 Video Data Block lists no VIC %d", vic));
        }
        eraseEmpty(
            m, [](const CtaDataBlock &b) { return isExtended(b, kExtYcbcr420Video); }, 1);
        return EditOutcome{};
    });
}

EditOutcome takeAudioBlock(EdidModel &model, const EdidModel &from) {
    const auto copied = [&from](const std::function<bool(const CtaDataBlock &)> &kind) {
        std::vector<CtaDataBlock> blocks;
        std::copy_if(from.dataBlocks.begin(), from.dataBlocks.end(), std::back_inserter(blocks), kind);
        return blocks;
    };
    const std::vector<CtaDataBlock> audio = copied(isAudioData);
    const std::vector<CtaDataBlock> speakers = copied(isSpeakers);
    const std::vector<CtaDataBlock> room = copied(isRoom);
    const std::vector<CtaDataBlock> locations = copied(isSpeakerLocation);
    return editCta(model, [&](EdidModel &m) {
        if (audio.empty()) {
            return refused(QStringLiteral("the other EDID has no Audio Data Block"));
        }
        const auto first = std::find_if(m.dataBlocks.begin(), m.dataBlocks.end(), isAudioData);
        const auto at = first == m.dataBlocks.end() ? std::min<ptrdiff_t>(1, std::ssize(m.dataBlocks))
                                                    : first - m.dataBlocks.begin();
        std::erase_if(m.dataBlocks, isAudioData);
        m.dataBlocks.insert(m.dataBlocks.begin() + std::min<ptrdiff_t>(at, std::ssize(m.dataBlocks)),
                            audio.begin(), audio.end());
        // The channels come with where they play: the other EDID's speakers, and its room with
        // the speaker locations the room points to, in place of this one's.
        if (!speakers.empty()) {
            putBlocks(m, speakers, isSpeakers, isAudioData);
        }
        if (!room.empty()) {
            putBlocks(m, room, isRoom, [](const CtaDataBlock &b) { return isAudioData(b) || isSpeakers(b); });
            std::erase_if(m.dataBlocks, isSpeakerLocation);
            const auto placed = std::find_if(m.dataBlocks.begin(), m.dataBlocks.end(), isRoom);
            m.dataBlocks.insert(placed + 1, locations.begin(), locations.end());
        }
        return EditOutcome{};
    });
}

EditOutcome removeAudioFormat(EdidModel &model, const QString &format) {
    return editCta(model, [&format](EdidModel &m) {
        int removed = 0;
        for (CtaDataBlock &b : m.dataBlocks) {
            if (b.tag != kTagAudio) {
                continue;
            }
            for (size_t at = 0; at + 3 <= b.length;) {
                if (formatMatches(std::span<const uint8_t>(b.payload).subspan(at, 3), format)) {
                    erasePayload(b, at, 3);
                    ++removed;
                } else {
                    at += 3;
                }
            }
        }
        if (removed == 0) {
            return refused(missingFormat(format));
        }
        eraseEmpty(
            m, [](const CtaDataBlock &b) { return b.tag == kTagAudio; }, 0);
        return EditOutcome{};
    });
}

EditOutcome setAudioFormat(EdidModel &model, const QString &format, std::optional<uint8_t> channels,
                           std::optional<uint8_t> rates) {
    return editCta(model, [&](EdidModel &m) {
        if (channels && (*channels < 1 || *channels > 8)) {
            return refused(formatText("channels are 1 to 8, not %d", *channels));
        }
        if (rates && (*rates == 0 || *rates > 0x7F)) {
            return refused(formatText("sample rates are a mask of bits 0 to 6, not 0x%x", *rates));
        }
        bool extended = false;
        const int found = forEachSad(m, format, [&](uint8_t *sad) {
            if (sadCoding(std::span<const uint8_t>(sad, kSadBytes)) ==
                static_cast<uint8_t>(AudioCoding::Extended)) {
                extended = true;
            }
        });
        if (found == 0) {
            return refused(missingFormat(format));
        }
        if (extended && channels) {
            return refused(
                QStringLiteral("%1 states its channels otherwise; only its rates can be set").arg(format));
        }
        forEachSad(m, format, [&](uint8_t *sad) {
            if (channels) {
                sad[0] = static_cast<uint8_t>((sad[0] & 0xF8) | (*channels - 1));
            }
            if (rates) {
                sad[1] = static_cast<uint8_t>((sad[1] & 0x80) | *rates);
            }
        });
        return EditOutcome{};
    });
}

EditOutcome setSpeakerAllocation(EdidModel &model, uint32_t allocation) {
    return editCta(model, [allocation](EdidModel &m) {
        const uint8_t payload[] = {static_cast<uint8_t>(allocation), static_cast<uint8_t>(allocation >> 8),
                                   static_cast<uint8_t>(allocation >> 16)};
        CtaDataBlock *speakers = findBlock(m, [](const CtaDataBlock &b) { return b.tag == kTagSpeakers; });
        if (speakers) {
            *speakers = makeBlock(kTagSpeakers, payload);
        } else {
            insertAfter(m, makeBlock(kTagSpeakers, payload),
                        [](const CtaDataBlock &b) { return b.tag == kTagAudio || b.tag == kTagVideo; });
        }
        return EditOutcome{};
    });
}

EditOutcome setHdrEotfs(EdidModel &model, uint8_t eotfs) {
    return editCta(model, [eotfs](EdidModel &m) {
        if ((eotfs & 0xC0) != 0) {
            return refused(formatText("EOTF bits are 0 to 5, not 0x%x", eotfs));
        }
        CtaDataBlock *hdr = findBlock(m, [](const CtaDataBlock &b) { return isExtended(b, kExtHdrStatic); });
        if (!hdr) {
            const uint8_t payload[] = {kExtHdrStatic, eotfs, 0x01};
            insertAfter(m, makeBlock(kTagExtended, payload),
                        [](const CtaDataBlock &b) { return b.tag != kTagVendor; });
            return EditOutcome{};
        }
        *payloadByte(*hdr, 1) = eotfs;
        if (hdr->length < 3) {
            *payloadByte(*hdr, 2) = 0x01;
        }
        return EditOutcome{};
    });
}

EditOutcome setHdrLuminance(EdidModel &model, const HdrLuminanceCodes &codes) {
    return editCta(model, [&codes](EdidModel &m) {
        if ((codes.min && !codes.frameAverage) || (codes.frameAverage && !codes.max)) {
            return refused(QStringLiteral("luminance codes stand in order: min needs max frame-average, "
                                          "max frame-average needs max"));
        }
        CtaDataBlock *hdr = findBlock(m, [](const CtaDataBlock &b) { return isExtended(b, kExtHdrStatic); });
        if (!hdr) {
            return refused(QStringLiteral("the EDID has no HDR Static Metadata Data Block"));
        }
        if (hdr->length < 3) {
            *payloadByte(*hdr, 2) = 0x01; // a block without its descriptor byte: type 1
        }
        hdr->length = 3;
        for (const std::optional<uint8_t> &code : {codes.max, codes.frameAverage, codes.min}) {
            if (code) {
                hdr->payload[hdr->length++] = *code;
            }
        }
        std::fill(hdr->payload.begin() + hdr->length, hdr->payload.end(), 0);
        return EditOutcome{};
    });
}

EditOutcome removeVendorVideoBlock(EdidModel &model, VendorVideo which) {
    return editCta(model, [which](EdidModel &m) {
        if (std::erase_if(m.dataBlocks, [which](const CtaDataBlock &b) { return isVendorVideo(b, which); }) ==
            0) {
            return refused(QStringLiteral("the EDID has no %1 block").arg(vendorVideoName(which)));
        }
        return EditOutcome{};
    });
}

EditOutcome takeVendorVideoBlock(EdidModel &model, const EdidModel &from, VendorVideo which) {
    const auto theirs = std::find_if(from.dataBlocks.begin(), from.dataBlocks.end(),
                                     [which](const CtaDataBlock &b) { return isVendorVideo(b, which); });
    return editCta(model, [&](EdidModel &m) {
        if (theirs == from.dataBlocks.end()) {
            return refused(QStringLiteral("the other EDID has no %1 block").arg(vendorVideoName(which)));
        }
        if (CtaDataBlock *ours =
                findBlock(m, [which](const CtaDataBlock &b) { return isVendorVideo(b, which); })) {
            *ours = *theirs;
        } else {
            insertAfter(m, *theirs, [](const CtaDataBlock &b) { return b.tag == kTagExtended; });
        }
        return EditOutcome{};
    });
}

EditOutcome setMaxFrl(EdidModel &model, uint8_t code) {
    if (code > 6) {
        return refused(formatText("FRL codes are 0 to 6, not %d", code));
    }
    return editHdmiForumByte(model, 6,
                             [code](uint8_t &b) { b = static_cast<uint8_t>((b & 0x0F) | code << 4); });
}

EditOutcome setAllm(EdidModel &model, bool allm) {
    return editHdmiForumByte(model, 7,
                             [allm](uint8_t &b) { b = static_cast<uint8_t>(allm ? b | 0x02 : b & ~0x02); });
}

EditOutcome setVrrRange(EdidModel &model, uint8_t minHz, uint16_t maxHz) {
    if (minHz > 63 || maxHz > 1023) {
        return refused(formatText("a VRR range is 0 to 63 Hz and 0 to 1023 Hz, not %d to %d", minHz, maxHz));
    }
    return editCta(model, [&](EdidModel &m) {
        CtaDataBlock *forum = findBlock(m, isHdmiForum);
        if (!forum) {
            return refused(QStringLiteral("the EDID has no HDMI Forum block"));
        }
        payloadByte(*forum, 7); // the byte before the range stays as it was, or zero
        *payloadByte(*forum, 8) = static_cast<uint8_t>((maxHz >> 8) << 6 | minHz);
        *payloadByte(*forum, 9) = static_cast<uint8_t>(maxHz);
        return EditOutcome{};
    });
}

EditOutcome setMaxTmdsCharacterRate(EdidModel &model, uint16_t mhz) {
    if (mhz != 0 && (mhz < 345 || mhz > 1275 || mhz % 5 != 0)) {
        return refused(
            formatText("a max TMDS character rate is 0 or 345 to 1275 MHz in steps of 5, not %d", mhz));
    }
    return editHdmiForumByte(model, 4, [mhz](uint8_t &b) { b = static_cast<uint8_t>(mhz / 5); });
}

EditOutcome setHdmiMaxTmdsClock(EdidModel &model, uint16_t mhz) {
    if (mhz < 5 || mhz > 1275 || mhz % 5 != 0) {
        return refused(formatText("a max TMDS clock is 5 to 1275 MHz in steps of 5, not %d", mhz));
    }
    return editHdmiVsdbByte(model, 6, [mhz](uint8_t &b) { b = static_cast<uint8_t>(mhz / 5); });
}

EditOutcome setDeepColor(EdidModel &model, uint8_t bits) {
    if ((bits & ~0x78) != 0) {
        return refused(formatText("deep colour bits are 0x08 to 0x40, not 0x%x", bits));
    }
    return editHdmiVsdbByte(model, 5, [bits](uint8_t &b) { b = static_cast<uint8_t>((b & ~0x78) | bits); });
}

} // namespace edid
