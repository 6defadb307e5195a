#pragma once
// One MQTT connection through libmosquitto, driven by the Qt event loop through its socket
// (no thread of its own): connects, keeps the connection alive, and when it is lost or
// refused tries again after a back-off that doubles up to its maximum. A last will is left
// with the broker at every connect.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>

struct mosquitto;
struct mosquitto_message;
class QSocketNotifier;

namespace mqtt {

struct ClientSettings {
    QString host;
    uint16_t port = 1883;
    QString clientId;
    QString username;
    std::optional<QByteArray> password;
    bool tls = false;
    QString caFile; // empty with tls: the system's certificate authorities
    int keepAliveSeconds = 30;
    QString willTopic; // empty: no will
    QByteArray willPayload;
    uint32_t firstBackoffMs = 500;
    uint32_t maxBackoffMs = 30000;
    uint32_t connectTimeoutMs = 10000; // a connect with no answer by then is given up
};

class MqttClient : public QObject {
    Q_OBJECT
public:
    explicit MqttClient(ClientSettings settings, QObject *parent = nullptr);
    ~MqttClient() override;
    MqttClient(const MqttClient &) = delete;
    MqttClient &operator=(const MqttClient &) = delete;

    // Starts connecting; false with the reason when the settings cannot be used at all (a
    // CA file that cannot be read, a client the library refuses).
    bool start(QString *error);
    bool isConnected() const { return connected_; }
    // Queues a message; false while not connected (the bridge sends everything again on
    // every connect) or when the library refuses it.
    bool publish(const QString &topic, const QByteArray &payload, bool retain);
    bool subscribe(const QString &filter);
    bool unsubscribe(const QString &filter);
    // Sends what is queued and a clean disconnect (the broker then forgets the will).
    void stop();
    // The wait before the next attempt, for the log.
    uint32_t backoffMs() const { return backoffMs_; }

signals:
    void connected();
    // Lost or refused; another attempt comes after backoffMs().
    void disconnected(const QString &why);
    // `retained`: a message the broker kept, delivered on subscribing.
    void messageReceived(const QString &topic, const QByteArray &payload, bool retained);

private:
    static void onConnect(mosquitto *, void *self, int code);
    static void onDisconnect(mosquitto *, void *self, int code);
    static void onPublish(mosquitto *, void *self, int messageId);
    static void onMessage(mosquitto *, void *self, const mosquitto_message *message);

    void attempt();
    void watchSocket();
    void readable();
    void writable();
    void housekeeping();
    void afterLoop(int code);
    void flushWrites();
    void lost(const QString &why);

    ClientSettings settings_;
    mosquitto *client_ = nullptr;
    std::unique_ptr<QSocketNotifier> reader_;
    std::unique_ptr<QSocketNotifier> writer_;
    QTimer retry_;
    QTimer misc_;
    QTimer connectTimeout_;
    bool connected_ = false;
    bool linked_ = false; // a socket is open (connecting or connected)
    bool stopping_ = false;
    uint32_t backoffMs_ = 0;
    int unacknowledged_ = 0; // messages sent whose acknowledgement has not come yet
};

} // namespace mqtt
