// The simulated box's own EDID in automix mode: its mix of the EDIDs of the TVs on TOP and
// BOT, as the algorithms' names say, then its options, within what the box passes.
//
// This is the simulator's model; a box's firmware may mix otherwise. Min Mixed Capabilities
// states what both TVs state, Max Audio, Min Video the video both state and the audio either
// states, TOP Output Priority TOP's, and Max Audio, Max Video what either states. Video is
// mixed format by format and mode by mode (RGB and 4:2:0), audio coding by coding (channels,
// rates and what the third byte allows), the HDMI blocks field by field; a block that cannot be
// mixed field by field (Dolby Vision, the video capability) is TOP's where both state one.
// The base block is TOP's with the box's name. Then 2.0 Stereo keeps two-channel LPCM only,
// 5.1 Multi at most six channels; HDR packet off drops the HDR static metadata, BT.2020 off
// the BT.2020 colorimetry, Allow YCbCr off every YCbCr, and 3D Remove all 3D. The box passes
// 600 MHz TMDS and no FRL: it states no more and leaves out formats beyond that, and what
// does not fit its 256 bytes it leaves out by the least loss (core/edid/edid_fit.h); where
// the video either TV states does not fit even so, it takes the video both state.

#include "core/edid/edid_decode.h"
#include "core/edid/edid_fit.h"
#include "core/edid/edid_model.h"
#include "core/edid/edid_model_blocks.h"
#include "core/edid/hdmi_vsdb.h"
#include "sim/sim_edid.h"
#include "sim/simulated_box.h"

#include <algorithm>
#include <map>

namespace sim {
namespace {

using namespace edid;
using namespace edid::cta;
using namespace edid::detail;

constexpr LinkLimit kBoxLink{600, 0};
constexpr char kMixName[] = "VELTRIKA MIX";
constexpr uint16_t kMixProductCode = 0x2100; // plus the algorithm
constexpr size_t kProductCode = 10;
constexpr size_t kSerialNumber = 12;
constexpr int kTmdsStepMhz = 5;
constexpr uint8_t kForumMinTmdsCode = 340 / kTmdsStepMhz; // code 0 of the HDMI Forum block
constexpr uint8_t kBoxTmdsCode = kBoxLink.maxTmdsMhz / kTmdsStepMhz;

enum Algorithm : uint8_t { MinMixed = 0, MaxAudioMinVideo = 1, TopPriority = 2, MaxAudioMaxVideo = 3 };

// What both TVs state, or what either states.
enum class Mix { Both, Either };

uint8_t mixBits(uint8_t a, uint8_t b, Mix mix) {
    return mix == Mix::Both ? a & b : a | b;
}
bool mixFlag(bool a, bool b, Mix mix) {
    return mix == Mix::Both ? a && b : a || b;
}
uint8_t mixValue(uint8_t a, uint8_t b, Mix mix) {
    return mix == Mix::Both ? std::min(a, b) : std::max(a, b);
}

// --- Kinds of data blocks -------------------------------------------------------------------

enum class Unit { Video, Audio, Speakers, HdmiVsdb, HdmiForum, Colorimetry, HdrStatic, Other };

bool isVideo(const CtaDataBlock &b) {
    return b.tag == kTagVideo || isExtended(b, kExtYcbcr420Video) || isExtended(b, kExtYcbcr420Map);
}

Unit unitOf(const CtaDataBlock &b) {
    if (isVideo(b)) {
        return Unit::Video;
    }
    if (isHdmiForum(b)) {
        return Unit::HdmiForum;
    }
    if (b.tag == kTagAudio) {
        return Unit::Audio;
    }
    if (b.tag == kTagSpeakers) {
        return Unit::Speakers;
    }
    if (isHdmiVsdb(b)) {
        return Unit::HdmiVsdb;
    }
    if (isExtended(b, kExtColorimetry)) {
        return Unit::Colorimetry;
    }
    return isExtended(b, kExtHdrStatic) ? Unit::HdrStatic : Unit::Other;
}

// One kind: the blocks of a unit mixed field by field are one kind each; the others by tag,
// extended tag and vendor.
uint64_t kindOf(const CtaDataBlock &b) {
    const Unit unit = unitOf(b);
    if (unit != Unit::Other) {
        return uint64_t{1} << 48 | static_cast<uint64_t>(unit);
    }
    return uint64_t{b.tag} << 40 | uint64_t{b.extendedTag().value_or(0xFF)} << 32 | b.oui();
}

std::vector<const CtaDataBlock *> blocksOf(const EdidModel &m, uint64_t kind) {
    std::vector<const CtaDataBlock *> out;
    for (const CtaDataBlock &b : m.dataBlocks) {
        if (kindOf(b) == kind) {
            out.push_back(&b);
        }
    }
    return out;
}

// Lays a list out in blocks of at most `perBlock` entries of `entryBytes`, each payload
// starting with `head`.
void putInBlocks(std::vector<CtaDataBlock> &out, uint8_t tag, const std::vector<uint8_t> &head,
                 const std::vector<uint8_t> &entries, size_t entryBytes) {
    const size_t perBlock = (kDataBlockPayloadMax - head.size()) / entryBytes * entryBytes;
    for (size_t at = 0; at < entries.size(); at += perBlock) {
        std::vector<uint8_t> payload = head;
        payload.insert(payload.end(), entries.begin() + static_cast<std::ptrdiff_t>(at),
                       entries.begin() +
                           static_cast<std::ptrdiff_t>(std::min(entries.size(), at + perBlock)));
        out.push_back(makeBlock(tag, payload));
    }
}

// --- A TV on an output ----------------------------------------------------------------------

struct Sink {
    EdidModel model;
    EdidDecoded decoded;
    bool usable = false; // a CTA-861 block of data blocks that the box can read and mix

    explicit Sink(const EdidImage &image) : model(readEdidModel(image)), decoded(decodeEdid(image)) {
        usable = decoded.valid() && model.extension == EdidModel::Extension::Cta && model.ctaEditable &&
                 model.block1[1] >= 3 && !decoded.cta.empty();
    }
    const CtaBlock &cta() const { return decoded.cta.front(); }
    bool lists(uint8_t vic) const {
        return std::any_of(cta().videos.begin(), cta().videos.end(),
                           [vic](const auto &v) { return v.vic == vic; });
    }
    bool as420(uint8_t vic) const {
        const auto &only = cta().ycbcr420OnlyVics;
        return std::find(only.begin(), only.end(), vic) != only.end() ||
               std::any_of(cta().videos.begin(), cta().videos.end(),
                           [vic](const auto &v) { return v.vic == vic && v.ycbcr420Capable; });
    }
    bool native(uint8_t vic) const {
        return std::any_of(cta().videos.begin(), cta().videos.end(),
                           [vic](const auto &v) { return v.vic == vic && v.native; });
    }
    // Whether it states the timing: as a detailed timing of its own, or as a VIC.
    bool states(const DetailedTiming &t) const {
        const auto same = [&t](const DetailedTiming &own) { return sameTiming(own, t); };
        return std::any_of(decoded.base.detailedTimings.begin(), decoded.base.detailedTimings.end(), same) ||
               std::any_of(cta().detailedTimings.begin(), cta().detailedTimings.end(), same) ||
               std::any_of(cta().videos.begin(), cta().videos.end(),
                           [&t](const auto &v) { return timingIsVic(t, v.vic); });
    }
};

// --- Video --------------------------------------------------------------------------------------

void mixVideo(const Sink &top, const Sink &bot, Mix mix, std::vector<CtaDataBlock> &out) {
    std::vector<uint8_t> order;
    const auto note = [&order](uint8_t vic) {
        if (std::find(order.begin(), order.end(), vic) == order.end()) {
            order.push_back(vic);
        }
    };
    for (const Sink *sink : {&top, &bot}) {
        for (const VideoDescriptor &v : sink->cta().videos) {
            note(v.vic);
        }
        for (const uint8_t vic : sink->cta().ycbcr420OnlyVics) {
            note(vic);
        }
    }
    std::vector<uint8_t> svds, only420;
    std::vector<bool> capable;
    constexpr uint8_t kVga = 1; // 640x480p60, which every sink takes
    for (const uint8_t vic : order) {
        const bool full = mixFlag(top.lists(vic), bot.lists(vic), mix) ||
                          (vic == kVga && (top.lists(vic) || bot.lists(vic)));
        const bool ycbcr420 = mixFlag(top.as420(vic), bot.as420(vic), mix);
        if (full) {
            // The native format is TOP's, whose screen the base block's timings describe.
            const bool native = vic >= 1 && vic <= 64 && top.native(vic);
            svds.push_back(native ? static_cast<uint8_t>(vic | 0x80) : vic);
            capable.push_back(ycbcr420);
        } else if (ycbcr420) {
            only420.push_back(vic);
        }
    }
    putInBlocks(out, kTagVideo, {}, svds, 1);
    putInBlocks(out, kTagExtended, {kExtYcbcr420Video}, only420, 1);
    const auto last = std::find(capable.rbegin(), capable.rend(), true);
    if (last != capable.rend()) {
        std::vector<uint8_t> map(1 + (static_cast<size_t>(capable.rend() - last) + 7) / 8, 0);
        map[0] = kExtYcbcr420Map;
        for (size_t i = 0; i < capable.size() && 1 + i / 8 < map.size(); ++i) {
            map[1 + i / 8] = static_cast<uint8_t>(map[1 + i / 8] | (capable[i] ? 1u << (i % 8) : 0u));
        }
        out.push_back(makeBlock(kTagExtended, map));
    }
}

// --- Audio --------------------------------------------------------------------------------------

using Sad = std::array<uint8_t, kSadBytes>;

// A coding and, for coding 15, its extended coding.
int codingOf(const Sad &sad) {
    const uint8_t coding = sadCoding(sad);
    return coding == static_cast<uint8_t>(AudioCoding::Extended) ? 16 + sadExtendedCoding(sad) : coding;
}

// Two descriptors of one coding as one: channels, rates and what the third byte allows.
std::optional<Sad> mixSad(const Sad &a, const Sad &b, Mix mix) {
    Sad out = a;
    out[0] = static_cast<uint8_t>((a[0] & 0xF8) | mixValue(a[0] & 0x07, b[0] & 0x07, mix));
    out[1] = mixBits(a[1] & 0x7F, b[1] & 0x7F, mix);
    const int coding = codingOf(a);
    if (coding == static_cast<int>(AudioCoding::Lpcm) || coding >= 16) {
        out[2] = static_cast<uint8_t>((a[2] & 0xF8) | mixBits(a[2] & 0x07, b[2] & 0x07, mix));
    } else if (coding <= static_cast<int>(AudioCoding::Atrac)) {
        out[2] = mixValue(a[2], b[2], mix); // the max bit rate
    } else if (coding != static_cast<int>(AudioCoding::WmaPro)) {
        out[2] = mixBits(a[2], b[2], mix); // flags
    }
    const bool lpcmWithoutSize = coding == static_cast<int>(AudioCoding::Lpcm) && (out[2] & 0x07) == 0;
    if (out[1] == 0 || lpcmWithoutSize) {
        return std::nullopt;
    }
    return out;
}

// The descriptors of a sink, one per coding, in the order of their first.
std::vector<Sad> sadsOf(const EdidModel &m) {
    std::vector<Sad> out;
    for (const CtaDataBlock &b : m.dataBlocks) {
        for (size_t at = 0; b.tag == kTagAudio && at + kSadBytes <= b.length; at += kSadBytes) {
            Sad sad{};
            std::copy_n(b.payload.begin() + static_cast<std::ptrdiff_t>(at), kSadBytes, sad.begin());
            if (sadCoding(sad) == 0) {
                continue;
            }
            const auto same = std::find_if(out.begin(), out.end(),
                                           [&sad](const Sad &s) { return codingOf(s) == codingOf(sad); });
            if (same == out.end()) {
                out.push_back(sad);
            } else if (const std::optional<Sad> both = mixSad(*same, sad, Mix::Either)) {
                *same = *both;
            }
        }
    }
    return out;
}

void mixAudio(const Sink &top, const Sink &bot, Mix mix, std::vector<CtaDataBlock> &out) {
    const std::vector<Sad> ours = sadsOf(top.model), theirs = sadsOf(bot.model);
    std::vector<uint8_t> entries;
    const auto put = [&entries](const Sad &sad) { entries.insert(entries.end(), sad.begin(), sad.end()); };
    for (const Sad &sad : ours) {
        const auto other = std::find_if(theirs.begin(), theirs.end(),
                                        [&sad](const Sad &s) { return codingOf(s) == codingOf(sad); });
        if (other != theirs.end()) {
            if (const std::optional<Sad> mixed = mixSad(sad, *other, mix)) {
                put(*mixed);
            }
        } else if (mix == Mix::Either) {
            put(sad);
        }
    }
    for (const Sad &sad : theirs) {
        const bool ourCoding = std::any_of(ours.begin(), ours.end(),
                                           [&sad](const Sad &s) { return codingOf(s) == codingOf(sad); });
        if (mix == Mix::Either && !ourCoding) {
            put(sad);
        }
    }
    putInBlocks(out, kTagAudio, {}, entries, kSadBytes);
}

// --- The HDMI VSDB --------------------------------------------------------------------------------

std::optional<HdmiVsdbFields> hdmiVsdbOf(const CtaDataBlock *b) {
    return b == nullptr ? std::nullopt : readHdmiVsdb(b->bytes());
}

std::vector<uint8_t> mixLists(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b, Mix mix) {
    std::vector<uint8_t> out;
    for (const uint8_t x : a) {
        if (mix == Mix::Either || std::find(b.begin(), b.end(), x) != b.end()) {
            out.push_back(x);
        }
    }
    for (const uint8_t x : b) {
        if (mix == Mix::Either && std::find(a.begin(), a.end(), x) == a.end()) {
            out.push_back(x);
        }
    }
    return out;
}

HdmiVsdbFields mixHdmiVsdb(const HdmiVsdbFields &ours, const HdmiVsdbFields &theirs, Mix mix) {
    HdmiVsdbFields v = ours;
    // Supports_AI, the deep colours and DVI dual link.
    v.flags = mixBits(ours.flags.value_or(0), theirs.flags.value_or(0), mix) & 0xF9;
    if (ours.maxTmds && theirs.maxTmds) {
        v.maxTmds = mixValue(*ours.maxTmds, *theirs.maxTmds, mix);
    }
    v.hdmiVics = mixLists(ours.hdmiVics, theirs.hdmiVics, mix);
    const uint8_t present3d = mixBits(ours.video & 0x80, theirs.video & 0x80, mix);
    if (mix == Mix::Both) {
        // What both take of 3D is the formats every 3D sink takes: no list of structures.
        v.video = static_cast<uint8_t>(present3d | (ours.video & 0x18));
        v.structures3d.clear();
    } else if ((ours.video & 0x80) == 0 && (theirs.video & 0x80) != 0) {
        v.video = static_cast<uint8_t>(theirs.video | (ours.video & 0x18));
        v.structures3d = theirs.structures3d;
    }
    return v;
}

// --- The HDMI Forum block --------------------------------------------------------------------------
// Payload bytes, the same in the HF-VSDB and the SCDB: 3 version, 4 max TMDS character rate,
// 5 SCDC and 3D flags, 6 max FRL and 4:2:0 deep colour, 7 ALLM and VRR flags, 8 and 9 the VRR
// range; from 10 on DSC, which needs FRL.

constexpr size_t kForumVrrEnd = 10;

struct Vrr {
    int min = 0, max = 0;
};

std::optional<Vrr> vrrOf(std::span<const uint8_t> p) {
    if (p.size() < kForumVrrEnd) {
        return std::nullopt;
    }
    const Vrr vrr{p[8] & 0x3F, (p[8] & 0xC0) << 2 | p[9]};
    return vrr.max == 0 ? std::nullopt : std::optional<Vrr>(vrr);
}

CtaDataBlock mixForum(const CtaDataBlock &ours, const CtaDataBlock &theirs, Mix mix) {
    std::vector<uint8_t> p(ours.bytes().begin(), ours.bytes().end());
    std::vector<uint8_t> q(theirs.bytes().begin(), theirs.bytes().end());
    p.resize(std::max<size_t>(p.size(), 8), 0);
    q.resize(std::max<size_t>(q.size(), 8), 0);
    const auto rate = [](uint8_t code) { return std::max(code, kForumMinTmdsCode); };
    const uint8_t tmds = mixValue(rate(p[4]), rate(q[4]), mix);
    p[4] = tmds > kForumMinTmdsCode ? tmds : 0;
    p[5] = mixBits(p[5], q[5], mix);
    p[6] = static_cast<uint8_t>(mixValue(p[6] >> 4, q[6] >> 4, mix) << 4 |
                                mixBits(p[6] & 0x0F, q[6] & 0x0F, mix));
    p[7] = mixBits(p[7], q[7], mix);
    const std::optional<Vrr> a = vrrOf(ours.bytes()), b = vrrOf(theirs.bytes());
    std::optional<Vrr> vrr;
    if (a && b) {
        vrr = mix == Mix::Both ? Vrr{std::max(a->min, b->min), std::min(a->max, b->max)}
                               : Vrr{std::min(a->min, b->min), std::max(a->max, b->max)};
    } else if (mix == Mix::Either) {
        vrr = a ? a : b;
    }
    p.resize(8);
    if (vrr && vrr->min < vrr->max) {
        p.push_back(static_cast<uint8_t>((vrr->max >> 8) << 6 | vrr->min));
        p.push_back(static_cast<uint8_t>(vrr->max));
    }
    return makeBlock(ours.tag, p);
}

// --- The other blocks -------------------------------------------------------------------------------

// Colorimetry (two bytes of flags) and HDR static metadata (EOTFs and descriptors; the
// luminance of the first): the flags of both, or of either. Nothing when no colorimetry or
// no EOTF is left.
std::optional<CtaDataBlock> mixFlagBlock(const CtaDataBlock &ours, const CtaDataBlock &theirs, Mix mix) {
    CtaDataBlock out = ours;
    out.length = std::max<uint8_t>(out.length, 3);
    for (size_t i = 1; i < 3; ++i) {
        const uint8_t theirsByte = i < theirs.length ? theirs.payload[i] : 0;
        out.payload[i] = mixBits(out.payload[i], theirsByte, mix);
    }
    const bool hdr = unitOf(out) == Unit::HdrStatic;
    const bool any = out.payload[1] != 0 || (!hdr && out.payload[2] != 0);
    return any ? std::optional<CtaDataBlock>(out) : std::nullopt;
}

std::vector<CtaDataBlock> mixBlocks(const Sink &top, const Sink &bot, Mix video, Mix audio) {
    std::vector<uint64_t> kinds;
    for (const Sink *sink : {&top, &bot}) {
        for (const CtaDataBlock &b : sink->model.dataBlocks) {
            if (std::find(kinds.begin(), kinds.end(), kindOf(b)) == kinds.end()) {
                kinds.push_back(kindOf(b));
            }
        }
    }
    // The HDMI Forum block stands right after the HDMI VSDB, as sources look for it.
    const uint64_t vsdbKind = uint64_t{1} << 48 | static_cast<uint64_t>(Unit::HdmiVsdb);
    const uint64_t forumKind = uint64_t{1} << 48 | static_cast<uint64_t>(Unit::HdmiForum);
    const auto vsdb = std::find(kinds.begin(), kinds.end(), vsdbKind);
    const auto forum = std::find(kinds.begin(), kinds.end(), forumKind);
    if (vsdb != kinds.end() && forum != kinds.end() && forum != vsdb + 1) {
        kinds.erase(forum);
        kinds.insert(std::find(kinds.begin(), kinds.end(), vsdbKind) + 1, forumKind);
    }
    std::vector<CtaDataBlock> out;
    for (const uint64_t kind : kinds) {
        const std::vector<const CtaDataBlock *> ours = blocksOf(top.model, kind),
                                                theirs = blocksOf(bot.model, kind);
        const CtaDataBlock &any = ours.empty() ? *theirs.front() : *ours.front();
        const Mix mix = isAudioBlock(any) ? audio : video;
        const bool both = !ours.empty() && !theirs.empty();
        switch (unitOf(any)) {
        case Unit::Video:
            mixVideo(top, bot, mix, out);
            continue;
        case Unit::Audio:
            mixAudio(top, bot, mix, out);
            continue;
        case Unit::HdmiVsdb: {
            const std::optional<HdmiVsdbFields> a = hdmiVsdbOf(ours.empty() ? nullptr : ours.front());
            const std::optional<HdmiVsdbFields> b = hdmiVsdbOf(theirs.empty() ? nullptr : theirs.front());
            if (a && b) {
                out.push_back(hdmiVsdbBlock(mixHdmiVsdb(*a, *b, mix)));
            } else if (mix == Mix::Either && (a || b)) {
                out.push_back(hdmiVsdbBlock(a ? *a : *b));
            }
            continue;
        }
        case Unit::HdmiForum:
            if (both) {
                out.push_back(mixForum(*ours.front(), *theirs.front(), mix));
            } else if (mix == Mix::Either) {
                out.push_back(any);
            }
            continue;
        case Unit::Speakers:
        case Unit::Colorimetry:
        case Unit::HdrStatic:
            if (both) {
                CtaDataBlock a = *ours.front(), b = *theirs.front();
                if (unitOf(any) == Unit::Speakers) { // three bytes of flags, from the first
                    for (size_t i = 0; i < 3; ++i) {
                        a.payload[i] =
                            mixBits(i < a.length ? a.payload[i] : 0, i < b.length ? b.payload[i] : 0, mix);
                    }
                    a.length = 3;
                    if (a.payload[0] != 0 || a.payload[1] != 0 || a.payload[2] != 0) {
                        out.push_back(a);
                    }
                } else if (const std::optional<CtaDataBlock> mixed = mixFlagBlock(a, b, mix)) {
                    out.push_back(*mixed);
                }
            } else if (mix == Mix::Either) {
                out.push_back(any);
            }
            continue;
        case Unit::Other:
            break;
        }
        // A block that cannot be mixed field by field: TOP's where both state one. The video
        // capability (quantization and scan, which the CTA block's header repeats) is TOP's
        // screen's alone.
        const bool screen = isExtended(any, kExtVideoCapability);
        if (both || (mix == Mix::Either && !ours.empty()) || screen) {
            for (const CtaDataBlock *b : ours) {
                out.push_back(*b);
            }
        } else if (mix == Mix::Either) {
            for (const CtaDataBlock *b : theirs) {
                out.push_back(*b);
            }
        }
    }
    return out;
}

std::vector<TimingBytes> mixTimings(const Sink &top, const Sink &bot, Mix mix) {
    std::vector<TimingBytes> out;
    for (const TimingBytes &t : top.model.timings) {
        if (mix == Mix::Either || bot.states(decodeDetailedTiming(t, 1))) {
            out.push_back(t);
        }
    }
    // BOT's timings with the image size of TOP's screen, whose base block the mix has.
    constexpr size_t kScreenCm = 21, kImageSize = 12;
    const unsigned widthMm = top.model.base[kScreenCm] * 10u, heightMm = top.model.base[kScreenCm + 1] * 10u;
    for (TimingBytes t : bot.model.timings) {
        if (mix == Mix::Either && !top.states(decodeDetailedTiming(t, 1))) {
            t[kImageSize] = static_cast<uint8_t>(widthMm);
            t[kImageSize + 1] = static_cast<uint8_t>(heightMm);
            t[kImageSize + 2] = static_cast<uint8_t>((widthMm >> 8) << 4 | (heightMm >> 8));
            out.push_back(t);
        }
    }
    return out;
}

EdidModel mixModels(const Sink &top, const Sink &bot, Mix video, Mix audio) {
    EdidModel m = top.model;
    m.dataBlocks = mixBlocks(top, bot, video, audio);
    m.timings = mixTimings(top, bot, video);
    const uint8_t ours = top.model.block1[3], theirs = bot.model.block1[3];
    // Underscan as TOP says, the native timings among those the mix keeps; basic audio and
    // YCbCr as mixed.
    constexpr size_t kDescriptors = 54, kDescriptorSize = 18, kDescriptorCount = 4;
    size_t timings = m.timings.size();
    for (size_t slot = 0; slot < kDescriptorCount; ++slot) {
        timings += m.base[kDescriptors + slot * kDescriptorSize] != 0 ||
                   m.base[kDescriptors + slot * kDescriptorSize + 1] != 0;
    }
    const auto native = static_cast<uint8_t>(std::min<size_t>(ours & 0x0F, timings));
    m.block1[3] = static_cast<uint8_t>((ours & 0x80) | native | (mixBits(ours, theirs, audio) & 0x40) |
                                       (mixBits(ours, theirs, video) & 0x30));
    return m;
}

// --- The options -----------------------------------------------------------------------------------

void eraseBlocks(EdidModel &m, bool (*matches)(const CtaDataBlock &)) {
    std::erase_if(m.dataBlocks, matches);
}

CtaDataBlock *firstBlock(EdidModel &m, Unit unit) {
    const auto at = std::find_if(m.dataBlocks.begin(), m.dataBlocks.end(),
                                 [unit](const CtaDataBlock &b) { return unitOf(b) == unit; });
    return at == m.dataBlocks.end() ? nullptr : &*at;
}

// Two-channel LPCM only: one LPCM descriptor, the front pair of speakers.
void keepStereo(EdidModel &m) {
    Sad lpcm = {0x09, 0, 0};
    for (const Sad &sad : sadsOf(m)) {
        if (sadCoding(sad) == static_cast<uint8_t>(AudioCoding::Lpcm)) {
            lpcm[1] = sad[1];
            lpcm[2] = sad[2];
        }
    }
    const auto firstAudio = std::find_if(m.dataBlocks.begin(), m.dataBlocks.end(),
                                         [](const CtaDataBlock &b) { return b.tag == kTagAudio; });
    if (firstAudio != m.dataBlocks.end()) {
        const std::ptrdiff_t at = firstAudio - m.dataBlocks.begin();
        std::erase_if(m.dataBlocks, [](const CtaDataBlock &b) { return b.tag == kTagAudio; });
        // 32, 44.1 and 48 kHz at 16, 20 and 24 bits where the sinks stated no LPCM.
        const Sad stereo = {0x09, lpcm[1] != 0 ? lpcm[1] : uint8_t{0x07},
                            lpcm[2] != 0 ? lpcm[2] : uint8_t{0x07}};
        m.dataBlocks.insert(m.dataBlocks.begin() + at, makeBlock(kTagAudio, stereo));
    }
    if (CtaDataBlock *speakers = firstBlock(m, Unit::Speakers)) {
        constexpr std::array<uint8_t, 3> kFrontPair = {0x01, 0x00, 0x00};
        *speakers = makeBlock(kTagSpeakers, kFrontPair);
    }
    eraseBlocks(m, [](const CtaDataBlock &b) {
        return isAudioBlock(b) && b.tag != kTagAudio && b.tag != kTagSpeakers;
    });
}

// At most six channels: no descriptor states more, no speakers beyond 5.1.
void keepSixChannels(EdidModel &m) {
    for (CtaDataBlock &b : m.dataBlocks) {
        for (size_t at = 0; b.tag == kTagAudio && at + kSadBytes <= b.length; at += kSadBytes) {
            uint8_t &first = b.payload[at];
            if (((first >> 3) & 0x0F) != static_cast<uint8_t>(AudioCoding::Extended) && (first & 0x07) > 5) {
                first = static_cast<uint8_t>((first & 0xF8) | 5);
            }
        }
        if (b.tag == kTagSpeakers) {
            b.payload[0] &= 0x0F; // front pair, LFE, centre, rear pair
            b.payload[1] = b.payload[2] = 0;
        }
    }
}

void clearColorimetry(EdidModel &m, uint8_t bits) {
    if (CtaDataBlock *c = firstBlock(m, Unit::Colorimetry); c != nullptr && c->length >= 2) {
        c->payload[1] &= static_cast<uint8_t>(~bits);
        if (c->payload[1] == 0 && (c->length < 3 || c->payload[2] == 0)) {
            eraseBlocks(m, [](const CtaDataBlock &b) { return unitOf(b) == Unit::Colorimetry; });
        }
    }
}

void editHdmiVsdb(EdidModel &m, void (*edit)(HdmiVsdbFields &)) {
    CtaDataBlock *b = firstBlock(m, Unit::HdmiVsdb);
    if (std::optional<HdmiVsdbFields> v = hdmiVsdbOf(b)) {
        edit(*v);
        *b = hdmiVsdbBlock(*v);
    }
}

void clearForumBits(EdidModel &m, size_t index, uint8_t bits) {
    if (CtaDataBlock *f = firstBlock(m, Unit::HdmiForum); f != nullptr && index < f->length) {
        f->payload[index] &= static_cast<uint8_t>(~bits);
    }
}

constexpr uint8_t kBt2020Colorimetry = 0xE0; // cYCC, YCC, RGB
constexpr uint8_t kYcbcrColorimetry = 0x6F;  // xvYCC601/709, sYCC, opYCC, BT.2020 cYCC and YCC

void applyOptions(EdidModel &m, const record::StatusRecord &settings) {
    if (settings[record::kForceStereo] != 0) {
        keepStereo(m);
    } else if (settings[record::kForceMultichannel] != 0) {
        keepSixChannels(m);
    }
    if (settings[record::kHdrPacket] == 0) {
        eraseBlocks(m, [](const CtaDataBlock &b) { return unitOf(b) == Unit::HdrStatic; });
    }
    if (settings[record::kBt2020] == 0) {
        clearColorimetry(m, kBt2020Colorimetry);
    }
    if (settings[record::kAllowYcbcr] == 0) {
        m.block1[3] &= static_cast<uint8_t>(~0x30);
        eraseBlocks(m, [](const CtaDataBlock &b) { return b.tag == kTagExtended && isVideo(b); });
        clearColorimetry(m, kYcbcrColorimetry);
        editHdmiVsdb(m, [](HdmiVsdbFields &v) {
            if (v.flags) {
                v.flags = static_cast<uint8_t>(*v.flags & ~0x08); // DC_Y444
            }
        });
        clearForumBits(m, 6, 0x07); // deep colour 4:2:0
    }
    if (settings[record::kRemove3d] != 0) {
        editHdmiVsdb(m, [](HdmiVsdbFields &v) {
            v.video &= 0x18; // the image size stays
            v.structures3d.clear();
        });
        clearForumBits(m, 5, 0x07); // independent view, dual view, OSD disparity
    }
}

// The box states no more than it passes, and leaves out the formats beyond it.
void keepWithinLink(EdidModel &m) {
    // The base block's range limits: the max pixel clock in 10 MHz steps.
    constexpr size_t kDescriptors = 54, kDescriptorSize = 18, kRangeLimitsTag = 0xFD, kMaxClock = 9;
    constexpr uint8_t kBoxClock = kBoxLink.maxTmdsMhz / 10;
    for (size_t at = kDescriptors; at + kDescriptorSize <= kDescriptors + 4 * kDescriptorSize;
         at += kDescriptorSize) {
        if (m.base[at] == 0 && m.base[at + 1] == 0 && m.base[at + 3] == kRangeLimitsTag) {
            m.base[at + kMaxClock] = std::min(m.base[at + kMaxClock], kBoxClock);
        }
    }
    editHdmiVsdb(m, [](HdmiVsdbFields &v) {
        if (v.maxTmds) {
            v.maxTmds = std::min(*v.maxTmds, kBoxTmdsCode);
        }
    });
    if (CtaDataBlock *f = firstBlock(m, Unit::HdmiForum); f != nullptr) {
        if (f->length > 4) {
            f->payload[4] = std::min(f->payload[4], kBoxTmdsCode);
        }
        clearForumBits(m, 6, 0xF0); // FRL
        f->length = std::min<uint8_t>(f->length, kForumVrrEnd);
        std::fill(f->payload.begin() + f->length, f->payload.end(), 0);
    }
    const FitProposal proposal = proposeFit(m, kBoxLink);
    std::vector<FitCandidate> beyond;
    std::copy_if(proposal.candidates.begin(), proposal.candidates.end(), std::back_inserter(beyond),
                 [](const FitCandidate &c) { return c.cut == FitCut::BeyondLink; });
    leaveOut(m, beyond);
}

// The box's own name on TOP's base block.
void putBoxIdentity(EdidModel &m, uint8_t algorithm) {
    putBoxManufacturer(m.base);
    const uint16_t code = static_cast<uint16_t>(kMixProductCode + algorithm);
    m.base[kProductCode] = static_cast<uint8_t>(code & 0xFF);
    m.base[kProductCode + 1] = static_cast<uint8_t>(code >> 8);
    std::fill_n(m.base.begin() + kSerialNumber, 4, 0);
    m.base[kSerialNumber] = 0x01;
    setProductName(m, QLatin1String(kMixName));
    fitExtensionCount(m);
}

// The mix within the box's link and its bytes, or nothing when even the least loss does not
// make it fit.
std::optional<EdidImage> finish(EdidModel m, const record::StatusRecord &settings, uint8_t algorithm) {
    putBoxIdentity(m, algorithm);
    applyOptions(m, settings);
    keepWithinLink(m);
    if (ctaContentBytes(m) > kCtaContentBytes) {
        const FitProposal proposal = proposeFit(m, kBoxLink);
        if (!proposal.leastLoss) {
            return std::nullopt;
        }
        leaveOut(m, std::span<const FitCandidate>(proposal.candidates).first(*proposal.leastLoss));
    }
    const std::vector<uint8_t> bytes = encodeEdidModel(m);
    if (bytes.size() != kEdidImageSize) {
        return std::nullopt;
    }
    EdidImage image{};
    std::copy(bytes.begin(), bytes.end(), image.begin());
    return image;
}

} // namespace

EdidImage mixedEdid(const EdidImage &topImage, const EdidImage &botImage,
                    const record::StatusRecord &settings) {
    const uint8_t algorithm = settings[record::kAutomixAlgorithm];
    const Sink top(topImage), bot(botImage);
    // A TV whose EDID the box cannot read is no part of the mix.
    const Sink *first = top.usable ? &top : bot.usable ? &bot : nullptr;
    if (first == nullptr) {
        return buildEdid(kMixName, static_cast<uint16_t>(kMixProductCode + algorithm));
    }
    std::optional<EdidImage> mixed;
    if (top.usable && bot.usable && algorithm != TopPriority) {
        const Mix video = algorithm == MaxAudioMaxVideo ? Mix::Either : Mix::Both;
        const Mix audio =
            algorithm == MaxAudioMinVideo || algorithm == MaxAudioMaxVideo ? Mix::Either : Mix::Both;
        mixed = finish(mixModels(top, bot, video, audio), settings, algorithm);
        // The video either states may not fit even with the least loss: then the video both state.
        if (!mixed && video == Mix::Either) {
            mixed = finish(mixModels(top, bot, Mix::Both, audio), settings, algorithm);
        }
    }
    // The first TV's own EDID fits: what no mix can become, it does.
    if (!mixed) {
        mixed = finish(first->model, settings, algorithm);
    }
    return mixed.value_or(buildEdid(kMixName, static_cast<uint16_t>(kMixProductCode + algorithm)));
}

} // namespace sim
