#include "decoded_view.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

namespace decoded {

QPlainTextEdit *makeView(QWidget *parent) {
    auto *view = new QPlainTextEdit(parent);
    view->setReadOnly(true);
    // Long lines wrap, colon hex anywhere: nothing is hidden past the right edge.
    view->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return view;
}

namespace {

const QTextCharFormat &formatOf(const QString &line) {
    static const QTextCharFormat plain;
    static const QTextCharFormat warning = [] {
        QTextCharFormat format;
        format.setForeground(kWarningColour);
        return format;
    }();
    static const QTextCharFormat failure = [] {
        QTextCharFormat format;
        format.setForeground(kFailureColour);
        format.setFontWeight(QFont::Bold);
        return format;
    }();
    return line.startsWith(QLatin1String("Failure: "))   ? failure
           : line.startsWith(QLatin1String("Warning: ")) ? warning
                                                         : plain;
}

} // namespace

void showLines(QPlainTextEdit &view, const QStringList &lines) {
    QTextDocument *document = view.document();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    // As many lines as shown: only those that changed are replaced (a live capture changes
    // a value or two), and the rest keep their layout.
    if (document->blockCount() == lines.size() && !document->isEmpty()) {
        QTextBlock block = document->begin();
        for (const QString &line : lines) {
            if (block.text() != line) {
                cursor.setPosition(block.position());
                cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
                cursor.insertText(line, formatOf(line));
            }
            block = block.next();
        }
        cursor.endEditBlock();
        return;
    }
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            cursor.insertBlock();
        }
        cursor.insertText(lines[i], formatOf(lines[i]));
    }
    cursor.endEditBlock();
    view.moveCursor(QTextCursor::Start);
}

QString bytesLine(const QString &colonHex) {
    return QLatin1String("Bytes: ") + (colonHex.isEmpty() ? QStringLiteral("(none)") : colonHex);
}

} // namespace decoded
