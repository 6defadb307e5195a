// The setting controls: each writes its register with the value of its state and keeps
// its byte of the settings shadow; the combo boxes wait for the end of start-up; the
// factory reset, the EDID mode change and the settings block write.

#include "core/edid/spaced_hex.h"
#include "support/test_support.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>

using sim::Fault;

namespace {

QByteArray registerWrite(int reg, int value) {
    return bytes({0x10, 0x04, 0xE0, reg, value});
}

void tick(MainWindow &window) {
    QTimerEvent event(statusTimerId(window));
    QCoreApplication::sendEvent(&window, &event);
}

int frameCount(Rig &rig) {
    return static_cast<int>(rig.box.frames().size());
}

// The 40 bytes the window holds as its settings shadow, as SetEPState sends them.
QByteArray shadowOf(Rig &rig) {
    const int from = frameCount(rig);
    if (!QMetaObject::invokeMethod(&rig.window(), "SetEPState")) {
        return "SetEPState not invoked";
    }
    const QList<QByteArray> sent = requestsSince(rig.box, from);
    if (sent.size() != 1 || sent.first().size() != 43 ||
        !sent.first().startsWith(bytes({0x10, 0x28, 0xE2}))) {
        return "no settings block";
    }
    return sent.first().mid(3);
}

QByteArray recordBytes(const record::StatusRecord &record) {
    return QByteArray(reinterpret_cast<const char *>(record.data()), record::kSize);
}

QList<QByteArray> registerWritesSince(Rig &rig, int from) {
    QList<QByteArray> writes;
    for (const QByteArray &request : requestsSince(rig.box, from)) {
        if (request.startsWith(bytes({0x10, 0x04, 0xE0}))) {
            writes << request;
        }
    }
    return writes;
}

// "click:name" clicks a button; "check:name" and "uncheck:name" put a check box quietly in
// the other state first and then click it; "index:name:n" makes n the combo's current index.
void act(Rig &rig, const QString &action) {
    const QString verb = action.section(':', 0, 0);
    const QByteArray name = action.section(':', 1, 1).toLatin1();
    if (verb == "index") {
        rig.widget<QComboBox>(name.constData())->setCurrentIndex(action.section(':', 2, 2).toInt());
        return;
    }
    auto *button = rig.widget<QAbstractButton>(name.constData());
    QVERIFY2(button != nullptr, name.constData());
    if (verb != "click") {
        const QSignalBlocker quiet(button);
        button->setChecked(verb == "uncheck");
    }
    button->click();
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resqrc); }
    void settingsTable_data();
    void settingsTable();
    void refusedWriteStillSetsTheShadow();
    void writesWithoutDevice();
    void comboBoxesWaitForTheEndOfStartup();
    void comboBoxWithoutStartupWritesNothing();
    void comboBoxWithoutCurrentItem_data();
    void comboBoxWithoutCurrentItem();
    void factoryReset_data();
    void factoryReset();
    void refusedFactoryReset();
    void edidModeEnablesTheTextForCustomOnly_data();
    void edidModeEnablesTheTextForCustomOnly();
    void edidModeChangeRereadsTheEdidWhenReady();
    void edidModeChangeKeepsAnEdidTheUserBroughtIn_data();
    void edidModeChangeKeepsAnEdidTheUserBroughtIn();
    void forceHdrWithEmptyText();
    void startupSyncForcingHdrRunsTheSlot();
    void replaceAviAfterRefusedSend();
    void settingsBlockSendsTheShadow();
    void refusedSettingsBlock();
};

// Each row: what the user does, the exact requests that follow, and the shadow byte
// (-1: none) with the value it must hold afterwards.
void TestSettings::settingsTable_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::addColumn<int>("shadow");
    QTest::addColumn<int>("value");
    using namespace record;
    const auto row = [](const char *name, const char *action, QList<QByteArray> requests, int shadow,
                        int value) { QTest::newRow(name) << QString(action) << requests << shadow << value; };
    const auto write = [](int reg, int value) { return QList<QByteArray>{registerWrite(reg, value)}; };

    row("SetActivePort PORT B", "index:cmbInputSel:1", write(0x00, 2), -1, 0);
    row("SetActivePort MATRIX SWAP", "index:cmbInputSel:3", write(0x00, 4), -1, 0);
    row("SetAutoSwitch disable", "click:autoSwDis", write(0x01, 0), kAutoSwitch, 0);
    row("SetAutoSwitch enable", "click:autoSwEn", write(0x01, 1), kAutoSwitch, 1);
    row("SetAudioSource jack", "click:audioJack", write(0x02, 3), kAudioSource, 3);
    row("SetAudioSource HDMI", "click:audioHdmi", write(0x02, 1), kAudioSource, 1);
    row("SetHDCP_Version 1.4", "click:hdcp14", write(0x03, 2), kHdcpVersion, 2);
    row("SetHDCP_Version 2.2", "click:hdcp22", write(0x03, 3), kHdcpVersion, 3);
    row("SetOut_420 enable", "click:enable420", write(0x04, 1), kOutput420, 1);
    row("SetOut_420 disable", "click:disable420", write(0x04, 0), kOutput420, 0);
    row("SetEDID_Mode automix", "click:automixEDID", write(0x05, 1), kEdidMode, 1);
    row("SetEDID_Mode fixed", "click:fixedEDID", write(0x05, 2), kEdidMode, 2);
    row("SetEDID_Mode custom", "click:customEDID", write(0x05, 3), kEdidMode, 3);
    row("force2c on", "check:cb2cForce", write(0x08, 1), kForceStereo, 1);
    row("force2c off", "uncheck:cb2cForce", write(0x08, 0), kForceStereo, 0);
    row("force51 on", "check:cb51", write(0x09, 1), kForceMultichannel, 1);
    row("force51 off", "uncheck:cb51", write(0x09, 0), kForceMultichannel, 0);
    row("set3D on", "check:cb3D", write(0x0A, 1), kRemove3d, 1);
    row("set3D off", "uncheck:cb3D", write(0x0A, 0), kRemove3d, 0);
    row("forceHdr on", "check:cbHdr", write(0x0B, 1), kHdrPacket, 1);
    row("forceHdr off", "uncheck:cbHdr", write(0x0B, 0), kHdrPacket, 0);
    row("forceFullAudio on", "check:cbFull", write(0x0C, 1), kFullAudio, 1);
    row("forceFullAudio off", "uncheck:cbFull", write(0x0C, 0), kFullAudio, 0);
    row("setSwPriority forced", "click:pPrioForce", write(0x0D, 1), kSwitchPriority, 1);
    row("setSwPriority normal", "click:bPrioNorm", write(0x0D, 0), kSwitchPriority, 0);
    row("changeCustomEdid 5", "index:cmBEdid:5", write(0x0E, 5), -1, 0);
    row("changeCustomEdid 7", "index:cmBEdid:7", write(0x0E, 7), -1, 0);
    row("CecLpRepurp enable", "click:bHdrRepurpEn", write(0x10, 1), kHdrHotkey, 1);
    row("CecLpRepurp disable", "click:bHdrRepurpDis", write(0x10, 0), kHdrHotkey, 0);
    row("hdrForceActivate on sends the HDR infoframe first", "check:cbHdrForceMode",
        {bytes({0x10, 0x02, 0xE5, 0x87, 0x01}), bytes({0x10, 0x02, 0xB3, 0x20}), registerWrite(0x11, 1)},
        kForceHdrActive, 1);
    row("hdrForceActivate off sends no infoframe", "uncheck:cbHdrForceMode", write(0x11, 0), kForceHdrActive,
        0);
    row("hdrSamsung Samsung", "click:bSamHdr", write(0x13, 1), kHdrMode, 1);
    row("hdrSamsung full", "click:bFullHdr", write(0x13, 0), kHdrMode, 0);
    row("setLogoLed enable", "click:enableLed", write(0x16, 1), kGreenLed, 1);
    row("setLogoLed disable", "click:disableLed", write(0x16, 0), kGreenLed, 0);
    row("setBlueLed enable", "click:enableBLed", write(0x17, 1), kBlueLeds, 1);
    row("setBlueLed disable", "click:disableBLed", write(0x17, 0), kBlueLeds, 0);
    row("setBt2020 on", "check:cbBt2020", write(0x18, 1), kBt2020, 1);
    row("setBt2020 off", "uncheck:cbBt2020", write(0x18, 0), kBt2020, 0);
    row("setYUV on", "check:cbYUV", write(0x1A, 1), kAllowYcbcr, 1);
    row("setYUV off", "uncheck:cbYUV", write(0x1A, 0), kAllowYcbcr, 0);
    row("setCEC on", "check:cbCec", write(0x1B, 1), kCecProcessing, 1);
    row("setCEC off", "uncheck:cbCec", write(0x1B, 0), kCecProcessing, 0);
    row("setCecLa audio system", "index:cmbLa:1", write(0x1C, 1), -1, 0);
    row("setAVR enable", "click:enableAVR", write(0x1D, 1), kAvrAudio, 1);
    row("setAVR disable", "click:disableAVR", write(0x1D, 0), kAvrAudio, 0);
    row("setEdidAlgo max audio max video", "index:cmbEdidAlgo:3", write(0x20, 3), -1, 0);
    row("setEdidAlgo TOP priority", "index:cmbEdidAlgo:2", write(0x20, 2), -1, 0);
    row("setAviPers on sends AVI and writes 0x21 twice", "check:cbAviPersistent",
        {bytes({0x10, 0x02, 0xE6, 0x60, 0xC8}), bytes({0x10, 0x02, 0xB3, 0x80}), registerWrite(0x21, 1),
         registerWrite(0x21, 1)},
        kReplaceAvi, 1);
    row("setAviPers off", "uncheck:cbAviPersistent", write(0x21, 0), kReplaceAvi, 0);
}

void TestSettings::settingsTable() {
    QFETCH(QString, action);
    QFETCH(QList<QByteArray>, requests);
    QFETCH(int, shadow);
    QFETCH(int, value);
    Rig rig;
    rig.start();
    rig.widget<QTextEdit>("IFtext")->setPlainText("87:01");
    rig.widget<QTextEdit>("AVItext")->setPlainText("60:c8");
    QByteArray expectedShadow = recordBytes(rig.box.statusRecord());
    QCOMPARE(shadowOf(rig), expectedShadow);
    const int from = frameCount(rig);
    act(rig, action);
    QCOMPARE(requestsSince(rig.box, from), requests);
    if (shadow >= 0) {
        expectedShadow[shadow] = static_cast<char>(value);
    }
    QCOMPARE(shadowOf(rig), expectedShadow);
}

void TestSettings::refusedWriteStillSetsTheShadow() {
    Rig rig;
    rig.start();
    rig.box.injectFaultForRegister(Fault::Refuse, record::kRegGreenLed);
    rig.statusRecorder.clear();
    act(rig, "click:disableLed");
    QCOMPARE(rig.statusRecorder.messages(), (QList<StatusMessage>{{"Error Writing values", 4000}}));
    QVERIFY(rig.widget<QAbstractButton>("disableLed")->isChecked());
    QCOMPARE(rig.box.statusRecord()[record::kGreenLed], uint8_t(1));
    QCOMPARE(shadowOf(rig).at(record::kGreenLed), char(0));
}

void TestSettings::writesWithoutDevice() {
    Rig rig;
    rig.box.setAttachedDevices({});
    rig.start();
    rig.statusRecorder.clear();
    act(rig, "check:cb51");
    QCOMPARE(rig.statusRecorder.messages(), (QList<StatusMessage>{{"VELTRIKA USB not connected!", 4000}}));
    QVERIFY(rig.box.frames().empty());
}

// The first sync finds the combo boxes empty; adding their items selects the first of each
// during start-up, which writes nothing. The first tick sets the device's values and,
// start-up being complete, writes them back.
void TestSettings::comboBoxesWaitForTheEndOfStartup() {
    Rig rig;
    rig.box.statusRecord()[record::kActiveInput] = 4;
    rig.box.statusRecord()[record::kCustomEdidPreset] = 7;
    rig.box.statusRecord()[record::kCecDeviceType] = 1;
    rig.box.statusRecord()[record::kAutomixAlgorithm] = 3;
    MainWindow &window = rig.start();
    QVERIFY(registerWritesSince(rig, 0).isEmpty());
    QCOMPARE(rig.widget<QComboBox>("cmbInputSel")->currentIndex(), 0);
    const int from = frameCount(rig);
    tick(window);
    QCOMPARE(registerWritesSince(rig, from),
             (QList<QByteArray>{registerWrite(0x00, 4), registerWrite(0x0E, 7), registerWrite(0x1C, 1),
                                registerWrite(0x20, 3)}));
}

// Without a device start-up never completes: a combo box writes nothing (no write
// failure shows) while a check box does try.
void TestSettings::comboBoxWithoutStartupWritesNothing() {
    Rig rig;
    rig.box.setAttachedDevices({});
    rig.start();
    for (const char *name : {"cmbInputSel", "cmBEdid", "cmbLa", "cmbEdidAlgo"}) {
        auto *combo = rig.widget<QComboBox>(name);
        combo->addItems({"first", "second", "third", "fourth"});
        combo->setCurrentIndex(3);
    }
    QVERIFY(rig.statusRecorder.messages().isEmpty());
}

// The device reports a value the box does not list: the sync leaves the box without a
// current item, and nothing is written in its place (0x00 or 0xFF would change a setting
// nobody touched). The device keeps its own value.
void TestSettings::comboBoxWithoutCurrentItem_data() {
    QTest::addColumn<QString>("combo");
    QTest::addColumn<int>("recordByte");
    QTest::addColumn<int>("deviceValue");
    QTest::newRow("active input 0") << "cmbInputSel" << record::kActiveInput << 0;
    QTest::newRow("active input 5") << "cmbInputSel" << record::kActiveInput << 5;
    QTest::newRow("custom EDID 10") << "cmBEdid" << record::kCustomEdidPreset << 10;
    QTest::newRow("CEC device type 2") << "cmbLa" << record::kCecDeviceType << 2;
    QTest::newRow("automix algorithm 4") << "cmbEdidAlgo" << record::kAutomixAlgorithm << 4;
    QTest::newRow("automix algorithm 255") << "cmbEdidAlgo" << record::kAutomixAlgorithm << 255;
}

void TestSettings::comboBoxWithoutCurrentItem() {
    QFETCH(QString, combo);
    QFETCH(int, recordByte);
    QFETCH(int, deviceValue);
    Rig rig;
    MainWindow &window = rig.start();
    rig.box.statusRecord()[static_cast<size_t>(recordByte)] = static_cast<uint8_t>(deviceValue);
    const int from = frameCount(rig);
    tick(window);
    QCOMPARE(rig.widget<QComboBox>(combo.toLatin1().constData())->currentIndex(), -1);
    for (const QByteArray &request : requestsSince(rig.box, from)) {
        QVERIFY2(!request.startsWith(bytes({0x10, 0x04, 0xE0})), request.toHex(' ').constData());
    }
    QCOMPARE(rig.box.statusRecord()[static_cast<size_t>(recordByte)], uint8_t(deviceValue));

    // Taking the item away by hand writes nothing either.
    rig.widget<QComboBox>(combo.toLatin1().constData())->setCurrentIndex(0);
    const int afterChoice = frameCount(rig);
    act(rig, "index:" + combo + ":-1");
    QVERIFY(requestsSince(rig.box, afterChoice).isEmpty());
}

void TestSettings::factoryReset_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("clearSettings");
    QTest::addColumn<bool>("clearEdid");
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("cleared");
    const QStringList typeReset = {"Type RESET into the text box and click OK"};
    QTest::newRow("lower case") << "reset" << true << true << QList<QByteArray>{} << typeReset << false;
    QTest::newRow("space after") << "RESET " << true << false << QList<QByteArray>{} << typeReset << false;
    QTest::newRow("space before") << " RESET" << false << true << QList<QByteArray>{} << typeReset << false;
    QTest::newRow("empty") << "" << false << false << QList<QByteArray>{} << typeReset << false;
    QTest::newRow("only EDID") << "RESET" << false << true << QList<QByteArray>{registerWrite(0x19, 1)}
                               << QStringList{} << true;
    QTest::newRow("only settings") << "RESET" << true << false << QList<QByteArray>{registerWrite(0x19, 2)}
                                   << QStringList{} << true;
    QTest::newRow("both") << "RESET" << true << true << QList<QByteArray>{registerWrite(0x19, 3)}
                          << QStringList{} << true;
    QTest::newRow("no box") << "RESET" << false << false << QList<QByteArray>{}
                            << QStringList{"Choose the reset from the checkboxes"} << true;
}

void TestSettings::factoryReset() {
    QFETCH(QString, typed);
    QFETCH(bool, clearSettings);
    QFETCH(bool, clearEdid);
    QFETCH(QList<QByteArray>, requests);
    QFETCH(QStringList, messages);
    QFETCH(bool, cleared);
    Rig rig;
    rig.start();
    rig.widget<QLineEdit>("leReset")->setText(typed);
    rig.widget<QCheckBox>("cbClearSettings")->setChecked(clearSettings);
    rig.widget<QCheckBox>("cbClearEdid")->setChecked(clearEdid);
    rig.statusRecorder.clear();
    const int from = frameCount(rig);
    act(rig, "click:pbReset");
    QCOMPARE(requestsSince(rig.box, from), requests);
    QCOMPARE(rig.statusRecorder.texts(), messages);
    for (const StatusMessage &message : rig.statusRecorder.messages()) {
        QCOMPARE(message.timeoutMs, 2000);
    }
    QCOMPARE(rig.widget<QLineEdit>("leReset")->text(), cleared ? QString() : typed);
    QCOMPARE(rig.widget<QCheckBox>("cbClearSettings")->isChecked(), cleared ? false : clearSettings);
    QCOMPARE(rig.widget<QCheckBox>("cbClearEdid")->isChecked(), cleared ? false : clearEdid);
}

void TestSettings::refusedFactoryReset() {
    Rig rig;
    rig.start();
    rig.box.injectFaultForRegister(Fault::Refuse, record::kRegFactoryReset);
    rig.widget<QLineEdit>("leReset")->setText("RESET");
    rig.widget<QCheckBox>("cbClearEdid")->setChecked(true);
    rig.statusRecorder.clear();
    act(rig, "click:pbReset");
    QCOMPARE(rig.statusRecorder.messages(), (QList<StatusMessage>{{"Error Writing values", 4000}}));
    QVERIFY(rig.widget<QLineEdit>("leReset")->text().isEmpty());
    QVERIFY(!rig.widget<QCheckBox>("cbClearEdid")->isChecked());
}

void TestSettings::edidModeEnablesTheTextForCustomOnly_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("refused");
    QTest::newRow("automix") << "automixEDID" << false << false;
    QTest::newRow("fixed") << "fixedEDID" << false << false;
    QTest::newRow("custom") << "customEDID" << true << false;
    QTest::newRow("custom refused") << "customEDID" << true << true;
}

void TestSettings::edidModeEnablesTheTextForCustomOnly() {
    QFETCH(QString, button);
    QFETCH(bool, enabled);
    QFETCH(bool, refused);
    Rig rig;
    rig.start();
    rig.widget<QTextEdit>("EDIDtext")->setEnabled(!enabled);
    if (refused) {
        rig.box.injectFaultForRegister(Fault::Refuse, record::kRegEdidMode);
    }
    rig.statusRecorder.clear();
    act(rig, "click:" + button);
    QCOMPARE(rig.widget<QTextEdit>("EDIDtext")->isEnabled(), enabled);
    // A refused change is not passed off as under way.
    const QList<StatusMessage> expected = {refused ? StatusMessage{"Error Writing values", 4000}
                                                   : StatusMessage{"EDID Writing Busy", 2000}};
    QCOMPARE(rig.statusRecorder.messages(), expected);
}

void TestSettings::edidModeChangeRereadsTheEdidWhenReady() {
    const QByteArray fetch = bytes({0x10, 0x01, 0xB4});
    Rig rig;
    MainWindow &window = rig.start();
    tick(window); // takes the re-read left pending by start-up
    int from = frameCount(rig);
    tick(window);
    QVERIFY(!requestsSince(rig.box, from).contains(fetch));

    from = frameCount(rig);
    act(rig, "click:fixedEDID");
    QCOMPARE(requestsSince(rig.box, from), QList<QByteArray>{registerWrite(0x05, 2)});
    from = frameCount(rig);
    tick(window); // the box is rebuilding its EDID
    QVERIFY(!requestsSince(rig.box, from).contains(fetch));
    rig.clock.advance(rig.box.modeChangeBusyMs);
    from = frameCount(rig);
    tick(window);
    QCOMPARE(requestsSince(rig.box, from).count(fetch), 1);
    from = frameCount(rig);
    tick(window);
    QVERIFY(!requestsSince(rig.box, from).contains(fetch));
}

// The box tells the user to choose the custom mode before a write; the re-read that
// follows the change must not throw away the EDID that was about to be written.
void TestSettings::edidModeChangeKeepsAnEdidTheUserBroughtIn_data() {
    QTest::addColumn<QString>("bringIn");
    QTest::addColumn<bool>("reread");
    QTest::newRow("the device's own EDID as read") << "" << true;
    QTest::newRow("an empty box") << "clear" << true;
    QTest::newRow("an edited text") << "edit" << false;
    QTest::newRow("the TOP TV's EDID") << "readTvEdidA" << false;
}

void TestSettings::edidModeChangeKeepsAnEdidTheUserBroughtIn() {
    QFETCH(QString, bringIn);
    QFETCH(bool, reread);
    Rig rig;
    rig.box.statusRecord()[record::kEdidMode] = 1;
    MainWindow &window = rig.start();
    tick(window); // takes the re-read left pending by start-up
    auto *text = rig.widget<QTextEdit>("EDIDtext");
    if (bringIn == "clear") {
        text->clear();
    } else if (bringIn == "edit") {
        QTextCursor cursor(text->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText("AB ");
    } else if (!bringIn.isEmpty()) {
        QVERIFY(QMetaObject::invokeMethod(&window, bringIn.toLatin1().constData()));
    }
    const QString before = text->toPlainText();
    act(rig, "click:customEDID");
    rig.clock.advance(rig.box.modeChangeBusyMs);
    const int from = frameCount(rig);
    tick(window);
    QCOMPARE(requestsSince(rig.box, from).contains(bytes({0x10, 0x01, 0xB4})), reread);
    QCOMPARE(text->toPlainText(), reread ? formatEdidText(rig.box.customEdid()) : before);
}

void TestSettings::forceHdrWithEmptyText() {
    Rig rig;
    rig.start();
    rig.widget<QTextEdit>("IFtext")->clear();
    rig.statusRecorder.clear();
    const int from = frameCount(rig);
    act(rig, "check:cbHdrForceMode");
    QCOMPARE(requestsSince(rig.box, from), QList<QByteArray>{registerWrite(0x11, 1)});
    QCOMPARE(rig.statusRecorder.messages(),
             (QList<StatusMessage>{{"Error: min 2, max 31 data bytes", 2000}}));
}

// The first sync checks the box while IFtext is still empty: the length error shows,
// no infoframe goes out and register 0x11 is written with 1.
void TestSettings::startupSyncForcingHdrRunsTheSlot() {
    Rig rig;
    rig.box.statusRecord()[record::kForceHdrActive] = 1;
    rig.start();
    const QList<QByteArray> sent = requestsSince(rig.box);
    QVERIFY(sent.size() > 3);
    QCOMPARE(sent.mid(0, 3), (QList<QByteArray>{bytes({0x11, 0x2A, 0xE1}), bytes({0x11, 0x0E, 0xE0, 0x06}),
                                                registerWrite(0x11, 1)}));
    QCOMPARE(registerWritesSince(rig, 0).size(), 1);
    for (const QByteArray &request : sent) {
        QVERIFY(uint8_t(request[2]) != proto::kHdrInfoframe && uint8_t(request[2]) != proto::kActivate);
    }
    QCOMPARE(rig.statusRecorder.messages().first(), (StatusMessage{"Error: min 2, max 31 data bytes", 2000}));
    QVERIFY(rig.widget<QCheckBox>("cbHdrForceMode")->isChecked());
}

void TestSettings::replaceAviAfterRefusedSend() {
    Rig rig;
    rig.start();
    rig.widget<QTextEdit>("AVItext")->setPlainText("60:c8");
    rig.box.injectFault(Fault::Refuse, proto::kAviInfoframe);
    rig.statusRecorder.clear();
    const int from = frameCount(rig);
    act(rig, "check:cbAviPersistent");
    QCOMPARE(requestsSince(rig.box, from),
             (QList<QByteArray>{bytes({0x10, 0x02, 0xE6, 0x60, 0xC8}), registerWrite(0x21, 1)}));
    QCOMPARE(rig.statusRecorder.messages(), (QList<StatusMessage>{{"Error Writing AVI command.", 4000}}));
    QCOMPARE(shadowOf(rig).at(record::kReplaceAvi), char(1));
}

// The block is the record as the last sync read it, with the bytes of later settings;
// the device's own later changes reach it only with the next sync.
void TestSettings::settingsBlockSendsTheShadow() {
    Rig rig;
    record::StatusRecord &device = rig.box.statusRecord();
    device[7] = 0x5A;
    device[8] = 0xA5;
    device[39] = 0x77;
    const record::StatusRecord asRead = device;
    MainWindow &window = rig.start();
    device[record::kGreenLed] = 0;
    act(rig, "click:audioJack");
    act(rig, "check:cb51");
    QByteArray expected = recordBytes(asRead);
    expected[record::kAudioSource] = 3;
    expected[record::kForceMultichannel] = 1;
    const int from = frameCount(rig);
    QVERIFY(QMetaObject::invokeMethod(&window, "SetEPState"));
    QCOMPARE(requestsSince(rig.box, from), QList<QByteArray>{bytes({0x10, 0x28, 0xE2}) + expected});

    // The block went to the box; what the box changes afterwards comes back with a tick.
    device[record::kGreenLed] = 0;
    tick(window);
    expected[record::kGreenLed] = 0;
    QCOMPARE(shadowOf(rig), expected);
}

void TestSettings::refusedSettingsBlock() {
    Rig rig;
    MainWindow &window = rig.start();
    rig.box.injectFault(Fault::Refuse, proto::kSettingsBlock);
    rig.statusRecorder.clear();
    QVERIFY(QMetaObject::invokeMethod(&window, "SetEPState"));
    QCOMPARE(rig.statusRecorder.messages(), (QList<StatusMessage>{{"Error Writing values", 4000}}));
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
