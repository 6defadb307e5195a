// Every user action that talks to the device against every way the box can misbehave:
// the messages shown are the ones given for that failure, the action ends within its
// time bound on the fake clock, EDIDtext holds only bytes that arrived, and the window
// still works once the box behaves again.

#include "device_actions.h"
#include "signal_history.h"

#include <QLabel>

using namespace robustness;

class TestFaultMatrix : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void everyActionUnderEveryFault_data();
    void everyActionUnderEveryFault();
    void edidReadCutShortKeepsTheText_data();
    void edidReadCutShortKeepsTheText();
    void unplugAndReplugAtEveryTransaction_data();
    void unplugAndReplugAtEveryTransaction();
    void silentRequestAtEveryTransaction_data();
    void silentRequestAtEveryTransaction();

private:
    QString textWithoutDevice_;
};

void TestFaultMatrix::initTestCase() {
    Q_INIT_RESOURCE(resqrc);
    Rig rig;
    rig.box.setAttachedDevices({});
    rig.start();
    textWithoutDevice_ = edidText(rig);
}

void TestFaultMatrix::everyActionUnderEveryFault_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("trouble");
    for (const Action &action : actions()) {
        for (const TroubleInfo &info : kTroubles) {
            QTest::addRow("%s, %s", action.name, info.name)
                << QString(action.name) << static_cast<int>(info.trouble);
        }
    }
}

void TestFaultMatrix::everyActionUnderEveryFault() {
    QFETCH(QString, action);
    QFETCH(int, trouble);
    const std::optional<Action> found = actionNamed(action);
    QVERIFY(found);
    const Action &act = *found;
    const auto how = static_cast<Trouble>(trouble);
    const TroubleInfo &info = kTroubles[trouble];
    const bool startup = act.slot == nullptr && action != QLatin1String("tick");

    Rig rig;
    QString textBefore;
    if (!startup) {
        rig.start();
        tick(rig.window()); // the first tick's EDID refresh is not part of the action
        prepare(rig, act);
        textBefore = edidText(rig);
    }
    const sim::EdidImage before = sourceImage(rig, act.edid);
    const sim::EdidImage customBefore = rig.box.customEdid();
    rig.box.clearLog();
    rig.clock.clearSleeps();
    rig.statusRecorder.clear();
    rig.boxWatcher.clear();
    const uint32_t start = rig.clock.tickCount();
    inject(rig, how);

    perform(rig, act);
    const QString textAfter = edidText(rig);
    if (startup) {
        // A start-up that failed leaves the form's text, as a start-up without a device does.
        textBefore = textWithoutDevice_;
        prepare(rig, act);
    }

    // The messages of the failure, or those of success when the requests got through; a
    // loss is one message, whatever the action.
    QStringList expected = info.fails ? act.failMessages : act.goodMessages;
    if (isLoss(how)) {
        expected = {kLost};
    }
    QStringList expectedBoxes;
    const int transactions = writeCalls(rig.box, 0);
    if (how == Trouble::RxQueueFail) {
        for (int i = 0; i < transactions; ++i) {
            expectedBoxes << "Error Checking RX Queue";
        }
    }
    if (startup && how == Trouble::Vanished) {
        expected.clear();
        expectedBoxes << "VELTRIKA USB not connected!";
    }
    // The first transaction that meets a loss closes the box: no other follows it.
    if (isLoss(how) && !(startup && how == Trouble::Vanished)) {
        QCOMPARE(transactions, 1);
        QVERIFY(!rig.window().session().isOpen());
        QCOMPARE(statusTimerId(rig.window()), 0);
    }
    QCOMPARE(shownMessages(rig.statusRecorder), expected);
    QCOMPARE(rig.boxWatcher.texts(), expectedBoxes);

    // Within the bound: no more frames than the action sends, no more waiting than its
    // waits, and every other millisecond spent inside a link time-out.
    const Timing t = timing(rig, start);
    QVERIFY2(static_cast<uint32_t>(transactions) <= act.maxFrames, qPrintable(QString::number(transactions)));
    QVERIFY2(t.waits <= act.waitsMs, qPrintable(QString::number(t.waits)));
    QVERIFY2(t.elapsed - t.waits <= static_cast<uint32_t>(transactions) * kLinkTimeoutMs,
             qPrintable(QString::number(t.elapsed)));

    // EDIDtext holds what it held before, or exactly the EDID that arrived in full.
    if (act.edid != ActionEdid::None && !info.fails) {
        QCOMPARE(textAfter, formatEdidText(before));
    } else {
        QCOMPARE(textAfter, textBefore);
    }
    // A failed write commits nothing: the device keeps the EDID it had.
    if (act.writesEdid) {
        QVERIFY(rig.box.customEdid() == (info.fails ? customBefore : sim::buildEdid("SENTINEL", 0x5E17)));
    }

    // The window still works: with the box back to normal the action succeeds. A box
    // that vanished stays gone; the action then fails again the same way.
    rig.statusRecorder.clear();
    rig.boxWatcher.clear();
    rig.box.clearFaults();
    // A lost box is found again by the window's next look, unless it is gone for good; the
    // event loop runs between two actions.
    QCoreApplication::processEvents();
    if (isLoss(how)) {
        rig.window().lookForBox();
        QCOMPARE(rig.window().session().isOpen(), how != Trouble::Vanished);
        rig.statusRecorder.clear();
        rig.boxWatcher.clear();
        if (how != Trouble::Vanished) {
            tick(rig.window());
            rig.statusRecorder.clear();
        }
    }
    if (startup) {
        const QString wanted =
            how == Trouble::Vanished ? kNotConnected : QStringLiteral("EDID values read.@2000");
        QVERIFY(QMetaObject::invokeMethod(&rig.window(), how == Trouble::Vanished ? "forceHdr" : "ReadEDID"));
        QCOMPARE(shownMessages(rig.statusRecorder), QStringList{wanted});
        if (how != Trouble::Vanished) {
            QCOMPARE(edidText(rig), formatEdidText(rig.box.ownEdid()));
        }
        return;
    }
    prepare(rig, act);
    perform(rig, act);
    QStringList again = act.goodMessages;
    if (how == Trouble::Vanished) {
        // No box: an action says so and sends nothing; a tick does nothing.
        again = QLatin1String(act.name) == QLatin1String("tick") ? QStringList() : QStringList{kNotConnected};
    }
    QCOMPARE(shownMessages(rig.statusRecorder), again);
    if (how != Trouble::Vanished) {
        QCOMPARE(rig.boxWatcher.texts(), QStringList());
    }
}

// A read that loses one window read on the way keeps the whole old text: half an EDID
// from the device and half from before would be bytes that never arrived together.
void TestFaultMatrix::edidReadCutShortKeepsTheText_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("trouble");
    for (const char *name : {"ReadEDID", "readTvEdidA", "readTvEdidB"}) {
        for (const TroubleInfo &info : kTroubles) {
            if (info.fails && info.trouble != Trouble::Vanished) {
                QTest::addRow("%s, %s", name, info.name) << QString(name) << static_cast<int>(info.trouble);
            }
        }
    }
}

void TestFaultMatrix::edidReadCutShortKeepsTheText() {
    QFETCH(QString, action);
    QFETCH(int, trouble);
    const std::optional<Action> act = actionNamed(action);
    QVERIFY(act);
    Rig rig;
    rig.start();
    tick(rig.window());
    prepare(rig, *act);
    // A good read first tells how many frames come before the window reads.
    rig.box.clearLog();
    QVERIFY(QMetaObject::invokeMethod(&rig.window(), act->slot));
    const int windowStart = static_cast<int>(rig.box.frames().size()) - 16;
    QVERIFY(windowStart > 0);
    QVERIFY(rig.box.frames()[static_cast<size_t>(windowStart)].request[2] == proto::kEdidWindow);
    prepare(rig, *act);
    const QString textBefore = edidText(rig);

    rig.box.clearLog();
    rig.statusRecorder.clear();
    rig.boxWatcher.clear();
    inject(rig, static_cast<Trouble>(trouble), windowStart + kWindowReadBeforeFault, 1);
    QVERIFY(QMetaObject::invokeMethod(&rig.window(), act->slot));
    QCOMPARE(shownMessages(rig.statusRecorder),
             isLoss(static_cast<Trouble>(trouble)) ? QStringList{kLost} : QStringList());
    QCOMPARE(edidText(rig), textBefore);
    // The read stopped at the lost window read.
    const QList<QByteArray> sent = requestsSince(rig.box);
    QVERIFY(!sent.isEmpty());
    QVERIFY(sent.size() <= windowStart + kWindowReadBeforeFault + 1);
}

namespace {

// The window with the box before the action: started, its first tick done, prepared.
void ready(Rig &rig, const Action &action, bool startup) {
    if (!startup) {
        rig.start();
        tick(rig.window());
        prepare(rig, action);
    }
    rig.box.clearLog();
    rig.clock.clearSleeps();
    rig.statusRecorder.clear();
    rig.boxWatcher.clear();
}

QString lastHistoryRow(Rig &rig) {
    if (rig.window().signalHistory().entries().empty()) {
        return {};
    }
    const HistoryEntry &entry = rig.window().signalHistory().entries().back();
    return QStringList{entry.what, entry.from, entry.to}.join('|');
}

constexpr int kLastTransaction = -1;

QStringList historyRows(Rig &rig) {
    QStringList rows;
    for (const HistoryEntry &entry : rig.window().signalHistory().entries()) {
        rows << QStringList{entry.what, entry.from, entry.to}.join('|');
    }
    return rows;
}

int callsNamed(const sim::SimulatedBox &box, const std::string &name) {
    return int(std::count(box.calls().begin(), box.calls().end(), name));
}

// The transactions of the action, counted on a box that answers them all.
int transactionsOf(const Action &action, bool startup) {
    Rig probe;
    ready(probe, action, startup);
    perform(probe, action);
    return static_cast<int>(probe.box.frames().size());
}

// Where a fault strikes in an action: before transaction `before` of it, or before its last
// (an action of fewer transactions takes it before its last one).
struct FaultPlace {
    Action action;
    bool startup = false;
    int at = 0;
};

std::optional<FaultPlace> faultPlaceOf(const QString &name, int before) {
    const std::optional<Action> action = actionNamed(name);
    if (!action) {
        return std::nullopt;
    }
    FaultPlace place{*action, action->slot == nullptr && name != QLatin1String("tick"), 0};
    const int transactions = transactionsOf(place.action, place.startup);
    place.at = before == kLastTransaction ? transactions - 1 : std::min(before, transactions - 1);
    return place;
}

// What the window shows once an action has run: the texts a failed read or send may change.
QStringList windowTexts(Rig &rig) {
    return {rig.widget<QLabel>("labelFw1")->text(), edidText(rig),
            rig.widget<QTextEdit>("IFtext")->toPlainText(), rig.widget<QTextEdit>("AVItext")->toPlainText(),
            rig.widget<QTextEdit>("CECtext")->toPlainText()};
}

} // namespace

// The box pulled out before each of the first transactions of every action (and before its
// last): no crash, no message box, no wait beyond the link's time-out, one message on the
// status bar, the box closed and the status timer stopped; plugged in again (with another
// firmware), the next look reads it afresh.
void TestFaultMatrix::unplugAndReplugAtEveryTransaction_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("before");
    for (const Action &action : actions()) {
        for (int before : {0, 1, 2, 3, 5, kLastTransaction}) {
            QTest::addRow("%s, before transaction %d", action.name, before) << QString(action.name) << before;
        }
    }
}

void TestFaultMatrix::unplugAndReplugAtEveryTransaction() {
    QFETCH(QString, action);
    QFETCH(int, before);
    const std::optional<FaultPlace> place = faultPlaceOf(action, before);
    QVERIFY(place && place->at >= 0);
    const Action *const act = &place->action;
    const bool startup = place->startup;
    const int unplugAt = place->at;

    Rig rig;
    ready(rig, *act, startup);
    const uint32_t start = rig.clock.tickCount();
    rig.box.unplugAfterFrames(unplugAt);
    perform(rig, *act);
    QCOMPARE(static_cast<int>(rig.box.frames().size()), unplugAt);
    QCOMPARE(rig.boxWatcher.texts(), QStringList());
    // What the transactions before it got through says what it says; the loss is the last
    // message and the only one after them.
    const QStringList shown = shownMessages(rig.statusRecorder);
    QVERIFY2(shown.count(kLost) == 1 && shown.last() == kLost, qPrintable(shown.join(", ")));
    QVERIFY(!rig.window().session().isOpen());
    QCOMPARE(statusTimerId(rig.window()), 0);
    const Timing t = timing(rig, start);
    QVERIFY2(t.waits <= act->waitsMs, qPrintable(QString::number(t.waits)));
    QVERIFY2(t.elapsed - t.waits <= kLinkTimeoutMs, qPrintable(QString::number(t.elapsed)));
    // A box lost during its start was never attached: nothing to detach.
    QCOMPARE(lastHistoryRow(rig), startup ? QString() : QString("detached||unplugged"));

    rig.box.setFirmwareVersion({2, 0, 1, 7});
    rig.box.plugIn();
    QCoreApplication::processEvents();
    rig.statusRecorder.clear();
    rig.window().lookForBox();
    QVERIFY(rig.window().session().isOpen());
    QVERIFY(statusTimerId(rig.window()) != 0);
    QCOMPARE(rig.widget<QLabel>("labelFw1")->text(), QString("ver: 2.0.1.7"));
    QCOMPARE(lastHistoryRow(rig), QString("attached||firmware 2.0.1.7"));
    QCOMPARE(rig.boxWatcher.texts(), QStringList());
}

// One request left unanswered by a box that stays listed, before each of the first
// transactions of every action (and its last): that request failed and nothing more. The
// action goes on and ends as it does when the box refuses that request (the same frames, the
// same messages and texts), one link time-out later; the box stays open, the status timer
// runs, no message box, nothing is detached, closed or opened again.
void TestFaultMatrix::silentRequestAtEveryTransaction_data() {
    unplugAndReplugAtEveryTransaction_data();
}

void TestFaultMatrix::silentRequestAtEveryTransaction() {
    QFETCH(QString, action);
    QFETCH(int, before);
    const std::optional<FaultPlace> place = faultPlaceOf(action, before);
    QVERIFY(place && place->at >= 0);
    const Action *const act = &place->action;
    const bool startup = place->startup;
    const int at = place->at;

    Rig refused;
    ready(refused, *act, startup);
    const uint32_t refusedStart = refused.clock.tickCount();
    refused.box.injectFaultForNext(Fault::Refuse, 1, at);
    perform(refused, *act);
    const uint32_t refusedTime = refused.clock.tickCount() - refusedStart;

    Rig rig;
    ready(rig, *act, startup);
    const uint32_t start = rig.clock.tickCount();
    rig.box.injectFaultForNext(Fault::Silent, 1, at);
    perform(rig, *act);

    const QStringList shown = shownMessages(rig.statusRecorder);
    QCOMPARE(shown, shownMessages(refused.statusRecorder));
    QVERIFY2(!shown.contains(kLost) && !shown.contains(kNotConnected), qPrintable(shown.join(", ")));
    QCOMPARE(requestsSince(rig.box), requestsSince(refused.box));
    QCOMPARE(windowTexts(rig), windowTexts(refused));
    QCOMPARE(rig.clock.tickCount() - start, refusedTime + kLinkTimeoutMs);
    QCOMPARE(rig.boxWatcher.texts(), QStringList());
    QVERIFY(rig.window().session().isOpen());
    QVERIFY(statusTimerId(rig.window()) != 0);
    QCOMPARE(historyRows(rig), historyRows(refused));
    QVERIFY(!lastHistoryRow(rig).startsWith(QLatin1String("detached")));
    QCOMPARE(callsNamed(rig.box, "close"), 0);
    QCOMPARE(callsNamed(rig.box, "open 0"), startup ? 1 : 0);
    // No look for a box that never went: the next look finds it open and does nothing.
    const size_t frames = rig.box.frames().size();
    rig.window().lookForBox();
    QCOMPARE(rig.box.frames().size(), frames);
}

QTEST_MAIN(TestFaultMatrix)
#include "tst_fault_matrix.moc"
