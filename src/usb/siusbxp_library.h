#pragma once
// The ten library calls on Windows: the vendor's USB library, loaded at run time and
// taken by ordinal. Without the library (or with one that lacks a call) the utility
// sees no device attached.

#include "core/box/usbxpress.h"

class SiUsbXpLibrary : public UsbXpress {
public:
    SiUsbXpLibrary();
    ~SiUsbXpLibrary() override;
    SiUsbXpLibrary(const SiUsbXpLibrary &) = delete;
    SiUsbXpLibrary &operator=(const SiUsbXpLibrary &) = delete;

    bool loaded() const { return module_ != nullptr; }

    int deviceCount(uint32_t *count) override;
    int productString(uint32_t index, char buffer[256], uint32_t option) override;
    int open(uint32_t index, UsbHandle *handle) override;
    int close(UsbHandle handle) override;
    int read(UsbHandle handle, uint8_t *buffer, uint32_t wanted, uint32_t *got) override;
    int write(UsbHandle handle, const uint8_t *bytes, uint32_t count, uint32_t *written) override;
    int flush(UsbHandle handle, uint8_t transmit, uint8_t receive) override;
    int setTimeouts(uint32_t readMs, uint32_t writeMs) override;
    int timeouts(uint32_t *readMs, uint32_t *writeMs) override;
    int rxQueue(UsbHandle handle, uint32_t *bytesWaiting, uint32_t *status) override;

private:
    // The library's module and its ten entry points, kept untyped so that this header
    // needs no Windows header; the .cpp knows their types.
    using Entry = void (*)();
    void *module_ = nullptr;
    Entry deviceCount_ = nullptr;
    Entry productString_ = nullptr;
    Entry open_ = nullptr;
    Entry close_ = nullptr;
    Entry read_ = nullptr;
    Entry write_ = nullptr;
    Entry flush_ = nullptr;
    Entry setTimeouts_ = nullptr;
    Entry timeouts_ = nullptr;
    Entry rxQueue_ = nullptr;
};
