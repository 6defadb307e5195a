// The status tick, the control synchronisation and the status texts.

#include "VeltrikaForm.h"
#include "link/device_link.h"

void MainWindow::timerEvent(QTimerEvent * /*event*/) {
    // A tick delivered by a message box's nested loop inside a transaction, or after
    // the form is gone, does nothing.
    if (linkBusy() || !ui) {
        return;
    }
    checkPendingEdidRefresh();
    syncControls();
    renderStatusTexts();
}

void MainWindow::checkPendingEdidRefresh() {}

void MainWindow::syncControls() {}

void MainWindow::renderStatusTexts() {}
