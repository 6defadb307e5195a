#include "box_changes.h"

#include "run_cli.h"

namespace cli {
namespace {

QString changeNames(const std::vector<ConfigurationChange> &changes) {
    QStringList names;
    for (const ConfigurationChange &change : changes) {
        names << changeName(change);
    }
    return names.isEmpty() ? QStringLiteral("nothing") : names.join(QStringLiteral(", "));
}

} // namespace

QJsonArray changeArray(const std::vector<ConfigurationChange> &changes) {
    QJsonArray array;
    for (const ConfigurationChange &change : changes) {
        array.append(changeObject(change));
    }
    return array;
}

ChangeResult CommandLineGate::apply(const BoxChange &change, Answer answer, const RestoreProgress &progress) {
    if (gate_.journal() != nullptr) {
        reporter_.hold(true);
        gate_.readBefore(change);
        reporter_.hold(false);
    }
    const ChangeResult result = gate_.applyChange(change, {FrontEnd::CommandLine, {}}, answer, progress);
    if (!result.journalWarning.isEmpty() && !journalWarned_) {
        reporter_.message(
            QStringLiteral("journal: %1; the change is not recorded").arg(result.journalWarning));
        journalWarned_ = true;
    }
    return result;
}

bool answerFindings(const QString &what, const QStringList &findings, bool overruled, const QString &hint,
                    StderrReporter &reporter, Output &output) {
    if (findings.isEmpty()) {
        return true;
    }
    output.json.insert(QStringLiteral("findings"), QJsonArray::fromStringList(findings));
    if (overruled) {
        reporter.message(
            QStringLiteral("%1: sent as it is: %2").arg(what, findings.join(QStringLiteral("; "))));
        return true;
    }
    output.error =
        QStringLiteral("%1: nothing was sent: %2 (%3)").arg(what, findings.join(QStringLiteral("; ")), hint);
    return false;
}

int reportRestore(const QString &command, const QString &source, const RestoreReport &report,
                  Output &output) {
    for (const ConfigurationChange &change : report.applied) {
        output.lines << changeText(change);
    }
    output.json = {{QStringLiteral("file"), source},
                   {QStringLiteral("applied"), changeArray(report.applied)},
                   {QStringLiteral("not_applied"), changeArray(report.notApplied)},
                   {QStringLiteral("mismatched"), changeArray(report.mismatched)}};
    if (report.error != LinkError::None) {
        output.error = QStringLiteral("%1: %2 failed (%3); applied: %4; not applied: %5")
                           .arg(command, changeName(report.notApplied.front()),
                                QLatin1String(linkErrorName(report.error)), changeNames(report.applied),
                                changeNames(report.notApplied));
        return kExitFailed;
    }
    if (report.readBackError != LinkError::None) {
        output.error = QStringLiteral("%1: applied: %2; reading the box's %3 back failed (%4)")
                           .arg(command, changeNames(report.applied), report.readBackPart,
                                QLatin1String(linkErrorName(report.readBackError)));
        return kExitFailed;
    }
    if (!report.mismatched.empty()) {
        QStringList lines;
        for (const ConfigurationChange &change : report.mismatched) {
            lines << changeText(change);
        }
        output.error = QStringLiteral("%1: the box read back holds otherwise: %2")
                           .arg(command, lines.join(QStringLiteral("; ")));
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace cli
