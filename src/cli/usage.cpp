// The texts of `veltrika --help`, `COMMAND --help` and `GROUP --help`, made from the command
// and settings tables.

#include "arguments.h"

namespace cli {
namespace {

// A command's two lines in a usage text: its words and synopsis, then its summary.
QString commandLines(const CommandInfo &info) {
    const QString line = textOf(info.words) + QLatin1Char(' ') + textOf(info.synopsis);
    return QStringLiteral("  %1\n      %2\n").arg(line.trimmed(), textOf(info.summary));
}

} // namespace

QString commandUsageText(const CommandInfo &info) {
    QString usage = QStringLiteral("usage: veltrika [--demo[=FILE]] [--json] [--trace] [--quiet] %1")
                        .arg(textOf(info.words));
    if (!info.synopsis.empty()) {
        usage += QLatin1Char(' ') + textOf(info.synopsis);
    }
    usage += QStringLiteral("\n  %1\n").arg(textOf(info.summary));
    if (info.command == Command::Get || info.command == Command::Set) {
        usage += QStringLiteral("\nSettings:\n");
        for (const SettingInfo &setting : allSettings()) {
            usage += QStringLiteral("  %1  %2\n").arg(textOf(setting.name), -16).arg(valueList(setting));
        }
    }
    return usage;
}

QString groupUsageText(const QString &group) {
    QString usage;
    for (const CommandInfo &info : allCommands()) {
        if (groupOf(info.words) == group) {
            usage += commandLines(info);
        }
    }
    return usage;
}

QString usageText() {
    QString usage =
        QStringLiteral("usage: veltrika [--demo[=FILE]] [--json] [--trace] [--quiet] COMMAND [ARGS]\n"
                       "       veltrika --help | --version | COMMAND --help\n\n"
                       "Options (before or after the command; none after \"--\"):\n"
                       "  --demo[=FILE]  the simulated box, its state kept in FILE\n"
                       "                 (default $XDG_STATE_HOME/veltrika/demo-box)\n"
                       "  --json         one JSON document on standard output (edid decode of\n"
                       "                 several EDIDs: one JSON object a line)\n"
                       "  --trace        every frame and reply on standard error\n"
                       "  --quiet        messages only when the command fails\n\n"
                       "Every change to the box is checked first (a packet the decoders fail, an EDID a\n"
                       "source may not read: exit status 1, nothing sent, unless --as-is) and recorded,\n"
                       "with what it overwrote, in $XDG_STATE_HOME/veltrika/journal/2023.jsonl (the demo\n"
                       "box's beside its state file): see journal and undo.\n\n"
                       "Commands:\n");
    for (const CommandInfo &info : allCommands()) {
        usage += commandLines(info);
    }
    usage += QStringLiteral("\nSettings:\n");
    for (const SettingInfo &setting : allSettings()) {
        usage += QStringLiteral("  %1  %2\n").arg(textOf(setting.name), -16).arg(valueList(setting));
    }
    usage +=
        QStringLiteral("\nExit status: 0 success; 1 the box refused or failed, or a check failed (an EDID\n"
                       "the check refuses); 2 usage or input error (the input could not be read as an\n"
                       "EDID), nothing sent; 3 no box found or it could not be opened.\n");
    return usage;
}

} // namespace cli
