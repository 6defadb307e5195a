// Register and status access as the window's own operations; the box session does the work
// and reports a failure on the status bar.

#include "VeltrikaForm.h"

bool MainWindow::ReadRegisters(uint8_t address, proto::ReplyBuffer &reply, uint8_t count) {
    const Outcome<proto::ReplyBuffer> block = session_->readRegisters(address, count);
    reply = block.value;
    return block.ok();
}

bool MainWindow::WriteRegister(uint8_t address, uint8_t value) {
    return session_->writeRegister(address, value) == LinkError::None;
}

bool MainWindow::ReadStatus(proto::ReplyBuffer &reply, uint8_t count) {
    const Outcome<proto::ReplyBuffer> status = session_->readStatus(count);
    reply = status.value;
    return status.ok();
}

bool MainWindow::WriteSettingsBlock(std::span<const uint8_t, proto::kSettingsBlockSize> settings) {
    return session_->writeSettingsBlock(settings) == LinkError::None;
}
