#pragma once
// The figures of the MQTT bridge, against Debian's mosquitto started on 127.0.0.1 on a free
// port: `veltrika-mqtt --demo` as a process for a minute at 1 Hz (its CPU, and how soon each
// change of the simulated source reaches a client of the broker), then a burst of 1,000
// `set` commands to it; and the bridge in-process on the fake clock over a day of polls,
// connected to the broker (resident memory).

#include "measure.h"

#include <vector>

namespace bench {

// The child process of the memory figure: a day of polls against the broker on `port`;
// prints its readings.
int bridgeMemoryRun(const char *port);
void mqttFigures(std::vector<Figure> &figures, const char *self, const char *bridgeMemoryMode);

} // namespace bench
