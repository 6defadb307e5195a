#include "core/chain/chain_report.h"

#include <QJsonArray>

#include <algorithm>

namespace chain {
namespace {

constexpr std::array<Column, kColumnCount> kColumns = {Column::Top, Column::Bot, Column::Box, Column::Input};

QString heading(const ChainMatrix &m, Column column) {
    const QString &name = m.names[static_cast<size_t>(column)];
    return name.isEmpty() ? columnName(column) : QStringLiteral("%1 (%2)").arg(columnName(column), name);
}

bool hasFinding(const Diagnosis &d, Capability c) {
    return std::any_of(d.findings.begin(), d.findings.end(),
                       [c](const ChainFinding &f) { return f.capability == c; });
}

QString numbers(const std::vector<size_t> &indices) {
    QStringList out;
    for (size_t i : indices) {
        out << QString::number(i + 1);
    }
    return out.join(QStringLiteral(", "));
}

QString names(const std::vector<Capability> &capabilities) {
    QStringList out;
    for (Capability c : capabilities) {
        out << QLatin1String(capabilityInfo(c).name);
    }
    return out.join(QStringLiteral(", "));
}

std::vector<Capability> brought(const Diagnosis &d, const ChainFix &fix) {
    std::vector<Capability> out;
    for (size_t i : fix.resolves) {
        if (std::find(out.begin(), out.end(), d.findings[i].capability) == out.end()) {
            out.push_back(d.findings[i].capability);
        }
    }
    return out;
}

QString how(const ChainFix &fix) {
    return fix.expected ? QStringLiteral("expected") : QStringLiteral("decoded from the EDID it writes");
}

QJsonObject cellJson(Capability c, const Cell &cell) {
    QJsonObject object{{QStringLiteral("value"), valueText(c, cell)},
                       {QStringLiteral("evidence"), evidenceText(cell.evidence)}};
    if (!cell.detail.isEmpty()) {
        object.insert(QStringLiteral("detail"), cell.detail);
    }
    return object;
}

QString kindName(FindingKind kind) {
    return kind == FindingKind::SinkOnly ? QStringLiteral("sink-only") : QStringLiteral("not-carried");
}

QString columnKey(Column column) {
    return columnName(column).toLower();
}

} // namespace

QStringList matrixLines(const Diagnosis &d) {
    const ChainMatrix &m = d.matrix;
    qsizetype label = 0;
    std::array<qsizetype, kColumnCount> widths{};
    for (Column column : kColumns) {
        widths[static_cast<size_t>(column)] = heading(m, column).size();
    }
    for (const CapabilityInfo &info : allCapabilities()) {
        label = std::max(label, QLatin1String(info.name).size());
        for (Column column : kColumns) {
            qsizetype &width = widths[static_cast<size_t>(column)];
            width = std::max(width, valueText(info.capability, m.cell(column, info.capability)).size());
        }
    }
    const auto line = [&](const QString &mark, const QString &name, auto valueOf) {
        QString text = mark + name.leftJustified(label);
        for (Column column : kColumns) {
            text += QStringLiteral("  ") + valueOf(column).leftJustified(widths[static_cast<size_t>(column)]);
        }
        while (text.endsWith(QLatin1Char(' '))) {
            text.chop(1);
        }
        return text;
    };
    QStringList lines;
    lines << line(QStringLiteral("  "), QString(), [&](Column column) { return heading(m, column); });
    for (const CapabilityInfo &info : allCapabilities()) {
        lines << line(hasFinding(d, info.capability) ? QStringLiteral("* ") : QStringLiteral("  "),
                      QLatin1String(info.name), [&](Column column) {
                          return valueText(info.capability, m.cell(column, info.capability));
                      });
    }
    return lines;
}

QStringList findingLines(const Diagnosis &d) {
    QStringList lines;
    if (d.findings.empty()) {
        lines << QStringLiteral(
            "Nothing is missing: the box offers what the TVs state, and the input carries what "
            "the box offers for its format.");
        return lines;
    }
    lines << (d.findings.size() == 1 ? QStringLiteral("1 finding:")
                                     : QStringLiteral("%1 findings:").arg(d.findings.size()));
    for (size_t i = 0; i < d.findings.size(); ++i) {
        const ChainFinding &f = d.findings[i];
        lines << QStringLiteral("%1. %2").arg(i + 1).arg(f.text);
        if (!f.fixes.empty()) {
            lines << QStringLiteral("   Fixes: %1").arg(numbers(f.fixes));
        } else if (!f.beyondBox) {
            lines << QStringLiteral("   No fix is known to bring it.");
        }
    }
    return lines;
}

std::vector<ConfigurationChange> fixDifferences(const Diagnosis &d, const ChainFix &fix) {
    return configurationDifferences(d.settings, fixWanted(fix));
}

QString fixSummary(const Diagnosis &d, const ChainFix &fix) {
    QStringList parts = {QStringLiteral("brings %1").arg(names(brought(d, fix)))};
    parts << (fix.loses.empty() ? QStringLiteral("loses nothing the box offers now")
                                : QStringLiteral("loses %1").arg(names(fix.loses)));
    for (Column tv : {Column::Top, Column::Bot}) {
        std::vector<Capability> beyond;
        for (const auto &[column, c] : fix.oneSided) {
            if (column == tv) {
                beyond.push_back(c);
            }
        }
        if (!beyond.empty()) {
            parts << QStringLiteral("%1 does not state: %2").arg(columnLabel(d.matrix, tv), names(beyond));
        }
    }
    return parts.join(QStringLiteral("; "));
}

QStringList fixLines(const Diagnosis &d, const QString &file) {
    QStringList lines;
    if (d.fixes.empty()) {
        return lines;
    }
    lines << QStringLiteral("Fixes:");
    for (size_t i = 0; i < d.fixes.size(); ++i) {
        const ChainFix &fix = d.fixes[i];
        lines << QStringLiteral("%1. %2 (%3): %4").arg(i + 1).arg(fix.words, how(fix), fixSummary(d, fix));
        for (const ConfigurationChange &change : fixDifferences(d, fix)) {
            lines << QStringLiteral("   sends %1").arg(changeText(change));
        }
        for (const QString &note : fix.notes) {
            lines << QStringLiteral("   %1").arg(note);
        }
        for (const QString &command : fixCommands(fix, i + 1, file)) {
            lines << QStringLiteral("   $ %1").arg(command);
        }
    }
    return lines;
}

QStringList whyLines(const Diagnosis &d, Capability c) {
    QStringList lines = {QStringLiteral("%1:").arg(QLatin1String(capabilityInfo(c).name))};
    for (Column column : kColumns) {
        const Cell &cell = d.matrix.cell(column, c);
        const QString value = cell.detail.isEmpty()
                                  ? valueText(c, cell)
                                  : QStringLiteral("%1 (%2)").arg(valueText(c, cell), cell.detail);
        lines << QStringLiteral("  %1: %2; %3")
                     .arg(heading(d.matrix, column), value, evidenceText(cell.evidence));
    }
    bool found = false;
    for (size_t i = 0; i < d.findings.size(); ++i) {
        const ChainFinding &f = d.findings[i];
        if (f.capability != c) {
            continue;
        }
        found = true;
        lines << QStringLiteral("  %1").arg(f.text);
        for (size_t fix : f.fixes) {
            lines << QStringLiteral("  Fix %1: %2 (%3): %4")
                         .arg(fix + 1)
                         .arg(d.fixes[fix].words, how(d.fixes[fix]), fixSummary(d, d.fixes[fix]));
        }
    }
    if (!found) {
        lines << QStringLiteral("  Nothing is missing here.");
    }
    return lines;
}

QStringList fixOfferLines(const Diagnosis &d, const ChainFix &fix) {
    QStringList lines;
    for (const CapabilityInfo &info : allCapabilities()) {
        const QString now = valueText(info.capability, d.matrix.cell(Column::Box, info.capability));
        const QString then = valueText(info.capability, fix.box[static_cast<size_t>(info.capability)]);
        if (now != then) {
            lines << QStringLiteral("%1: %2 -> %3").arg(QLatin1String(info.name), now, then);
        }
    }
    return lines;
}

QStringList fixPreviewLines(const Diagnosis &d, size_t index) {
    const ChainFix &fix = d.fixes[index];
    QStringList lines = {QStringLiteral("Fix %1: %2").arg(index + 1).arg(fix.words),
                         QStringLiteral("It sends:")};
    for (const ConfigurationChange &change : fixDifferences(d, fix)) {
        lines << QStringLiteral("  %1").arg(changeText(change));
    }
    lines << (fix.expected
                  ? QStringLiteral(
                        "The box would offer (expected of the algorithm's name; a box's firmware may "
                        "mix otherwise):")
                  : QStringLiteral("The box would offer (decoded from the EDID it writes):"));
    for (const QString &line : fixOfferLines(d, fix)) {
        lines << QStringLiteral("  %1").arg(line);
    }
    lines << QStringLiteral("In all: %1.").arg(fixSummary(d, fix));
    for (const QString &note : fix.notes) {
        lines << QStringLiteral("The custom EDID: %1.").arg(note);
    }
    return lines;
}

QJsonObject diagnosisJson(const Diagnosis &d, const QString &file) {
    QJsonObject columns;
    for (Column column : kColumns) {
        columns.insert(columnKey(column), d.matrix.names[static_cast<size_t>(column)]);
    }
    QJsonArray matrix;
    for (const CapabilityInfo &info : allCapabilities()) {
        QJsonObject row{{QStringLiteral("key"), QLatin1String(info.key)},
                        {QStringLiteral("capability"), QLatin1String(info.name)}};
        for (Column column : kColumns) {
            row.insert(columnKey(column), cellJson(info.capability, d.matrix.cell(column, info.capability)));
        }
        matrix.append(row);
    }
    QJsonArray findings;
    for (size_t i = 0; i < d.findings.size(); ++i) {
        const ChainFinding &f = d.findings[i];
        QJsonArray sinks, fixes;
        for (Column s : f.sinks) {
            sinks.append(columnKey(s));
        }
        for (size_t fix : f.fixes) {
            fixes.append(static_cast<int>(fix + 1));
        }
        findings.append(
            QJsonObject{{QStringLiteral("number"), static_cast<int>(i + 1)},
                        {QStringLiteral("key"), QLatin1String(capabilityInfo(f.capability).key)},
                        {QStringLiteral("capability"), QLatin1String(capabilityInfo(f.capability).name)},
                        {QStringLiteral("kind"), kindName(f.kind)},
                        {QStringLiteral("sinks"), sinks},
                        {QStringLiteral("text"), f.text},
                        {QStringLiteral("beyond_box"), f.beyondBox},
                        {QStringLiteral("fixes"), fixes}});
    }
    QJsonArray fixes;
    for (size_t i = 0; i < d.fixes.size(); ++i) {
        const ChainFix &fix = d.fixes[i];
        QJsonArray brings, loses, oneSided, changes;
        for (Capability c : brought(d, fix)) {
            brings.append(QLatin1String(capabilityInfo(c).key));
        }
        for (Capability c : fix.loses) {
            loses.append(QLatin1String(capabilityInfo(c).key));
        }
        for (const auto &[tv, c] : fix.oneSided) {
            oneSided.append(QJsonObject{{QStringLiteral("tv"), columnKey(tv)},
                                        {QStringLiteral("key"), QLatin1String(capabilityInfo(c).key)}});
        }
        for (const ConfigurationChange &change : fixDifferences(d, fix)) {
            changes.append(changeObject(change));
        }
        QJsonObject box;
        for (const CapabilityInfo &info : allCapabilities()) {
            box.insert(QLatin1String(info.key),
                       valueText(info.capability, fix.box[static_cast<size_t>(info.capability)]));
        }
        fixes.append(QJsonObject{
            {QStringLiteral("number"), static_cast<int>(i + 1)},
            {QStringLiteral("key"), fix.key},
            {QStringLiteral("fix"), fix.words},
            {QStringLiteral("kind"), fix.kind == ChainFix::Kind::Settings ? QStringLiteral("settings")
                                                                          : QStringLiteral("custom-edid")},
            {QStringLiteral("expected"), fix.expected},
            {QStringLiteral("brings"), brings},
            {QStringLiteral("loses"), loses},
            {QStringLiteral("one_sided"), oneSided},
            {QStringLiteral("changes"), changes},
            {QStringLiteral("box"), box},
            {QStringLiteral("notes"), QJsonArray::fromStringList(fix.notes)},
            {QStringLiteral("commands"), QJsonArray::fromStringList(fixCommands(fix, i + 1, file))}});
    }
    return {{QStringLiteral("columns"), columns},
            {QStringLiteral("matrix"), matrix},
            {QStringLiteral("findings"), findings},
            {QStringLiteral("fixes"), fixes},
            {QStringLiteral("notes"), QJsonArray::fromStringList(d.notes)}};
}

QJsonObject diagnosisSummaryJson(const Diagnosis &d) {
    QJsonArray findings, fixes;
    for (const ChainFinding &f : d.findings) {
        findings.append(
            QJsonObject{{QStringLiteral("key"), QLatin1String(capabilityInfo(f.capability).key)},
                        {QStringLiteral("capability"), QLatin1String(capabilityInfo(f.capability).name)},
                        {QStringLiteral("text"), f.text}});
    }
    for (size_t i = 0; i < d.fixes.size(); ++i) {
        QJsonArray brings;
        for (Capability c : brought(d, d.fixes[i])) {
            brings.append(QLatin1String(capabilityInfo(c).key));
        }
        fixes.append(QJsonObject{{QStringLiteral("number"), static_cast<int>(i + 1)},
                                 {QStringLiteral("fix"), d.fixes[i].words},
                                 {QStringLiteral("brings"), brings}});
    }
    return {{QStringLiteral("count"), static_cast<int>(d.findings.size())},
            {QStringLiteral("findings"), findings},
            {QStringLiteral("fixes"), fixes}};
}

} // namespace chain
