#include "core/box/watcher.h"

#include "core/box/status_texts.h"

namespace watch {
namespace {

constexpr char kUnplugged[] = "unplugged";

// A part the new status carries replaces the old one; a part it lacks stays as it was.
void merge(status::TypedStatus &last, const status::TypedStatus &now) {
    if (now.video) {
        last.video = now.video;
    }
    if (now.source) {
        last.source = now.source;
    }
    if (now.hdr) {
        last.hdr = now.hdr;
    }
    if (now.settings) {
        last.settings = now.settings;
    }
}

// "1.8.3.0" from the version block.
QString firmwareOf(const proto::ReplyBuffer &versionBlock) {
    QString text = status::firmwareVersionText(versionBlock);
    return text.mid(static_cast<qsizetype>(sizeof("ver: ") - 1));
}

} // namespace

const char *eventKindName(EventKind kind) {
    switch (kind) {
    case EventKind::Attached:
        return "attached";
    case EventKind::Detached:
        return "detached";
    case EventKind::Changed:
        break;
    }
    return "changed";
}

Watcher::Watcher(BoxSession &session, LinkClock &clock, uint32_t intervalMs, uint32_t lookIntervalMs,
                 const char *serial)
    : session_(session), clock_(clock), intervalMs_(intervalMs), lookIntervalMs_(lookIntervalMs),
      serial_(serial), attached_(session.isOpen()) {}

WatchEvent Watcher::event(EventKind kind) const {
    WatchEvent made;
    made.kind = kind;
    made.tick = clock_.tickCount();
    return made;
}

uint32_t Watcher::untilDue() {
    if (!started_) {
        return 0;
    }
    const uint32_t interval = attached_ ? intervalMs_ : lookIntervalMs_;
    // Unsigned difference: a wrap of the tick count is harmless.
    const uint32_t since = clock_.tickCount() - lastPoll_;
    return since >= interval ? 0 : interval - since;
}

std::vector<WatchEvent> Watcher::poll() {
    if (untilDue() > 0) {
        return {};
    }
    started_ = true;
    lastPoll_ = clock_.tickCount();
    return attached_ ? read() : look();
}

std::vector<WatchEvent> Watcher::look() {
    if (session_.attachQuietly(serial_) != Attach::Open) {
        return {};
    }
    const Outcome<proto::ReplyBuffer> version =
        session_.readRegisters(proto::kRegVersion, proto::kVersionBlockLength);
    if (isLinkLoss(version.error)) {
        // Gone again before it said anything: nothing to tell.
        session_.closeLost();
        return {};
    }
    LinkError loss = LinkError::None;
    const status::TypedStatus now = readStatus(&loss);
    if (loss != LinkError::None) {
        session_.closeLost();
        return {};
    }
    return attached(version.ok() ? firmwareOf(version.value) : QString(), now);
}

status::TypedStatus Watcher::readStatus(LinkError *loss) {
    const Outcome<record::StatusRecord> settings = session_.readSettings();
    if (isLinkLoss(settings.error)) {
        *loss = settings.error;
        return {};
    }
    const StatusBlocks blocks = session_.readStatusBlocks();
    if (blocks.loss != LinkError::None) {
        *loss = blocks.loss;
        return {};
    }
    return status::typedStatusOf(blocks, settings.ok() ? std::optional(settings.value) : std::nullopt);
}

std::vector<WatchEvent> Watcher::read() {
    if (!session_.isOpen()) {
        return lost(LinkError::NoDevice);
    }
    if (!session_.listed(serial_)) {
        return lost(LinkError::NoDevice);
    }
    LinkError loss = LinkError::None;
    const status::TypedStatus now = readStatus(&loss);
    if (loss != LinkError::None) {
        return lost(loss);
    }
    return observe(now);
}

std::vector<WatchEvent> Watcher::attached(const QString &firmware, const status::TypedStatus &status) {
    attached_ = true;
    firmware_ = firmware;
    last_ = status;
    WatchEvent made = event(EventKind::Attached);
    made.firmware = firmware;
    made.status = status;
    return {made};
}

std::vector<WatchEvent> Watcher::observe(const status::TypedStatus &status) {
    std::vector<WatchEvent> events;
    for (status::FieldChange &change : status::compareStatus(last_, status)) {
        WatchEvent made = event(EventKind::Changed);
        made.field = change.field;
        made.from = change.from;
        made.to = change.to;
        events.push_back(std::move(made));
    }
    merge(last_, status);
    return events;
}

std::vector<WatchEvent> Watcher::lost(LinkError error) {
    session_.closeLost();
    if (!attached_) {
        return {};
    }
    attached_ = false;
    lastPoll_ = clock_.tickCount();
    WatchEvent made = event(EventKind::Detached);
    // A box no longer listed was unplugged; one still listed stopped answering.
    made.why = error == LinkError::NoDevice || !session_.listed(serial_)
                   ? QLatin1String(kUnplugged)
                   : QLatin1String(linkErrorName(error));
    return {made};
}

} // namespace watch
