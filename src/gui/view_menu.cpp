// The View menu: the two Details windows, which show what the bytes of the EDID, the
// infoframes and the CEC command mean. They only read; nothing they do is sent or stored.

#include "VeltrikaForm.h"
#include "box_journal.h"
#include "core/box/status_texts.h"
#include "edid_details.h"
#include "signal_details.h"
#include "signal_history.h"
#include "ui_VeltrikaForm.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace {

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
}
