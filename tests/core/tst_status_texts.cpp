// The status panel texts: the line builders on exact reply bytes, the video format
// names, and the window's rendering from the simulated box's register blocks.

#include "core/box/status_texts.h"
#include "support/test_support.h"

#include <QCoreApplication>
#include <QLabel>
#include <QTextEdit>
#include <QTimerEvent>
#include <QtTest>

#include <utility>

using Bytes = QList<QPair<int, int>>;
Q_DECLARE_METATYPE(Bytes)

namespace {

// A reply buffer with the given bytes at the given reply offsets, zero elsewhere.
proto::ReplyBuffer block(const Bytes &bytes) {
    proto::ReplyBuffer reply{};
    reply[0] = proto::kRegisterAccess;
    for (const auto &[offset, value] : bytes) {
        reply[static_cast<size_t>(offset)] = static_cast<uint8_t>(value);
    }
    return reply;
}

// Writes a name into a register block field.
template <typename Block> void putText(Block &target, int at, const QByteArray &text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        target[static_cast<size_t>(at + i)] = static_cast<uint8_t>(text[i]);
    }
}

// Every display name by code, as the window must show it.
const QStringList &expectedVideoFormatNames() {
    static const QStringList names = [] {
        QStringList list(256);
        // clang-format off
        const char *const listed[] = {
            /*   0 */ "",               "640x480p60",     "720x480p60",     "720x480p60w",    "1280x720p60",
            /*   5 */ "1920x1080i60",   "720x480i60",     "720x480i60w",    "720x240p60n",    "720x240p60w",
            /*  10 */ "2880x480i60n",   "2880x480i60w",   "2880x240p60n",   "2880x240p60w",   "1440x480p60n",
            /*  15 */ "1440x480p60w",   "1920x1080p60",   "720x576p50",     "720x576p50w",    "1280x720p50",
            /*  20 */ "1920x1080i50",   "720x576i50",     "720x576i50w",    "720x288p50n",    "720x288p50w",
            /*  25 */ "2880x576i50n",   "2880x576i50w",   "2880x288p50n",   "2880x288p50w",   "1440x576p50n",
            /*  30 */ "1440x576p50w",   "1920x1080p50",   "1920x1080p24",   "1920x1080p25",   "1920x1080p30",
            /*  35 */ "2880x480p60n",   "2880x480p60w",   "2880x576p50n",   "2880x576p50w",   "1920x1080i50",
            /*  40 */ "1920x1080i100",  "1280x720p100",   "720x576p100n",   "720x576p100w",   "720x576i100n",
            /*  45 */ "720x576i100w",   "1920x1080i120",  "1280x720p120",   "720x480p120n",   "720x480p120w",
            /*  50 */ "720x480i120n",   "720x480i120w",   "720x576p200n",   "720x576p200w",   "720x576i200n",
            /*  55 */ "720x576i200w",   "720x480p240n",   "720x480p240w",   "720x480i240n",   "720x480i240w",
            /*  60 */ "1280x720p24",    "1280x720p25",    "1280x720p30",    "1920x1080p120",  "1920x1080p100",
        };
        // clang-format on
        for (int code = 0; code < static_cast<int>(std::size(listed)); ++code) {
            list[code] = QString::fromLatin1(listed[code]);
        }
        // The 64:27 forms, by their CTA-861 timings.
        const std::pair<int, const char *> wide[] = {
            {65, "1280x720p24"},   {66, "1280x720p25"},   {67, "1280x720p30"},   {68, "1280x720p50"},
            {69, "1280x720p60"},   {70, "1280x720p100"},  {71, "1280x720p120"},  {72, "1920x1080p24"},
            {73, "1920x1080p25"},  {74, "1920x1080p30"},  {75, "1920x1080p50"},  {76, "1920x1080p60"},
            {77, "1920x1080p100"}, {78, "1920x1080p120"}, {79, "1680x720p24"},   {80, "1680x720p25"},
            {81, "1680x720p30"},   {82, "1680x720p50"},   {83, "1680x720p60"},   {84, "1680x720p100"},
            {85, "1680x720p120"},  {86, "2560x1080p24"},  {87, "2560x1080p25"},  {88, "2560x1080p30"},
            {89, "2560x1080p50"},  {90, "2560x1080p60"},  {91, "2560x1080p100"}, {92, "2560x1080p120"},
            {93, "3840x2160p24"},  {94, "3840x2160p25"},  {95, "3840x2160p30"},  {96, "3840x2160p50"},
            {97, "3840x2160p60"},  {98, "4096x2160p24"},  {99, "4096x2160p25"},  {100, "4096x2160p30"},
            {101, "4096x2160p50"}, {102, "4096x2160p60"}, {103, "3840x2160p24"}, {104, "3840x2160p25"},
            {105, "3840x2160p30"}, {106, "3840x2160p50"}, {107, "3840x2160p60"},
        };
        for (const auto &[code, name] : wide) {
            list[code] = QString::fromLatin1(name);
        }
        return list;
    }();
    return names;
}

// The five texts of the status panel and the capture box.
struct PanelTexts {
    QString input, colourSpace, source, hdr, capture;
    bool operator==(const PanelTexts &other) const = default;
};

char *toString(const PanelTexts &texts) {
    return qstrdup(QStringList{texts.input, texts.colourSpace, texts.source, texts.hdr, texts.capture}
                       .join(QLatin1String(" | "))
                       .toUtf8()
                       .constData());
}

} // namespace

class TestStatusTexts : public QObject {
    Q_OBJECT

private slots:
    void inputLine_data();
    void inputLine();
    void colourSpaceLine_data();
    void colourSpaceLine();
    void sourceInfoLine_data();
    void sourceInfoLine();
    void hdrLine_data();
    void hdrLine();
    void hdrCaptureDump_data();
    void hdrCaptureDump();
    void videoFormatNames_data();
    void videoFormatNames();
    void videoFormatNamesPast255();

    void tickRendersTheFourBlocks();
    void labelsShowSourceNamesAsPlainText();
    void refusedInputValidReadChangesNothing();
    void refusedFirstReadsShowZeroBlocks();

private:
    static void tick(Rig &rig);
    static PanelTexts panel(Rig &rig);
    static void setVideo(Rig &rig, const Bytes &bytes);
};

void TestStatusTexts::inputLine_data() {
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("1080p60 HDMI both outputs")
        << Bytes{{2, 16}, {3, 0x10}, {4, 0}, {5, 0x60}} << "Input : 1920x1080p60 HDMI, Output: TX A, TX B";
    QTest::newRow("4K60 plain link is 4:2:0 300MHz")
        << Bytes{{2, 97}, {3, 0x10}, {4, 0}, {5, 0x20}}
        << "Input : 3840x2160p60 HDMI, [4:2:0 300MHz], Output: TX A";
    QTest::newRow("4K60 600MHz") << Bytes{{2, 97}, {3, 0x10}, {4, 2}, {5, 0x60}}
                                 << "Input : 3840x2160p60 HDMI, [600MHz], Output: TX A, TX B";
    QTest::newRow("4K60 4:2:0 10-bit") << Bytes{{2, 97}, {3, 0x10}, {4, 1}, {5, 0x40}}
                                       << "Input : 3840x2160p60 HDMI, [4:2:0 10-bit], Output: TX B";
    QTest::newRow("4K60 other link mode")
        << Bytes{{2, 97}, {3, 0x10}, {4, 3}, {5, 0x40}} << "Input : 3840x2160p60 HDMI, Output: TX B";
    QTest::newRow("1080p60 600MHz") << Bytes{{2, 16}, {3, 0x10}, {4, 2}, {5, 0x20}}
                                    << "Input : 1920x1080p60 HDMI, [600MHz], Output: TX A";
    QTest::newRow("1080p60 10-bit") << Bytes{{2, 16}, {3, 0x10}, {4, 1}, {5, 0x20}}
                                    << "Input : 1920x1080p60 HDMI, [4:2:0 10-bit], Output: TX A";
    QTest::newRow("link mode 255") << Bytes{{2, 16}, {3, 0x10}, {4, 255}, {5, 0x20}}
                                   << "Input : 1920x1080p60 HDMI, Output: TX A";
    QTest::newRow("non-HDMI") << Bytes{{2, 4}, {3, 0xEF}, {5, 0x40}}
                              << "Input : 1280x720p60 non-HDMI, Output: TX B";
    QTest::newRow("only bit 4 makes HDMI")
        << Bytes{{2, 4}, {3, 0x10}, {5, 0x40}} << "Input : 1280x720p60 HDMI, Output: TX B";

    QTest::newRow("HDMI VIC 1") << Bytes{{14, 0x20}, {9, 1}, {2, 16}, {3, 0x10}, {5, 0x60}}
                                << "Input : 3840x2160p30 300MHz HDMI, Output: TX A, TX B";
    QTest::newRow("HDMI VIC 2") << Bytes{{14, 0x20}, {9, 2}, {3, 0x10}, {5, 0x20}}
                                << "Input : 3840x2160p25 300MHz HDMI, Output: TX A";
    QTest::newRow("HDMI VIC 3 non-HDMI") << Bytes{{14, 0x20}, {9, 3}, {4, 2}, {5, 0x20}}
                                         << "Input : 3840x2160p24 300MHz non-HDMI, [600MHz], Output: TX A";
    QTest::newRow("HDMI VIC 4") << Bytes{{14, 0x20}, {9, 4}, {3, 0x10}, {4, 1}}
                                << "Input : 4096x2160p24 300MHz HDMI, [4:2:0 10-bit], Output: none";
    QTest::newRow("HDMI VIC 0 falls back") << Bytes{{14, 0x20}, {9, 0}, {2, 95}, {3, 0x10}, {5, 0x20}}
                                           << "Input : 3840x2160p30 HDMI, Output: TX A";
    QTest::newRow("HDMI VIC 5 falls back")
        << Bytes{{14, 0x20}, {9, 5}, {2, 16}, {5, 0x20}} << "Input : 1920x1080p60 non-HDMI, Output: TX A";

    QTest::newRow("3D side-by-side") << Bytes{{14, 0x40}, {9, 0x80}, {2, 4}, {3, 0x10}, {5, 0x60}}
                                     << "Input : 1280x720p60 Side-by-side 3D, Output: TX A, TX B";
    QTest::newRow("3D frame packed") << Bytes{{14, 0x40}, {9, 0x00}, {2, 32}, {5, 0x20}}
                                     << "Input : 1920x1080p24 Frame Packed 3D, Output: TX A";
    QTest::newRow("3D top/bottom") << Bytes{{14, 0x40}, {9, 0x60}, {2, 19}, {5, 0x40}}
                                   << "Input : 1280x720p50 Top/Bottom 3D, Output: TX B";
    QTest::newRow("3D with 4K suffix")
        << Bytes{{14, 0x40}, {9, 0x00}, {2, 97}, {4, 0}}
        << "Input : 3840x2160p60 Frame Packed 3D, [4:2:0 300MHz], Output: none";
    QTest::newRow("3D structure 0x10 falls back")
        << Bytes{{14, 0x40}, {9, 0x10}, {2, 4}, {3, 0x10}, {5, 0x20}}
        << "Input : 1280x720p60 HDMI, Output: TX A";
    QTest::newRow("3D byte compared whole")
        << Bytes{{14, 0x40}, {9, 0x81}, {2, 4}, {5, 0x20}} << "Input : 1280x720p60 non-HDMI, Output: TX A";
    QTest::newRow("format byte compared whole") << Bytes{{14, 0x60}, {9, 1}, {2, 16}, {3, 0x10}, {5, 0x20}}
                                                << "Input : 1920x1080p60 HDMI, Output: TX A";

    QTest::newRow("code 0") << Bytes{{2, 0}, {3, 0x10}, {5, 0x20}} << "Input :  HDMI, Output: TX A";
    QTest::newRow("code 108") << Bytes{{2, 108}, {3, 0x10}, {5, 0x20}} << "Input :  HDMI, Output: TX A";
    QTest::newRow("code 255") << Bytes{{2, 255}, {5, 0x60}} << "Input :  non-HDMI, Output: TX A, TX B";
    QTest::newRow("outputs masked") << Bytes{{2, 16}, {3, 0x10}, {5, 0x9F}}
                                    << "Input : 1920x1080p60 HDMI, Output: none";
    QTest::newRow("outputs all bits")
        << Bytes{{2, 16}, {3, 0x10}, {5, 0xFF}} << "Input : 1920x1080p60 HDMI, Output: TX A, TX B";
    QTest::newRow("zero block") << Bytes{} << "Input :  non-HDMI, Output: none";
}

void TestStatusTexts::inputLine() {
    QFETCH(Bytes, bytes);
    QFETCH(QString, expected);
    QCOMPARE(status::inputLine(block(bytes)), expected);
}

void TestStatusTexts::colourSpaceLine_data() {
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("RGB") << Bytes{{10, 0x00}} << "Color Space: RGB";
    QTest::newRow("4:2:2") << Bytes{{10, 0x20}} << "Color Space: YCbCr 4:2:2";
    QTest::newRow("4:4:4") << Bytes{{10, 0x40}} << "Color Space: YCbCr 4:4:4";
    QTest::newRow("4:2:0") << Bytes{{10, 0x60}} << "Color Space: YCbCr 4:2:0";
    QTest::newRow("space bits only") << Bytes{{10, 0x9F}} << "Color Space: RGB";
    QTest::newRow("SMPTE 170M") << Bytes{{10, 0x20}, {11, 0x40}} << "Color Space: YCbCr 4:2:2, SMPTE 170M";
    QTest::newRow("BT.709") << Bytes{{10, 0x40}, {11, 0x80}} << "Color Space: YCbCr 4:4:4, ITU-R BT.709";
    QTest::newRow("colorimetry bits only")
        << Bytes{{11, 0xBF}, {12, 0x60}} << "Color Space: RGB, ITU-R BT.709";
    QTest::newRow("no colorimetry") << Bytes{{11, 0x3F}, {12, 0x60}} << "Color Space: RGB";
    QTest::newRow("xvYCC601") << Bytes{{11, 0xC0}, {12, 0x00}} << "Color Space: RGB, Extended: xvYCC601";
    QTest::newRow("xvYCC709") << Bytes{{11, 0xC0}, {12, 0x10}} << "Color Space: RGB, Extended: xvYCC709";
    QTest::newRow("sYCC601") << Bytes{{11, 0xC0}, {12, 0x20}} << "Color Space: RGB, Extended: sYCC601";
    QTest::newRow("AdobeYCC601") << Bytes{{11, 0xC0}, {12, 0x30}}
                                 << "Color Space: RGB, Extended: AdobeYCC601";
    QTest::newRow("AdobeRGB") << Bytes{{11, 0xC0}, {12, 0x40}} << "Color Space: RGB, Extended: AdobeRGB";
    QTest::newRow("BT.2020 YcCbcCrc") << Bytes{{10, 0x60}, {11, 0xC0}, {12, 0x50}}
                                      << "Color Space: YCbCr 4:2:0, Extended: ITU-R BT.2020 YcCbcCrc";
    QTest::newRow("BT.2020 RGB") << Bytes{{10, 0x40}, {11, 0xC0}, {12, 0x60}}
                                 << "Color Space: YCbCr 4:4:4, Extended: ITU-R BT.2020 RGB";
    QTest::newRow("extended code 7") << Bytes{{11, 0xC0}, {12, 0x70}} << "Color Space: RGB, Extended:";
    QTest::newRow("extended bits only")
        << Bytes{{11, 0xC0}, {12, 0x8F}} << "Color Space: RGB, Extended: xvYCC601";
}

void TestStatusTexts::colourSpaceLine() {
    QFETCH(Bytes, bytes);
    QFETCH(QString, expected);
    QCOMPARE(status::colourSpaceLine(block(bytes)), expected);
}

void TestStatusTexts::sourceInfoLine_data() {
    QTest::addColumn<QByteArray>("vendor");  // written from reply byte 4
    QTest::addColumn<QByteArray>("product"); // written from reply byte 12
    QTest::addColumn<QString>("expected");

    QTest::newRow("short names") << QByteArray("SONY") << QByteArray("PS5") << "Source Info: SONY PS5";
    QTest::newRow("empty") << QByteArray() << QByteArray() << "Source Info:  ";
    // Nothing ends the vendor field but its size: the product's first byte follows it.
    QTest::newRow("vendor fills its field")
        << QByteArray("ABCDEFGH") << QByteArray("Player") << "Source Info: ABCDEFGH Player";
    QTest::newRow("product fills its field")
        << QByteArray("V") << QByteArray("0123456789ABCDEF") << "Source Info: V 0123456789ABCDEF";
    QTest::newRow("ends at the first zero")
        << QByteArray("AB\0CD", 5) << QByteArray("XY\0Z", 4) << "Source Info: AB XY";
    QTest::newRow("8-bit characters") << QByteArray("Caf\xe9")
                                      << QByteArray("\xb5"
                                                    "Box")
                                      << "Source Info: Caf\u00e9 \u00b5Box";
    QTest::newRow("markup stays text")
        << QByteArray("<h1>X") << QByteArray("<img src=a>") << "Source Info: <h1>X <img src=a>";
}

void TestStatusTexts::sourceInfoLine() {
    QFETCH(QByteArray, vendor);
    QFETCH(QByteArray, product);
    QFETCH(QString, expected);
    proto::ReplyBuffer source = block({});
    putText(source, status::kSourceVendor, vendor);
    putText(source, status::kSourceProduct, product);
    // Bytes after the product field are not part of any name.
    std::fill(source.begin() + 28, source.end(), uint8_t{'Z'});
    QCOMPARE(status::sourceInfoLine(source), expected);
}

void TestStatusTexts::hdrLine_data() {
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("SDR") << Bytes{{2, 0x87}, {3, 26}, {4, 0}} << "HDR input:  Not Active";
    QTest::newRow("HDR gamma") << Bytes{{2, 0x87}, {3, 26}, {4, 1}} << "HDR input:  HDR Luminance Range";
    QTest::newRow("PQ") << Bytes{{2, 0x87}, {3, 26}, {4, 2}} << "HDR input:  SMPTE ST 2084";
    QTest::newRow("EOTF 3") << Bytes{{2, 0x87}, {3, 26}, {4, 3}} << "HDR input: ";
    QTest::newRow("EOTF 255") << Bytes{{2, 0x87}, {3, 26}, {4, 255}} << "HDR input: ";
    QTest::newRow("any infoframe type") << Bytes{{2, 0x81}, {4, 2}} << "HDR input:  SMPTE ST 2084";
    QTest::newRow("zero block") << Bytes{} << "HDR input:  Not Active";
}

void TestStatusTexts::hdrLine() {
    QFETCH(Bytes, bytes);
    QFETCH(QString, expected);
    QCOMPARE(status::hdrLine(block(bytes)), expected);
}

void TestStatusTexts::hdrCaptureDump_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("expected");

    // The payload bytes are 0x02, 0x11, 0x12, ... from reply byte 4 on; the block has
    // more bytes after byte 30, which the dump must never reach.
    QTest::newRow("26 bytes")
        << 0x87 << 26 << "02:11:12:13:14:15:16:17:18:19:1a:1b:1c:1d:1e:1f:20:21:22:23:24:25:26:27:28:29";
    QTest::newRow("one byte") << 0x87 << 1 << "02";
    QTest::newRow("27 bytes")
        << 0x87 << 27 << "02:11:12:13:14:15:16:17:18:19:1a:1b:1c:1d:1e:1f:20:21:22:23:24:25:26:27:28:29:2a";
    QTest::newRow("28 bytes stop at 27")
        << 0x87 << 28 << "02:11:12:13:14:15:16:17:18:19:1a:1b:1c:1d:1e:1f:20:21:22:23:24:25:26:27:28:29:2a";
    QTest::newRow("200 bytes stop at 27")
        << 0x87 << 200 << "02:11:12:13:14:15:16:17:18:19:1a:1b:1c:1d:1e:1f:20:21:22:23:24:25:26:27:28:29:2a";
    QTest::newRow("length 0") << 0x87 << 0 << QString();
    QTest::newRow("other type") << 0x86 << 26 << QString();
}

void TestStatusTexts::hdrCaptureDump() {
    QFETCH(int, type);
    QFETCH(int, length);
    QFETCH(QString, expected);
    proto::ReplyBuffer capture = block({{2, type}, {3, length}, {4, 2}});
    for (size_t i = 5; i < capture.size(); ++i) {
        capture[i] = static_cast<uint8_t>(0x11 + i - 5);
    }
    QCOMPARE(status::hdrCaptureDump(capture), expected);
}

void TestStatusTexts::videoFormatNames_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("expected");
    for (int code = 0; code < 256; ++code) {
        QTest::addRow("%d", code) << code << expectedVideoFormatNames()[code];
    }
}

void TestStatusTexts::videoFormatNames() {
    QFETCH(int, code);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromLatin1(status::lookupVideoFormatName(static_cast<uint16_t>(code))), expected);
}

void TestStatusTexts::videoFormatNamesPast255() {
    QCOMPARE(QString::fromLatin1(status::lookupVideoFormatName(256)), QString());
    QCOMPARE(QString::fromLatin1(status::lookupVideoFormatName(0xFFFF)), QString());
}

// One status timer tick, delivered as the timer would deliver it.
void TestStatusTexts::tick(Rig &rig) {
    QTimerEvent event(statusTimerId(rig.window()));
    QVERIFY(event.timerId() != 0);
    QCoreApplication::sendEvent(&rig.window(), &event);
}

PanelTexts TestStatusTexts::panel(Rig &rig) {
    return {rig.widget<QLabel>("label_video_format")->text(), rig.widget<QLabel>("lblCsc")->text(),
            rig.widget<QLabel>("lblVideoSource")->text(), rig.widget<QLabel>("lblHdrInput")->text(),
            rig.widget<QTextEdit>("txtHdrIf")->toPlainText()};
}

void TestStatusTexts::setVideo(Rig &rig, const Bytes &bytes) {
    sim::RegisterBlock &video = rig.box.registerBlock(proto::kRegVideoStatus);
    video.fill(0);
    for (const auto &[offset, value] : bytes) {
        video[static_cast<size_t>(offset)] = static_cast<uint8_t>(value);
    }
}

void TestStatusTexts::tickRendersTheFourBlocks() {
    Rig rig;
    rig.start();
    setVideo(rig, {{2, 97}, {3, 0x10}, {4, 2}, {5, 0x60}, {10, 0x40}, {11, 0xC0}, {12, 0x60}});
    sim::RegisterBlock &source = rig.box.registerBlock(proto::kRegSourceProduct);
    source.fill(0);
    putText(source, status::kSourceVendor, "GAMEWRKS");
    putText(source, status::kSourceProduct, "Console One X");
    sim::RegisterBlock &capture = rig.box.registerBlock(proto::kRegHdrCapture);
    capture.fill(0);
    capture[2] = 0x87;
    capture[3] = 3;
    capture[4] = 2;
    capture[5] = 0x1A;
    capture[6] = 0xFF;
    capture[7] = 0x55; // past the announced length
    const auto before = static_cast<int>(rig.box.frames().size());
    rig.statusRecorder.clear();

    tick(rig);

    QCOMPARE(panel(rig),
             (PanelTexts{"Input : 3840x2160p60 HDMI, [600MHz], Output: TX A, TX B",
                         "Color Space: YCbCr 4:4:4, Extended: ITU-R BT.2020 RGB",
                         "Source Info: GAMEWRKS Console One X", "HDR input:  SMPTE ST 2084", "02:1a:ff"}));
    // The texts come from four block reads, in this order, at the end of the tick.
    const QList<QByteArray> requests = requestsSince(rig.box, before);
    QVERIFY(requests.size() >= 4);
    QCOMPARE(requests.mid(requests.size() - 4),
             (QList<QByteArray>{bytes({0x11, 15, 0xE0, 0x06}), bytes({0x11, 31, 0xE0, 0x15}),
                                bytes({0x11, 31, 0xE0, 0x1E}), bytes({0x11, 31, 0xE0, 0x1F})}));
    QVERIFY(!rig.statusRecorder.texts().contains(QStringLiteral("...")));
}

void TestStatusTexts::labelsShowSourceNamesAsPlainText() {
    Rig rig;
    rig.start();
    sim::RegisterBlock &source = rig.box.registerBlock(proto::kRegSourceProduct);
    source.fill(0);
    putText(source, status::kSourceVendor, "<h1>Big");
    putText(source, status::kSourceProduct, "<img src=/x.png>");
    tick(rig);
    auto *label = rig.widget<QLabel>("lblVideoSource");
    QCOMPARE(label->text(), QStringLiteral("Source Info: <h1>Big <img src=/x.png>"));
    for (const char *name : {"label_video_format", "lblCsc", "lblVideoSource", "lblHdrInput"}) {
        QCOMPARE(rig.widget<QLabel>(name)->textFormat(), Qt::PlainText);
    }
}

void TestStatusTexts::refusedInputValidReadChangesNothing() {
    Rig rig;
    rig.start();
    setVideo(rig, {{2, 16}, {3, 0x10}, {5, 0x60}, {10, 0x20}});
    tick(rig);
    const PanelTexts shown = panel(rig);
    QCOMPARE(shown.input, QStringLiteral("Input : 1920x1080p60 HDMI, Output: TX A, TX B"));

    // New state in every block, but the last read of the rendering is refused.
    setVideo(rig, {{2, 4}, {5, 0x20}, {10, 0x60}});
    sim::RegisterBlock &capture = rig.box.registerBlock(proto::kRegHdrCapture);
    capture[2] = 0x87;
    capture[3] = 1;
    capture[4] = 1;
    rig.box.registerBlock(proto::kRegSourceProduct)[4] = 'Q';
    rig.box.injectFaultForRegister(sim::Fault::Refuse, proto::kRegInputValid);
    rig.statusRecorder.clear();
    tick(rig);

    QCOMPARE(panel(rig), shown);
    QVERIFY(rig.statusRecorder.messages().contains((StatusMessage{QStringLiteral("..."), 2000})));

    // Once the read is accepted again the texts follow the device.
    rig.box.clearFaults();
    tick(rig);
    QCOMPARE(panel(rig).input, QStringLiteral("Input : 1280x720p60 non-HDMI, Output: TX A"));
    QCOMPARE(panel(rig).hdr, QStringLiteral("HDR input:  HDR Luminance Range"));
    QCOMPARE(panel(rig).capture, QStringLiteral("01"));
}

void TestStatusTexts::refusedFirstReadsShowZeroBlocks() {
    Rig rig;
    rig.start();
    setVideo(rig, {{2, 16}, {3, 0x10}, {5, 0x60}, {10, 0x20}, {11, 0x80}});
    sim::RegisterBlock &capture = rig.box.registerBlock(proto::kRegHdrCapture);
    capture[2] = 0x87;
    capture[3] = 2;
    capture[4] = 2;
    tick(rig);
    QCOMPARE(panel(rig).capture, QStringLiteral("02:00"));

    for (uint8_t address : {proto::kRegVideoStatus, proto::kRegSourceProduct, proto::kRegHdrCapture}) {
        rig.box.injectFaultForRegister(sim::Fault::Refuse, address);
    }
    rig.statusRecorder.clear();
    tick(rig);

    QCOMPARE(panel(rig), (PanelTexts{"Input :  non-HDMI, Output: none", "Color Space: RGB",
                                     "Source Info:  ", "HDR input:  Not Active", QString()}));
    // The rendering comes last in a tick: its three refused reads end the messages.
    const QList<StatusMessage> &messages = rig.statusRecorder.messages();
    QVERIFY(messages.size() >= 3);
    QCOMPARE(messages.mid(messages.size() - 3), (QList<StatusMessage>(3, {QStringLiteral("..."), 2000})));
}

QTEST_MAIN(TestStatusTexts)
#include "tst_status_texts.moc"
