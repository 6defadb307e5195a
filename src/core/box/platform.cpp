#include "core/box/usbxpress.h"

#include <chrono>
#include <thread>

namespace {
UsbXpress *g_usb = nullptr;
LinkClock *g_clock = nullptr;

// The system wakes a sleeping thread late by its timer latency, a tenth of a millisecond
// or more, more on a loaded or virtual machine, and an EDID write waits 32 times. A wait
// sleeps until this long before its end and spins the rest: it ends on time, never early.
// The spin keeps the processor: a yield on a busy machine hands it to another process for
// the rest of a time slice, and the wait would end milliseconds late.
constexpr auto kSpinBeforeEnd = std::chrono::microseconds(500);
} // namespace

void installPlatform(UsbXpress *usb, LinkClock *clock) {
    g_usb = usb;
    g_clock = clock;
}

UsbXpress *installedUsb() {
    return g_usb;
}
LinkClock *installedClock() {
    return g_clock;
}

uint32_t SystemLinkClock::tickCount() {
    const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    // Truncation to 32 bits is the wrap the link's time-out arithmetic expects.
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count());
}

void SystemLinkClock::sleep(uint32_t ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::this_thread::sleep_until(end - kSpinBeforeEnd);
    while (std::chrono::steady_clock::now() < end) {
    }
}
