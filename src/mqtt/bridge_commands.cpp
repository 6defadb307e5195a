#include "bridge_commands.h"

#include "core/box/named_configurations.h"

#include <QStringDecoder>

namespace mqtt {
namespace {

QString textOf(std::string_view view) {
    return QString::fromLatin1(view.data(), static_cast<qsizetype>(view.size()));
}

QString valueList(const SettingInfo &info) {
    QStringList names;
    for (const SettingValue &value : info.values) {
        names << textOf(value.name);
    }
    return names.join(QStringLiteral(", "));
}

CommandParse refused(QString why) {
    CommandParse parse;
    parse.refusal = std::move(why);
    return parse;
}

CommandParse setting(QStringView name, const QString &value) {
    const SettingInfo *info = settingNamed(name.toString().toStdString());
    if (info == nullptr) {
        return refused(QStringLiteral("unknown setting: %1").arg(name));
    }
    const std::optional<uint8_t> device = settingValueNamed(*info, value.toStdString());
    if (!device) {
        return refused(
            QStringLiteral("bad value for %1: %2 (one of: %3)").arg(name, value, valueList(*info)));
    }
    CommandParse parse;
    parse.command.kind = CommandKind::Set;
    parse.command.setting = info->setting;
    parse.command.value = *device;
    parse.command.text = value;
    return parse;
}

CommandParse packet(CommandKind kind, const packets::PacketSend &send, const QString &text) {
    const packets::TextOutcome<packets::PacketBytes> bytes = packets::packetBytesOf(text, send);
    if (!bytes.ok()) {
        return refused(packets::packetInputError(text, bytes.error));
    }
    CommandParse parse;
    parse.command.kind = kind;
    parse.command.packet = bytes.value;
    parse.command.text = text;
    return parse;
}

CommandParse undo(const QString &text) {
    bool isNumber = false;
    const int entry = text.toInt(&isNumber);
    if (text != QLatin1String(kUndoLast) && (!isNumber || entry < 1)) {
        return refused(QStringLiteral("not an entry to undo: %1 (last, or an entry's number)").arg(text));
    }
    CommandParse parse;
    parse.command.kind = CommandKind::Undo;
    parse.command.entry = isNumber ? entry : 0;
    parse.command.text = text;
    return parse;
}

} // namespace

CommandParse parseCommand(QStringView topic, QByteArrayView payload, CommandPermissions permissions) {
    const bool isSet = topic.startsWith(QLatin1String(kSetTopic));
    const bool isPacket = topic == QLatin1String(kCecSendTopic) || topic == QLatin1String(kHdrSendTopic) ||
                          topic == QLatin1String(kAviSendTopic);
    const bool isUndo = topic == QLatin1String(kUndoTopic);
    if (!isSet && !isPacket && !isUndo && topic != QLatin1String(kApplyTopic)) {
        return refused(QStringLiteral("not a command topic: %1").arg(topic));
    }
    if (!permissions.write) {
        return refused(QStringLiteral("writes are off (start the bridge with --allow-write)"));
    }
    if (isPacket && !permissions.packets) {
        return refused(QStringLiteral("raw packets are off (start the bridge with --allow-packets)"));
    }
    if (payload.size() > kMaxCommandPayload) {
        return refused(
            QStringLiteral("payload of %1 bytes, more than %2").arg(payload.size()).arg(kMaxCommandPayload));
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = QString(decoder(payload)).trimmed();
    if (decoder.hasError()) {
        return refused(QStringLiteral("payload is not UTF-8 text"));
    }
    if (text.isEmpty()) {
        return refused(QStringLiteral("empty payload"));
    }
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            return refused(QStringLiteral("payload holds a control character"));
        }
    }
    if (isSet) {
        return setting(topic.mid(qsizetype(sizeof(kSetTopic) - 1)), text);
    }
    if (topic == QLatin1String(kCecSendTopic)) {
        return packet(CommandKind::CecSend, packets::kCecSend, text);
    }
    if (topic == QLatin1String(kHdrSendTopic)) {
        return packet(CommandKind::HdrSend, packets::kHdrSend, text);
    }
    if (topic == QLatin1String(kAviSendTopic)) {
        return packet(CommandKind::AviSend, packets::kAviSend, text);
    }
    if (isUndo) {
        return undo(text);
    }
    const QString nameError = configurationNameError(text);
    if (!nameError.isEmpty()) {
        return refused(nameError);
    }
    CommandParse parse;
    parse.command.kind = CommandKind::ApplyConfiguration;
    parse.command.text = text;
    return parse;
}

QString commandText(const BridgeCommand &command) {
    switch (command.kind) {
    case CommandKind::Set:
        return QStringLiteral("set %1=%2").arg(textOf(settingInfo(command.setting).name), command.text);
    case CommandKind::CecSend:
        return QStringLiteral("cec send %1").arg(command.text);
    case CommandKind::HdrSend:
        return QStringLiteral("hdr send %1").arg(command.text);
    case CommandKind::AviSend:
        return QStringLiteral("avi send %1").arg(command.text);
    case CommandKind::Undo:
        return QStringLiteral("undo %1").arg(command.text);
    case CommandKind::ApplyConfiguration:
        break;
    }
    return QStringLiteral("apply configuration %1").arg(command.text);
}

} // namespace mqtt
