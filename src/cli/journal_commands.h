#pragma once
// journal and undo: the changes made to the box, listed from its journal, and one of them
// taken back through the gate. The journal is the box's own file (core/box/journal.h): the
// real box's under the journal folder, the demo box's beside its state file.

#include "arguments.h"
#include "box_changes.h"
#include "core/box/box_session.h"
#include "output.h"
#include "stderr_reporter.h"

#include <QString>
#include <QStringList>

namespace cli {

bool isJournalCommand(Command command);

// journal: -n N and --json (here as before the command); undo: ENTRY, --dry-run and --force.
QString parseJournalArguments(Invocation &invocation, const QStringList &arguments);

// journal, which needs no box: its entries as lines (a line per entry, then what it
// overwrote, indented) or a JSON list; a damaged line is said on standard error and skipped.
int runJournalList(const Invocation &invocation, const Journal &journal, StderrReporter &reporter,
                   Output &output);

// undo, on the box: the entry (the last change when none is named), what it overwrote read
// back from the box, planned, and sent through the gate.
int runUndo(const Invocation &invocation, BoxSession &session, CommandLineGate &gate, LinkClock &clock,
            StderrReporter &reporter, Output &output);

} // namespace cli
