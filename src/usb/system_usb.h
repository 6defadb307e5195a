#pragma once
// The USB library of the platform the utility runs on: libusb on Linux, the vendor's
// library on Windows.

#include "core/box/usbxpress.h"

#include <memory>

std::unique_ptr<UsbXpress> makeSystemUsb(LinkClock &clock);
