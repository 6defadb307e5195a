// The bridge's command payloads and options, checked before anything reaches the box or
// the broker.

#include "bridge_commands.h"
#include "bridge_options.h"
#include "discovery.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace mqtt;

class TestMqttCommands : public QObject {
    Q_OBJECT
private slots:
    void commands_data();
    void commands();
    void options_data();
    void options();
    void password_data();
    void password();
    void exampleConfiguration_data();
    void exampleConfiguration();
    void entitySlug_data();
    void entitySlug();
};

void TestMqttCommands::commands_data() {
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("write");
    QTest::addColumn<bool>("packets");
    // The command as a log line shows it, or "refused: " and why.
    QTest::addColumn<QString>("outcome");
    // The bytes a packet's data frame carries.
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray none;
    QTest::newRow("setting") << "set/input" << QByteArray("bot") << true << false << "set input=bot" << none;
    QTest::newRow("setting, line end")
        << "set/green-led" << QByteArray("off\n") << true << false << "set green-led=off" << none;
    QTest::newRow("writes off") << "set/input" << QByteArray("bot") << false << false
                                << "refused: writes are off (start the bridge with --allow-write)" << none;
    QTest::newRow("unknown setting") << "set/imput" << QByteArray("bot") << true << false
                                     << "refused: unknown setting: imput" << none;
    QTest::newRow("unknown value") << "set/hdcp" << QByteArray("2.3") << true << false
                                   << "refused: bad value for hdcp: 2.3 (one of: 1.4, 2.2)" << none;
    QTest::newRow("value in other case")
        << "set/input" << QByteArray("BOT") << true << false
        << "refused: bad value for input: BOT (one of: top, bot, matrix-thru, "
           "matrix-swap)"
        << none;
    QTest::newRow("invalid UTF-8") << "set/input" << QByteArray("b\xC3\x28t") << true << false
                                   << "refused: payload is not UTF-8 text" << none;
    QTest::newRow("control character") << "set/input" << QByteArray("b\x01t") << true << false
                                       << "refused: payload holds a control character" << none;
    QTest::newRow("empty") << "set/input" << QByteArray() << true << false << "refused: empty payload"
                           << none;
    QTest::newRow("1 MB") << "set/input" << QByteArray(1024 * 1024, 'a') << true << false
                          << "refused: payload of 1048576 bytes, more than 256" << none;
    QTest::newRow("cec") << "cec/send" << QByteArray("40:04") << true << true << "cec send 40:04"
                         << QByteArray::fromHex("400104");
    QTest::newRow("cec, packets off")
        << "cec/send" << QByteArray("40:04") << true << false
        << "refused: raw packets are off (start the bridge with --allow-packets)" << none;
    QTest::newRow("hdr, lower case") << "hdr/send" << QByteArray("87:01:1a:02") << true << true
                                     << "hdr send 87:01:1a:02" << QByteArray::fromHex("87011a02");
    QTest::newRow("bad hex") << "hdr/send" << QByteArray("87:0G:1A") << true << true
                             << "refused: Hex Format Error" << none;
    QTest::newRow("hdr without colons")
        << "hdr/send" << QByteArray("8701") << true << true
        << "refused: Error: min 2, max 31 data bytes (write the bytes as colon-separated pairs, e.g. 50:04)"
        << none;
    QTest::newRow("avi too long") << "avi/send" << QByteArray("00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD")
                                  << true << true << "refused: Error: min 2, max 13 data bytes" << none;
    QTest::newRow("configuration") << "configuration/apply" << QByteArray("movie night") << true << false
                                   << "apply configuration movie night" << none;
    QTest::newRow("configuration, a path")
        << "configuration/apply" << QByteArray("x/../../etc/passwd") << true << false
        << "refused: a configuration's name holds no slash and no control "
           "character: x/../../etc/passwd"
        << none;
    QTest::newRow("not a command") << "state" << QByteArray("{}") << true << true
                                   << "refused: not a command topic: state" << none;
}

void TestMqttCommands::commands() {
    QFETCH(QString, topic);
    QFETCH(QByteArray, payload);
    QFETCH(bool, write);
    QFETCH(bool, packets);
    QFETCH(QString, outcome);
    QFETCH(QByteArray, bytes);
    const CommandParse parse = parseCommand(topic, payload, {write, packets});
    QCOMPARE(parse.ok() ? commandText(parse.command) : QStringLiteral("refused: ") + parse.refusal, outcome);
    if (!bytes.isEmpty()) {
        const std::span<const uint8_t> sent = parse.command.packet.bytes();
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(sent.data()), static_cast<qsizetype>(sent.size())),
                 bytes);
    }
}

void TestMqttCommands::options_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("config"); // empty: no file
    // "host:port tls write packets interval prefix" or the error.
    QTest::addColumn<QString>("outcome");

    QTest::newRow("defaults") << QStringList{"--broker", "mqtt.lan"} << QByteArray()
                              << "mqtt.lan:1883 tls=0 write=0 packets=0 1000 veltrika";
    QTest::newRow("tls port") << QStringList{"--broker=mqtt.lan", "--tls"} << QByteArray()
                              << "mqtt.lan:8883 tls=1 write=0 packets=0 1000 veltrika";
    QTest::newRow("ipv6") << QStringList{"--broker", "[::1]:1884"} << QByteArray()
                          << "::1:1884 tls=0 write=0 packets=0 1000 veltrika";
    QTest::newRow("ipv6 bare") << QStringList{"--broker", "::1"} << QByteArray()
                               << "broker: an IPv6 address goes in brackets: [::1]";
    QTest::newRow("port 0") << QStringList{"--broker", "h:0"} << QByteArray()
                            << "broker: not a port (1 to 65535): 0";
    QTest::newRow("no broker") << QStringList{} << QByteArray()
                               << "no broker: give --broker HOST[:PORT] or broker = HOST[:PORT] in "
                                  "/etc/veltrika/mqtt.conf";
    QTest::newRow("password on the line")
        << QStringList{"--broker", "h", "--password", "secret"} << QByteArray()
        << "--password: a password is not taken there: give it in a file "
           "(--password-file) or in VELTRIKA_MQTT_PASSWORD";
    QTest::newRow("packets without write") << QStringList{"--broker", "h", "--allow-packets"} << QByteArray()
                                           << "--allow-packets needs --allow-write";
    QTest::newRow("interval too short") << QStringList{"--broker", "h", "--interval", "100"} << QByteArray()
                                        << "interval must be 250 to 60000 ms: 100";
    QTest::newRow("wildcard prefix") << QStringList{"--broker", "h", "--topic-prefix", "a/#"} << QByteArray()
                                     << "topic-prefix must not hold '+', '#' or control characters: a/#";
    QTest::newRow("file") << QStringList{}
                          << QByteArray("# bridge\nbroker = mqtt.lan:1885\nallow-write = yes\n"
                                        "allow-packets=true\ninterval = 5000\ntopic-prefix = home/av\n")
                          << "mqtt.lan:1885 tls=0 write=1 packets=1 5000 home/av";
    QTest::newRow("line over file") << QStringList{"--interval", "2000"}
                                    << QByteArray("broker = h\ninterval = 5000\n")
                                    << "h:1883 tls=0 write=0 packets=0 2000 veltrika";
    QTest::newRow("password in file") << QStringList{} << QByteArray("broker = h\npassword = secret\n")
                                      << "mqtt.conf line 2: a password is not taken there: give it in a file "
                                         "(--password-file) or in VELTRIKA_MQTT_PASSWORD";
    QTest::newRow("unknown key") << QStringList{} << QByteArray("broker = h\nbrokr = x\n")
                                 << "mqtt.conf line 2: unknown key: brokr";
    QTest::newRow("bad flag") << QStringList{} << QByteArray("broker = h\nallow-write = maybe\n")
                              << "mqtt.conf line 2: allow-write takes yes or no: maybe";
}

void TestMqttCommands::options() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, config);
    QFETCH(QString, outcome);
    OptionSources sources{arguments, std::nullopt, QStringLiteral("mqtt.conf")};
    if (!config.isEmpty()) {
        sources.configText = config;
    }
    const ParsedOptions parsed = parseBridgeOptions(sources);
    const BridgeOptions &o = parsed.options;
    const QString got = parsed.ok() ? QStringLiteral("%1:%2 tls=%3 write=%4 packets=%5 %6 %7")
                                          .arg(o.host)
                                          .arg(o.port)
                                          .arg(o.tls)
                                          .arg(o.allowWrite)
                                          .arg(o.allowPackets)
                                          .arg(o.intervalMs)
                                          .arg(o.topicPrefix)
                                    : parsed.error;
    QCOMPARE(got, outcome);
}

// The password comes from its file's first line or from the variable, and a file that
// cannot be read stops the bridge.
void TestMqttCommands::password_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("outcome"); // the password, or the error with the file's name as FILE
    QTest::newRow("0600") << 0600 << "s3cret";
    // The service reads it through its group, as the README's `install -m 0640 -g veltrika` has it.
    QTest::newRow("0640") << 0640 << "s3cret";
    QTest::newRow("0644: others read")
        << 0644
        << "FILE: every user of the machine may read this password file (mode 0644); make it yours alone "
           "with chmod 600 FILE, or yours and the group's with chmod 640 FILE";
    QTest::newRow("0602: others change")
        << 0602
        << "FILE: every user of the machine may change this password file (mode 0602); make it yours "
           "alone with chmod 600 FILE, or yours and the group's with chmod 640 FILE";
    QTest::newRow("0666")
        << 0666
        << "FILE: every user of the machine may read and change this password file (mode 0666); make it "
           "yours alone with chmod 600 FILE, or yours and the group's with chmod 640 FILE";
}

// The first line of a file only its owner (and group) may read; the variable without a file.
void TestMqttCommands::password() {
    QFETCH(int, mode);
    QFETCH(QString, outcome);
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("password"));
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("s3cret\r\nsecond line\n");
    file.close();
    QCOMPARE(chmod(QFile::encodeName(fileName).constData(), static_cast<mode_t>(mode)), 0);
    BridgeOptions options;
    QString error;
    QCOMPARE(brokerPassword(options, "from-env", &error), std::optional<QByteArray>("from-env"));
    QCOMPARE(brokerPassword(options, {}, &error), std::nullopt);
    options.passwordFile = fileName;
    const std::optional<QByteArray> password = brokerPassword(options, "from-env", &error);
    QCOMPARE(password ? QString::fromUtf8(*password) : error.replace(fileName, QStringLiteral("FILE")),
             outcome);
    options.passwordFile = dir.filePath(QStringLiteral("missing"));
    error.clear();
    QCOMPARE(brokerPassword(options, "from-env", &error), std::nullopt);
    QVERIFY2(error.startsWith(QStringLiteral("Cannot read file ")), qPrintable(error));
}

void TestMqttCommands::exampleConfiguration_data() {
    QTest::addColumn<bool>("uncommented");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("as shipped") << false << QStringLiteral("127.0.0.1:1883 tls=0 write=0 packets=0");
    // Every key the example shows commented out must be one the bridge takes, with the value shown.
    QTest::newRow("every key") << true << QStringLiteral("127.0.0.1:8883 tls=1 write=1 packets=1");
}

// The example configuration file that is installed beside the manual page.
void TestMqttCommands::exampleConfiguration() {
    QFETCH(bool, uncommented);
    QFETCH(QString, outcome);
    QFile file(QStringLiteral(MQTT_EXAMPLE_CONFIG));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(file.readAll());
    if (uncommented) {
        text.replace(QRegularExpression(QStringLiteral("^#([a-z])"), QRegularExpression::MultilineOption),
                     QStringLiteral("\\1"));
    }
    const ParsedOptions parsed = parseBridgeOptions({{}, text.toUtf8(), file.fileName()});
    const BridgeOptions &o = parsed.options;
    QCOMPARE(parsed.ok() ? QStringLiteral("%1:%2 tls=%3 write=%4 packets=%5")
                               .arg(o.host)
                               .arg(o.port)
                               .arg(o.tls)
                               .arg(o.allowWrite)
                               .arg(o.allowPackets)
                         : parsed.error,
             outcome);
}

void TestMqttCommands::entitySlug_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("slug");
    QTest::newRow("a client id") << "veltrika-Rack_2023"
                                 << "veltrika_rack_2023";
    QTest::newRow("marks dropped") << "Kino ü"
                                   << "kino_u";
    QTest::newRow("letters spelt out") << "Straße Ærø"
                                       << "strasse_aero";
    QTest::newRow("runs of separators") << "__Movie  --  Night!!__"
                                        << "movie_night";
    QTest::newRow("a ligature and a superscript") << "ﬁlm²"
                                                  << "film2";
    QTest::newRow("nothing left") << "日本 ★"
                                  << "";
    QTest::newRow("only separators") << "___"
                                     << "";
}

// Entity ids Home Assistant takes as they are: lowercase ASCII letters, digits and single
// underscores, none at either end.
void TestMqttCommands::entitySlug() {
    QFETCH(QString, text);
    QFETCH(QString, slug);
    QCOMPARE(mqtt::entitySlug(text), slug);
}

QTEST_GUILESS_MAIN(TestMqttCommands)
#include "tst_mqtt_commands.moc"
