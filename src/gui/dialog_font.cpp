#include "dialog_font.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QFontDatabase>

namespace {

constexpr const char *kDialogFontFiles[] = {"tahoma.ttf", "tahomabd.ttf"};

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
    for (const char *file : kDialogFontFiles) {
        if (loadFace(dir.filePath(QLatin1String(file))) != QLatin1String(kDialogFontFamily)) {
            return false;
        }
    }
    QApplication::setFont(QFont(QLatin1String(kDialogFontFamily), kDialogFontPointSize));
    return true;
}
