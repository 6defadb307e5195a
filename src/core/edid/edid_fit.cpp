#include "core/edid/edid_fit.h"

#include "core/base/format_text.h"
#include "core/edid/edid_model_blocks.h"
#include "core/edid/hdmi_vsdb.h"
#include "core/edid/video_formats.h"

#include <algorithm>
#include <bitset>
#include <cmath>

// The proposal runs in every fit of the fuzz target and of the simulated box's mix: it makes
// no text (the front ends ask for the words) and finds what a model lists without lists of
// its own.

namespace edid {

using namespace cta;
using namespace detail;

namespace {

constexpr int kBitsPerPixel = 24; // 8-bit RGB, what a format needs at the least in full colour
constexpr double kSameRate = 0.005;
constexpr int kFirstDescriptor = 54;
constexpr int kDescriptorCount = 4;
constexpr int kHdmiForumMinTmdsMhz = 340;
constexpr uint16_t kWideWidth = 4096;
constexpr uint16_t kTwinWidth = 3840;

enum class Target : uint8_t { Vic, HdmiVic, Timing, Sad, Block };

Target targetOf(const FitCandidate &c) {
    if (c.vic != 0) {
        return Target::Vic;
    }
    if (c.hdmiVic != 0) {
        return Target::HdmiVic;
    }
    if (c.cut == FitCut::ShadowedAudio) {
        return Target::Sad;
    }
    return c.cut == FitCut::UnusedBlock ? Target::Block : Target::Timing;
}

bool sameRate(double a, double b) {
    return std::abs(a - b) <= std::max(a, b) * kSameRate;
}

bool isVideo(const CtaDataBlock &b) {
    return b.tag == kTagVideo;
}
bool isOnly420(const CtaDataBlock &b) {
    return isExtended(b, kExtYcbcr420Video);
}
bool isAudio(const CtaDataBlock &b) {
    return b.tag == kTagAudio;
}

// --- What a model lists -------------------------------------------------------------------------

using VicSet = std::bitset<256>;

struct Listed {
    VicSet full;     // the VICs of the Video Data Blocks
    VicSet ycbcr420; // those the capability map marks, and the 4:2:0-only ones
    bool any(uint8_t vic) const { return full[vic] || ycbcr420[vic]; }
    VicSet any() const { return full | ycbcr420; }
};

// The 3840-wide formats of the same height, scan and rate as a 4096-wide one (16:9 first,
// then 64:27), from the table of formats once; none for any other VIC.
using Twins = std::array<uint8_t, 2>;
const Twins &twinsOf(uint8_t vic) {
    static const std::array<Twins, 256> kTwins = [] {
        std::array<Twins, 256> twins{};
        for (int wide = 0; wide < 256; ++wide) {
            const VideoFormat *w = findVideoFormat(static_cast<uint8_t>(wide));
            size_t found = 0;
            for (int narrow = 0; w != nullptr && w->hActive == kWideWidth && narrow < 256; ++narrow) {
                const VideoFormat *n = findVideoFormat(static_cast<uint8_t>(narrow));
                if (n != nullptr && n->hActive == kTwinWidth && n->vActive == w->vActive &&
                    n->interlaced == w->interlaced && n->refreshMilliHz == w->refreshMilliHz &&
                    found < twins[wide].size()) {
                    twins[wide][found++] = static_cast<uint8_t>(narrow);
                }
            }
        }
        return twins;
    }();
    return kTwins[vic];
}

Listed listedOf(const EdidModel &model) {
    Listed out;
    const CtaDataBlock *map = nullptr;
    for (const CtaDataBlock &b : model.dataBlocks) {
        map = map == nullptr && isExtended(b, kExtYcbcr420Map) ? &b : map;
    }
    size_t index = 0; // of a descriptor over all Video Data Blocks, as the map counts them
    for (const CtaDataBlock &b : model.dataBlocks) {
        if (isOnly420(b)) {
            for (const uint8_t vic : b.bytes().subspan(1)) {
                out.ycbcr420[vic] = true;
            }
        }
        for (size_t at = 0; isVideo(b) && at < b.length; ++at, ++index) {
            const uint8_t svd = b.payload[at];
            if (svdReserved(svd)) {
                continue;
            }
            out.full[svdVic(svd)] = true;
            const size_t mapBytes = map == nullptr ? 0 : map->length - 1u;
            if (map != nullptr && (mapBytes == 0 || (index / 8 < mapBytes && (map->payload[1 + index / 8] &
                                                                              (1u << (index % 8))) != 0))) {
                out.ycbcr420[svdVic(svd)] = true;
            }
        }
    }
    return out;
}

// Calls visit with every VIC listed, each once: the Video Data Blocks' first, in order.
template <typename Visit> void forEachVic(const EdidModel &model, const Visit &visit) {
    VicSet seen;
    for (const bool videoFirst : {true, false}) {
        for (const CtaDataBlock &b : model.dataBlocks) {
            if (videoFirst ? !isVideo(b) : !isOnly420(b)) {
                continue;
            }
            for (size_t at = videoFirst ? 0 : 1; at < b.length; ++at) {
                const uint8_t vic = svdVic(b.payload[at]);
                if (!svdReserved(b.payload[at]) && !seen[vic]) {
                    seen[vic] = true;
                    visit(vic);
                }
            }
        }
    }
}

// --- Audio descriptors that another covers ----------------------------------------------------

bool subset(uint8_t bits, uint8_t of) {
    return (bits & ~of) == 0;
}

// Whether descriptor `a` states all that `b` does: the same coding, at least its channels,
// every rate and what its third byte allows.
bool covers(const uint8_t *a, const uint8_t *b) {
    const std::span<const uint8_t> sa(a, kSadBytes), sb(b, kSadBytes);
    const uint8_t coding = sadCoding(sa);
    if (coding == 0 || coding != sadCoding(sb) || !subset(b[1] & 0x7F, a[1] & 0x7F)) {
        return false;
    }
    const auto codingIs = [coding](AudioCoding c) { return coding == static_cast<uint8_t>(c); };
    if (codingIs(AudioCoding::Extended)) {
        // The level and profile bits of MPEG-H and AC-4 are no channel counts: only alike.
        const uint8_t ext = sadExtendedCoding(sa);
        const bool levels = ext == static_cast<uint8_t>(ExtendedAudioCoding::MpegH3d) ||
                            ext == static_cast<uint8_t>(ExtendedAudioCoding::Ac4);
        return ext == sadExtendedCoding(sb) && subset(b[2] & 0x07, a[2] & 0x07) &&
               (levels ? a[0] == b[0] : (a[0] & 0x07) >= (b[0] & 0x07));
    }
    if ((a[0] & 0x07) < (b[0] & 0x07)) {
        return false;
    }
    if (codingIs(AudioCoding::Lpcm)) {
        return subset(b[2] & 0x07, a[2] & 0x07); // sample sizes
    }
    if (coding <= static_cast<uint8_t>(AudioCoding::Atrac)) {
        return a[2] >= b[2]; // the max bit rate
    }
    if (codingIs(AudioCoding::WmaPro)) {
        return a[2] == b[2]; // a profile, not flags
    }
    return subset(b[2], a[2]); // flags: joint object coding, DTS:X, TrueHD ...
}

QString codingName(std::span<const uint8_t> sad) {
    return audioCodingName(sadCoding(sad), sadExtendedCoding(sad));
}

// --- Blocks no source reads ----------------------------------------------------------------------

// The extended tags of the vocabulary's blocks.
constexpr uint8_t kKnownExtendedTags[] = {
#define EDID_FIT_Tag(value)
#define EDID_FIT_Ext(value) value,
#define EDID_FIT_ROW(kind, name, value, text) EDID_FIT_##kind(value)
    EDID_CTA_DATA_BLOCKS(EDID_FIT_ROW)
#undef EDID_FIT_ROW
#undef EDID_FIT_Ext
#undef EDID_FIT_Tag
};

// Why no source reads the block, or nothing when one may.
std::optional<FitCandidate::Unused> unusedBecause(const CtaDataBlock &b) {
    using Unused = FitCandidate::Unused;
    const std::optional<uint8_t> ext = b.extendedTag();
    if (b.tag == 0 || b.tag == 6 || (b.tag == kTagExtended && !ext)) {
        return Unused::ReservedTag;
    }
    if (ext && std::find(std::begin(kKnownExtendedTags), std::end(kKnownExtendedTags), *ext) ==
                   std::end(kKnownExtendedTags)) {
        return Unused::ReservedExtendedTag;
    }
    if (b.length == 0 || (b.tag == kTagVendor && b.length < 3) ||
        (ext && *ext != kExtYcbcr420Map && b.length == 1)) {
        return Unused::Empty;
    }
    if (ext && *ext == kExtHdmiForumOverride) {
        return Unused::OneExtension;
    }
    const auto body = b.bytes().subspan(1);
    if (ext && *ext == kExtYcbcr420Map && !body.empty() &&
        std::all_of(body.begin(), body.end(), [](uint8_t byte) { return byte == 0; })) {
        return Unused::NoFormat;
    }
    return std::nullopt;
}

bool sameBlock(const CtaDataBlock &a, const CtaDataBlock &b) {
    return a.tag == b.tag && a.length == b.length &&
           std::equal(a.payload.begin(), a.payload.end(), b.payload.begin());
}

bool holdsBlock(const EdidModel &model, const CtaDataBlock &block) {
    return std::any_of(model.dataBlocks.begin(), model.dataBlocks.end(),
                       [&block](const CtaDataBlock &b) { return sameBlock(b, block); });
}

bool holdsSad(const EdidModel &model, const uint8_t *sad) {
    for (const CtaDataBlock &b : model.dataBlocks) {
        for (size_t at = 0; isAudio(b) && at + kSadBytes <= b.length; at += kSadBytes) {
            if (std::equal(sad, sad + kSadBytes, b.payload.begin() + static_cast<std::ptrdiff_t>(at))) {
                return true;
            }
        }
    }
    return false;
}

void eraseHdmiVic(EdidModel &model, uint8_t hdmiVic) {
    CtaDataBlock *vsdb = findBlock(model, isHdmiVsdb);
    std::optional<HdmiVsdbFields> fields = vsdb != nullptr ? readHdmiVsdb(vsdb->bytes()) : std::nullopt;
    if (fields && std::erase(fields->hdmiVics, hdmiVic) > 0) {
        *vsdb = hdmiVsdbBlock(std::move(*fields));
    }
}

void leaveOutOne(EdidModel &model, const FitCandidate &c) {
    switch (targetOf(c)) {
    case Target::Vic:
        eraseVicEverywhere(model, c.vic);
        return;
    case Target::HdmiVic:
        eraseHdmiVic(model, c.hdmiVic);
        return;
    case Target::Timing: {
        const auto at = std::find(model.timings.begin(), model.timings.end(), c.timing);
        if (at == model.timings.end()) {
            return;
        }
        // The native timings are the first of the base block's and the CTA block's: one of
        // them gone, one fewer is native.
        size_t index = static_cast<size_t>(at - model.timings.begin());
        for (int slot = 0; slot < kDescriptorCount; ++slot) {
            index += model.base[kFirstDescriptor + slot * kTimingBytes] != 0 ||
                     model.base[kFirstDescriptor + slot * kTimingBytes + 1] != 0;
        }
        uint8_t &flags = model.block1[3];
        if (index < (flags & 0x0Fu)) {
            flags = static_cast<uint8_t>(flags - 1);
        }
        model.timings.erase(at);
        return;
    }
    case Target::Sad:
        // The last of equal descriptors goes: the first of them is the one that covers.
        for (auto b = model.dataBlocks.rbegin(); b != model.dataBlocks.rend(); ++b) {
            for (size_t at = isAudio(*b) ? b->length / kSadBytes : 0; at-- > 0;) {
                if (std::equal(c.sad.begin(), c.sad.end(), b->payload.begin() + at * kSadBytes)) {
                    erasePayload(*b, at * kSadBytes, kSadBytes);
                    eraseEmpty(model, isAudio, 0);
                    return;
                }
            }
        }
        return;
    case Target::Block: {
        const auto at = std::find_if(model.dataBlocks.begin(), model.dataBlocks.end(),
                                     [&c](const CtaDataBlock &b) { return sameBlock(b, c.block); });
        if (at != model.dataBlocks.end()) {
            model.dataBlocks.erase(at);
        }
        return;
    }
    }
}

// --- The candidates by kind ------------------------------------------------------------------------

class Proposer {
public:
    Proposer(const EdidModel &model, const std::optional<LinkLimit> &link, const EdidModel *before)
        : model_(model), link_(link), before_(before != nullptr ? *before : model), listed_(listedOf(model)),
          listedBefore_(before != nullptr ? listedOf(*before) : listed_) {}

    std::vector<FitCandidate> candidates() {
        beyondLink();
        repeatedTimings();
        shadowedAudio();
        unusedBlocks();
        wideTwins();
        repeatedHdmiVics();
        const int all = ctaContentBytes(model_);
        for (FitCandidate &c : out_) {
            c.bytes = bytesSaved(c, all);
        }
        std::erase_if(out_, [](const FitCandidate &c) { return c.bytes <= 0; });
        return std::move(out_);
    }

private:
    // A timing, an audio descriptor and a block save their own bytes (a descriptor alone in
    // its block the header too); what a VIC or an HDMI VIC saves, leaving it out tells.
    int bytesSaved(const FitCandidate &c, int all) {
        switch (targetOf(c)) {
        case Target::Timing:
            return kTimingBytes;
        case Target::Block:
            return 1 + c.block.length;
        case Target::Sad: {
            const auto alone =
                std::find_if(model_.dataBlocks.begin(), model_.dataBlocks.end(), [&c](const CtaDataBlock &b) {
                    return isAudio(b) && b.length == kSadBytes &&
                           std::equal(c.sad.begin(), c.sad.end(), b.payload.begin());
                });
            return static_cast<int>(kSadBytes) + (alone != model_.dataBlocks.end() ? 1 : 0);
        }
        case Target::Vic:
            if (const std::optional<int> counted = vicBytes(c.vic)) {
                return *counted;
            }
            break;
        case Target::HdmiVic:
            break;
        }
        scratch_.dataBlocks = model_.dataBlocks; // keeps its room from one candidate to the next
        scratch_.timings.clear();
        scratch_.collectionEnd = model_.collectionEnd;
        scratch_.collectionTailStart = model_.collectionTailStart;
        leaveOutOne(scratch_, c);
        return all - static_cast<int>(model_.timings.size()) * kTimingBytes - ctaContentBytes(scratch_);
    }

    // What leaving out the VIC saves, counted where nothing else follows it: its descriptors,
    // and the header of a block they alone fill. With a capability map, or an HDMI VIC that
    // names its format, nothing: leaving it out tells.
    std::optional<int> vicBytes(uint8_t vic) const {
        const bool hdmiVic =
            std::find(kHdmiVicFormats.begin(), kHdmiVicFormats.end(), vic) != kHdmiVicFormats.end();
        int bytes = 0;
        for (const CtaDataBlock &b : model_.dataBlocks) {
            if (isExtended(b, kExtYcbcr420Map) || (hdmiVic && isHdmiVsdb(b))) {
                return std::nullopt;
            }
            const size_t from = isVideo(b) ? 0 : isOnly420(b) ? 1 : b.length;
            const int found = static_cast<int>(std::count_if(
                b.payload.begin() + static_cast<std::ptrdiff_t>(from), b.payload.begin() + b.length,
                [vic](uint8_t svd) { return svdVic(svd) == vic; }));
            bytes += found == static_cast<int>(b.length - from) && found > 0 ? 1 + b.length : found;
        }
        return bytes;
    }

    bool taken(uint8_t vic) const { return taken_[vic]; }
    void take(const FitCandidate &c) {
        if (c.vic != 0) {
            taken_[c.vic] = true;
        }
        out_.push_back(c);
    }
    bool timingTaken(const TimingBytes &t) const {
        return std::any_of(out_.begin(), out_.end(),
                           [&t](const FitCandidate &c) { return c.vic == 0 && c.timing == t; });
    }
    bool timingWasThere(const TimingBytes &t) const {
        return std::find(before_.timings.begin(), before_.timings.end(), t) != before_.timings.end();
    }

    void beyondLink() {
        if (!link_) {
            return;
        }
        const uint64_t capacity = linkCapacityKhz(*link_);
        const size_t first = out_.size();
        const auto add = [&](FitCandidate c, uint64_t neededKhz) {
            c.cut = FitCut::BeyondLink;
            c.link = *link_;
            c.neededKhz = static_cast<uint32_t>(neededKhz);
            take(c);
        };
        forEachVic(model_, [&](uint8_t vic) {
            const VideoFormat *format = findVideoFormat(vic);
            // A format that may go as 4:2:0 needs half its clock.
            const uint64_t needed = format == nullptr       ? 0
                                    : listed_.ycbcr420[vic] ? format->pixelClockKhz / 2
                                                            : format->pixelClockKhz;
            if (needed > capacity && listedBefore_.any(vic)) {
                FitCandidate c;
                c.vic = vic;
                add(c, needed);
            }
        });
        for (const TimingBytes &bytes : model_.timings) {
            const DetailedTiming t = decodeDetailedTiming(bytes, 1);
            if (t.pixelClockKhz > capacity && timingWasThere(bytes)) {
                FitCandidate c;
                c.timing = bytes;
                add(c, t.pixelClockKhz);
            }
        }
        std::stable_sort(
            out_.begin() + static_cast<std::ptrdiff_t>(first), out_.end(),
            [](const FitCandidate &a, const FitCandidate &b) { return a.neededKhz > b.neededKhz; });
    }

    void repeatedTimings() {
        for (size_t i = 0; i < model_.timings.size(); ++i) {
            const TimingBytes &bytes = model_.timings[i];
            if (timingTaken(bytes) || !timingWasThere(bytes)) {
                continue;
            }
            const DetailedTiming t = decodeDetailedTiming(bytes, 1);
            FitCandidate c;
            c.cut = FitCut::RepeatedTiming;
            c.timing = bytes;
            bool repeated = false;
            forEachVic(model_, [&](uint8_t vic) {
                if (!repeated && listed_.full[vic] && timingIsVic(t, vic)) {
                    c.stays = vic;
                    repeated = true;
                }
            });
            for (int slot = 0; !repeated && slot < kDescriptorCount; ++slot) {
                const auto d = std::span<const uint8_t>(model_.base)
                                   .subspan(kFirstDescriptor + slot * kTimingBytes, kTimingBytes);
                if ((d[0] != 0 || d[1] != 0) && sameTiming(decodeDetailedTiming(d, 0), t)) {
                    c.baseTiming = static_cast<uint8_t>(slot + 1);
                    repeated = true;
                }
            }
            for (size_t earlier = 0; !repeated && earlier < i; ++earlier) {
                repeated = sameTiming(decodeDetailedTiming(model_.timings[earlier], 1), t);
            }
            if (repeated) {
                take(c);
            }
        }
    }

    void shadowedAudio() {
        const auto forEachSad = [this](const auto &visit) {
            size_t index = 0;
            for (const CtaDataBlock &b : model_.dataBlocks) {
                for (size_t at = 0; isAudio(b) && at + kSadBytes <= b.length; at += kSadBytes) {
                    visit(&b.payload[at], index++);
                }
            }
        };
        forEachSad([&](const uint8_t *a, size_t i) {
            bool shadowed = false;
            forEachSad([&](const uint8_t *other, size_t j) {
                shadowed = shadowed || (j != i && covers(other, a) && (!covers(a, other) || j < i));
            });
            if (!shadowed || !holdsSad(before_, a)) {
                return;
            }
            FitCandidate c;
            c.cut = FitCut::ShadowedAudio;
            std::copy_n(a, kSadBytes, c.sad.begin());
            take(c);
        });
    }

    void unusedBlocks() {
        for (const CtaDataBlock &b : model_.dataBlocks) {
            const std::optional<FitCandidate::Unused> because = unusedBecause(b);
            if (!because || !holdsBlock(before_, b)) {
                continue;
            }
            FitCandidate c;
            c.cut = FitCut::UnusedBlock;
            c.block = b;
            c.unused = *because;
            take(c);
        }
    }

    void wideTwins() {
        const size_t first = out_.size();
        forEachVic(model_, [&](uint8_t vic) {
            if (taken(vic) || !listedBefore_.any(vic)) {
                return;
            }
            // The twin must stay, and carry the format as fully: in the Video Data Block when
            // the wide one stands there.
            const VicSet &carriers = listed_.full[vic] ? listed_.full : listed_.any();
            for (const uint8_t twin : twinsOf(vic)) {
                if (twin != 0 && carriers[twin] && !taken(twin)) {
                    FitCandidate c;
                    c.cut = FitCut::WideTwin;
                    c.vic = vic;
                    c.stays = twin;
                    take(c);
                    return;
                }
            }
        });
        // The fastest first: 4096x2160p24, the cinema's own, is the last to go.
        std::stable_sort(out_.begin() + static_cast<std::ptrdiff_t>(first), out_.end(),
                         [](const FitCandidate &a, const FitCandidate &b) {
                             return findVideoFormat(a.vic)->refreshMilliHz >
                                    findVideoFormat(b.vic)->refreshMilliHz;
                         });
    }

    void repeatedHdmiVics() {
        const auto vsdb = std::find_if(model_.dataBlocks.begin(), model_.dataBlocks.end(), isHdmiVsdb);
        const auto vsdbBefore =
            std::find_if(before_.dataBlocks.begin(), before_.dataBlocks.end(), isHdmiVsdb);
        if (vsdb == model_.dataBlocks.end() || vsdbBefore == before_.dataBlocks.end()) {
            return;
        }
        const std::optional<HdmiVsdbFields> fields = readHdmiVsdb(vsdb->bytes());
        if (!fields || fields->hdmiVics.empty()) {
            return;
        }
        const std::optional<HdmiVsdbFields> fieldsBefore =
            &before_ == &model_ ? fields : readHdmiVsdb(vsdbBefore->bytes());
        if (!fieldsBefore) {
            return;
        }
        for (const uint8_t hdmiVic : fields->hdmiVics) {
            const bool wasThere = std::find(fieldsBefore->hdmiVics.begin(), fieldsBefore->hdmiVics.end(),
                                            hdmiVic) != fieldsBefore->hdmiVics.end();
            if (hdmiVic < 1 || hdmiVic > kHdmiVicFormats.size() || !wasThere) {
                continue;
            }
            const uint8_t vic = kHdmiVicFormats[hdmiVic - 1];
            if (!listed_.full[vic] || taken(vic)) {
                continue;
            }
            FitCandidate c;
            c.cut = FitCut::RepeatedTiming;
            c.hdmiVic = hdmiVic;
            c.stays = vic;
            take(c);
        }
    }

    const EdidModel &model_;
    const std::optional<LinkLimit> &link_;
    const EdidModel &before_;
    Listed listed_;
    Listed listedBefore_;
    EdidModel scratch_;
    std::vector<FitCandidate> out_;
    VicSet taken_; // the VICs of the candidates so far
};

QString timingName(const DetailedTiming &t) {
    const VideoFormat format{
        0,  t.hActive,      t.vActive, t.interlaced, static_cast<uint32_t>(std::lround(t.refreshHz * 1000)),
        "", t.pixelClockKhz};
    return QStringLiteral("detailed timing ") + videoFormatName(format);
}

} // namespace

bool timingIsVic(const DetailedTiming &timing, uint8_t vic) {
    const VideoFormat *f = findVideoFormat(vic);
    return f != nullptr && f->hActive == timing.hActive && f->vActive == timing.vActive &&
           f->interlaced == timing.interlaced && sameRate(f->refreshMilliHz / 1000.0, timing.refreshHz) &&
           sameRate(f->pixelClockKhz, timing.pixelClockKhz);
}

bool sameTiming(const DetailedTiming &a, const DetailedTiming &b) {
    return a.pixelClockKhz == b.pixelClockKhz && a.hActive == b.hActive && a.vActive == b.vActive &&
           a.hBlank == b.hBlank && a.vBlank == b.vBlank && a.hFrontPorch == b.hFrontPorch &&
           a.hSync == b.hSync && a.vFrontPorch == b.vFrontPorch && a.vSync == b.vSync &&
           a.interlaced == b.interlaced;
}

uint64_t linkCapacityKhz(const LinkLimit &link) {
    const uint64_t tmds = uint64_t(std::max(link.maxTmdsMhz, 0)) * 1000;
    const uint64_t frl = uint64_t(std::max(link.maxFrlGbps, 0)) * 1000000 / kBitsPerPixel;
    return std::max(tmds, frl);
}

std::optional<LinkLimit> linkLimitOf(const EdidDecoded &decoded) {
    if (decoded.cta.empty()) {
        return std::nullopt;
    }
    const CtaBlock &cta = decoded.cta.front();
    LinkLimit link;
    if (cta.hdmiForum && cta.hdmiForum->maxTmdsMhz > 0) {
        link.maxTmdsMhz = cta.hdmiForum->maxTmdsMhz;
    } else if (cta.hdmi && cta.hdmi->maxTmdsMhz > 0) {
        link.maxTmdsMhz = cta.hdmi->maxTmdsMhz;
    } else if (cta.hdmiForum) {
        link.maxTmdsMhz = kHdmiForumMinTmdsMhz;
    }
    link.maxFrlGbps = cta.hdmiForum ? frlGbps(cta.hdmiForum->maxFrlCode) : 0;
    if (link.maxTmdsMhz == 0 && link.maxFrlGbps == 0) {
        return std::nullopt;
    }
    return link;
}

QString linkLimitText(const LinkLimit &link) {
    return link.maxFrlGbps > 0 ? formatText("%d MHz TMDS, FRL %d Gbps", link.maxTmdsMhz, link.maxFrlGbps)
                               : formatText("%d MHz TMDS, no FRL", link.maxTmdsMhz);
}

QString fitCutName(FitCut cut) {
    switch (cut) {
    case FitCut::BeyondLink:
        return QStringLiteral("beyond-link");
    case FitCut::RepeatedTiming:
        return QStringLiteral("repeated-timing");
    case FitCut::ShadowedAudio:
        return QStringLiteral("shadowed-audio");
    case FitCut::UnusedBlock:
        return QStringLiteral("unused-block");
    case FitCut::WideTwin:
        break;
    }
    return QStringLiteral("4096-twin");
}

QString fitCandidateWhat(const FitCandidate &c) {
    switch (targetOf(c)) {
    case Target::Vic:
        return vicText(c.vic);
    case Target::HdmiVic:
        return formatText("HDMI VIC %d (", c.hdmiVic) + vicName(c.stays) + QLatin1Char(')');
    case Target::Timing:
        return timingName(decodeDetailedTiming(c.timing, 1));
    case Target::Sad: {
        const AudioRates rates = audioRatesKhz(c.sad[1]);
        QString text = sadCoding(c.sad) == static_cast<uint8_t>(AudioCoding::Extended)
                           ? codingName(c.sad)
                           : codingName(c.sad) + formatText(", %d channels", (c.sad[0] & 0x07) + 1);
        if (!rates.empty()) {
            text += QStringLiteral(", up to ") + QString::number(*rates.begin()) + QStringLiteral(" kHz");
        }
        return text;
    }
    case Target::Block:
        break;
    }
    return dataBlockName(c.block.tag, c.block.extendedTag(), c.block.oui());
}

QString fitCandidateLoses(const FitCandidate &c) {
    using Unused = FitCandidate::Unused;
    switch (c.cut) {
    case FitCut::BeyondLink:
        return formatText("nothing: it needs %d MHz, beyond the box's link (%s)",
                          static_cast<int>((c.neededKhz + 500) / 1000), qPrintable(linkLimitText(c.link)));
    case FitCut::RepeatedTiming:
        if (c.hdmiVic != 0) {
            return QStringLiteral("only what sources older than HDMI 2.0 read: the others take ") +
                   vicText(c.stays);
        }
        if (c.stays != 0) {
            return QStringLiteral("nothing: ") + vicText(c.stays) + QStringLiteral(" states the same format");
        }
        return c.baseTiming != 0
                   ? formatText("nothing: the base block's detailed timing %d states it", c.baseTiming)
                   : QStringLiteral("nothing: the same timing stands before it");
    case FitCut::ShadowedAudio:
        return QStringLiteral("nothing: another ") + codingName(c.sad) +
               QStringLiteral(" entry states all of it");
    case FitCut::UnusedBlock:
        switch (c.unused) {
        case Unused::ReservedTag:
            return QStringLiteral("nothing: its tag is reserved");
        case Unused::ReservedExtendedTag:
            return QStringLiteral("nothing: its extended tag is reserved");
        case Unused::Empty:
            return QStringLiteral("nothing: it is empty");
        case Unused::OneExtension:
            return QStringLiteral("nothing: the EDID holds one extension block");
        case Unused::NoFormat:
            break;
        }
        return QStringLiteral("nothing: it marks no format");
    case FitCut::WideTwin:
        break;
    }
    return vicName(c.vic) + QStringLiteral(", while ") + vicText(c.stays) + QStringLiteral(" stays");
}

QString fitCandidateText(const FitCandidate &candidate) {
    return fitCandidateWhat(candidate) +
           formatText(", %d byte%s; loses ", candidate.bytes, candidate.bytes == 1 ? "" : "s") +
           fitCandidateLoses(candidate);
}

namespace {

// The proposal, and in `fitted` the model with its least-loss set left out when there is one.
FitProposal propose(const EdidModel &model, const std::optional<LinkLimit> &link, const EdidModel *before,
                    std::optional<EdidModel> *fitted) {
    FitProposal out;
    out.link = link;
    out.missingBytes = std::max(ctaContentBytes(model) - kCtaContentBytes, 0);
    if (out.missingBytes == 0) {
        out.leastLoss = 0;
    }
    if (ctaNotEditable(model)) {
        return out;
    }
    out.candidates = Proposer(model, link, before).candidates();
    if (out.missingBytes == 0) {
        return out;
    }
    EdidModel lean = model;
    for (size_t i = 0; i < out.candidates.size(); ++i) {
        leaveOutOne(lean, out.candidates[i]);
        if (ctaContentBytes(lean) <= kCtaContentBytes) {
            out.leastLoss = i + 1;
            if (fitted != nullptr) {
                *fitted = std::move(lean);
            }
            break;
        }
    }
    return out;
}

} // namespace

FitProposal proposeFit(const EdidModel &model, const std::optional<LinkLimit> &link,
                       const EdidModel *before) {
    return propose(model, link, before, nullptr);
}

void leaveOut(EdidModel &model, std::span<const FitCandidate> candidates) {
    for (const FitCandidate &c : candidates) {
        leaveOutOne(model, c);
    }
}

FittedEdit fitByLeastLoss(const EditOutcome &outcome, const std::optional<LinkLimit> &link,
                          const EdidModel *before) {
    FittedEdit out{outcome, std::nullopt, {}, {}};
    if (outcome.ok || !outcome.unfitted) {
        return out;
    }
    out.proposal = propose(*outcome.unfitted, link, before, &out.model);
    if (!out.model) {
        return out;
    }
    const auto chosen = std::span<const FitCandidate>(out.proposal.candidates).first(*out.proposal.leastLoss);
    out.leftOut.assign(chosen.begin(), chosen.end());
    out.outcome = EditOutcome{};
    return out;
}

} // namespace edid
