#include "decoded_view.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QTextCharFormat>
#include <QTextCursor>

namespace decoded {

QPlainTextEdit *makeView(QWidget *parent) {
    auto *view = new QPlainTextEdit(parent);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return view;
}

void showLines(QPlainTextEdit &view, const QStringList &lines) {
    view.clear();
    QTextCursor cursor(view.document());
    cursor.beginEditBlock();
    QTextCharFormat plain;
    QTextCharFormat warning;
    warning.setForeground(kWarningColour);
    QTextCharFormat failure;
    failure.setForeground(kFailureColour);
    failure.setFontWeight(QFont::Bold);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        const QTextCharFormat &format = line.startsWith(QLatin1String("Failure: "))   ? failure
                                        : line.startsWith(QLatin1String("Warning: ")) ? warning
                                                                                      : plain;
        if (i > 0) {
            cursor.insertBlock();
        }
        cursor.insertText(line, format);
    }
    cursor.endEditBlock();
    view.moveCursor(QTextCursor::Start);
}

QString bytesLine(const QString &colonHex) {
    return QLatin1String("Bytes: ") + (colonHex.isEmpty() ? QStringLiteral("(none)") : colonHex);
}

} // namespace decoded
