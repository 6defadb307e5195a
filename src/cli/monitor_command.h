#pragma once
// `veltrika monitor`: waits for the box (no error while none is there), prints the whole typed
// status once (state), then one line per event of the watcher (attached, detached, changed)
// until it is stopped (SIGINT, SIGTERM), its time is up (--for) or it has printed its events
// (--count). Text lines or, with --json, JSON Lines.

#include "core/box/usbxpress.h"
#include "core/box/watcher.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <functional>

namespace cli {

struct Environment;
struct Invocation;

// How the monitor waits between polls and stamps its lines. `wait` returns false when the
// process was asked to stop (SIGINT, SIGTERM); unset, the monitor sleeps on the environment's
// clock. `now` unset, the lines carry the system's local time. main() and the tests set them.
struct MonitorHooks {
    std::function<bool(uint32_t ms)> wait;
    std::function<QDateTime()> now;
};
void setMonitorHooks(MonitorHooks hooks);

constexpr uint32_t kMonitorMinIntervalMs = 250;
constexpr uint32_t kMonitorMaxIntervalMs = 60000;

// "2026-12-08T10:15:02.120+01:00": local time to the millisecond with its UTC offset.
QString monitorTime(const QDateTime &time);
// One event as a text line and as a JSON object; the first attach is shown as the state.
QString monitorLine(const QString &time, const watch::WatchEvent &event, bool asState);
QJsonObject monitorObject(const QString &time, const watch::WatchEvent &event, bool asState);
// The object as one line of JSON Lines, its time first.
QString monitorJsonLine(QJsonObject object);

// Runs the monitor over the USB library; the result is the exit status.
int runMonitor(UsbXpress &usb, const Invocation &invocation, const Environment &environment);

} // namespace cli
