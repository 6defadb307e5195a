// The device link: finding, opening and closing the box, and the link transaction.

#include "device_link.h"
#include "support/test_support.h"

#include <QElapsedTimer>
#include <QTest>

using sim::AttachedDevice;
using sim::Fault;

Q_DECLARE_METATYPE(std::vector<AttachedDevice>)

namespace {

constexpr uint8_t kUntouched = 0xAA;

proto::ReplyBuffer untouchedReply() {
    proto::ReplyBuffer reply;
    reply.fill(kUntouched);
    return reply;
}

bool openTheBox() {
    uint32_t index = 0;
    return FindDevice(kDeviceSerial, &index) && OpenDevice(index);
}

} // namespace

class TestLink : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { forgetDevice(); }
    void findDevice_data();
    void findDevice();
    void findDeviceWithUnterminatedSerial();
    void deviceCountFails();
    void openFailure();
    void closeTwiceClosesOnce();
    void closeFailureIsReported();
    void transactResults_data();
    void transactResults();
    void transactWithoutDeviceSendsNothing();
    void silentDeviceTimesOutAcrossTheWrap();
    void queueFailureShowsOneBoxWhileBusy();
    void writeAndReadRestoreLibraryTimeouts();
    void installedPresenterTakesTheMessages();
    void systemClockNeverWakesEarly_data();
    void systemClockNeverWakesEarly();
};

void TestLink::findDevice_data() {
    QTest::addColumn<std::vector<AttachedDevice>>("devices");
    QTest::addColumn<bool>("found");
    QTest::addColumn<uint32_t>("index");

    using Devices = std::vector<AttachedDevice>;
    QTest::newRow("the one box") << Devices{{"2023"}} << true << 0u;
    QTest::newRow("two boxes: the lower index wins") << Devices{{"2023"}, {"2023"}} << true << 0u;
    QTest::newRow("box behind another device") << Devices{{"1999"}, {"2023"}} << true << 1u;
    QTest::newRow("trailing space is another device") << Devices{{"2023 "}} << false << 0u;
    QTest::newRow("trailing digit is another device") << Devices{{"20231"}} << false << 0u;
    QTest::newRow("prefix is another device") << Devices{{"202"}} << false << 0u;
    QTest::newRow("leading space is another device") << Devices{{" 2023"}} << false << 0u;
    QTest::newRow("failing query is skipped") << Devices{{"2023", true}, {"2023"}} << true << 1u;
    QTest::newRow("only failing queries") << Devices{{"2023", true}} << false << 0u;
    QTest::newRow("no device attached") << Devices{} << false << 0u;
}

void TestLink::findDevice() {
    QFETCH(std::vector<AttachedDevice>, devices);
    QFETCH(bool, found);
    QFETCH(uint32_t, index);
    Rig rig;
    rig.box.setAttachedDevices(devices);
    uint32_t foundIndex = 99;
    QCOMPARE(FindDevice(kDeviceSerial, &foundIndex), found);
    QCOMPARE(deviceHandle(), kNoDeviceHandle);
    if (found) {
        QCOMPARE(foundIndex, index);
        QVERIFY(rig.boxWatcher.boxes().isEmpty());
    } else {
        QCOMPARE(rig.boxWatcher.texts(), QStringList{"VELTRIKA USB not connected!"});
        const ShownBox &box = rig.boxWatcher.boxes().first();
        QCOMPARE(box.title, QString(" "));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(!box.hasParent);
    }
}

void TestLink::findDeviceWithUnterminatedSerial() {
    Rig rig;
    // The library fills all 256 bytes and leaves no terminating zero.
    rig.box.setAttachedDevices({{std::string("2023") + std::string(300, 'x')}, {"2023"}});
    uint32_t index = 99;
    QVERIFY(FindDevice(kDeviceSerial, &index));
    QCOMPARE(index, 1u);
}

void TestLink::deviceCountFails() {
    Rig rig;
    rig.box.setDeviceCountFails(true);
    uint32_t index = 0;
    QVERIFY(!FindDevice(kDeviceSerial, &index));
    QCOMPARE(rig.boxWatcher.texts(), QStringList{"VELTRIKA USB not connected!"});
}

void TestLink::openFailure() {
    Rig rig;
    rig.box.setOpenFails(true);
    QVERIFY(!openTheBox());
    QCOMPARE(deviceHandle(), kNoDeviceHandle);
    QCOMPARE(rig.boxWatcher.texts(), QStringList{"Usb device open error!"});
    QCOMPARE(rig.boxWatcher.boxes().first().title, QString(" "));
}

void TestLink::closeTwiceClosesOnce() {
    Rig rig;
    QVERIFY(openTheBox());
    QVERIFY(deviceHandle() != kNoDeviceHandle);
    CloseDevice();
    CloseDevice();
    QCOMPARE(deviceHandle(), kNoDeviceHandle);
    QCOMPARE(std::count(rig.box.calls().begin(), rig.box.calls().end(), std::string("close")), 1);
    QVERIFY(rig.boxWatcher.boxes().isEmpty());
}

void TestLink::closeFailureIsReported() {
    Rig rig;
    QVERIFY(openTheBox());
    rig.box.setCloseFails(true);
    CloseDevice();
    QCOMPARE(deviceHandle(), kNoDeviceHandle);
    QCOMPARE(rig.boxWatcher.texts(), QStringList{"Unable to close device handle!"});
}

// Each row is one case of the transaction's result: a status read (42 bytes) against a
// box with one fault, or none.
void TestLink::transactResults_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<uint32_t>("minimum");
    QTest::addColumn<bool>("result");
    QTest::addColumn<uint32_t>("received");
    QTest::addColumn<QString>("box");

    constexpr int kNone = -1;
    QTest::newRow("reply of exactly the minimum") << kNone << 42u << true << 42u << QString();
    QTest::newRow("one byte short of the minimum") << kNone << 43u << false << 42u << QString();
    QTest::newRow("write fails") << int(Fault::WriteFail) << 42u << false << 0u << QString();
    QTest::newRow("queue query fails") << int(Fault::RxQueueFail) << 42u << false << 0u
                                       << QString("Error Checking RX Queue");
    QTest::newRow("silent device") << int(Fault::Silent) << 42u << true << 0u << QString();
    QTest::newRow("read fails") << int(Fault::ReadFail) << 42u << false << 0u << QString();
    QTest::newRow("short reply") << int(Fault::Short) << 42u << false << 21u << QString();
    QTest::newRow("reply longer than 64 bytes is cut") << int(Fault::Long) << 42u << true << 64u << QString();
    QTest::newRow("library claims more than it delivered")
        << int(Fault::ReadOverreport) << 42u << true << 64u << QString();
}

void TestLink::transactResults() {
    QFETCH(int, fault);
    QFETCH(uint32_t, minimum);
    QFETCH(bool, result);
    QFETCH(uint32_t, received);
    QFETCH(QString, box);
    Rig rig;
    QVERIFY(openTheBox());
    if (fault >= 0) {
        rig.box.injectFaultForNext(Fault(fault), 1);
    }
    proto::ReplyBuffer reply = untouchedReply();
    const proto::RequestFrame frame = proto::statusRead(42);
    uint32_t got = 99;
    QCOMPARE(LinkTransact(reply, frame.bytes.data(), minimum, frame.length, &got), result);
    QCOMPARE(got, received);
    QVERIFY(!linkBusy());
    QCOMPARE(rig.boxWatcher.texts(), box.isEmpty() ? QStringList() : QStringList{box});
    if (received == 0) {
        QVERIFY(std::all_of(reply.begin(), reply.end(), [](uint8_t b) { return b == kUntouched; }));
    } else {
        QCOMPARE(reply[0], proto::kStatusRead);
        QVERIFY(received == proto::kReplySize || reply[received] == kUntouched);
    }
}

void TestLink::transactWithoutDeviceSendsNothing() {
    Rig rig;
    proto::ReplyBuffer reply = untouchedReply();
    const proto::RequestFrame frame = proto::registerWrite(0x0B, 1);
    QVERIFY(LinkTransact(reply, frame.bytes.data(), 2, frame.length));
    QVERIFY(!linkBusy());
    QVERIFY(rig.box.frames().empty());
    QVERIFY(std::all_of(reply.begin(), reply.end(), [](uint8_t b) { return b == kUntouched; }));
}

void TestLink::silentDeviceTimesOutAcrossTheWrap() {
    Rig rig;
    QVERIFY(openTheBox());
    const uint32_t start = 0xFFFFFFFFu - 1500;
    rig.clock.setNow(start);
    rig.box.injectFault(Fault::Silent, proto::kStatusRead);
    proto::ReplyBuffer reply = untouchedReply();
    const proto::RequestFrame frame = proto::statusRead(42);
    QVERIFY(LinkTransact(reply, frame.bytes.data(), 42, frame.length));
    QCOMPARE(uint32_t(rig.clock.tickCount() - start), kLinkTimeoutMs);
    QCOMPARE(reply[0], kUntouched);
}

void TestLink::queueFailureShowsOneBoxWhileBusy() {
    Rig rig;
    QVERIFY(openTheBox());
    rig.box.injectFault(Fault::RxQueueFail, proto::kStatusRead);
    proto::ReplyBuffer reply = untouchedReply();
    const proto::RequestFrame frame = proto::statusRead(42);
    QVERIFY(!LinkTransact(reply, frame.bytes.data(), 42, frame.length));
    QCOMPARE(rig.boxWatcher.boxes().size(), 1);
    QVERIFY(rig.boxWatcher.boxes().first().linkBusyWhileShown);
    QVERIFY(!linkBusy());
}

QStringList g_presented;

void TestLink::installedPresenterTakesTheMessages() {
    Rig rig;
    g_presented.clear();
    installLinkMessagePresenter([](const char *text) { g_presented << QString::fromLatin1(text); });
    rig.box.setOpenFails(true);
    QVERIFY(!openTheBox());
    rig.box.setOpenFails(false);
    QVERIFY(openTheBox());
    rig.box.injectFault(Fault::RxQueueFail, proto::kStatusRead);
    proto::ReplyBuffer reply = untouchedReply();
    const proto::RequestFrame frame = proto::statusRead(42);
    QVERIFY(!LinkTransact(reply, frame.bytes.data(), 42, frame.length));
    QCOMPARE(g_presented, (QStringList{"Usb device open error!", "Error Checking RX Queue"}));
    QVERIFY(rig.boxWatcher.boxes().isEmpty());

    // Without a presenter the warning box is back.
    installLinkMessagePresenter(nullptr);
    rig.box.setCloseFails(true);
    CloseDevice();
    QCOMPARE(rig.boxWatcher.texts(), QStringList{"Unable to close device handle!"});
    QCOMPARE(g_presented.size(), 2);
}

void TestLink::writeAndReadRestoreLibraryTimeouts() {
    Rig rig;
    QVERIFY(openTheBox());
    rig.box.setTimeouts(111, 222);
    rig.box.clearLog();
    proto::ReplyBuffer reply{};
    const proto::RequestFrame frame = proto::registerWrite(0x16, 1);
    QVERIFY(LinkTransact(reply, frame.bytes.data(), 2, frame.length));
    const std::vector<std::string> expected = {
        "flush 1 1", "timeouts", "setTimeouts 0 4000", "write 5",  "setTimeouts 111 222",
        "rxQueue",   "timeouts", "setTimeouts 4000 0", "read 64", "setTimeouts 111 222",
    };
    QCOMPARE(rig.box.calls(), expected);
    QCOMPARE(rig.box.readTimeoutMs(), 111u);
    QCOMPARE(rig.box.writeTimeoutMs(), 222u);
}

void TestLink::systemClockNeverWakesEarly_data() {
    QTest::addColumn<uint32_t>("ms");
    QTest::newRow("no wait") << 0u;
    QTest::newRow("shorter than the spin") << 1u;
    QTest::newRow("a busy poll") << 10u;
    QTest::newRow("after a window write") << 30u;
}

// The waits between frames are lower bounds for the device: a wait may end late, never early.
void TestLink::systemClockNeverWakesEarly() {
    QFETCH(uint32_t, ms);
    SystemLinkClock clock;
    QElapsedTimer elapsed;
    elapsed.start();
    const uint32_t before = clock.tickCount();
    clock.sleep(ms);
    QVERIFY(elapsed.nsecsElapsed() >= qint64(ms) * 1000000);
    QVERIFY(clock.tickCount() - before >= ms);
}

QTEST_MAIN(TestLink)
#include "tst_link.moc"
