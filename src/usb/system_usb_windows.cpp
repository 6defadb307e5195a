#include "usb/siusbxp_library.h"
#include "usb/system_usb.h"

// The vendor's library measures its own time-outs; it needs no clock.
std::unique_ptr<UsbXpress> makeSystemUsb(LinkClock & /*clock*/) {
    return std::make_unique<SiUsbXpLibrary>();
}
