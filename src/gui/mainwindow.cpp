// The window's life: construction and the start-up sequence that attaches the device,
// the status timer, and the orderly end on close and on File > Exit.

#include "VeltrikaForm.h"
#include "box_journal.h"
#include "core/base/colon_hex.h"
#include "core/box/status_texts.h"
#include "core/box/watcher.h"
#include "core/product.h"
#include "edid_details.h"
#include "file_dialogs.h"
#include "signal_history.h"
#include "ui_VeltrikaForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QMessageBox>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kStatusIntervalMs = 3000;
// While no box is open the window looks for one this often.
constexpr int kLookIntervalMs = 2000;
constexpr char kNotConnected[] = "VELTRIKA USB not connected!";

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
      journal_(installedJournalDirectory().isEmpty()
                   ? nullptr
                   : std::make_unique<Journal>(installedJournalDirectory(), QLatin1String(kDeviceSerial))),
      gate_(std::make_unique<BoxGate>(*session_, *installedClock(), journal_.get())),
      fileDialogs_(&qtFileDialogs()),
      watcher_(std::make_unique<watch::Watcher>(*session_, *installedClock())),
      history_(new SignalHistory(this)) {
    ui->setupUi(this);
    lookTimer_ = new QTimer(this);
    lookTimer_->setObjectName(QStringLiteral("lookForBoxTimer"));
    lookTimer_->setInterval(kLookIntervalMs);
    // Connected to itself: the window's connections are the form's alone.
    connect(lookTimer_, &QTimer::timeout, lookTimer_, [this] { lookForBox(); });
    addViewMenu();
    addEditMenu();
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
        startLooking();
        return;
    }
    if (attached == Attach::OpenFailed) {
        QMessageBox::warning(this, tr(kProductTitle), tr("Hardware not found"), QMessageBox::Ok,
                             QMessageBox::NoButton);
        startLooking();
        return;
    }
    startDevice();
}

void MainWindow::startLooking() {
    if (lookTimer_ != nullptr && !lookTimer_->isActive()) {
        lookTimer_->start();
    }
}

// Quietly: a box that is not there yet, or cannot be opened yet, is looked for again.
void MainWindow::lookForBox() {
    if (!ui || session_->isOpen() || session_->linkBusy()) {
        return;
    }
    if (session_->attachQuietly() != Attach::Open) {
        return;
    }
    lookTimer_->stop();
    startDevice();
}

void MainWindow::addHistory(const std::vector<watch::WatchEvent> &events) {
    history_->add(events, QDateTime::currentDateTime());
}

// A box plugged in later starts as one there at the start: the combo boxes take their
// items once, and their writes wait for the end of this start as they did for the first.
void MainWindow::startDevice() {
    startupComplete = false;
    edidRefreshPending = true;
    startupStatus_ = {};
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

    if (!comboItemsAdded_) {
        addComboBoxItems();
        comboItemsAdded_ = true;
    }
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

    // A box lost during its start has been told of; the window looks for it again.
    if (session_->isOpen()) {
        startStatusTimer(kStatusIntervalMs);
    }
    renderStatusTexts();
    readDeviceEdid();
    startupComplete = true;
    // Lost during its start: the loss has been told and the window looks again.
    if (session_->isOpen()) {
        const QString firmware = versionRead ? status::firmwareVersionText(version).mid(5) : QString();
        addHistory(watcher_->attached(firmware, startupStatus_));
    }
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

ChangeResult MainWindow::applyChange(const BoxChange &change, Answer answer,
                                     const RestoreProgress &progress) {
    const ChangeResult result = gate_->applyChange(change, {FrontEnd::Window, {}}, answer, progress);
    if (!result.journalWarning.isEmpty()) {
        warnAboutJournal(result.journalWarning);
    } else if (result.journalEntry) {
        journalWarned_ = false;
        if (boxJournal_ != nullptr) {
            boxJournal_->reload();
        }
    }
    return result;
}

// Once until the journal takes an entry again; after the slot, so that no message box stands
// inside a change (and its nested loop delivers no tick there).
void MainWindow::warnAboutJournal(const QString &why) {
    if (journalWarned_) {
        return;
    }
    journalWarned_ = true;
    QTimer::singleShot(0, this, [this, why] {
        QMessageBox::warning(
            this, tr(kProductTitle),
            tr("The box journal cannot be written: %1.\nChanges still reach the box, but they "
               "are not recorded and cannot be undone.")
                .arg(why),
            QMessageBox::Ok);
    });
}

void MainWindow::showStatus(const char *text, int ms) {
    statusBar()->showMessage(tr(text), ms);
}

// With no box open, every failure of one action is the one message that there is no box.
void MainWindow::statusMessage(const char *text, int ms) {
    if (session_->isOpen()) {
        showStatus(text, ms);
        return;
    }
    if (notConnectedShown_) {
        return;
    }
    notConnectedShown_ = true;
    QTimer::singleShot(0, this, [this] { notConnectedShown_ = false; });
    showStatus(kNotConnected, kRefusalMs);
}

// The first transaction that meets a loss closes the box: the rest of the action finds no
// box and says nothing more, the status timer stops and the window looks again. One loss,
// one message, on the status bar.
void MainWindow::linkLost(LinkError error) {
    if (!session_->isOpen()) {
        return;
    }
    stopStatusTimer();
    addHistory(watcher_->lost(error));
    if (ui) {
        statusBar()->showMessage(tr(kNotConnected));
        notConnectedShown_ = true;
        QTimer::singleShot(0, this, [this] { notConnectedShown_ = false; });
        startLooking();
    }
}

// A step only moves the bar: hiding it first would lay the status bar out and paint it
// again at every step of a transfer, between the waits the box needs.
void MainWindow::transferProgress(int value, int total) {
    makeTransferProgress();
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
    if (lookTimer_ != nullptr) {
        lookTimer_->stop();
    }
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
