// The EDID as spaced hex text in EDIDtext, and its checksum check.

#include "edid_text.h"

#include "VeltrikaForm.h"
#include "core/box/messages.h"
#include "core/edid/edid_check.h"
#include "core/edid/spaced_hex.h"
#include "core/product.h"
#include "ui_VeltrikaForm.h"

#include <QMessageBox>
#include <QStatusBar>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextEdit>

#include <array>

namespace {
// Long enough to read two or three reasons.
constexpr int kCheckFindingsMs = 5000;
} // namespace

namespace {

// Begins the one edit block of a replacement with the old content removed: the box lays
// the new text out once at the block's end, and its undo history holds the replacement
// as one step (QTextEdit::clear and setText would leave nothing to undo).
QTextCursor beginReplacement(QTextEdit &box, const QTextCharFormat &firstBlockFormat) {
    // Only the last replacement is kept to undo. The document starts afresh from a copy of
    // its content: kept as it was, its buffer and formats of every text it ever held would
    // grow by a whole text at every read of a long session.
    QTextDocument &document = *box.document();
    const QTextDocumentFragment content(&document);
    box.clear();
    document.setUndoRedoEnabled(false);
    QTextCursor(&document).insertFragment(content);
    document.setUndoRedoEnabled(true);
    QTextCursor cursor(box.document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    cursor.setBlockFormat(QTextBlockFormat());
    cursor.setBlockCharFormat(firstBlockFormat);
    return cursor;
}

} // namespace

void renderEdidText(QTextEdit &box, std::span<const uint8_t, proto::kEdidSize> image) {
    QTextCursor cursor = beginReplacement(box, QTextCharFormat());

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

void replaceEdidText(QTextEdit &box, const QString &text, int pointSize, const QColor &colour,
                     QFont::Weight weight) {
    QTextCharFormat format = box.currentCharFormat();
    format.setFontPointSize(pointSize);
    format.setForeground(QBrush(colour));
    format.setFontWeight(weight);
    QTextCursor cursor = beginReplacement(box, format);
    cursor.insertText(text, format);
    cursor.endEditBlock();
    // Where setText leaves it: at the start of the new text.
    box.setTextCursor(QTextCursor(box.document()));
}

bool MainWindow::parseEdidTextBox(std::span<uint8_t, proto::kEdidSize> image, qsizetype *groups) {
    // A text without a single byte is no EDID: taken as 256 zeros (whose checksums hold)
    // it would be written to the device or a file as if the user had made it.
    const qsizetype parsed = parseEdidText(ui->EDIDtext->toPlainText(), image);
    if (groups != nullptr) {
        *groups = parsed;
    }
    if (parsed > 0) {
        return true;
    }
    QMessageBox::warning(this, tr(kProductTitle), tr(kHexFormatError), QMessageBox::Ok);
    return false;
}

void MainWindow::CalculateChkSum() {
    std::array<uint8_t, proto::kEdidSize> image{};
    qsizetype groups = 0;
    if (!parseEdidTextBox(image, &groups)) {
        return;
    }
    // The checksums say nothing of the header or the extension count: what a source would
    // find there stands on the status bar, and nothing else changes for it.
    const EdidCheck check = checkEdidForSource(image, groups, EdidOrigin::Text);
    if (!check.ok()) {
        statusBar()->showMessage(tr("EDID check: %1").arg(check.reasons.join(QStringLiteral("; "))),
                                 kCheckFindingsMs);
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

// Its own question, before the checksums': each reason on a line of its own; No is the
// default and the answer to Escape and to closing the box.
bool MainWindow::askAboutUnreadableEdid(const QStringList &findings) {
    QMessageBox box;
    box.setWindowTitle(tr(kProductTitle));
    box.setIcon(QMessageBox::Warning);
    box.setText(
        tr("A source may not be able to read this EDID:\n%1.").arg(findings.join(QStringLiteral(";\n"))));
    box.setInformativeText(tr("Write it to the box anyway?"));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
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
