// The libusb backend on the real libusb, against a box that umockdev plays from a usbmon
// capture: run by CTest under umockdev-run with the device description and the capture
// from tests/usb/replay. The replay is strictly in order, so each step below only
// succeeds when every request before it went out exactly as captured.

#include "core/box/box_session.h"
#include "support/recording_reporter.h"
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
    RecordingReporter reporter;
    BoxSession session(usb, clock, reporter);
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
    const std::optional<uint32_t> index = session.find(kDeviceSerial);
    QCOMPARE(index, std::optional<uint32_t>(1));
    QVERIFY(session.open(*index));

    const Exchange exchange = session.transact(proto::registerBlockRead(proto::kRegVersion, 8), 8);
    QVERIFY(exchange.ok());
    QCOMPARE(exchange.received, 8u);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(exchange.reply.data()), 8),
             QByteArray::fromHex("e000010802030000"));

    session.close();
    QVERIFY(!session.isOpen());
    // Only after the close request was taken does the replay answer this.
    text.fill(0);
    QCOMPARE(usb.productString(*index, text.data(), kDescriptionString), usbstatus::kSuccess);
    QCOMPARE(QByteArray(text.data()), QByteArray("VELTRIKA USB"));
    QVERIFY(reporter.lines.isEmpty());
    // The replay answers at once. A request it did not expect is left to its time-out,
    // which the link does not report for the flush: the time tells.
    QVERIFY2(elapsed.elapsed() < LibusbUsbXpress::kControlTimeoutMs, "a request went unanswered");
}

QTEST_GUILESS_MAIN(TestUsbReplay)
#include "tst_usb_replay.moc"
