#pragma once
// Debian's edid-decode --check run on an EDID file: what it prints, and the failures it lists.
// The tests that hold an EDID against edid-decode ask it through these.

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace edidoracle {

// What edid-decode --check --skip-hex-dump prints of the file; none when it did not finish
// within 30 seconds.
inline std::optional<QString> oracleCheck(const QString &oracle, const QString &path) {
    QProcess process;
    process.start(oracle, {QStringLiteral("--check"), QStringLiteral("--skip-hex-dump"), path});
    if (!process.waitForFinished(30000)) {
        return std::nullopt;
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The failures edid-decode --check reports, "Block 1, CTA-861 Extension Block: <text>";
// the lines of detail under a failure are left out (they give values that edits move).
// `tidy`, where given, rewrites the text of each failure before its section is put before it.
inline QStringList oracleFailures(const QString &oracle, const QString &path,
                                  const std::function<QString(const QString &)> &tidy = {}) {
    const std::optional<QString> output = oracleCheck(oracle, path);
    if (!output) {
        return {QStringLiteral("edid-decode did not finish")};
    }
    QStringList failures;
    bool inFailures = false;
    QString section;
    for (const QString &line : output->split('\n')) {
        if (line == QLatin1String("Failures:")) {
            inFailures = true;
        } else if (line.startsWith(QLatin1String("EDID conformity"))) {
            inFailures = false;
        } else if (inFailures && !line.isEmpty() && !line.startsWith(' ')) {
            section = line;
        } else if (inFailures && line.startsWith(QLatin1String("  ")) &&
                   !line.startsWith(QLatin1String("   "))) {
            failures << section + ' ' + (tidy ? tidy(line.trimmed()) : line.trimmed());
        }
    }
    return failures;
}

// The bytes saved as NAME in DIR for edid-decode to read; the file's path.
inline QString saved(const QTemporaryDir &dir, const QString &name, std::span<const uint8_t> bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
    }
    return path;
}

} // namespace edidoracle
