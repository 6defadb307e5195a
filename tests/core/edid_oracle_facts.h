#pragma once
// What the EDID oracle tests compare: the facts a source cares about, as Debian's
// edid-decode prints them and as our decoder gives them.

#include "core/edid/edid_decode.h"
#include "core/edid/edid_report.h"

#include <QRegularExpression>
#include <QStringList>

#include <map>

namespace edidoracle {

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
    // The parts the decoder once got wrong on real displays.
    QStringList names;       // every product name descriptor as it stands
    QStringList timings;     // every detailed timing of the base and CTA blocks: "2560x1080 185.580 MHz"
    QStringList ycbcr420Map; // the VICs the 4:2:0 capability maps name, in the order of the SVDs
    QString rangeLimits;     // "50-75 Hz V, 30-83 kHz H, max 170 MHz"
    QList<int> blocks;       // the blocks decoded
};

// One warning or failure of edid-decode --check: its section ("Block 1, CTA-861 Extension
// Block", "EDID") and its message, continuation lines joined by a space.
struct OracleFinding {
    bool failure = false;
    QString section;
    QString message;
};

// The warnings and failures edid-decode --check lists after the blocks.
inline std::vector<OracleFinding> oracleFindings(const QString &output) {
    std::vector<OracleFinding> findings;
    bool failure = false, inList = false;
    QString section;
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        if (line == QLatin1String("Warnings:") || line == QLatin1String("Failures:")) {
            inList = true;
            failure = line == QLatin1String("Failures:");
        } else if (line.startsWith(QLatin1String("EDID conformity:"))) {
            inList = false;
        } else if (!inList || line.isEmpty()) {
            continue;
        } else if (!line.startsWith(QLatin1Char(' '))) {
            section = line.chopped(1);
        } else if (line.startsWith(QLatin1String("    ")) && !findings.empty()) {
            findings.back().message += QLatin1Char(' ') + line.trimmed();
        } else {
            findings.push_back({failure, section, line.trimmed()});
        }
    }
    return findings;
}

inline bool oracleHasFailure(const QString &output) {
    const std::vector<OracleFinding> findings = oracleFindings(output);
    return std::any_of(findings.begin(), findings.end(), [](const OracleFinding &f) { return f.failure; });
}

// edid-decode's names of the audio codings ("Linear PCM") by our names.
inline const std::map<QString, QString> &oracleAudioNames() {
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
        {"Reserved (0x00)", "reserved"},
        {"HE AAC (Obsolete)", "extended audio type 1"},
        {"HE AAC v2 (Obsolete)", "extended audio type 2"},
        {"MPEG Surround (Obsolete)", "extended audio type 3"},
    };
    return names;
}

// edid-decode's texts of the FRL codes 1 to 6.
// edid-decode's scan behaviours of the Video Capability Data Block by their codes 0 to 3.
inline int oracleScanCode(const QString &text) {
    if (text == QLatin1String("Always Overscanned")) {
        return 1;
    }
    if (text == QLatin1String("Always Underscanned")) {
        return 2;
    }
    return text == QLatin1String("Supports both over- and underscan") ? 3 : 0;
}

// The level of an MPEG-H 3D Audio descriptor as the decoded view says it.
inline QString oracleMpegHLevel(const QString &text) {
    static const QRegularExpression unknown(
        QStringLiteral("^Unknown MPEG-H 3D Audio Level \\(0x([0-9a-f]+)\\)$"));
    if (text == QLatin1String("Unspecified")) {
        return QStringLiteral("level unspecified");
    }
    const QRegularExpressionMatch m = unknown.match(text);
    return m.hasMatch() ? QStringLiteral("reserved level %1").arg(m.captured(1).toInt(nullptr, 16))
                        : text.toLower();
}

inline const QStringList kOracleFrlTexts = {
    "3 Gbps per lane on 3 lanes",
    "3 and 6 Gbps per lane on 3 lanes",
    "3 and 6 Gbps per lane on 3 lanes, 6 Gbps on 4 lanes",
    "3 and 6 Gbps per lane on 3 lanes, 6 and 8 Gbps on 4 lanes",
    "3 and 6 Gbps per lane on 3 lanes, 6, 8 and 10 Gbps on 4 lanes",
    "3 and 6 Gbps per lane on 3 lanes, 6, 8, 10 and 12 Gbps on 4 lanes",
};

inline QString rateText(double khz) {
    return QString::number(khz);
}

// The facts of edid-decode's output; of the blocks up to lastBlock only, when it is given
// (edid-decode decodes every block of a file, also past those the EDID states).
inline Facts oracleFacts(const QString &fullOutput, int lastBlock = 255) {
    Facts f;
    // --check adds the warnings and failures after the blocks.
    static const QRegularExpression checkPart(QStringLiteral("^(Warnings:|Failures:|EDID conformity:)"),
                                              QRegularExpression::MultilineOption);
    const qsizetype checkAt = fullOutput.indexOf(checkPart);
    const QString output = checkAt < 0 ? fullOutput : fullOutput.left(checkAt);
    // The texts of the base block's descriptors that a byte which is not printable ends.
    static const QRegularExpression textWarning(
        QStringLiteral("^(Display Product Name|Display Product Serial Number|Alphanumeric Data String): "
                       "Non-printable character\\.$"));
    for (const OracleFinding &finding : oracleFindings(fullOutput)) {
        const QRegularExpressionMatch m = textWarning.match(finding.message);
        if (m.hasMatch() && finding.section.startsWith(QLatin1String("Block 0,"))) {
            f.textWarnings << m.captured(1).toLower();
        }
    }
    QString section;   // "Block 1, CTA-861 Extension Block"
    QString dataBlock; // "Audio Data Block"
    QString audioEntry;
    bool inEotfs = false;
    bool firstDtdSeen = false;
    // "VIC  16: ... (native)", or "Unknown (VIC 223)" for a code the table does not hold.
    static const QRegularExpression vicLine(
        QStringLiteral("^    (?:VIC\\s+|Unknown \\(VIC )(\\d+)(?::|\\)).*?( \\(native\\))?$"));
    // A timing of no active pixels or lines ("0x0  inf Hz") is no timing a source can send.
    static const QRegularExpression dtdLine(
        QStringLiteral("^    DTD (\\d+):\\s+([1-9]\\d*)x([1-9]\\d*)(i?)\\s+([\\d.]+) Hz.*?([\\d.]+) MHz"));
    static const QRegularExpression rangeLine(QStringLiteral(
        "^      Monitor ranges \\(.*\\): (\\d+-\\d+ Hz V, \\d+-\\d+ kHz H), max dotclock (\\d+) MHz$"));
    static const QRegularExpression blockLine(QStringLiteral("^Block (\\d+), "));
    bool skipped = false; // a block past lastBlock
    bool mapsAll = false; // the block's 4:2:0 capability map is empty
    qsizetype blockVicsFrom = 0;
    int hdmiVsdbs = 0;
    static const QRegularExpression luminanceLine(QStringLiteral(
        "^    Desired content (max|max frame-average|min) luminance: \\d+ \\(([\\d.]+) cd/m\\^2\\)"));
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("Block ")) || line.startsWith(QLatin1String("-----"))) {
            // An empty 4:2:0 capability map names every descriptor of its block.
            if (mapsAll) {
                for (qsizetype i = blockVicsFrom; i < f.vics.size(); ++i) {
                    f.ycbcr420Map << f.vics[i].section(QLatin1Char(' '), 0, 0);
                }
            }
            mapsAll = false;
            blockVicsFrom = f.vics.size();
        }
        if (line.startsWith(QLatin1String("Block "))) {
            section = line;
            dataBlock.clear();
            const int block = blockLine.match(line).captured(1).toInt();
            skipped = block > lastBlock;
            if (!skipped) {
                f.blocks << block;
            }
            continue;
        }
        if (skipped) {
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
            if (cta && dataBlock.startsWith(QLatin1String("Vendor-Specific Data Block (HDMI), "))) {
                ++hdmiVsdbs;
            }
            continue;
        }
        const QString trimmed = line.trimmed();
        if (base) {
            if (trimmed.startsWith(QLatin1String("Manufacturer: "))) {
                // A letter code outside 1 to 26: edid-decode shows the character it makes, we '?'.
                f.manufacturer = trimmed.mid(14);
                for (QChar &c : f.manufacturer) {
                    c = c >= QLatin1Char('A') && c <= QLatin1Char('Z') ? c : QLatin1Char('?');
                }
            } else if (trimmed.startsWith(QLatin1String("Model: "))) {
                f.productCode = trimmed.mid(7);
            } else if (trimmed.startsWith(QLatin1String("Serial Number: ")) && f.serial.isEmpty()) {
                f.serial = trimmed.mid(15);
            } else if (trimmed.startsWith(QLatin1String("Display Product Name: '"))) {
                f.names << trimmed.mid(23).chopped(1);
                if (f.name.isEmpty()) {
                    f.name = f.names.back();
                }
            }
            const QRegularExpressionMatch range = rangeLine.match(line);
            if (range.hasMatch()) {
                f.rangeLimits =
                    range.captured(1) + QStringLiteral(", max ") + range.captured(2) + QStringLiteral(" MHz");
            }
        }
        if (base || cta) {
            const QRegularExpressionMatch dtd = dtdLine.match(line);
            if (dtd.hasMatch()) {
                f.timings << QStringLiteral("%1x%2%3 %4 MHz")
                                 .arg(dtd.captured(2), dtd.captured(3), dtd.captured(4), dtd.captured(6));
            }
            if (dtd.hasMatch() && base && !firstDtdSeen) {
                firstDtdSeen = true;
                f.preferred = QStringLiteral("%1x%2%3 %4 MHz %5")
                                  .arg(dtd.captured(2), dtd.captured(3), dtd.captured(4), dtd.captured(6))
                                  .arg(dtd.captured(5).toDouble(), 0, 'f', 3);
            }
        }
        if (base) {
            continue;
        }
        if (!cta) {
            continue;
        }
        if (dataBlock == QLatin1String("YCbCr 4:2:0 Capability Map Data Block:")) {
            const QRegularExpressionMatch m = vicLine.match(line);
            if (m.hasMatch()) {
                f.ycbcr420Map << m.captured(1);
            }
            mapsAll = mapsAll || trimmed == QLatin1String("All VDB SVDs");
        } else if (dataBlock == QLatin1String("Video Data Block:")) {
            const QRegularExpressionMatch m = vicLine.match(line);
            if (m.hasMatch()) {
                f.vics << m.captured(1) + (m.captured(2).isEmpty() ? QString() : QStringLiteral(" native"));
            }
        } else if (dataBlock == QLatin1String("Audio Data Block:")) {
            // A descriptor of the reserved code 0 has a line of its own and nothing more.
            if (line.startsWith(QLatin1String("    ")) && !line.startsWith(QLatin1String("     ")) &&
                (trimmed.endsWith(QLatin1Char(':')) || trimmed.startsWith(QLatin1String("Reserved (")))) {
                const QString name = trimmed.endsWith(QLatin1Char(':')) ? trimmed.chopped(1) : trimmed;
                const auto known = oracleAudioNames().find(name);
                static const QRegularExpression unknownExtended(
                    QStringLiteral("^Unknown Audio Ext Format \\(0x([0-9a-f]+)\\)$"));
                const QRegularExpressionMatch extended = unknownExtended.match(name);
                f.audio << (known != oracleAudioNames().end() ? known->second
                            : extended.hasMatch()             ? QStringLiteral("extended audio type %1")
                                                        .arg(extended.captured(1).toInt(nullptr, 16))
                                                  : QStringLiteral("? ") + name);
                f.audioNotes << f.audio.back();
            } else if (trimmed.startsWith(QLatin1String("Max channels: ")) && !f.audio.isEmpty() &&
                       f.audio.back() != QLatin1String("AC-4")) {
                // AC-4 states no channel count: its bits F10-F12 must be 0, which edid-decode
                // shows as "Max channels: 1" (and shows nothing for the bits set).
                f.audio.back() += QLatin1Char(' ') + trimmed.mid(14);
            } else if (trimmed.startsWith(QLatin1String("Supported sample rates (kHz):")) &&
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
        } else if (dataBlock.startsWith(QLatin1String("Vendor-Specific Data Block (HDMI), ")) &&
                   hdmiVsdbs == 1) {
            // A source reads the first HDMI VSDB.
            // edid-decode writes the address's nibbles in hexadecimal, we in decimal; it
            // shows a TMDS clock of 0 (not stated) as "0 MHz".
            if (trimmed.startsWith(QLatin1String("Source physical address: "))) {
                QStringList nibbles = trimmed.mid(25).split(QLatin1Char('.'));
                for (QString &nibble : nibbles) {
                    nibble = QString::number(nibble.toInt(nullptr, 16));
                }
                f.physicalAddress = nibbles.join(QLatin1Char('.'));
            } else if (trimmed.startsWith(QLatin1String("Maximum TMDS clock: ")) &&
                       trimmed != QLatin1String("Maximum TMDS clock: 0 MHz")) {
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
inline void shownFacts(const QStringList &lines, const Findings &findings, Facts &f) {
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
            // "VRR: 40 to 120 Hz"; a range of 0 to 0 Hz is no VRR, which edid-decode leaves unsaid;
            // "VRR: from 48 Hz, no maximum stated", where edid-decode states VRRmin alone.
            f.vrr = trimmed == QLatin1String("VRR: not supported") ? QString()
                    : trimmed.startsWith(QLatin1String("VRR: from "))
                        ? trimmed.mid(10).section(QLatin1Char(' '), 0, 0)
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

inline Facts ourFacts(const edid::EdidDecoded &d) {
    Facts f;
    f.manufacturer = d.base.manufacturer;
    f.productCode = QString::number(d.base.productCode);
    f.serial = d.base.serialNumber != 0 ? QString::number(d.base.serialNumber) : QString();
    f.name = d.base.productName.value_or(QString());
    f.names = QStringList(d.base.productNames.begin(), d.base.productNames.end());
    const auto timingText = [](const edid::DetailedTiming &t) {
        return QStringLiteral("%1x%2%3 %4 MHz")
            .arg(t.hActive)
            .arg(t.vActive)
            .arg(t.interlaced ? QStringLiteral("i") : QString())
            .arg(t.pixelClockKhz / 1000.0, 0, 'f', 6);
    };
    // edid-decode takes a timing below 10 MHz for bytes that are no timing, and lists none
    // without active pixels or lines.
    const auto addTiming = [&](const edid::DetailedTiming &t) {
        if (t.hActive != 0 && t.vActive != 0 && t.pixelClockKhz >= 10000) {
            f.timings << timingText(t);
        }
    };
    for (const edid::DetailedTiming &t : d.base.detailedTimings) {
        addTiming(t);
    }
    if (const std::optional<edid::RangeLimits> &r = d.base.rangeLimits) {
        f.rangeLimits = QStringLiteral("%1-%2 Hz V, %3-%4 kHz H, max %5 MHz")
                            .arg(r->minVerticalHz)
                            .arg(r->maxVerticalHz)
                            .arg(r->minHorizontalKhz)
                            .arg(r->maxHorizontalKhz)
                            .arg(r->maxPixelClockMhz);
    }
    for (int block = 0; block < int(d.checksumsOk.size()); ++block) {
        f.blocks << block;
    }
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
            if (v.ycbcr420Capable) {
                f.ycbcr420Map << QString::number(v.vic);
            }
        }
        for (const edid::DetailedTiming &t : cta.detailedTimings) {
            addTiming(t);
        }
        for (const edid::AudioFormat &a : cta.audio) {
            QStringList rates;
            for (double rate : edid::audioRatesKhz(a.sampleRates)) {
                rates << rateText(rate);
            }
            const QString channels =
                a.maxChannels != 0 ? QString::number(a.maxChannels) + QLatin1Char(' ') : QString();
            f.audio << (a.code == 0
                            ? edid::audioFormatName(a)
                            : edid::audioFormatName(a) + QLatin1Char(' ') + channels + rates.join(' '));
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

} // namespace edidoracle
