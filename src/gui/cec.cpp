// The CEC commander: send a CEC message, store one in the device's two slots.

#include "VeltrikaForm.h"
#include "ui_VeltrikaForm.h"

// The CEC commander sends what is typed: the gate's findings are Signal Details' to show.
void MainWindow::WriteCEC() {
    if (const std::optional<packets::PacketBytes> message =
            packetOf(packets::kCecSend, ui->CECtext->toPlainText())) {
        applyChange(BoxChange::ofCecSend(*message), Answer::Yes);
    }
}

bool MainWindow::storeCec(uint8_t slotCode) {
    const packets::TextOutcome<packets::PacketText> stored =
        packets::cecStoreTextOf(ui->CECtext->toPlainText());
    if (!stored.ok()) {
        showStatus(stored.error, kConfirmMs);
        return false;
    }
    return applyChange(BoxChange::ofCecStore(slotCode, stored.value), Answer::Yes).ok();
}

void MainWindow::SaveCEC_1() {
    storeCec(proto::kStoreCecSlot1);
}

void MainWindow::SaveCEC_2() {
    storeCec(proto::kStoreCecSlot2);
}
