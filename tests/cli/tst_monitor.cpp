// `veltrika monitor` in-process on the fake clock: waiting for a box that is not there yet,
// the whole status once, one line per event as text and as JSON Lines, unplug and replug,
// its interval, --for and --count, and the typed status of `status --json`.

#include "cli_rig.h"
#include "monitor_command.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A wait that runs `at` when the fake clock passes its time, then sleeps on.
struct Script {
    sim::FakeLinkClock &clock;
    std::vector<std::pair<uint32_t, std::function<void()>>> steps;
    bool wait(uint32_t ms) {
        clock.sleep(ms);
        for (auto &[at, step] : steps) {
            if (step && int32_t(clock.tickCount() - at) >= 0) {
                step();
                step = nullptr;
            }
        }
        return true;
    }
};

QList<QJsonObject> jsonLines(const CliRig &rig) {
    QList<QJsonObject> objects;
    for (const QString &line : rig.outLines()) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError || !document.isObject()) {
            qWarning() << "not a JSON object:" << line;
            return {};
        }
        objects << document.object();
    }
    return objects;
}

// The lines without their time stamps.
QStringList untimed(const QStringList &lines) {
    QStringList list;
    for (const QString &line : lines) {
        list << line.section(' ', 1);
    }
    return list;
}

} // namespace

class TestMonitor : public QObject {
    Q_OBJECT

private slots:
    void timeStamps();
    void jsonLineHasTheTimeFirst();
    void statusJsonHasTheSignal();
    void waitsForTheBox();
    void demoFollowsTheScript();
    void jsonLines();
    void unplugAndReplug();
    void interval_data();
    void interval();
    void badArguments_data();
    void badArguments();
    void stopWhenAsked();
};

void TestMonitor::timeStamps() {
    const QDateTime plusOne(QDate(2026, 12, 8), QTime(10, 15, 2, 120), Qt::OffsetFromUTC, 3600);
    QCOMPARE(cli::monitorTime(plusOne), QString("2026-12-08T10:15:02.120+01:00"));
    const QDateTime utc(QDate(2026, 1, 2), QTime(3, 4, 5, 6), Qt::UTC);
    QCOMPARE(cli::monitorTime(utc), QString("2026-01-02T03:04:05.006+00:00"));
    const QDateTime west(QDate(2026, 7, 1), QTime(23, 59, 59, 999), Qt::OffsetFromUTC, -(9 * 3600 + 30 * 60));
    QCOMPARE(cli::monitorTime(west), QString("2026-07-01T23:59:59.999-09:30"));
    const QString local = cli::monitorTime(QDateTime::currentDateTime());
    QVERIFY2(
        QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)").match(local).hasMatch(),
        qPrintable(local));
}

void TestMonitor::jsonLineHasTheTimeFirst() {
    QCOMPARE(cli::monitorJsonLine(
                 {{"to", 97}, {"time", "T"}, {"event", "changed"}, {"field", "vic"}, {"from", 16}}),
             QString(R"({"time":"T","event":"changed","field":"vic","from":16,"to":97})"));
    QCOMPARE(cli::monitorJsonLine({{"time", "a\"b"}}), QString(R"({"time":"a\"b"})"));
}

void TestMonitor::statusJsonHasTheSignal() {
    CliRig rig;
    QCOMPARE(rig.run({"--json", "status"}), 0);
    const QJsonObject signal = rig.json().value("signal").toObject();
    QCOMPARE(signal.value("resolution").toString(), QString("1920x1080"));
    QCOMPARE(signal.value("refresh_rate").toDouble(), 60.0);
    QCOMPARE(signal.value("colour_space").toString(), QString("YCbCr 4:4:4"));
    QCOMPARE(signal.value("source_vendor").toString(), QString("STREAMCO"));
    QCOMPARE(signal.value("settings").toObject().value("input").toString(), QString("top"));
    // The keys it had stay as they were.
    QCOMPARE(rig.json().value("color_space").toString(), QString("Color Space: YCbCr 4:4:4, ITU-R BT.709"));
}

void TestMonitor::waitsForTheBox() {
    CliRig rig;
    rig.box.unplug();
    Script script{rig.clock, {{5000, [&rig] { rig.box.plugIn(); }}}};
    rig.wait = [&script](uint32_t ms) { return script.wait(ms); };
    QCOMPARE(rig.run({"monitor", "--for", "10"}), 0);
    const QStringList lines = untimed(rig.outLines());
    QCOMPARE(lines.first(), QString("state firmware 1.8.3.0"));
    QVERIFY(lines.contains("state resolution 1920x1080"));
    QVERIFY(lines.contains("state green-led on"));
    QVERIFY(lines.filter(QRegularExpression("^(changed|attached|detached)")).isEmpty());
    // No error while the box was missing, and the box was read once a second after.
    QCOMPARE(rig.errLines(), QStringList());
    QVERIFY(rig.box.frames().front().time >= 5000);
}

void TestMonitor::demoFollowsTheScript() {
    QTemporaryDir folder;
    CliRig rig;
    rig.demoFile = folder.filePath("demo-box");
    rig.now = [&rig] {
        return QDateTime(QDate(2026, 12, 8), QTime(10, 15, 0), Qt::OffsetFromUTC, 3600)
            .addMSecs(rig.clock.tickCount());
    };
    QCOMPARE(rig.run({"--demo", "monitor", "--for", "20"}), 0);
    const QStringList lines = rig.outLines();
    QVERIFY(lines.first().startsWith("2026-12-08T10:15:01.000+01:00 state firmware 1.8.3.0"));
    QVERIFY2(lines.contains("2026-12-08T10:15:09.000+01:00 changed resolution 1920x1080 -> 3840x2160"),
             qPrintable(lines.join('\n')));
    QVERIFY(lines.contains("2026-12-08T10:15:17.000+01:00 changed bit_depth 10 -> 12"));
    QVERIFY(lines.contains("2026-12-08T10:15:17.000+01:00 changed source_vendor GAMEWRKS -> CINEVUE"));
}

void TestMonitor::jsonLines() {
    QTemporaryDir folder;
    CliRig rig;
    rig.demoFile = folder.filePath("demo-box");
    QCOMPARE(rig.run({"--demo", "monitor", "--json", "--count", "3"}), 0);
    const QList<QJsonObject> objects = ::jsonLines(rig);
    QCOMPARE(objects.size(), 4);
    QCOMPARE(objects[0].value("event").toString(), QString("state"));
    // Each line begins with its time.
    for (const QString &line : rig.outLines()) {
        QVERIFY2(line.startsWith("{\"time\":\""), qPrintable(line));
    }
    QCOMPARE(objects[0].value("firmware").toString(), QString("1.8.3.0"));
    QCOMPARE(objects[0].value("status").toObject().value("resolution").toString(), QString("1920x1080"));
    QCOMPARE(objects[0].value("status").toObject().value("settings").toObject().size(), kSettingCount);
    for (const QJsonObject &object : objects.mid(1)) {
        QCOMPARE(object.value("event").toString(), QString("changed"));
        QVERIFY(object.contains("field") && object.contains("from") && object.contains("to"));
        QVERIFY(!object.contains("status"));
        QVERIFY(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)")
                    .match(object.value("time").toString())
                    .hasMatch());
    }
    // Numbers stay numbers.
    bool sawNumber = false;
    for (const QJsonObject &object : objects.mid(1)) {
        sawNumber = sawNumber || object.value("to").isDouble();
    }
    QVERIFY(sawNumber);
}

void TestMonitor::unplugAndReplug() {
    CliRig rig;
    Script script{rig.clock,
                  {{4000, [&rig] { rig.box.unplug(); }}, {9000, [&rig] {
                                                              rig.box.setFirmwareVersion({2, 0, 1, 7});
                                                              rig.box.statusRecord()[record::kBlueLeds] = 0;
                                                              rig.box.plugIn();
                                                          }}}};
    rig.wait = [&script](uint32_t ms) { return script.wait(ms); };
    QCOMPARE(rig.run({"--json", "monitor", "--for", "15"}), 0);
    QStringList events;
    for (const QJsonObject &object : ::jsonLines(rig)) {
        events << object.value("event").toString() + ' ' + object.value("why").toString() +
                      object.value("firmware").toString();
    }
    QCOMPARE(events, (QStringList{"state 1.8.3.0", "detached unplugged", "attached 2.0.1.7"}));
    const QJsonObject attached = ::jsonLines(rig).last();
    QCOMPARE(attached.value("status").toObject().value("settings").toObject().value("blue-leds").toString(),
             QString("off"));
}

void TestMonitor::interval_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("reads");
    QTest::newRow("default: every second") << QStringList{"monitor", "--for", "10"} << 10;
    QTest::newRow("250 ms") << QStringList{"monitor", "--interval", "250", "--for", "10"} << 40;
    QTest::newRow("a minute") << QStringList{"monitor", "--interval", "60000", "--for", "130"} << 3;
}

void TestMonitor::interval() {
    QFETCH(QStringList, arguments);
    QFETCH(int, reads);
    CliRig rig;
    QCOMPARE(rig.run(arguments), 0);
    int statusReads = 0;
    for (const sim::LoggedFrame &frame : rig.box.frames()) {
        statusReads += frame.request.size() > 2 && frame.request[2] == proto::kStatusRead ? 1 : 0;
    }
    QCOMPARE(statusReads, reads);
}

void TestMonitor::badArguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::newRow("interval too short")
        << QStringList{"monitor", "--interval", "249"} << "bad value for --interval: 249 (250 to 60000)";
    QTest::newRow("interval too long")
        << QStringList{"monitor", "--interval", "60001"} << "bad value for --interval: 60001 (250 to 60000)";
    QTest::newRow("no count") << QStringList{"monitor", "--count"} << "--count needs a value";
    QTest::newRow("zero seconds") << QStringList{"monitor", "--for", "0"} << "bad value for --for: 0";
    QTest::newRow("stray") << QStringList{"monitor", "now"} << "unexpected argument: now";
}

void TestMonitor::badArguments() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    CliRig rig;
    QCOMPARE(rig.run(arguments), 2);
    QVERIFY2(rig.errLines().join('\n').contains(error), qPrintable(rig.errLines().join('\n')));
    QVERIFY(rig.box.calls().empty());
}

void TestMonitor::stopWhenAsked() {
    CliRig rig;
    int waits = 0;
    rig.wait = [&rig, &waits](uint32_t ms) {
        rig.clock.sleep(ms);
        return ++waits < 5;
    };
    QCOMPARE(rig.run({"monitor"}), 0);
    QVERIFY(rig.outLines().first().endsWith("state firmware 1.8.3.0"));
    QVERIFY(!rig.box.isOpen());
}

QTEST_GUILESS_MAIN(TestMonitor)
#include "tst_monitor.moc"
