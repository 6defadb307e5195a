#pragma once
// What the libusb backend needs of libusb and of the kernel's sysfs, one call for each
// libusb function it uses. SystemLibusb passes every call straight to libusb-1.0; the
// unit tests put a scripted bus behind it. Results are libusb's (0 or a LIBUSB_ERROR_*).

#include <libusb.h>

#include <cstdint>
#include <string>
#include <vector>

namespace usb {

// Opaque to the backend: a device of the last device list, and an open device.
using DeviceRef = std::uintptr_t;
using OpenRef = std::uintptr_t;

struct EndpointInfo {
    uint8_t address = 0;
    uint8_t attributes = 0;
    uint16_t maxPacketSize = 0; // wMaxPacketSize as the descriptor has it
};

// The first alternate setting of one interface.
struct InterfaceInfo {
    uint8_t number = 0;
    uint8_t interfaceClass = 0;
    std::vector<EndpointInfo> endpoints;
};

// What the kernel keeps of a device's descriptors: reading it costs no transfer.
struct DeviceInfo {
    uint16_t vendorId = 0;
    uint8_t manufacturerString = 0; // string descriptor indices; 0 when the device has none
    uint8_t productString = 0;
    uint8_t serialString = 0;
    uint8_t bus = 0;
    std::vector<uint8_t> ports;            // port numbers from the root hub down
    std::vector<InterfaceInfo> interfaces; // of the first configuration
};

class LibusbApi {
public:
    virtual ~LibusbApi() = default;
    // libusb_get_device_list: the references stay valid until the next call.
    virtual int deviceList(std::vector<DeviceRef> *devices) = 0;
    virtual int describe(DeviceRef device, DeviceInfo *info) = 0;
    virtual int open(DeviceRef device, OpenRef *handle) = 0;
    virtual void close(OpenRef handle) = 0;
    virtual int setAutoDetachKernelDriver(OpenRef handle, bool enable) = 0;
    virtual int claimInterface(OpenRef handle, uint8_t interface) = 0;
    virtual int releaseInterface(OpenRef handle, uint8_t interface) = 0;
    virtual int clearHalt(OpenRef handle, uint8_t endpoint) = 0;
    // libusb_control_transfer without a data stage.
    virtual int controlTransfer(OpenRef handle, uint8_t requestType, uint8_t request, uint16_t value,
                                uint16_t index, unsigned timeoutMs) = 0;
    // libusb_bulk_transfer, one call for each direction. `transferred` counts also on a time-out.
    virtual int bulkRead(OpenRef handle, uint8_t endpoint, uint8_t *buffer, int length, int *transferred,
                         unsigned timeoutMs) = 0;
    virtual int bulkWrite(OpenRef handle, uint8_t endpoint, const uint8_t *bytes, int length,
                          int *transferred, unsigned timeoutMs) = 0;
    // libusb_get_string_descriptor_ascii: the length of the zero-terminated string, or an error.
    virtual int stringDescriptorAscii(OpenRef handle, uint8_t index, char *buffer, int size) = 0;
    // One attribute of a device in /sys/bus/usb/devices (`device` as "1-4.2"), without a
    // trailing newline; false when it cannot be read.
    virtual bool sysfsAttribute(const std::string &device, const char *attribute, std::string *value) = 0;
};

} // namespace usb
