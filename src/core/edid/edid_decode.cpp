#include "core/edid/edid_decode.h"

#include "core/edid/edid_image.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace edid {

namespace {

using Bytes = std::span<const uint8_t>;

constexpr std::array<uint8_t, 8> kHeader = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr int kDescriptorSize = 18;
constexpr int kFirstDescriptor = 54;
constexpr int kDescriptorCount = 4;
constexpr int kExtensionCountByte = 126;

constexpr uint8_t kTagCta = 0x02;

// Vendor OUIs as the blocks store them, least significant byte first.
constexpr uint32_t kOuiHdmi = 0x000C03;
constexpr uint32_t kOuiHdmiForum = 0xC45DD8;
constexpr uint32_t kOuiDolby = 0x00D046;
constexpr uint32_t kOuiHdr10Plus = 0x90848B;

constexpr std::array<double, 7> kRatesKhz = {32, 44.1, 48, 88.2, 96, 176.4, 192};

QString blockWhere(int block, const char *part) {
    return QStringLiteral("Block %1, %2").arg(block).arg(QLatin1String(part));
}

// Where in the EDID a data block's finding stands; its text is made only for a finding.
struct Place {
    int block;
    const DataBlockEntry &entry;
};
QString placeText(const Place &place) {
    return QStringLiteral("Block %1, %2").arg(place.block).arg(dataBlockName(place.entry));
}
void addWarning(Findings &findings, const Place &place, const QString &text) {
    ::addWarning(findings, placeText(place), text);
}
void addFailure(Findings &findings, const Place &place, const QString &text) {
    ::addFailure(findings, placeText(place), text);
}

uint32_t ouiOf(Bytes payload) {
    return payload.size() < 3 ? 0
                              : uint32_t{payload[0]} | uint32_t{payload[1]} << 8 | uint32_t{payload[2]} << 16;
}

// The text of a display descriptor: up to 13 characters, ended by a line feed.
QString descriptorText(Bytes text) {
    QString out;
    for (uint8_t c : text) {
        if (c == 0x0A) {
            break;
        }
        out += QChar(c >= 0x20 && c < 0x7F ? c : '.');
    }
    // Padding spaces after the line feed are dropped with it; trailing spaces without
    // one are part of the text as the display gave it.
    return out;
}

DetailedTiming decodeDetailedTiming(Bytes d, int block) {
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

void checkDetailedTiming(const DetailedTiming &t, Findings &findings, const QString &where) {
    if (t.hActive == 0 || t.vActive == 0) {
        addFailure(findings, where, QStringLiteral("detailed timing with no active pixels or lines"));
    } else if (t.hFrontPorch + t.hSync > t.hBlank || t.vFrontPorch + t.vSync > t.vBlank) {
        addWarning(findings, where,
                   QStringLiteral("%1x%2: front porch and sync longer than the blanking")
                       .arg(t.hActive)
                       .arg(t.vActive));
    }
}

// Bytes 35 to 37, most significant bit first; the last seven bits are the manufacturer's.
constexpr std::array<const char *, 17> kEstablishedTimings = {
    "720x400@70",  "720x400@88",  "640x480@60",  "640x480@67",   "640x480@72", "640x480@75",
    "800x600@56",  "800x600@60",  "800x600@72",  "800x600@75",   "832x624@75", "1024x768i@87",
    "1024x768@60", "1024x768@70", "1024x768@75", "1280x1024@75", "1152x870@75"};

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
    const QString where = QStringLiteral("Block 0, Base EDID");
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
        addWarning(findings, where,
                   QStringLiteral("unknown EDID version %1.%2").arg(base.version).arg(base.revision));
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
    for (size_t i = 0; i < kEstablishedTimings.size(); ++i) {
        if ((established & (0x800000u >> i)) != 0) {
            base.establishedTimings.push_back(QLatin1String(kEstablishedTimings[i]));
        }
    }

    for (int i = 0; i < 8; ++i) {
        const uint8_t first = b[38 + 2 * i];
        const uint8_t second = b[39 + 2 * i];
        if ((first == 0x01 && second == 0x01) || (first == 0x00 && second == 0x00) ||
            (first == 0x20 && second == 0x20)) {
            continue; // unused
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
            base.detailedTimings.push_back(t);
            continue;
        }
        const Bytes text = d.subspan(5, 13);
        switch (d[3]) {
        case 0xFC:
            base.productName = descriptorText(text);
            break;
        case 0xFF:
            base.serialText = descriptorText(text);
            break;
        case 0xFE:
            base.asciiTexts.push_back(descriptorText(text));
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

QString blockName(uint8_t tag, std::optional<uint8_t> extendedTag, uint32_t oui) {
    switch (tag) {
    case 1:
        return QStringLiteral("Audio Data Block");
    case 2:
        return QStringLiteral("Video Data Block");
    case 3:
        switch (oui) {
        case kOuiHdmi:
            return QStringLiteral("Vendor-Specific Data Block (HDMI), OUI 00-0C-03");
        case kOuiHdmiForum:
            return QStringLiteral("Vendor-Specific Data Block (HDMI Forum), OUI C4-5D-D8");
        default:
            return QStringLiteral("Vendor-Specific Data Block, OUI %1")
                .arg(QStringLiteral("%1-%2-%3")
                         .arg(oui >> 16, 2, 16, QLatin1Char('0'))
                         .arg((oui >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
                         .arg(oui & 0xFF, 2, 16, QLatin1Char('0'))
                         .toUpper());
        }
    case 4:
        return QStringLiteral("Speaker Allocation Data Block");
    case 5:
        return QStringLiteral("VESA Display Transfer Characteristics Data Block");
    case 7:
        break;
    default:
        return QStringLiteral("Unknown Data Block (tag %1)").arg(tag);
    }
    if (!extendedTag) {
        return QStringLiteral("Extended tag data block without its tag");
    }
    switch (*extendedTag) {
    case 0:
        return QStringLiteral("Video Capability Data Block");
    case 1:
        switch (oui) {
        case kOuiDolby:
            return QStringLiteral("Vendor-Specific Video Data Block (Dolby), OUI 00-D0-46");
        case kOuiHdr10Plus:
            return QStringLiteral("Vendor-Specific Video Data Block (HDR10+), OUI 90-84-8B");
        default:
            return QStringLiteral("Vendor-Specific Video Data Block");
        }
    case 2:
        return QStringLiteral("VESA Video Display Device Data Block");
    case 3:
        return QStringLiteral("VESA Video Timing Block Extension");
    case 5:
        return QStringLiteral("Colorimetry Data Block");
    case 6:
        return QStringLiteral("HDR Static Metadata Data Block");
    case 7:
        return QStringLiteral("HDR Dynamic Metadata Data Block");
    case 8:
        return QStringLiteral("Native Video Resolution Data Block");
    case 13:
        return QStringLiteral("Video Format Preference Data Block");
    case 14:
        return QStringLiteral("YCbCr 4:2:0 Video Data Block");
    case 15:
        return QStringLiteral("YCbCr 4:2:0 Capability Map Data Block");
    case 17:
        return QStringLiteral("Vendor-Specific Audio Data Block");
    case 18:
        return QStringLiteral("HDMI Audio Data Block");
    case 19:
        return QStringLiteral("Room Configuration Data Block");
    case 20:
        return QStringLiteral("Speaker Location Data Block");
    case 32:
        return QStringLiteral("InfoFrame Data Block");
    case 34:
        return QStringLiteral("DisplayID Type VII Video Timing Data Block");
    case 35:
        return QStringLiteral("DisplayID Type VIII Video Timing Data Block");
    case 42:
        return QStringLiteral("DisplayID Type X Video Timing Data Block");
    case 120:
        return QStringLiteral("HDMI Forum EDID Extension Override Data Block");
    case 121:
        return QStringLiteral("HDMI Forum Sink Capability Data Block");
    default:
        return QStringLiteral("Unknown Extended Data Block (extended tag %1)").arg(*extendedTag);
    }
}

// A short video descriptor byte: codes 129 to 192 are VIC 1 to 64 marked native.
std::optional<VideoDescriptor> videoDescriptor(uint8_t svd) {
    if (svd == 0 || svd == 128 || svd >= 254) {
        return std::nullopt;
    }
    if (svd > 128 && svd <= 192) {
        return VideoDescriptor{static_cast<uint8_t>(svd & 0x7F), true, false};
    }
    return VideoDescriptor{svd, false, false};
}

void decodeVideoBlock(Bytes p, CtaBlock &cta, Findings &findings, const Place &where) {
    for (uint8_t svd : p) {
        if (const auto descriptor = videoDescriptor(svd)) {
            cta.videos.push_back(*descriptor);
        } else {
            addWarning(
                findings, where,
                QStringLiteral("reserved short video descriptor 0x%1").arg(svd, 2, 16, QLatin1Char('0')));
        }
    }
}

void decodeAudioBlock(Bytes p, CtaBlock &cta, Findings &findings, const Place &where) {
    if (p.size() % 3 != 0) {
        addFailure(findings, where, QStringLiteral("length %1 is not a multiple of 3").arg(p.size()));
    }
    for (size_t at = 0; at + 3 <= p.size(); at += 3) {
        AudioFormat f;
        f.code = (p[at] >> 3) & 0x0F;
        f.maxChannels = static_cast<uint8_t>((p[at] & 0x07) + 1);
        f.sampleRates = p[at + 1] & 0x7F;
        f.codeDependent = p[at + 2];
        switch (f.code) {
        case 0:
            addWarning(findings, where, QStringLiteral("reserved audio format code 0"));
            break;
        case 1:
            f.bitDepths = p[at + 2] & 0x07;
            break;
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 7:
        case 8:
            f.maxBitrateKbps = static_cast<uint16_t>(p[at + 2] * 8);
            break;
        case 10:
            f.jointObjectCoding = (p[at + 2] & 0x01) != 0;
            break;
        case 12:
            f.matObjectPcm = (p[at + 2] & 0x01) != 0;
            break;
        case 15:
            f.extendedCode = p[at + 2] >> 3;
            if (f.extendedCode == 11 || f.extendedCode == 12) {
                f.maxChannels = 0; // MPEG-H 3D Audio and AC-4 state no channel count there
            } else if (f.extendedCode == 13) {
                // L-PCM 3D Audio: five bits; bit 3 is bit 7 of the first byte, bit 4 bit 7 of the rates.
                f.maxChannels = static_cast<uint8_t>(
                    ((p[at] & 0x07) | (p[at] & 0x80) >> 4 | (p[at + 1] & 0x80) >> 3) + 1);
            }
            break;
        default:
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
        addFailure(findings, where, QStringLiteral("length %1 is too short").arg(p.size() + 1));
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
    HdmiVsdb h;
    h.physicalAddress = static_cast<uint16_t>(p[0] << 8 | p[1]);
    size_t at = 2;
    if (p.size() > at) {
        const uint8_t flags = p[at++];
        h.supportsAi = (flags & 0x80) != 0;
        h.deepColor48 = (flags & 0x40) != 0;
        h.deepColor36 = (flags & 0x20) != 0;
        h.deepColor30 = (flags & 0x10) != 0;
        h.deepColorY444 = (flags & 0x08) != 0;
        h.dviDual = (flags & 0x01) != 0;
    }
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
    cta.hdmi = h;
}

void decodeHdmiForum(Bytes p, bool fromScdb, CtaBlock &cta, Findings &findings, const Place &where) {
    // p starts at the version byte: after the OUI, or after the SCDB's two reserved bytes.
    if (p.size() < 4) {
        addFailure(findings, where, QStringLiteral("length too short"));
        return;
    }
    HdmiForum f;
    f.fromScdb = fromScdb;
    f.version = p[0];
    f.maxTmdsMhz = static_cast<uint16_t>(p[1] * 5);
    f.scdc = (p[2] & 0x80) != 0;
    f.readRequest = (p[2] & 0x40) != 0;
    f.ccbpci = (p[2] & 0x10) != 0;
    f.lte340Scramble = (p[2] & 0x08) != 0;
    f.independentView = (p[2] & 0x04) != 0;
    f.dualView = (p[2] & 0x02) != 0;
    f.osdDisparity = (p[2] & 0x01) != 0;
    f.maxFrlCode = p[3] >> 4;
    f.uhdVic = (p[3] & 0x08) != 0;
    f.deepColor420_48 = (p[3] & 0x04) != 0;
    f.deepColor420_36 = (p[3] & 0x02) != 0;
    f.deepColor420_30 = (p[3] & 0x01) != 0;
    if (f.maxFrlCode > 6) {
        addFailure(findings, where, QStringLiteral("reserved Max_FRL_Rate %1").arg(f.maxFrlCode));
    }
    if (p.size() >= 5) {
        f.fapaEndExtended = (p[4] & 0x80) != 0;
        f.qms = (p[4] & 0x40) != 0;
        f.mDelta = (p[4] & 0x20) != 0;
        f.cinemaVrr = (p[4] & 0x10) != 0;
        f.negativeMvrr = (p[4] & 0x08) != 0;
        f.fva = (p[4] & 0x04) != 0;
        f.allm = (p[4] & 0x02) != 0;
        f.fapaStart = (p[4] & 0x01) != 0;
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
                       QStringLiteral("version 0 needs 21 bytes after the OUI, has %1").arg(p.size()));
        }
        break;
    case 1:
        dv.dmVersion = ((p[0] >> 2) & 0x07) + 2;
        dv.supports2160p60 = (p[0] & 0x02) != 0;
        if (p.size() >= 3) {
            dv.globalDimming = (p[1] & 0x01) != 0;
            dv.targetMaxLuminance = 100.0 + 50.0 * (p[1] >> 1);
            const double minCode = (p[2] >> 1) / 127.0;
            dv.targetMinLuminance = minCode * minCode;
            dv.colorimetryP3 = (p[2] & 0x01) != 0;
        } else {
            addFailure(findings, where, QStringLiteral("version 1 cut short"));
        }
        if (p.size() == 7) { // the 12-byte block of low-latency sinks
            dv.interfaceCode = p[3] & 0x03;
        }
        break;
    case 2:
        dv.dmVersion = ((p[0] >> 2) & 0x07) + 2;
        dv.backlightControl = (p[0] & 0x02) != 0;
        if (p.size() >= 3) {
            dv.globalDimming = (p[1] & 0x04) != 0;
            dv.targetMinPq = static_cast<uint16_t>(20 * (p[1] >> 3));
            dv.targetMaxPq = static_cast<uint16_t>(2055 + 65 * (p[2] >> 3));
            dv.targetMinLuminance = pqToNits(*dv.targetMinPq);
            dv.targetMaxLuminance = pqToNits(*dv.targetMaxPq);
            dv.interfaceCode = p[2] & 0x03;
        } else {
            addFailure(findings, where, QStringLiteral("version 2 cut short"));
        }
        break;
    default:
        addWarning(findings, where, QStringLiteral("unknown Dolby Vision version %1").arg(dv.version));
        break;
    }
    cta.dolbyVision = dv;
}

void decodeDataBlock(uint8_t tag, Bytes p, CtaBlock &cta, Findings &findings, int block) {
    DataBlockEntry entry;
    entry.tag = tag;
    entry.length = static_cast<uint8_t>(p.size());
    uint32_t oui = 0;
    Bytes ext = p;
    if (tag == 7 && !p.empty()) {
        entry.extendedTag = p[0];
        ext = p.subspan(1);
        if (p[0] == 1) {
            oui = ouiOf(ext);
        }
    } else if (tag == 3) {
        oui = ouiOf(p);
    }
    entry.oui = oui;
    cta.dataBlocks.push_back(entry);
    // Only this function adds to the list while the place is in use.
    const Place where{block, cta.dataBlocks.back()};
    switch (tag) {
    case 1:
        decodeAudioBlock(p, cta, findings, where);
        return;
    case 2:
        decodeVideoBlock(p, cta, findings, where);
        return;
    case 3:
        if (p.size() < 3) {
            addFailure(findings, where, QStringLiteral("too short for its OUI"));
        } else if (oui == kOuiHdmi) {
            decodeHdmiVsdb(p.subspan(3), cta, findings, where);
        } else if (oui == kOuiHdmiForum) {
            decodeHdmiForum(p.subspan(3), false, cta, findings, where);
        }
        return;
    case 4:
        if (p.size() >= 3) {
            cta.speakerAllocation = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
        } else if (!p.empty()) {
            cta.speakerAllocation = p[0];
            addFailure(findings, where, QStringLiteral("length %1, should be 3").arg(p.size()));
        } else {
            addFailure(findings, where, QStringLiteral("empty"));
        }
        return;
    case 7:
        break;
    default:
        return;
    }
    if (!entry.extendedTag) {
        addFailure(findings, where, QStringLiteral("length 0"));
        return;
    }
    switch (*entry.extendedTag) {
    case 0:
        if (ext.empty()) {
            addFailure(findings, where, QStringLiteral("empty"));
        } else {
            cta.videoCapability = ext[0];
        }
        break;
    case 1:
        if (ext.size() < 3) {
            addFailure(findings, where, QStringLiteral("too short for its OUI"));
        } else if (oui == kOuiDolby) {
            decodeDolbyVision(ext.subspan(3), cta, findings, where);
        } else if (oui == kOuiHdr10Plus) {
            cta.hdr10Plus = true;
            if (ext.size() >= 4) {
                cta.hdr10PlusApplicationVersion = ext[3] & 0x03;
            }
        }
        break;
    case 5:
        if (ext.size() >= 2) {
            cta.colorimetry = static_cast<uint16_t>(ext[0] | ext[1] << 8);
        } else {
            addFailure(findings, where, QStringLiteral("length %1, should be 3").arg(p.size()));
        }
        break;
    case 6:
        decodeHdrStatic(ext, cta, findings, where);
        break;
    case 14:
        for (uint8_t svd : ext) {
            if (const auto descriptor = videoDescriptor(svd)) {
                cta.ycbcr420OnlyVics.push_back(descriptor->vic);
            }
        }
        break;
    case 15:
        // Resolved once all Video Data Blocks of the extension are known.
        cta.ycbcr420MapPresent = true;
        break;
    case 121:
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
    const QString where = blockWhere(block, "YCbCr 4:2:0 Capability Map Data Block");
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
            addWarning(findings, where, QStringLiteral("bit %1 names no video descriptor").arg(bit));
        }
    }
}

void decodeCta(Bytes b, int block, EdidDecoded &out) {
    Findings &findings = out.findings;
    const QString where = blockWhere(block, "CTA-861 Extension Block");
    CtaBlock cta;
    cta.block = block;
    cta.revision = b[1];
    size_t dtdStart = b[2];
    if (cta.revision >= 2) {
        cta.underscan = (b[3] & 0x80) != 0;
        cta.basicAudio = (b[3] & 0x40) != 0;
        cta.ycbcr444 = (b[3] & 0x20) != 0;
        cta.ycbcr422 = (b[3] & 0x10) != 0;
        cta.nativeDtdCount = b[3] & 0x0F;
    }
    if (cta.revision < 1 || cta.revision > 3) {
        addWarning(findings, where, QStringLiteral("unknown revision %1").arg(cta.revision));
    }
    // The checksum byte is the last one: blocks and timings end before it.
    const size_t end = kEdidBlockSize - 1;
    if (dtdStart > end) {
        addFailure(findings, where,
                   QStringLiteral("detailed timings said to start at %1, past the block").arg(dtdStart));
        dtdStart = end;
    } else if (dtdStart != 0 && dtdStart < 4) {
        addFailure(findings, where,
                   QStringLiteral("detailed timings said to start at %1, inside the header").arg(dtdStart));
        dtdStart = 4;
    }
    std::optional<Bytes> ycbcr420Map;
    if (cta.revision >= 3 && dtdStart > 4) {
        size_t at = 4;
        while (at < dtdStart) {
            const uint8_t tag = b[at] >> 5;
            const size_t length = b[at] & 0x1F;
            if (at + 1 + length > dtdStart) {
                addFailure(
                    findings, where,
                    QStringLiteral(
                        "data block at %1 of length %2 runs past the data block collection (ends at %3)")
                        .arg(at)
                        .arg(length)
                        .arg(dtdStart));
                break;
            }
            const Bytes payload = b.subspan(at + 1, length);
            decodeDataBlock(tag, payload, cta, findings, block);
            if (tag == 7 && length >= 1 && payload[0] == 15) {
                if (ycbcr420Map) {
                    addWarning(findings, where,
                               QStringLiteral("a second YCbCr 4:2:0 Capability Map Data Block"));
                }
                ycbcr420Map = payload.subspan(1);
            }
            at += 1 + length;
        }
    }
    if (ycbcr420Map) {
        applyYcbcr420Map(*ycbcr420Map, cta, findings, block);
    }
    if (dtdStart != 0) {
        for (size_t at = dtdStart; at + kDescriptorSize <= end; at += kDescriptorSize) {
            if (b[at] == 0 && b[at + 1] == 0) {
                break; // padding, or a display descriptor that a CTA block does not carry
            }
            const DetailedTiming t = decodeDetailedTiming(b.subspan(at, kDescriptorSize), block);
            checkDetailedTiming(t, findings, where);
            cta.detailedTimings.push_back(t);
        }
    }
    out.cta.push_back(std::move(cta));
}

} // namespace

QString extensionName(uint8_t tag) {
    switch (tag) {
    case 0x02:
        return QStringLiteral("CTA-861");
    case 0x10:
        return QStringLiteral("Video Timing Extension");
    case 0x20:
        return QStringLiteral("EDID 2.0 Extension");
    case 0x40:
        return QStringLiteral("Display Information Extension");
    case 0x50:
        return QStringLiteral("Localized String Extension");
    case 0x60:
        return QStringLiteral("Microdisplay Interface Extension");
    case 0x70:
        return QStringLiteral("DisplayID");
    case 0xA7:
    case 0xAF:
    case 0xBF:
        return QStringLiteral("Display Transfer Characteristics Data Block");
    case 0xF0:
        return QStringLiteral("Block Map");
    case 0xFF:
        return QStringLiteral("Manufacturer-Specific Extension");
    default:
        return QStringLiteral("Unknown Extension (tag 0x%1)").arg(tag, 2, 16, QLatin1Char('0'));
    }
}

QString dataBlockName(const DataBlockEntry &entry) {
    return blockName(entry.tag, entry.extendedTag, entry.oui);
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
    static constexpr std::array<const char *, 16> kNames = {
        "reserved", "LPCM",          "AC-3",   "MPEG-1", "MP3",          "MPEG-2", "AAC LC",  "DTS",
        "ATRAC",    "One Bit Audio", "E-AC-3", "DTS-HD", "MAT (TrueHD)", "DST",    "WMA Pro", ""};
    if (format.code != 15) {
        return QLatin1String(kNames[format.code & 0x0F]);
    }
    switch (format.extendedCode) {
    case 4:
        return QStringLiteral("MPEG-4 HE AAC");
    case 5:
        return QStringLiteral("MPEG-4 HE AAC v2");
    case 6:
        return QStringLiteral("MPEG-4 AAC LC");
    case 7:
        return QStringLiteral("DRA");
    case 8:
        return QStringLiteral("MPEG-4 HE AAC + MPEG Surround");
    case 10:
        return QStringLiteral("MPEG-4 AAC LC + MPEG Surround");
    case 11:
        return QStringLiteral("MPEG-H 3D Audio");
    case 12:
        return QStringLiteral("AC-4");
    case 13:
        return QStringLiteral("L-PCM 3D Audio");
    default:
        return QStringLiteral("extended audio type %1").arg(format.extendedCode);
    }
}

std::vector<double> audioRatesKhz(uint8_t rateMask) {
    std::vector<double> rates;
    for (size_t bit = kRatesKhz.size(); bit-- > 0;) {
        if ((rateMask & (1u << bit)) != 0) {
            rates.push_back(kRatesKhz[bit]);
        }
    }
    return rates;
}

int frlGbps(uint8_t code) {
    static constexpr std::array<int, 7> kGbps = {0, 9, 18, 24, 32, 40, 48};
    return code < kGbps.size() ? kGbps[code] : 0;
}

QString frlText(uint8_t code) {
    static constexpr std::array<const char *, 7> kTexts = {"none",
                                                           "3 Gbps x 3 lanes",
                                                           "6 Gbps x 3 lanes",
                                                           "6 Gbps x 4 lanes",
                                                           "8 Gbps x 4 lanes",
                                                           "10 Gbps x 4 lanes",
                                                           "12 Gbps x 4 lanes"};
    if (code == 0) {
        return QLatin1String(kTexts[0]);
    }
    if (code >= kTexts.size()) {
        return QStringLiteral("reserved (%1)").arg(code);
    }
    return QStringLiteral("%1 (%2 Gbps)").arg(QLatin1String(kTexts[code])).arg(frlGbps(code));
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
                   QStringLiteral("%1 bytes: an EDID has at least one block of 128").arg(bytes.size()));
        return out;
    }
    if (bytes.size() % kEdidBlockSize != 0) {
        addWarning(
            out.findings, QString(),
            QStringLiteral("%1 bytes after the last whole block ignored").arg(bytes.size() % kEdidBlockSize));
    }
    const auto blockBytes = [&](size_t index) {
        return bytes.subspan(index * kEdidBlockSize).first<kEdidBlockSize>();
    };
    decodeBase(blockBytes(0), out);
    const size_t stated = size_t{1} + out.base.extensionCount;
    if (stated > blocks) {
        addFailure(out.findings, QStringLiteral("Block 0, Base EDID"),
                   QStringLiteral("%1 extension blocks stated, %2 present")
                       .arg(out.base.extensionCount)
                       .arg(blocks - 1));
    }
    const size_t decoded = std::min(stated, blocks);
    for (size_t index = 0; index < decoded; ++index) {
        const auto block = blockBytes(index);
        const uint8_t expected = edidBlockChecksum(block);
        out.checksums.push_back(block[kEdidBlockSize - 1]);
        out.checksumsOk.push_back(block[kEdidBlockSize - 1] == expected);
        if (block[kEdidBlockSize - 1] != expected) {
            addFailure(out.findings, QStringLiteral("Block %1, Checksum").arg(index),
                       QStringLiteral("0x%1, should be 0x%2")
                           .arg(block[kEdidBlockSize - 1], 2, 16, QLatin1Char('0'))
                           .arg(expected, 2, 16, QLatin1Char('0')));
        }
        if (index == 0) {
            continue;
        }
        const int blockIndex = static_cast<int>(index);
        out.extensions.push_back({blockIndex, block[0]});
        if (block[0] == kTagCta) {
            decodeCta(block, blockIndex, out);
        }
    }
    return out;
}

} // namespace edid
