#include "usbxpress.h"

#include <chrono>
#include <thread>

namespace {
UsbXpress *g_usb = nullptr;
LinkClock *g_clock = nullptr;
} // namespace

void installPlatform(UsbXpress *usb, LinkClock *clock) {
    g_usb = usb;
    g_clock = clock;
}

UsbXpress *installedUsb() { return g_usb; }
LinkClock *installedClock() { return g_clock; }

uint32_t SystemLinkClock::tickCount() {
    const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    // Truncation to 32 bits is the wrap the link's time-out arithmetic expects.
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count());
}

void SystemLinkClock::sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
