// Whether a source can read an EDID: the reasons for exact faults, every EDID of the
// corpus (only those of more than two blocks refused), and edid-decode's view of the
// corpus files the check refuses.

#include "core/edid/edid_check.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <vector>

using Bytes = std::vector<uint8_t>;
Q_DECLARE_METATYPE(Bytes)

namespace {

Bytes readFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray data = file.readAll();
    return {data.begin(), data.end()};
}

// A base block with the header and the extension count, and a block 1 that is not empty.
Bytes sound() {
    Bytes bytes(256, 0);
    const uint8_t header[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    std::copy(std::begin(header), std::end(header), bytes.begin());
    bytes[126] = 1;
    bytes[128] = 0x02;
    bytes[129] = 0x03;
    return bytes;
}

Bytes with(Bytes bytes, size_t at, uint8_t value) {
    bytes[at] = value;
    return bytes;
}

Bytes resized(Bytes bytes, size_t size) {
    bytes.resize(size, 0x11);
    return bytes;
}

} // namespace

class TestEdidCheck : public QObject {
    Q_OBJECT

private slots:
    void reasons_data();
    void reasons();
    void corpus_data();
    void corpus();
    void oracleOnRefusedFiles_data();
    void oracleOnRefusedFiles();
    void nonText_data();
    void nonText();
};

void TestEdidCheck::reasons_data() {
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<int>("origin");
    QTest::addColumn<QStringList>("reasons");
    const int text = int(EdidOrigin::Text);
    const int file = int(EdidOrigin::File);
    QTest::newRow("sound EDID") << sound() << text << QStringList{};
    QTest::newRow("base block alone, no extension")
        << resized(with(sound(), 126, 0), 128) << text << QStringList{};
    QTest::newRow("all zero: an empty file loaded")
        << Bytes(256, 0) << text
        << QStringList{QStringLiteral("block 0 does not start with the EDID header")};
    QTest::newRow("8 bytes of header")
        << resized(sound(), 8) << text << QStringList{QStringLiteral("the text holds 8 of 256 bytes")};
    QTest::newRow("header broken in its last byte")
        << with(sound(), 7, 0x01) << text
        << QStringList{QStringLiteral("block 0 does not start with the EDID header")};
    QTest::newRow("2 extensions stated")
        << with(sound(), 126, 2) << text
        << QStringList{QStringLiteral("the EDID states 2 extension blocks, the box holds 1")};
    QTest::newRow("extension stated, block 1 empty")
        << with(with(sound(), 128, 0), 129, 0) << text
        << QStringList{QStringLiteral("the EDID states 1 extension block, block 1 is empty")};
    QTest::newRow("base block alone stating an extension")
        << resized(sound(), 128) << text
        << QStringList{QStringLiteral("the EDID states 1 extension block, block 1 is empty")};
    QTest::newRow("3 blocks in a file")
        << resized(with(sound(), 126, 2), 384) << file
        << QStringList{QStringLiteral("the file holds 3 blocks, the box holds 2"),
                       QStringLiteral("the EDID states 2 extension blocks, the box holds 1")};
    QTest::newRow("a block begun counts")
        << resized(sound(), 257) << file
        << QStringList{QStringLiteral("the file holds 3 blocks, the box holds 2")};
    QTest::newRow("nothing at all") << Bytes{} << text
                                    << QStringList{
                                           QStringLiteral("the text holds 0 of 256 bytes"),
                                           QStringLiteral("block 0 does not start with the EDID header")};
}

void TestEdidCheck::reasons() {
    QFETCH(Bytes, bytes);
    QFETCH(int, origin);
    QFETCH(QStringList, reasons);
    const EdidCheck check = checkEdidForSource(bytes, EdidOrigin(origin));
    QCOMPARE(check.reasons, reasons);
    QCOMPARE(check.ok(), reasons.isEmpty());
}

void TestEdidCheck::corpus_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("reasons");
    const QDir data(QFINDTESTDATA("../data/edid"));
    const QStringList files = data.entryList({QStringLiteral("*.bin")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 16);
    for (const QString &name : files) {
        QStringList reasons;
        if (name == QLatin1String("acer-xv273k-dp1.bin")) {
            reasons << QStringLiteral("the file holds 3 blocks, the box holds 2")
                    << QStringLiteral("the EDID states 2 extension blocks, the box holds 1");
        } else if (name == QLatin1String("lg-34wk95uw-thunderbolt-dp1-tile0.bin")) {
            reasons << QStringLiteral("the file holds 4 blocks, the box holds 2")
                    << QStringLiteral("the EDID states 3 extension blocks, the box holds 1");
        }
        QTest::newRow(qPrintable(name)) << data.filePath(name) << reasons;
    }
}

void TestEdidCheck::corpus() {
    QFETCH(QString, path);
    QFETCH(QStringList, reasons);
    const Bytes bytes = readFile(path);
    QVERIFY(!bytes.empty());
    QCOMPARE(checkEdidForSource(bytes, EdidOrigin::File).reasons, reasons);
}

// What edid-decode finds in the files the check refuses: as many blocks as the check
// counts, the extension count it names, or no header where it finds none.
void TestEdidCheck::oracleOnRefusedFiles_data() {
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<QString>("oracleSays");
    const QDir data(QFINDTESTDATA("../data/edid"));
    const Bytes lg = readFile(data.filePath(QStringLiteral("lg-oled-c9-hdmi.bin")));
    QTest::newRow("acer-xv273k-dp1.bin") << readFile(data.filePath(QStringLiteral("acer-xv273k-dp1.bin")))
                                         << QStringLiteral("Block 2, DisplayID Extension Block:");
    QTest::newRow("lg-34wk95uw-thunderbolt-dp1-tile0.bin")
        << readFile(data.filePath(QStringLiteral("lg-34wk95uw-thunderbolt-dp1-tile0.bin")))
        << QStringLiteral("Block 3, DisplayID Extension Block:");
    QTest::newRow("lg-oled-c9 with a broken header")
        << with(lg, 0, 0x01) << QStringLiteral("No EDID header found");
    QTest::newRow("lg-oled-c9 stating 2 extensions")
        << with(lg, 126, 2) << QStringLiteral("Extension blocks: 2");
}

void TestEdidCheck::oracleOnRefusedFiles() {
    const QString oracle = QStandardPaths::findExecutable(QStringLiteral("edid-decode"));
    if (oracle.isEmpty()) {
        QSKIP("edid-decode is not installed (apt-get install edid-decode)");
    }
    QFETCH(Bytes, bytes);
    QFETCH(QString, oracleSays);
    QVERIFY(!checkEdidForSource(bytes, EdidOrigin::File).ok());
    QProcess process;
    process.start(oracle, {QStringLiteral("--check"), QStringLiteral("-")});
    QVERIFY(process.waitForStarted(30000));
    process.write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()));
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(30000));
    const QString said = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    QVERIFY2(said.contains(oracleSays), qPrintable(said.left(400)));
    QVERIFY(process.exitCode() != 0);
}

void TestEdidCheck::nonText_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("at");
    QTest::newRow("spaced hex with CR LF and a tab") << QByteArray("00 FF\r\n\t01") << -1;
    QTest::newRow("PNG signature") << QByteArray("\x89PNG\r\n\x1a\n") << 0;
    QTest::newRow("escape after text") << QByteArray("00 FF \x1b") << 6;
    QTest::newRow("DEL") << QByteArray("0\x7f") << 1;
    QTest::newRow("Latin-1 letter is text") << QByteArray("caf\xe9") << -1;
}

void TestEdidCheck::nonText() {
    QFETCH(QByteArray, text);
    QFETCH(int, at);
    QCOMPARE(firstNonTextByte(text), qsizetype(at));
}

QTEST_GUILESS_MAIN(TestEdidCheck)
#include "tst_edid_check.moc"
