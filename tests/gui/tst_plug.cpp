// The box plugged in later, unplugged and plugged in again while the window runs, and the
// Signal History of every event: the start of a box found later is the start of a box there
// from the first, a loss is one message on the status bar and never a message box, and the
// history is kept to the last 10,000 events, copied as text and saved as RFC 4180 CSV.

#include "core/box/box_session.h"
#include "core/box/watcher.h"
#include "field_words.h"
#include "file_dialogs.h"
#include "signal_history.h"
#include "sim/demo_state.h"
#include "support/recording_reporter.h"
#include "support/test_support.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

void tick(MainWindow &window) {
    QTimerEvent event(statusTimerId(window));
    QCoreApplication::sendEvent(&window, &event);
}

QTimer *lookTimer(MainWindow &window) {
    return window.findChild<QTimer *>("lookForBoxTimer");
}

QStringList historyRows(MainWindow &window) {
    QStringList rows;
    for (const HistoryEntry &entry : window.signalHistory().entries()) {
        rows << QStringList{entry.what, entry.from, entry.to}.join('|');
    }
    return rows;
}

QString comboTexts(QComboBox *box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i) {
        texts << box->itemText(i);
    }
    return texts.join('|');
}

class FixedDialogs : public FileDialogs {
public:
    QString name;
    QString openFileName(QWidget *, const QString &, const QString &, const QString &) override {
        return name;
    }
    QString saveFileName(QWidget *, const QString &, const QString &, const QString &) override {
        return name;
    }
};

} // namespace

class TestPlug : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resqrc); }
    void pluggedInLaterStartsAsAtTheStart();
    void looksEveryTwoSecondsQuietly();
    void unplugDuringATickIsOneMessage();
    void actionWithoutTheBoxSendsNothing();
    void unplugDuringAnEdidReadEndsIt();
    void replugReadsTheBoxAfresh();
    void historyFollowsTheSignal();
    void historyWindowCopiesAndSaves();
    void historyKeepsTheLast10000();
    void historyInWords_data();
    void historyInWords();
    void everyFieldHasAWord();
    void demoBoxIsShared();
    void csvIsRfc4180();
};

// Same frames, same order, the combo items once, the status timer, the EDID read.
void TestPlug::pluggedInLaterStartsAsAtTheStart() {
    QList<QByteArray> atStart;
    {
        Rig rig;
        rig.start();
        atStart = requestsSince(rig.box);
    }
    Rig rig;
    rig.box.unplug();
    MainWindow &window = rig.start();
    QCOMPARE(rig.boxWatcher.texts(), QStringList{"VELTRIKA USB not connected!"});
    QVERIFY(lookTimer(window)->isActive());
    QCOMPARE(lookTimer(window)->interval(), 2000);
    QCOMPARE(statusTimerId(window), 0);
    window.lookForBox();
    QCOMPARE(statusTimerId(window), 0);
    rig.box.plugIn();
    window.lookForBox();
    QCOMPARE(requestsSince(rig.box), atStart);
    QVERIFY(!lookTimer(window)->isActive());
    QVERIFY(statusTimerId(window) != 0);
    QCOMPARE(rig.widget<QLabel>("labelFw1")->text(), QString("ver: 1.8.3.0"));
    QCOMPARE(rig.widget<QComboBox>("cmbInputSel")->count(), 4);
    QCOMPARE(rig.boxWatcher.texts(), QStringList{"VELTRIKA USB not connected!"});
    QCOMPARE(historyRows(window), QStringList{"attached||firmware 1.8.3.0"});
}

void TestPlug::looksEveryTwoSecondsQuietly() {
    Rig rig;
    rig.box.unplug();
    rig.start();
    rig.boxWatcher.clear();
    rig.box.clearLog();
    QTest::qWait(4500);
    QCOMPARE(int(std::count(rig.box.calls().begin(), rig.box.calls().end(), std::string("deviceCount"))), 2);
    QVERIFY(rig.boxWatcher.boxes().isEmpty());
    QVERIFY(rig.statusRecorder.messages().isEmpty());
    rig.box.plugIn();
    QTest::qWait(2100);
    QVERIFY(rig.window().session().isOpen());
}

void TestPlug::unplugDuringATickIsOneMessage() {
    Rig rig;
    MainWindow &window = rig.start();
    tick(window);
    rig.widget<QAbstractButton>("cb51")->setChecked(true);
    const QString input = rig.widget<QLabel>("label_video_format")->text();
    rig.statusRecorder.clear();
    rig.box.unplug();
    tick(window);
    QCOMPARE(rig.statusRecorder.messages(), (QList<StatusMessage>{{"VELTRIKA USB not connected!", 0}}));
    QVERIFY(rig.boxWatcher.boxes().isEmpty());
    QCOMPARE(statusTimerId(window), 0);
    QVERIFY(!window.session().isOpen());
    QVERIFY(lookTimer(window)->isActive());
    // The controls keep their values.
    QVERIFY(rig.widget<QAbstractButton>("cb51")->isChecked());
    QCOMPARE(rig.widget<QLabel>("label_video_format")->text(), input);
    QCOMPARE(historyRows(window).last(), QString("detached||unplugged"));
    // A stray tick after the loss does nothing.
    rig.statusRecorder.clear();
    tick(window);
    QVERIFY(rig.statusRecorder.messages().isEmpty());
}

void TestPlug::actionWithoutTheBoxSendsNothing() {
    Rig rig;
    MainWindow &window = rig.start();
    rig.box.unplug();
    tick(window);
    rig.box.clearLog();
    rig.statusRecorder.clear();
    QTest::qWait(1); // a new action
    rig.widget<QAbstractButton>("cb51")->click();
    QCOMPARE(rig.statusRecorder.messages(), (QList<StatusMessage>{{"VELTRIKA USB not connected!", 4000}}));
    QVERIFY(rig.box.frames().empty());
    QVERIFY(rig.boxWatcher.boxes().isEmpty());
}

// A loss inside a long operation ends it at once: no wait for the rest of its frames.
void TestPlug::unplugDuringAnEdidReadEndsIt() {
    Rig rig;
    MainWindow &window = rig.start();
    tick(window);
    const int from = static_cast<int>(rig.box.frames().size());
    rig.statusRecorder.clear();
    rig.box.unplugAfterFrames(5);
    const uint32_t start = rig.clock.tickCount();
    QVERIFY(QMetaObject::invokeMethod(&window, "ReadEDID"));
    QCOMPARE(int(rig.box.frames().size()) - from, 5);
    QVERIFY(rig.clock.tickCount() - start < 1000);
    QCOMPARE(rig.statusRecorder.messages(), (QList<StatusMessage>{{"VELTRIKA USB not connected!", 0}}));
    QVERIFY(rig.boxWatcher.boxes().isEmpty());
}

void TestPlug::replugReadsTheBoxAfresh() {
    Rig rig;
    MainWindow &window = rig.start();
    tick(window);
    rig.box.unplug();
    tick(window);
    rig.box.statusRecord()[record::kForceMultichannel] = 1;
    rig.box.setFirmwareVersion({2, 0, 1, 7});
    rig.box.plugIn();
    rig.statusRecorder.clear();
    window.lookForBox();
    QCOMPARE(rig.widget<QLabel>("labelFw1")->text(), QString("ver: 2.0.1.7"));
    QVERIFY(rig.widget<QAbstractButton>("cb51")->isChecked());
    // The combo boxes took their items once.
    QCOMPARE(comboTexts(rig.widget<QComboBox>("cmbLa")),
             QString("Video Processor [Default]|Audio System w/ARC"));
    QVERIFY(statusTimerId(window) != 0);
    QVERIFY(!lookTimer(window)->isActive());
    QVERIFY(rig.statusRecorder.texts().contains("EDID values read."));
    const QStringList rows = historyRows(window);
    QCOMPARE(rows.mid(rows.size() - 2), (QStringList{"detached||unplugged", "attached||firmware 2.0.1.7"}));
    QVERIFY(rig.boxWatcher.boxes().isEmpty());
}

void TestPlug::historyFollowsTheSignal() {
    Rig rig;
    rig.box.setLively(true);
    MainWindow &window = rig.start();
    holdStatusTimer(window);
    for (int second = 0; second < 18; second += 3) {
        rig.clock.advance(3000);
        tick(window);
    }
    const QStringList rows = historyRows(window);
    QCOMPARE(rows.first(), QString("attached||firmware 1.8.3.0"));
    QVERIFY2(rows.contains("resolution|1920x1080|3840x2160"), qPrintable(rows.join('\n')));
    QVERIFY(rows.contains("bit_depth|10|12"));
    QCOMPARE(rows.filter(QRegularExpression("^resolution\\|")).size(), 1);
}

void TestPlug::historyWindowCopiesAndSaves() {
    Rig rig;
    rig.box.setLively(true);
    MainWindow &window = rig.start();
    holdStatusTimer(window);
    QAction *action = window.findChild<QAction *>("actionSignalHistory");
    QVERIFY(action);
    QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
    QCOMPARE(action->text(), QString("Signal History…"));
    action->trigger();
    auto *history = window.findChild<SignalHistoryWindow *>();
    QVERIFY(history && history->isVisible());
    auto *table = history->findChild<QTableView *>("historyTable");
    QCOMPARE(table->model()->rowCount(), 1);
    rig.clock.advance(9000);
    tick(window);
    QVERIFY(table->model()->rowCount() > 5);
    QCOMPARE(table->model()->headerData(0, Qt::Horizontal).toString(), QString("Time"));
    QCOMPARE(table->model()->headerData(3, Qt::Horizontal).toString(), QString("To"));
    // Local time to the millisecond.
    QVERIFY(QRegularExpression(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}$)")
                .match(table->model()->index(0, 0).data().toString())
                .hasMatch());

    history->findChild<QPushButton *>("historyCopy")->click();
    const QString copied = QApplication::clipboard()->text();
    QVERIFY2(copied.contains("  Resolution  1920x1080 -> 3840x2160\n"), qPrintable(copied));

    QTemporaryDir folder;
    FixedDialogs dialogs;
    dialogs.name = folder.filePath("history.csv");
    window.setFileDialogs(&dialogs);
    history->findChild<QPushButton *>("historySave")->click();
    QFile file(dialogs.name);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray csv = file.readAll();
    QVERIFY(csv.startsWith("time,what,from,to\r\n"));
    QVERIFY(csv.contains(",resolution,1920x1080,3840x2160\r\n"));
    window.setFileDialogs(nullptr);
}

void TestPlug::historyKeepsTheLast10000() {
    SignalHistory history;
    watch::WatchEvent event;
    event.kind = watch::EventKind::Changed;
    event.field = "vic";
    std::vector<watch::WatchEvent> events;
    for (int i = 0; i < 10250; ++i) {
        event.from = i;
        event.to = i + 1;
        events.push_back(event);
        if (events.size() == 100) {
            history.add(events, QDateTime::currentDateTime());
            events.clear();
        }
    }
    history.add(events, QDateTime::currentDateTime());
    QCOMPARE(history.rowCount(), 10000);
    QCOMPARE(history.dropped(), qint64(250));
    QCOMPARE(history.entries().front().from, QString("250"));
    QCOMPARE(history.entries().back().to, QString("10250"));
    QVERIFY(history.text().startsWith("(250 older events dropped; the last 10000 are kept)\n"));
    FileDialogs *dialogs = &qtFileDialogs();
    SignalHistoryWindow window(history, dialogs, nullptr);
    QCOMPARE(window.note(), QString("250 older events dropped: the last 10000 are kept."));
}

void TestPlug::historyInWords_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("word");
    QTest::newRow("hdr_eotf") << "hdr_eotf"
                              << "HDR EOTF";
    QTest::newRow("source_vendor") << "source_vendor"
                                   << "Source vendor";
    QTest::newRow("quantization_range") << "quantization_range"
                                        << "Quantization range";
    QTest::newRow("hdr-force") << "hdr-force"
                               << "Force HDR always active";
    QTest::newRow("attached") << "attached"
                              << "Attached";
}

// The table and its text name a field as the window's labels do; the CSV keeps the key.
void TestPlug::historyInWords() {
    QFETCH(QString, field);
    QFETCH(QString, word);
    SignalHistory history;
    watch::WatchEvent event;
    const bool attached = field == QLatin1String("attached");
    event.kind = attached ? watch::EventKind::Attached : watch::EventKind::Changed;
    event.field = attached ? QString() : field;
    event.from = QString("off");
    event.to = QString("on");
    history.add({event}, QDateTime(QDate(2026, 12, 8), QTime(10, 15, 2, 120)));
    QCOMPARE(history.index(0, SignalHistory::What).data().toString(), word);
    QVERIFY2(history.text().contains("  " + word + "  "), qPrintable(history.text()));
    QVERIFY2(history.csv().contains(("," + field + ",").toUtf8()), history.csv().constData());
}

// Every field of the status and every part of a configuration has its word.
void TestPlug::everyFieldHasAWord() {
    QStringList keys;
    for (const QString &name : status::statusFieldNames()) {
        keys << name;
    }
    keys << "edid"
         << "avi";
    for (const QString &key : keys) {
        QVERIFY2(fieldWord(key) != key, qPrintable(key));
    }
}

// The window's demo and the other front ends are one box through the demo's state file: a
// change another saved shows at the window's next tick, and the window's own change is saved
// once its event is done, for the other's next status read.
void TestPlug::demoBoxIsShared() {
    QTemporaryDir folder;
    const QString file = folder.filePath("demo-box");
    Rig rig;
    sim::SharedDemoBox shared(rig.box, file);
    QString error;
    QVERIFY(shared.load(&error));
    shared.setSaveWhenIdle(true);
    installPlatform(&shared, &rig.clock);
    MainWindow &window = rig.start();
    holdStatusTimer(window);
    auto *input = rig.widget<QComboBox>("cmbInputSel");
    QCOMPARE(input->currentIndex(), 0);

    sim::FakeLinkClock otherClock;
    sim::SimulatedBox otherBox(otherClock);
    sim::SharedDemoBox other(otherBox, file);
    QVERIFY(other.load(&error));
    otherBox.statusRecord()[record::kActiveInput] = 2; // bot, as `veltrika --demo set input=bot` leaves it
    QVERIFY(other.save(&error));
    rig.clock.advance(3000);
    tick(window);
    QCOMPARE(input->currentIndex(), 1);

    rig.widget<QAbstractButton>("disableLed")->click();
    QCoreApplication::processEvents();
    RecordingReporter reporter;
    BoxSession session(other, otherClock, reporter);
    QCOMPARE(session.attach(), Attach::Open);
    QVERIFY(session.readStatus().ok());
    QCOMPARE(otherBox.statusRecord()[record::kGreenLed], 0);
    QCOMPARE(otherBox.statusRecord()[record::kActiveInput], 2);
    rig.closeWindow();
}

void TestPlug::csvIsRfc4180() {
    SignalHistory history;
    watch::WatchEvent event;
    event.kind = watch::EventKind::Changed;
    event.field = "source_product";
    event.from = QString("Box \"4K\", new");
    event.to = QString("line\nbreak");
    history.add({event}, QDateTime(QDate(2026, 12, 8), QTime(10, 15, 2, 120)));
    event.field = "outputs";
    event.from = QString("TX A, TX B");
    event.to = QString("TX A");
    history.add({event}, QDateTime(QDate(2026, 12, 8), QTime(10, 15, 3, 5)));
    QCOMPARE(history.csv(),
             QByteArray("time,what,from,to\r\n"
                        "2026-12-08 10:15:02.120,source_product,\"Box \"\"4K\"\", new\",\"line\nbreak\"\r\n"
                        "2026-12-08 10:15:03.005,outputs,\"TX A, TX B\",TX A\r\n"));
}

QTEST_MAIN(TestPlug)
#include "tst_plug.moc"
