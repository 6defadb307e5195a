// Start-up with and without the box, the first texts of the window, and its end.

#include "core/base/colon_hex.h"
#include "support/test_support.h"

#include <QAbstractEventDispatcher>
#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <QTextEdit>

using sim::Fault;

namespace {

// The first sync (status, video status); version, stored HDR infoframe, stored AVI bytes;
// the status texts' four blocks; then the device's EDID: fetch, one status read (the box
// is soon ready), 16 window reads.
QList<QByteArray> startupRequests() {
    QList<QByteArray> requests = {
        bytes({0x11, 0x2A, 0xE1}),       bytes({0x11, 0x0E, 0xE0, 0x06}), bytes({0x11, 0x08, 0xE0, 0x07}),
        bytes({0x11, 0x21, 0xE0, 0x23}), bytes({0x11, 0x0F, 0xE0, 0x24}), bytes({0x11, 0x0F, 0xE0, 0x06}),
        bytes({0x11, 0x1F, 0xE0, 0x15}), bytes({0x11, 0x1F, 0xE0, 0x1E}), bytes({0x11, 0x1F, 0xE0, 0x1F}),
        bytes({0x10, 0x01, 0xB4}),       bytes({0x11, 0x2A, 0xE1})};
    for (int offset = 0; offset < 256; offset += 16) {
        requests << bytes({0x11, 0x10, 0xB0, offset});
    }
    return requests;
}

int statusTimers(QObject *window) {
    int count = 0;
    for (const auto &timer : QAbstractEventDispatcher::instance()->registeredTimers(window)) {
        count += timer.interval == 3000 ? 1 : 0;
    }
    return count;
}

QString comboTexts(QComboBox *box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i) {
        texts << box->itemText(i);
    }
    return texts.join('|');
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resqrc); }
    void withoutDevice();
    void openFailure();
    void normalStartReadsTheBlocksInOrder();
    void comboItems_data();
    void comboItems();
    void storedPacketTexts();
    void failedStoredBlockLeavesItsTextEmpty_data();
    void failedStoredBlockLeavesItsTextEmpty();
    void versionLabel_data();
    void versionLabel();
    void closeReleasesOnceAndClosesTheBox();
    void tickInsideTheCloseFailureBoxTouchesNothing();
    void fileExitEndsTheProcess();
};

void TestStartup::withoutDevice() {
    Rig rig;
    rig.box.setAttachedDevices({});
    MainWindow &window = rig.start();
    QCOMPARE(rig.boxWatcher.texts(), QStringList{"VELTRIKA USB not connected!"});
    // The link's warnings stand alone: no owner, a blank title, the warning icon, OK.
    const ShownBox &warning = rig.boxWatcher.boxes().first();
    QCOMPARE(warning.title, QString(" "));
    QCOMPARE(warning.icon, QMessageBox::Warning);
    QCOMPARE(warning.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!warning.hasParent);
    QVERIFY(rig.box.frames().empty());
    QCOMPARE(rig.widget<QLabel>("labelFw1")->text(), QString("ver: "));
    for (const char *name : {"cmbInputSel", "cmBEdid", "cmbLa", "cmbEdidAlgo"}) {
        QCOMPARE(rig.widget<QComboBox>(name)->count(), 0);
    }
    QCOMPARE(statusTimers(&window), 0);
}

void TestStartup::openFailure() {
    Rig rig;
    rig.box.setOpenFails(true);
    MainWindow &window = rig.start();
    QCOMPARE(rig.boxWatcher.texts(), (QStringList{"Usb device open error!", "Hardware not found"}));
    const ShownBox &hardware = rig.boxWatcher.boxes().at(1);
    QCOMPARE(hardware.title, QString("VELTRIKA Utility"));
    QCOMPARE(hardware.icon, QMessageBox::Warning);
    QCOMPARE(hardware.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(hardware.hasParent);
    QVERIFY(rig.box.frames().empty());
    QCOMPARE(rig.widget<QComboBox>("cmbInputSel")->count(), 0);
    QCOMPARE(statusTimers(&window), 0);
}

void TestStartup::normalStartReadsTheBlocksInOrder() {
    Rig rig;
    MainWindow &window = rig.start();
    QVERIFY(rig.boxWatcher.boxes().isEmpty());
    const std::vector<std::string> &calls = rig.box.calls();
    QVERIFY(calls.size() > 3);
    QCOMPARE(calls[0], std::string("deviceCount"));
    QCOMPARE(calls[1], std::string("productString 0 0"));
    QCOMPARE(calls[2], std::string("open 0"));
    // Filling the combo boxes sends nothing.
    QCOMPARE(requestsSince(rig.box), startupRequests());
    QCOMPARE(statusTimers(&window), 1);
}

void TestStartup::comboItems_data() {
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QString>("items");
    QTest::newRow("active input") << "cmbInputSel"
                                  << "PORT A [TOP]|PORT B [BOT]|MATRIX THRU|MATRIX SWAP";
    QTest::newRow("custom EDID") << "cmBEdid"
                                 << "Custom Uploaded/Default EDID|4k30-444 300MHz All Sound|"
                                    "4k30-RGB 300MHz All Sound|4k60-420 8-bit 300MHz All Sound|"
                                    "4k60-420 10-bit HDR BT.2020 All Sound|4k60-444 600MHz All Sound|"
                                    "4k60-444 600MHz HDR BT.2020 All Sound|1080p-444 148MHz All Sound";
    QTest::newRow("CEC device type") << "cmbLa"
                                     << "Video Processor [Default]|Audio System w/ARC";
    QTest::newRow("automix algorithm") << "cmbEdidAlgo"
                                       << "Min Mixed Capabilities [Default]|Max Audio, Min Video|"
                                          "TOP Output Priority|Max Audio, Max Video";
}

void TestStartup::comboItems() {
    QFETCH(QString, combo);
    QFETCH(QString, items);
    Rig rig;
    rig.start();
    auto *box = rig.widget<QComboBox>(combo.toLatin1().constData());
    QCOMPARE(comboTexts(box), items);
    QCOMPARE(box->currentIndex(), 0);
    for (int i = 0; i < box->count(); ++i) {
        QVERIFY(!box->itemData(i).isValid());
    }
}

void TestStartup::storedPacketTexts() {
    Rig rig;
    const std::array<uint8_t, 31> hdr = {0x87, 0x01, 0x1A, 0x5C, 0x02, 0x00, 0xD0, 0x84, 0x80, 0x3E, 0xC2,
                                         0x33, 0xC4, 0x86, 0x4C, 0x1D, 0xB8, 0x0B, 0x13, 0x3D, 0x42, 0x40,
                                         0xE8, 0x03, 0x32, 0x00, 0xE8, 0x03, 0x90, 0x01, 0xFF};
    const std::array<uint8_t, 13> avi = {0x60, 0xC8, 0x60, 0x61, 0x00, 0x0A, 0x0B,
                                         0x0C, 0x0D, 0x0E, 0x0F, 0xAB, 0xCD};
    std::copy(hdr.begin(), hdr.end(), rig.box.registerBlock(0x23).begin() + 2);
    std::copy(avi.begin(), avi.end(), rig.box.registerBlock(0x24).begin() + 2);
    rig.start();
    const QString ifText = rig.widget<QTextEdit>("IFtext")->toPlainText();
    const QString aviText = rig.widget<QTextEdit>("AVItext")->toPlainText();
    QCOMPARE(ifText,
             QString("87:01:1a:5c:02:00:d0:84:80:3e:c2:33:c4:86:4c:1d:b8:0b:13:3d:42:40:e8:03:32:00:e8:03:"
                     "90:01:ff"));
    QCOMPARE(ifText.size(), 92);
    QCOMPARE(aviText, QString("60:c8:60:61:00:0a:0b:0c:0d:0e:0f:ab:cd"));
    QCOMPARE(aviText.size(), 38);
    QCOMPARE(rig.widget<QTextEdit>("CECtext")->toPlainText(), QString("50:04"));
    QVERIFY(rig.widget<QTextEdit>("CECtext")->isEnabled());
}

// A stored infoframe that could not be read is not shown as zeros, which the next send
// would put over the one the device holds: its text stays empty, and a send of it stops
// at the length check.
void TestStartup::failedStoredBlockLeavesItsTextEmpty_data() {
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("failedText");
    QTest::addColumn<QString>("otherText");
    QTest::addColumn<QString>("sendSlot");
    QTest::addColumn<QString>("lengthError");
    QTest::newRow("HDR short") << 0x23 << int(Fault::Short) << "IFtext"
                               << "AVItext"
                               << "WriteIF"
                               << "Error: min 2, max 31 data bytes";
    // A box still listed that leaves the read unanswered failed that read only.
    QTest::newRow("HDR unanswered") << 0x23 << int(Fault::Silent) << "IFtext"
                                    << "AVItext"
                                    << "WriteIF"
                                    << "Error: min 2, max 31 data bytes";
    QTest::newRow("HDR refused") << 0x23 << int(Fault::Refuse) << "IFtext"
                                 << "AVItext"
                                 << "WriteIF"
                                 << "Error: min 2, max 31 data bytes";
    QTest::newRow("AVI refused") << 0x24 << int(Fault::Refuse) << "AVItext"
                                 << "IFtext"
                                 << "sendAVI"
                                 << "Error: min 2, max 13 data bytes";
}

void TestStartup::failedStoredBlockLeavesItsTextEmpty() {
    QFETCH(int, reg);
    QFETCH(int, fault);
    QFETCH(QString, failedText);
    QFETCH(QString, otherText);
    QFETCH(QString, sendSlot);
    QFETCH(QString, lengthError);
    Rig rig;
    rig.box.registerBlock(0x23).fill(0x77);
    rig.box.registerBlock(0x24).fill(0x77);
    rig.box.injectFaultForRegister(Fault(fault), static_cast<uint8_t>(reg));
    MainWindow &window = rig.start();
    QCOMPARE(rig.widget<QTextEdit>(failedText.toLatin1().constData())->toPlainText(), QString());
    QVERIFY(rig.widget<QTextEdit>(otherText.toLatin1().constData())->toPlainText().startsWith("77:77:"));
    QCOMPARE(rig.statusRecorder.messages().first(), (StatusMessage{"...", 2000}));

    const int from = static_cast<int>(rig.box.frames().size());
    rig.statusRecorder.clear();
    QVERIFY(QMetaObject::invokeMethod(&window, sendSlot.toLatin1().constData()));
    QVERIFY(requestsSince(rig.box, from).isEmpty());
    QCOMPARE(rig.statusRecorder.messages(), (QList<StatusMessage>{{lengthError, 2000}}));
}

// Which block reads fail (by position: version, stored HDR, stored AVI) and the label.
void TestStartup::versionLabel_data() {
    QTest::addColumn<int>("failingRead");
    QTest::addColumn<QString>("label");
    QTest::newRow("all reads succeed") << -1 << "ver: 3.0.12.255";
    QTest::newRow("version read fails") << 0 << "ver: ";
    QTest::newRow("stored HDR read fails") << 1 << "ver: 3.0.12.255";
    QTest::newRow("stored AVI read fails") << 2 << "ver: ";
}

void TestStartup::versionLabel() {
    QFETCH(int, failingRead);
    QFETCH(QString, label);
    Rig rig;
    sim::RegisterBlock &version = rig.box.registerBlock(0x07);
    version[2] = 3;
    version[3] = 0;
    version[4] = 12;
    version[5] = 255;
    if (failingRead >= 0) {
        rig.box.injectFaultForRegister(Fault::Refuse, std::array<uint8_t, 3>{0x07, 0x23, 0x24}[failingRead]);
    }
    rig.start();
    QCOMPARE(rig.widget<QLabel>("labelFw1")->text(), label);
}

void TestStartup::closeReleasesOnceAndClosesTheBox() {
    Rig rig;
    MainWindow &window = rig.start();
    window.show();
    const int timerId = statusTimerId(window);
    QVERIFY(timerId != 0);
    window.close();
    QVERIFY(!window.session().isOpen());
    QCOMPARE(statusTimers(&window), 0);
    const size_t framesAtClose = rig.box.frames().size();
    // A stray tick after the close reads nothing and touches no widget.
    QTimerEvent tick(timerId);
    QCoreApplication::sendEvent(&window, &tick);
    QCOMPARE(rig.box.frames().size(), framesAtClose);
    rig.closeWindow();
    const auto &calls = rig.box.calls();
    QCOMPARE(std::count(calls.begin(), calls.end(), std::string("close")), 1);
}

void TestStartup::tickInsideTheCloseFailureBoxTouchesNothing() {
    Rig rig;
    MainWindow &window = rig.start();
    window.show();
    rig.box.setCloseFails(true);
    const size_t framesBefore = rig.box.frames().size();
    // Delivered by the nested loop of "Unable to close device handle!".
    QCoreApplication::postEvent(&window, new QTimerEvent(statusTimerId(window)));
    window.close();
    QCOMPARE(rig.boxWatcher.texts(), QStringList{"Unable to close device handle!"});
    QCoreApplication::sendPostedEvents(&window, QEvent::Timer);
    QCOMPARE(rig.box.frames().size(), framesBefore);
}

void TestStartup::fileExitEndsTheProcess() {
    QProcess probe;
    probe.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    probe.start(QStringLiteral(EXIT_PROBE_PATH), {});
    QVERIFY(probe.waitForFinished(60000));
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe.exitCode(), 0);
    const QString output = QString::fromLatin1(probe.readAllStandardOutput());
    QVERIFY2(output.contains("closes: 1"), qPrintable(output));
    QVERIFY2(!output.contains("event loop returned"), qPrintable(output));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
