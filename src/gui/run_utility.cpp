#include "run_utility.h"

#include "VeltrikaForm.h"
#include "dialog_font.h"

#include <QApplication>

int runUtility(int argc, char **argv, UsbXpress &usb, LinkClock &clock) {
    Q_INIT_RESOURCE(resqrc);
    QApplication app(argc, argv);
    // Without the dialog face the window keeps the platform's font; the status lines
    // that do not fit then carry their whole text in a tool tip.
    installDialogFont();
    installPlatform(&usb, &clock);
    // The window lives for the whole process; closing it ends the event loop.
    auto *window = new MainWindow;
    window->show();
    return app.exec();
}
