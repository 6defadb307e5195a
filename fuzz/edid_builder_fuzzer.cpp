// The EDID model under random edit sequences, fitted: the first byte gives how many bytes of
// edits follow (two per edit: which edit, its argument; at most 64), the rest is the EDID image; blocks
// after its first two are a second EDID, which the edits take blocks from and merge with
// (the image itself when there are none). Every edit, taken or refused, leaves a model that
// is written in at most 256 bytes, whose CTA content fits its block, and that reads back to
// the same bytes; a refused edit changes nothing, but one refused for space is fitted by the
// least loss, which must then fit. Every model, last, has all its fit's candidates left out
// and still reads back. What the models write is decoded by fuzz_edid_decode, any bytes.

#include "core/edid/edid_fit.h"
#include "core/edid/edid_image.h"
#include "core/edid/edid_model.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

// Made once: a text made for every edit would cost the target a tenth of its allocations.
const QString kFormats[] = {QStringLiteral("LPCM"),          QStringLiteral("AC-3"), QStringLiteral("E-AC-3"),
                            QStringLiteral("MLP"),           QStringLiteral("DTS"),  QStringLiteral("DTS-HD"),
                            QStringLiteral("L-PCM 3D Audio")};

edid::EditOutcome applyEdit(edid::EdidModel &model, const edid::EdidModel &other, uint8_t which,
                            uint8_t arg) {
    using edid::VendorVideo;
    const QString &format = kFormats[arg % std::size(kFormats)];
    switch (which % 24) {
    case 0:
        return edid::setProductName(model, QString(arg % 16, QChar('A' + arg % 26)));
    case 1:
        return edid::removeVic(model, arg);
    case 2:
        return edid::addVic(model, arg);
    case 3:
        return edid::setNativeVic(model, arg);
    case 4:
        return edid::setYcbcr420Capable(model, arg, (arg & 1) != 0);
    case 5:
        return edid::addYcbcr420OnlyVic(model, arg);
    case 6:
        return edid::removeYcbcr420OnlyVic(model, arg);
    case 7:
        return edid::takeAudioBlock(model, other);
    case 8:
        return edid::removeAudioFormat(model, format);
    case 9:
        return edid::setAudioFormat(model, format, static_cast<uint8_t>(arg & 0x0F),
                                    static_cast<uint8_t>(arg));
    case 10:
        return edid::setSpeakerAllocation(model, uint32_t{arg} * 0x010101u);
    case 11:
        return edid::setHdrEotfs(model, arg);
    case 12:
        return edid::setHdrLuminance(model, {arg, static_cast<uint8_t>(arg / 2),
                                             arg & 1 ? std::optional<uint8_t>(arg) : std::nullopt});
    case 13:
        return edid::removeVendorVideoBlock(model,
                                            arg & 1 ? VendorVideo::DolbyVision : VendorVideo::Hdr10Plus);
    case 14:
        return edid::takeVendorVideoBlock(model, other,
                                          arg & 1 ? VendorVideo::DolbyVision : VendorVideo::Hdr10Plus);
    case 15:
        return edid::setMaxFrl(model, arg % 8);
    case 16:
        return edid::setAllm(model, (arg & 1) != 0);
    case 17:
        return edid::setVrrRange(model, arg % 70, static_cast<uint16_t>(arg * 5));
    case 18:
        return edid::setMaxTmdsCharacterRate(model, static_cast<uint16_t>(arg * 5));
    case 19:
        return edid::setHdmiMaxTmdsClock(model, static_cast<uint16_t>(arg * 5));
    case 20:
        return edid::setDeepColor(model, arg);
    case 21:
        return edid::setPreferredTimingFromVic(model, arg);
    case 22:
        return edid::fitExtensionCount(model);
    default: {
        edid::MergeOutcome merged = arg & 1 ? edid::mergeEdids(model, other) : edid::mergeEdids(other, model);
        if (merged.outcome.ok) {
            model = std::move(merged.model);
        }
        return merged.outcome;
    }
    }
}

// At most 32 edits an input: a longer sequence reaches no state that shorter ones do not, and
// every edit is paid for by every run.
constexpr size_t kMaxEditBytes = 64;

// The demo box's link: every 4K120 format of an input is beyond it.
constexpr edid::LinkLimit kLink{600, 0};

// What a model writes: its bytes (0, 128 or 256 of the image), in place.
struct Written {
    EdidImage image{};
    size_t size = 0;
    std::span<const uint8_t> bytes() const { return std::span<const uint8_t>(image).first(size); }
    bool operator==(const Written &other) const = default;
};

Written written(const edid::EdidModel &model) {
    Written out;
    out.size = edid::encodeEdidModel(model, out.image);
    return out;
}

// The model writes an EDID that fits and reads back to the same bytes.
bool readsBack(const edid::EdidModel &model, const Written &bytes) {
    return edid::ctaContentBytes(model) <= edid::kCtaContentBytes &&
           written(edid::readEdidModel(bytes.bytes())) == bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const size_t editBytes = std::min<size_t>({data[0], kMaxEditBytes, size - 1});
    const std::span<const uint8_t> edits(data + 1, editBytes);
    const std::span<const uint8_t> image(data + 1 + editBytes, size - 1 - editBytes);

    edid::EdidModel model = edid::readEdidModel(image);
    // Unedited, the first two blocks come back as given, their checksums right.
    Written expected;
    expected.size = std::min<size_t>(image.size() / kEdidBlockSize, 2) * kEdidBlockSize;
    std::copy_n(image.begin(), expected.size, expected.image.begin());
    for (size_t block = 0; block < expected.size / kEdidBlockSize; ++block) {
        const auto bytes =
            std::span<uint8_t>(expected.image).subspan(block * kEdidBlockSize).first<kEdidBlockSize>();
        bytes[kEdidChecksum0] = edidBlockChecksum(bytes);
    }
    // What the model writes before each edit: what it wrote after the one before.
    Written before = written(model);
    if (!(before == expected)) {
        std::abort();
    }
    const size_t ownBytes = 2 * kEdidBlockSize;
    const edid::EdidModel other =
        image.size() >= ownBytes + kEdidBlockSize ? edid::readEdidModel(image.subspan(ownBytes)) : model;
    for (size_t at = 0; at + 2 <= edits.size(); at += 2) {
        const edid::EditOutcome outcome = applyEdit(model, other, edits[at], edits[at + 1]);
        if (outcome.unfitted) {
            edid::FittedEdit fitted = edid::fitByLeastLoss(outcome, kLink, &model);
            if (fitted.model) {
                model = std::move(*fitted.model);
                before = written(model);
                if (!readsBack(model, before)) {
                    std::abort();
                }
                continue;
            }
        }
        const Written after = written(model);
        if ((!outcome.ok && !(after == before)) || (outcome.ok && outcome.missingBytes != 0)) {
            std::abort();
        }
        // Bytes that read back once read back again: only what an edit changed is read.
        if (!(after == before) && !readsBack(model, after)) {
            std::abort();
        }
        before = after;
    }
    // Whatever the fit may leave out, left out all at once, leaves an EDID.
    const edid::FitProposal proposal = edid::proposeFit(model, kLink);
    edid::EdidModel lean = model;
    edid::leaveOut(lean, proposal.candidates);
    if (!readsBack(lean, written(lean))) {
        std::abort();
    }
    return 0;
}
