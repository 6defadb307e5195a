// A few runs of the real `veltrika` executable: exit statuses, standard output and error
// as a script sees them, and the demo box's state file across processes. Each run is a
// real process on the real clock: only what in-process tests cannot show is here.

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int exitStatus = -1;
    QByteArray out;
    QByteArray err;
};

Run veltrika(const QStringList &arguments, const QProcessEnvironment &environment,
             const QByteArray &input = {}) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VELTRIKA_PATH), arguments);
    process.write(input);
    process.closeWriteChannel();
    Run run;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitStatus = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace

class TestCliProcess : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void versionAndUsage();
    void demoSequenceAcrossProcesses();
    void defaultStateFile();
    void noBoxOnUsb();
    void bytesThroughStandardStreams();
    void fullDisk();

private:
    QTemporaryDir dir_;
    QProcessEnvironment environment_ = QProcessEnvironment::systemEnvironment();
};

void TestCliProcess::initTestCase() {
    QVERIFY(dir_.isValid());
    environment_.insert(QStringLiteral("XDG_STATE_HOME"), dir_.filePath(QStringLiteral("xdg")));
}

void TestCliProcess::versionAndUsage() {
    const Run version = veltrika({"--version"}, environment_);
    QCOMPARE(version.exitStatus, 0);
    QCOMPARE(version.out, QByteArray("veltrika (VELTRIKA Utility) " VELTRIKA_VERSION_TEXT "\n"));

    const Run usage = veltrika({"--demo", "set", "input=sideways"}, environment_);
    QCOMPARE(usage.exitStatus, 2);
    QVERIFY(usage.out.isEmpty());
    QVERIFY(usage.err.startsWith("veltrika: bad value for input: sideways"));
}

void TestCliProcess::demoSequenceAcrossProcesses() {
    const QString demo = QStringLiteral("--demo=") + dir_.filePath(QStringLiteral("box"));
    QCOMPARE(veltrika({demo, "set", "input=bot", "hdr-force=on"}, environment_).exitStatus, 0);

    const Run get = veltrika({demo, "--json", "get", "input", "hdr-force"}, environment_);
    QCOMPARE(get.exitStatus, 0);
    QCOMPARE(QJsonDocument::fromJson(get.out).object(), QJsonObject({{"input", "bot"}, {"hdr-force", "on"}}));

    const Run trace = veltrika({demo, "--trace", "cec", "send", "50:04"}, environment_);
    QCOMPARE(trace.exitStatus, 0);
    QCOMPARE(trace.err, QByteArray("-> 10 03 B2 50 01 04\n<- B2 00\nCEC values written...\n"
                                   "-> 10 03 B3 10\n<- B3 00\n"));
    QVERIFY(trace.out.isEmpty());
}

void TestCliProcess::defaultStateFile() {
    QCOMPARE(veltrika({"--demo", "set", "hdcp=1.4"}, environment_).exitStatus, 0);
    QVERIFY(QFile::exists(dir_.filePath(QStringLiteral("xdg/veltrika/demo-box"))));
    const Run get = veltrika({"--demo", "get", "hdcp"}, environment_);
    QCOMPARE(get.out, QByteArray("hdcp=1.4\n"));
}

// No box is attached to the machine the tests run on.
void TestCliProcess::noBoxOnUsb() {
    const Run run = veltrika({"--json", "status"}, environment_);
    QCOMPARE(run.exitStatus, 3);
    QCOMPARE(QJsonDocument::fromJson(run.out).object().value("error").toString(),
             QStringLiteral("no box found"));
    QVERIFY(run.err.startsWith("VELTRIKA USB not connected!\n"));
}

// The raw EDID of -o - through the process's standard output byte for byte, and standard
// input as one of several EDIDs decoded in one run.
void TestCliProcess::bytesThroughStandardStreams() {
    QFile file(QStringLiteral(VELTRIKA_SOURCE_DIR "/tests/data/edid/lg-oled-c9-hdmi.bin"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray tv = file.readAll(); // the demo box's TV on TOP
    const QString demo = QStringLiteral("--demo=") + dir_.filePath(QStringLiteral("streams"));
    const Run read = veltrika({demo, "edid", "read", "top", "-o", "-"}, environment_);
    QCOMPARE(read.exitStatus, 0);
    QCOMPARE(read.out, tv.left(256));

    const Run decode = veltrika({"edid", "decode", "--json", "-", "top", demo}, environment_, tv);
    QCOMPARE(decode.exitStatus, 0);
    const QList<QByteArray> lines = decode.out.split('\n');
    QCOMPARE(lines.size(), 3); // two lines and the empty rest
    QJsonObject fromInput = QJsonDocument::fromJson(lines[0]).object();
    QJsonObject fromBox = QJsonDocument::fromJson(lines[1]).object();
    QCOMPARE(fromInput.take(QStringLiteral("file")).toString(), QStringLiteral("-"));
    QCOMPARE(fromBox.take(QStringLiteral("file")).toString(), QStringLiteral("top"));
    QCOMPARE(fromInput.value(QStringLiteral("name")).toString(), QStringLiteral("LG TV"));
    QCOMPARE(fromInput, fromBox);
}

// Standard output on a full disk: the decode fails, and says so.
void TestCliProcess::fullDisk() {
    const QString tv = QStringLiteral(VELTRIKA_SOURCE_DIR "/tests/data/edid/lg-oled-c9-hdmi.bin");
    QProcess process;
    process.setProcessEnvironment(environment_);
    process.setStandardOutputFile(QStringLiteral("/dev/full"));
    process.start(QStringLiteral(VELTRIKA_PATH), {"edid", "decode", tv, tv});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 2);
    QCOMPARE(process.readAllStandardError(), QByteArray("veltrika: Cannot write to standard output.\n"));
}

QTEST_GUILESS_MAIN(TestCliProcess)
#include "tst_cli_process.moc"
