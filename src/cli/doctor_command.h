#pragma once
// doctor: what the TVs state, what the box offers and what the input carries, the findings in
// plain words and the fixes that would bring them (core/chain/chain_doctor.h). Exit status 0
// when nothing is missing, 1 with findings. `--apply N` sends fix N through the gate, as a
// restore sends a configuration (only what differs, then the box read back), journaled, so
// that `veltrika undo` takes it back; with `--dry-run` it only shows what the fix would send
// and what the box would then offer, and `-o FILE` saves a custom EDID fix's EDID.

#include "arguments.h"
#include "box_changes.h"
#include "core/box/box_session.h"
#include "output.h"
#include "stderr_reporter.h"

#include <QSaveFile>
#include <QString>
#include <QStringList>

namespace cli {

// The arguments after `doctor`: --why FORMAT, --apply N, --dry-run, --as-is, -o FILE.
QString parseDoctorArguments(Invocation &invocation, const QStringList &arguments);

// The doctor on the box; `file` is -o's, opened before the box was.
int runDoctor(const Invocation &invocation, BoxSession &session, CommandLineGate &gate, LinkClock &clock,
              StderrReporter &reporter, QSaveFile *file, Output &output);

} // namespace cli
