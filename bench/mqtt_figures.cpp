#include "mqtt_figures.h"

#include "bridge.h"
#include "broker.h"
#include "sim/simulated_box.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>
#include <cstdio>

namespace bench {
namespace {

constexpr uint32_t kIntervalMs = 1000;
constexpr double kLatencyAboveIntervalMs = 100;
constexpr double kScriptStepMs = sim::SimulatedBox::kScriptStepMs;
constexpr int kSettleMs = 2000;
constexpr int kCpuSeconds = 60;
constexpr double kCpuLimitPercent = 1;
constexpr int kBurst = 1000;
constexpr int kBurstWaitMs = 300000;
constexpr int kStopWaitMs = 5000;
constexpr int kConnectWaitMs = 5000;
constexpr int kPollsPerDay = 86400;
constexpr int kMemoryFirstPolls = 1000;
constexpr int kDrainMs = 1000; // for the broker's acknowledgements before memory is read
constexpr int kPollsPerStep = static_cast<int>(sim::SimulatedBox::kScriptStepMs / kIntervalMs);
constexpr int kStepDrainMs = 2;
constexpr double kPercent = 100;
const QString kClientId = QStringLiteral("bench");
const QString kBase = QStringLiteral("veltrika/bench_2023");

// One command of the burst: what it sends and what must come back. Three in five are
// refused: an unknown value, an unknown setting, a payload that is not UTF-8.
struct BurstCommand {
    const char *topic; // after "<prefix>/<id>/"
    QByteArray payload;
    const char *expected;
};

BurstCommand burstCommand(int index) {
    const bool even = (index / 5) % 2 == 0;
    switch (index % 5) {
    case 0:
        return {"set/input", even ? "bot" : "top", "applied"};
    case 1:
        return {"set/green-led", even ? "off" : "on", "applied"};
    case 2:
        return {"set/input", "sideways", "refused"};
    case 3:
        return {"set/no-such-setting", "on", "refused"};
    default:
        return {"set/input", QByteArray("\xff\xfe", 2), "refused"};
    }
}

// What a client of the broker saw of the bridge, each message with its arrival.
struct Seen {
    double startMs = 0; // before the bridge's process started: its script starts later
    std::vector<double> latencies;
    double lastStep = -1;
    std::vector<QJsonObject> results;
    double lastResultMs = 0;
};

void record(Seen &seen, const QString &topic, const QByteArray &payload) {
    const double now = wallNowMs();
    const QJsonObject object = QJsonDocument::fromJson(payload).object();
    if (topic == kBase + QStringLiteral("/result")) {
        seen.results.push_back(object);
        seen.lastResultMs = now;
        return;
    }
    if (topic != kBase + QStringLiteral("/event") ||
        object.value(QStringLiteral("event")).toString() != QLatin1String("changed")) {
        return;
    }
    // The first change of a script step: the step began a whole number of steps after the
    // source was made lively, which is after the process started. Counting from the start
    // makes each latency an upper bound by the bridge's start-up.
    const double since = now - seen.startMs;
    const double step = std::floor(since / kScriptStepMs) * kScriptStepMs;
    if (step > 0 && step != seen.lastStep) {
        seen.lastStep = step;
        seen.latencies.push_back(since - step);
    }
}

// The results in the order they came against the burst: sequence 1..1000 in order, each
// outcome as expected. Returns how many do not match (missing ones included).
int burstMismatches(const std::vector<QJsonObject> &results) {
    int mismatches = std::abs(kBurst - static_cast<int>(results.size()));
    for (size_t index = 0; index < std::min(results.size(), size_t(kBurst)); ++index) {
        const QJsonObject &result = results[index];
        const BurstCommand command = burstCommand(static_cast<int>(index));
        const bool ok = result.value(QStringLiteral("sequence")).toInteger() == qint64(index) + 1 &&
                        result.value(QStringLiteral("topic")).toString() == QLatin1String(command.topic) &&
                        result.value(QStringLiteral("result")).toString() == QLatin1String(command.expected);
        if (!ok) {
            if (mismatches == 0) {
                std::fprintf(stderr, "bench: command %zu: %s\n", index + 1,
                             QJsonDocument(result).toJson(QJsonDocument::Compact).constData());
            }
            ++mismatches;
        }
    }
    return mismatches;
}

// `veltrika-mqtt --demo` as a user starts it: a minute at the default interval, then the burst.
void processFigures(uint16_t port, std::vector<Figure> &figures) {
    Figure latency{"Change at the demo box to a broker client",
                   "ms",
                   {},
                   {},
                   kIntervalMs + kLatencyAboveIntervalMs,
                   "<= interval + 100 ms"};
    Figure cpu{
        "veltrika-mqtt --demo, CPU over 60 s at 1 Hz", "%", {}, {}, kCpuLimitPercent, "<= 1 % of a core"};
    Figure lost{"Burst of 1,000 sets: lost, late or wrong", "cmds", {}, {}, 0, "0"};
    Figure burst{"Burst of 1,000 sets, first sent to last result", "ms", {}, {}, {}, "-"};
    const auto done = [&] {
        for (const Figure &figure : {latency, cpu, lost, burst}) {
            figures.push_back(figure);
        }
    };

    if (port == 0) { // no broker
        return done();
    }
    QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("mqtt.conf")));
    if (!config.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "bench: cannot write the bridge's configuration\n");
        return done();
    }
    config.close();
    Seen seen;
    mqtt::test::Listener listener(port, {kBase + QStringLiteral("/event"), kBase + QStringLiteral("/result")},
                                  QStringLiteral("bench-client"));
    QObject::connect(
        &listener.client(), &mqtt::MqttClient::messageReceived,
        [&seen](const QString &topic, const QByteArray &payload, bool) { record(seen, topic, payload); });
    if (!listener.connectNow()) {
        std::fprintf(stderr, "bench: the broker's client did not connect\n");
        return done();
    }

    QProcess bridge;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.path()); // no named configurations
    bridge.setProcessEnvironment(environment);
    bridge.setStandardOutputFile(QProcess::nullDevice());
    bridge.setStandardErrorFile(dir.filePath(QStringLiteral("bridge.log")));
    seen.startMs = wallNowMs();
    bridge.start(QStringLiteral(VELTRIKA_MQTT_PATH),
                 {QStringLiteral("--demo=") + dir.filePath(QStringLiteral("demo-box")),
                  QStringLiteral("--config"), config.fileName(), QStringLiteral("--broker"),
                  QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("--client-id"), kClientId,
                  QStringLiteral("--interval"), QString::number(kIntervalMs),
                  QStringLiteral("--allow-write")});
    if (!bridge.waitForStarted()) {
        std::fprintf(stderr, "bench: veltrika-mqtt did not start\n");
        return done();
    }
    const auto pid = static_cast<pid_t>(bridge.processId());
    QTest::qWait(kSettleMs);
    const std::optional<double> cpuBefore = processCpuSeconds(pid);
    const double measureStart = wallNowMs();
    QTest::qWait(kCpuSeconds * 1000);
    const std::optional<double> cpuAfter = processCpuSeconds(pid);
    const double measured = wallNowMs() - measureStart;
    if (cpuBefore && cpuAfter) {
        cpu.runs.push_back((*cpuAfter - *cpuBefore) * 1000 / measured * kPercent);
    }
    // The worst change, not a median: every change must come in time.
    if (!seen.latencies.empty()) {
        latency.runs.push_back(*std::max_element(seen.latencies.begin(), seen.latencies.end()));
        std::fprintf(stderr, "bench: %zu changes of the script step seen\n", seen.latencies.size());
    }

    seen.results.clear();
    const double burstStart = wallNowMs();
    for (int index = 0; index < kBurst; ++index) {
        const BurstCommand command = burstCommand(index);
        listener.publish(kBase + QLatin1Char('/') + QLatin1String(command.topic), command.payload);
    }
    if (!QTest::qWaitFor([&] { return seen.results.size() >= size_t(kBurst); }, kBurstWaitMs)) {
        std::fprintf(stderr, "bench: %zu results of the burst came\n", seen.results.size());
    }
    QTest::qWait(kDrainMs); // a result beyond the thousandth would be one too many
    lost.runs.push_back(burstMismatches(seen.results));
    if (seen.results.size() == size_t(kBurst)) {
        burst.runs.push_back(seen.lastResultMs - burstStart);
    }

    ::kill(pid, SIGTERM);
    if (!bridge.waitForFinished(kStopWaitMs) || bridge.exitStatus() != QProcess::NormalExit ||
        bridge.exitCode() != 0) {
        std::fprintf(stderr, "bench: veltrika-mqtt did not end with 0 on SIGTERM\n");
        bridge.kill();
        bridge.waitForFinished();
    }
    done();
}

// A day of polls at one a second on the fake clock, the bridge connected to the broker all
// along and the simulated source changing every 8 s of it.
struct DayOfPolls {
    double atStart = 0;
    double atEnd = 0;
};

} // namespace

int bridgeMemoryRun(const char *port) {
    sim::FakeLinkClock clock(1000);
    sim::SimulatedBox box(clock);
    box.setLogging(false);
    box.setLively(true);
    QFile nowhere(QProcess::nullDevice());
    if (!nowhere.open(QIODevice::WriteOnly)) {
        return 1;
    }
    QTextStream logStream(&nowhere);
    mqtt::BridgeLog log(logStream, false);
    mqtt::LogReporter reporter(log);
    BoxSession session(box, clock, reporter);
    watch::Watcher watcher(session, clock, kIntervalMs, kIntervalMs);
    mqtt::ClientSettings settings =
        mqtt::test::clientSettings(static_cast<uint16_t>(std::atoi(port)), QStringLiteral("bench-day"));
    const mqtt::Topics topics{QStringLiteral("veltrika/bench-day_2023")};
    settings.willTopic = topics.availability();
    settings.willPayload = "offline";
    mqtt::MqttClient client(settings);
    QTemporaryDir configurations;
    mqtt::Bridge bridge(session, clock, watcher, client,
                        {topics,
                         QStringLiteral("homeassistant"),
                         QStringLiteral("bench-day_2023"),
                         {},
                         configurations.path()},
                        log);
    QString error;
    if (!client.start(&error) || !QTest::qWaitFor([&] { return client.isConnected(); }, kConnectWaitMs)) {
        std::fprintf(stderr, "bench: the bridge did not connect: %s\n", qPrintable(error));
        return 1;
    }
    bridge.start();
    DayOfPolls day;
    for (int poll = 1; poll <= kPollsPerDay; ++poll) {
        clock.advance(kIntervalMs);
        bridge.poll();
        // The script changes the source every 8 polls: its messages reach the broker, and
        // its acknowledgements come back, before the next change, as they would in a day.
        if (poll % kPollsPerStep == 0) {
            QTest::qWait(kStepDrainMs);
        }
        if (poll == kMemoryFirstPolls) {
            QTest::qWait(kDrainMs);
            day.atStart = currentResidentBytes();
        }
    }
    QTest::qWait(kDrainMs);
    day.atEnd = currentResidentBytes();
    const bool connected = client.isConnected();
    bridge.shutDown();
    std::printf("%.0f %.0f %d\n", day.atStart, day.atEnd, connected ? 1 : 0);
    return 0;
}

void mqttFigures(std::vector<Figure> &figures, const char *self, const char *bridgeMemoryMode) {
    mqtt::test::Broker broker;
    QString error;
    if (!broker.start(&error)) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(error));
    }
    Figure growth{"Bridge resident growth, poll 1,000 to 86,400", "MB", {}, {}, 1, "<= 1 MB"};
    if (error.isEmpty()) {
        QProcess child;
        child.start(QString::fromLocal8Bit(self),
                    {QString::fromLatin1(bridgeMemoryMode), QString::number(broker.port())});
        child.waitForFinished(-1);
        std::array<double, 2> resident{};
        int connected = 0;
        if (child.exitCode() == 0 &&
            std::sscanf(child.readAllStandardOutput().constData(), "%lf %lf %d", &resident[0], &resident[1],
                        &connected) == 3 &&
            connected == 1) {
            growth.runs.push_back(megabytes(resident[1] - resident[0]));
        } else {
            std::fprintf(stderr, "bench: the bridge's day of polls failed or lost the broker\n");
        }
    }
    figures.push_back(growth);
    processFigures(error.isEmpty() ? broker.port() : 0, figures);
}

} // namespace bench
