// The utility with the simulated box attached, for trying the program without the box.

#include "run_utility.h"
#include "sim/simulated_box.h"

int main(int argc, char **argv) {
    SystemLinkClock clock;
    sim::SimulatedBox box(clock);
    box.setLively(true);
    box.setLogging(false);
    return runUtility(argc, argv, box, clock);
}
