// veltrika doctor on the simulated box: its findings and exit status, one capability with
// --why, every usage error before anything is written, a fix applied through the gate and the
// journal and taken back by undo, and a custom EDID fix saved and written by hand giving the
// box what --apply gives it.

#include "cli_rig.h"

#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Whether any request wrote to the box: every request to it (direction 10) but the fetches of
// the three EDIDs, which only read.
bool wroteAnything(const QStringList &requests) {
    static const QRegularExpression kWrite(QStringLiteral("^10 (?!01 B[456]$)"));
    return std::any_of(requests.begin(), requests.end(),
                       [](const QString &r) { return kWrite.match(r).hasMatch(); });
}

QStringList findingKeys(const QJsonObject &json) {
    QStringList keys;
    for (const QJsonValue &finding : json[QStringLiteral("findings")].toArray()) {
        keys << finding[QStringLiteral("key")].toString();
    }
    return keys;
}

} // namespace

class TestCliDoctor : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir_.isValid()); }
    void usageErrors_data();
    void usageErrors();
    void findingsOfTheDemoChain();
    void why_data();
    void why();
    void applyJournalUndo();
    void customEdidByHand();

private:
    QTemporaryDir dir_;
};

void TestCliDoctor::usageErrors_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown capability")
        << QStringList{"doctor", "--why", "smell-o-vision"}
        << "veltrika: --why: unknown capability smell-o-vision (one of: 4k60, 4k60-420-only, 4k120, "
           "1080p120, 8k, "
           "10-bit, 12-bit, hdr10, hlg, hdr10plus, dolby-vision, bt2020, allm, vrr, tmds, frl, lpcm-2.0, "
           "lpcm-5.1, "
           "lpcm-7.1, lpcm-rates, dd, ddplus, atmos-ddplus, atmos-truehd, dts, dts-hd-ma, dts-x, speakers)";
    QTest::newRow("--dry-run alone") << QStringList{"doctor", "--dry-run"}
                                     << "veltrika: --dry-run, --as-is and -o go with --apply N";
    QTest::newRow("-o without --dry-run")
        << QStringList{"doctor", "--apply", "1", "-o", "fix.bin"}
        << "veltrika: -o saves a fix's EDID with --dry-run (then write it with edid "
           "write)";
    QTest::newRow("--why with --apply") << QStringList{"doctor", "--why", "atmos", "--apply", "1"}
                                        << "veltrika: --why and --apply exclude each other";
    QTest::newRow("--apply without a fix")
        << QStringList{"doctor", "--apply"} << "veltrika: --apply needs a fix's number";
    QTest::newRow("a word of no option")
        << QStringList{"doctor", "now"} << "veltrika: unexpected argument: now";
    QTest::newRow("no such fix") << QStringList{"doctor", "--apply", "9"}
                                 << "veltrika: doctor --apply 9: no such fix (the doctor proposes 5: 1 to 5)";
    QTest::newRow("no fix of that key")
        << QStringList{"doctor", "--apply", "force-stereo=off"}
        << "veltrika: doctor --apply force-stereo=off: no such fix (the doctor "
           "proposes 5: 1 to 5)";
    QTest::newRow("-o of a fix without an EDID")
        << QStringList{"doctor", "--apply", "3", "--dry-run", "-o", "fix.bin"}
        << "veltrika: doctor --apply 3: -o saves a custom EDID, and fix 3 "
           "writes none";
}

// Refused with exit status 2, and nothing written to the box.
void TestCliDoctor::usageErrors() {
    QFETCH(QStringList, arguments);
    CliRig rig;
    rig.journalDirectory = dir_.filePath("journal");
    QCOMPARE(rig.run(arguments), 2);
    QTEST(rig.errLines().filter("veltrika: ").value(0), "error");
    QVERIFY(!wroteAnything(rig.requests()));
    QVERIFY(!QFile::exists(dir_.filePath("journal/2023.jsonl")));
}

// The box as it leaves the factory, the LG C9 on TOP and the receiver on BOT: exit status 1.
void TestCliDoctor::findingsOfTheDemoChain() {
    CliRig rig;
    QCOMPARE(rig.run({"doctor"}), 1);
    const QStringList lines = rig.outLines();
    QCOMPARE(lines.value(0),
             "                      TOP (LG TV)    BOT (DENON-AVR)                      box (VELTRIKA "
             "MIX)  input (STREAMCO Stream Box 4K)");
    QVERIFY(lines.contains(
        "* DTS:X               no             yes                                  no                 "
        " unknown"));
    QVERIFY(lines.contains("10 findings:"));
    QVERIFY(lines.contains(
        "3. automix algorithm Max Audio, Min Video (expected): brings LPCM 5.1, LPCM 7.1, DTS:X, "
        "Speaker allocation; loses nothing the box offers now; TOP (LG TV) does not state: LPCM 5.1, "
        "LPCM 7.1, DTS:X, Speaker allocation"));
    QVERIFY(lines.contains("   $ veltrika set automix-algo=max-audio-min-video"));
    QVERIFY(!wroteAnything(rig.requests()));
    QCOMPARE(rig.run({"doctor", "--json"}), 1);
    const QJsonObject json = rig.json();
    QCOMPARE(findingKeys(json), (QStringList{"4k120", "1080p120", "bt2020", "allm", "vrr", "frl", "lpcm-5.1",
                                             "lpcm-7.1", "dts-x", "speakers"}));
    QCOMPARE(json["fixes"][0]["commands"].toArray().size(), 3);
    QCOMPARE(json["matrix"][0]["top"]["evidence"].toString(),
             "TOP EDID, block 1, byte 5: Video Data Block, VIC 97");
}

void TestCliDoctor::why_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("both TVs and the box state Atmos")
        << "atmos" << 0 << QStringList{"atmos-ddplus", "atmos-truehd"};
    QTest::newRow("DTS:X the receiver states") << "DTS:X" << 1 << QStringList{"dts-x"};
}

void TestCliDoctor::why() {
    QFETCH(QString, format);
    CliRig rig;
    QTEST(rig.run({"doctor", "--why", format}), "status");
    QStringList keys;
    QTEST(rig.run({"doctor", "--why", format, "--json"}), "status");
    for (const QJsonValue &row : rig.json()["matrix"].toArray()) {
        keys << row["key"].toString();
    }
    QTEST(keys, "rows");
    rig.run({"doctor", "--why", "dts-x"});
    QCOMPARE(
        rig.outLines().mid(0, 6),
        (QStringList{
            "DTS:X:",
            "  TOP (LG TV): no (DTS-HD without DTS:X); TOP EDID, block 1, byte 51: Audio Data Block, DTS-HD",
            "  BOT (DENON-AVR): yes (8 channels); BOT EDID, block 1, byte 45: Audio Data Block, DTS-HD",
            "  box (VELTRIKA MIX): no (DTS-HD without DTS:X); box EDID, block 1, byte 48: Audio Data Block, "
            "DTS-HD",
            "  input (STREAMCO Stream Box 4K): unknown; input status: the box reports no audio",
            "  DTS:X: BOT (DENON-AVR) states it (8 channels); the box's EDID does not (DTS-HD without "
            "DTS:X). The automix algorithm is Min Mixed Capabilities, which keeps the audio both outputs "
            "state, and TOP (LG TV) states DTS-HD without DTS:X."}));
}

// Fix 3 (Max Audio, Min Video) through the gate: one register write, journaled with what it
// overwrote; the findings after; undo puts the algorithm back.
void TestCliDoctor::applyJournalUndo() {
    CliRig rig;
    rig.journalDirectory = dir_.filePath("journal");
    QCOMPARE(rig.run({"doctor", "--apply", "3", "--dry-run"}), 0);
    QCOMPARE(rig.outLines().mid(0, 3),
             (QStringList{"Fix 3: automix algorithm Max Audio, Min Video",
                          "It sends:", "  automix-algo: min-mixed -> max-audio-min-video"}));
    QVERIFY(!wroteAnything(rig.requests()));
    QCOMPARE(rig.run({"doctor", "--apply", "3"}), 0);
    QCOMPARE(rig.requests().filter(QRegularExpression("^10 04 E0 ")), QStringList{"10 04 E0 20 01"});
    QCOMPARE(rig.outLines().mid(0, 4),
             (QStringList{"automix-algo: min-mixed -> max-audio-min-video", "Now:", "6 findings:",
                          "1. 4K120: TOP (LG TV) states it (VIC 118); the box's EDID does not. "
                          "It needs 1188 MHz, beyond the box's link (600 MHz TMDS, no FRL): "
                          "no setting brings it."}));
    QCOMPARE(rig.run({"journal", "-n", "1"}), 0);
    QCOMPARE(rig.outLines(),
             (QStringList{rig.outLines().value(0), "    automix-algo: min-mixed -> max-audio-min-video"}));
    QVERIFY(rig.outLines().value(0).contains(
        "command line  chain doctor: automix-algo=max-audio-min-video  applied"));
    QCOMPARE(rig.run({"undo"}), 0);
    QCOMPARE(rig.box.statusRecord()[record::kAutomixAlgorithm], uint8_t(0));
}

// The custom EDID fix saved with --dry-run -o and written as its commands say gives the box
// the very bytes --apply gives it.
void TestCliDoctor::customEdidByHand() {
    CliRig byHand;
    const QString file = dir_.filePath("chain-fix.bin");
    QCOMPARE(byHand.run({"doctor", "--apply", "1", "--dry-run", "-o", file}), 0);
    QVERIFY(!wroteAnything(byHand.requests()));
    QCOMPARE(byHand.run({"set", "edid-mode=custom", "custom-edid=0"}), 0);
    byHand.clock.advance(5000);
    QCOMPARE(byHand.run({"edid", "write", file}), 0);

    CliRig applied;
    QCOMPARE(applied.run({"doctor", "--apply", "1"}), 0);
    QCOMPARE(applied.outLines().mid(0, 2),
             (QStringList{"edid-mode: automix -> custom",
                          "edid: 256 bytes to write (the box's own cannot be read in its "
                          "mode)"}));
    QCOMPARE(applied.box.customEdid(), byHand.box.customEdid());
    QCOMPARE(applied.box.statusRecord()[record::kEdidMode], byHand.box.statusRecord()[record::kEdidMode]);
    QCOMPARE(applied.run({"doctor", "--json"}), 1);
    QCOMPARE(findingKeys(applied.json()), (QStringList{"4k120", "frl"}));
}

QTEST_GUILESS_MAIN(TestCliDoctor)
#include "tst_cli_doctor.moc"
