#pragma once
// The command line's side of the gate (core/box/box_gate.h): every change a command makes
// goes through it. With a journal the command first reads what the change overwrites (its
// messages kept unless the command fails); the gate's findings stop a command unless it was
// given --as-is (undo: --force); a journal that cannot be written is said once, and the
// change goes on.

#include "core/box/box_gate.h"
#include "output.h"
#include "stderr_reporter.h"

#include <QString>
#include <QStringList>

namespace cli {

class CommandLineGate {
public:
    CommandLineGate(BoxGate &gate, StderrReporter &reporter) : gate_(gate), reporter_(reporter) {}

    ChangeResult apply(const BoxChange &change, Answer answer, const RestoreProgress &progress = {});
    BoxGate &gate() { return gate_; }

private:
    BoxGate &gate_;
    StderrReporter &reporter_;
    bool journalWarned_ = false;
};

// The command line's answer to what the gate found: with `overruled` (--as-is) the findings
// go to standard error and the change goes on (true); else the command stops before any
// frame with "WHAT: nothing was sent: FINDINGS (HINT)" (false; output.error set, the
// findings in the JSON's "findings").
bool answerFindings(const QString &what, const QStringList &findings, bool overruled, const QString &hint,
                    StderrReporter &reporter, Output &output);

// The changes as a JSON list, each as changeObject() makes it.
QJsonArray changeArray(const std::vector<ConfigurationChange> &changes);

// How a restore (or an undo) that ran ends: the lines of the changes applied, the JSON, and
// when it failed the error; the exit status.
int reportRestore(const QString &command, const QString &source, const RestoreReport &report, Output &output);

} // namespace cli
