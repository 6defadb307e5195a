// Builds the window on the simulated box and chooses File > Exit. Prints, as the
// process ends, how often the box was closed; prints a line if the event loop returned.

#include "support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {
Rig *g_rig = nullptr;

void reportAtExit() {
    const auto &calls = g_rig->box.calls();
    std::printf("closes: %d\n",
                static_cast<int>(std::count(calls.begin(), calls.end(), std::string("close"))));
    std::fflush(stdout);
}
} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    Rig rig;
    g_rig = &rig;
    std::atexit(reportAtExit);
    MainWindow &window = rig.start();
    window.show();
    QTimer::singleShot(0, &window, [&window] { window.findChild<QAction *>("actionExit")->trigger(); });
    const int code = app.exec();
    std::printf("event loop returned %d\n", code);
    return 3;
}
