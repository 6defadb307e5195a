#pragma once
// What the commands print: the text lines and the JSON values built from what the box
// answered. Pure functions of their arguments.

#include "core/box/box_session.h"
#include "core/box/settings_table.h"
#include "core/box/status_record.h"
#include "core/edid/edid_image.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <span>

namespace cli {

// What a command leaves for standard output, and why it failed.
struct Output {
    QStringList lines; // text mode
    QJsonObject json;
    QString error;
    // A document that is a list (restore --dry-run) instead of the object, when nothing failed.
    std::optional<QJsonArray> jsonList = std::nullopt;
    // A file's content for standard output (-o -), written as it is instead of the lines.
    QByteArray bytes = {};
    // The command has written its standard output as it went (edid decode of several EDIDs).
    bool streamed = false;
};

// "box", "top" or "bot", as the command line names the box's EDIDs.
QString edidSourceName(EdidSource source);

// The value's name in the settings table, or "unknown(N)" for a value it does not list.
QString settingValueText(const SettingInfo &info, uint8_t device);
// The named settings (every one when `which` is empty) as NAME=VALUE lines or one object.
QStringList settingLines(const record::StatusRecord &settings, std::span<const Setting> which);
QJsonObject settingsObject(const record::StatusRecord &settings, std::span<const Setting> which);

// What the status command gathered; a part that could not be read is missing.
struct StatusView {
    std::optional<std::array<QString, 4>> lines; // input, colour space, source, HDR input
    std::optional<QString> hdrCapture;           // missing also when the source sends none
    std::optional<QString> firmware;             // "ver: a.b.c.d"
    std::optional<record::StatusRecord> settings;
};
QStringList statusLines(const StatusView &view);
QJsonObject statusObject(const StatusView &view);

// The checksum byte a block holds and the one that makes it sum to zero.
struct BlockVerdict {
    int block = 0;
    uint8_t stored = 0;
    uint8_t expected = 0;
    bool right() const { return stored == expected; }
};
using EdidVerdicts = std::array<BlockVerdict, 2>;
EdidVerdicts edidVerdicts(std::span<const uint8_t, proto::kEdidSize> image);
bool allRight(const EdidVerdicts &verdicts);
// "FILE: block 1: checksum 00 wrong, should be 3C"
QStringList verdictLines(const QString &file, const EdidVerdicts &verdicts);
QJsonArray verdictArray(const EdidVerdicts &verdicts);

} // namespace cli
