#pragma once
// The CTA-861 video formats by video identification code (VIC 1 to 127 and 193 to 219):
// the one table every decoder and text takes its formats from, with each format's raster.

#include <QString>

#include <cstdint>
#include <span>

struct VideoFormat {
    uint8_t vic;
    uint16_t hActive;
    uint16_t vActive; // lines of the frame, both fields of an interlaced format
    bool interlaced;
    uint32_t refreshMilliHz; // frames (progressive) or fields (interlaced) per 1000 s
    const char *aspect;      // picture aspect ratio, "16:9"
    uint32_t pixelClockKhz;
    // Front porch, sync and back porch: in pixels, and in lines of one field when interlaced.
    uint16_t hFront = 0, hSync = 0, hBack = 0;
    uint16_t vFront = 0, vSync = 0, vBack = 0;
    bool hSyncPositive = false, vSyncPositive = false;

    uint32_t hTotal() const { return uint32_t{hActive} + hFront + hSync + hBack; }
};

// The format of a code, or nullptr for a reserved code.
const VideoFormat *findVideoFormat(uint8_t vic);
// Every format of the table, by code.
std::span<const VideoFormat> videoFormats();

// "3840x2160p60", "1920x1080i50", "720x480p59.94 4:3": the rate rounded to two decimals,
// without trailing zeros; the aspect is added when another format of the same size and
// rate differs only by it.
QString videoFormatName(const VideoFormat &format);

// The name of a code, or "reserved VIC n".
QString vicName(uint8_t vic);
