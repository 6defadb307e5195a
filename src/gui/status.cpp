// The status tick, the control synchronisation and the status texts.

#include "VeltrikaForm.h"
#include "device_link.h"
#include "core/status_texts.h"
#include "ui_VeltrikaForm.h"

#include <QLabel>
#include <QTextEdit>

#include <utility>

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

void MainWindow::renderStatusTexts() {
    proto::ReplyBuffer video{};
    proto::ReplyBuffer source{};
    proto::ReplyBuffer capture{};
    proto::ReplyBuffer inputValid{};
    // A failed read leaves its block all zero; only the last one decides.
    ReadRegisters(proto::kRegVideoStatus, video, status::kVideoStatusLength);
    ReadRegisters(proto::kRegSourceProduct, source, status::kSourceProductLength);
    ReadRegisters(proto::kRegHdrCapture, capture, status::kHdrCaptureLength);
    if (!ReadRegisters(proto::kRegInputValid, inputValid, status::kInputValidLength)) {
        return;
    }

    // The source names come from whatever is plugged in: never let a label take them
    // as rich text.
    const std::pair<QLabel *, QString> lines[] = {
        {ui->label_video_format, status::inputLine(video)},
        {ui->lblCsc, status::colourSpaceLine(video)},
        {ui->lblVideoSource, status::sourceInfoLine(source)},
        {ui->lblHdrInput, status::hdrLine(capture)},
    };
    for (const auto &[label, text] : lines) {
        label->setTextFormat(Qt::PlainText);
        label->setText(text);
    }

    const QString dump = status::hdrCaptureDump(capture);
    if (dump.isEmpty()) {
        ui->txtHdrIf->clear();
    } else {
        ui->txtHdrIf->setPlainText(dump);
    }
}
