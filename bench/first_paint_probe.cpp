// Loaded into veltrika-utility-demo by the bench with LD_PRELOAD, so that the demo itself
// needs no option for it: once the first paint pass of the process has finished, it
// writes "first-paint-ns N" to standard error, N being the monotonic clock in nanoseconds.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <time.h>

#include <cstdio>

namespace {

constexpr long long kNsPerSecond = 1000000000LL;

void reportFirstPaint() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(stderr, "first-paint-ns %lld\n",
                 static_cast<long long>(now.tv_sec) * kNsPerSecond + now.tv_nsec);
    std::fflush(stderr);
}

class FirstPaintProbe : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType()) {
            QCoreApplication::instance()->removeEventFilter(this);
            // The pass that sends this event paints the whole window before a call posted
            // now can run: the report marks the end of the pass.
            QMetaObject::invokeMethod(QCoreApplication::instance(), &reportFirstPaint, Qt::QueuedConnection);
        }
        return false;
    }
};

void installProbe() {
    QCoreApplication *app = QCoreApplication::instance();
    app->installEventFilter(new FirstPaintProbe(app));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)
