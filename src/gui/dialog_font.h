#pragma once
// The small dialog face the form's fixed layout was drawn for. Debian's fonts-wine ships a
// metric-compatible free version of it, outside fontconfig's path, so the program loads
// its files itself.

#include <QString>

// The family and the size the form's texts were measured in.
inline constexpr const char *kDialogFontFamily = "Tahoma";
inline constexpr int kDialogFontPointSize = 8;

// Where the Debian package puts the faces (set at build time).
QString defaultDialogFontDirectory();

// Loads the regular and the bold face from directory and makes the family, at its size,
// the application font. When a face is missing or unreadable the result is false, and the
// application font becomes Liberation Sans at that size if fontconfig has it, or else
// stays as it is.
bool installDialogFont(const QString &directory = defaultDialogFontDirectory());
