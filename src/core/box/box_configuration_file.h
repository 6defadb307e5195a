#pragma once
// The box's configuration as a JSON file:
//
//     {"format": "veltrika-box-configuration", "version": 1, "saved": "<ISO 8601>",
//      "firmware": "1.8.3.0", "settings": {"input": "top", ...},
//      "edid": {"mode": "custom", "preset": 0, "bytes": "<spaced hex, 256 bytes>"},
//      "hdr_infoframe": "<colon hex>", "avi": "<colon hex>"}
//
// The settings carry the command line's names and values, all but the EDID mode and preset,
// which are the EDID's. Every part is optional. A file is read strictly: another format, a
// newer version, a key or value nobody knows, a key twice, hex that is not hex, or an EDID a
// source cannot read is refused with its place in the file, and a file of more than 1 MB is
// not read at all. A file is written whole or not at all.

#include "core/box/box_configuration.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

constexpr char kConfigurationFormat[] = "veltrika-box-configuration";
constexpr int kConfigurationVersion = 1;
constexpr qint64 kMaxConfigurationFileSize = 1024 * 1024;

// What a file holds besides the configuration.
struct ConfigurationFile {
    BoxConfiguration configuration;
    std::optional<QDateTime> saved;
};

// Why a file was refused and where: "line 4, column 9 (settings.hdcp)", or empty when the
// reason is the file's as a whole.
struct ConfigurationFileError {
    QString place;
    QString reason;
    bool unread = false; // the file could not be read at all: the reason is the system's
    // "line 4, column 9 (settings.hdcp): unknown value 2.3 (one of: 1.4, 2.2)"
    QString text() const;
};

struct ConfigurationFileRead {
    std::optional<ConfigurationFile> file;
    ConfigurationFileError error; // when there is no file
    bool ok() const { return file.has_value(); }
};

// The configuration of a file's text, or why there is none.
ConfigurationFileRead parseConfigurationText(QByteArrayView text);
// The same from a file; a file that cannot be read, or of more than 1 MB, is refused unread.
ConfigurationFileRead readConfigurationFile(const QString &fileName);

// The file's text, ending in a line feed. A setting whose value has no name is left out, as
// is a custom EDID outside CUSTOM mode on preset 0 (a file could not say which one it is);
// `leftOut` (when given) gets a line for each.
QByteArray configurationText(const BoxConfiguration &configuration, const QDateTime &saved,
                             QStringList *leftOut = nullptr);
// Writes the text whole or not at all; `error` (when given) says why not.
bool saveConfigurationFile(const QString &fileName, const BoxConfiguration &configuration,
                           const QDateTime &saved, QStringList *leftOut, QString *error);
