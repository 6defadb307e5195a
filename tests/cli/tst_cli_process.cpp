// A few runs of the real `veltrika` executable: exit statuses, standard output and error
// as a script sees them, and the demo box's state file across processes. Each run is a
// real process on the real clock: only what in-process tests cannot show is here.

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

Run veltrika(const QStringList &arguments, const QProcessEnvironment &environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VELTRIKA_PATH), arguments);
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

QTEST_GUILESS_MAIN(TestCliProcess)
#include "tst_cli_process.moc"
