#include "bridge.h"

#include "core/box/box_configuration_file.h"
#include "core/box/box_configuration_session.h"
#include "core/box/named_configurations.h"
#include "core/box/typed_status_json.h"
#include "core/box/undo.h"
#include "core/box/watch_json.h"
#include "core/chain/chain_doctor.h"
#include "core/chain/chain_read.h"
#include "core/chain/chain_report.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonDocument>

#include <algorithm>

namespace mqtt {
namespace {

constexpr char kOnline[] = "online";
constexpr char kOffline[] = "offline";

// The doctor reads the EDIDs again this often: a TV plugged in or swapped changes them with no
// setting changing.
constexpr uint32_t kDoctorReadMs = 60000;

// The settings that shape the box's own EDID: a change of one has the doctor read the EDIDs.
bool shapesEdid(const QString &field) {
    static const QStringList kFields = {"edid-mode",   "automix-algo", "custom-edid", "force-stereo",
                                        "force-51",    "remove-3d",    "hdr-packet",  "bt2020",
                                        "allow-ycbcr", "full-audio",   "avr-audio"};
    return kFields.contains(field);
}

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
             settings_.topics.sweep()),
      journal_(settings_.journalDirectory.isEmpty()
                   ? nullptr
                   : std::make_unique<Journal>(settings_.journalDirectory, QLatin1String(kDeviceSerial))),
      gate_(session, clock, journal_.get()) {
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
    if (watcher_.isAttached() && chainEdids_ && clock_.tickCount() - chainEdidsReadAt_ >= kDoctorReadMs) {
        updateDoctor(true);
    }
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
    log_.detail(QStringLiteral("received %1 (%2 bytes%3)")
                    .arg(topic)
                    .arg(payload.size())
                    .arg(retained ? QStringLiteral(", retained") : QString()));
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
    // An empty message clears a retained one: nothing was asked of the box.
    if (payload.isEmpty()) {
        return;
    }
    Queued queued{nextSequence_++, topic.mid(prefix.size()), {}};
    queued.parse = parseCommand(queued.topic, payload, settings_.permissions);
    // A command the broker kept would be applied again at every start and reconnect.
    if (retained) {
        reportResult(
            queued,
            {Result::Refused, QStringLiteral("retained command (publish commands without retain)"), {}, {}});
        return;
    }
    if (queue_.size() >= kMaxQueuedCommands) {
        reportResult(queued, {Result::Refused, QStringLiteral("too many commands waiting"), {}, {}});
        return;
    }
    queue_.push_back(std::move(queued));
    scheduleCommands();
}

void Bridge::handle(const std::vector<watch::WatchEvent> &events) {
    bool stateChanged = false;
    bool edidsChanged = false;
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
            edidsChanged = true;
            break;
        case watch::EventKind::Detached:
            log_.line(QStringLiteral("box detached: %1").arg(event.why));
            publishAvailability();
            chainEdids_.reset();
            break;
        case watch::EventKind::Changed:
            log_.detail(
                QStringLiteral("changed %1 %2 -> %3")
                    .arg(event.field, status::fieldValueText(event.from), status::fieldValueText(event.to)));
            stateChanged = true;
            edidsChanged = edidsChanged || shapesEdid(event.field);
            break;
        }
    }
    if (stateChanged) {
        publishState();
    }
    if (stateChanged && watcher_.isAttached()) {
        updateDoctor(edidsChanged || !chainEdids_);
    }
}

void Bridge::updateDoctor(bool readEdids) {
    if (readEdids) {
        const chain::ChainRead read = chain::readChainEdids(session_, {});
        chainEdidsReadAt_ = clock_.tickCount();
        if (!read.ok()) {
            log_.line(QStringLiteral("doctor: reading the box's %1: %2")
                          .arg(read.failedPart, QLatin1String(linkErrorName(read.error))));
            chainEdids_.reset();
            if (isLinkLoss(read.error)) {
                handle(watcher_.lost(read.error));
            }
            return;
        }
        chainEdids_ = read.inputs;
    }
    if (!chainEdids_) {
        return;
    }
    chain::ChainInputs inputs = *chainEdids_;
    inputs.status = watcher_.status();
    const QByteArray payload = compact(chain::diagnosisSummaryJson(chain::diagnose(inputs)));
    if (payload != doctorPayload_) {
        doctorPayload_ = payload;
        publish(settings_.topics.doctor(), payload, true);
    }
}

void Bridge::publishEverything() {
    publishDiscovery();
    publishAvailability();
    if (watcher_.isAttached()) {
        publishState();
    }
    if (!doctorPayload_.isEmpty()) {
        publish(settings_.topics.doctor(), doctorPayload_, true);
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
    Done done;
    if (!queued.parse.ok()) {
        done.why = queued.parse.refusal;
    } else if (!watcher_.isAttached()) {
        done.result = Result::Failed;
        done.why = QStringLiteral("the box is not attached");
    } else {
        done = apply(queued.parse.command);
    }
    reportResult(queued, done);
    if (done.entry) {
        publish(settings_.topics.journal(), compact(journalEntryObject(*done.entry)), false);
    }
    applied_ |= done.result == Result::Applied;
    republish_ |= done.result != Result::Applied;
    commandTimer_.start(0);
}

Bridge::Done Bridge::apply(const BridgeCommand &command) {
    switch (command.kind) {
    case CommandKind::Set:
        return through(BoxChange::ofSetting(command.setting, command.value));
    case CommandKind::CecSend:
        return through(BoxChange::ofCecSend(command.packet));
    case CommandKind::HdrSend:
        return through(BoxChange::ofHdrSend(command.packet));
    case CommandKind::ApplyConfiguration:
        return applyConfiguration(command.text);
    case CommandKind::Undo:
        return undo(command.entry);
    case CommandKind::AviSend:
        break;
    }
    // After activated AVI bytes the box learns again whether to keep replacing AVI: the
    // setting it reports now. A box busy with its EDID after a mode change answers again
    // within seconds.
    Outcome<record::StatusRecord> settings = session_.readSettings();
    for (int polls = 0; settings.error == LinkError::Busy && polls < kConfigurationBusyPolls; ++polls) {
        clock_.sleep(kConfigurationBusyPollMs);
        settings = session_.readSettings();
    }
    if (!settings.ok()) {
        return failed(settings.error, QLatin1String(linkErrorName(settings.error)));
    }
    return through(BoxChange::ofAviSend(command.packet, settings.value[record::kReplaceAvi]));
}

Bridge::Done Bridge::through(const BoxChange &change) {
    Done done;
    const GateVerdict verdict = checkChange(change);
    if (verdict.verdict != Verdict::Ok) {
        done.why = verdict.lines().join(QStringLiteral("; "));
        return done;
    }
    if (gate_.journal() != nullptr) {
        gate_.readBefore(change);
    }
    const ChangeResult result = gate_.applyChange(change, {FrontEnd::Bridge, settings_.clientId}, Answer::No);
    if (result.ok()) {
        done.result = Result::Applied;
    } else if (!result.restore.ok()) {
        done = failed(result.error, restoreReportLines(result.restore).join(QStringLiteral("; ")));
    } else {
        const QString error = QLatin1String(linkErrorName(result.error));
        done = failed(result.error, result.failedPart.isEmpty()
                                        ? error
                                        : QStringLiteral("%1: %2").arg(result.failedPart, error));
    }
    done.journalWarning = result.journalWarning;
    done.entry = result.journalEntry;
    return done;
}

Bridge::Done Bridge::failed(LinkError error, const QString &why) {
    if (isLinkLoss(error)) {
        handle(watcher_.lost(error));
    }
    return {Result::Failed, why, {}, {}};
}

// A named configuration, restored as `veltrika restore NAME` restores it. A name with no
// file, or a file that is not whole, is refused and nothing sent.
Bridge::Done Bridge::applyConfiguration(const QString &name) {
    const QString fileName = namedConfigurationFile(settings_.configurationDirectory, name);
    if (!QFileInfo::exists(fileName)) {
        return {Result::Refused, QStringLiteral("no configuration named %1").arg(name), {}, {}};
    }
    const ConfigurationFileRead read = readConfigurationFile(fileName);
    if (!read.ok()) {
        return {Result::Refused, QStringLiteral("%1: %2").arg(fileName, read.error.text()), {}, {}};
    }
    const BoxConfiguration &wanted = read.file->configuration;
    const BoxConfigurationRead box = readBoxConfiguration(session_, clock_, partsHeld(wanted), false);
    if (!box.ok()) {
        return failed(box.error, QStringLiteral("reading the box's %1: %2")
                                     .arg(box.failedPart, QLatin1String(linkErrorName(box.error))));
    }
    return through(BoxChange::ofRestore(planRestore(box.configuration, wanted), wanted,
                                        QStringLiteral("apply configuration %1").arg(name)));
}

// The last change, or the one named, taken back as `veltrika undo` takes it back; never over
// a part that changed since (there is no --force over MQTT).
Bridge::Done Bridge::undo(int entry) {
    if (journal_ == nullptr) {
        return {Result::Refused, QStringLiteral("no journal is kept"), {}, {}};
    }
    const JournalRead read = journal_->read();
    for (const QString &warning : read.warnings) {
        log_.line(QStringLiteral("journal: %1").arg(warning));
    }
    const auto named = std::find_if(read.entries.begin(), read.entries.end(),
                                    [entry](const JournalEntry &recorded) { return recorded.id == entry; });
    const std::optional<JournalEntry> undone =
        entry == 0 ? lastUndoable(read.entries)
                   : (named != read.entries.end() ? std::optional(*named) : std::nullopt);
    if (!undone) {
        return {Result::Refused,
                entry == 0 ? QStringLiteral("no change to undo") : QStringLiteral("no entry %1").arg(entry),
                {},
                {}};
    }
    const BoxConfigurationRead box = readBoxConfiguration(session_, clock_, partsToRead(*undone), false);
    if (!box.ok()) {
        return failed(box.error, QStringLiteral("reading the box's %1: %2")
                                     .arg(box.failedPart, QLatin1String(linkErrorName(box.error))));
    }
    QString why;
    const std::optional<UndoPlan> plan = planUndo(*undone, box.configuration, &why);
    if (!plan) {
        return {Result::Refused, why, {}, {}};
    }
    if (!plan->changedSince.isEmpty()) {
        return {Result::Refused,
                QStringLiteral("changed since entry %1: %2")
                    .arg(undone->id)
                    .arg(plan->changedSince.join(QStringLiteral("; "))),
                {},
                {}};
    }
    for (const QString &note : undoNotes(*plan)) {
        log_.line(QStringLiteral("undo %1: %2").arg(undone->id).arg(note));
    }
    return through(undoChange(*plan));
}

void Bridge::reportResult(const Queued &queued, const Done &done) {
    const QString &why = done.why;
    const char *result = outcomeName(static_cast<int>(done.result));
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
    if (!done.journalWarning.isEmpty()) {
        object.insert(QStringLiteral("journal"), QStringLiteral("not recorded: %1").arg(done.journalWarning));
        log_.line(QStringLiteral("journal: %1; the change is not recorded").arg(done.journalWarning));
    }
    if (done.entry) {
        object.insert(QStringLiteral("entry"), done.entry->id);
    }
    publish(settings_.topics.result(), compact(object), false);
    log_.line(why.isEmpty() ? QStringLiteral("%1 %2").arg(QLatin1String(result), what)
                            : QStringLiteral("%1 %2: %3").arg(QLatin1String(result), what, why));
}

} // namespace mqtt
