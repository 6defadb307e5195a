#pragma once
// The libusb seam on the real libusb-1.0 and the real sysfs. libusb-1.0 is loaded when the
// first SystemLibusb is made, that is when the box is first looked for, not at the program's
// start: a command that needs no box (an EDID decode) does not pay for loading it and the
// udev library it brings.

#include "usb/libusb_api.h"

#include <memory>

namespace usb {

class SystemLibusb : public LibusbApi {
public:
    SystemLibusb();
    ~SystemLibusb() override;
    SystemLibusb(const SystemLibusb &) = delete;
    SystemLibusb &operator=(const SystemLibusb &) = delete;

    int deviceList(std::vector<DeviceRef> *devices) override;
    int describe(DeviceRef device, DeviceInfo *info) override;
    int open(DeviceRef device, OpenRef *handle) override;
    void close(OpenRef handle) override;
    int setAutoDetachKernelDriver(OpenRef handle, bool enable) override;
    int claimInterface(OpenRef handle, uint8_t interface) override;
    int releaseInterface(OpenRef handle, uint8_t interface) override;
    int clearHalt(OpenRef handle, uint8_t endpoint) override;
    int controlTransfer(OpenRef handle, uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                        unsigned timeoutMs) override;
    int bulkRead(OpenRef handle, uint8_t endpoint, uint8_t *buffer, int length, int *transferred,
                 unsigned timeoutMs) override;
    int bulkWrite(OpenRef handle, uint8_t endpoint, const uint8_t *bytes, int length, int *transferred,
                  unsigned timeoutMs) override;
    int stringDescriptorAscii(OpenRef handle, uint8_t index, char *buffer, int size) override;
    bool sysfsAttribute(const std::string &device, const char *attribute, std::string *value) override;

private:
    struct Libusb; // the library's functions this class calls
    void freeList();

    std::unique_ptr<Libusb> libusb_;
    libusb_context *context_ = nullptr;
    int initResult_ = LIBUSB_SUCCESS;
    libusb_device **list_ = nullptr;
};

} // namespace usb
