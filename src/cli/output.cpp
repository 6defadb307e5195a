#include "output.h"

#include "arguments.h"
#include "core/box/typed_status.h"
#include "core/edid/spaced_hex.h"

#include <QJsonValue>

namespace cli {

QString edidSourceName(EdidSource source) {
    switch (source) {
    case EdidSource::TopSink:
        return QStringLiteral("top");
    case EdidSource::BotSink:
        return QStringLiteral("bot");
    case EdidSource::Box:
        break;
    }
    return QStringLiteral("box");
}
namespace {

// Every setting in table order, or the ones asked for in the order asked.
template <typename Visit> void forEachSetting(std::span<const Setting> which, Visit visit) {
    if (which.empty()) {
        for (const SettingInfo &info : allSettings()) {
            visit(info);
        }
        return;
    }
    for (const Setting setting : which) {
        visit(settingInfo(setting));
    }
}

uint8_t recordValue(const record::StatusRecord &settings, const SettingInfo &info) {
    return settings[static_cast<size_t>(info.recordOffset)];
}

constexpr char kFirmwarePrefix[] = "ver: ";

} // namespace

QString settingValueText(const SettingInfo &info, uint8_t device) {
    return status::settingValueText(info.setting, device);
}

QStringList settingLines(const record::StatusRecord &settings, std::span<const Setting> which) {
    QStringList lines;
    forEachSetting(which, [&](const SettingInfo &info) {
        lines << textOf(info.name) + QLatin1Char('=') + settingValueText(info, recordValue(settings, info));
    });
    return lines;
}

QJsonObject settingsObject(const record::StatusRecord &settings, std::span<const Setting> which) {
    QJsonObject object;
    forEachSetting(which, [&](const SettingInfo &info) {
        object.insert(textOf(info.name), settingValueText(info, recordValue(settings, info)));
    });
    return object;
}

QStringList statusLines(const StatusView &view) {
    QStringList lines;
    if (view.lines) {
        for (const QString &line : *view.lines) {
            lines << line;
        }
    }
    if (view.hdrCapture) {
        lines << QStringLiteral("HDR capture: ") + *view.hdrCapture;
    }
    if (view.firmware) {
        lines << *view.firmware;
    }
    if (view.settings) {
        lines << settingLines(*view.settings, {});
    }
    return lines;
}

QJsonObject statusObject(const StatusView &view) {
    static constexpr std::array<const char *, 4> kLineKeys = {"video_format", "color_space", "video_source",
                                                              "hdr_input"};
    QJsonObject object;
    for (size_t i = 0; i < kLineKeys.size(); ++i) {
        object.insert(QLatin1String(kLineKeys[i]), view.lines ? QJsonValue((*view.lines)[i]) : QJsonValue());
    }
    object.insert(QLatin1String("hdr_capture"),
                  view.hdrCapture ? QJsonValue(*view.hdrCapture) : QJsonValue());
    QJsonValue firmware;
    if (view.firmware) {
        QString number = *view.firmware;
        if (number.startsWith(QLatin1String(kFirmwarePrefix))) {
            number.remove(0, static_cast<qsizetype>(sizeof(kFirmwarePrefix) - 1));
        }
        firmware = number;
    }
    object.insert(QLatin1String("firmware"), firmware);
    object.insert(QLatin1String("settings"),
                  view.settings ? QJsonValue(settingsObject(*view.settings, {})) : QJsonValue());
    return object;
}

EdidVerdicts edidVerdicts(std::span<const uint8_t, proto::kEdidSize> image) {
    EdidVerdicts verdicts;
    for (size_t block = 0; block < verdicts.size(); ++block) {
        const auto bytes = image.subspan(block * kEdidBlockSize).first<kEdidBlockSize>();
        verdicts[block] = {static_cast<int>(block), bytes[kEdidChecksum0], edidBlockChecksum(bytes)};
    }
    return verdicts;
}

bool allRight(const EdidVerdicts &verdicts) {
    return verdicts[0].right() && verdicts[1].right();
}

QStringList verdictLines(const QString &file, const EdidVerdicts &verdicts) {
    QStringList lines;
    for (const BlockVerdict &verdict : verdicts) {
        QString line = QStringLiteral("%1: block %2: checksum %3 ")
                           .arg(file)
                           .arg(verdict.block)
                           .arg(edidByteText(verdict.stored));
        line += verdict.right() ? QStringLiteral("right")
                                : QStringLiteral("wrong, should be %1").arg(edidByteText(verdict.expected));
        lines << line;
    }
    return lines;
}

QJsonArray verdictArray(const EdidVerdicts &verdicts) {
    QJsonArray array;
    for (const BlockVerdict &verdict : verdicts) {
        array.append(QJsonObject{{QStringLiteral("block"), verdict.block},
                                 {QStringLiteral("checksum"), edidByteText(verdict.stored)},
                                 {QStringLiteral("expected"), edidByteText(verdict.expected)},
                                 {QStringLiteral("right"), verdict.right()}});
    }
    return array;
}

} // namespace cli
