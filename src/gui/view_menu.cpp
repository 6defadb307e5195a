// The View menu: the two Details windows, which show what the bytes of the EDID, the
// infoframes and the CEC command mean, Signal History and the Box Journal; they only read,
// nothing they do is sent or stored. And Chain Doctor, whose fixes go to the box as every
// change of the window goes: after a preview, Cancel the default.

#include "VeltrikaForm.h"
#include "box_journal.h"
#include "chain_doctor_window.h"
#include "core/box/box_configuration_session.h"
#include "core/box/status_texts.h"
#include "core/chain/chain_report.h"
#include "edid_details.h"
#include "field_words.h"
#include "signal_details.h"
#include "signal_history.h"
#include "ui_VeltrikaForm.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

namespace {

constexpr char kDoctorTitle[] = "Chain Doctor";

void bringToFront(QWidget &window) {
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace

// The menu stands between File and Help. Its actions connect to themselves, not to the
// window, whose connections are the form's alone.
void MainWindow::addViewMenu() {
    auto *view = new QMenu(tr("View"), menuBar());
    view->setObjectName(QStringLiteral("menuView"));
    menuBar()->insertMenu(ui->menuHelp->menuAction(), view);

    QAction *edid = view->addAction(tr("EDID Details…"));
    edid->setObjectName(QStringLiteral("actionEdidDetails"));
    edid->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    connect(edid, &QAction::triggered, edid, [this] { showEdidDetails(); });

    QAction *signal = view->addAction(tr("Signal Details…"));
    signal->setObjectName(QStringLiteral("actionSignalDetails"));
    signal->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    connect(signal, &QAction::triggered, signal, [this] { showSignalDetails(); });

    QAction *history = view->addAction(tr("Signal History…"));
    history->setObjectName(QStringLiteral("actionSignalHistory"));
    history->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    connect(history, &QAction::triggered, history, [this] { showSignalHistory(); });

    QAction *journal = view->addAction(tr("Box Journal…"));
    journal->setObjectName(QStringLiteral("actionBoxJournal"));
    journal->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J));
    connect(journal, &QAction::triggered, journal, [this] { showBoxJournal(); });

    QAction *doctor = view->addAction(tr("Chain Doctor…"));
    doctor->setObjectName(QStringLiteral("actionChainDoctor"));
    doctor->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    connect(doctor, &QAction::triggered, doctor, [this] { showChainDoctor(); });
}

// Read when it opens: what the doctor says is of the box as it is now.
void MainWindow::showChainDoctor() {
    if (!ui) {
        return;
    }
    const bool opening = chainDoctor_ == nullptr || !chainDoctor_->isVisible();
    if (chainDoctor_ == nullptr) {
        chainDoctor_ = new ChainDoctorWindow(
            *session_,
            [this](const chain::Diagnosis &diagnosis, size_t fix) { return applyChainFix(diagnosis, fix); },
            this);
    }
    bringToFront(*chainDoctor_);
    if (opening) {
        chainDoctor_->read();
    }
}

bool MainWindow::applyChainFix(const chain::Diagnosis &diagnosis, size_t index) {
    if (!ui || index >= diagnosis.fixes.size()) {
        return false;
    }
    const chain::ChainFix &fix = diagnosis.fixes[index];
    const QString title = tr(kDoctorTitle);
    prepareTransferProgress();
    const BoxConfigurationRead box =
        readBoxConfiguration(*session_, *installedClock(),
                             partBit(ConfigurationPart::Settings) | partBit(ConfigurationPart::Edid), false);
    if (!box.ok()) {
        QMessageBox::warning(this, title,
                             tr("The box's %1 could not be read (%2).\nNothing was sent.")
                                 .arg(box.failedPart, QLatin1String(linkErrorName(box.error))),
                             QMessageBox::Ok);
        return false;
    }
    const BoxChange change = chain::fixChange(fix, box.configuration);
    if (change.steps.empty()) {
        QMessageBox::information(this, title,
                                 tr("The box holds fix %1 already: nothing was sent.").arg(index + 1),
                                 QMessageBox::Ok);
        return false;
    }
    QStringList lines;
    for (const RestoreStep &step : change.steps) {
        lines << changeText(step.change, fieldWord(changeName(step.change)));
    }
    lines << QString()
          << (fix.expected
                  ? tr("The box would then offer (expected of the algorithm's name; a box's firmware may mix "
                       "otherwise):")
                  : tr("The box would then offer (the EDID it writes):"))
          << chain::fixOfferLines(diagnosis, fix);
    const QStringList findings = checkChange(change).lines();
    if (!findings.isEmpty()) {
        lines << QString() << tr("The check finds:") << findings;
    }
    if (!confirmChanges(title, tr("Apply fix %1, %2?").arg(index + 1).arg(fix.words), lines)) {
        return false;
    }
    const ChangeResult result =
        applyChange(change, Answer::Yes, [this](int done, int total) { transferProgress(done, total); });
    showRestoreSummary(title, tr("fix %1").arg(index + 1), result.restore,
                       static_cast<int>(change.steps.size()));
    followRestore(result.restore, chain::fixWanted(fix));
    return result.sent;
}

void MainWindow::showSignalHistory() {
    if (!ui) {
        return;
    }
    if (signalHistory_ == nullptr) {
        signalHistory_ = new SignalHistoryWindow(*history_, fileDialogs_, this);
    }
    bringToFront(*signalHistory_);
}

void MainWindow::showEdidDetails() {
    if (!ui) {
        return;
    }
    if (edidDetails_ == nullptr) {
        edidDetails_ = new EdidDetailsWindow(*ui->EDIDtext, *session_, this);
        edidDetails_->setFileDialogs(fileDialogs_);
    }
    bringToFront(*edidDetails_);
}

void MainWindow::showSignalDetails() {
    if (!ui) {
        return;
    }
    if (signalDetails_ == nullptr) {
        signalDetails_ = new SignalDetailsWindow(*ui->IFtext, *ui->AVItext, *ui->CECtext, this);
    }
    // Closed, the window followed no tick: it starts from the last one.
    signalDetails_->showCapture(status::hdrCapturePayload(hdrCaptureBlock_));
    bringToFront(*signalDetails_);
}

// The windows go with the form: they read its texts and the session.
void MainWindow::closeDetailsWindows() {
    delete edidDetails_;
    delete signalDetails_;
    delete signalHistory_;
    delete boxJournal_;
    delete chainDoctor_;
}
