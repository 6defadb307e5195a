// The audio edits of the model, and the merge of one EDID's video with another's audio.

#include "core/edid/edid_model.h"

#include "core/edid/edid_decode.h"
#include "core/edid/edid_model_edits.h"

#include <algorithm>
#include <functional>

namespace edid {

namespace {

using namespace cta;
using namespace edits;

// The audio blocks a merge takes from the audio source: the Audio Data Blocks, the
// Speaker Allocation, and the extended audio blocks (vendor-specific audio, HDMI audio,
// room configuration, speaker location).
bool isAudioBlock(const CtaDataBlock &b) {
    if (b.tag == kTagAudio || b.tag == kTagSpeakers) {
        return true;
    }
    const std::optional<uint8_t> ext = b.extendedTag();
    return ext && (*ext == kExtVendorAudio || *ext == kExtHdmiAudio || *ext == kExtRoomConfiguration ||
                   *ext == kExtSpeakerLocation);
}

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
int forEachSad(EdidModel &model, const QString &format, const std::function<void(uint8_t *)> &visit) {
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
    return QStringLiteral("the Audio Data Block lists no %1").arg(format);
}

} // namespace

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
            return refused(QStringLiteral("channels are 1 to 8, not %1").arg(*channels));
        }
        if (rates && (*rates == 0 || *rates > 0x7F)) {
            return refused(
                QStringLiteral("sample rates are a mask of bits 0 to 6, not 0x%1").arg(*rates, 0, 16));
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

MergeOutcome mergeEdids(const EdidModel &video, const EdidModel &audio) {
    MergeOutcome out{{}, video};
    if (const auto notEditable = ctaNotEditable(video)) {
        out.outcome = refused(QStringLiteral("video source: ") + notEditable->reason);
        return out;
    }
    if (const auto notEditable = ctaNotEditable(audio)) {
        out.outcome = refused(QStringLiteral("audio source: ") + notEditable->reason);
        return out;
    }
    EdidModel &m = out.model;
    const auto first = std::find_if(m.dataBlocks.begin(), m.dataBlocks.end(), isAudioBlock);
    const auto firstVideo = std::find_if(m.dataBlocks.begin(), m.dataBlocks.end(),
                                         [](const CtaDataBlock &b) { return b.tag == kTagVideo; });
    // The audio goes where the video source had its own, else after its Video Data Block.
    ptrdiff_t at = first != m.dataBlocks.end()        ? first - m.dataBlocks.begin()
                   : firstVideo != m.dataBlocks.end() ? firstVideo - m.dataBlocks.begin() + 1
                                                      : 0;
    std::erase_if(m.dataBlocks, isAudioBlock);
    std::vector<CtaDataBlock> theirs;
    std::copy_if(audio.dataBlocks.begin(), audio.dataBlocks.end(), std::back_inserter(theirs), isAudioBlock);
    m.dataBlocks.insert(m.dataBlocks.begin() + at, theirs.begin(), theirs.end());
    m.block1[3] = static_cast<uint8_t>((m.block1[3] & ~0x40) | (audio.block1[3] & 0x40));
    m.findings.clear();
    fitExtensionCount(m);
    const int missing = ctaContentBytes(m) - kCtaContentBytes;
    if (missing > 0) {
        out.outcome = {false, missing,
                       QStringLiteral("the CTA-861 block holds %1 bytes; the merge needs %2 more")
                           .arg(kCtaContentBytes)
                           .arg(missing)};
        out.model = video;
    }
    return out;
}

} // namespace edid
