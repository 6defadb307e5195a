#include "core/box/frames.h"

#include <algorithm>

namespace proto {
namespace {

RequestFrame frameOf(std::initializer_list<uint8_t> bytes) {
    RequestFrame frame;
    std::copy(bytes.begin(), bytes.end(), frame.bytes.begin());
    frame.length = static_cast<uint32_t>(bytes.size());
    return frame;
}

void append(RequestFrame &frame, std::span<const uint8_t> data) {
    const uint32_t room = kMaxRequestLength - frame.length;
    const uint32_t count = std::min<uint32_t>(room, static_cast<uint32_t>(data.size()));
    std::copy_n(data.begin(), count, frame.bytes.begin() + frame.length);
    frame.length += count;
}

} // namespace

RequestFrame registerBlockRead(uint8_t address, uint8_t count) {
    return frameOf({kFromDevice, count, kRegisterAccess, address});
}

// The length byte stays 0x04 although only two bytes follow the command code: the device expects it.
RequestFrame registerWrite(uint8_t address, uint8_t value) {
    return frameOf({kToDevice, 0x04, kRegisterAccess, address, value});
}

RequestFrame statusRead(uint8_t count) {
    return frameOf({kFromDevice, count, kStatusRead});
}

RequestFrame settingsBlockWrite(std::span<const uint8_t, kSettingsBlockSize> settings) {
    RequestFrame frame = frameOf({kToDevice, static_cast<uint8_t>(kSettingsBlockSize), kSettingsBlock});
    append(frame, settings);
    return frame;
}

RequestFrame edidFetch(uint8_t fetchCode) {
    return frameOf({kToDevice, 0x01, fetchCode});
}

RequestFrame edidWindowRead(uint8_t offset) {
    return frameOf({kFromDevice, kEdidWindowReadLength, kEdidWindow, offset});
}

RequestFrame edidWindowWrite(uint8_t offset, std::span<const uint8_t, kEdidWindowWriteLength> bytes) {
    RequestFrame frame = frameOf({kToDevice, kEdidWindowWriteLength, kEdidWindow, offset});
    append(frame, bytes);
    return frame;
}

// The commit carries the window writes' length byte and no data.
RequestFrame edidCommit() {
    return frameOf({kToDevice, kEdidWindowWriteLength, kEdidCommit});
}

RequestFrame dataFrame(uint8_t code, std::span<const uint8_t> data) {
    const auto count = static_cast<uint8_t>(std::min<size_t>(data.size(), kMaxFrameData));
    RequestFrame frame = frameOf({kToDevice, count, code});
    append(frame, data.first(count));
    return frame;
}

RequestFrame packetStore(uint8_t slotCode, std::span<const uint8_t> text) {
    const auto count = static_cast<uint8_t>(std::min<size_t>(text.size(), kMaxStoredCecText));
    RequestFrame frame =
        frameOf({kToDevice, static_cast<uint8_t>(count + kStoredCecPrefix.size()), slotCode});
    append(frame, kStoredCecPrefix);
    append(frame, text.first(count));
    return frame;
}

RequestFrame activate(uint8_t lengthByte, uint8_t selector) {
    return frameOf({kToDevice, lengthByte, kActivate, selector});
}

} // namespace proto
