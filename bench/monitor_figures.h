#pragma once
// The figures of the box over time: `veltrika --demo monitor` as a process (its CPU over 60 s
// at the default interval, and how soon a change of the simulated input reaches its standard
// output), and the watcher on the fake clock over a day of polls (resident memory, and the
// window's history kept to its 10,000 rows).

#include "measure.h"

#include <vector>

namespace bench {

// The child process of the watcher's memory figure; prints its readings.
int watcherMemoryRun();
void monitorFigures(std::vector<Figure> &figures, const char *self, const char *watcherMemoryMode);

} // namespace bench
