#pragma once
// The options of every command, taken before the command or anywhere after it: --demo[=FILE],
// --json, --trace and --quiet.

#include "arguments.h"

#include <QString>
#include <QStringList>

namespace cli {

// One global option into the invocation; false when the argument is none. A global option
// whose value is wrong (--demo= without a file name) says why in `error`.
bool takeGlobalOption(const QString &argument, Invocation &invocation, QString *error);

// Takes the global options out of the arguments after a command's words, wherever they
// stand, but not the value of one of the command's own options (`--name --json` names the
// EDID "--json") nor anything after "--", which stays for the command. The usage error, or
// empty.
QString takeGlobalOptions(const CommandInfo &info, QStringList &arguments, Invocation &invocation);

// The command's options that take a value, as its synopsis shows them: "-o FILE" and
// "[--format raw|hex|carray|inf]" take one, "[--hex]" and "--settings|--edid|--all" none.
QStringList optionsWithValue(const CommandInfo &info);

} // namespace cli
