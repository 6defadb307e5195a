// The EDID decoder held against Debian's edid-decode: every EDID of tests/data/edid and
// a set made here for the fields that are easy to get wrong are run through both, and the
// facts a source cares about must agree.

#include "core/edid/edid_decode.h"
#include "core/edid/edid_report.h"
#include "core/edid_builder.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <map>
#include <tuple>

using namespace testedid;
Q_DECLARE_METATYPE(testedid::Bytes)

namespace {

// What the test compares, as edid-decode prints it and as our decoder gives it.
struct Facts {
    QString manufacturer;
    QString productCode;
    QString serial;
    QString name;
    QString preferred; // "3840x2160 594.000000 MHz 60.000"
    QStringList vics;  // "97", "16 native"
    QStringList audio; // "LPCM 2 192 96 48"
    QString physicalAddress;
    QStringList eotfs;
    QStringList luminance; // "max 408.759", ...
    QString hdmiTmds;      // the HDMI VSDB's maximum TMDS clock in MHz
    bool hdmiForum = false;
    QString forumTmds; // the HDMI Forum block's maximum TMDS character rate in MHz
    int maxFrlCode = 0;
    bool allm = false;
    QString vrr; // "40-120"
    bool dolbyVision = false;
    // What the decoded view shows of the parts it once disagreed on, read from its lines.
    QStringList
        audioNotes; // each descriptor: "E-AC-3 JOC ACMOD28", "DTS-HD DTS:X", "MPEG-H 3D Audio level 5 LC"
    QStringList dolbyAudio;   // "version 2 (7 bytes)", "headphone only", "height", ..., "MAT PCM 48 kHz only"
    QString videoCapability;  // "YCbCr no data, RGB selectable, PT 0 IT 3 CE 3"
    QStringList textWarnings; // "display product name": a non-printable byte ends the text
};

// edid-decode's names of the audio codings ("Linear PCM") by our names.
const std::map<QString, QString> &oracleAudioNames() {
    static const std::map<QString, QString> names = {
        {"Linear PCM", "LPCM"},
        {"AC-3", "AC-3"},
        {"MPEG 1 (Layers 1 & 2)", "MPEG-1"},
        {"MPEG 1 Layer 3 (MP3)", "MP3"},
        {"MPEG2 (multichannel)", "MPEG-2"},
        {"AAC LC", "AAC LC"},
        {"DTS", "DTS"},
        {"ATRAC", "ATRAC"},
        {"One Bit Audio", "One Bit Audio"},
        {"Enhanced AC-3 (DD+)", "E-AC-3"},
        {"DTS-HD", "DTS-HD"},
        {"MAT (MLP)", "MAT (TrueHD)"},
        {"DST", "DST"},
        {"WMA Pro", "WMA Pro"},
        {"MPEG-4 HE AAC", "MPEG-4 HE AAC"},
        {"MPEG-4 HE AAC v2", "MPEG-4 HE AAC v2"},
        {"MPEG-4 AAC LC", "MPEG-4 AAC LC"},
        {"DRA", "DRA"},
        {"MPEG-4 HE AAC + MPEG Surround", "MPEG-4 HE AAC + MPEG Surround"},
        {"MPEG-4 AAC LC + MPEG Surround", "MPEG-4 AAC LC + MPEG Surround"},
        {"MPEG-H 3D Audio", "MPEG-H 3D Audio"},
        {"AC-4", "AC-4"},
        {"L-PCM 3D Audio", "L-PCM 3D Audio"},
    };
    return names;
}

// edid-decode's texts of the FRL codes 1 to 6.
// edid-decode's scan behaviours of the Video Capability Data Block by their codes 0 to 3.
int oracleScanCode(const QString &text) {
    if (text == QLatin1String("Always Overscanned")) {
        return 1;
    }
    if (text == QLatin1String("Always Underscanned")) {
        return 2;
    }
    return text == QLatin1String("Supports both over- and underscan") ? 3 : 0;
}

// The level of an MPEG-H 3D Audio descriptor as the decoded view says it.
QString oracleMpegHLevel(const QString &text) {
    static const QRegularExpression unknown(
        QStringLiteral("^Unknown MPEG-H 3D Audio Level \\(0x([0-9a-f]+)\\)$"));
    if (text == QLatin1String("Unspecified")) {
        return QStringLiteral("level unspecified");
    }
    const QRegularExpressionMatch m = unknown.match(text);
    return m.hasMatch() ? QStringLiteral("reserved level %1").arg(m.captured(1).toInt(nullptr, 16))
                        : text.toLower();
}

const QStringList kOracleFrlTexts = {
    "3 Gbps per lane on 3 lanes",
    "3 and 6 Gbps per lane on 3 lanes",
    "3 and 6 Gbps per lane on 3 lanes, 6 Gbps on 4 lanes",
    "3 and 6 Gbps per lane on 3 lanes, 6 and 8 Gbps on 4 lanes",
    "3 and 6 Gbps per lane on 3 lanes, 6, 8 and 10 Gbps on 4 lanes",
    "3 and 6 Gbps per lane on 3 lanes, 6, 8, 10 and 12 Gbps on 4 lanes",
};

QString rateText(double khz) {
    return QString::number(khz);
}

Facts oracleFacts(const QString &fullOutput) {
    Facts f;
    // --check adds the warnings and failures after the blocks.
    static const QRegularExpression checkPart(QStringLiteral("^(Warnings:|Failures:|EDID conformity:)"),
                                              QRegularExpression::MultilineOption);
    const qsizetype checkAt = fullOutput.indexOf(checkPart);
    const QString output = checkAt < 0 ? fullOutput : fullOutput.left(checkAt);
    static const QRegularExpression textWarning(
        QStringLiteral("^  (Display Product Name|Display Product Serial Number|Alphanumeric Data String): "
                       "Non-printable character\\.$"),
        QRegularExpression::MultilineOption);
    for (auto it = textWarning.globalMatch(fullOutput.mid(checkAt < 0 ? fullOutput.size() : checkAt));
         it.hasNext();) {
        f.textWarnings << it.next().captured(1).toLower();
    }
    QString section;   // "Block 1, CTA-861 Extension Block"
    QString dataBlock; // "Audio Data Block"
    QString audioEntry;
    bool inEotfs = false;
    bool firstDtdSeen = false;
    static const QRegularExpression vicLine(QStringLiteral("^    VIC\\s+(\\d+):.*?( \\(native\\))?$"));
    static const QRegularExpression dtdLine(
        QStringLiteral("^    DTD 1:\\s+(\\d+)x(\\d+)(i?)\\s+([\\d.]+) Hz.*?([\\d.]+) MHz"));
    static const QRegularExpression luminanceLine(QStringLiteral(
        "^    Desired content (max|max frame-average|min) luminance: \\d+ \\(([\\d.]+) cd/m\\^2\\)"));
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("Block "))) {
            section = line;
            dataBlock.clear();
            continue;
        }
        const bool base = section.contains(QLatin1String("Base EDID"));
        const bool cta = section.contains(QLatin1String("CTA-861 Extension Block"));
        if (line.startsWith(QLatin1String("  ")) && !line.startsWith(QLatin1String("   "))) {
            dataBlock = line.trimmed();
            inEotfs = false;
            if (cta && dataBlock.startsWith(QLatin1String("Vendor-Specific Data Block (HDMI Forum)"))) {
                f.hdmiForum = true;
            }
            if (cta && dataBlock.startsWith(QLatin1String("HDMI Forum Sink Capability Data Block"))) {
                f.hdmiForum = true;
            }
            if (cta && dataBlock.startsWith(QLatin1String("Vendor-Specific Video Data Block (Dolby)"))) {
                f.dolbyVision = true;
            }
            continue;
        }
        const QString trimmed = line.trimmed();
        if (base) {
            if (trimmed.startsWith(QLatin1String("Manufacturer: "))) {
                f.manufacturer = trimmed.mid(14);
            } else if (trimmed.startsWith(QLatin1String("Model: "))) {
                f.productCode = trimmed.mid(7);
            } else if (trimmed.startsWith(QLatin1String("Serial Number: ")) && f.serial.isEmpty()) {
                f.serial = trimmed.mid(15);
            } else if (trimmed.startsWith(QLatin1String("Display Product Name: '"))) {
                f.name = trimmed.mid(23).chopped(1);
            }
            const QRegularExpressionMatch dtd = dtdLine.match(line);
            if (dtd.hasMatch() && !firstDtdSeen) {
                firstDtdSeen = true;
                f.preferred = QStringLiteral("%1x%2%3 %4 MHz %5")
                                  .arg(dtd.captured(1), dtd.captured(2), dtd.captured(3), dtd.captured(5))
                                  .arg(dtd.captured(4).toDouble(), 0, 'f', 3);
            }
            continue;
        }
        if (!cta) {
            continue;
        }
        if (dataBlock == QLatin1String("Video Data Block:")) {
            const QRegularExpressionMatch m = vicLine.match(line);
            if (m.hasMatch()) {
                f.vics << m.captured(1) + (m.captured(2).isEmpty() ? QString() : QStringLiteral(" native"));
            }
        } else if (dataBlock == QLatin1String("Audio Data Block:")) {
            if (line.startsWith(QLatin1String("    ")) && !line.startsWith(QLatin1String("     ")) &&
                trimmed.endsWith(QLatin1Char(':'))) {
                const QString name = trimmed.chopped(1);
                const auto known = oracleAudioNames().find(name);
                f.audio << (known != oracleAudioNames().end() ? known->second : QStringLiteral("? ") + name);
                f.audioNotes << f.audio.back();
            } else if (trimmed.startsWith(QLatin1String("Max channels: ")) && !f.audio.isEmpty() &&
                       f.audio.back() != QLatin1String("AC-4")) {
                // AC-4 states no channel count: its bits F10-F12 must be 0, which edid-decode
                // shows as "Max channels: 1" (and shows nothing for the bits set).
                f.audio.back() += QLatin1Char(' ') + trimmed.mid(14);
            } else if (trimmed.startsWith(QLatin1String("Supported sample rates (kHz): ")) &&
                       !f.audio.isEmpty()) {
                f.audio.back() += QLatin1Char(' ') + trimmed.mid(30);
            } else if (trimmed == QLatin1String("Supports Joint Object Coding") && !f.audioNotes.isEmpty()) {
                f.audioNotes.back() += QLatin1String(" JOC");
            } else if (trimmed == QLatin1String("Supports Joint Object Coding with ACMOD28") &&
                       !f.audioNotes.isEmpty()) {
                f.audioNotes.back() += QLatin1String(" ACMOD28");
            } else if (trimmed.startsWith(QLatin1String("MPEG-H 3D Audio Level: ")) &&
                       !f.audioNotes.isEmpty()) {
                f.audioNotes.back() += QLatin1Char(' ') + oracleMpegHLevel(trimmed.mid(23));
            } else if (trimmed == QLatin1String("Supports MPEG-H 3D Audio Low Complexity Profile") &&
                       !f.audioNotes.isEmpty()) {
                f.audioNotes.back() += QLatin1String(" LC");
            } else if (!f.audioNotes.isEmpty() && f.audioNotes.back().startsWith(QLatin1String("DTS-HD")) &&
                       !f.audioNotes.back().endsWith(QLatin1String("DTS:X")) &&
                       (trimmed == QLatin1String("Supports DTS:X") ||
                        (trimmed.startsWith(QLatin1String("Audio Format Code dependent value: 0x")) &&
                         (trimmed.mid(37).toInt(nullptr, 16) & 0x02) != 0))) {
                // edid-decode 2022 shows the byte; later versions name DTS:X by its bit 1.
                f.audioNotes.back() += QLatin1String(" DTS:X");
            }
        } else if (dataBlock.startsWith(QLatin1String("Vendor-Specific Audio Data Block (Dolby)")) &&
                   line.startsWith(QLatin1String("    "))) {
            static const std::map<QString, QString> kDolbyAudio = {
                {"Headphone playback only", "headphone only"},
                {"Height speaker zone present", "height"},
                {"Surround speaker zone present", "surround"},
                {"Center speaker zone present", "center"},
                {"Supports Dolby MAT PCM decoding at 48 kHz only, does not support TrueHD",
                 "MAT PCM 48 kHz only"}};
            const auto known = kDolbyAudio.find(trimmed);
            if (trimmed.startsWith(QLatin1String("Version: "))) {
                f.dolbyAudio << QStringLiteral("version ") + trimmed.mid(9);
            } else {
                f.dolbyAudio << (known != kDolbyAudio.end() ? known->second : QStringLiteral("? ") + trimmed);
            }
        } else if (dataBlock == QLatin1String("Video Capability Data Block:")) {
            const QString value = trimmed.section(QLatin1String(": "), 1);
            const QString meaning = value == QLatin1String("No Data") ? QStringLiteral("no data")
                                    : value.startsWith(QLatin1String("Selectable"))
                                        ? QStringLiteral("selectable")
                                        : value;
            if (trimmed.startsWith(QLatin1String("YCbCr quantization: "))) {
                f.videoCapability = QStringLiteral("YCbCr ") + meaning;
            } else if (trimmed.startsWith(QLatin1String("RGB quantization: "))) {
                f.videoCapability += QStringLiteral(", RGB ") + meaning;
            } else if (trimmed.contains(QLatin1String(" scan behavior: "))) {
                f.videoCapability +=
                    (trimmed.startsWith(QLatin1String("PT")) ? QStringLiteral(", ") : QStringLiteral(" ")) +
                    trimmed.left(2) + QLatin1Char(' ') + QString::number(oracleScanCode(value));
            }
        } else if (dataBlock.startsWith(QLatin1String("Vendor-Specific Data Block (HDMI), "))) {
            if (trimmed.startsWith(QLatin1String("Source physical address: "))) {
                f.physicalAddress = trimmed.mid(25);
            } else if (trimmed.startsWith(QLatin1String("Maximum TMDS clock: "))) {
                f.hdmiTmds = trimmed.mid(20).section(QLatin1Char(' '), 0, 0);
            }
        } else if (f.hdmiForum && trimmed.startsWith(QLatin1String("Maximum TMDS Character Rate: "))) {
            f.forumTmds = trimmed.mid(29).section(QLatin1Char(' '), 0, 0);
        } else if (f.hdmiForum && trimmed == QLatin1String("Supports Auto Low-Latency Mode")) {
            f.allm = true;
        } else if (f.hdmiForum && trimmed.startsWith(QLatin1String("VRRmin: "))) {
            f.vrr = trimmed.mid(8).section(QLatin1Char(' '), 0, 0);
        } else if (f.hdmiForum && trimmed.startsWith(QLatin1String("VRRmax: "))) {
            f.vrr += QLatin1Char('-') + trimmed.mid(8).section(QLatin1Char(' '), 0, 0);
        } else if (dataBlock.startsWith(QLatin1String("HDR Static Metadata Data Block"))) {
            if (trimmed == QLatin1String("Electro optical transfer functions:")) {
                inEotfs = true;
            } else if (trimmed == QLatin1String("Supported static metadata descriptors:")) {
                inEotfs = false;
            } else if (inEotfs) {
                static const std::map<QString, QString> kEotfs = {
                    {"Traditional gamma - SDR luminance range", "SDR"},
                    {"Traditional gamma - HDR luminance range", "HDR"},
                    {"SMPTE ST2084", "PQ"},
                    {"Hybrid Log-Gamma", "HLG"}};
                const auto known = kEotfs.find(trimmed);
                f.eotfs << (known != kEotfs.end() ? known->second : trimmed);
            }
            const QRegularExpressionMatch m = luminanceLine.match(line);
            if (m.hasMatch()) {
                f.luminance << m.captured(1) + QLatin1Char(' ') + m.captured(2);
            }
        } else if (f.hdmiForum && trimmed.startsWith(QLatin1String("Max Fixed Rate Link: ")) &&
                   line.startsWith(QLatin1String("    Max"))) {
            f.maxFrlCode = static_cast<int>(kOracleFrlTexts.indexOf(trimmed.mid(21))) + 1;
        }
    }
    return f;
}

// The facts of issue 25 as the decoded view shows them.
void shownFacts(const QStringList &lines, const Findings &findings, Facts &f) {
    static const QRegularExpression audioEntry(
        QStringLiteral("^    (.+?)(: max \\d+ channels|: (level .*|reserved level .*))?$"));
    static const QRegularExpression videoCapability(
        QStringLiteral("^  Video Capability: YCC quantization (.+), RGB quantization (.+), scan (PT \\d) (IT "
                       "\\d) (CE \\d)$"));
    static const std::map<QString, QString> kAudioNotes = {{"Joint Object Coding (Dolby Atmos)", "JOC"},
                                                           {"Joint Object Coding with ACMOD28", "ACMOD28"},
                                                           {"DTS:X", "DTS:X"},
                                                           {"Low Complexity Profile", "LC"}};
    QString part; // "  Audio Data Block:", "  Dolby Audio: ...", ...
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("  ")) && !line.startsWith(QLatin1String("   "))) {
            part = line;
            if (line.startsWith(QLatin1String("  Dolby Audio: "))) {
                f.dolbyAudio << line.mid(15);
            }
            const QRegularExpressionMatch m = videoCapability.match(line);
            if (m.hasMatch()) {
                f.videoCapability =
                    QStringLiteral("YCbCr %1, RGB %2, %3 %4 %5")
                        .arg(m.captured(1), m.captured(2), m.captured(3), m.captured(4), m.captured(5));
            }
            continue;
        }
        const QString trimmed = line.trimmed();
        if (part == QLatin1String("  Audio Data Block:") && !line.startsWith(QLatin1String("     "))) {
            const QRegularExpressionMatch m = audioEntry.match(line);
            f.audioNotes << m.captured(1) +
                                (m.captured(3).isEmpty() ? QString() : QLatin1Char(' ') + m.captured(3));
        } else if (part == QLatin1String("  Audio Data Block:")) {
            const auto known = kAudioNotes.find(trimmed);
            if (known != kAudioNotes.end() && !f.audioNotes.isEmpty()) {
                f.audioNotes.back() += QLatin1Char(' ') + known->second;
            }
        } else if (part.startsWith(QLatin1String("  Dolby Audio: "))) {
            if (trimmed.startsWith(QLatin1String("Speaker zones: "))) {
                f.dolbyAudio << trimmed.mid(15).split(QLatin1String(", "));
            } else {
                f.dolbyAudio << (trimmed == QLatin1String("Headphone playback only")
                                     ? QStringLiteral("headphone only")
                                 : trimmed == QLatin1String("Dolby MAT PCM at 48 kHz only, no TrueHD")
                                     ? QStringLiteral("MAT PCM 48 kHz only")
                                     : QStringLiteral("? ") + trimmed);
            }
        } else if (part.startsWith(QLatin1String("  HDMI Forum ")) &&
                   trimmed.startsWith(QLatin1String("VRR: "))) {
            // "VRR: 40 to 120 Hz"; a range of 0 to 0 Hz is no VRR, which edid-decode leaves unsaid.
            f.vrr = trimmed == QLatin1String("VRR: not supported")
                        ? QString()
                        : trimmed.mid(5)
                              .remove(QLatin1String(" Hz"))
                              .replace(QLatin1String(" to "), QLatin1String("-"));
        }
    }
    for (const Finding &finding : findings) {
        const qsizetype at = finding.text.indexOf(QLatin1String(": non-printable byte "));
        if (finding.severity == Finding::Severity::Warning && at > 0) {
            f.textWarnings << finding.text.left(at).toLower();
        }
    }
}

Facts ourFacts(const edid::EdidDecoded &d) {
    Facts f;
    f.manufacturer = d.base.manufacturer;
    f.productCode = QString::number(d.base.productCode);
    f.serial = d.base.serialNumber != 0 ? QString::number(d.base.serialNumber) : QString();
    f.name = d.base.productName.value_or(QString());
    if (const edid::DetailedTiming *t = d.preferredTiming()) {
        f.preferred = QStringLiteral("%1x%2%3 %4 MHz %5")
                          .arg(t->hActive)
                          .arg(t->vActive)
                          .arg(t->interlaced ? QStringLiteral("i") : QString())
                          .arg(t->pixelClockKhz / 1000.0, 0, 'f', 6)
                          .arg(t->refreshHz, 0, 'f', 3);
    }
    bool hdrSeen = false;
    for (const edid::CtaBlock &cta : d.cta) {
        for (const edid::VideoDescriptor &v : cta.videos) {
            f.vics << QString::number(v.vic) + (v.native ? QStringLiteral(" native") : QString());
        }
        for (const edid::AudioFormat &a : cta.audio) {
            QStringList rates;
            for (double rate : edid::audioRatesKhz(a.sampleRates)) {
                rates << rateText(rate);
            }
            const QString channels =
                a.maxChannels != 0 ? QString::number(a.maxChannels) + QLatin1Char(' ') : QString();
            f.audio << edid::audioFormatName(a) + QLatin1Char(' ') + channels + rates.join(' ');
        }
        if (cta.hdmi && f.physicalAddress.isEmpty()) {
            f.physicalAddress = edid::physicalAddressText(cta.hdmi->physicalAddress);
            if (cta.hdmi->maxTmdsMhz != 0) {
                f.hdmiTmds = QString::number(cta.hdmi->maxTmdsMhz);
            }
        }
        if (cta.hdrStatic && !hdrSeen) {
            hdrSeen = true;
            const edid::HdrStatic &h = *cta.hdrStatic;
            f.eotfs = edid::eotfNames(h.eotfs);
            if (h.maxLuminance) {
                f.luminance << QStringLiteral("max %1").arg(*h.maxLuminance, 0, 'f', 3);
            }
            if (h.maxFrameAverageLuminance) {
                f.luminance
                    << QStringLiteral("max frame-average %1").arg(*h.maxFrameAverageLuminance, 0, 'f', 3);
            }
            if (h.minLuminance) {
                f.luminance << QStringLiteral("min %1").arg(*h.minLuminance, 0, 'f', 3);
            }
        }
        if (cta.hdmiForum) {
            f.hdmiForum = true;
            f.maxFrlCode = cta.hdmiForum->maxFrlCode;
            const edid::HdmiForum &forum = *cta.hdmiForum;
            if (forum.maxTmdsMhz != 0) {
                f.forumTmds = QString::number(forum.maxTmdsMhz);
            }
            f.allm = forum.allm;
        }
        f.dolbyVision = f.dolbyVision || cta.dolbyVision.has_value();
    }
    shownFacts(edid::edidDetailLines(d), d.findings, f);
    return f;
}

// --- EDIDs made for the comparison -----------------------------------------------------

Bytes hdrEdid(uint8_t eotfs, uint8_t max, uint8_t average, uint8_t min) {
    return ctaEdid(extendedBlock(0x06, {eotfs, 0x01, max, average, min}));
}

Bytes frlEdid(uint8_t code, bool scdb) {
    if (scdb) {
        return ctaEdid(extendedBlock(
            0x79, {0x00, 0x00, 0x01, 0x78, 0x80, static_cast<uint8_t>(code << 4 | 0x01), 0x02}));
    }
    return ctaEdid(block(3, {0xD8, 0x5D, 0xC4, 0x01, 0x78, 0x80, static_cast<uint8_t>(code << 4)}));
}

// Up to four Video Data Blocks of 29 descriptors each, from the given codes.
Bytes vicEdid(const Bytes &svds) {
    Bytes blocks;
    for (size_t at = 0; at < svds.size(); at += 29) {
        const Bytes part(svds.begin() + static_cast<std::ptrdiff_t>(at),
                         svds.begin() + static_cast<std::ptrdiff_t>(std::min(svds.size(), at + 29)));
        blocks = concat({blocks, block(2, part)});
    }
    return ctaEdid(blocks);
}

Bytes audioEdid(const Bytes &sads) {
    return ctaEdid(concat({block(1, sads), block(3, {0x03, 0x0C, 0x00, 0x21, 0x30})}));
}

std::vector<std::pair<QString, Bytes>> generatedEdids() {
    std::vector<std::pair<QString, Bytes>> list;
    const uint8_t codes[] = {0, 1, 31, 32, 63, 97, 128, 200, 255};
    for (uint8_t max : codes) {
        list.push_back(
            {QStringLiteral("hdr max %1").arg(max),
             hdrEdid(0x0F, max, static_cast<uint8_t>(255 - max), static_cast<uint8_t>(max / 2 + 1))});
    }
    list.push_back({"hdr no luminance", ctaEdid(extendedBlock(0x06, {0x05, 0x01}))});
    list.push_back({"hdr max only", ctaEdid(extendedBlock(0x06, {0x04, 0x01, 90}))});
    for (uint8_t code = 0; code <= 6; ++code) {
        list.push_back({QStringLiteral("frl %1").arg(code), frlEdid(code, false)});
    }
    list.push_back({"frl scdb", frlEdid(5, true)});
    // ALLM, VRR 48 to 800 Hz (the two upper bits of the maximum beside the minimum), DSC.
    list.push_back({"vrr high bits", ctaEdid(block(3, {0xD8, 0x5D, 0xC4, 0x01, 0x00, 0x80, 0x60, 0x02, 0xF0,
                                                       0x20, 0x80, 0x33, 0x05}))});
    // Every code of the table in the order it stands, and every native code.
    Bytes low, high, native;
    for (int vic = 1; vic <= 116; ++vic) {
        low.push_back(static_cast<uint8_t>(vic));
    }
    for (int vic = 117; vic <= 127; ++vic) {
        high.push_back(static_cast<uint8_t>(vic));
    }
    for (int vic = 193; vic <= 219; ++vic) {
        high.push_back(static_cast<uint8_t>(vic));
    }
    for (int code = 129; code <= 192; ++code) {
        native.push_back(static_cast<uint8_t>(code));
    }
    list.push_back({"vics 1-116", vicEdid(low)});
    list.push_back({"vics 117-219", vicEdid(high)});
    list.push_back({"native vics", vicEdid(native)});
    Bytes sads;
    for (uint8_t code = 1; code <= 14; ++code) {
        sads.insert(sads.end(), {static_cast<uint8_t>(code << 3 | (code % 8)),
                                 static_cast<uint8_t>(code * 9 & 0x7F), 0x01});
        if (sads.size() >= 27) {
            list.push_back({QStringLiteral("audio to %1").arg(code), audioEdid(sads)});
            sads.clear();
        }
    }
    list.push_back({"audio rest", audioEdid(sads)});
    Bytes extended;
    for (uint8_t type : {4, 5, 6, 7, 8, 10, 11, 12, 13}) {
        extended.insert(extended.end(), {0x7D, 0x07, static_cast<uint8_t>(type << 3)});
    }
    list.push_back({"extended audio", audioEdid(extended)});
    // L-PCM 3D Audio with 8, 16 and 32 channels: the upper channel bits beside the rates.
    list.push_back({"L-PCM 3D channels", audioEdid({0x7F, 0x07, 0x68, 0x7F, 0x87, 0x68, 0xFF, 0x87, 0x68})});
    const Bytes dv1 = {0x46, 0xD0, 0x00, 0x2A, 0x18, 0x03, 0x51, 0x59, 0x99, 0xAA};
    const Bytes dv2 = {0x46, 0xD0, 0x00, 0x45, 0x0B, 0x80, 0x86, 0x60, 0x76, 0x8F};
    const Bytes dv0 = {0x46, 0xD0, 0x00, 0x03, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
                       0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x10, 0x7F, 0x21, 0x40, 0x00};
    list.push_back({"dolby vision 0", ctaEdid(extendedBlock(0x01, dv0))});
    list.push_back({"dolby vision 1", ctaEdid(extendedBlock(0x01, dv1))});
    list.push_back({"dolby vision 2", ctaEdid(extendedBlock(0x01, dv2))});
    list.push_back({"hdmi address", ctaEdid(block(3, {0x03, 0x0C, 0x00, 0x12, 0x34, 0x80, 0x3C}))});
    // Where the decoded view and edid-decode once disagreed (issue 25). An HF-VSDB with
    // VRRmin = VRRmax = 0 supports no VRR: edid-decode says nothing, the view says so.
    list.push_back(
        {"vrr 0 to 0", ctaEdid(block(3, {0xD8, 0x5D, 0xC4, 0x01, 0x78, 0x80, 0x63, 0x22, 0x00, 0x00}))});
    // The Dolby Vendor-Specific Audio Data Block: version, headphone playback, speaker
    // zones, MAT PCM at 48 kHz only; one with nothing set.
    list.push_back({"dolby audio", ctaEdid(extendedBlock(0x11, {0x46, 0xD0, 0x00, 0xF1, 0x01}))});
    list.push_back({"dolby audio bare", ctaEdid(extendedBlock(0x11, {0x46, 0xD0, 0x00, 0x00, 0x00}))});
    // DTS-HD with and without DTS:X (byte 3 bit 1), E-AC-3 with joint object coding alone,
    // with ACMOD28 alone and with both.
    list.push_back({"dts:x and acmod28", audioEdid({0x5F, 0x7F, 0x03, 0x5F, 0x7F, 0x01, 0x57, 0x06, 0x01,
                                                    0x57, 0x06, 0x02, 0x57, 0x06, 0x03})});
    // MPEG-H 3D Audio: its level (unspecified, 2, 5, reserved 6) in place of the channels,
    // and the Low Complexity Profile; AC-4 states no channel count.
    list.push_back({"mpeg-h and ac-4", audioEdid({0x78, 0x07, 0x58, 0x7A, 0x07, 0x59, 0x7D, 0x07, 0x59, 0x7E,
                                                  0x07, 0x58, 0x78, 0x07, 0x60, 0x78, 0x06, 0x61})});
    // Product names cut by a byte that is not printable: a zero before the line feed, a
    // control byte, DEL; and a serial number and a data string with a zero.
    for (const auto &[label, text] :
         {std::pair{"name zero", "55R635\0\n     "}, std::pair{"name control", "55R6\00135\n     "},
          std::pair{"name del", "AB\177CD\n       "}}) {
        Bytes edid = ctaEdid({});
        std::copy_n(text, 13, &edid[77]);
        fixChecksum(edid, 0);
        list.push_back({label, edid});
    }
    Bytes texts = ctaEdid({});
    for (const auto &[at, tag, text] :
         {std::tuple{90, 0xFF, "Q7JLK\0\n      "}, std::tuple{108, 0xFE, "AB\0CD\n       "}}) {
        texts[size_t(at) + 3] = uint8_t(tag);
        std::copy_n(text, 13, &texts[size_t(at) + 5]);
    }
    fixChecksum(texts, 0);
    list.push_back({"serial and text zero", texts});
    // The Video Capability Data Block's QY and QS: selectable, or no data (not "fixed").
    for (uint8_t capability : {0x00, 0x3F, 0x95, 0x6A, 0xC0}) {
        list.push_back({QStringLiteral("video capability 0x%1").arg(capability, 2, 16, QLatin1Char('0')),
                        ctaEdid(extendedBlock(0x00, {capability}))});
    }
    return list;
}

} // namespace

class TestEdidOracle : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void agrees_data();
    void agrees();

private:
    QString oracle;
    QTemporaryDir scratch;
};

void TestEdidOracle::initTestCase() {
    oracle = QStandardPaths::findExecutable(QStringLiteral("edid-decode"));
    if (oracle.isEmpty()) {
        QSKIP("edid-decode is not installed (apt-get install edid-decode)");
    }
    QVERIFY(scratch.isValid());
}

void TestEdidOracle::agrees_data() {
    QTest::addColumn<Bytes>("edid");
    QTest::addColumn<int>("oracleVicsPastCollection");
    const QDir data(QFINDTESTDATA("../data/edid"));
    const QStringList files = data.entryList({QStringLiteral("*.bin")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 16);
    for (const QString &file : files) {
        // The BenQ's CTA block (read with a wrong checksum) ends its collection at byte
        // 46, inside a Video Data Block of 19 bytes that edid-decode reads to byte 62.
        const int pastCollection = file.startsWith(QLatin1String("linuxhw-benq-pd2700u")) ? 15 : 0;
        QTest::newRow(qPrintable(file)) << readFile(data.filePath(file)) << pastCollection;
    }
    for (const auto &[name, bytes] : generatedEdids()) {
        QTest::newRow(qPrintable(name)) << bytes << 0;
    }
}

void TestEdidOracle::agrees() {
    QFETCH(Bytes, edid);
    const QString path = scratch.filePath(QStringLiteral("edid.bin"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(reinterpret_cast<const char *>(edid.data()), static_cast<qint64>(edid.size()));
    }
    QProcess process;
    process.start(oracle, {QStringLiteral("--check"), QStringLiteral("--skip-hex-dump"), path});
    QVERIFY(process.waitForFinished(30000));
    Facts want = oracleFacts(QString::fromUtf8(process.readAllStandardOutput()));
    const Facts got = ourFacts(edid::decodeEdid(edid));
    QCOMPARE(got.manufacturer, want.manufacturer);
    QCOMPARE(got.productCode, want.productCode);
    QCOMPARE(got.serial, want.serial);
    QCOMPARE(got.name, want.name);
    QCOMPARE(got.preferred, want.preferred);
    QFETCH(int, oracleVicsPastCollection);
    // A Video Data Block whose stated length runs past the data block collection: CTA-861
    // (the header's byte 2, the offset d of the first detailed timing, ends the collection)
    // gives those bytes to the detailed timings. edid-decode 2022 reads the block on past d
    // anyway and lists VICs made of timing bytes; we stop at d and report a failure.
    want.vics = want.vics.mid(0, want.vics.size() - oracleVicsPastCollection);
    QCOMPARE(got.vics, want.vics);
    QCOMPARE(got.audio, want.audio);
    QCOMPARE(got.physicalAddress, want.physicalAddress);
    QCOMPARE(got.eotfs, want.eotfs);
    QCOMPARE(got.luminance, want.luminance);
    QCOMPARE(got.hdmiForum, want.hdmiForum);
    QCOMPARE(got.maxFrlCode, want.maxFrlCode);
    QCOMPARE(got.hdmiTmds, want.hdmiTmds);
    QCOMPARE(got.forumTmds, want.forumTmds);
    QCOMPARE(got.allm, want.allm);
    QCOMPARE(got.vrr, want.vrr);
    QCOMPARE(got.dolbyVision, want.dolbyVision);
    QCOMPARE(got.audioNotes, want.audioNotes);
    QCOMPARE(got.dolbyAudio, want.dolbyAudio);
    QCOMPARE(got.videoCapability, want.videoCapability);
    QCOMPARE(got.textWarnings, want.textWarnings);
}

QTEST_GUILESS_MAIN(TestEdidOracle)
#include "tst_edid_oracle.moc"
