// The status tick: the controls follow the device's status record, the pending EDID
// re-read waits for the device, and a tick inside a transaction does nothing.

#include "support/test_support.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>

using sim::Fault;

namespace {

void tick(MainWindow &window) {
    QTimerEvent event(statusTimerId(window));
    QCoreApplication::sendEvent(&window, &event);
}

// "name:checked", "name:unchecked", "name:enabled", "name:disabled" or "name:=index".
QString stateOf(Rig &rig, const QString &expectation) {
    const QString name = expectation.section(':', 0, 0);
    const QString what = expectation.section(':', 1);
    QWidget *widget = rig.widget<QWidget>(name.toLatin1().constData());
    if (widget == nullptr) {
        return "missing " + name;
    }
    if (what.startsWith('=')) {
        return name + ":=" + QString::number(qobject_cast<QComboBox *>(widget)->currentIndex());
    }
    if (what == "enabled" || what == "disabled") {
        return name + (widget->isEnabled() ? ":enabled" : ":disabled");
    }
    return name + (qobject_cast<QAbstractButton *>(widget)->isChecked() ? ":checked" : ":unchecked");
}

int countOf(const QList<QByteArray> &requests, const QByteArray &request) {
    return int(requests.count(request));
}

const QByteArray kOwnEdidFetch = QByteArray::fromHex("1001b4");
const QByteArray kSyncVideoRead = QByteArray::fromHex("110ee006");

} // namespace

class TestControlSync : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resqrc); }
    void controlsFollowTheRecord_data();
    void controlsFollowTheRecord();
    void tickMakesItsTransactionsInOrder();
    void unchangedDeviceRaisesNoSignal();
    void changedCheckBoxRunsItsSlotButRadioStaysQuiet();
    void busyDeviceLeavesControlsButTextsUpdate();
    void edidRefreshWaitsForTheDeviceAndHappensOnce();
    void failedReadsChangeNothing_data();
    void failedReadsChangeNothing();
    void tickInsideALinkMessageBoxDoesNothing();
};

// Each row changes one record byte from the box's factory state and lists what the
// controls show after the next tick.
void TestControlSync::controlsFollowTheRecord_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("value");
    QTest::addColumn<QStringList>("expected");
    using namespace record;

    QTest::newRow("input 4") << kActiveInput << 4 << QStringList{"cmbInputSel:=3"};
    QTest::newRow("input 0 leaves no item") << kActiveInput << 0 << QStringList{"cmbInputSel:=-1"};
    QTest::newRow("input 9 leaves no item") << kActiveInput << 9 << QStringList{"cmbInputSel:=-1"};
    QTest::newRow("custom preset 7") << kCustomEdidPreset << 7 << QStringList{"cmBEdid:=7"};
    QTest::newRow("custom preset 8 leaves no item") << kCustomEdidPreset << 8 << QStringList{"cmBEdid:=-1"};
    QTest::newRow("CEC device type 1") << kCecDeviceType << 1 << QStringList{"cmbLa:=1"};
    QTest::newRow("automix algorithm 3") << kAutomixAlgorithm << 3 << QStringList{"cmbEdidAlgo:=3"};
    QTest::newRow("audio jack") << kAudioSource << 3
                                << QStringList{"audioHdmi:unchecked", "audioJack:checked"};
    QTest::newRow("audio neither keeps the group's choice")
        << kAudioSource << 2 << QStringList{"audioHdmi:checked", "audioJack:unchecked"};
    QTest::newRow("audio other changes nothing") << kAudioSource << 7 << QStringList{"audioHdmi:checked"};
    QTest::newRow("EDID mode fixed") << kEdidMode << 2
                                     << QStringList{"fixedEDID:checked", "automixEDID:unchecked",
                                                    "customEDID:unchecked", "EDIDtext:enabled"};
    QTest::newRow("EDID mode custom")
        << kEdidMode << 3 << QStringList{"customEDID:checked", "automixEDID:unchecked", "EDIDtext:enabled"};
    QTest::newRow("EDID mode other") << kEdidMode << 0 << QStringList{"automixEDID:checked"};
    QTest::newRow("EDID mode not selectable disables the text")
        << kEdidModeSelectable << 0
        << QStringList{"automixEDID:disabled", "customEDID:disabled", "fixedEDID:disabled",
                       "EDIDtext:disabled"};
    QTest::newRow("HDCP 1.4") << kHdcpVersion << 2 << QStringList{"hdcp14:checked", "hdcp22:unchecked"};
    QTest::newRow("HDCP neither keeps the group's choice")
        << kHdcpVersion << 1 << QStringList{"hdcp14:unchecked", "hdcp22:checked"};
    QTest::newRow("HDCP not selectable")
        << kHdcpSelectable << 2 << QStringList{"hdcp14:disabled", "hdcp22:disabled"};
    QTest::newRow("audio not selectable")
        << kAudioSelectable << 0 << QStringList{"audioHdmi:disabled", "audioJack:disabled"};
    QTest::newRow("4:2:0 on") << kOutput420 << 1 << QStringList{"enable420:checked", "disable420:unchecked"};
    QTest::newRow("4:2:0 other changes nothing")
        << kOutput420 << 5 << QStringList{"enable420:unchecked", "disable420:checked"};
    QTest::newRow("auto switch off disables the priority")
        << kAutoSwitch << 0
        << QStringList{"autoSwDis:checked", "autoSwEn:unchecked", "pPrioForce:disabled",
                       "bPrioNorm:disabled"};
    QTest::newRow("auto switch other changes nothing")
        << kAutoSwitch << 2 << QStringList{"autoSwEn:checked", "bPrioNorm:enabled"};
    QTest::newRow("2.0 stereo") << kForceStereo << 1 << QStringList{"cb2cForce:checked"};
    QTest::newRow("5.1 multi") << kForceMultichannel << 1 << QStringList{"cb51:checked"};
    QTest::newRow("full audio") << kFullAudio << 1 << QStringList{"cbFull:checked"};
    QTest::newRow("3D remove") << kRemove3d << 1 << QStringList{"cb3D:checked"};
    QTest::newRow("HDR packet 2 counts as off") << kHdrPacket << 2 << QStringList{"cbHdr:unchecked"};
    QTest::newRow("forced priority") << kSwitchPriority << 1
                                     << QStringList{"pPrioForce:checked", "bPrioNorm:unchecked"};
    QTest::newRow("HDR hotkey on") << kHdrHotkey << 1
                                   << QStringList{"bHdrRepurpEn:checked", "bHdrRepurpDis:unchecked"};
    QTest::newRow("Samsung HDR mode")
        << kHdrMode << 1 << QStringList{"bSamHdr:checked", "bFullHdr:unchecked"};
    QTest::newRow("force HDR") << kForceHdrActive << 1 << QStringList{"cbHdrForceMode:checked"};
    QTest::newRow("green LED off") << kGreenLed << 0
                                   << QStringList{"enableLed:unchecked", "disableLed:checked"};
    QTest::newRow("blue LEDs other counts as off")
        << kBlueLeds << 9 << QStringList{"enableBLed:unchecked", "disableBLed:checked"};
    QTest::newRow("CEC off") << kCecProcessing << 0 << QStringList{"cbCec:unchecked"};
    QTest::newRow("YCbCr off") << kAllowYcbcr << 0 << QStringList{"cbYUV:unchecked"};
    QTest::newRow("BT.2020 on") << kBt2020 << 1 << QStringList{"cbBt2020:checked"};
    QTest::newRow("AVR audio on") << kAvrAudio << 1
                                  << QStringList{"enableAVR:checked", "disableAVR:unchecked"};
    QTest::newRow("replace AVI on") << kReplaceAvi << 1 << QStringList{"cbAviPersistent:checked"};
}

void TestControlSync::controlsFollowTheRecord() {
    QFETCH(int, offset);
    QFETCH(int, value);
    QFETCH(QStringList, expected);
    Rig rig;
    MainWindow &window = rig.start();
    rig.box.statusRecord()[static_cast<size_t>(offset)] = static_cast<uint8_t>(value);
    tick(window);
    QStringList seen;
    for (const QString &expectation : expected) {
        seen << stateOf(rig, expectation);
    }
    QCOMPARE(seen, expected);
}

void TestControlSync::tickMakesItsTransactionsInOrder() {
    Rig rig;
    MainWindow &window = rig.start();
    tick(window); // the first tick also re-reads the device's EDID
    const int from = static_cast<int>(rig.box.frames().size());
    tick(window);
    const QList<QByteArray> expected = {bytes({0x11, 0x2A, 0xE1}),       bytes({0x11, 0x0E, 0xE0, 0x06}),
                                        bytes({0x11, 0x0F, 0xE0, 0x06}), bytes({0x11, 0x1F, 0xE0, 0x15}),
                                        bytes({0x11, 0x1F, 0xE0, 0x1E}), bytes({0x11, 0x1F, 0xE0, 0x1F})};
    QCOMPARE(requestsSince(rig.box, from), expected);
}

void TestControlSync::unchangedDeviceRaisesNoSignal() {
    Rig rig;
    MainWindow &window = rig.start();
    tick(window);
    QList<std::shared_ptr<QSignalSpy>> spies;
    for (QCheckBox *box : window.findChildren<QCheckBox *>()) {
        spies << std::make_shared<QSignalSpy>(box, &QCheckBox::stateChanged);
    }
    for (QComboBox *combo : window.findChildren<QComboBox *>()) {
        spies << std::make_shared<QSignalSpy>(combo, &QComboBox::currentIndexChanged);
    }
    const int from = static_cast<int>(rig.box.frames().size());
    tick(window);
    for (const auto &spy : spies) {
        QCOMPARE(spy->size(), 0);
    }
    for (const QByteArray &request : requestsSince(rig.box, from)) {
        QCOMPARE(uint8_t(request[0]), proto::kFromDevice);
    }
}

void TestControlSync::changedCheckBoxRunsItsSlotButRadioStaysQuiet() {
    Rig rig;
    MainWindow &window = rig.start();
    QSignalSpy cecChanged(rig.widget<QCheckBox>("cbCec"), &QCheckBox::stateChanged);
    QSignalSpy ledClicked(rig.widget<QAbstractButton>("disableLed"), &QAbstractButton::clicked);
    QSignalSpy aviClicked(rig.widget<QAbstractButton>("cbAviPersistent"), &QAbstractButton::clicked);
    rig.box.statusRecord()[record::kCecProcessing] = 0;
    rig.box.statusRecord()[record::kGreenLed] = 0;
    rig.box.statusRecord()[record::kReplaceAvi] = 1;
    tick(window);
    QCOMPARE(cecChanged.size(), 1);
    QCOMPARE(ledClicked.size(), 0);
    QCOMPARE(aviClicked.size(), 0);
}

void TestControlSync::busyDeviceLeavesControlsButTextsUpdate() {
    Rig rig;
    MainWindow &window = rig.start();
    tick(window);
    rig.box.statusRecord()[record::kGreenLed] = 0;
    rig.box.registerBlock(proto::kRegSourceProduct).fill(0);
    rig.box.setBusyFor(60000);
    tick(window);
    QVERIFY(rig.widget<QAbstractButton>("enableLed")->isChecked());
    QCOMPARE(rig.widget<QLabel>("lblVideoSource")->text(), QString("Source Info:  "));
}

void TestControlSync::edidRefreshWaitsForTheDeviceAndHappensOnce() {
    Rig rig;
    MainWindow &window = rig.start();
    rig.box.setBusyFor(5000);
    int from = static_cast<int>(rig.box.frames().size());
    tick(window);
    QCOMPARE(countOf(requestsSince(rig.box, from), kOwnEdidFetch), 0);
    rig.clock.advance(6000);
    from = static_cast<int>(rig.box.frames().size());
    tick(window);
    const QList<QByteArray> refreshTick = requestsSince(rig.box, from);
    QCOMPARE(countOf(refreshTick, kOwnEdidFetch), 1);
    // The refresh check's status read comes first, then the EDID read, then the sync.
    QCOMPARE(refreshTick.first(), bytes({0x11, 0x2A, 0xE1}));
    QCOMPARE(refreshTick.at(1), kOwnEdidFetch);
    from = static_cast<int>(rig.box.frames().size());
    tick(window);
    QCOMPARE(countOf(requestsSince(rig.box, from), kOwnEdidFetch), 0);
}

void TestControlSync::failedReadsChangeNothing_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("reg");
    QTest::newRow("status refused") << int(Fault::Refuse) << int(proto::kStatusRead) << -1;
    QTest::newRow("status short") << int(Fault::Short) << int(proto::kStatusRead) << -1;
    QTest::newRow("video status refused") << int(Fault::Refuse) << -1 << int(proto::kRegVideoStatus);
}

void TestControlSync::failedReadsChangeNothing() {
    QFETCH(int, fault);
    QFETCH(int, command);
    QFETCH(int, reg);
    Rig rig;
    MainWindow &window = rig.start();
    tick(window);
    rig.box.statusRecord()[record::kGreenLed] = 0;
    rig.box.statusRecord()[record::kCecProcessing] = 0;
    if (command >= 0) {
        rig.box.injectFault(Fault(fault), static_cast<uint8_t>(command));
    } else {
        rig.box.injectFaultForRegister(Fault(fault), static_cast<uint8_t>(reg));
    }
    tick(window);
    QVERIFY(rig.widget<QAbstractButton>("enableLed")->isChecked());
    QVERIFY(rig.widget<QAbstractButton>("cbCec")->isChecked());
}

void TestControlSync::tickInsideALinkMessageBoxDoesNothing() {
    Rig rig;
    MainWindow &window = rig.start();
    tick(window);
    rig.box.injectFault(Fault::RxQueueFail, proto::kFetchOwnEdid);
    const int from = static_cast<int>(rig.box.frames().size());
    // Delivered by the nested loop of "Error Checking RX Queue".
    QCoreApplication::postEvent(&window, new QTimerEvent(statusTimerId(window)));
    QVERIFY(QMetaObject::invokeMethod(&window, "ReadEDID"));
    QCOMPARE(rig.boxWatcher.texts(), QStringList{"Error Checking RX Queue"});
    // Nothing is left to deliver: the tick came inside the box and did nothing.
    QCoreApplication::sendPostedEvents(&window, QEvent::Timer);
    QCOMPARE(countOf(requestsSince(rig.box, from), kSyncVideoRead), 0);
}

QTEST_MAIN(TestControlSync)
#include "tst_control_sync.moc"
