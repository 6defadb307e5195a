#pragma once
// What the box and the vendor's USB library look like from the host: every fact the
// USB backends rely on, in one place. Nothing here needs Qt, libusb or Windows.

#include <cstdint>

namespace usbfacts {

// ---------------------------------------------------------------------------------------
// The device on the bus
// ---------------------------------------------------------------------------------------
constexpr uint16_t kVendorId = 0x10C4;      // products set their own product id; it is not looked at
constexpr uint8_t kInterfaceClass = 0xFF;   // vendor specific: the interface with the two bulk endpoints
constexpr uint8_t kDirectionIn = 0x80;      // endpoint address bit of an IN endpoint
constexpr uint8_t kTransferTypeMask = 0x03; // endpoint bmAttributes bits of the transfer type
constexpr uint8_t kTransferTypeBulk = 0x02;
// The endpoints' addresses and packet sizes come from the descriptors: wMaxPacketSize
// holds the size in its low 11 bits; no bulk endpoint has packets above 1024 bytes.
constexpr uint16_t kPacketSizeMask = 0x07FF;
constexpr uint32_t kMaxBulkPacketSize = 1024;

// ---------------------------------------------------------------------------------------
// Vendor requests: no data stage; any other request stalls
// ---------------------------------------------------------------------------------------
constexpr uint8_t kRequestType = 0x40; // host to device, vendor, device recipient
constexpr uint8_t kRequest = 0x02;
constexpr uint16_t kRequestIndex = 0;
constexpr uint16_t kValueFlush = 0x0001; // the device drops the IN data it still holds
constexpr uint16_t kValueOpen = 0x0002;  // clear to send: before it the device sends nothing
constexpr uint16_t kValueClose = 0x0004;

// ---------------------------------------------------------------------------------------
// Strings: ordinary string descriptors, chosen by the productString option; Linux also
// shows them as sysfs attributes of the device, readable without opening it
// ---------------------------------------------------------------------------------------
constexpr uint32_t kStringOptionCount = 3;
constexpr const char *kSysfsStringAttribute[kStringOptionCount] = {"serial", "product", "manufacturer"};
constexpr const char *kSysfsDevices = "/sys/bus/usb/devices/";

// ---------------------------------------------------------------------------------------
// The vendor's library on Windows: one DLL whose ten calls are taken by ordinal
// ---------------------------------------------------------------------------------------
constexpr const wchar_t *kLibraryName = L"SiUSBXp.dll";
constexpr uint16_t kOrdinalDeviceCount = 1;
constexpr uint16_t kOrdinalProductString = 2;
constexpr uint16_t kOrdinalOpen = 3;
constexpr uint16_t kOrdinalClose = 4;
constexpr uint16_t kOrdinalRead = 6;
constexpr uint16_t kOrdinalWrite = 7;
constexpr uint16_t kOrdinalFlush = 9;
constexpr uint16_t kOrdinalSetTimeouts = 10;
constexpr uint16_t kOrdinalTimeouts = 11;
constexpr uint16_t kOrdinalRxQueue = 12;

// The status codes of the library calls are the seam's own: usbstatus in link/usbxpress.h.

} // namespace usbfacts
