#pragma once
// The bridge's topics and Home Assistant's discovery of the box: one retained config per
// entity on "<discovery>/<component>/<id>/<object>/config", all with one device block and the
// bridge as their origin, each with a default entity id Home Assistant takes as it is. The
// sensors read the state topic; the selects, switches and buttons, announced only when
// writes are allowed, send on the command topics. The chain's doctor is a sensor of its own:
// the number of findings, the findings and fixes as its attributes; it only reads.

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <vector>

namespace mqtt {

// "<prefix>/<id>/...": the box's topics.
struct Topics {
    QString base; // "<prefix>/<id>"
    QString availability() const { return base + QStringLiteral("/availability"); }
    QString state() const { return base + QStringLiteral("/state"); }
    QString event() const { return base + QStringLiteral("/event"); }
    // Each command's outcome, in the order they came: applied or refused, and why.
    QString result() const { return base + QStringLiteral("/result"); }
    // Each change the bridge made, as its journal records it.
    QString journal() const { return base + QStringLiteral("/journal"); }
    // What the chain's doctor finds: how many findings, each in words, and the fixes.
    QString doctor() const { return base + QStringLiteral("/doctor"); }
    QString command(const QString &tail) const { return base + QLatin1Char('/') + tail; }
    // The bridge's own marker, sent to itself: it ends the sweep of stale discovery topics.
    QString sweep() const { return base + QStringLiteral("/sweep"); }
    // What the bridge subscribes to: every command topic.
    QStringList commandFilters() const;
};

// The box's id in topics and unique ids: the client id and the box's serial.
QString deviceId(const QString &clientId, const QString &serial);

// The object part of an entity id as Home Assistant takes one: lowercase ASCII letters, digits
// and single underscores, none at either end. Letters with marks lose them ("Kino ü" is
// "kino_u"), a few letters are spelt out ("ß" is "ss"), anything else separates words; empty
// when nothing is left.
QString entitySlug(const QString &text);

// What every config says of the program that announced it.
struct DiscoveryOrigin {
    QString name;
    QString version;
    QString supportUrl; // empty: none
};
// This program: veltrika-mqtt, its version and, when the build names one, its support address.
DiscoveryOrigin bridgeOrigin();

struct DiscoveryContext {
    Topics topics;
    QString discoveryPrefix;
    QString deviceId;
    QString firmware; // empty while unknown
    bool allowWrite = false;
    QStringList configurations; // the named configurations, one button each
    DiscoveryOrigin origin = bridgeOrigin();
};

struct RetainedMessage {
    QString topic;
    QByteArray payload; // empty: the entity is withdrawn
};

// Every entity's config, in a fixed order. Without writes, the controls' configs are sent
// empty, withdrawing what an earlier run with writes announced.
std::vector<RetainedMessage> discoveryMessages(const DiscoveryContext &context);

// The config topics of the named configurations' buttons, for withdrawing one.
QString configurationButtonTopic(const DiscoveryContext &context, const QString &name);

// Every config topic under the bridge's id, of any component and object: what the broker may
// still keep of an earlier run.
QString discoveryFilter(const QString &discoveryPrefix, const QString &deviceId);

} // namespace mqtt
