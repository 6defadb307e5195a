#pragma once
// The options of `veltrika-mqtt`, from its command line over its configuration file
// (`key = value` lines with the options' names): every value is checked before the bridge
// starts. The broker's password comes only from a file or VELTRIKA_MQTT_PASSWORD.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace mqtt {

constexpr uint16_t kDefaultPort = 1883;
constexpr uint16_t kDefaultTlsPort = 8883;
constexpr uint32_t kMinIntervalMs = 250;
constexpr uint32_t kMaxIntervalMs = 60000;
constexpr char kDefaultConfigFile[] = "/etc/veltrika/mqtt.conf";
constexpr char kPasswordVariable[] = "VELTRIKA_MQTT_PASSWORD";

struct BridgeOptions {
    bool demo = false;
    QString demoFile; // empty: the default state file
    QString host;
    uint16_t port = 0; // 0 until read: the default for the transport
    bool tls = false;
    QString caFile;
    QString username;
    QString passwordFile;
    QString clientId; // empty: "veltrika-" and the host name
    QString topicPrefix = QStringLiteral("veltrika");
    QString discoveryPrefix = QStringLiteral("homeassistant");
    uint32_t intervalMs = 1000;
    bool allowWrite = false;
    bool allowPackets = false;
    QString configFile; // the file read, or empty
    bool verbose = false;
    bool help = false;
    bool version = false;
};

// What the process gives the options: its arguments after the program name, the
// configuration file's text when one was read, and the environment's password.
struct OptionSources {
    QStringList arguments;
    std::optional<QByteArray> configText; // the file named by --config, or the default one
    QString configName;                   // its name, for messages
};

struct ParsedOptions {
    BridgeOptions options;
    QString error; // a usage error: nothing started
    bool ok() const { return error.isEmpty(); }
};

// The configuration file --config names, or the default one when none is named (it may be
// missing); empty when the arguments name none and --config= is empty.
QString configFileOf(const QStringList &arguments);
// The options: the file's lines first, then the command line over them.
ParsedOptions parseBridgeOptions(const OptionSources &sources);

// The password: the file's first line, or the variable's value; nothing and `error` set
// when the file cannot be read or others may read or change it. Never printed.
std::optional<QByteArray> brokerPassword(const BridgeOptions &options, const QByteArray &variable,
                                         QString *error);

// A name for topics and ids: letters, digits, '-' and '_' kept, anything else '_'.
QString topicSafe(const QString &text);

QString usageText();

} // namespace mqtt
