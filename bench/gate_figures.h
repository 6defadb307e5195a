#pragma once
// The gate's figures: what the check and the journal add to a setting change, on the
// simulated box and the system clock, the change through the gate (its entry appended to a
// journal that holds 450 entries already, so that its trims come in the runs) held run for
// run against the session's write of the same setting alone; and what they add to the
// window's EDID write, on a clock that never waits.

#include "measure.h"

#include <vector>

namespace bench {

void gateFigures(std::vector<Figure> &figures);

} // namespace bench
