#pragma once
// The file dialogs of the EDID file slots. By default they are Qt's own; a window may be
// given others that answer in their place (a file name, or empty for a cancel).

#include <QString>

class QWidget;

// What the dialogs that open an EDID file offer: the names of the forms the EDID reader
// takes (it tells them by their content), and every file.
constexpr char kEdidFileFilter[] =
    "EDID files (*.bin *.dat *.txt *.inf *.reg *.hex *.edid *.xml *.log);;All files (*)";

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // The file to read, or an empty string when the user cancels.
    virtual QString openFileName(QWidget *parent, const QString &caption, const QString &directory,
                                 const QString &filter) = 0;
    // The file to write, or an empty string when the user cancels.
    virtual QString saveFileName(QWidget *parent, const QString &caption, const QString &proposedName,
                                 const QString &filter) = 0;
    // The name for a named configuration, or an empty string when the user cancels; Qt's own
    // input dialog unless a subclass answers in its place.
    virtual QString configurationName(QWidget *parent, const QString &caption, const QString &label);
};

// Qt's own dialogs.
FileDialogs &qtFileDialogs();
