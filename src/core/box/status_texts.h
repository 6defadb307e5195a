#pragma once
// The texts of the status panel and the HDR capture box, built from the register blocks
// the device answers: the video status block, the source product block and the HDR
// capture block. Every builder is a pure function of one reply buffer.

#include "core/box/frames.h"
#include "core/box/typed_status.h"
#include "core/signal/infoframe_decode.h"

#include <QString>

#include <array>
#include <cstdint>
#include <span>

namespace status {

// Video status block (register 0x06), offsets in the reply.
constexpr int kVideoCode = 2;       // video identification code of the input
constexpr int kVideoFlags = 3;      // bit 4: HDMI mode
constexpr int kVideoLinkMode = 4;   // 2: 600 MHz link, 1: 4:2:0 10-bit, 0: neither
constexpr int kVideoOutputs = 5;    // bit 5: TX A active, bit 6: TX B active
constexpr int kVideoVsifDetail = 9; // HDMI VIC, or the 3D structure byte
constexpr int kVideoAviByte1 = 10;  // colour space in bits 6 and 5
constexpr int kVideoAviByte2 = 11;  // colorimetry in bits 7 and 6
constexpr int kVideoAviByte3 = 12;  // extended colorimetry in bits 6 to 4
constexpr int kVideoVsifFormat = 14;

constexpr uint8_t kHdmiModeBit = 0x10;
constexpr uint8_t kLink600MHz = 2;
constexpr uint8_t kLink420TenBit = 1;
constexpr uint8_t kLinkPlain = 0;
constexpr uint8_t kOutputsMask = 0x60;
constexpr uint8_t kOutputTxA = 0x20;
constexpr uint8_t kOutputTxB = 0x40;
constexpr uint8_t kVsifHdmiVic = 0x20;
constexpr uint8_t kVsif3d = 0x40;
// The one code whose plain link is shown as a 4:2:0 300 MHz input.
constexpr uint8_t kCode3840x2160p60 = 97;

// Source product block (register 0x15): the source's product description infoframe.
constexpr int kSourceVendor = 4;
constexpr int kSourceVendorSize = 8;
constexpr int kSourceProduct = 12;
constexpr int kSourceProductSize = 16;

// HDR capture block (register 0x1E): the HDR infoframe the source sends.
constexpr int kCaptureType = 2;
constexpr int kCaptureLength = 3;
constexpr int kCapturePayload = 4; // the first payload byte is the EOTF code
constexpr int kCaptureLast = 30;   // the last byte of the block
constexpr uint8_t kHdrInfoframeType = 0x87;

// The name of a 3D structure byte ("Top/Bottom 3D"); nullptr for one without a form.
const char *form3dName(uint8_t structure);
// The display name of a video identification code; empty for 0 and above 107.
// Not derived from video_formats.h: these are the box's own texts (83 of 107 differ from it).
const char *lookupVideoFormatName(uint16_t code);

// "Input : <format> <word>, [suffix], Output: <outputs>" from the video status block.
QString inputLine(const proto::ReplyBuffer &videoStatus);
// "Color Space: ..." from the AVI bytes of the video status block.
QString colourSpaceLine(const proto::ReplyBuffer &videoStatus);
// "Source Info: <vendor> <product>" from the source product block.
QString sourceInfoLine(const proto::ReplyBuffer &sourceProduct);
// "HDR input: " and the EOTF of the HDR capture block.
QString hdrLine(const proto::ReplyBuffer &hdrCapture);
// The captured HDR infoframe's payload bytes, cut at the end of the block whatever length
// the infoframe announces; empty when the block holds no HDR infoframe or an empty one.
std::span<const uint8_t> hdrCapturePayload(const proto::ReplyBuffer &hdrCapture);
// The captured HDR infoframe payload as lower-case colon hex; empty when the block holds
// no HDR infoframe or an empty one.
QString hdrCaptureDump(const proto::ReplyBuffer &hdrCapture);
// The HDR infoframe of the capture block as a status tick reads it: the payload of the
// length it announces, cut at the end of the block, as the capture text shows it. A block
// that holds no HDR infoframe is a finding.
infoframe::InfoframeDecoded decodeHdrCapture(const proto::ReplyBuffer &hdrCapture);
// The same lines from the values of the blocks.
QString inputLine(const VideoStatus &video);
QString colourSpaceLine(const VideoStatus &video);
QString sourceInfoLine(const SourceProduct &source);
QString hdrLine(uint8_t eotf);
// The four lines (input, colour space, source, HDR) of a typed status; a part that was not
// read shows as its zero block does.
std::array<QString, 4> statusLinesOf(const TypedStatus &status);
// "ver: a.b.c.d" from the version block.
QString firmwareVersionText(const proto::ReplyBuffer &versionBlock);

} // namespace status
