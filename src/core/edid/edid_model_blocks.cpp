#include "core/edid/edid_model_blocks.h"

#include "core/base/format_text.h"
#include "core/edid/hdmi_vsdb.h"
#include "core/edid/video_formats.h"

#include <array>
#include <memory>

namespace edid::detail {

using namespace cta;

namespace {

// Removes every descriptor of the VIC from the block's payload from byte `from` on; calls
// erased with the index (from `from`) each had among the descriptors kept.
template <typename Erased> int eraseVic(CtaDataBlock &b, size_t from, uint8_t vic, const Erased &erased) {
    int removed = 0;
    for (size_t at = from; at < b.length;) {
        if (svdVic(b.payload[at]) == vic) {
            erasePayload(b, at, 1);
            erased(at - from);
            ++removed;
        } else {
            ++at;
        }
    }
    return removed;
}

} // namespace

EditOutcome refused(const QString &reason) {
    return {false, 0, reason, {}};
}

bool isExtended(const CtaDataBlock &b, uint8_t extendedTag) {
    return b.tag == kTagExtended && b.length >= 1 && b.payload[0] == extendedTag;
}

bool isHdmiForum(const CtaDataBlock &b) {
    return (b.tag == kTagVendor && b.oui() == kOuiHdmiForum) || isExtended(b, kExtHdmiForumScdb);
}

bool isHdmiVsdb(const CtaDataBlock &b) {
    return b.tag == kTagVendor && b.oui() == kOuiHdmi;
}

bool isAudioBlock(const CtaDataBlock &b) {
    if (b.tag == kTagAudio || b.tag == kTagSpeakers) {
        return true;
    }
    const std::optional<uint8_t> ext = b.extendedTag();
    return ext && (*ext == kExtVendorAudio || *ext == kExtHdmiAudio || *ext == kExtRoomConfiguration ||
                   *ext == kExtSpeakerLocation);
}

CtaDataBlock makeBlock(uint8_t tag, std::span<const uint8_t> payload) {
    CtaDataBlock b;
    b.tag = tag;
    b.length = static_cast<uint8_t>(std::min<size_t>(payload.size(), kDataBlockPayloadMax));
    std::copy_n(payload.begin(), b.length, b.payload.begin());
    return b;
}

void erasePayload(CtaDataBlock &b, size_t from, size_t count) {
    std::copy(b.payload.begin() + static_cast<std::ptrdiff_t>(from + count), b.payload.begin() + b.length,
              b.payload.begin() + static_cast<std::ptrdiff_t>(from));
    b.length = static_cast<uint8_t>(b.length - count);
    std::fill(b.payload.begin() + b.length, b.payload.end(), 0);
}

bool appendPayload(CtaDataBlock &b, std::span<const uint8_t> bytes) {
    if (b.length + bytes.size() > kDataBlockPayloadMax) {
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), b.payload.begin() + b.length);
    b.length = static_cast<uint8_t>(b.length + bytes.size());
    return true;
}

uint8_t *payloadByte(CtaDataBlock &b, size_t index) {
    if (index >= kDataBlockPayloadMax) {
        return nullptr;
    }
    if (index >= b.length) {
        b.length = static_cast<uint8_t>(index + 1);
    }
    return &b.payload[index];
}

std::optional<EditOutcome> ctaNotEditable(const EdidModel &model) {
    if (!model.valid) {
        return refused(QStringLiteral("no EDID"));
    }
    if (model.extension != EdidModel::Extension::Cta) {
        return refused(QStringLiteral("the EDID has no CTA-861 extension"));
    }
    if (!model.ctaEditable) {
        return refused(QStringLiteral("the CTA-861 block cannot be edited: ") + model.ctaProblem);
    }
    if (model.block1[1] < 3) {
        return refused(
            formatText("the CTA-861 block is of revision %d, which holds no data blocks", model.block1[1]));
    }
    return std::nullopt;
}

EditOutcome tooBig(EdidModel unfitted, const char *what) {
    const int missing = ctaContentBytes(unfitted) - kCtaContentBytes;
    return {
        false, missing,
        formatText("the CTA-861 block holds %d bytes; the %s needs %d more", kCtaContentBytes, what, missing),
        std::make_shared<const EdidModel>(std::move(unfitted))};
}

QString vicText(uint8_t vic) {
    static const std::array<QString, 256> kTexts = [] {
        std::array<QString, 256> texts;
        for (size_t code = 0; code < texts.size(); ++code) {
            texts[code] = QStringLiteral("VIC %1 (%2)").arg(code).arg(vicName(static_cast<uint8_t>(code)));
        }
        return texts;
    }();
    return kTexts[vic];
}

void CapabilityMap::erase(size_t index) {
    if (index >= count) {
        return;
    }
    const std::bitset<kMaxDescriptors> below =
        capable & ((std::bitset<kMaxDescriptors>().set()) >> (kMaxDescriptors - index));
    capable = below | ((capable >> (index + 1)) << index);
    --count;
}

void CapabilityMap::append(bool flag) {
    if (count < kMaxDescriptors) {
        capable[count++] = flag;
    }
}

std::vector<uint8_t> allSvds(const EdidModel &model) {
    std::vector<uint8_t> svds;
    for (const CtaDataBlock &b : model.dataBlocks) {
        if (b.tag == kTagVideo) {
            svds.insert(svds.end(), b.bytes().begin(), b.bytes().end());
        }
    }
    return svds;
}

std::optional<CapabilityMap> capabilityMap(const EdidModel &model) {
    const auto map = std::find_if(model.dataBlocks.begin(), model.dataBlocks.end(),
                                  [](const CtaDataBlock &b) { return isExtended(b, kExtYcbcr420Map); });
    if (map == model.dataBlocks.end()) {
        return std::nullopt;
    }
    CapabilityMap out;
    size_t count = 0;
    for (const CtaDataBlock &b : model.dataBlocks) {
        count += b.tag == kTagVideo ? b.length : 0;
    }
    out.length = map->length - 1u;
    out.empty = out.length == 0;
    out.count = std::min(count, CapabilityMap::kMaxDescriptors);
    // A byte of the map at a time, then nothing past the descriptors.
    for (size_t i = 0; i < out.length && 8 * i < out.count; ++i) {
        out.capable |= std::bitset<CapabilityMap::kMaxDescriptors>(map->payload[1 + i]) << (8 * i);
    }
    if (out.empty) {
        out.capable.set();
    }
    out.capable &=
        std::bitset<CapabilityMap::kMaxDescriptors>().set() >> (CapabilityMap::kMaxDescriptors - out.count);
    return out;
}

void writeCapabilityMap(EdidModel &model, const CapabilityMap &map) {
    const auto at = std::find_if(model.dataBlocks.begin(), model.dataBlocks.end(),
                                 [](const CtaDataBlock &b) { return isExtended(b, kExtYcbcr420Map); });
    if (at == model.dataBlocks.end()) {
        return;
    }
    if (map.empty && map.capable.count() == map.count) {
        return;
    }
    size_t last = map.count;
    while (last > 0 && !map.capable[last - 1]) {
        --last;
    }
    if (last == 0) {
        model.dataBlocks.erase(at);
        return;
    }
    const size_t needed = (last + 7) / 8;
    const size_t filled = (map.count + 7) / 8;
    const size_t length =
        std::min<size_t>(std::max(needed, std::min(map.length, filled)), kDataBlockPayloadMax - 1);
    std::array<uint8_t, kDataBlockPayloadMax> payload{};
    payload[0] = kExtYcbcr420Map;
    for (size_t i = 0; i < length; ++i) {
        payload[1 + i] = static_cast<uint8_t>(
            ((map.capable >> (8 * i)) & std::bitset<CapabilityMap::kMaxDescriptors>(0xFF)).to_ulong());
    }
    *at = makeBlock(kTagExtended, std::span<const uint8_t>(payload).first(1 + length));
}

int eraseYcbcr420OnlyVic(EdidModel &model, uint8_t vic) {
    int removed = 0;
    for (CtaDataBlock &b : model.dataBlocks) {
        if (isExtended(b, kExtYcbcr420Video)) {
            removed += eraseVic(b, 1, vic, [](size_t) {});
        }
    }
    return removed;
}

int eraseVicEverywhere(EdidModel &model, uint8_t vic) {
    std::optional<CapabilityMap> map = capabilityMap(model);
    int removed = eraseYcbcr420OnlyVic(model, vic);
    size_t first = 0; // the index of a block's first descriptor over all Video Data Blocks
    for (CtaDataBlock &b : model.dataBlocks) {
        if (b.tag != kTagVideo) {
            continue;
        }
        removed += eraseVic(b, 0, vic, [&](size_t index) {
            if (map) {
                map->erase(first + index);
            }
        });
        first += b.length;
    }
    if (removed == 0) {
        return 0;
    }
    if (map) {
        writeCapabilityMap(model, *map);
    }
    eraseEmpty(
        model, [](const CtaDataBlock &b) { return b.tag == kTagVideo; }, 0);
    eraseEmpty(
        model, [](const CtaDataBlock &b) { return isExtended(b, kExtYcbcr420Video); }, 1);
    // An HDMI VIC names the format of a VIC the Video Data Block lists (a source takes the
    // one for the other): the format goes from both.
    const auto hdmiVic = std::find(kHdmiVicFormats.begin(), kHdmiVicFormats.end(), vic);
    CtaDataBlock *vsdb = hdmiVic != kHdmiVicFormats.end() ? findBlock(model, isHdmiVsdb) : nullptr;
    std::optional<HdmiVsdbFields> fields = vsdb != nullptr ? readHdmiVsdb(vsdb->bytes()) : std::nullopt;
    if (fields &&
        std::erase(fields->hdmiVics, static_cast<uint8_t>(hdmiVic - kHdmiVicFormats.begin() + 1)) > 0) {
        *vsdb = hdmiVsdbBlock(std::move(*fields));
    }
    return removed;
}

} // namespace edid::detail
