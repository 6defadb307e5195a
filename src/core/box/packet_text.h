#pragma once
// Packet texts: what the CEC and infoframe senders make of the colon hex text typed into
// their text boxes, and how each kind of packet goes out.

#include "core/base/colon_hex.h"
#include "core/box/frames.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace packets {

// Holds the longest text any sender takes (92 characters) with its carriage return.
constexpr size_t kWorkBufferSize = 200;
constexpr char kTextEnd = '\r';

// The number of characters a sender takes, counted after conversion.
struct TextLimits {
    size_t minChars;
    size_t maxChars;
};

// The characters of a colon hex text of `bytes` groups: two digits each, a colon between.
constexpr size_t charsOfGroups(size_t bytes) {
    return bytes * 3 - 1;
}

constexpr size_t kMinPacketBytes = 2;

// A text as the device takes it: the converted characters and the carriage return after them.
struct PacketText {
    std::array<char, kWorkBufferSize> chars{};
    size_t length = 0; // the carriage return included

    std::span<const char> text() const { return std::span<const char>(chars).first(length); }
    std::span<const uint8_t> bytes() const {
        return {reinterpret_cast<const uint8_t *>(chars.data()), length};
    }
};

// Upper case first, then Latin-1 (a character Latin-1 lacks becomes '?'), then the
// carriage return. Nothing when the converted text has fewer than minChars or more than
// maxChars characters, however long it is.
std::optional<PacketText> preparePacketText(const QString &text, TextLimits limits);

// One kind of packet sent from colon hex text: the data frame, then 100 ms later the
// activate command with the frame's length byte and the kind's selector.
struct PacketSend {
    TextLimits limits;
    const char *lengthError; // an input error
    bool withCountByte;      // the parsed bytes carry the count of groups after the first
    uint8_t code;            // command code of the data frame and its reply marker
    const char *accepted;    // a confirmation
    const char *refused;     // a refusal
    bool activateAfterRefusal;
    uint8_t selector;
    const char *activateFailed; // a console note
};

constexpr TextLimits limitsOfBytes(size_t maxBytes) {
    return {charsOfGroups(kMinPacketBytes), charsOfGroups(maxBytes)};
}

// The CEC message carries the count byte and is activated whatever the device answered.
constexpr PacketSend kCecSend = {
    .limits = limitsOfBytes(31),
    .lengthError = "Error: min 2, max 31 data bytes",
    .withCountByte = true,
    .code = proto::kCecMessage,
    .accepted = "CEC values written...",
    .refused = "Error Writing CEC command.",
    .activateAfterRefusal = true,
    .selector = proto::kActivateCec,
    .activateFailed = "\nError Populating CEC values.\n",
};

// The HDR infoframe is activated even when the device refused it; the box keeps as many
// bytes of it as it stores.
constexpr PacketSend kHdrSend = {
    .limits = limitsOfBytes(proto::kStoredHdrBytes),
    .lengthError = "Error: min 2, max 31 data bytes",
    .withCountByte = false,
    .code = proto::kHdrInfoframe,
    .accepted = "Infoframe values written...",
    .refused = "Error Writing Infoframe values.",
    .activateAfterRefusal = true,
    .selector = proto::kActivateHdr,
    .activateFailed = "\nError Populating IF values.\n",
};

constexpr PacketSend kAviSend = {
    .limits = limitsOfBytes(proto::kStoredAviBytes),
    .lengthError = "Error: min 2, max 13 data bytes",
    .withCountByte = false,
    .code = proto::kAviInfoframe,
    .accepted = "AVI values written...",
    .refused = "Error Writing AVI command.",
    .activateAfterRefusal = false,
    .selector = proto::kActivateAvi,
    .activateFailed = "\nError Activating AVI values.\n",
};

// A stored command is the upper-case text itself with its carriage return, not parsed; with
// "CEC " before it, it fills one frame.
constexpr TextLimits kCecStoreLimits = {charsOfGroups(kMinPacketBytes), proto::kMaxStoredCecText - 1};
constexpr const char *kCecStoreLengthError = "CEC values not correct";
constexpr const char *kCecStored = "CEC values written...";
constexpr const char *kCecStoreRefused = "Error Writing CEC values.";

// The bytes of a packet as its data frame carries them.
struct PacketBytes {
    std::array<uint8_t, kColonHexOutputSize> data{};
    uint8_t count = 0;
    std::span<const uint8_t> bytes() const { return std::span<const uint8_t>(data).first(count); }
};

// What a typed text gives, or the status-bar text that says why nothing of it may go out.
template <typename T> struct TextOutcome {
    T value{};
    const char *error = nullptr;
    bool ok() const { return error == nullptr; }
};

// The bytes of the packet that `text` gives. First the kind's length rule (too few or too
// many characters: its length error), then the format: groups of exactly two hexadecimal
// digits joined by single colons ("Hex Format Error"); a text of one group breaks the
// length rule after all.
TextOutcome<PacketBytes> packetBytesOf(const QString &text, const PacketSend &send);

// The text a CEC store sends: its length rule, then the same format as a sent message.
TextOutcome<PacketText> cecStoreTextOf(const QString &text);

// An input error of `text` for the command line and the bridge: the window's text, and for a
// length error of a text without a colon how to write the bytes. The window shows its own
// texts alone.
QString packetInputError(const QString &text, const char *error);

} // namespace packets
