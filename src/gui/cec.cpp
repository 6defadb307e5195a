// The CEC commander: send a CEC message, store one in the device's two slots.

#include "VeltrikaForm.h"
#include "device_link.h"
#include "core/packet_text.h"
#include "ui_VeltrikaForm.h"

namespace {

constexpr int kConfirmMs = 2000;
constexpr int kRefusedMs = 4000;

// The CEC message carries the count byte and is activated whatever the device answered.
const packets::PacketSend kCecSend = {
    .limits = {5, 92},
    .lengthError = "Error: min 2, max 31 data bytes",
    .withCountByte = true,
    .code = proto::kCecMessage,
    .accepted = "CEC values written...",
    .refused = "Error Writing CEC command.",
    .activateAfterRefusal = true,
    .selector = proto::kActivateCec,
    .activateFailed = "\nError Populating CEC values.\n",
};

// A stored command is the upper-case text itself with its carriage return, not parsed.
constexpr packets::TextLimits kStoreLimits = {5, 59};

} // namespace

void MainWindow::WriteCEC() {
    sendPacket(kCecSend, ui->CECtext->toPlainText());
}

bool MainWindow::storeCec(uint8_t slotCode) {
    const std::optional<packets::PacketText> prepared =
        packets::preparePacketText(ui->CECtext->toPlainText(), kStoreLimits);
    if (!prepared) {
        showStatus("CEC values not correct", kConfirmMs);
        return false;
    }
    proto::ReplyBuffer reply{};
    const bool accepted = transactAccepted(reply, proto::packetStore(slotCode, prepared->bytes()),
                                           proto::kMarkerReplyLength, slotCode);
    showStatus(accepted ? "CEC values written..." : "Error Writing CEC values.",
               accepted ? kConfirmMs : kRefusedMs);
    return accepted;
}

void MainWindow::SaveCEC_1() {
    storeCec(proto::kStoreCecSlot1);
}

void MainWindow::SaveCEC_2() {
    storeCec(proto::kStoreCecSlot2);
}
