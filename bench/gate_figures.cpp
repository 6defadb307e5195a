#include "gate_figures.h"

#include "core/box/box_gate.h"
#include "core/box/status_record.h"
#include "sim/simulated_box.h"

#include <QTemporaryDir>

namespace bench {
namespace {

constexpr int kRuns = 201;
constexpr int kEdidRuns = 101;
constexpr int kEntriesBefore = 450;
constexpr double kAddedLimitMs = 2;
// The window's write waits 32 times 30 ms; its target is 1.01 times that, 9.6 ms for all its
// work and the lateness of its waits together.
constexpr double kEdidAddedLimitMs = 1;

class QuietReporter : public BoxReporter {
public:
    void statusMessage(const char * /*text*/, int /*ms*/) override {}
    void transferProgress(int /*value*/, int /*total*/) override {}
    void linkWarning(const char * /*text*/) override {}
    void consoleNote(const char * /*text*/) override {}
};

template <typename Work> double wallMs(Work work) {
    const double start = wallNowMs();
    work();
    return wallNowMs() - start;
}

// What the gate and the journal add to the window's EDID write: the write through the gate
// (with the check the window makes before its questions) against the session's write alone,
// on a clock that keeps time but never waits, so that only the work is left.
void edidWriteFigure(std::vector<Figure> &figures, Journal &journal) {
    Figure added{"What they add to the window's EDID write", "ms", {}, {}, kEdidAddedLimitMs, "<= 1 ms"};
    sim::FakeLinkClock clock;
    sim::SimulatedBox box(clock);
    box.setLogging(false);
    box.statusRecord()[record::kEdidMode] = record::kEdidModeCustom;
    QuietReporter reporter;
    BoxSession session(box, clock, reporter);
    if (session.attach() != Attach::Open) {
        return;
    }
    BoxGate gate(session, clock, &journal);
    session.readSettings();
    session.readEdid(EdidSource::Box);
    const EdidImage image = box.customEdid();
    const BoxChange change = BoxChange::ofEdidWrite(image, kEdidImageSize, EdidOrigin::Text);
    for (int run = 0; run < kEdidRuns; ++run) {
        const double alone = wallMs([&] { session.writeEdid(image); });
        const double through = wallMs([&] {
            checkChange(change);
            gate.applyChange(change, {FrontEnd::Window, {}}, Answer::Yes);
        });
        added.runs.push_back(through - alone);
    }
    figures.push_back(added);
}

} // namespace

void gateFigures(std::vector<Figure> &figures) {
    Figure alone{"Setting change, the session's write alone, wall", "ms", {}, {}, {}, "-"};
    Figure gated{"Setting change through the gate, journaled, wall", "ms", {}, {}, {}, "-"};
    Figure added{"What the gate and the journal add to it", "ms", {}, {}, kAddedLimitMs, "<= 2 ms"};
    SystemLinkClock clock;
    sim::SimulatedBox box(clock);
    box.setLogging(false);
    QuietReporter reporter;
    BoxSession session(box, clock, reporter);
    QTemporaryDir directory;
    if (!directory.isValid() || session.attach() != Attach::Open) {
        return;
    }
    Journal journal(directory.path(), QLatin1String(kDeviceSerial));
    for (int i = 0; i < kEntriesBefore; ++i) {
        JournalEntry entry;
        entry.time = QDateTime::currentDateTimeUtc();
        entry.frontEnd = QStringLiteral("window");
        entry.change = QStringLiteral("set hdcp=1.4");
        entry.overwrites = {QStringLiteral("hdcp")};
        entry.before.setSetting(Setting::HdcpVersion, 3);
        entry.after.setSetting(Setting::HdcpVersion, 2);
        QString error;
        journal.begin(entry, &error);
        journal.finish(entry, &error);
    }
    BoxGate gate(session, clock, &journal);
    session.readSettings();
    for (int run = 0; run < kRuns; ++run) {
        // The gate's change always overwrites the value it wrote before: each one is journaled.
        const uint8_t value = run % 2 == 0 ? 2 : 3;
        const double write = wallMs([&] { session.writeSetting(Setting::HdcpVersion, value); });
        const double through = wallMs([&] {
            gate.applyChange(BoxChange::ofSetting(Setting::HdcpVersion, value), {FrontEnd::Window, {}},
                             Answer::No);
        });
        alone.runs.push_back(write);
        gated.runs.push_back(through);
        added.runs.push_back(through - write);
    }
    figures.push_back(alone);
    figures.push_back(gated);
    figures.push_back(added);
    edidWriteFigure(figures, journal);
}

} // namespace bench
