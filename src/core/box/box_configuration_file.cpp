#include "core/box/box_configuration_file.h"

#include "core/base/colon_hex.h"
#include "core/base/saved_file.h"
#include "core/edid/edid_check.h"
#include "core/edid/spaced_hex.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace {

constexpr char kFormatKey[] = "format";
constexpr char kVersionKey[] = "version";
constexpr char kSavedKey[] = "saved";
constexpr char kFirmwareKey[] = "firmware";
constexpr char kSettingsKey[] = "settings";
constexpr char kEdidKey[] = "edid";
constexpr char kHdrKey[] = "hdr_infoframe";
constexpr char kAviKey[] = "avi";
constexpr char kModeKey[] = "mode";
constexpr char kPresetKey[] = "preset";
constexpr char kBytesKey[] = "bytes";

QString latin1(std::string_view view) {
    return QString::fromLatin1(view.data(), static_cast<qsizetype>(view.size()));
}

// ---- Where each key stands ---------------------------------------------------------------

// The offset of each key of a JSON text by its path ("settings.hdcp"), and the first key that
// stands twice in one object. The text is one that QJsonDocument took, so only strings,
// brackets and commas need to be followed.
struct KeyPlaces {
    QHash<QString, qsizetype> offsets;
    std::optional<std::pair<QString, qsizetype>> duplicate;
};

// The offset of the quote that ends the string whose opening quote stands at `at`.
qsizetype stringEnd(QByteArrayView text, qsizetype at) {
    for (qsizetype i = at + 1; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '"') {
            return i;
        }
    }
    return text.size();
}

// The key a quoted JSON string stands for, escapes resolved.
QString keyOf(QByteArrayView quoted) {
    if (!quoted.contains('\\')) {
        return QString::fromUtf8(quoted.sliced(1, quoted.size() - 2));
    }
    const QByteArray array = '[' + quoted.toByteArray() + ']';
    return QJsonDocument::fromJson(array).array().at(0).toString();
}

KeyPlaces keyPlaces(QByteArrayView text) {
    struct Level {
        bool object = false;
        QString path;
        QSet<QString> keys;
        bool expectKey = false;
        int index = 0;
        QString lastKey; // the path of the key whose value comes next
    };
    std::vector<Level> levels;
    KeyPlaces places;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            const qsizetype end = stringEnd(text, i);
            if (!levels.empty() && levels.back().object && levels.back().expectKey) {
                Level &level = levels.back();
                const QString key = keyOf(text.sliced(i, std::min(end, text.size() - 1) - i + 1));
                const QString path = level.path.isEmpty() ? key : level.path + QLatin1Char('.') + key;
                if (level.keys.contains(key) && !places.duplicate) {
                    places.duplicate = std::pair(path, i);
                }
                level.keys.insert(key);
                places.offsets.insert(path, i);
                level.lastKey = path;
                level.expectKey = false;
            }
            i = end;
        } else if (c == '{' || c == '[') {
            Level level;
            level.object = c == '{';
            level.expectKey = level.object;
            if (!levels.empty()) {
                const Level &parent = levels.back();
                level.path = parent.object ? parent.lastKey
                                           : QStringLiteral("%1[%2]").arg(parent.path).arg(parent.index);
            }
            levels.push_back(std::move(level));
        } else if ((c == '}' || c == ']') && !levels.empty()) {
            levels.pop_back();
        } else if (c == ',' && !levels.empty()) {
            if (levels.back().object) {
                levels.back().expectKey = true;
            } else {
                ++levels.back().index;
            }
        }
    }
    return places;
}

// "line 4, column 9": lines from 1, columns in characters from 1.
QString lineAndColumn(QByteArrayView text, qsizetype offset) {
    offset = std::clamp<qsizetype>(offset, 0, text.size());
    int line = 1;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    qsizetype column = 1;
    for (qsizetype i = lineStart; i < offset; ++i) {
        // UTF-8 continuation bytes belong to the character before them.
        column += (static_cast<uint8_t>(text[i]) & 0xC0) == 0x80 ? 0 : 1;
    }
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

// ---- Values ------------------------------------------------------------------------------

QString valueNames(const SettingInfo &info) {
    QStringList names;
    for (const SettingValue &value : info.values) {
        names << latin1(value.name);
    }
    return names.join(QStringLiteral(", "));
}

// A value as the file has it: a string without its quotes, anything else as JSON.
QString jsonText(const QJsonValue &value) {
    if (value.isString()) {
        return value.toString();
    }
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// A whole number within [low, high] of a JSON value, or nothing.
std::optional<int> wholeNumber(const QJsonValue &value, int low, int high) {
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::floor(number) != number || number < low || number > high) {
        return std::nullopt;
    }
    return static_cast<int>(number);
}

bool isFirmwareVersion(const QString &text) {
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) {
        return false;
    }
    for (int i = 1; i <= 4; ++i) {
        if (match.captured(i).toInt() > 255) {
            return false;
        }
    }
    return true;
}

// The bytes of a colon hex text of 2 to N bytes, zero after them as the box stores them.
template <size_t N> std::optional<std::array<uint8_t, N>> packetBytes(const QString &text, QString *reason) {
    const QByteArray latin = text.toLatin1();
    size_t groups = 0;
    if (text != QString::fromLatin1(latin) ||
        !isColonHexText(std::span<const char>(latin.constData(), static_cast<size_t>(latin.size())),
                        &groups)) {
        *reason = QStringLiteral("not colon hex (two hex digits a byte, a colon between)");
        return std::nullopt;
    }
    if (groups < 2 || groups > N) {
        *reason = QStringLiteral("holds %1 bytes; the box keeps 2 to %2").arg(groups).arg(N);
        return std::nullopt;
    }
    std::array<uint8_t, N> bytes{};
    const QStringList parts = text.trimmed().split(QLatin1Char(':'));
    for (size_t i = 0; i < groups; ++i) {
        bytes[i] = static_cast<uint8_t>(parts[static_cast<qsizetype>(i)].toUInt(nullptr, 16));
    }
    return bytes;
}

// ---- The reader --------------------------------------------------------------------------

class Reader {
public:
    explicit Reader(QByteArrayView text) : text_(text) {}

    ConfigurationFileRead read() {
        if (text_.size() > kMaxConfigurationFileSize) {
            return refuse({}, QStringLiteral("larger than 1 MB: no box configuration"));
        }
        QJsonParseError parseError{};
        const QJsonDocument document = QJsonDocument::fromJson(text_.toByteArray(), &parseError);
        if (parseError.error != QJsonParseError::NoError) {
            return refuseAt(parseError.offset, {},
                            QStringLiteral("not JSON: %1").arg(parseError.errorString()));
        }
        places_ = keyPlaces(text_);
        if (places_.duplicate) {
            return refuseAt(places_.duplicate->second, places_.duplicate->first,
                            QStringLiteral("the key stands twice"));
        }
        if (!document.isObject()) {
            return refuseAt(0, {}, QStringLiteral("not a box configuration: no JSON object"));
        }
        const QJsonObject top = document.object();
        if (!readHeader(top) || !knownKeys(top, {},
                                           {kFormatKey, kVersionKey, kSavedKey, kFirmwareKey, kSettingsKey,
                                            kEdidKey, kHdrKey, kAviKey})) {
            return failed();
        }
        ConfigurationFile file;
        if (!readSaved(top, file) || !readFirmware(top, file.configuration) ||
            !readSettings(top, file.configuration) || !readEdid(top, file.configuration) ||
            !readPacket(top, kHdrKey, file.configuration.hdrInfoframe) ||
            !readPacket(top, kAviKey, file.configuration.aviBytes)) {
            return failed();
        }
        return {file, {}};
    }

private:
    ConfigurationFileRead refuse(const QString &place, const QString &reason) {
        error_ = {place, reason};
        return failed();
    }
    ConfigurationFileRead refuseAt(qsizetype offset, const QString &path, const QString &reason) {
        const QString where = lineAndColumn(text_, offset);
        return refuse(path.isEmpty() ? where : QStringLiteral("%1 (%2)").arg(where, path), reason);
    }
    ConfigurationFileRead failed() const { return {std::nullopt, error_}; }

    // Refuses at the key's place; false, for the caller to return.
    bool refuseKey(const QString &path, const QString &reason) {
        refuseAt(places_.offsets.value(path, 0), path, reason);
        return false;
    }

    static QString pathOf(const QString &parent, const QString &key) {
        return parent.isEmpty() ? key : parent + QLatin1Char('.') + key;
    }

    // The object's keys as the file has them, first to last.
    QStringList keysInFileOrder(const QJsonObject &object, const QString &parent) const {
        QStringList keys = object.keys();
        std::sort(keys.begin(), keys.end(), [&](const QString &a, const QString &b) {
            return places_.offsets.value(pathOf(parent, a)) < places_.offsets.value(pathOf(parent, b));
        });
        return keys;
    }

    bool knownKeys(const QJsonObject &object, const QString &parent,
                   std::initializer_list<const char *> known) {
        for (const QString &key : keysInFileOrder(object, parent)) {
            if (std::none_of(known.begin(), known.end(),
                             [&](const char *name) { return key == QLatin1String(name); })) {
                return refuseKey(pathOf(parent, key), QStringLiteral("unknown key: %1").arg(key));
            }
        }
        return true;
    }

    bool readHeader(const QJsonObject &top) {
        const QJsonValue format = top.value(QLatin1String(kFormatKey));
        if (format.isUndefined()) {
            refuseAt(0, {}, QStringLiteral("not a box configuration: no \"format\""));
            return false;
        }
        if (format.toString() != QLatin1String(kConfigurationFormat)) {
            return refuseKey(QLatin1String(kFormatKey),
                             QStringLiteral("not a box configuration: the format is not \"%1\"")
                                 .arg(QLatin1String(kConfigurationFormat)));
        }
        const QJsonValue version = top.value(QLatin1String(kVersionKey));
        if (version.isUndefined()) {
            refuseAt(0, {}, QStringLiteral("no \"version\""));
            return false;
        }
        const std::optional<int> number = wholeNumber(version, 1, std::numeric_limits<int>::max());
        if (!number) {
            return refuseKey(QLatin1String(kVersionKey),
                             QStringLiteral("the version is not a whole number from 1"));
        }
        if (*number > kConfigurationVersion) {
            return refuseKey(QLatin1String(kVersionKey),
                             QStringLiteral("version %1 is newer than this program reads (%2)")
                                 .arg(*number)
                                 .arg(kConfigurationVersion));
        }
        return true;
    }

    bool readSaved(const QJsonObject &top, ConfigurationFile &file) {
        const QJsonValue saved = top.value(QLatin1String(kSavedKey));
        if (saved.isUndefined()) {
            return true;
        }
        const QDateTime time = QDateTime::fromString(saved.toString(), Qt::ISODateWithMs);
        if (!saved.isString() || !time.isValid()) {
            return refuseKey(QLatin1String(kSavedKey), QStringLiteral("not an ISO 8601 date and time"));
        }
        file.saved = time;
        return true;
    }

    bool readFirmware(const QJsonObject &top, BoxConfiguration &configuration) {
        const QJsonValue firmware = top.value(QLatin1String(kFirmwareKey));
        if (firmware.isUndefined()) {
            return true;
        }
        if (!firmware.isString() || !isFirmwareVersion(firmware.toString())) {
            return refuseKey(QLatin1String(kFirmwareKey),
                             QStringLiteral("not a firmware version (four numbers of 0 to 255 with dots)"));
        }
        configuration.firmware = firmware.toString();
        return true;
    }

    bool readSettings(const QJsonObject &top, BoxConfiguration &configuration) {
        const QString parent = QLatin1String(kSettingsKey);
        const QJsonValue settings = top.value(parent);
        if (settings.isUndefined()) {
            return true;
        }
        if (!settings.isObject()) {
            return refuseKey(parent, QStringLiteral("not an object of settings"));
        }
        const QJsonObject object = settings.toObject();
        for (const QString &name : keysInFileOrder(object, parent)) {
            const QString path = pathOf(parent, name);
            const SettingInfo *info = settingNamed(name.toStdString());
            if (info == nullptr) {
                return refuseKey(path, QStringLiteral("unknown setting: %1").arg(name));
            }
            if (partOfSetting(info->setting) == ConfigurationPart::Edid) {
                return refuseKey(path, QStringLiteral("%1 belongs in edid.%2")
                                           .arg(name, info->setting == Setting::EdidMode
                                                          ? QLatin1String(kModeKey)
                                                          : QLatin1String(kPresetKey)));
            }
            const QJsonValue value = object.value(name);
            const std::optional<uint8_t> device =
                value.isString() ? settingValueNamed(*info, value.toString().toStdString()) : std::nullopt;
            if (!device) {
                return refuseKey(
                    path,
                    QStringLiteral("unknown value %1 (one of: %2)").arg(jsonText(value), valueNames(*info)));
            }
            configuration.setSetting(info->setting, *device);
        }
        return true;
    }

    bool readEdid(const QJsonObject &top, BoxConfiguration &configuration) {
        const QString parent = QLatin1String(kEdidKey);
        const QJsonValue edid = top.value(parent);
        if (edid.isUndefined()) {
            return true;
        }
        if (!edid.isObject()) {
            return refuseKey(parent, QStringLiteral("not an object of mode, preset and bytes"));
        }
        const QJsonObject object = edid.toObject();
        if (!knownKeys(object, parent, {kModeKey, kPresetKey, kBytesKey})) {
            return false;
        }
        const QJsonValue mode = object.value(QLatin1String(kModeKey));
        if (!mode.isUndefined()) {
            const SettingInfo &info = settingInfo(Setting::EdidMode);
            const std::optional<uint8_t> device =
                mode.isString() ? settingValueNamed(info, mode.toString().toStdString()) : std::nullopt;
            if (!device) {
                return refuseKey(pathOf(parent, QLatin1String(kModeKey)),
                                 QStringLiteral("unknown EDID mode (one of: %1)").arg(valueNames(info)));
            }
            configuration.setSetting(Setting::EdidMode, *device);
        }
        const QJsonValue preset = object.value(QLatin1String(kPresetKey));
        if (!preset.isUndefined()) {
            const std::optional<int> number = wholeNumber(preset, 0, 7);
            if (!number) {
                return refuseKey(pathOf(parent, QLatin1String(kPresetKey)),
                                 QStringLiteral("the preset is a number from 0 to 7"));
            }
            configuration.setSetting(Setting::CustomEdidPreset, static_cast<uint8_t>(*number));
        }
        const QJsonValue bytes = object.value(QLatin1String(kBytesKey));
        if (bytes.isUndefined()) {
            return true;
        }
        const QString path = pathOf(parent, QLatin1String(kBytesKey));
        if (!showsCustomEdid(configuration)) {
            return refuseKey(path,
                             QStringLiteral("the box keeps a custom EDID in mode custom on preset 0 only: "
                                            "edid.mode and edid.preset must say so"));
        }
        return readEdidBytes(bytes, path, configuration);
    }

    bool readEdidBytes(const QJsonValue &bytes, const QString &path, BoxConfiguration &configuration) {
        EdidImage image{};
        const QString text = bytes.toString();
        const qsizetype groups = bytes.isString() ? parseEdidText(text, image) : -1;
        if (groups < 0) {
            const qsizetype at = bytes.isString() ? edidTextLayoutBreak(text) : 0;
            return refuseKey(path,
                             QStringLiteral("not spaced hex (two hex digits a byte, a space or line feed "
                                            "between): breaks at character %1")
                                 .arg(at + 1));
        }
        if (groups != static_cast<qsizetype>(kEdidImageSize)) {
            return refuseKey(path, QStringLiteral("holds %1 of 256 bytes").arg(groups));
        }
        const EdidCheck check = checkEdidForSource(image, groups, EdidOrigin::File);
        if (!check.ok()) {
            return refuseKey(path, QStringLiteral("a source cannot read this EDID: %1")
                                       .arg(check.reasons.join(QStringLiteral("; "))));
        }
        for (int block = 0; block < 2; ++block) {
            const auto blockBytes = std::span<const uint8_t, kEdidImageSize>(image)
                                        .subspan(static_cast<size_t>(block * kEdidBlockSize))
                                        .first<kEdidBlockSize>();
            const uint8_t expected = edidBlockChecksum(blockBytes);
            if (blockBytes.back() != expected) {
                return refuseKey(path, QStringLiteral("block %1: checksum %2 wrong, should be %3")
                                           .arg(block)
                                           .arg(edidByteText(blockBytes.back()), edidByteText(expected)));
            }
        }
        configuration.customEdid = image;
        return true;
    }

    template <size_t N>
    bool readPacket(const QJsonObject &top, const char *key, std::optional<std::array<uint8_t, N>> &into) {
        const QJsonValue value = top.value(QLatin1String(key));
        if (value.isUndefined()) {
            return true;
        }
        QString reason = QStringLiteral("not colon hex (two hex digits a byte, a colon between)");
        const std::optional<std::array<uint8_t, N>> bytes =
            value.isString() ? packetBytes<N>(value.toString(), &reason) : std::nullopt;
        if (!bytes) {
            return refuseKey(QLatin1String(key), reason);
        }
        into = bytes;
        return true;
    }

    QByteArrayView text_;
    KeyPlaces places_;
    ConfigurationFileError error_;
};

// ---- The writer --------------------------------------------------------------------------

// A JSON string of the text, quotes and escapes included.
QByteArray jsonString(const QString &text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// Writes "key": value lines of one object at one indentation, commas between them.
class ObjectWriter {
public:
    ObjectWriter(QByteArray &out, int indent) : out_(out), indent_(indent) {}
    void add(const char *key, const QByteArray &value) {
        if (count_++ > 0) {
            out_ += ",\n";
        }
        out_ += QByteArray(indent_, ' ') + jsonString(QLatin1String(key)) + ": " + value;
    }
    void add(const QString &key, const QByteArray &value) { add(key.toUtf8().constData(), value); }
    int count() const { return count_; }

private:
    QByteArray &out_;
    int indent_;
    int count_ = 0;
};

} // namespace

QString ConfigurationFileError::text() const {
    return place.isEmpty() ? reason : QStringLiteral("%1: %2").arg(place, reason);
}

ConfigurationFileRead parseConfigurationText(QByteArrayView text) {
    return Reader(text).read();
}

ConfigurationFileRead readConfigurationFile(const QString &fileName) {
    const auto unread = [](const QString &reason) {
        return ConfigurationFileRead{std::nullopt, {{}, reason, true}};
    };
    QFile file(fileName);
    if (QFileInfo(fileName).isDir()) {
        return unread(QStringLiteral("Is a directory"));
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return unread(file.errorString());
    }
    // One byte more than the limit tells a file that is too large without reading it whole.
    const QByteArray bytes = file.read(kMaxConfigurationFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        return unread(file.errorString());
    }
    return parseConfigurationText(bytes);
}

QByteArray configurationText(const BoxConfiguration &configuration, const QDateTime &saved,
                             QStringList *leftOut) {
    const auto leave = [leftOut](const QString &line) {
        if (leftOut != nullptr) {
            *leftOut << line;
        }
    };
    QByteArray out = "{\n";
    ObjectWriter top(out, 4);
    top.add(kFormatKey, jsonString(QLatin1String(kConfigurationFormat)));
    top.add(kVersionKey, QByteArray::number(kConfigurationVersion));
    // A time that ISO 8601 cannot write (a year past 9999) is left out.
    const QString savedText = saved.isValid() ? saved.toUTC().toString(Qt::ISODate) : QString();
    if (!savedText.isEmpty()) {
        top.add(kSavedKey, jsonString(savedText));
    }
    if (configuration.firmware) {
        top.add(kFirmwareKey, jsonString(*configuration.firmware));
    }

    QByteArray settings;
    ObjectWriter settingsWriter(settings, 8);
    for (const SettingInfo &info : allSettings()) {
        const std::optional<uint8_t> value = configuration.setting(info.setting);
        if (!value || partOfSetting(info.setting) != ConfigurationPart::Settings) {
            continue;
        }
        const std::optional<std::string_view> name = settingValueName(info, *value);
        if (!name) {
            leave(QStringLiteral("%1: the box's value %2 has no name").arg(latin1(info.name)).arg(*value));
            continue;
        }
        settingsWriter.add(latin1(info.name), jsonString(latin1(*name)));
    }
    if (settingsWriter.count() > 0) {
        top.add(kSettingsKey, "{\n" + settings + "\n    }");
    }

    QByteArray edid;
    ObjectWriter edidWriter(edid, 8);
    if (const std::optional<uint8_t> mode = configuration.setting(Setting::EdidMode)) {
        const std::optional<std::string_view> name = settingValueName(settingInfo(Setting::EdidMode), *mode);
        if (name) {
            edidWriter.add(kModeKey, jsonString(latin1(*name)));
        } else {
            leave(QStringLiteral("edid-mode: the box's value %1 has no name").arg(*mode));
        }
    }
    if (const std::optional<uint8_t> preset = configuration.setting(Setting::CustomEdidPreset)) {
        if (settingValueName(settingInfo(Setting::CustomEdidPreset), *preset)) {
            edidWriter.add(kPresetKey, QByteArray::number(*preset));
        } else {
            leave(QStringLiteral("custom-edid: the box's value %1 has no name").arg(*preset));
        }
    }
    if (configuration.customEdid) {
        if (showsCustomEdid(configuration)) {
            edidWriter.add(kBytesKey, jsonString(formatEdidText(*configuration.customEdid)));
        } else {
            leave(QStringLiteral("edid: a custom EDID outside custom mode on preset 0"));
        }
    }
    if (edidWriter.count() > 0) {
        top.add(kEdidKey, "{\n" + edid + "\n    }");
    }

    if (configuration.hdrInfoframe) {
        top.add(kHdrKey, jsonString(formatColonHex(*configuration.hdrInfoframe)));
    }
    if (configuration.aviBytes) {
        top.add(kAviKey, jsonString(formatColonHex(*configuration.aviBytes)));
    }
    out += "\n}\n";
    return out;
}

bool saveConfigurationFile(const QString &fileName, const BoxConfiguration &configuration,
                           const QDateTime &saved, QStringList *leftOut, QString *error) {
    const QByteArray text = configurationText(configuration, saved, leftOut);
    return saveFile(fileName,
                    std::span<const uint8_t>(reinterpret_cast<const uint8_t *>(text.constData()),
                                             static_cast<size_t>(text.size())),
                    error);
}
