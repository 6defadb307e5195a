// The EDID decoder on exact bytes: the formulas and bit fields that are easy to get
// wrong, the bounds on cut-short and garbage blocks, and the JSON and comparison forms.

#include "core/edid/edid_decode.h"
#include "core/edid/edid_report.h"
#include "core/edid/edid_rules.h"
#include "core/edid_builder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

using namespace testedid;
using OptionalNits = std::optional<double>;
Q_DECLARE_METATYPE(testedid::Bytes)
Q_DECLARE_METATYPE(OptionalNits)

namespace {

bool hasFinding(const edid::EdidDecoded &d, Finding::Severity severity, const QString &part) {
    return std::any_of(d.findings.begin(), d.findings.end(), [&](const Finding &f) {
        return f.severity == severity && (f.text.contains(part) || f.where.contains(part));
    });
}

QString findingsText(const edid::EdidDecoded &d) {
    QStringList lines;
    for (const Finding &f : d.findings) {
        lines << findingLine(f);
    }
    return lines.join(QLatin1Char('\n'));
}

bool near(const OptionalNits &got, const OptionalNits &want) {
    if (got.has_value() != want.has_value()) {
        return false;
    }
    return !got || std::abs(*got - *want) <= 1e-6 * std::max(1.0, std::abs(*want));
}

} // namespace

class TestEdidDecode : public QObject {
    Q_OBJECT

private slots:
    void baseFields();
    void hdrStaticLuminance_data();
    void hdrStaticLuminance();
    void hdmiForumFrl_data();
    void hdmiForumFrl();
    void dolbyVision_data();
    void dolbyVision();
    void audioFormats_data();
    void audioFormats();
    void ycbcr420Map_data();
    void ycbcr420Map();
    void bounds_data();
    void bounds();
    void detailLines_data();
    void detailLines();
    void jsonKeys();
    void comparison();
    void readAsSourceReads_data();
    void readAsSourceReads();
    void findingsPlaced_data();
    void findingsPlaced();
    void readmeListsEveryRule();
};

void TestEdidDecode::baseFields() {
    // With a Video Capability Data Block (RGB and YCbCr quantization selectable), which the
    // strict rules ask for, it breaks none.
    const edid::EdidDecoded d = edid::decodeEdid(ctaEdid(extendedBlock(0x00, {0xC0})));
    QCOMPARE(d.base.manufacturer, QStringLiteral("SAM"));
    QCOMPARE(d.base.productCode, uint16_t{0x1234});
    QCOMPARE(d.base.serialNumber, 0x12345678u);
    QCOMPARE(d.base.week, uint8_t{12});
    QCOMPARE(d.base.year, uint16_t{2020});
    QCOMPARE(d.base.productName.value_or(QString()), QStringLiteral("TEST TV"));
    const edid::DetailedTiming *t = d.preferredTiming();
    QVERIFY(t != nullptr);
    QCOMPARE(t->hActive, uint16_t{3840});
    QCOMPARE(t->vActive, uint16_t{2160});
    QCOMPARE(t->pixelClockKhz, 594000u);
    QCOMPARE(t->refreshHz, 60.0);
    QCOMPARE(d.checksumsOk, (std::vector<bool>{true, true}));
    QVERIFY2(d.findings.empty(), qPrintable(findingsText(d)));
}

// Luminance codes: max and frame average 50 * 2^(code/32); min max * (code/255)^2 / 100,
// each present only when the block is long enough to hold it.
void TestEdidDecode::hdrStaticLuminance_data() {
    QTest::addColumn<Bytes>("payload");
    QTest::addColumn<OptionalNits>("max");
    QTest::addColumn<OptionalNits>("frameAverage");
    QTest::addColumn<OptionalNits>("min");
    QTest::addColumn<QStringList>("eotfs");
    QTest::newRow("all three") << Bytes{0x0D, 0x01, 96, 64, 255} << OptionalNits(400) << OptionalNits(200)
                               << OptionalNits(4.0) << QStringList{"SDR", "PQ", "HLG"};
    QTest::newRow("code 0 is 50 cd/m2") << Bytes{0x04, 0x01, 0, 0, 0} << OptionalNits(50) << OptionalNits(50)
                                        << OptionalNits(0.0) << QStringList{"PQ"};
    QTest::newRow("odd code") << Bytes{0x07, 0x01, 97, 86, 28} << OptionalNits(50 * std::pow(2.0, 97 / 32.0))
                              << OptionalNits(50 * std::pow(2.0, 86 / 32.0))
                              << OptionalNits(50 * std::pow(2.0, 97 / 32.0) * (28 / 255.0) * (28 / 255.0) /
                                              100)
                              << QStringList{"SDR", "HDR", "PQ"};
    QTest::newRow("no luminance") << Bytes{0x0F, 0x01} << OptionalNits() << OptionalNits() << OptionalNits()
                                  << QStringList{"SDR", "HDR", "PQ", "HLG"};
    QTest::newRow("max only") << Bytes{0x04, 0x01, 32} << OptionalNits(100) << OptionalNits()
                              << OptionalNits() << QStringList{"PQ"};
}

void TestEdidDecode::hdrStaticLuminance() {
    QFETCH(Bytes, payload);
    QFETCH(OptionalNits, max);
    QFETCH(OptionalNits, frameAverage);
    QFETCH(OptionalNits, min);
    QFETCH(QStringList, eotfs);
    // The byte after the block looks like a luminance code and must not be read as one.
    const Bytes blocks = concat({extendedBlock(0x06, payload), block(2, {0x10})});
    const edid::EdidDecoded d = edid::decodeEdid(ctaEdid(blocks));
    QCOMPARE(d.cta.size(), size_t{1});
    QVERIFY(d.cta[0].hdrStatic.has_value());
    const edid::HdrStatic &h = *d.cta[0].hdrStatic;
    QVERIFY2(near(h.maxLuminance, max), qPrintable(QString::number(h.maxLuminance.value_or(-1))));
    QVERIFY(near(h.maxFrameAverageLuminance, frameAverage));
    QVERIFY2(near(h.minLuminance, min), qPrintable(QString::number(h.minLuminance.value_or(-1))));
    QCOMPARE(edid::eotfNames(h.eotfs), eotfs);
    QCOMPARE(d.cta[0].videos.size(), size_t{1});
    const QJsonObject json = edid::edidJson(d)[QStringLiteral("hdr_static")].toObject();
    QCOMPARE(json[QStringLiteral("eotfs")].toArray().toVariantList().size(), eotfs.size());
    QCOMPARE(json[QStringLiteral("max_luminance")].isNull(), !max.has_value());
    QCOMPARE(json[QStringLiteral("min_luminance")].isNull(), !min.has_value());
}

void TestEdidDecode::hdmiForumFrl_data() {
    QTest::addColumn<Bytes>("blocks");
    QTest::addColumn<int>("gbps");
    QTest::addColumn<bool>("allm");
    QTest::addColumn<int>("vrrMax");
    QTest::addColumn<bool>("reservedFinding");
    const auto vsdb = [](uint8_t frlByte, const Bytes &more) {
        Bytes p = {0xD8, 0x5D, 0xC4, 0x01, 0x78, 0x80, frlByte};
        p.insert(p.end(), more.begin(), more.end());
        return block(3, p);
    };
    QTest::newRow("no FRL") << vsdb(0x00, {}) << 0 << false << -1 << false;
    QTest::newRow("3G x 3") << vsdb(0x10, {}) << 9 << false << -1 << false;
    QTest::newRow("6G x 3") << vsdb(0x20, {}) << 18 << false << -1 << false;
    QTest::newRow("6G x 4") << vsdb(0x30, {}) << 24 << false << -1 << false;
    QTest::newRow("8G x 4") << vsdb(0x40, {}) << 32 << false << -1 << false;
    QTest::newRow("10G x 4") << vsdb(0x50, {0x02}) << 40 << true << -1 << false;
    // The LG C9's block: 48 Gbps, 4:2:0 10 and 12 bit, ALLM and Mdelta, VRR 40-120.
    QTest::newRow("12G x 4, VRR") << vsdb(0x63, {0x22, 0x28, 0x78}) << 48 << true << 120 << false;
    QTest::newRow("VRR max high bits")
        << vsdb(0x60, {0x00, 0xC0 | 48, 0x20}) << 48 << false << (0x300 | 0x20) << false;
    QTest::newRow("reserved 7") << vsdb(0x70, {}) << 0 << false << -1 << true;
    QTest::newRow("SCDB form") << extendedBlock(0x79, {0x00, 0x00, 0x01, 0x78, 0x80, 0x50, 0x02}) << 40
                               << true << -1 << false;
}

void TestEdidDecode::hdmiForumFrl() {
    QFETCH(Bytes, blocks);
    QFETCH(int, gbps);
    QFETCH(bool, allm);
    QFETCH(int, vrrMax);
    QFETCH(bool, reservedFinding);
    const edid::EdidDecoded d = edid::decodeEdid(ctaEdid(blocks));
    QVERIFY(d.cta.at(0).hdmiForum.has_value());
    const edid::HdmiForum &f = *d.cta[0].hdmiForum;
    QCOMPARE(edid::frlGbps(f.maxFrlCode), gbps);
    QCOMPARE(f.maxTmdsMhz, uint16_t{600});
    QVERIFY(f.scdc);
    QCOMPARE(f.allm, allm);
    QCOMPARE(f.vrrMax ? int{*f.vrrMax} : -1, vrrMax);
    QCOMPARE(hasFinding(d, Finding::Severity::Failure, QStringLiteral("Max_FRL_Rate")), reservedFinding);
    const QJsonObject json = edid::edidJson(d)[QStringLiteral("hdmi_forum")].toObject();
    QCOMPARE(json[QStringLiteral("max_frl_gbps")].toInt(), gbps);
    QCOMPARE(json[QStringLiteral("allm")].toBool(), allm);
}

void TestEdidDecode::dolbyVision_data() {
    QTest::addColumn<Bytes>("payload"); // after the OUI
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("dmVersion");
    QTest::addColumn<OptionalNits>("minNits");
    QTest::addColumn<OptionalNits>("maxNits");
    QTest::addColumn<bool>("cutShort"); // a warning: edid-decode finds no failure there
    // LG OLED C9: version 1, 12 bytes: DM 4, 2160p60, 700 cd/m2, (1/127)^2, P3.
    QTest::newRow("v1 12 bytes") << Bytes{0x2A, 0x18, 0x03, 0x51, 0x59, 0x99, 0xAA} << 1 << 4
                                 << OptionalNits(1.0 / (127.0 * 127.0)) << OptionalNits(700) << false;
    QTest::newRow("v1 15 bytes") << Bytes{0x26, 0x18, 0x09, 0xA0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00} << 1
                                 << 3 << OptionalNits(16.0 / (127.0 * 127.0)) << OptionalNits(700) << false;
    // Sony X900F: version 2: min PQ 20, max PQ 2055 + 65 * 16 = 3095, through the
    // SMPTE ST 2084 curve of 12-bit codes (code / 4095).
    QTest::newRow("v2") << Bytes{0x45, 0x0B, 0x80, 0x86, 0x60, 0x76, 0x8F} << 2 << 3
                        << OptionalNits(0.00063665) << OptionalNits(1037.11) << false;
    // Version 0: PQ codes 0xEED and 0xFFD from bytes 13 to 15, DM version 1.
    QTest::newRow("v0") << Bytes{0x03, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA,
                                 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x10, 0x7F, 0x21, 0x40, 0x00}
                        << 0 << 1 << OptionalNits(5315.1385067) << OptionalNits(9953.45) << false;
    QTest::newRow("v1 cut short") << Bytes{0x2A, 0x18} << 1 << 4 << OptionalNits() << OptionalNits() << true;
    QTest::newRow("v0 cut short") << Bytes{0x03, 0x00, 0x00} << 0 << -1 << OptionalNits() << OptionalNits()
                                  << true;
}

void TestEdidDecode::dolbyVision() {
    QFETCH(Bytes, payload);
    QFETCH(int, version);
    QFETCH(int, dmVersion);
    QFETCH(OptionalNits, minNits);
    QFETCH(OptionalNits, maxNits);
    QFETCH(bool, cutShort);
    Bytes p = {0x46, 0xD0, 0x00};
    p.insert(p.end(), payload.begin(), payload.end());
    const edid::EdidDecoded d = edid::decodeEdid(ctaEdid(extendedBlock(0x01, p)));
    QVERIFY(d.cta.at(0).dolbyVision.has_value());
    const edid::DolbyVision &dv = *d.cta[0].dolbyVision;
    QCOMPARE(int{dv.version}, version);
    QCOMPARE(dv.dmVersion.value_or(-1), dmVersion);
    QCOMPARE(dv.targetMinLuminance.has_value(), minNits.has_value());
    if (minNits) {
        QVERIFY2(std::abs(*dv.targetMinLuminance - *minNits) <= 1e-8 + *minNits * 1e-5,
                 qPrintable(QString::number(*dv.targetMinLuminance, 'g', 10)));
        QVERIFY2(std::abs(*dv.targetMaxLuminance - *maxNits) <= 0.5,
                 qPrintable(QString::number(*dv.targetMaxLuminance)));
    }
    QCOMPARE(hasFinding(d, Finding::Severity::Warning, QStringLiteral("Dolby")), cutShort);
    if (version == 2) {
        QCOMPARE(dv.targetMinPq.value_or(0), uint16_t{20});
        QCOMPARE(dv.targetMaxPq.value_or(0), uint16_t{3095});
    } else if (version == 0 && !cutShort) {
        QCOMPARE(dv.targetMinPq.value_or(0), uint16_t{0xEED});
        QCOMPARE(dv.targetMaxPq.value_or(0), uint16_t{0xFFD});
    }
    QCOMPARE(edid::edidJson(d)[QStringLiteral("dolby_vision")].toObject()[QStringLiteral("version")].toInt(),
             version);
}

void TestEdidDecode::audioFormats_data() {
    QTest::addColumn<Bytes>("sad");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QList<double>>("rates");
    QTest::addColumn<bool>("atmos");
    QTest::addColumn<int>("bitrate");
    QTest::newRow("LPCM 2ch") << Bytes{0x09, 0x7F, 0x07} << "LPCM" << 2
                              << QList<double>{192, 176.4, 96, 88.2, 48, 44.1, 32} << false << 0;
    QTest::newRow("LPCM 8ch") << Bytes{0x0F, 0x07, 0x07} << "LPCM" << 8 << QList<double>{48, 44.1, 32}
                              << false << 0;
    QTest::newRow("AC-3 640k") << Bytes{0x15, 0x07, 0x50} << "AC-3" << 6 << QList<double>{48, 44.1, 32}
                               << false << 640;
    QTest::newRow("E-AC-3 JOC") << Bytes{0x57, 0x06, 0x01} << "E-AC-3" << 8 << QList<double>{48, 44.1} << true
                                << 0;
    QTest::newRow("E-AC-3 plain") << Bytes{0x57, 0x06, 0x00} << "E-AC-3" << 8 << QList<double>{48, 44.1}
                                  << false << 0;
    QTest::newRow("MAT") << Bytes{0x67, 0x54, 0x00} << "MAT (TrueHD)" << 8 << QList<double>{192, 96, 48}
                         << false << 0;
    QTest::newRow("DTS") << Bytes{0x3D, 0x1E, 0xC0} << "DTS" << 6 << QList<double>{96, 88.2, 48, 44.1}
                         << false << 1536;
    QTest::newRow("DTS-HD") << Bytes{0x5F, 0x7E, 0x01} << "DTS-HD" << 8
                            << QList<double>{192, 176.4, 96, 88.2, 48, 44.1} << false << 0;
    // AC-4 states no channel count; L-PCM 3D Audio has five bits of it in three bytes.
    QTest::newRow("extended AC-4") << Bytes{0x7D, 0x06, 0x60} << "AC-4" << 0 << QList<double>{48, 44.1}
                                   << false << 0;
    QTest::newRow("L-PCM 3D 32 channels")
        << Bytes{0xFF, 0x86, 0x68} << "L-PCM 3D Audio" << 32 << QList<double>{48, 44.1} << false << 0;
}

void TestEdidDecode::audioFormats() {
    QFETCH(Bytes, sad);
    QFETCH(QString, name);
    QFETCH(int, channels);
    QFETCH(QList<double>, rates);
    QFETCH(bool, atmos);
    QFETCH(int, bitrate);
    const edid::EdidDecoded d = edid::decodeEdid(ctaEdid(block(1, sad)));
    QCOMPARE(d.cta.at(0).audio.size(), size_t{1});
    const edid::AudioFormat &f = d.cta[0].audio[0];
    QCOMPARE(edid::audioFormatName(f), name);
    QCOMPARE(int{f.maxChannels}, channels);
    const edid::AudioRates got = edid::audioRatesKhz(f.sampleRates);
    QCOMPARE(QList<double>(got.begin(), got.end()), rates);
    QCOMPARE(f.jointObjectCoding, atmos);
    QCOMPARE(int{f.maxBitrateKbps}, bitrate);
    QCOMPARE(edid::edidSummary(d).atmos, atmos);
}

void TestEdidDecode::ycbcr420Map_data() {
    QTest::addColumn<Bytes>("blocks");
    QTest::addColumn<QList<int>>("ycbcr420");
    QTest::addColumn<bool>("warning");
    const Bytes vdb = block(2, {97, 96, 16, 4});
    QTest::newRow("empty map: all") << concat({vdb, extendedBlock(0x0F, {})}) << QList<int>{97, 96, 16, 4}
                                    << false;
    QTest::newRow("bits 0 and 2") << concat({vdb, extendedBlock(0x0F, {0x05})}) << QList<int>{97, 16}
                                  << false;
    QTest::newRow("map before video")
        << concat({extendedBlock(0x0F, {0x02}), vdb}) << QList<int>{96} << false;
    QTest::newRow("bit past the descriptors")
        << concat({vdb, extendedBlock(0x0F, {0x11})}) << QList<int>{97} << true;
    QTest::newRow("two video blocks")
        << concat({vdb, block(2, {0x81, 5}), extendedBlock(0x0F, {0x30})}) << QList<int>{1, 5} << false;
    QTest::newRow("4:2:0 only block")
        << concat({vdb, extendedBlock(0x0E, {118, 117})}) << QList<int>{118, 117} << false;
}

void TestEdidDecode::ycbcr420Map() {
    QFETCH(Bytes, blocks);
    QFETCH(QList<int>, ycbcr420);
    QFETCH(bool, warning);
    const edid::EdidDecoded d = edid::decodeEdid(ctaEdid(blocks));
    QList<int> got;
    for (const QVariant &v : edid::edidJson(d)[QStringLiteral("ycbcr420_vics")].toArray().toVariantList()) {
        got << v.toInt();
    }
    QCOMPARE(got, ycbcr420);
    QCOMPARE(hasFinding(d, Finding::Severity::Warning, QStringLiteral("names no video descriptor")), warning);
}

// Cut-short and garbage input: each gives its finding and decodes what the stated
// lengths allow, nothing from beyond them.
void TestEdidDecode::bounds_data() {
    QTest::addColumn<Bytes>("edid");
    QTest::addColumn<bool>("failure");
    QTest::addColumn<QString>("finding");
    QTest::addColumn<int>("blocksChecked");

    QTest::newRow("empty") << Bytes{} << true << "at least one block" << 0;
    QTest::newRow("127 bytes") << Bytes(127, 0) << true << "at least one block" << 0;
    Bytes base = baseBlock(1);
    QTest::newRow("extension missing") << base << true << "1 extension blocks stated, 0 present" << 1;
    Bytes partial = ctaEdid({});
    partial.resize(200);
    QTest::newRow("extension cut short") << partial << true << "1 extension blocks stated, 0 present" << 1;
    Bytes garbage(256, 0xFF);
    QTest::newRow("all 0xFF") << garbage << true << "header" << 2;
    // The data block says 31 bytes: past the 8 the offset byte leaves for the collection.
    Bytes overlong = ctaEdid(concat({block(1, {0x09, 0x07, 0x07}), Bytes{0x3F, 0x01, 0x02}}));
    QTest::newRow("data block past the collection")
        << overlong << true << "runs past the data block collection" << 2;
    Bytes pastBlock = ctaEdid({});
    pastBlock[128 + 2] = 0xC8; // timings from 200
    fixChecksum(pastBlock, 1);
    QTest::newRow("offset past the block") << pastBlock << true << "past the block" << 2;
    QTest::newRow("latency cut short")
        << ctaEdid(block(3, {0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x3C, 0xC0, 0x10})) << false
        << "latency fields cut short" << 2;
    Bytes badSum = ctaEdid({});
    badSum[255] ^= 1;
    QTest::newRow("checksum") << badSum << true << "should be" << 2;
    QTest::newRow("audio not 3-byte")
        << ctaEdid(block(1, {0x09, 0x07, 0x07, 0x15})) << true << "not a multiple of 3" << 2;
}

void TestEdidDecode::bounds() {
    QFETCH(Bytes, edid);
    QFETCH(bool, failure);
    QFETCH(QString, finding);
    QFETCH(int, blocksChecked);
    const edid::EdidDecoded d = edid::decodeEdid(edid);
    QVERIFY2(hasFinding(d, failure ? Finding::Severity::Failure : Finding::Severity::Warning, finding),
             qPrintable(findingsText(d)));
    QCOMPARE(int(d.checksumsOk.size()), blocksChecked);
    // Every front end form is built from whatever was decoded.
    QVERIFY(!edid::edidDetailLines(d).isEmpty());
    QVERIFY(!QJsonDocument(edid::edidJson(d)).toJson().isEmpty());
    QCOMPARE(edid::compareSummaries({edid::edidSummary(d)}).size(), size_t{21});
}

// The lines the window and the command line show for the parts a user looks for.
void TestEdidDecode::detailLines_data() {
    QTest::addColumn<Bytes>("edid");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("HDR static")
        << ctaEdid(extendedBlock(0x06, {0x0D, 0x01, 97, 86, 28}))
        << QStringList{"  HDR Static Metadata: EOTFs SDR, PQ, HLG; static metadata type 1: yes",
                       "    Desired content max luminance: 97 (408.759 cd/m²)",
                       "    Desired content max frame-average luminance: 86 (322.098 cd/m²)",
                       "    Desired content min luminance: 28 (0.0493 cd/m²)"};
    QTest::newRow("HF-VSDB") << ctaEdid(
                                    block(3, {0xD8, 0x5D, 0xC4, 0x01, 0x78, 0x80, 0x63, 0x22, 0x28, 0x78}))
                             << QStringList{"    SCDC: yes, max FRL: 12 Gbps x 4 lanes (48 Gbps)",
                                            "    4:2:0 deep colour: 12, 10 bits/component", "    ALLM: yes",
                                            "    VRR: 40 to 120 Hz"};
    QTest::newRow("VICs") << ctaEdid(block(2, {0x90, 97, 6, 219}))
                          << QStringList{"    VIC  16: 1920x1080p60 16:9 (native)",
                                         "    VIC  97: 3840x2160p60 16:9", "    VIC   6: 1440x480i59.94 4:3",
                                         "    VIC 219: 4096x2160p120"};
    Bytes badSum = ctaEdid({});
    badSum[127] ^= 0xFF;
    QTest::newRow("checksum") << badSum
                              << QStringList{"  Checksum of block 0: 0x8d (WRONG)",
                                             "Failure: Block 0, Checksum: 0x8d, should be 0x72"};
    QTest::newRow("DisplayID named") << concat({baseBlock(1), Bytes(1, 0x70), Bytes(127, 0)})
                                     << QStringList{"Block 1, DisplayID (not decoded)"};
}

void TestEdidDecode::detailLines() {
    QFETCH(Bytes, edid);
    QFETCH(QStringList, lines);
    const QStringList got = edid::edidDetailLines(edid::decodeEdid(edid));
    for (const QString &line : lines) {
        QVERIFY2(got.contains(line), qPrintable(line + QLatin1String("\n not in\n") + got.join('\n')));
    }
}

void TestEdidDecode::jsonKeys() {
    const QJsonObject json = edid::edidJson(edid::decodeEdid(ctaEdid(block(2, {97}))));
    QStringList keys = json.keys();
    keys.sort();
    QStringList expected = {"checksums_ok",
                            "manufacturer",
                            "product_code",
                            "serial_number",
                            "name",
                            "names",
                            "edid_version",
                            "extension_count",
                            "hf_eeodb_extension_count",
                            "preferred_timing",
                            "vics",
                            "native_vics",
                            "ycbcr420_vics",
                            "audio",
                            "hdr_static",
                            "hdmi",
                            "hdmi_forum",
                            "dolby_vision",
                            "hdr10plus",
                            "warnings",
                            "failures",
                            "findings"};
    expected.sort();
    QCOMPARE(keys, expected);
    QStringList timingKeys = json[QStringLiteral("preferred_timing")].toObject().keys();
    timingKeys.sort();
    QCOMPARE(timingKeys, (QStringList{"h_active", "pixel_clock_khz", "refresh_hz", "v_active"}));
    QCOMPARE(json[QStringLiteral("name")].toString(), QStringLiteral("TEST TV"));
    QVERIFY(json[QStringLiteral("hdmi")].isNull());
    QCOMPARE(json[QStringLiteral("edid_version")].toString(), QStringLiteral("1.3"));
}

void TestEdidDecode::comparison() {
    const Bytes hdmi = block(3, {0x03, 0x0C, 0x00, 0x10, 0x00});
    const Bytes atmos = block(1, {0x09, 0x07, 0x07, 0x57, 0x06, 0x01});
    const Bytes plain = block(1, {0x09, 0x07, 0x07, 0x57, 0x06, 0x00});
    const std::vector<edid::EdidSummary> summaries = {
        edid::edidSummary(edid::decodeEdid(ctaEdid(concat({hdmi, atmos})))),
        edid::edidSummary(edid::decodeEdid(ctaEdid(concat({hdmi, plain})))),
        edid::edidSummary(edid::decodeEdid(Bytes(10, 0)))};
    const std::vector<edid::SummaryRow> rows = edid::compareSummaries(summaries);
    const auto row = [&](const char *label) {
        return *std::find_if(rows.begin(), rows.end(),
                             [&](const edid::SummaryRow &r) { return r.label == QLatin1String(label); });
    };
    QCOMPARE(row("Dolby Atmos (E-AC-3 JOC)").values, (QStringList{"yes", "no", "-"}));
    QVERIFY(row("Dolby Atmos (E-AC-3 JOC)").differs);
    QCOMPARE(row("Physical address").values, (QStringList{"1.0.0.0", "1.0.0.0", "-"}));
    QCOMPARE(row("Max resolution").values.front(), QStringLiteral("3840x2160 @ 60.00 Hz"));
}

// The EDID as a source reads it, where the decoder once read it otherwise: a key of the
// JSON object and its value, and a line of the decoded view.
void TestEdidDecode::readAsSourceReads_data() {
    QTest::addColumn<Bytes>("edid");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QString>("line");
    QTest::newRow("HF-EEODB: both counts") << eeodbEdid() << "hf_eeodb_extension_count" << QJsonValue(3)
                                           << "  Extension blocks by the HF-EEODB of block 1: 3";
    QTest::newRow("HF-EEODB: the blocks it counts")
        << eeodbEdid() << "checksums_ok" << QJsonValue(QJsonArray{true, true, true, true})
        << "  Detailed timing: 2560x1080 61.411 Hz, pixel clock 185.58 MHz, 798 mm x 334 mm";
    QTest::newRow("HF-EEODB: byte 126 kept")
        << eeodbEdid() << "extension_count" << QJsonValue(1) << "  Extension blocks: 1";
    // Bits 3 and 4 of the map name the 4th and 5th descriptors: the reserved first one counts.
    QTest::newRow("4:2:0 map over a reserved SVD")
        << ctaEdid(concat({block(2, {0x00, 31, 5, 96, 97}), extendedBlock(0x0F, {0x18})})) << "ycbcr420_vics"
        << QJsonValue(QJsonArray{96, 97}) << "    VIC  96: 3840x2160p50 16:9 (also 4:2:0)";
    Bytes afterSerial = ctaEdid({});
    const Bytes cta = ctaBlock(block(2, {16}), {textDescriptor(0xFF, "SN123"), wideTiming()});
    std::copy(cta.begin(), cta.end(), afterSerial.begin() + 128);
    QTest::newRow("timing after a serial number descriptor")
        << afterSerial << "vics" << QJsonValue(QJsonArray{16})
        << "  Detailed timing: 2560x1080 61.411 Hz, pixel clock 185.58 MHz, 798 mm x 334 mm";
    const Bytes twoNames = withBytes(ctaEdid({}), 0, 90, textDescriptor(0xFC, "Display"));
    QTest::newRow("name over two descriptors")
        << withBytes(twoNames, 0, 72, textDescriptor(0xFC, "Apple Cinema ")) << "names"
        << QJsonValue(QJsonArray{"Apple Cinema ", "Display"}) << "  Display product name: 'Display'";
    const Bytes emptyNames =
        withBytes(withBytes(ctaEdid({}), 0, 90, textDescriptor(0xFC, "")), 0, 108, textDescriptor(0xFC, ""));
    QTest::newRow("name before two empty ones")
        << withBytes(emptyNames, 0, 72, textDescriptor(0xFC, "Digital")) << "name" << QJsonValue("Digital")
        << "  Display product name: ''";
    QTest::newRow("two HDMI VSDBs: the first")
        << ctaEdid(
               concat({block(3, {0x03, 0x0C, 0x00, 0x10, 0x00}), block(3, {0x03, 0x0C, 0x00, 0x20, 0x00})}))
        << "hdmi" << QJsonValue(QJsonObject{{"physical_address", "1.0.0.0"}, {"max_tmds_mhz", QJsonValue()}})
        << "  HDMI VSDB: physical address 1.0.0.0";
    const Bytes limits = {0,  0, 0,    0xFD, 0x0A, 30,   100,  30,   160,
                          60, 0, 0x0A, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20};
    QTest::newRow("range limits of EDID 1.3: no offsets")
        << withBytes(ctaEdid({}), 0, 90, limits) << "edid_version" << QJsonValue("1.3")
        << "  Range limits: 30-100 Hz V, 30-160 kHz H, max pixel clock 600 MHz";
    Bytes version14 = withBytes(ctaEdid({}), 0, 90, limits);
    version14[19] = 4;
    fixChecksum(version14, 0);
    QTest::newRow("range limits of EDID 1.4: offsets")
        << version14 << "edid_version" << QJsonValue("1.4")
        << "  Range limits: 30-355 Hz V, 30-415 kHz H, max pixel clock 600 MHz";
}

void TestEdidDecode::readAsSourceReads() {
    QFETCH(Bytes, edid);
    QFETCH(QString, key);
    QFETCH(QJsonValue, value);
    QFETCH(QString, line);
    const edid::EdidDecoded d = edid::decodeEdid(edid);
    QCOMPARE(edid::edidJson(d)[key], value);
    const QStringList lines = edid::edidDetailLines(d);
    QVERIFY2(lines.contains(line), qPrintable(lines.join(QLatin1Char('\n'))));
}

// Each rule where its finding stands: the rule, severity, place, block, byte and text.
void TestEdidDecode::findingsPlaced_data() {
    QTest::addColumn<Bytes>("edid");
    QTest::addColumn<QString>("rule");
    QTest::addColumn<bool>("failure");
    QTest::addColumn<QString>("where");
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("byte");
    QTest::addColumn<QString>("text");
    const Bytes vcdb = extendedBlock(0x00, {0xC0});
    const auto row = [](const char *name, const Bytes &edid, const char *rule, bool failure,
                        const char *where, int block, int byte, const char *text) {
        QTest::newRow(name) << edid << rule << failure << where << block << byte << text;
    };
    row("HF-EEODB not first", concat({baseBlock(1), ctaBlock(concat({vcdb, Bytes{0xE2, 0x78, 0x02}}))}),
        "cta.hf-eeodb.position", false, "Block 1, HDMI Forum EDID Extension Override Data Block", 1, 7,
        "not the first data block of block 1, where a source reads it; ignored");
    Bytes eeodbShort = eeodbEdid();
    eeodbShort.resize(256);
    row("HF-EEODB blocks not in the image", eeodbShort, "cta.hf-eeodb.blocks-missing", false,
        "Block 0, Base EDID", 0, 126,
        "the HF-EEODB states 3 extension blocks, 1 present: the image holds those byte 126 states, as a "
        "reader "
        "that knows no HF-EEODB reads them");
    row("HF-EEODB count 0", eeodbEdid(0), "cta.hf-eeodb.count", true,
        "Block 1, HDMI Forum EDID Extension Override Data Block", 1, 4,
        "no count of extension blocks; ignored");
    row("blocks past those stated", concat({ctaEdid(vcdb), ctaBlock({})}), "edid.extensions.extra", false,
        "Block 0, Base EDID", 0, 126,
        "1 extension blocks stated, 2 present; a source reads none of the 1 after them");
    row("no VCDB", ctaEdid({}), "cta.vcdb.missing", false, "Block 1, CTA-861 Extension Block", 1, -1,
        "no Video Capability Data Block: RGB quantization range not selectable");
    row("RGB range not selectable", ctaEdid(extendedBlock(0x00, {0x80})), "cta.vcdb.rgb-not-selectable",
        false, "Block 1, Video Capability Data Block", 1, 4, "RGB quantization range not selectable (QS 0)");
    row("duplicate VIC", ctaEdid(concat({vcdb, block(2, {16, 97}), block(2, {0x90})})),
        "cta.vdb.duplicate-vic", false, "Block 1, Video Data Block", 1, 10, "duplicate VIC 16");
    row("HDMI VIC without its VIC",
        ctaEdid(concat({vcdb, block(2, {16}),
                        block(3, {0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x20, 0x20, 0x00, 0x20, 1})})),
        "cta.hdmi-vsdb.vic-not-in-vdb", false, "Block 1, Vendor-Specific Data Block (HDMI), OUI 00-0C-03", 1,
        9, "HDMI VIC 1 without VIC 95 in a Video Data Block");
    row("HDMI VSDB above 340 MHz",
        ctaEdid(concat({vcdb, block(3, {0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x48})})),
        "cta.hdmi-vsdb.tmds-above-340", false, "Block 1, Vendor-Specific Data Block (HDMI), OUI 00-0C-03", 1,
        7, "maximum TMDS clock 360 MHz, above the 340 MHz of this block");
    row("second HDMI VSDB",
        ctaEdid(concat(
            {vcdb, block(3, {0x03, 0x0C, 0x00, 0x10, 0x00}), block(3, {0x03, 0x0C, 0x00, 0x20, 0x00})})),
        "cta.hdmi-vsdb.duplicate", false, "Block 1, Vendor-Specific Data Block (HDMI), OUI 00-0C-03", 1, 13,
        "a second HDMI VSDB");
    row("reserved extended audio code", ctaEdid(concat({vcdb, block(1, {0x7F, 0x07, 9 << 3})})),
        "cta.adb.reserved-format", false, "Block 1, Audio Data Block", 1, 7,
        "reserved extended audio format code 9");
    row("8 channels, no speakers", ctaEdid(concat({vcdb, block(1, {0x0F, 0x07, 0x07})})),
        "cta.audio.speaker-allocation.missing", false, "Block 1, Audio Data Block", 1, 7,
        "LPCM of 8 channels, and no Speaker Allocation Data Block");
    row("reserved Colorimetry bits", ctaEdid(concat({vcdb, extendedBlock(0x05, {0x80, 0x01})})),
        "cta.colorimetry.reserved-bits", false, "Block 1, Colorimetry Data Block", 1, 7,
        "reserved bits MD0-MD3 set (0x1)");
    row("first VIC preferred over the first timing", ctaEdid(concat({vcdb, block(2, {16, 97})})),
        "cta.vdb.preferred-vic", false, "Block 1, Video Data Block", 1, 7,
        "VIC 16 is the preferred timing, overriding the first detailed timing (no native detailed timing "
        "stated)");
    // VIC 16 with a front porch of 80 pixels and the sync 8 pixels later: not VIC 16.
    row("nearly VIC 16",
        withBytes(ctaEdid(vcdb), 0, 54,
                  {0x02, 0x3A, 0x80, 0x18, 0x71, 0x38, 0x2D, 0x40, 0x50, 0x2C, 0x45, 0x00, 0x40, 0x84, 0x63,
                   0, 0, 0x1E}),
        "dtd.near-vic", false, "Block 0, Base EDID", 0, 54,
        "1920x1080: nearly VIC 16 (1920x1080p60 16:9), with other porches, syncs or sync polarities");
    row("timing after a display descriptor",
        concat({baseBlock(1), ctaBlock(vcdb, {Bytes{0, 0, 0, 0x10, 0}, wideTiming()})}),
        "cta.dtd.after-descriptor", false, "Block 1, CTA-861 Extension Block", 1, 25,
        "2560x1080: detailed timing after a display descriptor");
    Bytes srgb = ctaEdid(vcdb);
    srgb[24] |= 0x04;
    fixChecksum(srgb, 0);
    row("sRGB without its chromaticities", srgb, "base.srgb.chromaticities", false, "Block 0, Base EDID", 0,
        24, "sRGB is the default colour space, but the chromaticities are not sRGB's");
    row("sRGB's chromaticities without sRGB",
        withBytes(ctaEdid(vcdb), 0, 25, {0xEE, 0x91, 0xA3, 0x54, 0x4C, 0x99, 0x26, 0x0F, 0x50, 0x54}),
        "base.srgb.not-signalled", false, "Block 0, Base EDID", 0, 24,
        "the chromaticities are sRGB's, but sRGB is not the default colour space");
    const Bytes limits = {0,  0, 0,    0xFD, 0x0A, 24,   61,   30,   80,
                          17, 0, 0x0A, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20};
    row("timings outside the range limits",
        withBytes(ctaEdid(concat({vcdb, block(2, {0x90})})), 0, 90, limits),
        "base.range-limits.timing-outside", false, "Block 0, Base EDID", 0, 90,
        "timings outside the range limits: horizontal 67.500-135.000 kHz (limits 30-80 kHz); pixel clock up "
        "to "
        "594.000 MHz (limit 170 MHz)");
    // The JSON carries a text with a quotation mark and a backslash as it stands.
    row("name cut by a control byte", withBytes(ctaEdid(vcdb), 0, 72, textDescriptor(0xFC, "A\"B\\C\x01")),
        "base.text.non-printable", false, "Block 0, Base EDID", 0, 72,
        "Display product name: non-printable byte 0x01 ends the text after 'A\"B\\C'");
    row("range limit offsets before EDID 1.4", withBytes(ctaEdid(vcdb), 0, 90, limits),
        "base.range-limits.offsets", false, "Block 0, Base EDID", 0, 90,
        "Display Range Limits: byte 4 is 0x0a, reserved before EDID 1.4; limits read without offsets");
}

void TestEdidDecode::findingsPlaced() {
    QFETCH(Bytes, edid);
    QFETCH(QString, rule);
    const edid::EdidDecoded d = edid::decodeEdid(edid);
    const auto found = std::find_if(d.findings.begin(), d.findings.end(), [&](const Finding &f) {
        return f.rule != nullptr && rule == QLatin1String(f.rule);
    });
    QVERIFY2(found != d.findings.end(), qPrintable(findingsText(d)));
    QTEST(found->severity == Finding::Severity::Failure, "failure");
    QTEST(found->where, "where");
    QTEST(found->block, "block");
    QTEST(found->byte, "byte");
    QTEST(found->text, "text");
    // The JSON carries it with its rule and place.
    const QJsonArray findings = edid::edidJson(d)[QStringLiteral("findings")].toArray();
    QCOMPARE(size_t(findings.size()), d.findings.size());
    const qsizetype at = found - d.findings.begin();
    QCOMPARE(findings[at][QStringLiteral("rule")].toString(), rule);
    QCOMPARE(findings[at][QStringLiteral("text")].toString(), found->text);
    QCOMPARE(findings[at][QStringLiteral("where")].toString(), found->where);
    QCOMPARE(findings[at][QStringLiteral("block")].toInt(-2), found->block < 0 ? -2 : found->block);
    QCOMPARE(findings[at][QStringLiteral("byte")].toInt(-2), found->byte < 0 ? -2 : found->byte);
    QCOMPARE(findings[at][QStringLiteral("severity")].toString(),
             found->severity == Finding::Severity::Failure ? QStringLiteral("failure")
                                                           : QStringLiteral("warning"));
}

// The README's table of the rules says of each what the decoder's table says.
void TestEdidDecode::readmeListsEveryRule() {
    QFile readme(QStringLiteral(VELTRIKA_SOURCE_DIR "/README.md"));
    QVERIFY(readme.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(readme.readAll()).split(QLatin1Char('\n'));
    QStringList ids;
    for (const edid::RuleInfo &rule : edid::edidRules()) {
        QVERIFY2(!ids.contains(QLatin1String(rule.id)), rule.id);
        ids << QLatin1String(rule.id);
        const QString row = QStringLiteral("| `%1` | %2 | %3 |")
                                .arg(QLatin1String(rule.id),
                                     rule.severity == Finding::Severity::Failure ? QStringLiteral("failure")
                                                                                 : QStringLiteral("warning"),
                                     QLatin1String(rule.meaning));
        QVERIFY2(lines.contains(row), qPrintable(row));
    }
}

QTEST_GUILESS_MAIN(TestEdidDecode)
#include "tst_edid_decode.moc"
