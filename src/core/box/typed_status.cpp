#include "core/box/typed_status.h"

#include "core/base/colon_hex.h"
#include "core/box/box_session.h"
#include "core/box/settings_table.h"
#include "core/box/status_texts.h"
#include "core/edid/video_formats.h"
#include "core/signal/infoframe_decode.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <functional>
#include <span>

namespace status {
namespace {

constexpr int kColourSpaceShift = 5;  // AVI data byte 1, bits 6 and 5
constexpr int kColorimetryShift = 6;  // AVI data byte 2, bits 7 and 6
constexpr int kExtendedShift = 4;     // AVI data byte 3, bits 6 to 4
constexpr int kQuantizationShift = 2; // AVI data byte 3, bits 3 and 2
constexpr uint8_t kTwoBits = 0x03;
constexpr uint8_t kThreeBits = 0x07;

constexpr uint8_t kYcbcr422 = 1;
constexpr uint8_t kColorimetryExtendedCode = 3;

// The formats an HDMI VIC 1 to 4 of the vendor-specific infoframe stands for, by their VIC.
constexpr std::array<uint8_t, 4> kHdmiVicAsVic = {95, 94, 93, 98};

constexpr std::array<const char *, 4> kQuantizationNames = {"default", "limited", "full", "reserved"};

// A name field ends at its first zero byte or at the end of the field.
QString nameField(const proto::ReplyBuffer &block, int at, int size) {
    const auto field =
        std::span<const uint8_t>(block).subspan(static_cast<size_t>(at), static_cast<size_t>(size));
    const auto end = std::find(field.begin(), field.end(), uint8_t{0});
    return QString::fromLatin1(reinterpret_cast<const char *>(field.data()), end - field.begin());
}

enum class Part : uint8_t { Video, Source, Hdr, Settings };

struct FieldDefinition {
    QString name;
    Part part;
    std::function<QJsonValue(const TypedStatus &)> value;
};

QJsonValue videoValue(const TypedStatus &status, QJsonValue (*of)(const VideoStatus &)) {
    return of(*status.video);
}

QJsonValue resolutionOf(const VideoStatus &video) {
    const std::optional<InputTiming> timing = inputTimingOf(video);
    return timing ? QJsonValue(QStringLiteral("%1x%2").arg(timing->width).arg(timing->height)) : QJsonValue();
}

QJsonValue refreshRateOf(const VideoStatus &video) {
    const std::optional<InputTiming> timing = inputTimingOf(video);
    return timing ? QJsonValue(std::round(timing->refreshMilliHz / 10.0) / 100.0) : QJsonValue();
}

QJsonValue scanOf(const VideoStatus &video) {
    const std::optional<InputTiming> timing = inputTimingOf(video);
    if (!timing) {
        return {};
    }
    return timing->interlaced ? QStringLiteral("interlaced") : QStringLiteral("progressive");
}

QJsonValue form3dOf(const VideoStatus &video) {
    if (video.vsifFormat != kVsif3d) {
        return QStringLiteral("none");
    }
    const char *form = form3dName(video.vsifDetail);
    return form != nullptr ? QString::fromLatin1(form)
                           : QStringLiteral("3D structure %1").arg(video.vsifDetail >> 4);
}

QJsonValue outputsOf(const VideoStatus &video) {
    if (video.txA && video.txB) {
        return QStringLiteral("TX A, TX B");
    }
    if (video.txA || video.txB) {
        return video.txA ? QStringLiteral("TX A") : QStringLiteral("TX B");
    }
    return QStringLiteral("none");
}

QJsonValue pixelClockBandOf(const VideoStatus &video) {
    return video.linkMode == kLink600MHz ? QStringLiteral("600 MHz") : QStringLiteral("300 MHz");
}

QJsonValue colorimetryOf(const VideoStatus &video) {
    if (video.colorimetry == 0) {
        return QStringLiteral("none");
    }
    return video.colorimetry == kColorimetryExtendedCode
               ? infoframe::extendedColorimetryName(video.extendedColorimetry)
               : infoframe::colorimetryName(video.colorimetry);
}

QJsonValue settingValue(const TypedStatus &status, Setting setting) {
    const SettingInfo &info = settingInfo(setting);
    return settingValueText(setting, (*status.settings)[static_cast<size_t>(info.recordOffset)]);
}

std::vector<FieldDefinition> makeDefinitions() {
    const auto video = [](QJsonValue (*of)(const VideoStatus &)) {
        return [of](const TypedStatus &status) { return videoValue(status, of); };
    };
    std::vector<FieldDefinition> fields = {
        {QStringLiteral("active_input"), Part::Settings,
         [](const TypedStatus &status) { return settingValue(status, Setting::ActiveInput); }},
        {QStringLiteral("outputs"), Part::Video, video(outputsOf)},
        {QStringLiteral("resolution"), Part::Video, video(resolutionOf)},
        {QStringLiteral("refresh_rate"), Part::Video, video(refreshRateOf)},
        {QStringLiteral("scan"), Part::Video, video(scanOf)},
        {QStringLiteral("3d"), Part::Video, video(form3dOf)},
        {QStringLiteral("vic"), Part::Video, video([](const VideoStatus &v) { return QJsonValue(v.vic); })},
        {QStringLiteral("hdmi"), Part::Video, video([](const VideoStatus &v) { return QJsonValue(v.hdmi); })},
        {QStringLiteral("pixel_clock_band"), Part::Video, video(pixelClockBandOf)},
        {QStringLiteral("colour_space"), Part::Video,
         video([](const VideoStatus &v) { return QJsonValue(infoframe::colourFormatName(v.colourSpace)); })},
        {QStringLiteral("bit_depth"), Part::Video,
         video([](const VideoStatus &v) { return QJsonValue(bitDepthOf(v)); })},
        {QStringLiteral("quantization_range"), Part::Video, video([](const VideoStatus &v) {
             return QJsonValue(QLatin1String(kQuantizationNames[v.quantization & 3]));
         })},
        {QStringLiteral("colorimetry"), Part::Video, video(colorimetryOf)},
        {QStringLiteral("hdr_eotf"), Part::Hdr,
         [](const TypedStatus &status) { return QJsonValue(infoframe::eotfName(status.hdr->eotf)); }},
        {QStringLiteral("hdr_infoframe"), Part::Hdr,
         [](const TypedStatus &status) {
             return status.hdr->payload.empty() ? QJsonValue()
                                                : QJsonValue(formatColonHex(status.hdr->payload));
         }},
        {QStringLiteral("source_vendor"), Part::Source,
         [](const TypedStatus &status) { return QJsonValue(status.source->vendor); }},
        {QStringLiteral("source_product"), Part::Source,
         [](const TypedStatus &status) { return QJsonValue(status.source->product); }},
    };
    for (const SettingInfo &info : allSettings()) {
        if (info.setting == Setting::ActiveInput) {
            continue;
        }
        const Setting setting = info.setting;
        fields.push_back({QString::fromLatin1(info.name.data(), static_cast<qsizetype>(info.name.size())),
                          Part::Settings,
                          [setting](const TypedStatus &status) { return settingValue(status, setting); }});
    }
    return fields;
}

const std::vector<FieldDefinition> &definitions() {
    static const std::vector<FieldDefinition> fields = makeDefinitions();
    return fields;
}

bool carries(const TypedStatus &status, Part part) {
    switch (part) {
    case Part::Video:
        return status.video.has_value();
    case Part::Source:
        return status.source.has_value();
    case Part::Hdr:
        return status.hdr.has_value();
    case Part::Settings:
        break;
    }
    return status.settings.has_value();
}

} // namespace

VideoStatus videoStatusOf(const proto::ReplyBuffer &block) {
    VideoStatus video;
    video.vic = block[kVideoCode];
    video.hdmi = (block[kVideoFlags] & kHdmiModeBit) != 0;
    video.linkMode = block[kVideoLinkMode];
    video.txA = (block[kVideoOutputs] & kOutputTxA) != 0;
    video.txB = (block[kVideoOutputs] & kOutputTxB) != 0;
    video.vsifFormat = block[kVideoVsifFormat];
    video.vsifDetail = block[kVideoVsifDetail];
    video.colourSpace = (block[kVideoAviByte1] >> kColourSpaceShift) & kTwoBits;
    video.colorimetry = (block[kVideoAviByte2] >> kColorimetryShift) & kTwoBits;
    video.extendedColorimetry = (block[kVideoAviByte3] >> kExtendedShift) & kThreeBits;
    video.quantization = (block[kVideoAviByte3] >> kQuantizationShift) & kTwoBits;
    return video;
}

SourceProduct sourceProductOf(const proto::ReplyBuffer &block) {
    return {nameField(block, kSourceVendor, kSourceVendorSize),
            nameField(block, kSourceProduct, kSourceProductSize)};
}

HdrCapture hdrCaptureOf(const proto::ReplyBuffer &block) {
    HdrCapture capture;
    capture.eotf = block[kCapturePayload];
    const std::span<const uint8_t> payload = hdrCapturePayload(block);
    capture.payload.assign(payload.begin(), payload.end());
    return capture;
}

TypedStatus typedStatusOf(const StatusBlocks &blocks, const std::optional<record::StatusRecord> &settings) {
    TypedStatus status;
    if (blocks.videoStatusRead) {
        status.video = videoStatusOf(blocks.videoStatus);
    }
    if (blocks.sourceProductRead) {
        status.source = sourceProductOf(blocks.sourceProduct);
    }
    if (blocks.hdrCaptureRead) {
        status.hdr = hdrCaptureOf(blocks.hdrCapture);
    }
    status.settings = settings;
    return status;
}

uint8_t inputVicOf(const VideoStatus &video) {
    if (video.vsifFormat == kVsifHdmiVic && video.vsifDetail >= 1 &&
        video.vsifDetail <= kHdmiVicAsVic.size()) {
        return kHdmiVicAsVic[video.vsifDetail - 1];
    }
    return video.vic;
}

std::optional<InputTiming> inputTimingOf(const VideoStatus &video) {
    const uint8_t vic = inputVicOf(video);
    const VideoFormat *format = vic != 0 ? findVideoFormat(vic) : nullptr;
    if (format == nullptr) {
        return std::nullopt;
    }
    return InputTiming{format->hActive, format->vActive, format->interlaced, format->refreshMilliHz};
}

int bitDepthOf(const VideoStatus &video) {
    if (video.colourSpace == kYcbcr422) {
        return 12;
    }
    return video.linkMode == kLink420TenBit ? 10 : 8;
}

std::vector<StatusField> statusFields(const TypedStatus &status) {
    std::vector<StatusField> fields;
    for (const FieldDefinition &definition : definitions()) {
        if (carries(status, definition.part)) {
            fields.push_back({definition.name, definition.value(status)});
        }
    }
    return fields;
}

const std::vector<QString> &statusFieldNames() {
    static const std::vector<QString> names = [] {
        std::vector<QString> list;
        for (const FieldDefinition &definition : definitions()) {
            list.push_back(definition.name);
        }
        return list;
    }();
    return names;
}

QString settingValueText(Setting setting, uint8_t device) {
    const SettingInfo &info = settingInfo(setting);
    const std::optional<std::string_view> name = settingValueName(info, device);
    return name ? QString::fromLatin1(name->data(), static_cast<qsizetype>(name->size()))
                : QStringLiteral("unknown(%1)").arg(device);
}

std::vector<FieldChange> compareStatus(const TypedStatus &before, const TypedStatus &after) {
    std::vector<FieldChange> changes;
    for (const FieldDefinition &definition : definitions()) {
        if (!carries(before, definition.part) || !carries(after, definition.part)) {
            continue;
        }
        const QJsonValue from = definition.value(before);
        const QJsonValue to = definition.value(after);
        if (from != to) {
            changes.push_back({definition.name, from, to});
        }
    }
    return changes;
}

QString fieldValueText(const QJsonValue &value) {
    switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        return QStringLiteral("none");
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    case QJsonValue::Double:
        return QString::number(value.toDouble(), 'g', 10);
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Array:
    case QJsonValue::Object:
        break;
    }
    return {};
}

} // namespace status
