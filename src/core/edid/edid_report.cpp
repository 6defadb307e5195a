#include "core/edid/edid_report.h"

#include "core/edid/video_formats.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <array>
#include <cstdio>

namespace edid {

namespace {

QString hz(double value) {
    return QString::number(value, 'f', 3) + QLatin1String(" Hz");
}
QString nits(double value) {
    const int decimals = value < 0.01 ? 8 : value < 1 ? 4 : 3;
    return QString::number(value, 'f', decimals) + QStringLiteral(" cd/m²");
}
QString yesNo(bool value) {
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

// The names of the flags that are set, in order.
QStringList namesOfSet(std::initializer_list<std::pair<bool, const char *>> flags) {
    QStringList names;
    for (const auto &[set, name] : flags) {
        if (set) {
            names << QLatin1String(name);
        }
    }
    return names;
}

QJsonValue optionalNumber(const std::optional<double> &value) {
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

// Every descriptor of every CTA block, in order.
template <typename Visit> void forEachVideo(const EdidDecoded &decoded, Visit visit) {
    for (const CtaBlock &cta : decoded.cta) {
        for (const VideoDescriptor &v : cta.videos) {
            visit(v);
        }
    }
}

std::vector<uint8_t> ycbcr420Vics(const EdidDecoded &decoded) {
    std::vector<uint8_t> vics;
    forEachVideo(decoded, [&](const VideoDescriptor &v) {
        if (v.ycbcr420Capable) {
            vics.push_back(v.vic);
        }
    });
    for (const CtaBlock &cta : decoded.cta) {
        vics.insert(vics.end(), cta.ycbcr420OnlyVics.begin(), cta.ycbcr420OnlyVics.end());
    }
    return vics;
}

// The first block that carries the part, as the sink states it once.
template <typename Part>
const Part *firstOf(const EdidDecoded &decoded, std::optional<Part> CtaBlock::*member) {
    for (const CtaBlock &cta : decoded.cta) {
        if ((cta.*member).has_value()) {
            return &*(cta.*member);
        }
    }
    return nullptr;
}

// The parts of a line are joined by % (QStringBuilder) in one allocation: the integers
// written by snprintf, the numbers with a fraction by QString::number, which writes them
// alike in every locale (snprintf's %f follows the locale QCoreApplication sets).
QString timingLine(const DetailedTiming &t) {
    char size[24] = {}, millimetres[40] = {};
    std::snprintf(size, sizeof size, "%dx%d%s ", t.hActive, t.vActive, t.interlaced ? "i" : "");
    std::snprintf(millimetres, sizeof millimetres, " MHz, %d mm x %d mm", t.hSizeMm, t.vSizeMm);
    return QLatin1String(size) % hz(t.refreshHz) % QLatin1String(", pixel clock ") %
           QString::number(t.pixelClockKhz / 1000.0, 'f', 2) % QLatin1String(millimetres);
}

// "    VIC  16: 1920x1080p60" and the marks after it.
QString vicLine(uint8_t code, const char *native = "", const char *ycbcr420 = "") {
    char vic[16] = {};
    std::snprintf(vic, sizeof vic, "    VIC %3d: ", code);
    return QLatin1String(vic) % vicName(code) % QLatin1String(native) % QLatin1String(ycbcr420);
}

QString latencyText(const std::optional<uint8_t> &code) {
    if (!code || *code == 0) {
        return QStringLiteral("unknown");
    }
    if (*code == 255) {
        return QStringLiteral("not supported");
    }
    return QStringLiteral("%1 ms").arg((*code - 1) * 2);
}

constexpr std::array<const char *, 8> kColorimetryLow = {"xvYCC601", "xvYCC709",   "sYCC601",   "opYCC601",
                                                         "opRGB",    "BT2020cYCC", "BT2020YCC", "BT2020RGB"};

QString mpegHLevelText(uint8_t level) {
    return level == 0   ? QStringLiteral("level unspecified")
           : level <= 5 ? QStringLiteral("level %1").arg(level)
                        : QStringLiteral("reserved level %1").arg(level);
}

void audioLines(const AudioFormat &f, QStringList &lines) {
    if (f.mpegHLevel) {
        lines << QStringLiteral("    %1: %2").arg(audioFormatName(f), mpegHLevelText(*f.mpegHLevel));
    } else if (f.statesChannels()) {
        lines << QStringLiteral("    %1: max %2 channels").arg(audioFormatName(f)).arg(f.maxChannels);
    } else {
        lines << QStringLiteral("    %1").arg(audioFormatName(f));
    }
    QStringList rates;
    for (double rate : audioRatesKhz(f.sampleRates)) {
        rates << QString::number(rate);
    }
    lines << QStringLiteral("      Sample rates (kHz): %1").arg(rates.join(QLatin1Char(' ')));
    switch (static_cast<AudioCoding>(f.code)) {
    case AudioCoding::Lpcm: {
        const QStringList depths = namesOfSet(
            {{(f.bitDepths & 4) != 0, "24"}, {(f.bitDepths & 2) != 0, "20"}, {(f.bitDepths & 1) != 0, "16"}});
        lines << QStringLiteral("      Sample sizes (bits): %1").arg(depths.join(QLatin1Char(' ')));
        return;
    }
    case AudioCoding::EnhancedAc3:
        if (f.jointObjectCoding) {
            lines << QStringLiteral("      Joint Object Coding (Dolby Atmos)");
        }
        if (f.acmod28) {
            lines << QStringLiteral("      Joint Object Coding with ACMOD28");
        }
        return;
    case AudioCoding::Mat:
        lines << (f.matObjectPcm
                      ? QStringLiteral("      Dolby TrueHD, object audio PCM and channel-based PCM")
                      : QStringLiteral("      Dolby TrueHD only"));
        return;
    case AudioCoding::DtsHd:
        if (f.dtsX) {
            lines << QStringLiteral("      DTS:X");
        }
        [[fallthrough]];
    case AudioCoding::OneBitAudio:
    case AudioCoding::Dst:
        lines << QStringLiteral("      Format-dependent value: 0x%1")
                     .arg(f.codeDependent, 2, 16, QLatin1Char('0'));
        return;
    case AudioCoding::Extended:
        if (f.mpegHLowComplexity) {
            lines << QStringLiteral("      Low Complexity Profile");
        }
        return;
    default:
        if (f.maxBitrateKbps != 0) {
            lines << QStringLiteral("      Maximum bit rate: %1 kb/s").arg(f.maxBitrateKbps);
        }
        return;
    }
}

void dolbyAudioLines(const DolbyAudio &a, QStringList &lines) {
    lines << QStringLiteral("  Dolby Audio: version %1 (%2 bytes)").arg(a.version).arg(a.length + 5);
    if (a.headphoneOnly) {
        lines << QStringLiteral("    Headphone playback only");
    }
    const QStringList zones =
        namesOfSet({{a.heightZone, "height"}, {a.surroundZone, "surround"}, {a.centerZone, "center"}});
    if (!zones.isEmpty()) {
        lines << QStringLiteral("    Speaker zones: %1").arg(zones.join(QLatin1String(", ")));
    }
    if (a.matPcm48kOnly) {
        lines << QStringLiteral("    Dolby MAT PCM at 48 kHz only, no TrueHD");
    }
}

void ctaLines(const CtaBlock &cta, QStringList &lines) {
    lines << QStringLiteral("Block %1, CTA-861 Extension Block:").arg(cta.block);
    lines << QStringLiteral("  Revision: %1").arg(cta.revision);
    if (cta.underscan) {
        lines << QStringLiteral("  Underscans IT video formats by default");
    }
    lines << QStringLiteral(
                 "  Basic audio: %1, YCbCr 4:4:4: %2, YCbCr 4:2:2: %3, native detailed timings: %4")
                 .arg(yesNo(cta.basicAudio), yesNo(cta.ycbcr444), yesNo(cta.ycbcr422))
                 .arg(cta.nativeDtdCount);
    if (!cta.videos.empty()) {
        lines << QStringLiteral("  Video Data Block:");
        for (const VideoDescriptor &v : cta.videos) {
            lines << vicLine(v.vic, v.native ? " (native)" : "", v.ycbcr420Capable ? " (also 4:2:0)" : "");
        }
    }
    if (!cta.ycbcr420OnlyVics.empty()) {
        lines << QStringLiteral("  YCbCr 4:2:0 Video Data Block (4:2:0 only):");
        for (uint8_t vic : cta.ycbcr420OnlyVics) {
            lines << vicLine(vic);
        }
    }
    if (!cta.audio.empty()) {
        lines << QStringLiteral("  Audio Data Block:");
        for (const AudioFormat &f : cta.audio) {
            audioLines(f, lines);
        }
    }
    if (cta.speakerAllocation) {
        QStringList speakers;
        for (int bit = 0; bit < kSpeakerBits; ++bit) {
            if ((*cta.speakerAllocation & (1u << bit)) != 0) {
                speakers << speakerName(bit);
            }
        }
        lines << QStringLiteral("  Speaker Allocation: %1").arg(speakers.join(QLatin1String(", ")));
    }
    if (cta.dolbyAudio) {
        dolbyAudioLines(*cta.dolbyAudio, lines);
    }
    if (cta.colorimetry) {
        QStringList names;
        for (size_t bit = 0; bit < kColorimetryLow.size(); ++bit) {
            if ((*cta.colorimetry & (1u << bit)) != 0) {
                names << QLatin1String(kColorimetryLow[bit]);
            }
        }
        if ((*cta.colorimetry & 0x8000) != 0) {
            names << QStringLiteral("DCI-P3");
        }
        if ((*cta.colorimetry & 0x4000) != 0) {
            names << QStringLiteral("ICtCp");
        }
        lines << QStringLiteral("  Colorimetry: %1").arg(names.join(QLatin1String(", ")));
    }
    if (cta.videoCapability) {
        // QY and QS: the quantization range is selectable through the AVI infoframe, or the
        // block states nothing about it ("No Data" in CTA-861, not a fixed range).
        const uint8_t v = *cta.videoCapability;
        const auto quantization = [v](uint8_t bit) {
            return (v & bit) != 0 ? QStringLiteral("selectable") : QStringLiteral("no data");
        };
        lines << QStringLiteral(
                     "  Video Capability: YCC quantization %1, RGB quantization %2, scan PT %3 IT %4 CE %5")
                     .arg(quantization(0x80))
                     .arg(quantization(0x40))
                     .arg((v >> 4) & 3)
                     .arg((v >> 2) & 3)
                     .arg(v & 3);
    }
    if (cta.hdrStatic) {
        const HdrStatic &h = *cta.hdrStatic;
        lines << QStringLiteral("  HDR Static Metadata: EOTFs %1; static metadata type 1: %2")
                     .arg(eotfNames(h.eotfs).join(QLatin1String(", ")), yesNo((h.descriptors & 1) != 0));
        if (h.maxLuminance) {
            lines << QStringLiteral("    Desired content max luminance: %1 (%2)")
                         .arg(*h.maxLuminanceCode)
                         .arg(nits(*h.maxLuminance));
        }
        if (h.maxFrameAverageLuminance) {
            lines << QStringLiteral("    Desired content max frame-average luminance: %1 (%2)")
                         .arg(*h.maxFrameAverageCode)
                         .arg(nits(*h.maxFrameAverageLuminance));
        }
        if (h.minLuminance) {
            lines << QStringLiteral("    Desired content min luminance: %1 (%2)")
                         .arg(*h.minLuminanceCode)
                         .arg(nits(*h.minLuminance));
        }
    }
    if (cta.hdmi) {
        const HdmiVsdb &h = *cta.hdmi;
        lines
            << QStringLiteral("  HDMI VSDB: physical address %1").arg(physicalAddressText(h.physicalAddress));
        const QStringList deep =
            namesOfSet({{h.deepColor48, "48"}, {h.deepColor36, "36"}, {h.deepColor30, "30"}});
        lines << QStringLiteral("    Deep colour: %1%2; AI: %3")
                     .arg(deep.isEmpty() ? QStringLiteral("none")
                                         : deep.join(QLatin1String(", ")) + QLatin1String(" bit"))
                     .arg(h.deepColorY444 ? QStringLiteral(" (also YCbCr 4:4:4)") : QString())
                     .arg(yesNo(h.supportsAi));
        if (h.maxTmdsMhz != 0) {
            lines << QStringLiteral("    Maximum TMDS clock: %1 MHz").arg(h.maxTmdsMhz);
        }
        if (h.videoLatency) {
            lines << QStringLiteral("    Latency: video %1, audio %2")
                         .arg(latencyText(h.videoLatency), latencyText(h.audioLatency));
        }
        if (h.interlacedVideoLatency) {
            lines << QStringLiteral("    Interlaced latency: video %1, audio %2")
                         .arg(latencyText(h.interlacedVideoLatency), latencyText(h.interlacedAudioLatency));
        }
        for (uint8_t vic : h.hdmiVics) {
            lines << QStringLiteral("    HDMI VIC %1").arg(vic);
        }
    }
    if (cta.hdmiForum) {
        const HdmiForum &f = *cta.hdmiForum;
        lines << QStringLiteral("  HDMI Forum %1: version %2")
                     .arg(f.fromScdb ? QStringLiteral("SCDB") : QStringLiteral("VSDB"))
                     .arg(f.version);
        if (f.maxTmdsMhz != 0) {
            lines << QStringLiteral("    Maximum TMDS character rate: %1 MHz").arg(f.maxTmdsMhz);
        }
        lines << QStringLiteral("    SCDC: %1, max FRL: %2").arg(yesNo(f.scdc), frlText(f.maxFrlCode));
        const QStringList deep =
            namesOfSet({{f.deepColor420_48, "16"}, {f.deepColor420_36, "12"}, {f.deepColor420_30, "10"}});
        if (!deep.isEmpty()) {
            lines << QStringLiteral("    4:2:0 deep colour: %1 bits/component")
                         .arg(deep.join(QLatin1String(", ")));
        }
        lines << QStringLiteral("    ALLM: %1").arg(yesNo(f.allm));
        if (vrrSupported(f) && *f.vrrMax == 0) {
            lines << QStringLiteral("    VRR: from %1 Hz, no maximum stated").arg(*f.vrrMin);
        } else if (vrrSupported(f)) {
            lines << QStringLiteral("    VRR: %1 to %2 Hz").arg(*f.vrrMin).arg(*f.vrrMax);
        } else if (f.vrrMin) {
            lines << QStringLiteral("    VRR: not supported");
        }
        if (f.dsc) {
            lines << QStringLiteral("    DSC 1.2a: max FRL %1").arg(frlText(f.dscMaxFrlCode));
        }
    }
    if (cta.dolbyVision) {
        const DolbyVision &dv = *cta.dolbyVision;
        lines << QStringLiteral("  Dolby Vision: version %1 (%2 bytes)").arg(dv.version).arg(dv.length + 5);
        if (dv.dmVersion) {
            lines << QStringLiteral("    DM version: %1.x").arg(*dv.dmVersion);
        }
        if (dv.version < 2) {
            lines << QStringLiteral("    2160p60: %1").arg(yesNo(dv.supports2160p60));
        }
        lines << QStringLiteral("    YUV 4:2:2 12-bit: %1, global dimming: %2")
                     .arg(yesNo(dv.yuv422TwelveBit), yesNo(dv.globalDimming));
        if (dv.targetMinLuminance) {
            lines << QStringLiteral("    Target luminance: %1 to %2")
                         .arg(nits(*dv.targetMinLuminance), nits(*dv.targetMaxLuminance));
        }
        if (dv.colorimetryP3) {
            lines << QStringLiteral("    Colorimetry: %1")
                         .arg(*dv.colorimetryP3 ? QStringLiteral("P3-D65") : QStringLiteral("BT.709"));
        }
    }
    if (cta.hdr10Plus) {
        lines << QStringLiteral("  HDR10+: application version %1")
                     .arg(cta.hdr10PlusApplicationVersion.value_or(0));
    }
    for (const DetailedTiming &t : cta.detailedTimings) {
        lines << QStringLiteral("  Detailed timing: %1").arg(timingLine(t));
    }
    lines << QStringLiteral("  Data blocks:");
    for (const DataBlockEntry &e : cta.dataBlocks) {
        char length[16] = {};
        std::snprintf(length, sizeof length, ", length %d", e.length);
        lines << (QLatin1String("    ") % dataBlockName(e) % QLatin1String(length));
    }
}

QString sizeText(uint16_t h, uint16_t v, double refresh) {
    return h == 0 ? QStringLiteral("-")
                  : QStringLiteral("%1x%2 @ %3 Hz").arg(h).arg(v).arg(QString::number(refresh, 'f', 2));
}

QString nitsOr(const std::optional<double> &value) {
    return value ? QString::number(*value, 'f', *value < 1 ? 4 : 0) + QStringLiteral(" cd/m²")
                 : QStringLiteral("-");
}

// A text as a JSON string: quotation mark, backslash and control characters escaped, the
// rest in UTF-8.
void appendJsonString(QByteArray &json, const QString &text) {
    json += '"';
    for (qsizetype at = 0; at < text.size(); ++at) {
        const char16_t c = text[at].unicode();
        if (c == u'"' || c == u'\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8] = {};
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            json += escaped;
        } else if (c < 0x80) {
            json += static_cast<char>(c);
        } else {
            // A surrogate pair goes over whole.
            const qsizetype length = QChar::isHighSurrogate(c) && at + 1 < text.size() ? 2 : 1;
            json += QStringView(text).mid(at, length).toUtf8();
            at += length - 1;
        }
    }
    json += '"';
}

// The findings as the JSON's "findings": severity, rule, block, byte (null where none), where
// and text. Written as text and read once: a QJsonObject made key by key costs some 50
// allocations a finding, the text read as a document a fifth of that.
QJsonArray findingsJson(const Findings &findings) {
    if (findings.empty()) {
        return {};
    }
    QByteArray json;
    json.reserve(static_cast<qsizetype>(findings.size()) * 160);
    json += '[';
    for (const Finding &f : findings) {
        char head[96] = {};
        const auto number = [](int value, char(&text)[12]) {
            if (value < 0) {
                std::snprintf(text, sizeof text, "null");
            } else {
                std::snprintf(text, sizeof text, "%d", value);
            }
            return text;
        };
        char block[12] = {}, byte[12] = {};
        std::snprintf(head, sizeof head, "%s{\"severity\":\"%s\",\"rule\":", json.size() > 1 ? "," : "",
                      f.severity == Finding::Severity::Failure ? "failure" : "warning");
        json += head;
        if (f.rule != nullptr) {
            appendJsonString(json, QLatin1String(f.rule));
        } else {
            json += "null";
        }
        std::snprintf(head, sizeof head, ",\"block\":%s,\"byte\":%s,\"where\":", number(f.block, block),
                      number(f.byte, byte));
        json += head;
        appendJsonString(json, f.where);
        json += ",\"text\":";
        appendJsonString(json, f.text);
        json += '}';
    }
    json += ']';
    return QJsonDocument::fromJson(json).array();
}

} // namespace

QString physicalAddressText(uint16_t address) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 12)
        .arg((address >> 8) & 0xF)
        .arg((address >> 4) & 0xF)
        .arg(address & 0xF);
}

QJsonObject edidJson(const EdidDecoded &decoded) {
    QJsonObject o;
    QJsonArray checksums;
    for (bool ok : decoded.checksumsOk) {
        checksums.append(ok);
    }
    o[QStringLiteral("checksums_ok")] = checksums;
    const BaseBlock &base = decoded.base;
    o[QStringLiteral("manufacturer")] = base.manufacturer;
    o[QStringLiteral("product_code")] = base.productCode;
    o[QStringLiteral("serial_number")] = static_cast<qint64>(base.serialNumber);
    o[QStringLiteral("name")] =
        base.productName ? QJsonValue(*base.productName) : QJsonValue(QJsonValue::Null);
    o[QStringLiteral("names")] =
        QJsonArray::fromStringList(QStringList(base.productNames.begin(), base.productNames.end()));
    o[QStringLiteral("edid_version")] = QStringLiteral("%1.%2").arg(base.version).arg(base.revision);
    o[QStringLiteral("extension_count")] = base.extensionCount;
    o[QStringLiteral("hf_eeodb_extension_count")] =
        decoded.extensionOverride ? QJsonValue(*decoded.extensionOverride) : QJsonValue(QJsonValue::Null);
    if (const DetailedTiming *t = decoded.preferredTiming()) {
        o[QStringLiteral("preferred_timing")] =
            QJsonObject{{QStringLiteral("h_active"), t->hActive},
                        {QStringLiteral("v_active"), t->vActive},
                        {QStringLiteral("refresh_hz"), t->refreshHz},
                        {QStringLiteral("pixel_clock_khz"), static_cast<qint64>(t->pixelClockKhz)}};
    } else {
        o[QStringLiteral("preferred_timing")] = QJsonValue(QJsonValue::Null);
    }
    QJsonArray vics, nativeVics, ycbcr420;
    forEachVideo(decoded, [&](const VideoDescriptor &v) {
        vics.append(v.vic);
        if (v.native) {
            nativeVics.append(v.vic);
        }
    });
    for (uint8_t vic : ycbcr420Vics(decoded)) {
        ycbcr420.append(vic);
    }
    o[QStringLiteral("vics")] = vics;
    o[QStringLiteral("native_vics")] = nativeVics;
    o[QStringLiteral("ycbcr420_vics")] = ycbcr420;
    QJsonArray audio;
    for (const CtaBlock &cta : decoded.cta) {
        for (const AudioFormat &f : cta.audio) {
            QJsonArray rates;
            for (double rate : audioRatesKhz(f.sampleRates)) {
                rates.append(rate);
            }
            QJsonObject entry{{QStringLiteral("format"), audioFormatName(f)},
                              {QStringLiteral("max_channels"),
                               f.statesChannels() ? QJsonValue(f.maxChannels) : QJsonValue(QJsonValue::Null)},
                              {QStringLiteral("rates_khz"), rates}};
            if (f.code == static_cast<uint8_t>(AudioCoding::DtsHd)) {
                entry[QStringLiteral("dts_x")] = f.dtsX;
            }
            audio.append(entry);
        }
    }
    o[QStringLiteral("audio")] = audio;
    if (const HdrStatic *h = firstOf(decoded, &CtaBlock::hdrStatic)) {
        o[QStringLiteral("hdr_static")] = QJsonObject{
            {QStringLiteral("eotfs"), QJsonArray::fromStringList(eotfNames(h->eotfs))},
            {QStringLiteral("max_luminance"), optionalNumber(h->maxLuminance)},
            {QStringLiteral("max_frame_avg_luminance"), optionalNumber(h->maxFrameAverageLuminance)},
            {QStringLiteral("min_luminance"), optionalNumber(h->minLuminance)}};
    } else {
        o[QStringLiteral("hdr_static")] = QJsonValue(QJsonValue::Null);
    }
    if (const HdmiVsdb *h = firstOf(decoded, &CtaBlock::hdmi)) {
        o[QStringLiteral("hdmi")] =
            QJsonObject{{QStringLiteral("physical_address"), physicalAddressText(h->physicalAddress)},
                        {QStringLiteral("max_tmds_mhz"),
                         h->maxTmdsMhz != 0 ? QJsonValue(h->maxTmdsMhz) : QJsonValue(QJsonValue::Null)}};
    } else {
        o[QStringLiteral("hdmi")] = QJsonValue(QJsonValue::Null);
    }
    if (const HdmiForum *f = firstOf(decoded, &CtaBlock::hdmiForum)) {
        const auto optionalInt = [](const auto &value) {
            return value ? QJsonValue(int{*value}) : QJsonValue(QJsonValue::Null);
        };
        o[QStringLiteral("hdmi_forum")] =
            QJsonObject{{QStringLiteral("max_tmds_mhz"),
                         f->maxTmdsMhz != 0 ? QJsonValue(f->maxTmdsMhz) : QJsonValue(QJsonValue::Null)},
                        {QStringLiteral("max_frl_gbps"), frlGbps(f->maxFrlCode)},
                        {QStringLiteral("allm"), f->allm},
                        {QStringLiteral("vrr_min"), optionalInt(f->vrrMin)},
                        {QStringLiteral("vrr_max"), optionalInt(f->vrrMax)},
                        {QStringLiteral("dsc"), f->dsc}};
    } else {
        o[QStringLiteral("hdmi_forum")] = QJsonValue(QJsonValue::Null);
    }
    if (const DolbyVision *dv = firstOf(decoded, &CtaBlock::dolbyVision)) {
        o[QStringLiteral("dolby_vision")] = QJsonObject{{QStringLiteral("version"), dv->version}};
    } else {
        o[QStringLiteral("dolby_vision")] = QJsonValue(QJsonValue::Null);
    }
    o[QStringLiteral("hdr10plus")] =
        std::any_of(decoded.cta.begin(), decoded.cta.end(), [](const CtaBlock &c) { return c.hdr10Plus; });
    insertFindings(o, decoded.findings);
    o[QStringLiteral("findings")] = findingsJson(decoded.findings);
    return o;
}

QStringList edidDetailLines(const EdidDecoded &decoded) {
    QStringList lines;
    if (decoded.size < 128) {
        for (const Finding &f : decoded.findings) {
            lines << findingLine(f);
        }
        return lines;
    }
    const BaseBlock &b = decoded.base;
    lines << QStringLiteral("Block 0, Base EDID:");
    lines << QStringLiteral("  EDID version %1.%2").arg(b.version).arg(b.revision);
    lines << QStringLiteral("  Manufacturer: %1, product code: %2, serial number: %3")
                 .arg(b.manufacturer)
                 .arg(b.productCode)
                 .arg(b.serialNumber);
    lines << (b.modelYear   ? QStringLiteral("  Model year: %1").arg(b.year)
              : b.week == 0 ? QStringLiteral("  Made in: %1").arg(b.year)
                            : QStringLiteral("  Made in: week %1 of %2").arg(b.week).arg(b.year));
    for (const QString &name : b.productNames) {
        lines << QStringLiteral("  Display product name: '%1'").arg(name);
    }
    if (b.serialText) {
        lines << QStringLiteral("  Display product serial number: '%1'").arg(*b.serialText);
    }
    for (const QString &text : b.asciiTexts) {
        lines << QStringLiteral("  Alphanumeric data string: '%1'").arg(text);
    }
    lines << QStringLiteral("  %1 display, %2 cm x %3 cm%4")
                 .arg(b.digital ? QStringLiteral("Digital") : QStringLiteral("Analog"))
                 .arg(b.widthCm)
                 .arg(b.heightCm)
                 .arg(b.gamma ? QStringLiteral(", gamma %1").arg(*b.gamma, 0, 'f', 2) : QString());
    const Chromaticity &c = b.chromaticity;
    const auto coordinate = [](double value) { return QString::number(value, 'f', 4); };
    lines << QStringLiteral("  Chromaticity: red %1, %2; green %3, %4; blue %5, %6; white %7, %8")
                 .arg(coordinate(c.redX), coordinate(c.redY), coordinate(c.greenX), coordinate(c.greenY),
                      coordinate(c.blueX), coordinate(c.blueY), coordinate(c.whiteX), coordinate(c.whiteY));
    if (!b.establishedTimings.empty()) {
        const QStringList names(b.establishedTimings.begin(), b.establishedTimings.end());
        lines << QStringLiteral("  Established timings: %1").arg(names.join(QLatin1String(", ")));
    }
    for (const StandardTiming &s : b.standardTimings) {
        lines << QStringLiteral("  Standard timing: %1x%2 @ %3 Hz (%4)")
                     .arg(s.hActive)
                     .arg(s.vActive)
                     .arg(s.refreshHz)
                     .arg(QLatin1String(s.aspect));
    }
    for (size_t i = 0; i < b.detailedTimings.size(); ++i) {
        lines << QStringLiteral("  Detailed timing %1%2: %3")
                     .arg(i + 1)
                     .arg(i == 0 && b.firstTimingPreferred ? QStringLiteral(" (preferred)") : QString())
                     .arg(timingLine(b.detailedTimings[i]));
    }
    if (b.rangeLimits) {
        const RangeLimits &r = *b.rangeLimits;
        lines << QStringLiteral("  Range limits: %1-%2 Hz V, %3-%4 kHz H, max pixel clock %5 MHz")
                     .arg(r.minVerticalHz)
                     .arg(r.maxVerticalHz)
                     .arg(r.minHorizontalKhz)
                     .arg(r.maxHorizontalKhz)
                     .arg(r.maxPixelClockMhz);
    }
    lines << QStringLiteral("  Extension blocks: %1").arg(b.extensionCount);
    if (decoded.extensionOverride) {
        lines << QStringLiteral("  Extension blocks by the HF-EEODB of block 1: %1")
                     .arg(*decoded.extensionOverride);
    }
    for (size_t i = 0; i < decoded.checksumsOk.size(); ++i) {
        lines << QStringLiteral("  Checksum of block %1: 0x%2 %3")
                     .arg(i)
                     .arg(decoded.checksums[i], 2, 16, QLatin1Char('0'))
                     .arg(decoded.checksumsOk[i] ? QStringLiteral("(right)") : QStringLiteral("(WRONG)"));
    }
    for (const ExtensionEntry &e : decoded.extensions) {
        const auto cta = std::find_if(decoded.cta.begin(), decoded.cta.end(),
                                      [&](const CtaBlock &c) { return c.block == e.block; });
        if (cta != decoded.cta.end()) {
            ctaLines(*cta, lines);
        } else {
            lines << QStringLiteral("Block %1, %2 (not decoded)").arg(e.block).arg(extensionName(e.tag));
        }
    }
    for (const Finding &f : decoded.findings) {
        lines << findingLine(f);
    }
    return lines;
}

EdidSummary edidSummary(const EdidDecoded &decoded) {
    EdidSummary s;
    s.valid = decoded.valid();
    const BaseBlock &b = decoded.base;
    s.name = b.productName ? *b.productName : QStringLiteral("%1 %2").arg(b.manufacturer).arg(b.productCode);
    const auto consider = [&](uint16_t h, uint16_t v, double refresh) {
        const uint32_t area = uint32_t{h} * v;
        const uint32_t best = uint32_t{s.maxHActive} * s.maxVActive;
        if (area > best || (area == best && refresh > s.maxRefreshHz)) {
            s.maxHActive = h;
            s.maxVActive = v;
            s.maxRefreshHz = refresh;
        }
        s.uhd4k = s.uhd4k || (h >= 3840 && v >= 2160);
        s.uhd8k = s.uhd8k || (h >= 7680 && v >= 4320);
    };
    const auto considerVic = [&](uint8_t vic) {
        if (const VideoFormat *format = findVideoFormat(vic)) {
            consider(format->hActive, format->vActive, format->refreshMilliHz / 1000.0);
        }
    };
    for (const DetailedTiming &t : b.detailedTimings) {
        consider(t.hActive, t.vActive, t.refreshHz);
    }
    bool hdrSeen = false; // the first HDR Static Metadata Data Block speaks for the sink
    for (const CtaBlock &cta : decoded.cta) {
        for (const DetailedTiming &t : cta.detailedTimings) {
            consider(t.hActive, t.vActive, t.refreshHz);
        }
        for (const VideoDescriptor &v : cta.videos) {
            considerVic(v.vic);
        }
        for (uint8_t vic : cta.ycbcr420OnlyVics) {
            considerVic(vic);
        }
        if (cta.hdmi) {
            for (uint8_t hdmiVic : cta.hdmi->hdmiVics) {
                if (hdmiVic >= 1 && hdmiVic <= kHdmiVicFormats.size()) {
                    considerVic(kHdmiVicFormats[hdmiVic - 1]);
                }
            }
            if (!s.physicalAddress) {
                s.physicalAddress = cta.hdmi->physicalAddress;
            }
        }
        if (cta.hdmiForum) {
            s.maxFrlGbps = std::max(s.maxFrlGbps, frlGbps(cta.hdmiForum->maxFrlCode));
        }
        if (cta.hdrStatic && !hdrSeen) {
            hdrSeen = true;
            const HdrStatic &h = *cta.hdrStatic;
            s.hdr10 = s.hdr10 || ((h.eotfs & 0x04) != 0 && (h.descriptors & 0x01) != 0);
            s.hlg = s.hlg || (h.eotfs & 0x08) != 0;
            s.maxLuminance = h.maxLuminance;
            s.maxFrameAverageLuminance = h.maxFrameAverageLuminance;
            s.minLuminance = h.minLuminance;
        }
        s.dolbyVision = s.dolbyVision || cta.dolbyVision.has_value();
        s.hdr10Plus = s.hdr10Plus || cta.hdr10Plus;
        // The codings the comparison names, each a yes or no.
        static constexpr std::pair<AudioCoding, bool EdidSummary::*> kCodings[] = {
            {AudioCoding::Ac3, &EdidSummary::ac3},
            {AudioCoding::EnhancedAc3, &EdidSummary::eac3},
            {AudioCoding::Mat, &EdidSummary::trueHd},
            {AudioCoding::Dts, &EdidSummary::dts},
            {AudioCoding::DtsHd, &EdidSummary::dtsHd}};
        for (const AudioFormat &f : cta.audio) {
            const auto coding = static_cast<AudioCoding>(f.code);
            for (const auto &[named, member] : kCodings) {
                s.*member = s.*member || coding == named;
            }
            if (coding == AudioCoding::Lpcm) {
                s.lpcmChannels = std::max<int>(s.lpcmChannels, f.maxChannels);
            }
            s.atmos = s.atmos || (coding == AudioCoding::EnhancedAc3 && f.jointObjectCoding);
            s.dtsX = s.dtsX || (coding == AudioCoding::DtsHd && f.dtsX);
        }
    }
    s.ycbcr420 = std::any_of(decoded.cta.begin(), decoded.cta.end(), [](const CtaBlock &cta) {
        return !cta.ycbcr420OnlyVics.empty() ||
               std::any_of(cta.videos.begin(), cta.videos.end(),
                           [](const VideoDescriptor &v) { return v.ycbcr420Capable; });
    });
    s.failures = static_cast<int>(
        std::count_if(decoded.findings.begin(), decoded.findings.end(),
                      [](const Finding &f) { return f.severity == Finding::Severity::Failure; }));
    return s;
}

std::vector<SummaryRow> compareSummaries(const std::vector<EdidSummary> &summaries) {
    // A row shows a text of the summary, or one of its flags as yes or no.
    struct Row {
        const char *label;
        QString (*text)(const EdidSummary &) = nullptr;
        bool EdidSummary::*flag = nullptr;
    };
    static const Row kRows[] = {
        {"Name", [](const EdidSummary &s) { return s.name; }},
        {"Max resolution",
         [](const EdidSummary &s) { return sizeText(s.maxHActive, s.maxVActive, s.maxRefreshHz); }},
        {"4K", nullptr, &EdidSummary::uhd4k},
        {"8K", nullptr, &EdidSummary::uhd8k},
        {"YCbCr 4:2:0", nullptr, &EdidSummary::ycbcr420},
        {"HDMI 2.1 FRL",
         [](const EdidSummary &s) {
             return s.maxFrlGbps == 0 ? QStringLiteral("no") : QStringLiteral("%1 Gbps").arg(s.maxFrlGbps);
         }},
        {"HDR10", nullptr, &EdidSummary::hdr10},
        {"HLG", nullptr, &EdidSummary::hlg},
        {"Dolby Vision", nullptr, &EdidSummary::dolbyVision},
        {"HDR10+", nullptr, &EdidSummary::hdr10Plus},
        {"Max luminance", [](const EdidSummary &s) { return nitsOr(s.maxLuminance); }},
        {"Max frame-average luminance",
         [](const EdidSummary &s) { return nitsOr(s.maxFrameAverageLuminance); }},
        {"Min luminance", [](const EdidSummary &s) { return nitsOr(s.minLuminance); }},
        {"LPCM channels",
         [](const EdidSummary &s) {
             return s.lpcmChannels == 0 ? QStringLiteral("-") : QString::number(s.lpcmChannels);
         }},
        {"AC-3", nullptr, &EdidSummary::ac3},
        {"E-AC-3", nullptr, &EdidSummary::eac3},
        {"Dolby Atmos (E-AC-3 JOC)", nullptr, &EdidSummary::atmos},
        {"Dolby TrueHD", nullptr, &EdidSummary::trueHd},
        {"DTS", nullptr, &EdidSummary::dts},
        {"DTS-HD",
         [](const EdidSummary &s) { return s.dtsX ? QStringLiteral("yes, DTS:X") : yesNo(s.dtsHd); }},
        {"Physical address",
         [](const EdidSummary &s) {
             return s.physicalAddress ? physicalAddressText(*s.physicalAddress) : QStringLiteral("-");
         }},
    };
    std::vector<SummaryRow> rows;
    rows.reserve(std::size(kRows));
    for (const Row &row : kRows) {
        SummaryRow out{QLatin1String(row.label), {}, false};
        out.values.reserve(static_cast<qsizetype>(summaries.size()));
        for (const EdidSummary &s : summaries) {
            out.values << (!s.valid ? QStringLiteral("-") : row.text ? row.text(s) : yesNo(s.*row.flag));
        }
        out.differs = out.values.size() > 1 && out.values.count(out.values.front()) != out.values.size();
        rows.push_back(std::move(out));
    }
    return rows;
}

} // namespace edid
