#pragma once
// What a decoder noticed about the bytes it was given: a warning where the bytes break a
// rule but still mean something, a failure where a part could not be decoded. Decoders
// collect findings and go on; they never stop at the first one.

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringBuilder>

#include <vector>

struct Finding {
    enum class Severity { Warning, Failure };
    Severity severity = Severity::Warning;
    QString where; // "Block 1, Audio Data Block", "Checksum", ...
    QString text;
    // For a decoder that names its rules: the rule's stable id ("cta.vcdb.missing"), and
    // where the finding stands: the block, and the offset in it of the part found (-1: none).
    const char *rule = nullptr;
    int block = -1;
    int byte = -1;
};

using Findings = std::vector<Finding>;

// Bytes that break one rule mostly break more: the list has room for eight from its first.
inline void addFinding(Findings &findings, Finding::Severity severity, const QString &where,
                       const QString &text) {
    if (findings.empty()) {
        findings.reserve(8);
    }
    findings.push_back({severity, where, text});
}
inline void addWarning(Findings &findings, const QString &where, const QString &text) {
    addFinding(findings, Finding::Severity::Warning, where, text);
}
inline void addFailure(Findings &findings, const QString &where, const QString &text) {
    addFinding(findings, Finding::Severity::Failure, where, text);
}

// "Warning: <where>: <text>" or "Failure: ...", the line every front end shows. The parts
// are joined with % (QStringBuilder), which makes the line in one allocation.
inline QString findingLine(const Finding &finding) {
    const QLatin1String kind(finding.severity == Finding::Severity::Warning ? "Warning" : "Failure");
    if (finding.where.isEmpty()) {
        return kind % QLatin1String(": ") % finding.text;
    }
    return kind % QLatin1String(": ") % finding.where % QLatin1String(": ") % finding.text;
}

// The findings as the JSON forms carry them: "warnings" and "failures", each a list of
// "<where>: <text>".
inline void insertFindings(QJsonObject &object, const Findings &findings) {
    QJsonArray warnings, failures;
    for (const Finding &f : findings) {
        const QString text = f.where.isEmpty() ? f.text : QString(f.where % QLatin1String(": ") % f.text);
        (f.severity == Finding::Severity::Warning ? warnings : failures).append(text);
    }
    object[QStringLiteral("warnings")] = warnings;
    object[QStringLiteral("failures")] = failures;
}
