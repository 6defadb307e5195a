// The model's layout (reading a CTA block into its data blocks and timings and writing it
// back), the base block's edits and the merge. The data block edits are in
// edid_model_edits.cpp.

#include "core/edid/edid_model.h"

#include "core/base/format_text.h"
#include "core/edid/edid_decode.h"
#include "core/edid/edid_image.h"
#include "core/edid/edid_model_blocks.h"
#include "core/edid/video_formats.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace edid {

using namespace cta;
using namespace detail;

namespace {

constexpr int kExtensionCountByte = 126;
constexpr int kFirstDescriptor = 54;
constexpr int kDescriptorCount = 4;
constexpr int kCtaHeaderBytes = static_cast<int>(cta::kHeaderBytes);
constexpr int kNameLength = 13;

void writeBlock1(const EdidModel &model, std::span<uint8_t, 128> out) {
    std::memset(out.data(), 0, out.size());
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
        return formatText("the detailed timings are said to start at %d, outside the block", b[2]);
    }
    if (const std::optional<QString> overrun = layout.overrun()) {
        return QStringLiteral("the ") + *overrun;
    }
    // Room for the blocks of most EDIDs at once: the fuzz target reads models millions of times.
    constexpr size_t kUsualBlocks = 16;
    model.dataBlocks.reserve(kUsualBlocks);
    model.timings.reserve(layout.timingCount());
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
        addFailure(
            model.findings, QString(),
            formatText("%d bytes: an EDID has at least one block of 128", static_cast<int>(bytes.size())));
        return model;
    }
    model.valid = true;
    if (blocks > 2) {
        addWarning(
            model.findings, QString(),
            formatText("%d blocks: only the base block and block 1 are kept", static_cast<int>(blocks)));
    }
    if (bytes.size() % kEdidBlockSize != 0) {
        addWarning(model.findings, QString(),
                   formatText("%d bytes after the last whole block ignored",
                              static_cast<int>(bytes.size() % kEdidBlockSize)));
    }
    std::copy_n(bytes.begin(), kEdidBlockSize, model.base.begin());
    for (size_t index = 0; index < std::min<size_t>(blocks, 2); ++index) {
        const auto block = bytes.subspan(index * kEdidBlockSize).first<kEdidBlockSize>();
        const uint8_t right = edidBlockChecksum(block);
        if (block[kEdidChecksum0] != right) {
            addWarning(model.findings,
                       index == 0 ? QStringLiteral("Block 0, Checksum") : QStringLiteral("Block 1, Checksum"),
                       formatText("0x%02x corrected to 0x%02x", block[kEdidChecksum0], right));
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

size_t encodeEdidModel(const EdidModel &model, EdidImage &out) {
    out = {};
    if (!model.valid || ctaContentBytes(model) > kCtaContentBytes) {
        return 0;
    }
    std::copy(model.base.begin(), model.base.end(), out.begin());
    out[kEdidChecksum0] = edidBlockChecksum(std::span<const uint8_t, 128>(model.base));
    if (model.extension == EdidModel::Extension::None) {
        return kEdidBlockSize;
    }
    writeBlock1(model, std::span<uint8_t, kEdidImageSize>(out).last<kEdidBlockSize>());
    return kEdidImageSize;
}

std::vector<uint8_t> encodeEdidModel(const EdidModel &model) {
    EdidImage image;
    const size_t size = encodeEdidModel(model, image);
    return std::vector<uint8_t>(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(size));
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
        return refused(formatText("a product name has 1 to %d characters", kNameLength));
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

EditOutcome setPreferredTimingFromVic(EdidModel &model, uint8_t vic) {
    const VideoFormat *format = findVideoFormat(vic);
    if (!model.valid || !format) {
        return refused(formatText("VIC %d is not in the video format table", vic));
    }
    const auto matches = [format](std::span<const uint8_t> descriptor) {
        const DetailedTiming t = decodeDetailedTiming(descriptor, 0);
        const double wantHz = format->refreshMilliHz / 1000.0;
        return t.hActive == format->hActive && t.vActive == format->vActive &&
               t.interlaced == format->interlaced && std::abs(t.refreshHz - wantHz) < wantHz * 0.005;
    };
    uint8_t *first = &model.base[kFirstDescriptor];
    const bool firstIsTiming = first[0] != 0 || first[1] != 0;
    for (size_t slot = 0; slot < kDescriptorCount; ++slot) {
        uint8_t *d = &model.base[kFirstDescriptor + slot * kTimingBytes];
        if ((d[0] != 0 || d[1] != 0) && matches(std::span<const uint8_t>(d, kTimingBytes))) {
            std::swap_ranges(d, d + kTimingBytes, first);
            return {};
        }
    }
    const bool ctaTimings = model.extension == EdidModel::Extension::Cta && model.ctaEditable;
    for (size_t i = 0; ctaTimings && i < model.timings.size(); ++i) {
        if (!matches(model.timings[i])) {
            continue;
        }
        if (!firstIsTiming) {
            return refused(
                QStringLiteral("the base block's first descriptor is no timing to trade places with"));
        }
        std::swap_ranges(model.timings[i].begin(), model.timings[i].end(), first);
        return {};
    }
    return refused(QStringLiteral("the EDID holds no detailed timing of ") + vicText(vic));
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
    if (ctaContentBytes(m) > kCtaContentBytes) {
        out.outcome = tooBig(std::move(m), "merge");
        out.model = video;
    }
    return out;
}

} // namespace edid
