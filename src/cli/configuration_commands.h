#pragma once
// backup, restore and config: the box's configuration into a file, a file or a named
// configuration back into the box, and the named configurations themselves. Files are read
// and opened before the box: a bad file or name costs no frame.

#include "arguments.h"
#include "box_changes.h"
#include "core/box/box_configuration_file.h"
#include "core/box/box_session.h"
#include "output.h"
#include "stderr_reporter.h"

#include <QSaveFile>
#include <QString>
#include <QStringList>

#include <memory>

namespace cli {

// What is read or opened before the box is.
struct ConfigurationInputs {
    QString fileName;                  // restore: the file read; backup, config save: the file written
    ConfigurationFile file;            // restore: what the file holds, of the parts --only names
    std::unique_ptr<QSaveFile> output; // backup, config save
};

bool isConfigurationCommand(Command command);

// The arguments after the command's words into invocation.configuration (and -o into
// outputFile); the usage error otherwise.
QString parseConfigurationArguments(Invocation &invocation, const QStringList &arguments);

// restore: reads the file (or the named configuration) strictly; backup and config save: opens
// the file to write. Exit status 2 with the reason when that fails.
int prepareConfigurationInputs(const Invocation &invocation, const QString &directory,
                               ConfigurationInputs &inputs, Output &output);

// config list and config delete, which need no box.
int runConfigurationFiles(const Invocation &invocation, const QString &directory, Output &output);

// backup, restore and config save, on the box; the restore through the gate.
int runConfigurationCommand(const Invocation &invocation, BoxSession &session, CommandLineGate &gate,
                            LinkClock &clock, StderrReporter &reporter, ConfigurationInputs &inputs,
                            Output &output);

} // namespace cli
