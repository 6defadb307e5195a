#include "fake_libusb.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>

namespace usbfake {

namespace {
constexpr usb::DeviceRef kFirstDeviceRef = 100;

size_t indexOf(usb::DeviceRef device) {
    return device - kFirstDeviceRef;
}
} // namespace

QStringList FakeBus::takeCalls() {
    QStringList taken;
    taken.swap(calls);
    return taken;
}

void FakeLibusb::log(const char *format, ...) {
    std::array<char, 128> line{};
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line.data(), line.size(), format, arguments);
    va_end(arguments);
    bus_.calls.append(QString::fromLatin1(line.data()));
}

bool FakeLibusb::gone(usb::OpenRef handle) const {
    const auto open = bus_.openDevices.find(handle);
    return open == bus_.openDevices.end() || bus_.devices[open->second].unplugged;
}

FakeDevice &FakeLibusb::deviceOf(usb::OpenRef handle) {
    return bus_.devices.at(bus_.openDevices.at(handle));
}

int FakeLibusb::deviceList(std::vector<usb::DeviceRef> *devices) {
    log("list");
    devices->clear();
    if (bus_.listResult != LIBUSB_SUCCESS) {
        return bus_.listResult;
    }
    for (size_t i = 0; i < bus_.devices.size(); ++i) {
        if (!bus_.devices[i].unplugged) {
            devices->push_back(kFirstDeviceRef + i);
        }
    }
    return LIBUSB_SUCCESS;
}

int FakeLibusb::describe(usb::DeviceRef device, usb::DeviceInfo *info) {
    const FakeDevice &described = bus_.devices.at(indexOf(device));
    *info = described.info;
    return described.describeResult;
}

int FakeLibusb::open(usb::DeviceRef device, usb::OpenRef *handle) {
    const size_t index = indexOf(device);
    log("open %zu", index);
    const FakeDevice &opened = bus_.devices.at(index);
    if (opened.unplugged) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    if (opened.openResult != LIBUSB_SUCCESS) {
        return opened.openResult;
    }
    *handle = bus_.nextHandle++;
    bus_.openDevices[*handle] = index;
    return LIBUSB_SUCCESS;
}

void FakeLibusb::close(usb::OpenRef handle) {
    log("close %zu", static_cast<size_t>(handle));
    bus_.openDevices.erase(handle);
}

int FakeLibusb::setAutoDetachKernelDriver(usb::OpenRef handle, bool enable) {
    log("autoDetach %zu %s", static_cast<size_t>(handle), enable ? "on" : "off");
    bus_.autoDetach[handle] = enable;
    return bus_.autoDetachResult;
}

int FakeLibusb::claimInterface(usb::OpenRef handle, uint8_t interface) {
    log("claim %zu %u", static_cast<size_t>(handle), interface);
    if (gone(handle)) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    return bus_.autoDetach[handle] ? bus_.claimWithDetachResult : bus_.claimResult;
}

int FakeLibusb::releaseInterface(usb::OpenRef handle, uint8_t interface) {
    log("release %zu %u", static_cast<size_t>(handle), interface);
    return gone(handle) ? LIBUSB_ERROR_NO_DEVICE : bus_.releaseResult;
}

int FakeLibusb::clearHalt(usb::OpenRef handle, uint8_t endpoint) {
    log("clearHalt %zu %02x", static_cast<size_t>(handle), endpoint);
    if (gone(handle)) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    if (bus_.clearHaltResult == LIBUSB_SUCCESS) {
        deviceOf(handle).halted.erase(endpoint);
    }
    return bus_.clearHaltResult;
}

int FakeLibusb::controlTransfer(usb::OpenRef handle, uint8_t requestType, uint8_t request, uint16_t value,
                                uint16_t index, unsigned timeoutMs) {
    log("control %zu %02x %02x %04x %04x %u", static_cast<size_t>(handle), requestType, request, value, index,
        timeoutMs);
    if (gone(handle)) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    const auto scripted = bus_.controlResults.find(value);
    return scripted == bus_.controlResults.end() ? 0 : scripted->second;
}

int FakeLibusb::bulkRead(usb::OpenRef handle, uint8_t endpoint, uint8_t *buffer, int length, int *transferred,
                         unsigned timeoutMs) {
    log("bulkRead %zu %02x %d %u", static_cast<size_t>(handle), endpoint, length, timeoutMs);
    *transferred = 0;
    if (gone(handle)) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    std::set<uint8_t> &halted = deviceOf(handle).halted;
    if (halted.count(endpoint) != 0) {
        return LIBUSB_ERROR_PIPE;
    }
    if (bus_.in.empty()) {
        bus_.clock.advance(timeoutMs);
        return LIBUSB_ERROR_TIMEOUT;
    }
    InPacket packet = bus_.in.front();
    bus_.in.pop_front();
    const size_t copied = std::min(packet.bytes.size(), static_cast<size_t>(length));
    std::copy_n(packet.bytes.begin(), copied, buffer);
    *transferred = packet.reported.value_or(static_cast<int>(copied));
    if (packet.result == LIBUSB_SUCCESS && copied < packet.bytes.size()) {
        // As libusb does: the device sent more than the buffer takes.
        packet.result = LIBUSB_ERROR_OVERFLOW;
    }
    if (packet.result == LIBUSB_ERROR_TIMEOUT) {
        bus_.clock.advance(timeoutMs);
    }
    if (packet.result == LIBUSB_ERROR_PIPE) {
        halted.insert(endpoint);
    }
    return packet.result;
}

int FakeLibusb::bulkWrite(usb::OpenRef handle, uint8_t endpoint, const uint8_t *bytes, int length,
                          int *transferred, unsigned timeoutMs) {
    log("bulkWrite %zu %02x %d %u", static_cast<size_t>(handle), endpoint, length, timeoutMs);
    *transferred = 0;
    if (gone(handle)) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    std::set<uint8_t> &halted = deviceOf(handle).halted;
    if (halted.count(endpoint) != 0) {
        return LIBUSB_ERROR_PIPE;
    }
    bus_.written.emplace_back(bytes, bytes + length);
    OutResult result;
    if (!bus_.out.empty()) {
        result = bus_.out.front();
        bus_.out.pop_front();
    }
    *transferred = result.reported.value_or(length);
    if (result.result == LIBUSB_ERROR_PIPE) {
        halted.insert(endpoint);
    }
    return result.result;
}

int FakeLibusb::stringDescriptorAscii(usb::OpenRef handle, uint8_t index, char *buffer, int size) {
    log("string %zu %u", static_cast<size_t>(handle), index);
    if (gone(handle)) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    const FakeDevice &device = deviceOf(handle);
    if (device.stringResult != LIBUSB_SUCCESS) {
        return device.stringResult;
    }
    const auto text = device.strings.find(index);
    if (text == device.strings.end()) {
        return LIBUSB_ERROR_PIPE; // the device stalls a request for a string it does not have
    }
    // As libusb does: at most size - 1 characters and a terminating zero.
    const size_t length = std::min(text->second.size(), static_cast<size_t>(size - 1));
    std::copy_n(text->second.begin(), length, buffer);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

bool FakeLibusb::sysfsAttribute(const std::string &device, const char *attribute, std::string *value) {
    log("sysfs %s %s", device.c_str(), attribute);
    value->clear();
    for (const FakeDevice &candidate : bus_.devices) {
        if (candidate.sysfsName != device || candidate.unplugged) {
            continue;
        }
        const auto found = candidate.sysfs.find(attribute);
        if (found != candidate.sysfs.end()) {
            *value = found->second;
            return true;
        }
    }
    return false;
}

FakeDevice boxAt(uint8_t bus, std::vector<uint8_t> ports, uint8_t inEndpoint, uint8_t outEndpoint,
                 uint8_t interface, uint16_t packetSize) {
    constexpr uint8_t kBulk = 0x02;
    FakeDevice device;
    device.info.vendorId = 0x10C4;
    device.info.manufacturerString = 1;
    device.info.productString = 2;
    device.info.serialString = 3;
    device.info.bus = bus;
    device.info.ports = std::move(ports);
    usb::InterfaceInfo bulkPair;
    bulkPair.number = interface;
    bulkPair.interfaceClass = 0xFF;
    bulkPair.endpoints = {{inEndpoint, kBulk, packetSize}, {outEndpoint, kBulk, packetSize}};
    device.info.interfaces = {bulkPair};
    device.strings = {{1, "VELTRIKA"}, {2, "VELTRIKA USB"}, {3, "2023"}};
    return device;
}

} // namespace usbfake
