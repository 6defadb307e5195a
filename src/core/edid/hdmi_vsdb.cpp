#include "core/edid/hdmi_vsdb.h"

#include <algorithm>

namespace edid {

namespace {

constexpr uint8_t kLatencyPresent = 0x80;
constexpr uint8_t kInterlacedLatencyPresent = 0x40;
constexpr uint8_t kHdmiVideoPresent = 0x20;
constexpr uint8_t k3dMulti = 0x60;
constexpr size_t kPayloadMax = 31;
constexpr size_t kHdmiVicsMax = 7; // HDMI_VIC_LEN has three bits

} // namespace

std::optional<HdmiVsdbFields> readHdmiVsdb(std::span<const uint8_t> p) {
    if (p.size() < 5) {
        return std::nullopt;
    }
    HdmiVsdbFields v;
    v.address = {p[3], p[4]};
    if (p.size() > 5) {
        v.flags = p[5];
    }
    if (p.size() > 6) {
        v.maxTmds = p[6];
    }
    if (p.size() <= 7) {
        return v;
    }
    uint8_t byte7 = p[7];
    size_t at = 8;
    // Latency fields cut short are no latency fields.
    for (const uint8_t present : {kLatencyPresent, kInterlacedLatencyPresent}) {
        if ((byte7 & present) != 0 && at + 2 <= p.size()) {
            v.latencies.insert(v.latencies.end(), p.begin() + static_cast<std::ptrdiff_t>(at),
                               p.begin() + static_cast<std::ptrdiff_t>(at + 2));
            at += 2;
        } else {
            byte7 = static_cast<uint8_t>(byte7 & ~present);
        }
    }
    v.latencyFlags = static_cast<uint8_t>(byte7 & ~kHdmiVideoPresent);
    if ((byte7 & kHdmiVideoPresent) == 0 || at + 2 > p.size()) {
        return v;
    }
    v.video = p[at];
    const uint8_t lengths = p[at + 1]; // HDMI_VIC_LEN, HDMI_3D_LEN
    at += 2;
    const size_t vicCount = std::min<size_t>(lengths >> 5, p.size() - at);
    v.hdmiVics.assign(p.begin() + static_cast<std::ptrdiff_t>(at),
                      p.begin() + static_cast<std::ptrdiff_t>(at + vicCount));
    at += vicCount;
    const size_t count3d = std::min<size_t>(lengths & 0x1F, p.size() - at);
    v.structures3d.assign(p.begin() + static_cast<std::ptrdiff_t>(at),
                          p.begin() + static_cast<std::ptrdiff_t>(at + count3d));
    return v;
}

CtaDataBlock hdmiVsdbBlock(HdmiVsdbFields v) {
    v.hdmiVics.resize(std::min(v.hdmiVics.size(), kHdmiVicsMax));
    const bool video = !v.hdmiVics.empty() || !v.structures3d.empty() || v.video != 0;
    const bool byte7 = video || v.latencyFlags.has_value() || !v.latencies.empty();
    CtaDataBlock block;
    block.tag = cta::kTagVendor;
    // The payload is written in place: at most 31 bytes, the block's own.
    std::array<uint8_t, kPayloadMax> &p = block.payload;
    size_t size = 0;
    const auto push = [&p, &size](uint8_t byte) { p[size++] = byte; };
    for (const uint8_t byte : {uint8_t{0x03}, uint8_t{0x0C}, uint8_t{0x00}, v.address[0], v.address[1]}) {
        push(byte);
    }
    if (v.flags || v.maxTmds || byte7) {
        push(v.flags.value_or(0));
    }
    if (v.maxTmds || byte7) {
        push(v.maxTmds.value_or(0));
    }
    if (byte7) {
        push(static_cast<uint8_t>(v.latencyFlags.value_or(0) | (video ? kHdmiVideoPresent : 0)));
        for (const uint8_t latency : v.latencies) {
            push(latency);
        }
    }
    if (video) {
        if (size + 2 + v.hdmiVics.size() + v.structures3d.size() > kPayloadMax) {
            v.structures3d.clear();
        }
        v.hdmiVics.resize(std::min(v.hdmiVics.size(), kPayloadMax - size - 2));
        // Without its structures, 3D_Multi_present says nothing is listed.
        push(v.structures3d.empty() ? static_cast<uint8_t>(v.video & ~k3dMulti) : v.video);
        push(static_cast<uint8_t>(v.hdmiVics.size() << 5 | v.structures3d.size()));
        for (const uint8_t vic : v.hdmiVics) {
            push(vic);
        }
        for (const uint8_t byte : v.structures3d) {
            push(byte);
        }
    }
    block.length = static_cast<uint8_t>(size);
    return block;
}

} // namespace edid
