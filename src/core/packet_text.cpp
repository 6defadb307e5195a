#include "packet_text.h"

#include <QByteArray>

#include <algorithm>

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

std::optional<PacketBytes> packetBytesOf(const QString &text, const PacketSend &send) {
    const std::optional<PacketText> prepared = preparePacketText(text, send.limits);
    if (!prepared) {
        return std::nullopt;
    }
    PacketBytes packet;
    packet.count = parseColonHex(prepared->text(), prepared->length, send.withCountByte, packet.data);
    const size_t groups = packet.count - (send.withCountByte ? 1u : 0u);
    if (groups > groupsOfChars(send.limits.maxChars)) {
        return std::nullopt;
    }
    return packet;
}

} // namespace packets
