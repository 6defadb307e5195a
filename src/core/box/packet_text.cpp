#include "core/box/packet_text.h"

#include "core/box/messages.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace packets {

std::optional<PacketText> preparePacketText(const QString &text, TextLimits limits) {
    const QByteArray converted = text.toUpper().toLatin1();
    const auto count = static_cast<size_t>(converted.size());
    PacketText prepared;
    if (count < limits.minChars || count > limits.maxChars || count >= prepared.chars.size()) {
        return std::nullopt;
    }
    std::copy_n(converted.constData(), count, prepared.chars.begin());
    prepared.chars[count] = kTextEnd;
    prepared.length = count + 1;
    return prepared;
}

namespace {

// The typed characters without the carriage return the device takes after them.
std::span<const char> typedChars(const PacketText &prepared) {
    return prepared.text().first(prepared.length - 1);
}

} // namespace

TextOutcome<PacketBytes> packetBytesOf(const QString &text, const PacketSend &send) {
    const std::optional<PacketText> prepared = preparePacketText(text, send.limits);
    if (!prepared) {
        return {{}, send.lengthError};
    }
    size_t groups = 0;
    if (!isColonHexText(typedChars(*prepared), &groups)) {
        return {{}, kHexFormatError};
    }
    if (groups < kMinPacketBytes) {
        return {{}, send.lengthError};
    }
    TextOutcome<PacketBytes> packet;
    packet.value.count =
        parseColonHex(prepared->text(), prepared->length, send.withCountByte, packet.value.data);
    return packet;
}

TextOutcome<PacketText> cecStoreTextOf(const QString &text) {
    const std::optional<PacketText> prepared = preparePacketText(text, kCecStoreLimits);
    if (!prepared) {
        return {{}, kCecStoreLengthError};
    }
    size_t groups = 0;
    if (!isColonHexText(typedChars(*prepared), &groups)) {
        return {{}, kHexFormatError};
    }
    if (groups < kMinPacketBytes) {
        return {{}, kCecStoreLengthError};
    }
    return {*prepared, nullptr};
}

QString packetInputError(const QString &text, const char *error) {
    QString message = QString::fromLatin1(error).trimmed();
    // The length rule counts characters: bytes typed without their colons break it first.
    if (std::strcmp(error, kHexFormatError) != 0 && !text.contains(QLatin1Char(':'))) {
        message += QStringLiteral(" (write the bytes as colon-separated pairs, e.g. 50:04)");
    }
    return message;
}

} // namespace packets
