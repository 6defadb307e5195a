// The bridge's command payloads on any topic and bytes, and its configuration file on any
// text: nothing crashes, and what is let through is what the box takes.

#include "bridge_commands.h"
#include "bridge_options.h"

#include "core/box/named_configurations.h"

#include <QByteArray>
#include <QString>

#include <cstdlib>

namespace {

const char *const kTopics[] = {"set/input", "set/green-led",       "set/hdcp", "set/custom-edid",
                               "set/",      "set/nothing",         "cec/send", "hdr/send",
                               "avi/send",  "configuration/apply", "state",    "",
                               "undo"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const uint8_t control = data[0];
    const QByteArray payload(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));
    const QString topic = QLatin1String(kTopics[(control & 0x0F) % std::size(kTopics)]);
    const mqtt::CommandPermissions permissions{(control & 0x10) != 0, (control & 0x20) != 0};
    const mqtt::CommandParse parse = mqtt::parseCommand(topic, payload, permissions);
    if (parse.ok()) {
        const mqtt::BridgeCommand &command = parse.command;
        if (!permissions.write || payload.size() > mqtt::kMaxCommandPayload) {
            std::abort();
        }
        switch (command.kind) {
        case mqtt::CommandKind::Set: {
            const std::optional<std::string_view> name =
                settingValueName(settingInfo(command.setting), command.value);
            if (!name || QLatin1String(name->data(), static_cast<qsizetype>(name->size())) != command.text) {
                std::abort();
            }
            break;
        }
        case mqtt::CommandKind::CecSend:
        case mqtt::CommandKind::HdrSend:
        case mqtt::CommandKind::AviSend:
            if (!permissions.packets || command.packet.count < packets::kMinPacketBytes ||
                command.packet.count > command.packet.data.size()) {
                std::abort();
            }
            break;
        case mqtt::CommandKind::ApplyConfiguration:
            if (!configurationNameError(command.text).isEmpty()) {
                std::abort();
            }
            break;
        case mqtt::CommandKind::Undo:
            // The last change, or an entry by its number.
            if (command.entry < 0 || (command.entry == 0 && command.text != QLatin1String(mqtt::kUndoLast))) {
                std::abort();
            }
            break;
        }
        mqtt::commandText(command);
    }
    // The same bytes as a configuration file.
    mqtt::parseBridgeOptions({{}, payload, QStringLiteral("mqtt.conf")});
    return 0;
}
