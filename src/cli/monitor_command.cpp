#include "monitor_command.h"

#include "arguments.h"
#include "core/box/watch_json.h"
#include "run_cli.h"
#include "stderr_reporter.h"

#include <QJsonDocument>

#include <algorithm>
#include <limits>

namespace cli {
namespace {

// The session's messages while it is watched: a read that fails on a box being unplugged is
// what the detached event says, once; only the link's own warnings and the trace go on.
class MonitorReporter : public StderrReporter {
public:
    using StderrReporter::StderrReporter;
    void statusMessage(const char * /*text*/, int /*ms*/) override {}
    void transferProgress(int /*value*/, int /*total*/) override {}
};

MonitorHooks &hooks() {
    static MonitorHooks installed;
    return installed;
}

// Waits on the clock when the front end gave no wait of its own (the tests' fake clock).
bool waitOn(const Environment &environment, uint32_t ms) {
    if (hooks().wait) {
        return hooks().wait(ms);
    }
    environment.clock.sleep(ms);
    return true;
}

QDateTime nowOf() {
    return hooks().now ? hooks().now() : QDateTime::currentDateTime();
}

} // namespace

void setMonitorHooks(MonitorHooks installed) {
    hooks() = std::move(installed);
}

QString monitorTime(const QDateTime &time) {
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

// A JSON object sorts its keys; the line puts the time first, where a reader looks for it.
QString monitorJsonLine(QJsonObject object) {
    const QString time = object.take(QStringLiteral("time")).toString();
    const QString first = QString::fromUtf8(
        QJsonDocument(QJsonObject{{QStringLiteral("time"), time}}).toJson(QJsonDocument::Compact));
    if (object.isEmpty()) {
        return first;
    }
    const QString rest = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    return first.chopped(1) + QLatin1Char(',') + rest.mid(1);
}

QString monitorLine(const QString &time, const watch::WatchEvent &event, bool asState) {
    switch (event.kind) {
    case watch::EventKind::Attached: {
        const QString word = asState ? QStringLiteral("state") : QStringLiteral("attached");
        QString text =
            QStringLiteral("%1 %2 firmware %3")
                .arg(time, word, event.firmware.isEmpty() ? QStringLiteral("unknown") : event.firmware);
        if (asState) {
            for (const status::StatusField &field : status::statusFields(event.status)) {
                text += QStringLiteral("\n%1 state %2 %3")
                            .arg(time, field.name, status::fieldValueText(field.value));
            }
        }
        return text;
    }
    case watch::EventKind::Detached:
        return QStringLiteral("%1 detached %2").arg(time, event.why);
    case watch::EventKind::Changed:
        break;
    }
    return QStringLiteral("%1 changed %2 %3 -> %4")
        .arg(time, event.field, status::fieldValueText(event.from), status::fieldValueText(event.to));
}

QJsonObject monitorObject(const QString &time, const watch::WatchEvent &event, bool asState) {
    QJsonObject object = watch::eventJson(event, asState);
    object.insert(QStringLiteral("time"), time);
    return object;
}

int runMonitor(UsbXpress &usb, const Invocation &invocation, const Environment &environment) {
    MonitorReporter reporter(environment.err, environment.errIsTerminal, invocation.trace, invocation.quiet);
    BoxSession session(usb, environment.clock, reporter);
    watch::Watcher watcher(session, environment.clock, invocation.monitorIntervalMs,
                           invocation.monitorIntervalMs);
    const uint32_t start = environment.clock.tickCount();
    // Without --for it runs until it is stopped.
    const uint64_t forMs = invocation.monitorSeconds ? uint64_t(*invocation.monitorSeconds) * 1000
                                                     : std::numeric_limits<uint64_t>::max();
    bool stateShown = false;
    int printed = 0;
    const auto done = [&] { return invocation.monitorCount && printed >= *invocation.monitorCount; };
    const auto elapsed = [&] { return uint64_t(environment.clock.tickCount() - start); };
    while (!done() && elapsed() < forMs) {
        for (const watch::WatchEvent &event : watcher.poll()) {
            const bool asState = !stateShown && event.kind == watch::EventKind::Attached;
            const QString time = monitorTime(nowOf());
            if (invocation.json) {
                environment.out << monitorJsonLine(monitorObject(time, event, asState)) << '\n';
            } else {
                environment.out << monitorLine(time, event, asState) << '\n';
            }
            environment.out.flush();
            if (asState) {
                stateShown = true;
                continue;
            }
            ++printed;
            if (done()) {
                break;
            }
        }
        if (done()) {
            break;
        }
        if (elapsed() >= forMs) {
            break;
        }
        const auto wait = static_cast<uint32_t>(
            std::min<uint64_t>(std::max<uint32_t>(1, watcher.untilDue()), forMs - elapsed()));
        if (!waitOn(environment, wait)) {
            break;
        }
    }
    session.close();
    return kExitOk;
}

} // namespace cli
