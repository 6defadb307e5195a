#include "doctor_command.h"

#include "core/base/saved_file.h"
#include "core/box/box_configuration_session.h"
#include "core/chain/chain_read.h"
#include "core/chain/chain_report.h"
#include "run_cli.h"

#include <QJsonArray>

#include <algorithm>

namespace cli {
namespace {

// The name a custom EDID fix's file has in the command lines the doctor prints.
constexpr char kFixFile[] = "chain-fix.bin";

QString applyHint() {
    return QStringLiteral(
        "`veltrika doctor --apply N` sends fix N through the checks and the journal (`--dry-run` "
        "shows it first); `veltrika undo` takes it back.");
}

// The fix a number (1, 2, ...) or a key names.
std::optional<size_t> fixNamed(const chain::Diagnosis &diagnosis, const QString &name) {
    bool isNumber = false;
    const int number = name.toInt(&isNumber);
    if (isNumber) {
        return number >= 1 && static_cast<size_t>(number) <= diagnosis.fixes.size()
                   ? std::optional(static_cast<size_t>(number - 1))
                   : std::nullopt;
    }
    const auto found = std::find_if(diagnosis.fixes.begin(), diagnosis.fixes.end(),
                                    [&](const chain::ChainFix &fix) { return fix.key == name; });
    return found != diagnosis.fixes.end()
               ? std::optional(static_cast<size_t>(found - diagnosis.fixes.begin()))
               : std::nullopt;
}

bool read(BoxSession &session, LinkClock &clock, chain::Diagnosis *diagnosis, Output &output) {
    const chain::ChainRead read = chain::readChain(session, clock);
    if (!read.ok()) {
        output.error = QStringLiteral("doctor: reading the box's %1: %2")
                           .arg(read.failedPart, QLatin1String(linkErrorName(read.error)));
        return false;
    }
    *diagnosis = chain::diagnose(read.inputs);
    return true;
}

int show(const Invocation &invocation, const chain::Diagnosis &diagnosis, Output &output) {
    const std::vector<chain::Capability> &rows = invocation.doctor.why;
    if (rows.empty()) {
        output.lines << chain::matrixLines(diagnosis) << QString() << chain::findingLines(diagnosis);
        const QStringList fixes = chain::fixLines(diagnosis, QLatin1String(kFixFile));
        if (!fixes.isEmpty()) {
            output.lines << QString() << fixes;
        }
        if (!diagnosis.notes.isEmpty()) {
            output.lines << QString() << QStringLiteral("Notes:");
            for (const QString &note : diagnosis.notes) {
                output.lines << QStringLiteral("- %1").arg(note);
            }
        }
        if (!diagnosis.fixes.empty()) {
            output.lines << QString() << applyHint();
        }
        output.json = chain::diagnosisJson(diagnosis, QLatin1String(kFixFile));
        return diagnosis.findings.empty() ? kExitOk : kExitFailed;
    }
    QJsonObject json = chain::diagnosisJson(diagnosis, QLatin1String(kFixFile));
    const auto asked = [&](const QJsonValue &row) {
        return std::any_of(rows.begin(), rows.end(), [&](chain::Capability c) {
            return row[QStringLiteral("key")].toString() == QLatin1String(chain::capabilityInfo(c).key);
        });
    };
    for (const QString &part : {QStringLiteral("matrix"), QStringLiteral("findings")}) {
        QJsonArray kept;
        for (const QJsonValue &row : json[part].toArray()) {
            if (asked(row)) {
                kept.append(row);
            }
        }
        json.insert(part, kept);
    }
    bool missing = false;
    for (chain::Capability c : rows) {
        if (!output.lines.isEmpty()) {
            output.lines << QString();
        }
        output.lines << chain::whyLines(diagnosis, c);
        missing = missing || std::any_of(diagnosis.findings.begin(), diagnosis.findings.end(),
                                         [c](const chain::ChainFinding &f) { return f.capability == c; });
    }
    output.json = json;
    return missing ? kExitFailed : kExitOk;
}

int apply(const Invocation &invocation, BoxSession &session, CommandLineGate &gate, LinkClock &clock,
          StderrReporter &reporter, QSaveFile *file, const chain::Diagnosis &diagnosis, Output &output) {
    const DoctorArguments &arguments = invocation.doctor;
    const std::optional<size_t> index = fixNamed(diagnosis, arguments.apply);
    if (!index) {
        output.error =
            diagnosis.fixes.empty()
                ? QStringLiteral("doctor --apply %1: the doctor proposes no fix").arg(arguments.apply)
                : QStringLiteral("doctor --apply %1: no such fix (the doctor proposes %2: 1 to %2)")
                      .arg(arguments.apply)
                      .arg(diagnosis.fixes.size());
        return kExitUsage;
    }
    const chain::ChainFix &fix = diagnosis.fixes[*index];
    const QString what = QStringLiteral("doctor --apply %1").arg(*index + 1);
    if (file != nullptr && !fix.edid) {
        output.error =
            QStringLiteral("%1: -o saves a custom EDID, and fix %2 writes none").arg(what).arg(*index + 1);
        return kExitUsage;
    }
    if (arguments.dryRun) {
        output.lines = chain::fixPreviewLines(diagnosis, *index);
        output.json = chain::diagnosisJson(diagnosis, QLatin1String(kFixFile))[QStringLiteral("fixes")]
                          .toArray()[static_cast<qsizetype>(*index)]
                          .toObject();
        if (file != nullptr) {
            if (!writeAll(*file, *fix.edid) || !file->commit()) {
                output.error = QStringLiteral("Cannot write file %1: %2.")
                                   .arg(invocation.outputFile, file->errorString());
                return kExitUsage;
            }
            output.json.insert(QStringLiteral("file"), invocation.outputFile);
        }
        return kExitOk;
    }
    const BoxConfigurationRead box = readBoxConfiguration(
        session, clock, partBit(ConfigurationPart::Settings) | partBit(ConfigurationPart::Edid), false);
    if (!box.ok()) {
        output.error = QStringLiteral("%1: reading the box's %2: %3")
                           .arg(what, box.failedPart, QLatin1String(linkErrorName(box.error)));
        return kExitFailed;
    }
    const BoxChange change = chain::fixChange(fix, box.configuration);
    if (change.steps.empty()) {
        output.lines << QStringLiteral("%1: the box holds it already; nothing was sent.").arg(what);
        return kExitOk;
    }
    if (!answerFindings(what, checkChange(change).lines(), arguments.asIs,
                        QStringLiteral("--as-is sends it as it is"), reporter, output)) {
        return kExitFailed;
    }
    const ChangeResult result =
        gate.apply(change, arguments.asIs ? Answer::Yes : Answer::No,
                   [&reporter](int done, int total) { reporter.transferProgress(done, total); });
    const int status = reportRestore(what, fix.words, result.restore, output);
    output.json.insert(QStringLiteral("fix"), fix.words);
    if (result.journalEntry) {
        output.json.insert(QStringLiteral("entry"), result.journalEntry->id);
    }
    if (status != kExitOk) {
        return status;
    }
    chain::Diagnosis after;
    if (!read(session, clock, &after, output)) {
        return kExitFailed;
    }
    output.lines << QString() << QStringLiteral("Now:") << chain::findingLines(after);
    output.json.insert(QStringLiteral("after"), chain::diagnosisSummaryJson(after));
    return kExitOk;
}

} // namespace

QString parseDoctorArguments(Invocation &invocation, const QStringList &arguments) {
    DoctorArguments &doctor = invocation.doctor;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == QLatin1String("--why")) {
            if (!hasValue) {
                return QStringLiteral("--why needs a capability (one of: %1)").arg(chain::capabilityKeys());
            }
            const QString word = arguments[++i];
            const std::vector<chain::Capability> rows = chain::capabilitiesNamed(word);
            if (rows.empty()) {
                return QStringLiteral("--why: unknown capability %1 (one of: %2)")
                    .arg(word, chain::capabilityKeys());
            }
            for (chain::Capability c : rows) {
                if (std::find(doctor.why.begin(), doctor.why.end(), c) == doctor.why.end()) {
                    doctor.why.push_back(c);
                }
            }
        } else if (argument == QLatin1String("--apply")) {
            if (!hasValue || arguments[i + 1].isEmpty()) {
                return QStringLiteral("--apply needs a fix's number");
            }
            doctor.apply = arguments[++i];
        } else if (argument == QLatin1String("--dry-run")) {
            doctor.dryRun = true;
        } else if (argument == QLatin1String("--as-is")) {
            doctor.asIs = true;
        } else if (argument == QLatin1String("-o")) {
            if (!hasValue || arguments[i + 1].isEmpty()) {
                return QStringLiteral("-o needs a FILE");
            }
            invocation.outputFile = arguments[++i];
        } else {
            return QStringLiteral("unexpected argument: %1").arg(argument);
        }
    }
    if (doctor.apply.isEmpty() && (doctor.dryRun || doctor.asIs || !invocation.outputFile.isEmpty())) {
        return QStringLiteral("--dry-run, --as-is and -o go with --apply N");
    }
    if (!doctor.apply.isEmpty() && !doctor.why.empty()) {
        return QStringLiteral("--why and --apply exclude each other");
    }
    if (!invocation.outputFile.isEmpty() && !doctor.dryRun) {
        return QStringLiteral("-o saves a fix's EDID with --dry-run (then write it with edid write)");
    }
    if (invocation.outputFile == QLatin1String("-")) {
        return QStringLiteral("doctor -o needs a FILE");
    }
    return {};
}

int runDoctor(const Invocation &invocation, BoxSession &session, CommandLineGate &gate, LinkClock &clock,
              StderrReporter &reporter, QSaveFile *file, Output &output) {
    chain::Diagnosis diagnosis;
    if (!read(session, clock, &diagnosis, output)) {
        return kExitFailed;
    }
    if (invocation.doctor.apply.isEmpty()) {
        return show(invocation, diagnosis, output);
    }
    return apply(invocation, session, gate, clock, reporter, file, diagnosis, output);
}

} // namespace cli
