#include "file_dialogs.h"

#include <QFileDialog>
#include <QInputDialog>

QString FileDialogs::configurationName(QWidget *parent, const QString &caption, const QString &label) {
    return QInputDialog::getText(parent, caption, label).trimmed();
}

namespace {

class QtFileDialogs : public FileDialogs {
public:
    QString openFileName(QWidget *parent, const QString &caption, const QString &directory,
                         const QString &filter) override {
        return QFileDialog::getOpenFileName(parent, caption, directory, filter, nullptr,
                                            QFileDialog::Options());
    }
    QString saveFileName(QWidget *parent, const QString &caption, const QString &proposedName,
                         const QString &filter) override {
        return QFileDialog::getSaveFileName(parent, caption, proposedName, filter, nullptr,
                                            QFileDialog::Options());
    }
};

} // namespace

FileDialogs &qtFileDialogs() {
    static QtFileDialogs dialogs;
    return dialogs;
}
