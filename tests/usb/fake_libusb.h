#pragma once
// A scripted bus behind the libusb seam: the devices it lists, what each call answers,
// and a record of every call in order ("open 0", "claim 1 0", "bulkRead 1 81 64 10").
// Time passes only on the test's fake clock: a bulk read that times out moves it on by
// its time-out.

#include "sim/simulated_box.h"
#include "usb/libusb_api.h"

#include <QStringList>

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace usbfake {

struct FakeDevice {
    usb::DeviceInfo info;
    std::string sysfsName;                    // the device's name under /sys/bus/usb/devices
    std::map<uint8_t, std::string> strings;   // by string descriptor index
    std::map<std::string, std::string> sysfs; // attribute values
    int describeResult = LIBUSB_SUCCESS;
    int openResult = LIBUSB_SUCCESS;
    int stringResult = LIBUSB_SUCCESS; // an error here fails every string read
    bool unplugged = false;
    // Endpoints that stalled: as on a device, each bulk transfer on one fails with
    // LIBUSB_ERROR_PIPE until a clear halt succeeds, also across close and open.
    std::set<uint8_t> halted;
};

// What one bulk read brings: its result and bytes, and the count it reports (unless
// told otherwise, the number of bytes copied). A result of LIBUSB_ERROR_PIPE halts the
// endpoint; a successful packet larger than the buffer fills it and ends in
// LIBUSB_ERROR_OVERFLOW.
struct InPacket {
    int result = LIBUSB_SUCCESS;
    std::vector<uint8_t> bytes;
    std::optional<int> reported;
};

struct OutResult {
    int result = LIBUSB_SUCCESS; // LIBUSB_ERROR_PIPE halts the endpoint
    std::optional<int> reported; // unless told otherwise, every byte
};

// Everything the test sets up and everything that happened; it outlives the seam.
struct FakeBus {
    explicit FakeBus(sim::FakeLinkClock &clock) : clock(clock) {}
    sim::FakeLinkClock &clock;
    std::vector<FakeDevice> devices; // in the order the bus lists them
    int listResult = LIBUSB_SUCCESS;
    int autoDetachResult = LIBUSB_SUCCESS;
    int claimWithDetachResult = LIBUSB_SUCCESS; // the claim while auto-detach is on
    int claimResult = LIBUSB_SUCCESS;           // the claim with it off
    int clearHaltResult = LIBUSB_SUCCESS;       // anything else leaves the halt in place
    int releaseResult = LIBUSB_SUCCESS;
    std::map<uint16_t, int> controlResults; // by wValue; success when absent
    std::deque<InPacket> in;                // with none left a bulk read times out
    std::deque<OutResult> out;              // with none left a bulk write sends everything

    QStringList calls;
    std::vector<std::vector<uint8_t>> written;
    std::map<usb::OpenRef, size_t> openDevices; // handle -> device index
    usb::OpenRef nextHandle = 1;
    std::map<usb::OpenRef, bool> autoDetach;

    void unplug(size_t device) { devices[device].unplugged = true; }
    QStringList takeCalls();
};

class FakeLibusb : public usb::LibusbApi {
public:
    explicit FakeLibusb(FakeBus &bus) : bus_(bus) {}

    int deviceList(std::vector<usb::DeviceRef> *devices) override;
    int describe(usb::DeviceRef device, usb::DeviceInfo *info) override;
    int open(usb::DeviceRef device, usb::OpenRef *handle) override;
    void close(usb::OpenRef handle) override;
    int setAutoDetachKernelDriver(usb::OpenRef handle, bool enable) override;
    int claimInterface(usb::OpenRef handle, uint8_t interface) override;
    int releaseInterface(usb::OpenRef handle, uint8_t interface) override;
    int clearHalt(usb::OpenRef handle, uint8_t endpoint) override;
    int controlTransfer(usb::OpenRef handle, uint8_t requestType, uint8_t request, uint16_t value,
                        uint16_t index, unsigned timeoutMs) override;
    int bulkRead(usb::OpenRef handle, uint8_t endpoint, uint8_t *buffer, int length, int *transferred,
                 unsigned timeoutMs) override;
    int bulkWrite(usb::OpenRef handle, uint8_t endpoint, const uint8_t *bytes, int length, int *transferred,
                  unsigned timeoutMs) override;
    int stringDescriptorAscii(usb::OpenRef handle, uint8_t index, char *buffer, int size) override;
    bool sysfsAttribute(const std::string &device, const char *attribute, std::string *value) override;

private:
    void log(const char *format, ...) __attribute__((format(printf, 2, 3)));
    bool gone(usb::OpenRef handle) const;
    FakeDevice &deviceOf(usb::OpenRef handle); // of a handle that is not gone

    FakeBus &bus_;
};

// A device the backend lists: vendor 10C4, interface `interface` of the vendor class with
// one bulk pair of `packetSize` (wMaxPacketSize), serial "2023", product "VELTRIKA USB",
// manufacturer "VELTRIKA".
FakeDevice boxAt(uint8_t bus, std::vector<uint8_t> ports, uint8_t inEndpoint = 0x81,
                 uint8_t outEndpoint = 0x01, uint8_t interface = 0, uint16_t packetSize = 64);

} // namespace usbfake
