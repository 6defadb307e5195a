#include "core/edid/edid_decode.h"

#include "core/base/format_text.h"
#include "core/edid/edid_image.h"

#include <QStringBuilder>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>

namespace edid {

namespace {

using Bytes = std::span<const uint8_t>;

constexpr std::array<uint8_t, 8> kHeader = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr int kDescriptorSize = 18;
constexpr int kFirstDescriptor = 54;
constexpr int kDescriptorCount = 4;
constexpr int kExtensionCountByte = 126;

// The place of the base block's findings, the most common one, as a literal.
QString baseBlockPlace() {
    return QStringLiteral("Block 0, Base EDID");
}

// Where in the EDID a finding stands: "Block 1, Audio Data Block", of a part or of a data
// block. Its text is made for the first finding only, and shared by the ones after it.
class Place {
public:
    explicit Place(const QString &text) : block_(0), text_(text) {}
    Place(int block, const char *part) : block_(block), part_(part) {}
    Place(int block, const DataBlockEntry &entry) : block_(block), entry_(&entry) {}
    const QString &text() const {
        if (!text_.isNull()) {
            return text_;
        }
        if (entry_ == nullptr) {
            text_ = formatText("Block %d, %s", block_, part_);
        } else {
            char block[16] = {}; // "Block 255, ", joined to the name in one allocation
            std::snprintf(block, sizeof block, "Block %d, ", block_);
            text_ = QLatin1String(block) % dataBlockName(*entry_);
        }
        return text_;
    }

private:
    int block_;
    const char *part_ = nullptr;
    const DataBlockEntry *entry_ = nullptr; // no data block is added while the place is in use
    mutable QString text_;
};
void addWarning(Findings &findings, const Place &place, const QString &text) {
    ::addWarning(findings, place.text(), text);
}
void addFailure(Findings &findings, const Place &place, const QString &text) {
    ::addFailure(findings, place.text(), text);
}

// The text of a display descriptor: up to 13 characters, ended by a line feed. A byte that
// is not printable ASCII ends it too, with a warning (as edid-decode reads it).
QString descriptorText(Bytes text, const char *label, Findings &findings) {
    std::array<char, 14> out{}; // the characters read, and a terminating zero
    size_t length = 0;
    for (uint8_t c : text.first(std::min(text.size(), out.size() - 1))) {
        if (c == 0x0A) {
            break;
        }
        if (c < 0x20 || c >= 0x7F) {
            addWarning(
                findings, baseBlockPlace(),
                formatText("%s: non-printable byte 0x%02x ends the text after '%s'", label, c, out.data()));
            break;
        }
        out[length++] = static_cast<char>(c);
    }
    // Padding spaces after the line feed are dropped with it; trailing spaces without
    // one are part of the text as the display gave it.
    return QString::fromLatin1(out.data(), static_cast<qsizetype>(length));
}

void checkDetailedTiming(const DetailedTiming &t, Findings &findings, const Place &where) {
    if (t.hActive == 0 || t.vActive == 0) {
        addFailure(findings, where, QStringLiteral("detailed timing with no active pixels or lines"));
    } else if (t.hFrontPorch + t.hSync > t.hBlank || t.vFrontPorch + t.vSync > t.vBlank) {
        addWarning(findings, where,
                   formatText("%dx%d: front porch and sync longer than the blanking", t.hActive, t.vActive));
    }
}

// Bytes 35 to 37, most significant bit first; the last seven bits are the manufacturer's.
// As literals, so that a decoded EDID shares their text instead of copying it.
constexpr size_t kEstablishedTimingCount = 17;
QString establishedTimingName(size_t bit) {
    static const std::array<QString, kEstablishedTimingCount> kNames = {
        QStringLiteral("720x400@70"),   QStringLiteral("720x400@88"),  QStringLiteral("640x480@60"),
        QStringLiteral("640x480@67"),   QStringLiteral("640x480@72"),  QStringLiteral("640x480@75"),
        QStringLiteral("800x600@56"),   QStringLiteral("800x600@60"),  QStringLiteral("800x600@72"),
        QStringLiteral("800x600@75"),   QStringLiteral("832x624@75"),  QStringLiteral("1024x768i@87"),
        QStringLiteral("1024x768@60"),  QStringLiteral("1024x768@70"), QStringLiteral("1024x768@75"),
        QStringLiteral("1280x1024@75"), QStringLiteral("1152x870@75")};
    return kNames[bit];
}

void decodeRangeLimits(Bytes d, BaseBlock &base) {
    RangeLimits limits;
    const uint8_t offsets = d[4];
    limits.minVerticalHz = static_cast<uint16_t>(d[5] + ((offsets & 0x03) == 0x03 ? 255 : 0));
    limits.maxVerticalHz = static_cast<uint16_t>(d[6] + ((offsets & 0x02) != 0 ? 255 : 0));
    limits.minHorizontalKhz = static_cast<uint16_t>(d[7] + ((offsets & 0x0C) == 0x0C ? 255 : 0));
    limits.maxHorizontalKhz = static_cast<uint16_t>(d[8] + ((offsets & 0x08) != 0 ? 255 : 0));
    limits.maxPixelClockMhz = static_cast<uint16_t>(d[9] * 10);
    base.rangeLimits = limits;
}

void decodeBase(Bytes b, EdidDecoded &out) {
    BaseBlock &base = out.base;
    Findings &findings = out.findings;
    const Place where(baseBlockPlace());
    base.headerRight = std::equal(kHeader.begin(), kHeader.end(), b.begin());
    if (!base.headerRight) {
        addFailure(findings, where, QStringLiteral("the header is not 00 FF FF FF FF FF FF 00"));
    }
    base.manufacturer = manufacturerId(b[8], b[9]);
    base.productCode = static_cast<uint16_t>(b[10] | b[11] << 8);
    base.serialNumber =
        uint32_t{b[12]} | uint32_t{b[13]} << 8 | uint32_t{b[14]} << 16 | uint32_t{b[15]} << 24;
    base.week = b[16];
    base.modelYear = b[16] == 0xFF;
    base.year = static_cast<uint16_t>(1990 + b[17]);
    base.version = b[18];
    base.revision = b[19];
    if (base.version != 1 || base.revision > 4) {
        addWarning(findings, where, formatText("unknown EDID version %d.%d", base.version, base.revision));
    }
    base.digital = (b[20] & 0x80) != 0;
    base.widthCm = b[21];
    base.heightCm = b[22];
    if (b[23] != 0xFF) {
        base.gamma = (b[23] + 100) / 100.0;
    }
    base.firstTimingPreferred = (b[24] & 0x02) != 0 || base.revision >= 4;

    const auto tenBit = [&](int high, int lowByte, int shift) {
        return ((b[high] << 2) | ((b[lowByte] >> shift) & 0x03)) / 1024.0;
    };
    Chromaticity &c = base.chromaticity;
    c.redX = tenBit(27, 25, 6);
    c.redY = tenBit(28, 25, 4);
    c.greenX = tenBit(29, 25, 2);
    c.greenY = tenBit(30, 25, 0);
    c.blueX = tenBit(31, 26, 6);
    c.blueY = tenBit(32, 26, 4);
    c.whiteX = tenBit(33, 26, 2);
    c.whiteY = tenBit(34, 26, 0);

    const uint32_t established = uint32_t{b[35]} << 16 | uint32_t{b[36]} << 8 | b[37];
    base.establishedTimings.reserve(
        static_cast<size_t>(std::popcount(established >> (24 - kEstablishedTimingCount))));
    for (size_t i = 0; i < kEstablishedTimingCount; ++i) {
        if ((established & (0x800000u >> i)) != 0) {
            base.establishedTimings.push_back(establishedTimingName(i));
        }
    }

    for (int i = 0; i < 8; ++i) {
        const uint8_t first = b[38 + 2 * i];
        const uint8_t second = b[39 + 2 * i];
        if ((first == 0x01 && second == 0x01) || (first == 0x00 && second == 0x00) ||
            (first == 0x20 && second == 0x20)) {
            continue; // unused
        }
        if (base.standardTimings.empty()) {
            base.standardTimings.reserve(static_cast<size_t>(8 - i)); // at most the slots left
        }
        StandardTiming s;
        s.hActive = static_cast<uint16_t>((first + 31) * 8);
        s.refreshHz = static_cast<uint8_t>((second & 0x3F) + 60);
        switch (second >> 6) {
        case 0:
            s.aspect = base.version == 1 && base.revision < 3 ? "1:1" : "16:10";
            s.vActive = static_cast<uint16_t>(base.version == 1 && base.revision < 3 ? s.hActive
                                                                                     : s.hActive * 10 / 16);
            break;
        case 1:
            s.aspect = "4:3";
            s.vActive = static_cast<uint16_t>(s.hActive * 3 / 4);
            break;
        case 2:
            s.aspect = "5:4";
            s.vActive = static_cast<uint16_t>(s.hActive * 4 / 5);
            break;
        default:
            s.aspect = "16:9";
            s.vActive = static_cast<uint16_t>(s.hActive * 9 / 16);
            break;
        }
        base.standardTimings.push_back(s);
    }

    for (int i = 0; i < kDescriptorCount; ++i) {
        const Bytes d =
            b.subspan(static_cast<size_t>(kFirstDescriptor + i * kDescriptorSize), kDescriptorSize);
        if (d[0] != 0 || d[1] != 0) {
            const DetailedTiming t = decodeDetailedTiming(d, 0);
            checkDetailedTiming(t, findings, where);
            if (base.detailedTimings.empty()) {
                base.detailedTimings.reserve(static_cast<size_t>(kDescriptorCount - i)); // the slots left
            }
            base.detailedTimings.push_back(t);
            continue;
        }
        const Bytes text = d.subspan(5, 13);
        switch (d[3]) {
        case 0xFC:
            base.productName = descriptorText(text, "Display product name", findings);
            break;
        case 0xFF:
            base.serialText = descriptorText(text, "Display product serial number", findings);
            break;
        case 0xFE:
            base.asciiTexts.push_back(descriptorText(text, "Alphanumeric data string", findings));
            break;
        case 0xFD:
            decodeRangeLimits(d, base);
            break;
        default:
            break; // colour points, more standard timings, CVT codes, dummies
        }
    }
    if (base.detailedTimings.empty() && base.digital) {
        addWarning(findings, where, QStringLiteral("no detailed timing"));
    }
    base.extensionCount = b[kExtensionCountByte];
}

// --- CTA-861 -------------------------------------------------------------------------

// A flag of a decoded part: the byte it stands in (counted as the decoder's bytes are), its
// bit, and the part's field.
template <typename Part> struct Flag {
    size_t byte;
    uint8_t bit;
    bool Part::*field;
};
// Sets every flag whose byte the bytes hold.
template <typename Part, size_t N> void readFlags(Bytes p, const Flag<Part> (&flags)[N], Part &part) {
    for (const Flag<Part> &flag : flags) {
        if (flag.byte < p.size()) {
            part.*flag.field = (p[flag.byte] & flag.bit) != 0;
        }
    }
}

// A short video descriptor, or nullopt for a reserved code.
std::optional<VideoDescriptor> videoDescriptor(uint8_t svd) {
    if (cta::svdReserved(svd)) {
        return std::nullopt;
    }
    return VideoDescriptor{cta::svdVic(svd), cta::svdNative(svd), false};
}

void decodeVideoBlock(Bytes p, CtaBlock &cta, Findings &findings, const Place &where) {
    for (uint8_t svd : p) {
        if (const auto descriptor = videoDescriptor(svd)) {
            cta.videos.push_back(*descriptor);
        } else {
            addWarning(findings, where, formatText("reserved short video descriptor 0x%02x", svd));
        }
    }
}

void decodeAudioBlock(Bytes p, CtaBlock &cta, Findings &findings, const Place &where) {
    if (p.size() % cta::kSadBytes != 0) {
        addFailure(findings, where, formatText("length %zu is not a multiple of 3", p.size()));
    }
    for (size_t at = 0; at + cta::kSadBytes <= p.size(); at += cta::kSadBytes) {
        const Bytes sad = p.subspan(at, cta::kSadBytes);
        AudioFormat f;
        f.code = cta::sadCoding(sad);
        f.maxChannels = static_cast<uint8_t>((sad[0] & 0x07) + 1);
        f.sampleRates = sad[1] & 0x7F;
        f.codeDependent = sad[2];
        switch (static_cast<AudioCoding>(f.code)) {
        case AudioCoding::Lpcm:
            f.bitDepths = sad[2] & 0x07;
            break;
        case AudioCoding::Ac3:
        case AudioCoding::Mpeg1:
        case AudioCoding::Mp3:
        case AudioCoding::Mpeg2:
        case AudioCoding::AacLc:
        case AudioCoding::Dts:
        case AudioCoding::Atrac:
            f.maxBitrateKbps = static_cast<uint16_t>(sad[2] * 8);
            break;
        case AudioCoding::EnhancedAc3:
            f.jointObjectCoding = (sad[2] & 0x01) != 0;
            f.acmod28 = (sad[2] & 0x02) != 0;
            break;
        case AudioCoding::DtsHd:
            f.dtsX = (sad[2] & 0x02) != 0;
            break;
        case AudioCoding::Mat:
            f.matObjectPcm = (sad[2] & 0x01) != 0;
            break;
        case AudioCoding::Extended:
            f.extendedCode = cta::sadExtendedCoding(sad);
            switch (static_cast<ExtendedAudioCoding>(f.extendedCode)) {
            case ExtendedAudioCoding::MpegH3d:
                f.maxChannels = 0; // it states its level there instead
                f.mpegHLevel = sad[0] & 0x07;
                f.mpegHLowComplexity = (sad[2] & 0x01) != 0;
                break;
            case ExtendedAudioCoding::Ac4:
                f.maxChannels = 0; // no channel count there
                break;
            case ExtendedAudioCoding::Lpcm3d:
                // Five bits; bit 3 is bit 7 of the first byte, bit 4 bit 7 of the rates.
                f.maxChannels =
                    static_cast<uint8_t>(((sad[0] & 0x07) | (sad[0] & 0x80) >> 4 | (sad[1] & 0x80) >> 3) + 1);
                break;
            }
            break;
        default:
            if (f.code == 0) {
                addWarning(findings, where, QStringLiteral("reserved audio format code 0"));
            }
            break;
        }
        if (f.sampleRates == 0) {
            addWarning(findings, where, QStringLiteral("%1 with no sample rate").arg(audioFormatName(f)));
        }
        cta.audio.push_back(f);
    }
}

void decodeHdrStatic(Bytes p, CtaBlock &cta, Findings &findings, const Place &where) {
    // p starts after the extended tag: EOTFs, descriptor types, then up to three luminances.
    if (p.size() < 2) {
        addFailure(findings, where, formatText("length %zu is too short", p.size() + 1));
        return;
    }
    HdrStatic h;
    h.eotfs = p[0];
    h.descriptors = p[1];
    if ((h.eotfs & 0xF0) != 0) {
        addWarning(findings, where, QStringLiteral("reserved EOTF bits set"));
    }
    if (p.size() >= 3) {
        h.maxLuminanceCode = p[2];
        h.maxLuminance = 50.0 * std::pow(2.0, p[2] / 32.0);
    }
    if (p.size() >= 4) {
        h.maxFrameAverageCode = p[3];
        h.maxFrameAverageLuminance = 50.0 * std::pow(2.0, p[3] / 32.0);
    }
    if (p.size() >= 5) {
        h.minLuminanceCode = p[4];
        if (h.maxLuminance) {
            const double ratio = p[4] / 255.0;
            h.minLuminance = *h.maxLuminance * ratio * ratio / 100.0;
        }
    }
    cta.hdrStatic = h;
}

void decodeHdmiVsdb(Bytes p, CtaBlock &cta, Findings &findings, const Place &where) {
    // p starts after the OUI.
    if (p.size() < 2) {
        addFailure(findings, where, QStringLiteral("too short for the physical address"));
        return;
    }
    static constexpr Flag<HdmiVsdb> kFlags[] = {
        {2, 0x80, &HdmiVsdb::supportsAi},    {2, 0x40, &HdmiVsdb::deepColor48},
        {2, 0x20, &HdmiVsdb::deepColor36},   {2, 0x10, &HdmiVsdb::deepColor30},
        {2, 0x08, &HdmiVsdb::deepColorY444}, {2, 0x01, &HdmiVsdb::dviDual}};
    HdmiVsdb h;
    h.physicalAddress = static_cast<uint16_t>(p[0] << 8 | p[1]);
    readFlags(p, kFlags, h);
    size_t at = std::min<size_t>(p.size(), 3); // after the flags
    if (p.size() > at) {
        h.maxTmdsMhz = static_cast<uint16_t>(p[at++] * 5);
    }
    if (p.size() > at) {
        const uint8_t latencyFlags = p[at++];
        const bool latency = (latencyFlags & 0x80) != 0;
        const bool interlacedLatency = (latencyFlags & 0x40) != 0;
        const bool videoPresent = (latencyFlags & 0x20) != 0;
        const auto take = [&](std::optional<uint8_t> &value) {
            if (p.size() > at) {
                value = p[at++];
            } else {
                addFailure(findings, where, QStringLiteral("latency fields cut short"));
            }
        };
        if (latency) {
            take(h.videoLatency);
            take(h.audioLatency);
        }
        if (interlacedLatency) {
            take(h.interlacedVideoLatency);
            take(h.interlacedAudioLatency);
        }
        if (videoPresent && p.size() >= at + 2) {
            h.present3d = (p[at] & 0x80) != 0;
            const size_t vicCount = p[at + 1] >> 5;
            at += 2;
            h.hdmiVics.reserve(std::min(vicCount, p.size() - at));
            for (size_t i = 0; i < vicCount; ++i) {
                if (p.size() <= at) {
                    addFailure(findings, where, QStringLiteral("HDMI VICs cut short"));
                    break;
                }
                h.hdmiVics.push_back(p[at++]);
            }
        } else if (videoPresent) {
            addFailure(findings, where, QStringLiteral("HDMI video fields cut short"));
        }
    }
    if (cta.hdmi) {
        addWarning(findings, where, QStringLiteral("a second HDMI VSDB"));
    }
    cta.hdmi = std::move(h);
}

void decodeHdmiForum(Bytes p, bool fromScdb, CtaBlock &cta, Findings &findings, const Place &where) {
    // p starts at the version byte: after the OUI, or after the SCDB's two reserved bytes.
    if (p.size() < 4) {
        addFailure(findings, where, QStringLiteral("length too short"));
        return;
    }
    static constexpr Flag<HdmiForum> kFlags[] = {{2, 0x80, &HdmiForum::scdc},
                                                 {2, 0x40, &HdmiForum::readRequest},
                                                 {2, 0x10, &HdmiForum::ccbpci},
                                                 {2, 0x08, &HdmiForum::lte340Scramble},
                                                 {2, 0x04, &HdmiForum::independentView},
                                                 {2, 0x02, &HdmiForum::dualView},
                                                 {2, 0x01, &HdmiForum::osdDisparity},
                                                 {3, 0x08, &HdmiForum::uhdVic},
                                                 {3, 0x04, &HdmiForum::deepColor420_48},
                                                 {3, 0x02, &HdmiForum::deepColor420_36},
                                                 {3, 0x01, &HdmiForum::deepColor420_30},
                                                 {4, 0x80, &HdmiForum::fapaEndExtended},
                                                 {4, 0x40, &HdmiForum::qms},
                                                 {4, 0x20, &HdmiForum::mDelta},
                                                 {4, 0x10, &HdmiForum::cinemaVrr},
                                                 {4, 0x08, &HdmiForum::negativeMvrr},
                                                 {4, 0x04, &HdmiForum::fva},
                                                 {4, 0x02, &HdmiForum::allm},
                                                 {4, 0x01, &HdmiForum::fapaStart}};
    HdmiForum f;
    f.fromScdb = fromScdb;
    f.version = p[0];
    f.maxTmdsMhz = static_cast<uint16_t>(p[1] * 5);
    f.maxFrlCode = p[3] >> 4;
    readFlags(p, kFlags, f);
    if (f.maxFrlCode > 6) {
        addFailure(findings, where, formatText("reserved Max_FRL_Rate %d", f.maxFrlCode));
    }
    if (p.size() >= 7) {
        f.vrrMin = p[5] & 0x3F;
        f.vrrMax = static_cast<uint16_t>((p[5] & 0xC0) << 2 | p[6]);
    }
    if (p.size() >= 8) {
        f.dsc = (p[7] & 0x80) != 0;
        f.dscNative420 = (p[7] & 0x40) != 0;
    }
    if (p.size() >= 9) {
        f.dscMaxFrlCode = p[8] >> 4;
        f.dscMaxSlicesCode = p[8] & 0x0F;
    }
    cta.hdmiForum = f;
}

double pqToNits(double code12bit) {
    // SMPTE ST 2084 inverse EOTF of a 12-bit code value.
    constexpr double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128, c1 = 3424.0 / 4096,
                     c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
    const double e = std::pow(code12bit / 4095.0, 1.0 / m2);
    return 10000.0 * std::pow(std::max(e - c1, 0.0) / (c2 - c3 * e), 1.0 / m1);
}

void decodeDolbyVision(Bytes p, CtaBlock &cta, Findings &findings, const Place &where) {
    // p starts after the OUI.
    if (p.empty()) {
        addFailure(findings, where, QStringLiteral("no version byte"));
        return;
    }
    DolbyVision dv;
    dv.length = static_cast<uint8_t>(p.size());
    dv.version = p[0] >> 5;
    dv.yuv422TwelveBit = (p[0] & 0x01) != 0;
    switch (dv.version) {
    case 0:
        dv.supports2160p60 = (p[0] & 0x02) != 0;
        dv.globalDimming = (p[0] & 0x04) != 0;
        if (p.size() >= 21) {
            // The primaries and white point (bytes 1 to 12), then the 12-bit target
            // luminances as PQ codes sharing byte 13's nibbles, then the DM version.
            dv.targetMinPq = static_cast<uint16_t>(p[14] << 4 | p[13] >> 4);
            dv.targetMaxPq = static_cast<uint16_t>(p[15] << 4 | (p[13] & 0x0F));
            dv.targetMinLuminance = pqToNits(*dv.targetMinPq);
            dv.targetMaxLuminance = pqToNits(*dv.targetMaxPq);
            dv.dmVersion = p[16] >> 4;
        } else {
            addFailure(findings, where,
                       formatText("version 0 needs 21 bytes after the OUI, has %zu", p.size()));
        }
        break;
    case 1:
    case 2:
        // The DM version, and 2160p60 (version 1) or backlight control (version 2).
        dv.dmVersion = ((p[0] >> 2) & 0x07) + 2;
        if (dv.version == 1) {
            dv.supports2160p60 = (p[0] & 0x02) != 0;
        } else {
            dv.backlightControl = (p[0] & 0x02) != 0;
        }
        if (p.size() < 3) {
            addFailure(findings, where, formatText("version %d cut short", dv.version));
        } else if (dv.version == 1) {
            dv.globalDimming = (p[1] & 0x01) != 0;
            dv.targetMaxLuminance = 100.0 + 50.0 * (p[1] >> 1);
            const double minCode = (p[2] >> 1) / 127.0;
            dv.targetMinLuminance = minCode * minCode;
            dv.colorimetryP3 = (p[2] & 0x01) != 0;
            if (p.size() == 7) { // the 12-byte block of low-latency sinks
                dv.interfaceCode = p[3] & 0x03;
            }
        } else {
            dv.globalDimming = (p[1] & 0x04) != 0;
            dv.targetMinPq = static_cast<uint16_t>(20 * (p[1] >> 3));
            dv.targetMaxPq = static_cast<uint16_t>(2055 + 65 * (p[2] >> 3));
            dv.targetMinLuminance = pqToNits(*dv.targetMinPq);
            dv.targetMaxLuminance = pqToNits(*dv.targetMaxPq);
            dv.interfaceCode = p[2] & 0x03;
        }
        break;
    default:
        addWarning(findings, where, formatText("unknown Dolby Vision version %d", dv.version));
        break;
    }
    cta.dolbyVision = dv;
}

void decodeDolbyAudio(Bytes p, CtaBlock &cta, Findings &findings, const Place &where) {
    // p starts after the OUI.
    if (p.size() < 2) {
        addFailure(findings, where, formatText("length %zu is too short", p.size() + 4));
        return;
    }
    static constexpr Flag<DolbyAudio> kFlags[] = {{0, 0x80, &DolbyAudio::headphoneOnly},
                                                  {0, 0x40, &DolbyAudio::heightZone},
                                                  {0, 0x20, &DolbyAudio::surroundZone},
                                                  {0, 0x10, &DolbyAudio::centerZone},
                                                  {1, 0x01, &DolbyAudio::matPcm48kOnly}};
    DolbyAudio a;
    a.length = static_cast<uint8_t>(p.size());
    a.version = static_cast<uint8_t>((p[0] & 0x07) + 1);
    readFlags(p, kFlags, a);
    cta.dolbyAudio = a;
}

void decodeHdr10Plus(Bytes p, CtaBlock &cta, Findings &, const Place &) {
    // p starts after the OUI.
    cta.hdr10Plus = true;
    if (!p.empty()) {
        cta.hdr10PlusApplicationVersion = p[0] & 0x03;
    }
}

// The vendor-specific blocks the decoder reads: the block, the OUI, and the decoder of the
// bytes after the OUI.
struct VendorDecoder {
    cta::VendorBlock block;
    uint32_t oui;
    void (*decode)(Bytes, CtaBlock &, Findings &, const Place &);
};
constexpr VendorDecoder kVendorDecoders[] = {
    {cta::kVsdb, cta::kOuiHdmi, decodeHdmiVsdb},
    {cta::kVsdb, cta::kOuiHdmiForum,
     [](Bytes p, CtaBlock &cta, Findings &findings, const Place &where) {
         decodeHdmiForum(p, false, cta, findings, where);
     }},
    {cta::kVsvdb, cta::kOuiDolby, decodeDolbyVision},
    {cta::kVsvdb, cta::kOuiHdr10Plus, decodeHdr10Plus},
    {cta::kVsadb, cta::kOuiDolby, decodeDolbyAudio}};

void decodeVendorBlock(const cta::DataBlock &b, CtaBlock &cta, Findings &findings, const Place &where) {
    const Bytes body = b.body();
    // The vendor-specific data and video data blocks need their OUI.
    if (body.size() < 3 && b.vendorBlock() != cta::kVsadb) {
        addFailure(findings, where, QStringLiteral("too short for its OUI"));
        return;
    }
    for (const VendorDecoder &vendor : kVendorDecoders) {
        if (vendor.block == b.vendorBlock() && vendor.oui == b.oui()) {
            vendor.decode(body.subspan(3), cta, findings, where);
        }
    }
}

void decodeDataBlock(const cta::DataBlock &b, CtaBlock &cta, Findings &findings, int block) {
    DataBlockEntry entry;
    entry.tag = b.tag;
    entry.length = static_cast<uint8_t>(b.payload.size());
    entry.extendedTag = b.extendedTag;
    entry.oui = b.oui();
    cta.dataBlocks.push_back(entry);
    // Only this function adds to the list while the place is in use.
    const Place where(block, cta.dataBlocks.back());
    const Bytes p = b.payload;
    const Bytes ext = b.body();
    switch (b.tag) {
    case cta::kTagAudio:
        decodeAudioBlock(p, cta, findings, where);
        return;
    case cta::kTagVideo:
        decodeVideoBlock(p, cta, findings, where);
        return;
    case cta::kTagVendor:
        decodeVendorBlock(b, cta, findings, where);
        return;
    case cta::kTagSpeakers:
        if (p.size() >= 3) {
            cta.speakerAllocation = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
        } else if (!p.empty()) {
            cta.speakerAllocation = p[0];
            addFailure(findings, where, formatText("length %zu, should be 3", p.size()));
        } else {
            addFailure(findings, where, QStringLiteral("empty"));
        }
        return;
    case cta::kTagExtended:
        break;
    default:
        return;
    }
    if (!b.extendedTag) {
        addFailure(findings, where, QStringLiteral("length 0"));
        return;
    }
    switch (*b.extendedTag) {
    case cta::kExtVideoCapability:
        if (ext.empty()) {
            addFailure(findings, where, QStringLiteral("empty"));
        } else {
            cta.videoCapability = ext[0];
        }
        break;
    case cta::kExtVendorVideo:
    case cta::kExtVendorAudio:
        decodeVendorBlock(b, cta, findings, where);
        break;
    case cta::kExtColorimetry:
        if (ext.size() >= 2) {
            cta.colorimetry = static_cast<uint16_t>(ext[0] | ext[1] << 8);
        } else {
            addFailure(findings, where, formatText("length %zu, should be 3", p.size()));
        }
        break;
    case cta::kExtHdrStatic:
        decodeHdrStatic(ext, cta, findings, where);
        break;
    case cta::kExtYcbcr420Video:
        for (uint8_t svd : ext) {
            if (const auto descriptor = videoDescriptor(svd)) {
                cta.ycbcr420OnlyVics.push_back(descriptor->vic);
            }
        }
        break;
    case cta::kExtYcbcr420Map:
        // Resolved once all Video Data Blocks of the extension are known.
        cta.ycbcr420MapPresent = true;
        break;
    case cta::kExtHdmiForumScdb:
        if (ext.size() < 2) {
            addFailure(findings, where, QStringLiteral("too short"));
        } else {
            decodeHdmiForum(ext.subspan(2), true, cta, findings, where);
        }
        break;
    default:
        break;
    }
}

// Marks the descriptors a 4:2:0 capability map names: bit n of the map stands for the nth
// descriptor of the Video Data Blocks; an empty map names them all.
void applyYcbcr420Map(Bytes map, CtaBlock &cta, Findings &findings, int block) {
    const Place where(block, "YCbCr 4:2:0 Capability Map Data Block");
    if (map.empty()) {
        for (VideoDescriptor &v : cta.videos) {
            v.ycbcr420Capable = true;
        }
        return;
    }
    for (size_t bit = 0; bit < map.size() * 8; ++bit) {
        if ((map[bit / 8] & (1u << (bit % 8))) == 0) {
            continue;
        }
        if (bit < cta.videos.size()) {
            cta.videos[bit].ycbcr420Capable = true;
        } else {
            addWarning(findings, where, formatText("bit %zu names no video descriptor", bit));
        }
    }
}

// Makes room in the block's lists for every data block, descriptor and timing the layout
// holds, so that each list is allocated once.
void reserveLists(const cta::CtaLayout &layout, CtaBlock &cta) {
    size_t blocks = 0, svds = 0, sads = 0, ycbcr420Only = 0;
    for (const cta::DataBlock &b : layout.dataBlocks()) {
        ++blocks;
        if (b.tag == cta::kTagVideo) {
            svds += b.payload.size();
        } else if (b.tag == cta::kTagAudio) {
            sads += b.payload.size() / cta::kSadBytes;
        } else if (b.extendedTag == cta::kExtYcbcr420Video) {
            ycbcr420Only += b.body().size();
        }
    }
    cta.dataBlocks.reserve(blocks);
    cta.videos.reserve(svds);
    cta.audio.reserve(sads);
    cta.ycbcr420OnlyVics.reserve(ycbcr420Only);
    cta.detailedTimings.reserve(layout.timingCount());
}

void decodeCta(std::span<const uint8_t, kEdidBlockSize> b, int block, EdidDecoded &out) {
    Findings &findings = out.findings;
    const Place where(block, "CTA-861 Extension Block");
    CtaBlock cta;
    cta.block = block;
    cta.revision = b[1];
    if (cta.revision >= 2) {
        cta.underscan = (b[3] & 0x80) != 0;
        cta.basicAudio = (b[3] & 0x40) != 0;
        cta.ycbcr444 = (b[3] & 0x20) != 0;
        cta.ycbcr422 = (b[3] & 0x10) != 0;
        cta.nativeDtdCount = b[3] & 0x0F;
    }
    if (cta.revision < 1 || cta.revision > 3) {
        addWarning(findings, where, formatText("unknown revision %d", cta.revision));
    }
    const cta::CtaLayout layout(b);
    if (layout.timingOffset() == cta::TimingOffset::PastBlock) {
        addFailure(findings, where, formatText("detailed timings said to start at %d, past the block", b[2]));
    } else if (layout.timingOffset() == cta::TimingOffset::InHeader) {
        addFailure(findings, where,
                   formatText("detailed timings said to start at %d, inside the header", b[2]));
    }
    reserveLists(layout, cta);
    std::optional<Bytes> ycbcr420Map;
    for (const cta::DataBlock &dataBlock : layout.dataBlocks()) {
        decodeDataBlock(dataBlock, cta, findings, block);
        if (dataBlock.extendedTag == cta::kExtYcbcr420Map) {
            if (ycbcr420Map) {
                addWarning(findings, where, QStringLiteral("a second YCbCr 4:2:0 Capability Map Data Block"));
            }
            ycbcr420Map = dataBlock.body();
        }
    }
    if (const std::optional<QString> overrun = layout.overrun()) {
        addFailure(findings, where, *overrun);
    }
    if (ycbcr420Map) {
        applyYcbcr420Map(*ycbcr420Map, cta, findings, block);
    }
    for (size_t i = 0; i < layout.timingCount(); ++i) {
        const DetailedTiming t = decodeDetailedTiming(layout.timing(i), block);
        checkDetailedTiming(t, findings, where);
        cta.detailedTimings.push_back(t);
    }
    out.cta.push_back(std::move(cta));
}

} // namespace

DetailedTiming decodeDetailedTiming(std::span<const uint8_t> d, int block) {
    DetailedTiming t;
    t.block = block;
    t.pixelClockKhz = (uint32_t{d[0]} | uint32_t{d[1]} << 8) * 10;
    t.hActive = static_cast<uint16_t>(d[2] | (d[4] & 0xF0) << 4);
    t.hBlank = static_cast<uint16_t>(d[3] | (d[4] & 0x0F) << 8);
    t.vActive = static_cast<uint16_t>(d[5] | (d[7] & 0xF0) << 4);
    t.vBlank = static_cast<uint16_t>(d[6] | (d[7] & 0x0F) << 8);
    t.hFrontPorch = static_cast<uint16_t>(d[8] | (d[11] & 0xC0) << 2);
    t.hSync = static_cast<uint16_t>(d[9] | (d[11] & 0x30) << 4);
    t.vFrontPorch = static_cast<uint16_t>(d[10] >> 4 | (d[11] & 0x0C) << 2);
    t.vSync = static_cast<uint16_t>((d[10] & 0x0F) | (d[11] & 0x03) << 4);
    t.hSizeMm = static_cast<uint16_t>(d[12] | (d[14] & 0xF0) << 4);
    t.vSizeMm = static_cast<uint16_t>(d[13] | (d[14] & 0x0F) << 8);
    t.interlaced = (d[17] & 0x80) != 0;
    const double hTotal = t.hActive + t.hBlank;
    // An interlaced timing states one field; each field carries half a blanking line more.
    const double vTotal = t.interlaced ? t.vActive + t.vBlank + 0.5 : t.vActive + t.vBlank;
    if (t.interlaced) {
        t.vActive = static_cast<uint16_t>(t.vActive * 2);
    }
    if (hTotal > 0 && vTotal > 0) {
        t.refreshHz = t.pixelClockKhz * 1000.0 / (hTotal * vTotal);
    }
    return t;
}

QString extensionName(uint8_t tag) {
    struct Named {
        uint8_t tag;
        const char *name;
    };
    static constexpr Named kNames[] = {{cta::kExtensionTag, "CTA-861"},
                                       {0x10, "Video Timing Extension"},
                                       {0x20, "EDID 2.0 Extension"},
                                       {0x40, "Display Information Extension"},
                                       {0x50, "Localized String Extension"},
                                       {0x60, "Microdisplay Interface Extension"},
                                       {0x70, "DisplayID"},
                                       {0xA7, "Display Transfer Characteristics Data Block"},
                                       {0xAF, "Display Transfer Characteristics Data Block"},
                                       {0xBF, "Display Transfer Characteristics Data Block"},
                                       {0xF0, "Block Map"},
                                       {0xFF, "Manufacturer-Specific Extension"}};
    for (const Named &named : kNames) {
        if (named.tag == tag) {
            return QLatin1String(named.name);
        }
    }
    return formatText("Unknown Extension (tag 0x%02x)", tag);
}

QString dataBlockName(const DataBlockEntry &entry) {
    return cta::dataBlockName(entry.tag, entry.extendedTag, entry.oui);
}

QString manufacturerId(uint8_t high, uint8_t low) {
    const uint16_t id = static_cast<uint16_t>(high << 8 | low);
    QString letters;
    for (int shift : {10, 5, 0}) {
        const int code = (id >> shift) & 0x1F;
        letters += code >= 1 && code <= 26 ? QChar('A' + code - 1) : QChar('?');
    }
    return letters;
}

QString audioFormatName(const AudioFormat &format) {
    return cta::audioCodingName(format.code, format.extendedCode);
}

bool vrrSupported(const HdmiForum &forum) {
    return forum.vrrMin && (*forum.vrrMin != 0 || *forum.vrrMax != 0);
}

const DetailedTiming *EdidDecoded::preferredTiming() const {
    return base.detailedTimings.empty() ? nullptr : &base.detailedTimings.front();
}

EdidDecoded decodeEdid(std::span<const uint8_t> bytes) {
    EdidDecoded out;
    out.size = bytes.size();
    const size_t blocks = bytes.size() / kEdidBlockSize;
    if (blocks == 0) {
        addFailure(out.findings, QString(),
                   formatText("%zu bytes: an EDID has at least one block of 128", bytes.size()));
        return out;
    }
    if (bytes.size() % kEdidBlockSize != 0) {
        addWarning(out.findings, QString(),
                   formatText("%zu bytes after the last whole block ignored", bytes.size() % kEdidBlockSize));
    }
    const auto blockBytes = [&](size_t index) {
        return bytes.subspan(index * kEdidBlockSize).first<kEdidBlockSize>();
    };
    decodeBase(blockBytes(0), out);
    const size_t stated = size_t{1} + out.base.extensionCount;
    if (stated > blocks) {
        addFailure(
            out.findings, baseBlockPlace(),
            formatText("%d extension blocks stated, %zu present", out.base.extensionCount, blocks - 1));
    }
    const size_t decoded = std::min(stated, blocks);
    out.checksums.reserve(decoded);
    out.checksumsOk.reserve(decoded);
    out.extensions.reserve(decoded - 1);
    size_t ctaBlocks = 0;
    for (size_t index = 1; index < decoded; ++index) {
        ctaBlocks += blockBytes(index)[0] == cta::kExtensionTag ? 1 : 0;
    }
    out.cta.reserve(ctaBlocks);
    for (size_t index = 0; index < decoded; ++index) {
        const auto block = blockBytes(index);
        const uint8_t expected = edidBlockChecksum(block);
        out.checksums.push_back(block[kEdidBlockSize - 1]);
        out.checksumsOk.push_back(block[kEdidBlockSize - 1] == expected);
        if (block[kEdidBlockSize - 1] != expected) {
            addFailure(out.findings, formatText("Block %zu, Checksum", index),
                       formatText("0x%02x, should be 0x%02x", block[kEdidBlockSize - 1], expected));
        }
        if (index == 0) {
            continue;
        }
        const int blockIndex = static_cast<int>(index);
        out.extensions.push_back({blockIndex, block[0]});
        if (block[0] == cta::kExtensionTag) {
            decodeCta(block, blockIndex, out);
        }
    }
    return out;
}

} // namespace edid
