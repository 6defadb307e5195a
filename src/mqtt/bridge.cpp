#include "bridge.h"

#include "core/box/box_configuration_file.h"
#include "core/box/box_configuration_session.h"
#include "core/box/named_configurations.h"
#include "core/box/typed_status_json.h"
#include "core/box/watch_json.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonDocument>

#include <algorithm>

namespace mqtt {
namespace {

constexpr char kOnline[] = "online";
constexpr char kOffline[] = "offline";

QByteArray compact(const QJsonObject &object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

const char *outcomeName(int outcome) {
    static constexpr const char *kNames[] = {"applied", "refused", "failed"};
    return kNames[outcome];
}

} // namespace

void BridgeLog::line(const QString &text) {
    stream_ << text << '\n';
    stream_.flush();
}

void BridgeLog::detail(const QString &text) {
    if (verbose_) {
        line(text);
    }
}

void LogReporter::statusMessage(const char *text, int /*ms*/) {
    log_.detail(QString::fromLatin1(text).trimmed());
}

void LogReporter::transferProgress(int /*value*/, int /*total*/) {}

void LogReporter::linkWarning(const char *text) {
    log_.line(QStringLiteral("box: %1").arg(QString::fromLatin1(text).trimmed()));
}

void LogReporter::consoleNote(const char *text) {
    log_.line(QStringLiteral("box: %1").arg(QString::fromLatin1(text).trimmed()));
}

Bridge::Bridge(BoxSession &session, LinkClock &clock, watch::Watcher &watcher, MqttClient &client,
               BridgeSettings settings, BridgeLog &log, QObject *parent)
    : QObject(parent), session_(session), clock_(clock), watcher_(watcher), client_(client),
      settings_(std::move(settings)), log_(log),
      sweep_(client_, discoveryFilter(settings_.discoveryPrefix, settings_.deviceId),
             settings_.topics.sweep()) {
    pollTimer_.setSingleShot(true);
    commandTimer_.setSingleShot(true);
    connect(&pollTimer_, &QTimer::timeout, this, &Bridge::poll);
    connect(&commandTimer_, &QTimer::timeout, this, &Bridge::runNextCommand);
    connect(&client_, &MqttClient::connected, this, &Bridge::connected);
    connect(&client_, &MqttClient::disconnected, this, &Bridge::disconnected);
    connect(&client_, &MqttClient::messageReceived, this, &Bridge::message);
    connect(&sweep_, &DiscoverySweep::withdrawn, this, [this](const QStringList &topics) {
        log_.line(QStringLiteral("withdrew %1 discovery topic(s) this run does not announce: %2")
                      .arg(topics.size())
                      .arg(topics.join(QStringLiteral(", "))));
    });
}

void Bridge::start() {
    poll();
}

void Bridge::poll() {
    handle(watcher_.poll());
    pollTimer_.start(static_cast<int>(std::max<uint32_t>(1, watcher_.untilDue())));
}

void Bridge::shutDown() {
    pollTimer_.stop();
    commandTimer_.stop();
    publish(settings_.topics.availability(), kOffline, true);
    client_.stop();
    log_.line(QStringLiteral("stopped"));
}

void Bridge::connected() {
    log_.line(QStringLiteral("connected to the broker"));
    for (const QString &filter : settings_.topics.commandFilters()) {
        client_.subscribe(filter);
    }
    client_.subscribe(settings_.discoveryPrefix + QStringLiteral("/status"));
    // Subscribed before this run's configs go out: the broker hands over what it kept first.
    sweep_.start();
    publishEverything();
}

void Bridge::disconnected(const QString &why) {
    log_.line(QStringLiteral("broker: %1; trying again in %2 ms").arg(why).arg(client_.backoffMs()));
}

void Bridge::message(const QString &topic, const QByteArray &payload, bool retained) {
    log_.detail(QStringLiteral("received %1 (%2 bytes)").arg(topic).arg(payload.size()));
    if (sweep_.take(topic, payload, retained)) {
        return;
    }
    if (topic == settings_.discoveryPrefix + QStringLiteral("/status")) {
        if (payload == kOnline) {
            log_.line(QStringLiteral("Home Assistant is online: announcing the box again"));
            publishEverything();
        }
        return;
    }
    const QString prefix = settings_.topics.base + QLatin1Char('/');
    if (!topic.startsWith(prefix)) {
        return;
    }
    Queued queued{nextSequence_++, topic.mid(prefix.size()), {}};
    if (queue_.size() >= kMaxQueuedCommands) {
        reportResult(queued, Result::Refused, QStringLiteral("too many commands waiting"));
        return;
    }
    queued.parse = parseCommand(queued.topic, payload, settings_.permissions);
    queue_.push_back(std::move(queued));
    scheduleCommands();
}

void Bridge::handle(const std::vector<watch::WatchEvent> &events) {
    bool stateChanged = false;
    for (const watch::WatchEvent &event : events) {
        QJsonObject object = watch::eventJson(event, false);
        object.insert(QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
        publish(settings_.topics.event(), compact(object), false);
        switch (event.kind) {
        case watch::EventKind::Attached:
            log_.line(QStringLiteral("box attached, firmware %1")
                          .arg(event.firmware.isEmpty() ? QStringLiteral("unknown") : event.firmware));
            if (event.firmware != announcedFirmware_) {
                publishDiscovery();
            }
            publishAvailability();
            stateChanged = true;
            break;
        case watch::EventKind::Detached:
            log_.line(QStringLiteral("box detached: %1").arg(event.why));
            publishAvailability();
            break;
        case watch::EventKind::Changed:
            log_.detail(
                QStringLiteral("changed %1 %2 -> %3")
                    .arg(event.field, status::fieldValueText(event.from), status::fieldValueText(event.to)));
            stateChanged = true;
            break;
        }
    }
    if (stateChanged) {
        publishState();
    }
}

void Bridge::publishEverything() {
    publishDiscovery();
    publishAvailability();
    if (watcher_.isAttached()) {
        publishState();
    }
}

void Bridge::publishAvailability() {
    const bool online = client_.isConnected() && watcher_.isAttached();
    publish(settings_.topics.availability(), online ? kOnline : kOffline, true);
}

void Bridge::publishState() {
    QJsonObject state = status::typedStatusJson(watcher_.status());
    state.insert(QStringLiteral("firmware"),
                 watcher_.firmware().isEmpty() ? QJsonValue() : QJsonValue(watcher_.firmware()));
    publish(settings_.topics.state(), compact(state), true);
}

void Bridge::publishDiscovery() {
    if (!client_.isConnected()) {
        return;
    }
    DiscoveryContext context{settings_.topics,
                             settings_.discoveryPrefix,
                             settings_.deviceId,
                             watcher_.firmware(),
                             settings_.permissions.write,
                             namedConfigurations(settings_.configurationDirectory)};
    QSet<QString> announced;
    for (const RetainedMessage &message : discoveryMessages(context)) {
        publish(message.topic, message.payload, true);
        if (!message.payload.isEmpty()) {
            announced.insert(message.topic);
        }
    }
    sweep_.setAnnounced(std::move(announced));
    // A configuration deleted since it was announced loses its button.
    for (const QString &name : std::as_const(announcedConfigurations_)) {
        if (!context.configurations.contains(name)) {
            publish(configurationButtonTopic(context, name), {}, true);
        }
    }
    announcedConfigurations_ = context.configurations;
    announcedFirmware_ = watcher_.firmware();
}

void Bridge::publish(const QString &topic, const QByteArray &payload, bool retain) {
    if (client_.publish(topic, payload, retain)) {
        log_.detail(QStringLiteral("sent %1 %2").arg(topic, QString::fromUtf8(payload)));
    }
}

void Bridge::scheduleCommands() {
    if (!commandTimer_.isActive()) {
        commandTimer_.start(0);
    }
}

// One command per turn of the event loop: the broker's messages keep flowing between them,
// and a command never starts while another is at the box.
void Bridge::runNextCommand() {
    if (queue_.empty()) {
        if (applied_ && afterCommands_) {
            afterCommands_();
        }
        if (applied_ && watcher_.isAttached()) {
            handle(watcher_.read());
        }
        if (republish_ && watcher_.isAttached()) {
            publishState();
        }
        applied_ = false;
        republish_ = false;
        return;
    }
    const Queued queued = std::move(queue_.front());
    queue_.pop_front();
    QString why;
    Result outcome = Result::Refused;
    if (!queued.parse.ok()) {
        why = queued.parse.refusal;
    } else if (!watcher_.isAttached()) {
        outcome = Result::Failed;
        why = QStringLiteral("the box is not attached");
    } else {
        outcome = apply(queued.parse.command, &why);
    }
    reportResult(queued, outcome, why);
    applied_ |= outcome == Result::Applied;
    republish_ |= outcome != Result::Applied;
    commandTimer_.start(0);
}

Bridge::Result Bridge::apply(const BridgeCommand &command, QString *why) {
    if (command.kind == CommandKind::ApplyConfiguration) {
        return applyConfiguration(command.text, why);
    }
    const auto once = [&]() -> LinkError {
        switch (command.kind) {
        case CommandKind::Set:
            return session_.writeSetting(command.setting, command.value);
        case CommandKind::CecSend:
            return session_.sendPacket(packets::kCecSend, command.packet.bytes());
        case CommandKind::HdrSend:
            return session_.sendPacket(packets::kHdrSend, command.packet.bytes());
        case CommandKind::AviSend:
        case CommandKind::ApplyConfiguration:
            break;
        }
        // After an activated AVI infoframe the box learns again whether to keep replacing
        // AVI: the setting it reports now.
        const Outcome<record::StatusRecord> settings = session_.readSettings();
        if (!settings.ok()) {
            return settings.error;
        }
        const LinkError sent = session_.sendPacket(packets::kAviSend, command.packet.bytes());
        return sent != LinkError::None
                   ? sent
                   : session_.writeSetting(Setting::ReplaceAvi, settings.value[record::kReplaceAvi]);
    };
    LinkError error = once();
    // A box busy with its EDID after a mode change answers again within seconds.
    for (int polls = 0; error == LinkError::Busy && polls < kConfigurationBusyPolls; ++polls) {
        clock_.sleep(kConfigurationBusyPollMs);
        error = once();
    }
    if (error == LinkError::None) {
        return Result::Applied;
    }
    *why = QLatin1String(linkErrorName(error));
    return failed(error);
}

Bridge::Result Bridge::failed(LinkError error) {
    if (isLinkLoss(error)) {
        handle(watcher_.lost(error));
    }
    return Result::Failed;
}

// A named configuration, restored as `veltrika restore NAME` restores it. A name with no
// file, or a file that is not whole, is refused with `why` set and nothing sent.
Bridge::Result Bridge::applyConfiguration(const QString &name, QString *why) {
    const QString fileName = namedConfigurationFile(settings_.configurationDirectory, name);
    if (!QFileInfo::exists(fileName)) {
        *why = QStringLiteral("no configuration named %1").arg(name);
        return Result::Refused;
    }
    const ConfigurationFileRead read = readConfigurationFile(fileName);
    if (!read.ok()) {
        *why = QStringLiteral("%1: %2").arg(fileName, read.error.text());
        return Result::Refused;
    }
    const BoxConfiguration &wanted = read.file->configuration;
    const BoxConfigurationRead box = readBoxConfiguration(session_, clock_, partsHeld(wanted), false);
    if (!box.ok()) {
        *why = QStringLiteral("reading the box's %1: %2")
                   .arg(box.failedPart, QLatin1String(linkErrorName(box.error)));
        return failed(box.error);
    }
    const RestoreReport report = runRestore(session_, clock_, planRestore(box.configuration, wanted), wanted);
    if (!report.ok()) {
        *why = restoreReportLines(report).join(QStringLiteral("; "));
        return failed(report.error != LinkError::None ? report.error : report.readBackError);
    }
    return Result::Applied;
}

void Bridge::reportResult(const Queued &queued, Result outcome, const QString &why) {
    const char *result = outcomeName(static_cast<int>(outcome));
    QJsonObject object{{QStringLiteral("sequence"), static_cast<qint64>(queued.sequence)},
                       {QStringLiteral("topic"), queued.topic},
                       {QStringLiteral("result"), QLatin1String(result)}};
    QString what = queued.topic;
    if (queued.parse.ok()) {
        what = commandText(queued.parse.command);
        object.insert(QStringLiteral("command"), what);
    }
    if (!why.isEmpty()) {
        object.insert(QStringLiteral("reason"), why);
    }
    publish(settings_.topics.result(), compact(object), false);
    log_.line(why.isEmpty() ? QStringLiteral("%1 %2").arg(QLatin1String(result), what)
                            : QStringLiteral("%1 %2: %3").arg(QLatin1String(result), what, why));
}

} // namespace mqtt
