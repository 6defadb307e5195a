#pragma once
// One run of `veltrika`: the arguments are parsed and every input file read, then the box
// is opened (the simulated one with --demo), the command runs over the box session, and
// its output goes to standard output as text or one JSON document.

#include "core/box/usbxpress.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>

namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1; // the box refused or failed, or a check failed
constexpr int kExitUsage = 2;  // usage or input error: nothing was sent
constexpr int kExitNoBox = 3;  // no box found, or it could not be opened

struct Environment {
    QTextStream &out;
    QTextStream &err;
    bool errIsTerminal = false;
    bool outIsTerminal = false;
    LinkClock &clock;
    // The USB library of the real box, made on first use; the caller keeps it.
    std::function<UsbXpress &()> systemUsb;
    // The state file of --demo without a file name.
    QString defaultDemoFile;
    // Where the named configurations are kept (core/box/named_configurations.h).
    QString configurationDirectory = {};
    // Whether the changes are journaled (core/box/journal.h), and where the real box's
    // journal is; the demo box's is beside its state file.
    bool keepJournal = false;
    QString journalDirectory = {};
};

// The arguments after the program name; the result is the exit status.
int runCli(const QStringList &arguments, const Environment &environment);

} // namespace cli
