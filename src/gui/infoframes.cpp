// Custom HDR and AVI infoframes typed as colon hex text, and the send both share with
// the CEC commander: the data frame, 100 ms, then the activate command.

#include "VeltrikaForm.h"
#include "core/colon_hex.h"
#include "device_link.h"
#include "core/usbxpress.h"
#include "core/packet_text.h"
#include "ui_VeltrikaForm.h"

#include <array>
#include <cstdio>

namespace {

constexpr uint32_t kBeforeActivateMs = 100;
constexpr int kConfirmMs = 2000;
constexpr int kRefusedMs = 4000;

// The HDR infoframe is activated even when the device refused it.
const packets::PacketSend kHdrSend = {
    .limits = {5, 92},
    .lengthError = "Error: min 2, max 31 data bytes",
    .withCountByte = false,
    .code = proto::kHdrInfoframe,
    .accepted = "Infoframe values written...",
    .refused = "Error Writing Infoframe values.",
    .activateAfterRefusal = true,
    .selector = proto::kActivateHdr,
    .activateFailed = "\nError Populating IF values.\n",
};

const packets::PacketSend kAviSend = {
    .limits = {5, 38},
    .lengthError = "Error: min 2, max 13 data bytes",
    .withCountByte = false,
    .code = proto::kAviInfoframe,
    .accepted = "AVI values written...",
    .refused = "Error Writing AVI command.",
    .activateAfterRefusal = false,
    .selector = proto::kActivateAvi,
    .activateFailed = "\nError Activating AVI values.\n",
};

} // namespace

// True only when the activate command was accepted.
bool MainWindow::sendPacket(const packets::PacketSend &send, const QString &text) {
    const std::optional<packets::PacketText> prepared = packets::preparePacketText(text, send.limits);
    if (!prepared) {
        showStatus(send.lengthError, kConfirmMs);
        return false;
    }
    std::array<uint8_t, kColonHexOutputSize> data{};
    const uint8_t count = parseColonHex(prepared->text(), prepared->length, send.withCountByte, data);
    // A run of colons makes more groups than a text of this length holds as two digits and
    // a colon each; the frame would cut them off without a word.
    const size_t maxGroups = (send.limits.maxChars + 1) / 3;
    if (count - (send.withCountByte ? 1u : 0u) > maxGroups) {
        showStatus(send.lengthError, kConfirmMs);
        return false;
    }
    const proto::RequestFrame frame =
        proto::dataFrame(send.code, std::span<const uint8_t>(data).first(count));
    proto::ReplyBuffer reply{};
    const bool accepted = transactAccepted(reply, frame, proto::kMarkerReplyLength, send.code);
    showStatus(accepted ? send.accepted : send.refused, accepted ? kConfirmMs : kRefusedMs);
    if (!accepted && !send.activateAfterRefusal) {
        return false;
    }
    installedClock()->sleep(kBeforeActivateMs);
    reply.fill(0);
    if (transactAccepted(reply, proto::activate(frame.bytes[1], send.selector), proto::kMarkerReplyLength,
                         proto::kActivate)) {
        return true;
    }
    std::printf("%s", send.activateFailed);
    std::fflush(stdout);
    return false;
}

bool MainWindow::sendHdrInfoframe() {
    return sendPacket(kHdrSend, ui->IFtext->toPlainText());
}

void MainWindow::WriteIF() {
    sendHdrInfoframe();
}

// After an activated AVI infoframe the device learns whether to keep replacing AVI.
bool MainWindow::sendAVI() {
    if (!sendPacket(kAviSend, ui->AVItext->toPlainText())) {
        return false;
    }
    applySetting("setAviPers");
    return true;
}
