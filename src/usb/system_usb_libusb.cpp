#include "usb/libusb_usbxpress.h"
#include "usb/system_libusb.h"
#include "usb/system_usb.h"

std::unique_ptr<UsbXpress> makeSystemUsb(LinkClock &clock) {
    return std::make_unique<LibusbUsbXpress>(std::make_unique<usb::SystemLibusb>(), clock);
}
