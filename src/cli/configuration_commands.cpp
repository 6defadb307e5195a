#include "configuration_commands.h"

#include "core/base/saved_file.h"
#include "core/box/box_configuration_session.h"
#include "core/box/named_configurations.h"
#include "run_cli.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

namespace cli {
namespace {

struct PartName {
    const char *name;
    ConfigurationPart part;
};
constexpr PartName kPartNames[] = {
    {"settings", ConfigurationPart::Settings},
    {"edid", ConfigurationPart::Edid},
    {"packets", ConfigurationPart::Packets},
};

QString unexpected(const QString &argument) {
    return QStringLiteral("unexpected argument: %1").arg(argument);
}

QString parseBackup(Invocation &invocation, const QStringList &arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != QLatin1String("-o")) {
            return unexpected(arguments[i]);
        }
        if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
            return QStringLiteral("-o needs a value");
        }
        invocation.outputFile = arguments[++i];
    }
    return invocation.outputFile.isEmpty() ? QStringLiteral("backup needs -o FILE") : QString();
}

QString parseRestore(Invocation &invocation, const QStringList &arguments) {
    ConfigurationArguments &configuration = invocation.configuration;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == QLatin1String("--dry-run")) {
            configuration.dryRun = true;
        } else if (argument == QLatin1String("--as-is")) {
            configuration.asIs = true;
        } else if (argument == QLatin1String("--only")) {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
                return QStringLiteral("--only needs a value (one of: settings, edid, packets)");
            }
            const QString &value = arguments[++i];
            const auto *named =
                std::find_if(std::begin(kPartNames), std::end(kPartNames),
                             [&value](const PartName &part) { return value == QLatin1String(part.name); });
            if (named == std::end(kPartNames)) {
                return QStringLiteral("bad value for --only: %1 (one of: settings, edid, packets)")
                    .arg(value);
            }
            configuration.only |= partBit(named->part);
        } else if (argument.isEmpty()) {
            return QStringLiteral("empty file name");
        } else if (argument.startsWith(QLatin1Char('-')) || !configuration.target.isEmpty()) {
            return unexpected(argument);
        } else {
            configuration.target = argument;
        }
    }
    return configuration.target.isEmpty() ? QStringLiteral("restore needs a FILE or NAME") : QString();
}

QString parseName(Invocation &invocation, const QStringList &arguments, const char *command) {
    if (arguments.size() != 1) {
        return arguments.isEmpty() ? QStringLiteral("%1 needs a NAME").arg(QLatin1String(command))
                                   : unexpected(arguments[1]);
    }
    const QString error = configurationNameError(arguments.first());
    if (!error.isEmpty()) {
        return error;
    }
    invocation.configuration.target = arguments.first();
    return {};
}

// config save NAME [--replace]: a name never begins with a dash, so the option may stand
// before or after it.
QString parseSave(Invocation &invocation, const QStringList &arguments) {
    QStringList names = arguments;
    invocation.configuration.replace = names.removeAll(QStringLiteral("--replace")) > 0;
    return parseName(invocation, names, "config save");
}

// A restore's FILE or NAME: a path (it holds a slash) or a file that exists is a file; else
// the named configuration.
QString restoreFileOf(const QString &target, const QString &directory, QString *error) {
    if (target.contains(QLatin1Char('/')) || QFileInfo::exists(target)) {
        return target;
    }
    if (configurationNameError(target).isEmpty()) {
        const QString named = namedConfigurationFile(directory, target);
        if (QFileInfo::exists(named)) {
            return named;
        }
    }
    *error = QStringLiteral("no file and no configuration named %1").arg(target);
    return {};
}

int openFileToWrite(const QString &fileName, ConfigurationInputs &inputs, Output &output) {
    inputs.fileName = fileName;
    inputs.output = std::make_unique<QSaveFile>(fileName);
    if (!inputs.output->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        output.error =
            QStringLiteral("Cannot write file %1: %2.").arg(fileName, inputs.output->errorString());
        return kExitUsage;
    }
    return kExitOk;
}

int readFailed(const QString &command, const BoxConfigurationRead &read, Output &output) {
    output.error = QStringLiteral("%1: reading the box's %2: %3")
                       .arg(command, read.failedPart, QLatin1String(linkErrorName(read.error)));
    return kExitFailed;
}

// backup and config save: the whole configuration into the file opened before.
int backup(const Invocation &invocation, BoxSession &session, LinkClock &clock, StderrReporter &reporter,
           ConfigurationInputs &inputs, Output &output) {
    const QString command = textOf(commandInfo(invocation.command).words);
    const BoxConfigurationRead read = readBoxConfiguration(session, clock, kAllConfigurationParts, true);
    if (!read.ok()) {
        return readFailed(command, read, output);
    }
    QStringList leftOut;
    const QByteArray text = configurationText(read.configuration, QDateTime::currentDateTimeUtc(), &leftOut);
    for (const QString &line : leftOut) {
        reporter.message(QStringLiteral("%1: left out: %2").arg(inputs.fileName, line));
    }
    // What the box holds may be what no restore takes (an EDID a source cannot read): said now.
    const ConfigurationFileRead check = parseConfigurationText(text);
    if (!check.ok()) {
        reporter.message(
            QStringLiteral("%1: a restore will refuse it: %2").arg(inputs.fileName, check.error.text()));
    }
    if (!writeAll(*inputs.output,
                  {reinterpret_cast<const uint8_t *>(text.constData()), static_cast<size_t>(text.size())}) ||
        !inputs.output->commit()) {
        output.error =
            QStringLiteral("Cannot write file %1: %2.").arg(inputs.fileName, inputs.output->errorString());
        return kExitUsage;
    }
    output.json.insert(QStringLiteral("file"), inputs.fileName);
    if (invocation.command == Command::ConfigSave) {
        output.json.insert(QStringLiteral("name"), invocation.configuration.target);
    }
    return kExitOk;
}

int restore(const Invocation &invocation, BoxSession &session, CommandLineGate &gate, LinkClock &clock,
            StderrReporter &reporter, ConfigurationInputs &inputs, Output &output) {
    const BoxConfiguration &wanted = inputs.file.configuration;
    const BoxConfigurationRead box =
        readBoxConfiguration(session, clock, partsHeld(wanted), wanted.firmware.has_value());
    if (!box.ok()) {
        return readFailed(QStringLiteral("restore"), box, output);
    }
    if (wanted.firmware && box.configuration.firmware != wanted.firmware) {
        reporter.message(
            QStringLiteral("%1 was saved from firmware %2; the box runs %3.")
                .arg(inputs.fileName, *wanted.firmware, box.configuration.firmware.value_or(QString())));
    }
    const std::vector<RestoreStep> steps = planRestore(box.configuration, wanted);
    std::vector<ConfigurationChange> changes;
    for (const RestoreStep &step : steps) {
        changes.push_back(step.change);
        output.lines << changeText(step.change);
    }
    if (steps.empty()) {
        reporter.message(QStringLiteral("The box holds what %1 holds.").arg(inputs.fileName));
    }
    if (invocation.configuration.dryRun) {
        output.jsonList = changeArray(changes);
        return kExitOk;
    }
    output.lines.clear();
    const BoxChange change = BoxChange::ofRestore(
        steps, wanted, QStringLiteral("restore %1").arg(invocation.configuration.target));
    if (!answerFindings(QStringLiteral("restore"), checkChange(change).lines(), invocation.configuration.asIs,
                        QStringLiteral("--as-is puts it back as it is"), reporter, output)) {
        return kExitFailed;
    }
    const ChangeResult result =
        gate.apply(change, invocation.configuration.asIs ? Answer::Yes : Answer::No,
                   [&reporter](int done, int total) { reporter.transferProgress(done, total); });
    const QJsonValue findings = output.json.value(QStringLiteral("findings"));
    const int status = reportRestore(QStringLiteral("restore"), inputs.fileName, result.restore, output);
    if (!findings.isUndefined()) {
        output.json.insert(QStringLiteral("findings"), findings);
    }
    return status;
}

} // namespace

bool isConfigurationCommand(Command command) {
    switch (command) {
    case Command::Backup:
    case Command::Restore:
    case Command::ConfigList:
    case Command::ConfigSave:
    case Command::ConfigDelete:
        return true;
    default:
        return false;
    }
}

QString parseConfigurationArguments(Invocation &invocation, const QStringList &arguments) {
    switch (invocation.command) {
    case Command::Backup:
        return parseBackup(invocation, arguments);
    case Command::Restore:
        return parseRestore(invocation, arguments);
    case Command::ConfigSave:
        return parseSave(invocation, arguments);
    case Command::ConfigDelete:
        return parseName(invocation, arguments, "config delete");
    case Command::ConfigList:
        return arguments.isEmpty() ? QString() : unexpected(arguments.first());
    default:
        return QStringLiteral("unknown command");
    }
}

int prepareConfigurationInputs(const Invocation &invocation, const QString &directory,
                               ConfigurationInputs &inputs, Output &output) {
    switch (invocation.command) {
    case Command::Backup:
        return openFileToWrite(invocation.outputFile, inputs, output);
    case Command::ConfigSave: {
        // A tuned configuration is not lost to a name typed again: it is replaced on purpose only.
        const QString &name = invocation.configuration.target;
        const QString fileName = namedConfigurationFile(directory, name);
        if (!invocation.configuration.replace && QFileInfo::exists(fileName)) {
            output.error =
                QStringLiteral("a configuration named %1 exists; give --replace to replace it").arg(name);
            return kExitFailed;
        }
        QString why;
        if (!makeFolders(directory, &why)) {
            output.error = QStringLiteral("Cannot make the folder %1: %2.").arg(directory, why);
            return kExitUsage;
        }
        return openFileToWrite(fileName, inputs, output);
    }
    case Command::Restore: {
        inputs.fileName = restoreFileOf(invocation.configuration.target, directory, &output.error);
        if (inputs.fileName.isEmpty()) {
            return kExitUsage;
        }
        const ConfigurationFileRead read = readConfigurationFile(inputs.fileName);
        if (!read.ok()) {
            output.error =
                read.error.unread
                    ? QStringLiteral("Cannot read file %1: %2.").arg(inputs.fileName, read.error.reason)
                    : QStringLiteral("%1: %2; nothing was sent").arg(inputs.fileName, read.error.text());
            return kExitUsage;
        }
        inputs.file = *read.file;
        if (invocation.configuration.only != 0) {
            inputs.file.configuration = onlyParts(inputs.file.configuration, invocation.configuration.only);
        }
        return kExitOk;
    }
    default:
        return kExitOk;
    }
}

int runConfigurationFiles(const Invocation &invocation, const QString &directory, Output &output) {
    if (invocation.command == Command::ConfigList) {
        QJsonArray list;
        for (const QString &name : namedConfigurations(directory)) {
            output.lines << name;
            list.append(QJsonObject{{QStringLiteral("name"), name},
                                    {QStringLiteral("file"), namedConfigurationFile(directory, name)}});
        }
        output.json = {{QStringLiteral("directory"), directory}, {QStringLiteral("configurations"), list}};
        return kExitOk;
    }
    const QString &name = invocation.configuration.target;
    const QString file = namedConfigurationFile(directory, name);
    if (!QFileInfo::exists(file)) {
        output.error = QStringLiteral("no configuration named %1").arg(name);
        return kExitUsage;
    }
    QFile named(file);
    if (!named.remove()) {
        output.error = QStringLiteral("Cannot delete file %1: %2.").arg(file, named.errorString());
        return kExitUsage;
    }
    output.json = {{QStringLiteral("deleted"), name}, {QStringLiteral("file"), file}};
    return kExitOk;
}

int runConfigurationCommand(const Invocation &invocation, BoxSession &session, CommandLineGate &gate,
                            LinkClock &clock, StderrReporter &reporter, ConfigurationInputs &inputs,
                            Output &output) {
    if (invocation.command == Command::Restore) {
        return restore(invocation, session, gate, clock, reporter, inputs, output);
    }
    return backup(invocation, session, clock, reporter, inputs, output);
}

} // namespace cli
