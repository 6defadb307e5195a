// The EDID decoder held against Debian's edid-decode over 1,194 real displays
// (tests/data/edid-corpus): on every file the facts a source cares about must agree, and
// the decoder must report no failure where edid-decode reports none. edid-decode runs
// four at a time; the per-field agreement is printed at the end.

#include "edid_oracle_facts.h"

#include "core/edid/edid_decode.h"
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

} // namespace

class TestEdidCorpus : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void agrees_data();
    void agrees();
    void cleanupTestCase();

private:
    QDir corpus;
    std::map<QString, QString> oracleOutputs;
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
    const edid::EdidDecoded decoded = edid::decodeEdid(edid);
    const Facts want = oracleFacts(output, lastBlockRead(edid));
    const Facts got = ourFacts(decoded);
    // A data block whose stated length runs past the data block collection: the collection
    // ends at the offset of the first detailed timing (byte 2), and we stop there with a
    // failure; edid-decode reads on into the timings' bytes and finds data blocks there. What
    // we read of the data blocks must then be what edid-decode read first.
    const auto found = [&decoded](const char *rule) {
        return std::any_of(decoded.findings.begin(), decoded.findings.end(), [rule](const Finding &f) {
            return f.rule != nullptr && qstrcmp(f.rule, rule) == 0;
        });
    };
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

void TestEdidCorpus::cleanupTestCase() {
    for (const auto &[field, agreed, compared] : tally) {
        qInfo("%-40s %4d of %4d", qPrintable(field), agreed, compared);
    }
}

QTEST_GUILESS_MAIN(TestEdidCorpus)
#include "tst_edid_corpus.moc"
