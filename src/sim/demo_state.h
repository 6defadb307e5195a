#pragma once
// The demo box's state file, shared by every front end on the machine: `veltrika --demo`, the
// bridge's demo and the window's demo are one box on a desk. The file is read into the
// simulated box at the start; a front end that runs takes what another saved since at its
// next status tick, and saves what it changed itself. Saves replace the file atomically, so
// two writers never leave a damaged file: the last one wins, whole. A missing file is a
// factory-fresh box; an unreadable or damaged one is an error and is left as it is.

#include "core/box/usbxpress.h"
#include "sim/simulated_box.h"

#include <QString>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

namespace sim {

// $XDG_STATE_HOME/veltrika/demo-box, or ~/.local/state/veltrika/demo-box when
// XDG_STATE_HOME is unset or not an absolute path.
QString defaultDemoStateFile(const QString &xdgStateHome, const QString &home);

// The simulated box behind the USB seam, kept in step with the state file: every call goes
// to the box, and a status read first saves what this process changed or, when it changed
// nothing, takes what another process saved since. The demo's lively source is not state.
class SharedDemoBox final : public UsbXpress {
public:
    SharedDemoBox(SimulatedBox &box, QString fileName);
    // Saves what is left to save; a failure goes to the error handler.
    ~SharedDemoBox() override;
    SharedDemoBox(const SharedDemoBox &) = delete;
    SharedDemoBox &operator=(const SharedDemoBox &) = delete;

    // Reads the file into the box; false with `error` set when it cannot be read or taken.
    bool load(QString *error);
    // Writes the box's state when it changed since the file was last read or written; false
    // with `error` set when the write failed (the old file is then as it was).
    bool save(QString *error);
    // Saves once the event loop turns after a change: a front end whose changes come from its
    // event loop (the window) saves after each of them, once for what one event sent.
    void setSaveWhenIdle(bool saveWhenIdle) { saveWhenIdle_ = saveWhenIdle; }
    // Where a save or a read that nobody asked for directly tells its failure; each failure
    // once, until the file is in step again.
    void setErrorHandler(std::function<void(const QString &)> handler) { onError_ = std::move(handler); }
    const QString &fileName() const { return fileName_; }

    // UsbXpress
    int deviceCount(uint32_t *count) override;
    int productString(uint32_t index, char buffer[256], uint32_t option) override;
    int open(uint32_t index, UsbHandle *handle) override;
    int close(UsbHandle handle) override;
    int read(UsbHandle handle, uint8_t *buffer, uint32_t wanted, uint32_t *got) override;
    int write(UsbHandle handle, const uint8_t *bytes, uint32_t count, uint32_t *written) override;
    int flush(UsbHandle handle, uint8_t transmit, uint8_t receive) override;
    int setTimeouts(uint32_t readMs, uint32_t writeMs) override;
    int timeouts(uint32_t *readMs, uint32_t *writeMs) override;
    int rxQueue(UsbHandle handle, uint32_t *bytesWaiting, uint32_t *status) override;

private:
    // What tells a changed file cheaply: its times and size, not its bytes.
    struct Signature {
        bool exists = false;
        qint64 modified = 0;
        qint64 metadataChanged = 0;
        qint64 size = 0;
        bool operator==(const Signature &) const = default;
    };
    Signature signature() const;
    bool pickUp(QString *error);
    void sync();
    void report(bool ok, const QString &error);

    SimulatedBox &box_;
    QString fileName_;
    std::vector<uint8_t> synced_;   // the state last read from the file or written to it
    std::optional<Signature> seen_; // the file when it was last read; none: read it next time
    bool saveWhenIdle_ = false;
    bool quitHooked_ = false;
    QTimer idle_;
    std::function<void(const QString &)> onError_;
    QString reported_;
};

} // namespace sim
