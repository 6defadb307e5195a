#include "discovery.h"

#include "bridge_commands.h"
#include "bridge_options.h"
#include "core/box/settings_table.h"
#include "core/product.h"

#include <QCryptographicHash>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>

namespace mqtt {
namespace {

QString textOf(std::string_view view) {
    return QString::fromLatin1(view.data(), static_cast<qsizetype>(view.size()));
}

struct SensorInfo {
    const char *object;
    const char *name;
    const char *valueTemplate;
    const char *unit;        // nullptr: none (a text)
    const char *deviceClass; // nullptr: none; else one whose units include `unit`
    const char *icon;
    bool diagnostic;
};

// A null value (no signal) renders as "None", which Home Assistant takes as unknown.
// clang-format off
constexpr SensorInfo kSensors[] = {
    {"active_input", "Active input",  "{{ value_json.active_input }}",   nullptr, nullptr,     "mdi:video-input-hdmi", false},
    {"resolution",   "Resolution",    "{{ value_json.resolution }}",     nullptr, nullptr,     "mdi:monitor-screenshot", false},
    {"refresh_rate", "Refresh rate",  "{{ value_json.refresh_rate }}",   "Hz",    "frequency", "mdi:sine-wave", false},
    {"colour_space", "Colour space",  "{{ value_json.colour_space }}",   nullptr, nullptr,     "mdi:palette", false},
    // A depth in bits per component is no data size: no device class.
    {"bit_depth",    "Bit depth",     "{{ value_json.bit_depth }}",      "bit",   nullptr,     "mdi:format-color-fill", false},
    {"hdr_format",   "HDR format",
     "{% set e = value_json.hdr_eotf or 'none' %}{{ 'HDR10' if '2084' in e else ('SDR' if e.startswith('SDR') else e) }}",
     nullptr, nullptr, "mdi:hdr", false},
    {"source",       "Source",
     "{{ [value_json.source_vendor, value_json.source_product] | select | join(' ') }}", nullptr, nullptr, "mdi:play-box", false},
    {"firmware",     "Firmware",      "{{ value_json.firmware }}",       nullptr, nullptr,     "mdi:chip", true},
};
// clang-format on

// Letters that lose no mark but are spelt out, as Home Assistant's own slugs spell them.
QString spelledOut(QChar c) {
    switch (c.unicode()) {
    case 0x00DF: // ß
        return QStringLiteral("ss");
    case 0x00E6: // æ
        return QStringLiteral("ae");
    case 0x0153: // œ
        return QStringLiteral("oe");
    case 0x00F8: // ø
        return QStringLiteral("o");
    case 0x0142: // ł
        return QStringLiteral("l");
    case 0x0111: // đ
    case 0x00F0: // ð
        return QStringLiteral("d");
    case 0x00FE: // þ
        return QStringLiteral("th");
    case 0x0131: // ı
        return QStringLiteral("i");
    default:
        return {};
    }
}

bool isOnOff(const SettingInfo &info) {
    if (info.values.size() != 2) {
        return false;
    }
    return (info.values[0].name == "on" && info.values[1].name == "off") ||
           (info.values[0].name == "off" && info.values[1].name == "on");
}

// "EDID mode" from "edid-mode": words as the box's manual writes them.
QString settingTitle(std::string_view name) {
    static const QHash<QString, QString> kWords = {
        {QStringLiteral("edid"), QStringLiteral("EDID")},
        {QStringLiteral("hdcp"), QStringLiteral("HDCP")},
        {QStringLiteral("hdr"), QStringLiteral("HDR")},
        {QStringLiteral("cec"), QStringLiteral("CEC")},
        {QStringLiteral("avi"), QStringLiteral("AVI")},
        {QStringLiteral("avr"), QStringLiteral("AVR")},
        {QStringLiteral("led"), QStringLiteral("LED")},
        {QStringLiteral("leds"), QStringLiteral("LEDs")},
        {QStringLiteral("3d"), QStringLiteral("3D")},
        {QStringLiteral("51"), QStringLiteral("5.1")},
        {QStringLiteral("420"), QStringLiteral("4:2:0")},
        {QStringLiteral("bt2020"), QStringLiteral("BT.2020")},
        {QStringLiteral("ycbcr"), QStringLiteral("YCbCr")},
        {QStringLiteral("algo"), QStringLiteral("algorithm")},
        {QStringLiteral("out"), QStringLiteral("output")},
    };
    QStringList words = textOf(name).split(QLatin1Char('-'));
    for (QString &word : words) {
        word = kWords.value(word, word);
    }
    QString title = words.join(QLatin1Char(' '));
    title[0] = title[0].toUpper();
    return title;
}

QJsonObject originBlock(const DiscoveryOrigin &origin) {
    QJsonObject block{{QStringLiteral("name"), origin.name}, {QStringLiteral("sw_version"), origin.version}};
    if (!origin.supportUrl.isEmpty()) {
        block.insert(QStringLiteral("support_url"), origin.supportUrl);
    }
    return block;
}

QJsonObject deviceBlock(const DiscoveryContext &context) {
    QJsonObject device{{QStringLiteral("identifiers"), QJsonArray{context.deviceId}},
                       {QStringLiteral("name"), QStringLiteral("VELTRIKA %1").arg(context.deviceId)},
                       {QStringLiteral("manufacturer"), QStringLiteral("VELTRIKA")},
                       {QStringLiteral("model"), QStringLiteral("HDMI video processor")}};
    if (!context.firmware.isEmpty()) {
        device.insert(QStringLiteral("sw_version"), context.firmware);
    }
    return device;
}

class Builder {
public:
    explicit Builder(const DiscoveryContext &context)
        : context_(context), device_(deviceBlock(context)), origin_(originBlock(context.origin)),
          entityPrefix_(entitySlug(context.deviceId)) {}

    QString topic(const char *component, const QString &object) const {
        return QStringLiteral("%1/%2/%3/%4/config")
            .arg(context_.discoveryPrefix, QLatin1String(component), context_.deviceId, object);
    }

    // The keys every entity carries; `available` false for the one that tells the box's
    // presence itself, which must stay readable while the box is away. The default entity id
    // is "<component>.<id>_<object>" in slug form; `entityObject` gives the object's part when
    // it is not the object's own slug.
    QJsonObject entity(const char *component, const QString &object, const QString &name,
                       bool available = true, const QString &entityObject = {}) const {
        const QString slug = entitySlug(entityObject.isEmpty() ? object : entityObject);
        const QString entityId = entityPrefix_.isEmpty() ? slug : entityPrefix_ + QLatin1Char('_') + slug;
        QJsonObject config{
            {QStringLiteral("name"), name},
            {QStringLiteral("unique_id"), context_.deviceId + QLatin1Char('_') + object},
            {QStringLiteral("default_entity_id"), QLatin1String(component) + QLatin1Char('.') + entityId},
            {QStringLiteral("device"), device_},
            {QStringLiteral("origin"), origin_}};
        if (available) {
            config.insert(QStringLiteral("availability"),
                          QJsonArray{QJsonObject{{QStringLiteral("topic"), context_.topics.availability()}}});
        }
        return config;
    }

    void add(const char *component, const QString &object, const QJsonObject &config) {
        messages_.push_back({topic(component, object), QJsonDocument(config).toJson(QJsonDocument::Compact)});
    }
    void withdraw(const char *component, const QString &object) {
        messages_.push_back({topic(component, object), {}});
    }

    std::vector<RetainedMessage> take() { return std::move(messages_); }

private:
    const DiscoveryContext &context_;
    QJsonObject device_;
    QJsonObject origin_;
    QString entityPrefix_;
    std::vector<RetainedMessage> messages_;
};

constexpr qsizetype kMaxNameInObject = 40;

// A configuration's name may hold what no object id takes; a short hash keeps two names
// that read alike apart.
QString configurationHash(const QString &name) {
    return QString::fromLatin1(
        QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(8));
}

QString configurationObject(const QString &name) {
    return QStringLiteral("configuration_%1_%2")
        .arg(topicSafe(name).left(kMaxNameInObject), configurationHash(name));
}

// The entity's part of the name in words ("Kino ü": "kino_u"), then the same hash.
QString configurationEntityObject(const QString &name) {
    return QStringLiteral("configuration_%1_%2")
        .arg(entitySlug(name).left(kMaxNameInObject), configurationHash(name));
}

} // namespace

QStringList Topics::commandFilters() const {
    return {command(QLatin1String(kSetTopic)) + QLatin1Char('+'),
            command(QLatin1String(kCecSendTopic)),
            command(QLatin1String(kHdrSendTopic)),
            command(QLatin1String(kAviSendTopic)),
            command(QLatin1String(kApplyTopic)),
            command(QLatin1String(kUndoTopic))};
}

QString deviceId(const QString &clientId, const QString &serial) {
    return topicSafe(clientId + QLatin1Char('_') + serial);
}

QString entitySlug(const QString &text) {
    QString slug;
    bool separated = true; // no underscore first
    for (const QChar c : text.normalized(QString::NormalizationForm_KD)) {
        const char32_t code = c.unicode();
        QString letters;
        if ((code >= 'a' && code <= 'z') || (code >= '0' && code <= '9')) {
            letters = c;
        } else if (code >= 'A' && code <= 'Z') {
            letters = c.toLower();
        } else if (c.category() == QChar::Mark_NonSpacing) {
            continue; // the mark of a letter decomposed before it
        } else {
            letters = spelledOut(c.toLower());
        }
        if (letters.isEmpty()) {
            if (!separated) {
                slug += QLatin1Char('_');
                separated = true;
            }
            continue;
        }
        slug += letters;
        separated = false;
    }
    while (slug.endsWith(QLatin1Char('_'))) {
        slug.chop(1);
    }
    return slug;
}

DiscoveryOrigin bridgeOrigin() {
    return {QStringLiteral("veltrika-mqtt"), QLatin1String(kProductVersion), QLatin1String(kSupportUrl)};
}

QString discoveryFilter(const QString &discoveryPrefix, const QString &deviceId) {
    return QStringLiteral("%1/+/%2/+/config").arg(discoveryPrefix, deviceId);
}

QString configurationButtonTopic(const DiscoveryContext &context, const QString &name) {
    return Builder(context).topic("button", configurationObject(name));
}

std::vector<RetainedMessage> discoveryMessages(const DiscoveryContext &context) {
    Builder builder(context);
    const QString state = context.topics.state();
    for (const SensorInfo &sensor : kSensors) {
        QJsonObject config =
            builder.entity("sensor", QLatin1String(sensor.object), QLatin1String(sensor.name));
        config.insert(QStringLiteral("state_topic"), state);
        config.insert(QStringLiteral("value_template"), QLatin1String(sensor.valueTemplate));
        config.insert(QStringLiteral("icon"), QLatin1String(sensor.icon));
        if (sensor.unit != nullptr) {
            config.insert(QStringLiteral("unit_of_measurement"), QLatin1String(sensor.unit));
            config.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
        }
        if (sensor.deviceClass != nullptr) {
            config.insert(QStringLiteral("device_class"), QLatin1String(sensor.deviceClass));
        }
        if (sensor.diagnostic) {
            config.insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
        }
        builder.add("sensor", QLatin1String(sensor.object), config);
    }

    // The chain's doctor: the findings counted, and in words as attributes.
    QJsonObject doctor =
        builder.entity("sensor", QStringLiteral("chain_findings"), QStringLiteral("Chain findings"));
    doctor.insert(QStringLiteral("state_topic"), context.topics.doctor());
    doctor.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.count }}"));
    doctor.insert(QStringLiteral("json_attributes_topic"), context.topics.doctor());
    doctor.insert(
        QStringLiteral("json_attributes_template"),
        QStringLiteral("{{ {'findings': value_json.findings, 'fixes': value_json.fixes} | tojson }}"));
    doctor.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
    doctor.insert(QStringLiteral("icon"), QStringLiteral("mdi:stethoscope"));
    doctor.insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
    builder.add("sensor", QStringLiteral("chain_findings"), doctor);

    QJsonObject connected =
        builder.entity("binary_sensor", QStringLiteral("connected"), QStringLiteral("Connected"), false);
    connected.insert(QStringLiteral("state_topic"), context.topics.availability());
    connected.insert(QStringLiteral("payload_on"), QStringLiteral("online"));
    connected.insert(QStringLiteral("payload_off"), QStringLiteral("offline"));
    connected.insert(QStringLiteral("device_class"), QStringLiteral("connectivity"));
    builder.add("binary_sensor", QStringLiteral("connected"), connected);

    for (const SettingInfo &info : allSettings()) {
        const QString object = topicSafe(textOf(info.name)).replace(QLatin1Char('-'), QLatin1Char('_'));
        const bool onOff = isOnOff(info);
        const char *component = onOff ? "switch" : "select";
        if (!context.allowWrite) {
            builder.withdraw(component, object);
            continue;
        }
        QJsonObject config = builder.entity(component, object, settingTitle(info.name));
        config.insert(QStringLiteral("state_topic"), state);
        config.insert(QStringLiteral("command_topic"),
                      context.topics.command(QLatin1String(kSetTopic) + textOf(info.name)));
        config.insert(QStringLiteral("value_template"),
                      QStringLiteral("{{ value_json.settings['%1'] }}").arg(textOf(info.name)));
        config.insert(QStringLiteral("entity_category"), QStringLiteral("config"));
        if (onOff) {
            config.insert(QStringLiteral("payload_on"), QStringLiteral("on"));
            config.insert(QStringLiteral("payload_off"), QStringLiteral("off"));
            config.insert(QStringLiteral("state_on"), QStringLiteral("on"));
            config.insert(QStringLiteral("state_off"), QStringLiteral("off"));
        } else {
            QJsonArray options;
            for (const SettingValue &value : info.values) {
                options.append(textOf(value.name));
            }
            config.insert(QStringLiteral("options"), options);
        }
        builder.add(component, object, config);
    }

    const QString undo = QStringLiteral("undo_last_change");
    if (context.allowWrite) {
        QJsonObject config = builder.entity("button", undo, QStringLiteral("Undo last change"));
        config.insert(QStringLiteral("command_topic"), context.topics.command(QLatin1String(kUndoTopic)));
        config.insert(QStringLiteral("payload_press"), QLatin1String(kUndoLast));
        config.insert(QStringLiteral("icon"), QStringLiteral("mdi:undo"));
        builder.add("button", undo, config);
    } else {
        builder.withdraw("button", undo);
    }

    for (const QString &name : context.configurations) {
        const QString object = configurationObject(name);
        if (!context.allowWrite) {
            builder.withdraw("button", object);
            continue;
        }
        QJsonObject config = builder.entity("button", object, QStringLiteral("Apply %1").arg(name), true,
                                            configurationEntityObject(name));
        config.insert(QStringLiteral("command_topic"), context.topics.command(QLatin1String(kApplyTopic)));
        config.insert(QStringLiteral("payload_press"), name);
        config.insert(QStringLiteral("icon"), QStringLiteral("mdi:playlist-play"));
        builder.add("button", object, config);
    }
    return builder.take();
}

} // namespace mqtt
