// The utility with the simulated box attached, for trying the program without the box. Its
// state is the demo box's of `veltrika --demo` and `veltrika-mqtt --demo`: one box for all.

#include "core/box/journal.h"
#include "run_utility.h"
#include "sim/demo_state.h"
#include "sim/simulated_box.h"

#include <QString>

#include <cstdio>

int main(int argc, char **argv) {
    SystemLinkClock clock;
    sim::SimulatedBox box(clock);
    box.setLively(true);
    box.setLogging(false);
    const QString demoState =
        sim::defaultDemoStateFile(qEnvironmentVariable("XDG_STATE_HOME"), qEnvironmentVariable("HOME"));
    sim::SharedDemoBox shared(box, demoState);
    QString error;
    if (!shared.load(&error)) {
        std::fprintf(stderr, "veltrika-utility-demo: %s\n", qPrintable(error));
        return 2;
    }
    const auto tell = [](const QString &text) {
        std::fprintf(stderr, "veltrika-utility-demo: %s\n", qPrintable(text));
    };
    shared.setErrorHandler(tell);
    shared.setSaveWhenIdle(true);
    // The demo's journal stands beside the demo box's state.
    return runUtility(argc, argv, shared, clock, demoJournalDirectory(demoState));
}
