// Register and status access as the window's own operations; the box session does the work
// and reports a failure on the status bar.

#include "VeltrikaForm.h"

#include <algorithm>

bool MainWindow::ReadRegisters(uint8_t address, proto::ReplyBuffer &reply, uint8_t count) {
    const Outcome<proto::ReplyBuffer> block = session_->readRegisters(address, count);
    reply = block.value;
    return block.ok();
}

// A register write is a change like any other: a setting's register writes the setting (its
// shadow byte follows), the reset register resets; the box has no other register to write.
bool MainWindow::WriteRegister(uint8_t address, uint8_t value) {
    if (address == record::kRegFactoryReset) {
        return applyChange(BoxChange::ofFactoryReset(static_cast<FactoryReset>(value)), Answer::No).ok();
    }
    const SettingInfo *setting = settingOfRegister(address);
    return setting != nullptr && applyChange(BoxChange::ofSetting(setting->setting, value), Answer::No).ok();
}

bool MainWindow::ReadStatus(proto::ReplyBuffer &reply, uint8_t count) {
    const Outcome<proto::ReplyBuffer> status = session_->readStatus(count);
    reply = status.value;
    return status.ok();
}

// The block carries back what the box reported, also a value the settings table does not
// name: the window sends it as it is.
bool MainWindow::WriteSettingsBlock(std::span<const uint8_t, proto::kSettingsBlockSize> settings) {
    record::StatusRecord block{};
    std::copy(settings.begin(), settings.end(), block.begin());
    return applyChange(BoxChange::ofSettingsBlock(block), Answer::Yes).ok();
}
