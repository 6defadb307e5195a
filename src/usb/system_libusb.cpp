#include "usb/system_libusb.h"

#include "usb/device_facts.h"

#include <dlfcn.h>

#include <array>
#include <cstdio>

namespace usb {

struct SystemLibusb::Libusb {
    void *library = nullptr;
    decltype(&libusb_init) init = nullptr;
    decltype(&libusb_exit) exit = nullptr;
    decltype(&libusb_get_device_list) getDeviceList = nullptr;
    decltype(&libusb_free_device_list) freeDeviceList = nullptr;
    decltype(&libusb_get_device_descriptor) getDeviceDescriptor = nullptr;
    decltype(&libusb_get_bus_number) getBusNumber = nullptr;
    decltype(&libusb_get_port_numbers) getPortNumbers = nullptr;
    decltype(&libusb_get_config_descriptor) getConfigDescriptor = nullptr;
    decltype(&libusb_free_config_descriptor) freeConfigDescriptor = nullptr;
    decltype(&libusb_open) open = nullptr;
    decltype(&libusb_close) close = nullptr;
    decltype(&libusb_set_auto_detach_kernel_driver) setAutoDetachKernelDriver = nullptr;
    decltype(&libusb_claim_interface) claimInterface = nullptr;
    decltype(&libusb_release_interface) releaseInterface = nullptr;
    decltype(&libusb_clear_halt) clearHalt = nullptr;
    decltype(&libusb_control_transfer) controlTransfer = nullptr;
    decltype(&libusb_bulk_transfer) bulkTransfer = nullptr;
    decltype(&libusb_get_string_descriptor_ascii) getStringDescriptorAscii = nullptr;

    ~Libusb() {
        if (library != nullptr) {
            dlclose(library);
        }
    }

    // Every function, or false (the library is missing or lacks one).
    bool load() {
        library = dlopen("libusb-1.0.so.0", RTLD_NOW | RTLD_LOCAL);
        return library != nullptr && resolve("libusb_init", &init) && resolve("libusb_exit", &exit) &&
               resolve("libusb_get_device_list", &getDeviceList) &&
               resolve("libusb_free_device_list", &freeDeviceList) &&
               resolve("libusb_get_device_descriptor", &getDeviceDescriptor) &&
               resolve("libusb_get_bus_number", &getBusNumber) &&
               resolve("libusb_get_port_numbers", &getPortNumbers) &&
               resolve("libusb_get_config_descriptor", &getConfigDescriptor) &&
               resolve("libusb_free_config_descriptor", &freeConfigDescriptor) &&
               resolve("libusb_open", &open) && resolve("libusb_close", &close) &&
               resolve("libusb_set_auto_detach_kernel_driver", &setAutoDetachKernelDriver) &&
               resolve("libusb_claim_interface", &claimInterface) &&
               resolve("libusb_release_interface", &releaseInterface) &&
               resolve("libusb_clear_halt", &clearHalt) &&
               resolve("libusb_control_transfer", &controlTransfer) &&
               resolve("libusb_bulk_transfer", &bulkTransfer) &&
               resolve("libusb_get_string_descriptor_ascii", &getStringDescriptorAscii);
    }

private:
    template <typename Function> bool resolve(const char *name, Function *function) {
        *function = reinterpret_cast<Function>(dlsym(library, name));
        return *function != nullptr;
    }
};

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

SystemLibusb::SystemLibusb() : libusb_(std::make_unique<Libusb>()) {
    // Without the library every device list fails, as libusb fails on a system without USB.
    initResult_ = libusb_->load() ? libusb_->init(&context_) : LIBUSB_ERROR_NOT_SUPPORTED;
}

SystemLibusb::~SystemLibusb() {
    freeList();
    if (initResult_ == LIBUSB_SUCCESS) {
        libusb_->exit(context_);
    }
}

void SystemLibusb::freeList() {
    if (list_ != nullptr) {
        // Open devices keep their own reference; the others go with the list.
        libusb_->freeDeviceList(list_, 1);
        list_ = nullptr;
    }
}

int SystemLibusb::deviceList(std::vector<DeviceRef> *devices) {
    devices->clear();
    freeList();
    if (initResult_ != LIBUSB_SUCCESS) {
        return initResult_;
    }
    const ssize_t count = libusb_->getDeviceList(context_, &list_);
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
    int result = libusb_->getDeviceDescriptor(deviceOf(device), &descriptor);
    if (result != LIBUSB_SUCCESS) {
        return result;
    }
    info->vendorId = descriptor.idVendor;
    info->manufacturerString = descriptor.iManufacturer;
    info->productString = descriptor.iProduct;
    info->serialString = descriptor.iSerialNumber;
    info->bus = libusb_->getBusNumber(deviceOf(device));
    std::array<uint8_t, kMaxPortDepth> ports{};
    const int depth = libusb_->getPortNumbers(deviceOf(device), ports.data(), kMaxPortDepth);
    if (depth > 0) {
        info->ports.assign(ports.begin(), ports.begin() + depth);
    }
    libusb_config_descriptor *config = nullptr;
    result = libusb_->getConfigDescriptor(deviceOf(device), 0, &config);
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
    libusb_->freeConfigDescriptor(config);
    return LIBUSB_SUCCESS;
}

int SystemLibusb::open(DeviceRef device, OpenRef *handle) {
    libusb_device_handle *opened = nullptr;
    const int result = libusb_->open(deviceOf(device), &opened);
    *handle = reinterpret_cast<OpenRef>(opened);
    return result;
}

void SystemLibusb::close(OpenRef handle) {
    libusb_->close(handleOf(handle));
}

int SystemLibusb::setAutoDetachKernelDriver(OpenRef handle, bool enable) {
    return libusb_->setAutoDetachKernelDriver(handleOf(handle), enable ? 1 : 0);
}

int SystemLibusb::claimInterface(OpenRef handle, uint8_t interface) {
    return libusb_->claimInterface(handleOf(handle), interface);
}

int SystemLibusb::releaseInterface(OpenRef handle, uint8_t interface) {
    return libusb_->releaseInterface(handleOf(handle), interface);
}

int SystemLibusb::clearHalt(OpenRef handle, uint8_t endpoint) {
    return libusb_->clearHalt(handleOf(handle), endpoint);
}

int SystemLibusb::controlTransfer(OpenRef handle, uint8_t requestType, uint8_t request, uint16_t value,
                                  uint16_t index, unsigned timeoutMs) {
    return libusb_->controlTransfer(handleOf(handle), requestType, request, value, index, nullptr, 0,
                                    timeoutMs);
}

int SystemLibusb::bulkRead(OpenRef handle, uint8_t endpoint, uint8_t *buffer, int length, int *transferred,
                           unsigned timeoutMs) {
    return libusb_->bulkTransfer(handleOf(handle), endpoint, buffer, length, transferred, timeoutMs);
}

int SystemLibusb::bulkWrite(OpenRef handle, uint8_t endpoint, const uint8_t *bytes, int length,
                            int *transferred, unsigned timeoutMs) {
    // libusb takes one buffer for both directions and only reads it on OUT.
    return libusb_->bulkTransfer(handleOf(handle), endpoint, const_cast<uint8_t *>(bytes), length,
                                 transferred, timeoutMs);
}

int SystemLibusb::stringDescriptorAscii(OpenRef handle, uint8_t index, char *buffer, int size) {
    return libusb_->getStringDescriptorAscii(handleOf(handle), index,
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
