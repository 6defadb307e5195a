// What the fit proposes to leave out of an EDID that does not fit the CTA-861 block: each
// kind of candidate with its exact words and bytes, the least-loss set of the demo box's
// merge, what an edit asked for never proposed, and the merge of every TV with every
// receiver of the test data fitted, keeping the TV's video and the receiver's audio, with no
// failure edid-decode --check did not find in the two sources.

#include "core/edid/edid_decode.h"
#include "core/edid/edid_fit.h"
#include "core/edid/edid_model.h"
#include "core/edid/video_formats.h"
#include "core/edid_builder.h"
#include "core/edid_oracle_check.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <set>

using namespace testedid;
Q_DECLARE_METATYPE(testedid::Bytes)

namespace {

using edid::EdidDecoded;
using edid::EdidModel;
using edid::FitCandidate;

QString dataPath(const QString &name) {
    return QFINDTESTDATA(QStringLiteral("../data/edid/") + name);
}

EdidModel modelOf(const QString &name) {
    return edid::readEdidModel(readFile(dataPath(name)));
}

std::optional<edid::LinkLimit> linkOf(int tmdsMhz, int frlGbps) {
    return tmdsMhz == 0 ? std::nullopt : std::optional<edid::LinkLimit>(edid::LinkLimit{tmdsMhz, frlGbps});
}

// "kind | what | bytes | loses", one a candidate.
QStringList rows(const std::vector<FitCandidate> &candidates) {
    QStringList out;
    for (const FitCandidate &c : candidates) {
        out << QStringLiteral("%1 | %2 | %3 | %4")
                   .arg(edid::fitCutName(c.cut), edid::fitCandidateWhat(c))
                   .arg(c.bytes)
                   .arg(edid::fitCandidateLoses(c));
    }
    return out;
}

QStringList whats(std::span<const FitCandidate> candidates) {
    QStringList out;
    for (const FitCandidate &c : candidates) {
        out << edid::fitCandidateWhat(c);
    }
    return out;
}

// The failures edid-decode --check reports, each with the section it stands in; a detailed
// timing's number is left out (a timing the fit left out renumbers those after it).
QStringList oracleFailures(const QString &oracle, const QString &path) {
    static const QRegularExpression number(QStringLiteral("Descriptor #\\d+"));
    return edidoracle::oracleFailures(oracle, path, [](QString failure) {
        return failure.replace(number, QStringLiteral("Descriptor #"));
    });
}

bool writeFile(const QString &path, const std::vector<uint8_t> &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) ==
               qint64(bytes.size());
}

const edid::CtaBlock &ctaOf(const EdidDecoded &decoded) {
    return decoded.cta.front();
}

std::set<uint8_t> vicsOf(const EdidDecoded &decoded) {
    std::set<uint8_t> out;
    for (const edid::VideoDescriptor &v : ctaOf(decoded).videos) {
        out.insert(v.vic);
    }
    return out;
}

// Whether a descriptor of the EDID states all that `wanted` does: its coding, at least its
// channels, every rate and the flags of its third byte.
bool audioCovered(const EdidDecoded &decoded, const edid::AudioFormat &wanted) {
    return std::any_of(
        ctaOf(decoded).audio.begin(), ctaOf(decoded).audio.end(), [&](const edid::AudioFormat &a) {
            return a.code == wanted.code && a.extendedCode == wanted.extendedCode &&
                   a.maxChannels >= wanted.maxChannels && (wanted.sampleRates & ~a.sampleRates) == 0 &&
                   a.jointObjectCoding >= wanted.jointObjectCoding && a.dtsX >= wanted.dtsX &&
                   (wanted.bitDepths & ~a.bitDepths) == 0;
        });
}

QStringList filesIn(const QString &folder) {
    QStringList out;
    const QDir dir(dataPath(folder));
    for (const QString &file : dir.entryList({QStringLiteral("*.bin")}, QDir::Files, QDir::Name)) {
        out << folder + '/' + file;
    }
    return out;
}

} // namespace

class TestEdidFit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void candidates_data();
    void candidates();
    void nativeTimingLeftOut();
    void leastLoss_data();
    void leastLoss();
    void everyTvWithEveryReceiver_data();
    void everyTvWithEveryReceiver();

private:
    QString oracle_;
    QTemporaryDir scratch_;
    int fitted_ = 0;
};

void TestEdidFit::initTestCase() {
    QVERIFY(scratch_.isValid());
    oracle_ = QStandardPaths::findExecutable(QStringLiteral("edid-decode"));
}

void TestEdidFit::cleanupTestCase() {
    qInfo("%d merges fitted by the least loss", fitted_);
    if (oracle_.isEmpty()) {
        QSKIP("edid-decode is not installed (apt-get install edid-decode): the fitted EDIDs went unchecked");
    }
}

// Each kind of candidate: when it is one and when a like thing is not.
void TestEdidFit::candidates_data() {
    QTest::addColumn<Bytes>("edid");
    QTest::addColumn<int>("tmdsMhz"); // the box's link; 0: unknown
    QTest::addColumn<int>("frlGbps");
    QTest::addColumn<QStringList>("expected");
    const Bytes lpcm2 = {0x09, 0x07, 0x07}, lpcm8 = {0x0F, 0x7F, 0x07};
    const Bytes eac3Joc = {0x57, 0x06, 0x01}, eac3 = {0x55, 0x06, 0x00};
    const Bytes ac3 = {0x15, 0x07, 0x50}, dtsX = {0x5F, 0x7E, 0x03}, dtsHd = {0x5F, 0x7E, 0x01};
    const Bytes matFewerRates = {0x67, 0x04, 0x03}, mat = {0x67, 0x7E, 0x01};
    const Bytes hdmiVsdb = block(3, {0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x3C, 0x20, 0x00, 0x40, 0x01, 0x02});
    // clang-format off
    QTest::newRow("beyond the link, but not a 4K60 that passes as 4:2:0")
        << ctaEdid(concat({block(2, {118, 97, 16}), extendedBlock(15, {0x02})})) << 300 << 0
        << QStringList{"beyond-link | VIC 118 (3840x2160p120 16:9) | 1 | nothing: it needs 1188 MHz, beyond the "
                       "box's link (300 MHz TMDS, no FRL)"};
    QTest::newRow("FRL carries 4K120") << ctaEdid(block(2, {118, 97, 16})) << 600 << 48 << QStringList{};
    QTest::newRow("no link, nothing beyond it") << ctaEdid(block(2, {118, 97, 16})) << 0 << 0 << QStringList{};
    QTest::newRow("audio a richer one covers")
        << ctaEdid(block(1, concat({lpcm2, lpcm8, eac3Joc, eac3, ac3, ac3, dtsX, dtsHd, matFewerRates, mat})))
        << 0 << 0
        << QStringList{"shadowed-audio | LPCM, 2 channels, up to 48 kHz | 3 | nothing: another LPCM entry states all of it",
                       "shadowed-audio | E-AC-3, 6 channels, up to 48 kHz | 3 | nothing: another E-AC-3 entry states all of it",
                       "shadowed-audio | AC-3, 6 channels, up to 48 kHz | 3 | nothing: another AC-3 entry states all of it",
                       "shadowed-audio | DTS-HD, 8 channels, up to 192 kHz | 3 | nothing: another DTS-HD entry states all of it"};
    QTest::newRow("blocks no source reads")
        << ctaEdid(concat({block(2, {16}), block(6, {0x12, 0x34}), extendedBlock(15, {0x00}),
                           extendedBlock(120, {0x02}), extendedBlock(99, {0x01})}))
        << 0 << 0
        << QStringList{"unused-block | Unknown Data Block (tag 6) | 3 | nothing: its tag is reserved",
                       "unused-block | YCbCr 4:2:0 Capability Map Data Block | 3 | nothing: it marks no format",
                       "unused-block | HDMI Forum EDID Extension Override Data Block | 3 | nothing: the EDID holds one extension block",
                       "unused-block | Unknown Extended Data Block (extended tag 99) | 3 | nothing: its extended tag is reserved"};
    QTest::newRow("4096-wide twins, the fastest first")
        << ctaEdid(block(2, {97, 98, 102, 93, 101})) << 0 << 0
        << QStringList{"4096-twin | VIC 102 (4096x2160p60) | 1 | 4096x2160p60, while VIC 97 (3840x2160p60 16:9) stays",
                       "4096-twin | VIC 98 (4096x2160p24) | 1 | 4096x2160p24, while VIC 93 (3840x2160p24 16:9) stays"};
    QTest::newRow("no twin where the 3840-wide format is 4:2:0 only")
        << ctaEdid(concat({block(2, {102}), extendedBlock(14, {97})})) << 0 << 0 << QStringList{};
    QTest::newRow("HDMI VICs the Video Data Block lists as VICs")
        << ctaEdid(concat({block(2, {95, 16}), hdmiVsdb})) << 0 << 0
        << QStringList{"repeated-timing | HDMI VIC 1 (3840x2160p30 16:9) | 1 | only what sources older than HDMI 2.0 "
                       "read: the others take VIC 95 (3840x2160p30 16:9)"};
    // clang-format on
    // Detailed timings in the CTA block: 1080p60, which VIC 16 states; the base block's
    // 3840x2160p60; and 1280x720p60, which neither a VIC nor the base block states.
    Bytes timings = ctaEdid(block(2, {16}));
    const uint8_t dtd1080[18] = {0x02, 0x3A, 0x80, 0x18, 0x71, 0x38, 0x2D, 0x40, 0x58,
                                 0x2C, 0x45, 0x00, 0x40, 0x84, 0x63, 0x00, 0x00, 0x1E};
    const uint8_t dtd720[18] = {0x01, 0x1D, 0x00, 0x72, 0x51, 0xD0, 0x1E, 0x20, 0x6E,
                                0x28, 0x55, 0x00, 0x40, 0x84, 0x63, 0x00, 0x00, 0x1E};
    const size_t at = 128 + timings[130];
    std::copy(std::begin(dtd1080), std::end(dtd1080), timings.begin() + at);
    putPreferredTiming(&timings[at + 18]);
    std::copy(std::begin(dtd720), std::end(dtd720), timings.begin() + at + 36);
    fixChecksum(timings, 1);
    QTest::newRow("detailed timings stated otherwise")
        << timings << 0 << 0
        << QStringList{
               "repeated-timing | detailed timing 1920x1080p60 | 18 | nothing: VIC 16 (1920x1080p60 16:9) "
               "states the same format",
               "repeated-timing | detailed timing 3840x2160p60 | 18 | nothing: the base block's detailed "
               "timing 1 states it"};
}

void TestEdidFit::candidates() {
    QFETCH(Bytes, edid);
    QFETCH(int, tmdsMhz);
    QFETCH(int, frlGbps);
    QFETCH(QStringList, expected);
    const EdidModel model = edid::readEdidModel(edid);
    QVERIFY2(model.ctaEditable, qPrintable(model.ctaProblem));
    const edid::FitProposal proposal = edid::proposeFit(model, linkOf(tmdsMhz, frlGbps));
    QCOMPARE(rows(proposal.candidates), expected);
    QCOMPARE(proposal.missingBytes, 0);
    QCOMPARE(proposal.leastLoss, std::optional<size_t>(0));
    // Each saves what it says, alone.
    for (const FitCandidate &c : proposal.candidates) {
        EdidModel alone = model;
        edid::leaveOut(alone, std::span<const FitCandidate>(&c, 1));
        QCOMPARE(edid::ctaContentBytes(model) - edid::ctaContentBytes(alone), c.bytes);
    }
}

// The native timings are the first ones: the base block's and the repeated 1080p60 of the
// CTA block (two of the header). With that one left out, one is native, not the next.
void TestEdidFit::nativeTimingLeftOut() {
    Bytes edid = ctaEdid(block(2, {16}));
    const uint8_t dtd1080[18] = {0x02, 0x3A, 0x80, 0x18, 0x71, 0x38, 0x2D, 0x40, 0x58,
                                 0x2C, 0x45, 0x00, 0x40, 0x84, 0x63, 0x00, 0x00, 0x1E};
    const size_t at = 128 + edid[130];
    std::copy(std::begin(dtd1080), std::end(dtd1080), edid.begin() + at);
    putPreferredTiming(&edid[at + 18]);
    edid[131] = 0x72;
    fixChecksum(edid, 1);
    EdidModel model = edid::readEdidModel(edid);
    const edid::FitProposal proposal = edid::proposeFit(model, std::nullopt);
    QCOMPARE(whats(proposal.candidates),
             (QStringList{"detailed timing 1920x1080p60", "detailed timing 3840x2160p60"}));
    edid::leaveOut(model, std::span<const FitCandidate>(proposal.candidates).first(1));
    QCOMPARE(edid::decodeEdid(edid::encodeEdidModel(model)).cta.front().nativeDtdCount, uint8_t(1));
}

// The demo box's TVs: the receiver's audio merged into the TV's video, with the box's link
// and without; then a VIC beyond the link added to the fitted merge, which is what the user
// asked for and never proposed.
void TestEdidFit::leastLoss_data() {
    QTest::addColumn<int>("tmdsMhz");
    QTest::addColumn<int>("addedVic"); // 0: the merge itself
    QTest::addColumn<int>("missing");
    QTest::addColumn<QStringList>("leftOut");
    QTest::addColumn<QStringList>("kept"); // the other candidates, in order
    const QStringList beyond = {"VIC 118 (3840x2160p120 16:9)", "VIC 117 (3840x2160p100 16:9)",
                                "VIC 219 (4096x2160p120)", "VIC 218 (4096x2160p100)"};
    const QStringList twins = {"VIC 102 (4096x2160p60)", "VIC 101 (4096x2160p50)", "VIC 100 (4096x2160p30)",
                               "VIC 99 (4096x2160p25)", "VIC 98 (4096x2160p24)"};
    const QStringList hdmiVics = {"HDMI VIC 1 (3840x2160p30 16:9)", "HDMI VIC 2 (3840x2160p25 16:9)",
                                  "HDMI VIC 3 (3840x2160p24 16:9)"};
    const QString shadowed = "DTS-HD, 8 channels, up to 192 kHz";
    QTest::newRow("the box's link") << 600 << 0 << 11 << beyond + QStringList{shadowed} + twins.mid(0, 4)
                                    << twins.mid(4) + hdmiVics;
    QTest::newRow("no link known") << 0 << 0 << 11
                                   << QStringList{shadowed, "VIC 219 (4096x2160p120)",
                                                  "VIC 218 (4096x2160p100)"} +
                                          twins
                                   << hdmiVics;
    QTest::newRow("VIC 118 added to the fitted merge") << 600 << 118 << 1 << twins.mid(4) << hdmiVics;
}

void TestEdidFit::leastLoss() {
    QFETCH(int, tmdsMhz);
    QFETCH(int, addedVic);
    QFETCH(int, missing);
    QFETCH(QStringList, leftOut);
    QFETCH(QStringList, kept);
    const EdidModel tv = modelOf(QStringLiteral("lg-oled-c9-hdmi.bin"));
    const EdidModel receiver = modelOf(QStringLiteral("lg-oled55b6v-hdmi-denon-avr-x2300w-hdmi.bin"));
    const std::optional<edid::LinkLimit> link = linkOf(tmdsMhz, 0);
    edid::MergeOutcome merged = edid::mergeEdids(tv, receiver);
    QVERIFY(!merged.outcome.ok);
    QCOMPARE(merged.outcome.reason, QString("the CTA-861 block holds 127 bytes; the merge needs 11 more"));
    QCOMPARE(edid::encodeEdidModel(merged.model), edid::encodeEdidModel(tv));
    // An unfitted model is never written.
    QVERIFY(merged.outcome.unfitted && edid::encodeEdidModel(*merged.outcome.unfitted).empty());
    EdidModel before = tv;
    edid::EditOutcome outcome = merged.outcome;
    if (addedVic != 0) {
        before = *edid::fitByLeastLoss(merged.outcome, link).model;
        const EdidModel fitted = before;
        outcome = edid::addVic(before, uint8_t(addedVic));
        QCOMPARE(edid::encodeEdidModel(before), edid::encodeEdidModel(fitted));
    }
    QCOMPARE(outcome.missingBytes, missing);

    const edid::FittedEdit fit = edid::fitByLeastLoss(outcome, link, addedVic != 0 ? &before : nullptr);
    QCOMPARE(fit.proposal.missingBytes, missing);
    QCOMPARE(whats(fit.leftOut), leftOut);
    QCOMPARE(whats(std::span<const FitCandidate>(fit.proposal.candidates).subspan(fit.leftOut.size())), kept);
    QVERIFY(fit.outcome.ok && fit.model);
    QCOMPARE(edid::encodeEdidModel(*fit.model).size(), size_t{256});
    // The least: without its last candidate the set does not fit.
    EdidModel fewer = *outcome.unfitted;
    edid::leaveOut(fewer, std::span<const FitCandidate>(fit.leftOut).first(fit.leftOut.size() - 1));
    QVERIFY(edid::ctaContentBytes(fewer) > edid::kCtaContentBytes);
    if (addedVic != 0) {
        QVERIFY(vicsOf(edid::decodeEdid(edid::encodeEdidModel(*fit.model))).count(uint8_t(addedVic)) == 1);
    }
}

void TestEdidFit::everyTvWithEveryReceiver_data() {
    QTest::addColumn<QString>("tv");
    QTest::addColumn<QString>("receiver");
    const QStringList tvs = QStringList{"lg-oled-c9-hdmi.bin",       "panasonic-tx65gxr900-hdmi.bin",
                                        "samsung-q800t-hdmi2.1.bin", "samsung-qp85a-8k-hdmi4.bin",
                                        "sony-x900f-hdmi.bin",       "linuxhw-optoma-uhd-C2A485A0B63E.bin"} +
                            filesIn(QStringLiteral("fit/tv"));
    const QStringList receivers =
        QStringList{"lg-oled55b6v-hdmi-denon-avr-x2300w-hdmi.bin"} + filesIn(QStringLiteral("fit/receiver"));
    QVERIFY(tvs.size() >= 14 && receivers.size() >= 9);
    for (const QString &tv : tvs) {
        for (const QString &receiver : receivers) {
            QTest::newRow(qPrintable(QFileInfo(tv).baseName() + " + " + QFileInfo(receiver).baseName()))
                << tv << receiver;
        }
    }
}

void TestEdidFit::everyTvWithEveryReceiver() {
    QFETCH(QString, tv);
    QFETCH(QString, receiver);
    const edid::MergeOutcome merged = edid::mergeEdids(modelOf(tv), modelOf(receiver));
    EdidModel model = merged.model;
    if (!merged.outcome.ok) {
        const edid::FittedEdit fit = edid::fitByLeastLoss(merged.outcome, edid::LinkLimit{600, 0});
        QVERIFY2(fit.model, qPrintable(merged.outcome.reason));
        model = *fit.model;
        ++fitted_;
    }
    const std::vector<uint8_t> written = edid::encodeEdidModel(model);
    QCOMPARE(written.size(), size_t{256});
    const EdidDecoded after = edid::decodeEdid(written);
    const EdidDecoded video = edid::decodeEdid(readFile(dataPath(tv)));
    const EdidDecoded audio = edid::decodeEdid(readFile(dataPath(receiver)));
    // The TV's video: every format stays but those beyond the link and 4096-wide twins.
    const std::set<uint8_t> vics = vicsOf(after);
    for (const uint8_t vic : vicsOf(video)) {
        const VideoFormat *format = findVideoFormat(vic);
        const bool mayGo = format == nullptr || format->pixelClockKhz > 600000 || format->hActive == 4096;
        QVERIFY2(vics.count(vic) == 1 || mayGo, qPrintable(QStringLiteral("VIC %1 left out").arg(vic)));
    }
    QCOMPARE(ctaOf(after).hdrStatic.has_value(), ctaOf(video).hdrStatic.has_value());
    QCOMPARE(ctaOf(after).dolbyVision.has_value(), ctaOf(video).dolbyVision.has_value());
    QCOMPARE(ctaOf(after).hdr10Plus, ctaOf(video).hdr10Plus);
    QCOMPARE(ctaOf(after).hdmiForum.has_value(), ctaOf(video).hdmiForum.has_value());
    // The receiver's audio: every descriptor covered, the speakers as they were.
    for (const edid::AudioFormat &format : ctaOf(audio).audio) {
        QVERIFY2(audioCovered(after, format), qPrintable(edid::audioFormatName(format)));
    }
    QCOMPARE(ctaOf(after).speakerAllocation, ctaOf(audio).speakerAllocation);
    if (oracle_.isEmpty()) {
        return;
    }
    const QString path = scratch_.filePath(QStringLiteral("fitted.bin"));
    QVERIFY(writeFile(path, written));
    const QStringList before =
        oracleFailures(oracle_, dataPath(tv)) + oracleFailures(oracle_, dataPath(receiver));
    QStringList added;
    for (const QString &failure : oracleFailures(oracle_, path)) {
        if (!before.contains(failure)) {
            added << failure;
        }
    }
    QVERIFY2(added.isEmpty(), qPrintable(added.join('\n')));
}

QTEST_GUILESS_MAIN(TestEdidFit)
#include "tst_edid_fit.moc"
