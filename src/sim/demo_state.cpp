#include "sim/demo_state.h"

#include "core/base/saved_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace sim {
namespace {

// Far more than any version of the state holds: a larger file is not read whole.
constexpr qint64 kMaxStateFileSize = 64 * 1024;

} // namespace

QString defaultDemoStateFile(const QString &xdgStateHome, const QString &home) {
    const QString base =
        QDir::isAbsolutePath(xdgStateHome) ? xdgStateHome : home + QStringLiteral("/.local/state");
    return QDir::cleanPath(base + QStringLiteral("/veltrika/demo-box"));
}

std::optional<LoadedState> loadDemoState(const QString &fileName, SimulatedBox &box, QString *error) {
    const QFileInfo info(fileName);
    if (!info.exists() && !info.isSymLink()) {
        return LoadedState{box.exportState(), false};
    }
    QFile file(fileName);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Cannot read file %1: %2.")
                     .arg(fileName, info.isDir() ? QStringLiteral("Is a directory") : file.errorString());
        return std::nullopt;
    }
    const QByteArray bytes = file.read(kMaxStateFileSize + 1);
    if (bytes.size() < 0 || file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("Cannot read file %1: %2.").arg(fileName, file.errorString());
        return std::nullopt;
    }
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    const StateError imported = box.importState({data, static_cast<size_t>(bytes.size())});
    if (imported != StateError::None) {
        *error = QStringLiteral("%1: %2; the file is left as it is")
                     .arg(fileName, QString::fromLatin1(stateErrorText(imported)));
        return std::nullopt;
    }
    return LoadedState{std::vector<uint8_t>(data, data + bytes.size()), true};
}

bool saveDemoState(const QString &fileName, const LoadedState &loaded, const SimulatedBox &box,
                   QString *error) {
    const std::vector<uint8_t> state = box.exportState();
    if (state == loaded.state) {
        return true;
    }
    const QString directory = QFileInfo(fileName).absolutePath();
    if (!QDir().mkpath(directory)) {
        *error = QStringLiteral("Cannot write file %1: cannot make %2.").arg(fileName, directory);
        return false;
    }
    QString reason;
    if (!saveFile(fileName, state, &reason)) {
        *error = QStringLiteral("Cannot write file %1: %2.").arg(fileName, reason);
        return false;
    }
    return true;
}

} // namespace sim
