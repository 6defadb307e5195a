// The simulated box's own EDID in automix mode, mixed from the EDIDs of its TVs: per
// algorithm what both or either state, per option what it takes away, never more than the
// box passes (600 MHz TMDS, no FRL), and no failure edid-decode --check did not find in the
// two TVs' EDIDs. The demo's own case: under Min Mixed the source is offered two-channel
// LPCM only and no DTS:X, which the receiver on BOT decodes.

#include "core/box/status_record.h"
#include "core/edid/edid_decode.h"
#include "core/edid/edid_report.h"
#include "core/edid/video_formats.h"
#include "core/edid_oracle_check.h"
#include "sim/simulated_box.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <set>

using edidoracle::oracleFailures;
using sim::FakeLinkClock;
using sim::SimulatedBox;

namespace {

enum Option : int {
    Stereo = 1,
    Multichannel = 2,
    HdrOff = 4,
    Bt2020On = 8,
    YcbcrOff = 16,
    Remove3d = 32,
};

enum Algorithm : int { MinMixed, MaxAudioMinVideo, TopPriority, MaxAudioMaxVideo };

constexpr uint32_t kBoxLinkKhz = 600000;

EdidImage imageOf(const QString &name) {
    QFile file(QFINDTESTDATA(QStringLiteral("../data/edid/") + name));
    EdidImage image{};
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.read(image.size());
        std::copy(bytes.begin(), bytes.end(), image.begin());
    }
    return image;
}

const edid::CtaBlock &ctaOf(const edid::EdidDecoded &decoded) {
    return decoded.cta.front();
}

std::set<uint8_t> vicsOf(const edid::EdidDecoded &decoded) {
    std::set<uint8_t> out;
    for (const edid::VideoDescriptor &v : ctaOf(decoded).videos) {
        out.insert(v.vic);
    }
    return out;
}

// The codings of the audio descriptors, each with its most channels.
std::map<int, int> codingsOf(const edid::EdidDecoded &decoded) {
    std::map<int, int> out;
    for (const edid::AudioFormat &a : ctaOf(decoded).audio) {
        int &channels = out[a.code << 8 | a.extendedCode];
        channels = std::max<int>(channels, a.maxChannels);
    }
    return out;
}

bool withinLink(uint8_t vic, bool as420) {
    const VideoFormat *format = findVideoFormat(vic);
    return format != nullptr && (as420 ? format->pixelClockKhz / 2 : format->pixelClockKhz) <= kBoxLinkKhz;
}

using edidoracle::saved;

} // namespace

class TestSimMix : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void demoMinMixed();
    void mixes_data();
    void mixes();

private:
    QString oracle_;
    QTemporaryDir scratch_;
};

void TestSimMix::initTestCase() {
    QVERIFY(scratch_.isValid());
    oracle_ = QStandardPaths::findExecutable(QStringLiteral("edid-decode"));
}

// The LG C9 on TOP and the receiver on BOT, the box as it leaves the factory.
void TestSimMix::demoMinMixed() {
    FakeLinkClock clock;
    SimulatedBox box(clock);
    QCOMPARE(box.statusRecord()[record::kAutomixAlgorithm], uint8_t(MinMixed));
    const edid::EdidDecoded mixed = edid::decodeEdid(box.ownEdid());
    const edid::EdidDecoded receiver = edid::decodeEdid(box.botSinkEdid());
    const auto audioLines = [](const edid::EdidDecoded &decoded) {
        QStringList lines;
        for (const edid::AudioFormat &a : ctaOf(decoded).audio) {
            lines << QStringLiteral("%1 %2ch rates 0x%3%4")
                         .arg(edid::audioFormatName(a))
                         .arg(a.maxChannels)
                         .arg(a.sampleRates, 2, 16, QLatin1Char('0'))
                         .arg(a.dtsX                ? " DTS:X"
                              : a.jointObjectCoding ? " JOC"
                                                    : "");
        }
        return lines;
    };
    QCOMPARE(audioLines(mixed),
             (QStringList{"LPCM 2ch rates 0x57", "AC-3 6ch rates 0x07", "E-AC-3 8ch rates 0x06 JOC",
                          "MAT (TrueHD) 8ch rates 0x04", "DTS 6ch rates 0x1e", "DTS-HD 8ch rates 0x7e"}));
    // What the receiver decodes and the source is not offered.
    QVERIFY(audioLines(receiver).contains("LPCM 8ch rates 0x7f"));
    QVERIFY(audioLines(receiver).contains("DTS-HD 8ch rates 0x7e DTS:X"));
    QCOMPARE(mixed.base.productName, std::optional<QString>("VELTRIKA MIX"));
    QCOMPARE(mixed.base.manufacturer, QString("VLT"));
    QCOMPARE(mixed.base.productCode, uint16_t(0x2100));
    // 4K120 and the FRL stay with the TV: the box passes 600 MHz.
    QCOMPARE(mixed.base.rangeLimits->maxPixelClockMhz, uint16_t(600));
    QCOMPARE(ctaOf(mixed).hdmiForum->maxTmdsMhz, uint16_t(600));
    QCOMPARE(ctaOf(mixed).hdmiForum->maxFrlCode, uint8_t(0));
    QCOMPARE(vicsOf(mixed), (std::set<uint8_t>{1,  2,  3,  4,  5,  16, 18, 19, 20, 21,  31,  32,
                                               33, 34, 93, 94, 95, 96, 97, 98, 99, 100, 101, 102}));
}

void TestSimMix::mixes_data() {
    QTest::addColumn<QString>("top");
    QTest::addColumn<QString>("bot");
    QTest::addColumn<int>("algorithm");
    QTest::addColumn<int>("options");
    const QList<std::pair<QString, QString>> pairs = {
        {"lg-oled-c9-hdmi.bin", "lg-oled55b6v-hdmi-denon-avr-x2300w-hdmi.bin"},
        {"samsung-q800t-hdmi2.1.bin", "fit/receiver/onk-av-receiver-9809d9b3.bin"},
        {"sony-x900f-hdmi.bin", "fit/receiver/don-denon-avr-d4f2ce3c.bin"},
        {"fit/tv/viz-m55q7-h1-fdb07aab.bin", "panasonic-tx65gxr900-hdmi.bin"},
    };
    const QList<std::pair<const char *, int>> options = {
        {"factory", 0},
        {"2.0 Stereo", Stereo},
        {"5.1 Multi", Multichannel},
        {"HDR packet off", HdrOff},
        {"BT.2020 on", Bt2020On},
        {"Allow YCbCr off", YcbcrOff},
        {"3D Remove", Remove3d},
    };
    const char *const algorithms[] = {"Min Mixed", "Max Audio, Min Video", "TOP Output Priority",
                                      "Max Audio, Max Video"};
    for (const auto &[top, bot] : pairs) {
        for (int algorithm = MinMixed; algorithm <= MaxAudioMaxVideo; ++algorithm) {
            for (const auto &[name, option] : options) {
                QTest::addRow("%s + %s, %s, %s", qPrintable(QFileInfo(top).baseName()),
                              qPrintable(QFileInfo(bot).baseName()), algorithms[algorithm], name)
                    << top << bot << algorithm << option;
            }
        }
    }
}

void TestSimMix::mixes() {
    QFETCH(QString, top);
    QFETCH(QString, bot);
    QFETCH(int, algorithm);
    QFETCH(int, options);
    FakeLinkClock clock;
    SimulatedBox box(clock);
    box.topSinkEdid() = imageOf(top);
    box.botSinkEdid() = imageOf(bot);
    record::StatusRecord &settings = box.statusRecord();
    settings[record::kAutomixAlgorithm] = uint8_t(algorithm);
    settings[record::kForceStereo] = (options & Stereo) != 0;
    settings[record::kForceMultichannel] = (options & Multichannel) != 0;
    settings[record::kHdrPacket] = (options & HdrOff) == 0;
    settings[record::kBt2020] = (options & Bt2020On) != 0;
    settings[record::kAllowYcbcr] = (options & YcbcrOff) == 0;
    settings[record::kRemove3d] = (options & Remove3d) != 0;
    const EdidImage image = box.ownEdid();
    QVERIFY(edidChecksumsRight(image));
    const edid::EdidDecoded mixed = edid::decodeEdid(image);
    const edid::EdidDecoded ours = edid::decodeEdid(box.topSinkEdid()),
                            theirs = edid::decodeEdid(box.botSinkEdid());
    QVERIFY(mixed.valid() && mixed.cta.size() == 1);
    QCOMPARE(mixed.base.productName, std::optional<QString>("VELTRIKA MIX"));
    QCOMPARE(mixed.base.productCode, uint16_t(0x2100 + algorithm));
    const edid::CtaBlock &cta = ctaOf(mixed);

    // Never more than the box passes.
    if (cta.hdmiForum) {
        QVERIFY(cta.hdmiForum->maxTmdsMhz <= 600 && cta.hdmiForum->maxFrlCode == 0);
    }
    for (const edid::VideoDescriptor &v : cta.videos) {
        QVERIFY2(withinLink(v.vic, v.ycbcr420Capable), qPrintable(QString::number(v.vic)));
    }
    // Video: what both state, what either states, or TOP's; every format of it the box passes
    // stays, but 4096-wide ones where a fit needed their bytes.
    const std::set<uint8_t> topVics = vicsOf(ours), botVics = vicsOf(theirs), vics = vicsOf(mixed);
    const bool eitherVideo = algorithm == MaxAudioMaxVideo;
    constexpr uint8_t kVga = 1; // 640x480p60, which every sink takes: where either states it
    std::set<uint8_t> wanted;
    for (const uint8_t vic : topVics) {
        if (algorithm == TopPriority || eitherVideo || botVics.count(vic) == 1 || vic == kVga) {
            wanted.insert(vic);
        }
    }
    if (botVics.count(kVga) == 1 && algorithm != TopPriority) {
        wanted.insert(kVga);
    }
    if (eitherVideo) {
        wanted.insert(botVics.begin(), botVics.end());
    }
    for (const uint8_t vic : vics) {
        QVERIFY2(wanted.count(vic) == 1, qPrintable(QStringLiteral("VIC %1 stated by neither").arg(vic)));
    }
    for (const uint8_t vic : wanted) {
        const VideoFormat *format = findVideoFormat(vic);
        // What either states may not fit even with the least loss: then the box takes what both state.
        const bool mayGo = format == nullptr || format->pixelClockKhz > kBoxLinkKhz ||
                           format->hActive == 4096 ||
                           (eitherVideo && (topVics.count(vic) == 0 || botVics.count(vic) == 0));
        QVERIFY2(vics.count(vic) == 1 || mayGo, qPrintable(QStringLiteral("VIC %1 left out").arg(vic)));
    }
    // Audio: the codings both state (the fewer channels) or either states (the more).
    const std::map<int, int> topCodings = codingsOf(ours), botCodings = codingsOf(theirs),
                             codings = codingsOf(mixed);
    std::map<int, int> expected;
    const bool eitherAudio = algorithm == MaxAudioMinVideo || algorithm == MaxAudioMaxVideo;
    for (const auto &[coding, channels] : topCodings) {
        const auto other = botCodings.find(coding);
        if (algorithm == TopPriority) {
            expected[coding] = channels;
        } else if (other != botCodings.end()) {
            expected[coding] =
                eitherAudio ? std::max(channels, other->second) : std::min(channels, other->second);
        } else if (eitherAudio) {
            expected[coding] = channels;
        }
    }
    for (const auto &[coding, channels] : botCodings) {
        if (eitherAudio && !topCodings.contains(coding)) {
            expected[coding] = channels;
        }
    }
    if (options & Stereo) {
        expected = {{int(edid::AudioCoding::Lpcm) << 8, 2}};
    }
    if (options & Multichannel) {
        for (auto &[coding, channels] : expected) {
            channels = coding >> 8 == int(edid::AudioCoding::Extended) ? channels : std::min(channels, 6);
        }
    }
    QCOMPARE(codings, expected);
    // The options.
    if (options & HdrOff) {
        QVERIFY(!cta.hdrStatic);
    }
    if (!(options & Bt2020On)) {
        QCOMPARE(cta.colorimetry.value_or(0) & 0xE0, 0);
    }
    if (options & YcbcrOff) {
        QVERIFY(!cta.ycbcr444 && !cta.ycbcr422 && cta.ycbcr420OnlyVics.empty() && !cta.ycbcr420MapPresent);
        QVERIFY(!cta.hdmi || !cta.hdmi->deepColorY444);
    }
    if (options & Remove3d) {
        QVERIFY(!cta.hdmi || !cta.hdmi->present3d);
        QVERIFY(!cta.hdmiForum || (!cta.hdmiForum->independentView && !cta.hdmiForum->dualView));
    }
    if (oracle_.isEmpty()) {
        return;
    }
    const QStringList before = oracleFailures(oracle_, saved(scratch_, "top.bin", box.topSinkEdid())) +
                               oracleFailures(oracle_, saved(scratch_, "bot.bin", box.botSinkEdid()));
    QStringList added;
    for (const QString &failure : oracleFailures(oracle_, saved(scratch_, "mixed.bin", image))) {
        if (!before.contains(failure)) {
            added << failure;
        }
    }
    QVERIFY2(added.isEmpty(), qPrintable(added.join('\n')));
}

QTEST_GUILESS_MAIN(TestSimMix)
#include "tst_sim_mix.moc"
