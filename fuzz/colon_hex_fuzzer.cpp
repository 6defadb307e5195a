// The colon hex parser on any text and every length a sender can pass, alone and the way
// the CEC and infoframe senders use it: the text is prepared, checked, parsed, and put in
// a frame. Every byte a sender would send comes from two hexadecimal digits of the text.

#include "core/base/colon_hex.h"
#include "core/base/hex_digits.h"
#include "core/box/frames.h"
#include "core/box/packet_text.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace {

constexpr packets::TextLimits kSenderLimits[] = {{5, 92}, {5, 38}, {5, 59}};

void checkParse(std::span<const char> text, size_t length, bool withCountByte) {
    std::array<uint8_t, kColonHexOutputSize> output;
    output.fill(0xA5);
    const uint8_t count = parseColonHex(text, length, withCountByte, output);
    if (count == 0 || count > kColonHexOutputSize) {
        std::abort();
    }
}

// The groups of the typed text, read by the plainest rule: split at colons after dropping
// the spaces and line breaks at the end; every group must be two hexadecimal digits.
std::vector<uint8_t> groupsOf(const QString &typed) {
    QByteArray text = typed.toUpper().toLatin1();
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r')) {
        text.chop(1);
    }
    std::vector<uint8_t> groups;
    for (const QByteArray &group : text.split(':')) {
        if (group.size() != 2 || !hexdigits::isDigit(group[0]) || !hexdigits::isDigit(group[1])) {
            std::abort();
        }
        groups.push_back(hexdigits::pairValue(group[0], group[1]));
    }
    return groups;
}

void checkSend(const QString &typed, const packets::PacketSend &send) {
    const packets::TextOutcome<packets::PacketBytes> packet = packets::packetBytesOf(typed, send);
    if (!packet.ok()) {
        return;
    }
    std::vector<uint8_t> expected = groupsOf(typed);
    if (send.withCountByte) {
        expected.insert(expected.begin() + 1, static_cast<uint8_t>(expected.size() - 1));
    }
    const std::span<const uint8_t> produced = packet.value.bytes();
    if (!std::equal(produced.begin(), produced.end(), expected.begin(), expected.end())) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const uint8_t control = data[0];
    // Exactly the characters given, on the heap: a read past them is caught.
    const std::vector<char> chars(data + 1, data + size);
    const std::span<const char> text(chars);
    const bool withCountByte = (control & 1) != 0;
    checkParse(text, text.size(), withCountByte);
    // A length shorter or longer than the characters.
    checkParse(text, control >> 1, withCountByte);
    checkParse(text, packets::kWorkBufferSize, withCountByte);

    const QString typed = QString::fromLatin1(chars.data(), static_cast<qsizetype>(chars.size()));
    for (const packets::PacketSend *send : {&packets::kCecSend, &packets::kHdrSend, &packets::kAviSend}) {
        checkSend(typed, *send);
    }
    if (packets::cecStoreTextOf(typed).ok()) {
        groupsOf(typed);
    }
    for (const packets::TextLimits limits : kSenderLimits) {
        const std::optional<packets::PacketText> prepared = packets::preparePacketText(typed, limits);
        if (!prepared) {
            continue;
        }
        if (prepared->length > limits.maxChars + 1 ||
            prepared->chars[prepared->length - 1] != packets::kTextEnd) {
            std::abort();
        }
        std::array<uint8_t, kColonHexOutputSize> bytes{};
        const uint8_t count = parseColonHex(prepared->text(), prepared->length, withCountByte, bytes);
        const proto::RequestFrame frame =
            proto::dataFrame(proto::kCecMessage, std::span<const uint8_t>(bytes).first(count));
        const proto::RequestFrame store = proto::packetStore(proto::kStoreCecSlot1, prepared->bytes());
        if (frame.length > proto::kMaxRequestLength || store.length > proto::kMaxRequestLength ||
            frame.bytes[1] != frame.length - 3 || store.bytes[1] != store.length - 3) {
            std::abort();
        }
    }
    return 0;
}
