// A CTA-861 extension block: its header, every data block of its collection and the
// detailed timings after it.

#include "core/base/format_text.h"
#include "core/edid/edid_decode_parts.h"

#include <QStringBuilder>

#include <algorithm>
#include <cmath>

namespace edid::parts {

namespace {
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

// A short video descriptor at its place among the block's, or nullopt for a reserved code.
std::optional<VideoDescriptor> videoDescriptor(uint8_t svd, size_t index = 0) {
    if (cta::svdReserved(svd)) {
        return std::nullopt;
    }
    return VideoDescriptor{cta::svdVic(svd), cta::svdNative(svd), false, static_cast<uint8_t>(index)};
}

void decodeVideoBlock(Bytes p, CtaBlock &cta, Findings &findings, const Place &where) {
    for (uint8_t svd : p) {
        if (const auto descriptor = videoDescriptor(svd, cta.svdCount)) {
            cta.videos.push_back(*descriptor);
        } else {
            report(findings, Rule::ReservedSvd, where,
                   formatText("reserved short video descriptor 0x%02x", svd));
        }
        ++cta.svdCount;
    }
}

// The extended audio codings that are reserved, or no longer in use (1 to 3).
bool reservedExtendedCoding(uint8_t code) {
    return code <= 3 || code == 9 || code >= 15;
}

void decodeAudioBlock(Bytes p, CtaBlock &cta, Findings &findings, const Place &where) {
    if (p.size() % cta::kSadBytes != 0) {
        report(findings, Rule::AudioLength, where, formatText("length %zu is not a multiple of 3", p.size()));
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
            if (reservedExtendedCoding(f.extendedCode)) {
                report(findings, Rule::AudioReservedFormat, where,
                       formatText("reserved extended audio format code %d", f.extendedCode));
            }
            break;
        default:
            if (f.code == 0) {
                report(findings, Rule::AudioReservedFormat, where,
                       QStringLiteral("reserved audio format code 0"));
            }
            break;
        }
        if (f.sampleRates == 0) {
            report(findings, Rule::AudioNoSampleRate, where,
                   QStringLiteral("%1 with no sample rate").arg(audioFormatName(f)));
        }
        cta.audio.push_back(f);
    }
}

void decodeHdrStatic(Bytes p, CtaBlock &cta, Findings &findings, const Place &where) {
    // p starts after the extended tag: EOTFs, descriptor types, then up to three luminances.
    if (p.size() < 2) {
        report(findings, Rule::HdrStaticLength, where, formatText("length %zu is too short", p.size() + 1));
        return;
    }
    HdrStatic h;
    h.eotfs = p[0];
    h.descriptors = p[1];
    if ((h.eotfs & 0xF0) != 0) {
        report(findings, Rule::HdrStaticReservedEotf, where, QStringLiteral("reserved EOTF bits set"));
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
    // p starts after the OUI. A source reads the first HDMI VSDB.
    if (cta.hdmi) {
        report(findings, Rule::HdmiVsdbTwice, where, QStringLiteral("a second HDMI VSDB"));
        return;
    }
    if (p.size() < 2) {
        report(findings, Rule::HdmiVsdbLength, where, QStringLiteral("too short for the physical address"));
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
        if (h.maxTmdsMhz > 340) {
            report(findings, Rule::HdmiVsdbTmds, where,
                   formatText("maximum TMDS clock %d MHz, above the 340 MHz of this block", h.maxTmdsMhz));
        }
    }
    if (p.size() > at) {
        const uint8_t latencyFlags = p[at++];
        const bool latency = (latencyFlags & 0x80) != 0;
        const bool interlacedLatency = (latencyFlags & 0x40) != 0;
        const bool videoPresent = (latencyFlags & 0x20) != 0;
        bool cutShort = false; // said once for all the fields missing
        const auto take = [&](std::optional<uint8_t> &value) {
            if (p.size() > at) {
                value = p[at++];
            } else if (!cutShort) {
                cutShort = true;
                report(findings, Rule::HdmiVsdbCutShort, where, QStringLiteral("latency fields cut short"));
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
                    report(findings, Rule::HdmiVsdbCutShort, where, QStringLiteral("HDMI VICs cut short"));
                    break;
                }
                h.hdmiVics.push_back(p[at++]);
            }
        } else if (videoPresent) {
            report(findings, Rule::HdmiVsdbCutShort, where, QStringLiteral("HDMI video fields cut short"));
        }
    }
    cta.hdmi = std::move(h);
}

void decodeHdmiForum(Bytes p, bool fromScdb, CtaBlock &cta, Findings &findings, const Place &where) {
    // p starts at the version byte: after the OUI, or after the SCDB's two reserved bytes. The
    // version, the TMDS character rate and the flags are its core; what follows may be left out.
    if (p.size() < 3) {
        report(findings, Rule::HdmiForumLength, where, QStringLiteral("length too short"));
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
    f.maxFrlCode = p.size() > 3 ? p[3] >> 4 : 0;
    readFlags(p, kFlags, f);
    if (f.maxFrlCode > 6) {
        report(findings, Rule::HdmiForumReservedFrl, where,
               formatText("reserved Max_FRL_Rate %d", f.maxFrlCode));
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
        report(findings, Rule::DolbyVisionLength, where, QStringLiteral("no version byte"));
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
            report(findings, Rule::DolbyVisionLength, where,
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
            report(findings, Rule::DolbyVisionLength, where, formatText("version %d cut short", dv.version));
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
        report(findings, Rule::DolbyVisionVersion, where,
               formatText("unknown Dolby Vision version %d", dv.version));
        break;
    }
    cta.dolbyVision = dv;
}

void decodeDolbyAudio(Bytes p, CtaBlock &cta, Findings &findings, const Place &where) {
    // p starts after the OUI.
    if (p.size() < 2) {
        report(findings, Rule::DolbyAudioLength, where, formatText("length %zu is too short", p.size() + 4));
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
        report(findings, Rule::VendorLength, where, QStringLiteral("too short for its OUI"));
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
    entry.offset = static_cast<uint8_t>(b.offset);
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
            report(findings, Rule::SpeakerAllocationLength, where,
                   formatText("length %zu, should be 3", p.size()));
        } else {
            report(findings, Rule::SpeakerAllocationLength, where, QStringLiteral("empty"));
        }
        return;
    case cta::kTagExtended:
        break;
    default:
        return;
    }
    if (!b.extendedTag) {
        report(findings, Rule::DataBlockEmpty, where, QStringLiteral("length 0"));
        return;
    }
    switch (*b.extendedTag) {
    case cta::kExtVideoCapability:
        if (ext.empty()) {
            report(findings, Rule::VcdbLength, where, QStringLiteral("empty"));
        } else {
            cta.videoCapability = ext[0];
            if ((ext[0] & 0x40) == 0) {
                report(findings, Rule::VcdbRgbNotSelectable, where,
                       QStringLiteral("RGB quantization range not selectable (QS 0)"));
            }
        }
        break;
    case cta::kExtVendorVideo:
    case cta::kExtVendorAudio:
        decodeVendorBlock(b, cta, findings, where);
        break;
    case cta::kExtColorimetry:
        if (ext.size() >= 2) {
            cta.colorimetry = static_cast<uint16_t>(ext[0] | ext[1] << 8);
            if ((ext[1] & 0x0F) != 0) {
                report(findings, Rule::ColorimetryReserved, where,
                       formatText("reserved bits MD0-MD3 set (0x%x)", ext[1] & 0x0F));
            }
        } else {
            report(findings, Rule::ColorimetryLength, where, formatText("length %zu, should be 3", p.size()));
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
    case cta::kExtHdmiForumOverride:
        // A source reads the count of extension blocks here, before byte 126, only when the
        // block stands first in block 1.
        if (ext.empty() || ext[0] == 0) {
            report(findings, Rule::EeodbCount, where,
                   QStringLiteral("no count of extension blocks; ignored"));
        } else if (block != 1 || b.offset != cta::kHeaderBytes) {
            report(findings, Rule::EeodbPosition, where,
                   QStringLiteral("not the first data block of block 1, where a source reads it; ignored"));
        } else {
            cta.extensionOverride = ext[0];
        }
        break;
    case cta::kExtHdmiForumScdb:
        if (ext.size() < 2) {
            report(findings, Rule::HdmiForumLength, where, QStringLiteral("too short"));
        } else {
            decodeHdmiForum(ext.subspan(2), true, cta, findings, where);
        }
        break;
    default:
        break;
    }
}

// Marks the descriptors a 4:2:0 capability map names: bit n of the map stands for the nth
// short video descriptor of the Video Data Blocks as they stand, a reserved one counted too;
// an empty map names them all.
void applyYcbcr420Map(const cta::DataBlock &map, CtaBlock &cta, Findings &findings, int block) {
    const Bytes bits = map.body();
    if (bits.empty()) {
        for (VideoDescriptor &v : cta.videos) {
            v.ycbcr420Capable = true;
        }
        return;
    }
    const Place where(block, static_cast<int>(map.offset), "YCbCr 4:2:0 Capability Map Data Block");
    auto video = cta.videos.begin(); // the descriptors stand in the order of their index
    for (size_t bit = 0; bit < bits.size() * 8; ++bit) {
        if ((bits[bit / 8] & (1u << (bit % 8))) == 0) {
            continue;
        }
        if (bit >= cta.svdCount) {
            report(findings, Rule::Ycbcr420MapPastSvds, where,
                   formatText("bit %zu names no video descriptor", bit));
            continue;
        }
        while (video != cta.videos.end() && video->index < bit) {
            ++video;
        }
        if (video != cta.videos.end() && video->index == bit) {
            video->ycbcr420Capable = true;
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
    cta.detailedTimings.reserve(layout.slotCount());
}

// The timing area: detailed timings, and display descriptors (00 00 ...), which a CTA-861
// block should not carry but some do, with timings after them.
void decodeTimings(const cta::CtaLayout &layout, CtaBlock &cta, Findings &findings) {
    bool afterDescriptor = false;
    for (size_t i = 0; i < layout.slotCount(); ++i) {
        const Bytes d = layout.slot(i);
        if (d[0] == 0 && d[1] == 0) {
            afterDescriptor = true;
            continue;
        }
        const int offset = static_cast<int>(layout.collectionEnd() + i * cta::kDetailedTimingBytes);
        const DetailedTiming t = decodeDetailedTiming(d, cta.block, offset);
        const Place where(cta.block, offset, kCtaPart);
        if (afterDescriptor) {
            report(findings, Rule::CtaTimingAfterDescriptor, where,
                   formatText("%dx%d: detailed timing after a display descriptor", t.hActive, t.vActive));
        }
        checkDetailedTiming(t, findings, where);
        cta.detailedTimings.push_back(t);
    }
}

} // namespace

void decodeCta(std::span<const uint8_t, kEdidBlockSize> b, int block, EdidDecoded &out) {
    Findings &findings = out.findings;
    constexpr const char *kPart = kCtaPart;
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
        report(findings, Rule::CtaRevision, Place(block, 1, kPart),
               formatText("unknown revision %d", cta.revision));
    }
    const cta::CtaLayout layout(b);
    if (layout.timingOffset() == cta::TimingOffset::PastBlock) {
        report(findings, Rule::CtaTimingOffset, Place(block, 2, kPart),
               formatText("detailed timings said to start at %d, past the block", b[2]));
    } else if (layout.timingOffset() == cta::TimingOffset::InHeader) {
        report(findings, Rule::CtaTimingOffset, Place(block, 2, kPart),
               formatText("detailed timings said to start at %d, inside the header", b[2]));
    }
    reserveLists(layout, cta);
    std::optional<cta::DataBlock> ycbcr420Map;
    for (const cta::DataBlock &dataBlock : layout.dataBlocks()) {
        decodeDataBlock(dataBlock, cta, findings, block);
        if (dataBlock.extendedTag == cta::kExtYcbcr420Map) {
            if (ycbcr420Map) {
                report(findings, Rule::Ycbcr420MapTwice,
                       Place(block, static_cast<int>(dataBlock.offset), kPart),
                       QStringLiteral("a second YCbCr 4:2:0 Capability Map Data Block"));
            }
            ycbcr420Map = dataBlock;
        }
    }
    if (const std::optional<QString> overrun = layout.overrun()) {
        report(findings, Rule::DataBlockOverrun, Place(block, static_cast<int>(layout.blocksEnd()), kPart),
               *overrun);
    }
    if (ycbcr420Map) {
        applyYcbcr420Map(*ycbcr420Map, cta, findings, block);
    }
    decodeTimings(layout, cta, findings);
    out.cta.push_back(std::move(cta));
}

} // namespace edid::parts
