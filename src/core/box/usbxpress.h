#pragma once
// The platform seam: the USB library and the clock the device link runs on.
// A real USB backend, the simulated box and the tests' fake clock all plug in here.

#include <cstdint>

using UsbHandle = std::uintptr_t;
constexpr UsbHandle kNoDeviceHandle = ~UsbHandle(0); // "-1": no device open

// The ten library calls the device link relies on. Every call returns 0 on success.
class UsbXpress {
public:
    virtual ~UsbXpress() = default;
    // One call per line, with the library's ordinal beside it.
    // clang-format off
    virtual int deviceCount(uint32_t *count) = 0;                                              // ordinal 1
    virtual int productString(uint32_t index, char buffer[256], uint32_t option) = 0;          // ordinal 2
    virtual int open(uint32_t index, UsbHandle *handle) = 0;                                   // ordinal 3
    virtual int close(UsbHandle handle) = 0;                                                   // ordinal 4
    virtual int read(UsbHandle handle, uint8_t *buffer, uint32_t wanted, uint32_t *got) = 0;   // ordinal 6
    virtual int write(UsbHandle handle, const uint8_t *bytes, uint32_t count, uint32_t *written) = 0; // ordinal 7
    virtual int flush(UsbHandle handle, uint8_t transmit, uint8_t receive) = 0;                // ordinal 9
    virtual int setTimeouts(uint32_t readMs, uint32_t writeMs) = 0;                            // ordinal 10
    virtual int timeouts(uint32_t *readMs, uint32_t *writeMs) = 0;                             // ordinal 11
    virtual int rxQueue(UsbHandle handle, uint32_t *bytesWaiting, uint32_t *status) = 0;       // ordinal 12
    // clang-format on
};

// Milliseconds for the transaction clock and the waits between frames.
class LinkClock {
public:
    virtual ~LinkClock() = default;
    virtual uint32_t tickCount() = 0;    // wraps at 2^32 like the system tick count
    virtual void sleep(uint32_t ms) = 0; // blocking, on the GUI thread
};

// Status codes of the library calls.
namespace usbstatus {
constexpr int kSuccess = 0x00;
constexpr int kDeviceNotFound = 0xFF;
constexpr int kInvalidHandle = 0x01;
constexpr int kReadError = 0x02;
constexpr int kWriteError = 0x04;
constexpr int kInvalidParameter = 0x06;
constexpr int kInvalidRequestLength = 0x07;
constexpr int kDeviceIoFailed = 0x08;
constexpr int kSystemError = 0x0C;
constexpr int kReadTimedOut = 0x0D;
constexpr int kWriteTimedOut = 0x0E;
} // namespace usbstatus

// Options of productString.
constexpr uint32_t kSerialNumberString = 0;
constexpr uint32_t kDescriptionString = 1;
constexpr uint32_t kManufacturerString = 2;

// Installed by main() or by a test before the MainWindow is built; the caller keeps ownership.
void installPlatform(UsbXpress *usb, LinkClock *clock);

// What installPlatform installed (null before the first call).
UsbXpress *installedUsb();
LinkClock *installedClock();

// Milliseconds of the steady system clock, as the link's transaction clock.
class SystemLinkClock : public LinkClock {
public:
    uint32_t tickCount() override;
    void sleep(uint32_t ms) override;
};
