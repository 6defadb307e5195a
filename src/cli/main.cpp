// `veltrika`: the box from the command line.

#include "core/box/journal.h"
#include "core/box/named_configurations.h"
#include "monitor_command.h"
#include "run_cli.h"
#include "sim/demo_state.h"
#include "usb/system_usb.h"

#include <QCoreApplication>
#include <QTextStream>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

bool isTerminal(std::FILE *stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

// The arguments after the program's name. Windows gives them whole only to QCoreApplication;
// elsewhere they are the local 8-bit texts of argv as it reads them, without the cost of an
// application object that no command needs (its event loop, its locale and its paths).
QStringList argumentsOf(int argc, char **argv) {
#ifdef _WIN32
    const QCoreApplication app(argc, argv);
    return QCoreApplication::arguments().mid(1);
#else
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
#endif
}

volatile std::sig_atomic_t g_stopAsked = 0;

extern "C" void askToStop(int /*signal*/) {
    g_stopAsked = 1;
}

// The monitor's wait: SIGINT and SIGTERM end it (and the monitor with 0) from its first call
// on; other commands keep the signals' default. Slices of 100 ms let a stop show at once,
// and sleeping without spinning costs no CPU.
bool waitUnlessStopped(uint32_t ms) {
    static const bool installed = [] {
        std::signal(SIGINT, askToStop);
        std::signal(SIGTERM, askToStop);
        return true;
    }();
    Q_UNUSED(installed);
    constexpr uint32_t kSliceMs = 100;
    while (ms > 0 && g_stopAsked == 0) {
        const uint32_t slice = std::min(ms, kSliceMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(slice));
        ms -= slice;
    }
    return g_stopAsked == 0;
}

} // namespace

int main(int argc, char **argv) {
    const QStringList arguments = argumentsOf(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    SystemLinkClock clock;
    std::unique_ptr<UsbXpress> usb;
    const cli::Environment environment{
        .out = out,
        .err = err,
        .errIsTerminal = isTerminal(stderr),
        .outIsTerminal = isTerminal(stdout),
        .clock = clock,
        .systemUsb = [&usb, &clock]() -> UsbXpress & {
            if (!usb) {
                usb = makeSystemUsb(clock);
            }
            return *usb;
        },
        .defaultDemoFile =
            sim::defaultDemoStateFile(qEnvironmentVariable("XDG_STATE_HOME"), qEnvironmentVariable("HOME")),
        .configurationDirectory = defaultConfigurationsDirectory(qEnvironmentVariable("XDG_DATA_HOME"),
                                                                 qEnvironmentVariable("HOME")),
        .keepJournal = true,
        .journalDirectory =
            defaultJournalDirectory(qEnvironmentVariable("XDG_STATE_HOME"), qEnvironmentVariable("HOME")),
    };
    cli::setMonitorHooks({.wait = waitUnlessStopped, .now = {}});
    return cli::runCli(arguments, environment);
}
