#include "core/base/saved_file.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <direct.h>
#else
#include <sys/stat.h>
#endif

namespace {

// mkdir(2) itself, for its errno: QDir says only that it failed.
int makeOneFolder(const QString &path) {
#ifdef Q_OS_WIN
    return _wmkdir(reinterpret_cast<const wchar_t *>(path.utf16()));
#else
    return mkdir(QFile::encodeName(path).constData(), 0777);
#endif
}

} // namespace

bool writeAll(QSaveFile &file, std::span<const uint8_t> bytes) {
    const auto *data = reinterpret_cast<const char *>(bytes.data());
    const auto size = static_cast<qint64>(bytes.size());
    qint64 written = 0;
    while (written < size) {
        const qint64 step = file.write(data + written, size - written);
        if (step <= 0) {
            return false;
        }
        written += step;
    }
    return true;
}

bool saveFile(const QString &fileName, std::span<const uint8_t> bytes, QString *error) {
    // Unbuffered, a write cut short (a full disk) shows at once instead of in a later flush.
    QSaveFile file(fileName);
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && writeAll(file, bytes) && file.commit()) {
        return true;
    }
    if (error != nullptr) {
        *error = file.errorString();
    }
    return false;
}

bool makeFolders(const QString &path, QString *why) {
    const QString folder = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    if (QFileInfo(folder).isDir()) {
        return true;
    }
    const QString parent = QFileInfo(folder).absolutePath();
    if (parent != folder && !makeFolders(parent, why)) {
        return false;
    }
    if (makeOneFolder(folder) == 0) {
        return true;
    }
    int error = errno;
    if (error == EEXIST) {
        // Made meanwhile by someone else: there all the same. A file of that name is in the way.
        if (QFileInfo(folder).isDir()) {
            return true;
        }
        error = ENOTDIR;
    }
    *why = QString::fromLocal8Bit(std::strerror(error));
    return false;
}
