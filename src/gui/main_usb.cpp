// The utility with the box on USB.

#include "core/box/journal.h"
#include "run_utility.h"
#include "usb/system_usb.h"

int main(int argc, char **argv) {
    SystemLinkClock clock;
    const auto usb = makeSystemUsb(clock);
    return runUtility(
        argc, argv, *usb, clock,
        defaultJournalDirectory(qEnvironmentVariable("XDG_STATE_HOME"), qEnvironmentVariable("HOME")));
}
