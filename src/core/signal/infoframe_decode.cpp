#include "core/signal/infoframe_decode.h"

#include "core/base/code_text.h"
#include "core/edid/video_formats.h"

#include <QJsonArray>

#include <algorithm>

namespace infoframe {

namespace {

constexpr size_t kHeaderAndChecksum = 4;

using Payload = std::array<uint8_t, kMaxPayload>;

bool anyNonZero(std::span<const uint8_t> bytes) {
    return std::any_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0; });
}

uint16_t word(const Payload &p, size_t at) {
    return static_cast<uint16_t>(p[at] | p[at + 1] << 8);
}

// Payload byte n (PB n, counted from 1) is p[n - 1].
HdrMastering decodeHdr(const Payload &p, size_t count, Findings &findings) {
    HdrMastering h;
    h.eotf = p[0] & 0x07;
    if (count >= 2) {
        h.descriptorId = p[1] & 0x07;
    }
    if (h.eotf > 3) {
        addWarning(findings, QStringLiteral("EOTF"), QStringLiteral("reserved EOTF %1").arg(h.eotf));
    }
    if (count >= 2 && h.descriptorId != 0) {
        addWarning(findings, QStringLiteral("Descriptor"),
                   QStringLiteral("descriptor ID %1 is not static metadata type 1").arg(h.descriptorId));
        return h;
    }
    const auto point = [&](size_t at) {
        return ChromaticityPoint{word(p, at) * 0.00002, word(p, at + 2) * 0.00002};
    };
    if (count >= 14) {
        h.primaries = std::array<ChromaticityPoint, 3>{point(2), point(6), point(10)};
    }
    if (count >= 18) {
        h.whitePoint = point(14);
    }
    if (count >= 20) {
        h.maxMasteringLuminance = word(p, 18);
    }
    if (count >= 22) {
        h.minMasteringLuminance = word(p, 20) * 0.0001;
    }
    if (count >= 24) {
        h.maxCll = word(p, 22);
    }
    if (count >= 26) {
        h.maxFall = word(p, 24);
    }
    return h;
}

AviInfo decodeAvi(const Payload &p, size_t count, std::optional<uint8_t> version, Findings &findings) {
    AviInfo a;
    a.colourFormat = static_cast<uint8_t>((p[0] >> 5 & 0x03) | (p[0] & 0x80) >> 5);
    a.activeFormatPresent = (p[0] & 0x10) != 0;
    a.barInfo = p[0] >> 2 & 0x03;
    a.scan = p[0] & 0x03;
    if (count >= 2) {
        a.colorimetry = p[1] >> 6;
        a.pictureAspect = p[1] >> 4 & 0x03;
        a.activeAspect = p[1] & 0x0F;
    }
    if (count >= 3) {
        a.itContent = (p[2] & 0x80) != 0;
        a.extendedColorimetry = p[2] >> 4 & 0x07;
        a.rgbQuantization = p[2] >> 2 & 0x03;
        a.scaling = p[2] & 0x03;
    }
    if (count >= 4) {
        a.vic = p[3];
        if (version && *version == 2 && p[3] > 127) {
            addWarning(findings, QStringLiteral("VIC"),
                       QStringLiteral("VIC %1 needs version 3 or later").arg(p[3]));
        }
        if (p[3] != 0 && findVideoFormat(p[3]) == nullptr) {
            addWarning(findings, QStringLiteral("VIC"), QStringLiteral("reserved VIC %1").arg(p[3]));
        }
    }
    if (count >= 5) {
        a.ycQuantization = p[4] >> 6;
        a.contentType = p[4] >> 4 & 0x03;
        a.pixelRepetition = p[4] & 0x0F;
    }
    if (count >= 14 && version && *version >= 4) {
        a.additionalColorimetry = p[13] >> 4;
    }
    if (a.colourFormat >= 4 && a.colourFormat != 7) {
        addWarning(findings, QStringLiteral("Colour format"),
                   QStringLiteral("reserved code %1").arg(a.colourFormat));
    }
    return a;
}

void checkHeader(const InfoframeDecoded &d, Findings &findings) {
    if (d.type == kTypeHdr) {
        if (d.version != 1) {
            addWarning(findings, QStringLiteral("Header"),
                       QStringLiteral("HDR infoframe version %1, should be 1").arg(*d.version));
        }
        if (d.length != kHdrPayloadLength) {
            addWarning(findings, QStringLiteral("Header"),
                       QStringLiteral("HDR infoframe length %1, should be 26").arg(*d.length));
        }
    } else {
        if (*d.version < 2 || *d.version > 4) {
            addWarning(findings, QStringLiteral("Header"),
                       QStringLiteral("AVI infoframe version %1, should be 2 to 4").arg(*d.version));
        }
        if (*d.length < kAviPayloadLength) {
            addWarning(findings, QStringLiteral("Header"),
                       QStringLiteral("AVI infoframe length %1, should be at least 13").arg(*d.length));
        }
    }
}

} // namespace

QString eotfName(uint8_t eotf) {
    return codeName(eotf,
                    {"SDR (traditional gamma)", "HDR (traditional gamma)", "SMPTE ST 2084 (PQ)", "HLG"});
}
QString colourFormatName(uint8_t code) {
    return code == 7 ? QStringLiteral("IDO-defined")
                     : codeName(code, {"RGB", "YCbCr 4:2:2", "YCbCr 4:4:4", "YCbCr 4:2:0"});
}
QString colorimetryName(uint8_t code) {
    return codeName(code, {"no data", "SMPTE 170M", "ITU-R BT.709", "extended"});
}
QString extendedColorimetryName(uint8_t code) {
    return codeName(code, {"xvYCC601", "xvYCC709", "sYCC601", "opYCC601", "opRGB", "ITU-R BT.2020 YcCbcCrc",
                           "ITU-R BT.2020 RGB or YCbCr", "additional colorimetry extension"});
}

InfoframeDecoded decodeInfoframe(std::span<const uint8_t> bytes, Form form) {
    InfoframeDecoded d;
    d.form = form;
    Payload payload{};
    size_t count = 0;
    if (form == Form::Frame) {
        if (bytes.size() < kHeaderAndChecksum) {
            addFailure(d.findings, QStringLiteral("Frame"),
                       QStringLiteral("%1 bytes: a frame starts with three header bytes and the checksum")
                           .arg(bytes.size()));
            if (!bytes.empty()) {
                d.type = bytes[0];
            }
            return d;
        }
        d.type = bytes[0];
        d.version = bytes[1];
        d.length = bytes[2];
        d.checksum = bytes[3];
        const std::span<const uint8_t> given = bytes.subspan(kHeaderAndChecksum);
        count = std::min({size_t{*d.length}, given.size(), kMaxPayload});
        if (*d.length > kMaxPayload) {
            addFailure(
                d.findings, QStringLiteral("Header"),
                QStringLiteral("length %1 is more than the 27 bytes an infoframe carries").arg(*d.length));
        }
        if (given.size() < *d.length) {
            addFailure(d.findings, QStringLiteral("Length"),
                       QStringLiteral("the header states %1 payload bytes, %2 follow")
                           .arg(*d.length)
                           .arg(given.size()));
        } else {
            unsigned sum = 0;
            for (size_t i = 0; i < kHeaderAndChecksum + *d.length; ++i) {
                sum += bytes[i];
            }
            d.checksumOk = (sum & 0xFF) == 0;
            d.expectedChecksum = static_cast<uint8_t>(*d.checksum - sum);
            if (!*d.checksumOk) {
                addFailure(d.findings, QStringLiteral("Checksum"),
                           QStringLiteral("%1, should be %2")
                               .arg(hexCode(*d.checksum), hexCode(*d.expectedChecksum)));
            }
            if (anyNonZero(given.subspan(*d.length))) {
                addWarning(
                    d.findings, QStringLiteral("Length"),
                    QStringLiteral("%1 bytes after the payload ignored").arg(given.size() - *d.length));
            }
        }
        std::copy_n(given.begin(), count, payload.begin());
        if (d.type != kTypeHdr && d.type != kTypeAvi) {
            addFailure(d.findings, QStringLiteral("Header"),
                       QStringLiteral("type %1 is neither an HDR (0x87) nor an AVI (0x82) infoframe")
                           .arg(hexCode(*d.type)));
            d.payloadBytes = count;
            return d;
        }
        checkHeader(d, d.findings);
    } else {
        const bool hdr = form == Form::HdrPayload;
        d.type = hdr ? kTypeHdr : kTypeAvi;
        const size_t expected = hdr ? kHdrPayloadLength : kAviPayloadLength;
        count = std::min(bytes.size(), expected);
        if (bytes.size() < expected) {
            addWarning(d.findings, QStringLiteral("Length"),
                       QStringLiteral("%1 of the %2 payload bytes").arg(bytes.size()).arg(expected));
        } else if (anyNonZero(bytes.subspan(expected))) {
            addWarning(d.findings, QStringLiteral("Length"),
                       QStringLiteral("%1 bytes after the %2 payload bytes ignored")
                           .arg(bytes.size() - expected)
                           .arg(expected));
        }
        std::copy_n(bytes.begin(), count, payload.begin());
    }
    d.payloadBytes = count;
    if (count == 0) {
        addFailure(d.findings, QStringLiteral("Payload"), QStringLiteral("no payload bytes"));
        return d;
    }
    if (d.type == kTypeHdr) {
        d.hdr = decodeHdr(payload, count, d.findings);
    } else {
        d.avi = decodeAvi(payload, count, d.version, d.findings);
    }
    return d;
}

} // namespace infoframe
