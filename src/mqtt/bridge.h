#pragma once
// The bridge: keeps a broker in step with the box through the watcher, and applies the
// commands that come on its topics to the box, one at a time in the order they came.
// Availability is "online" while the broker connection is up and the box attached; the
// state (the typed status and the firmware) is published retained at every connect and
// after every change; every watcher event goes to the event topic and every command's
// outcome to the result topic. At every connect, discovery topics of earlier runs that this
// run does not announce are withdrawn. The chain's doctor goes out retained on its own topic:
// read again at attach, when a setting that shapes the box's EDID changes and once a minute,
// and diagnosed again at every change of the status; the bridge applies none of its fixes.

#include "bridge_commands.h"
#include "discovery.h"
#include "discovery_sweep.h"
#include "mqtt_client.h"

#include "core/box/box_gate.h"
#include "core/box/box_reporter.h"
#include "core/box/box_session.h"
#include "core/box/watcher.h"
#include "core/chain/chain_matrix.h"

#include <QObject>
#include <QTextStream>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace mqtt {

// The bridge's log: one line per thing worth knowing, to standard error (the journal under
// systemd). Verbose adds every message sent and received.
class BridgeLog {
public:
    BridgeLog(QTextStream &stream, bool verbose) : stream_(stream), verbose_(verbose) {}
    void line(const QString &text);
    void detail(const QString &text);
    bool verbose() const { return verbose_; }

private:
    QTextStream &stream_;
    bool verbose_;
};

// The session's messages to the log; the watcher tells of losses, so they are not repeated.
class LogReporter : public BoxReporter {
public:
    explicit LogReporter(BridgeLog &log) : log_(log) {}
    void statusMessage(const char *text, int ms) override;
    void transferProgress(int value, int total) override;
    void linkWarning(const char *text) override;
    void consoleNote(const char *text) override;

private:
    BridgeLog &log_;
};

// More commands than this waiting are refused as they come.
constexpr size_t kMaxQueuedCommands = 10000;

struct BridgeSettings {
    Topics topics;
    QString discoveryPrefix;
    QString deviceId;
    CommandPermissions permissions;
    QString configurationDirectory;
    QString journalDirectory = {}; // the box's journal; empty: none is kept
    QString clientId = {};         // as the journal names the bridge
};

class Bridge : public QObject {
    Q_OBJECT
public:
    Bridge(BoxSession &session, LinkClock &clock, watch::Watcher &watcher, MqttClient &client,
           BridgeSettings settings, BridgeLog &log, QObject *parent = nullptr);

    // Polls at once and from then on when the watcher has something to do.
    void start();
    // One poll of the watcher, and the next one timed.
    void poll();
    // Availability "offline" goes out, then the client leaves cleanly.
    void shutDown();
    // Runs when the commands that came together are done and the box took any of them (the
    // demo keeps its state file): once for a burst, not once per command.
    void setAfterCommands(std::function<void()> afterCommands) { afterCommands_ = std::move(afterCommands); }
    size_t queuedCommands() const { return queue_.size(); }

private:
    struct Queued {
        uint64_t sequence;
        QString topic; // after "<prefix>/<id>/"
        CommandParse parse;
    };
    enum class Result : uint8_t { Applied, Refused, Failed };
    // What became of a command: its result and why, and the journal's entry of the change.
    struct Done {
        Result result = Result::Refused;
        QString why;
        QString journalWarning;
        std::optional<JournalEntry> entry;
    };

    void connected();
    void disconnected(const QString &why);
    void message(const QString &topic, const QByteArray &payload, bool retained);
    void handle(const std::vector<watch::WatchEvent> &events);
    void publishEverything();
    void publishAvailability();
    void publishState();
    void publishDiscovery();
    // The doctor's findings, the EDIDs read again first when asked (or due).
    void updateDoctor(bool readEdids);
    void publish(const QString &topic, const QByteArray &payload, bool retain);
    void scheduleCommands();
    void runNextCommand();
    Done apply(const BridgeCommand &command);
    // The change through the gate, whose findings the bridge never overrules.
    Done through(const BoxChange &change);
    Done applyConfiguration(const QString &name);
    Done undo(int entry);
    Done failed(LinkError error, const QString &why);
    void reportResult(const Queued &queued, const Done &done);

    BoxSession &session_;
    LinkClock &clock_;
    watch::Watcher &watcher_;
    MqttClient &client_;
    BridgeSettings settings_;
    BridgeLog &log_;
    QTimer pollTimer_;
    QTimer commandTimer_;
    DiscoverySweep sweep_;
    std::deque<Queued> queue_;
    uint64_t nextSequence_ = 1;
    bool applied_ = false;   // a command reached the box since the queue was last empty
    bool republish_ = false; // a command was refused: the state goes out again
    QString announcedFirmware_;
    QStringList announcedConfigurations_;
    std::function<void()> afterCommands_;
    std::unique_ptr<Journal> journal_;
    BoxGate gate_;
    std::optional<chain::ChainInputs> chainEdids_; // the three EDIDs last read
    uint32_t chainEdidsReadAt_ = 0;                // on the link clock
    QByteArray doctorPayload_;                     // last published
};

} // namespace mqtt
