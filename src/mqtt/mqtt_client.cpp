#include "mqtt_client.h"

#include <QFileInfo>
#include <QSocketNotifier>
#include <QThread>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mqtt {
namespace {

constexpr int kPacketsPerCall = 16;
constexpr int kHousekeepingMs = 1000;
constexpr char kSystemCertificates[] = "/etc/ssl/certs";
// A stop waits this long at most for the broker to close the connection.
constexpr int kStopWaitTries = 50;
constexpr int kStopWaitSliceMs = 20;

// The library's sentence without its full stop, to go inside a log line.
QString errorText(int code) {
    QString text = code == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                          : QString::fromUtf8(mosquitto_strerror(code));
    if (text.endsWith(QLatin1Char('.'))) {
        text.chop(1);
    }
    return text;
}

} // namespace

MqttClient::MqttClient(ClientSettings settings, QObject *parent)
    : QObject(parent), settings_(std::move(settings)) {
    retry_.setSingleShot(true);
    connectTimeout_.setSingleShot(true);
    misc_.setInterval(kHousekeepingMs);
    connect(&retry_, &QTimer::timeout, this, &MqttClient::attempt);
    connect(&misc_, &QTimer::timeout, this, &MqttClient::housekeeping);
    connect(&connectTimeout_, &QTimer::timeout, this,
            [this] { lost(QStringLiteral("no answer from the broker")); });
}

MqttClient::~MqttClient() {
    reader_.reset();
    writer_.reset();
    if (client_ != nullptr) {
        mosquitto_destroy(client_);
    }
}

bool MqttClient::start(QString *error) {
    static const bool initialised = mosquitto_lib_init() == MOSQ_ERR_SUCCESS;
    if (!initialised) {
        *error = QStringLiteral("the MQTT library did not start");
        return false;
    }
    client_ = mosquitto_new(settings_.clientId.toUtf8().constData(), true, this);
    if (client_ == nullptr) {
        *error = QStringLiteral("the MQTT library refused the client id %1").arg(settings_.clientId);
        return false;
    }
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(client_, &MqttClient::onConnect);
    mosquitto_disconnect_callback_set(client_, &MqttClient::onDisconnect);
    mosquitto_message_callback_set(client_, &MqttClient::onMessage);
    mosquitto_publish_callback_set(client_, &MqttClient::onPublish);
    if (settings_.password && settings_.username.isEmpty()) {
        *error = QStringLiteral("a password needs a user name (--username)");
        return false;
    }
    if (!settings_.username.isEmpty()) {
        const QByteArray user = settings_.username.toUtf8();
        const int code = mosquitto_username_pw_set(
            client_, user.constData(), settings_.password ? settings_.password->constData() : nullptr);
        if (code != MOSQ_ERR_SUCCESS) {
            *error = QStringLiteral("user name: %1").arg(errorText(code));
            return false;
        }
    }
    if (settings_.tls) {
        if (!settings_.caFile.isEmpty() && !QFileInfo(settings_.caFile).isReadable()) {
            *error = QStringLiteral("Cannot read file %1.").arg(settings_.caFile);
            return false;
        }
        const QByteArray caFile = settings_.caFile.toLocal8Bit();
        const int code =
            mosquitto_tls_set(client_, caFile.isEmpty() ? nullptr : caFile.constData(),
                              caFile.isEmpty() ? kSystemCertificates : nullptr, nullptr, nullptr, nullptr);
        if (code != MOSQ_ERR_SUCCESS) {
            *error = QStringLiteral("TLS: %1").arg(errorText(code));
            return false;
        }
    }
    if (!settings_.willTopic.isEmpty()) {
        const QByteArray topic = settings_.willTopic.toUtf8();
        mosquitto_will_set(client_, topic.constData(), static_cast<int>(settings_.willPayload.size()),
                           settings_.willPayload.constData(), 1, true);
    }
    attempt();
    return true;
}

void MqttClient::attempt() {
    const QByteArray host = settings_.host.toUtf8();
    const int code =
        mosquitto_connect_async(client_, host.constData(), settings_.port, settings_.keepAliveSeconds);
    linked_ = true;
    if (code != MOSQ_ERR_SUCCESS) {
        lost(errorText(code));
        return;
    }
    watchSocket();
    connectTimeout_.start(static_cast<int>(settings_.connectTimeoutMs));
    misc_.start();
}

void MqttClient::watchSocket() {
    const int socket = mosquitto_socket(client_);
    if (socket < 0) {
        lost(QStringLiteral("no socket"));
        return;
    }
    reader_ = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
    writer_ = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Write);
    connect(reader_.get(), &QSocketNotifier::activated, this, &MqttClient::readable);
    connect(writer_.get(), &QSocketNotifier::activated, this, &MqttClient::writable);
    flushWrites();
}

void MqttClient::readable() {
    afterLoop(mosquitto_loop_read(client_, kPacketsPerCall));
}

void MqttClient::writable() {
    afterLoop(mosquitto_loop_write(client_, kPacketsPerCall));
}

// Keep-alive pings and the time-outs of messages in flight.
void MqttClient::housekeeping() {
    afterLoop(mosquitto_loop_misc(client_));
}

void MqttClient::afterLoop(int code) {
    if (code != MOSQ_ERR_SUCCESS) {
        lost(errorText(code));
        return;
    }
    flushWrites();
}

void MqttClient::flushWrites() {
    if (writer_) {
        writer_->setEnabled(mosquitto_want_write(client_));
    }
}

// The notifiers may be the very ones whose signal is being handled: they go once it returns.
void MqttClient::lost(const QString &why) {
    if (!linked_) {
        return;
    }
    linked_ = false;
    const bool wasConnected = connected_;
    connected_ = false;
    connectTimeout_.stop();
    misc_.stop();
    for (std::unique_ptr<QSocketNotifier> *notifier : {&reader_, &writer_}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            notifier->release()->deleteLater();
        }
    }
    if (stopping_) {
        return;
    }
    // Closes what is left of the connection; the next attempt starts afresh.
    mosquitto_disconnect(client_);
    backoffMs_ =
        backoffMs_ == 0 ? settings_.firstBackoffMs : std::min(backoffMs_ * 2, settings_.maxBackoffMs);
    retry_.start(static_cast<int>(backoffMs_));
    emit disconnected(wasConnected ? QStringLiteral("connection lost: %1").arg(why) : why);
}

bool MqttClient::publish(const QString &topic, const QByteArray &payload, bool retain) {
    if (!connected_) {
        return false;
    }
    const QByteArray name = topic.toUtf8();
    const int code = mosquitto_publish(client_, nullptr, name.constData(), static_cast<int>(payload.size()),
                                       payload.constData(), 1, retain);
    flushWrites();
    if (code != MOSQ_ERR_SUCCESS) {
        return false;
    }
    ++unacknowledged_;
    return true;
}

bool MqttClient::subscribe(const QString &filter) {
    if (!connected_) {
        return false;
    }
    const int code = mosquitto_subscribe(client_, nullptr, filter.toUtf8().constData(), 1);
    flushWrites();
    return code == MOSQ_ERR_SUCCESS;
}

bool MqttClient::unsubscribe(const QString &filter) {
    if (!connected_) {
        return false;
    }
    const int code = mosquitto_unsubscribe(client_, nullptr, filter.toUtf8().constData());
    flushWrites();
    return code == MOSQ_ERR_SUCCESS;
}

void MqttClient::stop() {
    stopping_ = true;
    retry_.stop();
    if (!connected_) {
        return;
    }
    // The library closes the socket as soon as its DISCONNECT is written; a socket closed
    // with unread data is reset, and a broker that meets the reset before the DISCONNECT
    // sends the will. So what is queued is written and the broker's acknowledgements are read
    // first, by the calls the event loop makes: mosquitto_loop() read nothing here, so that
    // messages past the library's window of 20 in flight (the availability "offline" last
    // among them) were never sent, and every stop waited its whole second.
    for (int tries = 0; tries < kStopWaitTries && unacknowledged_ > 0; ++tries) {
        int code = mosquitto_loop_read(client_, kPacketsPerCall);
        if (code == MOSQ_ERR_SUCCESS && mosquitto_want_write(client_)) {
            code = mosquitto_loop_write(client_, kPacketsPerCall);
        }
        if (code != MOSQ_ERR_SUCCESS) {
            break;
        }
        if (unacknowledged_ > 0) {
            QThread::msleep(kStopWaitSliceMs);
        }
    }
    mosquitto_disconnect(client_);
    lost(QStringLiteral("stopped"));
}

void MqttClient::onConnect(mosquitto * /*client*/, void *self, int code) {
    auto *client = static_cast<MqttClient *>(self);
    client->connectTimeout_.stop();
    if (code != 0) {
        client->lost(QStringLiteral("the broker refused the connection: %1")
                         .arg(QString::fromUtf8(mosquitto_connack_string(code))));
        return;
    }
    client->connected_ = true;
    client->backoffMs_ = 0;
    client->unacknowledged_ = 0;
    emit client->connected();
}

void MqttClient::onPublish(mosquitto * /*client*/, void *self, int /*messageId*/) {
    auto *client = static_cast<MqttClient *>(self);
    if (client->unacknowledged_ > 0) {
        --client->unacknowledged_;
    }
}

void MqttClient::onDisconnect(mosquitto * /*client*/, void *self, int code) {
    auto *client = static_cast<MqttClient *>(self);
    if (code != 0) {
        client->lost(errorText(code));
    }
}

void MqttClient::onMessage(mosquitto * /*client*/, void *self, const mosquitto_message *message) {
    auto *client = static_cast<MqttClient *>(self);
    const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
    emit client->messageReceived(QString::fromUtf8(message->topic), payload, message->retain);
}

} // namespace mqtt
