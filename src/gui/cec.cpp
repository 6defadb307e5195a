// The CEC commander: send a CEC message, store one in the device's two slots.

#include "VeltrikaForm.h"
#include "ui_VeltrikaForm.h"

void MainWindow::WriteCEC() {
    sendPacket(packets::kCecSend, ui->CECtext->toPlainText());
}

bool MainWindow::storeCec(uint8_t slotCode) {
    const packets::TextOutcome<packets::PacketText> stored =
        packets::cecStoreTextOf(ui->CECtext->toPlainText());
    if (!stored.ok()) {
        showStatus(stored.error, kConfirmMs);
        return false;
    }
    return session_->storeCec(slotCode, stored.value) == LinkError::None;
}

void MainWindow::SaveCEC_1() {
    storeCec(proto::kStoreCecSlot1);
}

void MainWindow::SaveCEC_2() {
    storeCec(proto::kStoreCecSlot2);
}
