#pragma once
// The box over time, over one session: while no box is open it looks for the serial at an
// interval; while one is open it reads the status at an interval, compares the typed status
// with the last one and yields events: attached (with the firmware and the status), detached
// (with why) and one changed per field (name, from, to). A link loss, or the serial gone from
// the list, closes the handle and yields one detached; a read that a box still listed leaves
// unanswered failed on its own, and the box stays attached. It runs on the session's clock, so a
// fake clock runs it in tests; the front ends read its events and never poll the box themselves.

#include "core/box/box_session.h"
#include "core/box/typed_status.h"

#include <QJsonValue>
#include <QString>

#include <cstdint>
#include <vector>

namespace watch {

enum class EventKind : uint8_t { Attached, Detached, Changed };
// "attached", "detached", "changed".
const char *eventKindName(EventKind kind);

struct WatchEvent {
    EventKind kind = EventKind::Changed;
    uint32_t tick = 0;          // the clock when the watcher saw it
    QString field;              // changed: the field's name
    QJsonValue from;            // changed: the value before
    QJsonValue to;              // changed: the value now
    QString firmware;           // attached: "1.8.3.0", empty when its read failed
    QString why;                // detached: "unplugged", or the loss ("write failed", "read failed", ...)
    status::TypedStatus status; // attached: the status the box showed
};

constexpr uint32_t kDefaultIntervalMs = 1000;

class Watcher {
public:
    Watcher(BoxSession &session, LinkClock &clock, uint32_t intervalMs = kDefaultIntervalMs,
            uint32_t lookIntervalMs = kDefaultIntervalMs, const char *serial = kDeviceSerial);

    // Does what is due at the clock's time: a look while no box is open, a status read while
    // one is. Nothing when nothing is due.
    std::vector<WatchEvent> poll();
    // Milliseconds until poll has something to do; 0 when it has now.
    uint32_t untilDue();

    // The steps of poll, for a front end that keeps timers of its own (the window).
    // Looks for the box once; when it opens, reads its firmware and status: attached.
    std::vector<WatchEvent> look();
    // Reads the status once (the settings, then the four blocks): a changed per field, or a
    // detached when the link was lost.
    std::vector<WatchEvent> read();
    // A box the front end attached and read itself.
    std::vector<WatchEvent> attached(const QString &firmware, const status::TypedStatus &status);
    // A status the front end read itself: a changed per field it carries that changed.
    std::vector<WatchEvent> observe(const status::TypedStatus &status);
    // A link loss the front end met: the box is closed and, once per loss, detached.
    std::vector<WatchEvent> lost(LinkError error);

    bool isAttached() const { return attached_; }
    const QString &firmware() const { return firmware_; }
    // The last status, each part as the last read that carried it showed it.
    const status::TypedStatus &status() const { return last_; }

private:
    status::TypedStatus readStatus(LinkError *loss);
    WatchEvent event(EventKind kind) const;

    BoxSession &session_;
    LinkClock &clock_;
    uint32_t intervalMs_;
    uint32_t lookIntervalMs_;
    const char *serial_;
    bool attached_ = false;
    bool started_ = false; // false until the first poll: the first is due at once
    uint32_t lastPoll_ = 0;
    QString firmware_;
    status::TypedStatus last_;
};

} // namespace watch
