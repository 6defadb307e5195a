// EDID transfers between the device and EDIDtext: the three reads (the device's own
// EDID and the EDIDs of the TVs on its two outputs) and the write of a custom EDID.

#include "VeltrikaForm.h"
#include "core/box/messages.h"
#include "core/edid/edid_check.h"
#include "core/edid/spaced_hex.h"
#include "core/product.h"
#include "edid_text.h"
#include "transfer_progress.h"
#include "ui_VeltrikaForm.h"

#include <QMessageBox>
#include <QStatusBar>

#include <array>

namespace {
constexpr int kEdidFontPointSize = 8;
} // namespace

void MainWindow::on_ProgressChange(int value, int total) {
    if (progressBar == nullptr) {
        return;
    }
    if (value <= 0 || total <= 0) {
        progressBar->hide();
        return;
    }
    progressBar->show();
    progressBar->setRange(0, total);
    progressBar->setValue(value);
}

// One bar serves every transfer: made on the first, hidden again at the start of each.
void MainWindow::prepareTransferProgress() {
    makeTransferProgress();
    progressBar->hide();
}

void MainWindow::makeTransferProgress() {
    if (progressBar != nullptr) {
        return;
    }
    progressBar = new TransferProgressBar(statusBar());
    progressBar->setTextVisible(false);
    statusBar()->addPermanentWidget(progressBar, 0);
}

bool MainWindow::readEdidIntoText(EdidSource source) {
    const Outcome<EdidImage> read = session_->readEdid(source);
    if (!read.ok()) {
        return false;
    }
    replaceEdidText(*ui->EDIDtext, formatEdidText(read.value), kEdidFontPointSize, Qt::black, QFont::Normal);
    return true;
}

void MainWindow::readDeviceEdid() {
    if (readEdidIntoText(EdidSource::Box)) {
        deviceEdidText = ui->EDIDtext->toPlainText();
    }
}

void MainWindow::ReadEDID() {
    readDeviceEdid();
}

void MainWindow::readTvEdidA() {
    readEdidIntoText(EdidSource::TopSink);
}

void MainWindow::readTvEdidB() {
    readEdidIntoText(EdidSource::BotSink);
}

void MainWindow::WriteEDID() {
    if (ui->automixEDID->isChecked() || ui->fixedEDID->isChecked() || ui->cmBEdid->currentIndex() != 0) {
        QMessageBox::warning(this, tr(kProductTitle), tr(kSelectCustomEdidMode), QMessageBox::Ok);
        return;
    }
    prepareTransferProgress();
    std::array<uint8_t, proto::kEdidSize> image{};
    qsizetype groups = 0;
    if (!parseEdidTextBox(image, &groups)) {
        return;
    }
    // Only a whole EDID is sent: the bytes a shorter or longer text leaves out are none the
    // user meant. What else a source may not read, the user may still want to send.
    const EdidCheck check = checkEdidForSource(image, groups, EdidOrigin::Text);
    if (!check.whole()) {
        QMessageBox::warning(
            this, tr(kProductTitle),
            tr("The EDID text holds no whole EDID: %1.\nNothing was written.").arg(check.reasons.first()),
            QMessageBox::Ok);
        return;
    }
    const BoxChange change = BoxChange::ofEdidWrite(image, groups, EdidOrigin::Text);
    const GateVerdict verdict = checkChange(change);
    if (!verdict.findings.isEmpty() && !askAboutUnreadableEdid(verdict.findings)) {
        return;
    }
    // A Yes sends the bytes as they are: the checksums are not corrected.
    if (verdict.checksumsWrong && !askAboutWrongChecksums(tr(kProductTitle), tr("Write anyway?"))) {
        return;
    }
    applyChange(change, Answer::Yes);
}
