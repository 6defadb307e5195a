// Loading and saving EDID files.

#include "VeltrikaForm.h"
#include "core/base/saved_file.h"
#include "core/edid/edid_check.h"
#include "core/edid/edid_file.h"
#include "core/product.h"
#include "edid_text.h"
#include "file_dialogs.h"
#include "ui_VeltrikaForm.h"

#include <QColor>
#include <QFile>
#include <QMessageBox>
#include <QStatusBar>
#include <QTextEdit>

#include <algorithm>
#include <array>
#include <span>

namespace {

constexpr int kTextModePointSize = 8;
const QColor kTextModeColour(0, 0, 255, 255);

void showFileError(MainWindow &window, const char *format, const QString &fileName, const QString &error) {
    QMessageBox::warning(&window, MainWindow::tr(kProductTitle), MainWindow::tr(format).arg(fileName, error),
                         QMessageBox::Ok);
}

} // namespace

void MainWindow::LoadEDIDfromFile() {
    const QString fileName = fileDialogs_->openFileName(this, tr("Open file"), QString(),
                                                        tr("Binary Files (*.bin);;All files (*.*)"));
    if (fileName.isEmpty()) {
        return;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        showFileError(*this, QT_TR_NOOP("Cannot read file %1:\n%2."), fileName, file.errorString());
        return;
    }
    std::array<uint8_t, kEdidFileReadSize> area{};
    // A read that fails after the open is reported like a failed open: the text stays.
    const qint64 read = file.read(reinterpret_cast<char *>(area.data()), kEdidFileReadSize);
    if (read < 0) {
        showFileError(*this, QT_TR_NOOP("Cannot read file %1:\n%2."), fileName, file.errorString());
        return;
    }
    // Taken as 256 zeros, an empty file would stand in the text as an EDID nobody made.
    if (read == 0) {
        showFileError(*this, QT_TR_NOOP("Cannot read file %1:\n%2."), fileName, tr("the file is empty"));
        return;
    }
    // The blocks past the two the box holds, counted over the whole file.
    const qint64 fileSize = std::max(file.size(), read);
    file.close();

    if (edidFileIsRaw(area)) {
        renderEdidText(*ui->EDIDtext, edidFileImage(area));
        const qint64 blocks = (fileSize + kEdidBlockSize - 1) / kEdidBlockSize;
        const qint64 boxBlocks = static_cast<qint64>(proto::kEdidSize) / kEdidBlockSize;
        if (blocks > boxBlocks) {
            statusBar()->showMessage(
                tr("File loaded: %1 of %2 blocks dropped").arg(blocks - boxBlocks).arg(blocks), kConfirmMs);
            return;
        }
    } else {
        const QByteArray text = edidTextFromFile(area);
        // Neither an EDID nor text (a picture, say): nothing of it would mean anything in the box.
        if (firstNonTextByte(text) >= 0) {
            showFileError(*this, QT_TR_NOOP("Cannot read file %1:\n%2."), fileName,
                          tr("the file is neither an EDID nor text"));
            return;
        }
        replaceEdidText(*ui->EDIDtext, QString::fromLatin1(text), kTextModePointSize, kTextModeColour,
                        QFont::Bold);
    }
    showStatus("File loaded", kConfirmMs);
}

void MainWindow::SaveEDIDtoFile() {
    std::array<uint8_t, proto::kEdidSize> image{};
    if (!parseEdidTextBox(image)) {
        return;
    }
    const QString fileName = fileDialogs_->saveFileName(
        this, tr("Save File"), QStringLiteral("VELTRIKA_edid0.bin"), tr("Binary file (*.bin)"));
    if (fileName.isEmpty()) {
        return;
    }
    // The new bytes go to a temporary file that replaces the old one only once all 256
    // are written: a failed save leaves an existing file as it was. Unbuffered, a write
    // cut short (a full disk) shows at once instead of being lost in a later flush.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        showFileError(*this, QT_TR_NOOP("Cannot write file %1:\n%2."), fileName, file.errorString());
        return;
    }
    showStatus("Saving file...", kConfirmMs);
    if (!writeAll(file, image) || !file.commit()) {
        showFileError(*this, QT_TR_NOOP("Cannot write file %1:\n%2."), fileName, file.errorString());
        return;
    }
    showStatus("File saved", kConfirmMs);
}
