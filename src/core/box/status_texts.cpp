#include "core/box/status_texts.h"

#include "core/base/colon_hex.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <span>

namespace status {
namespace {

// Display names by video identification code (CTA-861 numbering): width, height,
// p or i, the rate, and n (4:3) or w (16:9) where the code has a twin of the other shape.
// They are the box's texts as its firmware writes them, which the one table of video
// formats (video_formats.h) does not make: rates in whole hertz (720x480p60 for 59.94 Hz),
// the 1440-wide pixel-repeated formats at 720 (720x480i60), the 64:27 formats under their
// 16:9 names, and no n on the 4:3 twins of codes 3, 7, 18 and 22.
// clang-format off
constexpr const char *kVideoFormatNames[] = {
    /*   0 */ "",               "640x480p60",     "720x480p60",     "720x480p60w",    "1280x720p60",
    /*   5 */ "1920x1080i60",   "720x480i60",     "720x480i60w",    "720x240p60n",    "720x240p60w",
    /*  10 */ "2880x480i60n",   "2880x480i60w",   "2880x240p60n",   "2880x240p60w",   "1440x480p60n",
    /*  15 */ "1440x480p60w",   "1920x1080p60",   "720x576p50",     "720x576p50w",    "1280x720p50",
    /*  20 */ "1920x1080i50",   "720x576i50",     "720x576i50w",    "720x288p50n",    "720x288p50w",
    /*  25 */ "2880x576i50n",   "2880x576i50w",   "2880x288p50n",   "2880x288p50w",   "1440x576p50n",
    /*  30 */ "1440x576p50w",   "1920x1080p50",   "1920x1080p24",   "1920x1080p25",   "1920x1080p30",
    /*  35 */ "2880x480p60n",   "2880x480p60w",   "2880x576p50n",   "2880x576p50w",   "1920x1080i50",
    /*  40 */ "1920x1080i100",  "1280x720p100",   "720x576p100n",   "720x576p100w",   "720x576i100n",
    /*  45 */ "720x576i100w",   "1920x1080i120",  "1280x720p120",   "720x480p120n",   "720x480p120w",
    /*  50 */ "720x480i120n",   "720x480i120w",   "720x576p200n",   "720x576p200w",   "720x576i200n",
    /*  55 */ "720x576i200w",   "720x480p240n",   "720x480p240w",   "720x480i240n",   "720x480i240w",
    /*  60 */ "1280x720p24",    "1280x720p25",    "1280x720p30",    "1920x1080p120",  "1920x1080p100",
    /*  65 */ "1280x720p24",    "1280x720p25",    "1280x720p30",    "1280x720p50",    "1280x720p60",
    /*  70 */ "1280x720p100",   "1280x720p120",   "1920x1080p24",   "1920x1080p25",   "1920x1080p30",
    /*  75 */ "1920x1080p50",   "1920x1080p60",   "1920x1080p100",  "1920x1080p120",  "1680x720p24",
    /*  80 */ "1680x720p25",    "1680x720p30",    "1680x720p50",    "1680x720p60",    "1680x720p100",
    /*  85 */ "1680x720p120",   "2560x1080p24",   "2560x1080p25",   "2560x1080p30",   "2560x1080p50",
    /*  90 */ "2560x1080p60",   "2560x1080p100",  "2560x1080p120",  "3840x2160p24",   "3840x2160p25",
    /*  95 */ "3840x2160p30",   "3840x2160p50",   "3840x2160p60",   "4096x2160p24",   "4096x2160p25",
    /* 100 */ "4096x2160p30",   "4096x2160p50",   "4096x2160p60",   "3840x2160p24",   "3840x2160p25",
    /* 105 */ "3840x2160p30",   "3840x2160p50",   "3840x2160p60",
};
// clang-format on
constexpr size_t kVideoFormatCount = std::size(kVideoFormatNames);
static_assert(kVideoFormatCount == 108, "one name for each code from 0 to 107");

// The 4K formats an HDMI VIC of the vendor-specific infoframe stands for, VIC 1 to 4.
constexpr std::array<const char *, 4> kHdmiVicFormats = {"3840x2160p30", "3840x2160p25", "3840x2160p24",
                                                         "4096x2160p24"};

struct Form3d {
    uint8_t structure;
    const char *name;
};
constexpr std::array<Form3d, 3> k3dForms = {{
    {0x00, "Frame Packed 3D"},
    {0x60, "Top/Bottom 3D"},
    {0x80, "Side-by-side 3D"},
}};

constexpr std::array<const char *, 4> kColourSpaces = {"RGB", "YCbCr 4:2:2", "YCbCr 4:4:4", "YCbCr 4:2:0"};

// Colorimetry codes (C1 C0 of AVI data byte 2).
constexpr uint8_t kColorimetrySmpte170 = 1;
constexpr uint8_t kColorimetryBt709 = 2;
constexpr uint8_t kColorimetryExtended = 3;
// Extended colorimetry by bits 6 to 4; code 7 has no name.
constexpr std::array<const char *, 8> kExtendedColorimetries = {
    " xvYCC601",          " xvYCC709", " sYCC601", " AdobeYCC601", " AdobeRGB", " ITU-R BT.2020 YcCbcCrc",
    " ITU-R BT.2020 RGB", ""};

constexpr std::array<const char *, 3> kEotfNames = {" Not Active", " HDR Luminance Range", " SMPTE ST 2084"};

QString inputFirstPart(const VideoStatus &video) {
    const QLatin1String name(lookupVideoFormatName(video.vic));
    const QLatin1String word(video.hdmi ? "HDMI" : "non-HDMI");
    const uint8_t detail = video.vsifDetail;
    if (video.vsifFormat == kVsifHdmiVic && detail >= 1 && size_t{detail} <= kHdmiVicFormats.size()) {
        return QLatin1String("Input : ") + QLatin1String(kHdmiVicFormats[detail - 1]) +
               QLatin1String(" 300MHz ") + word + QLatin1Char(',');
    }
    if (const char *form = video.vsifFormat == kVsif3d ? form3dName(detail) : nullptr) {
        return QLatin1String("Input : ") + name + QLatin1Char(' ') + QLatin1String(form) + QLatin1Char(',');
    }
    // Every other input, and an HDMI VIC or a 3D structure that has no form of its own,
    // shows the format name and the HDMI word.
    return QLatin1String("Input : ") + name + QLatin1Char(' ') + word + QLatin1Char(',');
}

} // namespace

const char *form3dName(uint8_t structure) {
    for (const Form3d &form : k3dForms) {
        if (form.structure == structure) {
            return form.name;
        }
    }
    return nullptr;
}

const char *lookupVideoFormatName(uint16_t code) {
    return size_t{code} < kVideoFormatCount ? kVideoFormatNames[code] : "";
}

QString inputLine(const VideoStatus &video) {
    QString line = inputFirstPart(video);
    switch (video.linkMode) {
    case kLink600MHz:
        line += QLatin1String(" [600MHz],");
        break;
    case kLink420TenBit:
        line += QLatin1String(" [4:2:0 10-bit],");
        break;
    case kLinkPlain:
        if (video.vic == kCode3840x2160p60) {
            line += QLatin1String(" [4:2:0 300MHz],");
        }
        break;
    default:
        break;
    }
    line += QLatin1String(" Output:");
    if (video.txA && video.txB) {
        line += QLatin1String(" TX A, TX B");
    } else if (video.txA) {
        line += QLatin1String(" TX A");
    } else if (video.txB) {
        line += QLatin1String(" TX B");
    } else {
        line += QLatin1String(" none");
    }
    return line;
}

QString colourSpaceLine(const VideoStatus &video) {
    QString line = QLatin1String("Color Space: ") + QLatin1String(kColourSpaces[video.colourSpace & 0x03]);
    switch (video.colorimetry) {
    case kColorimetrySmpte170:
        line += QLatin1String(", SMPTE 170M");
        break;
    case kColorimetryBt709:
        line += QLatin1String(", ITU-R BT.709");
        break;
    case kColorimetryExtended:
        line += QLatin1String(", Extended:");
        line += QLatin1String(kExtendedColorimetries[video.extendedColorimetry & 0x07]);
        break;
    default:
        break;
    }
    return line;
}

QString sourceInfoLine(const SourceProduct &source) {
    return QLatin1String("Source Info: ") + source.vendor + QLatin1Char(' ') + source.product;
}

QString hdrLine(uint8_t eotf) {
    QString line = QLatin1String("HDR input: ");
    if (size_t{eotf} < kEotfNames.size()) {
        line += QLatin1String(kEotfNames[eotf]);
    }
    return line;
}

QString inputLine(const proto::ReplyBuffer &videoStatus) {
    return inputLine(videoStatusOf(videoStatus));
}

QString colourSpaceLine(const proto::ReplyBuffer &videoStatus) {
    return colourSpaceLine(videoStatusOf(videoStatus));
}

QString sourceInfoLine(const proto::ReplyBuffer &sourceProduct) {
    return sourceInfoLine(sourceProductOf(sourceProduct));
}

QString hdrLine(const proto::ReplyBuffer &hdrCapture) {
    return hdrLine(hdrCaptureOf(hdrCapture).eotf);
}

// A part that was not read shows as its zero block does.
std::array<QString, 4> statusLinesOf(const TypedStatus &status) {
    const VideoStatus video = status.video.value_or(VideoStatus{});
    return {inputLine(video), colourSpaceLine(video), sourceInfoLine(status.source.value_or(SourceProduct{})),
            hdrLine(status.hdr ? status.hdr->eotf : uint8_t{0})};
}

std::span<const uint8_t> hdrCapturePayload(const proto::ReplyBuffer &hdrCapture) {
    if (hdrCapture[kCaptureType] != kHdrInfoframeType || hdrCapture[kCaptureLength] == 0) {
        return {};
    }
    const size_t room = kCaptureLast - kCapturePayload + 1;
    const size_t count = std::min<size_t>(hdrCapture[kCaptureLength], room);
    return std::span<const uint8_t>(hdrCapture).subspan(kCapturePayload, count);
}

QString hdrCaptureDump(const proto::ReplyBuffer &hdrCapture) {
    return formatColonHex(hdrCapturePayload(hdrCapture));
}

QString firmwareVersionText(const proto::ReplyBuffer &versionBlock) {
    const int at = proto::kBlockDataStart;
    return QString::asprintf("ver: %d.%d.%d.%d", versionBlock[at], versionBlock[at + 1], versionBlock[at + 2],
                             versionBlock[at + 3]);
}

infoframe::InfoframeDecoded decodeHdrCapture(const proto::ReplyBuffer &hdrCapture) {
    const std::span<const uint8_t> payload = hdrCapturePayload(hdrCapture);
    if (payload.empty()) {
        infoframe::InfoframeDecoded none;
        none.form = infoframe::Form::HdrPayload;
        addWarning(none.findings, QStringLiteral("Capture"), QStringLiteral("no HDR infoframe captured"));
        return none;
    }
    return infoframe::decodeInfoframe(payload, infoframe::Form::HdrPayload);
}

} // namespace status
