#pragma once
// Packet texts: what the CEC and infoframe senders make of the colon hex text typed
// into their text boxes, and how each kind of packet goes out.

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
    const char *lengthError; // status bar, 2000 ms
    bool withCountByte;      // the parsed bytes carry the count of groups after the first
    uint8_t code;            // command code of the data frame and its reply marker
    const char *accepted;    // status bar, 2000 ms
    const char *refused;     // status bar, 4000 ms
    bool activateAfterRefusal;
    uint8_t selector;
    const char *activateFailed; // standard output
};

} // namespace packets
