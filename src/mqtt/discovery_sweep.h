#pragma once
// What the broker still keeps of the bridge's discovery that this run no longer announces (a
// configuration deleted while the bridge was away, an entity renamed, the controls of a run
// with --allow-write) is withdrawn at every connect, so that Home Assistant keeps no entity
// that can only fail. The sweep subscribes to every config topic under the bridge's id and
// collects the retained ones the broker hands over; a marker the bridge sends itself right
// after subscribing comes back behind them, so when it arrives (or after a bounded wait) the
// collection is whole. Then it unsubscribes and sends an empty retained payload to every
// collected topic the run does not announce.

#include "mqtt_client.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace mqtt {

// The longest wait for the marker: a broker that keeps many topics hands them over at once.
constexpr int kSweepWaitMs = 2000;

class DiscoverySweep : public QObject {
    Q_OBJECT
public:
    // `filter`: every config topic under the bridge's id; `markerTopic`: one of the bridge's
    // own topics no one else sends on.
    DiscoverySweep(MqttClient &client, QString filter, QString markerTopic, QObject *parent = nullptr);

    // At every connect: subscribes and sends the marker.
    void start();
    // A message of the broker: true when it was the sweep's (the caller does nothing more).
    bool take(const QString &topic, const QByteArray &payload, bool retained);
    // What this run announces now: the topics whose configs are not empty.
    void setAnnounced(QSet<QString> topics) { announced_ = std::move(topics); }
    bool running() const { return running_; }

signals:
    // The topics withdrawn, after a sweep that withdrew any.
    void withdrawn(const QStringList &topics);

private:
    void finish();

    MqttClient &client_;
    QString filter_;
    QString markerTopic_;
    QTimer wait_;
    QSet<QString> kept_; // retained config topics seen in this sweep
    QSet<QString> announced_;
    QByteArray marker_;
    quint64 round_ = 0;
    bool running_ = false;
};

} // namespace mqtt
