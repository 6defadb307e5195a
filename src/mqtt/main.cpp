// `veltrika-mqtt`: the box in home automation, through an MQTT broker.

#include "bridge.h"
#include "bridge_options.h"

#include "core/box/journal.h"
#include "core/box/named_configurations.h"
#include "core/box/usbxpress.h"
#include "core/product.h"
#include "sim/demo_state.h"
#include "usb/system_usb.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QSysInfo>

#include <csignal>
#include <cstdio>
#include <memory>

#include <unistd.h>

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr qint64 kMaxConfigFile = 64 * 1024;

int g_stopPipe[2] = {-1, -1};

// SIGINT and SIGTERM end the bridge cleanly: the handler only wakes the event loop.
extern "C" void askToStop(int /*signal*/) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(g_stopPipe[1], &byte, 1);
}

int usageError(QTextStream &err, const QString &message) {
    err << "veltrika-mqtt: " << message << "\nTry 'veltrika-mqtt --help'.\n";
    return kExitUsage;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList arguments = QCoreApplication::arguments().mid(1);

    mqtt::OptionSources sources{arguments, std::nullopt, mqtt::configFileOf(arguments)};
    const bool configNamed = sources.configName != QLatin1String(mqtt::kDefaultConfigFile);
    if (configNamed || QFileInfo::exists(sources.configName)) {
        QFile file(sources.configName);
        if (!file.open(QIODevice::ReadOnly)) {
            return usageError(
                err, QStringLiteral("Cannot read file %1: %2.").arg(sources.configName, file.errorString()));
        }
        sources.configText = file.read(kMaxConfigFile + 1);
        if (sources.configText->size() > kMaxConfigFile) {
            return usageError(
                err, QStringLiteral("%1: more than %2 bytes").arg(sources.configName).arg(kMaxConfigFile));
        }
    }
    const mqtt::ParsedOptions parsed = mqtt::parseBridgeOptions(sources);
    if (!parsed.ok()) {
        return usageError(err, parsed.error);
    }
    const mqtt::BridgeOptions &options = parsed.options;
    if (options.help) {
        out << mqtt::usageText();
        return 0;
    }
    if (options.version) {
        out << "veltrika-mqtt " << kProductVersion << '\n';
        return 0;
    }
    QString passwordError;
    const std::optional<QByteArray> password =
        mqtt::brokerPassword(options, qgetenv(mqtt::kPasswordVariable), &passwordError);
    if (!passwordError.isEmpty()) {
        return usageError(err, passwordError);
    }

    SystemLinkClock clock;
    mqtt::BridgeLog log(err, options.verbose);
    std::unique_ptr<sim::SimulatedBox> demoBox;
    std::unique_ptr<sim::SharedDemoBox> sharedDemoBox;
    std::unique_ptr<UsbXpress> systemUsb;
    UsbXpress *usb = nullptr;
    const QString demoFile =
        options.demoFile.isEmpty()
            ? sim::defaultDemoStateFile(qEnvironmentVariable("XDG_STATE_HOME"), qEnvironmentVariable("HOME"))
            : options.demoFile;
    if (options.demo) {
        demoBox = std::make_unique<sim::SimulatedBox>(clock);
        demoBox->setLogging(false);
        sharedDemoBox = std::make_unique<sim::SharedDemoBox>(*demoBox, demoFile);
        QString error;
        if (!sharedDemoBox->load(&error)) {
            return usageError(err, error);
        }
        sharedDemoBox->setErrorHandler([&log](const QString &error) { log.line(error); });
        demoBox->setLively(true);
        usb = sharedDemoBox.get();
    } else {
        systemUsb = makeSystemUsb(clock);
        usb = systemUsb.get();
    }

    mqtt::LogReporter reporter(log);
    BoxSession session(*usb, clock, reporter);
    watch::Watcher watcher(session, clock, options.intervalMs, options.intervalMs);

    QString clientId = options.clientId;
    if (clientId.isEmpty()) {
        clientId = mqtt::topicSafe(QStringLiteral("veltrika-") + QSysInfo::machineHostName()).left(64);
    }
    const QString id = mqtt::deviceId(clientId, QLatin1String(kDeviceSerial));
    const mqtt::Topics topics{options.topicPrefix + QLatin1Char('/') + id};

    mqtt::ClientSettings clientSettings;
    clientSettings.host = options.host;
    clientSettings.port = options.port;
    clientSettings.clientId = clientId;
    clientSettings.username = options.username;
    clientSettings.password = password;
    clientSettings.tls = options.tls;
    clientSettings.caFile = options.caFile;
    clientSettings.willTopic = topics.availability();
    clientSettings.willPayload = "offline";
    mqtt::MqttClient client(clientSettings);

    mqtt::Bridge bridge(
        session, clock, watcher, client,
        {topics,
         options.discoveryPrefix,
         id,
         {options.allowWrite, options.allowPackets},
         defaultConfigurationsDirectory(qEnvironmentVariable("XDG_DATA_HOME"), qEnvironmentVariable("HOME")),
         // The demo box's journal is beside its state file, as the command line keeps it.
         options.demo
             ? demoJournalDirectory(demoFile)
             : defaultJournalDirectory(qEnvironmentVariable("XDG_STATE_HOME"), qEnvironmentVariable("HOME")),
         clientId},
        log);
    if (sharedDemoBox) {
        bridge.setAfterCommands([&] {
            QString error;
            if (!sharedDemoBox->save(&error)) {
                log.line(error);
            }
        });
    }

    if (pipe(g_stopPipe) != 0) {
        err << "veltrika-mqtt: cannot make a pipe for signals\n";
        return kExitFailed;
    }
    QSocketNotifier stopNotifier(g_stopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &app, [&] {
        stopNotifier.setEnabled(false);
        bridge.shutDown();
        QCoreApplication::quit();
    });
    std::signal(SIGINT, askToStop);
    std::signal(SIGTERM, askToStop);

    log.line(QStringLiteral("veltrika-mqtt %1: %2box %3 on %4:%5 under %6/, writes %7%8")
                 .arg(QLatin1String(kProductVersion), options.demo ? QStringLiteral("demo ") : QString(), id,
                      options.host)
                 .arg(options.port)
                 .arg(topics.base, options.allowWrite ? QStringLiteral("on") : QStringLiteral("off"),
                      options.allowPackets ? QStringLiteral(", packets on") : QString()));
    QString error;
    if (!client.start(&error)) {
        err << "veltrika-mqtt: " << error << '\n';
        return kExitFailed;
    }
    bridge.start();
    return QCoreApplication::exec();
}
