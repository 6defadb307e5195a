#include "core/box/box_configuration.h"

#include <algorithm>
#include <span>

namespace {

// The part each kind of change belongs to.
ConfigurationPart partOfKind(ConfigurationChange::Kind kind) {
    switch (kind) {
    case ConfigurationChange::Kind::Edid:
        return ConfigurationPart::Edid;
    case ConfigurationChange::Kind::HdrInfoframe:
    case ConfigurationChange::Kind::AviBytes:
        return ConfigurationPart::Packets;
    case ConfigurationChange::Kind::Setting:
        break;
    }
    return ConfigurationPart::Settings;
}

bool wanted(ConfigurationParts parts, ConfigurationPart part) {
    return (parts & partBit(part)) != 0;
}

template <size_t N> int differingBytes(const std::array<uint8_t, N> &a, const std::array<uint8_t, N> &b) {
    int count = 0;
    for (size_t i = 0; i < N; ++i) {
        count += a[i] != b[i] ? 1 : 0;
    }
    return count;
}

// The change of a byte part: how many of its bytes differ from the box's, if the box's are known.
template <size_t N>
ConfigurationChange byteChange(ConfigurationChange::Kind kind,
                               const std::optional<std::array<uint8_t, N>> &box,
                               const std::array<uint8_t, N> &wantedBytes) {
    ConfigurationChange change;
    change.kind = kind;
    change.bytes = static_cast<int>(N);
    if (box) {
        change.differing = differingBytes(*box, wantedBytes);
    }
    return change;
}

ConfigurationChange settingChange(Setting setting, std::optional<uint8_t> from, uint8_t to) {
    ConfigurationChange change;
    change.kind = ConfigurationChange::Kind::Setting;
    change.setting = setting;
    change.from = from;
    change.to = to;
    return change;
}

QString valueText(Setting setting, uint8_t value) {
    const std::optional<std::string_view> name = settingValueName(settingInfo(setting), value);
    if (!name) {
        return QStringLiteral("unknown(%1)").arg(value);
    }
    return QString::fromLatin1(name->data(), static_cast<qsizetype>(name->size()));
}

// The box's value of a setting once the steps so far have run.
class PlannedBox {
public:
    explicit PlannedBox(const BoxConfiguration &box) : box_(box) {}
    std::optional<uint8_t> value(Setting setting) const { return box_.setting(setting); }
    // A step that writes the setting, when the box does not hold the value already.
    void write(Setting setting, uint8_t value, std::vector<RestoreStep> &steps) {
        const std::optional<uint8_t> now = box_.setting(setting);
        if (now == value) {
            return;
        }
        RestoreStep step;
        step.change = settingChange(setting, now, value);
        steps.push_back(step);
        box_.setSetting(setting, value);
    }

private:
    BoxConfiguration box_;
};

} // namespace

ConfigurationPart partOfSetting(Setting setting) {
    return setting == Setting::EdidMode || setting == Setting::CustomEdidPreset ? ConfigurationPart::Edid
                                                                                : ConfigurationPart::Settings;
}

bool BoxConfiguration::holds(ConfigurationPart part) const {
    const bool anySetting =
        std::any_of(allSettings().begin(), allSettings().end(), [&](const SettingInfo &info) {
            return partOfSetting(info.setting) == part && setting(info.setting).has_value();
        });
    switch (part) {
    case ConfigurationPart::Settings:
        return anySetting;
    case ConfigurationPart::Edid:
        return anySetting || customEdid.has_value();
    case ConfigurationPart::Packets:
        return hdrInfoframe.has_value() || aviBytes.has_value();
    }
    return false;
}

ConfigurationParts partsHeld(const BoxConfiguration &configuration) {
    ConfigurationParts parts = 0;
    for (const ConfigurationPart part :
         {ConfigurationPart::Settings, ConfigurationPart::Edid, ConfigurationPart::Packets}) {
        if (configuration.holds(part)) {
            parts |= partBit(part);
        }
    }
    return parts;
}

BoxConfiguration configurationOfRecord(const record::StatusRecord &record) {
    BoxConfiguration configuration;
    for (const SettingInfo &info : allSettings()) {
        configuration.setSetting(info.setting, record[static_cast<size_t>(info.recordOffset)]);
    }
    return configuration;
}

record::StatusRecord recordWithSettings(const BoxConfiguration &configuration, record::StatusRecord record) {
    for (const SettingInfo &info : allSettings()) {
        if (const std::optional<uint8_t> value = configuration.setting(info.setting)) {
            record[static_cast<size_t>(info.recordOffset)] = *value;
        }
    }
    return record;
}

BoxConfiguration onlyParts(const BoxConfiguration &configuration, ConfigurationParts parts) {
    BoxConfiguration kept;
    kept.firmware = configuration.firmware;
    for (const SettingInfo &info : allSettings()) {
        if (wanted(parts, partOfSetting(info.setting))) {
            kept.settings[static_cast<size_t>(info.setting)] = configuration.setting(info.setting);
        }
    }
    if (wanted(parts, ConfigurationPart::Edid)) {
        kept.customEdid = configuration.customEdid;
    }
    if (wanted(parts, ConfigurationPart::Packets)) {
        kept.hdrInfoframe = configuration.hdrInfoframe;
        kept.aviBytes = configuration.aviBytes;
    }
    return kept;
}

bool showsCustomEdid(const BoxConfiguration &configuration) {
    return configuration.setting(Setting::EdidMode) == record::kEdidModeCustom &&
           configuration.setting(Setting::CustomEdidPreset) == 0;
}

QString firmwareVersionOf(const proto::ReplyBuffer &versionBlock) {
    const int at = proto::kBlockDataStart;
    return QStringLiteral("%1.%2.%3.%4")
        .arg(versionBlock[at])
        .arg(versionBlock[at + 1])
        .arg(versionBlock[at + 2])
        .arg(versionBlock[at + 3]);
}

QString partName(ConfigurationPart part) {
    switch (part) {
    case ConfigurationPart::Edid:
        return QStringLiteral("edid");
    case ConfigurationPart::Packets:
        return QStringLiteral("packets");
    case ConfigurationPart::Settings:
        break;
    }
    return QStringLiteral("settings");
}

ConfigurationPart partOfChange(const ConfigurationChange &change) {
    if (change.kind == ConfigurationChange::Kind::Setting) {
        return partOfSetting(change.setting);
    }
    return partOfKind(change.kind);
}

QString changeName(const ConfigurationChange &change) {
    switch (change.kind) {
    case ConfigurationChange::Kind::Edid:
        return QStringLiteral("edid");
    case ConfigurationChange::Kind::HdrInfoframe:
        return QStringLiteral("hdr_infoframe");
    case ConfigurationChange::Kind::AviBytes:
        return QStringLiteral("avi");
    case ConfigurationChange::Kind::Setting:
        break;
    }
    const std::string_view name = settingInfo(change.setting).name;
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

QString changeText(const ConfigurationChange &change) {
    return changeText(change, changeName(change));
}

QString changeText(const ConfigurationChange &change, const QString &name) {
    if (change.kind == ConfigurationChange::Kind::Setting) {
        const QString from =
            change.from ? valueText(change.setting, *change.from) : QStringLiteral("(not read)");
        return QStringLiteral("%1: %2 -> %3").arg(name, from, valueText(change.setting, change.to));
    }
    // The box gives its custom EDID only in custom mode on preset 0: in any other, it is unknown.
    if (!change.differing) {
        return change.kind == ConfigurationChange::Kind::Edid
                   ? QStringLiteral("%1: %2 bytes to write (the box's own cannot be read in its mode)")
                         .arg(name)
                         .arg(change.bytes)
                   : QStringLiteral("%1: %2 bytes to write").arg(name).arg(change.bytes);
    }
    return QStringLiteral("%1: %2 bytes differ in %3 %4")
        .arg(name)
        .arg(change.bytes)
        .arg(*change.differing)
        .arg(*change.differing == 1 ? QStringLiteral("place") : QStringLiteral("places"));
}

QJsonObject changeObject(const ConfigurationChange &change) {
    QJsonObject object{{QStringLiteral("part"), partName(partOfChange(change))},
                       {QStringLiteral("name"), changeName(change)}};
    if (change.kind == ConfigurationChange::Kind::Setting) {
        object.insert(QStringLiteral("from"),
                      change.from ? QJsonValue(valueText(change.setting, *change.from)) : QJsonValue());
        object.insert(QStringLiteral("to"), valueText(change.setting, change.to));
        return object;
    }
    object.insert(QStringLiteral("bytes"), change.bytes);
    object.insert(QStringLiteral("differing"),
                  change.differing ? QJsonValue(*change.differing) : QJsonValue());
    return object;
}

std::vector<proto::RequestFrame> RestoreStep::frames() const {
    std::vector<proto::RequestFrame> frames;
    switch (change.kind) {
    case ConfigurationChange::Kind::Setting:
        frames.push_back(proto::registerWrite(settingInfo(change.setting).reg, change.to));
        break;
    case ConfigurationChange::Kind::Edid:
        for (uint32_t offset = 0; offset < proto::kEdidSize; offset += proto::kEdidWindowWriteLength) {
            frames.push_back(proto::edidWindowWrite(
                static_cast<uint8_t>(offset),
                std::span<const uint8_t>(edid).subspan(offset).first<proto::kEdidWindowWriteLength>()));
        }
        frames.push_back(proto::edidCommit());
        break;
    case ConfigurationChange::Kind::HdrInfoframe: {
        const proto::RequestFrame data = proto::dataFrame(proto::kHdrInfoframe, hdr);
        frames.push_back(data);
        frames.push_back(proto::activate(data.bytes[1], proto::kActivateHdr));
        break;
    }
    case ConfigurationChange::Kind::AviBytes: {
        const proto::RequestFrame data = proto::dataFrame(proto::kAviInfoframe, avi);
        frames.push_back(data);
        frames.push_back(proto::activate(data.bytes[1], proto::kActivateAvi));
        frames.push_back(proto::registerWrite(record::kRegReplaceAvi, replaceAvi));
        break;
    }
    }
    return frames;
}

std::vector<RestoreStep> planRestore(const BoxConfiguration &box,
                                     const BoxConfiguration &wantedConfiguration) {
    std::vector<RestoreStep> steps;
    PlannedBox planned(box);
    for (const SettingInfo &info : allSettings()) {
        const std::optional<uint8_t> value = wantedConfiguration.setting(info.setting);
        if (value && partOfSetting(info.setting) == ConfigurationPart::Settings) {
            planned.write(info.setting, *value, steps);
        }
    }
    // The custom EDID is written in CUSTOM mode on the uploaded preset only.
    if (wantedConfiguration.customEdid && box.customEdid != wantedConfiguration.customEdid) {
        planned.write(Setting::CustomEdidPreset, 0, steps);
        planned.write(Setting::EdidMode, record::kEdidModeCustom, steps);
        RestoreStep step;
        step.change =
            byteChange(ConfigurationChange::Kind::Edid, box.customEdid, *wantedConfiguration.customEdid);
        step.edid = *wantedConfiguration.customEdid;
        steps.push_back(step);
    }
    if (wantedConfiguration.hdrInfoframe && box.hdrInfoframe != wantedConfiguration.hdrInfoframe) {
        RestoreStep step;
        step.change = byteChange(ConfigurationChange::Kind::HdrInfoframe, box.hdrInfoframe,
                                 *wantedConfiguration.hdrInfoframe);
        step.hdr = *wantedConfiguration.hdrInfoframe;
        steps.push_back(step);
    }
    if (wantedConfiguration.aviBytes && box.aviBytes != wantedConfiguration.aviBytes) {
        RestoreStep step;
        step.change =
            byteChange(ConfigurationChange::Kind::AviBytes, box.aviBytes, *wantedConfiguration.aviBytes);
        step.avi = *wantedConfiguration.aviBytes;
        // After the AVI bytes the box is told again whether to keep replacing AVI: the value the
        // settings steps left, or the box's own.
        step.replaceAvi = planned.value(Setting::ReplaceAvi).value_or(0);
        steps.push_back(step);
    }
    // The preset and the mode wanted come last: a mode change keeps the box busy with its EDID.
    for (const Setting setting : {Setting::CustomEdidPreset, Setting::EdidMode}) {
        if (const std::optional<uint8_t> value = wantedConfiguration.setting(setting)) {
            planned.write(setting, *value, steps);
        }
    }
    return steps;
}

std::vector<ConfigurationChange> configurationDifferences(const BoxConfiguration &box,
                                                          const BoxConfiguration &wantedConfiguration) {
    std::vector<ConfigurationChange> changes;
    for (const SettingInfo &info : allSettings()) {
        const std::optional<uint8_t> value = wantedConfiguration.setting(info.setting);
        if (value && box.setting(info.setting) != value) {
            changes.push_back(settingChange(info.setting, box.setting(info.setting), *value));
        }
    }
    if (wantedConfiguration.customEdid && box.customEdid != wantedConfiguration.customEdid) {
        changes.push_back(
            byteChange(ConfigurationChange::Kind::Edid, box.customEdid, *wantedConfiguration.customEdid));
    }
    if (wantedConfiguration.hdrInfoframe && box.hdrInfoframe != wantedConfiguration.hdrInfoframe) {
        changes.push_back(byteChange(ConfigurationChange::Kind::HdrInfoframe, box.hdrInfoframe,
                                     *wantedConfiguration.hdrInfoframe));
    }
    if (wantedConfiguration.aviBytes && box.aviBytes != wantedConfiguration.aviBytes) {
        changes.push_back(
            byteChange(ConfigurationChange::Kind::AviBytes, box.aviBytes, *wantedConfiguration.aviBytes));
    }
    return changes;
}
