// The status tick, the control synchronisation and the status texts.

#include "VeltrikaForm.h"
#include "core/box/status_texts.h"
#include "core/box/watcher.h"
#include "signal_details.h"
#include "signal_history.h"
#include "ui_VeltrikaForm.h"

#include <QLabel>
#include <QTextEdit>

#include <utility>

void MainWindow::timerEvent(QTimerEvent * /*event*/) {
    // A tick delivered by a message box's nested loop inside a transaction, after the form
    // is gone or once the box is lost, does nothing.
    if (session_->linkBusy() || !ui || !session_->isOpen()) {
        return;
    }
    checkPendingEdidRefresh();
    syncControls();
    renderStatusTexts();
}

void MainWindow::renderStatusTexts() {
    // A failed read leaves its block all zero; only the last one decides.
    const StatusBlocks blocks = session_->readStatusBlocks();
    // The values of what this tick read go to the watcher, which tells what changed; during
    // the start-up they are the status the box is attached with.
    const status::TypedStatus typed = status::typedStatusOf(blocks, tickSettings_);
    tickSettings_.reset();
    if (watcher_->isAttached()) {
        if (session_->isOpen()) {
            addHistory(watcher_->observe(typed));
        }
    } else {
        startupStatus_ = typed;
    }
    if (!blocks.shown) {
        return;
    }

    // The source names come from whatever is plugged in: never let a label take them
    // as rich text.
    const std::pair<QLabel *, QString> lines[] = {
        {ui->label_video_format, status::inputLine(blocks.videoStatus)},
        {ui->lblCsc, status::colourSpaceLine(blocks.videoStatus)},
        {ui->lblVideoSource, status::sourceInfoLine(blocks.sourceProduct)},
        {ui->lblHdrInput, status::hdrLine(blocks.hdrCapture)},
    };
    for (const auto &[label, text] : lines) {
        label->setTextFormat(Qt::PlainText);
        label->setText(text);
        // The source names are free text of up to 24 characters: a line longer than its
        // panel shows the whole of it in its tool tip, escaped, as a tool tip takes a text
        // that looks like markup as rich text.
        const bool cut = label->fontMetrics().horizontalAdvance(text) > label->contentsRect().width();
        label->setToolTip(cut ? QStringLiteral("<p style='white-space:pre'>%1</p>").arg(text.toHtmlEscaped())
                              : QString());
    }

    const QString dump = status::hdrCaptureDump(blocks.hdrCapture);
    if (dump.isEmpty()) {
        ui->txtHdrIf->clear();
    } else {
        ui->txtHdrIf->setPlainText(dump);
    }

    hdrCaptureBlock_ = blocks.hdrCapture;
    if (signalDetails_ != nullptr && signalDetails_->isVisible()) {
        signalDetails_->showCapture(status::hdrCapturePayload(hdrCaptureBlock_));
    }
}
