#pragma once
// The wire protocol: every request frame the utility sends, built byte by byte.
// A request is direction, length byte, command code, parameters; the device answers
// with at most 64 bytes whose first byte repeats the command code when it accepts.

#include "core/edid/edid_image.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace proto {

constexpr uint8_t kToDevice = 0x10;   // the frame carries data or a command
constexpr uint8_t kFromDevice = 0x11; // the frame asks for data; its length byte is the reply length

// Command codes.
constexpr uint8_t kRegisterAccess = 0xE0;
constexpr uint8_t kStatusRead = 0xE1;
constexpr uint8_t kSettingsBlock = 0xE2;
constexpr uint8_t kStoreCecSlot1 = 0xE3;
constexpr uint8_t kStoreCecSlot2 = 0xE4;
constexpr uint8_t kHdrInfoframe = 0xE5;
constexpr uint8_t kAviInfoframe = 0xE6;
constexpr uint8_t kEdidWindow = 0xB0;
constexpr uint8_t kEdidCommit = 0xB1;
constexpr uint8_t kCecMessage = 0xB2;
constexpr uint8_t kActivate = 0xB3;
constexpr uint8_t kFetchOwnEdid = 0xB4;
constexpr uint8_t kFetchTopSinkEdid = 0xB5;
constexpr uint8_t kFetchBotSinkEdid = 0xB6;

// Selectors of the activate command.
constexpr uint8_t kActivateCec = 0x10;
constexpr uint8_t kActivateHdr = 0x20;
constexpr uint8_t kActivateAvi = 0x80;

// Register blocks read with a register block read.
constexpr uint8_t kRegVideoStatus = 0x06;
constexpr uint8_t kRegVersion = 0x07;
constexpr uint8_t kRegSourceProduct = 0x15;
constexpr uint8_t kRegHdrCapture = 0x1E;
constexpr uint8_t kRegInputValid = 0x1F;
constexpr uint8_t kRegStoredHdrInfoframe = 0x23;
constexpr uint8_t kRegStoredAviBytes = 0x24;
// Reply lengths of the four block reads of one status rendering.
constexpr uint8_t kVideoStatusLength = 15;
constexpr uint8_t kSourceProductLength = 31;
constexpr uint8_t kHdrCaptureLength = 31;
constexpr uint8_t kInputValidLength = 31;

// Register block data starts after the marker and one byte nobody reads.
constexpr int kBlockDataStart = 2;
// The blocks read at start-up: the firmware version (four numbers, most significant
// first), the custom HDR infoframe the box holds and its custom AVI bytes.
constexpr uint8_t kVersionBlockLength = 8;
constexpr size_t kStoredHdrBytes = 31;
constexpr size_t kStoredAviBytes = 13;
constexpr uint8_t kStoredHdrBlockLength = kBlockDataStart + kStoredHdrBytes;
constexpr uint8_t kStoredAviBlockLength = kBlockDataStart + kStoredAviBytes;

// Sizes.
constexpr uint32_t kMaxRequestLength = 67;
constexpr uint32_t kReplySize = 64;
constexpr uint8_t kStatusReplyLength = 42;
constexpr uint32_t kSettingsBlockSize = 40;
constexpr uint8_t kEdidWindowReadLength = 16;
constexpr uint8_t kEdidWindowWriteLength = 8;
constexpr uint32_t kEdidSize = kEdidImageSize;
// Minimum reply of every frame that is judged by its marker alone.
constexpr uint32_t kMarkerReplyLength = 2;
// The packet store command puts this before the CEC text.
constexpr std::array<uint8_t, 4> kStoredCecPrefix = {'C', 'E', 'C', ' '};
constexpr uint32_t kMaxFrameData = kMaxRequestLength - 3;
constexpr uint32_t kMaxStoredCecText = kMaxFrameData - kStoredCecPrefix.size();

// Status reply: marker, flags, then the 40-byte status record.
constexpr int kStatusFlagsByte = 1;
constexpr uint8_t kBusyBit = 0x01;
constexpr int kStatusRecordStart = 2;

struct RequestFrame {
    std::array<uint8_t, kMaxRequestLength> bytes{};
    uint32_t length = 0;
};
using ReplyBuffer = std::array<uint8_t, kReplySize>;

RequestFrame registerBlockRead(uint8_t address, uint8_t count);
RequestFrame registerWrite(uint8_t address, uint8_t value);
RequestFrame statusRead(uint8_t count);
RequestFrame settingsBlockWrite(std::span<const uint8_t, kSettingsBlockSize> settings);
RequestFrame edidFetch(uint8_t fetchCode);
RequestFrame edidWindowRead(uint8_t offset);
RequestFrame edidWindowWrite(uint8_t offset, std::span<const uint8_t, kEdidWindowWriteLength> bytes);
RequestFrame edidCommit();
// 0x10, n, code, the n bytes; data past what one frame holds is not sent.
RequestFrame dataFrame(uint8_t code, std::span<const uint8_t> data);
// 0x10, n + 4, slot code, "CEC ", the n text bytes (at most 60).
RequestFrame packetStore(uint8_t slotCode, std::span<const uint8_t> text);
// 0x10, b, 0xB3, selector: b repeats the length byte of the data frame it activates.
RequestFrame activate(uint8_t lengthByte, uint8_t selector);

// True when the reply's marker is the one the request expects.
inline bool hasMarker(const ReplyBuffer &reply, uint8_t marker) {
    return reply[0] == marker;
}
inline bool deviceBusy(const ReplyBuffer &statusReply) {
    return (statusReply[kStatusFlagsByte] & kBusyBit) != 0;
}

} // namespace proto
