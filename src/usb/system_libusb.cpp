#include "usb/system_libusb.h"

#include "usb/device_facts.h"

#include <array>
#include <cstdio>

namespace usb {

namespace {

constexpr int kMaxPortDepth = 7; // hubs a USB device can sit behind, plus its own port
constexpr size_t kSysfsValueSize = 256;

libusb_device *deviceOf(DeviceRef device) {
    return reinterpret_cast<libusb_device *>(device);
}
libusb_device_handle *handleOf(OpenRef handle) {
    return reinterpret_cast<libusb_device_handle *>(handle);
}

} // namespace

SystemLibusb::SystemLibusb() {
    initResult_ = libusb_init(&context_);
}

SystemLibusb::~SystemLibusb() {
    freeList();
    if (initResult_ == LIBUSB_SUCCESS) {
        libusb_exit(context_);
    }
}

void SystemLibusb::freeList() {
    if (list_ != nullptr) {
        // Open devices keep their own reference; the others go with the list.
        libusb_free_device_list(list_, 1);
        list_ = nullptr;
    }
}

int SystemLibusb::deviceList(std::vector<DeviceRef> *devices) {
    devices->clear();
    freeList();
    if (initResult_ != LIBUSB_SUCCESS) {
        return initResult_;
    }
    const ssize_t count = libusb_get_device_list(context_, &list_);
    if (count < 0) {
        list_ = nullptr;
        return static_cast<int>(count);
    }
    for (ssize_t i = 0; i < count; ++i) {
        devices->push_back(reinterpret_cast<DeviceRef>(list_[i]));
    }
    return LIBUSB_SUCCESS;
}

int SystemLibusb::describe(DeviceRef device, DeviceInfo *info) {
    *info = DeviceInfo{};
    libusb_device_descriptor descriptor{};
    int result = libusb_get_device_descriptor(deviceOf(device), &descriptor);
    if (result != LIBUSB_SUCCESS) {
        return result;
    }
    info->vendorId = descriptor.idVendor;
    info->manufacturerString = descriptor.iManufacturer;
    info->productString = descriptor.iProduct;
    info->serialString = descriptor.iSerialNumber;
    info->bus = libusb_get_bus_number(deviceOf(device));
    std::array<uint8_t, kMaxPortDepth> ports{};
    const int depth = libusb_get_port_numbers(deviceOf(device), ports.data(), kMaxPortDepth);
    if (depth > 0) {
        info->ports.assign(ports.begin(), ports.begin() + depth);
    }
    libusb_config_descriptor *config = nullptr;
    result = libusb_get_config_descriptor(deviceOf(device), 0, &config);
    if (result != LIBUSB_SUCCESS) {
        return result;
    }
    for (uint8_t i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface &interface = config->interface[i];
        if (interface.num_altsetting < 1) {
            continue;
        }
        const libusb_interface_descriptor &setting = interface.altsetting[0];
        InterfaceInfo described;
        described.number = setting.bInterfaceNumber;
        described.interfaceClass = setting.bInterfaceClass;
        for (uint8_t e = 0; e < setting.bNumEndpoints; ++e) {
            const libusb_endpoint_descriptor &endpoint = setting.endpoint[e];
            described.endpoints.push_back(
                {endpoint.bEndpointAddress, endpoint.bmAttributes, endpoint.wMaxPacketSize});
        }
        info->interfaces.push_back(std::move(described));
    }
    libusb_free_config_descriptor(config);
    return LIBUSB_SUCCESS;
}

int SystemLibusb::open(DeviceRef device, OpenRef *handle) {
    libusb_device_handle *opened = nullptr;
    const int result = libusb_open(deviceOf(device), &opened);
    *handle = reinterpret_cast<OpenRef>(opened);
    return result;
}

void SystemLibusb::close(OpenRef handle) {
    libusb_close(handleOf(handle));
}

int SystemLibusb::setAutoDetachKernelDriver(OpenRef handle, bool enable) {
    return libusb_set_auto_detach_kernel_driver(handleOf(handle), enable ? 1 : 0);
}

int SystemLibusb::claimInterface(OpenRef handle, uint8_t interface) {
    return libusb_claim_interface(handleOf(handle), interface);
}

int SystemLibusb::releaseInterface(OpenRef handle, uint8_t interface) {
    return libusb_release_interface(handleOf(handle), interface);
}

int SystemLibusb::clearHalt(OpenRef handle, uint8_t endpoint) {
    return libusb_clear_halt(handleOf(handle), endpoint);
}

int SystemLibusb::controlTransfer(OpenRef handle, uint8_t requestType, uint8_t request, uint16_t value,
                                  uint16_t index, unsigned timeoutMs) {
    return libusb_control_transfer(handleOf(handle), requestType, request, value, index, nullptr, 0,
                                   timeoutMs);
}

int SystemLibusb::bulkRead(OpenRef handle, uint8_t endpoint, uint8_t *buffer, int length, int *transferred,
                           unsigned timeoutMs) {
    return libusb_bulk_transfer(handleOf(handle), endpoint, buffer, length, transferred, timeoutMs);
}

int SystemLibusb::bulkWrite(OpenRef handle, uint8_t endpoint, const uint8_t *bytes, int length,
                            int *transferred, unsigned timeoutMs) {
    // libusb takes one buffer for both directions and only reads it on OUT.
    return libusb_bulk_transfer(handleOf(handle), endpoint, const_cast<uint8_t *>(bytes), length, transferred,
                                timeoutMs);
}

int SystemLibusb::stringDescriptorAscii(OpenRef handle, uint8_t index, char *buffer, int size) {
    return libusb_get_string_descriptor_ascii(handleOf(handle), index,
                                              reinterpret_cast<unsigned char *>(buffer), size);
}

bool SystemLibusb::sysfsAttribute(const std::string &device, const char *attribute, std::string *value) {
    value->clear();
    const std::string path = std::string(usbfacts::kSysfsDevices) + device + "/" + attribute;
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    std::array<char, kSysfsValueSize> text{};
    const size_t length = std::fread(text.data(), 1, text.size(), file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        return false;
    }
    value->assign(text.data(), length);
    if (!value->empty() && value->back() == '\n') {
        value->pop_back();
    }
    return true;
}

} // namespace usb
