// The libusb backend over a scripted bus: which devices it lists and in what order, the
// requests of open, close and flush, the packet sizes it reads with, the receive queue,
// time-outs, stalls, failed reads, status codes, stale handles and a device that goes away.

#include "core/box/box_session.h"
#include "fake_libusb.h"
#include "support/recording_reporter.h"
#include "support/test_support.h"
#include "usb/libusb_usbxpress.h"

#include <QTest>

#include <array>
#include <cstring>
#include <memory>

using usbfake::boxAt;
using usbfake::FakeBus;
using usbfake::FakeDevice;
using usbfake::FakeLibusb;
using usbfake::InPacket;
using usbfake::OutResult;
using Calls = QStringList;
using Bytes = std::vector<uint8_t>;

Q_DECLARE_METATYPE(std::vector<FakeDevice>)
Q_DECLARE_METATYPE(FakeDevice)
Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(InPacket)

namespace {

constexpr uint32_t kStringSize = 256;

// The backend on a scripted bus and a fake clock.
struct Bench {
    explicit Bench(std::vector<FakeDevice> devices = {boxAt(1, {4})}) {
        bus.devices = std::move(devices);
        usb = std::make_unique<LibusbUsbXpress>(std::make_unique<FakeLibusb>(bus), clock);
    }
    uint32_t count() {
        uint32_t listed = 99;
        const int status = usb->deviceCount(&listed);
        return status == usbstatus::kSuccess ? listed : 99;
    }
    // Lists the devices, opens the first and forgets the calls that took.
    UsbHandle openFirst() {
        count();
        UsbHandle handle = kNoDeviceHandle;
        if (usb->open(0, &handle) != usbstatus::kSuccess) {
            return kNoDeviceHandle;
        }
        bus.calls.clear();
        return handle;
    }
    std::string serialOf(uint32_t index) {
        std::array<char, kStringSize> text{};
        usb->productString(index, text.data(), kSerialNumberString);
        return text.data();
    }

    sim::FakeLinkClock clock{1000};
    FakeBus bus{clock};
    std::unique_ptr<LibusbUsbXpress> usb;
};

FakeDevice withSerial(FakeDevice device, const std::string &serial) {
    device.strings[3] = serial;
    return device;
}

template <size_t N> QByteArray bytesOf(const std::array<uint8_t, N> &buffer, uint32_t count) {
    return QByteArray(reinterpret_cast<const char *>(buffer.data()),
                      static_cast<qsizetype>(std::min<size_t>(count, N)));
}

InPacket packet(Bytes bytes) {
    return InPacket{LIBUSB_SUCCESS, std::move(bytes), std::nullopt};
}

const Calls kCloseCalls = {"control 1 40 02 0004 0000 1000", "release 1 0", "close 1"};

} // namespace

class TestLibusbUsbXpress : public QObject {
    Q_OBJECT

private slots:
    void listing_data();
    void listing();
    void listingOrderIsTheBusOrder();
    void listingFails();
    void productString_data();
    void productString();
    void productStringIsBounded();
    void productStringFallsBackToSysfs_data();
    void productStringFallsBackToSysfs();
    void missingStringReadsEmpty();
    void openAndClose_data();
    void openAndClose();
    void openDrainsStaleInput();
    void drainIsBounded();
    void kernelDriverDetach_data();
    void kernelDriverDetach();
    void openFailures_data();
    void openFailures();
    void openRejectsBadArguments();
    void closeFailureStillReleases();
    void flush();
    void flushFailure();
    void writeSendsTheBytes();
    void writeResults_data();
    void writeResults();
    void writeRejectsBadArguments();
    void receiveQueueAndPartialReads();
    void timeOutStillCarriesData();
    void readsAskForWholePackets_data();
    void readsAskForWholePackets();
    void openChecksPacketSizes_data();
    void openChecksPacketSizes();
    void readWaitsAtMostTheReadTimeout();
    void readWithoutTimeoutDoesNotWait();
    void readWaitsForLateData();
    void readFailures_data();
    void readFailures();
    void stallIsCleared_data();
    void stallIsCleared();
    void staleHandles_data();
    void staleHandles();
    void nullArguments();
    void timeoutsRoundTrip();
    void unplugWhileOpen();
    void destructionClosesWhatIsOpen();
    void transactionThroughTheLink();
    void silentDeviceThroughTheLink();
};

void TestLibusbUsbXpress::listing_data() {
    QTest::addColumn<std::vector<FakeDevice>>("devices");
    QTest::addColumn<uint32_t>("listed");

    using Devices = std::vector<FakeDevice>;
    FakeDevice otherVendor = boxAt(1, {1});
    otherVendor.info.vendorId = 0x10C5;
    FakeDevice otherClass = boxAt(1, {1});
    otherClass.info.interfaces[0].interfaceClass = 0x0A;
    FakeDevice interruptPair = boxAt(1, {1});
    interruptPair.info.interfaces[0].endpoints = {{0x81, 0x03}, {0x01, 0x03}};
    FakeDevice twoIn = boxAt(1, {1});
    twoIn.info.interfaces[0].endpoints.push_back({0x82, 0x02});
    FakeDevice noOut = boxAt(1, {1});
    noOut.info.interfaces[0].endpoints = {{0x81, 0x02}};
    FakeDevice secondInterface = boxAt(1, {1}, 0x82, 0x02, 1);
    usb::InterfaceInfo serialControl;
    serialControl.number = 0;
    serialControl.interfaceClass = 0x02;
    serialControl.endpoints = {{0x83, 0x03}};
    secondInterface.info.interfaces.insert(secondInterface.info.interfaces.begin(), serialControl);
    FakeDevice unreadable = boxAt(1, {1});
    unreadable.describeResult = LIBUSB_ERROR_IO;

    QTest::newRow("endpoints 0x01 and 0x81") << Devices{boxAt(1, {1})} << 1u;
    QTest::newRow("endpoints 0x02 and 0x82") << Devices{boxAt(1, {1}, 0x82, 0x02)} << 1u;
    QTest::newRow("another vendor") << Devices{otherVendor} << 0u;
    QTest::newRow("interface of another class") << Devices{otherClass} << 0u;
    QTest::newRow("interrupt endpoints") << Devices{interruptPair} << 0u;
    QTest::newRow("two bulk IN endpoints") << Devices{twoIn} << 0u;
    QTest::newRow("no bulk OUT endpoint") << Devices{noOut} << 0u;
    QTest::newRow("bulk pair on the second interface") << Devices{secondInterface} << 1u;
    QTest::newRow("descriptors unreadable") << Devices{unreadable} << 0u;
    QTest::newRow("nothing attached") << Devices{} << 0u;
    QTest::newRow("two boxes among other devices")
        << Devices{otherVendor, boxAt(1, {2}), twoIn, boxAt(2, {1})} << 2u;
}

void TestLibusbUsbXpress::listing() {
    QFETCH(std::vector<FakeDevice>, devices);
    QFETCH(uint32_t, listed);
    Bench bench(devices);
    QCOMPARE(bench.count(), listed);
    QCOMPARE(bench.bus.takeCalls(), Calls{"list"});
}

void TestLibusbUsbXpress::listingOrderIsTheBusOrder() {
    Bench bench({withSerial(boxAt(2, {1}), "D"), withSerial(boxAt(1, {3}), "C"),
                 withSerial(boxAt(1, {1, 2}), "B"), withSerial(boxAt(1, {1}), "A")});
    for (int listing = 0; listing < 2; ++listing) {
        QCOMPARE(bench.count(), 4u);
        QCOMPARE(bench.serialOf(0), std::string("A"));
        QCOMPARE(bench.serialOf(1), std::string("B"));
        QCOMPARE(bench.serialOf(2), std::string("C"));
        QCOMPARE(bench.serialOf(3), std::string("D"));
        // libusb lists the same bus in another order the next time.
        std::reverse(bench.bus.devices.begin(), bench.bus.devices.end());
    }
}

void TestLibusbUsbXpress::listingFails() {
    Bench bench;
    QCOMPARE(bench.count(), 1u);
    bench.bus.listResult = LIBUSB_ERROR_IO;
    uint32_t listed = 99;
    QCOMPARE(bench.usb->deviceCount(&listed), usbstatus::kSystemError);
    QCOMPARE(listed, 0u);
    // The earlier list is gone with it.
    std::array<char, kStringSize> text{};
    QCOMPARE(bench.usb->productString(0, text.data(), kSerialNumberString), usbstatus::kDeviceNotFound);
    UsbHandle handle = 7;
    QCOMPARE(bench.usb->open(0, &handle), usbstatus::kDeviceNotFound);
    QCOMPARE(handle, kNoDeviceHandle);
}

void TestLibusbUsbXpress::productString_data() {
    QTest::addColumn<uint32_t>("index");
    QTest::addColumn<uint32_t>("option");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<Calls>("calls");

    const Calls none;
    QTest::newRow("serial number") << 0u << kSerialNumberString << usbstatus::kSuccess << QByteArray("2023")
                                   << Calls{"open 0", "string 1 3", "close 1"};
    QTest::newRow("product description")
        << 0u << kDescriptionString << usbstatus::kSuccess << QByteArray("VELTRIKA USB")
        << Calls{"open 0", "string 1 2", "close 1"};
    QTest::newRow("manufacturer") << 0u << kManufacturerString << usbstatus::kSuccess
                                  << QByteArray("VELTRIKA") << Calls{"open 0", "string 1 1", "close 1"};
    QTest::newRow("unknown option") << 0u << 3u << usbstatus::kInvalidParameter << QByteArray() << none;
    QTest::newRow("index past the list")
        << 1u << kSerialNumberString << usbstatus::kDeviceNotFound << QByteArray() << none;
}

void TestLibusbUsbXpress::productString() {
    QFETCH(uint32_t, index);
    QFETCH(uint32_t, option);
    QFETCH(int, status);
    QFETCH(QByteArray, text);
    QFETCH(Calls, calls);
    Bench bench;
    bench.count();
    bench.bus.calls.clear();
    std::array<char, kStringSize> buffer;
    buffer.fill('x');
    QCOMPARE(bench.usb->productString(index, buffer.data(), option), status);
    QCOMPARE(QByteArray(buffer.data()), text);
    // Everything after the string is cleared, not left as it was.
    QVERIFY(std::all_of(buffer.begin() + text.size(), buffer.end(), [](char c) { return c == '\0'; }));
    QCOMPARE(bench.bus.takeCalls(), calls);
    QVERIFY(bench.bus.openDevices.empty());
}

void TestLibusbUsbXpress::productStringIsBounded() {
    Bench bench({withSerial(boxAt(1, {1}), std::string(300, 'S'))});
    bench.count();
    std::array<char, kStringSize + 1> buffer;
    buffer.fill('x');
    QCOMPARE(bench.usb->productString(0, buffer.data(), kSerialNumberString), usbstatus::kSuccess);
    QCOMPARE(std::strlen(buffer.data()), size_t(255));
    QCOMPARE(buffer[kStringSize], 'x'); // nothing written past the 256 bytes
}

void TestLibusbUsbXpress::productStringFallsBackToSysfs_data() {
    QTest::addColumn<int>("openResult");
    QTest::addColumn<int>("stringResult");
    QTest::addColumn<bool>("inSysfs");
    QTest::addColumn<uint32_t>("option");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<Calls>("calls");

    QTest::newRow("no access to the device")
        << int(LIBUSB_ERROR_ACCESS) << int(LIBUSB_SUCCESS) << true << kSerialNumberString
        << usbstatus::kSuccess << QByteArray("2023") << Calls{"open 0", "sysfs 3-1.4.2 serial"};
    QTest::newRow("device busy, product")
        << int(LIBUSB_ERROR_BUSY) << int(LIBUSB_SUCCESS) << true << kDescriptionString << usbstatus::kSuccess
        << QByteArray("VELTRIKA USB (sysfs)") << Calls{"open 0", "sysfs 3-1.4.2 product"};
    QTest::newRow("string read fails")
        << int(LIBUSB_SUCCESS) << int(LIBUSB_ERROR_TIMEOUT) << true << kManufacturerString
        << usbstatus::kSuccess << QByteArray("VELTRIKA (sysfs)")
        << Calls{"open 0", "string 1 1", "close 1", "sysfs 3-1.4.2 manufacturer"};
    QTest::newRow("neither way") << int(LIBUSB_ERROR_ACCESS) << int(LIBUSB_SUCCESS) << false
                                 << kSerialNumberString << usbstatus::kDeviceIoFailed << QByteArray()
                                 << Calls{"open 0", "sysfs 3-1.4.2 serial"};
}

void TestLibusbUsbXpress::productStringFallsBackToSysfs() {
    QFETCH(int, openResult);
    QFETCH(int, stringResult);
    QFETCH(bool, inSysfs);
    QFETCH(uint32_t, option);
    QFETCH(int, status);
    QFETCH(QByteArray, text);
    QFETCH(Calls, calls);
    FakeDevice device = boxAt(3, {1, 4, 2});
    device.sysfsName = "3-1.4.2";
    device.openResult = openResult;
    device.stringResult = stringResult;
    if (inSysfs) {
        device.sysfs = {
            {"serial", "2023"}, {"product", "VELTRIKA USB (sysfs)"}, {"manufacturer", "VELTRIKA (sysfs)"}};
    }
    Bench bench({device});
    bench.count();
    bench.bus.calls.clear();
    std::array<char, kStringSize> buffer;
    buffer.fill('x');
    QCOMPARE(bench.usb->productString(0, buffer.data(), option), status);
    QCOMPARE(QByteArray(buffer.data()), text);
    QCOMPARE(bench.bus.takeCalls(), calls);
}

void TestLibusbUsbXpress::missingStringReadsEmpty() {
    FakeDevice device = boxAt(1, {1});
    device.info.serialString = 0;
    Bench bench({device});
    bench.count();
    bench.bus.calls.clear();
    QCOMPARE(bench.serialOf(0), std::string());
    QCOMPARE(bench.bus.takeCalls(), Calls{});
}

void TestLibusbUsbXpress::openAndClose_data() {
    QTest::addColumn<FakeDevice>("device");
    QTest::addColumn<Calls>("openCalls");
    QTest::addColumn<Calls>("closeCalls");

    QTest::newRow("endpoints 0x01 and 0x81") << boxAt(1, {1}, 0x81, 0x01)
                                             << Calls{"open 0",
                                                      "autoDetach 1 on",
                                                      "claim 1 0",
                                                      "clearHalt 1 81",
                                                      "clearHalt 1 01",
                                                      "control 1 40 02 0002 0000 1000",
                                                      "bulkRead 1 81 64 10"}
                                             << kCloseCalls;
    QTest::newRow("endpoints 0x02 and 0x82 on interface 1")
        << boxAt(1, {1}, 0x82, 0x02, 1)
        << Calls{"open 0",
                 "autoDetach 1 on",
                 "claim 1 1",
                 "clearHalt 1 82",
                 "clearHalt 1 02",
                 "control 1 40 02 0002 0000 1000",
                 "bulkRead 1 82 64 10"}
        << Calls{"control 1 40 02 0004 0000 1000", "release 1 1", "close 1"};
    QTest::newRow("512-byte packets") << boxAt(1, {1}, 0x81, 0x01, 0, 512)
                                      << Calls{"open 0",
                                               "autoDetach 1 on",
                                               "claim 1 0",
                                               "clearHalt 1 81",
                                               "clearHalt 1 01",
                                               "control 1 40 02 0002 0000 1000",
                                               "bulkRead 1 81 512 10"}
                                      << kCloseCalls;
}

void TestLibusbUsbXpress::openAndClose() {
    QFETCH(FakeDevice, device);
    QFETCH(Calls, openCalls);
    QFETCH(Calls, closeCalls);
    Bench bench({device});
    QCOMPARE(bench.count(), 1u);
    bench.bus.calls.clear();
    UsbHandle handle = kNoDeviceHandle;
    QCOMPARE(bench.usb->open(0, &handle), usbstatus::kSuccess);
    QVERIFY(handle != kNoDeviceHandle);
    QCOMPARE(bench.bus.takeCalls(), openCalls);
    QCOMPARE(bench.usb->close(handle), usbstatus::kSuccess);
    QCOMPARE(bench.bus.takeCalls(), closeCalls);
    QVERIFY(bench.bus.openDevices.empty());
    // The handle is spent: a second close finds nothing and asks nothing of the bus.
    QCOMPARE(bench.usb->close(handle), usbstatus::kInvalidHandle);
    QCOMPARE(bench.bus.takeCalls(), Calls{});
}

void TestLibusbUsbXpress::openDrainsStaleInput() {
    Bench bench;
    bench.bus.in = {packet(Bytes(10, 0xEE)), packet(Bytes(64, 0xEE))};
    const UsbHandle handle = bench.openFirst();
    QVERIFY(handle != kNoDeviceHandle);
    QVERIFY(bench.bus.in.empty());
    // What waits afterwards is only what came after the open.
    bench.bus.in = {packet({0xE0, 0x01})};
    uint32_t waiting = 0;
    uint32_t queueStatus = 0;
    QCOMPARE(bench.usb->rxQueue(handle, &waiting, &queueStatus), usbstatus::kSuccess);
    QCOMPARE(waiting, 2u);
}

void TestLibusbUsbXpress::drainIsBounded() {
    Bench bench;
    for (int i = 0; i < 40; ++i) {
        bench.bus.in.push_back(packet(Bytes(64, 0xEE)));
    }
    bench.count();
    UsbHandle handle = kNoDeviceHandle;
    QCOMPARE(bench.usb->open(0, &handle), usbstatus::kSuccess);
    QCOMPARE(bench.bus.takeCalls().count("bulkRead 1 81 64 10"), LibusbUsbXpress::kMaxDrainReads);
    QCOMPARE(bench.bus.in.size(), size_t(40 - LibusbUsbXpress::kMaxDrainReads));
}

void TestLibusbUsbXpress::kernelDriverDetach_data() {
    QTest::addColumn<int>("claimWithDetach");
    QTest::addColumn<int>("status");
    QTest::addColumn<Calls>("calls");

    const Calls opened = {"clearHalt 1 81", "clearHalt 1 01", "control 1 40 02 0002 0000 1000",
                          "bulkRead 1 81 64 10"};
    Calls retried = {"open 0", "autoDetach 1 on", "claim 1 0", "autoDetach 1 off", "claim 1 0"};
    retried += opened;
    QTest::newRow("detach refused: a plain claim")
        << int(LIBUSB_ERROR_OTHER) << usbstatus::kSuccess << retried;
    QTest::newRow("claimed elsewhere") << int(LIBUSB_ERROR_BUSY) << usbstatus::kDeviceIoFailed
                                       << Calls{"open 0", "autoDetach 1 on", "claim 1 0", "close 1"};
    QTest::newRow("gone before the claim") << int(LIBUSB_ERROR_NO_DEVICE) << usbstatus::kDeviceIoFailed
                                           << Calls{"open 0", "autoDetach 1 on", "claim 1 0", "close 1"};
}

void TestLibusbUsbXpress::kernelDriverDetach() {
    QFETCH(int, claimWithDetach);
    QFETCH(int, status);
    QFETCH(Calls, calls);
    Bench bench;
    bench.bus.claimWithDetachResult = claimWithDetach;
    bench.count();
    bench.bus.calls.clear();
    UsbHandle handle = kNoDeviceHandle;
    QCOMPARE(bench.usb->open(0, &handle), status);
    QCOMPARE(bench.bus.takeCalls(), calls);
    QCOMPARE(handle != kNoDeviceHandle, status == usbstatus::kSuccess);
}

void TestLibusbUsbXpress::openFailures_data() {
    QTest::addColumn<QString>("failing");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("status");
    QTest::addColumn<Calls>("lastCalls");

    QTest::newRow("device gone") << "open" << int(LIBUSB_ERROR_NO_DEVICE) << usbstatus::kDeviceNotFound
                                 << Calls{"open 0"};
    QTest::newRow("no access") << "open" << int(LIBUSB_ERROR_ACCESS) << usbstatus::kDeviceIoFailed
                               << Calls{"open 0"};
    QTest::newRow("clear halt fails") << "clearHalt" << int(LIBUSB_ERROR_PIPE) << usbstatus::kDeviceIoFailed
                                      << Calls{"clearHalt 1 81", "release 1 0", "close 1"};
    QTest::newRow("open request stalls")
        << "openRequest" << int(LIBUSB_ERROR_PIPE) << usbstatus::kDeviceIoFailed
        << Calls{"control 1 40 02 0002 0000 1000", "release 1 0", "close 1"};
    // Once the open request has gone out, the close request undoes it before the release.
    QTest::newRow("drain stalls") << "drain" << int(LIBUSB_ERROR_PIPE) << usbstatus::kDeviceIoFailed
                                  << Calls{"bulkRead 1 81 64 10", "clearHalt 1 81",
                                           "control 1 40 02 0004 0000 1000", "release 1 0", "close 1"};
    QTest::newRow("i/o error while draining")
        << "drain" << int(LIBUSB_ERROR_IO) << usbstatus::kDeviceIoFailed
        << Calls{"bulkRead 1 81 64 10", "control 1 40 02 0004 0000 1000", "release 1 0", "close 1"};
    QTest::newRow("gone while draining")
        << "drain" << int(LIBUSB_ERROR_NO_DEVICE) << usbstatus::kDeviceIoFailed
        << Calls{"bulkRead 1 81 64 10", "close 1"};
}

void TestLibusbUsbXpress::openFailures() {
    QFETCH(QString, failing);
    QFETCH(int, error);
    QFETCH(int, status);
    QFETCH(Calls, lastCalls);
    Bench bench;
    if (failing == "open") {
        bench.bus.devices[0].openResult = error;
    } else if (failing == "clearHalt") {
        bench.bus.clearHaltResult = error;
    } else if (failing == "openRequest") {
        bench.bus.controlResults[0x0002] = error;
    } else {
        bench.bus.in = {InPacket{error, {}, std::nullopt}};
    }
    bench.count();
    bench.bus.calls.clear();
    UsbHandle handle = 7;
    QCOMPARE(bench.usb->open(0, &handle), status);
    QCOMPARE(handle, kNoDeviceHandle);
    const Calls calls = bench.bus.takeCalls();
    QVERIFY(calls.size() >= lastCalls.size());
    QCOMPARE(calls.mid(calls.size() - lastCalls.size()), lastCalls);
    QVERIFY(bench.bus.openDevices.empty());
}

void TestLibusbUsbXpress::openRejectsBadArguments() {
    Bench bench;
    bench.count();
    bench.bus.calls.clear();
    UsbHandle handle = 7;
    QCOMPARE(bench.usb->open(1, &handle), usbstatus::kDeviceNotFound);
    QCOMPARE(handle, kNoDeviceHandle);
    QCOMPARE(bench.usb->open(0, nullptr), usbstatus::kInvalidParameter);
    QCOMPARE(bench.bus.takeCalls(), Calls{});
}

void TestLibusbUsbXpress::closeFailureStillReleases() {
    Bench bench;
    bench.bus.controlResults[0x0004] = LIBUSB_ERROR_PIPE;
    const UsbHandle handle = bench.openFirst();
    QCOMPARE(bench.usb->close(handle), usbstatus::kDeviceIoFailed);
    QCOMPARE(bench.bus.takeCalls(), kCloseCalls);
    QVERIFY(bench.bus.openDevices.empty());
}

void TestLibusbUsbXpress::flush() {
    Bench bench;
    const UsbHandle handle = bench.openFirst();
    bench.bus.in = {packet({0xE0, 0x01, 0x02})};
    uint32_t waiting = 0;
    uint32_t queueStatus = 0;
    QCOMPARE(bench.usb->rxQueue(handle, &waiting, &queueStatus), usbstatus::kSuccess);
    QCOMPARE(waiting, 3u);
    bench.bus.calls.clear();

    // The transmit side alone has nothing to drop.
    QCOMPARE(bench.usb->flush(handle, 1, 0), usbstatus::kSuccess);
    QCOMPARE(bench.bus.takeCalls(), Calls{});
    QCOMPARE(bench.usb->flush(handle, 1, 1), usbstatus::kSuccess);
    QCOMPARE(bench.bus.takeCalls(), Calls{"control 1 40 02 0001 0000 1000"});
    // The queued bytes went with it: the next look asks the device again.
    QCOMPARE(bench.usb->rxQueue(handle, &waiting, &queueStatus), usbstatus::kSuccess);
    QCOMPARE(waiting, 0u);
    QCOMPARE(bench.bus.takeCalls(), Calls{"bulkRead 1 81 64 10"});
}

void TestLibusbUsbXpress::flushFailure() {
    Bench bench;
    bench.bus.controlResults[0x0001] = LIBUSB_ERROR_PIPE;
    const UsbHandle handle = bench.openFirst();
    QCOMPARE(bench.usb->flush(handle, 1, 1), usbstatus::kDeviceIoFailed);
}

void TestLibusbUsbXpress::writeSendsTheBytes() {
    Bench bench;
    const UsbHandle handle = bench.openFirst();
    QCOMPARE(bench.usb->setTimeouts(0, 4000), usbstatus::kSuccess);
    const std::array<uint8_t, 4> request = {0x11, 0x08, 0xE0, 0x07};
    uint32_t written = 99;
    QCOMPARE(bench.usb->write(handle, request.data(), request.size(), &written), usbstatus::kSuccess);
    QCOMPARE(written, 4u);
    QCOMPARE(bench.bus.takeCalls(), Calls{"bulkWrite 1 01 4 4000"});
    QCOMPARE(bench.bus.written, std::vector<Bytes>{Bytes(request.begin(), request.end())});
    // A time-out of 0 is the shortest wait, never libusb's "forever".
    QCOMPARE(bench.usb->setTimeouts(0, 0), usbstatus::kSuccess);
    QCOMPARE(bench.usb->write(handle, request.data(), request.size(), &written), usbstatus::kSuccess);
    QCOMPARE(bench.bus.takeCalls(), Calls{"bulkWrite 1 01 4 1"});
}

void TestLibusbUsbXpress::writeResults_data() {
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("reported");
    QTest::addColumn<int>("status");
    QTest::addColumn<uint32_t>("written");

    QTest::newRow("time-out after two bytes")
        << int(LIBUSB_ERROR_TIMEOUT) << 2 << usbstatus::kWriteTimedOut << 2u;
    QTest::newRow("stall") << int(LIBUSB_ERROR_PIPE) << 0 << usbstatus::kWriteError << 0u;
    QTest::newRow("success that sent less") << int(LIBUSB_SUCCESS) << 3 << usbstatus::kWriteError << 3u;
    QTest::newRow("count reported above the request")
        << int(LIBUSB_SUCCESS) << 100 << usbstatus::kSuccess << 4u;
    QTest::newRow("negative count reported") << int(LIBUSB_ERROR_IO) << -5 << usbstatus::kWriteError << 0u;
}

void TestLibusbUsbXpress::writeResults() {
    QFETCH(int, result);
    QFETCH(int, reported);
    QFETCH(int, status);
    QFETCH(uint32_t, written);
    Bench bench;
    const UsbHandle handle = bench.openFirst();
    bench.bus.out = {OutResult{result, reported}};
    const std::array<uint8_t, 4> request = {0x10, 0x04, 0xE0, 0x01};
    uint32_t count = 99;
    QCOMPARE(bench.usb->write(handle, request.data(), request.size(), &count), status);
    QCOMPARE(count, written);
}

void TestLibusbUsbXpress::writeRejectsBadArguments() {
    Bench bench;
    const UsbHandle handle = bench.openFirst();
    const std::vector<uint8_t> large(LibusbUsbXpress::kMaxTransferSize + 1, 0);
    uint32_t written = 99;
    QCOMPARE(bench.usb->write(handle, large.data(), 0, &written), usbstatus::kInvalidRequestLength);
    QCOMPARE(written, 0u);
    QCOMPARE(bench.usb->write(handle, large.data(), large.size(), &written),
             usbstatus::kInvalidRequestLength);
    QCOMPARE(bench.usb->write(handle, nullptr, 4, &written), usbstatus::kInvalidParameter);
    QCOMPARE(bench.usb->write(handle, large.data(), 4, nullptr), usbstatus::kInvalidParameter);
    QCOMPARE(bench.bus.takeCalls(), Calls{});
}

void TestLibusbUsbXpress::receiveQueueAndPartialReads() {
    Bench bench;
    const UsbHandle handle = bench.openFirst();
    uint32_t waiting = 99;
    uint32_t queueStatus = 99;
    QCOMPARE(bench.usb->rxQueue(handle, &waiting, &queueStatus), usbstatus::kSuccess);
    QCOMPARE(waiting, 0u);
    QCOMPARE(queueStatus, 0u);
    QCOMPARE(bench.bus.takeCalls(), Calls{"bulkRead 1 81 64 10"});

    bench.bus.in = {packet({1, 2, 3, 4, 5})};
    QCOMPARE(bench.usb->rxQueue(handle, &waiting, &queueStatus), usbstatus::kSuccess);
    QCOMPARE(waiting, 5u);
    // While bytes wait, the queue is reported without asking the device.
    QCOMPARE(bench.usb->rxQueue(handle, &waiting, &queueStatus), usbstatus::kSuccess);
    QCOMPARE(waiting, 5u);
    QCOMPARE(bench.bus.takeCalls(), Calls{"bulkRead 1 81 64 10"});

    std::array<uint8_t, 64> buffer{};
    uint32_t got = 99;
    QCOMPARE(bench.usb->read(handle, buffer.data(), 3, &got), usbstatus::kSuccess);
    QCOMPARE(bytesOf(buffer, got), bytes({1, 2, 3}));
    QCOMPARE(bench.usb->rxQueue(handle, &waiting, &queueStatus), usbstatus::kSuccess);
    QCOMPARE(waiting, 2u);
    buffer.fill(0);
    QCOMPARE(bench.usb->read(handle, buffer.data(), 64, &got), usbstatus::kSuccess);
    QCOMPARE(bytesOf(buffer, got), bytes({4, 5}));
    QCOMPARE(buffer[2], 0); // nothing past what was queued
    QCOMPARE(bench.bus.takeCalls(), Calls{});
}

void TestLibusbUsbXpress::timeOutStillCarriesData() {
    Bench bench;
    const UsbHandle handle = bench.openFirst();
    bench.bus.in = {InPacket{LIBUSB_ERROR_TIMEOUT, {0xE1, 0, 7, 7, 7, 7, 7}, std::nullopt}};
    uint32_t waiting = 0;
    uint32_t queueStatus = 0;
    QCOMPARE(bench.usb->rxQueue(handle, &waiting, &queueStatus), usbstatus::kSuccess);
    QCOMPARE(waiting, 7u);

    bench.bus.in = {InPacket{LIBUSB_ERROR_TIMEOUT, {0xE0, 0x05}, std::nullopt}};
    std::array<uint8_t, 64> buffer{};
    uint32_t got = 0;
    QCOMPARE(bench.usb->read(handle, buffer.data(), 64, &got), usbstatus::kSuccess);
    QCOMPARE(got, 7u);
    QCOMPARE(bench.usb->read(handle, buffer.data(), 64, &got), usbstatus::kSuccess);
    QCOMPARE(bytesOf(buffer, got), bytes({0xE0, 0x05}));
}

void TestLibusbUsbXpress::readsAskForWholePackets_data() {
    QTest::addColumn<uint16_t>("maxPacketSize");
    QTest::addColumn<int>("arriving");
    QTest::addColumn<uint32_t>("wanted");
    QTest::addColumn<uint32_t>("got");
    QTest::addColumn<QString>("call");

    const QString fullSpeed = "bulkRead 1 81 64 10";
    QTest::newRow("one byte") << uint16_t(64) << 64 << 1u << 1u << fullSpeed;
    QTest::newRow("63 bytes") << uint16_t(64) << 64 << 63u << 63u << fullSpeed;
    QTest::newRow("one packet") << uint16_t(64) << 64 << 64u << 64u << fullSpeed;
    QTest::newRow("more than a packet") << uint16_t(64) << 64 << 65u << 64u << fullSpeed;
    QTest::newRow("several packets") << uint16_t(64) << 64 << 200u << 64u << fullSpeed;
    QTest::newRow("512-byte packets, a reply") << uint16_t(512) << 64 << 64u << 64u << "bulkRead 1 81 512 10";
    QTest::newRow("512-byte packets, a full one")
        << uint16_t(512) << 512 << 600u << 512u << "bulkRead 1 81 512 10";
    // Bits 11 and 12 count extra transactions of other endpoint types, not bytes.
    QTest::newRow("bits above the size") << uint16_t(0x1840) << 64 << 64u << 64u << fullSpeed;
}

void TestLibusbUsbXpress::readsAskForWholePackets() {
    QFETCH(uint16_t, maxPacketSize);
    QFETCH(int, arriving);
    QFETCH(uint32_t, wanted);
    QFETCH(uint32_t, got);
    QFETCH(QString, call);
    Bench bench({boxAt(1, {4}, 0x81, 0x01, 0, maxPacketSize)});
    const UsbHandle handle = bench.openFirst();
    bench.bus.in = {packet(Bytes(arriving, 0x42))};
    std::vector<uint8_t> buffer(wanted, 0);
    uint32_t count = 0;
    QCOMPARE(bench.usb->read(handle, buffer.data(), wanted, &count), usbstatus::kSuccess);
    QCOMPARE(count, got);
    QCOMPARE(bench.bus.takeCalls(), Calls{call});
}

void TestLibusbUsbXpress::openChecksPacketSizes_data() {
    QTest::addColumn<uint16_t>("inSize");
    QTest::addColumn<uint16_t>("outSize");
    QTest::addColumn<bool>("opens");

    QTest::newRow("IN packets of 32 bytes: a reply in pieces") << uint16_t(32) << uint16_t(64) << false;
    QTest::newRow("IN packets of 0 bytes") << uint16_t(0) << uint16_t(64) << false;
    QTest::newRow("OUT packets of 0 bytes") << uint16_t(64) << uint16_t(0) << false;
    QTest::newRow("IN packets above any bulk size") << uint16_t(1100) << uint16_t(64) << false;
    QTest::newRow("OUT packets of 8 bytes: libusb splits") << uint16_t(64) << uint16_t(8) << true;
    QTest::newRow("1024-byte packets") << uint16_t(1024) << uint16_t(1024) << true;
}

void TestLibusbUsbXpress::openChecksPacketSizes() {
    QFETCH(uint16_t, inSize);
    QFETCH(uint16_t, outSize);
    QFETCH(bool, opens);
    FakeDevice device = boxAt(1, {4});
    device.info.interfaces[0].endpoints[0].maxPacketSize = inSize;
    device.info.interfaces[0].endpoints[1].maxPacketSize = outSize;
    Bench bench({device});
    // The device is listed either way: it is there, it just cannot be used.
    QCOMPARE(bench.count(), 1u);
    bench.bus.calls.clear();
    UsbHandle handle = 7;
    QCOMPARE(bench.usb->open(0, &handle), opens ? usbstatus::kSuccess : usbstatus::kDeviceIoFailed);
    QCOMPARE(handle != kNoDeviceHandle, opens);
    // A refusal asks nothing of the device.
    QCOMPARE(bench.bus.takeCalls().isEmpty(), !opens);
}

void TestLibusbUsbXpress::readWaitsAtMostTheReadTimeout() {
    Bench bench;
    const UsbHandle handle = bench.openFirst();
    QCOMPARE(bench.usb->setTimeouts(35, 0), usbstatus::kSuccess);
    const uint32_t start = bench.clock.tickCount();
    std::array<uint8_t, 64> buffer{};
    uint32_t got = 99;
    QCOMPARE(bench.usb->read(handle, buffer.data(), 64, &got), usbstatus::kReadTimedOut);
    QCOMPARE(got, 0u);
    QCOMPARE(bench.clock.tickCount() - start, 35u);
    QCOMPARE(bench.bus.takeCalls(), Calls({"bulkRead 1 81 64 10", "bulkRead 1 81 64 10",
                                           "bulkRead 1 81 64 10", "bulkRead 1 81 64 5"}));
}

void TestLibusbUsbXpress::readWithoutTimeoutDoesNotWait() {
    Bench bench;
    const UsbHandle handle = bench.openFirst();
    QCOMPARE(bench.usb->setTimeouts(0, 0), usbstatus::kSuccess);
    std::array<uint8_t, 64> buffer{};
    uint32_t got = 99;
    QCOMPARE(bench.usb->read(handle, buffer.data(), 64, &got), usbstatus::kReadTimedOut);
    QCOMPARE(got, 0u);
    QCOMPARE(bench.bus.takeCalls(), Calls{});
}

void TestLibusbUsbXpress::readWaitsForLateData() {
    Bench bench;
    const UsbHandle handle = bench.openFirst();
    QCOMPARE(bench.usb->setTimeouts(4000, 0), usbstatus::kSuccess);
    bench.bus.in = {InPacket{LIBUSB_ERROR_TIMEOUT, {}, std::nullopt},
                    InPacket{LIBUSB_ERROR_TIMEOUT, {}, std::nullopt}, packet({0xE0, 0x00, 0x01})};
    std::array<uint8_t, 64> buffer{};
    uint32_t got = 0;
    QCOMPARE(bench.usb->read(handle, buffer.data(), 64, &got), usbstatus::kSuccess);
    QCOMPARE(got, 3u);
    QCOMPARE(bench.bus.takeCalls().size(), 3);
}

void TestLibusbUsbXpress::readFailures_data() {
    QTest::addColumn<InPacket>("failure");
    QTest::addColumn<int>("status");
    QTest::addColumn<uint32_t>("got");
    QTest::addColumn<int>("laterStatus");
    QTest::addColumn<QByteArray>("laterBytes");

    // Bytes of a failed read are none of the reply: what waits afterwards is only what
    // came after it. A device that is gone fails everything after it.
    const QByteArray next = bytes({0xE0});
    QTest::newRow("stall after two bytes") << InPacket{LIBUSB_ERROR_PIPE, {0xEE, 0xEE}, std::nullopt}
                                           << usbstatus::kReadError << 0u << usbstatus::kSuccess << next;
    QTest::newRow("packet larger than the buffer")
        << packet(Bytes(65, 0xEE)) << usbstatus::kReadError << 0u << usbstatus::kSuccess << next;
    QTest::newRow("i/o error after three bytes")
        << InPacket{LIBUSB_ERROR_IO, {0xEE, 0xEE, 0xEE}, std::nullopt} << usbstatus::kReadError << 0u
        << usbstatus::kSuccess << next;
    QTest::newRow("unplugged after a byte")
        << InPacket{LIBUSB_ERROR_NO_DEVICE, {0xEE}, std::nullopt} << usbstatus::kReadError << 0u
        << usbstatus::kDeviceIoFailed << QByteArray();
    // Whatever the count says, no more than one packet is taken.
    QTest::newRow("over-reported count") << InPacket{LIBUSB_SUCCESS, Bytes(64, 1), 100} << usbstatus::kSuccess
                                         << 64u << usbstatus::kSuccess << next;
}

void TestLibusbUsbXpress::readFailures() {
    QFETCH(InPacket, failure);
    QFETCH(int, status);
    QFETCH(uint32_t, got);
    QFETCH(int, laterStatus);
    QFETCH(QByteArray, laterBytes);
    Bench bench;
    const UsbHandle handle = bench.openFirst();
    bench.bus.in = {failure};
    std::array<uint8_t, 64> buffer{};
    uint32_t count = 99;
    QCOMPARE(bench.usb->read(handle, buffer.data(), 64, &count), status);
    QCOMPARE(count, got);
    bench.bus.in = {packet({0xE0})};
    uint32_t waiting = 99;
    uint32_t queueStatus = 0;
    QCOMPARE(bench.usb->rxQueue(handle, &waiting, &queueStatus), laterStatus);
    QCOMPARE(waiting, static_cast<uint32_t>(laterBytes.size()));
    if (laterStatus == usbstatus::kSuccess) {
        buffer.fill(0);
        QCOMPARE(bench.usb->read(handle, buffer.data(), 64, &count), usbstatus::kSuccess);
        QCOMPARE(bytesOf(buffer, count), laterBytes);
    }
}

void TestLibusbUsbXpress::stallIsCleared_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("clearResult");
    QTest::addColumn<int>("status");
    QTest::addColumn<Calls>("calls");
    QTest::addColumn<int>("laterStatus");
    QTest::addColumn<Calls>("laterCalls");

    // The call that meets the stall fails and clears it; the next call on the endpoint works.
    const Calls readStall = {"bulkRead 1 81 64 10", "clearHalt 1 81"};
    const Calls read = {"bulkRead 1 81 64 10"};
    QTest::newRow("read") << "read" << int(LIBUSB_SUCCESS) << usbstatus::kReadError << readStall
                          << usbstatus::kSuccess << read;
    QTest::newRow("look at the queue") << "rxQueue" << int(LIBUSB_SUCCESS) << usbstatus::kDeviceIoFailed
                                       << readStall << usbstatus::kSuccess << read;
    QTest::newRow("write") << "write" << int(LIBUSB_SUCCESS) << usbstatus::kWriteError
                           << Calls{"bulkWrite 1 01 4 1000", "clearHalt 1 01"} << usbstatus::kSuccess
                           << Calls{"bulkWrite 1 01 4 1000"};
    // A halt the device keeps fails each call, and each tries to clear it again.
    QTest::newRow("halt that does not clear") << "read" << int(LIBUSB_ERROR_IO) << usbstatus::kReadError
                                              << readStall << usbstatus::kReadError << readStall;
}

void TestLibusbUsbXpress::stallIsCleared() {
    QFETCH(QString, operation);
    QFETCH(int, clearResult);
    QFETCH(int, status);
    QFETCH(Calls, calls);
    QFETCH(int, laterStatus);
    QFETCH(Calls, laterCalls);
    Bench bench;
    const UsbHandle handle = bench.openFirst();
    bench.bus.clearHaltResult = clearResult;
    const auto attempt = [&] {
        std::array<uint8_t, 64> buffer = {0xE0, 0x01, 0x02, 0x03};
        uint32_t count = 0;
        uint32_t queueStatus = 0;
        if (operation == "read") {
            return bench.usb->read(handle, buffer.data(), 64, &count);
        }
        if (operation == "rxQueue") {
            return bench.usb->rxQueue(handle, &count, &queueStatus);
        }
        return bench.usb->write(handle, buffer.data(), 4, &count);
    };
    bench.bus.in = {InPacket{LIBUSB_ERROR_PIPE, {}, std::nullopt}};
    bench.bus.out = {OutResult{LIBUSB_ERROR_PIPE, 0}};
    QCOMPARE(attempt(), status);
    QCOMPARE(bench.bus.takeCalls(), calls);
    bench.bus.in = {packet({0xE0})};
    bench.bus.out.clear();
    QCOMPARE(attempt(), laterStatus);
    QCOMPARE(bench.bus.takeCalls(), laterCalls);
}

void TestLibusbUsbXpress::staleHandles_data() {
    QTest::addColumn<bool>("closedHandle");
    QTest::addColumn<UsbHandle>("handle");

    QTest::newRow("no device handle") << false << kNoDeviceHandle;
    QTest::newRow("zero") << false << UsbHandle(0);
    QTest::newRow("never handed out") << false << UsbHandle(12345);
    QTest::newRow("closed") << true << UsbHandle(0);
}

void TestLibusbUsbXpress::staleHandles() {
    QFETCH(bool, closedHandle);
    QFETCH(UsbHandle, handle);
    Bench bench;
    if (closedHandle) {
        handle = bench.openFirst();
        QCOMPARE(bench.usb->close(handle), usbstatus::kSuccess);
    }
    bench.bus.calls.clear();
    std::array<uint8_t, 64> buffer{};
    uint32_t count = 99;
    QCOMPARE(bench.usb->read(handle, buffer.data(), 64, &count), usbstatus::kInvalidHandle);
    QCOMPARE(count, 0u);
    count = 99;
    QCOMPARE(bench.usb->write(handle, buffer.data(), 4, &count), usbstatus::kInvalidHandle);
    QCOMPARE(count, 0u);
    QCOMPARE(bench.usb->flush(handle, 1, 1), usbstatus::kInvalidHandle);
    uint32_t waiting = 99;
    uint32_t queueStatus = 99;
    QCOMPARE(bench.usb->rxQueue(handle, &waiting, &queueStatus), usbstatus::kInvalidHandle);
    QCOMPARE(waiting, 0u);
    QCOMPARE(bench.usb->close(handle), usbstatus::kInvalidHandle);
    QCOMPARE(bench.bus.takeCalls(), Calls{});
}

void TestLibusbUsbXpress::nullArguments() {
    Bench bench;
    QCOMPARE(bench.usb->deviceCount(nullptr), usbstatus::kInvalidParameter);
    QCOMPARE(bench.usb->productString(0, nullptr, kSerialNumberString), usbstatus::kInvalidParameter);
    uint32_t value = 0;
    QCOMPARE(bench.usb->timeouts(nullptr, &value), usbstatus::kInvalidParameter);
    QCOMPARE(bench.usb->timeouts(&value, nullptr), usbstatus::kInvalidParameter);
    const UsbHandle handle = bench.openFirst();
    std::array<uint8_t, 64> buffer{};
    QCOMPARE(bench.usb->read(handle, nullptr, 64, &value), usbstatus::kInvalidParameter);
    QCOMPARE(bench.usb->read(handle, buffer.data(), 64, nullptr), usbstatus::kInvalidParameter);
    QCOMPARE(bench.usb->read(handle, buffer.data(), 0, &value), usbstatus::kInvalidRequestLength);
    QCOMPARE(bench.usb->rxQueue(handle, nullptr, &value), usbstatus::kInvalidParameter);
    QCOMPARE(bench.usb->rxQueue(handle, &value, nullptr), usbstatus::kInvalidParameter);
    QCOMPARE(bench.bus.takeCalls(), Calls{});
}

void TestLibusbUsbXpress::timeoutsRoundTrip() {
    Bench bench;
    uint32_t readMs = 0;
    uint32_t writeMs = 0;
    QCOMPARE(bench.usb->timeouts(&readMs, &writeMs), usbstatus::kSuccess);
    QCOMPARE(readMs, LibusbUsbXpress::kDefaultTimeoutMs);
    QCOMPARE(writeMs, LibusbUsbXpress::kDefaultTimeoutMs);
    QCOMPARE(bench.usb->setTimeouts(4000, 0), usbstatus::kSuccess);
    QCOMPARE(bench.usb->timeouts(&readMs, &writeMs), usbstatus::kSuccess);
    QCOMPARE(readMs, 4000u);
    QCOMPARE(writeMs, 0u);
}

void TestLibusbUsbXpress::unplugWhileOpen() {
    Bench bench;
    const UsbHandle handle = bench.openFirst();
    bench.bus.unplug(0);
    uint32_t waiting = 99;
    uint32_t queueStatus = 0;
    QCOMPARE(bench.usb->rxQueue(handle, &waiting, &queueStatus), usbstatus::kDeviceIoFailed);
    QCOMPARE(bench.bus.takeCalls(), Calls{"bulkRead 1 81 64 10"});

    // From now on every call fails at once, without waiting on the bus.
    std::array<uint8_t, 64> buffer{};
    uint32_t count = 99;
    QCOMPARE(bench.usb->read(handle, buffer.data(), 64, &count), usbstatus::kDeviceIoFailed);
    QCOMPARE(bench.usb->write(handle, buffer.data(), 4, &count), usbstatus::kDeviceIoFailed);
    QCOMPARE(bench.usb->flush(handle, 1, 1), usbstatus::kDeviceIoFailed);
    QCOMPARE(bench.usb->rxQueue(handle, &waiting, &queueStatus), usbstatus::kDeviceIoFailed);
    QCOMPARE(bench.bus.takeCalls(), Calls{});
    // Closing still gives the handle back to libusb.
    QCOMPARE(bench.usb->close(handle), usbstatus::kDeviceIoFailed);
    QCOMPARE(bench.bus.takeCalls(), Calls{"close 1"});
    QVERIFY(bench.bus.openDevices.empty());
    QCOMPARE(bench.count(), 0u);
}

void TestLibusbUsbXpress::destructionClosesWhatIsOpen() {
    Bench bench;
    bench.openFirst();
    bench.usb.reset();
    QCOMPARE(bench.bus.takeCalls(), kCloseCalls);
    QVERIFY(bench.bus.openDevices.empty());
}

void TestLibusbUsbXpress::transactionThroughTheLink() {
    Bench bench;
    RecordingReporter reporter;
    BoxSession session(*bench.usb, bench.clock, reporter);
    QCOMPARE(session.attach(), Attach::Open);
    bench.bus.calls.clear();

    // One empty look at the queue, then the reply.
    bench.bus.in = {InPacket{LIBUSB_ERROR_TIMEOUT, {}, std::nullopt},
                    packet({0xE0, 0x00, 0x01, 0x08, 0x02, 0x03})};
    const Exchange exchange = session.transact(proto::registerBlockRead(proto::kRegVersion, 6), 6);
    QVERIFY(exchange.ok());
    QCOMPARE(exchange.received, 6u);
    QCOMPARE(bytesOf(exchange.reply, 6), bytes({0xE0, 0x00, 0x01, 0x08, 0x02, 0x03}));
    // Handle 1 went to the serial number read of the search.
    QCOMPARE(bench.bus.takeCalls(), Calls({"control 2 40 02 0001 0000 1000", "bulkWrite 2 01 4 4000",
                                           "bulkRead 2 81 64 10", "bulkRead 2 81 64 10"}));
    QCOMPARE(bench.bus.written.size(), size_t(1));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(bench.bus.written[0].data()), 4),
             bytes({0x11, 0x06, 0xE0, 0x07}));

    session.close();
    QCOMPARE(bench.bus.takeCalls(), Calls({"control 2 40 02 0004 0000 1000", "release 2 0", "close 2"}));
    QVERIFY(reporter.lines.isEmpty());
}

void TestLibusbUsbXpress::silentDeviceThroughTheLink() {
    Bench bench;
    RecordingReporter reporter;
    BoxSession session(*bench.usb, bench.clock, reporter);
    QCOMPARE(session.attach(), Attach::Open);
    const uint32_t start = bench.clock.tickCount();
    // Each look at the queue waits one short read; the link's time-out ends the wait.
    const Exchange exchange = session.transact(proto::registerBlockRead(proto::kRegVersion, 8), 8);
    QCOMPARE(exchange.error, LinkError::Silent);
    QCOMPARE(exchange.received, 0u);
    QCOMPARE(bench.clock.tickCount() - start, kLinkTimeoutMs);
    session.close();
    QVERIFY(reporter.lines.isEmpty());
}

QTEST_MAIN(TestLibusbUsbXpress)
#include "tst_libusb_usbxpress.moc"
