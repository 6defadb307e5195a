#include "core/edid/edid_model.h"

#include "core/edid/edid_decode.h"
#include "core/edid/edid_image.h"
#include "core/edid/edid_model_edits.h"
#include "core/edid/video_formats.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace edid {

namespace edits {

using namespace cta;

EditOutcome refused(const QString &reason) {
    return {false, 0, reason};
}

bool isExtended(const CtaDataBlock &b, uint8_t extendedTag) {
    return b.tag == kTagExtended && b.length >= 1 && b.payload[0] == extendedTag;
}

CtaDataBlock makeBlock(uint8_t tag, std::span<const uint8_t> payload) {
    CtaDataBlock b;
    b.tag = tag;
    b.length = static_cast<uint8_t>(std::min<size_t>(payload.size(), kDataBlockPayloadMax));
    std::copy_n(payload.begin(), b.length, b.payload.begin());
    return b;
}

CtaDataBlock *findBlock(EdidModel &model, const std::function<bool(const CtaDataBlock &)> &matches) {
    const auto found = std::find_if(model.dataBlocks.begin(), model.dataBlocks.end(), matches);
    return found == model.dataBlocks.end() ? nullptr : &*found;
}

// The edits of data blocks need a CTA block whose collection they can lay out again.
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
        return refused(QStringLiteral("the CTA-861 block is of revision %1, which holds no data blocks")
                           .arg(model.block1[1]));
    }
    return std::nullopt;
}

EditOutcome editCta(EdidModel &model, const std::function<EditOutcome(EdidModel &)> &edit) {
    if (const auto notEditable = ctaNotEditable(model)) {
        return *notEditable;
    }
    EdidModel next = model;
    EditOutcome outcome = edit(next);
    if (!outcome.ok) {
        return outcome;
    }
    const int missing = ctaContentBytes(next) - kCtaContentBytes;
    if (missing > 0) {
        return {false, missing,
                QStringLiteral("the CTA-861 block holds %1 bytes; the edit needs %2 more")
                    .arg(kCtaContentBytes)
                    .arg(missing)};
    }
    model = std::move(next);
    return outcome;
}

void eraseEmpty(EdidModel &model, const std::function<bool(const CtaDataBlock &)> &kind, size_t minLength) {
    std::erase_if(model.dataBlocks, [&](const CtaDataBlock &b) { return kind(b) && b.length <= minLength; });
}

void erasePayload(CtaDataBlock &b, size_t from, size_t count) {
    std::copy(b.payload.begin() + static_cast<std::ptrdiff_t>(from + count), b.payload.begin() + b.length,
              b.payload.begin() + static_cast<std::ptrdiff_t>(from));
    b.length = static_cast<uint8_t>(b.length - count);
    std::fill(b.payload.begin() + b.length, b.payload.end(), 0);
}

void insertAfter(EdidModel &model, const CtaDataBlock &block,
                 const std::function<bool(const CtaDataBlock &)> &after) {
    const auto last = std::find_if(model.dataBlocks.rbegin(), model.dataBlocks.rend(), after);
    model.dataBlocks.insert(last == model.dataBlocks.rend() ? model.dataBlocks.end() : last.base(), block);
}

} // namespace edits

namespace {

using namespace cta;
using namespace edits;

constexpr int kExtensionCountByte = 126;
constexpr int kFirstDescriptor = 54;
constexpr int kDescriptorCount = 4;
constexpr int kCtaHeaderBytes = static_cast<int>(cta::kHeaderBytes);
constexpr int kNameLength = 13;

bool isHdmiForum(const CtaDataBlock &b) {
    return (b.tag == kTagVendor && b.oui() == kOuiHdmiForum) || isExtended(b, kExtHdmiForumScdb);
}

uint32_t vendorVideoOui(VendorVideo which) {
    return which == VendorVideo::DolbyVision ? kOuiDolby : kOuiHdr10Plus;
}

QString vendorVideoName(VendorVideo which) {
    return which == VendorVideo::DolbyVision ? QStringLiteral("Dolby Vision") : QStringLiteral("HDR10+");
}

bool isVendorVideo(const CtaDataBlock &b, VendorVideo which) {
    return isExtended(b, kExtVendorVideo) && b.oui() == vendorVideoOui(which);
}

void writeBlock1(const EdidModel &model, std::span<uint8_t, 128> out) {
    std::fill(out.begin(), out.end(), 0);
    if (model.extension != EdidModel::Extension::Cta || !model.ctaEditable) {
        std::copy(model.block1.begin(), model.block1.end(), out.begin());
        out[kEdidChecksum0] = edidBlockChecksum(out);
        return;
    }
    out[0] = model.block1[0];
    out[1] = model.block1[1];
    out[3] = model.block1[3];
    size_t at = kCtaHeaderBytes;
    for (const CtaDataBlock &b : model.dataBlocks) {
        out[at++] = static_cast<uint8_t>(b.tag << 5 | b.length);
        std::copy_n(b.payload.begin(), b.length, out.begin() + static_cast<std::ptrdiff_t>(at));
        at += b.length;
    }
    const size_t tail = model.collectionEnd - model.collectionTailStart;
    std::copy_n(model.block1.begin() + model.collectionTailStart, tail,
                out.begin() + static_cast<std::ptrdiff_t>(at));
    at += tail;
    const bool empty = model.dataBlocks.empty() && tail == 0 && model.timings.empty();
    out[2] = model.timingOffsetZero && empty ? 0 : static_cast<uint8_t>(at);
    for (const TimingBytes &t : model.timings) {
        std::copy(t.begin(), t.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
        at += kTimingBytes;
    }
    // Padding as read stays where it stood; a layout that moved pads with zeros.
    if (at == model.paddingStart) {
        std::copy(model.block1.begin() + static_cast<std::ptrdiff_t>(at),
                  model.block1.begin() + kCtaContentBytes, out.begin() + static_cast<std::ptrdiff_t>(at));
    }
    out[kEdidChecksum0] = edidBlockChecksum(out);
}

// Reads the CTA block's collection and timings; the reason when the block cannot be
// edited: its timing offset lies outside it, a data block runs past the collection (the
// bytes after it mean nothing certain), or the layout does not read back byte for byte.
std::optional<QString> readCta(EdidModel &model) {
    const std::array<uint8_t, 128> &b = model.block1;
    const CtaLayout layout(b);
    if (layout.timingOffset() == TimingOffset::None) {
        model.timingOffsetZero = true;
        model.collectionTailStart = model.collectionEnd = model.paddingStart = kCtaHeaderBytes;
        return std::nullopt;
    }
    if (layout.timingOffset() != TimingOffset::InBlock) {
        return QStringLiteral("the detailed timings are said to start at %1, outside the block").arg(b[2]);
    }
    if (const std::optional<QString> overrun = layout.overrun()) {
        return QStringLiteral("the ") + *overrun;
    }
    for (const DataBlock &block : layout.dataBlocks()) {
        model.dataBlocks.push_back(makeBlock(block.tag, block.payload));
    }
    // Revisions 1 and 2 hold no data blocks: what stands before their timings is carried.
    model.collectionTailStart = static_cast<uint8_t>(layout.blocksEnd());
    model.collectionEnd = static_cast<uint8_t>(layout.collectionEnd());
    for (size_t i = 0; i < layout.timingCount(); ++i) {
        TimingBytes t{};
        std::copy_n(layout.timing(i).begin(), kTimingBytes, t.begin());
        model.timings.push_back(t);
    }
    model.paddingStart = static_cast<uint8_t>(layout.collectionEnd() + layout.timingCount() * kTimingBytes);
    std::array<uint8_t, 128> again{};
    writeBlock1(model, again);
    if (!std::equal(b.begin(), b.begin() + kCtaContentBytes, again.begin())) {
        return QStringLiteral("its layout does not read back byte for byte");
    }
    return std::nullopt;
}

// --- Video descriptors ------------------------------------------------------------------

std::vector<uint8_t> allSvds(const EdidModel &model) {
    std::vector<uint8_t> svds;
    for (const CtaDataBlock &b : model.dataBlocks) {
        if (b.tag == kTagVideo) {
            svds.insert(svds.end(), b.bytes().begin(), b.bytes().end());
        }
    }
    return svds;
}

// The 4:2:0 capability map as one flag per descriptor; nullopt without a map.
struct CapabilityMap {
    std::vector<bool> capable;
    bool empty = false; // the empty map names every descriptor
    size_t length = 0;
};

std::optional<CapabilityMap> capabilityMap(EdidModel &model) {
    const CtaDataBlock *map =
        findBlock(model, [](const CtaDataBlock &b) { return isExtended(b, kExtYcbcr420Map); });
    if (!map) {
        return std::nullopt;
    }
    CapabilityMap out;
    const size_t count = allSvds(model).size();
    out.length = map->length - 1u;
    out.empty = out.length == 0;
    for (size_t i = 0; i < count; ++i) {
        out.capable.push_back(out.empty ||
                              (i / 8 < out.length && (map->payload[1 + i / 8] & (1u << (i % 8))) != 0));
    }
    return out;
}

// Writes the map back for the descriptors as they are now: empty while it names all, else
// as many bytes as its last set bit needs (no fewer than it had, no more than the
// descriptors fill), and no map when it names none.
void writeCapabilityMap(EdidModel &model, const CapabilityMap &map) {
    const auto at = std::find_if(model.dataBlocks.begin(), model.dataBlocks.end(),
                                 [](const CtaDataBlock &b) { return isExtended(b, kExtYcbcr420Map); });
    if (at == model.dataBlocks.end()) {
        return;
    }
    const bool all = std::all_of(map.capable.begin(), map.capable.end(), [](bool c) { return c; });
    if (map.empty && all) {
        return;
    }
    const auto last = std::find(map.capable.rbegin(), map.capable.rend(), true);
    if (last == map.capable.rend()) {
        model.dataBlocks.erase(at);
        return;
    }
    const size_t needed = (static_cast<size_t>(map.capable.rend() - last) + 7) / 8;
    const size_t filled = (map.capable.size() + 7) / 8;
    const size_t length = std::max(needed, std::min(map.length, filled));
    std::vector<uint8_t> payload(1 + length, 0);
    payload[0] = kExtYcbcr420Map;
    for (size_t i = 0; i < map.capable.size(); ++i) {
        if (map.capable[i]) {
            payload[1 + i / 8] = static_cast<uint8_t>(payload[1 + i / 8] | 1u << (i % 8));
        }
    }
    *at = makeBlock(kTagExtended, payload);
}

// Removes every descriptor of the VIC from the block's payload from byte `from` on; calls
// erased with the index (from `from`) each had among the descriptors kept.
int eraseVic(CtaDataBlock &b, size_t from, uint8_t vic, const std::function<void(size_t)> &erased) {
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

// Removes the VIC from every YCbCr 4:2:0 Video Data Block; how many descriptors it had.
int eraseYcbcr420OnlyVic(EdidModel &model, uint8_t vic) {
    int removed = 0;
    for (CtaDataBlock &b : model.dataBlocks) {
        if (isExtended(b, kExtYcbcr420Video)) {
            removed += eraseVic(b, 1, vic, [](size_t) {});
        }
    }
    return removed;
}

bool appendPayload(CtaDataBlock &b, std::span<const uint8_t> bytes) {
    if (b.length + bytes.size() > kDataBlockPayloadMax) {
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), b.payload.begin() + b.length);
    b.length = static_cast<uint8_t>(b.length + bytes.size());
    return true;
}

QString vicText(uint8_t vic) {
    return QStringLiteral("VIC %1 (%2)").arg(vic).arg(vicName(vic));
}

// --- HDMI blocks --------------------------------------------------------------------------

// The payload byte at index of a block, the block grown with zeros to reach it.
uint8_t *payloadByte(CtaDataBlock &b, size_t index) {
    if (index >= kDataBlockPayloadMax) {
        return nullptr;
    }
    if (index >= b.length) {
        b.length = static_cast<uint8_t>(index + 1);
    }
    return &b.payload[index];
}

// Both HDMI Forum blocks put the version at payload byte 3 and the fields after it at the
// same places: 4 max TMDS character rate, 6 max FRL, 7 ALLM, 8 and 9 the VRR range.
EditOutcome editHdmiForumByte(EdidModel &model, size_t index, const std::function<void(uint8_t &)> &change) {
    return editCta(model, [&](EdidModel &m) {
        CtaDataBlock *forum = findBlock(m, isHdmiForum);
        if (!forum) {
            return refused(QStringLiteral("the EDID has no HDMI Forum block"));
        }
        change(*payloadByte(*forum, index));
        return EditOutcome{};
    });
}

EditOutcome editHdmiVsdbByte(EdidModel &model, size_t index, const std::function<void(uint8_t &)> &change) {
    return editCta(model, [&](EdidModel &m) {
        CtaDataBlock *hdmi =
            findBlock(m, [](const CtaDataBlock &b) { return b.tag == kTagVendor && b.oui() == kOuiHdmi; });
        if (!hdmi) {
            return refused(QStringLiteral("the EDID has no HDMI VSDB"));
        }
        change(*payloadByte(*hdmi, index));
        return EditOutcome{};
    });
}

} // namespace

std::optional<uint8_t> CtaDataBlock::extendedTag() const {
    return tag == kTagExtended && length >= 1 ? std::optional<uint8_t>(payload[0]) : std::nullopt;
}

uint32_t CtaDataBlock::oui() const {
    return blockOui(tag, bytes());
}

EdidModel readEdidModel(std::span<const uint8_t> bytes) {
    EdidModel model;
    const size_t blocks = bytes.size() / kEdidBlockSize;
    if (blocks == 0) {
        addFailure(model.findings, QString(),
                   QStringLiteral("%1 bytes: an EDID has at least one block of 128").arg(bytes.size()));
        return model;
    }
    model.valid = true;
    if (blocks > 2) {
        addWarning(model.findings, QString(),
                   QStringLiteral("%1 blocks: only the base block and block 1 are kept").arg(blocks));
    }
    if (bytes.size() % kEdidBlockSize != 0) {
        addWarning(
            model.findings, QString(),
            QStringLiteral("%1 bytes after the last whole block ignored").arg(bytes.size() % kEdidBlockSize));
    }
    std::copy_n(bytes.begin(), kEdidBlockSize, model.base.begin());
    for (size_t index = 0; index < std::min<size_t>(blocks, 2); ++index) {
        const auto block = bytes.subspan(index * kEdidBlockSize).first<kEdidBlockSize>();
        const uint8_t right = edidBlockChecksum(block);
        if (block[kEdidChecksum0] != right) {
            addWarning(model.findings, QStringLiteral("Block %1, Checksum").arg(index),
                       QStringLiteral("0x%1 corrected to 0x%2")
                           .arg(block[kEdidChecksum0], 2, 16, QLatin1Char('0'))
                           .arg(right, 2, 16, QLatin1Char('0')));
        }
    }
    if (blocks < 2) {
        return model;
    }
    std::copy_n(bytes.begin() + kEdidBlockSize, kEdidBlockSize, model.block1.begin());
    if (model.block1[0] != kExtensionTag) {
        model.extension = EdidModel::Extension::Other;
        return model;
    }
    model.extension = EdidModel::Extension::Cta;
    model.ctaEditable = true;
    if (const std::optional<QString> problem = readCta(model)) {
        model.ctaEditable = false;
        model.ctaProblem = *problem;
        model.dataBlocks.clear();
        model.timings.clear();
        model.collectionTailStart = model.collectionEnd = model.paddingStart = kCtaHeaderBytes;
        addWarning(model.findings, QStringLiteral("Block 1, CTA-861 Extension Block"),
                   *problem + QStringLiteral(": the block is carried unchanged"));
    }
    return model;
}

std::vector<uint8_t> encodeEdidModel(const EdidModel &model) {
    if (!model.valid) {
        return {};
    }
    std::vector<uint8_t> out(model.base.begin(), model.base.end());
    out[kEdidChecksum0] = edidBlockChecksum(std::span<const uint8_t, 128>(model.base));
    if (model.extension == EdidModel::Extension::None) {
        return out;
    }
    std::array<uint8_t, 128> block{};
    writeBlock1(model, block);
    out.insert(out.end(), block.begin(), block.end());
    return out;
}

int ctaContentBytes(const EdidModel &model) {
    int bytes = kCtaHeaderBytes + (model.collectionEnd - model.collectionTailStart);
    for (const CtaDataBlock &b : model.dataBlocks) {
        bytes += 1 + b.length;
    }
    return bytes + static_cast<int>(model.timings.size()) * kTimingBytes;
}

EditOutcome setProductName(EdidModel &model, const QString &name) {
    if (!model.valid) {
        return refused(QStringLiteral("no EDID"));
    }
    if (name.isEmpty() || name.size() > kNameLength) {
        return refused(QStringLiteral("a product name has 1 to %1 characters").arg(kNameLength));
    }
    for (QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() >= 0x7F) {
            return refused(QStringLiteral("a product name is printable ASCII"));
        }
    }
    std::optional<size_t> slot;
    std::optional<size_t> dummy;
    for (size_t i = 0; i < kDescriptorCount; ++i) {
        const uint8_t *d = &model.base[kFirstDescriptor + i * kTimingBytes];
        if (d[0] == 0 && d[1] == 0 && d[3] == 0xFC && !slot) {
            slot = i;
        } else if (d[0] == 0 && d[1] == 0 && d[3] == 0x10 && !dummy) {
            dummy = i;
        }
    }
    if (!slot && !dummy) {
        return refused(QStringLiteral("the base block has no product name and no free descriptor for one"));
    }
    uint8_t *d = &model.base[kFirstDescriptor + slot.value_or(dummy.value_or(0)) * kTimingBytes];
    std::fill_n(d, kTimingBytes, 0);
    d[3] = 0xFC;
    const QByteArray text = name.toLatin1();
    std::copy(text.begin(), text.end(), d + 5);
    if (text.size() < kNameLength) {
        d[5 + text.size()] = 0x0A;
        std::fill(d + 6 + text.size(), d + kTimingBytes, ' ');
    }
    return {};
}

EditOutcome fitExtensionCount(EdidModel &model) {
    if (!model.valid) {
        return refused(QStringLiteral("no EDID"));
    }
    model.base[kExtensionCountByte] = model.extension == EdidModel::Extension::None ? 0 : 1;
    return {};
}

EditOutcome removeVic(EdidModel &model, uint8_t vic) {
    return editCta(model, [vic](EdidModel &m) {
        std::optional<CapabilityMap> map = capabilityMap(m);
        int removed = eraseYcbcr420OnlyVic(m, vic);
        size_t first = 0; // the index of a block's first descriptor over all Video Data Blocks
        for (CtaDataBlock &b : m.dataBlocks) {
            if (b.tag != kTagVideo) {
                continue;
            }
            removed += eraseVic(b, 0, vic, [&](size_t index) {
                if (map) {
                    map->capable.erase(map->capable.begin() + static_cast<std::ptrdiff_t>(first + index));
                }
            });
            first += b.length;
        }
        if (removed == 0) {
            return refused(QStringLiteral("the Video Data Block lists no VIC %1").arg(vic));
        }
        if (map) {
            writeCapabilityMap(m, *map);
        }
        eraseEmpty(
            m, [](const CtaDataBlock &b) { return b.tag == kTagVideo; }, 0);
        eraseEmpty(
            m, [](const CtaDataBlock &b) { return isExtended(b, kExtYcbcr420Video); }, 1);
        return EditOutcome{};
    });
}

EditOutcome addVic(EdidModel &model, uint8_t vic) {
    return editCta(model, [vic](EdidModel &m) {
        if (!findVideoFormat(vic)) {
            return refused(QStringLiteral("VIC %1 is not in the video format table").arg(vic));
        }
        const std::vector<uint8_t> svds = allSvds(m);
        if (std::any_of(svds.begin(), svds.end(), [vic](uint8_t svd) { return svdVic(svd) == vic; })) {
            return refused(QStringLiteral("the Video Data Block lists %1 already").arg(vicText(vic)));
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
            map->capable.push_back(false); // an empty map would have named it too
            writeCapabilityMap(m, *map);
        }
        return EditOutcome{};
    });
}

EditOutcome setNativeVic(EdidModel &model, uint8_t vic) {
    return editCta(model, [vic](EdidModel &m) {
        if (vic < 1 || vic > 64) {
            return refused(QStringLiteral("only VICs 1 to 64 can be marked native, not %1").arg(vic));
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
            return refused(QStringLiteral("the Video Data Block lists no VIC %1").arg(vic));
        }
        return EditOutcome{};
    });
}

EditOutcome setYcbcr420Capable(EdidModel &model, uint8_t vic, bool capable) {
    return editCta(model, [vic, capable](EdidModel &m) {
        const std::vector<uint8_t> svds = allSvds(m);
        if (std::none_of(svds.begin(), svds.end(), [vic](uint8_t svd) { return svdVic(svd) == vic; })) {
            return refused(QStringLiteral("the Video Data Block lists no VIC %1").arg(vic));
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
            map = CapabilityMap{std::vector<bool>(svds.size(), false), false, 0};
        }
        for (size_t i = 0; i < svds.size(); ++i) {
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
            return refused(QStringLiteral("VIC %1 is not in the video format table").arg(vic));
        }
        CtaDataBlock *only =
            findBlock(m, [](const CtaDataBlock &b) { return isExtended(b, kExtYcbcr420Video); });
        if (only) {
            const auto listed = only->bytes().subspan(1);
            if (std::find(listed.begin(), listed.end(), vic) != listed.end()) {
                return refused(
                    QStringLiteral("the YCbCr 4:2:0 Video Data Block lists %1 already").arg(vicText(vic)));
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
            return refused(QStringLiteral("the YCbCr 4:2:0 Video Data Block lists no VIC %1").arg(vic));
        }
        eraseEmpty(
            m, [](const CtaDataBlock &b) { return isExtended(b, kExtYcbcr420Video); }, 1);
        return EditOutcome{};
    });
}

EditOutcome setHdrEotfs(EdidModel &model, uint8_t eotfs) {
    return editCta(model, [eotfs](EdidModel &m) {
        if ((eotfs & 0xC0) != 0) {
            return refused(QStringLiteral("EOTF bits are 0 to 5, not 0x%1").arg(eotfs, 0, 16));
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
        return refused(QStringLiteral("FRL codes are 0 to 6, not %1").arg(code));
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
        return refused(
            QStringLiteral("a VRR range is 0 to 63 Hz and 0 to 1023 Hz, not %1 to %2").arg(minHz).arg(maxHz));
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
            QStringLiteral("a max TMDS character rate is 0 or 345 to 1275 MHz in steps of 5, not %1")
                .arg(mhz));
    }
    return editHdmiForumByte(model, 4, [mhz](uint8_t &b) { b = static_cast<uint8_t>(mhz / 5); });
}

EditOutcome setHdmiMaxTmdsClock(EdidModel &model, uint16_t mhz) {
    if (mhz < 5 || mhz > 1275 || mhz % 5 != 0) {
        return refused(QStringLiteral("a max TMDS clock is 5 to 1275 MHz in steps of 5, not %1").arg(mhz));
    }
    return editHdmiVsdbByte(model, 6, [mhz](uint8_t &b) { b = static_cast<uint8_t>(mhz / 5); });
}

EditOutcome setDeepColor(EdidModel &model, uint8_t bits) {
    if ((bits & ~0x78) != 0) {
        return refused(QStringLiteral("deep colour bits are 0x08 to 0x40, not 0x%1").arg(bits, 0, 16));
    }
    return editHdmiVsdbByte(model, 5, [bits](uint8_t &b) { b = static_cast<uint8_t>((b & ~0x78) | bits); });
}

EditOutcome setPreferredTimingFromVic(EdidModel &model, uint8_t vic) {
    const VideoFormat *format = findVideoFormat(vic);
    if (!model.valid || !format) {
        return refused(QStringLiteral("VIC %1 is not in the video format table").arg(vic));
    }
    // The decoder reads the timings; its lists stand in the order of the bytes.
    const EdidDecoded decoded = decodeEdid(encodeEdidModel(model));
    const auto matches = [format](const DetailedTiming &t) {
        const double wantHz = format->refreshMilliHz / 1000.0;
        return t.hActive == format->hActive && t.vActive == format->vActive &&
               t.interlaced == format->interlaced && std::abs(t.refreshHz - wantHz) < wantHz * 0.005;
    };
    uint8_t *first = &model.base[kFirstDescriptor];
    const bool firstIsTiming = first[0] != 0 || first[1] != 0;
    size_t timing = 0;
    for (size_t slot = 0; slot < kDescriptorCount; ++slot) {
        uint8_t *d = &model.base[kFirstDescriptor + slot * kTimingBytes];
        if (d[0] == 0 && d[1] == 0) {
            continue;
        }
        if (timing < decoded.base.detailedTimings.size() && matches(decoded.base.detailedTimings[timing])) {
            std::swap_ranges(d, d + kTimingBytes, first);
            return {};
        }
        ++timing;
    }
    const bool ctaTimings =
        model.extension == EdidModel::Extension::Cta && model.ctaEditable && !decoded.cta.empty();
    for (size_t i = 0;
         ctaTimings && i < model.timings.size() && i < decoded.cta.front().detailedTimings.size(); ++i) {
        if (!matches(decoded.cta.front().detailedTimings[i])) {
            continue;
        }
        if (!firstIsTiming) {
            return refused(
                QStringLiteral("the base block's first descriptor is no timing to trade places with"));
        }
        std::swap_ranges(model.timings[i].begin(), model.timings[i].end(), first);
        return {};
    }
    return refused(QStringLiteral("the EDID holds no detailed timing of %1").arg(vicText(vic)));
}

} // namespace edid
