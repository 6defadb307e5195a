#include "run_utility.h"

#include "VeltrikaForm.h"

#include <QApplication>

int runUtility(int argc, char **argv, UsbXpress &usb, LinkClock &clock) {
    Q_INIT_RESOURCE(resqrc);
    QApplication app(argc, argv);
    installPlatform(&usb, &clock);
    // The window lives for the whole process; closing it ends the event loop.
    auto *window = new MainWindow;
    window->show();
    return app.exec();
}
