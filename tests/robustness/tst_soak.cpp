// The soak: 10,000 status ticks and 2,000 random user actions against a box that
// misbehaves at random. Every step shows only the messages its action gives, ends within
// its bound, keeps EDIDtext to bytes that arrived, and the window's widgets and the
// memory in use stay as they were once the run has settled. The seed is printed with
// every failure; VELTRIKA_SOAK_SEED repeats a run.

#include "device_actions.h"
#include "signal_history.h"

#include <QApplication>
#include <QWidget>

#include <random>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's count of the bytes the program holds (its allocator replaces malloc's).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

using namespace robustness;

namespace {

constexpr int kTicks = 10000;
constexpr int kActions = 2000;
constexpr int kTicksPerAction = kTicks / kActions;
// The run settles during its first fifth: caches fill, the bar is made.
constexpr int kSettledTick = kTicks / 5;
constexpr int kMaxFaultsAtOnce = 3;
constexpr int kMaxFramesBeforeFault = 6;
// Growth of the memory in use allowed over the settled part of the run, per tick.
constexpr size_t kMaxGrowthPerTickBytes = 8;

size_t memoryInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    // Large blocks are mapped of their own and count apart from the heap's. CTest turns
    // malloc's thread caches off for this test: their free blocks would count as in use.
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

// The faults a box can be told to make for a few frames; Vanished comes at the end.
constexpr Trouble kRandomTroubles[] = {Trouble::Refuse,         Trouble::Short,    Trouble::Long,
                                       Trouble::WriteFail,      Trouble::ReadFail, Trouble::RxQueueFail,
                                       Trouble::ReadOverreport, Trouble::Silent};

// Every message an action may show, whichever of its requests fail.
QStringList allowedMessages(const Action &action) {
    // A loss is told once; an action while the box is closed says it is not connected.
    QStringList allowed = action.failMessages + action.goodMessages + action.laterFailureMessages +
                          QStringList{kLost, kNotConnected};
    const QString name = QLatin1String(action.name);
    const auto add = [&allowed](const char *other) {
        const std::optional<Action> extra = actionNamed(QLatin1String(other));
        allowed += extra->failMessages + extra->goodMessages + extra->laterFailureMessages;
    };
    if (name == QLatin1String("tick")) {
        add("ReadEDID"); // a refresh after an EDID mode change
    } else if (name == QLatin1String("hdrForceActivate")) {
        add("WriteIF");
    } else if (name == QLatin1String("setAviPers")) {
        add("sendAVI");
        allowed << kWritingValues;
    } else if (name == QLatin1String("sendAVI")) {
        allowed << kWritingValues; // the register that keeps the AVI replacement
    } else if (name == QLatin1String("factoryReset")) {
        allowed << "Type RESET into the text box and click OK@2000"
                << "Choose the reset from the checkboxes@2000";
    }
    return allowed;
}

// The logs the checks read are emptied before every step and before every measurement; so is
// the Signal History, which keeps what it is meant to keep (up to 10,000 events).
void forgetLogs(Rig &rig) {
    rig.window().signalHistory().clear();
    rig.box.clearLog();
    rig.clock.clearSleeps();
    rig.statusRecorder.clear();
    rig.boxWatcher.clear();
}

struct Budget {
    uint32_t frames;
    uint32_t waitsMs;
};

Budget budgetOf(const Action &action) {
    const QString name = QLatin1String(action.name);
    if (name == QLatin1String("tick")) {
        return {action.maxFrames + kEdidReadFrames, kEdidReadWaitsMs};
    }
    if (name == QLatin1String("hdrForceActivate")) {
        return {action.maxFrames + 2, 100};
    }
    if (name == QLatin1String("setAviPers")) {
        return {action.maxFrames + 3, 100};
    }
    return {action.maxFrames, action.waitsMs};
}

} // namespace

class TestSoak : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resqrc); }
    void ticksAndActionsAgainstAMisbehavingBox();
};

void TestSoak::ticksAndActionsAgainstAMisbehavingBox() {
    const QByteArray given = qgetenv("VELTRIKA_SOAK_SEED");
    const uint32_t seed = given.isEmpty() ? std::random_device{}() : given.toUInt();
    std::mt19937 random(seed);
    const auto below = [&random](int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); };

    QList<Action> userActions;
    std::optional<Action> tickAction;
    for (const Action &action : actions()) {
        if (QLatin1String(action.name) == QLatin1String("tick")) {
            tickAction = action;
        } else if (action.slot != nullptr) {
            userActions << action;
        }
    }
    QVERIFY(tickAction);

    Rig rig;
    rig.start();
    holdStatusTimer(rig.window());
    prepare(rig, *tickAction);
    // The box's own busy periods must not hide its EDID from the refresh for long.
    rig.box.modeChangeBusyMs = 100;

    size_t settledMemory = 0;
    qsizetype settledWidgets = 0;
    qsizetype settledChildren = 0;
    int actionsDone = 0;
    for (int step = 0; step < kTicks; ++step) {
        const bool withAction = step % kTicksPerAction == kTicksPerAction - 1;
        const Action &action =
            withAction ? userActions[below(static_cast<int>(userActions.size()))] : *tickAction;
        const QString where =
            QStringLiteral("seed %1, step %2, %3").arg(seed).arg(step).arg(QLatin1String(action.name));
        if (withAction) {
            ++actionsDone;
            if (QLatin1String(action.name) == QLatin1String("factoryReset") && below(2) == 0) {
                rig.widget<QLineEdit>("leReset")->setText("RESET");
                rig.widget<QAbstractButton>("cbClearSettings")->setChecked(below(2) == 0);
                rig.widget<QAbstractButton>("cbClearEdid")->setChecked(below(2) == 0);
            }
        }
        forgetLogs(rig);
        rig.box.clearFaults();
        // A box lost in the step before is found again, as the window's look does every 2 s.
        if (!rig.window().session().isOpen()) {
            QCoreApplication::processEvents();
            rig.window().lookForBox();
            holdStatusTimer(rig.window());
            forgetLogs(rig);
        }
        if (below(4) == 0) {
            const Trouble trouble = kRandomTroubles[below(std::size(kRandomTroubles))];
            // Silent frames cost the whole time-out each: keep them rare.
            if (trouble != Trouble::Silent || below(8) == 0) {
                inject(rig, trouble, below(kMaxFramesBeforeFault + 1), 1 + below(kMaxFaultsAtOnce));
            }
        }
        const QString textBefore = edidText(rig);
        const uint32_t start = rig.clock.tickCount();

        perform(rig, action);

        const QStringList allowed = allowedMessages(action);
        for (const QString &message : shownMessages(rig.statusRecorder)) {
            QVERIFY2(allowed.contains(message), qPrintable(where + ": " + message));
        }
        for (const QString &box : rig.boxWatcher.texts()) {
            const bool expected = box == QLatin1String("Error Checking RX Queue") ||
                                  (QLatin1String(action.name) == QLatin1String("WriteEDID") &&
                                   box.contains(QLatin1String("CUSTOM EDID")));
            QVERIFY2(expected, qPrintable(where + ": " + box));
        }
        const Budget budget = budgetOf(action);
        const Timing t = timing(rig, start);
        const auto transactions = static_cast<uint32_t>(writeCalls(rig.box, 0));
        QVERIFY2(transactions <= budget.frames, qPrintable(where));
        QVERIFY2(t.waits <= budget.waitsMs, qPrintable(where));
        QVERIFY2(t.elapsed - t.waits <= transactions * kLinkTimeoutMs, qPrintable(where));
        // The text is as it was, or exactly the window the box sent.
        const QString textAfter = edidText(rig);
        QVERIFY2(textAfter == textBefore || textAfter == formatEdidText(rig.box.edidWindow()),
                 qPrintable(where));

        if (step == kSettledTick) {
            // Measured as at the end: without the logs of the step just done.
            forgetLogs(rig);
            settledMemory = memoryInUse();
            settledWidgets = QApplication::allWidgets().size();
            settledChildren = rig.window().findChildren<QObject *>().size();
        }
    }
    QCOMPARE(actionsDone, kActions);
    forgetLogs(rig);
    const QString seedText = QStringLiteral("seed %1").arg(seed);
    QVERIFY2(QApplication::allWidgets().size() == settledWidgets, qPrintable(seedText));
    QVERIFY2(rig.window().findChildren<QObject *>().size() == settledChildren, qPrintable(seedText));
    const size_t memory = memoryInUse();
    const size_t growth = memory > settledMemory ? memory - settledMemory : 0;
    QVERIFY2(growth <= kMaxGrowthPerTickBytes * (kTicks - kSettledTick),
             qPrintable(seedText + QStringLiteral(": %1 bytes more").arg(growth)));

    // At the end the box goes away: every action still ends and says it failed.
    rig.box.clearFaults();
    rig.box.vanish();
    for (const Action &action : userActions) {
        rig.statusRecorder.clear();
        perform(rig, action);
        for (const QString &message : shownMessages(rig.statusRecorder)) {
            QVERIFY2(allowedMessages(action).contains(message), qPrintable(seedText + ": " + message));
        }
    }
    tick(rig.window());
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
