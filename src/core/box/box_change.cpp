#include "core/box/box_change.h"

#include "core/base/code_text.h"
#include "core/base/colon_hex.h"
#include "core/box/typed_status.h"

#include <algorithm>

namespace {

// What the box keeps of a stored infoframe: the bytes sent, zeros after them.
template <size_t N> std::array<uint8_t, N> storedBytes(const packets::PacketBytes &packet) {
    std::array<uint8_t, N> stored{};
    const std::span<const uint8_t> bytes = packet.bytes();
    std::copy_n(bytes.begin(), std::min(bytes.size(), N), stored.begin());
    return stored;
}

QString slotName(uint8_t slotCode) {
    return slotCode == proto::kStoreCecSlot1 ? QStringLiteral("sp") : QStringLiteral("lp");
}

QString resetName(uint8_t what) {
    switch (static_cast<FactoryReset>(what)) {
    case FactoryReset::Edid:
        return QStringLiteral("edid");
    case FactoryReset::Settings:
        return QStringLiteral("settings");
    case FactoryReset::Everything:
        break;
    }
    return QStringLiteral("all");
}

} // namespace

std::vector<uint8_t> cecMessageBytes(const packets::PacketBytes &packet) {
    const std::span<const uint8_t> bytes = packet.bytes();
    std::vector<uint8_t> message(bytes.begin(), bytes.end());
    if (message.size() > 1) {
        message.erase(message.begin() + 1);
    }
    return message;
}

BoxChange BoxChange::ofSetting(Setting setting, uint8_t value) {
    BoxChange change;
    change.kind = Kind::Setting;
    change.setting = setting;
    change.value = value;
    return change;
}

BoxChange BoxChange::ofSettingsBlock(const record::StatusRecord &block) {
    BoxChange change;
    change.kind = Kind::SettingsBlock;
    change.block = block;
    return change;
}

BoxChange BoxChange::ofEdidWrite(const EdidImage &image, qsizetype bytesHeld, EdidOrigin origin) {
    BoxChange change;
    change.kind = Kind::EdidWrite;
    change.edid = image;
    change.edidBytesHeld = bytesHeld;
    change.edidOrigin = origin;
    return change;
}

BoxChange BoxChange::ofCecSend(const packets::PacketBytes &message) {
    BoxChange change;
    change.kind = Kind::CecSend;
    change.packet = message;
    return change;
}

BoxChange BoxChange::ofCecStore(uint8_t slotCode, const packets::PacketText &text) {
    BoxChange change;
    change.kind = Kind::CecStore;
    change.cecSlot = slotCode;
    change.storedText = text;
    return change;
}

BoxChange BoxChange::ofHdrSend(const packets::PacketBytes &infoframe) {
    BoxChange change;
    change.kind = Kind::HdrSend;
    change.packet = infoframe;
    return change;
}

BoxChange BoxChange::ofAviSend(const packets::PacketBytes &bytes, uint8_t replaceAvi) {
    BoxChange change;
    change.kind = Kind::AviSend;
    change.packet = bytes;
    change.replaceAvi = replaceAvi;
    return change;
}

BoxChange BoxChange::ofRestore(std::vector<RestoreStep> steps, const BoxConfiguration &wanted,
                               const QString &label) {
    BoxChange change;
    change.kind = Kind::Restore;
    change.steps = std::move(steps);
    change.wanted = wanted;
    change.label = label;
    return change;
}

BoxChange BoxChange::ofFactoryReset(FactoryReset what) {
    BoxChange change;
    change.kind = Kind::FactoryReset;
    change.value = static_cast<uint8_t>(what);
    return change;
}

QString changeWords(const BoxChange &change) {
    switch (change.kind) {
    case BoxChange::Kind::Setting:
        return QStringLiteral("set %1=%2")
            .arg(nameText(settingInfo(change.setting).name),
                 status::settingValueText(change.setting, change.value));
    case BoxChange::Kind::SettingsBlock:
        return QStringLiteral("settings block");
    case BoxChange::Kind::EdidWrite:
        return QStringLiteral("edid write");
    case BoxChange::Kind::CecSend:
        return QStringLiteral("cec send %1").arg(formatColonHex(cecMessageBytes(change.packet)));
    case BoxChange::Kind::CecStore: {
        const std::span<const char> text = change.storedText.text();
        return QStringLiteral("cec store %1 %2")
            .arg(slotName(change.cecSlot),
                 QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())).trimmed());
    }
    case BoxChange::Kind::HdrSend:
        return QStringLiteral("hdr send %1").arg(formatColonHex(change.packet.bytes()));
    case BoxChange::Kind::AviSend:
        return QStringLiteral("avi send %1").arg(formatColonHex(change.packet.bytes()));
    case BoxChange::Kind::Restore:
        return change.label.isEmpty() ? QStringLiteral("restore") : change.label;
    case BoxChange::Kind::FactoryReset:
        break;
    }
    return QStringLiteral("reset %1").arg(resetName(change.value));
}

bool ChangeScope::empty() const {
    return std::none_of(settings.begin(), settings.end(), [](bool touched) { return touched; }) &&
           !customEdid && !hdrInfoframe && !aviBytes && unreadable.isEmpty();
}

QStringList ChangeScope::names() const {
    QStringList names;
    for (const SettingInfo &info : allSettings()) {
        if (touches(info.setting)) {
            names << nameText(info.name);
        }
    }
    if (customEdid) {
        names << QStringLiteral("edid");
    }
    if (hdrInfoframe) {
        names << QStringLiteral("hdr_infoframe");
    }
    if (aviBytes) {
        names << QStringLiteral("avi");
    }
    return names + unreadable;
}

BoxConfiguration ChangeScope::of(const BoxConfiguration &configuration) const {
    BoxConfiguration part;
    for (const SettingInfo &info : allSettings()) {
        if (touches(info.setting)) {
            part.settings[static_cast<size_t>(info.setting)] = configuration.setting(info.setting);
        }
    }
    if (customEdid) {
        part.customEdid = configuration.customEdid;
    }
    if (hdrInfoframe) {
        part.hdrInfoframe = configuration.hdrInfoframe;
    }
    if (aviBytes) {
        part.aviBytes = configuration.aviBytes;
    }
    return part;
}

BoxConfiguration ChangeScope::without(const BoxConfiguration &configuration) const {
    BoxConfiguration rest = configuration;
    for (const SettingInfo &info : allSettings()) {
        if (touches(info.setting)) {
            rest.settings[static_cast<size_t>(info.setting)].reset();
        }
    }
    if (customEdid) {
        rest.customEdid.reset();
    }
    if (hdrInfoframe) {
        rest.hdrInfoframe.reset();
    }
    if (aviBytes) {
        rest.aviBytes.reset();
    }
    return rest;
}

ChangeScope scopeOf(const BoxChange &change) {
    ChangeScope scope;
    const auto touch = [&scope](Setting setting) { scope.settings[static_cast<size_t>(setting)] = true; };
    const auto touchAllSettings = [&scope] { scope.settings.fill(true); };
    switch (change.kind) {
    case BoxChange::Kind::Setting:
        touch(change.setting);
        break;
    case BoxChange::Kind::SettingsBlock:
        touchAllSettings();
        break;
    case BoxChange::Kind::EdidWrite:
        scope.customEdid = true;
        break;
    case BoxChange::Kind::CecSend:
        break;
    case BoxChange::Kind::CecStore:
        scope.unreadable << QStringLiteral("cec-%1").arg(slotName(change.cecSlot));
        break;
    case BoxChange::Kind::HdrSend:
        scope.hdrInfoframe = true;
        break;
    case BoxChange::Kind::AviSend:
        scope.aviBytes = true;
        touch(Setting::ReplaceAvi);
        break;
    case BoxChange::Kind::Restore:
        for (const RestoreStep &step : change.steps) {
            switch (step.change.kind) {
            case ConfigurationChange::Kind::Setting:
                touch(step.change.setting);
                break;
            case ConfigurationChange::Kind::Edid:
                scope.customEdid = true;
                break;
            case ConfigurationChange::Kind::HdrInfoframe:
                scope.hdrInfoframe = true;
                break;
            case ConfigurationChange::Kind::AviBytes:
                scope.aviBytes = true;
                touch(Setting::ReplaceAvi);
                break;
            }
        }
        break;
    case BoxChange::Kind::FactoryReset:
        if ((change.value & record::kResetSettings) != 0) {
            touchAllSettings();
        }
        scope.customEdid = (change.value & record::kResetEdid) != 0;
        break;
    }
    return scope;
}

BoxConfiguration changeOutcome(const BoxChange &change) {
    BoxConfiguration outcome;
    switch (change.kind) {
    case BoxChange::Kind::Setting:
        outcome.setSetting(change.setting, change.value);
        break;
    case BoxChange::Kind::SettingsBlock:
        outcome = configurationOfRecord(change.block);
        break;
    case BoxChange::Kind::EdidWrite:
        outcome.customEdid = change.edid;
        break;
    case BoxChange::Kind::HdrSend:
        outcome.hdrInfoframe = storedBytes<proto::kStoredHdrBytes>(change.packet);
        break;
    case BoxChange::Kind::AviSend:
        outcome.aviBytes = storedBytes<proto::kStoredAviBytes>(change.packet);
        outcome.setSetting(Setting::ReplaceAvi, change.replaceAvi);
        break;
    case BoxChange::Kind::Restore:
        for (const RestoreStep &step : change.steps) {
            switch (step.change.kind) {
            case ConfigurationChange::Kind::Setting:
                outcome.setSetting(step.change.setting, step.change.to);
                break;
            case ConfigurationChange::Kind::Edid:
                outcome.customEdid = step.edid;
                break;
            case ConfigurationChange::Kind::HdrInfoframe:
                outcome.hdrInfoframe = step.hdr;
                break;
            case ConfigurationChange::Kind::AviBytes:
                outcome.aviBytes = step.avi;
                outcome.setSetting(Setting::ReplaceAvi, step.replaceAvi);
                break;
            }
        }
        break;
    case BoxChange::Kind::CecSend:
    case BoxChange::Kind::CecStore:
    case BoxChange::Kind::FactoryReset:
        break;
    }
    return outcome;
}

QStringList heldNames(const BoxConfiguration &configuration) {
    QStringList names;
    for (const SettingInfo &info : allSettings()) {
        if (configuration.setting(info.setting)) {
            names << nameText(info.name);
        }
    }
    if (configuration.customEdid) {
        names << QStringLiteral("edid");
    }
    if (configuration.hdrInfoframe) {
        names << QStringLiteral("hdr_infoframe");
    }
    if (configuration.aviBytes) {
        names << QStringLiteral("avi");
    }
    return names;
}
