// The two hex text layouts: the EDID text with its renderer, parser and checksum check,
// and the colon hex parser of the packet senders.

#include "core/base/colon_hex.h"
#include "core/edid/spaced_hex.h"
#include "edid_text.h"
#include "support/test_support.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextEdit>
#include <QtTest>

#include <array>

namespace {

using Image = std::array<uint8_t, proto::kEdidSize>;

QByteArray toBytes(std::span<const uint8_t> bytes) {
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

Image imageOf(const QByteArray &bytes) {
    Image image{};
    std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), proto::kEdidSize), image.begin());
    return image;
}

QByteArray realEdid(const char *name) {
    QFile file(QFINDTESTDATA(QStringLiteral("../data/edid/") + QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("missing test EDID %s", name);
    }
    return file.readAll();
}

// n groups of two upper-case digits with the given separator after each but the last.
QString groups(int count, uint8_t first = 0, char separator = ' ') {
    QString text;
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            text += QLatin1Char(separator);
        }
        text += edidByteText(static_cast<uint8_t>(first + i));
    }
    return text;
}

} // namespace

class TestEdidText : public QObject {
    Q_OBJECT

private slots:
    void formatLayout();
    void renderParseRoundTrip();
    void renderFormats();
    void renderReplacesEarlierText();
    void parse_data();
    void parse();
    void parseByteText();
    void parseFewerThan256LeavesZeros();
    void parseLongTexts();
    void blockChecksum();
    void realEdidChecksums();

    void checksumBothRight();
    void checksumShortRealEdidZeroFilled();
    void checksumWrongYes();
    void checksumWrongNo_data();
    void checksumWrongNo();
    void checksumBothWrongYes();
    void checksumFormatError_data();
    void checksumFormatError();
    void checksumLongTextDropsExtraBytes();

    void colonHex_data();
    void colonHex();
    void colonHexNeverReadsPastTheCallersText();
    void colonHexOutputBounded_data();
    void colonHexOutputBounded();

private:
    static QTextEdit *edidText(Rig &rig) { return rig.widget<QTextEdit>("EDIDtext"); }
    static void calculateChecksum(Rig &rig) {
        QVERIFY(QMetaObject::invokeMethod(&rig.window(), "CalculateChkSum", Qt::DirectConnection));
    }
    static void verifyQuestion(const ShownBox &box);
};

void TestEdidText::formatLayout() {
    Image image{};
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<uint8_t>(i);
    }
    const QString text = formatEdidText(image);
    QCOMPARE(text.size(), 768);
    const QStringList lines = text.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 17);
    QCOMPARE(lines[0], QStringLiteral("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F"));
    QCOMPARE(lines[7], QStringLiteral("70 71 72 73 74 75 76 77 78 79 7A 7B 7C 7D 7E 7F"));
    QCOMPARE(lines[15], QStringLiteral("F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF"));
    QCOMPARE(lines[16], QString());
}

void TestEdidText::renderParseRoundTrip() {
    QRandomGenerator random(20240607);
    QTextEdit box;
    for (int round = 0; round < 64; ++round) {
        Image image{};
        for (uint8_t &byte : image) {
            byte = static_cast<uint8_t>(random.bounded(256));
        }
        renderEdidText(box, image);
        const QString text = box.toPlainText();
        QCOMPARE(text, formatEdidText(image));
        Image parsed{};
        parsed.fill(0xA5);
        QCOMPARE(parseEdidText(text, parsed), qsizetype{256});
        QCOMPARE(toBytes(parsed), toBytes(image));
    }
}

// Every character of the rendering: black everywhere, bytes 127 and 255 bold, the other
// line ends of normal weight, every other byte and its space without a weight of its own.
void TestEdidText::renderFormats() {
    Image image{};
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<uint8_t>(255 - i);
    }
    QTextEdit box;
    renderEdidText(box, image);
    QTextDocument *document = box.document();
    QCOMPARE(document->blockCount(), 17);
    int characters = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            for (int k = 0; k < fragment.length(); ++k) {
                const int position = fragment.position() + k;
                // Each byte holds three places: two digits and its space or line break.
                const int index = position / 3;
                QVERIFY(position % 3 != 2 || !edidByteEndsLine(index));
                QCOMPARE(format.foreground().color(), QColor(Qt::black));
                QCOMPARE(format.foreground().style(), Qt::SolidPattern);
                if (edidByteIsChecksum(index)) {
                    QCOMPARE(format.fontWeight(), int(QFont::Bold));
                } else if (edidByteEndsLine(index)) {
                    QVERIFY(format.hasProperty(QTextFormat::FontWeight));
                    QCOMPARE(format.fontWeight(), int(QFont::Normal));
                } else {
                    QVERIFY2(!format.hasProperty(QTextFormat::FontWeight),
                             qPrintable(QString::number(index)));
                }
                QVERIFY(!format.hasProperty(QTextFormat::FontFamilies));
                QVERIFY(!format.hasProperty(QTextFormat::FontPointSize));
                ++characters;
            }
        }
    }
    // 16 lines of 47 characters; the 16 line breaks are block ends.
    QCOMPARE(characters, 16 * 47);
}

void TestEdidText::renderReplacesEarlierText() {
    QTextEdit box;
    box.setTextColor(QColor(0, 0, 255));
    box.setFontWeight(QFont::Bold);
    box.setPlainText(QStringLiteral("older text\nthat was here"));
    const Image image = imageOf(realEdid("lg-oled-c9-hdmi.bin"));
    renderEdidText(box, image);
    QCOMPARE(box.toPlainText(), formatEdidText(image));
    const QTextCharFormat first = box.document()->begin().begin().fragment().charFormat();
    QCOMPARE(first.foreground().color(), QColor(Qt::black));
    QVERIFY(!first.hasProperty(QTextFormat::FontWeight));
}

void TestEdidText::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("bytes"); // the first bytes; the rest of the image is zero

    QTest::newRow("empty") << QString() << 0 << QByteArray();
    QTest::newRow("two bytes") << "AB CD" << 2 << bytes({0xAB, 0xCD});
    QTest::newRow("two bytes and line feed") << "AB CD\n" << 2 << bytes({0xAB, 0xCD});
    QTest::newRow("two bytes and space") << "AB CD " << 2 << bytes({0xAB, 0xCD});
    QTest::newRow("lower case") << "ab cd\n0f" << 3 << bytes({0xAB, 0xCD, 0x0F});
    QTest::newRow("mixed case") << "0a 0A aB" << 3 << bytes({0x0A, 0x0A, 0xAB});
    // Only hexadecimal digits become bytes: anything else where a digit belongs fails the text.
    QTest::newRow("GG") << "GG" << -1 << QByteArray();
    QTest::newRow("gg after good bytes") << "AB CD gg" << -1 << QByteArray();
    QTest::newRow("ZZ") << "ZZ" << -1 << QByteArray();
    QTest::newRow("punctuation") << "9: @0" << -1 << QByteArray();
    QTest::newRow("euro sign") << QString::fromUtf8("A\u20AC CD") << -1 << QByteArray();
    QTest::newRow("line feeds as separators") << "01\n02\n03" << 3 << bytes({0x01, 0x02, 0x03});
    QTest::newRow("double space") << "AB  CD" << -1 << QByteArray();
    QTest::newRow("space before first byte") << " AB CD" << -1 << QByteArray();
    QTest::newRow("carriage return") << "AB\rCD" << -1 << QByteArray();
    QTest::newRow("CR LF") << "AB\r\nCD" << -1 << QByteArray();
    QTest::newRow("comma") << "AB,CD" << -1 << QByteArray();
    QTest::newRow("three digits") << "ABC DE" << -1 << QByteArray();
    QTest::newRow("one character") << "A" << -1 << QByteArray();
    QTest::newRow("last group cut short") << "AB C" << -1 << QByteArray();
    QTest::newRow("cut short after line feed") << "AB\nC" << -1 << QByteArray();
}

void TestEdidText::parse() {
    QFETCH(QString, text);
    QFETCH(int, count);
    QFETCH(QByteArray, bytes);
    Image image{};
    image.fill(0xEE);
    QCOMPARE(parseEdidText(text, image), qsizetype{count});
    QCOMPARE(toBytes(image), bytes + QByteArray(256 - bytes.size(), '\0'));
}

void TestEdidText::parseByteText() {
    Image image{};
    QCOMPARE(parseEdidText(QByteArrayView("1f 2E\n3d"), image), qsizetype{3});
    QCOMPARE(toBytes(image).left(4), bytes({0x1F, 0x2E, 0x3D, 0}));
    QCOMPARE(parseEdidText(QByteArrayView("1f  2E"), image), qsizetype{-1});
}

void TestEdidText::parseFewerThan256LeavesZeros() {
    const QByteArray dell = realEdid("dell-3007wfp-dvi.bin");
    QCOMPARE(dell.size(), 128);
    Image source{};
    std::copy(dell.begin(), dell.end(), source.begin());
    const QString text = formatEdidText(source).left(128 * 3);
    Image image{};
    image.fill(0xFF);
    QCOMPARE(parseEdidText(text, image), qsizetype{128});
    QCOMPARE(toBytes(image), dell + QByteArray(128, '\0'));
}

void TestEdidText::parseLongTexts() {
    Image image{};
    // 341 groups: 1023 characters, the most below 1024.
    const QString longest = groups(341, 0x10);
    QCOMPARE(longest.size(), 1022);
    QCOMPARE(parseEdidText(longest + QLatin1Char('\n'), image), qsizetype{341});
    QCOMPARE(image[0], uint8_t{0x10});
    QCOMPARE(image[255], uint8_t{0x0F});

    // 1024 characters and far more: parsed whole, only the first 256 bytes kept.
    const QString text1024 = groups(341, 0x10) + QLatin1String("\nAB");
    QCOMPARE(text1024.size(), 1025);
    QCOMPARE(parseEdidText(text1024, image), qsizetype{342});
    QCOMPARE(image[255], uint8_t{0x0F});

    const QString huge = groups(40000, 0x20, '\n');
    QCOMPARE(parseEdidText(huge, image), qsizetype{40000});
    QCOMPARE(image[0], uint8_t{0x20});
    QCOMPARE(image[255], uint8_t{0x1F});

    // A layout fault far past the 256th byte still fails the whole text.
    QString broken = groups(400);
    broken[300 * 3 + 2] = QLatin1Char('-');
    QCOMPARE(parseEdidText(broken, image), qsizetype{-1});
    QCOMPARE(toBytes(image), QByteArray(256, '\0'));
}

void TestEdidText::blockChecksum() {
    std::array<uint8_t, 128> block{};
    QCOMPARE(edidBlockChecksum(block), uint8_t{0});
    block.fill(0x01);
    QCOMPARE(edidBlockChecksum(block), uint8_t{0x81});
    // The last byte takes no part.
    block[127] = 0x77;
    QCOMPARE(edidBlockChecksum(block), uint8_t{0x81});
    block.fill(0);
    block[0] = 0xFF;
    QCOMPARE(edidBlockChecksum(block), uint8_t{0x01});

    QRandomGenerator random(7);
    for (int round = 0; round < 100; ++round) {
        for (uint8_t &byte : block) {
            byte = static_cast<uint8_t>(random.bounded(256));
        }
        block[127] = edidBlockChecksum(block);
        unsigned sum = 0;
        for (uint8_t byte : block) {
            sum += byte;
        }
        QCOMPARE(sum % 256, 0u);
    }
}

void TestEdidText::realEdidChecksums() {
    const Image lg = imageOf(realEdid("lg-oled-c9-hdmi.bin"));
    QCOMPARE(edidBlockChecksum(std::span<const uint8_t, 256>(lg).first<128>()), uint8_t{0x8E});
    QCOMPARE(edidBlockChecksum(std::span<const uint8_t, 256>(lg).last<128>()), uint8_t{0xC6});
    QVERIFY(edidChecksumsRight(lg));

    const Image benq = imageOf(realEdid("linuxhw-benq-pd2700u-C457DADB2E45.bin"));
    QCOMPARE(edidBlockChecksum(std::span<const uint8_t, 256>(benq).first<128>()), benq[127]);
    QCOMPARE(benq[255], uint8_t{0x00});
    QCOMPARE(edidBlockChecksum(std::span<const uint8_t, 256>(benq).last<128>()), uint8_t{0x01});
    QVERIFY(!edidChecksumsRight(benq));

    // Setting the checksums writes both bytes and nothing else.
    Image fixed = benq;
    setEdidChecksums(fixed);
    Image expected = benq;
    expected[255] = 0x01;
    QCOMPARE(toBytes(fixed), toBytes(expected));
    Image both = lg;
    both[127] = 0x00;
    both[255] = 0xFF;
    QVERIFY(!edidChecksumsRight(both));
    setEdidChecksums(both);
    QCOMPARE(toBytes(both), toBytes(lg));
}

void TestEdidText::verifyQuestion(const ShownBox &box) {
    QCOMPARE(box.text, QStringLiteral("The EDID Checksum is not correct."));
    QCOMPARE(box.informativeText, QStringLiteral("Do you want to calculate a new checksum?"));
    QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.defaultButton, QMessageBox::No);
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QVERIFY(!box.hasParent);
    QCOMPARE(box.title, QString());
}

void TestEdidText::checksumBothRight() {
    Rig rig;
    rig.start();
    const Image lg = imageOf(realEdid("lg-oled-c9-hdmi.bin"));
    // Lower case and all on one line: the check rewrites it in the spaced layout.
    const QString typed = formatEdidText(lg).toLower().replace(QLatin1Char('\n'), QLatin1Char(' ')).trimmed();
    edidText(rig)->setPlainText(typed);
    rig.boxWatcher.clear();
    rig.statusRecorder.clear();
    const auto frames = rig.box.frames().size();

    calculateChecksum(rig);

    QCOMPARE(rig.boxWatcher.boxes().size(), 0);
    QCOMPARE(edidText(rig)->toPlainText(), formatEdidText(lg));
    QCOMPARE(rig.statusRecorder.messages().size(), 0);
    QCOMPARE(rig.box.frames().size(), frames);
    // The rewrite is the rendering: byte 127 is bold.
    QTextCursor cursor(edidText(rig)->document());
    cursor.setPosition(127 * 3 + 1);
    QCOMPARE(cursor.charFormat().fontWeight(), int(QFont::Bold));
}

void TestEdidText::checksumShortRealEdidZeroFilled() {
    Rig rig;
    rig.start();
    const QByteArray dell = realEdid("dell-3007wfp-dvi.bin");
    const Image image = imageOf(dell);
    // 128 bytes: the second block is all zero, and zero is its right checksum.
    edidText(rig)->setPlainText(formatEdidText(image).left(128 * 3));
    rig.boxWatcher.clear();
    calculateChecksum(rig);
    QCOMPARE(rig.boxWatcher.boxes().size(), 0);
    QCOMPARE(edidText(rig)->toPlainText(), formatEdidText(image));
}

void TestEdidText::checksumWrongYes() {
    Rig rig;
    rig.start();
    const Image benq = imageOf(realEdid("linuxhw-benq-pd2700u-C457DADB2E45.bin"));
    const QString typed = formatEdidText(benq);
    edidText(rig)->setPlainText(typed);
    rig.boxWatcher.clear();
    rig.boxWatcher.queueAnswer(QMessageBox::Yes);

    calculateChecksum(rig);

    QCOMPARE(rig.boxWatcher.boxes().size(), 1);
    verifyQuestion(rig.boxWatcher.boxes()[0]);
    Image fixed = benq;
    fixed[255] = 0x01;
    QCOMPARE(edidText(rig)->toPlainText(), formatEdidText(fixed));
    Image parsed{};
    QCOMPARE(parseEdidText(edidText(rig)->toPlainText(), parsed), qsizetype{256});
    QVERIFY(edidChecksumsRight(parsed));
    QCOMPARE(parsed[127], benq[127]);
}

void TestEdidText::checksumWrongNo_data() {
    QTest::addColumn<bool>("escape");
    QTest::newRow("No") << false;
    QTest::newRow("Escape") << true;
}

void TestEdidText::checksumWrongNo() {
    QFETCH(bool, escape);
    Rig rig;
    rig.start();
    const Image benq = imageOf(realEdid("linuxhw-benq-pd2700u-C457DADB2E45.bin"));
    const QString typed = formatEdidText(benq).toLower();
    edidText(rig)->setPlainText(typed);
    rig.boxWatcher.clear();
    // With no queued answer the watcher presses Escape.
    if (!escape) {
        rig.boxWatcher.queueAnswer(QMessageBox::No);
    }

    calculateChecksum(rig);

    QCOMPARE(rig.boxWatcher.boxes().size(), 1);
    verifyQuestion(rig.boxWatcher.boxes()[0]);
    QCOMPARE(edidText(rig)->toPlainText(), typed);
}

void TestEdidText::checksumBothWrongYes() {
    Rig rig;
    rig.start();
    // Two bytes and nothing else: block 0 sums to 0xFF, so its checksum must be 0x01.
    edidText(rig)->setPlainText(QStringLiteral("00 ff\n"));
    rig.boxWatcher.clear();
    rig.boxWatcher.queueAnswer(QMessageBox::Yes);
    calculateChecksum(rig);
    QCOMPARE(rig.boxWatcher.boxes().size(), 1);
    Image expected{};
    expected[1] = 0xFF;
    expected[127] = 0x01;
    QCOMPARE(edidText(rig)->toPlainText(), formatEdidText(expected));

    // Both checksums wrong in a real EDID: both are written.
    Image lg = imageOf(realEdid("lg-oled-c9-hdmi.bin"));
    const Image right = lg;
    lg[127] = 0x00;
    lg[255] = 0x00;
    edidText(rig)->setPlainText(formatEdidText(lg));
    rig.boxWatcher.queueAnswer(QMessageBox::Yes);
    calculateChecksum(rig);
    QCOMPARE(edidText(rig)->toPlainText(), formatEdidText(right));
}

void TestEdidText::checksumFormatError_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("double space") << "00  FF";
    QTest::newRow("cut short") << "00 F";
    QTest::newRow("fault past byte 256") << groups(300) + QLatin1String(",00");
    QTest::newRow("empty: no byte to check") << "";
    QTest::newRow("GG is no byte") << "00 FF GG 00";
}

void TestEdidText::checksumFormatError() {
    QFETCH(QString, text);
    Rig rig;
    rig.start();
    edidText(rig)->setPlainText(text);
    rig.boxWatcher.clear();
    calculateChecksum(rig);
    QCOMPARE(rig.boxWatcher.boxes().size(), 1);
    const ShownBox &box = rig.boxWatcher.boxes()[0];
    QCOMPARE(box.title, QStringLiteral("VELTRIKA Utility"));
    QCOMPARE(box.text, QStringLiteral("Hex Format Error"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(box.hasParent);
    QCOMPARE(edidText(rig)->toPlainText(), text);
}

void TestEdidText::checksumLongTextDropsExtraBytes() {
    Rig rig;
    rig.start();
    const Image lg = imageOf(realEdid("lg-oled-c9-hdmi.bin"));
    // 256 right bytes and 144 more: 1200 characters.
    const QString text = formatEdidText(lg) + groups(144, 0x40);
    QVERIFY(text.size() > 1024);
    edidText(rig)->setPlainText(text);
    rig.boxWatcher.clear();
    calculateChecksum(rig);
    QCOMPARE(rig.boxWatcher.boxes().size(), 0);
    QCOMPARE(edidText(rig)->toPlainText(), formatEdidText(lg));
}

void TestEdidText::colonHex_data() {
    QTest::addColumn<QByteArray>("text"); // the whole text is passed, its length included
    QTest::addColumn<bool>("withCount");
    QTest::addColumn<QByteArray>("output"); // the first bytes; the rest must be zero
    QTest::addColumn<int>("result");

    QTest::newRow("50:04 with count") << QByteArray("50:04\r") << true << bytes({0x50, 0x01, 0x04}) << 3;
    QTest::newRow("50:04 without") << QByteArray("50:04\r") << false << bytes({0x50, 0x04}) << 2;
    QTest::newRow("54:44:01 without") << QByteArray("54:44:01\r") << false << bytes({0x54, 0x44, 0x01}) << 3;
    QTest::newRow("54:44:01 with count")
        << QByteArray("54:44:01\r") << true << bytes({0x54, 0x02, 0x44, 0x01}) << 4;
    QTest::newRow("lower case") << QByteArray("1a:2b:cD\r") << false << bytes({0x1A, 0x2B, 0xCD}) << 3;
    QTest::newRow("no carriage return") << QByteArray("87:01") << false << bytes({0x87, 0x01}) << 2;
    QTest::newRow("chain ends at a gap") << QByteArray("50:04 11:22\r") << false << bytes({0x50, 0x04}) << 2;
    QTest::newRow("GG") << QByteArray("GG:10\r") << false << bytes({0x10, 0x10}) << 2;
    // A one-digit last group takes the carriage return as its low digit: 0x10 + 0xDD.
    QTest::newRow("short last group") << QByteArray("50:04:1\r") << false << bytes({0x50, 0x04, 0xED}) << 3;
    QTest::newRow("no colon") << QByteArray("ABCDE\r") << false << bytes({0xBC}) << 1;
    QTest::newRow("no colon with count") << QByteArray("ABCDE\r") << true << bytes({0xBC, 0xFF}) << 1;
    // Positions outside the text read as zero characters (digit value 0xD0).
    QTest::newRow("colon at 0") << QByteArray(":04\r") << false << bytes({0xD0, 0x04}) << 2;
    QTest::newRow("colon at 1") << QByteArray("4:04\r") << false << bytes({0x04, 0x04}) << 2;
    QTest::newRow("colon at 1 with count") << QByteArray("4:04\r") << true << bytes({0x04, 0x01, 0x04}) << 3;
    QTest::newRow("ends at a colon") << QByteArray("50:") << false << bytes({0x50, 0xD0}) << 2;
    QTest::newRow("ends one after a colon") << QByteArray("50:7") << false << bytes({0x50, 0x40}) << 2;
    QTest::newRow("empty") << QByteArray() << false << bytes({0xD0}) << 1;
    QTest::newRow("only a colon") << QByteArray(":") << true << bytes({0xD0, 0x01, 0xD0}) << 3;
}

void TestEdidText::colonHex() {
    QFETCH(QByteArray, text);
    QFETCH(bool, withCount);
    QFETCH(QByteArray, output);
    QFETCH(int, result);
    std::array<uint8_t, kColonHexOutputSize> area{};
    area.fill(0xEE);
    const uint8_t produced =
        parseColonHex(std::span<const char>(text.constData(), static_cast<size_t>(text.size())),
                      static_cast<size_t>(text.size()), withCount, area);
    QCOMPARE(int(produced), result);
    QCOMPARE(toBytes(area), output + QByteArray(100 - output.size(), '\0'));
}

// Whatever the length says, only the caller's characters are read: here the caller's
// buffer holds "50:0" and the bytes after it are not the caller's.
void TestEdidText::colonHexNeverReadsPastTheCallersText() {
    const QByteArray memory("50:0FF:FF");
    const std::span<const char> text(memory.constData(), 4);
    std::array<uint8_t, kColonHexOutputSize> area{};
    QCOMPARE(int(parseColonHex(text, 200, false, area)), 2);
    QCOMPARE(toBytes(area).left(3), bytes({0x50, 0xD0, 0x00}));

    // A length shorter than the buffer bounds the text the same way.
    const std::span<const char> whole(memory.constData(), static_cast<size_t>(memory.size()));
    QCOMPARE(int(parseColonHex(whole, 4, false, area)), 2);
    QCOMPARE(toBytes(area).left(3), bytes({0x50, 0xD0, 0x00}));
    QCOMPARE(int(parseColonHex(whole, 0, true, area)), 1);
    QCOMPARE(toBytes(area).left(2), bytes({0xD0, 0xFF}));
}

void TestEdidText::colonHexOutputBounded_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("withCount");
    QTest::newRow("255 colons") << QByteArray(255, ':') << false;
    QTest::newRow("255 colons with count") << QByteArray(255, ':') << true;
    QByteArray chain;
    for (int i = 0; i < 120; ++i) {
        chain += "AB:";
    }
    QTest::newRow("120 groups") << chain << false;
    QTest::newRow("120 groups with count") << chain << true;
}

void TestEdidText::colonHexOutputBounded() {
    QFETCH(QByteArray, text);
    QFETCH(bool, withCount);
    // The output area sits inside a larger one whose tail must stay untouched.
    std::array<uint8_t, 140> memory{};
    memory.fill(0x5A);
    const std::span<uint8_t, kColonHexOutputSize> output(memory.data(), kColonHexOutputSize);
    const uint8_t produced =
        parseColonHex(std::span<const char>(text.constData(), static_cast<size_t>(text.size())),
                      static_cast<size_t>(text.size()), withCount, output);
    QCOMPARE(int(produced), 100);
    QCOMPARE(toBytes(std::span<const uint8_t>(memory).subspan(100)), QByteArray(40, '\x5A'));
    if (text.startsWith("AB")) {
        QCOMPARE(memory[99], uint8_t{0xAB});
        QCOMPARE(int(memory[1]), withCount ? 98 : 0xAB);
    }
}

QTEST_MAIN(TestEdidText)
#include "tst_edid_text.moc"
