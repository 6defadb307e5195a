// `veltrika`: the box from the command line.

#include "core/box/named_configurations.h"
#include "demo_state.h"
#include "run_cli.h"
#include "usb/system_usb.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <memory>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

bool stderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

} // namespace

int main(int argc, char **argv) {
    const QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    SystemLinkClock clock;
    std::unique_ptr<UsbXpress> usb;
    const cli::Environment environment{
        .out = out,
        .err = err,
        .errIsTerminal = stderrIsTerminal(),
        .clock = clock,
        .systemUsb = [&usb, &clock]() -> UsbXpress & {
            if (!usb) {
                usb = makeSystemUsb(clock);
            }
            return *usb;
        },
        .defaultDemoFile =
            cli::defaultDemoStateFile(qEnvironmentVariable("XDG_STATE_HOME"), qEnvironmentVariable("HOME")),
        .configurationDirectory = defaultConfigurationsDirectory(qEnvironmentVariable("XDG_DATA_HOME"),
                                                                 qEnvironmentVariable("HOME")),
    };
    return cli::runCli(QCoreApplication::arguments().mid(1), environment);
}
