// The box's configuration: its file read strictly (every refusal with its place) and written
// back the same, the planner's steps and their order, and restores on the simulated box: a
// round trip of every part, the exact frames of one changed setting, and a box that refuses
// the third write.

#include "core/box/box_configuration.h"
#include "core/box/box_configuration_file.h"
#include "core/box/box_configuration_session.h"
#include "core/edid/spaced_hex.h"
#include "sim/simulated_box.h"
#include "support/recording_reporter.h"

#include <QTest>

Q_DECLARE_METATYPE(BoxConfiguration)

namespace {

struct ConfigurationRig {
    sim::FakeLinkClock clock{1000};
    sim::SimulatedBox box{clock};
    RecordingReporter reporter;
    BoxSession session{box, clock, reporter};

    ConfigurationRig() {
        session.attach();
        box.clearLog();
    }
    QStringList requests(size_t from = 0) const {
        QStringList list;
        for (size_t i = from; i < box.frames().size(); ++i) {
            list << RecordingReporter::hex(box.frames()[i].request);
        }
        return list;
    }
};

QString hexOf(const proto::RequestFrame &frame) {
    return RecordingReporter::hex(std::span<const uint8_t>(frame.bytes).first(frame.length));
}

// A file of the format and version with the members after them.
QByteArray fileWith(const QByteArray &members) {
    return R"({"format": "veltrika-box-configuration", "version": 1)" +
           (members.isEmpty() ? "" : ", " + members) + "}";
}

QByteArray edidText(const EdidImage &image) {
    return formatEdidText(image).replace(QLatin1Char('\n'), QStringLiteral("\\n")).toLatin1();
}

// The first block of the image alone, as spaced hex in a JSON string.
QByteArray edidText128(const EdidImage &image) {
    return formatEdidText(image)
        .left(kEdidBlockSize * 3 - 1)
        .replace(QLatin1Char('\n'), QStringLiteral("\\n"))
        .toLatin1();
}

// A value of every setting other than the factory's, the EDID and both infoframes: custom
// mode on preset 0 with a custom EDID of its own.
BoxConfiguration everythingChanged() {
    const BoxConfiguration factory = configurationOfRecord(sim::SimulatedBox::factorySettings());
    BoxConfiguration changed;
    for (const SettingInfo &info : allSettings()) {
        for (const SettingValue &value : info.values) {
            if (value.device != factory.setting(info.setting)) {
                changed.setSetting(info.setting, value.device);
                break;
            }
        }
    }
    changed.setSetting(Setting::EdidMode, record::kEdidModeCustom);
    changed.setSetting(Setting::CustomEdidPreset, 0);
    changed.customEdid = sim::buildEdid("RESTORED TV", 0x0528);
    changed.hdrInfoframe = StoredHdrInfoframe{0x87, 0x01, 0x1A, 0x55, 0x02, 0x00, 0x11};
    changed.aviBytes = StoredAviBytes{0x60, 0xE8, 0x60, 97};
    return changed;
}

QStringList stepNames(const std::vector<RestoreStep> &steps) {
    QStringList names;
    for (const RestoreStep &step : steps) {
        names << changeName(step.change);
    }
    return names;
}

QStringList changeNamesOf(const std::vector<ConfigurationChange> &changes) {
    QStringList names;
    for (const ConfigurationChange &change : changes) {
        names << changeName(change);
    }
    return names;
}

// The box's configuration through the session, every part.
BoxConfiguration readBox(ConfigurationRig &rig) {
    const BoxConfigurationRead read =
        readBoxConfiguration(rig.session, rig.clock, kAllConfigurationParts, true);
    if (!read.ok()) {
        qWarning("the box could not be read: %s", qPrintable(read.failedPart));
    }
    return read.configuration;
}

} // namespace

class TestBoxConfiguration : public QObject {
    Q_OBJECT

private slots:
    void fileRoundTrip();
    void fileText();
    void refusedFiles_data();
    void refusedFiles();
    void largeFileRefused();
    void packetsPaddedAsTheBoxKeepsThem();
    void planOrder();
    void planNothingWhenEqual();
    void stepFrames();
    void simulatedBoxKeepsOneValue();
    void readFromBox();
    void roundTripOnSimulatedBox_data();
    void roundTripOnSimulatedBox();
    void oneSettingOneWrite();
    void thirdWriteRefused();
    void readBackDiffers();
};

void TestBoxConfiguration::fileRoundTrip() {
    BoxConfiguration configuration = everythingChanged();
    configuration.firmware = QStringLiteral("1.8.3.0");
    const QDateTime saved(QDate(2024, 5, 1), QTime(20, 15, 0), Qt::UTC);
    const ConfigurationFileRead read = parseConfigurationText(configurationText(configuration, saved));
    QVERIFY2(read.ok(), qPrintable(read.error.text()));
    QCOMPARE(read.file->configuration, configuration);
    QCOMPARE(read.file->saved, saved);
}

void TestBoxConfiguration::fileText() {
    BoxConfiguration configuration;
    configuration.firmware = QStringLiteral("1.8.3.0");
    configuration.setSetting(Setting::ActiveInput, 2);
    configuration.setSetting(Setting::HdcpVersion, 2);
    configuration.setSetting(Setting::EdidMode, record::kEdidModeAutomix);
    configuration.aviBytes = StoredAviBytes{0x40, 0xA8};
    const QDateTime saved(QDate(2024, 5, 1), QTime(20, 15, 0), Qt::UTC);
    QCOMPARE(configurationText(configuration, saved), QByteArray(R"({
    "format": "veltrika-box-configuration",
    "version": 1,
    "saved": "2024-05-01T20:15:00Z",
    "firmware": "1.8.3.0",
    "settings": {
        "input": "bot",
        "hdcp": "1.4"
    },
    "edid": {
        "mode": "automix"
    },
    "avi": "40:a8:00:00:00:00:00:00:00:00:00:00:00"
}
)"));
    // A value no name stands for is left out and said.
    configuration.setSetting(Setting::ActiveInput, 9);
    QStringList leftOut;
    QVERIFY(!configurationText(configuration, saved, &leftOut).contains("\"input\""));
    QCOMPARE(leftOut, QStringList{"input: the box's value 9 has no name"});
}

void TestBoxConfiguration::refusedFiles_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");
    EdidImage badHeader = sim::buildEdid("BAD HEADER", 1);
    badHeader[1] = 0x00;
    setEdidChecksums(badHeader);
    EdidImage badChecksum = sim::buildEdid("BAD SUM", 1);
    badChecksum[255] ^= 0x01;
    const QByteArray custom = R"("mode": "custom", "preset": 0, "bytes": ")";
    // clang-format off
    QTest::newRow("empty") << QByteArray() << "line 1, column 1: not JSON: illegal value";
    QTest::newRow("damaged") << fileWith(R"("settings": {"input" "bot"}})")
                             << "line 1, column 78: not JSON: missing name separator";
    QTest::newRow("truncated") << fileWith(R"("settings": {"input": "bot"})").chopped(5)
                               << "line 1, column 80: not JSON: unterminated string";
    QTest::newRow("a list") << QByteArray("[1, 2]") << "line 1, column 1: not a box configuration: no JSON object";
    QTest::newRow("foreign") << QByteArray(R"({"name": "x"})") << "line 1, column 1: not a box configuration: no \"format\"";
    QTest::newRow("other format") << QByteArray(R"({"format": "other", "version": 1})")
                                  << "line 1, column 2 (format): not a box configuration: the format is not "
                                     "\"veltrika-box-configuration\"";
    QTest::newRow("no version") << QByteArray(R"({"format": "veltrika-box-configuration"})")
                                << "line 1, column 1: no \"version\"";
    QTest::newRow("newer") << QByteArray("{\"format\": \"veltrika-box-configuration\",\n \"version\": 2, \"x\": 1}")
                           << "line 2, column 2 (version): version 2 is newer than this program reads (1)";
    QTest::newRow("version 1.5") << QByteArray(R"({"format": "veltrika-box-configuration", "version": 1.5})")
                                 << "line 1, column 42 (version): the version is not a whole number from 1";
    QTest::newRow("unknown key") << fileWith(R"("avi": "40:a8", "colour": "red", "zzz": 1)")
                                 << "line 1, column 72 (colour): unknown key: colour";
    QTest::newRow("twice") << fileWith(R"("settings": {"input": "bot", "input": "top"})")
                           << "line 1, column 85 (settings.input): the key stands twice";
    QTest::newRow("unknown setting") << fileWith(R"("settings": {"input": "bot", "volume": "11"})")
                                     << "line 1, column 85 (settings.volume): unknown setting: volume";
    QTest::newRow("unknown value") << fileWith(R"("settings": {"hdcp": "2.3"})")
                                   << "line 1, column 69 (settings.hdcp): unknown value 2.3 (one of: 1.4, 2.2)";
    QTest::newRow("value not a string") << fileWith(R"("settings": {"hdcp": 1.4})")
                                        << "line 1, column 69 (settings.hdcp): unknown value 1.4 (one of: 1.4, 2.2)";
    QTest::newRow("mode in settings") << fileWith(R"("settings": {"edid-mode": "custom"})")
                                      << "line 1, column 69 (settings.edid-mode): edid-mode belongs in edid.mode";
    QTest::newRow("settings a list") << fileWith(R"("settings": ["input=bot"])")
                                     << "line 1, column 56 (settings): not an object of settings";
    QTest::newRow("unknown EDID key") << fileWith(R"("edid": {"mode": "fixed", "name": "TV"})")
                                      << "line 1, column 82 (edid.name): unknown key: name";
    QTest::newRow("unknown mode") << fileWith(R"("edid": {"mode": "auto"})")
                                  << "line 1, column 65 (edid.mode): unknown EDID mode (one of: automix, fixed, custom)";
    QTest::newRow("preset 8") << fileWith(R"("edid": {"preset": 8})")
                              << "line 1, column 65 (edid.preset): the preset is a number from 0 to 7";
    QTest::newRow("bytes in automix") << fileWith(R"("edid": {"mode": "automix", "bytes": ")" +
                                                  edidText(sim::buildEdid("TV", 1)) + "\"}")
                                      << "line 1, column 84 (edid.bytes): the box keeps a custom EDID in mode custom "
                                         "on preset 0 only: edid.mode and edid.preset must say so";
    QTest::newRow("EDID not hex") << fileWith(R"("edid": {)" + custom + "00 FF FX\"}")
                                  << "line 1, column 96 (edid.bytes): not spaced hex (two hex digits a byte, a space "
                                     "or line feed between): breaks at character 8";
    QTest::newRow("EDID of 128 bytes") << fileWith(R"("edid": {)" + custom + edidText128(sim::buildEdid("TV", 1)) + "\"}")
                                       << "line 1, column 96 (edid.bytes): holds 128 of 256 bytes";
    QTest::newRow("EDID a source cannot read") << fileWith(R"("edid": {)" + custom + edidText(badHeader) + "\"}")
                                               << "line 1, column 96 (edid.bytes): a source cannot read this EDID: "
                                                  "block 0 does not start with the EDID header";
    QTest::newRow("EDID checksum") << fileWith(R"("edid": {)" + custom + edidText(badChecksum) + "\"}")
                                   << "line 1, column 96 (edid.bytes): block 1: checksum " +
                                          edidByteText(badChecksum[255]) + " wrong, should be " +
                                          edidByteText(badChecksum[255] ^ 0x01);
    QTest::newRow("HDR not hex") << fileWith(R"("hdr_infoframe": "87-01-1a")")
                                 << "line 1, column 56 (hdr_infoframe): not colon hex (two hex digits a byte, a colon "
                                    "between)";
    QTest::newRow("AVI too long") << fileWith(R"("avi": "00:01:02:03:04:05:06:07:08:09:0a:0b:0c:0d")")
                                  << "line 1, column 56 (avi): holds 14 bytes; the box keeps 2 to 13";
    QTest::newRow("saved") << fileWith(R"("saved": "yesterday")")
                           << "line 1, column 56 (saved): not an ISO 8601 date and time";
    QTest::newRow("firmware") << fileWith(R"("firmware": "1.8.300.0")")
                              << "line 1, column 56 (firmware): not a firmware version (four numbers of 0 to 255 "
                                 "with dots)";
    // clang-format on
}

void TestBoxConfiguration::refusedFiles() {
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    const ConfigurationFileRead read = parseConfigurationText(text);
    QVERIFY(!read.ok());
    QCOMPARE(read.error.text(), error);
}

void TestBoxConfiguration::largeFileRefused() {
    // Spaces after a sound file: valid JSON, but larger than any configuration.
    const QByteArray text = fileWith({}).leftJustified(kMaxConfigurationFileSize + 1, ' ');
    QCOMPARE(parseConfigurationText(text).error.text(),
             QStringLiteral("larger than 1 MB: no box configuration"));
    QVERIFY(parseConfigurationText(text.left(kMaxConfigurationFileSize)).ok());
}

void TestBoxConfiguration::packetsPaddedAsTheBoxKeepsThem() {
    const ConfigurationFileRead read =
        parseConfigurationText(fileWith(R"("hdr_infoframe": "87:01:1A", "avi": "40:a8")"));
    QVERIFY2(read.ok(), qPrintable(read.error.text()));
    QCOMPARE(read.file->configuration.hdrInfoframe, std::optional(StoredHdrInfoframe{0x87, 0x01, 0x1A}));
    QCOMPARE(read.file->configuration.aviBytes, std::optional(StoredAviBytes{0x40, 0xA8}));
    QVERIFY(!read.file->configuration.holds(ConfigurationPart::Settings));
    QVERIFY(!read.file->configuration.holds(ConfigurationPart::Edid));
}

void TestBoxConfiguration::planOrder() {
    BoxConfiguration box = configurationOfRecord(sim::SimulatedBox::factorySettings());
    box.setSetting(Setting::CustomEdidPreset, 3);
    box.hdrInfoframe = StoredHdrInfoframe{};
    box.aviBytes = StoredAviBytes{};
    BoxConfiguration wanted;
    wanted.setSetting(Setting::EdidMode, record::kEdidModeCustom);
    wanted.setSetting(Setting::CustomEdidPreset, 0);
    wanted.setSetting(Setting::ReplaceAvi, 1);
    wanted.setSetting(Setting::ActiveInput, 3);
    wanted.customEdid = sim::buildEdid("PLANNED", 2);
    wanted.hdrInfoframe = StoredHdrInfoframe{0x87, 0x01};
    wanted.aviBytes = StoredAviBytes{0x40, 0xA8};
    const std::vector<RestoreStep> steps = planRestore(box, wanted);
    // Settings in table order, then CUSTOM mode on preset 0 for the EDID, then the packets.
    QCOMPARE(stepNames(steps), QStringList({"input", "replace-avi", "custom-edid", "edid-mode", "edid",
                                            "hdr_infoframe", "avi"}));
    QCOMPARE(changeText(steps[2].change), QStringLiteral("custom-edid: 3 -> 0"));
    QCOMPARE(changeText(steps[4].change),
             QStringLiteral("edid: 256 bytes to write (the box's own cannot be read in its mode)"));
    QCOMPARE(changeText(steps[5].change), QStringLiteral("hdr_infoframe: 31 bytes differ in 2 places"));
    QCOMPARE(steps[6].replaceAvi, 1);

    // Without an EDID to write, the preset and the mode wanted come last.
    BoxConfiguration fixed;
    fixed.setSetting(Setting::EdidMode, record::kEdidModeFixed);
    fixed.setSetting(Setting::CustomEdidPreset, 5);
    fixed.setSetting(Setting::GreenLed, 0);
    fixed.aviBytes = StoredAviBytes{0x40, 0xA8};
    QCOMPARE(stepNames(planRestore(box, fixed)),
             QStringList({"green-led", "avi", "custom-edid", "edid-mode"}));
    QCOMPARE(changeObject(planRestore(box, fixed).back().change),
             QJsonObject({{"part", "edid"}, {"name", "edid-mode"}, {"from", "automix"}, {"to", "fixed"}}));
}

void TestBoxConfiguration::planNothingWhenEqual() {
    BoxConfiguration box = everythingChanged();
    QVERIFY(planRestore(box, box).empty());
    QVERIFY(planRestore(box, BoxConfiguration{}).empty());
    // A custom EDID that differs in 14 places is one step.
    BoxConfiguration wanted = box;
    for (int i = 20; i < 34; ++i) {
        wanted.customEdid->at(static_cast<size_t>(i)) ^= 0xFF;
    }
    const std::vector<RestoreStep> steps = planRestore(box, wanted);
    QCOMPARE(steps.size(), size_t(1));
    QCOMPARE(changeText(steps[0].change), QStringLiteral("edid: 256 bytes differ in 14 places"));
    QCOMPARE(changeObject(steps[0].change),
             QJsonObject({{"part", "edid"}, {"name", "edid"}, {"bytes", 256}, {"differing", 14}}));
}

void TestBoxConfiguration::stepFrames() {
    BoxConfiguration box = configurationOfRecord(sim::SimulatedBox::factorySettings());
    box.aviBytes = StoredAviBytes{};
    BoxConfiguration wanted;
    wanted.setSetting(Setting::HdcpVersion, 2);
    wanted.aviBytes = StoredAviBytes{0x40, 0xA8};
    const std::vector<RestoreStep> steps = planRestore(box, wanted);
    QCOMPARE(steps.size(), size_t(2));
    QCOMPARE(steps[0].frames().size(), size_t(1));
    QCOMPARE(hexOf(steps[0].frames()[0]), QStringLiteral("10 04 E0 03 02"));
    QStringList avi;
    for (const proto::RequestFrame &frame : steps[1].frames()) {
        avi << hexOf(frame);
    }
    QCOMPARE(avi, QStringList(
                      {"10 0D E6 40 A8 00 00 00 00 00 00 00 00 00 00 00", "10 0D B3 80", "10 04 E0 21 00"}));
}

void TestBoxConfiguration::simulatedBoxKeepsOneValue() {
    sim::FakeLinkClock clock;
    sim::SimulatedBox box(clock);
    BoxConfiguration changed = everythingChanged();
    box.keepConfiguration(changed);
    changed.firmware = QStringLiteral("1.8.3.0");
    QCOMPARE(box.keptConfiguration(), changed);
    QCOMPARE(box.ownEdid(), *changed.customEdid);
    // The state file carries the same value.
    sim::SimulatedBox copy(clock);
    QCOMPARE(copy.importState(box.exportState()), sim::StateError::None);
    QCOMPARE(copy.keptConfiguration(), changed);
}

void TestBoxConfiguration::readFromBox() {
    ConfigurationRig rig;
    BoxConfiguration changed = everythingChanged();
    rig.box.keepConfiguration(changed);
    changed.firmware = QStringLiteral("1.8.3.0");
    QCOMPARE(readBox(rig), changed);
    // Outside custom mode on preset 0 the box gives no way to read its custom EDID.
    rig.box.statusRecord()[record::kCustomEdidPreset] = 2;
    changed.setSetting(Setting::CustomEdidPreset, 2);
    changed.customEdid.reset();
    QCOMPARE(readBox(rig), changed);
    // A read that fails names the part (a refusal is shorter than the block).
    rig.box.injectFaultForRegister(sim::Fault::Refuse, proto::kRegStoredAviBytes);
    const BoxConfigurationRead failed =
        readBoxConfiguration(rig.session, rig.clock, kAllConfigurationParts, false);
    QCOMPARE(failed.error, LinkError::Short);
    QCOMPARE(failed.failedPart, QStringLiteral("AVI bytes"));
}

void TestBoxConfiguration::roundTripOnSimulatedBox_data() {
    QTest::addColumn<BoxConfiguration>("wanted");
    QTest::newRow("every setting, the EDID and both infoframes") << everythingChanged();
    BoxConfiguration preset = everythingChanged();
    preset.customEdid.reset();
    preset.setSetting(Setting::EdidMode, record::kEdidModeFixed);
    preset.setSetting(Setting::CustomEdidPreset, 6);
    QTest::newRow("a preset in fixed mode") << preset;
}

void TestBoxConfiguration::roundTripOnSimulatedBox() {
    QFETCH(BoxConfiguration, wanted);
    // The file is what a backup of a box holding the configuration writes.
    ConfigurationRig source;
    source.box.keepConfiguration(wanted);
    const QByteArray text = configurationText(readBox(source), QDateTime::currentDateTimeUtc());
    const ConfigurationFileRead file = parseConfigurationText(text);
    QVERIFY2(file.ok(), qPrintable(file.error.text()));

    ConfigurationRig rig;
    const BoxConfiguration &fromFile = file.file->configuration;
    const BoxConfigurationRead box =
        readBoxConfiguration(rig.session, rig.clock, partsHeld(fromFile), fromFile.firmware.has_value());
    QVERIFY(box.ok());
    const std::vector<RestoreStep> steps = planRestore(box.configuration, fromFile);
    QVERIFY(!steps.empty());
    const RestoreReport report = runRestore(rig.session, rig.clock, steps, fromFile);
    QVERIFY2(report.ok(), qPrintable(restoreReportLines(report).join('\n')));
    QCOMPARE(report.applied.size(), steps.size());
    // The box holds every part the file holds.
    BoxConfiguration restored = readBox(rig);
    if (!fromFile.customEdid) {
        restored.customEdid.reset();
    }
    QCOMPARE(restored, fromFile);
}

void TestBoxConfiguration::oneSettingOneWrite() {
    ConfigurationRig rig;
    const ConfigurationFileRead file = parseConfigurationText(fileWith(R"("settings": {"input": "bot"})"));
    QVERIFY(file.ok());
    const BoxConfiguration &wanted = file.file->configuration;
    const BoxConfigurationRead box = readBoxConfiguration(rig.session, rig.clock, partsHeld(wanted), false);
    const RestoreReport report =
        runRestore(rig.session, rig.clock, planRestore(box.configuration, wanted), wanted);
    QVERIFY(report.ok());
    // The settings read, the one register write, the settings read back: nothing else.
    const QString statusRead = QStringLiteral("11 2A E1");
    const QString videoStatusRead = QStringLiteral("11 0E E0 06");
    QCOMPARE(rig.requests(),
             QStringList({statusRead, videoStatusRead, "10 04 E0 00 02", statusRead, videoStatusRead}));
}

void TestBoxConfiguration::thirdWriteRefused() {
    ConfigurationRig rig;
    BoxConfiguration wanted;
    wanted.setSetting(Setting::ActiveInput, 2);
    wanted.setSetting(Setting::HdcpVersion, 2);
    wanted.setSetting(Setting::GreenLed, 0);
    wanted.hdrInfoframe = StoredHdrInfoframe{0x87, 0x01, 0x1A};
    const BoxConfigurationRead box = readBoxConfiguration(rig.session, rig.clock, partsHeld(wanted), false);
    QVERIFY(box.ok());
    const std::vector<RestoreStep> steps = planRestore(box.configuration, wanted);
    QCOMPARE(stepNames(steps), QStringList({"input", "hdcp", "green-led", "hdr_infoframe"}));
    const size_t reads = rig.box.frames().size();
    rig.box.injectFaultForNext(sim::Fault::Refuse, 1, 2);
    const RestoreReport report = runRestore(rig.session, rig.clock, steps, wanted);
    QCOMPARE(report.error, LinkError::Refused);
    QCOMPARE(changeNamesOf(report.applied), QStringList({"input", "hdcp"}));
    QCOMPARE(changeNamesOf(report.notApplied), QStringList({"green-led", "hdr_infoframe"}));
    QCOMPARE(restoreReportLines(report),
             QStringList({"applied: input: top -> bot", "applied: hdcp: 2.2 -> 1.4",
                          "not applied (refused): green-led: on -> off",
                          "not applied: hdr_infoframe: 31 bytes differ in 25 places"}));
    // Nothing after the refused write was sent, and nothing was tried again.
    QCOMPARE(rig.requests(reads), QStringList({"10 04 E0 00 02", "10 04 E0 03 02", "10 04 E0 16 00"}));
    QCOMPARE(rig.box.statusRecord()[record::kActiveInput], 2);
    QCOMPARE(rig.box.statusRecord()[record::kGreenLed], 1);
}

void TestBoxConfiguration::readBackDiffers() {
    ConfigurationRig rig;
    BoxConfiguration wanted;
    wanted.setSetting(Setting::ActiveInput, 2);
    const BoxConfigurationRead box = readBoxConfiguration(rig.session, rig.clock, partsHeld(wanted), false);
    // The box takes the write, but the input is switched back before it is read again.
    const RestoreReport report = runRestore(rig.session, rig.clock, planRestore(box.configuration, wanted),
                                            wanted, [&rig](int done, int) {
                                                if (done == 1) {
                                                    rig.box.statusRecord()[record::kActiveInput] = 1;
                                                }
                                            });
    QVERIFY(!report.ok());
    QCOMPARE(changeNamesOf(report.applied), QStringList{"input"});
    QCOMPARE(restoreReportLines(report),
             QStringList({"applied: input: top -> bot", "read back otherwise: input: top -> bot"}));
}

QTEST_GUILESS_MAIN(TestBoxConfiguration)
#include "tst_box_configuration.moc"
