// Custom HDR and AVI infoframes typed as colon hex text, and the send both share with
// the CEC commander: the data frame, 100 ms, then the activate command.

#include "VeltrikaForm.h"
#include "ui_VeltrikaForm.h"

// True only when the activate command was accepted.
bool MainWindow::sendPacket(const packets::PacketSend &send, const QString &text) {
    const packets::TextOutcome<packets::PacketBytes> packet = packets::packetBytesOf(text, send);
    if (!packet.ok()) {
        showStatus(packet.error, kConfirmMs);
        return false;
    }
    return session_->sendPacket(send, packet.value.bytes()) == LinkError::None;
}

bool MainWindow::sendHdrInfoframe() {
    return sendPacket(packets::kHdrSend, ui->IFtext->toPlainText());
}

void MainWindow::WriteIF() {
    sendHdrInfoframe();
}

// After an activated AVI infoframe the device learns whether to keep replacing AVI.
bool MainWindow::sendAVI() {
    if (!sendPacket(packets::kAviSend, ui->AVItext->toPlainText())) {
        return false;
    }
    applySetting(Setting::ReplaceAvi);
    return true;
}
