#include "core/box/journal_text.h"

#include "core/base/code_text.h"
#include "core/box/typed_status.h"

namespace {

template <size_t N>
QString bytesDetail(const QString &name, const std::optional<std::array<uint8_t, N>> &before,
                    const std::optional<std::array<uint8_t, N>> &after) {
    if (!after) {
        return QStringLiteral("%1: the box's factory one").arg(name);
    }
    if (!before) {
        return QStringLiteral("%1: %2 bytes written; what they replaced is not known").arg(name).arg(N);
    }
    int differing = 0;
    for (size_t i = 0; i < N; ++i) {
        differing += (*before)[i] != (*after)[i] ? 1 : 0;
    }
    return QStringLiteral("%1: %2 of %3 bytes changed").arg(name).arg(differing).arg(N);
}

QString settingDetail(const SettingInfo &info, const JournalEntry &entry) {
    const std::optional<uint8_t> before = entry.before.setting(info.setting);
    const std::optional<uint8_t> after = entry.after.setting(info.setting);
    return QStringLiteral("%1: %2 -> %3")
        .arg(nameText(info.name),
             before ? status::settingValueText(info.setting, *before) : QStringLiteral("(not known)"),
             after ? status::settingValueText(info.setting, *after) : QStringLiteral("(the factory value)"));
}

} // namespace

QString journalTimeText(const QDateTime &time) {
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString journalOutcomeText(const JournalEntry &entry) {
    if (entry.outcome.isEmpty()) {
        return QStringLiteral("outcome not recorded");
    }
    return entry.reason.isEmpty() ? entry.outcome : QStringLiteral("%1: %2").arg(entry.outcome, entry.reason);
}

QString journalEntryLine(const JournalEntry &entry) {
    const QString from =
        entry.client.isEmpty() ? entry.frontEnd : QStringLiteral("%1 %2").arg(entry.frontEnd, entry.client);
    return QStringLiteral("%1  %2  %3  %4  %5")
        .arg(entry.id)
        .arg(journalTimeText(entry.time), from, entry.change, journalOutcomeText(entry));
}

QStringList journalEntryDetails(const JournalEntry &entry) {
    QStringList details;
    for (const QString &name : entry.overwrites) {
        if (const SettingInfo *info = settingNamed(name.toStdString())) {
            details << settingDetail(*info, entry);
        } else if (name == QLatin1String("edid")) {
            details << bytesDetail(name, entry.before.customEdid, entry.after.customEdid);
        } else if (name == QLatin1String("hdr_infoframe")) {
            details << bytesDetail(name, entry.before.hdrInfoframe, entry.after.hdrInfoframe);
        } else if (name == QLatin1String("avi")) {
            details << bytesDetail(name, entry.before.aviBytes, entry.after.aviBytes);
        } else {
            details << QStringLiteral("%1: what it replaced is not known").arg(name);
        }
    }
    return details;
}
