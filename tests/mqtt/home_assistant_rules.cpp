#include "home_assistant_rules.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

namespace mqtt::test {
namespace {

using Keys = QSet<QString>;

// Keys every entity platform documents under "Configuration Variables": availability and its
// forms, the device and entity options, and the origin of the MQTT discovery payload.
// `object_id` is left out: deprecated in 2025.10 for `default_entity_id`, dropped in 2026.4.
// `platform` is left out too: "Only allowed and required in MQTT auto discovery device
// messages", which the bridge does not send.
const Keys kEntityKeys = {"availability",
                          "availability_mode",
                          "availability_template",
                          "availability_topic",
                          "default_entity_id",
                          "device",
                          "enabled_by_default",
                          "encoding",
                          "entity_category",
                          "entity_picture",
                          "icon",
                          "json_attributes_template",
                          "json_attributes_topic",
                          "name",
                          "origin",
                          "payload_available",
                          "payload_not_available",
                          "qos",
                          "unique_id"};

struct Platform {
    Keys required;
    Keys own;           // besides kEntityKeys and the required ones
    Keys deviceClasses; // empty: any the page lists is checked elsewhere (sensor)
};

// Each platform's page: its required keys, its own optional ones and its device classes.
const QHash<QString, Platform> &platforms() {
    static const QHash<QString, Platform> table = {
        // sensor.mqtt: state_topic required.
        {"sensor",
         {{"state_topic"},
          {"device_class", "expire_after", "force_update", "last_reset_value_template", "options",
           "suggested_display_precision", "state_class", "unit_of_measurement", "value_template"},
          {}}},
        // binary_sensor.mqtt: state_topic required; the binary sensor's device classes.
        {"binary_sensor",
         {{"state_topic"},
          {"device_class", "expire_after", "force_update", "off_delay", "payload_off", "payload_on",
           "value_template"},
          {"battery",
           "battery_charging",
           "carbon_monoxide",
           "cold",
           "connectivity",
           "door",
           "garage_door",
           "gas",
           "heat",
           "light",
           "lock",
           "moisture",
           "motion",
           "moving",
           "occupancy",
           "opening",
           "plug",
           "power",
           "presence",
           "problem",
           "running",
           "safety",
           "smoke",
           "sound",
           "tamper",
           "update",
           "vibration",
           "window"}}},
        // select.mqtt: command_topic and options required.
        {"select",
         {{"command_topic", "options"},
          {"command_template", "optimistic", "retain", "state_topic", "value_template"},
          {}}},
        // switch.mqtt: command_topic required; device classes outlet and switch.
        {"switch",
         {{"command_topic"},
          {"command_template", "device_class", "optimistic", "payload_off", "payload_on", "retain",
           "state_off", "state_on", "state_topic", "value_template"},
          {"outlet", "switch"}}},
        // button.mqtt: command_topic required; device classes identify, restart and update.
        {"button",
         {{"command_topic"},
          {"command_template", "device_class", "payload_press", "retain"},
          {"identify", "restart", "update"}}},
    };
    return table;
}

// The developers' sensor page, "Available device classes": each class with its units (an
// empty list: no unit).
const QHash<QString, QStringList> &sensorUnits() {
    static const QHash<QString, QStringList> table = {
        {"absolute_humidity", {"g/m³", "mg/m³"}},
        {"apparent_power", {"mVA", "VA", "kVA"}},
        {"aqi", {}},
        {"area", {"m²", "cm²", "km²", "mm²", "in²", "ft²", "yd²", "mi²", "ac", "ha"}},
        {"atmospheric_pressure", {"cbar", "bar", "hPa", "mmHg", "inHg", "inH₂O", "kPa", "mbar", "Pa", "psi"}},
        {"battery", {"%"}},
        {"blood_glucose_concentration", {"mg/dL", "mmol/L"}},
        {"co2", {"ppm"}},
        {"co", {"ppb", "ppm", "µg/m³", "mg/m³"}},
        {"conductivity", {"S/cm", "mS/cm", "µS/cm"}},
        {"current", {"A", "mA"}},
        {"data_rate",
         {"bit/s", "kbit/s", "Mbit/s", "Gbit/s", "B/s", "kB/s", "MB/s", "GB/s", "KiB/s", "MiB/s", "GiB/s"}},
        {"data_size", {"bit", "kbit", "Mbit", "Gbit", "B",   "kB",  "MB",  "GB",  "TB",  "PB", "EB",
                       "ZB",  "YB",   "KiB",  "MiB",  "GiB", "TiB", "PiB", "EiB", "ZiB", "YiB"}},
        {"date", {}},
        {"distance", {"km", "m", "cm", "mm", "mi", "nmi", "yd", "in"}},
        {"duration", {"d", "h", "min", "s", "ms", "µs"}},
        {"energy",
         {"J", "kJ", "MJ", "GJ", "mWh", "Wh", "kWh", "MWh", "GWh", "TWh", "cal", "kcal", "Mcal", "Gcal"}},
        {"energy_distance", {"kWh/100km", "Wh/km", "mi/kWh", "km/kWh"}},
        {"energy_storage",
         {"J", "kJ", "MJ", "GJ", "mWh", "Wh", "kWh", "MWh", "GWh", "TWh", "cal", "kcal", "Mcal", "Gcal"}},
        {"enum", {}},
        {"frequency", {"Hz", "kHz", "MHz", "GHz"}},
        {"gas", {"L", "m³", "ft³", "CCF", "MCF"}},
        {"humidity", {"%"}},
        {"illuminance", {"lx"}},
        {"irradiance", {"W/m²", "BTU/(h⋅ft²)"}},
        {"moisture", {"%"}},
        {"nitrogen_dioxide", {"ppb", "µg/m³"}},
        {"nitrogen_monoxide", {"ppb", "µg/m³"}},
        {"nitrous_oxide", {"µg/m³"}},
        {"ozone", {"µg/m³"}},
        {"ph", {}},
        {"pm1", {"µg/m³"}},
        {"pm25", {"µg/m³"}},
        {"pm4", {"µg/m³"}},
        {"pm10", {"µg/m³"}},
        {"power", {"mW", "W", "kW", "MW", "GW", "TW"}},
        {"power_factor", {"%"}},
        {"precipitation", {"cm", "in", "mm"}},
        {"precipitation_intensity", {"in/d", "in/h", "mm/d", "mm/h"}},
        {"pressure", {"cbar", "bar", "hPa", "mmHg", "inHg", "kPa", "mbar", "Pa", "psi", "mPa"}},
        {"reactive_energy", {"varh", "kvarh"}},
        {"reactive_power", {"mvar", "var", "kvar"}},
        {"signal_strength", {"dB", "dBm"}},
        {"sound_pressure", {"dB", "dBA"}},
        {"speed", {"ft/s", "in/d", "in/h", "in/s", "km/h", "kn", "m/s", "mph", "mm/d", "mm/s"}},
        {"sulphur_dioxide", {"ppb", "µg/m³"}},
        {"temperature", {"°C", "°F", "K"}},
        {"temperature_delta", {"°C", "°F", "K"}},
        {"timestamp", {}},
        {"volatile_organic_compounds", {"µg/m³", "mg/m³"}},
        {"volatile_organic_compounds_parts", {"ppm", "ppb"}},
        {"voltage", {"V", "mV", "µV", "kV", "MV"}},
        {"volume", {"L", "mL", "gal", "fl. oz.", "m³", "ft³", "CCF", "MCF"}},
        {"volume_flow_rate",
         {"m³/h", "m³/min", "m³/s", "ft³/min", "L/h", "L/min", "L/s", "gal/d", "gal/h", "gal/min", "mL/s"}},
        {"volume_storage", {"L", "mL", "gal", "fl. oz.", "m³", "ft³", "CCF", "MCF"}},
        {"water", {"L", "gal", "m³", "ft³", "CCF", "MCF"}},
        {"weight", {"kg", "g", "mg", "µg", "oz", "lb", "st"}},
        {"wind_direction", {"°"}},
        {"wind_speed", {"ft/s", "km/h", "kn", "m/s", "mph"}},
    };
    return table;
}

// The device map of every platform's page.
const Keys kDeviceKeys = {"configuration_url", "connections",    "hw_version", "identifiers",
                          "manufacturer",      "model",          "model_id",   "name",
                          "serial_number",     "suggested_area", "sw_version", "via_device"};

// The entity's object id as Home Assistant's core takes it: lowercase letters, digits and
// underscores, not at either end and never two together.
const QRegularExpression kObjectId(QStringLiteral("^(?!_)(?!.*__)[a-z0-9_]+(?<!_)$"));
// The topic's node and object ids: "[a-zA-Z0-9_-]" (the MQTT page, "Discovery topic").
const QRegularExpression kTopicId(QStringLiteral("^[a-zA-Z0-9_-]+$"));

bool isTopic(const QJsonValue &value) {
    const QString topic = value.toString();
    return value.isString() && !topic.isEmpty() && !topic.contains(QLatin1Char('+')) &&
           !topic.contains(QLatin1Char('#'));
}

} // namespace

QStringList homeAssistantViolations(const QString &discoveryPrefix, const QString &topic,
                                    const QByteArray &payload) {
    QStringList faults;
    // "<discovery_prefix>/<component>/[<node_id>/]<object_id>/config".
    const QString tail = topic.mid(discoveryPrefix.size() + 1);
    const QStringList levels = tail.split(QLatin1Char('/'));
    if (!topic.startsWith(discoveryPrefix + QLatin1Char('/')) || levels.size() != 4 ||
        levels[3] != QLatin1String("config") || !kTopicId.match(levels[1]).hasMatch() ||
        !kTopicId.match(levels[2]).hasMatch()) {
        return {topic + QStringLiteral(": not <prefix>/<component>/<node_id>/<object_id>/config")};
    }
    const QString component = levels[0];
    const QString where = component + QLatin1Char('/') + levels[2];
    const auto fault = [&](const QString &text) { faults << where + QStringLiteral(": ") + text; };
    const auto found = platforms().constFind(component);
    if (found == platforms().constEnd()) {
        return {where + QStringLiteral(": a component the bridge has no business announcing")};
    }
    const Platform *platform = &found.value();
    // "The payload must be a serialized JSON dictionary".
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        fault(QStringLiteral("not a JSON dictionary"));
        return faults;
    }
    const QJsonObject config = document.object();

    // Each page's configuration variables: required ones there, nothing undocumented.
    for (const QString &key : platform->required) {
        if (!config.contains(key)) {
            fault(QStringLiteral("lacks the required %1").arg(key));
        }
    }
    for (auto it = config.begin(); it != config.end(); ++it) {
        if (!kEntityKeys.contains(it.key()) && !platform->required.contains(it.key()) &&
            !platform->own.contains(it.key())) {
            fault(QStringLiteral("%1 is no option of %2").arg(it.key(), component));
        }
    }
    for (const char *key : {"state_topic", "command_topic"}) {
        if (config.contains(QLatin1String(key)) && !isTopic(config.value(QLatin1String(key)))) {
            fault(QStringLiteral("%1 is not a topic to publish on").arg(QLatin1String(key)));
        }
    }

    // "default_entity_id: ... For example, `<domain>.foobar`": the platform's domain and a valid
    // object id. Device-based and entity registry use need a unique_id.
    const QString entityId = config.value(QStringLiteral("default_entity_id")).toString();
    if (!entityId.startsWith(component + QLatin1Char('.')) ||
        !kObjectId.match(entityId.mid(component.size() + 1)).hasMatch()) {
        fault(
            QStringLiteral("default_entity_id is not %1.<lowercase letters, digits, single underscores>: %2")
                .arg(component, entityId));
    }
    if (config.value(QStringLiteral("unique_id")).toString().isEmpty()) {
        fault(QStringLiteral("no unique_id"));
    }
    if (config.value(QStringLiteral("name")).toString().isEmpty()) {
        fault(QStringLiteral("no name"));
    }

    // The device: "At least one of identifiers or connections must be present".
    const QJsonObject device = config.value(QStringLiteral("device")).toObject();
    if (!device.contains(QStringLiteral("identifiers")) && !device.contains(QStringLiteral("connections"))) {
        fault(QStringLiteral("the device has neither identifiers nor connections"));
    }
    for (const QString &key : device.keys()) {
        if (!kDeviceKeys.contains(key)) {
            fault(QStringLiteral("device.%1 is no device option").arg(key));
        }
    }

    // The origin: "name ... (Required)", sw_version and support_url.
    const QJsonObject origin = config.value(QStringLiteral("origin")).toObject();
    if (origin.value(QStringLiteral("name")).toString().isEmpty()) {
        fault(QStringLiteral("no origin with a name"));
    }
    for (const QString &key : origin.keys()) {
        if (key != QLatin1String("name") && key != QLatin1String("sw_version") &&
            key != QLatin1String("support_url")) {
            fault(QStringLiteral("origin.%1 is no origin option").arg(key));
        }
    }
    if (origin.contains(QStringLiteral("support_url"))) {
        const QUrl url(origin.value(QStringLiteral("support_url")).toString());
        if (!url.isValid() ||
            (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
            fault(QStringLiteral("origin.support_url is no web address"));
        }
    }

    // availability: "A list of MQTT topics ... Must not be used together with availability_topic";
    // each entry's topic required.
    if (config.contains(QStringLiteral("availability"))) {
        if (config.contains(QStringLiteral("availability_topic"))) {
            fault(QStringLiteral("availability and availability_topic together"));
        }
        const QJsonArray list = config.value(QStringLiteral("availability")).toArray();
        if (list.isEmpty()) {
            fault(QStringLiteral("availability is no list of topics"));
        }
        for (const QJsonValue &entry : list) {
            const QJsonObject item = entry.toObject();
            if (!isTopic(item.value(QStringLiteral("topic")))) {
                fault(QStringLiteral("an availability entry without its topic"));
            }
            for (const QString &key : item.keys()) {
                if (key != QLatin1String("topic") && key != QLatin1String("payload_available") &&
                    key != QLatin1String("payload_not_available") && key != QLatin1String("value_template")) {
                    fault(QStringLiteral("availability.%1 is no availability option").arg(key));
                }
            }
        }
    }

    // entity_category: config or diagnostic; "the entity category must be `diagnostic` for
    // sensors" (sensors and binary sensors only read).
    if (config.contains(QStringLiteral("entity_category"))) {
        const QString category = config.value(QStringLiteral("entity_category")).toString();
        const bool reads =
            component == QLatin1String("sensor") || component == QLatin1String("binary_sensor");
        if (category != QLatin1String("diagnostic") && (reads || category != QLatin1String("config"))) {
            fault(QStringLiteral("entity_category %1").arg(category));
        }
    }

    // Device classes of the platform's page.
    const QString deviceClass = config.value(QStringLiteral("device_class")).toString();
    if (config.contains(QStringLiteral("device_class")) && component != QLatin1String("sensor") &&
        !platform->deviceClasses.contains(deviceClass)) {
        fault(QStringLiteral("device_class %1 is no %2 class").arg(deviceClass, component));
    }
    if (component == QLatin1String("select")) {
        const QJsonArray options = config.value(QStringLiteral("options")).toArray();
        if (options.isEmpty() || std::any_of(options.begin(), options.end(),
                                             [](const QJsonValue &option) { return !option.isString(); })) {
            fault(QStringLiteral("options is no list of texts"));
        }
    }
    if (component != QLatin1String("sensor")) {
        return faults;
    }

    // The sensor: the developers' page's device classes with their units and state classes.
    const QString unit = config.value(QStringLiteral("unit_of_measurement")).toString();
    const QString stateClass = config.value(QStringLiteral("state_class")).toString();
    const bool hasUnit = config.contains(QStringLiteral("unit_of_measurement"));
    const bool hasStateClass = config.contains(QStringLiteral("state_class"));
    if (!deviceClass.isEmpty()) {
        if (!sensorUnits().contains(deviceClass)) {
            fault(QStringLiteral("device_class %1 is no sensor class").arg(deviceClass));
        } else if (const QStringList units = sensorUnits().value(deviceClass);
                   (units.isEmpty() && hasUnit) || (!units.isEmpty() && !units.contains(unit))) {
            fault(QStringLiteral("unit %1 is not one of %2's: %3")
                      .arg(unit, deviceClass, units.join(QStringLiteral(", "))));
        }
    }
    if (hasStateClass &&
        !QStringList{"measurement", "measurement_angle", "total", "total_increasing"}.contains(stateClass)) {
        fault(QStringLiteral("state_class %1").arg(stateClass));
    }
    // "The state_class property must be set to measurement, and the device_class must not be
    // either of date, enum, energy, gas, monetary, timestamp, volume or water".
    if (stateClass == QLatin1String("measurement") &&
        QStringList{"date", "enum", "energy", "gas", "monetary", "timestamp", "volume", "water"}.contains(
            deviceClass)) {
        fault(QStringLiteral("state_class measurement with device_class %1").arg(deviceClass));
    }
    // options: "The sensor's device_class must be set to enum ... cannot be used together with
    // state_class or unit_of_measurement"; enum needs its options.
    const bool hasOptions = config.contains(QStringLiteral("options"));
    if (hasOptions != (deviceClass == QLatin1String("enum")) || (hasOptions && (hasUnit || hasStateClass))) {
        fault(QStringLiteral("options only with device_class enum, without a unit or state class"));
    }
    return faults;
}

} // namespace mqtt::test
