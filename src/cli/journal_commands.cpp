#include "journal_commands.h"

#include "core/box/box_configuration_session.h"
#include "core/box/journal_text.h"
#include "core/box/undo.h"
#include "run_cli.h"

#include <QJsonArray>

#include <algorithm>

namespace cli {
namespace {

std::optional<int> positiveNumber(const QString &text, int most) {
    bool isNumber = false;
    const int number = text.toInt(&isNumber);
    return isNumber && number >= 1 && number <= most ? std::optional(number) : std::nullopt;
}

QString parseList(Invocation &invocation, const QStringList &arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == QLatin1String("--json")) {
            invocation.json = true;
        } else if (argument == QLatin1String("-n")) {
            invocation.journal.count = positiveNumber(arguments.value(i + 1), kMaxJournalEntries);
            if (!invocation.journal.count) {
                return QStringLiteral("-n needs a number from 1 to %1").arg(kMaxJournalEntries);
            }
            ++i;
        } else {
            return QStringLiteral("unexpected argument: %1").arg(argument);
        }
    }
    return {};
}

QString parseUndo(Invocation &invocation, const QStringList &arguments) {
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--dry-run")) {
            invocation.journal.dryRun = true;
        } else if (argument == QLatin1String("--force")) {
            invocation.journal.force = true;
        } else if (!invocation.journal.entry && !argument.startsWith(QLatin1Char('-'))) {
            invocation.journal.entry = positiveNumber(argument, std::numeric_limits<int>::max());
            if (!invocation.journal.entry) {
                return QStringLiteral("not an entry number: %1").arg(argument);
            }
        } else {
            return QStringLiteral("unexpected argument: %1").arg(argument);
        }
    }
    return {};
}

// The entries, their warnings said; false with the error when the journal cannot be read.
bool readJournal(const Journal &journal, StderrReporter &reporter, std::vector<JournalEntry> *entries,
                 Output &output) {
    const JournalRead read = journal.read();
    for (const QString &warning : read.warnings) {
        reporter.message(QStringLiteral("journal: %1").arg(warning));
    }
    if (!read.error.isEmpty()) {
        output.error = QStringLiteral("journal: %1").arg(read.error);
        return false;
    }
    *entries = read.entries;
    return true;
}

} // namespace

bool isJournalCommand(Command command) {
    return command == Command::Journal || command == Command::Undo;
}

QString parseJournalArguments(Invocation &invocation, const QStringList &arguments) {
    return invocation.command == Command::Journal ? parseList(invocation, arguments)
                                                  : parseUndo(invocation, arguments);
}

int runJournalList(const Invocation &invocation, const Journal &journal, StderrReporter &reporter,
                   Output &output) {
    std::vector<JournalEntry> entries;
    if (!readJournal(journal, reporter, &entries, output)) {
        return kExitFailed;
    }
    const size_t shown =
        std::min(entries.size(),
                 static_cast<size_t>(invocation.journal.count.value_or(static_cast<int>(entries.size()))));
    QJsonArray list;
    for (auto it = entries.end() - static_cast<std::ptrdiff_t>(shown); it != entries.end(); ++it) {
        output.lines << journalEntryLine(*it);
        for (const QString &detail : journalEntryDetails(*it)) {
            output.lines << QStringLiteral("    ") + detail;
        }
        list.append(journalEntryObject(*it));
    }
    output.jsonList = list;
    return kExitOk;
}

int runUndo(const Invocation &invocation, BoxSession &session, CommandLineGate &gate, LinkClock &clock,
            StderrReporter &reporter, Output &output) {
    const Journal *journal = gate.gate().journal();
    if (journal == nullptr) {
        output.error = QStringLiteral("undo: no journal is kept");
        return kExitFailed;
    }
    std::vector<JournalEntry> entries;
    if (!readJournal(*journal, reporter, &entries, output)) {
        return kExitFailed;
    }
    const std::optional<int> named = invocation.journal.entry;
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [named](const JournalEntry &entry) { return entry.id == named; });
    const std::optional<JournalEntry> entry =
        named ? (found != entries.end() ? std::optional(*found) : std::nullopt) : lastUndoable(entries);
    if (!entry) {
        output.error = named ? QStringLiteral("undo: no entry %1 in %2").arg(*named).arg(journal->fileName())
                             : QStringLiteral("undo: no change to undo in %1").arg(journal->fileName());
        return named ? kExitUsage : kExitFailed;
    }
    const BoxConfigurationRead box = readBoxConfiguration(session, clock, partsToRead(*entry), false);
    if (!box.ok()) {
        output.error = QStringLiteral("undo: reading the box's %1: %2")
                           .arg(box.failedPart, QLatin1String(linkErrorName(box.error)));
        return kExitFailed;
    }
    QString why;
    const std::optional<UndoPlan> plan = planUndo(*entry, box.configuration, &why);
    if (!plan) {
        output.error = QStringLiteral("undo: %1").arg(why);
        return kExitFailed;
    }
    // What changed since stands in the error when it stops the undo.
    const bool stopped =
        !plan->changedSince.isEmpty() && !invocation.journal.force && !invocation.journal.dryRun;
    for (const QString &note : undoNotes(*plan)) {
        if (!stopped || !note.startsWith(QLatin1String("changed since: "))) {
            reporter.message(QStringLiteral("undo %1: %2").arg(entry->id).arg(note));
        }
    }
    std::vector<ConfigurationChange> changes;
    for (const RestoreStep &step : plan->steps) {
        changes.push_back(step.change);
        output.lines << changeText(step.change);
    }
    if (invocation.journal.dryRun) {
        output.jsonList = changeArray(changes);
        return kExitOk;
    }
    output.lines.clear();
    const bool force = invocation.journal.force;
    if (!plan->changedSince.isEmpty() && !force) {
        output.error =
            QStringLiteral("undo %1: nothing was sent: changed since: %2 (--force puts it back anyway)")
                .arg(entry->id)
                .arg(plan->changedSince.join(QStringLiteral("; ")));
        return kExitFailed;
    }
    const BoxChange change = undoChange(*plan);
    if (!answerFindings(QStringLiteral("undo %1").arg(entry->id), checkChange(change).lines(), force,
                        QStringLiteral("--force puts it back as it was"), reporter, output)) {
        return kExitFailed;
    }
    const ChangeResult result =
        gate.apply(change, force ? Answer::Yes : Answer::No,
                   [&reporter](int done, int total) { reporter.transferProgress(done, total); });
    const int status =
        reportRestore(QStringLiteral("undo %1").arg(entry->id), journal->fileName(), result.restore, output);
    output.json.insert(QStringLiteral("undone"), entry->id);
    if (result.journalEntry) {
        output.json.insert(QStringLiteral("entry"), result.journalEntry->id);
    }
    return status;
}

} // namespace cli
