#pragma once
// Debian's mosquitto, run for a test on 127.0.0.1 on a free port with a configuration in a
// temporary folder; with a user and password when the test asks for one. Killed and
// started again on the same port, as a broker that goes away and comes back.

#include "mqtt_client.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <utility>
#include <vector>

namespace mqtt::test {

class Broker {
public:
    Broker() = default;
    ~Broker() { stop(); }
    Broker(const Broker &) = delete;
    Broker &operator=(const Broker &) = delete;

    // Only the user may log in, with this password.
    void requirePassword(const QString &user, const QString &password) { login_ = {user, password}; }
    // TLS only, with a certificate for 127.0.0.1 made for the test; its file is the CA a
    // client checks it against.
    void requireTls() { tls_ = true; }
    QString certificateFile() const { return dir_.filePath(QStringLiteral("broker.crt")); }
    // Starts the broker and waits until it takes connections; false with the reason when it
    // does not.
    bool start(QString *error);
    // SIGKILL: the broker is gone without a word, as when its machine fails.
    void kill();
    void stop();
    uint16_t port() const { return port_; }

private:
    QTemporaryDir dir_;
    QProcess process_;
    uint16_t port_ = 0;
    std::pair<QString, QString> login_;
    bool tls_ = false;
};

// A client of the broker that records what it receives on its filters.
struct Received {
    QString topic;
    QByteArray payload;
    bool retained;
};

class Listener : public QObject {
    Q_OBJECT
public:
    Listener(uint16_t port, QStringList filters, const QString &clientId = QStringLiteral("listener"));
    bool connectNow();
    void publish(const QString &topic, const QByteArray &payload, bool retain = false);
    // The messages received on a topic, in order.
    std::vector<Received> on(const QString &topic) const;
    // Waits (real time: the broker is a real process) until `count` messages came on a topic.
    bool waitFor(const QString &topic, size_t count = 1, int timeoutMs = 5000);
    void clear() { received_.clear(); }
    MqttClient &client() { return client_; }
    std::vector<Received> received_;

private:
    MqttClient client_;
    QStringList filters_;
};

// Test settings for a client: quick retries, so a broker that comes back is found at once.
ClientSettings clientSettings(uint16_t port, const QString &clientId);

} // namespace mqtt::test
