#pragma once
// The HDMI VSDB field by field, in the order the block lays them out: read from a block's
// payload and written back, for what changes its fields (the fit, a box's mix). A block that
// ends early reads as far as it goes; one written back that would pass the 31 bytes of a
// data block drops its 3D structures first, then HDMI VICs.

#include "core/edid/edid_model.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace edid {

struct HdmiVsdbFields {
    std::array<uint8_t, 2> address{};    // payload bytes 3 and 4: the physical address
    std::optional<uint8_t> flags;        // byte 5: Supports_AI, the deep colours, DVI dual link
    std::optional<uint8_t> maxTmds;      // byte 6: the max TMDS clock in steps of 5 MHz
    std::optional<uint8_t> latencyFlags; // byte 7 but HDMI_Video_present
    std::vector<uint8_t> latencies;      // the two or four latency fields byte 7 announces
    uint8_t video = 0;                   // 3D_present, 3D_Multi_present, Image_Size
    std::vector<uint8_t> hdmiVics;       // HDMI VIC 1 to 4 (4K at 30, 25 and 24 Hz, 4096 at 24)
    std::vector<uint8_t> structures3d;   // 3D_Structure_ALL, 3D_MASK, 2D_VIC_order ...
};

// From the payload of a Vendor-Specific Data Block (the OUI first); nothing for fewer than
// the five bytes of OUI and physical address.
std::optional<HdmiVsdbFields> readHdmiVsdb(std::span<const uint8_t> payload);
// The data block of the fields.
CtaDataBlock hdmiVsdbBlock(HdmiVsdbFields fields);

} // namespace edid
