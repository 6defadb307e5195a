// The demo box's state: the simulated box's export and import, and the state file that
// makes a sequence of `veltrika --demo` runs behave like one box. A damaged or unreadable
// file is refused and left exactly as it was.

#include "cli_rig.h"
#include "core/box/box_session.h"
#include "sim/demo_state.h"
#include "support/recording_reporter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using sim::StateError;

namespace {

using Bytes = std::vector<uint8_t>;
using Damage = std::function<void(Bytes &)>;

constexpr size_t kHeaderSize = 16;
constexpr size_t kCecLengthAt = kHeaderSize + 40 + 256 + 31 + 13;

QByteArray fileBytes(const QString &name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &name, const QByteArray &bytes) {
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray asBytes(const Bytes &bytes) {
    return {reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size())};
}

// Sets the payload's checksum again after a change inside it, so the check of the field
// itself is what refuses it.
void resealChecksum(Bytes &bytes) {
    const uint16_t checksum = qChecksum(
        QByteArrayView(bytes.data() + kHeaderSize, static_cast<qsizetype>(bytes.size() - kHeaderSize)),
        Qt::ChecksumIso3309);
    bytes[14] = static_cast<uint8_t>(checksum & 0xFF);
    bytes[15] = static_cast<uint8_t>(checksum >> 8);
}

// A box whose every persistent part differs from the factory's.
void changeEverything(sim::SimulatedBox &box) {
    box.statusRecord()[record::kActiveInput] = 3;
    box.statusRecord()[record::kEdidMode] = record::kEdidModeCustom;
    box.customEdid() = sim::buildEdid("STATE TV", 0x4242);
    box.registerBlock(proto::kRegStoredHdrInfoframe)[proto::kBlockDataStart] = 0x55;
    box.registerBlock(proto::kRegStoredAviBytes)[proto::kBlockDataStart + 12] = 0x66;
}

} // namespace

Q_DECLARE_METATYPE(Damage)
Q_DECLARE_METATYPE(StateError)

class TestDemoState : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir_.isValid()); }
    void exportImportRoundTrip();
    void damagedStates_data();
    void damagedStates();
    void sequenceOfRunsIsOneBox();
    void readOnlyRunWritesNothing();
    void damagedFileIsRefusedAndKept_data();
    void damagedFileIsRefusedAndKept();
    void defaultFileAndItsDirectory();
    void unwritableStateFile();
    void defaultPath_data();
    void defaultPath();
    void frontEndsShareOneBox_data();
    void frontEndsShareOneBox();
    void damagedWhileRunning();

private:
    QString path(const char *name) const { return dir_.filePath(QLatin1String(name)); }
    QTemporaryDir dir_;
};

void TestDemoState::exportImportRoundTrip() {
    sim::FakeLinkClock clock;
    sim::SimulatedBox from(clock);
    changeEverything(from);
    CliRig rig; // stores the CEC commands the way the box takes them: through frames
    rig.demoFile = path("cec");
    QCOMPARE(rig.run({"--demo", "cec", "store", "sp", "50:04"}), 0);
    QCOMPARE(rig.run({"--demo", "cec", "store", "lp", "0f:36"}), 0);
    sim::SimulatedBox withCec(clock);
    const QByteArray saved = fileBytes(path("cec"));
    QCOMPARE(
        withCec.importState({reinterpret_cast<const uint8_t *>(saved.constData()), size_t(saved.size())}),
        StateError::None);
    QCOMPARE(withCec.storedCec(1), std::string("50:04\r"));
    QCOMPARE(withCec.storedCec(2), std::string("0F:36\r"));

    const Bytes state = from.exportState();
    sim::SimulatedBox to(clock);
    QCOMPARE(to.importState(state), StateError::None);
    QCOMPARE(to.exportState(), state);
    QCOMPARE(to.statusRecord(), from.statusRecord());
    QCOMPARE(to.customEdid(), from.customEdid());
    QCOMPARE(to.ownEdid(), from.customEdid());
    QCOMPARE(to.registerBlock(proto::kRegStoredHdrInfoframe),
             from.registerBlock(proto::kRegStoredHdrInfoframe));
    QCOMPARE(to.registerBlock(proto::kRegStoredAviBytes), from.registerBlock(proto::kRegStoredAviBytes));
}

void TestDemoState::damagedStates_data() {
    QTest::addColumn<Damage>("damage");
    QTest::addColumn<StateError>("expected");
    // clang-format off
    QTest::newRow("empty") << Damage([](Bytes &b) { b.clear(); }) << StateError::NotAState;
    QTest::newRow("header cut") << Damage([](Bytes &b) { b.resize(kHeaderSize - 1); }) << StateError::NotAState;
    QTest::newRow("other magic") << Damage([](Bytes &b) { b[0] = 'X'; }) << StateError::NotAState;
    QTest::newRow("later version") << Damage([](Bytes &b) { b[8] = 2; }) << StateError::UnknownVersion;
    QTest::newRow("length field") << Damage([](Bytes &b) { b[10] ^= 1; }) << StateError::WrongLength;
    QTest::newRow("payload cut") << Damage([](Bytes &b) { b.pop_back(); }) << StateError::WrongLength;
    QTest::newRow("byte after it") << Damage([](Bytes &b) { b.push_back(0); }) << StateError::WrongLength;
    QTest::newRow("record byte") << Damage([](Bytes &b) { b[kHeaderSize] ^= 0x01; }) << StateError::BadChecksum;
    QTest::newRow("EDID byte") << Damage([](Bytes &b) { b[kHeaderSize + 40 + 100] ^= 0x80; }) << StateError::BadChecksum;
    QTest::newRow("checksum") << Damage([](Bytes &b) { b[15] ^= 0x10; }) << StateError::BadChecksum;
    QTest::newRow("CEC too long") << Damage([](Bytes &b) { b[kCecLengthAt] = 61; resealChecksum(b); })
                                  << StateError::BadContent;
    QTest::newRow("bytes after CEC text") << Damage([](Bytes &b) { b[kCecLengthAt + 1 + 59] = 'X'; resealChecksum(b); })
                                          << StateError::BadContent;
    // clang-format on
}

void TestDemoState::damagedStates() {
    QFETCH(Damage, damage);
    QFETCH(StateError, expected);
    sim::FakeLinkClock clock;
    sim::SimulatedBox source(clock);
    changeEverything(source);
    Bytes state = source.exportState();
    damage(state);
    sim::SimulatedBox box(clock);
    const Bytes fresh = box.exportState();
    QCOMPARE(box.importState(state), expected);
    // Nothing of a refused state is taken.
    QCOMPARE(box.exportState(), fresh);
}

void TestDemoState::sequenceOfRunsIsOneBox() {
    const QString file = path("box");
    const QString demo = QStringLiteral("--demo=") + file;
    const QString edidFile = path("custom.bin");
    const EdidImage custom = sim::buildEdid("SEQUENCE", 0x0777);
    writeFile(edidFile, QByteArray(reinterpret_cast<const char *>(custom.data()), custom.size()));
    {
        CliRig first;
        QCOMPARE(first.run({demo, "set", "input=bot", "edid-mode=custom"}), 0);
    }
    {
        CliRig second;
        QCOMPARE(second.run({demo, "get", "input", "edid-mode"}), 0);
        QCOMPARE(second.outLines(), QStringList({"input=bot", "edid-mode=custom"}));
        QCOMPARE(second.run({demo, "edid", "write", edidFile}), 0);
        QCOMPARE(second.run({demo, "hdr", "send", "87:01:1a:00:02", "--as-is"}), 0);
    }
    {
        CliRig third;
        QCOMPARE(third.run({demo, "edid", "read", "-o", path("back.bin")}), 0);
        QCOMPARE(fileBytes(path("back.bin")), fileBytes(edidFile));
        // The factory reset of the settings keeps the custom EDID; that of the EDID keeps the settings.
        QCOMPARE(third.run({demo, "reset", "--settings", "--yes"}), 0);
        QCOMPARE(third.run({demo, "get", "input"}), 0);
        QCOMPARE(third.outLines(), QStringList({"input=top"}));
    }
    sim::FakeLinkClock clock;
    sim::SimulatedBox box(clock);
    const QByteArray state = fileBytes(file);
    QCOMPARE(box.importState({reinterpret_cast<const uint8_t *>(state.constData()), size_t(state.size())}),
             StateError::None);
    QCOMPARE(box.customEdid(), custom);
    const uint8_t hdr[] = {0x87, 0x01, 0x1A, 0x00, 0x02, 0x00};
    QVERIFY(std::equal(std::begin(hdr), std::end(hdr),
                       box.registerBlock(proto::kRegStoredHdrInfoframe).begin() + proto::kBlockDataStart));
}

void TestDemoState::readOnlyRunWritesNothing() {
    CliRig rig;
    rig.demoFile = path("never");
    QCOMPARE(rig.run({"--demo", "status"}), 0);
    QCOMPARE(rig.run({"--demo", "edid", "read"}), 0);
    QVERIFY(!QFile::exists(path("never")));
    // A command refused before the box is opened writes nothing either.
    QCOMPARE(rig.run({"--demo", "set", "input=sideways"}), 2);
    QVERIFY(!QFile::exists(path("never")));
}

void TestDemoState::damagedFileIsRefusedAndKept_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    sim::FakeLinkClock clock;
    const QByteArray good = asBytes(sim::SimulatedBox(clock).exportState());
    QByteArray flipped = good;
    flipped[100] = static_cast<char>(flipped[100] ^ 0x04);
    // clang-format off
    QTest::newRow("empty") << QByteArray() << "not a demo box state";
    QTest::newRow("text") << QByteArray("input=bot\n") << "not a demo box state";
    QTest::newRow("cut") << good.left(good.size() - 10) << "damaged (length)";
    QTest::newRow("flipped") << flipped << "damaged (checksum)";
    QTest::newRow("huge") << QByteArray(200 * 1024, 'V') << "not a demo box state";
    // clang-format on
}

void TestDemoState::damagedFileIsRefusedAndKept() {
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    const QTemporaryDir alone; // nothing else in it: no temporary file may be left beside it
    const QString file = alone.filePath(QStringLiteral("damaged"));
    writeFile(file, content);
    CliRig rig;
    QCOMPARE(rig.run({"--demo=" + file, "set", "input=bot"}), 2);
    QCOMPARE(rig.errLines(),
             QStringList{"veltrika: " + file + ": " + message + "; the file is left as it is"});
    QCOMPARE(fileBytes(file), content);
    QCOMPARE(QDir(alone.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"damaged"});

    CliRig json;
    QCOMPARE(json.run({"--json", "--demo=" + file, "get"}), 2);
    QCOMPARE(json.json().value("error").toString(), file + ": " + message + "; the file is left as it is");
}

void TestDemoState::defaultFileAndItsDirectory() {
    CliRig rig;
    rig.demoFile = path("state/veltrika/demo-box");
    QCOMPARE(rig.run({"--demo", "set", "green-led=off"}), 0);
    QVERIFY(QFile::exists(rig.demoFile));
    QCOMPARE(rig.run({"--demo", "get", "green-led"}), 0);
    QCOMPARE(rig.outLines(), QStringList({"green-led=off"}));

    // A directory where the file should be is an unreadable file.
    CliRig directory;
    QCOMPARE(directory.run({"--demo=" + dir_.path(), "get"}), 2);
    QCOMPARE(directory.errLines(),
             QStringList{"veltrika: Cannot read file " + dir_.path() + ": Is a directory."});
}

void TestDemoState::unwritableStateFile() {
    writeFile(path("plain"), "x");
    const QString file = path("plain/demo-box"); // its directory is a file
    CliRig rig;
    QCOMPARE(rig.run({"--demo=" + file, "set", "input=bot"}), 2);
    QVERIFY(rig.errLines().last().startsWith("veltrika: Cannot write file " + file));
    QCOMPARE(fileBytes(path("plain")), QByteArray("x"));
}

void TestDemoState::defaultPath_data() {
    QTest::addColumn<QString>("xdgStateHome");
    QTest::addColumn<QString>("expected");
    QTest::newRow("set") << "/var/state"
                         << "/var/state/veltrika/demo-box";
    QTest::newRow("trailing slash") << "/var/state/"
                                    << "/var/state/veltrika/demo-box";
    QTest::newRow("unset") << ""
                           << "/home/u/.local/state/veltrika/demo-box";
    QTest::newRow("relative is ignored") << "state"
                                         << "/home/u/.local/state/veltrika/demo-box";
}

void TestDemoState::defaultPath() {
    QFETCH(QString, xdgStateHome);
    QFETCH(QString, expected);
    QCOMPARE(sim::defaultDemoStateFile(xdgStateHome, QStringLiteral("/home/u")), expected);
}

namespace {

// A front end that runs on the demo box (the window's demo, the bridge's): its own simulated
// box on the state file, and a session that reads the status at its ticks.
struct RunningFrontEnd {
    sim::FakeLinkClock clock{1000};
    sim::SimulatedBox box{clock};
    sim::SharedDemoBox shared;
    RecordingReporter reporter;
    BoxSession session{shared, clock, reporter};
    QStringList errors;

    explicit RunningFrontEnd(const QString &file) : shared(box, file) {
        shared.setErrorHandler([this](const QString &error) { errors << error; });
    }
    bool start() {
        QString error;
        return shared.load(&error) && session.attach() == Attach::Open;
    }
    bool tick() { return session.readStatus().ok(); }
};

} // namespace

void TestDemoState::frontEndsShareOneBox_data() {
    QTest::addColumn<QStringList>("command"); // what `veltrika --demo` does meanwhile
    QTest::addColumn<bool>("runningChanges"); // the running front end turns the green LED off
    QTest::addColumn<QString>("runningSees"); // its input and green LED after its next tick
    QTest::addColumn<QStringList>("cliSees"); // `veltrika --demo get input green-led` after that
    QTest::newRow("the command line's change reaches a running window")
        << QStringList{"set", "input=bot"} << false << "2 1" << QStringList{"input=bot", "green-led=on"};
    QTest::newRow("a running window's change reaches the command line")
        << QStringList{} << true << "1 0" << QStringList{"input=top", "green-led=off"};
    // Both changed the box: the window's tick writes last, and the file stays whole.
    QTest::newRow("the last writer wins, whole")
        << QStringList{"set", "input=bot"} << true << "1 0" << QStringList{"input=top", "green-led=off"};
}

// `veltrika --demo` and a front end that runs are one box: each change goes through the
// state file, picked up at the running one's next status tick.
void TestDemoState::frontEndsShareOneBox() {
    QFETCH(QStringList, command);
    QFETCH(bool, runningChanges);
    QFETCH(QString, runningSees);
    QFETCH(QStringList, cliSees);
    const QTemporaryDir alone;
    const QString file = alone.filePath(QStringLiteral("demo-box"));
    RunningFrontEnd running(file);
    QVERIFY(running.start());
    QVERIFY(running.tick());
    if (!command.isEmpty()) {
        CliRig cli;
        QCOMPARE(cli.run(QStringList{"--demo=" + file} + command), 0);
    }
    if (runningChanges) {
        QCOMPARE(running.session.writeSetting(Setting::GreenLed, 0), LinkError::None);
    }
    QVERIFY(running.tick());
    QCOMPARE(QStringLiteral("%1 %2")
                 .arg(running.box.statusRecord()[record::kActiveInput])
                 .arg(running.box.statusRecord()[record::kGreenLed]),
             runningSees);
    CliRig cli;
    QCOMPARE(cli.run({"--demo=" + file, "get", "input", "green-led"}), 0);
    QCOMPARE(cli.outLines(), cliSees);
    QVERIFY(running.errors.isEmpty());
    QCOMPARE(QDir(alone.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"demo-box"});
}

// A file damaged while a front end runs is told once and left as it is; the box keeps its
// state until the file is whole again.
void TestDemoState::damagedWhileRunning() {
    const QTemporaryDir alone;
    const QString file = alone.filePath(QStringLiteral("demo-box"));
    RunningFrontEnd running(file);
    QVERIFY(running.start());
    QCOMPARE(running.session.writeSetting(Setting::ActiveInput, 2), LinkError::None);
    QVERIFY(running.tick()); // saves its change
    const QByteArray saved = fileBytes(file);
    writeFile(file, "input=bot\n");
    QVERIFY(running.tick());
    QVERIFY(running.tick());
    QCOMPARE(running.errors, QStringList{file + ": not a demo box state; the file is left as it is"});
    QCOMPARE(running.box.statusRecord()[record::kActiveInput], 2);
    QCOMPARE(fileBytes(file), QByteArray("input=bot\n"));
    writeFile(file, saved);
    CliRig cli;
    QCOMPARE(cli.run({"--demo=" + file, "set", "input=matrix-swap"}), 0);
    QVERIFY(running.tick());
    QCOMPARE(running.box.statusRecord()[record::kActiveInput], 4);
}

QTEST_GUILESS_MAIN(TestDemoState)
#include "tst_demo_state.moc"
