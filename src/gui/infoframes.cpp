// Custom HDR and AVI infoframes typed as colon hex text, and the send both share with
// the CEC commander: the data frame, 100 ms, then the activate command.

#include "VeltrikaForm.h"
#include "ui_VeltrikaForm.h"

// The texts go to the box as typed: what the decoders find in them, Signal Details shows.
std::optional<packets::PacketBytes> MainWindow::packetOf(const packets::PacketSend &send,
                                                         const QString &text) {
    const packets::TextOutcome<packets::PacketBytes> packet = packets::packetBytesOf(text, send);
    if (!packet.ok()) {
        showStatus(packet.error, kConfirmMs);
        return std::nullopt;
    }
    return packet.value;
}

// True only when the activate command was accepted.
bool MainWindow::sendHdrInfoframe() {
    const std::optional<packets::PacketBytes> infoframe =
        packetOf(packets::kHdrSend, ui->IFtext->toPlainText());
    return infoframe && applyChange(BoxChange::ofHdrSend(*infoframe), Answer::Yes).ok();
}

void MainWindow::WriteIF() {
    sendHdrInfoframe();
}

// After activated AVI bytes the device learns whether to keep replacing AVI; true when the
// activate command was accepted, whatever became of that setting.
bool MainWindow::sendAVI() {
    const std::optional<packets::PacketBytes> bytes = packetOf(packets::kAviSend, ui->AVItext->toPlainText());
    if (!bytes) {
        return false;
    }
    const ChangeResult result = applyChange(
        BoxChange::ofAviSend(*bytes, controlsValue(Setting::ReplaceAvi).value_or(0)), Answer::Yes);
    return result.error == LinkError::None || !result.failedPart.isEmpty();
}
