#include "device_link.h"

#include <QMessageBox>
#include <QString>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

UsbHandle g_deviceHandle = kNoDeviceHandle;
bool g_linkBusy = false;

constexpr uint32_t kProductStringSize = 256;

void showWarningBox(const char *text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral(" "), QString::fromLatin1(text), QMessageBox::Ok);
    box.exec();
}

LinkMessagePresenter g_presentMessage = showWarningBox;

void showLinkMessage(const char *text) { g_presentMessage(text); }

UsbXpress &usb() { return *installedUsb(); }
LinkClock &linkClock() { return *installedClock(); }

bool serialMatches(const std::array<char, kProductStringSize> &reported, const char *serial) {
    // A string the library left unterminated is compared within its buffer only.
    const size_t reportedLength = strnlen(reported.data(), reported.size());
    return reportedLength == std::strlen(serial) && std::memcmp(reported.data(), serial, reportedLength) == 0;
}

// Runs one library transfer under its own time-outs and restores the library's own.
template <typename Transfer> bool withTimeouts(uint32_t readMs, uint32_t writeMs, Transfer transfer) {
    uint32_t savedRead = 0;
    uint32_t savedWrite = 0;
    usb().timeouts(&savedRead, &savedWrite);
    usb().setTimeouts(readMs, writeMs);
    const int status = transfer();
    usb().setTimeouts(savedRead, savedWrite);
    return status == usbstatus::kSuccess;
}

struct BusyGuard {
    BusyGuard() { g_linkBusy = true; }
    ~BusyGuard() { g_linkBusy = false; }
    BusyGuard(const BusyGuard &) = delete;
    BusyGuard &operator=(const BusyGuard &) = delete;
};

} // namespace

void installLinkMessagePresenter(LinkMessagePresenter presenter) {
    g_presentMessage = presenter != nullptr ? presenter : showWarningBox;
}

UsbHandle deviceHandle() { return g_deviceHandle; }
void forgetDevice() { g_deviceHandle = kNoDeviceHandle; }
bool linkBusy() { return g_linkBusy; }

bool FindDevice(const char *serial, uint32_t *index) {
    g_deviceHandle = kNoDeviceHandle;
    uint32_t count = 0;
    if (usb().deviceCount(&count) != usbstatus::kSuccess) {
        showLinkMessage("VELTRIKA USB not connected!");
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        std::array<char, kProductStringSize> reported{};
        if (usb().productString(i, reported.data(), kSerialNumberString) == usbstatus::kSuccess &&
            serialMatches(reported, serial)) {
            *index = i;
            return true;
        }
    }
    showLinkMessage("VELTRIKA USB not connected!");
    return false;
}

bool OpenDevice(uint32_t index) {
    if (usb().open(index, &g_deviceHandle) != usbstatus::kSuccess) {
        showLinkMessage("Usb device open error!");
        g_deviceHandle = kNoDeviceHandle;
        return false;
    }
    return true;
}

void CloseDevice() {
    if (g_deviceHandle == kNoDeviceHandle) {
        return;
    }
    const UsbHandle handle = g_deviceHandle;
    // Forget the handle first: a second close from a nested loop must find nothing open.
    g_deviceHandle = kNoDeviceHandle;
    if (usb().close(handle) != usbstatus::kSuccess) {
        showLinkMessage("Unable to close device handle!");
    }
}

bool LinkWrite(const uint8_t *bytes, uint32_t count, uint32_t *written, uint32_t timeoutMs) {
    return withTimeouts(0, timeoutMs, [&] { return usb().write(g_deviceHandle, bytes, count, written); });
}

bool LinkRead(uint8_t *buffer, uint32_t count, uint32_t *read, uint32_t timeoutMs) {
    return withTimeouts(timeoutMs, 0, [&] { return usb().read(g_deviceHandle, buffer, count, read); });
}

bool LinkTransact(proto::ReplyBuffer &reply, const uint8_t *request, uint32_t minimumLength,
                  uint32_t requestLength, uint32_t *received) {
    if (received != nullptr) {
        *received = 0;
    }
    const uint32_t start = linkClock().tickCount();
    const BusyGuard busy;
    if (g_deviceHandle == kNoDeviceHandle) {
        return true;
    }
    usb().flush(g_deviceHandle, 1, 1);
    uint32_t written = 0;
    if (!LinkWrite(request, requestLength, &written, kLinkTimeoutMs)) {
        return false;
    }
    uint32_t waiting = 0;
    while (waiting < 1) {
        if (linkClock().tickCount() - start >= kLinkTimeoutMs) {
            break;
        }
        uint32_t queueStatus = 0;
        if (usb().rxQueue(g_deviceHandle, &waiting, &queueStatus) != usbstatus::kSuccess) {
            // One message per transaction: polling on would stack a modal box per query.
            showLinkMessage("Error Checking RX Queue");
            return false;
        }
    }
    if (waiting < 1) {
        return true;
    }
    proto::ReplyBuffer scratch{};
    uint32_t got = 0;
    const bool readOk = LinkRead(scratch.data(), proto::kReplySize, &got, kLinkTimeoutMs);
    // Whatever the library claims, no more than the scratch area holds is taken.
    const uint32_t taken = std::min<uint32_t>(got, proto::kReplySize);
    std::copy_n(scratch.begin(), taken, reply.begin());
    if (received != nullptr) {
        *received = taken;
    }
    return readOk && taken >= minimumLength;
}

bool transactAccepted(proto::ReplyBuffer &reply, const proto::RequestFrame &frame, uint32_t minimumLength,
                      uint8_t marker) {
    return LinkTransact(reply, frame.bytes.data(), minimumLength, frame.length) && proto::hasMarker(reply, marker);
}
