// The EDID model: every corpus EDID written back unedited, each edit and the merge on exact
// bytes and as the decoder reads them back, refused edits with the bytes they lack, and
// edid-decode --check on everything the model writes.

#include "core/edid/edid_decode.h"
#include "core/edid/edid_model.h"
#include "core/edid/video_formats.h"
#include "core/edid_builder.h"
#include "core/edid_oracle_check.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using edidoracle::oracleFailures;
using namespace testedid;
Q_DECLARE_METATYPE(testedid::Bytes)
Q_DECLARE_METATYPE(std::function<edid::EditOutcome(edid::EdidModel &)>)

namespace {

QStringList findingLines(const Findings &findings) {
    QStringList lines;
    for (const Finding &f : findings) {
        lines << findingLine(f);
    }
    return lines;
}

// The first two blocks of an image with their checksums right.
Bytes firstTwoBlocksFixed(Bytes bytes) {
    bytes.resize(std::min<size_t>(bytes.size() / kEdidBlockSize, 2) * kEdidBlockSize);
    for (size_t block = 0; block < bytes.size() / kEdidBlockSize; ++block) {
        fixChecksum(bytes, block);
    }
    return bytes;
}

using Edit = std::function<edid::EditOutcome(edid::EdidModel &)>;

// A CTA EDID with the detailed timings after its data blocks.
Bytes withTimings(Bytes edid, const std::vector<Bytes> &timings) {
    size_t at = kEdidBlockSize + edid[kEdidBlockSize + 2];
    for (const Bytes &t : timings) {
        std::copy(t.begin(), t.end(), edid.begin() + static_cast<std::ptrdiff_t>(at));
        at += t.size();
    }
    fixChecksum(edid, 1);
    return edid;
}

// 1920x1080 60 Hz at 148.5 MHz (VIC 16); the base block's own timing is 3840x2160 60 Hz (VIC 97).
const Bytes kTiming1080p60 = {0x02, 0x3A, 0x80, 0x18, 0x71, 0x38, 0x2D, 0x40, 0x58,
                              0x2C, 0x45, 0x00, 0xC4, 0x8E, 0x21, 0x00, 0x00, 0x1E};
const Bytes kTiming2160p60 = {0x08, 0xE8, 0x00, 0x30, 0xF2, 0x70, 0x5A, 0x80, 0xB0,
                              0x58, 0x8A, 0x00, 0x40, 0x84, 0x63, 0x00, 0x00, 0x1E};

// A vendor-specific block of 31 bytes that no edit touches, to fill the CTA block.
Bytes filler(uint8_t id) {
    Bytes payload(30, id);
    payload[0] = payload[1] = payload[2] = 0x00;
    return block(3, payload);
}
// Fillers and a Video Data Block of the VICs: 4 + 3 * 31 + 1 + n bytes of content.
Bytes fullCta(const Bytes &vics) {
    return ctaEdid(concat({filler(1), filler(2), filler(3), block(2, vics)}));
}

const Bytes kHfVsdb = {0xD8, 0x5D, 0xC4, 0x01, 0x78, 0x80, 0x50};
const Bytes kHdmiVsdb = {0x03, 0x0C, 0x00, 0x10, 0x00, 0x80, 0x3C};
const Bytes kDolby = {0x46, 0xD0, 0x00, 0x2A, 0x18, 0x03, 0x51, 0x59, 0x99, 0xAA};
const Bytes kHdr10Plus = {0x8B, 0x84, 0x90, 0x01};
// LPCM 2 channels 32-48 kHz 16-24 bit, AC-3 6 channels 640 kbps, E-AC-3 with Atmos, MAT.
const Bytes kSads = {0x09, 0x07, 0x07, 0x15, 0x07, 0x50, 0x57, 0x06, 0x01, 0x67, 0x7E, 0x01};

// --- The corpus edited in each way, and merged pairwise -------------------------------------

using edid::EdidDecoded;

struct CorpusEdit {
    const char *name;
    std::function<edid::EditOutcome(edid::EdidModel &, const EdidDecoded &before)> apply;
    // Compares what the decoder reads back with what the edit made of the source.
    std::function<void(const EdidDecoded &before, const EdidDecoded &after)> check;
};

const edid::CtaBlock &ctaOf(const EdidDecoded &d) {
    static const edid::CtaBlock none;
    return d.cta.empty() ? none : d.cta.front();
}

QList<std::tuple<int, bool, bool>> videoList(const EdidDecoded &d) {
    QList<std::tuple<int, bool, bool>> list;
    for (const edid::VideoDescriptor &v : ctaOf(d).videos) {
        list.append({v.vic, v.native, v.ycbcr420Capable});
    }
    return list;
}

QStringList audioList(const EdidDecoded &d) {
    QStringList list;
    for (const edid::AudioFormat &a : ctaOf(d).audio) {
        list << QStringLiteral("%1 %2 %3 %4")
                    .arg(edid::audioFormatName(a))
                    .arg(a.maxChannels)
                    .arg(a.sampleRates)
                    .arg(a.codeDependent);
    }
    return list;
}

uint8_t firstVicMissing(const EdidDecoded &d, std::initializer_list<uint8_t> candidates) {
    for (uint8_t vic : candidates) {
        const auto &v = ctaOf(d).videos;
        if (std::none_of(v.begin(), v.end(),
                         [vic](const edid::VideoDescriptor &x) { return x.vic == vic; })) {
            return vic;
        }
    }
    return 0;
}

// The listed VIC of the base block's preferred timing, 0 for none.
uint8_t preferredVic(const EdidDecoded &d) {
    const edid::DetailedTiming *t = d.preferredTiming();
    for (const edid::VideoDescriptor &v : ctaOf(d).videos) {
        const VideoFormat *f = findVideoFormat(v.vic);
        if (t && f && f->hActive == t->hActive && f->vActive == t->vActive &&
            f->interlaced == t->interlaced && std::abs(t->refreshHz - f->refreshMilliHz / 1000.0) < 0.5) {
            return v.vic;
        }
    }
    return 0;
}

const std::vector<CorpusEdit> &corpusEdits() {
    using edid::EdidModel;
    static const std::vector<CorpusEdit> edits = {
        {"name", [](EdidModel &m, const EdidDecoded &) { return edid::setProductName(m, "CUSTOM EDID"); },
         [](const EdidDecoded &, const EdidDecoded &a) {
             QCOMPARE(a.base.productName, QString("CUSTOM EDID"));
         }},
        {"remove first VIC",
         [](EdidModel &m, const EdidDecoded &b) {
             return edid::removeVic(m, ctaOf(b).videos.empty() ? 0 : ctaOf(b).videos.front().vic);
         },
         [](const EdidDecoded &b, const EdidDecoded &a) {
             auto want = videoList(b);
             const int vic = std::get<0>(want.front());
             want.removeIf([vic](const auto &v) { return std::get<0>(v) == vic; });
             QCOMPARE(videoList(a), want);
         }},
        {"add VIC",
         [](EdidModel &m, const EdidDecoded &b) {
             return edid::addVic(m, firstVicMissing(b, {97, 16, 4}));
         },
         [](const EdidDecoded &b, const EdidDecoded &a) {
             auto want = videoList(b);
             want.append({firstVicMissing(b, {97, 16, 4}), false, false});
             QCOMPARE(videoList(a), want);
         }},
        {"native VIC of the preferred timing",
         [](EdidModel &m, const EdidDecoded &b) { return edid::setNativeVic(m, preferredVic(b)); },
         [](const EdidDecoded &b, const EdidDecoded &a) {
             auto want = videoList(b);
             for (auto &[vic, native, ycbcr] : want) {
                 native = vic == preferredVic(b);
             }
             QCOMPARE(videoList(a), want);
         }},
        {"4:2:0 VIC 16",
         [](EdidModel &m, const EdidDecoded &) { return edid::setYcbcr420Capable(m, 16, true); },
         [](const EdidDecoded &b, const EdidDecoded &a) {
             auto want = videoList(b);
             for (auto &[vic, native, ycbcr] : want) {
                 ycbcr = ycbcr || vic == 16;
             }
             QCOMPARE(videoList(a), want);
         }},
        {"remove AC-3", [](EdidModel &m, const EdidDecoded &) { return edid::removeAudioFormat(m, "AC-3"); },
         [](const EdidDecoded &b, const EdidDecoded &a) {
             QStringList want = audioList(b);
             want.removeIf([](const QString &f) { return f.startsWith("AC-3 "); });
             QCOMPARE(audioList(a), want);
         }},
        {"LPCM 2 channels 48 kHz",
         [](EdidModel &m, const EdidDecoded &) { return edid::setAudioFormat(m, "LPCM", 2, 0x04); },
         [](const EdidDecoded &, const EdidDecoded &a) {
             for (const edid::AudioFormat &f : ctaOf(a).audio) {
                 if (f.code == 1) {
                     QCOMPARE(f.maxChannels, 2);
                     QCOMPARE(f.sampleRates, 0x04);
                 }
             }
         }},
        {"speaker allocation",
         [](EdidModel &m, const EdidDecoded &) { return edid::setSpeakerAllocation(m, 0x4F); },
         [](const EdidDecoded &, const EdidDecoded &a) { QCOMPARE(ctaOf(a).speakerAllocation, 0x4Fu); }},
        {"HDR EOTFs", [](EdidModel &m, const EdidDecoded &) { return edid::setHdrEotfs(m, 0x05); },
         [](const EdidDecoded &, const EdidDecoded &a) { QCOMPARE(ctaOf(a).hdrStatic->eotfs, 0x05); }},
        {"HDR luminance",
         [](EdidModel &m, const EdidDecoded &) {
             return edid::setHdrLuminance(m, {100, 90, 30});
         },
         [](const EdidDecoded &, const EdidDecoded &a) {
             QCOMPARE(ctaOf(a).hdrStatic->maxLuminanceCode, 100);
             QCOMPARE(ctaOf(a).hdrStatic->maxFrameAverageCode, 90);
             QCOMPARE(ctaOf(a).hdrStatic->minLuminanceCode, 30);
         }},
        {"no Dolby Vision",
         [](EdidModel &m, const EdidDecoded &) {
             return edid::removeVendorVideoBlock(m, edid::VendorVideo::DolbyVision);
         },
         [](const EdidDecoded &, const EdidDecoded &a) { QVERIFY(!ctaOf(a).dolbyVision); }},
        {"no HDR10+",
         [](EdidModel &m, const EdidDecoded &) {
             return edid::removeVendorVideoBlock(m, edid::VendorVideo::Hdr10Plus);
         },
         [](const EdidDecoded &, const EdidDecoded &a) { QVERIFY(!ctaOf(a).hdr10Plus); }},
        {"max FRL 3", [](EdidModel &m, const EdidDecoded &) { return edid::setMaxFrl(m, 3); },
         [](const EdidDecoded &, const EdidDecoded &a) { QCOMPARE(ctaOf(a).hdmiForum->maxFrlCode, 3); }},
        {"no ALLM", [](EdidModel &m, const EdidDecoded &) { return edid::setAllm(m, false); },
         [](const EdidDecoded &, const EdidDecoded &a) { QVERIFY(!ctaOf(a).hdmiForum->allm); }},
        {"VRR 48-120", [](EdidModel &m, const EdidDecoded &) { return edid::setVrrRange(m, 48, 120); },
         [](const EdidDecoded &, const EdidDecoded &a) {
             QCOMPARE(ctaOf(a).hdmiForum->vrrMin, 48);
             QCOMPARE(ctaOf(a).hdmiForum->vrrMax, 120);
         }},
        {"max TMDS rate 600",
         [](EdidModel &m, const EdidDecoded &) { return edid::setMaxTmdsCharacterRate(m, 600); },
         [](const EdidDecoded &, const EdidDecoded &a) { QCOMPARE(ctaOf(a).hdmiForum->maxTmdsMhz, 600); }},
        {"HDMI 300 MHz deep colour",
         [](EdidModel &m, const EdidDecoded &) {
             const edid::EditOutcome clock = edid::setHdmiMaxTmdsClock(m, 300);
             return clock.ok ? edid::setDeepColor(m, 0x38) : clock;
         },
         [](const EdidDecoded &, const EdidDecoded &a) {
             QCOMPARE(ctaOf(a).hdmi->maxTmdsMhz, 300);
             QVERIFY(ctaOf(a).hdmi->deepColor30 && ctaOf(a).hdmi->deepColor36 && !ctaOf(a).hdmi->deepColor48);
         }},
        {"preferred VIC 16",
         [](EdidModel &m, const EdidDecoded &) { return edid::setPreferredTimingFromVic(m, 16); },
         [](const EdidDecoded &, const EdidDecoded &a) {
             QCOMPARE(a.preferredTiming()->hActive, 1920);
             QCOMPARE(a.preferredTiming()->vActive, 1080);
         }},
    };
    return edits;
}

bool writeFile(const QString &path, const Bytes &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size())) ==
               static_cast<qint64>(bytes.size());
}

QStringList corpusCtaFiles() {
    const QDir data(QFINDTESTDATA("../data/edid"));
    QStringList files;
    for (const QString &file : data.entryList({QStringLiteral("*.bin")}, QDir::Files, QDir::Name)) {
        const edid::EdidModel model = edid::readEdidModel(readFile(data.filePath(file)));
        if (model.ctaEditable) {
            files << data.filePath(file);
        }
    }
    return files;
}

} // namespace

class TestEdidModel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void roundTrip_data();
    void roundTrip();
    void edits_data();
    void edits();
    void merge_data();
    void merge();
    void oracle_data();
    void oracle();

private:
    QString oracleProgram;
    QTemporaryDir scratch;
    std::map<QString, QStringList> sourceFailures;
    int oracleOutputs = 0;
    int editsRefused = 0;
    int mergesTooBig = 0;
};

void TestEdidModel::initTestCase() {
    QVERIFY(scratch.isValid());
    // Without edid-decode the oracle rows check the decoder's read-back only.
    oracleProgram = QStandardPaths::findExecutable(QStringLiteral("edid-decode"));
}

void TestEdidModel::cleanupTestCase() {
    qInfo(
        "edid-decode --check run on %d written EDIDs; %d edits refused (nothing to edit), %d merges too big",
        oracleOutputs, editsRefused, mergesTooBig);
    if (oracleProgram.isEmpty()) {
        QSKIP("edid-decode is not installed (apt-get install edid-decode): the written EDIDs went unchecked");
    }
}

void TestEdidModel::roundTrip_data() {
    QTest::addColumn<Bytes>("source");
    QTest::addColumn<QStringList>("findings");
    QTest::addColumn<bool>("editable");
    const QDir data(QFINDTESTDATA("../data/edid"));
    const QStringList files = data.entryList({QStringLiteral("*.bin")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 16);
    // What reading each source notices; the rest read without a finding.
    const std::map<QString, QStringList> noticed = {
        {"MODIFIED-lg-oled-c9-hdmi-block0-badsum.bin",
         {"Warning: Block 0, Checksum: 0x8e corrected to 0x8d"}},
        {"linuxhw-benq-pd2700u-C457DADB2E45.bin",
         {"Warning: Block 1, Checksum: 0x00 corrected to 0x01",
          "Warning: Block 1, CTA-861 Extension Block: the data block at 43 of length 19 runs past the data "
          "block "
          "collection (ends at 46): the block is carried unchanged"}},
        {"acer-xv273k-dp1.bin", {"Warning: 3 blocks: only the base block and block 1 are kept"}},
        {"lg-34wk95uw-thunderbolt-dp1-tile0.bin",
         {"Warning: 4 blocks: only the base block and block 1 are kept"}},
    };
    for (const QString &file : files) {
        const auto it = noticed.find(file);
        const Bytes bytes = readFile(data.filePath(file));
        QTest::newRow(qPrintable(file))
            << bytes << (it == noticed.end() ? QStringList() : it->second)
            << (bytes.size() >= 256 && bytes[128] == 0x02 && !file.startsWith("linuxhw-benq"));
    }
    // A CTA block stating no data blocks and no timings (offset 0), with zeros after it.
    Bytes empty = concat({baseBlock(1), Bytes{0x02, 0x03, 0x00, 0x00}, Bytes(124, 0)});
    fixChecksum(empty, 1);
    QTest::newRow("offset 0") << empty << QStringList() << true;
    // Revision 1 holds no data blocks: the bytes before its timings are carried as they are.
    Bytes revision1 = ctaEdid({0x11, 0x22});
    revision1[129] = 0x01;
    fixChecksum(revision1, 1);
    QTest::newRow("revision 1") << revision1 << QStringList() << true;
    // An offset past the block is no layout the model can write; the block goes unchanged.
    Bytes pastBlock = ctaEdid(block(2, {16}));
    pastBlock[130] = 0xF0;
    fixChecksum(pastBlock, 1);
    QTest::newRow("offset past the block") << pastBlock
                                           << QStringList{"Warning: Block 1, CTA-861 Extension Block: the "
                                                          "detailed timings are said to start at 240, "
                                                          "outside the block: the block is carried unchanged"}
                                           << false;
    // Bytes after the last whole block are dropped.
    QTest::newRow("partial block") << concat({baseBlock(0), Bytes(5, 0xAA)})
                                   << QStringList{"Warning: 5 bytes after the last whole block ignored"}
                                   << false;
}

void TestEdidModel::roundTrip() {
    QFETCH(Bytes, source);
    QFETCH(QStringList, findings);
    QFETCH(bool, editable);
    const edid::EdidModel model = edid::readEdidModel(source);
    QCOMPARE(findingLines(model.findings), findings);
    QCOMPARE(model.ctaEditable, editable);
    // The bytes as given, the checksums right; block 2 and on dropped, the count kept.
    QCOMPARE(edid::encodeEdidModel(model), firstTwoBlocksFixed(source));
    QVERIFY(edid::ctaContentBytes(model) <= edid::kCtaContentBytes);
}

void TestEdidModel::edits_data() {
    using edid::EdidModel;
    using edid::EditOutcome;
    QTest::addColumn<Bytes>("source");
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<Bytes>("expected"); // empty: refused
    QTest::addColumn<int>("missingBytes");
    QTest::addColumn<QString>("reason");
    const auto row = [](const char *name, const Bytes &source, const Edit &edit, const Bytes &expected) {
        QTest::newRow(name) << source << edit << expected << 0 << QString();
    };
    const auto refusedRow = [](const char *name, const Bytes &source, const Edit &edit, int missing,
                               const QString &reason) {
        QTest::newRow(name) << source << edit << Bytes() << missing << reason;
    };
    const Bytes map = extendedBlock(15, {0x06});
    // The capability map names descriptors by place: a removal shifts the bits after it.
    row(
        "remove VIC shifts the 4:2:0 map", ctaEdid(concat({block(2, {0x90, 97, 4, 96}), map})),
        [](EdidModel &m) { return edid::removeVic(m, 97); },
        ctaEdid(concat({block(2, {0x90, 4, 96}), extendedBlock(15, {0x02})})));
    row(
        "remove VIC of the last map bit drops the map",
        ctaEdid(concat({block(2, {16, 97}), extendedBlock(15, {0x02})})),
        [](EdidModel &m) { return edid::removeVic(m, 97); }, ctaEdid(block(2, {16})));
    row(
        "remove VIC keeps an empty map empty", ctaEdid(concat({block(2, {16, 97}), extendedBlock(15, {})})),
        [](EdidModel &m) { return edid::removeVic(m, 97); },
        ctaEdid(concat({block(2, {16}), extendedBlock(15, {})})));
    row(
        "remove VIC from the 4:2:0 Video Data Block",
        ctaEdid(concat({block(2, {16}), extendedBlock(14, {118})})),
        [](EdidModel &m) { return edid::removeVic(m, 118); }, ctaEdid(block(2, {16})));
    // HDMI VIC 4 names 4096x2160p24: a source would still take it from there.
    row(
        "remove VIC 98 takes its HDMI VIC",
        ctaEdid(concat({block(2, {16, 98}),
                        block(3, {0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x3C, 0x20, 0x00, 0x40, 0x01, 0x04})})),
        [](EdidModel &m) { return edid::removeVic(m, 98); },
        ctaEdid(concat(
            {block(2, {16}), block(3, {0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x3C, 0x20, 0x00, 0x20, 0x01})})));
    row(
        "remove native VIC", ctaEdid(concat({block(2, {0x90, 4}), block(2, {16})})),
        [](EdidModel &m) { return edid::removeVic(m, 16); }, ctaEdid(block(2, {4})));
    // An empty map names every descriptor: an added VIC must not become 4:2:0 with it.
    row(
        "add VIC spells out an empty map", ctaEdid(concat({block(2, {16, 97}), extendedBlock(15, {})})),
        [](EdidModel &m) { return edid::addVic(m, 4); },
        ctaEdid(concat({block(2, {16, 97, 4}), extendedBlock(15, {0x03})})));
    row(
        "add VIC to a full block opens another",
        ctaEdid(concat({block(2, Bytes(31, 1)), block(4, {1, 0, 0})})),
        [](EdidModel &m) { return edid::addVic(m, 97); },
        ctaEdid(concat({block(2, Bytes(31, 1)), block(2, {97}), block(4, {1, 0, 0})})));
    row(
        "add VIC without a Video Data Block", ctaEdid(block(4, {1, 0, 0})),
        [](EdidModel &m) { return edid::addVic(m, 219); },
        ctaEdid(concat({block(2, {219}), block(4, {1, 0, 0})})));
    refusedRow(
        "add reserved VIC", ctaEdid(block(2, {16})), [](EdidModel &m) { return edid::addVic(m, 128); }, 0,
        "VIC 128 is not in the video format table");
    refusedRow(
        "add listed VIC", ctaEdid(block(2, {0x90})), [](EdidModel &m) { return edid::addVic(m, 16); }, 0,
        "the Video Data Block lists VIC 16 (1920x1080p60 16:9) already");
    row(
        "native VIC", ctaEdid(block(2, {0x90, 97, 4})), [](EdidModel &m) { return edid::setNativeVic(m, 4); },
        ctaEdid(block(2, {16, 97, 0x84})));
    refusedRow(
        "native VIC above 64", ctaEdid(block(2, {16, 97})),
        [](EdidModel &m) { return edid::setNativeVic(m, 97); }, 0,
        "only VICs 1 to 64 can be marked native, not 97");
    row(
        "4:2:0 capable adds a map", ctaEdid(concat({block(2, {16, 97}), block(4, {1, 0, 0})})),
        [](EdidModel &m) { return edid::setYcbcr420Capable(m, 97, true); },
        ctaEdid(concat({block(2, {16, 97}), extendedBlock(15, {0x02}), block(4, {1, 0, 0})})));
    row(
        "4:2:0 only VIC", ctaEdid(block(2, {16})),
        [](EdidModel &m) { return edid::addYcbcr420OnlyVic(m, 118); },
        ctaEdid(concat({block(2, {16}), extendedBlock(14, {118})})));

    const Bytes video = block(2, {16});
    row(
        "remove audio format", ctaEdid(concat({video, block(1, kSads)})),
        [](EdidModel &m) { return edid::removeAudioFormat(m, "e-ac-3"); },
        ctaEdid(concat({video, block(1, {0x09, 0x07, 0x07, 0x15, 0x07, 0x50, 0x67, 0x7E, 0x01})})));
    row(
        "remove MLP", ctaEdid(concat({video, block(1, kSads)})),
        [](EdidModel &m) { return edid::removeAudioFormat(m, "MLP"); },
        ctaEdid(concat({video, block(1, {0x09, 0x07, 0x07, 0x15, 0x07, 0x50, 0x57, 0x06, 0x01})})));
    row(
        "remove the last audio format", ctaEdid(concat({video, block(1, {0x09, 0x07, 0x07})})),
        [](EdidModel &m) { return edid::removeAudioFormat(m, "LPCM"); }, ctaEdid(video));
    refusedRow(
        "remove absent audio format", ctaEdid(concat({video, block(1, kSads)})),
        [](EdidModel &m) { return edid::removeAudioFormat(m, "DTS-HD"); }, 0,
        "the Audio Data Block lists no DTS-HD");
    row(
        "LPCM channels and rates", ctaEdid(concat({video, block(1, kSads)})),
        [](EdidModel &m) { return edid::setAudioFormat(m, "LPCM", 8, 0x7F); },
        ctaEdid(concat(
            {video, block(1, {0x0F, 0x7F, 0x07, 0x15, 0x07, 0x50, 0x57, 0x06, 0x01, 0x67, 0x7E, 0x01})})));
    refusedRow(
        "nine channels", ctaEdid(concat({video, block(1, kSads)})),
        [](EdidModel &m) { return edid::setAudioFormat(m, "LPCM", 9, std::nullopt); }, 0,
        "channels are 1 to 8, not 9");
    row(
        "speaker allocation added after audio",
        ctaEdid(concat({video, block(1, kSads), extendedBlock(0, {0x40})})),
        [](EdidModel &m) { return edid::setSpeakerAllocation(m, 0x4F); },
        ctaEdid(concat({video, block(1, kSads), block(4, {0x4F, 0, 0}), extendedBlock(0, {0x40})})));

    row(
        "HDR EOTFs", ctaEdid(extendedBlock(6, {0x05, 0x01, 0x60, 0x50, 0x10})),
        [](EdidModel &m) { return edid::setHdrEotfs(m, 0x0D); },
        ctaEdid(extendedBlock(6, {0x0D, 0x01, 0x60, 0x50, 0x10})));
    row(
        "HDR luminance", ctaEdid(extendedBlock(6, {0x05, 0x01})),
        [](EdidModel &m) {
            return edid::setHdrLuminance(m, {0x70, 0x60, std::nullopt});
        },
        ctaEdid(extendedBlock(6, {0x05, 0x01, 0x70, 0x60})));
    refusedRow(
        "HDR min without frame average", ctaEdid(extendedBlock(6, {0x05, 0x01})),
        [](EdidModel &m) {
            return edid::setHdrLuminance(m, {0x70, std::nullopt, 0x10});
        },
        0, "luminance codes stand in order: min needs max frame-average, max frame-average needs max");
    row(
        "remove Dolby Vision",
        ctaEdid(concat({video, extendedBlock(1, kDolby), extendedBlock(1, kHdr10Plus)})),
        [](EdidModel &m) { return edid::removeVendorVideoBlock(m, edid::VendorVideo::DolbyVision); },
        ctaEdid(concat({video, extendedBlock(1, kHdr10Plus)})));
    refusedRow(
        "remove absent HDR10+", ctaEdid(concat({video, extendedBlock(1, kDolby)})),
        [](EdidModel &m) { return edid::removeVendorVideoBlock(m, edid::VendorVideo::Hdr10Plus); }, 0,
        "the EDID has no HDR10+ block");

    row(
        "max FRL", ctaEdid(block(3, kHfVsdb)), [](EdidModel &m) { return edid::setMaxFrl(m, 3); },
        ctaEdid(block(3, {0xD8, 0x5D, 0xC4, 0x01, 0x78, 0x80, 0x30})));
    row(
        "ALLM grows a short HF-VSDB", ctaEdid(block(3, kHfVsdb)),
        [](EdidModel &m) { return edid::setAllm(m, true); },
        ctaEdid(block(3, {0xD8, 0x5D, 0xC4, 0x01, 0x78, 0x80, 0x50, 0x02})));
    row(
        "VRR range in the SCDB", ctaEdid(extendedBlock(0x79, {0x00, 0x00, 0x01, 0x78, 0x80, 0x50, 0x02})),
        [](EdidModel &m) { return edid::setVrrRange(m, 48, 400); },
        ctaEdid(extendedBlock(0x79, {0x00, 0x00, 0x01, 0x78, 0x80, 0x50, 0x02, 0x70, 0x90})));
    row(
        "max TMDS character rate", ctaEdid(block(3, kHfVsdb)),
        [](EdidModel &m) { return edid::setMaxTmdsCharacterRate(m, 340 + 5); },
        ctaEdid(block(3, {0xD8, 0x5D, 0xC4, 0x01, 0x45, 0x80, 0x50})));
    refusedRow(
        "max FRL without HDMI Forum", ctaEdid(block(3, kHdmiVsdb)),
        [](EdidModel &m) { return edid::setMaxFrl(m, 3); }, 0, "the EDID has no HDMI Forum block");
    row(
        "HDMI max TMDS clock and deep colour", ctaEdid(block(3, kHdmiVsdb)),
        [](EdidModel &m) {
            const EditOutcome clock = edid::setHdmiMaxTmdsClock(m, 300);
            return clock.ok ? edid::setDeepColor(m, 0x38) : clock;
        },
        ctaEdid(block(3, {0x03, 0x0C, 0x00, 0x10, 0x00, 0xB8, 0x3C})));

    // The CTA block holds 127 bytes of content: never truncated, refused with the shortfall.
    row(
        "add VIC fills the block", fullCta(Bytes(28, 1)), [](EdidModel &m) { return edid::addVic(m, 97); },
        fullCta(concat({Bytes(28, 1), Bytes{97}})));
    const QString full = "the CTA-861 block holds 127 bytes; the edit needs %1 more";
    refusedRow(
        "add VIC past the block", fullCta(Bytes(29, 1)), [](EdidModel &m) { return edid::addVic(m, 97); }, 1,
        full.arg(1));
    refusedRow(
        "speaker allocation past the block", fullCta(Bytes(29, 1)),
        [](EdidModel &m) { return edid::setSpeakerAllocation(m, 1); }, 4, full.arg(4));
    refusedRow(
        "ALLM past the block",
        ctaEdid(concat({filler(1), filler(2), filler(3), block(3, kHfVsdb), Bytes(22, 0)})),
        [](EdidModel &m) { return edid::setAllm(m, true); }, 1, full.arg(1));

    // The base block: the name in its descriptor, the preferred timing traded by VIC.
    Bytes renamed = ctaEdid(video);
    const uint8_t name[] = {'L', 'I', 'V', 'I', 'N', 'G', ' ', 'R', 'O', 'O', 'M', 0x0A, ' '};
    std::copy(std::begin(name), std::end(name), renamed.begin() + 77);
    fixChecksum(renamed, 0);
    row(
        "product name", ctaEdid(video), [](EdidModel &m) { return edid::setProductName(m, "LIVING ROOM"); },
        renamed);
    refusedRow(
        "product name too long", ctaEdid(video),
        [](EdidModel &m) { return edid::setProductName(m, "FOURTEEN CHARS"); }, 0,
        "a product name has 1 to 13 characters");
    Bytes swapped = withTimings(ctaEdid(video), {kTiming2160p60});
    std::copy(kTiming1080p60.begin(), kTiming1080p60.end(), swapped.begin() + 54);
    fixChecksum(swapped, 0);
    row(
        "preferred timing from VIC", withTimings(ctaEdid(video), {kTiming1080p60}),
        [](EdidModel &m) { return edid::setPreferredTimingFromVic(m, 16); }, swapped);
    refusedRow(
        "preferred timing of a VIC without timing", ctaEdid(video),
        [](EdidModel &m) { return edid::setPreferredTimingFromVic(m, 16); }, 0,
        "the EDID holds no detailed timing of VIC 16 (1920x1080p60 16:9)");
    // Blocks taken from another EDID, byte for byte.
    const edid::EdidModel receiver = edid::readEdidModel(
        ctaEdid(concat({video, block(1, kSads), extendedBlock(1, kDolby), extendedBlock(1, kHdr10Plus)})));
    row(
        "take the Audio Data Block",
        ctaEdid(concat({video, block(1, {0x09, 0x07, 0x07}), block(4, {1, 0, 0})})),
        [receiver](EdidModel &m) { return edid::takeAudioBlock(m, receiver); },
        ctaEdid(concat({video, block(1, kSads), block(4, {1, 0, 0})})));
    // The channels come with where they play: the speakers, the room and its speaker locations
    // of the other EDID, in place of this one's or added after the audio.
    const Bytes room = {0x67, 0x20, 0x20, 0x0A, 0x10, 0x00, 0x04};
    const Bytes locations = {0x20, 0x00, 0x21, 0x01};
    const edid::EdidModel surround =
        edid::readEdidModel(ctaEdid(concat({video, block(1, kSads), block(4, {0x4F, 0, 0}),
                                            extendedBlock(19, room), extendedBlock(20, locations)})));
    const auto takeSurround = [surround](EdidModel &m) { return edid::takeAudioBlock(m, surround); };
    row("take the audio with its speakers, room and speaker locations in place",
        ctaEdid(concat({video, block(1, {0x09, 0x07, 0x07}), block(4, {1, 0, 0}), block(3, kHdmiVsdb),
                        extendedBlock(19, {0x41, 0, 0, 0, 0, 0, 0}), extendedBlock(20, {0x20, 0x00})})),
        takeSurround,
        ctaEdid(concat({video, block(1, kSads), block(4, {0x4F, 0, 0}), block(3, kHdmiVsdb),
                        extendedBlock(19, room), extendedBlock(20, locations)})));
    row("take the audio adds its speakers and room after it",
        ctaEdid(concat({video, block(1, {0x09, 0x07, 0x07}), block(3, kHdmiVsdb)})), takeSurround,
        ctaEdid(concat({video, block(1, kSads), block(4, {0x4F, 0, 0}), extendedBlock(19, room),
                        extendedBlock(20, locations), block(3, kHdmiVsdb)})));
    refusedRow("take the audio when its speakers do not fit",
               ctaEdid(concat({filler(1), filler(2), filler(3), block(1, kSads), block(2, Bytes(16, 1))})),
               takeSurround, 4 + 9 + 6, full.arg(4 + 9 + 6));
    row(
        "take Dolby Vision", ctaEdid(concat({video, extendedBlock(6, {0x05, 0x01})})),
        [receiver](EdidModel &m) {
            return edid::takeVendorVideoBlock(m, receiver, edid::VendorVideo::DolbyVision);
        },
        ctaEdid(concat({video, extendedBlock(6, {0x05, 0x01}), extendedBlock(1, kDolby)})));
    refusedRow(
        "take audio from an EDID without", ctaEdid(video),
        [](EdidModel &m) { return edid::takeAudioBlock(m, edid::readEdidModel(baseBlock(0))); }, 0,
        "the other EDID has no Audio Data Block");
    refusedRow(
        "video edit of a base block alone", baseBlock(0), [](EdidModel &m) { return edid::addVic(m, 16); }, 0,
        "the EDID has no CTA-861 extension");
}

void TestEdidModel::edits() {
    QFETCH(Bytes, source);
    QFETCH(Edit, edit);
    QFETCH(Bytes, expected);
    QFETCH(int, missingBytes);
    QFETCH(QString, reason);
    edid::EdidModel model = edid::readEdidModel(source);
    QVERIFY(model.findings.empty());
    const edid::EditOutcome outcome = edit(model);
    QCOMPARE(outcome.reason, reason);
    QCOMPARE(outcome.missingBytes, missingBytes);
    QCOMPARE(outcome.ok, !expected.empty());
    // A refused edit leaves the model as it was.
    QCOMPARE(edid::encodeEdidModel(model), expected.empty() ? source : expected);
    // What the model writes, it reads back as it was.
    QCOMPARE(edid::encodeEdidModel(edid::readEdidModel(edid::encodeEdidModel(model))),
             edid::encodeEdidModel(model));
}

void TestEdidModel::merge_data() {
    QTest::addColumn<Bytes>("video");
    QTest::addColumn<Bytes>("audio");
    QTest::addColumn<Bytes>("expected"); // empty: refused
    QTest::addColumn<int>("missingBytes");
    const Bytes tvHdmi = {0x03, 0x0C, 0x00, 0x10, 0x00, 0x80, 0x3C};
    const Bytes receiverHdmi = {0x03, 0x0C, 0x00, 0x20, 0x00, 0x80, 0x3C};
    Bytes tv = ctaEdid(concat({block(2, {97, 0x90}), block(1, {0x09, 0x07, 0x07}), block(3, tvHdmi),
                               block(3, kHfVsdb), extendedBlock(1, kDolby), extendedBlock(18, {0x01})}));
    // The receiver: another product code, no basic audio, its own physical address.
    Bytes receiver =
        ctaEdid(concat({block(2, {16}), block(1, kSads), block(4, {0x4F, 0, 0}), block(3, receiverHdmi)}));
    receiver[10] = 0x99;
    receiver[131] = 0x30;
    fixChecksum(receiver, 0);
    fixChecksum(receiver, 1);
    // The audio stands where the TV's stood; the HDMI audio block goes with it.
    Bytes merged = ctaEdid(concat({block(2, {97, 0x90}), block(1, kSads), block(4, {0x4F, 0, 0}),
                                   block(3, tvHdmi), block(3, kHfVsdb), extendedBlock(1, kDolby)}));
    merged[131] = 0x30;
    fixChecksum(merged, 1);
    QTest::newRow("TV video, receiver audio") << tv << receiver << merged << 0;
    // A video source without audio takes it after its Video Data Block; the count is fitted.
    Bytes noAudio = ctaEdid(concat({block(2, {97}), block(3, tvHdmi)}));
    noAudio[126] = 2;
    fixChecksum(noAudio, 0);
    Bytes withAudio =
        ctaEdid(concat({block(2, {97}), block(1, kSads), block(4, {0x4F, 0, 0}), block(3, tvHdmi)}));
    withAudio[131] = 0x30;
    fixChecksum(withAudio, 1);
    QTest::newRow("video source without audio") << noAudio << receiver << withAudio << 0;
    QTest::newRow("too big") << fullCta(Bytes(29, 1)) << receiver << Bytes() << 17;
}

void TestEdidModel::merge() {
    QFETCH(Bytes, video);
    QFETCH(Bytes, audio);
    QFETCH(Bytes, expected);
    QFETCH(int, missingBytes);
    const edid::MergeOutcome merged =
        edid::mergeEdids(edid::readEdidModel(video), edid::readEdidModel(audio));
    QCOMPARE(merged.outcome.ok, !expected.empty());
    QCOMPARE(merged.outcome.missingBytes, missingBytes);
    QCOMPARE(edid::encodeEdidModel(merged.model), expected.empty() ? video : expected);
}

// Every corpus EDID with a CTA block edited in each way (an edit the source has nothing for
// is refused and leaves it as it was) and every pair merged: the decoder reads back what
// the edit made, and edid-decode --check finds no failure the source did not have.
void TestEdidModel::oracle_data() {
    QTest::addColumn<QString>("video");
    QTest::addColumn<QString>("audio"); // empty: an edit, not a merge
    QTest::addColumn<int>("edit");
    const QStringList files = corpusCtaFiles();
    QVERIFY(files.size() >= 11);
    for (const QString &file : files) {
        for (size_t edit = 0; edit < corpusEdits().size(); ++edit) {
            QTest::newRow(qPrintable(QFileInfo(file).baseName() + ": " + corpusEdits()[edit].name))
                << file << QString() << static_cast<int>(edit);
        }
        for (const QString &audio : files) {
            QTest::newRow(
                qPrintable(QFileInfo(file).baseName() + " + audio of " + QFileInfo(audio).baseName()))
                << file << audio << -1;
        }
    }
}

void TestEdidModel::oracle() {
    QFETCH(QString, video);
    QFETCH(QString, audio);
    QFETCH(int, edit);
    const Bytes source = readFile(video);
    const edid::EdidModel sourceModel = edid::readEdidModel(source);
    const EdidDecoded before = edid::decodeEdid(edid::encodeEdidModel(sourceModel));
    edid::EdidModel model = sourceModel;
    if (audio.isEmpty()) {
        const edid::EditOutcome outcome = corpusEdits()[static_cast<size_t>(edit)].apply(model, before);
        if (!outcome.ok) {
            QVERIFY(!outcome.reason.isEmpty());
            QCOMPARE(edid::encodeEdidModel(model), edid::encodeEdidModel(sourceModel));
            ++editsRefused;
            return;
        }
    } else {
        const edid::EdidModel audioModel = edid::readEdidModel(readFile(audio));
        const edid::MergeOutcome merged = edid::mergeEdids(sourceModel, audioModel);
        if (!merged.outcome.ok) {
            // Too big for one CTA block: refused with the shortfall, the video source kept.
            QVERIFY2(merged.outcome.missingBytes > 0, qPrintable(merged.outcome.reason));
            QCOMPARE(merged.outcome.reason,
                     QString("the CTA-861 block holds 127 bytes; the merge needs %1 more")
                         .arg(merged.outcome.missingBytes));
            QCOMPARE(edid::encodeEdidModel(merged.model), edid::encodeEdidModel(sourceModel));
            ++mergesTooBig;
            return;
        }
        model = merged.model;
    }
    // Writing the first two blocks of a longer source, the count is set to them on purpose.
    edid::fitExtensionCount(model);
    const Bytes written = edid::encodeEdidModel(model);
    QCOMPARE(written.size(), size_t{256});
    const EdidDecoded after = edid::decodeEdid(written);
    // The decoder reads the model's blocks and timings back in their order.
    QCOMPARE(after.cta.size(), size_t{1});
    QCOMPARE(after.cta.front().dataBlocks.size(), model.dataBlocks.size());
    for (size_t i = 0; i < model.dataBlocks.size(); ++i) {
        QCOMPARE(after.cta.front().dataBlocks[i].tag, model.dataBlocks[i].tag);
        QCOMPARE(after.cta.front().dataBlocks[i].extendedTag, model.dataBlocks[i].extendedTag());
        QCOMPARE(after.cta.front().dataBlocks[i].length, model.dataBlocks[i].length);
    }
    QCOMPARE(after.cta.front().detailedTimings.size(), model.timings.size());
    if (audio.isEmpty()) {
        corpusEdits()[static_cast<size_t>(edit)].check(before, after);
        if (QTest::currentTestFailed()) {
            return;
        }
    } else {
        const EdidDecoded audioDecoded = edid::decodeEdid(readFile(audio));
        QCOMPARE(videoList(after), videoList(before));
        QCOMPARE(audioList(after), audioList(audioDecoded));
        QCOMPARE(ctaOf(after).speakerAllocation, ctaOf(audioDecoded).speakerAllocation);
        QCOMPARE(ctaOf(after).basicAudio, ctaOf(audioDecoded).basicAudio);
        QCOMPARE(ctaOf(after).hdmi.has_value(), ctaOf(before).hdmi.has_value());
        if (ctaOf(before).hdmi) {
            QCOMPARE(ctaOf(after).hdmi->physicalAddress, ctaOf(before).hdmi->physicalAddress);
        }
        QVERIFY(std::equal(written.begin(), written.begin() + 126, source.begin()));
    }
    if (oracleProgram.isEmpty()) {
        return;
    }
    if (!sourceFailures.contains(video)) {
        sourceFailures[video] = oracleFailures(oracleProgram, video);
    }
    const QString path = scratch.filePath(QStringLiteral("written.bin"));
    QVERIFY(writeFile(path, written));
    ++oracleOutputs;
    QStringList added;
    for (const QString &failure : oracleFailures(oracleProgram, path)) {
        if (!sourceFailures[video].contains(failure)) {
            added << failure;
        }
    }
    QVERIFY2(added.isEmpty(), qPrintable(added.join('\n')));
}

QTEST_GUILESS_MAIN(TestEdidModel)
#include "tst_edid_model.moc"
