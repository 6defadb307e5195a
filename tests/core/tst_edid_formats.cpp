// The one reader of EDID files: every file of tests/data/edid/formats (one per form, made
// from the corpus by make_format_files.py) gives back exactly the bytes of its corpus EDID;
// a form that breaks says where; the program's own two modes read as they always did; and
// every form the command line writes reads back to the same bytes.

#include "core/edid/edid_formats.h"
#include "core/edid/spaced_hex.h"

#include <QDir>
#include <QFile>
#include <QtTest>

Q_DECLARE_METATYPE(EdidFileFormat)
Q_DECLARE_METATYPE(EdidWriteFormat)

namespace {

QByteArray readFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("cannot read %s", qPrintable(path));
    }
    return file.readAll();
}

QString dataPath(const QString &name) {
    return QFINDTESTDATA(QStringLiteral("../data/edid/") + name);
}

QByteArray corpus(const QString &name) {
    return readFile(dataPath(name));
}

std::span<const uint8_t> spanOf(const QByteArray &bytes) {
    return {reinterpret_cast<const uint8_t *>(bytes.constData()), static_cast<size_t>(bytes.size())};
}

// The form as the reasons name it, or "none".
QString named(std::optional<EdidFileFormat> format) {
    return format ? edidFileFormatName(*format) : QStringLiteral("none");
}

// xrandr's lines for the bytes: a tab-indented "EDID:" and 32 digits a line below it.
QByteArray xrandrLines(const QByteArray &edid) {
    QByteArray text = "HDMI-1 connected 3840x2160+0+0\n\tEDID: \n";
    for (qsizetype at = 0; at < edid.size(); at += 16) {
        text += "\t\t" + edid.mid(at, 16).toHex() + '\n';
    }
    return text + "\tnon-desktop: 0\n";
}

// Rows of 16 spaced bytes as edid-decode, NVIDIA and the tables write them.
QByteArray spacedRow(const QByteArray &bytes) {
    return bytes.toHex(' ');
}

} // namespace

class TestEdidFormats : public QObject {
    Q_OBJECT

private slots:
    void everyFormReadsBackExactly_data();
    void everyFormReadsBackExactly();
    void rawFilesAsAlways_data();
    void rawFilesAsAlways();
    void ownHexTextAsAlways();
    void hexThatIsNoWholeBlockStaysText();
    void brokenFormsSayWhere_data();
    void brokenFormsSayWhere();
    void nothingToRead_data();
    void nothingToRead();
    void encodings_data();
    void encodings();
    void writtenFormsReadBack_data();
    void writtenFormsReadBack();
    void cArrayAsEdidDecodeWritesIt();
    void hexAsTheWindowWritesIt();
    void infForWindows();
    void writeFormatNames();
};

// One row per file: the file, the corpus EDID it holds, the form it is read as.
void TestEdidFormats::everyFormReadsBackExactly_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("edid");
    QTest::addColumn<EdidFileFormat>("format");
    using F = EdidFileFormat;
    const struct {
        const char *file;
        const char *edid;
        EdidFileFormat format;
    } rows[] = {
        {"lg-oled-c9.edid-decode.txt", "lg-oled-c9-hdmi.bin", F::EdidDecodeHex},
        {"samsung-q800t.carray.c", "samsung-q800t-hdmi2.1.bin", F::CArray},
        {"acer-xv273k-dp1.quantumdata.xml", "acer-xv273k-dp1.bin", F::QuantumDataXml},
        {"lg-34wk95uw.xrandr-verbose.txt", "lg-34wk95uw-thunderbolt-dp1-tile0.bin", F::XrandrVerbose},
        {"sony-gdmf520.xrandr-edid-data.txt", "sony-gdmf520-vga.bin", F::XrandrVerbose},
        {"panasonic-tx65gxr900.Xorg.0.log", "panasonic-tx65gxr900-hdmi.bin", F::XorgLog},
        {"dell-3007wfp.nvidia-Xorg.0.log", "dell-3007wfp-dvi.bin", F::NvidiaLog},
        {"sony-x900f.edid-bytes.dat", "sony-x900f-hdmi.bin", F::Table},
        {"optoma-uhd.labelled-table.txt", "linuxhw-optoma-uhd-C2A485A0B63E.bin", F::Table},
        {"apple-cinemahd-30.ascii-dump.txt", "apple-cinemahd-30-dvi.bin", F::AsciiDump},
        {"denon-avr-x2300w.edid-override.inf", "lg-oled55b6v-hdmi-denon-avr-x2300w-hdmi.bin", F::WindowsInf},
        {"acer-xv273k-hdmi1.comment.inf", "acer-xv273k-hdmi1.bin", F::WindowsInf},
        {"benq-pd2700u.reg", "linuxhw-benq-pd2700u-C457DADB2E45.bin", F::WindowsReg},
        {"lg-oled-c9.edid-decode-o-hex.txt", "lg-oled-c9-hdmi.bin", F::BareHex},
        {"dell-2408wfp.continuous-hex.txt", "dell-2408wfp-dp.bin", F::BareHex},
        {"samsung-qp85a.0x-commas.txt", "samsung-qp85a-8k-hdmi4.bin", F::BareHex},
        {"lg-oled-c9.colon-hex.txt", "lg-oled-c9-hdmi.bin", F::BareHex},
        {"samsung-q800t.base64.txt", "samsung-q800t-hdmi2.1.bin", F::Base64},
    };
    for (const auto &row : rows) {
        QTest::newRow(row.file) << QString::fromLatin1(row.file) << QString::fromLatin1(row.edid)
                                << row.format;
    }
}

void TestEdidFormats::everyFormReadsBackExactly() {
    QFETCH(QString, file);
    QFETCH(QString, edid);
    QFETCH(EdidFileFormat, format);
    const EdidFileContent content =
        readEdidFileContent(QByteArrayView(corpus(QStringLiteral("formats/") + file)));
    QCOMPARE(content.reason, QString());
    QCOMPARE(named(content.format), named(format));
    QCOMPARE(content.bytes, corpus(edid));
    QVERIFY(content.fromOtherTool());
    QVERIFY(content.text.isEmpty());
}

// 1. A first byte of zero is a raw image, whatever its length, as the loader has always read it.
void TestEdidFormats::rawFilesAsAlways_data() {
    QTest::addColumn<QByteArray>("file");
    const QDir data(QFINDTESTDATA("../data/edid"));
    for (const QString &name : data.entryList({QStringLiteral("*.bin")}, QDir::Files)) {
        QTest::newRow(qPrintable(name)) << readFile(data.filePath(name));
    }
    QTest::newRow("one zero byte") << QByteArray(1, '\0');
    QTest::newRow("zero and text") << QByteArray("\0EDID: 00ff", 11);
}

void TestEdidFormats::rawFilesAsAlways() {
    QFETCH(QByteArray, file);
    const EdidFileContent content = readEdidFileContent(spanOf(file));
    QCOMPARE(named(content.format), named(EdidFileFormat::Raw));
    QVERIFY(content.ok());
    QCOMPARE(content.bytes, file);
    QVERIFY(!content.fromOtherTool());
}

// 1. The window's text: the first 1024 bytes, line ends converted, parsed as today.
void TestEdidFormats::ownHexTextAsAlways() {
    for (const char *name : {"lg-oled-c9-hdmi", "linuxhw-benq-pd2700u-C457DADB2E45"}) {
        const QByteArray file = corpus(QString::fromLatin1(name) + QStringLiteral(".txt"));
        const EdidFileContent content = readEdidFileContent(spanOf(file));
        QCOMPARE(named(content.format), named(EdidFileFormat::SpacedHex));
        QVERIFY(content.ok());
        QCOMPARE(content.bytes, corpus(QString::fromLatin1(name) + QStringLiteral(".bin")));
        QCOMPARE(content.text, QByteArray(file).replace(" \r\n", "\n"));
    }
    // Eight bytes are eight bytes: the check, not the reader, says what is missing.
    const EdidFileContent shortText = readEdidFileContent(QByteArrayView("00 FF FF FF FF FF FF 00\n"));
    QCOMPARE(named(shortText.format), named(EdidFileFormat::SpacedHex));
    QCOMPARE(shortText.bytes, QByteArray::fromHex("00FFFFFFFFFFFF00"));
    // More than 1024 bytes: the loader's first 1024, as before.
    QByteArray longText;
    for (int i = 0; i < 30; ++i) {
        longText += "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10\n";
    }
    const EdidFileContent cut = readEdidFileContent(QByteArrayView(longText));
    QCOMPARE(named(cut.format), named(EdidFileFormat::SpacedHex));
    QCOMPARE(cut.text, longText.left(1024));
}

// Hex digits and blanks that are no whole blocks stay the window's text (it shows them as
// they are); the command line calls them a hex format error.
void TestEdidFormats::hexThatIsNoWholeBlockStaysText() {
    const QByteArray lines = corpus(QStringLiteral("lg-oled-c9-hdmi.txt"));
    const QByteArray text = "AA " + lines;
    const EdidFileContent content = readEdidFileContent(QByteArrayView(text));
    QCOMPARE(named(content.format), named(EdidFileFormat::SpacedHex));
    QCOMPARE(content.text, text);
    QVERIFY(content.bytes.isEmpty());
    QCOMPARE(content.reason,
             QStringLiteral("hex text, line 1, column 52: not 16 bytes a line as \"00 FF FF\""));
    // The same lines without the extra byte, each ended by CR LF without its space: whole
    // blocks of bare hex.
    QByteArray unspaced = lines;
    unspaced.replace(" \r\n", "\r\n");
    const EdidFileContent bare = readEdidFileContent(QByteArrayView(unspaced));
    QCOMPARE(named(bare.format), named(EdidFileFormat::BareHex));
    QCOMPARE(bare.bytes, corpus(QStringLiteral("lg-oled-c9-hdmi.bin")));
}

void TestEdidFormats::brokenFormsSayWhere_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("reason");
    const QByteArray edid = corpus(QStringLiteral("lg-oled-c9-hdmi.bin"));

    QByteArray xrandr = xrandrLines(edid);
    // Line 12 is the tenth row of hex: one digit short.
    xrandr.replace("\t\t" + edid.mid(144, 16).toHex() + '\n',
                   "\t\t" + edid.mid(144, 16).toHex().chopped(1) + '\n');
    QTest::newRow("xrandr, a digit short")
        << xrandr << "xrandr --verbose output, line 12: 31 hex digits, 32 expected";
    QByteArray xrandrG = xrandrLines(edid);
    xrandrG.replace("\t\t" + edid.mid(0, 16).toHex(), "\t\t" + edid.mid(0, 15).toHex() + "g0");
    QTest::newRow("xrandr, no hex digit")
        << xrandrG << "xrandr --verbose output, line 3: 'g' is no hex digit";
    QTest::newRow("xrandr, seven rows")
        << xrandrLines(edid.left(112))
        << "xrandr --verbose output, line 9: the EDID ends after 112 bytes, a multiple of 128 expected";
    QTest::newRow("xrandr, nothing below EDID:")
        << QByteArray("HDMI-1 connected\n\tEDID:\n\tnon-desktop: 0\n")
        << "xrandr --verbose output, line 2: no EDID bytes follow";

    QByteArray xorg = "[ 4.514] (II) modeset(0): EDID (in hex):\n";
    for (qsizetype at = 0; at < 128; at += 16) {
        xorg += "[ 4.514] (II) modeset(0): \t" + edid.mid(at, 16).toHex() + (at == 32 ? "0" : "") + '\n';
    }
    QTest::newRow("Xorg, a digit too many") << xorg << "Xorg log, line 4: 33 hex digits, 32 expected";

    QByteArray nvidia = "(--) NVIDIA(0): Raw EDID bytes:\n(--) NVIDIA(0):\n";
    for (qsizetype at = 0; at < 128; at += 16) {
        nvidia += "(--) NVIDIA(0):   " + spacedRow(edid.mid(at, at == 64 ? 15 : 16)) + '\n';
    }
    QTest::newRow("NVIDIA, a byte short") << nvidia << "NVIDIA X log, line 7: 15 bytes, 16 expected";

    QByteArray dump = "edid-decode (hex):\n\n";
    for (qsizetype at = 0; at < 128; at += 16) {
        dump += spacedRow(edid.mid(at, 16)) + (at == 16 ? " 0" : "") + '\n';
    }
    QTest::newRow("edid-decode, a digit alone") << dump << "edid-decode hex dump, line 4: '0' is no byte";

    QTest::newRow("C array, no byte")
        << QByteArray("unsigned char edid[] = {\n\t0x00, 0xff,\n\t0xfg, 0x00\n};\n")
        << "C array, line 3: '0xfg' is no byte";
    QTest::newRow("C array, not closed") << QByteArray("const unsigned char edid[] = {\n\t0x00, 0xff,\n")
                                         << "C array, line 1: the array is not closed by '}'";

    QByteArray xml = "<DATAOBJ>\n<DATA>\n<BLOCK0>" + edid.left(128).toHex().toUpper() +
                     "</BLOCK0>\n<BLOCK1>" + edid.mid(128, 127).toHex().toUpper() +
                     "</BLOCK1>\n</DATA>\n</DATAOBJ>\n";
    QTest::newRow("XML, a block short")
        << xml << "QuantumData XML, line 4: <BLOCK1> holds 254 hex digits, 256 expected";
    QByteArray gap =
        "<BLOCK0>" + edid.left(128).toHex() + "</BLOCK0>\n<BLOCK2>" + edid.mid(128).toHex() + "</BLOCK2>\n";
    QTest::newRow("XML, a block missing") << gap << "QuantumData XML, line 2: <BLOCK1> expected";

    QByteArray table = "EDID BYTES:\n0x   00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n    ----\n";
    for (int row = 0; row < 8; ++row) {
        if (row == 3) {
            continue;
        }
        table += QByteArray::number(row * 16, 16).toUpper().rightJustified(2, '0') + " | " +
                 spacedRow(edid.mid(row * 16, 16)).toUpper() + '\n';
    }
    QTest::newRow("table, a row missing") << table << "EDID table, line 7: row 40 where 30 expected";

    QByteArray ascii;
    for (int row = 0; row < 8; ++row) {
        QByteArray hex = spacedRow(edid.mid(row * 16, 16)).toUpper();
        hex[23] = row == 5 ? ' ' : '-';
        ascii += hex + "    ................\n";
    }
    QTest::newRow("dump, no dash") << ascii << "hex dump, line 6: no row of 8 bytes, a dash and 8 bytes";

    QByteArray inf = "[EdidOverride]\nHKR,EDID_OVERRIDE,\"0\",0x01";
    for (int i = 0; i < 128; ++i) {
        inf += ",0x" + edid.mid(i, 1).toHex().toUpper() + (i % 16 == 15 && i != 127 ? ",\\\n   " : "");
    }
    inf.replace(",\\\n   ,", ",\\\n   ");
    inf += "\nHKR,EDID_OVERRIDE,\"1\",0x01";
    for (int i = 128; i < 255; ++i) {
        inf += ",0x" + edid.mid(i, 1).toHex().toUpper();
    }
    inf += '\n';
    QTest::newRow(".inf, a byte short")
        << inf << "Windows .inf, line 10: EDID_OVERRIDE \"1\" holds 127 bytes, 128 expected";
    QTest::newRow(".inf, block 1 alone")
        << QByteArray("HKR,EDID_OVERRIDE,\"1\",0x01," + QByteArray("0x00,").repeated(127) + "0x00\n")
        << "Windows .inf, line 1: no EDID_OVERRIDE \"0\"";

    QByteArray reg = "Windows Registry Editor Version "
                     "5.00\r\n\r\n\"EDID\"=hex:00,ff,ff,ff,ff,ff,ff,00,\\\r\n  1e,zz,a0\r\n";
    QTest::newRow(".reg, no byte") << reg << "Windows .reg export, line 4: 'zz' is no byte";

    QTest::newRow("bare hex, not whole blocks")
        << QByteArray("0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00\n")
        << "hex, 8 bytes: a multiple of 128 expected";
}

void TestEdidFormats::brokenFormsSayWhere() {
    QFETCH(QByteArray, text);
    QFETCH(QString, reason);
    const EdidFileContent content = readEdidFileContent(QByteArrayView(text));
    QCOMPARE(content.reason, reason);
    QVERIFY(content.bytes.isEmpty());
    QVERIFY(content.format.has_value());
}

void TestEdidFormats::nothingToRead_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("reason");
    QTest::newRow("empty") << QByteArray() << "the file is empty";
    QTest::newRow("PNG") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)
                         << "the file is neither an EDID nor text";
    QTest::newRow("a letter") << QByteArray("Dear box,\nplease show a picture.\n")
                              << "no EDID found: neither raw nor hex, nor any form of EDID text read";
    QTest::newRow("xrandr without an EDID")
        << QByteArray("HDMI-1 disconnected (normal left inverted right x axis y axis)\n\tnon-desktop: 0\n")
        << "no EDID found: neither raw nor hex, nor any form of EDID text read";
    QTest::newRow("base64 of no EDID")
        << QByteArray("aGVsbG8gd29ybGQ=\n")
        << "no EDID found: neither raw nor hex, nor any form of EDID text read";
}

void TestEdidFormats::nothingToRead() {
    QFETCH(QByteArray, file);
    QFETCH(QString, reason);
    const EdidFileContent content = readEdidFileContent(QByteArrayView(file));
    QCOMPARE(content.reason, reason);
    QVERIFY(!content.format.has_value());
    QVERIFY(content.bytes.isEmpty());
}

// UTF-8 with its byte order mark and UTF-16 of either order with it read as their text.
void TestEdidFormats::encodings_data() {
    QTest::addColumn<QByteArray>("file");
    const QByteArray edid = corpus(QStringLiteral("lg-oled-c9-hdmi.bin"));
    const QString text = QString::fromLatin1(xrandrLines(edid));
    QTest::newRow("UTF-8 with BOM") << "\xEF\xBB\xBF" + text.toUtf8();
    QByteArray little = "\xFF\xFE";
    QByteArray big = "\xFE\xFF";
    for (const QChar c : text) {
        little += static_cast<char>(c.unicode() & 0xFF);
        little += static_cast<char>(c.unicode() >> 8);
        big += static_cast<char>(c.unicode() >> 8);
        big += static_cast<char>(c.unicode() & 0xFF);
    }
    QTest::newRow("UTF-16 LE") << little;
    QTest::newRow("UTF-16 BE") << big;
}

void TestEdidFormats::encodings() {
    QFETCH(QByteArray, file);
    const EdidFileContent content = readEdidFileContent(QByteArrayView(file));
    QCOMPARE(content.reason, QString());
    QCOMPARE(named(content.format), named(EdidFileFormat::XrandrVerbose));
    QCOMPARE(content.bytes, corpus(QStringLiteral("lg-oled-c9-hdmi.bin")));
}

void TestEdidFormats::writtenFormsReadBack_data() {
    QTest::addColumn<QByteArray>("edid");
    QTest::addColumn<EdidWriteFormat>("format");
    QTest::addColumn<EdidFileFormat>("readAs");
    const QDir data(QFINDTESTDATA("../data/edid"));
    for (const QString &name : data.entryList({QStringLiteral("*.bin")}, QDir::Files)) {
        const QByteArray edid = readFile(data.filePath(name));
        QTest::addRow("%s raw", qPrintable(name)) << edid << EdidWriteFormat::Raw << EdidFileFormat::Raw;
        // The window's text holds 256 bytes; longer EDIDs are bare hex of whole blocks.
        QTest::addRow("%s hex", qPrintable(name))
            << edid << EdidWriteFormat::Hex
            << (edid.size() <= 256 ? EdidFileFormat::SpacedHex : EdidFileFormat::BareHex);
        QTest::addRow("%s carray", qPrintable(name))
            << edid << EdidWriteFormat::CArray << EdidFileFormat::CArray;
        QTest::addRow("%s inf", qPrintable(name))
            << edid << EdidWriteFormat::Inf << EdidFileFormat::WindowsInf;
    }
}

void TestEdidFormats::writtenFormsReadBack() {
    QFETCH(QByteArray, edid);
    QFETCH(EdidWriteFormat, format);
    QFETCH(EdidFileFormat, readAs);
    const QByteArray file = writeEdidFileContent(spanOf(edid), format);
    const EdidFileContent content = readEdidFileContent(QByteArrayView(file));
    QCOMPARE(content.reason, QString());
    QCOMPARE(named(content.format), named(readAs));
    QCOMPARE(content.bytes, edid);
}

// The C array is edid-decode's own, byte for byte.
void TestEdidFormats::cArrayAsEdidDecodeWritesIt() {
    const QByteArray edid = corpus(QStringLiteral("samsung-q800t-hdmi2.1.bin"));
    QCOMPARE(writeEdidFileContent(spanOf(edid), EdidWriteFormat::CArray),
             corpus(QStringLiteral("formats/samsung-q800t.carray.c")));
}

// hex is the text of `edid read --hex` and of the window: 16 lines of 16 upper-case bytes.
void TestEdidFormats::hexAsTheWindowWritesIt() {
    const QByteArray edid = corpus(QStringLiteral("lg-oled-c9-hdmi.bin"));
    EdidImage image{};
    std::copy(edid.begin(), edid.end(), image.begin());
    QCOMPARE(writeEdidFileContent(spanOf(edid), EdidWriteFormat::Hex), formatEdidText(image).toLatin1());
}

// The .inf names the monitor as Windows does (MONITOR\ manufacturer and product code) and
// holds one EDID_OVERRIDE value of 128 bytes per block, 16 bytes a line.
void TestEdidFormats::infForWindows() {
    const QByteArray edid = corpus(QStringLiteral("lg-oled-c9-hdmi.bin"));
    const QByteArray inf = writeEdidFileContent(spanOf(edid), EdidWriteFormat::Inf);
    QVERIFY(inf.contains("%Monitor%=Install,MONITOR\\GSMC0A0\r\n"));
    QVERIFY(inf.contains("Monitor=\"LG TV (EDID override)\"\r\n"));
    QVERIFY(inf.contains("[Install.HW]\r\nAddReg=EdidOverride\r\n"));
    QVERIFY(inf.contains(
        "HKR,EDID_OVERRIDE,\"0\",0x01,0x00,0xFF,0xFF,0xFF,0xFF,0xFF,0xFF,0x00,0x1E,0x6D,0xA0,0xC0,"
        "0x01,0x01,0x01,0x01,\\\r\n    0x01,0x1D,"));
    QVERIFY(inf.contains("HKR,EDID_OVERRIDE,\"1\",0x01,0x02,0x03,0x6A,"));
    QVERIFY(inf.contains(",0x00,0xC6\r\n"));
    QCOMPARE(inf.count("HKR,EDID_OVERRIDE"), 2);
}

void TestEdidFormats::writeFormatNames() {
    QCOMPARE(edidWriteFormatNamed(u"raw"), std::optional<EdidWriteFormat>(EdidWriteFormat::Raw));
    QCOMPARE(edidWriteFormatNamed(u"hex"), std::optional<EdidWriteFormat>(EdidWriteFormat::Hex));
    QCOMPARE(edidWriteFormatNamed(u"carray"), std::optional<EdidWriteFormat>(EdidWriteFormat::CArray));
    QCOMPARE(edidWriteFormatNamed(u"inf"), std::optional<EdidWriteFormat>(EdidWriteFormat::Inf));
    QCOMPARE(edidWriteFormatNamed(u"xml"), std::optional<EdidWriteFormat>());
    QCOMPARE(edidWriteFormatNamed(u"HEX"), std::optional<EdidWriteFormat>());
}

QTEST_APPLESS_MAIN(TestEdidFormats)
#include "tst_edid_formats.moc"
