// The rules that look at more than one part of an EDID, run once every block is decoded:
// what a source reading the whole EDID would trip over, checked as strictly as edid-decode
// checks it and worded after what it finds on real displays.

#include "core/base/format_text.h"
#include "core/edid/edid_decode_parts.h"
#include "core/edid/video_formats.h"

#include <QStringBuilder>

#include <algorithm>
#include <array>
#include <bit>
#include <bitset>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <type_traits>
#include <vector>

namespace edid::parts {

namespace {

// Where a detailed timing stands, for its findings.
Place timingPlace(const DetailedTiming &t) {
    return t.block == 0 ? Place::base(t.offset) : Place(t.block, t.offset, kCtaPart);
}

// The first data block of the tag (and OUI) in the CTA block, if any.
const DataBlockEntry *findDataBlock(const CtaBlock &cta, uint8_t tag, uint32_t oui = 0) {
    const auto found = std::find_if(cta.dataBlocks.begin(), cta.dataBlocks.end(),
                                    [&](const DataBlockEntry &e) { return e.tag == tag && e.oui == oui; });
    return found != cta.dataBlocks.end() ? &*found : nullptr;
}

template <typename Visit> void forEachTiming(const EdidDecoded &d, Visit visit) {
    for (const DetailedTiming &t : d.base.detailedTimings) {
        visit(t);
    }
    for (const CtaBlock &cta : d.cta) {
        for (const DetailedTiming &t : cta.detailedTimings) {
            visit(t);
        }
    }
}

// How a detailed timing stands to a VIC's format: the same raster, or the same size, totals
// and pixel clock with other porches, syncs or polarities.
enum class Likeness { None, Near, Same };
Likeness likeness(const DetailedTiming &t, const VideoFormat &f) {
    if (t.hActive != f.hActive || t.vActive != f.vActive || t.interlaced != f.interlaced ||
        t.pixelClockKhz != f.pixelClockKhz || t.hBlank != f.hTotal() - f.hActive ||
        t.vBlank != f.vFront + f.vSync + f.vBack) {
        return Likeness::None;
    }
    // The polarity bits are compared for any sync, as edid-decode compares them.
    const bool same = t.hFrontPorch == f.hFront && t.hSync == f.hSync && t.vFrontPorch == f.vFront &&
                      t.vSync == f.vSync && t.hSyncPositive == f.hSyncPositive &&
                      t.vSyncPositive == f.vSyncPositive;
    return same ? Likeness::Same : Likeness::Near;
}

// The formats of the table of a pixel clock, in the order of their codes: a timing is like
// no format of another clock.
std::span<const VideoFormat *const> formatsOfClock(uint32_t pixelClockKhz) {
    static const std::vector<const VideoFormat *> kByClock = [] {
        std::vector<const VideoFormat *> formats;
        formats.reserve(videoFormats().size());
        for (const VideoFormat &f : videoFormats()) {
            formats.push_back(&f);
        }
        std::stable_sort(formats.begin(), formats.end(), [](const VideoFormat *a, const VideoFormat *b) {
            return a->pixelClockKhz < b->pixelClockKhz;
        });
        return formats;
    }();
    const auto [first, last] =
        std::equal_range(kByClock.begin(), kByClock.end(), pixelClockKhz, [](const auto &a, const auto &b) {
            if constexpr (std::is_same_v<std::decay_t<decltype(a)>, uint32_t>) {
                return a < b->pixelClockKhz;
            } else {
                return a->pixelClockKhz < b;
            }
        });
    return {first, last};
}

void checkNearVics(const EdidDecoded &d, Findings &findings) {
    forEachTiming(d, [&](const DetailedTiming &t) {
        const VideoFormat *near = nullptr;
        for (const VideoFormat *f : formatsOfClock(t.pixelClockKhz)) {
            const Likeness l = likeness(t, *f);
            if (l == Likeness::Same) {
                return;
            }
            if (l == Likeness::Near && near == nullptr) {
                near = f;
            }
        }
        if (near != nullptr) {
            report(findings, Rule::TimingNearVic, timingPlace(t),
                   formatText("%dx%d%s: nearly VIC %d (", t.hActive, t.vActive, t.interlaced ? "i" : "",
                              near->vic) %
                       vicName(near->vic) % QLatin1String("), with other porches, syncs or sync polarities"));
        }
    });
}

// The VICs of every Video Data Block, each once, and a finding for each listed again.
std::bitset<256> checkVideoDataBlocks(std::span<const uint8_t> bytes, const EdidDecoded &d,
                                      Findings &findings) {
    std::bitset<256> listed;
    for (const CtaBlock &cta : d.cta) {
        const auto block =
            bytes.subspan(static_cast<size_t>(cta.block) * kEdidBlockSize).first<kEdidBlockSize>();
        for (const cta::DataBlock &b : cta::CtaLayout(block).dataBlocks()) {
            if (b.tag != cta::kTagVideo) {
                continue;
            }
            // The block's duplicates in one finding: "duplicate VIC 16", "duplicate VICs 16, 4".
            std::array<char, 160> duplicates{};
            size_t length = 0;
            int count = 0;
            for (uint8_t svd : b.payload) {
                if (cta::svdReserved(svd)) {
                    continue;
                }
                const uint8_t vic = cta::svdVic(svd);
                if (listed.test(vic) && length + 8 < duplicates.size()) {
                    const int written = std::snprintf(duplicates.data() + length, duplicates.size() - length,
                                                      count == 0 ? "%d" : ", %d", vic);
                    length += static_cast<size_t>(std::max(written, 0));
                    ++count;
                }
                listed.set(vic);
            }
            if (count != 0) {
                report(findings, Rule::DuplicateVic,
                       Place(cta.block, static_cast<int>(b.offset), "Video Data Block"),
                       formatText("duplicate VIC%s %s", count == 1 ? "" : "s", duplicates.data()));
            }
        }
    }
    return listed;
}

void checkHdmiVsdbs(const EdidDecoded &d, const std::bitset<256> &listed, Findings &findings) {
    bool seen = false;
    for (const CtaBlock &cta : d.cta) {
        const DataBlockEntry *entry = findDataBlock(cta, cta::kTagVendor, cta::kOuiHdmi);
        if (!cta.hdmi || entry == nullptr) {
            continue;
        }
        const Place where(cta.block, *entry);
        if (seen) {
            report(findings, Rule::HdmiVsdbTwice, where, QStringLiteral("a second HDMI VSDB"));
            continue;
        }
        seen = true;
        for (uint8_t hdmiVic : cta.hdmi->hdmiVics) {
            const uint8_t vic =
                hdmiVic >= 1 && hdmiVic <= kHdmiVicFormats.size() ? kHdmiVicFormats[hdmiVic - 1] : 0;
            if (vic != 0 && !listed.test(vic)) {
                report(findings, Rule::HdmiVicWithoutVic, where,
                       formatText("HDMI VIC %d without VIC %d in a Video Data Block", hdmiVic, vic));
            }
        }
    }
}

void checkCtaBlocks(const EdidDecoded &d, Findings &findings) {
    if (d.cta.empty()) {
        return;
    }
    const CtaBlock &first = d.cta.front();
    const auto hasVcdb = [](const CtaBlock &cta) { return cta.videoCapability.has_value(); };
    // From revision 2 on a source takes the RGB range from this block alone (a revision 2
    // block, without data blocks, leaves it unselectable too); revision 1 states nothing.
    if (first.revision >= 2 && std::none_of(d.cta.begin(), d.cta.end(), hasVcdb)) {
        report(findings, Rule::VcdbMissing, Place(first.block, -1, kCtaPart),
               QStringLiteral("no Video Capability Data Block: RGB quantization range not selectable"));
    }
    // Without native detailed timings and a Video Format Preference Data Block, the first
    // VIC of the first block is the preferred format.
    const DataBlockEntry *vdb = findDataBlock(first, cta::kTagVideo);
    const bool preference =
        std::any_of(first.dataBlocks.begin(), first.dataBlocks.end(),
                    [](const DataBlockEntry &e) { return e.extendedTag == cta::kExtVideoFormatPreference; });
    const DetailedTiming *dtd = d.preferredTiming();
    if (first.revision >= 2 && first.nativeDtdCount == 0 && !preference && vdb != nullptr &&
        !first.videos.empty() && dtd != nullptr) {
        const uint8_t vic = first.videos.front().vic;
        const VideoFormat *format = findVideoFormat(vic);
        if (format == nullptr || likeness(*dtd, *format) != Likeness::Same) {
            report(
                findings, Rule::PreferredVic, Place(first.block, *vdb),
                formatText("VIC %d is the preferred timing, overriding the first detailed timing (no native "
                           "detailed timing stated)",
                           vic));
        }
    }
    // A source sends more than 2 channels only where the sink says where they play.
    const auto hasSpeakers = [](const CtaBlock &cta) { return cta.speakerAllocation.has_value(); };
    if (std::none_of(d.cta.begin(), d.cta.end(), hasSpeakers)) {
        for (const CtaBlock &cta : d.cta) {
            const auto many = std::find_if(cta.audio.begin(), cta.audio.end(),
                                           [](const AudioFormat &f) { return f.maxChannels > 2; });
            const DataBlockEntry *adb = findDataBlock(cta, cta::kTagAudio);
            if (many != cta.audio.end() && adb != nullptr) {
                report(findings, Rule::SpeakerAllocationMissing, Place(cta.block, *adb),
                       audioFormatName(*many) %
                           formatText(" of %d channels, and no Speaker Allocation Data Block",
                                      many->maxChannels));
                break;
            }
        }
    }
}

// The VESA DMT timings a standard timing's code names: size and rate as the code states them,
// then the horizontal rate in Hz, the vertical rate in mHz and the pixel clock in kHz.
struct DmtTiming {
    uint16_t hActive, vActive;
    uint8_t refreshHz;
    uint32_t hRateHz, vRateMilliHz, pixelClockKhz;
};
// clang-format off
constexpr DmtTiming kStandardDmts[] = {
    {640, 400, 85, 37861, 85080, 31500}, {640, 480, 60, 31469, 59940, 25175},
    {640, 480, 72, 37861, 72809, 31500}, {640, 480, 75, 37500, 75000, 31500},
    {640, 480, 85, 43269, 85008, 36000}, {800, 600, 60, 37879, 60317, 40000},
    {800, 600, 72, 48077, 72188, 50000}, {800, 600, 75, 46875, 75000, 49500},
    {800, 600, 85, 53674, 85061, 56250}, {1024, 768, 60, 48363, 60004, 65000},
    {1024, 768, 72, 56476, 70069, 75000}, {1024, 768, 75, 60023, 75029, 78750},
    {1024, 768, 85, 68677, 84997, 94500}, {1152, 864, 75, 67500, 75000, 108000},
    {1280, 720, 60, 45000, 60000, 74250}, {1280, 800, 60, 49702, 59810, 83500},
    {1280, 800, 75, 62795, 74934, 106500}, {1280, 800, 85, 71554, 84880, 122500},
    {1280, 960, 60, 60000, 60000, 108000}, {1280, 960, 85, 85938, 85002, 148500},
    {1280, 1024, 60, 63981, 60020, 108000}, {1280, 1024, 75, 79976, 75025, 135000},
    {1280, 1024, 85, 91146, 85024, 157500}, {1400, 1050, 60, 65317, 59978, 121750},
    {1400, 1050, 75, 82278, 74867, 156000}, {1400, 1050, 85, 93881, 84960, 179500},
    {1440, 900, 60, 55935, 59887, 106500}, {1440, 900, 75, 70635, 74984, 136750},
    {1440, 900, 85, 80430, 84842, 157000}, {1600, 900, 60, 60000, 60000, 108000},
    {1600, 1200, 60, 75000, 60000, 162000}, {1600, 1200, 65, 81250, 65000, 175500},
    {1600, 1200, 70, 87500, 70000, 189000}, {1600, 1200, 75, 93750, 75000, 202500},
    {1600, 1200, 85, 106250, 85000, 229500}, {1680, 1050, 60, 65290, 59954, 146250},
    {1680, 1050, 75, 82306, 74892, 187000}, {1680, 1050, 85, 93859, 84941, 214750},
    {1792, 1344, 60, 83640, 60000, 204750}, {1792, 1344, 75, 106270, 74997, 261000},
    {1856, 1392, 60, 86333, 59995, 218250}, {1856, 1392, 75, 112500, 75000, 288000},
    {1920, 1080, 60, 67500, 60000, 148500}, {1920, 1200, 60, 74556, 59885, 193250},
    {1920, 1200, 75, 94038, 74930, 245250}, {1920, 1200, 85, 107184, 84932, 281250},
    {1920, 1440, 60, 90000, 60000, 234000}, {1920, 1440, 75, 112500, 75000, 297000},
    {2048, 1152, 60, 72000, 60000, 162000},
};
// clang-format on

constexpr uint32_t dmtKey(uint16_t hActive, uint16_t vActive, uint8_t refreshHz) {
    return uint32_t{hActive} << 20 | uint32_t{vActive} << 8 | refreshHz;
}
constexpr bool sortedBySize() {
    for (size_t i = 1; i < std::size(kStandardDmts); ++i) {
        const DmtTiming &a = kStandardDmts[i - 1], &b = kStandardDmts[i];
        if (dmtKey(a.hActive, a.vActive, a.refreshHz) >= dmtKey(b.hActive, b.vActive, b.refreshHz)) {
            return false;
        }
    }
    return true;
}
static_assert(sortedBySize(), "the table is looked up by binary search");

const DmtTiming *standardDmt(const StandardTiming &s) {
    const uint32_t key = dmtKey(s.hActive, s.vActive, s.refreshHz);
    const auto found = std::lower_bound(
        std::begin(kStandardDmts), std::end(kStandardDmts), key,
        [](const DmtTiming &dmt, uint32_t k) { return dmtKey(dmt.hActive, dmt.vActive, dmt.refreshHz) < k; });
    return found != std::end(kStandardDmts) && dmtKey(found->hActive, found->vActive, found->refreshHz) == key
               ? found
               : nullptr;
}

// A rate with three decimals, "67.500".
struct Rate {
    explicit Rate(double value) {
        const auto end = std::to_chars(text, text + sizeof text - 1, value, std::chars_format::fixed, 3).ptr;
        *end = 0;
    }
    char text[32] = {};
};

void checkRangeLimits(std::span<const uint8_t> bytes, const EdidDecoded &d, Findings &findings) {
    if (!d.base.rangeLimits) {
        return;
    }
    const RangeLimits &r = *d.base.rangeLimits;
    // A maximum of 255 or 510 (the most the descriptor's byte, or it with the offset, can
    // state) is one the display could not state higher: it bounds nothing.
    const auto bounds = [](uint16_t max) { return max != 255 && max != 510; };
    // The extremes of the rates of every timing.
    double hLeast = 1e9, hMost = 0, vLeast = 1e9, vMost = 0, clockMost = 0;
    const auto consider = [&](double hKhz, double vHz, double clockMhz) {
        if (hKhz > 0) {
            hLeast = std::min(hLeast, hKhz);
            hMost = std::max(hMost, hKhz);
        }
        if (vHz > 0) {
            vLeast = std::min(vLeast, vHz);
            vMost = std::max(vMost, vHz);
        }
        clockMost = std::max(clockMost, clockMhz);
    };
    forEachTiming(d, [&](const DetailedTiming &t) {
        const uint32_t hTotal = uint32_t{t.hActive} + t.hBlank;
        if (t.hActive != 0 && t.vActive != 0 && hTotal != 0) {
            consider(t.pixelClockKhz / double(hTotal), t.refreshHz, t.pixelClockKhz / 1000.0);
        }
    });
    const uint32_t established = uint32_t{bytes[35]} << 16 | uint32_t{bytes[36]} << 8 | bytes[37];
    // The bits that are set, most significant first (bit 23 is timing 0).
    for (uint32_t bits = established >> (24 - kEstablishedTimingCount) << (24 - kEstablishedTimingCount);
         bits != 0; bits &= bits - 1) {
        const EstablishedTiming &e = establishedTiming(static_cast<size_t>(23 - std::countr_zero(bits)));
        consider(e.hRateHz / 1000.0, e.vRateMilliHz / 1000.0, e.pixelClockKhz / 1000.0);
    }
    for (const StandardTiming &s : d.base.standardTimings) {
        if (const DmtTiming *dmt = standardDmt(s)) {
            consider(dmt->hRateHz / 1000.0, dmt->vRateMilliHz / 1000.0, dmt->pixelClockKhz / 1000.0);
        } else {
            consider(0, s.refreshHz, 0); // a timing made by formula: its rate as stated
        }
    }
    const auto considerVic = [&](uint8_t vic) {
        if (const VideoFormat *f = findVideoFormat(vic)) {
            consider(f->pixelClockKhz / double(f->hTotal()), f->refreshMilliHz / 1000.0,
                     f->pixelClockKhz / 1000.0);
        }
    };
    for (const CtaBlock &cta : d.cta) {
        for (const VideoDescriptor &v : cta.videos) {
            considerVic(v.vic);
        }
        // The 4:2:0-only formats are left out: sent at half the TMDS rate, their pixel
        // clock is not what the limits bound.
        if (cta.hdmi) {
            for (uint8_t hdmiVic : cta.hdmi->hdmiVics) {
                if (hdmiVic >= 1 && hdmiVic <= kHdmiVicFormats.size()) {
                    considerVic(kHdmiVicFormats[hdmiVic - 1]);
                }
            }
        }
    }
    // To the limits' whole units: a timing that lies a fraction of a unit past a limit is the
    // display's rounding, not a timing it cannot take.
    const bool hOut = hMost > 0 && (std::lround(hLeast) < r.minHorizontalKhz ||
                                    (bounds(r.maxHorizontalKhz) && std::lround(hMost) > r.maxHorizontalKhz));
    const bool vOut = vMost > 0 && (std::lround(vLeast) < r.minVerticalHz ||
                                    (bounds(r.maxVerticalHz) && std::lround(vMost) > r.maxVerticalHz));
    const bool clockOut = r.maxPixelClockMhz != 0 && std::lround(clockMost) > r.maxPixelClockMhz;
    if (!hOut && !vOut && !clockOut) {
        return;
    }
    // The text in one allocation: the parts written into a buffer, the rates by to_chars,
    // which writes them alike in every locale.
    std::array<char, 256> text{};
    size_t length = 0;
    const auto written = [&](int count) {
        length = std::min(text.size() - 1, length + static_cast<size_t>(std::max(count, 0)));
    };
    written(std::snprintf(text.data(), text.size(), "timings outside the range limits: "));
    if (hOut) {
        written(std::snprintf(text.data() + length, text.size() - length,
                              "horizontal %s-%s kHz (limits %d-%d kHz)", Rate(hLeast).text, Rate(hMost).text,
                              r.minHorizontalKhz, r.maxHorizontalKhz));
    }
    if (vOut) {
        written(std::snprintf(text.data() + length, text.size() - length,
                              "%svertical %s-%s Hz (limits %d-%d Hz)", hOut ? "; " : "", Rate(vLeast).text,
                              Rate(vMost).text, r.minVerticalHz, r.maxVerticalHz));
    }
    if (clockOut) {
        written(std::snprintf(text.data() + length, text.size() - length,
                              "%spixel clock up to %s MHz (limit %d MHz)", hOut || vOut ? "; " : "",
                              Rate(clockMost).text, r.maxPixelClockMhz));
    }
    report(findings, Rule::OutsideRangeLimits, Place::base(r.offset),
           QString::fromLatin1(text.data(), static_cast<qsizetype>(length)));
}

// sRGB's primaries and white point as the base block codes them (x and y times 1024).
constexpr std::array<uint16_t, 8> kSrgbCodes = {655, 338, 307, 614, 154, 61, 320, 337};

void checkSrgb(const BaseBlock &base, Findings &findings) {
    const bool srgbChromaticities = base.chromaticityCodes == kSrgbCodes;
    if (base.srgbDefault && !srgbChromaticities) {
        report(findings, Rule::SrgbChromaticities, Place::base(24),
               QStringLiteral("sRGB is the default colour space, but the chromaticities are not sRGB's"));
    } else if (!base.srgbDefault && srgbChromaticities) {
        report(findings, Rule::SrgbNotSignalled, Place::base(24),
               QStringLiteral("the chromaticities are sRGB's, but sRGB is not the default colour space"));
    }
}

} // namespace

void checkEdid(std::span<const uint8_t> bytes, EdidDecoded &out) {
    Findings &findings = out.findings;
    checkSrgb(out.base, findings);
    checkRangeLimits(bytes, out, findings);
    checkNearVics(out, findings);
    checkHdmiVsdbs(out, checkVideoDataBlocks(bytes, out, findings), findings);
    checkCtaBlocks(out, findings);
}

} // namespace edid::parts
