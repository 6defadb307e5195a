#include "broker.h"

#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

namespace mqtt::test {
namespace {

constexpr int kStartWaitMs = 5000;

uint16_t freePort() {
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

// A tool run for the broker's files, its chatter dropped.
bool runQuietly(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished() && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

bool takesConnections(uint16_t port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(100);
}

} // namespace

bool Broker::start(QString *error) {
    const QString program =
        QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {"/usr/sbin", "/usr/bin"});
    if (program.isEmpty() || !dir_.isValid()) {
        *error = QStringLiteral("mosquitto is not installed (Debian package mosquitto)");
        return false;
    }
    if (port_ == 0) {
        port_ = freePort();
    }
    QString config = QStringLiteral("listener %1 127.0.0.1\npersistence false\n").arg(port_);
    // Run as root, mosquitto would drop to its own user, who cannot read the test's folder.
    if (const passwd *user = getpwuid(geteuid()); user != nullptr) {
        config += QStringLiteral("user %1\n").arg(QString::fromLocal8Bit(user->pw_name));
    }
    if (login_.first.isEmpty()) {
        config += QStringLiteral("allow_anonymous true\n");
    } else {
        const QString passwords = dir_.filePath(QStringLiteral("passwords"));
        if (QProcess::execute(QStringLiteral("mosquitto_passwd"), {QStringLiteral("-b"), QStringLiteral("-c"),
                                                                   passwords, login_.first, login_.second}) !=
            0) {
            *error = QStringLiteral("mosquitto_passwd failed");
            return false;
        }
        config += QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(passwords);
    }
    if (tls_) {
        const QString key = dir_.filePath(QStringLiteral("broker.key"));
        if (!QFile::exists(key) &&
            !runQuietly(QStringLiteral("openssl"),
                        {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                         "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out",
                         certificateFile()})) {
            *error = QStringLiteral("openssl could not make the broker's certificate");
            return false;
        }
        config += QStringLiteral("certfile %1\nkeyfile %2\n").arg(certificateFile(), key);
    }
    QFile file(dir_.filePath(QStringLiteral("mosquitto.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        *error = QStringLiteral("cannot write the broker's configuration");
        return false;
    }
    file.close();
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(program, {QStringLiteral("-c"), file.fileName()});
    if (!process_.waitForStarted()) {
        *error = QStringLiteral("mosquitto did not start: %1").arg(process_.errorString());
        return false;
    }
    if (!QTest::qWaitFor([this] { return takesConnections(port_); }, kStartWaitMs)) {
        *error = QStringLiteral("mosquitto takes no connections on port %1: %2")
                     .arg(port_)
                     .arg(QString::fromLocal8Bit(process_.readAll()));
        return false;
    }
    return true;
}

void Broker::kill() {
    process_.kill();
    process_.waitForFinished();
}

void Broker::stop() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(kStartWaitMs)) {
            kill();
        }
    }
}

ClientSettings clientSettings(uint16_t port, const QString &clientId) {
    ClientSettings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = port;
    settings.clientId = clientId;
    settings.firstBackoffMs = 100;
    settings.maxBackoffMs = 400;
    return settings;
}

Listener::Listener(uint16_t port, QStringList filters, const QString &clientId)
    : client_(clientSettings(port, clientId)), filters_(std::move(filters)) {
    connect(&client_, &MqttClient::connected, this, [this] {
        for (const QString &filter : std::as_const(filters_)) {
            client_.subscribe(filter);
        }
    });
    connect(&client_, &MqttClient::messageReceived, this,
            [this](const QString &topic, const QByteArray &payload, bool retained) {
                received_.push_back({topic, payload, retained});
            });
}

bool Listener::connectNow() {
    QString error;
    return client_.start(&error) && QTest::qWaitFor([this] { return client_.isConnected(); }, kStartWaitMs);
}

void Listener::publish(const QString &topic, const QByteArray &payload, bool retain) {
    client_.publish(topic, payload, retain);
}

std::vector<Received> Listener::on(const QString &topic) const {
    std::vector<Received> messages;
    for (const Received &message : received_) {
        if (message.topic == topic) {
            messages.push_back(message);
        }
    }
    return messages;
}

bool Listener::waitFor(const QString &topic, size_t count, int timeoutMs) {
    return QTest::qWaitFor([&] { return on(topic).size() >= count; }, timeoutMs);
}

} // namespace mqtt::test
