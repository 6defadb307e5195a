// EDID transfers between the device and EDIDtext: the three reads (the device's own
// EDID and the EDIDs of the TVs on its two outputs) and the write of a custom EDID.

#include "VeltrikaForm.h"
#include "core/spaced_hex.h"
#include "device_link.h"
#include "core/usbxpress.h"
#include "ui_VeltrikaForm.h"

#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>

#include <array>

namespace {

constexpr uint32_t kAfterFetchMs = 100;
constexpr uint32_t kBetweenBusyPollsMs = 10;
constexpr int kMaxBusyPolls = 502;
constexpr uint32_t kAfterWindowWriteMs = 30;
constexpr int kReadProgressTotal = 255;
constexpr int kWriteBlocks = proto::kEdidSize / proto::kEdidWindowWriteLength;
constexpr int kRefusedMs = 4000;
constexpr int kEdidMessageMs = 2000;
constexpr int kEdidFontPointSize = 8;

void sleepMs(uint32_t ms) {
    installedClock()->sleep(ms);
}

} // namespace

void MainWindow::on_ProgressChange(int value, int total) {
    if (transferProgress == nullptr) {
        return;
    }
    if (value <= 0 || total <= 0) {
        transferProgress->hide();
        return;
    }
    transferProgress->show();
    transferProgress->setRange(0, total);
    transferProgress->setValue(value);
}

// One bar serves every transfer: made on the first, hidden again at the start of each.
void MainWindow::prepareTransferProgress() {
    if (transferProgress == nullptr) {
        transferProgress = new QProgressBar(statusBar());
        transferProgress->setTextVisible(false);
        statusBar()->addPermanentWidget(transferProgress, 0);
    }
    transferProgress->hide();
}

bool MainWindow::readEdidIntoText(uint8_t fetchCode, const char *doneMessage) {
    prepareTransferProgress();
    proto::ReplyBuffer reply{};
    // A refused fetch leaves the window as an earlier fetch or write left it: showing that
    // as the EDID asked for would pass off another display's EDID as this one.
    if (!transactAccepted(reply, proto::edidFetch(fetchCode), proto::kMarkerReplyLength, fetchCode)) {
        showStatus("Error Writing values", kRefusedMs);
        return false;
    }
    sleepMs(kAfterFetchMs);
    // A device still busy after the last poll is not reported: the window is read anyway.
    for (int poll = 0; poll < kMaxBusyPolls; ++poll) {
        ReadStatus(reply, proto::kStatusReplyLength);
        sleepMs(kBetweenBusyPollsMs);
        if (!proto::deviceBusy(reply)) {
            break;
        }
    }

    std::array<uint8_t, proto::kEdidSize> image{};
    for (uint32_t offset = 0; offset < proto::kEdidSize; offset += proto::kEdidWindowReadLength) {
        on_ProgressChange(static_cast<int>(offset), kReadProgressTotal);
        reply.fill(0);
        uint32_t received = 0;
        const proto::RequestFrame frame = proto::edidWindowRead(static_cast<uint8_t>(offset));
        // Only bytes that arrived may reach the text: no reply at all ends the read too.
        if (!LinkTransact(reply, frame.bytes.data(), proto::kEdidWindowReadLength, frame.length, &received) ||
            received < proto::kEdidWindowReadLength) {
            on_ProgressChange(0, 0);
            return false;
        }
        std::copy_n(reply.begin(), proto::kEdidWindowReadLength, image.begin() + offset);
    }
    on_ProgressChange(0, 0);
    showStatus(doneMessage, kEdidMessageMs);
    ui->EDIDtext->setFontPointSize(kEdidFontPointSize);
    ui->EDIDtext->setTextColor(Qt::black);
    ui->EDIDtext->setFontWeight(QFont::Normal);
    ui->EDIDtext->setText(formatEdidText(image));
    return true;
}

void MainWindow::readDeviceEdid() {
    if (readEdidIntoText(proto::kFetchOwnEdid, "EDID values read.")) {
        deviceEdidText = ui->EDIDtext->toPlainText();
    }
}

void MainWindow::ReadEDID() {
    readDeviceEdid();
}

void MainWindow::readTvEdidA() {
    readEdidIntoText(proto::kFetchTopSinkEdid, "TV EDID values read.");
}

void MainWindow::readTvEdidB() {
    readEdidIntoText(proto::kFetchBotSinkEdid, "TV EDID values read.");
}

void MainWindow::WriteEDID() {
    if (ui->automixEDID->isChecked() || ui->fixedEDID->isChecked() || ui->cmBEdid->currentIndex() != 0) {
        QMessageBox::warning(this, tr("VELTRIKA Utility"),
                             tr("\nSelect CUSTOM EDID TABLE mode to upload an EDID table\n"),
                             QMessageBox::Ok);
        return;
    }
    prepareTransferProgress();
    std::array<uint8_t, proto::kEdidSize> image{};
    if (!parseEdidTextBox(image)) {
        return;
    }
    // A Yes sends the bytes as they are: the checksums are not corrected.
    if (!edidChecksumsRight(image) && !askAboutWrongChecksums(tr("VELTRIKA Utility"), tr("Write anyway?"))) {
        return;
    }
    const auto bytes = std::span<const uint8_t, proto::kEdidSize>(image);

    proto::ReplyBuffer reply{};
    bool everyBlockAccepted = true;
    for (int block = 0; block < kWriteBlocks; ++block) {
        on_ProgressChange(block, kWriteBlocks);
        const auto offset = static_cast<uint8_t>(block * proto::kEdidWindowWriteLength);
        reply.fill(0);
        const proto::RequestFrame frame =
            proto::edidWindowWrite(offset, bytes.subspan(offset).first<proto::kEdidWindowWriteLength>());
        if (!transactAccepted(reply, frame, proto::kMarkerReplyLength, proto::kEdidWindow)) {
            showStatus("Error Writing EDID values.", kEdidMessageMs);
            everyBlockAccepted = false;
        }
        sleepMs(kAfterWindowWriteMs);
    }
    // A window with a block missing would become the custom EDID half old, half new: the
    // device keeps the EDID it has, and the error stays on the status bar.
    if (!everyBlockAccepted) {
        on_ProgressChange(0, 0);
        return;
    }
    reply.fill(0);
    if (transactAccepted(reply, proto::edidCommit(), proto::kMarkerReplyLength, proto::kEdidCommit)) {
        showStatus("EDID values written...", kEdidMessageMs);
    } else {
        showStatus("Error Populating EDID values.", kEdidMessageMs);
    }
    on_ProgressChange(0, 0);
}
