#pragma once
// Home Assistant's rules for an MQTT discovery config, as its public documentation states
// them (the MQTT integration's page, the pages of the sensor, binary sensor, select, switch
// and button platforms, and the developers' pages on sensors and entities): what a test holds
// every config the bridge announces against.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace mqtt::test {

// Every rule the config on `topic` breaks, one line each ("sensor/x: object_id is
// deprecated"); empty when it keeps them all.
QStringList homeAssistantViolations(const QString &discoveryPrefix, const QString &topic,
                                    const QByteArray &payload);

} // namespace mqtt::test
