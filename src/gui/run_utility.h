#pragma once
// The program around the window, the same for the real box and the simulated one.

#include "core/box/usbxpress.h"

#include <QString>

// Builds the application and the one main window on this USB library and clock, with the
// box's journal in the folder, and runs the event loop; its result is the exit code. The
// caller keeps ownership.
int runUtility(int argc, char **argv, UsbXpress &usb, LinkClock &clock, const QString &journalDirectory);
