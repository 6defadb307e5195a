#include "core/box/typed_status_json.h"

#include "core/box/settings_table.h"

#include <QHash>

namespace status {

QJsonObject typedStatusJson(const TypedStatus &status) {
    QJsonObject object;
    QHash<QString, QJsonValue> carried;
    for (const StatusField &field : statusFields(status)) {
        carried.insert(field.name, field.value);
    }
    for (const QString &name : statusFieldNames()) {
        // The settings have an object of their own.
        if (settingNamed(name.toStdString()) != nullptr) {
            continue;
        }
        object.insert(name, carried.value(name, QJsonValue()));
    }
    QJsonValue settings;
    if (status.settings) {
        QJsonObject byName;
        for (const SettingInfo &info : allSettings()) {
            byName.insert(
                QString::fromLatin1(info.name.data(), static_cast<qsizetype>(info.name.size())),
                settingValueText(info.setting, (*status.settings)[static_cast<size_t>(info.recordOffset)]));
        }
        settings = byName;
    }
    object.insert(QStringLiteral("settings"), settings);
    return object;
}

} // namespace status
