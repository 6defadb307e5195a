// veltrika-bench: drives the real window on the offscreen platform against the simulated
// box on the real clock and sets every figure beside the floor that the protocol's own
// waits put under it. scripts/bench builds it optimised and runs it.

#include "VeltrikaForm.h"
#include "box_journal.h"
#include "core/box/status_record.h"
#include "core/box/status_texts.h"
#include "core/box/usbxpress.h"
#include "core/edid/edid_decode.h"
#include "core/edid/edid_report.h"
#include "core/edid/spaced_hex.h"
#include "core/signal/infoframe_report.h"
#include "decode_figures.h"
#include "doctor_figures.h"
#include "edid_details.h"
#include "edid_text.h"
#include "gate_figures.h"
#include "measure.h"
#include "monitor_figures.h"
#ifdef VELTRIKA_BENCH_MQTT
#include "mqtt_figures.h"
#endif
#include "run_cli.h"
#include "signal_details.h"
#include "sim/simulated_box.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QTimerEvent>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace {

using bench::Figure;

// The waits the protocol fixes between frames make the floor of each transfer.
constexpr double kAfterFetchMs = 100;
constexpr double kAfterFirstBusyPollMs = 10;
constexpr int kEdidWindowWrites = 32;
constexpr double kAfterWindowWriteMs = 30;
constexpr double kEdidReadFloorMs = kAfterFetchMs + kAfterFirstBusyPollMs;
constexpr double kEdidWriteFloorMs = kEdidWindowWrites * kAfterWindowWriteMs;
constexpr int kStatusIntervalMs = 3000;
constexpr uint8_t kCustomEdidMode = 3;

constexpr int kTransferRuns = 11;
constexpr int kStartupRuns = 11;
constexpr int kQuickRuns = 101;
constexpr int kWarmUpTicks = 3; // the first tick also re-reads the EDID
constexpr int kMemoryRuns = 3;
constexpr int kMemoryFirstTicks = 100;
constexpr int kMemoryLastTick = 10000;
constexpr int kDemoRuns = 3;
constexpr int kDemoSettleMs = 2000; // after the first paint, before the idle figure starts
constexpr int kIdleSeconds = 30;
constexpr double kPaintWaitMs = 10000; // a window that has not painted by then fails its run
constexpr int kDemoStopMs = 5000;
constexpr double kPercent = 100;
constexpr double kNsPerMs = 1e6;

constexpr int kDecodeRuns = 101;
constexpr int kDecodeBatch = 100; // decodes timed together, for the clock's resolution
constexpr int kOracleRuns = 5;    // edid-decode processes per file
constexpr double kUsPerMs = 1000;

const char *const kMemoryMode = "--memory";
// Only the command line's figure: it takes a few seconds, the whole bench minutes.
const char *const kCliMode = "--cli";
constexpr int kCliRuns = 21;
constexpr double kCliAboveFloorMs = 50;
const char *const kDecodersMode = "--decoders";
// The decode processes alone (about a minute): `--decode [FOLDER]`, FOLDER giving the 1,000 EDIDs.
const char *const kDecodeMode = "--decode";
const char *const kDetailsMode = "--details";
// The EDID write alone, on a clock that never waits, for an instruction profile of what the
// write does beside its waits: valgrind --tool=callgrind veltrika-bench --write-profile
const char *const kWriteProfileMode = "--write-profile";
constexpr int kWriteProfileRuns = 5;
// The EDID figures alone, and where the write's wall time goes beside its waits.
const char *const kTransfersMode = "--transfers";
// What the gate and the journal add to a setting change, alone.
const char *const kGateMode = "--gate";
// The chain's doctor alone: its diagnosis of the demo's chain and of every TV with every receiver.
const char *const kDoctorMode = "--doctor";
// The box over time alone: the watcher's day of polls and a minute of `veltrika monitor`.
const char *const kMonitorMode = "--monitor";
const char *const kWatcherMemoryMode = "--watcher-memory";
// The MQTT bridge alone: its day of polls, a minute of `veltrika-mqtt --demo` and a burst.
const char *const kMqttMode = "--mqtt";
const char *const kBridgeMemoryMode = "--bridge-memory";
constexpr int kDetailsOpenRuns = 21;
constexpr int kCaptureBatch = 10; // captures shown together, for the clock's resolution
const QByteArray kProbeLine = "first-paint-ns ";

// No figure may show a modal box: it would wait for a click that never comes. A box that
// shows anyway is reported and closed, and the bench fails.
class BoxGuard : public QObject {
public:
    BoxGuard() { qApp->installEventFilter(this); }
    ~BoxGuard() override { qApp->removeEventFilter(this); }
    BoxGuard(const BoxGuard &) = delete;
    BoxGuard &operator=(const BoxGuard &) = delete;
    bool sawBox() const { return sawBox_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() != QEvent::Show) {
            return false;
        }
        if (auto *box = qobject_cast<QMessageBox *>(watched)) {
            std::fprintf(stderr, "unexpected box: %s\n", qPrintable(box->text()));
            sawBox_ = true;
            QTimer::singleShot(0, box, &QDialog::reject);
        }
        return false;
    }

private:
    bool sawBox_ = false;
};

// Notes a paint event of any widget of one window.
class PaintSeen : public QObject {
public:
    explicit PaintSeen(QWidget &window) : window_(window) {}
    bool seen = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget *>(watched)->window() == &window_) {
            seen = true;
        }
        return false;
    }

private:
    QWidget &window_;
};

// Runs the event loop until the window's first paint pass is over: the pass has ended
// when the loop returns from the events that carried its paint events.
bool paintWindow(QWidget &window) {
    PaintSeen filter(window);
    qApp->installEventFilter(&filter);
    const double deadline = bench::wallNowMs() + kPaintWaitMs;
    while (!filter.seen && bench::wallNowMs() < deadline) {
        QCoreApplication::processEvents();
    }
    qApp->removeEventFilter(&filter);
    return filter.seen;
}

template <typename Work> double wallMs(Work work) {
    const double start = bench::wallNowMs();
    work();
    return bench::wallNowMs() - start;
}

template <typename Work> double cpuMs(Work work) {
    const double start = bench::processCpuMs();
    work();
    return bench::processCpuMs() - start;
}

void progress(const char *what) {
    std::fprintf(stderr, "bench: %s\n", what);
}

// The window's status timer: QMainWindow keeps timers of its own with other intervals.
int statusTimerId(QObject &window) {
    for (const auto &timer : QAbstractEventDispatcher::instance()->registeredTimers(&window)) {
        if (timer.interval == kStatusIntervalMs) {
            return timer.timerId;
        }
    }
    return 0;
}

void tick(MainWindow &window, int timerId) {
    QTimerEvent event(timerId);
    QCoreApplication::sendEvent(&window, &event);
}

// A window on a box of its own, shown and painted, with a journal as the utility keeps one.
struct Session {
    Session(LinkClock &clock, uint8_t edidMode) : box(clock) {
        // Like the demo's box: no log, which would grow with every call.
        box.setLogging(false);
        box.statusRecord()[record::kEdidMode] = edidMode;
        installPlatform(&box, &clock);
        installJournalDirectory(journal.path());
        window = std::make_unique<MainWindow>();
        window->show();
        paintWindow(*window);
    }
    ~Session() {
        window.reset();
        installJournalDirectory({});
        installPlatform(nullptr, nullptr);
    }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    QTemporaryDir journal;
    sim::SimulatedBox box;
    std::unique_ptr<MainWindow> window;
};

uint8_t factoryEdidMode() {
    return sim::SimulatedBox::factorySettings()[record::kEdidMode];
}

Figure startupFigure(LinkClock &clock) {
    Figure figure{"Start-up to first paint (bench process)", "ms", {}, kEdidReadFloorMs, 400, "<= 400 ms"};
    for (int run = 0; run < kStartupRuns; ++run) {
        sim::SimulatedBox box(clock);
        box.setLogging(false);
        installPlatform(&box, &clock);
        const double start = bench::wallNowMs();
        auto window = std::make_unique<MainWindow>();
        window->show();
        const bool painted = paintWindow(*window);
        const double end = bench::wallNowMs();
        window.reset();
        installPlatform(nullptr, nullptr);
        QCoreApplication::processEvents();
        if (painted) {
            figure.runs.push_back(end - start);
        }
    }
    return figure;
}

// A clock that notes, on the steady clock, when each of its sleeps began and ended.
class TracingClock : public LinkClock {
public:
    explicit TracingClock(LinkClock &inner) : inner_(inner) {}
    uint32_t tickCount() override { return inner_.tickCount(); }
    void sleep(uint32_t ms) override {
        const double start = bench::wallNowMs();
        inner_.sleep(ms);
        sleeps.push_back({start, bench::wallNowMs(), ms});
    }

    struct Sleep {
        double start;
        double end;
        uint32_t asked;
    };
    std::vector<Sleep> sleeps;

private:
    LinkClock &inner_;
};

// Where one write's wall time went beside its waits: the work before the first, between
// them and after the last, and how late the waits ended.
struct WriteSplit {
    Figure before{"Write: work before the first wait", "ms", {}, {}, {}, "-"};
    Figure between{"Write: work between the 32 waits", "ms", {}, {}, {}, "-"};
    Figure after{"Write: work after the last wait", "ms", {}, {}, {}, "-"};
    Figure late{"Write: lateness of the 32 waits", "ms", {}, {}, {}, "-"};

    void add(const std::vector<TracingClock::Sleep> &sleeps, double start, double end) {
        if (sleeps.size() != kEdidWindowWrites) {
            std::fprintf(stderr, "bench: the write waited %zu times\n", sleeps.size());
            return;
        }
        double work = 0;
        double lateness = 0;
        for (size_t i = 0; i < sleeps.size(); ++i) {
            if (i > 0) {
                work += sleeps[i].start - sleeps[i - 1].end;
            }
            lateness += sleeps[i].end - sleeps[i].start - sleeps[i].asked;
        }
        before.runs.push_back(sleeps.front().start - start);
        between.runs.push_back(work);
        after.runs.push_back(end - sleeps.back().end);
        late.runs.push_back(lateness);
    }
};

// The EDID write and read, and the EDID text round trip, on one window in custom EDID mode.
void edidFigures(LinkClock &clock, std::vector<Figure> &figures) {
    TracingClock tracing(clock);
    Session session(tracing, kCustomEdidMode);
    MainWindow &window = *session.window;
    auto *custom = window.findChild<QRadioButton *>(QStringLiteral("customEDID"));
    auto *presets = window.findChild<QComboBox *>(QStringLiteral("cmBEdid"));
    auto *text = window.findChild<QTextEdit *>(QStringLiteral("EDIDtext"));

    Figure write{"EDID write (WriteEDID), wall", "ms",           {}, kEdidWriteFloorMs,
                 kEdidWriteFloorMs * 1.01,       "ratio <= 1.01"};
    Figure read{
        "EDID read (ReadEDID), wall", "ms", {}, kEdidReadFloorMs, kEdidReadFloorMs + 5, "<= floor + 5 ms"};
    WriteSplit split;
    for (int run = 0; run < kTransferRuns; ++run) {
        // The write goes out only in custom mode with the first preset; anything else shows a box.
        custom->setChecked(true);
        presets->setCurrentIndex(0);
        QCoreApplication::processEvents();
        tracing.sleeps.clear();
        const double start = bench::wallNowMs();
        QMetaObject::invokeMethod(&window, "WriteEDID", Qt::DirectConnection);
        const double end = bench::wallNowMs();
        write.runs.push_back(end - start);
        split.add(tracing.sleeps, start, end);
        QCoreApplication::processEvents();
        read.runs.push_back(
            wallMs([&] { QMetaObject::invokeMethod(&window, "ReadEDID", Qt::DirectConnection); }));
        QCoreApplication::processEvents();
    }
    figures.push_back(write);
    figures.push_back(split.before);
    figures.push_back(split.between);
    figures.push_back(split.after);
    figures.push_back(split.late);
    figures.push_back(read);

    // What the write's 32 steps cost to show, without their waits: each step that moves the
    // bar is painted at once.
    Figure steps{"Transfer progress of a write, 32 steps shown, CPU", "ms", {}, {}, 2, "<= 2 ms"};
    for (int run = 0; run < kTransferRuns; ++run) {
        steps.runs.push_back(cpuMs([&] {
            for (int block = 0; block < kEdidWindowWrites; ++block) {
                window.on_ProgressChange(block, kEdidWindowWrites);
            }
            window.on_ProgressChange(0, 0);
        }));
        QCoreApplication::processEvents();
    }
    figures.push_back(steps);

    Figure roundTrip{"renderEdidText + parseEdidText, CPU", "ms", {}, {}, 2, "<= 2 ms"};
    std::array<uint8_t, proto::kEdidSize> image{};
    bool whole = parseEdidText(text->toPlainText(), image) == proto::kEdidSize;
    for (int run = 0; run < kQuickRuns && whole; ++run) {
        roundTrip.runs.push_back(cpuMs([&] {
            renderEdidText(*text, image);
            whole = parseEdidText(text->toPlainText(), image) == proto::kEdidSize;
        }));
        QCoreApplication::processEvents();
    }
    if (!whole) {
        std::fprintf(stderr, "bench: the EDID text did not give back 256 bytes\n");
        roundTrip.runs.clear();
    }
    figures.push_back(roundTrip);
}

// Writes the EDID kWriteProfileRuns times on a clock that keeps time but never waits.
int writeProfileRun() {
    const BoxGuard guard;
    sim::FakeLinkClock clock;
    Session session(clock, kCustomEdidMode);
    MainWindow &window = *session.window;
    window.findChild<QRadioButton *>(QStringLiteral("customEDID"))->setChecked(true);
    window.findChild<QComboBox *>(QStringLiteral("cmBEdid"))->setCurrentIndex(0);
    QCoreApplication::processEvents();
    for (int run = 0; run < kWriteProfileRuns; ++run) {
        QMetaObject::invokeMethod(&window, "WriteEDID", Qt::DirectConnection);
        QCoreApplication::processEvents();
    }
    return guard.sawBox() ? 1 : 0;
}

// What the write's waits alone take on this machine: the clock's sleeps wake late by the
// system's timer latency, which no code above the clock can take back.
Figure sleepFigure(LinkClock &clock) {
    Figure figure{"32 clock sleeps of 30 ms alone, wall", "ms", {}, kEdidWriteFloorMs, {}, "-"};
    for (int run = 0; run < kTransferRuns; ++run) {
        figure.runs.push_back(wallMs([&] {
            for (int block = 0; block < kEdidWindowWrites; ++block) {
                clock.sleep(static_cast<uint32_t>(kAfterWindowWriteMs));
            }
        }));
    }
    return figure;
}

Figure tickFigure(LinkClock &clock) {
    Figure figure{"Status tick, nothing changed, CPU", "ms", {}, {}, 0.5, "<= 0.5 ms"};
    Session session(clock, factoryEdidMode());
    MainWindow &window = *session.window;
    const int timerId = statusTimerId(window);
    if (timerId == 0) {
        return figure;
    }
    for (int run = 0; run < kWarmUpTicks; ++run) {
        tick(window, timerId);
        QCoreApplication::processEvents();
    }
    for (int run = 0; run < kQuickRuns; ++run) {
        figure.runs.push_back(cpuMs([&] { tick(window, timerId); }));
        QCoreApplication::processEvents();
    }
    return figure;
}

// The Details windows on the window of a box of its own: EDID Details made, shown with the
// decoded EDID of the start-up read and painted; and what a status tick adds with Signal
// Details open, a capture that changes every time decoded and laid out.
void detailsFigures(LinkClock &clock, std::vector<Figure> &figures) {
    Figure opening{"EDID Details opening with a decoded EDID, wall", "ms", {}, {}, 100, "<= 100 ms"};
    Figure live{"Live HDR decode per tick in Signal Details, CPU", "ms", {}, {}, 0.1, "<= 0.1 ms"};
    Session session(clock, factoryEdidMode());
    MainWindow &window = *session.window;
    auto *openEdid = window.findChild<QAction *>(QStringLiteral("actionEdidDetails"));
    auto *openSignal = window.findChild<QAction *>(QStringLiteral("actionSignalDetails"));
    if (openEdid == nullptr || openSignal == nullptr) {
        return;
    }
    for (int run = 0; run < kDetailsOpenRuns; ++run) {
        opening.runs.push_back(wallMs([&] {
            openEdid->trigger();
            window.findChild<EdidDetailsWindow *>()->repaint();
        }));
        delete window.findChild<EdidDetailsWindow *>();
        QCoreApplication::processEvents();
    }

    openSignal->trigger();
    auto *signal = window.findChild<SignalDetailsWindow *>();
    QCoreApplication::processEvents();
    std::array<uint8_t, 26> pq = {0x02, 0x00, 0xC2, 0x33, 0xC4, 0x86, 0x4C, 0x1D, 0xB8,
                                  0x0B, 0xD0, 0x84, 0x80, 0x3E, 0x13, 0x3D, 0x42, 0x40,
                                  0xE8, 0x03, 0x32, 0x00, 0xE8, 0x03, 0x90, 0x01};
    std::array<uint8_t, 26> hlg = pq;
    hlg[0] = 0x03;
    for (int run = 0; run < kQuickRuns; ++run) {
        live.runs.push_back(cpuMs([&] {
                                for (int i = 0; i < kCaptureBatch; ++i) {
                                    signal->showCapture(i % 2 == 0 ? pq : hlg);
                                }
                            }) /
                            kCaptureBatch);
        QCoreApplication::processEvents();
    }
    figures.push_back(opening);
    figures.push_back(live);
}

// Runs in a process of its own, so that the peak is the peak of a window and its ticks.
// Prints the peak and the current resident bytes at tick 100 and the current at the last.
int memoryRun() {
    SystemLinkClock clock;
    Session session(clock, factoryEdidMode());
    MainWindow &window = *session.window;
    const int timerId = statusTimerId(window);
    if (timerId == 0) {
        return 1;
    }
    double peakAtFirst = 0;
    double currentAtFirst = 0;
    for (int count = 1; count <= kMemoryLastTick; ++count) {
        tick(window, timerId);
        QCoreApplication::processEvents();
        if (count == kMemoryFirstTicks) {
            peakAtFirst = bench::peakResidentBytes();
            currentAtFirst = bench::currentResidentBytes();
        }
    }
    std::printf("%.0f %.0f %.0f\n", peakAtFirst, currentAtFirst, bench::currentResidentBytes());
    return 0;
}

void memoryFigures(std::vector<Figure> &figures) {
    Figure peak{"Peak resident memory after 100 ticks", "MB", {}, {}, 60, "<= 60 MB"};
    Figure growth{"Resident growth, tick 100 to 10,000", "MB", {}, {}, 1, "<= 1 MB"};
    for (int run = 0; run < kMemoryRuns; ++run) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kMemoryMode)});
        child.waitForFinished(-1);
        double peakAtFirst = 0;
        double currentAtFirst = 0;
        double currentAtLast = 0;
        const QByteArray output = child.readAllStandardOutput();
        if (child.exitCode() != 0 || std::sscanf(output.constData(), "%lf %lf %lf", &peakAtFirst,
                                                 &currentAtFirst, &currentAtLast) != 3) {
            std::fprintf(stderr, "bench: the memory run failed\n");
            continue;
        }
        peak.runs.push_back(bench::megabytes(peakAtFirst));
        growth.runs.push_back(bench::megabytes(currentAtLast - currentAtFirst));
    }
    figures.push_back(peak);
    figures.push_back(growth);
}

// The monotonic time of the demo's first paint in ms, as the probe reports it.
std::optional<double> awaitFirstPaint(QProcess &demo, double deadline) {
    while (bench::wallNowMs() < deadline && demo.state() == QProcess::Running) {
        demo.waitForReadyRead(100);
        while (demo.canReadLine()) {
            const QByteArray line = demo.readLine().trimmed();
            if (line.startsWith(kProbeLine)) {
                return line.mid(kProbeLine.size()).toDouble() / kNsPerMs;
            }
        }
    }
    return std::nullopt;
}

// The demo as a user starts it, with the probe that reports its first paint.
void demoFigures(std::vector<Figure> &figures) {
    Figure firstPaint{"Demo process start to first paint", "ms", {}, kEdidReadFloorMs, {}, "-"};
    Figure idle{"Demo CPU over 30 s of running (ticks incl.)", "%", {}, {}, 1, "<= 1 % of a core"};
    for (int run = 0; run < kDemoRuns; ++run) {
        QProcess demo;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(FIRST_PAINT_PROBE_PATH));
        demo.setProcessEnvironment(environment);
        demo.setStandardOutputFile(QProcess::nullDevice());
        demo.setReadChannel(QProcess::StandardError);
        const double start = bench::wallNowMs();
        demo.start(QStringLiteral(DEMO_PATH), {});
        if (!demo.waitForStarted()) {
            std::fprintf(stderr, "bench: the demo did not start\n");
            continue;
        }
        const std::optional<double> paintedAt = awaitFirstPaint(demo, start + kPaintWaitMs);
        if (paintedAt) {
            firstPaint.runs.push_back(*paintedAt - start);
            std::this_thread::sleep_for(std::chrono::milliseconds(kDemoSettleMs));
            const auto pid = static_cast<pid_t>(demo.processId());
            const std::optional<double> before = bench::processCpuSeconds(pid);
            std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
            const std::optional<double> after = bench::processCpuSeconds(pid);
            if (before && after) {
                idle.runs.push_back((*after - *before) / kIdleSeconds * kPercent);
            }
        } else {
            std::fprintf(stderr, "bench: the demo reported no first paint\n");
        }
        demo.terminate();
        if (!demo.waitForFinished(kDemoStopMs)) {
            demo.kill();
            demo.waitForFinished();
        }
    }
    figures.push_back(firstPaint);
    figures.push_back(idle);
}

// The link's own waits under `veltrika --demo status`: the command run in-process on the
// fake clock, whose time moves only by the waits the link and the box ask for.
double cliStatusFloorMs(const QString &stateFile) {
    sim::FakeLinkClock clock;
    QByteArray out;
    QByteArray err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const cli::Environment environment{.out = outStream,
                                       .err = errStream,
                                       .errIsTerminal = false,
                                       .clock = clock,
                                       .systemUsb = {},
                                       .defaultDemoFile = stateFile};
    const uint32_t start = clock.tickCount();
    if (cli::runCli({QStringLiteral("--demo=") + stateFile, QStringLiteral("status")}, environment) != 0) {
        std::fprintf(stderr, "bench: the in-process status failed\n");
    }
    return clock.tickCount() - start;
}

// `veltrika --demo status` as a script runs it: a whole process, start to exit, on a state
// file that a first command wrote.
Figure cliStatusFigure() {
    QTemporaryDir dir;
    const QString stateFile = dir.filePath(QStringLiteral("demo-box"));
    const auto runCommand = [&stateFile](const QStringList &arguments) {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        const double start = bench::wallNowMs();
        process.start(QStringLiteral(VELTRIKA_PATH),
                      QStringList{QStringLiteral("--demo=") + stateFile} + arguments);
        const bool ok = process.waitForFinished() && process.exitStatus() == QProcess::NormalExit &&
                        process.exitCode() == 0;
        const double elapsed = bench::wallNowMs() - start;
        return ok ? std::optional<double>(elapsed) : std::nullopt;
    };
    if (!runCommand(
            {QStringLiteral("set"), QStringLiteral("input=bot"), QStringLiteral("edid-mode=custom")})) {
        std::fprintf(stderr, "bench: veltrika --demo set failed\n");
    }
    const double floor = cliStatusFloorMs(stateFile);
    char target[32];
    std::snprintf(target, sizeof target, "<= floor + %.0f ms", kCliAboveFloorMs);
    Figure figure{
        "veltrika --demo status, whole process, wall", "ms", {}, floor, floor + kCliAboveFloorMs, target};
    for (int run = 0; run < kCliRuns; ++run) {
        if (const std::optional<double> elapsed = runCommand({QStringLiteral("status")})) {
            figure.runs.push_back(*elapsed);
        }
    }
    return figure;
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::span<const uint8_t> bytesOf(const QByteArray &data) {
    return {reinterpret_cast<const uint8_t *>(data.constData()), static_cast<size_t>(data.size())};
}

// Each corpus EDID decoded in-process (the decoder and the text the window shows), as the
// median of its runs; beside it edid-decode started on the same file as a process.
void decoderFigures(std::vector<Figure> &figures) {
    Figure decode{"EDID decode per corpus EDID, wall", "us", {}, {}, 50, "<= 50 us"};
    Figure texts{"EDID detail lines of a decoded EDID, wall", "us", {}, {}, {}, "-"};
    Figure oracle{"edid-decode process per corpus EDID, wall", "us", {}, {}, {}, "-"};
    const QDir dir(QStringLiteral(EDID_CORPUS_DIR));
    for (const QString &name : dir.entryList({QStringLiteral("*.bin")}, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray edid = file.readAll();
        std::vector<double> decodeRuns;
        std::vector<double> textRuns;
        size_t blocks = 0;
        qsizetype lines = 0;
        for (int run = 0; run < kDecodeRuns; ++run) {
            decodeRuns.push_back(wallMs([&] {
                                     for (int i = 0; i < kDecodeBatch; ++i) {
                                         blocks += edid::decodeEdid(bytesOf(edid)).checksumsOk.size();
                                     }
                                 }) *
                                 kUsPerMs / kDecodeBatch);
            const edid::EdidDecoded decoded = edid::decodeEdid(bytesOf(edid));
            textRuns.push_back(wallMs([&] {
                                   for (int i = 0; i < kDecodeBatch; ++i) {
                                       lines += edid::edidDetailLines(decoded).size();
                                   }
                               }) *
                               kUsPerMs / kDecodeBatch);
        }
        if (blocks == 0 || lines == 0) {
            std::fprintf(stderr, "bench: %s decoded to nothing\n", qPrintable(name));
        }
        decode.runs.push_back(median(decodeRuns));
        texts.runs.push_back(median(textRuns));
        std::vector<double> processes;
        for (int run = 0; run < kOracleRuns; ++run) {
            QProcess process;
            process.setStandardOutputFile(QProcess::nullDevice());
            const double ms = wallMs([&] {
                process.start(QStringLiteral("edid-decode"), {dir.filePath(name)});
                process.waitForFinished();
            });
            if (process.exitStatus() == QProcess::NormalExit && process.error() == QProcess::UnknownError) {
                processes.push_back(ms * kUsPerMs);
            }
        }
        if (!processes.empty()) {
            oracle.runs.push_back(median(processes));
        }
    }
    figures.push_back(decode);
    figures.push_back(texts);
    figures.push_back(oracle);

    // The capture block as a status tick reads it (type, length, payload), decoded to its
    // detail lines.
    const uint8_t payload[] = {0x02, 0x00, 0xC2, 0x33, 0xC4, 0x86, 0x4C, 0x1D, 0xB8, 0x0B, 0xD0, 0x84, 0x80,
                               0x3E, 0x13, 0x3D, 0x42, 0x40, 0xE8, 0x03, 0x32, 0x00, 0xE8, 0x03, 0x90, 0x01};
    proto::ReplyBuffer capture{};
    capture[status::kCaptureType] = status::kHdrInfoframeType;
    capture[status::kCaptureLength] = sizeof(payload);
    std::copy(std::begin(payload), std::end(payload), capture.begin() + status::kCapturePayload);
    Figure hdr{"Live HDR infoframe decode + lines per call, CPU", "us", {}, {}, 100, "<= 100 us"};
    qsizetype lines = 0;
    for (int run = 0; run < kDecodeRuns; ++run) {
        hdr.runs.push_back(
            cpuMs([&] {
                for (int i = 0; i < kDecodeBatch; ++i) {
                    lines += infoframe::infoframeDetailLines(status::decodeHdrCapture(capture)).size();
                }
            }) *
            kUsPerMs / kDecodeBatch);
    }
    if (lines == 0) {
        hdr.runs.clear();
    }
    figures.push_back(hdr);
}

} // namespace

int main(int argc, char **argv) {
    Q_INIT_RESOURCE(resqrc);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], kMemoryMode) == 0) {
        return memoryRun();
    }
    if (argc > 1 && std::strcmp(argv[1], kWatcherMemoryMode) == 0) {
        return bench::watcherMemoryRun();
    }
#ifdef VELTRIKA_BENCH_MQTT
    if (argc > 2 && std::strcmp(argv[1], kBridgeMemoryMode) == 0) {
        return bench::bridgeMemoryRun(argv[2]);
    }
    if (argc > 1 && std::strcmp(argv[1], kMqttMode) == 0) {
        std::vector<Figure> figures;
        bench::mqttFigures(figures, argv[0], kBridgeMemoryMode);
        bench::printMachine();
        return bench::printTable(figures) ? 0 : 1;
    }
#endif
    if (argc > 1 && std::strcmp(argv[1], kMonitorMode) == 0) {
        std::vector<Figure> figures;
        bench::monitorFigures(figures, argv[0], kWatcherMemoryMode);
        bench::printMachine();
        return bench::printTable(figures) ? 0 : 1;
    }

    if (argc > 1 && std::strcmp(argv[1], kCliMode) == 0) {
        bench::printMachine();
        return bench::printTable({cliStatusFigure()}) ? 0 : 1;
    }

    if (argc > 1 && std::strcmp(argv[1], kDecodeMode) == 0) {
        std::vector<Figure> figures;
        bench::decodeFigures(figures, argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString());
        bench::printMachine();
        return bench::printTable(figures) ? 0 : 1;
    }

    if (argc > 1 && std::strcmp(argv[1], kWriteProfileMode) == 0) {
        return writeProfileRun();
    }

    std::vector<Figure> figures;
    if (argc > 1 && std::strcmp(argv[1], kGateMode) == 0) {
        bench::gateFigures(figures);
        bench::printMachine();
        return bench::printTable(figures) ? 0 : 1;
    }
    if (argc > 1 && std::strcmp(argv[1], kDoctorMode) == 0) {
        bench::doctorFigures(figures);
        bench::printMachine();
        return bench::printTable(figures) ? 0 : 1;
    }
    if (argc > 1 && std::strcmp(argv[1], kTransfersMode) == 0) {
        const BoxGuard guard;
        SystemLinkClock clock;
        edidFigures(clock, figures);
        figures.push_back(sleepFigure(clock));
        bench::printMachine();
        return bench::printTable(figures) && !guard.sawBox() ? 0 : 1;
    }
    progress("decoders");
    decoderFigures(figures);
    if (argc > 1 && std::strcmp(argv[1], kDecodersMode) == 0) {
        bench::printMachine();
        return bench::printTable(figures) ? 0 : 1;
    }

    const BoxGuard guard;
    SystemLinkClock clock;
    progress("Details windows");
    detailsFigures(clock, figures);
    if (argc > 1 && std::strcmp(argv[1], kDetailsMode) == 0) {
        bench::printMachine();
        return bench::printTable(figures) ? 0 : 1;
    }
    progress("start-up");
    figures.push_back(startupFigure(clock));
    progress("EDID write, read and text");
    edidFigures(clock, figures);
    figures.push_back(sleepFigure(clock));
    progress("status tick");
    figures.push_back(tickFigure(clock));
    progress("a setting change through the gate");
    bench::gateFigures(figures);
    progress("the chain's doctor");
    bench::doctorFigures(figures);
    progress("memory (three runs of 10,000 ticks)");
    memoryFigures(figures);
    progress("demo process (three runs of about 35 s)");
    demoFigures(figures);
    progress("command line (21 runs of veltrika --demo status)");
    figures.push_back(cliStatusFigure());
    progress("EDID decode processes (one EDID a process beside edid-decode, a folder of 1,000)");
    bench::decodeFigures(figures, {});
    progress("the box over time (a day of watcher polls, a minute of veltrika monitor)");
    bench::monitorFigures(figures, argv[0], kWatcherMemoryMode);
#ifdef VELTRIKA_BENCH_MQTT
    progress("the MQTT bridge (a day of polls, a minute of veltrika-mqtt --demo, a burst of commands)");
    bench::mqttFigures(figures, argv[0], kBridgeMemoryMode);
#endif

    bench::printMachine();
    const bool allMet = bench::printTable(figures);
    if (guard.sawBox()) {
        std::printf("A box was shown during the figures: they are not valid.\n");
        return 2;
    }
    return allMet ? 0 : 1;
}
