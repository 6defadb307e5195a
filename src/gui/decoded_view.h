#pragma once
// The read-only text views of the Details windows: decoded lines in a fixed-width font,
// the findings among them in colour so that they stand out from what the bytes say.

#include <QColor>
#include <QString>
#include <QStringList>

class QPlainTextEdit;
class QWidget;

namespace decoded {

// The colours of the lines that begin "Warning: " and "Failure: " (findingLine's form).
inline const QColor kWarningColour{0xA0, 0x50, 0x00};
inline const QColor kFailureColour{0xC0, 0x00, 0x00};

// A read-only view for decoded lines.
QPlainTextEdit *makeView(QWidget *parent);
// Replaces the view's text with the lines, findings coloured, laid out once.
void showLines(QPlainTextEdit &view, const QStringList &lines);
// The two-digit lower-case colon hex of the bytes, "(none)" for no byte.
QString bytesLine(const QString &colonHex);

} // namespace decoded
