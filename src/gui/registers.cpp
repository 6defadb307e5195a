// Register and status access: the four operations through which the rest of the window
// reads and writes the device's registers and status.

#include "VeltrikaForm.h"
#include "device_link.h"

namespace {
constexpr int kBlockReadFailedMs = 2000;
constexpr int kRefusedMs = 4000;
} // namespace

bool MainWindow::ReadRegisters(uint8_t address, proto::ReplyBuffer &reply, uint8_t count) {
    reply.fill(0);
    if (transactAccepted(reply, proto::registerBlockRead(address, count), count, proto::kRegisterAccess)) {
        return true;
    }
    // A block that was not accepted reads as zeros, never as part of a reply.
    reply.fill(0);
    showStatus("...", kBlockReadFailedMs);
    return false;
}

bool MainWindow::WriteRegister(uint8_t address, uint8_t value) {
    proto::ReplyBuffer reply{};
    if (transactAccepted(reply, proto::registerWrite(address, value), proto::kMarkerReplyLength,
                         proto::kRegisterAccess)) {
        return true;
    }
    showStatus("Error Writing values", kRefusedMs);
    return false;
}

bool MainWindow::ReadStatus(proto::ReplyBuffer &reply, uint8_t count) {
    reply.fill(0);
    if (transactAccepted(reply, proto::statusRead(count), count, proto::kStatusRead)) {
        return true;
    }
    showStatus("Error Reading values", kRefusedMs);
    return false;
}

bool MainWindow::WriteSettingsBlock(std::span<const uint8_t, proto::kSettingsBlockSize> settings) {
    proto::ReplyBuffer reply{};
    if (transactAccepted(reply, proto::settingsBlockWrite(settings), proto::kMarkerReplyLength,
                         proto::kSettingsBlock)) {
        return true;
    }
    showStatus("Error Writing values", kRefusedMs);
    return false;
}
