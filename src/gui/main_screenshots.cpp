// Pictures of the window for the README: the utility on the simulated box, as the demo
// starts it, one picture of each tab. The scale comes from QT_SCALE_FACTOR, the folder
// from the command line.

#include "VeltrikaForm.h"
#include "dialog_font.h"
#include "sim/simulated_box.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>

#include <cstdio>

int main(int argc, char **argv) {
    Q_INIT_RESOURCE(resqrc);
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot make the folder %s\n", argv[1]);
        return 1;
    }
    if (!installDialogFont()) {
        std::fprintf(
            stderr,
            "the dialog face is missing (fonts-wine): the pictures would not show the window's font\n");
        return 1;
    }
    SystemLinkClock clock;
    sim::SimulatedBox box(clock);
    box.setLively(true);
    box.setLogging(false);
    installPlatform(&box, &clock);

    const char *const names[] = {"edid-manager", "cec-commander", "hdr-if", "config"};
    int failures = 0;
    {
        MainWindow window;
        window.show();
        QCoreApplication::processEvents();
        auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
        for (int page = 0; page < tabs->count() && page < int(std::size(names)); ++page) {
            tabs->setCurrentIndex(page);
            QCoreApplication::processEvents();
            const QString path = folder.filePath(QStringLiteral("%1.png").arg(QLatin1String(names[page])));
            if (window.grab().save(path)) {
                std::printf("%s\n", qPrintable(path));
            } else {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                ++failures;
            }
        }
    }
    installPlatform(nullptr, nullptr);
    return failures == 0 ? 0 : 1;
}
