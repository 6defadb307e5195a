#include "monitor_figures.h"

#include "core/box/watcher.h"
#include "signal_history.h"
#include "sim/simulated_box.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <optional>

namespace bench {
namespace {

constexpr int kPollsPerDay = 86400;
constexpr int kMemoryFirstPolls = 1000;
constexpr int kMonitorSettleMs = 2000;
constexpr int kMonitorSeconds = 60;
constexpr double kIntervalMs = 1000;
constexpr double kLatencyAboveIntervalMs = 50;
constexpr double kScriptStepMs = sim::SimulatedBox::kScriptStepMs;

// Reads the monitor's JSON Lines as they come: the time of its state line and the latency of
// every change after it, each held against the script step it belongs to.
struct MonitorReading {
    std::optional<QDateTime> state;
    std::vector<double> latencies;
    QDateTime lastStep;
};

void readLines(QProcess &monitor, MonitorReading &reading) {
    while (monitor.canReadLine()) {
        const QJsonObject line = QJsonDocument::fromJson(monitor.readLine()).object();
        const QDateTime time =
            QDateTime::fromString(line.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
        const QString event = line.value(QStringLiteral("event")).toString();
        if (event == QLatin1String("state")) {
            reading.state = time;
            continue;
        }
        if (event != QLatin1String("changed") || !reading.state) {
            continue;
        }
        // The first change of a step: the step began at a whole number of steps after the
        // state (the source is scripted from the monitor's start).
        const double since = double(reading.state->msecsTo(time));
        const double step = std::floor(since / kScriptStepMs) * kScriptStepMs;
        const QDateTime stepTime = reading.state->addMSecs(qint64(step));
        if (stepTime != reading.lastStep) {
            reading.lastStep = stepTime;
            reading.latencies.push_back(since - step);
        }
    }
}

// One day of polls at one a second on the fake clock. With a history, resident memory is read
// once the history holds its 10,000 rows; without, after the first 1,000 polls.
struct DayOfPolls {
    double atStart = 0;
    double atEnd = 0;
    int rows = 0;
    qint64 events = 0;
};

DayOfPolls dayOfPolls(bool withHistory) {
    sim::FakeLinkClock clock(1000);
    sim::SimulatedBox box(clock);
    box.setLogging(false);
    box.setLively(true);
    struct Quiet : BoxReporter {
        void statusMessage(const char *, int) override {}
        void transferProgress(int, int) override {}
        void linkWarning(const char *) override {}
        void consoleNote(const char *) override {}
    } reporter;
    BoxSession session(box, clock, reporter);
    watch::Watcher watcher(session, clock);
    SignalHistory history;
    DayOfPolls day;
    for (int poll = 1; poll <= kPollsPerDay; ++poll) {
        const std::vector<watch::WatchEvent> seen = watcher.poll();
        day.events += qint64(seen.size());
        if (withHistory) {
            history.add(seen, QDateTime::currentDateTime());
        }
        clock.advance(1000);
        const bool settled = withHistory
                                 ? day.atStart == 0 && history.rowCount() == int(SignalHistory::kMaxEntries)
                                 : poll == kMemoryFirstPolls;
        if (settled) {
            day.atStart = currentResidentBytes();
        }
    }
    day.atEnd = currentResidentBytes();
    day.rows = history.rowCount();
    return day;
}

} // namespace

int watcherMemoryRun() {
    const DayOfPolls watcherAlone = dayOfPolls(false);
    const DayOfPolls withHistory = dayOfPolls(true);
    std::printf("%.0f %.0f %.0f %.0f %d %lld\n", watcherAlone.atStart, watcherAlone.atEnd,
                withHistory.atStart, withHistory.atEnd, withHistory.rows,
                static_cast<long long>(withHistory.events));
    return 0;
}

void monitorFigures(std::vector<Figure> &figures, const char *self, const char *watcherMemoryMode) {
    Figure growth{"Watcher resident growth, poll 1,000 to 86,400 (fake clock)", "MB", {}, {}, 1, "<= 1 MB"};
    Figure rows{"Signal History rows after 86,400 polls", "rows", {}, {}, 10000, "<= 10,000"};
    Figure full{"Resident growth once the history is full, to poll 86,400", "MB", {}, {}, 1, "<= 1 MB"};
    QProcess child;
    child.start(QString::fromLocal8Bit(self), {QString::fromLatin1(watcherMemoryMode)});
    child.waitForFinished(-1);
    double alone[2] = {};
    double history[2] = {};
    int historyRows = 0;
    long long events = 0;
    if (child.exitCode() == 0 &&
        std::sscanf(child.readAllStandardOutput().constData(), "%lf %lf %lf %lf %d %lld", &alone[0],
                    &alone[1], &history[0], &history[1], &historyRows, &events) == 6) {
        growth.runs.push_back(megabytes(alone[1] - alone[0]));
        rows.runs.push_back(historyRows);
        full.runs.push_back(megabytes(history[1] - history[0]));
        std::fprintf(stderr, "bench: %lld events in a day of polls\n", events);
    } else {
        std::fprintf(stderr, "bench: the watcher memory run failed\n");
    }

    Figure cpu{"veltrika --demo monitor, CPU over 60 s", "% of a core", {}, {}, 0.5, "<= 0.5 %"};
    Figure latency{"Change of the simulated input to stdout",
                   "ms",
                   {},
                   {},
                   kIntervalMs + kLatencyAboveIntervalMs,
                   "<= interval + 50 ms"};
    QTemporaryDir dir;
    QProcess monitor;
    monitor.setStandardErrorFile(QProcess::nullDevice());
    monitor.start(QStringLiteral(VELTRIKA_PATH),
                  {QStringLiteral("--demo=") + dir.filePath(QStringLiteral("demo-box")),
                   QStringLiteral("monitor"), QStringLiteral("--json")});
    if (!monitor.waitForStarted()) {
        std::fprintf(stderr, "bench: veltrika monitor did not start\n");
        figures.push_back(cpu);
        figures.push_back(latency);
        return;
    }
    MonitorReading reading;
    const double start = wallNowMs();
    while (wallNowMs() - start < kMonitorSettleMs) {
        monitor.waitForReadyRead(50);
        readLines(monitor, reading);
    }
    const std::optional<double> cpuBefore = processCpuSeconds(pid_t(monitor.processId()));
    const double measureStart = wallNowMs();
    while (wallNowMs() - measureStart < kMonitorSeconds * 1000.0) {
        monitor.waitForReadyRead(100);
        readLines(monitor, reading);
    }
    const std::optional<double> cpuAfter = processCpuSeconds(pid_t(monitor.processId()));
    const double measured = wallNowMs() - measureStart;
    ::kill(pid_t(monitor.processId()), SIGTERM);
    const bool stopped = monitor.waitForFinished(5000) && monitor.exitStatus() == QProcess::NormalExit &&
                         monitor.exitCode() == 0;
    readLines(monitor, reading);
    if (cpuBefore && cpuAfter && stopped) {
        cpu.runs.push_back((*cpuAfter - *cpuBefore) * 1000 / measured * 100);
    } else {
        std::fprintf(stderr, "bench: the monitor did not end with 0 on SIGTERM\n");
    }
    // The worst change, not a median: every change must come in time.
    if (!reading.latencies.empty()) {
        latency.runs.push_back(*std::max_element(reading.latencies.begin(), reading.latencies.end()));
    }
    figures.push_back(growth);
    figures.push_back(rows);
    figures.push_back(full);
    figures.push_back(cpu);
    figures.push_back(latency);
}

} // namespace bench
