// The typed status: the four status lines rendered from it byte for byte as the box's texts
// stood before it (digests of long sweeps taken from the line builders of that time), its values on the
// simulated box's script, the field-by-field comparison that never speaks of a part a read did not carry, and
// its JSON.

#include "core/box/box_session.h"
#include "core/box/status_texts.h"
#include "core/box/typed_status.h"
#include "core/box/typed_status_json.h"
#include "sim/simulated_box.h"
#include "support/recording_reporter.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QTest>

#include <functional>

using sim::Fault;

namespace {

struct Rig {
    sim::FakeLinkClock clock{1000};
    sim::SimulatedBox box{clock};
    RecordingReporter reporter;
    BoxSession session{box, clock, reporter};

    Rig() { session.attach(); }
    status::TypedStatus read() {
        const Outcome<record::StatusRecord> settings = session.readSettings();
        const StatusBlocks blocks = session.readStatusBlocks();
        return status::typedStatusOf(blocks, settings.ok() ? std::optional(settings.value) : std::nullopt);
    }
    QJsonObject json() { return status::typedStatusJson(read()); }
};

proto::ReplyBuffer videoBlock(int vic, int flags, int link, int outputs, int detail, int format, int avi1,
                              int avi2, int avi3) {
    proto::ReplyBuffer block{};
    block[0] = proto::kRegisterAccess;
    block[status::kVideoCode] = uint8_t(vic);
    block[status::kVideoFlags] = uint8_t(flags);
    block[status::kVideoLinkMode] = uint8_t(link);
    block[status::kVideoOutputs] = uint8_t(outputs);
    block[status::kVideoVsifDetail] = uint8_t(detail);
    block[status::kVideoVsifFormat] = uint8_t(format);
    block[status::kVideoAviByte1] = uint8_t(avi1);
    block[status::kVideoAviByte2] = uint8_t(avi2);
    block[status::kVideoAviByte3] = uint8_t(avi3);
    return block;
}

QStringList changeTexts(const std::vector<status::FieldChange> &changes) {
    QStringList texts;
    for (const status::FieldChange &change : changes) {
        texts << change.field + ' ' + status::fieldValueText(change.from) + " -> " +
                     status::fieldValueText(change.to);
    }
    return texts;
}

} // namespace

class TestTypedStatus : public QObject {
    Q_OBJECT

private slots:
    void inputLinesAsToday();
    void colourSpaceLinesAsToday();
    void sourceAndHdrLinesAsToday_data();
    void sourceAndHdrLinesAsToday();
    void randomBlocksRenderAsToday();
    void missingPartRendersAsItsZeroBlock();
    void scriptStepValues_data();
    void scriptStepValues();
    void timingOfHdmiVicAnd3dForms();
    void comparisonFieldByField();
    void partNotCarriedIsNotCompared();
    void shortReplyCarriesNothing_data();
    void shortReplyCarriesNothing();
    void jsonHasEveryFieldAndTheSettings();
    void jsonOfAFailedRead();
};

// The lines of a sweep, one after the other, as one SHA-256: the digests below were taken
// from the line builders as they stood before the typed status, so the lines rendered from
// it are held against the box's texts byte for byte, over every case the sweep makes.
QByteArray digestOf(const std::function<void(const std::function<void(const QString &)> &)> &sweep) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    sweep([&hash](const QString &line) { hash.addData((line + '\n').toLatin1()); });
    return hash.result().toHex();
}

// Every video code, HDMI word, link mode, output pair, vendor-specific form and detail.
void TestTypedStatus::inputLinesAsToday() {
    int compared = 0;
    const QByteArray digest = digestOf([&compared](const auto &add) {
        for (int vic = 0; vic < 256; ++vic) {
            for (int flags : {0x00, 0x10, 0xEF}) {
                for (int link = 0; link < 4; ++link) {
                    for (int outputs : {0x00, 0x20, 0x40, 0x60, 0x9F}) {
                        for (int format : {0x00, 0x20, 0x40, 0x60}) {
                            for (int detail : {0, 1, 2, 3, 4, 5, 0x60, 0x70, 0x80, 0xFF}) {
                                add(status::inputLine(status::videoStatusOf(
                                    videoBlock(vic, flags, link, outputs, detail, format, 0, 0, 0))));
                                ++compared;
                            }
                        }
                    }
                }
            }
        }
    });
    QCOMPARE(compared, 256 * 3 * 4 * 5 * 4 * 10);
    QCOMPARE(digest, QByteArray("548f2a8774cf9f2d9cb1e7125b75fa9ba10ea8b3234eadceba7e241fb5494b0d"));
}

// The three AVI bytes the colour space line reads, in steps that reach every code.
void TestTypedStatus::colourSpaceLinesAsToday() {
    const QByteArray digest = digestOf([](const auto &add) {
        for (int avi1 = 0; avi1 < 256; avi1 += 5) {
            for (int avi2 = 0; avi2 < 256; avi2 += 0x10) {
                for (int avi3 = 0; avi3 < 256; ++avi3) {
                    add(status::colourSpaceLine(status::videoStatusOf(
                        videoBlock(16, 0x10, 0, 0x60, 0, 0, avi1, avi2 | (avi3 & 0x0F), avi3))));
                }
            }
        }
    });
    QCOMPARE(digest, QByteArray("abc0be2502bff060b0fbb6ad8d82b46d7e980769148ba550ba78d73e01671ebd"));
}

void TestTypedStatus::sourceAndHdrLinesAsToday_data() {
    QTest::addColumn<QByteArray>("vendor");
    QTest::addColumn<QByteArray>("product");
    QTest::addColumn<int>("eotf");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("hdr");
    QTest::newRow("empty") << QByteArray() << QByteArray() << 0 << "Source Info:  "
                           << "HDR input:  Not Active";
    QTest::newRow("names, PQ") << QByteArray("STREAMCO") << QByteArray("Stream Box 4K") << 2
                               << "Source Info: STREAMCO Stream Box 4K"
                               << "HDR input:  SMPTE ST 2084";
    QTest::newRow("fields full, no zero") << QByteArray("ABCDEFGHIJ") << QByteArray("abcdefghijklmnopqrst")
                                          << 1 << "Source Info: ABCDEFGH abcdefghijklmnop"
                                          << "HDR input:  HDR Luminance Range";
    QTest::newRow("a zero ends a name; HLG has no word")
        << QByteArray("A\0B", 3) << QByteArray("<b>x</b>") << 3 << "Source Info: A <b>x</b>"
        << "HDR input: ";
    QTest::newRow("Latin-1") << QByteArray("\xC4\xD6") << QByteArray("caf\xE9") << 255
                             << "Source Info: ÄÖ café"
                             << "HDR input: ";
}

void TestTypedStatus::sourceAndHdrLinesAsToday() {
    QFETCH(QByteArray, vendor);
    QFETCH(QByteArray, product);
    QFETCH(int, eotf);
    QFETCH(QString, source);
    QFETCH(QString, hdr);
    StatusBlocks blocks;
    std::copy_n(vendor.constData(), std::min<qsizetype>(vendor.size(), status::kSourceVendorSize),
                blocks.sourceProduct.begin() + status::kSourceVendor);
    std::copy_n(product.constData(), std::min<qsizetype>(product.size(), status::kSourceProductSize),
                blocks.sourceProduct.begin() + status::kSourceProduct);
    blocks.hdrCapture[status::kCapturePayload] = uint8_t(eotf);
    blocks.sourceProductRead = blocks.hdrCaptureRead = true;
    const std::array<QString, 4> lines = status::statusLinesOf(status::typedStatusOf(blocks, std::nullopt));
    QCOMPARE(lines[2], source);
    QCOMPARE(lines[3], hdr);
    QCOMPARE(lines[2], status::sourceInfoLine(blocks.sourceProduct));
    QCOMPARE(lines[3], status::hdrLine(blocks.hdrCapture));
}

// Whole blocks of random bytes, through the typed status.
void TestTypedStatus::randomBlocksRenderAsToday() {
    const QByteArray digest = digestOf([](const auto &add) {
        QRandomGenerator random(27);
        for (int round = 0; round < 20000; ++round) {
            StatusBlocks blocks;
            for (proto::ReplyBuffer *block :
                 {&blocks.videoStatus, &blocks.sourceProduct, &blocks.hdrCapture}) {
                for (uint8_t &byte : *block) {
                    byte = uint8_t(random.bounded(256));
                }
            }
            blocks.videoStatusRead = blocks.sourceProductRead = blocks.hdrCaptureRead = blocks.shown = true;
            for (const QString &line : status::statusLinesOf(status::typedStatusOf(blocks, std::nullopt))) {
                add(line);
            }
        }
    });
    QCOMPARE(digest, QByteArray("cfb0e9834b7582f9bd1d44bd58a342f421207bec1f7e85700fdd6af9649cd87a"));
}

// A block whose read failed is all zero in the window; the typed status leaves it out and
// renders the same texts.
void TestTypedStatus::missingPartRendersAsItsZeroBlock() {
    StatusBlocks blocks;
    blocks.shown = true;
    const std::array<QString, 4> lines = status::statusLinesOf(status::typedStatusOf(blocks, std::nullopt));
    QCOMPARE(lines[0], status::inputLine(blocks.videoStatus));
    QCOMPARE(lines[0], QString("Input :  non-HDMI, Output: none"));
    QCOMPARE(lines[1], QString("Color Space: RGB"));
    QCOMPARE(lines[2], QString("Source Info:  "));
    QCOMPARE(lines[3], QString("HDR input:  Not Active"));
}

void TestTypedStatus::scriptStepValues_data() {
    QTest::addColumn<int>("step");
    QTest::addColumn<QStringList>("values");
    QTest::newRow("1080p SDR") << 0
                               << QStringList{"resolution=1920x1080",
                                              "refresh_rate=60",
                                              "scan=progressive",
                                              "colour_space=YCbCr 4:4:4",
                                              "bit_depth=8",
                                              "quantization_range=default",
                                              "colorimetry=ITU-R BT.709",
                                              "pixel_clock_band=300 MHz",
                                              "hdr_eotf=SDR (traditional gamma)",
                                              "hdr_infoframe=none",
                                              "source_vendor=STREAMCO",
                                              "source_product=Stream Box 4K",
                                              "outputs=TX A, TX B",
                                              "hdmi=yes"};
    QTest::newRow("4K HDR10") << 1
                              << QStringList{
                                     "resolution=3840x2160",        "refresh_rate=60",
                                     "colour_space=YCbCr 4:2:0",    "bit_depth=10",
                                     "quantization_range=limited",  "colorimetry=ITU-R BT.2020 RGB or YCbCr",
                                     "hdr_eotf=SMPTE ST 2084 (PQ)", "source_vendor=GAMEWRKS"};
    QTest::newRow("4K Dolby Vision-style 12-bit")
        << 2
        << QStringList{
               "resolution=3840x2160",           "colour_space=YCbCr 4:2:2",    "bit_depth=12",
               "pixel_clock_band=600 MHz",       "hdr_eotf=SMPTE ST 2084 (PQ)", "source_vendor=CINEVUE",
               "source_product=Vision Player 12"};
    QTest::newRow("4K24 disc by HDMI VIC")
        << 3 << QStringList{"resolution=3840x2160", "refresh_rate=24",  "vic=0",
                            "colour_space=RGB",     "colorimetry=none", "outputs=TX A"};
    QTest::newRow("DVI computer") << 4 << QStringList{"resolution=1280x720", "hdmi=no", "outputs=TX B"};
}

void TestTypedStatus::scriptStepValues() {
    QFETCH(int, step);
    QFETCH(QStringList, values);
    Rig rig;
    rig.box.setLively(true);
    rig.clock.advance(uint32_t(step) * sim::SimulatedBox::kScriptStepMs + 10);
    const status::TypedStatus typed = rig.read();
    QCOMPARE(rig.box.scriptStep(), uint32_t(step));
    QVERIFY(typed.video && typed.source && typed.hdr && typed.settings);
    QStringList shown;
    for (const status::StatusField &field : status::statusFields(typed)) {
        shown << field.name + '=' + status::fieldValueText(field.value);
    }
    for (const QString &value : values) {
        QVERIFY2(shown.contains(value), qPrintable(value + " not in " + shown.join(", ")));
    }
    // An HDR infoframe is captured exactly when the source sends PQ.
    QCOMPARE(typed.hdr->payload.empty(), typed.hdr->eotf == 0);
}

void TestTypedStatus::timingOfHdmiVicAnd3dForms() {
    const auto video = [](int vic, int format, int detail) {
        return status::videoStatusOf(videoBlock(vic, 0x10, 0, 0x60, detail, format, 0, 0, 0));
    };
    QCOMPARE(status::inputTimingOf(video(0, 0x20, 4))->width, uint16_t(4096));
    QCOMPARE(status::inputTimingOf(video(0, 0x20, 1))->refreshMilliHz, uint32_t(30000));
    QVERIFY(!status::inputTimingOf(video(0, 0x20, 5)));
    QVERIFY(!status::inputTimingOf(video(0, 0, 0)));
    QVERIFY(status::inputTimingOf(video(5, 0, 0))->interlaced);
    status::TypedStatus typed;
    typed.video = video(4, 0x40, 0x80);
    const auto value = [&typed](const QString &name) {
        for (const status::StatusField &field : status::statusFields(typed)) {
            if (field.name == name) {
                return status::fieldValueText(field.value);
            }
        }
        return QString("(missing)");
    };
    QCOMPARE(value("3d"), QString("Side-by-side 3D"));
    typed.video = video(4, 0x40, 0x60);
    QCOMPARE(value("3d"), QString("Top/Bottom 3D"));
    typed.video = video(4, 0, 0);
    QCOMPARE(value("3d"), QString("none"));
    QCOMPARE(value("scan"), QString("progressive"));
    typed.video = video(0, 0, 0);
    QCOMPARE(value("resolution"), QString("none"));
}

void TestTypedStatus::comparisonFieldByField() {
    Rig rig;
    rig.box.setLively(true);
    const status::TypedStatus first = rig.read();
    QVERIFY(status::compareStatus(first, first).empty());
    rig.clock.advance(sim::SimulatedBox::kScriptStepMs);
    const status::TypedStatus second = rig.read();
    const QStringList changes = changeTexts(status::compareStatus(first, second));
    QVERIFY2(changes.contains("resolution 1920x1080 -> 3840x2160"), qPrintable(changes.join('\n')));
    QVERIFY(changes.contains("vic 16 -> 97"));
    QVERIFY(changes.contains("colour_space YCbCr 4:4:4 -> YCbCr 4:2:0"));
    QVERIFY(changes.contains("bit_depth 8 -> 10"));
    QVERIFY(changes.contains("hdr_eotf SDR (traditional gamma) -> SMPTE ST 2084 (PQ)"));
    QVERIFY(changes.contains("source_vendor STREAMCO -> GAMEWRKS"));
    QVERIFY(!changes.join('\n').contains("refresh_rate"));
    // A setting changed by other means: one change, by its name.
    rig.box.statusRecord()[record::kGreenLed] = 0;
    rig.box.statusRecord()[record::kActiveInput] = 2;
    QCOMPARE(changeTexts(status::compareStatus(second, rig.read())),
             (QStringList{"active_input top -> bot", "green-led on -> off"}));
}

void TestTypedStatus::partNotCarriedIsNotCompared() {
    Rig rig;
    rig.box.setLively(true);
    const status::TypedStatus first = rig.read();
    rig.clock.advance(sim::SimulatedBox::kScriptStepMs);
    status::TypedStatus second = rig.read();
    second.video.reset();
    second.settings.reset();
    const QStringList changes = changeTexts(status::compareStatus(first, second));
    QCOMPARE(changes.filter(QRegularExpression("^(resolution|vic|colour_space|bit_depth|active_input) ")),
             QStringList());
    QVERIFY(changes.contains("source_vendor STREAMCO -> GAMEWRKS"));
}

void TestTypedStatus::shortReplyCarriesNothing_data() {
    QTest::addColumn<int>("fault");
    QTest::newRow("short") << int(Fault::Short);
    QTest::newRow("refused") << int(Fault::Refuse);
}

// A damaged or half reply leaves its part out of the typed status.
void TestTypedStatus::shortReplyCarriesNothing() {
    QFETCH(int, fault);
    Rig rig;
    rig.box.injectFaultForRegister(Fault(fault), proto::kRegVideoStatus);
    rig.box.injectFaultForRegister(Fault(fault), proto::kRegHdrCapture);
    const status::TypedStatus typed = rig.read();
    QVERIFY(!typed.video);
    QVERIFY(!typed.hdr);
    QVERIFY(!typed.settings); // the settings read needs the video status block too
    QVERIFY(typed.source);
    rig.box.clearFaults();
    rig.box.injectFault(Fault(fault), proto::kStatusRead);
    const status::TypedStatus noSettings = rig.read();
    QVERIFY(!noSettings.settings);
    QVERIFY(noSettings.video);
}

void TestTypedStatus::jsonHasEveryFieldAndTheSettings() {
    Rig rig;
    const QJsonObject json = rig.json();
    for (const char *key :
         {"active_input", "outputs", "resolution", "refresh_rate", "scan", "3d", "vic", "hdmi",
          "pixel_clock_band", "colour_space", "bit_depth", "quantization_range", "colorimetry", "hdr_eotf",
          "hdr_infoframe", "source_vendor", "source_product", "settings"}) {
        QVERIFY2(json.contains(key), key);
    }
    QCOMPARE(json.value("resolution").toString(), QString("1920x1080"));
    QCOMPARE(json.value("refresh_rate").toDouble(), 60.0);
    QCOMPARE(json.value("bit_depth").toInt(), 8);
    QCOMPARE(json.value("hdmi").toBool(), true);
    QVERIFY(json.value("hdr_infoframe").isNull());
    QCOMPARE(json.value("active_input").toString(), QString("top"));
    const QJsonObject settings = json.value("settings").toObject();
    QCOMPARE(settings.size(), kSettingCount);
    QCOMPARE(settings.value("input").toString(), QString("top"));
    QCOMPARE(settings.value("green-led").toString(), QString("on"));
    // Only the settings' own object names them.
    QVERIFY(!json.contains("green-led"));
    rig.box.setLively(true);
    rig.clock.advance(sim::SimulatedBox::kScriptStepMs);
    const QJsonObject hdr = rig.json();
    QCOMPARE(hdr.value("hdr_infoframe").toString().left(6), QString("02:00:"));
}

void TestTypedStatus::jsonOfAFailedRead() {
    Rig rig;
    rig.box.injectFault(Fault::Refuse, proto::kStatusRead);
    rig.box.injectFaultForRegister(Fault::Refuse, proto::kRegSourceProduct);
    const QJsonObject json = rig.json();
    QVERIFY(json.value("settings").isNull());
    QVERIFY(json.value("active_input").isNull());
    QVERIFY(json.value("source_vendor").isNull());
    QCOMPARE(json.value("resolution").toString(), QString("1920x1080"));
}

QTEST_GUILESS_MAIN(TestTypedStatus)
#include "tst_typed_status.moc"
