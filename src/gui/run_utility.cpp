#include "run_utility.h"

#include "VeltrikaForm.h"
#include "box_journal.h"
#include "dialog_font.h"

#include <QApplication>

int runUtility(int argc, char **argv, UsbXpress &usb, LinkClock &clock, const QString &journalDirectory) {
    Q_INIT_RESOURCE(resqrc);
    QApplication app(argc, argv);
    // Without the dialog face the window takes the nearest face there is; a status line
    // that does not fit then carries its whole text in a tool tip.
    installDialogFont();
    installPlatform(&usb, &clock);
    installJournalDirectory(journalDirectory);
    // The window lives for the whole process; closing it ends the event loop.
    auto *window = new MainWindow;
    window->show();
    return app.exec();
}
