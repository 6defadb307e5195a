// The bridge against Debian's mosquitto on 127.0.0.1, with the simulated box on the fake
// clock: what a broker's clients see of the box, and what reaches the box from them.

#include "bridge.h"
#include "broker.h"
#include "home_assistant_rules.h"

#include "core/box/box_configuration_file.h"
#include "core/box/named_configurations.h"
#include "core/product.h"
#include "sim/simulated_box.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace mqtt;
using namespace mqtt::test;

namespace {

const QString kBase = QStringLiteral("veltrika/test_2023");
const QString kState = kBase + QStringLiteral("/state");
const QString kResult = kBase + QStringLiteral("/result");
const QString kAvailability = kBase + QStringLiteral("/availability");
const QString kJournal = kBase + QStringLiteral("/journal");
const QString kDoctor = kBase + QStringLiteral("/doctor");
constexpr uint32_t kIntervalMs = 1000;

QJsonObject json(const QByteArray &payload) {
    return QJsonDocument::fromJson(payload).object();
}

// The bridge of one box, as main() puts it together, on the fake clock.
struct BridgeRig {
    sim::FakeLinkClock clock;
    sim::SimulatedBox box{clock};
    QString logText;
    QTextStream logStream{&logText};
    BridgeLog log{logStream, false};
    LogReporter reporter{log};
    BoxSession session{box, clock, reporter};
    watch::Watcher watcher{session, clock, kIntervalMs, kIntervalMs};
    std::unique_ptr<MqttClient> client;
    std::unique_ptr<Bridge> bridge;

    BridgeRig(uint16_t port, CommandPermissions permissions, const QString &configurations = {},
              const QString &user = {}, const std::optional<QByteArray> &password = {},
              const QString &journal = {}) {
        ClientSettings settings = clientSettings(port, QStringLiteral("test"));
        settings.willTopic = kAvailability;
        settings.willPayload = "offline";
        settings.username = user;
        settings.password = password;
        client = std::make_unique<MqttClient>(settings);
        bridge = std::make_unique<Bridge>(session, clock, watcher, *client,
                                          BridgeSettings{Topics{kBase}, QStringLiteral("homeassistant"),
                                                         QStringLiteral("test_2023"), permissions,
                                                         configurations, journal, QStringLiteral("test")},
                                          log);
    }
    bool start() {
        QString error;
        if (!client->start(&error)) {
            return false;
        }
        bridge->start();
        return QTest::qWaitFor([this] { return client->isConnected(); }, 5000);
    }
    // One interval on: the watcher reads the box.
    void tick() {
        clock.advance(kIntervalMs);
        bridge->poll();
    }
    // What the box received that writes: register and settings writes, packets; not the fetches
    // of its EDIDs, which read.
    QList<QByteArray> writes() const {
        QList<QByteArray> frames;
        for (const sim::LoggedFrame &frame : box.frames()) {
            const bool fetch = frame.request.size() == 3 && frame.request[2] >= proto::kFetchOwnEdid &&
                               frame.request[2] <= proto::kFetchBotSinkEdid;
            if (!frame.request.empty() && frame.request[0] == 0x10 && !fetch) {
                frames << QByteArray(reinterpret_cast<const char *>(frame.request.data()),
                                     static_cast<qsizetype>(frame.request.size()));
            }
        }
        return frames;
    }
};

} // namespace

class TestMqttBridge : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void discovery_data();
    void discovery();
    void homeAssistantRules_data();
    void homeAssistantRules();
    void staleDiscoveryWithdrawn_data();
    void staleDiscoveryWithdrawn();
    void stateFollowsTheSignal();
    void commands_data();
    void commands();
    void retainedCommands();
    void checkedJournaledUndone();
    void doctorSensor();
    void brokerComesBack();
    void boxUnpluggedAndBack();
    void homeAssistantOnline();
    void lastWillAndShutDown();
    void password();
    void tls();

private:
    std::unique_ptr<Broker> broker_;
};

void TestMqttBridge::init() {
    broker_ = std::make_unique<Broker>();
    if (QString(QTest::currentTestFunction()) == QLatin1String("password")) {
        broker_->requirePassword(QStringLiteral("bridge"), QStringLiteral("s3cret"));
    }
    if (QString(QTest::currentTestFunction()) == QLatin1String("tls")) {
        broker_->requireTls();
    }
    QString error;
    QVERIFY2(broker_->start(&error), qPrintable(error));
}

void TestMqttBridge::cleanup() {
    broker_.reset();
}

void TestMqttBridge::discovery_data() {
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("entities");
    // 8 sensors, the chain's findings and "connected"; with writes 25 settings, a button for the
    // one configuration and "Undo last change".
    QTest::newRow("reads only") << false << 10;
    QTest::newRow("writes") << true << 10 + 25 + 1 + 1;
}

// Every entity's config is retained, whole and of one device; the controls only with writes.
void TestMqttBridge::discovery() {
    QFETCH(bool, write);
    QFETCH(int, entities);
    QTemporaryDir configurations;
    sim::FakeLinkClock otherClock;
    const sim::SimulatedBox other(otherClock);
    QVERIFY(
        saveConfigurationFile(namedConfigurationFile(configurations.path(), QStringLiteral("movie night")),
                              other.keptConfiguration(), QDateTime::currentDateTimeUtc(), nullptr, nullptr));
    BridgeRig rig(broker_->port(), {write, false}, configurations.path());
    Listener first(broker_->port(), {kState}, QStringLiteral("first"));
    QVERIFY(first.connectNow());
    QVERIFY(rig.start());
    QVERIFY(first.waitFor(kState));

    // A client that comes later gets what was retained.
    Listener later(broker_->port(), {QStringLiteral("homeassistant/#")}, QStringLiteral("later"));
    QVERIFY(later.connectNow());
    QVERIFY(QTest::qWaitFor([&] { return later.received_.size() >= size_t(entities); }, 5000));
    QTest::qWait(100);
    QCOMPARE(later.received_.size(), size_t(entities));
    for (const Received &message : later.received_) {
        const QJsonObject config = json(message.payload);
        QVERIFY2(message.retained, qPrintable(message.topic));
        QVERIFY2(message.topic.startsWith(QStringLiteral("homeassistant/")) &&
                     message.topic.endsWith(QStringLiteral("/config")),
                 qPrintable(message.topic));
        for (const char *key : {"name", "unique_id", "device"}) {
            QVERIFY2(config.contains(QLatin1String(key)), qPrintable(message.topic + QLatin1Char(' ') + key));
        }
        const QJsonObject device = config.value(QStringLiteral("device")).toObject();
        QCOMPARE(device.value(QStringLiteral("identifiers")).toArray(),
                 QJsonArray{QStringLiteral("test_2023")});
        QCOMPARE(device.value(QStringLiteral("manufacturer")).toString(), QStringLiteral("VELTRIKA"));
        QCOMPARE(device.value(QStringLiteral("sw_version")).toString(), QStringLiteral("1.8.3.0"));
        const bool isConnected = message.topic.contains(QStringLiteral("/connected/"));
        QCOMPARE(config.contains(QStringLiteral("availability")), !isConnected);
        QVERIFY(config.contains(QStringLiteral("state_topic")) ||
                config.contains(QStringLiteral("command_topic")));
    }
    if (write) {
        const std::vector<Received> input =
            later.on(QStringLiteral("homeassistant/select/test_2023/input/config"));
        QCOMPARE(input.size(), size_t(1));
        const QJsonObject config = json(input.front().payload);
        QCOMPARE(config.value(QStringLiteral("command_topic")).toString(),
                 kBase + QStringLiteral("/set/input"));
        QCOMPARE(config.value(QStringLiteral("options")).toArray(),
                 (QJsonArray{QStringLiteral("top"), QStringLiteral("bot"), QStringLiteral("matrix-thru"),
                             QStringLiteral("matrix-swap")}));
        QCOMPARE(later.on(QStringLiteral("homeassistant/switch/test_2023/green_led/config")).size(),
                 size_t(1));
    }
}

namespace {

// Saves the factory box as each named configuration.
void saveConfigurations(const QString &directory, const QStringList &names) {
    sim::FakeLinkClock clock;
    const sim::SimulatedBox box(clock);
    for (const QString &name : names) {
        QVERIFY(saveConfigurationFile(namedConfigurationFile(directory, name), box.keptConfiguration(),
                                      QDateTime::currentDateTimeUtc(), nullptr, nullptr));
    }
}

// Every config the broker keeps under the discovery prefix, as Home Assistant reads them at
// its start; waits until `count` came.
std::vector<Received> retainedConfigs(uint16_t port, size_t count) {
    Listener reader(port, {QStringLiteral("homeassistant/#")}, QStringLiteral("home-assistant"));
    const auto kept = [&] {
        std::vector<Received> configs;
        std::copy_if(reader.received_.begin(), reader.received_.end(), std::back_inserter(configs),
                     [](const Received &message) { return message.retained && !message.payload.isEmpty(); });
        return configs;
    };
    if (!reader.connectNow() || !QTest::qWaitFor([&] { return kept().size() >= count; }, 5000)) {
        return kept();
    }
    QTest::qWait(100); // and nothing more
    return kept();
}

} // namespace

void TestMqttBridge::homeAssistantRules_data() {
    QTest::addColumn<bool>("write");
    QTest::addColumn<QStringList>("configurations");
    QTest::addColumn<int>("entities");
    QTest::addColumn<QStringList>("entityIds"); // some of the default entity ids, as patterns
    QTest::newRow("reads only") << false << QStringList{"movie night"} << 10
                                << QStringList{"sensor.test_2023_refresh_rate",
                                               "sensor.test_2023_chain_findings",
                                               "binary_sensor.test_2023_connected"};
    // A name of any letters gets an entity id of ASCII words; one of none still gets one.
    QTest::newRow("writes, names of any letters")
        << true << QStringList{"Kino ü", "Straße 2", "日本"} << 10 + 25 + 3 + 1
        << QStringList{"switch.test_2023_out_420",
                       "select.test_2023_input",
                       "button.test_2023_configuration_kino_u_[0-9a-f]{8}",
                       "button.test_2023_configuration_strasse_2_[0-9a-f]{8}",
                       "button.test_2023_configuration_[0-9a-f]{8}",
                       "button.test_2023_undo_last_change"};
}

// Every config the bridge announces keeps Home Assistant's documented rules: the platform's
// required and known options, a default entity id Home Assistant takes as it is (no
// deprecated object_id), the origin, the device, the availability, and for the sensors a
// device class, state class and unit that go together (the refresh rate in Hz is a
// frequency). Unique ids and entity ids are unique.
void TestMqttBridge::homeAssistantRules() {
    QFETCH(bool, write);
    QFETCH(QStringList, configurations);
    QFETCH(int, entities);
    QFETCH(QStringList, entityIds);
    QTemporaryDir directory;
    saveConfigurations(directory.path(), configurations);
    BridgeRig rig(broker_->port(), {write, false}, directory.path());
    Listener state(broker_->port(), {kState}, QStringLiteral("state"));
    QVERIFY(state.connectNow());
    QVERIFY(rig.start());
    QVERIFY(state.waitFor(kState)); // after the configs
    const std::vector<Received> configs = retainedConfigs(broker_->port(), size_t(entities));
    QCOMPARE(configs.size(), size_t(entities));
    QStringList faults;
    QSet<QString> uniqueIds;
    QStringList defaultIds;
    for (const Received &message : configs) {
        faults << homeAssistantViolations(QStringLiteral("homeassistant"), message.topic, message.payload);
        const QJsonObject config = json(message.payload);
        const QString uniqueId = config.value(QStringLiteral("unique_id")).toString();
        if (uniqueIds.contains(uniqueId)) {
            faults << QStringLiteral("unique_id %1 twice").arg(uniqueId);
        }
        uniqueIds.insert(uniqueId);
        const QString entityId = config.value(QStringLiteral("default_entity_id")).toString();
        if (defaultIds.contains(entityId)) {
            faults << QStringLiteral("default_entity_id %1 twice").arg(entityId);
        }
        defaultIds << entityId;
        const QJsonObject origin = config.value(QStringLiteral("origin")).toObject();
        QCOMPARE(origin.value(QStringLiteral("name")).toString(), QStringLiteral("veltrika-mqtt"));
        QCOMPARE(origin.value(QStringLiteral("sw_version")).toString(), QLatin1String(kProductVersion));
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    for (const QString &pattern : entityIds) {
        const QRegularExpression wanted(QRegularExpression::anchoredPattern(pattern));
        QVERIFY2(std::any_of(defaultIds.begin(), defaultIds.end(),
                             [&](const QString &id) { return wanted.match(id).hasMatch(); }),
                 qPrintable(pattern + QStringLiteral(" among ") + defaultIds.join(QLatin1Char(' '))));
    }
    const auto refresh = std::find_if(configs.begin(), configs.end(), [](const Received &message) {
        return message.topic == QStringLiteral("homeassistant/sensor/test_2023/refresh_rate/config");
    });
    QVERIFY(refresh != configs.end());
    QCOMPARE(json(refresh->payload).value(QStringLiteral("device_class")).toString(),
             QStringLiteral("frequency"));
}

void TestMqttBridge::staleDiscoveryWithdrawn_data() {
    QTest::addColumn<bool>("write");
    QTest::addColumn<bool>("reconnect");     // kept while the bridge ran; swept when it connects again
    QTest::addColumn<QStringList>("stale");  // kept by the broker, withdrawn by the bridge
    QTest::addColumn<QStringList>("others"); // kept by the broker, left alone
    const QString others = QStringLiteral("homeassistant/sensor/other_2023/resolution/config");
    QTest::newRow("a configuration deleted while the bridge was away")
        << true << false
        << QStringList{"homeassistant/button/test_2023/configuration_game_night_0123abcd/config"}
        << QStringList{others};
    QTest::newRow("writes turned off")
        << false << false
        << QStringList{"homeassistant/select/test_2023/input/config",
                       "homeassistant/switch/test_2023/green_led/config",
                       "homeassistant/button/test_2023/configuration_movie_night_0123abcd/config"}
        << QStringList{others};
    QTest::newRow("an entity renamed")
        << false << false << QStringList{"homeassistant/sensor/test_2023/hdr/config"}
        << QStringList{others, QStringLiteral("homeassistant/sensor/test_2023x/hdr/config")};
    QTest::newRow("at a reconnect") << true << true
                                    << QStringList{"homeassistant/number/test_2023/volume/config"}
                                    << QStringList{others};
}

// What the broker keeps under the bridge's id that this run does not announce is withdrawn at
// every connect; what it announces, and other bridges' configs, stay.
void TestMqttBridge::staleDiscoveryWithdrawn() {
    QFETCH(bool, write);
    QFETCH(bool, reconnect);
    QFETCH(QStringList, stale);
    QFETCH(QStringList, others);
    const int entities = write ? 10 + 25 + 1 : 10; // with writes, "Undo last change"
    QTemporaryDir directory;                       // no named configuration
    Listener earlier(broker_->port(), stale + others + QStringList{kState}, QStringLiteral("earlier-run"));
    QVERIFY(earlier.connectNow());
    // Published retained, and kept by the broker once they come back.
    const auto keep = [&](const QStringList &topics) {
        for (const QString &topic : topics) {
            earlier.publish(topic, R"({"name": "earlier", "state_topic": "x"})", true);
        }
        return QTest::qWaitFor(
            [&] {
                return std::all_of(topics.begin(), topics.end(),
                                   [&](const QString &topic) { return !earlier.on(topic).empty(); });
            },
            5000);
    };
    QVERIFY(keep(others));
    if (!reconnect) {
        QVERIFY(keep(stale));
    }
    BridgeRig rig(broker_->port(), {write, false}, directory.path());
    QVERIFY(rig.start());
    QVERIFY(earlier.waitFor(kState));
    if (reconnect) {
        QVERIFY(keep(stale));
        // Another client with the bridge's client id takes its place and leaves: the bridge
        // connects again.
        QSignalSpy lost(rig.client.get(), &MqttClient::disconnected);
        MqttClient twin(clientSettings(broker_->port(), QStringLiteral("test")));
        QString error;
        QVERIFY(twin.start(&error));
        QVERIFY(lost.wait(5000));
        QVERIFY(QTest::qWaitFor([&] { return twin.isConnected(); }, 5000));
        twin.stop();
        QVERIFY(QTest::qWaitFor([&] { return rig.client->isConnected(); }, 5000));
    }
    // Each stale topic's last word is the empty payload that withdraws it.
    QVERIFY(QTest::qWaitFor(
        [&] {
            return std::all_of(stale.begin(), stale.end(), [&](const QString &topic) {
                const std::vector<Received> messages = earlier.on(topic);
                return !messages.empty() && messages.back().payload.isEmpty();
            });
        },
        5000));
    QStringList kept;
    for (const Received &message : retainedConfigs(broker_->port(), size_t(entities + others.size()))) {
        kept << message.topic;
    }
    for (const QString &topic : stale) {
        QVERIFY2(!kept.contains(topic), qPrintable(topic));
    }
    for (const QString &topic : others) {
        QVERIFY2(kept.contains(topic), qPrintable(topic));
    }
    QCOMPARE(kept.size(), entities + others.size());
    QVERIFY2(rig.logText.contains(QStringLiteral("withdrew %1 discovery topic(s)").arg(stale.size())),
             qPrintable(rig.logText));
}

// A new source at the box: the state and one event per changed field reach the broker.
void TestMqttBridge::stateFollowsTheSignal() {
    BridgeRig rig(broker_->port(), {});
    Listener listener(broker_->port(), {kState, kBase + QStringLiteral("/event")});
    QVERIFY(listener.connectNow());
    QVERIFY(rig.start());
    QVERIFY(listener.waitFor(kState));
    QCOMPARE(json(listener.on(kState).back().payload).value(QStringLiteral("resolution")).toString(),
             QStringLiteral("1920x1080"));
    rig.box.setLively(true);
    rig.clock.advance(sim::SimulatedBox::kScriptStepMs);
    rig.tick();
    QVERIFY(listener.waitFor(kState, 2));
    const QJsonObject state = json(listener.on(kState).back().payload);
    QCOMPARE(state.value(QStringLiteral("resolution")).toString(), QStringLiteral("3840x2160"));
    QCOMPARE(state.value(QStringLiteral("hdr_eotf")).toString(), QStringLiteral("SMPTE ST 2084 (PQ)"));
    QCOMPARE(state.value(QStringLiteral("firmware")).toString(), QStringLiteral("1.8.3.0"));
    bool resolutionEvent = false;
    for (const Received &event : listener.on(kBase + QStringLiteral("/event"))) {
        const QJsonObject object = json(event.payload);
        resolutionEvent |= object.value(QStringLiteral("field")) == QStringLiteral("resolution") &&
                           object.value(QStringLiteral("to")) == QStringLiteral("3840x2160");
    }
    QVERIFY(resolutionEvent);
}

void TestMqttBridge::commands_data() {
    QTest::addColumn<bool>("write");
    QTest::addColumn<QStringList>("messages"); // "topic payload", in the order sent
    QTest::addColumn<QStringList>("results");  // the result topic's "result" and "reason"
    QTest::addColumn<QList<QByteArray>>("frames");

    QTest::newRow("sets in order") << true
                                   << QStringList{"set/input bot", "set/green-led off", "set/input top"}
                                   << QStringList{"applied", "applied", "applied"}
                                   << QList<QByteArray>{QByteArray::fromHex("1004E00002"),
                                                        QByteArray::fromHex("1004E01600"),
                                                        QByteArray::fromHex("1004E00001")};
    QTest::newRow("writes off") << false << QStringList{"set/input bot"}
                                << QStringList{"refused writes are off (start the bridge with --allow-write)"}
                                << QList<QByteArray>{};
    QTest::newRow("unknown value")
        << true << QStringList{"set/input tv"}
        << QStringList{"refused bad value for input: tv (one of: top, bot, matrix-thru, "
                       "matrix-swap)"}
        << QList<QByteArray>{};
    QTest::newRow("packets off")
        << true << QStringList{"cec/send 40:04"}
        << QStringList{"refused raw packets are off (start the bridge with --allow-packets)"}
        << QList<QByteArray>{};
    QTest::newRow("no such configuration")
        << true << QStringList{"configuration/apply night"}
        << QStringList{"refused no configuration named night"} << QList<QByteArray>{};
}

// Each command is applied or refused, in the order it came, and only applied ones reach the
// box; a refusal sends the state again, so a dashboard shows what the box holds.
void TestMqttBridge::commands() {
    QFETCH(bool, write);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, results);
    QFETCH(QList<QByteArray>, frames);
    BridgeRig rig(broker_->port(), {write, false});
    Listener listener(broker_->port(), {kState, kResult});
    QVERIFY(listener.connectNow());
    QVERIFY(rig.start());
    QVERIFY(listener.waitFor(kState));
    rig.box.clearLog();
    listener.clear();
    for (const QString &message : messages) {
        const qsizetype space = message.indexOf(QLatin1Char(' '));
        listener.publish(kBase + QLatin1Char('/') + message.left(space), message.mid(space + 1).toUtf8());
    }
    QVERIFY(listener.waitFor(kResult, size_t(results.size())));
    QStringList got;
    qint64 sequence = 0;
    for (const Received &result : listener.on(kResult)) {
        const QJsonObject object = json(result.payload);
        got << (object.value(QStringLiteral("result")).toString() + QLatin1Char(' ') +
                object.value(QStringLiteral("reason")).toString())
                   .trimmed();
        QVERIFY(object.value(QStringLiteral("sequence")).toInteger() > sequence);
        sequence = object.value(QStringLiteral("sequence")).toInteger();
    }
    QCOMPARE(got, results);
    QCOMPARE(rig.writes(), frames);
    // After the commands, the state as the box holds it.
    QVERIFY(QTest::qWaitFor(
        [&] {
            const std::vector<Received> states = listener.on(kState);
            return !states.empty() &&
                   json(states.back().payload).value(QStringLiteral("active_input")) == QStringLiteral("top");
        },
        5000));
    if (!write) {
        QVERIFY2(rig.logText.contains(QStringLiteral("refused set/input: writes are off")),
                 qPrintable(rig.logText));
    }
}

// A command the broker kept, from before the bridge started, is refused; clearing it is no
// command; one published after it without retain is applied.
void TestMqttBridge::retainedCommands() {
    Listener listener(broker_->port(), {kResult});
    QVERIFY(listener.connectNow());
    listener.publish(kBase + QStringLiteral("/set/input"), "matrix-swap", true);
    BridgeRig rig(broker_->port(), {true, false});
    QVERIFY(rig.start());
    QVERIFY(listener.waitFor(kResult));
    const QJsonObject refused = json(listener.on(kResult).front().payload);
    QCOMPARE(refused.value("result").toString(), QStringLiteral("refused"));
    QCOMPARE(refused.value("reason").toString(),
             QStringLiteral("retained command (publish commands without retain)"));
    QCOMPARE(refused.value("command").toString(), QStringLiteral("set input=matrix-swap"));
    listener.publish(kBase + QStringLiteral("/set/input"), {}, true);
    listener.publish(kBase + QStringLiteral("/set/input"), "bot");
    QVERIFY(listener.waitFor(kResult, 2));
    const QJsonObject applied = json(listener.on(kResult).back().payload);
    QCOMPARE(applied.value("result").toString(), QStringLiteral("applied"));
    QCOMPARE(applied.value("sequence").toInt(), 2);
    QCOMPARE(rig.writes(), QList<QByteArray>{QByteArray::fromHex("1004E00002")});
}

// What the decoders fail is refused with their findings, even with packets allowed; a change is
// journaled and published, and undone on the undo topic.
void TestMqttBridge::checkedJournaledUndone() {
    QTemporaryDir journal;
    BridgeRig rig(broker_->port(), {true, true}, {}, {}, {}, journal.path());
    Listener listener(broker_->port(), {kState, kResult, kJournal});
    QVERIFY(listener.connectNow());
    QVERIFY(rig.start());
    QVERIFY(listener.waitFor(kState));
    rig.box.clearLog();
    listener.publish(kBase + QStringLiteral("/cec/send"),
                     "50:04:00:00:00:00:00:00:00:00:00:00:00:00:00:00:00");
    listener.publish(kBase + QStringLiteral("/hdr/send"), "87:01:1a:00:02:00");
    listener.publish(kBase + QStringLiteral("/set/input"), "bot");
    listener.publish(kBase + QStringLiteral("/undo"), "last");
    QVERIFY(listener.waitFor(kResult, 4));
    QStringList results;
    for (const Received &result : listener.on(kResult)) {
        const QJsonObject object = json(result.payload);
        results << (object.value("result").toString() + QLatin1Char(' ') + object.value("reason").toString())
                       .trimmed();
    }
    QCOMPARE(results, (QStringList{"refused Failure: Length: 17 bytes: a message holds at most 16",
                                   "refused Failure: Length: the header states 26 payload bytes, 2 follow",
                                   "applied", "applied"}));
    QCOMPARE(rig.writes(),
             (QList<QByteArray>{QByteArray::fromHex("1004E00002"), QByteArray::fromHex("1004E00001")}));
    QVERIFY(listener.waitFor(kJournal, 2));
    const QJsonObject set = json(listener.on(kJournal).front().payload);
    QCOMPARE(set.value("change").toString(), QStringLiteral("set input=bot"));
    QCOMPARE(set.value("front_end").toString(), QStringLiteral("bridge"));
    QCOMPARE(set.value("client").toString(), QStringLiteral("test"));
    QCOMPARE(set.value("before").toObject().value("settings").toObject().value("input").toString(),
             QStringLiteral("top"));
    QCOMPARE(set.value("outcome").toString(), QStringLiteral("applied"));
    QCOMPARE(json(listener.on(kJournal).back().payload).value("change").toString(),
             QStringLiteral("undo 1 (set input=bot)"));
}

// The chain's findings, retained: the demo chain's ten; after a command changes the automix
// algorithm the doctor reads the EDIDs again and finds what is left. It sends nothing itself.
void TestMqttBridge::doctorSensor() {
    BridgeRig rig(broker_->port(), {true, false});
    Listener listener(broker_->port(), {kDoctor, kResult});
    QVERIFY(listener.connectNow());
    QVERIFY(rig.start());
    QVERIFY(listener.waitFor(kDoctor));
    const QJsonObject first = json(listener.on(kDoctor).back().payload);
    QCOMPARE(first.value("count").toInt(), 10);
    QCOMPARE(first.value("findings").toArray().at(8).toObject().value("text").toString(),
             QStringLiteral(
                 "DTS:X: BOT (DENON-AVR) states it (8 channels); the box's EDID does not (DTS-HD without "
                 "DTS:X). The automix algorithm is Min Mixed Capabilities, which keeps the audio both "
                 "outputs state, and TOP (LG TV) states DTS-HD without DTS:X."));
    QCOMPARE(first.value("fixes").toArray().at(2).toObject().value("fix").toString(),
             QStringLiteral("automix algorithm Max Audio, Min Video"));
    QVERIFY(listener.on(kDoctor).back().retained || listener.on(kDoctor).size() == 1);
    QCOMPARE(rig.writes(), QList<QByteArray>());
    listener.publish(kBase + QStringLiteral("/set/automix-algo"), "max-audio-min-video");
    QVERIFY(listener.waitFor(kDoctor, 2));
    QCOMPARE(json(listener.on(kDoctor).back().payload).value("count").toInt(), 6);
    QCOMPARE(rig.writes(), QList<QByteArray>{QByteArray::fromHex("1004E02001")});
}

// The broker is killed and started again: the bridge is back within its back-off and
// announces the box again (the new broker kept nothing).
void TestMqttBridge::brokerComesBack() {
    BridgeRig rig(broker_->port(), {true, true});
    QVERIFY(rig.start());
    QSignalSpy lost(rig.client.get(), &MqttClient::disconnected);
    broker_->kill();
    QVERIFY(lost.wait(5000));
    QVERIFY(!rig.client->isConnected());
    QString error;
    QVERIFY2(broker_->start(&error), qPrintable(error));
    QVERIFY(QTest::qWaitFor([&] { return rig.client->isConnected(); }, 2000));
    Listener listener(broker_->port(), {kState, kAvailability,
                                        QStringLiteral("homeassistant/sensor/test_2023/resolution/config")});
    QVERIFY(listener.connectNow());
    QVERIFY(listener.waitFor(kState));
    QVERIFY(listener.waitFor(kAvailability));
    QCOMPARE(listener.on(kAvailability).back().payload, QByteArray("online"));
    QVERIFY(listener.waitFor(QStringLiteral("homeassistant/sensor/test_2023/resolution/config")));
    // Commands work again. Bad payloads through a real broker are refused before any frame:
    // 1 MB, not UTF-8, not hex; the good one after them goes out.
    Listener results(broker_->port(), {kResult}, QStringLiteral("results"));
    QVERIFY(results.connectNow());
    rig.box.clearLog();
    listener.publish(kBase + QStringLiteral("/cec/send"), QByteArray(1024 * 1024, ':'));
    listener.publish(kBase + QStringLiteral("/set/input"), QByteArray("b\xFF"));
    listener.publish(kBase + QStringLiteral("/hdr/send"), QByteArray("87:01:ZZ"));
    listener.publish(kBase + QStringLiteral("/cec/send"), QByteArray("40:04"));
    QVERIFY(results.waitFor(kResult, 4));
    QStringList got;
    for (const Received &result : results.on(kResult)) {
        got << json(result.payload).value(QStringLiteral("result")).toString();
    }
    QCOMPARE(got, (QStringList{"refused", "refused", "refused", "applied"}));
    QCOMPARE(rig.writes().size(), 2); // the message, then its activation
}

// Availability follows the box: offline when it is pulled out, online when it is back.
void TestMqttBridge::boxUnpluggedAndBack() {
    BridgeRig rig(broker_->port(), {});
    Listener listener(broker_->port(), {kAvailability});
    QVERIFY(listener.connectNow());
    QVERIFY(rig.start());
    QVERIFY(listener.waitFor(kAvailability));
    QCOMPARE(listener.on(kAvailability).back().payload, QByteArray("online"));
    rig.box.unplug();
    rig.tick();
    QVERIFY(listener.waitFor(kAvailability, 2));
    QCOMPARE(listener.on(kAvailability).back().payload, QByteArray("offline"));
    rig.box.plugIn();
    rig.tick();
    QVERIFY(listener.waitFor(kAvailability, 3));
    QCOMPARE(listener.on(kAvailability).back().payload, QByteArray("online"));
}

// Home Assistant started again says so: the bridge announces the box again.
void TestMqttBridge::homeAssistantOnline() {
    BridgeRig rig(broker_->port(), {});
    const QString topic = QStringLiteral("homeassistant/sensor/test_2023/hdr_format/config");
    Listener listener(broker_->port(), {topic});
    QVERIFY(listener.connectNow());
    QVERIFY(rig.start());
    QVERIFY(listener.waitFor(topic));
    listener.publish(QStringLiteral("homeassistant/status"), "offline");
    listener.publish(QStringLiteral("homeassistant/status"), "online");
    QVERIFY(listener.waitFor(topic, 2));
    QTest::qWait(100);
    QCOMPARE(listener.on(topic).size(), size_t(2));
}

// A bridge that dies leaves "offline" through its will; one that is stopped says it itself.
void TestMqttBridge::lastWillAndShutDown() {
    Listener listener(broker_->port(), {kAvailability});
    QVERIFY(listener.connectNow());
    {
        BridgeRig rig(broker_->port(), {});
        QVERIFY(rig.start());
        QVERIFY(listener.waitFor(kAvailability));
        rig.bridge->shutDown();
        QVERIFY(listener.waitFor(kAvailability, 2));
        QCOMPARE(listener.on(kAvailability).back().payload, QByteArray("offline"));
    }
    // No will after a clean stop.
    QTest::qWait(200);
    QCOMPARE(listener.on(kAvailability).size(), size_t(2));
    listener.clear();
    {
        BridgeRig rig(broker_->port(), {});
        QVERIFY(rig.start());
        QVERIFY(listener.waitFor(kAvailability));
        QCOMPARE(listener.on(kAvailability).back().payload, QByteArray("online"));
        // Gone without a DISCONNECT: the broker sends the will.
    }
    QVERIFY(listener.waitFor(kAvailability, 2));
    QCOMPARE(listener.on(kAvailability).back().payload, QByteArray("offline"));
}

// A broker that wants a login: the right password connects, a wrong one is refused and
// tried again later, never taken as connected.
void TestMqttBridge::password() {
    BridgeRig wrong(broker_->port(), {}, {}, QStringLiteral("bridge"), QByteArray("guess"));
    QSignalSpy refused(wrong.client.get(), &MqttClient::disconnected);
    QString error;
    QVERIFY(wrong.client->start(&error));
    QVERIFY(refused.wait(5000));
    QVERIFY2(refused.first().first().toString().contains(QStringLiteral("refused")),
             qPrintable(refused.first().first().toString()));
    QVERIFY(!wrong.client->isConnected());
    BridgeRig right(broker_->port(), {}, {}, QStringLiteral("bridge"), QByteArray("s3cret"));
    QVERIFY(right.start());
}

// A broker on TLS: checked against the CA the bridge is given, refused against others.
void TestMqttBridge::tls() {
    const auto rigWithCa = [&](const QString &caFile) {
        ClientSettings settings = clientSettings(broker_->port(), QStringLiteral("tls"));
        settings.tls = true;
        settings.caFile = caFile;
        return std::make_unique<MqttClient>(settings);
    };
    const std::unique_ptr<MqttClient> trusting = rigWithCa(broker_->certificateFile());
    QString error;
    QVERIFY2(trusting->start(&error), qPrintable(error));
    QVERIFY(QTest::qWaitFor([&] { return trusting->isConnected(); }, 5000));
    QVERIFY(trusting->publish(kState, "{}", false));

    const std::unique_ptr<MqttClient> system = rigWithCa({});
    QSignalSpy refused(system.get(), &MqttClient::disconnected);
    QVERIFY(system->start(&error));
    QVERIFY(refused.wait(5000));
    QVERIFY(!system->isConnected());
}

QTEST_GUILESS_MAIN(TestMqttBridge)
#include "tst_mqtt_bridge.moc"
