// formatText writes what QString::arg wrote for the decoders' texts (hex bytes, counts, OUIs,
// names), and a text longer than its buffer whole.

#include "core/base/format_text.h"

#include <QtTest>

class TestFormatText : public QObject {
    Q_OBJECT

private slots:
    void sameAsArg_data();
    void sameAsArg();
};

void TestFormatText::sameAsArg_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    const QString longName(300, QLatin1Char('x'));
    QTest::newRow("checksum bytes") << formatText("0x%02x, should be 0x%02x", 0x0A, 0xFF)
                                    << QStringLiteral("0x%1, should be 0x%2")
                                           .arg(0x0A, 2, 16, QLatin1Char('0'))
                                           .arg(0xFF, 2, 16, QLatin1Char('0'));
    QTest::newRow("count past a block")
        << formatText("%zu bytes after the last whole block ignored", size_t{127})
        << QStringLiteral("%1 bytes after the last whole block ignored").arg(127);
    QTest::newRow("OUI in capitals") << formatText("%s, OUI %02X-%02X-%02X", "Vendor-Specific Data Block",
                                                   0x00u, 0x0Cu, 0x03u)
                                     << QStringLiteral("Vendor-Specific Data Block, OUI 00-0C-03");
    QTest::newRow("text cut at a byte")
        << formatText("%s: non-printable byte 0x%02x ends the text after '%s'", "Display product name", 0x01,
                      "")
        << QStringLiteral("Display product name: non-printable byte 0x01 ends the text after ''");
    QTest::newRow("Latin-1 byte") << formatText("%s", "\xE9") << QString(QChar(0xE9));
    QTest::newRow("empty") << formatText("%s", "") << QString();
    QTest::newRow("255 characters, the buffer's")
        << formatText("%s", QByteArray(255, 'y').constData()) << QString(255, QLatin1Char('y'));
    QTest::newRow("256 characters, past the buffer")
        << formatText("%s", QByteArray(256, 'y').constData()) << QString(256, QLatin1Char('y'));
    QTest::newRow("a long name in a finding")
        << formatText("Block %d, %s", 3, longName.toLatin1().constData())
        << QStringLiteral("Block %1, %2").arg(3).arg(longName);
}

void TestFormatText::sameAsArg() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

QTEST_GUILESS_MAIN(TestFormatText)
#include "tst_format_text.moc"
