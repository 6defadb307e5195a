// The EDIDs of the simulated box and of the sinks on its outputs: a base block and one
// CTA-861 extension, put together byte by byte.

#include "sim/simulated_box.h"

#include "core/edid/edid_image.h"

#include <algorithm>

namespace sim {
namespace {

constexpr size_t kBlockSize = kEdidBlockSize;

// Base block.
constexpr std::array<uint8_t, 8> kHeader = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr size_t kManufacturer = 8;
constexpr char kManufacturerId[] = "VLT"; // made up, three letters A to Z
constexpr size_t kProductCode = 10;
constexpr size_t kSerialNumber = 12;
constexpr size_t kWeek = 16;
constexpr size_t kYear = 17;
constexpr size_t kVersion = 18;
constexpr size_t kBasicParameters = 20;
constexpr size_t kChromaticity = 25;
constexpr size_t kEstablishedTimings = 35;
constexpr size_t kStandardTimings = 38;
constexpr size_t kStandardTimingCount = 8;
constexpr size_t kDescriptors = 54;
constexpr size_t kDescriptorSize = 18;
constexpr size_t kExtensionCount = 126;

// Digital input, 121 cm x 68 cm, gamma 2.2, RGB colour, preferred timing in descriptor 1.
constexpr std::array<uint8_t, 5> kBasicParameterBytes = {0x80, 0x79, 0x44, 0x78, 0x0A};
constexpr std::array<uint8_t, 10> kSrgbChromaticity = {0xEE, 0x91, 0xA3, 0x54, 0x4C,
                                                       0x99, 0x26, 0x0F, 0x50, 0x54};
// 640x480@60, 800x600@60, 1024x768@60.
constexpr std::array<uint8_t, 3> kEstablishedTimingBytes = {0x21, 0x08, 0x00};
// 1280x720@60 and 1920x1080@60, both 16:9; the rest unused.
constexpr std::array<uint8_t, 4> kStandardTimingBytes = {0x81, 0xC0, 0xD1, 0xC0};
constexpr uint8_t kUnusedStandardTiming = 0x01;
// 1920x1080p60, 148.5 MHz, 1210 mm x 680 mm, positive syncs.
constexpr std::array<uint8_t, kDescriptorSize> k1080p60Timing = {
    0x02, 0x3A, 0x80, 0x18, 0x71, 0x38, 0x2D, 0x40, 0x58,
    0x2C, 0x45, 0x00, 0xBA, 0xA8, 0x42, 0x00, 0x00, 0x1E,
};
// 24 to 75 Hz, 15 to 135 kHz, up to 600 MHz.
constexpr std::array<uint8_t, kDescriptorSize> kRangeLimits = {
    0x00, 0x00, 0x00, 0xFD, 0x00, 0x18, 0x4B, 0x0F, 0x87,
    0x3C, 0x00, 0x0A, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
};
constexpr uint8_t kMonitorNameTag = 0xFC;
constexpr uint8_t kDummyTag = 0x10;
constexpr size_t kDescriptorTag = 3;
constexpr size_t kDescriptorText = 5;
constexpr size_t kDescriptorTextSize = kDescriptorSize - kDescriptorText;

// CTA-861 extension.
constexpr uint8_t kCtaTag = 0x02;
constexpr uint8_t kCtaRevision = 0x03;
constexpr size_t kCtaDataBlocks = 4;
// Underscan, basic audio, YCbCr 4:4:4 and 4:2:2; no detailed timings follow.
constexpr uint8_t kCtaSupport = 0xF0;
constexpr uint8_t kAudioBlockTag = 1;
constexpr uint8_t kVideoBlockTag = 2;
constexpr uint8_t kVendorBlockTag = 3;
constexpr uint8_t kSpeakerBlockTag = 4;
constexpr uint8_t kNative = 0x80;
// 1080p60 (native), 720p60, 1080p50, 720p50, 2160p30, 2160p60.
constexpr std::array<uint8_t, 6> kVideoCodes = {kNative | 16, 4, 31, 19, 95, 97};
// LPCM 2 channels 32 to 48 kHz; AC-3 6 channels 640 kbit/s; LPCM 8 channels 32 to 192 kHz.
constexpr std::array<uint8_t, 9> kAudioDescriptors = {0x09, 0x07, 0x07, 0x15, 0x07, 0x50, 0x0F, 0x7F, 0x07};
// Front left/right, LFE, front centre, rear left/right.
constexpr std::array<uint8_t, 3> kSpeakers = {0x0F, 0x00, 0x00};
// HDMI vendor block: IEEE OUI 00-0C-03, physical address 1.0.0.0, 300 MHz TMDS.
constexpr std::array<uint8_t, 7> kHdmiVendorBlock = {0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x3C};

template <size_t N> size_t put(EdidImage &edid, size_t at, const std::array<uint8_t, N> &bytes) {
    std::copy(bytes.begin(), bytes.end(), edid.begin() + at);
    return at + N;
}

template <size_t N>
size_t putDataBlock(EdidImage &edid, size_t at, uint8_t tag, const std::array<uint8_t, N> &bytes) {
    static_assert(N < 32, "a data block holds at most 31 bytes");
    edid[at] = static_cast<uint8_t>(tag << 5 | N);
    return put(edid, at + 1, bytes);
}

// Three letters packed five bits each, 'A' = 1, big-endian.
void putManufacturer(EdidImage &edid) {
    const unsigned packed = (kManufacturerId[0] - 'A' + 1) << 10 | (kManufacturerId[1] - 'A' + 1) << 5 |
                            (kManufacturerId[2] - 'A' + 1);
    edid[kManufacturer] = static_cast<uint8_t>(packed >> 8);
    edid[kManufacturer + 1] = static_cast<uint8_t>(packed & 0xFF);
}

// A text descriptor ends with a line feed when it is shorter than its field and is padded with blanks.
void putMonitorName(EdidImage &edid, size_t at, const std::string &name) {
    edid[at + kDescriptorTag] = kMonitorNameTag;
    const size_t length = std::min(name.size(), kDescriptorTextSize);
    std::fill_n(edid.begin() + at + kDescriptorText, kDescriptorTextSize, ' ');
    std::copy_n(name.begin(), length, edid.begin() + at + kDescriptorText);
    if (length < kDescriptorTextSize) {
        edid[at + kDescriptorText + length] = '\n';
    }
}

} // namespace

EdidImage buildEdid(const std::string &name, uint16_t productCode) {
    EdidImage edid{};

    put(edid, 0, kHeader);
    putManufacturer(edid);
    edid[kProductCode] = static_cast<uint8_t>(productCode & 0xFF);
    edid[kProductCode + 1] = static_cast<uint8_t>(productCode >> 8);
    edid[kSerialNumber] = 0x01;
    edid[kWeek] = 1;
    edid[kYear] = 2023 - 1990;
    edid[kVersion] = 1;
    edid[kVersion + 1] = 3;
    put(edid, kBasicParameters, kBasicParameterBytes);
    put(edid, kChromaticity, kSrgbChromaticity);
    put(edid, kEstablishedTimings, kEstablishedTimingBytes);
    std::fill_n(edid.begin() + kStandardTimings, 2 * kStandardTimingCount, kUnusedStandardTiming);
    put(edid, kStandardTimings, kStandardTimingBytes);
    put(edid, kDescriptors, k1080p60Timing);
    put(edid, kDescriptors + kDescriptorSize, kRangeLimits);
    putMonitorName(edid, kDescriptors + 2 * kDescriptorSize, name);
    edid[kDescriptors + 3 * kDescriptorSize + kDescriptorTag] = kDummyTag;
    edid[kExtensionCount] = 1;

    const size_t cta = kBlockSize;
    edid[cta] = kCtaTag;
    edid[cta + 1] = kCtaRevision;
    size_t at = cta + kCtaDataBlocks;
    at = putDataBlock(edid, at, kVideoBlockTag, kVideoCodes);
    at = putDataBlock(edid, at, kAudioBlockTag, kAudioDescriptors);
    at = putDataBlock(edid, at, kSpeakerBlockTag, kSpeakers);
    at = putDataBlock(edid, at, kVendorBlockTag, kHdmiVendorBlock);
    // Detailed timings would start right after the data blocks; there are none.
    edid[cta + 2] = static_cast<uint8_t>(at - cta);
    edid[cta + 3] = kCtaSupport;
    setEdidChecksums(edid);
    return edid;
}

} // namespace sim
