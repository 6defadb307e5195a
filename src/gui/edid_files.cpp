// Loading and saving EDID files.

#include "VeltrikaForm.h"
#include "core/base/saved_file.h"
#include "core/edid/edid_check.h"
#include "core/edid/edid_formats.h"
#include "core/edid/edid_image.h"
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

namespace {

constexpr int kTextModePointSize = 8;
const QColor kTextModeColour(0, 0, 255, 255);

void showFileError(MainWindow &window, const char *format, const QString &fileName, const QString &error) {
    QMessageBox::warning(&window, MainWindow::tr(kProductTitle), MainWindow::tr(format).arg(fileName, error),
                         QMessageBox::Ok);
}

} // namespace

void MainWindow::LoadEDIDfromFile() {
    const QString fileName =
        fileDialogs_->openFileName(this, tr("Open file"), QString(), tr(kEdidFileFilter));
    if (fileName.isEmpty()) {
        return;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        showFileError(*this, QT_TR_NOOP("Cannot read file %1:\n%2."), fileName, file.errorString());
        return;
    }
    // A read that fails after the open is reported like a failed open: the text stays.
    const QByteArray data = file.read(kEdidFileMaxBytes);
    if (data.isEmpty() && file.error() != QFileDevice::NoError) {
        showFileError(*this, QT_TR_NOOP("Cannot read file %1:\n%2."), fileName, file.errorString());
        return;
    }
    // The blocks past the two the box holds, counted over the whole file.
    const qint64 fileSize = std::max<qint64>(file.size(), data.size());
    file.close();

    // An empty file (taken as 256 zeros it would stand in the text as an EDID nobody made),
    // one that is neither an EDID nor text (a picture, say), or text without an EDID in it:
    // nothing of it would mean anything in the box.
    const EdidFileContent content = readEdidFileContent(QByteArrayView(data));
    if (!content.format) {
        showFileError(*this, QT_TR_NOOP("Cannot read file %1:\n%2."), fileName, content.reason);
        return;
    }
    // This program's own text stands as it is, also one that breaks its layout.
    if (*content.format == EdidFileFormat::SpacedHex) {
        replaceEdidText(*ui->EDIDtext, QString::fromLatin1(content.text), kTextModePointSize, kTextModeColour,
                        QFont::Bold);
        showStatus("File loaded", kConfirmMs);
        return;
    }
    // Another tool's form that breaks says where.
    if (!content.ok()) {
        showFileError(*this, QT_TR_NOOP("Cannot read file %1:\n%2."), fileName, content.reason);
        return;
    }
    EdidImage image{};
    std::copy_n(content.bytes.constData(), std::min<qsizetype>(content.bytes.size(), image.size()),
                reinterpret_cast<char *>(image.data()));
    // Raw files count their blocks over the whole file, the other forms over the EDID they hold.
    const qint64 bytes = *content.format == EdidFileFormat::Raw ? fileSize : content.bytes.size();
    const qint64 blocks = (bytes + kEdidBlockSize - 1) / kEdidBlockSize;
    const qint64 boxBlocks = static_cast<qint64>(proto::kEdidSize) / kEdidBlockSize;
    // The first two blocks of a longer EDID, as `veltrika edid write --fit` gives them: an
    // extension count that names blocks the box does not hold would be asked about at the write.
    if (blocks > boxBlocks) {
        fitEdidToBox(image);
    }
    renderEdidText(*ui->EDIDtext, image);
    if (blocks > boxBlocks) {
        statusBar()->showMessage(tr("File loaded: %1 of %2 blocks dropped, the extension count set to 1")
                                     .arg(blocks - boxBlocks)
                                     .arg(blocks),
                                 kConfirmMs);
        return;
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
