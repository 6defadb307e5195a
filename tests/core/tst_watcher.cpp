// The watcher on the fake clock: looking for a box that is not there yet, attaching with its
// firmware and status, one changed per field as the simulated source follows its script,
// one detached per loss (unplugged, or a call of the USB library that fails), none for a read
// left unanswered by a box still listed, the next attach reading the box afresh, and no
// changed for a field a damaged or half reply did not carry.

#include "core/box/watcher.h"
#include "sim/simulated_box.h"
#include "support/recording_reporter.h"

#include <QTest>

using sim::Fault;
using watch::EventKind;
using watch::WatchEvent;

namespace {

struct Rig {
    sim::FakeLinkClock clock{1000};
    sim::SimulatedBox box{clock};
    RecordingReporter reporter;
    BoxSession session{box, clock, reporter};
    watch::Watcher watcher{session, clock, 1000, 1000};

    // Polls for `ms` of fake time, a poll whenever one is due.
    std::vector<WatchEvent> run(uint32_t ms) {
        std::vector<WatchEvent> events;
        const uint32_t end = clock.tickCount() + ms;
        while (int32_t(end - clock.tickCount()) > 0) {
            for (WatchEvent &event : watcher.poll()) {
                events.push_back(std::move(event));
            }
            const uint32_t wait =
                std::max<uint32_t>(1, std::min(watcher.untilDue(), end - clock.tickCount()));
            clock.sleep(wait);
        }
        clock.clearSleeps();
        return events;
    }
};

QStringList texts(const std::vector<WatchEvent> &events) {
    QStringList list;
    for (const WatchEvent &event : events) {
        switch (event.kind) {
        case EventKind::Attached:
            list << "attached " + event.firmware;
            break;
        case EventKind::Detached:
            list << "detached " + event.why;
            break;
        case EventKind::Changed:
            list << "changed " + event.field + ' ' + status::fieldValueText(event.from) + " -> " +
                        status::fieldValueText(event.to);
            break;
        }
    }
    return list;
}

int count(const QStringList &list, const QString &prefix) {
    return int(std::count_if(list.begin(), list.end(),
                             [&](const QString &text) { return text.startsWith(prefix); }));
}

} // namespace

class TestWatcher : public QObject {
    Q_OBJECT

private slots:
    void waitsForTheBoxQuietly();
    void attachesWithFirmwareAndStatus();
    void followsTheScript();
    void readsAtTheInterval();
    void unplugYieldsOneDetached();
    void replugReadsTheBoxAfresh();
    void silentReadIsNoLoss();
    void halfReplyCarriesNoChange_data();
    void halfReplyCarriesNoChange();
    void busyBoxReportsNoSettings();
    void frontEndFeedsItsOwnReads();
    void hoursOfPollsKeepNothing();
};

void TestWatcher::waitsForTheBoxQuietly() {
    Rig rig;
    rig.box.unplug();
    QVERIFY(rig.run(10000).empty());
    QVERIFY(!rig.watcher.isAttached());
    // Looked once a second, told nobody, sent nothing.
    QCOMPARE(int(std::count(rig.box.calls().begin(), rig.box.calls().end(), std::string("deviceCount"))), 10);
    QVERIFY(rig.reporter.lines.isEmpty());
    QVERIFY(rig.box.frames().empty());
}

void TestWatcher::attachesWithFirmwareAndStatus() {
    Rig rig;
    rig.box.unplug();
    rig.run(3000);
    rig.box.plugIn();
    const std::vector<WatchEvent> events = rig.run(1000);
    QCOMPARE(texts(events), QStringList{"attached 1.8.3.0"});
    QVERIFY(rig.watcher.isAttached());
    const status::TypedStatus &shown = events.front().status;
    QVERIFY(shown.video && shown.source && shown.hdr && shown.settings);
    QCOMPARE(shown.source->vendor, QString("STREAMCO"));
    QCOMPARE(rig.watcher.firmware(), QString("1.8.3.0"));
    QVERIFY(rig.reporter.lines.isEmpty());
}

void TestWatcher::followsTheScript() {
    Rig rig;
    rig.box.setLively(true);
    const QStringList events = texts(rig.run(20000));
    QCOMPARE(events.first(), QString("attached 1.8.3.0"));
    QVERIFY2(events.contains("changed resolution 1920x1080 -> 3840x2160"), qPrintable(events.join('\n')));
    QVERIFY(events.contains("changed hdr_eotf SDR (traditional gamma) -> SMPTE ST 2084 (PQ)"));
    QVERIFY(events.contains("changed bit_depth 10 -> 12"));
    QVERIFY(events.contains("changed source_vendor GAMEWRKS -> CINEVUE"));
    // One changed per field per step: two steps in 20 s.
    QCOMPARE(count(events, "changed resolution "), 1);
    QCOMPARE(count(events, "changed bit_depth "), 2);
    QCOMPARE(count(events, "detached"), 0);
}

void TestWatcher::readsAtTheInterval() {
    Rig rig;
    rig.run(1000);
    rig.box.clearLog();
    rig.run(10000);
    // Each read: the status and its video block, then the four blocks.
    QCOMPARE(int(rig.box.frames().size()), 10 * 6);
    QCOMPARE(rig.box.frames()[6].time - rig.box.frames()[0].time, 1000u);
}

void TestWatcher::unplugYieldsOneDetached() {
    Rig rig;
    rig.run(2000);
    rig.box.unplug();
    const QStringList events = texts(rig.run(10000));
    QCOMPARE(events, QStringList{"detached unplugged"});
    QVERIFY(!rig.session.isOpen());
    // No message box for a loss, nor one per poll.
    QCOMPARE(rig.reporter.lines.filter("warning"), QStringList());
}

void TestWatcher::replugReadsTheBoxAfresh() {
    Rig rig;
    rig.run(2000);
    rig.box.statusRecord()[record::kGreenLed] = 0;
    QCOMPARE(texts(rig.run(1000)), QStringList{"changed green-led on -> off"});
    rig.box.unplug();
    rig.run(3000);
    rig.box.setFirmwareVersion({2, 0, 1, 7});
    rig.box.plugIn();
    const std::vector<WatchEvent> events = rig.run(2000);
    QCOMPARE(texts(events), QStringList{"attached 2.0.1.7"});
    // The box kept its settings across.
    QCOMPARE(
        status::settingValueText(Setting::GreenLed, (*events.front().status.settings)[record::kGreenLed]),
        QString("off"));
    QVERIFY(rig.session.isOpen());
}

// A box still listed that leaves its status read unanswered failed that read only: it stays
// open and attached, no field is told as changed from a reply that never came, and the first
// whole read after it tells what changed meanwhile.
void TestWatcher::silentReadIsNoLoss() {
    Rig rig;
    rig.run(2000);
    rig.box.injectFault(Fault::Silent, proto::kStatusRead);
    rig.box.statusRecord()[record::kGreenLed] = 0;
    QCOMPARE(texts(rig.run(30000)), QStringList());
    QVERIFY(rig.watcher.isAttached());
    QVERIFY(rig.session.isOpen());
    QCOMPARE(rig.reporter.losses, QStringList());
    QCOMPARE(rig.reporter.lines.filter("warning"), QStringList());
    QCOMPARE(std::count(rig.box.calls().begin(), rig.box.calls().end(), std::string("open 0")), 1);
    rig.box.clearFaults();
    QCOMPARE(texts(rig.run(1000)), QStringList{"changed green-led on -> off"});
}

void TestWatcher::halfReplyCarriesNoChange_data() {
    QTest::addColumn<int>("fault");
    QTest::newRow("short") << int(Fault::Short);
    QTest::newRow("refused") << int(Fault::Refuse);
}

void TestWatcher::halfReplyCarriesNoChange() {
    QFETCH(int, fault);
    Rig rig;
    rig.box.setLively(true);
    rig.run(1000);
    // The source changes while its video status and HDR capture replies come half or damaged.
    rig.box.injectFaultForRegister(Fault(fault), proto::kRegVideoStatus);
    rig.box.injectFaultForRegister(Fault(fault), proto::kRegHdrCapture);
    rig.box.statusRecord()[record::kGreenLed] = 0;
    const QStringList during = texts(rig.run(sim::SimulatedBox::kScriptStepMs));
    QCOMPARE(during, (QStringList{"changed source_vendor STREAMCO -> GAMEWRKS",
                                  "changed source_product Stream Box 4K -> Console One X"}));
    // Whole again: the changes show against the last whole reply.
    rig.box.clearFaults();
    const QStringList after = texts(rig.run(1000));
    QVERIFY(after.contains("changed resolution 1920x1080 -> 3840x2160"));
    QVERIFY(after.contains("changed green-led on -> off"));
    QCOMPARE(count(after, "changed source_"), 0);
}

void TestWatcher::busyBoxReportsNoSettings() {
    Rig rig;
    rig.run(1000);
    rig.box.statusRecord()[record::kEdidMode] = record::kEdidModeFixed;
    rig.box.setBusyFor(2500);
    QCOMPARE(texts(rig.run(2000)), QStringList());
    QCOMPARE(texts(rig.run(2000)), QStringList{"changed edid-mode automix -> fixed"});
}

// The window reads the status itself, on its own timers, and hands it over.
void TestWatcher::frontEndFeedsItsOwnReads() {
    Rig rig;
    QVERIFY(rig.session.attach() == Attach::Open);
    const Outcome<record::StatusRecord> settings = rig.session.readSettings();
    const status::TypedStatus first = status::typedStatusOf(rig.session.readStatusBlocks(), settings.value);
    QCOMPARE(texts(rig.watcher.attached("1.8.3.0", first)), QStringList{"attached 1.8.3.0"});
    status::TypedStatus second = first;
    second.source->vendor = "OTHER";
    QCOMPARE(texts(rig.watcher.observe(second)), QStringList{"changed source_vendor STREAMCO -> OTHER"});
    QCOMPARE(texts(rig.watcher.lost(LinkError::WriteFailed)), QStringList{"detached write failed"});
    QVERIFY(!rig.session.isOpen());
    QVERIFY(rig.watcher.lost(LinkError::WriteFailed).empty());
}

// Three hours of polls at one a second (bench/ runs a day and measures the memory).
void TestWatcher::hoursOfPollsKeepNothing() {
    Rig rig;
    rig.box.setLogging(false);
    rig.box.setLively(true);
    int events = 0;
    for (int poll = 0; poll < 10800; ++poll) {
        events += int(rig.watcher.poll().size());
        rig.clock.advance(1000);
    }
    // 10,800 s hold 1,350 script steps, each a handful of changes.
    QVERIFY(events > 1350);
    QCOMPARE(rig.box.frames().size(), size_t(0));
    QVERIFY(rig.watcher.isAttached());
}

QTEST_GUILESS_MAIN(TestWatcher)
#include "tst_watcher.moc"
