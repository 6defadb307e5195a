// The window's life: construction and the start-up sequence that attaches the device,
// the status timer, and the orderly end on close and on File > Exit.

#include "VeltrikaForm.h"
#include "core/base/colon_hex.h"
#include "core/box/status_texts.h"
#include "core/product.h"
#include "edid_details.h"
#include "file_dialogs.h"
#include "ui_VeltrikaForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMessageBox>
#include <QStatusBar>
#include <QThread>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kStatusIntervalMs = 3000;

// Item texts in device order: the index is the value the device uses for the setting
// (plus one for the active input).
constexpr const char *kInputItems[] = {"PORT A [TOP]", "PORT B [BOT]", "MATRIX THRU", "MATRIX SWAP"};
constexpr const char *kCustomEdidItems[] = {"Custom Uploaded/Default EDID",
                                            "4k30-444 300MHz All Sound",
                                            "4k30-RGB 300MHz All Sound",
                                            "4k60-420 8-bit 300MHz All Sound",
                                            "4k60-420 10-bit HDR BT.2020 All Sound",
                                            "4k60-444 600MHz All Sound",
                                            "4k60-444 600MHz HDR BT.2020 All Sound",
                                            "1080p-444 148MHz All Sound"};
constexpr const char *kCecDeviceTypeItems[] = {"Video Processor [Default]", "Audio System w/ARC"};
constexpr const char *kAutomixItems[] = {"Min Mixed Capabilities [Default]", "Max Audio, Min Video",
                                         "TOP Output Priority", "Max Audio, Max Video"};

template <size_t N> void addItems(QComboBox *box, const char *const (&items)[N]) {
    for (const char *item : items) {
        box->addItem(QString::fromLatin1(item), QVariant());
    }
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>()),
      session_(std::make_unique<BoxSession>(*installedUsb(), *installedClock(),
                                            static_cast<BoxReporter &>(*this))),
      fileDialogs_(&qtFileDialogs()) {
    ui->setupUi(this);
    addViewMenu();
    addConfigurationActions();
    initDevice();
}

MainWindow::~MainWindow() {
    teardown();
}

void MainWindow::setFileDialogs(FileDialogs *dialogs) {
    fileDialogs_ = dialogs != nullptr ? dialogs : &qtFileDialogs();
    if (edidDetails_ != nullptr) {
        edidDetails_->setFileDialogs(fileDialogs_);
    }
}

void MainWindow::initDevice() {
    const Attach attached = session_->attach();
    if (attached == Attach::NotFound) {
        return;
    }
    if (attached == Attach::OpenFailed) {
        QMessageBox::warning(this, tr(kProductTitle), tr("Hardware not found"), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return;
    }
    syncControls();

    proto::ReplyBuffer version{};
    proto::ReplyBuffer storedHdr{};
    proto::ReplyBuffer storedAvi{};
    const bool versionRead = ReadRegisters(proto::kRegVersion, version, proto::kVersionBlockLength);
    const bool hdrRead =
        ReadRegisters(proto::kRegStoredHdrInfoframe, storedHdr, proto::kStoredHdrBlockLength);
    const bool aviRead = ReadRegisters(proto::kRegStoredAviBytes, storedAvi, proto::kStoredAviBlockLength);
    // A version that was never read is not shown as 0.0.0.0.
    if (versionRead && aviRead) {
        ui->labelFw1->setText(status::firmwareVersionText(version));
    }

    addComboBoxItems();
    // An infoframe that was never read stays empty: zeros shown in its place would be sent
    // back over the device's stored one by the next send.
    if (hdrRead) {
        ui->IFtext->setText(formatColonHex(
            std::span<const uint8_t>(storedHdr).subspan(proto::kBlockDataStart, proto::kStoredHdrBytes)));
    }
    if (aviRead) {
        ui->AVItext->setText(formatColonHex(
            std::span<const uint8_t>(storedAvi).subspan(proto::kBlockDataStart, proto::kStoredAviBytes)));
    }
    ui->CECtext->setPlainText(QStringLiteral("50:04"));
    ui->CECtext->setEnabled(true);

    startStatusTimer(kStatusIntervalMs);
    renderStatusTexts();
    readDeviceEdid();
    startupComplete = true;
}

void MainWindow::addComboBoxItems() {
    addItems(ui->cmbInputSel, kInputItems);
    addItems(ui->cmBEdid, kCustomEdidItems);
    addItems(ui->cmbLa, kCecDeviceTypeItems);
    addItems(ui->cmbEdidAlgo, kAutomixItems);
}

void MainWindow::startStatusTimer(int intervalMs) {
    if (timerRunning) {
        return;
    }
    statusTimerId = startTimer(intervalMs);
    timerRunning = true;
}

void MainWindow::stopStatusTimer() {
    if (!timerRunning) {
        return;
    }
    timerRunning = false;
    killTimer(statusTimerId);
}

void MainWindow::showStatus(const char *text, int ms) {
    statusBar()->showMessage(tr(text), ms);
}

void MainWindow::statusMessage(const char *text, int ms) {
    showStatus(text, ms);
}

void MainWindow::transferProgress(int value, int total) {
    prepareTransferProgress();
    on_ProgressChange(value, total);
}

// The link's warnings stand alone: no owner window, a blank title, one OK button.
void MainWindow::linkWarning(const char *text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral(" "), QString::fromLatin1(text), QMessageBox::Ok);
    box.exec();
}

void MainWindow::consoleNote(const char *text) {
    std::printf("%s", text);
    std::fflush(stdout);
}

// Releases the form once. No widget can reach a slot any more, so neither a tick nor a
// signal delivered by a later nested loop (the close failure's message box) touches the
// released form.
void MainWindow::releaseForm() {
    if (!ui) {
        return;
    }
    for (QObject *child : findChildren<QObject *>()) {
        disconnect(child, nullptr, this, nullptr);
    }
    ui.reset();
}

// Asks the running event loop to end with 0. Asked while no loop runs, Qt would end
// the next one at once, so a later modal box would close before anyone saw it.
void MainWindow::leaveEventLoop() {
    if (QThread::currentThread()->loopLevel() > 0) {
        QCoreApplication::exit(0);
    }
}

// The timer stops before the close: the close failure's box must not deliver a tick.
void MainWindow::teardown() {
    stopStatusTimer();
    closeDetailsWindows();
    releaseForm();
    session_->close();
    leaveEventLoop();
}

void MainWindow::closeEvent(QCloseEvent *event) {
    event->accept();
    teardown();
}

void MainWindow::FileExit() {
    teardown();
    std::fflush(stdout);
    std::exit(0);
}

void MainWindow::FileAbout() {
    QMessageBox::about(this, tr(kAboutTitle), tr(kAboutHeading));
}
