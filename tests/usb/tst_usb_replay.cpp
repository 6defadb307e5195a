// The libusb backend on the real libusb, against a box that umockdev plays from a usbmon
// capture: run by CTest under umockdev-run with the device description and the capture
// from tests/usb/replay. The replay is strictly in order, so each step below only
// succeeds when every request before it went out exactly as captured.

#include "device_link.h"
#include "support/test_support.h"
#include "usb/libusb_usbxpress.h"
#include "usb/system_libusb.h"

#include <QElapsedTimer>
#include <QTest>

#include <array>

class TestUsbReplay : public QObject {
    Q_OBJECT

private slots:
    void sysfsNamesTheDevices();
    void wholeConversation();
};

void TestUsbReplay::sysfsNamesTheDevices() {
    usb::SystemLibusb libusb;
    std::string serial;
    QVERIFY(libusb.sysfsAttribute("1-2", "serial", &serial));
    QCOMPARE(serial, std::string("2023"));
    QVERIFY(!libusb.sysfsAttribute("1-9", "serial", &serial));
    QCOMPARE(serial, std::string());
}

void TestUsbReplay::wholeConversation() {
    SystemLinkClock clock;
    LibusbUsbXpress usb(std::make_unique<usb::SystemLibusb>(), clock);
    installPlatform(&usb, &clock);
    BoxWatcher boxWatcher;
    QElapsedTimer elapsed;
    elapsed.start();

    // The root hub is not listed; the vendor's UART bridge on port 1 is, and has no
    // capture behind it: its string read fails and its serial comes from sysfs.
    uint32_t count = 0;
    QCOMPARE(usb.deviceCount(&count), usbstatus::kSuccess);
    QCOMPARE(count, 2u);
    std::array<char, 256> text{};
    QCOMPARE(usb.productString(0, text.data(), kSerialNumberString), usbstatus::kSuccess);
    QCOMPARE(QByteArray(text.data()), QByteArray("0001"));

    // Finding the box reads its serial string from the device.
    uint32_t index = 99;
    QVERIFY(FindDevice(kDeviceSerial, &index));
    QCOMPARE(index, 1u);
    QVERIFY(OpenDevice(index));

    const proto::RequestFrame frame = proto::registerBlockRead(proto::kRegVersion, 8);
    proto::ReplyBuffer reply{};
    uint32_t received = 0;
    QVERIFY(LinkTransact(reply, frame.bytes.data(), 8, frame.length, &received));
    QCOMPARE(received, 8u);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(reply.data()), 8),
             bytes({0xE0, 0x00, 0x01, 0x08, 0x02, 0x03, 0x00, 0x00}));

    CloseDevice();
    QCOMPARE(deviceHandle(), kNoDeviceHandle);
    // Only after the close request was taken does the replay answer this.
    text.fill(0);
    QCOMPARE(usb.productString(index, text.data(), kDescriptionString), usbstatus::kSuccess);
    QCOMPARE(QByteArray(text.data()), QByteArray("VELTRIKA USB"));
    QVERIFY(boxWatcher.boxes().isEmpty());
    // The replay answers at once. A request it did not expect is left to its time-out,
    // which the link does not report for the flush: the time tells.
    QVERIFY2(elapsed.elapsed() < LibusbUsbXpress::kControlTimeoutMs, "a request went unanswered");
    installPlatform(nullptr, nullptr);
}

QTEST_MAIN(TestUsbReplay)
#include "tst_usb_replay.moc"
