#pragma once
// What the bytes of an HDR Dynamic Range and Mastering infoframe (type 0x87) or an AVI
// infoframe (type 0x82) mean, from each form the utility holds them in: a whole frame
// (header, checksum, payload: the custom HDR infoframe text), an AVI payload from data
// byte 1 (the custom AVI text), or an HDR payload (the captured infoframe). A wrong
// checksum, a length that does not match or bytes missing are findings; fields the bytes
// do not reach are left out.

#include "core/base/decode_findings.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace infoframe {

enum class Form { Frame, HdrPayload, AviPayload };

constexpr uint8_t kTypeAvi = 0x82;
constexpr uint8_t kTypeHdr = 0x87;
constexpr size_t kHdrPayloadLength = 26;
constexpr size_t kAviPayloadLength = 13;
constexpr size_t kMaxPayload = 27; // the most a frame's length byte is taken to announce

struct ChromaticityPoint {
    double x = 0; // units of 0.00002
    double y = 0;
};

struct HdrMastering {
    uint8_t eotf = 0; // 0 SDR, 1 HDR (traditional gamma), 2 SMPTE ST 2084 (PQ), 3 HLG
    uint8_t descriptorId = 0;
    // Static metadata type 1 (descriptor 0), each present when the payload reaches it.
    std::optional<std::array<ChromaticityPoint, 3>> primaries; // in the order sent
    std::optional<ChromaticityPoint> whitePoint;
    std::optional<uint16_t> maxMasteringLuminance; // cd/m²
    std::optional<double> minMasteringLuminance;   // cd/m², units of 0.0001
    std::optional<uint16_t> maxCll;
    std::optional<uint16_t> maxFall;
};

struct AviInfo {
    uint8_t colourFormat = 0; // Y: 0 RGB, 1 YCbCr 4:2:2, 2 YCbCr 4:4:4, 3 YCbCr 4:2:0 (Y2 adds 4)
    bool activeFormatPresent = false;
    uint8_t barInfo = 0;
    uint8_t scan = 0;
    std::optional<uint8_t> colorimetry; // C
    std::optional<uint8_t> pictureAspect;
    std::optional<uint8_t> activeAspect;
    std::optional<bool> itContent;
    std::optional<uint8_t> extendedColorimetry;
    std::optional<uint8_t> rgbQuantization;
    std::optional<uint8_t> scaling;
    std::optional<uint8_t> vic;
    std::optional<uint8_t> ycQuantization;
    std::optional<uint8_t> contentType;
    std::optional<uint8_t> pixelRepetition;       // PR: the pixel is sent PR + 1 times
    std::optional<uint8_t> additionalColorimetry; // version 4, payload byte 14
};

struct InfoframeDecoded {
    Form form = Form::Frame;
    std::optional<uint8_t> type; // from the header; the payload forms set it by form
    std::optional<uint8_t> version;
    std::optional<uint8_t> length; // as the header states it
    std::optional<bool> checksumOk;
    std::optional<uint8_t> checksum;
    std::optional<uint8_t> expectedChecksum;
    size_t payloadBytes = 0; // payload bytes decoded
    std::optional<HdrMastering> hdr;
    std::optional<AviInfo> avi;
    Findings findings;
};

InfoframeDecoded decodeInfoframe(std::span<const uint8_t> bytes, Form form);
inline InfoframeDecoded decodeHdrInfoframe(std::span<const uint8_t> bytes, Form form) {
    return decodeInfoframe(bytes, form == Form::AviPayload ? Form::HdrPayload : form);
}
inline InfoframeDecoded decodeAviInfoframe(std::span<const uint8_t> bytes, Form form) {
    return decodeInfoframe(bytes, form == Form::HdrPayload ? Form::AviPayload : form);
}

// Names of the codes: "SMPTE ST 2084 (PQ)", "YCbCr 4:2:0", "ITU-R BT.2020 RGB or YCbCr", ...
QString eotfName(uint8_t eotf);
QString colourFormatName(uint8_t code);
QString colorimetryName(uint8_t code);
QString extendedColorimetryName(uint8_t code);

} // namespace infoframe
