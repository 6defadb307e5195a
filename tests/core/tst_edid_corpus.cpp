// The EDID decoder held against Debian's edid-decode over 1,194 real displays
// (tests/data/edid-corpus): on every file the facts a source cares about must agree, the
// decoder must report no failure where edid-decode reports none, and the strict rules must
// find what edid-decode --check finds, in the same block. edid-decode runs four at a time;
// the agreement per field and the files per rule are printed at the end.

#include "edid_oracle_facts.h"

#include "core/edid/edid_decode.h"
#include "core/edid/edid_rules.h"
#include "core/edid_builder.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <map>
#include <memory>
#include <tuple>

using namespace edidoracle;

namespace {

// Runs edid-decode --check on every file, a few processes at a time; its output by file.
std::map<QString, QString> runOracle(const QString &oracle, const QDir &dir, const QStringList &files) {
    constexpr int kAtOnce = 4;
    std::map<QString, QString> outputs;
    std::vector<std::pair<QString, std::unique_ptr<QProcess>>> running;
    qsizetype next = 0;
    while (next < files.size() || !running.empty()) {
        while (next < files.size() && running.size() < kAtOnce) {
            auto process = std::make_unique<QProcess>();
            process->start(oracle, {QStringLiteral("--check"), QStringLiteral("--skip-hex-dump"),
                                    dir.filePath(files[next])});
            running.emplace_back(files[next++], std::move(process));
        }
        running.front().second->waitForFinished(30000);
        outputs[running.front().first] = QString::fromUtf8(running.front().second->readAllStandardOutput());
        running.erase(running.begin());
    }
    return outputs;
}

// The last block a source reads: byte 126's count, or the count of an HDMI Forum EDID
// Extension Override Data Block standing first in a CTA-861 block 1 (bytes 4 to 6: E2 78 n).
int lastBlockRead(const testedid::Bytes &edid) {
    if (edid.size() < 128) {
        return -1;
    }
    int count = edid[126];
    if (edid.size() >= 256 && edid[128] == 0x02 && edid[129] >= 3 && edid[130] >= 7 && edid[132] == 0xE2 &&
        edid[133] == 0x78 && edid[134] != 0) {
        count = edid[134];
    }
    return std::min(count, int(edid.size() / 128) - 1);
}

// Whether what we read is what edid-decode read first: a list it begins, or nothing where
// edid-decode found a value.
template <typename Value> bool readFirst(const Value &ours, const Value &theirs) {
    if constexpr (std::is_same_v<Value, QStringList>) {
        return theirs.mid(0, ours.size()) == ours;
    } else {
        return ours == Value{};
    }
}

bool hasRule(const edid::EdidDecoded &decoded, const char *rule) {
    return std::any_of(decoded.findings.begin(), decoded.findings.end(),
                       [rule](const Finding &f) { return f.rule != nullptr && qstrcmp(f.rule, rule) == 0; });
}

// How a rule's findings must stand to edid-decode's on each file.
enum class Match {
    Same,      // on the same files, in the same blocks
    OursWithin // ours on some of the files where edid-decode finds it (its check is wider)
};

} // namespace

Q_DECLARE_METATYPE(Match)

class TestEdidCorpus : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void agrees_data();
    void agrees();
    void rulesAgree_data();
    void rulesAgree();
    void cleanupTestCase();

private:
    QDir corpus;
    std::map<QString, QString> oracleOutputs;
    std::map<QString, edid::EdidDecoded> decodedFiles;
    // Per field in the order compared: the files where both agree, and the files compared.
    std::vector<std::tuple<QString, int, int>> tally;
};

void TestEdidCorpus::initTestCase() {
    const QString oracle = QStandardPaths::findExecutable(QStringLiteral("edid-decode"));
    if (oracle.isEmpty()) {
        QSKIP("edid-decode is not installed (apt-get install edid-decode)");
    }
    corpus = QDir(QFINDTESTDATA("../data/edid-corpus"));
    const QStringList files = corpus.entryList({QStringLiteral("*.bin")}, QDir::Files, QDir::Name);
    QCOMPARE(files.size(), 1194);
    oracleOutputs = runOracle(oracle, corpus, files);
    for (const QString &file : files) {
        decodedFiles.emplace(file, edid::decodeEdid(testedid::readFile(corpus.filePath(file))));
    }
}

void TestEdidCorpus::agrees_data() {
    QTest::addColumn<QString>("file");
    for (const auto &[file, output] : oracleOutputs) {
        QTest::newRow(qPrintable(file)) << file;
    }
}

void TestEdidCorpus::agrees() {
    QFETCH(QString, file);
    const testedid::Bytes edid = testedid::readFile(corpus.filePath(file));
    const QString &output = oracleOutputs.at(file);
    const edid::EdidDecoded &decoded = decodedFiles.at(file);
    const Facts want = oracleFacts(output, lastBlockRead(edid));
    const Facts got = ourFacts(decoded);
    // A data block whose stated length runs past the data block collection: the collection
    // ends at the offset of the first detailed timing (byte 2), and we stop there with a
    // failure; edid-decode reads on into the timings' bytes and finds data blocks there. What
    // we read of the data blocks must then be what edid-decode read first.
    const auto found = [&decoded](const char *rule) { return hasRule(decoded, rule); };
    const bool overrun = found("cta.data-block.overrun");
    // An Audio Data Block whose length is no multiple of 3: we read the whole descriptors it
    // holds, as a source does, edid-decode none.
    const bool audioCutShort = found("cta.adb.length");
    QStringList differ;
    const auto compare = [&](const char *field, const auto &ours, const auto &theirs,
                             bool ofDataBlocks = false, bool ofAudio = false) {
        auto count = std::find_if(tally.begin(), tally.end(), [field](const auto &row) {
            return std::get<0>(row) == QLatin1String(field);
        });
        if (count == tally.end()) {
            count = tally.insert(tally.end(), {QLatin1String(field), 0, 0});
        }
        ++std::get<2>(*count);
        if (ours == theirs || (overrun && ofDataBlocks && readFirst(ours, theirs)) ||
            (audioCutShort && ofAudio && theirs == std::decay_t<decltype(theirs)>{})) {
            ++std::get<1>(*count);
        } else {
            differ << QLatin1String(field);
        }
    };
    compare("manufacturer", got.manufacturer, want.manufacturer);
    compare("product code", got.productCode, want.productCode);
    compare("serial number", got.serial, want.serial);
    compare("name", got.name, want.name);
    compare("names", got.names, want.names);
    compare("preferred timing", got.preferred, want.preferred);
    compare("detailed timings", got.timings, want.timings);
    compare("range limits", got.rangeLimits, want.rangeLimits);
    compare("blocks", got.blocks, want.blocks);
    compare("VICs", got.vics, want.vics, true);
    compare("4:2:0 capability map", got.ycbcr420Map, want.ycbcr420Map, true);
    compare("audio", got.audio, want.audio, true, true);
    compare("audio notes", got.audioNotes, want.audioNotes, true, true);
    compare("physical address", got.physicalAddress, want.physicalAddress, true);
    compare("HDMI TMDS", got.hdmiTmds, want.hdmiTmds, true);
    compare("HDR EOTFs", got.eotfs, want.eotfs, true);
    compare("HDR luminance", got.luminance, want.luminance, true);
    compare("HDMI Forum", got.hdmiForum, want.hdmiForum, true);
    compare("HDMI Forum TMDS", got.forumTmds, want.forumTmds, true);
    compare("FRL", got.maxFrlCode, want.maxFrlCode, true);
    compare("ALLM", got.allm, want.allm, true);
    compare("VRR", got.vrr, want.vrr, true);
    compare("Dolby Vision", got.dolbyVision, want.dolbyVision, true);
    compare("Dolby audio", got.dolbyAudio, want.dolbyAudio, true);
    compare("video capability", got.videoCapability, want.videoCapability, true);
    compare("text warnings", got.textWarnings, want.textWarnings);
    const bool ourFailure =
        std::any_of(decoded.findings.begin(), decoded.findings.end(),
                    [](const Finding &f) { return f.severity == Finding::Severity::Failure; });
    compare("no failure where edid-decode has none", !ourFailure || oracleHasFailure(output), true);
    QVERIFY2(differ.isEmpty(), qPrintable(differ.join(QLatin1String(", "))));
}

// Each rule that edid-decode --check also checks, with the text of its finding there.
void TestEdidCorpus::rulesAgree_data() {
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("oracleText"); // a regular expression
    QTest::addColumn<Match>("match");
    QTest::addColumn<bool>("ofDataBlocks");
    // The files where edid-decode finds more than we, each for a reason: a standard timing
    // made by GTF (we know the DMT timings a standard timing names), DisplayID timings.
    QTest::addColumn<QStringList>("oracleAlone");
    const auto row = [](const char *rule, const char *text, Match match = Match::Same,
                        bool ofDataBlocks = false, const QStringList &oracleAlone = {}) {
        QTest::newRow(rule) << QString::fromLatin1(rule) << QString::fromLatin1(text) << match << ofDataBlocks
                            << oracleAlone;
    };
    row("cta.vcdb.missing", "^Missing VCDB, needed for Set Selectable RGB Quantization");
    row("cta.vcdb.rgb-not-selectable", "^Video Capability Data Block: Set Selectable RGB Quantization");
    row("cta.vdb.duplicate-vic", "^Video Data Block: Duplicate VIC", Match::Same, true);
    row("cta.vdb.preferred-vic", "^Video Data Block: VIC \\d+ is the preferred timing, overriding");
    row("cta.hdmi-vsdb.vic-not-in-vdb", "^HDMI VIC Codes must have their CTA-861 VIC equivalents");
    row("cta.hdmi-vsdb.tmds-above-340", "HDMI VSDB Max TMDS rate is > 340");
    row("cta.adb.reserved-format",
        "^Audio Data Block: (Audio Format Code 0x00 is reserved|Unknown Audio Ext Format|Obsolete Audio Ext "
        "Format)",
        Match::Same, true);
    row("cta.colorimetry.reserved-bits", "^Colorimetry Data Block: Reserved bits MD0-MD3");
    row("dtd.near-vic", "DTD is similar but not identical to VIC");
    row("base.srgb.chromaticities", "sRGB is signaled, but the chromaticities do not match");
    row("base.srgb.not-signalled", "The chromaticities match sRGB, but sRGB is not signaled");
    row("base.range-limits.timing-outside", "Some timings are out of range of the Monitor Ranges",
        Match::Same, false,
        {"don-denon-avr-848539a0.bin", "sam-lc49g95t-65895752.bin", "sam-lc49g95t-8d2d8f65.bin"});
    // edid-decode finds byte 4 set in any display descriptor of an EDID before 1.4.
    row("base.range-limits.offsets", "Monitor descriptor block has byte 4 nonzero", Match::OursWithin);
    row("edid.extensions.missing", "EDID specified (\\d+) extension block\\(s\\), but found (\\d+)");
}

void TestEdidCorpus::rulesAgree() {
    QFETCH(QString, rule);
    QFETCH(QString, oracleText);
    QFETCH(Match, match);
    QFETCH(bool, ofDataBlocks);
    QFETCH(QStringList, oracleAlone);
    const QRegularExpression text(oracleText);
    const QByteArray ruleId = rule.toLatin1();
    int ours = 0, theirs = 0, both = 0;
    QStringList differ;
    for (const auto &[file, decoded] : decodedFiles) {
        // Where a data block runs past its collection, edid-decode reads data blocks from the
        // timings' bytes; where an Audio Data Block is cut short, it reads none of it.
        if (ofDataBlocks &&
            (hasRule(decoded, "cta.data-block.overrun") || hasRule(decoded, "cta.adb.length"))) {
            continue;
        }
        QList<int> ourBlocks, oracleBlocks;
        for (const Finding &f : decoded.findings) {
            if (f.rule != nullptr && ruleId == f.rule && !ourBlocks.contains(f.block)) {
                ourBlocks << f.block;
            }
        }
        for (const OracleFinding &f : oracleFindings(oracleOutputs.at(file))) {
            const QRegularExpressionMatch m = text.match(f.message);
            // More blocks stated than found: the other way round is edid.extensions.extra.
            const bool counted = m.lastCapturedIndex() < 2 || m.captured(1).toInt() > m.captured(2).toInt();
            // "EDID" holds findings of the whole EDID, which we place in the base block.
            const int block = f.section.startsWith(QLatin1String("Block "))
                                  ? f.section.mid(6).section(QLatin1Char(','), 0, 0).toInt()
                                  : 0;
            if (m.hasMatch() && counted && !oracleBlocks.contains(block)) {
                oracleBlocks << block;
            }
        }
        std::sort(ourBlocks.begin(), ourBlocks.end());
        std::sort(oracleBlocks.begin(), oracleBlocks.end());
        ours += ourBlocks.isEmpty() ? 0 : 1;
        theirs += oracleBlocks.isEmpty() ? 0 : 1;
        both += !ourBlocks.isEmpty() && !oracleBlocks.isEmpty() ? 1 : 0;
        const bool agree = match == Match::Same ? ourBlocks == oracleBlocks
                                                : ourBlocks.isEmpty() || oracleBlocks == ourBlocks;
        if (!agree && !(ourBlocks.isEmpty() && oracleAlone.contains(file))) {
            differ << file;
        }
    }
    qInfo("%-36s ours %4d, edid-decode %4d, both %4d", qPrintable(rule), ours, theirs, both);
    QVERIFY2(differ.isEmpty(), qPrintable(differ.join(QLatin1String(", "))));
}

void TestEdidCorpus::cleanupTestCase() {
    for (const auto &[field, agreed, compared] : tally) {
        qInfo("%-40s %4d of %4d", qPrintable(field), agreed, compared);
    }
    for (const edid::RuleInfo &rule : edid::edidRules()) {
        const auto files =
            std::count_if(decodedFiles.begin(), decodedFiles.end(),
                          [&rule](const auto &entry) { return hasRule(entry.second, rule.id); });
        qInfo("%-40s %4d files", rule.id, int(files));
    }
}

QTEST_GUILESS_MAIN(TestEdidCorpus)
#include "tst_edid_corpus.moc"
