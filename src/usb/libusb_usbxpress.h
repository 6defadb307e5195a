#pragma once
// The ten library calls on libusb: the box as a vendor-specific bulk device.
//
// The device list holds the devices of the vendor that have an interface of the vendor
// class with one bulk IN and one bulk OUT endpoint, ordered by bus and port path so that
// an index means the same box from one listing to the next. Data from the device is
// taken by short bulk reads into a receive queue on the host, so that rxQueue can say
// how many bytes wait and read hands out what is queued. A transfer that meets a
// stalled endpoint fails and clears the halt, so that the next one can work. A device
// that is unplugged while open makes every later call on its handle fail at once.

#include "core/box/frames.h"
#include "core/box/usbxpress.h"
#include "usb/device_facts.h"
#include "usb/libusb_api.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class LibusbUsbXpress : public UsbXpress {
public:
    // Time-outs until setTimeouts says otherwise.
    static constexpr uint32_t kDefaultTimeoutMs = 1000;
    // The wait of one bulk read that looks for data in rxQueue and read.
    static constexpr unsigned kPollMs = 10;
    // Each bulk read asks for one packet of the IN endpoint, a multiple of its packet
    // size as libusb wants it: a reply shorter than a packet ends the read at once. The
    // receive queue holds one such read and is filled again only when it is empty. A
    // device whose IN packets cannot hold a whole reply is not opened: a reply would come
    // in pieces and one read would see only the first.
    static constexpr uint32_t kMinInPacketSize = proto::kReplySize;
    // The most a single read or write may ask for.
    static constexpr uint32_t kMaxTransferSize = 65536;
    // Stale input read away when a device is opened: at most this many packets.
    static constexpr int kMaxDrainReads = 16;
    static constexpr unsigned kControlTimeoutMs = 1000;

    LibusbUsbXpress(std::unique_ptr<usb::LibusbApi> api, LinkClock &clock);
    ~LibusbUsbXpress() override; // closes what is still open
    LibusbUsbXpress(const LibusbUsbXpress &) = delete;
    LibusbUsbXpress &operator=(const LibusbUsbXpress &) = delete;

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

    // The name of a device in /sys/bus/usb/devices: "bus-port.port...".
    static std::string sysfsName(uint8_t bus, const std::vector<uint8_t> &ports);

private:
    struct ListedDevice {
        usb::DeviceRef ref = 0;
        uint8_t bus = 0;
        std::vector<uint8_t> ports;
        uint8_t interface = 0;
        uint8_t inEndpoint = 0;
        uint8_t outEndpoint = 0;
        uint32_t inPacketSize = 0;
        uint32_t outPacketSize = 0;
        std::array<uint8_t, usbfacts::kStringOptionCount> strings{}; // by productString option
    };
    struct OpenDevice {
        usb::OpenRef ref = 0;
        uint8_t interface = 0;
        uint8_t inEndpoint = 0;
        uint8_t outEndpoint = 0;
        uint32_t inPacketSize = 0; // the length of each bulk read
        bool gone = false;         // unplugged: nothing more is asked of it
        bool enabled = false;      // the open request went through
        uint32_t queued = 0;
        std::array<uint8_t, usbfacts::kMaxBulkPacketSize> queue{}; // the first inPacketSize bytes are used
    };

    static bool listable(const usb::DeviceInfo &info, ListedDevice *listed);
    static bool packetSizesUsable(const ListedDevice &listed);
    int controlRequest(OpenDevice &device, uint16_t value);
    // What a failed bulk transfer leaves behind: a halt to clear, or a device that is gone.
    void afterTransfer(OpenDevice &device, uint8_t endpoint, int result);
    int fillQueue(OpenDevice &device, unsigned timeoutMs); // when the queue is empty
    bool drainStaleInput(OpenDevice &device);
    // After the claim: clears both halts, enables the device and drains stale input.
    bool prepare(OpenDevice &device);
    // Disables the device if it was enabled, releases its interface and closes it.
    int shutDown(OpenDevice &device);
    OpenDevice *find(UsbHandle handle);

    std::unique_ptr<usb::LibusbApi> api_;
    LinkClock &clock_;
    std::vector<ListedDevice> devices_;
    std::map<UsbHandle, OpenDevice> open_;
    UsbHandle nextHandle_ = 1;
    uint32_t readTimeoutMs_ = kDefaultTimeoutMs;
    uint32_t writeTimeoutMs_ = kDefaultTimeoutMs;
};
