// backup, restore and config on the command line, in-process against the simulated box: the
// round trip, the dry run's lines and JSON list, files refused before the box is looked for,
// a refusal in the middle, --only, and the named configurations.

#include "cli_rig.h"
#include "core/box/box_configuration_file.h"
#include "core/edid/spaced_hex.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

namespace {

void writeFile(const QString &name, const QByteArray &bytes) {
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray fileWith(const QByteArray &members) {
    return R"({"format": "veltrika-box-configuration", "version": 1, )" + members + "}";
}

// Settings other than the factory's, a custom EDID and both infoframes.
BoxConfiguration tuned() {
    BoxConfiguration configuration;
    configuration.setSetting(Setting::ActiveInput, 4);
    configuration.setSetting(Setting::HdcpVersion, 2);
    configuration.setSetting(Setting::ForceHdrActive, 1);
    configuration.setSetting(Setting::EdidMode, record::kEdidModeCustom);
    configuration.setSetting(Setting::CustomEdidPreset, 0);
    configuration.customEdid = sim::buildEdid("MOVIE NIGHT", 0x0101);
    configuration.hdrInfoframe = StoredHdrInfoframe{0x87, 0x01, 0x1A, 0x22};
    configuration.aviBytes = StoredAviBytes{0x60, 0xE8, 0x60};
    return configuration;
}

// True when every request was a read (a fetch of the box's own EDID is one): nothing was
// sent that changes the box.
bool onlyReads(const CliRig &rig) {
    return std::all_of(rig.box.frames().begin(), rig.box.frames().end(), [](const sim::LoggedFrame &frame) {
        return frame.request[0] == proto::kFromDevice || frame.request[2] == proto::kFetchOwnEdid;
    });
}

} // namespace

class TestCliConfiguration : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir_.isValid()); }
    void backupAndRestore();
    void dryRun();
    void refusedFiles_data();
    void refusedFiles();
    void refusalInTheMiddle();
    void onlyTheParts();
    void firmwareNote();
    void namedConfigurations();
    void saveOverANameNeedsReplace_data();
    void saveOverANameNeedsReplace();
    void usageErrors_data();
    void usageErrors();
    void folderNotMade();

private:
    QString path(const char *name) const { return dir_.filePath(QLatin1String(name)); }
    QTemporaryDir dir_;
};

void TestCliConfiguration::backupAndRestore() {
    CliRig source;
    source.box.keepConfiguration(tuned());
    QCOMPARE(source.run({"backup", "-o", path("tuned.json")}), 0);
    const ConfigurationFileRead file = readConfigurationFile(path("tuned.json"));
    QVERIFY2(file.ok(), qPrintable(file.error.text()));
    BoxConfiguration expected = tuned();
    expected.firmware = QStringLiteral("1.8.3.0");
    QCOMPARE(file.file->configuration.hdrInfoframe, expected.hdrInfoframe);
    QCOMPARE(file.file->configuration.customEdid, expected.customEdid);

    CliRig rig;
    // The test's HDR infoframe is no infoframe a decoder takes (its checksum is wrong).
    QCOMPARE(rig.run({"restore", path("tuned.json")}), 1);
    QCOMPARE(rig.run({"restore", path("tuned.json"), "--as-is"}), 0);
    QCOMPARE(
        rig.outLines(),
        QStringList({"input: top -> matrix-swap", "hdcp: 2.2 -> 1.4", "hdr-force: off -> on",
                     "edid-mode: automix -> custom",
                     "edid: 256 bytes to write (the box's own cannot be read in its mode)",
                     "hdr_infoframe: 31 bytes differ in 25 places", "avi: 13 bytes differ in 4 places"}));
    BoxConfiguration kept = rig.box.keptConfiguration();
    QCOMPARE(kept.customEdid, expected.customEdid);
    QCOMPARE(kept.settings, file.file->configuration.settings);
    QCOMPARE(kept.hdrInfoframe, expected.hdrInfoframe);
    QCOMPARE(kept.aviBytes, expected.aviBytes);

    // A second restore finds nothing to send.
    QCOMPARE(rig.run({"restore", path("tuned.json")}), 0);
    QCOMPARE(rig.outLines(), QStringList());
    QVERIFY(rig.errLines().contains("The box holds what " + path("tuned.json") + " holds."));
    QVERIFY(onlyReads(rig));
}

void TestCliConfiguration::dryRun() {
    const EdidImage edid = sim::buildEdid("DRY", 7);
    writeFile(path("dry.json"),
              fileWith(R"("settings": {"input": "bot", "hdcp": "1.4"}, "edid": {"mode": "custom", )"
                       R"("preset": 0, "bytes": ")" +
                       formatEdidText(edid).replace('\n', ' ').toLatin1() + R"("})"));
    CliRig rig;
    QCOMPARE(rig.run({"restore", path("dry.json"), "--dry-run"}), 0);
    QCOMPARE(rig.outLines(),
             QStringList({"input: top -> bot", "hdcp: 2.2 -> 1.4", "edid-mode: automix -> custom",
                          "edid: 256 bytes to write (the box's own cannot be read in its mode)"}));
    QVERIFY(onlyReads(rig));
    QCOMPARE(rig.box.statusRecord(), sim::SimulatedBox::factorySettings());

    QCOMPARE(rig.run({"--json", "restore", "--dry-run", path("dry.json")}), 0);
    const QJsonArray list = QJsonDocument::fromJson(rig.outBytes).array();
    QCOMPARE(list.size(), 4);
    QCOMPARE(list[0].toObject(),
             QJsonObject({{"part", "settings"}, {"name", "input"}, {"from", "top"}, {"to", "bot"}}));
    QCOMPARE(list[3].toObject(),
             QJsonObject({{"part", "edid"}, {"name", "edid"}, {"bytes", 256}, {"differing", QJsonValue()}}));
    QVERIFY(onlyReads(rig));

    // In custom mode on preset 0 the box's custom EDID is read and held against the file's.
    rig.box.statusRecord()[record::kEdidMode] = record::kEdidModeCustom;
    EdidImage near = edid;
    near[20] ^= 1;
    setEdidChecksums(near);
    rig.box.customEdid() = near;
    QCOMPARE(rig.run({"restore", "--dry-run", path("dry.json")}), 0);
    QCOMPARE(rig.outLines().last(), QStringLiteral("edid: 256 bytes differ in 2 places"));
}

void TestCliConfiguration::refusedFiles_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    // clang-format off
    QTest::newRow("truncated") << fileWith(R"("settings": {"input": "bot"})").chopped(3)
                               << "line 1, column 82: not JSON: unterminated string";
    QTest::newRow("newer") << QByteArray(R"({"format": "veltrika-box-configuration", "version": 3})")
                           << "line 1, column 42 (version): version 3 is newer than this program reads (1)";
    QTest::newRow("bad value") << fileWith(R"("settings": {"input": "bot", "hdr-force": "yes"})")
                               << "line 1, column 85 (settings.hdr-force): unknown value yes (one of: on, off)";
    QTest::newRow("foreign") << QByteArray("input=bot\n") << "line 1, column 2: not JSON: illegal value";
    // clang-format on
}

void TestCliConfiguration::refusedFiles() {
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    writeFile(path("bad.json"), content);
    CliRig rig;
    QCOMPARE(rig.run({"restore", path("bad.json")}), 2);
    QCOMPARE(rig.errLines(),
             QStringList{"veltrika: " + path("bad.json") + ": " + error + "; nothing was sent"});
    // The box was not even looked for.
    QVERIFY(rig.box.calls().empty());
    QCOMPARE(rig.run({"--json", "restore", "--dry-run", path("bad.json")}), 2);
    QCOMPARE(rig.json().value("error").toString(), path("bad.json") + ": " + error + "; nothing was sent");
}

void TestCliConfiguration::refusalInTheMiddle() {
    writeFile(path("three.json"),
              fileWith(R"("settings": {"input": "bot", "hdcp": "1.4", "green-led": "off"}, )"
                       R"("hdr_infoframe": "87:01:1a")"));
    CliRig rig;
    rig.box.injectFaultForRegister(sim::Fault::Refuse, record::kRegGreenLed);
    QCOMPARE(rig.run({"restore", path("three.json"), "--as-is"}), 1);
    QCOMPARE(rig.outLines(), QStringList({"input: top -> bot", "hdcp: 2.2 -> 1.4"}));
    QCOMPARE(rig.errLines().last(),
             QStringLiteral("veltrika: restore: green-led failed (refused); applied: input, "
                            "hdcp; not applied: green-led, hdr_infoframe"));
    QCOMPARE(rig.box.statusRecord()[record::kGreenLed], 1);
    QCOMPARE(rig.box.registerBlock(proto::kRegStoredHdrInfoframe)[proto::kBlockDataStart], 0x87);

    rig.box.statusRecord() = sim::SimulatedBox::factorySettings();
    QCOMPARE(rig.run({"--json", "restore", path("three.json"), "--as-is"}), 1);
    const QJsonObject json = rig.json();
    QCOMPARE(json.value("applied").toArray().size(), 2);
    QCOMPARE(json.value("not_applied").toArray()[0].toObject().value("name").toString(),
             QStringLiteral("green-led"));
    QCOMPARE(json.value("not_applied").toArray()[1].toObject().value("name").toString(),
             QStringLiteral("hdr_infoframe"));
}

void TestCliConfiguration::onlyTheParts() {
    writeFile(path("both.json"), fileWith(R"("settings": {"input": "bot"}, "avi": "40:a8", )"
                                          R"("edid": {"mode": "fixed"})"));
    CliRig rig;
    QCOMPARE(rig.run({"restore", path("both.json"), "--only", "packets"}), 0);
    QCOMPARE(rig.outLines(), QStringList{"avi: 13 bytes differ in 1 place"});
    QCOMPARE(rig.run({"restore", "--only", "edid", "--only", "settings", path("both.json")}), 0);
    QCOMPARE(rig.outLines(), QStringList({"input: top -> bot", "edid-mode: automix -> fixed"}));
}

void TestCliConfiguration::firmwareNote() {
    writeFile(path("old.json"), fileWith(R"("firmware": "1.8.2.0", "settings": {"input": "bot"})"));
    CliRig rig;
    QCOMPARE(rig.run({"restore", "--dry-run", path("old.json")}), 0);
    QVERIFY(rig.errLines().contains(path("old.json") +
                                    " was saved from firmware 1.8.2.0; the box runs 1.8.3.0."));
}

void TestCliConfiguration::namedConfigurations() {
    CliRig rig;
    rig.configurationDirectory = path("data/veltrika/configurations");
    rig.box.keepConfiguration(tuned());
    QCOMPARE(rig.run({"config", "list"}), 0);
    QCOMPARE(rig.outLines(), QStringList());
    QCOMPARE(rig.run({"config", "save", "movie night"}), 0);
    QCOMPARE(rig.run({"config", "save", "gaming"}), 0);
    QVERIFY(QFile::exists(rig.configurationDirectory + "/movie night.json"));
    QCOMPARE(rig.run({"config", "list"}), 0);
    QCOMPARE(rig.outLines(), QStringList({"gaming", "movie night"}));
    QCOMPARE(rig.run({"--json", "config", "list"}), 0);
    QCOMPARE(rig.json().value("configurations").toArray()[0].toObject().value("file").toString(),
             rig.configurationDirectory + "/gaming.json");

    rig.box.keepConfiguration(configurationOfRecord(sim::SimulatedBox::factorySettings()));
    QCOMPARE(rig.run({"restore", "movie night", "--as-is"}), 0);
    QCOMPARE(rig.box.statusRecord()[record::kActiveInput], 4);

    QCOMPARE(rig.run({"config", "delete", "gaming"}), 0);
    QCOMPARE(rig.run({"config", "list"}), 0);
    QCOMPARE(rig.outLines(), QStringList{"movie night"});
    QCOMPARE(rig.run({"config", "delete", "gaming"}), 2);
    QCOMPARE(rig.errLines().last(), QStringLiteral("veltrika: no configuration named gaming"));
    QCOMPARE(rig.run({"restore", "gaming"}), 2);
    QCOMPARE(rig.errLines().last(), QStringLiteral("veltrika: no file and no configuration named gaming"));
    QVERIFY(rig.box.calls().empty());
}

// A configuration tuned for hours is not lost to its name typed again: the save is refused
// before the box is looked for and the file is left as it was; --replace replaces it.
void TestCliConfiguration::saveOverANameNeedsReplace_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("savedInput"); // the input of the configuration the file holds after
    QTest::newRow("the same name again")
        << QStringList{"config", "save", "movie night"} << 1
        << "veltrika: a configuration named movie night exists; give --replace to replace it" << 4;
    QTest::newRow("--replace after the name")
        << QStringList{"config", "save", "movie night", "--replace"} << 0 << "" << 1;
    QTest::newRow("--replace before the name")
        << QStringList{"--json", "config", "save", "--replace", "movie night"} << 0 << "" << 1;
}

void TestCliConfiguration::saveOverANameNeedsReplace() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitStatus);
    QFETCH(QString, error);
    QFETCH(int, savedInput);
    CliRig rig;
    rig.configurationDirectory = dir_.filePath(QStringLiteral("save/%1").arg(QTest::currentDataTag()));
    rig.box.keepConfiguration(tuned());
    QCOMPARE(rig.run({"config", "save", "movie night"}), 0);
    rig.box.keepConfiguration(configurationOfRecord(sim::SimulatedBox::factorySettings()));
    rig.box.clearLog();

    QCOMPARE(rig.run(arguments), exitStatus);
    QCOMPARE(rig.errLines().isEmpty() ? QString() : rig.errLines().last(), error);
    QCOMPARE(rig.box.calls().empty(), exitStatus != 0);
    const ConfigurationFileRead saved =
        readConfigurationFile(rig.configurationDirectory + "/movie night.json");
    QVERIFY2(saved.ok(), qPrintable(saved.error.text()));
    QCOMPARE(int(saved.file->configuration.setting(Setting::ActiveInput).value_or(0)), savedInput);
    QCOMPARE(QDir(rig.configurationDirectory).entryList(QDir::Files | QDir::Hidden),
             QStringList{"movie night.json"});
}

void TestCliConfiguration::usageErrors_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::newRow("backup alone") << QStringList{"backup"} << "backup needs -o FILE";
    QTest::newRow("backup -o alone") << QStringList{"backup", "-o"} << "-o needs a value";
    QTest::newRow("restore alone") << QStringList{"restore"} << "restore needs a FILE or NAME";
    QTest::newRow("two files") << QStringList{"restore", "a", "b"} << "unexpected argument: b";
    QTest::newRow("only what") << QStringList{"restore", "a", "--only", "leds"}
                               << "bad value for --only: leds (one of: settings, edid, packets)";
    QTest::newRow("save no name") << QStringList{"config", "save"} << "config save needs a NAME";
    QTest::newRow("name with a slash")
        << QStringList{"config", "save", "../movie"}
        << "a configuration's name begins with neither a dot nor a dash: ../movie";
    QTest::newRow("list more") << QStringList{"config", "list", "all"} << "unexpected argument: all";
}

void TestCliConfiguration::usageErrors() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    CliRig rig;
    rig.configurationDirectory = path("never");
    QCOMPARE(rig.run(arguments), 2);
    QCOMPARE(rig.errLines().first(), "veltrika: " + error);
    QVERIFY(rig.box.calls().empty());
    QVERIFY(!QFile::exists(path("never")));
}

// A folder that cannot be made says why, in the system's words, before the box is looked for.
void TestCliConfiguration::folderNotMade() {
    const QTemporaryDir alone;
    const QString data = alone.filePath(QStringLiteral("data"));
    writeFile(data, "a file where a folder should be");
    CliRig rig;
    rig.configurationDirectory = data + "/veltrika/configurations";
    QCOMPARE(rig.run({"config", "save", "movie night"}), 2);
    QCOMPARE(rig.errLines().first(),
             "veltrika: Cannot make the folder " + data + "/veltrika/configurations: Not a directory.");
    QVERIFY(rig.box.calls().empty());
}

QTEST_GUILESS_MAIN(TestCliConfiguration)
#include "tst_cli_configuration.moc"
