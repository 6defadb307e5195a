#pragma once
// What the window and the command line show of a decoded EDID: the detail lines, the
// JSON object of `edid decode --json`, and the summary the Compare view lays side by side.

#include "core/edid/edid_decode.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace edid {

// The JSON object: checksums_ok, manufacturer, product_code, serial_number, name, names,
// edid_version, extension_count, hf_eeodb_extension_count, preferred_timing, vics,
// native_vics, ycbcr420_vics, audio, hdr_static, hdmi, hdmi_forum, dolby_vision, hdr10plus,
// warnings, failures, findings.
// name: the first product name that is not empty, names: every name descriptor as it stands;
// findings: each with its severity, rule id, block and byte (null where none), where and text.
// vics: the Video Data Blocks' VICs in block order; ycbcr420_vics: every VIC that may be
// sent as 4:2:0, those of the capability map first, then the 4:2:0-only ones; audio: a
// DTS-HD entry says dts_x, and max_channels is null where a coding states none.
QJsonObject edidJson(const EdidDecoded &decoded);

// The decoded EDID as indented lines of text, block by block, findings last.
QStringList edidDetailLines(const EdidDecoded &decoded);

// What a source needs to know of a sink, for the comparison of the box's EDID with the TVs'.
struct EdidSummary {
    bool valid = false;
    QString name; // the product name, or manufacturer and product code
    uint16_t maxHActive = 0;
    uint16_t maxVActive = 0;
    double maxRefreshHz = 0; // the highest rate at the largest size
    bool uhd4k = false;      // 3840x2160 or more
    bool uhd8k = false;      // 7680x4320 or more
    bool ycbcr420 = false;
    int maxFrlGbps = 0;
    bool hdr10 = false; // PQ with static metadata type 1
    bool hlg = false;
    bool dolbyVision = false;
    bool hdr10Plus = false;
    std::optional<double> maxLuminance;
    std::optional<double> maxFrameAverageLuminance;
    std::optional<double> minLuminance;
    int lpcmChannels = 0;
    bool ac3 = false;
    bool eac3 = false;
    bool atmos = false; // E-AC-3 with joint object coding
    bool trueHd = false;
    bool dts = false;
    bool dtsHd = false;
    bool dtsX = false; // a DTS-HD descriptor states DTS:X
    std::optional<uint16_t> physicalAddress;
    int failures = 0;
};

EdidSummary edidSummary(const EdidDecoded &decoded);

// One line of the comparison: its label and the value of each summary as text ("yes",
// "no", "3840x2160 @ 120 Hz", "-"); differs when the texts are not all the same.
struct SummaryRow {
    QString label;
    QStringList values;
    bool differs = false;
};
std::vector<SummaryRow> compareSummaries(const std::vector<EdidSummary> &summaries);

// "1.0.0.0"
QString physicalAddressText(uint16_t address);

} // namespace edid
