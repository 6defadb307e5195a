// The utility with the simulated box attached, for trying the program without the box.

#include "core/box/journal.h"
#include "run_utility.h"
#include "sim/demo_state.h"
#include "sim/simulated_box.h"

int main(int argc, char **argv) {
    SystemLinkClock clock;
    sim::SimulatedBox box(clock);
    box.setLively(true);
    box.setLogging(false);
    // The demo's journal stands where the command line's demo box keeps its own.
    const QString demoState =
        sim::defaultDemoStateFile(qEnvironmentVariable("XDG_STATE_HOME"), qEnvironmentVariable("HOME"));
    return runUtility(argc, argv, box, clock, demoJournalDirectory(demoState));
}
