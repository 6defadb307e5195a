#include "core/box/named_configurations.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

#include <algorithm>

namespace {

constexpr qsizetype kMostNameCharacters = 100;
constexpr char kSuffix[] = ".json";

} // namespace

QString defaultConfigurationsDirectory(const QString &xdgDataHome, const QString &home) {
    const QString base =
        QDir::isAbsolutePath(xdgDataHome) ? xdgDataHome : home + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/veltrika/configurations"));
}

QString configurationsDirectory() {
    return defaultConfigurationsDirectory(qEnvironmentVariable("XDG_DATA_HOME"), QDir::homePath());
}

QString configurationNameError(const QString &name) {
    if (name.isEmpty()) {
        return QStringLiteral("a configuration needs a name");
    }
    if (name.size() > kMostNameCharacters) {
        return QStringLiteral("a configuration's name has at most %1 characters").arg(kMostNameCharacters);
    }
    if (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char('-'))) {
        return QStringLiteral("a configuration's name begins with neither a dot nor a dash: %1").arg(name);
    }
    const bool forbidden = std::any_of(name.begin(), name.end(), [](QChar c) {
        return c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control;
    });
    if (forbidden) {
        return QStringLiteral("a configuration's name holds no slash and no control character: %1").arg(name);
    }
    return {};
}

QString namedConfigurationFile(const QString &directory, const QString &name) {
    return QDir(directory).filePath(name + QLatin1String(kSuffix));
}

QStringList namedConfigurations(const QString &directory) {
    QStringList names;
    const QFileInfoList files = QDir(directory).entryInfoList({QStringLiteral("*") + QLatin1String(kSuffix)},
                                                              QDir::Files, QDir::Name);
    for (const QFileInfo &file : files) {
        const QString name = file.fileName().chopped(static_cast<qsizetype>(sizeof(kSuffix) - 1));
        if (configurationNameError(name).isEmpty()) {
            names << name;
        }
    }
    return names;
}
