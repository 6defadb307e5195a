#include "core/signal/infoframe_report.h"

#include "core/base/code_text.h"
#include "core/edid/video_formats.h"

#include <QJsonArray>

#include <algorithm>

namespace infoframe {

namespace {

QString point(const ChromaticityPoint &p) {
    return QStringLiteral("x %1, y %2").arg(p.x, 0, 'f', 5).arg(p.y, 0, 'f', 5);
}

// The primaries carry no colour of their own; the usual set is recognised by its coordinates.
QString primaryLabel(const std::array<ChromaticityPoint, 3> &primaries, size_t index) {
    const auto byX =
        std::max_element(primaries.begin(), primaries.end(),
                         [](const ChromaticityPoint &a, const ChromaticityPoint &b) { return a.x < b.x; });
    const auto byY =
        std::max_element(primaries.begin(), primaries.end(),
                         [](const ChromaticityPoint &a, const ChromaticityPoint &b) { return a.y < b.y; });
    if (byX == byY) {
        return QString();
    }
    const auto at = primaries.begin() + static_cast<std::ptrdiff_t>(index);
    return at == byX   ? QStringLiteral(" (red)")
           : at == byY ? QStringLiteral(" (green)")
                       : QStringLiteral(" (blue)");
}

QString activeAspectName(uint8_t code) {
    switch (code) {
    case 2:
        return QStringLiteral("16:9 (top)");
    case 3:
        return QStringLiteral("14:9 (top)");
    case 4:
        return QStringLiteral("wider than 16:9 (centre)");
    case 8:
        return QStringLiteral("same as the picture");
    case 9:
        return QStringLiteral("4:3 (centre)");
    case 10:
        return QStringLiteral("16:9 (centre)");
    case 11:
        return QStringLiteral("14:9 (centre)");
    case 13:
        return QStringLiteral("4:3, protected 14:9");
    case 14:
        return QStringLiteral("16:9, protected 14:9");
    case 15:
        return QStringLiteral("16:9, protected 4:3");
    default:
        return QStringLiteral("reserved (%1)").arg(code);
    }
}

} // namespace

QStringList infoframeDetailLines(const InfoframeDecoded &d) {
    QStringList lines;
    if (d.version) {
        lines << QStringLiteral("Type %1, version %2, length %3, checksum %4%5")
                     .arg(hexCode(d.type.value_or(0)))
                     .arg(*d.version)
                     .arg(d.length.value_or(0))
                     .arg(hexCode(d.checksum.value_or(0)))
                     .arg(d.checksumOk
                              ? (*d.checksumOk ? QStringLiteral(" (right)") : QStringLiteral(" (WRONG)"))
                              : QStringLiteral(" (not verified)"));
    }
    if (d.hdr) {
        const HdrMastering &h = *d.hdr;
        lines << QStringLiteral("HDR Dynamic Range and Mastering infoframe");
        lines << QStringLiteral("  EOTF: %1").arg(eotfName(h.eotf));
        lines << QStringLiteral("  Static metadata descriptor ID: %1").arg(h.descriptorId);
        if (h.primaries) {
            for (size_t i = 0; i < h.primaries->size(); ++i) {
                lines << QStringLiteral("  Primary %1%2: %3")
                             .arg(i)
                             .arg(primaryLabel(*h.primaries, i))
                             .arg(point((*h.primaries)[i]));
            }
        }
        if (h.whitePoint) {
            lines << QStringLiteral("  White point: %1").arg(point(*h.whitePoint));
        }
        if (h.maxMasteringLuminance) {
            lines << QStringLiteral("  Max mastering luminance: %1 cd/m²").arg(*h.maxMasteringLuminance);
        }
        if (h.minMasteringLuminance) {
            lines << QStringLiteral("  Min mastering luminance: %1 cd/m²")
                         .arg(*h.minMasteringLuminance, 0, 'f', 4);
        }
        if (h.maxCll) {
            lines << QStringLiteral("  MaxCLL: %1 cd/m²").arg(*h.maxCll);
        }
        if (h.maxFall) {
            lines << QStringLiteral("  MaxFALL: %1 cd/m²").arg(*h.maxFall);
        }
    }
    if (d.avi) {
        const AviInfo &a = *d.avi;
        lines << QStringLiteral("AVI infoframe");
        lines << QStringLiteral("  Colour format: %1").arg(colourFormatName(a.colourFormat));
        lines << QStringLiteral("  Scan: %1").arg(codeName(a.scan, {"no data", "overscan", "underscan"}));
        if (a.colorimetry) {
            QString text = colorimetryName(*a.colorimetry);
            if (*a.colorimetry == 3 && a.extendedColorimetry) {
                text = extendedColorimetryName(*a.extendedColorimetry);
                if (*a.extendedColorimetry == 7 && a.additionalColorimetry) {
                    text = codeName(*a.additionalColorimetry, {"DCI-P3 RGB (D65)", "DCI-P3 RGB (theater)"});
                }
            }
            lines << QStringLiteral("  Colorimetry: %1").arg(text);
            lines << QStringLiteral("  Picture aspect: %1")
                         .arg(codeName(*a.pictureAspect, {"no data", "4:3", "16:9"}));
            if (a.activeFormatPresent) {
                lines << QStringLiteral("  Active format: %1").arg(activeAspectName(*a.activeAspect));
            }
        }
        if (a.rgbQuantization) {
            lines << QStringLiteral("  RGB quantization: %1")
                         .arg(codeName(*a.rgbQuantization, {"default", "limited", "full"}));
            lines << QStringLiteral("  IT content: %1")
                         .arg(*a.itContent ? QStringLiteral("yes") : QStringLiteral("no"));
            lines << QStringLiteral("  Scaling: %1")
                         .arg(codeName(*a.scaling, {"none", "horizontal", "vertical", "both"}));
        }
        if (a.vic) {
            lines << QStringLiteral("  VIC: %1%2")
                         .arg(*a.vic)
                         .arg(*a.vic == 0 ? QStringLiteral(" (none)")
                                          : QStringLiteral(" (%1)").arg(vicName(*a.vic)));
        }
        if (a.ycQuantization) {
            lines << QStringLiteral("  YCC quantization: %1")
                         .arg(codeName(*a.ycQuantization, {"limited", "full"}));
            lines << QStringLiteral("  Content type: %1")
                         .arg(*a.itContent || *a.contentType != 0
                                  ? codeName(*a.contentType, {"graphics", "photo", "cinema", "game"})
                                  : QStringLiteral("no data"));
            lines << QStringLiteral("  Pixel repetition: %1")
                         .arg(*a.pixelRepetition == 0
                                  ? QStringLiteral("none")
                                  : QStringLiteral("%1 times").arg(*a.pixelRepetition + 1));
        }
    }
    for (const Finding &f : d.findings) {
        lines << findingLine(f);
    }
    return lines;
}

QJsonObject infoframeJson(const InfoframeDecoded &d) {
    QJsonObject o;
    const auto optional = [](const auto &value) {
        return value ? QJsonValue(double(*value)) : QJsonValue(QJsonValue::Null);
    };
    o[QStringLiteral("type")] = optional(d.type);
    o[QStringLiteral("version")] = optional(d.version);
    o[QStringLiteral("length")] = optional(d.length);
    o[QStringLiteral("checksum_ok")] =
        d.checksumOk ? QJsonValue(*d.checksumOk) : QJsonValue(QJsonValue::Null);
    if (d.hdr) {
        const HdrMastering &h = *d.hdr;
        QJsonObject hdr{{QStringLiteral("eotf"), eotfName(h.eotf)},
                        {QStringLiteral("descriptor_id"), h.descriptorId}};
        if (h.primaries) {
            QJsonArray primaries;
            for (const ChromaticityPoint &p : *h.primaries) {
                primaries.append(QJsonArray{p.x, p.y});
            }
            hdr[QStringLiteral("primaries")] = primaries;
        }
        if (h.whitePoint) {
            hdr[QStringLiteral("white_point")] = QJsonArray{h.whitePoint->x, h.whitePoint->y};
        }
        hdr[QStringLiteral("max_mastering_luminance")] = optional(h.maxMasteringLuminance);
        hdr[QStringLiteral("min_mastering_luminance")] = optional(h.minMasteringLuminance);
        hdr[QStringLiteral("max_cll")] = optional(h.maxCll);
        hdr[QStringLiteral("max_fall")] = optional(h.maxFall);
        o[QStringLiteral("hdr")] = hdr;
    }
    if (d.avi) {
        const AviInfo &a = *d.avi;
        o[QStringLiteral("avi")] =
            QJsonObject{{QStringLiteral("colour_format"), colourFormatName(a.colourFormat)},
                        {QStringLiteral("colorimetry"), optional(a.colorimetry)},
                        {QStringLiteral("extended_colorimetry"), optional(a.extendedColorimetry)},
                        {QStringLiteral("rgb_quantization"), optional(a.rgbQuantization)},
                        {QStringLiteral("yc_quantization"), optional(a.ycQuantization)},
                        {QStringLiteral("picture_aspect"), optional(a.pictureAspect)},
                        {QStringLiteral("vic"), optional(a.vic)},
                        {QStringLiteral("pixel_repetition"), optional(a.pixelRepetition)},
                        {QStringLiteral("content_type"), optional(a.contentType)}};
    }
    insertFindings(o, d.findings);
    return o;
}
} // namespace infoframe
