#pragma once
// The demo box's state file: read into the simulated box before a command, written back
// (atomically) after it when the box changed. A missing file is a factory-fresh box; an
// unreadable or damaged one is an error and is left as it is.

#include "sim/simulated_box.h"

#include <QString>

#include <optional>
#include <vector>

namespace sim {

// $XDG_STATE_HOME/veltrika/demo-box, or ~/.local/state/veltrika/demo-box when
// XDG_STATE_HOME is unset or not an absolute path.
QString defaultDemoStateFile(const QString &xdgStateHome, const QString &home);

// The state the box was given: what the file held, or the fresh box's when there was none.
struct LoadedState {
    std::vector<uint8_t> state;
    bool fromFile = false;
};

// Loads the file into the box; nothing and `error` set when it cannot be read or taken.
std::optional<LoadedState> loadDemoState(const QString &fileName, SimulatedBox &box, QString *error);
// Writes the box's state when it differs from what was loaded; false with `error` set when
// the write failed (the old file is then as it was).
bool saveDemoState(const QString &fileName, const LoadedState &loaded, const SimulatedBox &box,
                   QString *error);

} // namespace sim
