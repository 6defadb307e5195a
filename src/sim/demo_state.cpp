#include "sim/demo_state.h"

#include "core/base/saved_file.h"
#include "core/box/frames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace sim {
namespace {

// Far more than any version of the state holds: a larger file is not read whole.
constexpr qint64 kMaxStateFileSize = 64 * 1024;

// The file's bytes; nothing and `error` set when it cannot be read.
std::optional<QByteArray> readStateFile(const QString &fileName, QString *error) {
    const QFileInfo info(fileName);
    QFile file(fileName);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Cannot read file %1: %2.")
                     .arg(fileName, info.isDir() ? QStringLiteral("Is a directory") : file.errorString());
        return std::nullopt;
    }
    QByteArray bytes = file.read(kMaxStateFileSize + 1);
    if (bytes.size() < 0 || file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("Cannot read file %1: %2.").arg(fileName, file.errorString());
        return std::nullopt;
    }
    return bytes;
}

// Takes the bytes into the box; false with `error` set, and the box unchanged, when they are
// no state.
bool takeState(SimulatedBox &box, const QString &fileName, const QByteArray &bytes, QString *error) {
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    const StateError imported = box.importState({data, static_cast<size_t>(bytes.size())});
    if (imported != StateError::None) {
        *error = QStringLiteral("%1: %2; the file is left as it is")
                     .arg(fileName, QString::fromLatin1(stateErrorText(imported)));
        return false;
    }
    return true;
}

bool isStatusRead(const uint8_t *bytes, uint32_t count) {
    return bytes != nullptr && count >= 3 && bytes[0] == proto::kFromDevice && bytes[2] == proto::kStatusRead;
}

} // namespace

QString defaultDemoStateFile(const QString &xdgStateHome, const QString &home) {
    const QString base =
        QDir::isAbsolutePath(xdgStateHome) ? xdgStateHome : home + QStringLiteral("/.local/state");
    return QDir::cleanPath(base + QStringLiteral("/veltrika/demo-box"));
}

SharedDemoBox::SharedDemoBox(SimulatedBox &box, QString fileName)
    : box_(box), fileName_(std::move(fileName)), synced_(box.exportState()) {
    idle_.setSingleShot(true);
    QObject::connect(&idle_, &QTimer::timeout, [this] {
        QString error;
        report(save(&error), error);
    });
}

SharedDemoBox::~SharedDemoBox() {
    QString error;
    report(save(&error), error);
}

SharedDemoBox::Signature SharedDemoBox::signature() const {
    const QFileInfo info(fileName_);
    if (!info.exists()) {
        return {};
    }
    return {true, info.lastModified().toMSecsSinceEpoch(),
            info.fileTime(QFileDevice::FileMetadataChangeTime).toMSecsSinceEpoch(), info.size()};
}

bool SharedDemoBox::load(QString *error) {
    // Taken before the read: a save that comes between is read again at the next sync.
    const Signature before = signature();
    const QFileInfo info(fileName_);
    if (!info.exists() && !info.isSymLink()) {
        synced_ = box_.exportState();
        seen_ = before;
        return true;
    }
    const std::optional<QByteArray> bytes = readStateFile(fileName_, error);
    if (!bytes || !takeState(box_, fileName_, *bytes, error)) {
        return false;
    }
    synced_ = box_.exportState();
    seen_ = before;
    return true;
}

bool SharedDemoBox::save(QString *error) {
    idle_.stop();
    const std::vector<uint8_t> state = box_.exportState();
    if (state == synced_) {
        return true;
    }
    const QString directory = QFileInfo(fileName_).absolutePath();
    QString reason;
    if (!makeFolders(directory, &reason)) {
        *error = QStringLiteral("Cannot write file %1: cannot make the folder %2 (%3).")
                     .arg(fileName_, directory, reason);
        return false;
    }
    if (!saveFile(fileName_, state, &reason)) {
        *error = QStringLiteral("Cannot write file %1: %2.").arg(fileName_, reason);
        return false;
    }
    synced_ = state;
    // Another process may have saved right after this one: the file is read at the next sync.
    seen_.reset();
    return true;
}

// A file changed since it was last read is read; a state other than the one in step is taken.
bool SharedDemoBox::pickUp(QString *error) {
    const Signature now = signature();
    if (seen_ && *seen_ == now) {
        return true;
    }
    seen_ = now;
    if (!now.exists) {
        return true; // deleted by hand: the next change makes it again
    }
    const std::optional<QByteArray> bytes = readStateFile(fileName_, error);
    if (!bytes) {
        return false;
    }
    const auto *data = reinterpret_cast<const uint8_t *>(bytes->constData());
    if (std::vector<uint8_t>(data, data + bytes->size()) == synced_) {
        return true;
    }
    if (!takeState(box_, fileName_, *bytes, error)) {
        return false;
    }
    synced_ = box_.exportState();
    return true;
}

// At a status read: this process's own change goes out first (the last writer wins);
// without one, another's comes in.
void SharedDemoBox::sync() {
    QString error;
    const bool ok = box_.exportState() != synced_ ? save(&error) : pickUp(&error);
    report(ok, error);
}

void SharedDemoBox::report(bool ok, const QString &error) {
    if (ok) {
        reported_.clear();
        return;
    }
    if (error != reported_ && onError_) {
        onError_(error);
    }
    reported_ = error;
}

int SharedDemoBox::deviceCount(uint32_t *count) {
    return box_.deviceCount(count);
}

int SharedDemoBox::productString(uint32_t index, char buffer[256], uint32_t option) {
    return box_.productString(index, buffer, option);
}

int SharedDemoBox::open(uint32_t index, UsbHandle *handle) {
    return box_.open(index, handle);
}

int SharedDemoBox::close(UsbHandle handle) {
    return box_.close(handle);
}

int SharedDemoBox::read(UsbHandle handle, uint8_t *buffer, uint32_t wanted, uint32_t *got) {
    return box_.read(handle, buffer, wanted, got);
}

int SharedDemoBox::write(UsbHandle handle, const uint8_t *bytes, uint32_t count, uint32_t *written) {
    if (isStatusRead(bytes, count)) {
        sync();
    }
    const int result = box_.write(handle, bytes, count, written);
    if (saveWhenIdle_ && bytes != nullptr && count > 0 && bytes[0] == proto::kToDevice && !idle_.isActive()) {
        // A change made just before the event loop ends is saved before the loop's timers go.
        if (!quitHooked_ && QCoreApplication::instance() != nullptr) {
            QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &idle_, [this] {
                QString error;
                report(save(&error), error);
            });
            quitHooked_ = true;
        }
        idle_.start(0);
    }
    return result;
}

int SharedDemoBox::flush(UsbHandle handle, uint8_t transmit, uint8_t receive) {
    return box_.flush(handle, transmit, receive);
}

int SharedDemoBox::setTimeouts(uint32_t readMs, uint32_t writeMs) {
    return box_.setTimeouts(readMs, writeMs);
}

int SharedDemoBox::timeouts(uint32_t *readMs, uint32_t *writeMs) {
    return box_.timeouts(readMs, writeMs);
}

int SharedDemoBox::rxQueue(UsbHandle handle, uint32_t *bytesWaiting, uint32_t *status) {
    return box_.rxQueue(handle, bytesWaiting, status);
}

} // namespace sim
