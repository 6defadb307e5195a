#include "discovery_sweep.h"

#include <algorithm>

namespace mqtt {
namespace {

// One level of the filter: "+" matches any single level.
bool matches(const QString &filter, const QString &topic) {
    const QStringList wanted = filter.split(QLatin1Char('/'));
    const QStringList levels = topic.split(QLatin1Char('/'));
    if (wanted.size() != levels.size()) {
        return false;
    }
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        if (wanted[i] != QLatin1String("+") && wanted[i] != levels[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

DiscoverySweep::DiscoverySweep(MqttClient &client, QString filter, QString markerTopic, QObject *parent)
    : QObject(parent), client_(client), filter_(std::move(filter)), markerTopic_(std::move(markerTopic)) {
    wait_.setSingleShot(true);
    connect(&wait_, &QTimer::timeout, this, &DiscoverySweep::finish);
}

void DiscoverySweep::start() {
    kept_.clear();
    marker_ = QByteArray::number(++round_);
    running_ = client_.subscribe(filter_) && client_.subscribe(markerTopic_) &&
               client_.publish(markerTopic_, marker_, false);
    if (running_) {
        wait_.start(kSweepWaitMs);
    }
}

bool DiscoverySweep::take(const QString &topic, const QByteArray &payload, bool retained) {
    if (topic == markerTopic_) {
        if (running_ && payload == marker_) {
            finish();
        }
        return true;
    }
    if (!matches(filter_, topic)) {
        return false;
    }
    // Only what the broker kept: the configs this run sends come back unretained.
    if (running_ && retained && !payload.isEmpty()) {
        kept_.insert(topic);
    }
    return true;
}

void DiscoverySweep::finish() {
    if (!running_) {
        return;
    }
    running_ = false;
    wait_.stop();
    client_.unsubscribe(filter_);
    client_.unsubscribe(markerTopic_);
    QStringList stale;
    for (const QString &topic : std::as_const(kept_)) {
        if (!announced_.contains(topic)) {
            stale << topic;
        }
    }
    std::sort(stale.begin(), stale.end());
    for (const QString &topic : std::as_const(stale)) {
        client_.publish(topic, {}, true);
    }
    kept_.clear();
    if (!stale.isEmpty()) {
        emit withdrawn(stale);
    }
}

} // namespace mqtt
