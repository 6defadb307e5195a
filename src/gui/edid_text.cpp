// The EDID as spaced hex text in EDIDtext, and its checksum check.

#include "edid_text.h"

#include "VeltrikaForm.h"
#include "core/box/messages.h"
#include "core/edid/spaced_hex.h"
#include "core/product.h"
#include "ui_VeltrikaForm.h"

#include <QMessageBox>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>

#include <array>

void renderEdidText(QTextEdit &box, std::span<const uint8_t, proto::kEdidSize> image) {
    box.clear();
    QTextCursor cursor(box.document());
    cursor.clearSelection();
    cursor.movePosition(QTextCursor::Start);
    // One edit block: the box lays the text out once at its end, not after every insertion.
    cursor.beginEditBlock();

    QTextCharFormat byteFormat;
    byteFormat.setForeground(QBrush(Qt::black, Qt::SolidPattern));
    QTextCharFormat lineEndFormat;
    lineEndFormat.setForeground(QBrush(Qt::black, Qt::SolidPattern));

    for (int i = 0; i < static_cast<int>(image.size()); ++i) {
        const QString digits = edidByteText(image[static_cast<size_t>(i)]);
        if (!edidByteEndsLine(i)) {
            cursor.insertText(digits + QLatin1Char(' '), byteFormat);
            continue;
        }
        lineEndFormat.setFontWeight(edidByteIsChecksum(i) ? QFont::Bold : QFont::Normal);
        cursor.insertText(digits, lineEndFormat);
        cursor.insertText(QStringLiteral("\n"));
    }
    cursor.endEditBlock();
}

bool MainWindow::parseEdidTextBox(std::span<uint8_t, proto::kEdidSize> image) {
    // A text without a single byte is no EDID: taken as 256 zeros (whose checksums hold)
    // it would be written to the device or a file as if the user had made it.
    if (parseEdidText(ui->EDIDtext->toPlainText(), image) > 0) {
        return true;
    }
    QMessageBox::warning(this, tr(kProductTitle), tr(kHexFormatError), QMessageBox::Ok);
    return false;
}

void MainWindow::CalculateChkSum() {
    std::array<uint8_t, proto::kEdidSize> image{};
    if (!parseEdidTextBox(image)) {
        return;
    }
    if (edidChecksumsRight(image)) {
        renderEdidText(*ui->EDIDtext, image);
        return;
    }

    if (!askAboutWrongChecksums(QString(), tr("Do you want to calculate a new checksum?"))) {
        return;
    }
    // Both checksums are written, also one that was right.
    setEdidChecksums(image);
    renderEdidText(*ui->EDIDtext, image);
}

// The question stands alone (no parent, no icon); No is the default and the answer to
// Escape and to closing the box.
bool MainWindow::askAboutWrongChecksums(const QString &title, const QString &question) {
    QMessageBox box;
    box.setWindowTitle(title);
    box.setText(tr(kWrongEdidChecksum));
    box.setInformativeText(question);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}
