// The base block (block 0): identification, display parameters, chromaticities, the
// established and standard timings and the four 18-byte descriptors.

#include "core/base/format_text.h"
#include "core/edid/edid_decode_parts.h"

#include <QStringBuilder>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>

namespace edid::parts {

namespace {

constexpr std::array<uint8_t, 8> kHeader = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr int kExtensionCountByte = 126;
constexpr int kFeaturesByte = 24;

// The text of a display descriptor: up to 13 characters, ended by a line feed. A byte that
// is not printable ASCII ends it too, with a warning (as edid-decode reads it).
QString descriptorText(Bytes text, const char *label, Findings &findings, const Place &where) {
    std::array<char, 14> out{}; // the characters read, and a terminating zero
    size_t length = 0;
    for (uint8_t c : text.first(std::min(text.size(), out.size() - 1))) {
        if (c == 0x0A) {
            break;
        }
        if (c < 0x20 || c >= 0x7F) {
            report(
                findings, Rule::TextNonPrintable, where,
                formatText("%s: non-printable byte 0x%02x ends the text after '%s'", label, c, out.data()));
            break;
        }
        out[length++] = static_cast<char>(c);
    }
    // Padding spaces after the line feed are dropped with it; trailing spaces without
    // one are part of the text as the display gave it.
    return QString::fromLatin1(out.data(), static_cast<qsizetype>(length));
}

// The Display Range Limits descriptor. Its byte 4 adds 255 to a limit from EDID 1.4 on;
// before, the byte is reserved and the limits are read without it.
void decodeRangeLimits(Bytes d, int offset, BaseBlock &base, Findings &findings) {
    RangeLimits limits;
    limits.offset = static_cast<uint8_t>(offset);
    const bool offsetsDefined = base.version > 1 || (base.version == 1 && base.revision >= 4);
    const uint8_t offsets = offsetsDefined ? d[4] : 0;
    if (!offsetsDefined && d[4] != 0) {
        report(findings, Rule::RangeLimitOffsets, Place::base(offset),
               formatText("Display Range Limits: byte 4 is 0x%02x, reserved before EDID 1.4; limits read "
                          "without offsets",
                          d[4]));
    }
    limits.minVerticalHz = static_cast<uint16_t>(d[5] + ((offsets & 0x03) == 0x03 ? 255 : 0));
    limits.maxVerticalHz = static_cast<uint16_t>(d[6] + ((offsets & 0x02) != 0 ? 255 : 0));
    limits.minHorizontalKhz = static_cast<uint16_t>(d[7] + ((offsets & 0x0C) == 0x0C ? 255 : 0));
    limits.maxHorizontalKhz = static_cast<uint16_t>(d[8] + ((offsets & 0x08) != 0 ? 255 : 0));
    limits.maxPixelClockMhz = static_cast<uint16_t>(d[9] * 10);
    base.rangeLimits = limits;
}

void decodeStandardTimings(Bytes b, BaseBlock &base) {
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
}

} // namespace

// The places the decoder names most, as literals for the blocks most EDIDs have: a CTA
// block's own findings and the checksums'. Their texts then cost no allocation.
const QString *sharedPlace(int block, const char *part) {
    static const std::array<QString, 4> kCta = {QString(), QStringLiteral("Block 1, CTA-861 Extension Block"),
                                                QStringLiteral("Block 2, CTA-861 Extension Block"),
                                                QStringLiteral("Block 3, CTA-861 Extension Block")};
    static const std::array<QString, 4> kChecksum = {
        QStringLiteral("Block 0, Checksum"), QStringLiteral("Block 1, Checksum"),
        QStringLiteral("Block 2, Checksum"), QStringLiteral("Block 3, Checksum")};
    if (block < 1 || block > 3) {
        return block == 0 && std::strcmp(part, kChecksumPart) == 0 ? &kChecksum[0] : nullptr;
    }
    const size_t index = static_cast<size_t>(block);
    return std::strcmp(part, kCtaPart) == 0        ? &kCta[index]
           : std::strcmp(part, kChecksumPart) == 0 ? &kChecksum[index]
                                                   : nullptr;
}

const QString &Place::text() const {
    if (!text_.isNull() || block_ < 0) {
        return text_;
    }
    if (const QString *shared = part_ != nullptr ? sharedPlace(block_, part_) : nullptr) {
        text_ = *shared;
    } else if (entry_ != nullptr) {
        char block[24] = {}; // "Block 255, ", joined to the name in one allocation
        std::snprintf(block, sizeof block, "Block %d, ", block_);
        text_ = QLatin1String(block) % dataBlockName(*entry_);
    } else {
        text_ = formatText("Block %d, %s", block_, part_);
    }
    return text_;
}

Place Place::base(int byte) {
    Place place(0, byte, "Base EDID");
    // The most common place, as a literal: its text costs no allocation.
    place.text_ = QStringLiteral("Block 0, Base EDID");
    return place;
}

void report(Findings &findings, Rule rule, const Place &where, const QString &text) {
    const RuleInfo &info = ruleInfo(rule);
    addFinding(findings, info.severity, where.text(), text);
    Finding &finding = findings.back();
    finding.rule = info.id;
    finding.block = where.block();
    finding.byte = where.byte();
}

const EstablishedTiming &establishedTiming(size_t bit) {
    // Their rates as VESA's DMT and the makers of the older ones give them.
    static const std::array<EstablishedTiming, kEstablishedTimingCount> kTimings = {{
        {QStringLiteral("720x400@70"), 31467, 70082, 28320},
        {QStringLiteral("720x400@88"), 39444, 87850, 35500},
        {QStringLiteral("640x480@60"), 31469, 59940, 25175},
        {QStringLiteral("640x480@67"), 35000, 66667, 30240},
        {QStringLiteral("640x480@72"), 37861, 72809, 31500},
        {QStringLiteral("640x480@75"), 37500, 75000, 31500},
        {QStringLiteral("800x600@56"), 35156, 56250, 36000},
        {QStringLiteral("800x600@60"), 37879, 60317, 40000},
        {QStringLiteral("800x600@72"), 48077, 72188, 50000},
        {QStringLiteral("800x600@75"), 46875, 75000, 49500},
        {QStringLiteral("832x624@75"), 49726, 74551, 57284},
        {QStringLiteral("1024x768i@87"), 35522, 86958, 44900},
        {QStringLiteral("1024x768@60"), 48363, 60004, 65000},
        {QStringLiteral("1024x768@70"), 56476, 70069, 75000},
        {QStringLiteral("1024x768@75"), 60023, 75029, 78750},
        {QStringLiteral("1280x1024@75"), 79976, 75025, 135000},
        {QStringLiteral("1152x870@75"), 68681, 75062, 100000},
    }};
    return kTimings[bit];
}

} // namespace edid::parts

namespace edid {

DetailedTiming decodeDetailedTiming(std::span<const uint8_t> d, int block, int offset) {
    DetailedTiming t;
    t.block = block;
    t.offset = static_cast<uint8_t>(offset);
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
    t.vSyncPositive = (d[17] & 0x04) != 0;
    t.hSyncPositive = (d[17] & 0x02) != 0;
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

} // namespace edid

namespace edid::parts {

void checkDetailedTiming(const DetailedTiming &t, Findings &findings, const Place &where) {
    if (t.hActive == 0 || t.vActive == 0) {
        report(findings, Rule::TimingNoActive, where,
               QStringLiteral("detailed timing with no active pixels or lines"));
    } else if (t.hFrontPorch + t.hSync > t.hBlank || t.vFrontPorch + t.vSync > t.vBlank) {
        report(findings, Rule::TimingBlanking, where,
               formatText("%dx%d: front porch and sync longer than the blanking", t.hActive, t.vActive));
    }
}

void decodeBase(std::span<const uint8_t, kEdidBlockSize> b, EdidDecoded &out) {
    BaseBlock &base = out.base;
    Findings &findings = out.findings;
    base.headerRight = std::equal(kHeader.begin(), kHeader.end(), b.begin());
    if (!base.headerRight) {
        report(findings, Rule::Header, Place::base(0),
               QStringLiteral("the header is not 00 FF FF FF FF FF FF 00"));
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
        report(findings, Rule::VersionUnknown, Place::base(18),
               formatText("unknown EDID version %d.%d", base.version, base.revision));
    }
    base.digital = (b[20] & 0x80) != 0;
    base.widthCm = b[21];
    base.heightCm = b[22];
    if (b[23] != 0xFF) {
        base.gamma = (b[23] + 100) / 100.0;
    }
    base.firstTimingPreferred = (b[kFeaturesByte] & 0x02) != 0 || base.revision >= 4;
    base.srgbDefault = (b[kFeaturesByte] & 0x04) != 0;

    const auto tenBit = [&](int high, int lowByte, int shift) {
        return static_cast<uint16_t>((b[high] << 2) | ((b[lowByte] >> shift) & 0x03));
    };
    std::array<uint16_t, 8> &codes = base.chromaticityCodes;
    codes = {tenBit(27, 25, 6), tenBit(28, 25, 4), tenBit(29, 25, 2), tenBit(30, 25, 0),
             tenBit(31, 26, 6), tenBit(32, 26, 4), tenBit(33, 26, 2), tenBit(34, 26, 0)};
    Chromaticity &c = base.chromaticity;
    c = {codes[0] / 1024.0, codes[1] / 1024.0, codes[2] / 1024.0, codes[3] / 1024.0,
         codes[4] / 1024.0, codes[5] / 1024.0, codes[6] / 1024.0, codes[7] / 1024.0};

    const uint32_t established = uint32_t{b[35]} << 16 | uint32_t{b[36]} << 8 | b[37];
    base.establishedTimings.reserve(
        static_cast<size_t>(std::popcount(established >> (24 - kEstablishedTimingCount))));
    for (size_t i = 0; i < kEstablishedTimingCount; ++i) {
        if ((established & (0x800000u >> i)) != 0) {
            base.establishedTimings.push_back(establishedTiming(i).name);
        }
    }
    decodeStandardTimings(b, base);

    for (int i = 0; i < kDescriptorCount; ++i) {
        const int offset = kFirstDescriptor + i * kDescriptorSize;
        const Bytes d = b.subspan(static_cast<size_t>(offset), kDescriptorSize);
        if (d[0] != 0 || d[1] != 0) {
            const DetailedTiming t = decodeDetailedTiming(d, 0, offset);
            checkDetailedTiming(t, findings, Place::base(offset));
            if (base.detailedTimings.empty()) {
                base.detailedTimings.reserve(static_cast<size_t>(kDescriptorCount - i)); // the slots left
            }
            base.detailedTimings.push_back(t);
            continue;
        }
        const Bytes text = d.subspan(5, 13);
        switch (d[3]) {
        case 0xFC:
            // A name may take more than one descriptor, and a descriptor may be empty:
            // every one as it stands, and the first that says something as the name.
            base.productNames.push_back(
                descriptorText(text, "Display product name", findings, Place::base(offset)));
            if (!base.productName || base.productName->isEmpty()) {
                base.productName = base.productNames.back();
            }
            break;
        case 0xFF:
            base.serialText =
                descriptorText(text, "Display product serial number", findings, Place::base(offset));
            break;
        case 0xFE:
            base.asciiTexts.push_back(
                descriptorText(text, "Alphanumeric data string", findings, Place::base(offset)));
            break;
        case 0xFD:
            decodeRangeLimits(d, offset, base, findings);
            break;
        default:
            break; // colour points, more standard timings, CVT codes, dummies
        }
    }
    if (base.detailedTimings.empty() && base.digital) {
        report(findings, Rule::NoDetailedTiming, Place::base(kFirstDescriptor),
               QStringLiteral("no detailed timing"));
    }
    base.extensionCount = b[kExtensionCountByte];
}

} // namespace edid::parts
