#include "core/base/saved_file.h"

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
