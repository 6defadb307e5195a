// The simulated box as the device link sees it: library calls, request frames and the
// bytes that come back, all on a fake clock.

#include "core/box/frames.h"
#include "core/box/settings_table.h"
#include "core/box/status_record.h"
#include "core/box/usbxpress.h"
#include "sim/simulated_box.h"

#include <QFile>
#include <QTest>

#include <algorithm>
#include <array>
#include <cstring>
#include <set>

using sim::EdidImage;
using sim::FakeLinkClock;
using sim::Fault;
using sim::SimulatedBox;

Q_DECLARE_METATYPE(sim::Fault)

namespace {

constexpr uint32_t kLinkTimeoutMs = 4000;
constexpr uint8_t kRefused = 0xEE;
constexpr uint8_t kGuard = 0xCC;

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray array;
    for (const int value : values) {
        array.append(static_cast<char>(value));
    }
    return array;
}

template <typename Range> QByteArray toBytes(const Range &range) {
    QByteArray array;
    for (const uint8_t value : range) {
        array.append(static_cast<char>(value));
    }
    return array;
}

QByteArray refusal() {
    return bytes({kRefused, 0x00});
}

QByteArray withTail(QByteArray head, const QByteArray &tail) {
    return head.append(tail);
}

QByteArray filled(int count, int value) {
    return QByteArray(count, static_cast<char>(value));
}

QByteArray recordBytes(const record::StatusRecord &record) {
    return toBytes(record);
}

// A box opened the way the link opens it, with its log cleared.
struct Rig {
    FakeLinkClock clock{1000};
    SimulatedBox box{clock};
    UsbHandle handle = kNoDeviceHandle;

    Rig() {
        box.open(0, &handle);
        box.clearLog();
    }

    int write(const QByteArray &request) {
        uint32_t written = 0;
        return box.write(handle, reinterpret_cast<const uint8_t *>(request.constData()),
                         static_cast<uint32_t>(request.size()), &written);
    }

    // Waits for the first reply byte as the link does, up to its time-out, then reads 64 bytes.
    QByteArray collect() {
        const uint32_t start = clock.tickCount();
        uint32_t waiting = 0;
        uint32_t status = 0;
        while (waiting == 0 && clock.tickCount() - start < kLinkTimeoutMs) {
            box.rxQueue(handle, &waiting, &status);
        }
        if (waiting == 0) {
            return {};
        }
        std::array<uint8_t, proto::kReplySize> reply{};
        uint32_t got = 0;
        if (box.read(handle, reply.data(), proto::kReplySize, &got) != usbstatus::kSuccess) {
            return {};
        }
        return toBytes(std::span<const uint8_t>(reply).first(std::min<uint32_t>(got, proto::kReplySize)));
    }

    QByteArray transact(const QByteArray &request) {
        box.flush(handle, 1, 1);
        if (write(request) != usbstatus::kSuccess) {
            return {};
        }
        return collect();
    }

    uint32_t waiting() {
        uint32_t count = 0;
        uint32_t status = 0;
        box.rxQueue(handle, &count, &status);
        return count;
    }

    bool busyFlag() {
        const QByteArray reply = transact(bytes({0x11, 0x2A, 0xE1}));
        return reply.size() > 1 && (static_cast<uint8_t>(reply[1]) & proto::kBusyBit) != 0;
    }

    QByteArray writeRegister(uint8_t reg, uint8_t value) {
        return transact(bytes({0x10, 0x04, 0xE0, reg, value}));
    }

    QByteArray readWindow() {
        QByteArray image;
        for (int offset = 0; offset < 256; offset += 16) {
            image += transact(bytes({0x11, 0x10, 0xB0, offset}));
        }
        return image;
    }

    void writeWindow(const EdidImage &image) {
        for (int offset = 0; offset < 256; offset += 8) {
            QByteArray request = bytes({0x10, 0x08, 0xB0, offset});
            request += toBytes(std::span<const uint8_t>(image).subspan(offset, 8));
            QCOMPARE(transact(request), bytes({0xB0, 0x00}));
        }
    }

    void waitWhileBusy() { clock.advance(box.modeChangeBusyMs + box.fetchBusyMs); }
};

int blockSum(const EdidImage &edid, int block) {
    int sum = 0;
    for (int i = 0; i < 128; ++i) {
        sum += edid[block * 128 + i];
    }
    return sum % 256;
}

// The text of the monitor name descriptor, up to its line feed; empty when there is none.
QByteArray monitorName(const EdidImage &edid) {
    for (int at = 54; at < 126; at += 18) {
        if (edid[at] == 0 && edid[at + 1] == 0 && edid[at + 3] == 0xFC) {
            QByteArray text = toBytes(std::span<const uint8_t>(edid).subspan(at + 5, 13));
            const qsizetype end = text.indexOf('\n');
            return end < 0 ? text : text.left(end);
        }
    }
    return {};
}

uint16_t productCode(const EdidImage &edid) {
    return static_cast<uint16_t>(edid[10] | edid[11] << 8);
}

bool printableName(const sim::RegisterBlock &block, int at, int size) {
    int length = 0;
    while (length < size && block[at + length] != 0) {
        const uint8_t c = block[at + length];
        if (c < 0x20 || c > 0x7E) {
            return false;
        }
        ++length;
    }
    for (int i = length; i < size; ++i) {
        if (block[at + i] != 0) {
            return false;
        }
    }
    return length > 0;
}

void inject(SimulatedBox &box, Fault fault, bool byCode, uint8_t code) {
    if (byCode) {
        box.injectFault(fault, code);
    } else {
        box.injectFaultForNext(fault, 1);
    }
}

void addInjectionRows() {
    QTest::addColumn<bool>("byCode");
    QTest::newRow("by command code") << true;
    QTest::newRow("for the next frame") << false;
}

const QByteArray kStatusRead = bytes({0x11, 0x2A, 0xE1});

} // namespace

class TestSimulatedBox : public QObject {
    Q_OBJECT

private slots:
    void fakeClockMovesOnlyWhenSlept();

    void defaultDeviceIsTheBox();
    void attachedDevices_data();
    void attachedDevices();
    void productStringStaysInsideItsBuffer();
    void callFailures();
    void openGivesAHandle();
    void wrongHandleIsInvalid_data();
    void wrongHandleIsInvalid();
    void vanishedBoxFailsEveryCall();
    void callLogNamesEveryCall();
    void logSwitchedOffKeepsNothing();
    void timeoutsAreKept();

    void replies_data();
    void replies();
    void frameLogHoldsTheReply();
    void statusReply();
    void registerBlockRead_data();
    void registerBlockRead();
    void registerBlockReadIsBoundedByTheBlock();
    void powerUpBlocks();

    void registerWriteLandsInItsField_data();
    void registerWriteLandsInItsField();
    void registerWithoutFieldIsRefused_data();
    void registerWithoutFieldIsRefused();
    void settingsBlockTakesSettingFieldsOnly();
    void factoryReset_data();
    void factoryReset();
    void factoryResetRefusesOtherValues_data();
    void factoryResetRefusesOtherValues();

    void busyAfterEdidModeWrite();
    void busyAfterEdidWork_data();
    void busyAfterEdidWork();
    void settingWritesDoNotMakeBusy();
    void settingsBlockChangingModeMakesBusy();
    void busySurvivesTickWrap();
    void shorterBusyDoesNotCutALongerOne();

    void sinksAreRealTvs_data();
    void sinksAreRealTvs();
    void builtEdidsAreWellFormed_data();
    void builtEdidsAreWellFormed();
    void buildEdidNameAndProductCode_data();
    void buildEdidNameAndProductCode();
    void edidsOfModesAndPresetsDiffer();
    void customModeUsesTheUploadedEdid();
    void fetchCopiesIntoWindow_data();
    void fetchCopiesIntoWindow();
    void windowReadWraps();
    void windowWriteWraps();
    void windowWriteAndCommitRoundTrip();
    void windowWritesWithoutCommitChangeNothing();

    void storesCecText_data();
    void storesCecText();
    void storesInfoframes_data();
    void storesInfoframes();
    void refusedInfoframeKeepsStoredBytes();

    void faultRefuse_data() { addInjectionRows(); }
    void faultRefuse();
    void faultSilent_data() { addInjectionRows(); }
    void faultSilent();
    void faultShort_data() { addInjectionRows(); }
    void faultShort();
    void faultLong_data() { addInjectionRows(); }
    void faultLong();
    void faultWriteFail_data() { addInjectionRows(); }
    void faultWriteFail();
    void faultReadFail_data() { addInjectionRows(); }
    void faultReadFail();
    void faultRxQueueFail_data() { addInjectionRows(); }
    void faultRxQueueFail();
    void faultReadOverreport_data() { addInjectionRows(); }
    void faultReadOverreport();
    void codeFaultHitsOnlyItsCodeUntilCleared();
    void nextFaultsCountDownBeforeCodeFaults();
    void registerFaultHitsOnlyItsRegister();
    void noFaultWritesPastTheCallersBuffer_data();
    void noFaultWritesPastTheCallersBuffer();

    void writeOfNoOrTooManyBytesIsRejected();
    void readHandsOutAtMostWanted();
    void readWithNothingQueuedDeliversNothing();
    void flushDropsOnlyTheReceiveSide();
    void unflushedReplyStaysQueued();
    void onlyAnEmptyQueueQuerySleeps();
    void silentBoxLetsTheLinkTimeOut();
    void frameLogTimes();

    void livelyBoxChangesOnlyWhenFramesArrive();
    void livelyScenariosAreConsistent();
    void boxIsStillUnlessLively();
};

void TestSimulatedBox::fakeClockMovesOnlyWhenSlept() {
    FakeLinkClock clock(0xFFFFFFF0u);
    QCOMPARE(clock.tickCount(), 0xFFFFFFF0u);
    clock.sleep(10);
    clock.sleep(0);
    clock.sleep(20);
    QCOMPARE(clock.tickCount(), 14u); // wrapped
    QCOMPARE(clock.sleeps(), (std::vector<uint32_t>{10, 0, 20}));
    clock.advance(5);
    QCOMPARE(clock.tickCount(), 19u);
    QCOMPARE(clock.sleeps().size(), size_t(3));
    clock.clearSleeps();
    QVERIFY(clock.sleeps().empty());
}

void TestSimulatedBox::defaultDeviceIsTheBox() {
    FakeLinkClock clock;
    SimulatedBox box(clock);
    uint32_t count = 99;
    QCOMPARE(box.deviceCount(&count), usbstatus::kSuccess);
    QCOMPARE(count, 1u);

    char text[256];
    QCOMPARE(box.productString(0, text, kSerialNumberString), usbstatus::kSuccess);
    QCOMPARE(QByteArray(text), QByteArray("2023"));
    QCOMPARE(box.productString(0, text, kDescriptionString), usbstatus::kSuccess);
    QCOMPARE(QByteArray(text), QByteArray("VELTRIKA USB"));
    QCOMPARE(box.productString(0, text, kManufacturerString), usbstatus::kSuccess);
    QVERIFY(std::strlen(text) > 0);

    std::memcpy(text, "2023", 5);
    QVERIFY(box.productString(0, text, 7) != usbstatus::kSuccess);
    QCOMPARE(QByteArray(text), QByteArray());
    std::memcpy(text, "2023", 5);
    QVERIFY(box.productString(1, text, kSerialNumberString) != usbstatus::kSuccess);
    QCOMPARE(QByteArray(text), QByteArray());
    QVERIFY(!box.isOpen());
    QCOMPARE(box.openIndex(), -1);
}

void TestSimulatedBox::attachedDevices_data() {
    QTest::addColumn<QStringList>("serials");
    QTest::addColumn<QList<int>>("failing");

    QTest::newRow("none") << QStringList() << QList<int>();
    QTest::newRow("two boxes") << QStringList{"2023", "2023"} << QList<int>();
    QTest::newRow("near misses") << QStringList{"2023 ", "202", "20230", "2023"} << QList<int>();
    QTest::newRow("failing queries") << QStringList{"2023", "OTHER", "2023"} << QList<int>{0, 1};
}

void TestSimulatedBox::attachedDevices() {
    QFETCH(QStringList, serials);
    QFETCH(QList<int>, failing);
    FakeLinkClock clock;
    SimulatedBox box(clock);
    std::vector<sim::AttachedDevice> devices;
    for (int i = 0; i < serials.size(); ++i) {
        devices.push_back({serials[i].toStdString(), failing.contains(i)});
    }
    box.setAttachedDevices(devices);

    uint32_t count = 0;
    QCOMPARE(box.deviceCount(&count), usbstatus::kSuccess);
    QCOMPARE(count, static_cast<uint32_t>(serials.size()));
    for (int i = 0; i < serials.size(); ++i) {
        char text[256];
        std::memset(text, 'x', sizeof text);
        const int result = box.productString(static_cast<uint32_t>(i), text, kSerialNumberString);
        if (failing.contains(i)) {
            QVERIFY(result != usbstatus::kSuccess);
            QCOMPARE(QByteArray(text), QByteArray());
        } else {
            QCOMPARE(result, usbstatus::kSuccess);
            QCOMPARE(QByteArray(text), serials[i].toLatin1());
        }
    }
    char text[256];
    QVERIFY(box.productString(count, text, kSerialNumberString) != usbstatus::kSuccess);
}

void TestSimulatedBox::productStringStaysInsideItsBuffer() {
    FakeLinkClock clock;
    SimulatedBox box(clock);
    box.setAttachedDevices({{std::string(300, 'S')}});
    std::array<char, 256 + 16> text;
    text.fill(static_cast<char>(kGuard));
    QCOMPARE(box.productString(0, text.data(), kSerialNumberString), usbstatus::kSuccess);
    // All 256 bytes carry the serial and no terminating zero; nothing past them is written.
    QCOMPARE(QByteArray(text.data(), 256), QByteArray(256, 'S'));
    for (size_t i = 256; i < text.size(); ++i) {
        QCOMPARE(static_cast<uint8_t>(text[i]), kGuard);
    }
}

void TestSimulatedBox::callFailures() {
    FakeLinkClock clock;
    SimulatedBox box(clock);
    uint32_t count = 0;
    box.setDeviceCountFails(true);
    QVERIFY(box.deviceCount(&count) != usbstatus::kSuccess);
    box.setDeviceCountFails(false);
    QCOMPARE(box.deviceCount(&count), usbstatus::kSuccess);

    UsbHandle handle = kNoDeviceHandle;
    box.setOpenFails(true);
    QVERIFY(box.open(0, &handle) != usbstatus::kSuccess);
    QVERIFY(!box.isOpen());
    box.setOpenFails(false);
    QCOMPARE(box.open(0, &handle), usbstatus::kSuccess);

    box.setCloseFails(true);
    QVERIFY(box.close(handle) != usbstatus::kSuccess);
    QVERIFY(box.isOpen());
    box.setCloseFails(false);
    QCOMPARE(box.close(handle), usbstatus::kSuccess);
    QVERIFY(!box.isOpen());
}

void TestSimulatedBox::openGivesAHandle() {
    FakeLinkClock clock;
    SimulatedBox box(clock);
    box.setAttachedDevices({{"OTHER"}, {"2023"}});
    UsbHandle handle = kNoDeviceHandle;
    QVERIFY(box.open(2, &handle) != usbstatus::kSuccess);
    QCOMPARE(handle, kNoDeviceHandle);

    QCOMPARE(box.open(1, &handle), usbstatus::kSuccess);
    QVERIFY(handle != kNoDeviceHandle);
    QVERIFY(box.isOpen());
    QCOMPARE(box.openIndex(), 1);
    UsbHandle second = kNoDeviceHandle;
    QVERIFY(box.open(1, &second) != usbstatus::kSuccess);

    QCOMPARE(box.close(handle), usbstatus::kSuccess);
    QCOMPARE(box.close(handle), usbstatus::kInvalidHandle);
    uint32_t waiting = 0;
    uint32_t status = 0;
    QCOMPARE(box.rxQueue(handle, &waiting, &status), usbstatus::kInvalidHandle);

    // A handle from an earlier open does not reach the device opened again.
    QCOMPARE(box.open(0, &second), usbstatus::kSuccess);
    QVERIFY(second != handle);
    QVERIFY(second != kNoDeviceHandle);
    QCOMPARE(box.flush(handle, 1, 1), usbstatus::kInvalidHandle);
    QCOMPARE(box.flush(second, 1, 1), usbstatus::kSuccess);
}

void TestSimulatedBox::wrongHandleIsInvalid_data() {
    QTest::addColumn<QString>("call");
    for (const char *call : {"close", "read", "write", "flush", "rxQueue"}) {
        QTest::newRow(call) << QString::fromLatin1(call);
    }
}

void TestSimulatedBox::wrongHandleIsInvalid() {
    QFETCH(QString, call);
    Rig rig;
    std::array<uint8_t, proto::kReplySize> buffer{};
    uint32_t count = 0;
    uint32_t status = 0;
    const uint8_t request[] = {0x11, 0x2A, 0xE1};
    for (const UsbHandle wrong : {rig.handle + 1, kNoDeviceHandle, UsbHandle(0)}) {
        int result = usbstatus::kSuccess;
        if (call == "close") {
            result = rig.box.close(wrong);
        } else if (call == "read") {
            result = rig.box.read(wrong, buffer.data(), 64, &count);
        } else if (call == "write") {
            result = rig.box.write(wrong, request, sizeof request, &count);
        } else if (call == "flush") {
            result = rig.box.flush(wrong, 1, 1);
        } else {
            result = rig.box.rxQueue(wrong, &count, &status);
        }
        QCOMPARE(result, usbstatus::kInvalidHandle);
    }
    QVERIFY(rig.box.frames().empty());
    QVERIFY(rig.box.isOpen());
}

void TestSimulatedBox::vanishedBoxFailsEveryCall() {
    Rig rig;
    rig.box.vanish();
    std::array<uint8_t, proto::kReplySize> buffer{};
    char text[256];
    uint32_t a = 0;
    uint32_t b = 0;
    UsbHandle other = kNoDeviceHandle;
    const uint8_t request[] = {0x11, 0x2A, 0xE1};
    QVERIFY(rig.box.deviceCount(&a) != usbstatus::kSuccess);
    QVERIFY(rig.box.productString(0, text, kSerialNumberString) != usbstatus::kSuccess);
    QVERIFY(rig.box.open(0, &other) != usbstatus::kSuccess);
    QVERIFY(rig.box.write(rig.handle, request, sizeof request, &a) != usbstatus::kSuccess);
    QVERIFY(rig.box.rxQueue(rig.handle, &a, &b) != usbstatus::kSuccess);
    QVERIFY(rig.box.read(rig.handle, buffer.data(), 64, &a) != usbstatus::kSuccess);
    QCOMPARE(a, 0u);
    QVERIFY(rig.box.flush(rig.handle, 1, 1) != usbstatus::kSuccess);
    QVERIFY(rig.box.timeouts(&a, &b) != usbstatus::kSuccess);
    QVERIFY(rig.box.setTimeouts(0, 4000) != usbstatus::kSuccess);
    QVERIFY(rig.box.close(rig.handle) != usbstatus::kSuccess);
    QVERIFY(rig.box.frames().empty());
    QCOMPARE(rig.box.calls().size(), size_t(10));
    QVERIFY(rig.clock.sleeps().empty());
}

void TestSimulatedBox::callLogNamesEveryCall() {
    FakeLinkClock clock;
    SimulatedBox box(clock);
    uint32_t count = 0;
    char text[256];
    UsbHandle handle = kNoDeviceHandle;
    uint32_t readMs = 0;
    uint32_t writeMs = 0;
    uint32_t waiting = 0;
    uint32_t status = 0;
    std::array<uint8_t, proto::kReplySize> reply{};
    const uint8_t request[] = {0x11, 0x08, 0xE0, 0x07};

    box.deviceCount(&count);
    box.productString(0, text, kSerialNumberString);
    box.open(0, &handle);
    box.flush(handle, 1, 1);
    box.timeouts(&readMs, &writeMs);
    box.setTimeouts(0, 4000);
    box.write(handle, request, sizeof request, &count);
    box.setTimeouts(readMs, writeMs);
    box.rxQueue(handle, &waiting, &status);
    box.timeouts(&readMs, &writeMs);
    box.setTimeouts(4000, 0);
    box.read(handle, reply.data(), 64, &count);
    box.setTimeouts(readMs, writeMs);
    box.close(handle);

    const std::string restore = "setTimeouts " + std::to_string(readMs) + " " + std::to_string(writeMs);
    const std::vector<std::string> expected = {
        "deviceCount",        "productString 0 0", "open 0", "flush 1 1", "timeouts",
        "setTimeouts 0 4000", "write 4",           restore,  "rxQueue",   "timeouts",
        "setTimeouts 4000 0", "read 64",           restore,  "close",
    };
    QCOMPARE(box.calls(), expected);
    QCOMPARE(count, 8u);
    box.clearLog();
    QVERIFY(box.calls().empty());
    QVERIFY(box.frames().empty());
}

// The box answers as before; neither calls nor frames are kept until the log is on again.
void TestSimulatedBox::logSwitchedOffKeepsNothing() {
    Rig rig;
    const QByteArray request = bytes({0x11, 0x08, 0xE0, 0x07});
    const QByteArray logged = rig.transact(request);
    rig.box.clearLog();
    rig.box.setLogging(false);
    QCOMPARE(rig.transact(request), logged);
    QVERIFY(rig.box.calls().empty());
    QVERIFY(rig.box.frames().empty());

    rig.box.setLogging(true);
    QCOMPARE(rig.transact(request), logged);
    QCOMPARE(rig.box.frames().size(), size_t(1));
    QCOMPARE(toBytes(rig.box.frames()[0].request), request);
    QVERIFY(!rig.box.calls().empty());
}

void TestSimulatedBox::timeoutsAreKept() {
    FakeLinkClock clock;
    SimulatedBox box(clock);
    uint32_t readMs = 0;
    uint32_t writeMs = 0;
    QCOMPARE(box.timeouts(&readMs, &writeMs), usbstatus::kSuccess);
    QCOMPARE(readMs, box.readTimeoutMs());
    QCOMPARE(writeMs, box.writeTimeoutMs());
    QCOMPARE(box.setTimeouts(17, 4000), usbstatus::kSuccess);
    QCOMPARE(box.timeouts(&readMs, &writeMs), usbstatus::kSuccess);
    QCOMPARE(readMs, 17u);
    QCOMPARE(writeMs, 4000u);
    QCOMPARE(box.readTimeoutMs(), 17u);
    QCOMPARE(box.writeTimeoutMs(), 4000u);
}

void TestSimulatedBox::replies_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");

    const QByteArray eightBytes = bytes({1, 2, 3, 4, 5, 6, 7, 8});
    const QByteArray cecText = QByteArray("CEC 50:04\r");
    QTest::newRow("register write") << bytes({0x10, 0x04, 0xE0, 0x0B, 0x00}) << bytes({0xE0, 0x00});
    QTest::newRow("settings block") << withTail(bytes({0x10, 0x28, 0xE2}), filled(40, 1))
                                    << bytes({0xE2, 0x00});
    QTest::newRow("fetch own EDID") << bytes({0x10, 0x01, 0xB4}) << bytes({0xB4, 0x00});
    QTest::newRow("fetch TOP sink EDID") << bytes({0x10, 0x01, 0xB5}) << bytes({0xB5, 0x00});
    QTest::newRow("fetch BOT sink EDID") << bytes({0x10, 0x01, 0xB6}) << bytes({0xB6, 0x00});
    QTest::newRow("window write") << withTail(bytes({0x10, 0x08, 0xB0, 0x10}), eightBytes)
                                  << bytes({0xB0, 0x00});
    QTest::newRow("window read") << bytes({0x11, 0x10, 0xB0, 0x00}) << filled(16, 0);
    QTest::newRow("commit") << bytes({0x10, 0x08, 0xB1}) << bytes({0xB1, 0x00});
    QTest::newRow("CEC message") << bytes({0x10, 0x03, 0xB2, 0x50, 0x01, 0x04}) << bytes({0xB2, 0x00});
    QTest::newRow("activate CEC") << bytes({0x10, 0x03, 0xB3, 0x10}) << bytes({0xB3, 0x00});
    QTest::newRow("activate HDR") << bytes({0x10, 0x03, 0xB3, 0x20}) << bytes({0xB3, 0x00});
    QTest::newRow("activate AVI") << bytes({0x10, 0x05, 0xB3, 0x80}) << bytes({0xB3, 0x00});
    QTest::newRow("store slot 1") << withTail(bytes({0x10, 0x0A, 0xE3}), cecText) << bytes({0xE3, 0x00});
    QTest::newRow("store slot 2") << withTail(bytes({0x10, 0x0A, 0xE4}), cecText) << bytes({0xE4, 0x00});
    QTest::newRow("HDR infoframe") << bytes({0x10, 0x03, 0xE5, 0x87, 0x01, 0x1A}) << bytes({0xE5, 0x00});
    QTest::newRow("AVI infoframe") << bytes({0x10, 0x05, 0xE6, 0x60, 0xC8, 0x60, 0x61, 0x00})
                                   << bytes({0xE6, 0x00});
    QTest::newRow("version block") << bytes({0x11, 0x08, 0xE0, 0x07})
                                   << bytes({0xE0, 0x00, 1, 8, 3, 0, 0, 0});
    QTest::newRow("status read of 3 bytes") << bytes({0x11, 0x03, 0xE1}) << bytes({0xE1, 0x00, 0x01});

    QTest::newRow("unknown activate selector") << bytes({0x10, 0x03, 0xB3, 0x40}) << refusal();
    QTest::newRow("activate without selector") << bytes({0x10, 0x03, 0xB3}) << refusal();
    QTest::newRow("store without CEC prefix")
        << withTail(bytes({0x10, 0x0A, 0xE3}), QByteArray("XEC 50:04\r")) << refusal();
    QTest::newRow("store shorter than its length byte")
        << withTail(bytes({0x10, 0x0B, 0xE3}), cecText) << refusal();
    QTest::newRow("HDR infoframe of 32 bytes")
        << withTail(bytes({0x10, 0x20, 0xE5}), filled(32, 1)) << refusal();
    QTest::newRow("AVI infoframe of 14 bytes")
        << withTail(bytes({0x10, 0x0E, 0xE6}), filled(14, 1)) << refusal();
    QTest::newRow("AVI infoframe shorter than its length byte")
        << bytes({0x10, 0x05, 0xE6, 0x60, 0xC8}) << refusal();
    QTest::newRow("CEC message shorter than its length byte") << bytes({0x10, 0x03, 0xB2, 0x50}) << refusal();
    QTest::newRow("unknown command to the device") << bytes({0x10, 0x01, 0xC0}) << refusal();
    QTest::newRow("unknown command from the device") << bytes({0x11, 0x04, 0xC0, 0x00}) << refusal();
    QTest::newRow("fetch asked as a read") << bytes({0x11, 0x02, 0xB4}) << refusal();
    QTest::newRow("unknown direction") << bytes({0x12, 0x04, 0xE0, 0x07}) << refusal();
    QTest::newRow("two-byte frame") << bytes({0x10, 0x04}) << refusal();
    QTest::newRow("register write without value") << bytes({0x10, 0x04, 0xE0, 0x0B}) << refusal();
    QTest::newRow("block read without address") << bytes({0x11, 0x08, 0xE0}) << refusal();
    QTest::newRow("block read of no bytes") << bytes({0x11, 0x00, 0xE0, 0x07}) << refusal();
    QTest::newRow("window read without offset") << bytes({0x11, 0x10, 0xB0}) << refusal();
    QTest::newRow("window write of 2 bytes") << bytes({0x10, 0x08, 0xB0, 0x00, 0x01, 0x02}) << refusal();
    QTest::newRow("settings block of 39 bytes")
        << withTail(bytes({0x10, 0x28, 0xE2}), filled(39, 1)) << refusal();
    QTest::newRow("settings block with a wrong length byte")
        << withTail(bytes({0x10, 0x27, 0xE2}), filled(40, 1)) << refusal();
}

void TestSimulatedBox::replies() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    Rig rig;
    QCOMPARE(rig.transact(request), reply);
}

void TestSimulatedBox::frameLogHoldsTheReply() {
    Rig rig;
    const QByteArray request = bytes({0x11, 0x08, 0xE0, 0x07});
    const QByteArray reply = rig.transact(request);
    QCOMPARE(rig.box.frames().size(), size_t(1));
    QCOMPARE(toBytes(rig.box.frames()[0].request), request);
    QCOMPARE(toBytes(rig.box.frames()[0].reply), reply);
}

void TestSimulatedBox::statusReply() {
    Rig rig;
    const QByteArray expected = withTail(bytes({0xE1, 0x00}), recordBytes(SimulatedBox::factorySettings()));
    QCOMPARE(expected.size(), 42);
    QCOMPARE(rig.transact(kStatusRead), expected);

    rig.box.statusRecord()[record::kHdrMode] = 1;
    rig.box.setBusyFor(10);
    QCOMPARE(rig.transact(kStatusRead), withTail(bytes({0xE1, 0x01}), recordBytes(rig.box.statusRecord())));

    // Asked for more, the device still sends the 42 bytes it has.
    rig.transact(bytes({0x11, 0x40, 0xE1}));
    QCOMPARE(rig.box.frames().back().reply.size(), size_t(42));
}

void TestSimulatedBox::registerBlockRead_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("count");
    QTest::newRow("version") << 0x07 << 8;
    QTest::newRow("stored HDR infoframe") << 0x23 << 33;
    QTest::newRow("stored AVI bytes") << 0x24 << 15;
    QTest::newRow("video status for the sync") << 0x06 << 14;
    QTest::newRow("video status for the texts") << 0x06 << 15;
    QTest::newRow("source product") << 0x15 << 31;
    QTest::newRow("HDR capture") << 0x1E << 31;
    QTest::newRow("block 0x1F") << 0x1F << 31;
    QTest::newRow("marker only") << 0x42 << 1;
    QTest::newRow("a full reply") << 0x06 << 64;
}

void TestSimulatedBox::registerBlockRead() {
    QFETCH(int, address);
    QFETCH(int, count);
    Rig rig;
    sim::RegisterBlock &block = rig.box.registerBlock(static_cast<uint8_t>(address));
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>(i * 7 + address);
    }
    const QByteArray reply = rig.transact(bytes({0x11, count, 0xE0, address}));
    QCOMPARE(reply.size(), count);
    QCOMPARE(static_cast<uint8_t>(reply[0]), proto::kRegisterAccess);
    QCOMPARE(reply.mid(2), toBytes(std::span<const uint8_t>(block).subspan(2, std::max(0, count - 2))));
}

void TestSimulatedBox::registerBlockReadIsBoundedByTheBlock() {
    Rig rig;
    rig.transact(bytes({0x11, 0xFF, 0xE0, 0x06}));
    QCOMPARE(rig.box.frames().back().reply.size(), sim::RegisterBlock().size());
}

void TestSimulatedBox::powerUpBlocks() {
    FakeLinkClock clock;
    SimulatedBox box(clock);
    const sim::RegisterBlock &video = box.registerBlock(proto::kRegVideoStatus);
    QCOMPARE(video[2], uint8_t(16)); // 1920x1080p60
    QVERIFY((video[3] & 0x10) != 0); // HDMI
    QCOMPARE(video[5] & 0x60, 0x60); // TX A and TX B
    QCOMPARE(video[14], uint8_t(0));

    const sim::RegisterBlock &version = box.registerBlock(proto::kRegVersion);
    QCOMPARE(toBytes(std::span<const uint8_t>(version).subspan(2, 4)), bytes({1, 8, 3, 0}));

    const sim::RegisterBlock &source = box.registerBlock(proto::kRegSourceProduct);
    QVERIFY(printableName(source, 4, 8));
    QVERIFY(printableName(source, 12, 16));

    QCOMPARE(box.registerBlock(proto::kRegHdrCapture)[4], uint8_t(0)); // no HDR

    // The stored HDR infoframe is whole: its bytes, checksum included, add up to zero.
    const sim::RegisterBlock &hdr = box.registerBlock(proto::kRegStoredHdrInfoframe);
    QCOMPARE(hdr[2], uint8_t(0x87));
    const int length = hdr[4];
    QVERIFY(length > 0 && 4 + length <= 31);
    int sum = 0;
    for (int i = 0; i < 4 + length; ++i) {
        sum += hdr[2 + i];
    }
    QCOMPARE(sum % 256, 0);
    QCOMPARE(box.registerBlock(proto::kRegStoredAviBytes)[5], uint8_t(16)); // data byte 4: VIC

    QCOMPARE(box.edidWindow(), EdidImage{});
    QVERIFY(!box.busy());
}

void TestSimulatedBox::registerWriteLandsInItsField_data() {
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("offset");
    for (const SettingInfo &field : allSettings()) {
        QTest::addRow("register 0x%02x", field.reg) << int(field.reg) << field.recordOffset;
    }
}

void TestSimulatedBox::registerWriteLandsInItsField() {
    QFETCH(int, reg);
    QFETCH(int, offset);
    Rig rig;
    record::StatusRecord expected = rig.box.statusRecord();
    const auto value = static_cast<uint8_t>(0xA5 ^ offset);
    QVERIFY(value != expected[offset]);
    expected[offset] = value;
    QCOMPARE(rig.writeRegister(static_cast<uint8_t>(reg), value), bytes({0xE0, 0x00}));
    QCOMPARE(recordBytes(rig.box.statusRecord()), recordBytes(expected));
    rig.waitWhileBusy();
    QCOMPARE(rig.transact(kStatusRead).mid(2), recordBytes(expected));
}

void TestSimulatedBox::registerWithoutFieldIsRefused_data() {
    QTest::addColumn<int>("reg");
    for (const int reg : {0x06, 0x07, 0x0F, 0x12, 0x14, 0x15, 0x1E, 0x1F, 0x23, 0x24, 0xFF}) {
        QTest::addRow("register 0x%02x", reg) << reg;
    }
}

void TestSimulatedBox::registerWithoutFieldIsRefused() {
    QFETCH(int, reg);
    Rig rig;
    const sim::RegisterBlock block = rig.box.registerBlock(static_cast<uint8_t>(reg));
    QCOMPARE(rig.writeRegister(static_cast<uint8_t>(reg), 0x5A), refusal());
    QCOMPARE(recordBytes(rig.box.statusRecord()), recordBytes(SimulatedBox::factorySettings()));
    QCOMPARE(toBytes(rig.box.registerBlock(static_cast<uint8_t>(reg))), toBytes(block));
}

void TestSimulatedBox::settingsBlockTakesSettingFieldsOnly() {
    Rig rig;
    QByteArray settings;
    for (int i = 0; i < 40; ++i) {
        settings.append(static_cast<char>(0x80 + i));
    }
    QCOMPARE(rig.transact(withTail(bytes({0x10, 0x28, 0xE2}), settings)), bytes({0xE2, 0x00}));

    record::StatusRecord expected = SimulatedBox::factorySettings();
    for (const SettingInfo &field : allSettings()) {
        expected[field.recordOffset] = static_cast<uint8_t>(0x80 + field.recordOffset);
    }
    QCOMPARE(recordBytes(rig.box.statusRecord()), recordBytes(expected));
    QCOMPARE(rig.box.statusRecord()[record::kEdidModeSelectable], uint8_t(1));
}

void TestSimulatedBox::factoryReset_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("settingsReset");
    QTest::addColumn<bool>("edidReset");
    QTest::newRow("EDID") << 1 << false << true;
    QTest::newRow("settings") << 2 << true << false;
    QTest::newRow("both") << 3 << true << true;
}

void TestSimulatedBox::factoryReset() {
    QFETCH(int, value);
    QFETCH(bool, settingsReset);
    QFETCH(bool, edidReset);
    Rig rig;
    rig.writeRegister(record::kRegHdrPacket, 0);
    rig.writeRegister(record::kRegActiveInput, 3);
    rig.writeRegister(record::kRegCustomEdidPreset, 4);
    rig.box.statusRecord()[record::kHdcpSelectable] = 0;
    const record::StatusRecord changed = rig.box.statusRecord();
    const EdidImage uploaded = sim::buildEdid("UPLOADED", 0x7777);
    rig.writeWindow(uploaded);
    rig.transact(bytes({0x10, 0x08, 0xB1}));
    QCOMPARE(rig.box.customEdid(), uploaded);

    QCOMPARE(rig.writeRegister(record::kRegFactoryReset, static_cast<uint8_t>(value)), bytes({0xE0, 0x00}));
    QCOMPARE(recordBytes(rig.box.statusRecord()),
             recordBytes(settingsReset ? SimulatedBox::factorySettings() : changed));
    QCOMPARE(rig.box.customEdid(), edidReset ? SimulatedBox::defaultCustomEdid() : uploaded);
}

void TestSimulatedBox::factoryResetRefusesOtherValues_data() {
    QTest::addColumn<int>("value");
    QTest::newRow("0") << 0;
    QTest::newRow("4") << 4;
    QTest::newRow("7") << 7;
    QTest::newRow("0xFF") << 0xFF;
}

void TestSimulatedBox::factoryResetRefusesOtherValues() {
    QFETCH(int, value);
    Rig rig;
    rig.writeRegister(record::kRegGreenLed, 0);
    rig.box.customEdid()[20] ^= 0xFF;
    const record::StatusRecord before = rig.box.statusRecord();
    const EdidImage custom = rig.box.customEdid();
    QCOMPARE(rig.writeRegister(record::kRegFactoryReset, static_cast<uint8_t>(value)), refusal());
    QCOMPARE(recordBytes(rig.box.statusRecord()), recordBytes(before));
    QCOMPARE(rig.box.customEdid(), custom);
}

void TestSimulatedBox::busyAfterEdidModeWrite() {
    Rig rig;
    QVERIFY(!rig.busyFlag());
    QCOMPARE(rig.writeRegister(record::kRegEdidMode, 3), bytes({0xE0, 0x00}));
    QVERIFY(rig.busyFlag());
    QVERIFY(rig.box.busy());
    rig.clock.advance(rig.box.modeChangeBusyMs - 1);
    QVERIFY(rig.busyFlag());
    rig.clock.advance(1);
    QVERIFY(!rig.busyFlag());
    QVERIFY(!rig.box.busy());
    // Status reads with data waiting cost no time of their own.
    QVERIFY(rig.clock.sleeps().empty());
}

void TestSimulatedBox::busyAfterEdidWork_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("fetch own EDID") << bytes({0x10, 0x01, 0xB4});
    QTest::newRow("fetch TOP sink EDID") << bytes({0x10, 0x01, 0xB5});
    QTest::newRow("fetch BOT sink EDID") << bytes({0x10, 0x01, 0xB6});
    QTest::newRow("commit") << bytes({0x10, 0x08, 0xB1});
    QTest::newRow("EDID factory reset") << bytes({0x10, 0x04, 0xE0, 0x19, 0x01});
}

void TestSimulatedBox::busyAfterEdidWork() {
    QFETCH(QByteArray, request);
    Rig rig;
    rig.box.fetchBusyMs = 120;
    rig.transact(request);
    QVERIFY(rig.busyFlag());
    rig.clock.advance(119);
    QVERIFY(rig.busyFlag());
    rig.clock.advance(1);
    QVERIFY(!rig.busyFlag());
}

void TestSimulatedBox::settingWritesDoNotMakeBusy() {
    Rig rig;
    for (const SettingInfo &field : allSettings()) {
        if (field.reg != record::kRegEdidMode) {
            rig.writeRegister(field.reg, 1);
        }
    }
    rig.transact(bytes({0x11, 0x10, 0xB0, 0x00}));
    rig.transact(bytes({0x10, 0x08, 0xB0, 0x00, 1, 2, 3, 4, 5, 6, 7, 8}));
    rig.transact(bytes({0x10, 0x03, 0xB2, 0x50, 0x01, 0x04}));
    QVERIFY(!rig.busyFlag());
}

void TestSimulatedBox::settingsBlockChangingModeMakesBusy() {
    Rig rig;
    QByteArray settings = recordBytes(rig.box.statusRecord());
    rig.transact(withTail(bytes({0x10, 0x28, 0xE2}), settings));
    QVERIFY(!rig.busyFlag());
    settings[record::kEdidMode] = 2;
    rig.transact(withTail(bytes({0x10, 0x28, 0xE2}), settings));
    QVERIFY(rig.busyFlag());
    rig.clock.advance(rig.box.modeChangeBusyMs);
    QVERIFY(!rig.busyFlag());
}

void TestSimulatedBox::busySurvivesTickWrap() {
    FakeLinkClock clock(0xFFFFFF00u);
    SimulatedBox box(clock);
    box.setBusyFor(0x200);
    clock.advance(0x100);
    QCOMPARE(clock.tickCount(), 0u);
    QVERIFY(box.busy());
    clock.advance(0xFF);
    QVERIFY(box.busy());
    clock.advance(1);
    QVERIFY(!box.busy());
}

void TestSimulatedBox::shorterBusyDoesNotCutALongerOne() {
    Rig rig;
    rig.writeRegister(record::kRegEdidMode, 2);
    rig.clock.advance(100);
    rig.transact(bytes({0x10, 0x01, 0xB4}));
    rig.clock.advance(rig.box.modeChangeBusyMs - 101);
    QVERIFY(rig.busyFlag());
    rig.clock.advance(1);
    QVERIFY(!rig.busyFlag());
}

namespace {

enum EdidSource { TopSink, BotSink, DefaultCustom, Own };

EdidImage edidOf(SimulatedBox &box, int source) {
    switch (source) {
    case TopSink:
        return box.topSinkEdid();
    case BotSink:
        return box.botSinkEdid();
    case DefaultCustom:
        return SimulatedBox::defaultCustomEdid();
    default:
        return box.ownEdid();
    }
}

} // namespace

// The TVs on the outputs are real ones of the test corpus, byte for byte.
void TestSimulatedBox::sinksAreRealTvs_data() {
    QTest::addColumn<int>("source");
    QTest::addColumn<QString>("file");
    QTest::newRow("TOP: LG OLED C9") << int(TopSink) << "lg-oled-c9-hdmi.bin";
    QTest::newRow("BOT: LG OLED B6 behind a Denon AVR-X2300W")
        << int(BotSink) << "lg-oled55b6v-hdmi-denon-avr-x2300w-hdmi.bin";
}

void TestSimulatedBox::sinksAreRealTvs() {
    QFETCH(int, source);
    QFETCH(QString, file);
    QFile corpus(QFINDTESTDATA(QStringLiteral("../data/edid/") + file));
    QVERIFY(corpus.open(QIODevice::ReadOnly));
    FakeLinkClock clock;
    SimulatedBox box(clock);
    const EdidImage edid = edidOf(box, source);
    QCOMPARE(toBytes(edid), corpus.readAll());
}

void TestSimulatedBox::builtEdidsAreWellFormed_data() {
    QTest::addColumn<int>("source");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("preset");
    QTest::newRow("default custom") << int(DefaultCustom) << 1 << 0;
    QTest::newRow("automix") << int(Own) << 1 << 0;
    QTest::newRow("fixed") << int(Own) << 2 << 0;
    QTest::newRow("custom uploaded") << int(Own) << 3 << 0;
    for (int preset = 1; preset <= 7; ++preset) {
        QTest::addRow("custom preset %d", preset) << int(Own) << 3 << preset;
    }
}

void TestSimulatedBox::builtEdidsAreWellFormed() {
    QFETCH(int, source);
    QFETCH(int, mode);
    QFETCH(int, preset);
    FakeLinkClock clock;
    SimulatedBox box(clock);
    box.statusRecord()[record::kEdidMode] = static_cast<uint8_t>(mode);
    box.statusRecord()[record::kCustomEdidPreset] = static_cast<uint8_t>(preset);
    const EdidImage edid = edidOf(box, source);

    QCOMPARE(toBytes(std::span<const uint8_t>(edid).first(8)),
             bytes({0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}));
    QCOMPARE(blockSum(edid, 0), 0);
    QCOMPARE(blockSum(edid, 1), 0);
    // Manufacturer id: three letters A to Z, five bits each, top bit clear.
    const int id = edid[8] << 8 | edid[9];
    QCOMPARE(id & 0x8000, 0);
    for (const int shift : {10, 5, 0}) {
        const int letter = (id >> shift) & 0x1F;
        QVERIFY(letter >= 1 && letter <= 26);
    }
    QCOMPARE(edid[18], uint8_t(1));
    QCOMPARE(edid[126], uint8_t(1));
    QVERIFY(!monitorName(edid).isEmpty());

    // CTA-861 extension: the data blocks end exactly where the detailed timings start.
    QCOMPARE(edid[128], uint8_t(0x02));
    const int timingsAt = edid[130];
    QVERIFY(timingsAt >= 4 && timingsAt <= 127);
    int at = 4;
    std::set<int> tags;
    while (at < timingsAt) {
        const int tag = edid[128 + at] >> 5;
        const int length = edid[128 + at] & 0x1F;
        QVERIFY(tag != 0 && length > 0); // tag 0 is reserved: padding read as a block
        tags.insert(tag);
        at += 1 + length;
    }
    QCOMPARE(at, timingsAt);
    for (int i = 128 + timingsAt; i < 255; ++i) {
        QCOMPARE(edid[i], uint8_t(0)); // no detailed timings, only padding
    }
    QVERIFY(tags.count(1) == 1); // audio
    QVERIFY(tags.count(2) == 1); // video
}

void TestSimulatedBox::buildEdidNameAndProductCode_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("short") << QByteArray("TV") << QByteArray("TV\n          ");
    QTest::newRow("twelve letters") << QByteArray("ABCDEFGHIJKL") << QByteArray("ABCDEFGHIJKL\n");
    QTest::newRow("thirteen letters") << QByteArray("ABCDEFGHIJKLM") << QByteArray("ABCDEFGHIJKLM");
    QTest::newRow("too long") << QByteArray("ABCDEFGHIJKLMNOPQRST") << QByteArray("ABCDEFGHIJKLM");
    QTest::newRow("empty") << QByteArray() << QByteArray("\n            ");
}

void TestSimulatedBox::buildEdidNameAndProductCode() {
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, field);
    const EdidImage edid = sim::buildEdid(name.toStdString(), 0x1234);
    QCOMPARE(edid[10], uint8_t(0x34));
    QCOMPARE(edid[11], uint8_t(0x12));
    int found = 0;
    for (int at = 54; at < 126; at += 18) {
        if (edid[at] == 0 && edid[at + 1] == 0 && edid[at + 3] == 0xFC) {
            ++found;
            QCOMPARE(toBytes(std::span<const uint8_t>(edid).subspan(at + 5, 13)), field);
        }
    }
    QCOMPARE(found, 1);
    QCOMPARE(blockSum(edid, 0), 0);
    QCOMPARE(blockSum(edid, 1), 0);
}

void TestSimulatedBox::edidsOfModesAndPresetsDiffer() {
    FakeLinkClock clock;
    SimulatedBox box(clock);
    std::set<std::pair<QByteArray, uint16_t>> seen;
    auto note = [&seen](const EdidImage &edid) { seen.insert({monitorName(edid), productCode(edid)}); };
    note(box.topSinkEdid());
    note(box.botSinkEdid());
    note(SimulatedBox::defaultCustomEdid());
    box.statusRecord()[record::kEdidMode] = 1;
    note(box.ownEdid());
    box.statusRecord()[record::kEdidMode] = 2;
    note(box.ownEdid());
    box.statusRecord()[record::kEdidMode] = 3;
    for (int preset = 1; preset <= 7; ++preset) {
        box.statusRecord()[record::kCustomEdidPreset] = static_cast<uint8_t>(preset);
        note(box.ownEdid());
    }
    QCOMPARE(seen.size(), size_t(12));
}

void TestSimulatedBox::customModeUsesTheUploadedEdid() {
    FakeLinkClock clock;
    SimulatedBox box(clock);
    box.statusRecord()[record::kEdidMode] = 3;
    box.statusRecord()[record::kCustomEdidPreset] = 0;
    QCOMPARE(box.ownEdid(), SimulatedBox::defaultCustomEdid());
    box.customEdid()[200] ^= 0x55;
    QCOMPARE(box.ownEdid(), box.customEdid());
    // A preset the device does not have is the uploaded table too.
    box.statusRecord()[record::kCustomEdidPreset] = 9;
    QCOMPARE(box.ownEdid(), box.customEdid());
    box.statusRecord()[record::kCustomEdidPreset] = 1;
    QVERIFY(box.ownEdid() != box.customEdid());
}

void TestSimulatedBox::fetchCopiesIntoWindow_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("source");
    QTest::newRow("own") << 0xB4 << int(Own);
    QTest::newRow("TOP sink") << 0xB5 << int(TopSink);
    QTest::newRow("BOT sink") << 0xB6 << int(BotSink);
}

void TestSimulatedBox::fetchCopiesIntoWindow() {
    QFETCH(int, code);
    QFETCH(int, source);
    Rig rig;
    rig.box.statusRecord()[record::kEdidMode] = 2;
    QCOMPARE(rig.transact(bytes({0x10, 0x01, code})), bytes({code, 0x00}));
    rig.waitWhileBusy();
    QCOMPARE(rig.readWindow(), toBytes(edidOf(rig.box, source)));
    QCOMPARE(rig.box.edidWindow(), edidOf(rig.box, source));
}

void TestSimulatedBox::windowReadWraps() {
    Rig rig;
    for (size_t i = 0; i < rig.box.edidWindow().size(); ++i) {
        rig.box.edidWindow()[i] = static_cast<uint8_t>(i);
    }
    QCOMPARE(rig.transact(bytes({0x11, 0x10, 0xB0, 0xF8})),
             bytes({0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF, 0, 1, 2, 3, 4, 5, 6, 7}));
    QCOMPARE(rig.transact(bytes({0x11, 0x10, 0xB0, 0x05})).left(2), bytes({0x05, 0x06}));
}

void TestSimulatedBox::windowWriteWraps() {
    Rig rig;
    QCOMPARE(rig.transact(bytes({0x10, 0x08, 0xB0, 0xFC, 1, 2, 3, 4, 5, 6, 7, 8})), bytes({0xB0, 0x00}));
    const EdidImage &window = rig.box.edidWindow();
    QCOMPARE(toBytes(std::span<const uint8_t>(window).subspan(0xFC, 4)), bytes({1, 2, 3, 4}));
    QCOMPARE(toBytes(std::span<const uint8_t>(window).first(4)), bytes({5, 6, 7, 8}));
    QCOMPARE(window[4], uint8_t(0));
    QCOMPARE(window[0xFB], uint8_t(0));
}

void TestSimulatedBox::windowWriteAndCommitRoundTrip() {
    Rig rig;
    const EdidImage image = sim::buildEdid("ROUND TRIP", 0x4242);
    rig.writeWindow(image);
    QCOMPARE(rig.transact(bytes({0x10, 0x08, 0xB1})), bytes({0xB1, 0x00}));
    QCOMPARE(rig.box.customEdid(), image);

    rig.writeRegister(record::kRegEdidMode, 3);
    rig.writeRegister(record::kRegCustomEdidPreset, 0);
    rig.box.edidWindow().fill(0);
    rig.waitWhileBusy();
    QCOMPARE(rig.transact(bytes({0x10, 0x01, 0xB4})), bytes({0xB4, 0x00}));
    rig.waitWhileBusy();
    QCOMPARE(rig.readWindow(), toBytes(image));
}

void TestSimulatedBox::windowWritesWithoutCommitChangeNothing() {
    Rig rig;
    rig.writeWindow(sim::buildEdid("NOT COMMITTED", 0x1111));
    QCOMPARE(rig.box.customEdid(), SimulatedBox::defaultCustomEdid());
    QVERIFY(!rig.busyFlag());
}

void TestSimulatedBox::storesCecText_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("slot");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("slot 1") << 0xE3 << 1 << QByteArray("50:04\r");
    QTest::newRow("slot 2") << 0xE4 << 2 << QByteArray("0F:36\r");
    QTest::newRow("longest text") << 0xE3 << 1 << withTail(QByteArray(59, 'A'), "\r");
}

void TestSimulatedBox::storesCecText() {
    QFETCH(int, code);
    QFETCH(int, slot);
    QFETCH(QByteArray, text);
    Rig rig;
    const QByteArray request = withTail(bytes({0x10, int(text.size()) + 4, code}), withTail("CEC ", text));
    QVERIFY(request.size() <= 67);
    QCOMPARE(rig.transact(request), bytes({code, 0x00}));
    QCOMPARE(QByteArray::fromStdString(rig.box.storedCec(slot)), text);
    QCOMPARE(QByteArray::fromStdString(rig.box.storedCec(3 - slot)), QByteArray());
}

void TestSimulatedBox::storesInfoframes_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("room");
    QTest::newRow("HDR infoframe") << 0xE5 << 0x23 << 31;
    QTest::newRow("AVI bytes") << 0xE6 << 0x24 << 13;
}

void TestSimulatedBox::storesInfoframes() {
    QFETCH(int, code);
    QFETCH(int, address);
    QFETCH(int, room);
    Rig rig;
    QByteArray full;
    for (int i = 0; i < room; ++i) {
        full.append(static_cast<char>(0x30 + i));
    }
    const QByteArray readBack = bytes({0x11, room + 2, 0xE0, address});
    QCOMPARE(rig.transact(withTail(bytes({0x10, room, code}), full)), bytes({code, 0x00}));
    QCOMPARE(rig.transact(readBack).mid(2), full);

    // A shorter frame leaves no trace of the longer one before it.
    const QByteArray two = bytes({0x87, 0x01});
    QCOMPARE(rig.transact(withTail(bytes({0x10, 2, code}), two)), bytes({code, 0x00}));
    QCOMPARE(rig.transact(readBack).mid(2), withTail(two, filled(room - 2, 0)));
}

void TestSimulatedBox::refusedInfoframeKeepsStoredBytes() {
    Rig rig;
    const QByteArray readBack = bytes({0x11, 33, 0xE0, 0x23});
    const QByteArray before = rig.transact(readBack);
    QCOMPARE(rig.transact(withTail(bytes({0x10, 32, 0xE5}), filled(32, 0x11))), refusal());
    QCOMPARE(rig.transact(bytes({0x10, 0, 0xE5})), refusal());
    QCOMPARE(rig.transact(readBack), before);
}

void TestSimulatedBox::faultRefuse() {
    QFETCH(bool, byCode);
    Rig rig;
    inject(rig.box, Fault::Refuse, byCode, 0xE0);
    QCOMPARE(rig.writeRegister(record::kRegHdrPacket, 0), refusal());
    QCOMPARE(rig.box.statusRecord()[record::kHdrPacket], uint8_t(1));

    inject(rig.box, Fault::Refuse, byCode, 0xB0);
    QCOMPARE(rig.transact(bytes({0x11, 0x10, 0xB0, 0x00})), refusal());
    inject(rig.box, Fault::Refuse, byCode, 0xB4);
    rig.transact(bytes({0x10, 0x01, 0xB4}));
    QVERIFY(!rig.box.busy());
    QCOMPARE(rig.box.edidWindow(), EdidImage{});
}

void TestSimulatedBox::faultSilent() {
    QFETCH(bool, byCode);
    Rig rig;
    inject(rig.box, Fault::Silent, byCode, 0xE0);
    rig.box.flush(rig.handle, 1, 1);
    QCOMPARE(rig.write(bytes({0x10, 0x04, 0xE0, 0x0B, 0x00})), usbstatus::kSuccess);
    const uint32_t start = rig.clock.tickCount();
    for (int i = 0; i < 25; ++i) {
        QCOMPARE(rig.waiting(), 0u);
    }
    QCOMPARE(rig.clock.tickCount() - start, 25u);
    QCOMPARE(rig.box.frames().size(), size_t(1));
    QVERIFY(rig.box.frames()[0].reply.empty());
    QCOMPARE(rig.box.statusRecord()[record::kHdrPacket], uint8_t(1));
}

void TestSimulatedBox::faultShort() {
    QFETCH(bool, byCode);
    Rig rig;
    inject(rig.box, Fault::Short, byCode, 0xE1);
    const QByteArray full = withTail(bytes({0xE1, 0x00}), recordBytes(rig.box.statusRecord()));
    QCOMPARE(rig.transact(kStatusRead), full.left(21));

    inject(rig.box, Fault::Short, byCode, 0xE0);
    QCOMPARE(rig.writeRegister(record::kRegHdrPacket, 0), bytes({0xE0}));
    QCOMPARE(rig.box.statusRecord()[record::kHdrPacket], uint8_t(0));

    inject(rig.box, Fault::Short, byCode, 0xE0);
    QCOMPARE(rig.transact(bytes({0x11, 0x01, 0xE0, 0x07})), bytes({0xE0}));
}

void TestSimulatedBox::faultLong() {
    QFETCH(bool, byCode);
    Rig rig;
    inject(rig.box, Fault::Long, byCode, 0xE1);
    const QByteArray status = withTail(bytes({0xE1, 0x00}), recordBytes(rig.box.statusRecord()));
    rig.box.flush(rig.handle, 1, 1);
    rig.write(kStatusRead);
    QCOMPARE(rig.waiting(), 80u);
    const QByteArray reply = rig.collect();
    QCOMPARE(reply.size(), 64);
    QCOMPARE(reply.left(42), status);
    QCOMPARE(rig.waiting(), 16u);
    rig.box.flush(rig.handle, 1, 1);
    QCOMPARE(rig.waiting(), 0u);
}

void TestSimulatedBox::faultWriteFail() {
    QFETCH(bool, byCode);
    Rig rig;
    inject(rig.box, Fault::WriteFail, byCode, 0xE0);
    const uint8_t request[] = {0x10, 0x04, 0xE0, 0x0B, 0x00};
    uint32_t written = 99;
    QCOMPARE(rig.box.write(rig.handle, request, sizeof request, &written), usbstatus::kWriteError);
    QCOMPARE(written, 0u);
    QVERIFY(rig.box.frames().empty());
    QCOMPARE(rig.box.calls(), std::vector<std::string>{"write 5"});
    QCOMPARE(rig.box.statusRecord()[record::kHdrPacket], uint8_t(1));
    QCOMPARE(rig.waiting(), 0u);
}

void TestSimulatedBox::faultReadFail() {
    QFETCH(bool, byCode);
    Rig rig;
    inject(rig.box, Fault::ReadFail, byCode, 0xE1);
    rig.box.flush(rig.handle, 1, 1);
    rig.write(kStatusRead);
    QCOMPARE(rig.waiting(), 42u);
    std::array<uint8_t, proto::kReplySize> buffer;
    buffer.fill(kGuard);
    uint32_t got = 99;
    QCOMPARE(rig.box.read(rig.handle, buffer.data(), 64, &got), usbstatus::kReadError);
    QCOMPARE(got, 0u);
    for (const uint8_t value : buffer) {
        QCOMPARE(value, kGuard);
    }
    rig.box.clearFaults();
    QCOMPARE(rig.transact(kStatusRead).size(), 42);
}

void TestSimulatedBox::faultRxQueueFail() {
    QFETCH(bool, byCode);
    Rig rig;
    inject(rig.box, Fault::RxQueueFail, byCode, 0xE1);
    rig.box.flush(rig.handle, 1, 1);
    rig.write(kStatusRead);
    const uint32_t start = rig.clock.tickCount();
    for (int i = 0; i < 3; ++i) {
        uint32_t waiting = 99;
        uint32_t status = 99;
        QVERIFY(rig.box.rxQueue(rig.handle, &waiting, &status) != usbstatus::kSuccess);
        QCOMPARE(waiting, 0u);
    }
    // Failing queries still cost time, so a caller's time-out passes.
    QCOMPARE(rig.clock.tickCount() - start, 3u);
    rig.box.clearFaults();
    QCOMPARE(rig.transact(kStatusRead).size(), 42);
}

void TestSimulatedBox::faultReadOverreport() {
    QFETCH(bool, byCode);
    Rig rig;
    inject(rig.box, Fault::ReadOverreport, byCode, 0xE1);
    rig.box.flush(rig.handle, 1, 1);
    rig.write(kStatusRead);
    std::array<uint8_t, 16> buffer;
    buffer.fill(kGuard);
    uint32_t got = 0;
    QCOMPARE(rig.box.read(rig.handle, buffer.data(), 10, &got), usbstatus::kSuccess);
    QCOMPARE(got, 110u);
    QCOMPARE(buffer[0], uint8_t(0xE1));
    for (size_t i = 10; i < buffer.size(); ++i) {
        QCOMPARE(buffer[i], kGuard);
    }
    QCOMPARE(rig.waiting(), 32u);
}

void TestSimulatedBox::codeFaultHitsOnlyItsCodeUntilCleared() {
    Rig rig;
    rig.box.injectFault(Fault::Refuse, 0xE1);
    QCOMPARE(rig.transact(kStatusRead), refusal());
    QCOMPARE(rig.transact(kStatusRead), refusal());
    QCOMPARE(rig.writeRegister(record::kRegHdrPacket, 0), bytes({0xE0, 0x00}));
    QCOMPARE(rig.transact(bytes({0x10, 0x01, 0xB5})), bytes({0xB5, 0x00}));
    rig.box.clearFaults();
    QCOMPARE(rig.transact(kStatusRead).size(), 42);
}

void TestSimulatedBox::nextFaultsCountDownBeforeCodeFaults() {
    Rig rig;
    rig.box.injectFault(Fault::Short, 0xE1);
    rig.box.injectFaultForNext(Fault::Refuse, 2);
    QCOMPARE(rig.writeRegister(record::kRegHdrPacket, 0), refusal());
    QCOMPARE(rig.transact(kStatusRead), refusal());
    QCOMPARE(rig.transact(kStatusRead).size(), 21);
    QCOMPARE(rig.writeRegister(record::kRegHdrPacket, 0), bytes({0xE0, 0x00}));

    rig.box.injectFaultForNext(Fault::WriteFail, 1);
    QCOMPARE(rig.write(bytes({0x10, 0x01, 0xB4})), usbstatus::kWriteError);
    QCOMPARE(rig.transact(bytes({0x10, 0x01, 0xB4})), bytes({0xB4, 0x00}));

    rig.box.injectFaultForNext(Fault::Silent, 3);
    rig.box.clearFaults();
    QCOMPARE(rig.transact(kStatusRead).size(), 42);
}

void TestSimulatedBox::registerFaultHitsOnlyItsRegister() {
    Rig rig;
    rig.box.injectFaultForRegister(Fault::Refuse, 0x23);
    rig.box.injectFaultForRegister(Fault::Short, record::kRegGreenLed);
    rig.box.injectFault(Fault::Silent, 0xE0);
    QCOMPARE(rig.transact(bytes({0x11, 0x21, 0xE0, 0x23})), refusal());
    QCOMPARE(rig.writeRegister(record::kRegGreenLed, 0), bytes({0xE0}));
    QCOMPARE(rig.box.statusRecord()[record::kGreenLed], uint8_t(0));
    // Other registers fall to the fault of their command code.
    QCOMPARE(rig.transact(bytes({0x11, 0x0F, 0xE0, 0x24})), QByteArray());
    rig.box.injectFaultForNext(Fault::Long, 1);
    rig.transact(bytes({0x11, 0x21, 0xE0, 0x23}));
    QCOMPARE(rig.box.frames().back().reply.size(), size_t(80));

    rig.box.clearFaults();
    QCOMPARE(rig.transact(bytes({0x11, 0x21, 0xE0, 0x23})).size(), 33);
    QCOMPARE(rig.writeRegister(record::kRegGreenLed, 1), bytes({0xE0, 0x00}));
}

void TestSimulatedBox::noFaultWritesPastTheCallersBuffer_data() {
    QTest::addColumn<Fault>("fault");
    QTest::newRow("refuse") << Fault::Refuse;
    QTest::newRow("silent") << Fault::Silent;
    QTest::newRow("short") << Fault::Short;
    QTest::newRow("long") << Fault::Long;
    QTest::newRow("write fail") << Fault::WriteFail;
    QTest::newRow("read fail") << Fault::ReadFail;
    QTest::newRow("receive queue fail") << Fault::RxQueueFail;
    QTest::newRow("read overreport") << Fault::ReadOverreport;
}

void TestSimulatedBox::noFaultWritesPastTheCallersBuffer() {
    QFETCH(Fault, fault);
    for (const uint32_t wanted : {1u, 16u, 64u}) {
        Rig rig;
        rig.box.injectFaultForNext(fault, 1);
        rig.box.flush(rig.handle, 1, 1);
        rig.write(bytes({0x11, 0x40, 0xE0, 0x06}));
        std::array<uint8_t, 64 + 16> buffer;
        buffer.fill(kGuard);
        uint32_t got = 0;
        rig.box.read(rig.handle, buffer.data(), wanted, &got);
        for (size_t i = wanted; i < buffer.size(); ++i) {
            QCOMPARE(buffer[i], kGuard);
        }
    }
}

void TestSimulatedBox::writeOfNoOrTooManyBytesIsRejected() {
    Rig rig;
    QVERIFY(rig.write(QByteArray()) != usbstatus::kSuccess);
    QVERIFY(rig.write(withTail(bytes({0x10, 0x41, 0xB2}), filled(65, 1))) != usbstatus::kSuccess);
    QVERIFY(rig.box.frames().empty());
    QCOMPARE(rig.waiting(), 0u);
    QCOMPARE(rig.write(withTail(bytes({0x10, 0x40, 0xB2}), filled(64, 1))), usbstatus::kSuccess);
    QCOMPARE(rig.collect(), bytes({0xB2, 0x00}));
}

void TestSimulatedBox::readHandsOutAtMostWanted() {
    Rig rig;
    rig.box.flush(rig.handle, 1, 1);
    rig.write(kStatusRead);
    QCOMPARE(rig.waiting(), 42u);
    std::array<uint8_t, proto::kReplySize> buffer{};
    uint32_t got = 0;
    QCOMPARE(rig.box.read(rig.handle, buffer.data(), 10, &got), usbstatus::kSuccess);
    QCOMPARE(got, 10u);
    QCOMPARE(buffer[0], uint8_t(0xE1));
    QCOMPARE(rig.waiting(), 32u);
    QCOMPARE(rig.box.read(rig.handle, buffer.data(), 64, &got), usbstatus::kSuccess);
    QCOMPARE(got, 32u);
    QCOMPARE(buffer[0], SimulatedBox::factorySettings()[8]);
    QCOMPARE(rig.waiting(), 0u);
}

void TestSimulatedBox::readWithNothingQueuedDeliversNothing() {
    Rig rig;
    std::array<uint8_t, proto::kReplySize> buffer;
    buffer.fill(kGuard);
    uint32_t got = 99;
    QVERIFY(rig.box.read(rig.handle, buffer.data(), 64, &got) != usbstatus::kSuccess);
    QCOMPARE(got, 0u);
    QCOMPARE(buffer[0], kGuard);
    QVERIFY(rig.clock.sleeps().empty());
}

void TestSimulatedBox::flushDropsOnlyTheReceiveSide() {
    Rig rig;
    rig.write(kStatusRead);
    QCOMPARE(rig.box.flush(rig.handle, 1, 0), usbstatus::kSuccess);
    QCOMPARE(rig.waiting(), 42u);
    QCOMPARE(rig.box.flush(rig.handle, 0, 1), usbstatus::kSuccess);
    QCOMPARE(rig.waiting(), 0u);
}

void TestSimulatedBox::unflushedReplyStaysQueued() {
    Rig rig;
    rig.write(bytes({0x10, 0x04, 0xE0, 0x0B, 0x00}));
    rig.write(bytes({0x10, 0x01, 0xB5}));
    QCOMPARE(rig.collect(), bytes({0xE0, 0x00, 0xB5, 0x00}));
}

void TestSimulatedBox::onlyAnEmptyQueueQuerySleeps() {
    Rig rig;
    QCOMPARE(rig.transact(kStatusRead).size(), 42);
    uint32_t readMs = 0;
    uint32_t writeMs = 0;
    rig.box.timeouts(&readMs, &writeMs);
    rig.box.setTimeouts(0, 4000);
    QVERIFY(rig.clock.sleeps().empty());
    QCOMPARE(rig.waiting(), 0u);
    QCOMPARE(rig.waiting(), 0u);
    QCOMPARE(rig.clock.sleeps(), (std::vector<uint32_t>{1, 1}));
}

void TestSimulatedBox::silentBoxLetsTheLinkTimeOut() {
    Rig rig;
    rig.box.injectFault(Fault::Silent, 0xE1);
    const uint32_t start = rig.clock.tickCount();
    QCOMPARE(rig.transact(kStatusRead), QByteArray());
    QCOMPARE(rig.clock.tickCount() - start, kLinkTimeoutMs);
    const auto queries = std::count(rig.box.calls().begin(), rig.box.calls().end(), std::string("rxQueue"));
    QCOMPARE(queries, std::ptrdiff_t(kLinkTimeoutMs));
}

void TestSimulatedBox::frameLogTimes() {
    FakeLinkClock clock(0xFFFFFF00u);
    SimulatedBox box(clock);
    UsbHandle handle = kNoDeviceHandle;
    box.open(0, &handle);
    const uint8_t first[] = {0x10, 0x01, 0xB5};
    const uint8_t second[] = {0x11, 0x2A, 0xE1};
    uint32_t written = 0;
    box.write(handle, first, sizeof first, &written);
    clock.advance(0x180);
    box.write(handle, second, sizeof second, &written);
    QCOMPARE(box.frames().size(), size_t(2));
    QCOMPARE(box.frames()[0].time, 0xFFFFFF00u);
    QCOMPARE(box.frames()[1].time, 0x80u);
    QCOMPARE(toBytes(box.frames()[0].request), bytes({0x10, 0x01, 0xB5}));
    QCOMPARE(toBytes(box.frames()[0].reply), bytes({0xB5, 0x00}));
    QCOMPARE(box.frames()[1].reply.size(), size_t(42));
}

namespace {

QByteArray sourceBlocks(SimulatedBox &box) {
    return toBytes(box.registerBlock(proto::kRegVideoStatus)) +
           toBytes(box.registerBlock(proto::kRegSourceProduct)) +
           toBytes(box.registerBlock(proto::kRegHdrCapture));
}

constexpr uint32_t kLongerThanAnyScenario = 60000;

} // namespace

void TestSimulatedBox::livelyBoxChangesOnlyWhenFramesArrive() {
    Rig rig;
    rig.box.setLively(true);
    const QByteArray first = sourceBlocks(rig.box);
    rig.clock.advance(kLongerThanAnyScenario);
    QCOMPARE(sourceBlocks(rig.box), first);

    // Walk one second at a time: the source changes now and then, never at every frame.
    std::set<QByteArray> seen{first};
    int changes = 0;
    QByteArray previous = first;
    for (int second = 0; second < 120; ++second) {
        rig.transact(kStatusRead);
        const QByteArray now = sourceBlocks(rig.box);
        if (now != previous) {
            ++changes;
        }
        seen.insert(now);
        previous = now;
        rig.clock.advance(1000);
    }
    QVERIFY(seen.size() >= 3);
    QVERIFY(changes >= 5);
    QVERIFY(changes <= 40);

    rig.box.setLively(false);
    const QByteArray frozen = sourceBlocks(rig.box);
    rig.clock.advance(kLongerThanAnyScenario);
    rig.transact(kStatusRead);
    QCOMPARE(sourceBlocks(rig.box), frozen);
}

void TestSimulatedBox::livelyScenariosAreConsistent() {
    Rig rig;
    rig.box.setLively(true);
    for (int second = 0; second < 120; ++second) {
        rig.transact(kStatusRead);
        const sim::RegisterBlock &video = rig.box.registerBlock(proto::kRegVideoStatus);
        QVERIFY(video[2] <= 107);
        QCOMPARE(video[5] & ~0x60, 0);
        QVERIFY(video[14] == 0 || video[14] == 0x20 || video[14] == 0x40);
        const sim::RegisterBlock &source = rig.box.registerBlock(proto::kRegSourceProduct);
        QVERIFY(printableName(source, 4, 8));
        QVERIFY(printableName(source, 12, 16));
        // An HDR infoframe is captured exactly when the source sends HDR.
        const sim::RegisterBlock &hdr = rig.box.registerBlock(proto::kRegHdrCapture);
        if (hdr[4] != 0) {
            QCOMPARE(hdr[2], uint8_t(0x87));
            QVERIFY(hdr[3] > 0 && hdr[3] <= 27);
        } else {
            QCOMPARE(hdr[2], uint8_t(0));
            QCOMPARE(hdr[3], uint8_t(0));
        }
        rig.clock.advance(1000);
    }
}

void TestSimulatedBox::boxIsStillUnlessLively() {
    Rig rig;
    const QByteArray first = sourceBlocks(rig.box);
    for (int i = 0; i < 10; ++i) {
        rig.clock.advance(kLongerThanAnyScenario);
        rig.transact(kStatusRead);
    }
    QCOMPARE(sourceBlocks(rig.box), first);
}

QTEST_GUILESS_MAIN(TestSimulatedBox)
#include "tst_sim.moc"
