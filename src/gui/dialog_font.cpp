#include "dialog_font.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QFontDatabase>

#include <algorithm>
#include <iterator>

namespace {

constexpr const char *kDialogFontFiles[] = {"tahoma.ttf", "tahomabd.ttf"};

// Without the dialog face: of the faces fontconfig knows, Liberation Sans (fonts-liberation2)
// comes nearest to the form's metrics; at the same size every text fits and the tab bar
// needs 367 of its 366 pixels, where DejaVu Sans cuts the input line and needs 371.
constexpr const char *kFallbackFamily = "Liberation Sans";

// The family a loaded file provides, or an empty string when it provides none.
QString loadFace(const QString &path) {
    const int id = QFontDatabase::addApplicationFont(path);
    if (id < 0) {
        return QString();
    }
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    return families.isEmpty() ? QString() : families.first();
}

} // namespace

QString defaultDialogFontDirectory() {
    return QStringLiteral(VELTRIKA_DIALOG_FONT_DIR);
}

bool installDialogFont(const QString &directory) {
    const QDir dir(directory);
    const bool loaded =
        std::all_of(std::begin(kDialogFontFiles), std::end(kDialogFontFiles), [&](const char *file) {
            return loadFace(dir.filePath(QLatin1String(file))) == QLatin1String(kDialogFontFamily);
        });
    if (loaded) {
        QApplication::setFont(QFont(QLatin1String(kDialogFontFamily), kDialogFontPointSize));
    } else if (QFontDatabase::hasFamily(QLatin1String(kFallbackFamily))) {
        QApplication::setFont(QFont(QLatin1String(kFallbackFamily), kDialogFontPointSize));
    }
    return loaded;
}
