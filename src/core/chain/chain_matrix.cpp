#include "core/chain/chain_matrix.h"

#include "core/base/format_text.h"
#include "core/box/status_record.h"
#include "core/edid/cta861.h"
#include "core/edid/video_formats.h"

#include <algorithm>

namespace chain {
namespace {

using namespace edid;

constexpr CapabilityInfo kCapabilities[] = {
#define CHAIN_CAPABILITY_ROW(constant, key, name, domain, measure)                                           \
    {Capability::constant, key, name, Domain::domain, Measure::measure},
    CHAIN_CAPABILITIES(CHAIN_CAPABILITY_ROW)
#undef CHAIN_CAPABILITY_ROW
};

// Field places in the blocks, counted from the block's header byte.
constexpr int kVsdbFlagsByte = 6;    // HDMI VSDB: Supports_AI and the deep colours
constexpr int kVsdbMaxTmdsByte = 7;  // HDMI VSDB: max TMDS clock
constexpr int kForumMaxTmdsByte = 5; // HDMI Forum (VSDB or SCDB): max TMDS character rate
constexpr int kForumFrlByte = 7;     // max FRL rate and the 4:2:0 deep colours
constexpr int kForumAllmByte = 8;    // ALLM, VRR kinds
constexpr int kForumVrrByte = 9;     // VRRmin
constexpr int kExtendedBodyByte = 2; // the first byte after an extended tag
constexpr int kBasicAudioByte = 3;   // of the CTA block's header: basic audio

// Colorimetry byte 3: BT2020cYCC, BT2020YCC, BT2020RGB.
constexpr uint16_t kBt2020Bits = 0xE0;
constexpr uint8_t kEotfPq = 0x04;
constexpr uint8_t kEotfHlg = 0x08;
constexpr uint8_t kCaptureEotfPq = 2;
constexpr uint8_t kCaptureEotfHlg = 3;
constexpr int kLpcmSurroundChannels = 6;
constexpr int kLpcmFullChannels = 8;

// AVI colour spaces as the status reports them.
constexpr uint8_t kRgb = 0;
constexpr uint8_t kYcbcr420 = 3;
// The AVI colorimetry code that defers to the extended one, and its BT.2020 codes.
constexpr uint8_t kExtendedColorimetry = 3;
constexpr uint8_t kBt2020Cycc = 5;
constexpr uint8_t kBt2020Ycc = 6;

constexpr uint32_t kHzMilli = 1000;

// The most the box's status tells of its input's link: the 600 MHz band; it has no FRL link.
constexpr LinkLimit kStatusLink{600, 0};

size_t index(Capability capability) {
    return static_cast<size_t>(capability);
}

// --- Where a value stands ---------------------------------------------------------------------

struct Place {
    int block = 0;
    size_t offset = 0; // of the header byte in the block
    cta::DataBlock data;
};

// The data blocks of every CTA-861 block of the image, in order, each with its place.
std::vector<Place> placesOf(std::span<const uint8_t> image) {
    std::vector<Place> places;
    const size_t blocks = image.size() / kEdidBlockSize;
    for (size_t b = 1; b < blocks; ++b) {
        const auto block =
            std::span<const uint8_t, kEdidBlockSize>(image.subspan(b * kEdidBlockSize, kEdidBlockSize));
        if (block[0] != cta::kExtensionTag) {
            continue;
        }
        const cta::CtaLayout layout(block);
        for (const cta::DataBlock data : layout.dataBlocks()) {
            places.push_back({static_cast<int>(b), data.offset, data});
        }
    }
    return places;
}

bool isExtended(const cta::DataBlock &data, uint8_t extendedTag) {
    return data.tag == cta::kTagExtended && data.extendedTag == extendedTag;
}

class Places {
public:
    Places(std::span<const uint8_t> image, Column column) : places_(placesOf(image)), column_(column) {}

    Evidence at(int block, int byte, const QString &what) const { return {column_, block, byte, what}; }
    Evidence none(const QString &what) const { return {column_, -1, -1, what}; }

    template <typename Match> const Place *first(const Match &matches) const {
        const auto found =
            std::find_if(places_.begin(), places_.end(), [&](const Place &p) { return matches(p.data); });
        return found == places_.end() ? nullptr : &*found;
    }

    // A field of the first block that matches, or what says the block is not there.
    template <typename Match>
    Evidence field(const Match &matches, int fieldByte, const char *block, const char *field) const {
        if (const Place *p = first(matches)) {
            return at(p->block, static_cast<int>(p->offset) + fieldByte, formatText("%s, %s", block, field));
        }
        return none(formatText("no %s", block));
    }

    Evidence svd(uint8_t vic, const char *how) const {
        for (const Place &p : places_) {
            const bool video = p.data.tag == cta::kTagVideo;
            const bool only420 = isExtended(p.data, cta::kExtYcbcr420Video);
            if (!video && !only420) {
                continue;
            }
            const std::span<const uint8_t> body = p.data.body();
            const auto found = std::find_if(body.begin(), body.end(), [&](uint8_t svd) {
                return !cta::svdReserved(svd) && cta::svdVic(svd) == vic;
            });
            if (found != body.end()) {
                const size_t byte = p.offset + (p.data.payload.size() - body.size()) + 1 +
                                    static_cast<size_t>(found - body.begin());
                return at(p.block, static_cast<int>(byte),
                          formatText("%s, VIC %d%s",
                                     only420 ? "YCbCr 4:2:0 Video Data Block" : "Video Data Block", vic,
                                     how));
            }
        }
        return none(formatText("VIC %d", vic));
    }

    Evidence sad(const AudioFormat &format) const {
        for (const Place &p : places_) {
            if (p.data.tag != cta::kTagAudio) {
                continue;
            }
            const std::span<const uint8_t> payload = p.data.payload;
            for (size_t at3 = 0; at3 + cta::kSadBytes <= payload.size(); at3 += cta::kSadBytes) {
                const std::span<const uint8_t> s = payload.subspan(at3, cta::kSadBytes);
                if (cta::sadCoding(s) == format.code && (s[0] & 0x07) + 1 == format.maxChannels &&
                    (s[1] & 0x7F) == format.sampleRates && s[2] == format.codeDependent) {
                    return at(p.block, static_cast<int>(p.offset + 1 + at3),
                              QStringLiteral("Audio Data Block, %1").arg(audioFormatName(format)));
                }
            }
        }
        return none(QStringLiteral("Audio Data Block, %1").arg(audioFormatName(format)));
    }

    Column column() const { return column_; }

private:
    std::vector<Place> places_;
    Column column_;
};

bool isHdmiVsdb(const cta::DataBlock &d) {
    return d.vendorBlock() == cta::kVsdb && d.oui() == cta::kOuiHdmi;
}
bool isHdmiForum(const cta::DataBlock &d) {
    return (d.vendorBlock() == cta::kVsdb && d.oui() == cta::kOuiHdmiForum) ||
           isExtended(d, cta::kExtHdmiForumScdb);
}

// --- Cells ------------------------------------------------------------------------------------

Cell cellOf(Presence presence, uint32_t amount, QString detail, Evidence evidence) {
    Cell cell;
    cell.presence = presence;
    cell.amount = amount;
    cell.detail = std::move(detail);
    cell.evidence = std::move(evidence);
    return cell;
}

Cell flag(bool present, QString detail, Evidence evidence) {
    return cellOf(present ? Presence::Yes : Presence::No, present ? 1 : 0, std::move(detail),
                  std::move(evidence));
}

Cell unknown(QString detail, Evidence evidence) {
    return cellOf(Presence::Unknown, 0, std::move(detail), std::move(evidence));
}

enum class FormatRow { Uhd60, Uhd120, Fhd120, Uhd8k };

bool formatCounts(FormatRow row, uint16_t width, uint16_t height, bool interlaced, uint32_t refreshMilliHz) {
    if (interlaced) {
        return false;
    }
    const uint32_t hz = (refreshMilliHz + kHzMilli / 2) / kHzMilli;
    switch (row) {
    case FormatRow::Uhd60:
        return width >= 3840 && width < 7680 && height == 2160 && hz >= 48 && hz <= 60;
    case FormatRow::Uhd120:
        return width >= 3840 && width < 7680 && height == 2160 && hz >= 100;
    case FormatRow::Fhd120:
        return width == 1920 && height == 1080 && hz >= 100;
    case FormatRow::Uhd8k:
        break;
    }
    return width >= 7680;
}

// The VICs an EDID states for a row, each with whether it stands only as 4:2:0 (in the YCbCr
// 4:2:0 Video Data Block) or also may (the capability map).
struct Listed {
    uint8_t vic = 0;
    bool only420 = false;
    bool also420 = false;
};

std::vector<Listed> listedFor(const EdidDecoded &decoded, FormatRow row) {
    std::vector<Listed> out;
    const auto counts = [row](uint8_t vic) {
        const VideoFormat *f = findVideoFormat(vic);
        return f != nullptr && formatCounts(row, f->hActive, f->vActive, f->interlaced, f->refreshMilliHz);
    };
    for (const CtaBlock &cta : decoded.cta) {
        for (const VideoDescriptor &v : cta.videos) {
            if (counts(v.vic)) {
                out.push_back({v.vic, false, v.ycbcr420Capable});
            }
        }
        for (uint8_t vic : cta.ycbcr420OnlyVics) {
            if (counts(vic)) {
                out.push_back({vic, true, true});
            }
        }
    }
    return out;
}

uint64_t capacityKhz(const std::optional<LinkLimit> &link) {
    return link ? linkCapacityKhz(*link) : UINT64_MAX;
}

// A format row: the listed VIC a link needs least for (4:2:0 at half the clock).
Cell formatCell(const EdidDecoded &decoded, const Places &places, FormatRow row) {
    const std::vector<Listed> listed = listedFor(decoded, row);
    if (listed.empty()) {
        return flag(false, {}, places.none(QStringLiteral("no VIC of the format")));
    }
    const Listed *best = nullptr;
    uint32_t bestKhz = UINT32_MAX;
    for (const Listed &l : listed) {
        const uint32_t clock = findVideoFormat(l.vic)->pixelClockKhz;
        const uint32_t needed = l.also420 ? clock / 2 : clock;
        if (needed < bestKhz) {
            bestKhz = needed;
            best = &l;
        }
    }
    Cell cell = flag(true, formatText("VIC %d", best->vic),
                     places.svd(best->vic, best->only420   ? " (4:2:0 only)"
                                           : best->also420 ? " (also 4:2:0)"
                                                           : ""));
    cell.neededKhz = bestKhz;
    return cell;
}

// 4K60 in RGB and 4:4:4: a 4K60 VIC of the Video Data Block at a clock the EDID's own link
// carries; else its 4K60 is 4:2:0 only.
std::array<Cell, 2> uhd60Cells(const EdidDecoded &decoded, const Places &places) {
    const std::vector<Listed> listed = listedFor(decoded, FormatRow::Uhd60);
    const uint64_t capacity = capacityKhz(linkLimitOf(decoded));
    const Listed *full = nullptr;
    const Listed *only420 = nullptr;
    for (const Listed &l : listed) {
        const uint32_t clock = findVideoFormat(l.vic)->pixelClockKhz;
        if (!l.only420 && clock <= capacity &&
            (full == nullptr || clock < findVideoFormat(full->vic)->pixelClockKhz)) {
            full = &l;
        }
        if (l.also420 && only420 == nullptr) {
            only420 = &l;
        }
    }
    std::array<Cell, 2> cells;
    const uint32_t takes = (full != nullptr ? kUhd60Full : 0) | (only420 != nullptr ? kUhd60As420 : 0);
    if (full != nullptr) {
        cells[0] = flag(true, formatText("VIC %d", full->vic), places.svd(full->vic, ""));
        cells[0].neededKhz = findVideoFormat(full->vic)->pixelClockKhz;
        cells[1] = cellOf(Presence::No, takes, QStringLiteral("also RGB"), cells[0].evidence);
    } else if (only420 != nullptr) {
        const QString why = listed.front().only420 ? QStringLiteral("4:2:0 only")
                                                   : QStringLiteral("4:2:0 only: beyond its own link");
        cells[0] = flag(false, why, places.svd(only420->vic, ""));
        cells[1] = cellOf(Presence::Yes, takes, formatText("VIC %d", only420->vic),
                          places.svd(only420->vic, " (4:2:0)"));
    } else {
        cells[0] = flag(false, {}, places.none(QStringLiteral("no 4K60 VIC")));
        cells[1] = cells[0];
    }
    return cells;
}

Cell deepCell(const CtaBlock *cta, const Places &places, int bits) {
    const bool twelve = bits == 12;
    uint32_t parts = 0;
    if (cta != nullptr && cta->hdmi && (twelve ? cta->hdmi->deepColor36 : cta->hdmi->deepColor30)) {
        parts |= kDeepRgb;
    }
    if (cta != nullptr && cta->hdmiForum &&
        (twelve ? cta->hdmiForum->deepColor420_36 : cta->hdmiForum->deepColor420_30)) {
        parts |= kDeep420;
    }
    const Evidence evidence =
        (parts & kDeepRgb) != 0 || (parts & kDeep420) == 0
            ? places.field(isHdmiVsdb, kVsdbFlagsByte, "HDMI VSDB", twelve ? "DC_36bit" : "DC_30bit")
            : places.field(isHdmiForum, kForumFrlByte, "HDMI Forum block",
                           twelve ? "DC_420_36" : "DC_420_30");
    return cellOf(parts != 0 ? Presence::Yes : Presence::No, parts, {}, evidence);
}

// The first CTA block that has what `has` asks for, else the first.
template <typename Has> const CtaBlock *ctaWith(const EdidDecoded &decoded, const Has &has) {
    for (const CtaBlock &cta : decoded.cta) {
        if (has(cta)) {
            return &cta;
        }
    }
    return decoded.cta.empty() ? nullptr : &decoded.cta.front();
}

// The first audio descriptor that meets `wanted`, across the CTA blocks.
template <typename Wanted> const AudioFormat *audioWith(const EdidDecoded &decoded, const Wanted &wanted) {
    for (const CtaBlock &cta : decoded.cta) {
        for (const AudioFormat &a : cta.audio) {
            if (wanted(a)) {
                return &a;
            }
        }
    }
    return nullptr;
}

bool isCoding(const AudioFormat &a, AudioCoding coding) {
    return a.code == static_cast<uint8_t>(coding);
}

Cell codingCell(const EdidDecoded &decoded, const Places &places, AudioCoding coding,
                bool (*extra)(const AudioFormat &), const char *lacking) {
    const AudioFormat *any = audioWith(decoded, [&](const AudioFormat &a) { return isCoding(a, coding); });
    const AudioFormat *found =
        audioWith(decoded, [&](const AudioFormat &a) { return isCoding(a, coding) && extra(a); });
    if (found != nullptr) {
        return flag(true, formatText("%d channels", found->maxChannels), places.sad(*found));
    }
    if (any != nullptr) {
        return flag(false, QLatin1String(lacking), places.sad(*any));
    }
    return flag(
        false, QStringLiteral("no %1").arg(cta::audioCodingName(static_cast<uint8_t>(coding), 0)),
        places.none(
            QStringLiteral("no %1 descriptor").arg(cta::audioCodingName(static_cast<uint8_t>(coding), 0))));
}

bool anyFormat(const AudioFormat &) {
    return true;
}

void addAudio(CapabilityColumn &cells, const EdidDecoded &decoded, const Places &places) {
    const AudioFormat *lpcm = nullptr;
    for (const CtaBlock &cta : decoded.cta) {
        for (const AudioFormat &a : cta.audio) {
            if (isCoding(a, AudioCoding::Lpcm) && (lpcm == nullptr || a.maxChannels > lpcm->maxChannels)) {
                lpcm = &a;
            }
        }
    }
    const bool basic =
        std::any_of(decoded.cta.begin(), decoded.cta.end(), [](const CtaBlock &c) { return c.basicAudio; });
    const int channels = lpcm != nullptr ? lpcm->maxChannels : basic ? 2 : 0;
    const QString detail =
        channels > 0 ? formatText("LPCM with %d channels", channels) : QStringLiteral("no LPCM");
    const Evidence evidence = lpcm != nullptr ? places.sad(*lpcm)
                              : basic         ? places.at(decoded.cta.front().block, kBasicAudioByte,
                                                          QStringLiteral("CTA-861 header, basic audio"))
                                      : places.none(QStringLiteral("no LPCM descriptor, no basic audio"));
    cells[index(Capability::Lpcm20)] = flag(channels >= 2, detail, evidence);
    cells[index(Capability::Lpcm51)] = flag(channels >= kLpcmSurroundChannels, detail, evidence);
    cells[index(Capability::Lpcm71)] = flag(channels >= kLpcmFullChannels, detail, evidence);
    uint8_t rates = 0;
    for (const CtaBlock &cta : decoded.cta) {
        for (const AudioFormat &a : cta.audio) {
            rates |= isCoding(a, AudioCoding::Lpcm) ? a.sampleRates : 0;
        }
    }
    if (rates == 0 && basic) {
        rates = 0x07; // basic audio: 32, 44.1 and 48 kHz
    }
    uint32_t highest = 0;
    for (uint32_t bit = 0; bit < kSampleRatesKhz.size(); ++bit) {
        highest = (rates >> bit & 1) != 0 ? bit + 1 : highest;
    }
    cells[index(Capability::LpcmRates)] =
        cellOf(highest > 0 ? Presence::Yes : Presence::No, highest, {}, evidence);

    cells[index(Capability::DolbyDigital)] = codingCell(decoded, places, AudioCoding::Ac3, anyFormat, "");
    cells[index(Capability::DolbyDigitalPlus)] =
        codingCell(decoded, places, AudioCoding::EnhancedAc3, anyFormat, "");
    cells[index(Capability::AtmosJoc)] = codingCell(
        decoded, places, AudioCoding::EnhancedAc3, [](const AudioFormat &a) { return a.jointObjectCoding; },
        "E-AC-3 without joint object coding");
    cells[index(Capability::AtmosMat)] = codingCell(decoded, places, AudioCoding::Mat, anyFormat, "");
    cells[index(Capability::Dts)] = codingCell(decoded, places, AudioCoding::Dts, anyFormat, "");
    cells[index(Capability::DtsHdMa)] = codingCell(decoded, places, AudioCoding::DtsHd, anyFormat, "");
    cells[index(Capability::DtsX)] = codingCell(
        decoded, places, AudioCoding::DtsHd, [](const AudioFormat &a) { return a.dtsX; },
        "DTS-HD without DTS:X");

    const CtaBlock *speakers =
        ctaWith(decoded, [](const CtaBlock &c) { return c.speakerAllocation.has_value(); });
    const uint32_t allocation =
        speakers != nullptr ? speakers->speakerAllocation.value_or(0) & ((1u << kSpeakerBits) - 1) : 0;
    cells[index(Capability::Speakers)] =
        cellOf(allocation != 0 ? Presence::Yes : Presence::No, allocation,
               allocation != 0 ? QString() : QStringLiteral("none stated"),
               places.field([](const cta::DataBlock &d) { return d.tag == cta::kTagSpeakers; }, 1,
                            "Speaker Allocation Data Block", "speakers"));
}

void addVideo(CapabilityColumn &cells, const EdidDecoded &decoded, const Places &places) {
    const std::array<Cell, 2> uhd60 = uhd60Cells(decoded, places);
    cells[index(Capability::Uhd60Full)] = uhd60[0];
    cells[index(Capability::Uhd60Only420)] = uhd60[1];
    cells[index(Capability::Uhd120)] = formatCell(decoded, places, FormatRow::Uhd120);
    cells[index(Capability::Fhd120)] = formatCell(decoded, places, FormatRow::Fhd120);
    cells[index(Capability::Uhd8k)] = formatCell(decoded, places, FormatRow::Uhd8k);

    const CtaBlock *deep = ctaWith(decoded, [](const CtaBlock &c) { return c.hdmi.has_value(); });
    cells[index(Capability::Deep10)] = deepCell(deep, places, 10);
    cells[index(Capability::Deep12)] = deepCell(deep, places, 12);

    const CtaBlock *hdr = ctaWith(decoded, [](const CtaBlock &c) { return c.hdrStatic.has_value(); });
    const uint8_t eotfs = hdr != nullptr && hdr->hdrStatic ? hdr->hdrStatic->eotfs : 0;
    const auto hdrStatic = [](const cta::DataBlock &d) { return isExtended(d, cta::kExtHdrStatic); };
    const Evidence eotfPlace =
        places.field(hdrStatic, kExtendedBodyByte, "HDR Static Metadata Data Block", "EOTFs");
    cells[index(Capability::Hdr10)] = flag((eotfs & kEotfPq) != 0, {}, eotfPlace);
    cells[index(Capability::Hlg)] = flag((eotfs & kEotfHlg) != 0, {}, eotfPlace);

    const auto vendorVideo = [](uint32_t oui) {
        return [oui](const cta::DataBlock &d) { return d.vendorBlock() == cta::kVsvdb && d.oui() == oui; };
    };
    const CtaBlock *plus = ctaWith(decoded, [](const CtaBlock &c) { return c.hdr10Plus; });
    cells[index(Capability::Hdr10Plus)] =
        flag(plus != nullptr && plus->hdr10Plus, {},
             places.field(vendorVideo(cta::kOuiHdr10Plus), 0, "Vendor-Specific Video Data Block (HDR10+)",
                          "header"));
    const CtaBlock *vision = ctaWith(decoded, [](const CtaBlock &c) { return c.dolbyVision.has_value(); });
    const bool hasVision = vision != nullptr && vision->dolbyVision.has_value();
    cells[index(Capability::DolbyVision)] = flag(
        hasVision, hasVision ? formatText("version %d", vision->dolbyVision->version) : QString(),
        places.field(vendorVideo(cta::kOuiDolby), 0, "Vendor-Specific Video Data Block (Dolby)", "header"));

    const CtaBlock *colorimetry =
        ctaWith(decoded, [](const CtaBlock &c) { return c.colorimetry.has_value(); });
    const uint16_t colours = colorimetry != nullptr ? colorimetry->colorimetry.value_or(0) : 0;
    cells[index(Capability::Bt2020)] =
        flag((colours & kBt2020Bits) != 0, {},
             places.field([](const cta::DataBlock &d) { return isExtended(d, cta::kExtColorimetry); },
                          kExtendedBodyByte, "Colorimetry Data Block", "BT.2020"));

    const CtaBlock *forumBlock = ctaWith(decoded, [](const CtaBlock &c) { return c.hdmiForum.has_value(); });
    const std::optional<HdmiForum> forum = forumBlock != nullptr ? forumBlock->hdmiForum : std::nullopt;
    cells[index(Capability::Allm)] =
        flag(forum && forum->allm, {}, places.field(isHdmiForum, kForumAllmByte, "HDMI Forum block", "ALLM"));
    const bool vrr = forum && vrrSupported(*forum);
    cells[index(Capability::Vrr)] =
        flag(vrr, vrr ? formatText("%d-%d Hz", *forum->vrrMin, *forum->vrrMax) : QString(),
             places.field(isHdmiForum, kForumVrrByte, "HDMI Forum block", "VRR range"));

    const std::optional<LinkLimit> link = linkLimitOf(decoded);
    if (!link) {
        cells[index(Capability::MaxTmds)] =
            unknown(QStringLiteral("not stated"), places.none(QStringLiteral("no max TMDS rate")));
    } else {
        const bool fromForum = forum && forum->maxTmdsMhz > 0;
        cells[index(Capability::MaxTmds)] =
            cellOf(Presence::Yes, static_cast<uint32_t>(link->maxTmdsMhz), {},
                   fromForum ? places.field(isHdmiForum, kForumMaxTmdsByte, "HDMI Forum block",
                                            "max TMDS character rate")
                             : places.field(isHdmiVsdb, kVsdbMaxTmdsByte, "HDMI VSDB", "max TMDS clock"));
    }
    const int frl = forum ? frlGbps(forum->maxFrlCode) : 0;
    cells[index(Capability::Frl)] =
        cellOf(frl > 0 ? Presence::Yes : Presence::No, static_cast<uint32_t>(frl), {},
               places.field(isHdmiForum, kForumFrlByte, "HDMI Forum block", "max FRL rate"));
}

// --- The input ---------------------------------------------------------------------------------

Evidence inputEvidence(const QString &what) {
    return {Column::Input, -1, -1, what};
}

void fillUnknown(CapabilityColumn &cells, const QString &detail, const Evidence &evidence) {
    for (Cell &cell : cells) {
        cell = unknown(detail, evidence);
    }
}

} // namespace

std::span<const CapabilityInfo> allCapabilities() {
    return kCapabilities;
}

const CapabilityInfo &capabilityInfo(Capability capability) {
    return kCapabilities[index(capability)];
}

namespace {
// Lower-case letters and digits, "+" spelt "plus": "DTS:X" and "dts-x" are "dtsx".
QString folded(const QString &text) {
    QString out;
    for (const QChar c : text.toLower()) {
        if (c.isLetterOrNumber()) {
            out += c;
        } else if (c == QLatin1Char('+')) {
            out += QStringLiteral("plus");
        }
    }
    return out;
}
} // namespace

std::vector<Capability> capabilitiesNamed(const QString &word) {
    std::vector<Capability> out;
    const QString wanted = folded(word);
    if (wanted.isEmpty()) {
        return out;
    }
    for (const CapabilityInfo &info : kCapabilities) {
        if (folded(QLatin1String(info.key)) == wanted || folded(QLatin1String(info.name)) == wanted) {
            return {info.capability};
        }
    }
    const QString prefix = word.toLower() + QLatin1Char('-');
    for (const CapabilityInfo &info : kCapabilities) {
        if (QLatin1String(info.key).startsWith(prefix)) {
            out.push_back(info.capability);
        }
    }
    return out;
}

QString capabilityKeys() {
    QStringList keys;
    for (const CapabilityInfo &info : kCapabilities) {
        keys << QLatin1String(info.key);
    }
    return keys.join(QStringLiteral(", "));
}

QString columnName(Column column) {
    static constexpr const char *kNames[] = {"TOP", "BOT", "box", "input"};
    return QLatin1String(kNames[static_cast<size_t>(column)]);
}

QString evidenceText(const Evidence &evidence) {
    const QString whose = evidence.column == Column::Input
                              ? QStringLiteral("input status")
                              : columnName(evidence.column) + QStringLiteral(" EDID");
    if (evidence.block < 0) {
        return QStringLiteral("%1: %2").arg(whose, evidence.what);
    }
    if (evidence.byte < 0) {
        return formatText("%s, block %d: %s", qPrintable(whose), evidence.block, qPrintable(evidence.what));
    }
    return formatText("%s, block %d, byte %d: %s", qPrintable(whose), evidence.block, evidence.byte,
                      qPrintable(evidence.what));
}

QString valueText(Capability capability, const Cell &cell) {
    if (cell.presence == Presence::Unknown) {
        return QStringLiteral("unknown");
    }
    switch (capability) {
    case Capability::MaxTmds:
        return formatText("%u MHz", cell.amount);
    case Capability::Frl:
        return cell.amount > 0 ? formatText("%u Gbps", cell.amount) : QStringLiteral("none");
    case Capability::LpcmRates:
        if (cell.amount == 0) {
            return QStringLiteral("none");
        }
        return QStringLiteral("up to %1 kHz").arg(kSampleRatesKhz[cell.amount - 1]);
    case Capability::Deep10:
    case Capability::Deep12: {
        QStringList parts;
        if ((cell.amount & kDeepRgb) != 0) {
            parts << QStringLiteral("RGB");
        }
        if ((cell.amount & kDeep420) != 0) {
            parts << QStringLiteral("4:2:0");
        }
        return parts.isEmpty() ? QStringLiteral("no") : parts.join(QStringLiteral(", "));
    }
    case Capability::Speakers: {
        QStringList names;
        for (int bit = 0; bit < kSpeakerBits; ++bit) {
            if ((cell.amount >> bit & 1) != 0) {
                names << speakerName(bit);
            }
        }
        return names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", "));
    }
    default:
        break;
    }
    return cell.presence == Presence::Yes ? QStringLiteral("yes") : QStringLiteral("no");
}

bool exceeds(Capability capability, const Cell &has, const Cell &other) {
    if (has.presence == Presence::Unknown || other.presence == Presence::Unknown) {
        return false;
    }
    switch (capabilityInfo(capability).measure) {
    case Measure::Flag:
        return has.presence == Presence::Yes && other.presence == Presence::No;
    case Measure::Level:
        return has.amount > other.amount;
    case Measure::Set:
        return (has.amount & ~other.amount) != 0;
    case Measure::Info:
        break;
    }
    return false;
}

CapabilityColumn edidColumn(std::span<const uint8_t> image, Column column, QString *name) {
    CapabilityColumn cells;
    const EdidDecoded decoded = decodeEdid(image);
    const Places places(image, column);
    if (!decoded.valid()) {
        fillUnknown(cells, QStringLiteral("no EDID"), places.none(QStringLiteral("no EDID header")));
        return cells;
    }
    if (name != nullptr) {
        *name = decoded.base.productName.value_or(QString());
    }
    if (decoded.cta.empty()) {
        // A base block alone states no audio, no HDR and no HDMI capability: what it cannot
        // state is not known to be missing.
        fillUnknown(cells, QStringLiteral("no CTA-861 block"),
                    places.none(QStringLiteral("no CTA-861 block")));
        return cells;
    }
    addVideo(cells, decoded, places);
    addAudio(cells, decoded, places);
    return cells;
}

CapabilityColumn inputColumn(const status::TypedStatus &status) {
    CapabilityColumn cells;
    if (!status.video) {
        fillUnknown(cells, QStringLiteral("no status"),
                    inputEvidence(QStringLiteral("the video status was not read")));
        return cells;
    }
    const status::VideoStatus &video = *status.video;
    const std::optional<status::InputTiming> timing = status::inputTimingOf(video);
    const QString noAudio = QStringLiteral("the box reports no audio");
    for (const CapabilityInfo &info : kCapabilities) {
        cells[index(info.capability)] =
            unknown({}, inputEvidence(info.domain == Domain::Audio ? noAudio
                                                                   : QStringLiteral("the box reports none")));
    }
    if (!timing) {
        for (const CapabilityInfo &info : kCapabilities) {
            if (info.domain != Domain::Audio) {
                cells[index(info.capability)] =
                    unknown({}, inputEvidence(QStringLiteral("no format reported")));
            }
        }
        return cells;
    }
    const QString format =
        formatText("%dx%d%s%u", timing->width, timing->height, timing->interlaced ? "i" : "p",
                   (timing->refreshMilliHz + kHzMilli / 2) / kHzMilli);
    const uint8_t space = video.colourSpace;
    static constexpr const char *kSpaces[] = {"RGB", "YCbCr 4:2:2", "YCbCr 4:4:4", "YCbCr 4:2:0"};
    const QString carried = QStringLiteral("%1 %2").arg(format, QLatin1String(kSpaces[space & 0x03]));
    const auto is = [&](FormatRow row) {
        return formatCounts(row, timing->width, timing->height, timing->interlaced, timing->refreshMilliHz);
    };
    const Evidence formatPlace =
        inputEvidence(QStringLiteral("resolution and colour space: %1").arg(carried));
    const bool uhd60 = is(FormatRow::Uhd60);
    const bool fullColour = space == kRgb || space == 2;
    cells[index(Capability::Uhd60Full)] = flag(uhd60 && fullColour, carried, formatPlace);
    cells[index(Capability::Uhd60Only420)] =
        cellOf(uhd60 && space == kYcbcr420 ? Presence::Yes : Presence::No,
               uhd60 ? (space == kYcbcr420 ? kUhd60As420
                        : fullColour       ? kUhd60Full
                                           : 0)
                     : 0,
               carried, formatPlace);
    cells[index(Capability::Uhd120)] = flag(is(FormatRow::Uhd120), carried, formatPlace);
    cells[index(Capability::Fhd120)] = flag(is(FormatRow::Fhd120), carried, formatPlace);
    cells[index(Capability::Uhd8k)] = flag(is(FormatRow::Uhd8k), carried, formatPlace);

    const int depth = status::bitDepthOf(video);
    const uint32_t part = space == kYcbcr420 ? kDeep420 : kDeepRgb;
    const Evidence depthPlace = inputEvidence(formatText("bit depth %d", depth));
    cells[index(Capability::Deep10)] =
        cellOf(depth == 10 ? Presence::Yes : Presence::No, depth == 10 ? part : 0,
               formatText("%d bits", depth), depthPlace);
    cells[index(Capability::Deep12)] =
        cellOf(depth == 12 ? Presence::Yes : Presence::No, depth == 12 ? part : 0,
               formatText("%d bits", depth), depthPlace);

    if (status.hdr) {
        const bool hdr = !status.hdr->payload.empty();
        const uint8_t eotf = hdr ? status.hdr->eotf : 0;
        const Evidence hdrPlace = inputEvidence(hdr ? formatText("HDR infoframe, EOTF %d", eotf)
                                                    : QStringLiteral("no HDR infoframe"));
        cells[index(Capability::Hdr10)] = flag(eotf == kCaptureEotfPq, {}, hdrPlace);
        cells[index(Capability::Hlg)] = flag(eotf == kCaptureEotfHlg, {}, hdrPlace);
    }
    const bool bt2020 = video.colorimetry == kExtendedColorimetry &&
                        (video.extendedColorimetry == kBt2020Cycc || video.extendedColorimetry == kBt2020Ycc);
    cells[index(Capability::Bt2020)] =
        flag(bt2020, {},
             inputEvidence(formatText("AVI colorimetry %d, extended %d", video.colorimetry,
                                      video.extendedColorimetry)));
    const bool wide = video.linkMode == 2;
    cells[index(Capability::MaxTmds)] =
        cellOf(Presence::Yes, wide ? 600 : 300, {},
               inputEvidence(wide ? QStringLiteral("pixel clock band 600 MHz")
                                  : QStringLiteral("pixel clock band 300 MHz")));
    return cells;
}

ChainMatrix buildMatrix(const ChainInputs &inputs) {
    ChainMatrix matrix;
    const auto column = [&](const std::optional<EdidImage> &image, Column which) {
        CapabilityColumn &cells = matrix.columns[static_cast<size_t>(which)];
        if (!image) {
            fillUnknown(cells, QStringLiteral("not read"),
                        {which, -1, -1, QStringLiteral("the EDID could not be read")});
            return;
        }
        cells = edidColumn(*image, which, &matrix.names[static_cast<size_t>(which)]);
    };
    column(inputs.top, Column::Top);
    column(inputs.bot, Column::Bot);
    column(inputs.box, Column::Box);
    // The box's own mix may state a faster link than its status tells of; a FIXED or CUSTOM
    // table states whatever its maker wrote, and a mix no more than the TVs state.
    matrix.boxLink = kStatusLink;
    const bool mixed =
        inputs.status.settings && (*inputs.status.settings)[record::kEdidMode] == record::kEdidModeAutomix;
    if (const std::optional<LinkLimit> stated =
            inputs.box && mixed ? linkLimitOf(decodeEdid(*inputs.box)) : std::nullopt) {
        matrix.boxLink.maxTmdsMhz = std::max(matrix.boxLink.maxTmdsMhz, stated->maxTmdsMhz);
        matrix.boxLink.maxFrlGbps = std::max(matrix.boxLink.maxFrlGbps, stated->maxFrlGbps);
    }
    matrix.columns[static_cast<size_t>(Column::Input)] = inputColumn(inputs.status);
    if (inputs.status.source) {
        matrix.names[static_cast<size_t>(Column::Input)] =
            QStringLiteral("%1 %2")
                .arg(inputs.status.source->vendor, inputs.status.source->product)
                .trimmed();
    }
    return matrix;
}

} // namespace chain
