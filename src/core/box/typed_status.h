#pragma once
// The box's status as values: the four status blocks and the status record decoded into the
// input's video (active input, outputs, resolution, rate, scan and 3D form, link band, colour
// space, depth, quantization range, colorimetry), its HDR (EOTF, the captured infoframe), its
// source (vendor and product names) and every setting by name. Each part is there only when
// its read was accepted, so a comparison never speaks of a field a reply did not carry. The
// four status lines are rendered from these values (status_texts.h).

#include "core/box/frames.h"
#include "core/box/settings_table.h"
#include "core/box/status_record.h"

#include <QJsonValue>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

struct StatusBlocks;

namespace status {

// The video status block (register 0x06) as the codes it carries.
struct VideoStatus {
    uint8_t vic = 0;        // CTA-861 video identification code, 0 when none
    bool hdmi = false;      // HDMI mode; DVI-style otherwise
    uint8_t linkMode = 0;   // 2: 600 MHz link, 1: 4:2:0 10-bit, 0: neither
    bool txA = false;       // output TX A active
    bool txB = false;       // output TX B active
    uint8_t vsifFormat = 0; // vendor-specific infoframe video format: 0x20 HDMI VIC, 0x40 3D
    uint8_t vsifDetail = 0; // the HDMI VIC or the 3D structure byte
    // From the AVI infoframe's data bytes 1 to 3.
    uint8_t colourSpace = 0;         // Y1 Y0: 0 RGB, 1 YCbCr 4:2:2, 2 YCbCr 4:4:4, 3 YCbCr 4:2:0
    uint8_t colorimetry = 0;         // C1 C0: 0 none, 1 SMPTE 170M, 2 BT.709, 3 extended
    uint8_t extendedColorimetry = 0; // EC2 to EC0
    uint8_t quantization = 0;        // Q1 Q0: 0 default, 1 limited, 2 full
    bool operator==(const VideoStatus &) const = default;
};

// The source product block (register 0x15): the names the source gives itself.
struct SourceProduct {
    QString vendor;  // at most 8 characters
    QString product; // at most 16 characters
    bool operator==(const SourceProduct &) const = default;
};

// The HDR capture block (register 0x1E).
struct HdrCapture {
    uint8_t eotf = 0;             // the first payload byte, whatever the infoframe type
    std::vector<uint8_t> payload; // the captured infoframe's payload; empty when none
    bool operator==(const HdrCapture &) const = default;
};

VideoStatus videoStatusOf(const proto::ReplyBuffer &videoStatus);
SourceProduct sourceProductOf(const proto::ReplyBuffer &sourceProduct);
HdrCapture hdrCaptureOf(const proto::ReplyBuffer &hdrCapture);

// The status as values. A part whose read failed (refused, short, silent...) is missing.
struct TypedStatus {
    std::optional<VideoStatus> video;
    std::optional<SourceProduct> source;
    std::optional<HdrCapture> hdr;
    std::optional<record::StatusRecord> settings;
    bool operator==(const TypedStatus &) const = default;
};

// The blocks of one status rendering and the record of one settings read (none when it
// failed or the box was busy).
TypedStatus typedStatusOf(const StatusBlocks &blocks, const std::optional<record::StatusRecord> &settings);

// The input's format as a VIC: its video code, or the VIC of the HDMI VIC its vendor-specific
// infoframe names; 0 when it names none.
uint8_t inputVicOf(const VideoStatus &video);
// The input's timing as the box reports it: by its video code, or by the HDMI VIC of its
// vendor-specific infoframe; none when the box names no format.
struct InputTiming {
    uint16_t width = 0;
    uint16_t height = 0; // lines of the frame, both fields of an interlaced format
    bool interlaced = false;
    uint32_t refreshMilliHz = 0;
};
std::optional<InputTiming> inputTimingOf(const VideoStatus &video);
// Bits per colour component: 12 for YCbCr 4:2:2 (HDMI carries it at 12 bits), 10 on the
// box's 4:2:0 10-bit link, 8 otherwise.
int bitDepthOf(const VideoStatus &video);

// One field of the typed status: its name and its value (null when the box reports none).
struct StatusField {
    QString name;
    QJsonValue value;
};
// The fields the status carries, in a fixed order: the signal's, then every setting but the
// active input (which is the signal's active_input).
std::vector<StatusField> statusFields(const TypedStatus &status);
// Every field name, in the same order, whether carried or not.
const std::vector<QString> &statusFieldNames();
// The setting value's name in the settings table, or "unknown(N)".
QString settingValueText(Setting setting, uint8_t device);

struct FieldChange {
    QString field;
    QJsonValue from;
    QJsonValue to;
    bool operator==(const FieldChange &) const = default;
};
// One change for each field both statuses carry and whose value differs, in field order.
std::vector<FieldChange> compareStatus(const TypedStatus &before, const TypedStatus &after);

// A value as a line of text shows it: "none" for null, "yes"/"no", numbers as they are.
QString fieldValueText(const QJsonValue &value);

} // namespace status
