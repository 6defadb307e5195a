#include "bridge_options.h"

#include <QFile>

#include <array>

#include <sys/stat.h>

namespace mqtt {
namespace {

constexpr qsizetype kMaxPrefixLength = 200;
constexpr qsizetype kMaxClientIdLength = 64;

enum class Key : uint8_t {
    Demo,
    Broker,
    Tls,
    CaFile,
    Username,
    PasswordFile,
    ClientId,
    TopicPrefix,
    DiscoveryPrefix,
    Interval,
    AllowWrite,
    AllowPackets,
    Config,
    Verbose,
    Help,
    Version,
};

enum class Takes : uint8_t { Flag, Value, OptionalValue };

struct OptionInfo {
    Key key;
    const char *name;
    Takes takes;
    bool inFile; // may be set in the configuration file
};

// clang-format off
constexpr std::array<OptionInfo, 16> kOptions = {{
    {Key::Demo,            "demo",             Takes::OptionalValue, true},
    {Key::Broker,          "broker",           Takes::Value,         true},
    {Key::Tls,             "tls",              Takes::Flag,          true},
    {Key::CaFile,          "cafile",           Takes::Value,         true},
    {Key::Username,        "username",         Takes::Value,         true},
    {Key::PasswordFile,    "password-file",    Takes::Value,         true},
    {Key::ClientId,        "client-id",        Takes::Value,         true},
    {Key::TopicPrefix,     "topic-prefix",     Takes::Value,         true},
    {Key::DiscoveryPrefix, "discovery-prefix", Takes::Value,         true},
    {Key::Interval,        "interval",         Takes::Value,         true},
    {Key::AllowWrite,      "allow-write",      Takes::Flag,          true},
    {Key::AllowPackets,    "allow-packets",    Takes::Flag,          true},
    {Key::Config,          "config",           Takes::Value,         false},
    {Key::Verbose,         "verbose",          Takes::Flag,          true},
    {Key::Help,            "help",             Takes::Flag,          false},
    {Key::Version,         "version",          Takes::Flag,          false},
}};
// clang-format on

const OptionInfo *optionNamed(const QString &name) {
    for (const OptionInfo &info : kOptions) {
        if (name == QLatin1String(info.name)) {
            return &info;
        }
    }
    return nullptr;
}

// As ssh and mosquitto have it: a secret that others may read is no secret. The group may
// read it, as the service does through its group.
QString passwordFileModeError(const QString &fileName, uint32_t mode) {
    const bool othersRead = (mode & S_IROTH) != 0;
    const bool othersWrite = (mode & S_IWOTH) != 0;
    if (!othersRead && !othersWrite) {
        return {};
    }
    const QString may = othersRead && othersWrite ? QStringLiteral("read and change")
                        : othersRead              ? QStringLiteral("read")
                                                  : QStringLiteral("change");
    return QStringLiteral("%1: every user of the machine may %2 this password file (mode %3); make it "
                          "yours alone with chmod 600 %1, or yours and the group's with chmod 640 %1")
        .arg(fileName, may, QStringLiteral("%1").arg(mode & 07777, 4, 8, QLatin1Char('0')));
}

QString passwordRefusal() {
    return QStringLiteral("a password is not taken there: give it in a file (--password-file) or in %1")
        .arg(QLatin1String(kPasswordVariable));
}

// "yes", "true", "on", "1" and their opposites, as a configuration file writes a flag.
std::optional<bool> flagValue(const QString &text) {
    static const QStringList yes = {QStringLiteral("yes"), QStringLiteral("true"), QStringLiteral("on"),
                                    QStringLiteral("1")};
    static const QStringList no = {QStringLiteral("no"), QStringLiteral("false"), QStringLiteral("off"),
                                   QStringLiteral("0")};
    const QString lower = text.toLower();
    if (yes.contains(lower)) {
        return true;
    }
    if (no.contains(lower)) {
        return false;
    }
    return std::nullopt;
}

// A topic prefix: one or more levels, none of them a wildcard, no empty level at either end.
QString prefixError(const QString &name, const QString &prefix) {
    if (prefix.isEmpty() || prefix.size() > kMaxPrefixLength) {
        return QStringLiteral("%1 must hold 1 to %2 characters").arg(name).arg(kMaxPrefixLength);
    }
    if (prefix.startsWith(QLatin1Char('/')) || prefix.endsWith(QLatin1Char('/'))) {
        return QStringLiteral("%1 must not start or end with '/': %2").arg(name, prefix);
    }
    for (const QChar c : prefix) {
        if (c == QLatin1Char('+') || c == QLatin1Char('#') || c.unicode() < 0x20 || c.unicode() == 0x7F) {
            return QStringLiteral("%1 must not hold '+', '#' or control characters: %2").arg(name, prefix);
        }
    }
    return {};
}

QString clientIdError(const QString &id) {
    if (id.isEmpty() || id.size() > kMaxClientIdLength) {
        return QStringLiteral("client-id must hold 1 to %1 characters").arg(kMaxClientIdLength);
    }
    for (const QChar c : id) {
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7F) {
            return QStringLiteral("client-id must hold printable ASCII without spaces: %1").arg(id);
        }
    }
    return {};
}

// HOST, HOST:PORT, [IPV6] or [IPV6]:PORT.
QString readBroker(const QString &text, BridgeOptions &options) {
    QString host = text;
    QString port;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0) {
            return QStringLiteral("broker: no ']' after the IPv6 address: %1").arg(text);
        }
        host = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':'))) {
                return QStringLiteral("broker: not HOST[:PORT]: %1").arg(text);
            }
            port = rest.mid(1);
        }
    } else if (text.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        host = text.left(colon);
        port = text.mid(colon + 1);
    } else if (text.contains(QLatin1Char(':'))) {
        return QStringLiteral("broker: an IPv6 address goes in brackets: [%1]").arg(text);
    }
    if (host.isEmpty()) {
        return QStringLiteral("broker: no host name: %1").arg(text);
    }
    for (const QChar c : host) {
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7F) {
            return QStringLiteral("broker: not a host name: %1").arg(text);
        }
    }
    options.host = host;
    if (!port.isNull()) {
        bool ok = false;
        const uint value = port.toUInt(&ok);
        if (!ok || value == 0 || value > 65535) {
            return QStringLiteral("broker: not a port (1 to 65535): %1").arg(port);
        }
        options.port = static_cast<uint16_t>(value);
    }
    return {};
}

QString readInterval(const QString &text, BridgeOptions &options) {
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value < kMinIntervalMs || value > kMaxIntervalMs) {
        return QStringLiteral("interval must be %1 to %2 ms: %3")
            .arg(kMinIntervalMs)
            .arg(kMaxIntervalMs)
            .arg(text);
    }
    options.intervalMs = value;
    return {};
}

// Sets one option; `value` is null for a flag given without one.
QString apply(const OptionInfo &info, const QString &value, BridgeOptions &options) {
    const auto flag = [&](bool &target) -> QString {
        if (value.isNull()) {
            target = true;
            return {};
        }
        const std::optional<bool> read = flagValue(value);
        if (!read) {
            return QStringLiteral("%1 takes yes or no: %2").arg(QLatin1String(info.name), value);
        }
        target = *read;
        return {};
    };
    const auto text = [&](QString &target) -> QString {
        if (value.isEmpty()) {
            return QStringLiteral("%1 needs a value").arg(QLatin1String(info.name));
        }
        target = value;
        return {};
    };
    switch (info.key) {
    case Key::Demo: {
        const std::optional<bool> read = value.isNull() ? std::optional<bool>(true) : flagValue(value);
        options.demo = read.value_or(true);
        options.demoFile = read ? QString() : value;
        return {};
    }
    case Key::Broker:
        return value.isEmpty() ? QStringLiteral("broker needs HOST[:PORT]") : readBroker(value, options);
    case Key::Tls:
        return flag(options.tls);
    case Key::CaFile:
        return text(options.caFile);
    case Key::Username:
        return text(options.username);
    case Key::PasswordFile:
        return text(options.passwordFile);
    case Key::ClientId:
        options.clientId = value;
        return clientIdError(value);
    case Key::TopicPrefix:
        options.topicPrefix = value;
        return prefixError(QStringLiteral("topic-prefix"), value);
    case Key::DiscoveryPrefix:
        options.discoveryPrefix = value;
        return prefixError(QStringLiteral("discovery-prefix"), value);
    case Key::Interval:
        return readInterval(value, options);
    case Key::AllowWrite:
        return flag(options.allowWrite);
    case Key::AllowPackets:
        return flag(options.allowPackets);
    case Key::Config:
        options.configFile = value;
        return {};
    case Key::Verbose:
        return flag(options.verbose);
    case Key::Help:
        return flag(options.help);
    case Key::Version:
        return flag(options.version);
    }
    return {};
}

QString readConfigText(const QByteArray &text, const QString &fileName, BridgeOptions &options) {
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype index = 0; index < lines.size(); ++index) {
        const QString line = QString::fromUtf8(lines[index]).trimmed();
        const auto where = [&] { return QStringLiteral("%1 line %2: ").arg(fileName).arg(index + 1); };
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0) {
            return where() + QStringLiteral("not key = value");
        }
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("password")) {
            return where() + passwordRefusal();
        }
        const OptionInfo *info = optionNamed(key);
        if (info == nullptr || !info->inFile) {
            return where() + QStringLiteral("unknown key: %1").arg(key);
        }
        const QString error = apply(*info, value, options);
        if (!error.isEmpty()) {
            return where() + error;
        }
    }
    return {};
}

QString readArguments(const QStringList &arguments, BridgeOptions &options) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (!argument.startsWith(QLatin1String("--"))) {
            return QStringLiteral("unexpected argument: %1").arg(argument);
        }
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        const QString name = argument.mid(2, equals < 0 ? -1 : equals - 2);
        if (name == QLatin1String("password")) {
            return QStringLiteral("--password: ") + passwordRefusal();
        }
        const OptionInfo *info = optionNamed(name);
        if (info == nullptr) {
            return QStringLiteral("unknown option: --%1").arg(name);
        }
        QString value;
        if (equals >= 0) {
            if (info->takes == Takes::Flag) {
                return QStringLiteral("--%1 takes no value").arg(name);
            }
            value = argument.mid(equals + 1);
        } else if (info->takes == Takes::Value) {
            if (i + 1 >= arguments.size()) {
                return QStringLiteral("--%1 needs a value").arg(name);
            }
            value = arguments[++i];
        }
        const QString error = apply(*info, value, options);
        if (!error.isEmpty()) {
            return error;
        }
    }
    return {};
}

} // namespace

QString configFileOf(const QStringList &arguments) {
    QString file = QLatin1String(kDefaultConfigFile);
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--config") && i + 1 < arguments.size()) {
            file = arguments[i + 1];
        } else if (arguments[i].startsWith(QLatin1String("--config="))) {
            file = arguments[i].mid(9);
        }
    }
    return file;
}

ParsedOptions parseBridgeOptions(const OptionSources &sources) {
    ParsedOptions parsed;
    BridgeOptions &options = parsed.options;
    if (sources.configText) {
        parsed.error = readConfigText(*sources.configText, sources.configName, options);
        options.configFile = sources.configName;
    }
    if (parsed.error.isEmpty()) {
        parsed.error = readArguments(sources.arguments, options);
    }
    if (!parsed.ok() || options.help || options.version) {
        return parsed;
    }
    if (options.host.isEmpty()) {
        parsed.error = QStringLiteral("no broker: give --broker HOST[:PORT] or broker = HOST[:PORT] in %1")
                           .arg(QLatin1String(kDefaultConfigFile));
    } else if (options.allowPackets && !options.allowWrite) {
        parsed.error = QStringLiteral("--allow-packets needs --allow-write");
    } else if (!options.caFile.isEmpty() && !options.tls) {
        parsed.error = QStringLiteral("--cafile needs --tls");
    } else if (options.port == 0) {
        options.port = options.tls ? kDefaultTlsPort : kDefaultPort;
    }
    return parsed;
}

std::optional<QByteArray> brokerPassword(const BridgeOptions &options, const QByteArray &variable,
                                         QString *error) {
    if (options.passwordFile.isEmpty()) {
        return variable.isEmpty() ? std::nullopt : std::optional<QByteArray>(variable);
    }
    QFile file(options.passwordFile);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Cannot read file %1: %2.").arg(options.passwordFile, file.errorString());
        return std::nullopt;
    }
    // The mode of the file opened, not of whatever the name points to by then.
    struct stat status {};
    if (fstat(file.handle(), &status) != 0) {
        *error = QStringLiteral("Cannot read file %1: %2.").arg(options.passwordFile, file.errorString());
        return std::nullopt;
    }
    *error = passwordFileModeError(options.passwordFile, status.st_mode);
    if (!error->isEmpty()) {
        return std::nullopt;
    }
    // A password is one line; a file of megabytes is not a password file.
    constexpr qint64 kMaxPasswordFile = 4096;
    QByteArray line = file.read(kMaxPasswordFile + 1);
    if (line.size() > kMaxPasswordFile) {
        *error = QStringLiteral("%1: too long for a password file").arg(options.passwordFile);
        return std::nullopt;
    }
    const qsizetype end = line.indexOf('\n');
    if (end >= 0) {
        line.truncate(end);
    }
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    if (line.isEmpty()) {
        *error = QStringLiteral("%1: the password file's first line is empty").arg(options.passwordFile);
        return std::nullopt;
    }
    return line;
}

QString topicSafe(const QString &text) {
    QString safe;
    safe.reserve(text.size());
    for (const QChar c : text) {
        const bool kept = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                          (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                          (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') ||
                          c == QLatin1Char('_');
        safe += kept ? c : QLatin1Char('_');
    }
    return safe;
}

QString usageText() {
    return QStringLiteral(
        "Usage: veltrika-mqtt [--demo[=FILE]] --broker HOST[:PORT] [--tls] [--cafile FILE]\n"
        "                     [--username NAME] [--password-file FILE] [--client-id ID]\n"
        "                     [--topic-prefix veltrika] [--discovery-prefix homeassistant]\n"
        "                     [--interval MS] [--allow-write] [--allow-packets] [--config FILE] [--verbose]\n"
        "\n"
        "Keeps an MQTT broker in step with the VELTRIKA box: its availability, its status as JSON,\n"
        "its events, and Home Assistant discovery. Reads only, unless --allow-write (settings and\n"
        "named configurations) and --allow-packets (raw CEC, HDR and AVI packets) are given.\n"
        "\n"
        "  --demo[=FILE]            the simulated box, its state kept in FILE\n"
        "  --broker HOST[:PORT]     the broker (port 1883, 8883 with --tls)\n"
        "  --tls                    TLS to the broker, checked against --cafile or the system's CAs\n"
        "  --username NAME          log in as NAME; the password comes from --password-file FILE\n"
        "                           (its first line) or from VELTRIKA_MQTT_PASSWORD\n"
        "  --client-id ID           the MQTT client id (default veltrika-HOSTNAME)\n"
        "  --topic-prefix P         the box's topics go under P/ID/ (default veltrika)\n"
        "  --discovery-prefix D     Home Assistant's discovery prefix (default homeassistant)\n"
        "  --interval MS            how often the status is read, 250 to 60000 ms (default 1000)\n"
        "  --allow-write            take settings and named configurations from the command topics\n"
        "  --allow-packets          take raw CEC messages and HDR and AVI infoframes too (with "
        "--allow-write)\n"
        "  --config FILE            key = value lines with these names (default /etc/veltrika/mqtt.conf)\n"
        "  --verbose                log every message sent and received\n");
}

} // namespace mqtt
