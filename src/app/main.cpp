// The utility with the simulated box attached, for trying the program without the box.

#include "VeltrikaForm.h"
#include "link/usbxpress.h"
#include "sim/simulated_box.h"

#include <QApplication>

int main(int argc, char **argv) {
    Q_INIT_RESOURCE(resqrc);
    QApplication app(argc, argv);
    SystemLinkClock clock;
    sim::SimulatedBox box(clock);
    box.setLively(true);
    installPlatform(&box, &clock);
    // The window lives for the whole process; closing it ends the event loop.
    auto *window = new MainWindow;
    window->show();
    return app.exec();
}
