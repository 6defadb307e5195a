#include "usb/libusb_usbxpress.h"

#include <algorithm>
#include <tuple>

namespace {

constexpr uint32_t kProductStringSize = 256;

bool succeeded(int libusbResult) {
    return libusbResult >= LIBUSB_SUCCESS;
}

// A bulk read that ended on its time-out is no failure: it may even have brought data.
bool readSucceeded(int libusbResult) {
    return succeeded(libusbResult) || libusbResult == LIBUSB_ERROR_TIMEOUT;
}

// libusb takes a time-out of 0 as "wait forever"; the shortest wait here is 1 ms.
unsigned libusbTimeout(uint32_t ms) {
    return std::max<uint32_t>(ms, 1);
}

} // namespace

LibusbUsbXpress::LibusbUsbXpress(std::unique_ptr<usb::LibusbApi> api, LinkClock &clock)
    : api_(std::move(api)), clock_(clock) {}

LibusbUsbXpress::~LibusbUsbXpress() {
    for (auto &[handle, device] : open_) {
        shutDown(device);
    }
}

std::string LibusbUsbXpress::sysfsName(uint8_t bus, const std::vector<uint8_t> &ports) {
    std::string name = std::to_string(bus);
    char separator = '-';
    for (const uint8_t port : ports) {
        name += separator;
        name += std::to_string(port);
        separator = '.';
    }
    return name;
}

bool LibusbUsbXpress::listable(const usb::DeviceInfo &info, ListedDevice *listed) {
    if (info.vendorId != usbfacts::kVendorId) {
        return false;
    }
    for (const usb::InterfaceInfo &interface : info.interfaces) {
        if (interface.interfaceClass != usbfacts::kInterfaceClass) {
            continue;
        }
        int inCount = 0;
        int outCount = 0;
        for (const usb::EndpointInfo &endpoint : interface.endpoints) {
            if ((endpoint.attributes & usbfacts::kTransferTypeMask) != usbfacts::kTransferTypeBulk) {
                continue;
            }
            const uint32_t packetSize = endpoint.maxPacketSize & usbfacts::kPacketSizeMask;
            if ((endpoint.address & usbfacts::kDirectionIn) != 0) {
                ++inCount;
                listed->inEndpoint = endpoint.address;
                listed->inPacketSize = packetSize;
            } else {
                ++outCount;
                listed->outEndpoint = endpoint.address;
                listed->outPacketSize = packetSize;
            }
        }
        if (inCount == 1 && outCount == 1) {
            listed->bus = info.bus;
            listed->ports = info.ports;
            listed->interface = interface.number;
            listed->strings[kSerialNumberString] = info.serialString;
            listed->strings[kDescriptionString] = info.productString;
            listed->strings[kManufacturerString] = info.manufacturerString;
            return true;
        }
    }
    return false;
}

bool LibusbUsbXpress::packetSizesUsable(const ListedDevice &listed) {
    // A request longer than an OUT packet goes out in several; libusb splits it.
    return listed.inPacketSize >= kMinInPacketSize && listed.inPacketSize <= usbfacts::kMaxBulkPacketSize &&
           listed.outPacketSize > 0 && listed.outPacketSize <= usbfacts::kMaxBulkPacketSize;
}

LibusbUsbXpress::OpenDevice *LibusbUsbXpress::find(UsbHandle handle) {
    const auto found = open_.find(handle);
    return found == open_.end() ? nullptr : &found->second;
}

int LibusbUsbXpress::controlRequest(OpenDevice &device, uint16_t value) {
    const int result = api_->controlTransfer(device.ref, usbfacts::kRequestType, usbfacts::kRequest, value,
                                             usbfacts::kRequestIndex, kControlTimeoutMs);
    if (result == LIBUSB_ERROR_NO_DEVICE) {
        device.gone = true;
    }
    return result;
}

void LibusbUsbXpress::afterTransfer(OpenDevice &device, uint8_t endpoint, int result) {
    if (result == LIBUSB_ERROR_PIPE) {
        // A halted endpoint refuses every transfer until its halt is cleared: this
        // transfer has failed, the next one can work.
        result = api_->clearHalt(device.ref, endpoint);
    }
    if (result == LIBUSB_ERROR_NO_DEVICE) {
        device.gone = true;
    }
}

int LibusbUsbXpress::fillQueue(OpenDevice &device, unsigned timeoutMs) {
    device.queue.fill(0);
    int transferred = 0;
    const int result =
        api_->bulkRead(device.ref, device.inEndpoint, device.queue.data(),
                       static_cast<int>(device.inPacketSize), &transferred, libusbTimeout(timeoutMs));
    afterTransfer(device, device.inEndpoint, result);
    if (!readSucceeded(result)) {
        // After an overflow or a failure the count need not be right: nothing is kept.
        return result;
    }
    // What arrived counts, also before a time-out; never more than was asked for.
    device.queued = static_cast<uint32_t>(std::clamp<int64_t>(transferred, 0, device.inPacketSize));
    return LIBUSB_SUCCESS;
}

bool LibusbUsbXpress::drainStaleInput(OpenDevice &device) {
    for (int i = 0; i < kMaxDrainReads; ++i) {
        if (fillQueue(device, kPollMs) != LIBUSB_SUCCESS) {
            return false;
        }
        const bool drained = device.queued == 0;
        device.queued = 0;
        if (drained) {
            return true;
        }
    }
    // A device that keeps talking: the flush before each transaction drops the rest.
    return true;
}

bool LibusbUsbXpress::prepare(OpenDevice &device) {
    for (const uint8_t endpoint : {device.inEndpoint, device.outEndpoint}) {
        const int result = api_->clearHalt(device.ref, endpoint);
        if (result != LIBUSB_SUCCESS) {
            device.gone = result == LIBUSB_ERROR_NO_DEVICE;
            return false;
        }
    }
    if (!succeeded(controlRequest(device, usbfacts::kValueOpen))) {
        return false;
    }
    device.enabled = true;
    return drainStaleInput(device);
}

int LibusbUsbXpress::shutDown(OpenDevice &device) {
    int status = usbstatus::kSuccess;
    if (device.gone) {
        status = usbstatus::kDeviceIoFailed;
    } else {
        // The device stays enabled until it is told otherwise.
        if (device.enabled && !succeeded(controlRequest(device, usbfacts::kValueClose))) {
            status = usbstatus::kDeviceIoFailed;
        }
        // Releasing gives the device back to a kernel driver that the claim detached.
        if (api_->releaseInterface(device.ref, device.interface) != LIBUSB_SUCCESS) {
            status = usbstatus::kDeviceIoFailed;
        }
    }
    api_->close(device.ref);
    return status;
}

int LibusbUsbXpress::deviceCount(uint32_t *count) {
    if (count == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    *count = 0;
    devices_.clear();
    std::vector<usb::DeviceRef> refs;
    if (api_->deviceList(&refs) != LIBUSB_SUCCESS) {
        return usbstatus::kSystemError;
    }
    for (const usb::DeviceRef ref : refs) {
        usb::DeviceInfo info;
        ListedDevice listed;
        if (api_->describe(ref, &info) == LIBUSB_SUCCESS && listable(info, &listed)) {
            listed.ref = ref;
            devices_.push_back(std::move(listed));
        }
    }
    // libusb lists in no particular order; the place on the bus does not change.
    std::stable_sort(devices_.begin(), devices_.end(), [](const ListedDevice &a, const ListedDevice &b) {
        return std::tie(a.bus, a.ports) < std::tie(b.bus, b.ports);
    });
    *count = static_cast<uint32_t>(devices_.size());
    return usbstatus::kSuccess;
}

int LibusbUsbXpress::productString(uint32_t index, char buffer[256], uint32_t option) {
    if (buffer == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    std::fill_n(buffer, kProductStringSize, '\0');
    if (option >= usbfacts::kStringOptionCount) {
        return usbstatus::kInvalidParameter;
    }
    if (index >= devices_.size()) {
        return usbstatus::kDeviceNotFound;
    }
    const ListedDevice &listed = devices_[index];
    const uint8_t stringIndex = listed.strings[option];
    if (stringIndex == 0) {
        return usbstatus::kSuccess; // the device has no such string: it reads as empty
    }
    usb::OpenRef ref = 0;
    if (api_->open(listed.ref, &ref) == LIBUSB_SUCCESS) {
        const int length = api_->stringDescriptorAscii(ref, stringIndex, buffer, kProductStringSize);
        api_->close(ref);
        if (length >= 0) {
            buffer[std::min<uint32_t>(static_cast<uint32_t>(length), kProductStringSize - 1)] = '\0';
            return usbstatus::kSuccess;
        }
        std::fill_n(buffer, kProductStringSize, '\0');
    }
    // Without access to the device (no udev rule, or busy) the kernel's copy still tells.
    std::string value;
    if (!api_->sysfsAttribute(sysfsName(listed.bus, listed.ports), usbfacts::kSysfsStringAttribute[option],
                              &value)) {
        return usbstatus::kDeviceIoFailed;
    }
    value.copy(buffer, kProductStringSize - 1);
    return usbstatus::kSuccess;
}

int LibusbUsbXpress::open(uint32_t index, UsbHandle *handle) {
    if (handle == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    *handle = kNoDeviceHandle;
    if (index >= devices_.size()) {
        return usbstatus::kDeviceNotFound;
    }
    const ListedDevice &listed = devices_[index];
    if (!packetSizesUsable(listed)) {
        return usbstatus::kDeviceIoFailed;
    }
    OpenDevice device;
    device.interface = listed.interface;
    device.inEndpoint = listed.inEndpoint;
    device.outEndpoint = listed.outEndpoint;
    device.inPacketSize = listed.inPacketSize;
    int result = api_->open(listed.ref, &device.ref);
    if (result != LIBUSB_SUCCESS) {
        return result == LIBUSB_ERROR_NO_DEVICE ? usbstatus::kDeviceNotFound : usbstatus::kDeviceIoFailed;
    }
    // A serial driver may have bound the device: libusb detaches it for the claim and
    // binds it again on release. Where there are no kernel drivers the call says so and
    // there is nothing to detach.
    api_->setAutoDetachKernelDriver(device.ref, true);
    result = api_->claimInterface(device.ref, device.interface);
    if (result == LIBUSB_ERROR_OTHER) {
        // Some systems refuse the detach request itself. With no driver bound a plain
        // claim still works; with one bound it fails as it should.
        api_->setAutoDetachKernelDriver(device.ref, false);
        result = api_->claimInterface(device.ref, device.interface);
    }
    if (result != LIBUSB_SUCCESS) {
        api_->close(device.ref);
        return usbstatus::kDeviceIoFailed;
    }
    if (!prepare(device)) {
        shutDown(device);
        return usbstatus::kDeviceIoFailed;
    }
    const UsbHandle opened = nextHandle_++;
    open_.emplace(opened, device);
    *handle = opened;
    return usbstatus::kSuccess;
}

int LibusbUsbXpress::close(UsbHandle handle) {
    const auto found = open_.find(handle);
    if (found == open_.end()) {
        return usbstatus::kInvalidHandle;
    }
    const int status = shutDown(found->second);
    open_.erase(found);
    return status;
}

int LibusbUsbXpress::read(UsbHandle handle, uint8_t *buffer, uint32_t wanted, uint32_t *got) {
    if (got != nullptr) {
        *got = 0;
    }
    OpenDevice *device = find(handle);
    if (device == nullptr) {
        return usbstatus::kInvalidHandle;
    }
    if (buffer == nullptr || got == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    if (wanted == 0 || wanted > kMaxTransferSize) {
        return usbstatus::kInvalidRequestLength;
    }
    if (device->gone) {
        return usbstatus::kDeviceIoFailed;
    }
    const uint32_t start = clock_.tickCount();
    while (device->queued == 0) {
        const uint32_t elapsed = clock_.tickCount() - start;
        if (elapsed >= readTimeoutMs_) {
            break;
        }
        if (fillQueue(*device, std::min<uint32_t>(kPollMs, readTimeoutMs_ - elapsed)) != LIBUSB_SUCCESS) {
            return usbstatus::kReadError;
        }
    }
    if (device->queued == 0) {
        return usbstatus::kReadTimedOut;
    }
    const uint32_t taken = std::min(wanted, device->queued);
    auto queueStart = device->queue.begin();
    std::copy_n(queueStart, taken, buffer);
    std::copy(queueStart + taken, queueStart + device->queued, queueStart);
    device->queued -= taken;
    *got = taken;
    return usbstatus::kSuccess;
}

int LibusbUsbXpress::write(UsbHandle handle, const uint8_t *bytes, uint32_t count, uint32_t *written) {
    if (written != nullptr) {
        *written = 0;
    }
    OpenDevice *device = find(handle);
    if (device == nullptr) {
        return usbstatus::kInvalidHandle;
    }
    if (bytes == nullptr || written == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    if (count == 0 || count > kMaxTransferSize) {
        return usbstatus::kInvalidRequestLength;
    }
    if (device->gone) {
        return usbstatus::kDeviceIoFailed;
    }
    int transferred = 0;
    const int result = api_->bulkWrite(device->ref, device->outEndpoint, bytes, static_cast<int>(count),
                                       &transferred, libusbTimeout(writeTimeoutMs_));
    *written = static_cast<uint32_t>(std::clamp<int64_t>(transferred, 0, count));
    afterTransfer(*device, device->outEndpoint, result);
    if (result == LIBUSB_SUCCESS && *written == count) {
        return usbstatus::kSuccess;
    }
    if (result == LIBUSB_ERROR_TIMEOUT) {
        return usbstatus::kWriteTimedOut;
    }
    return usbstatus::kWriteError;
}

int LibusbUsbXpress::flush(UsbHandle handle, uint8_t /*transmit*/, uint8_t receive) {
    OpenDevice *device = find(handle);
    if (device == nullptr) {
        return usbstatus::kInvalidHandle;
    }
    if (device->gone) {
        return usbstatus::kDeviceIoFailed;
    }
    // Nothing waits on the host to be sent: a write has finished when it returns.
    if (receive == 0) {
        return usbstatus::kSuccess;
    }
    device->queue.fill(0);
    device->queued = 0;
    return succeeded(controlRequest(*device, usbfacts::kValueFlush)) ? usbstatus::kSuccess
                                                                     : usbstatus::kDeviceIoFailed;
}

int LibusbUsbXpress::setTimeouts(uint32_t readMs, uint32_t writeMs) {
    readTimeoutMs_ = readMs;
    writeTimeoutMs_ = writeMs;
    return usbstatus::kSuccess;
}

int LibusbUsbXpress::timeouts(uint32_t *readMs, uint32_t *writeMs) {
    if (readMs == nullptr || writeMs == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    *readMs = readTimeoutMs_;
    *writeMs = writeTimeoutMs_;
    return usbstatus::kSuccess;
}

int LibusbUsbXpress::rxQueue(UsbHandle handle, uint32_t *bytesWaiting, uint32_t *status) {
    if (bytesWaiting != nullptr) {
        *bytesWaiting = 0;
    }
    if (status != nullptr) {
        *status = 0; // no queue state is kept beyond the count
    }
    OpenDevice *device = find(handle);
    if (device == nullptr) {
        return usbstatus::kInvalidHandle;
    }
    if (bytesWaiting == nullptr || status == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    if (device->gone) {
        return usbstatus::kDeviceIoFailed;
    }
    if (device->queued == 0 && fillQueue(*device, kPollMs) != LIBUSB_SUCCESS) {
        return usbstatus::kDeviceIoFailed;
    }
    *bytesWaiting = device->queued;
    return usbstatus::kSuccess;
}
