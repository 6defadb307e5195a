// edid merge and edid edit on the demo's TVs when the EDID does not fit the CTA-861 block:
// the proposal on standard output (text and JSON) with exit status 1 and no file, or with
// --fit-by least-loss the fitted EDID and one line on standard error per thing left out;
// the box's own EDID read last, for its link, only when a proposal needs it.

#include "cli_rig.h"
#include "core/box/frames.h"
#include "core/edid/edid_decode.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray bytesOf(const EdidImage &image) {
    return {reinterpret_cast<const char *>(image.data()), static_cast<qsizetype>(image.size())};
}

// The codes of the EDID fetches among the requests, in order: B4 the box's own, B5 TOP, B6 BOT.
QStringList fetches(const CliRig &rig) {
    QStringList out;
    for (const sim::LoggedFrame &frame : rig.box.frames()) {
        const uint8_t code = frame.request.size() > 2 ? frame.request[2] : 0;
        if (code == proto::kFetchOwnEdid || code == proto::kFetchTopSinkEdid ||
            code == proto::kFetchBotSinkEdid) {
            out << QString::number(code, 16).toUpper();
        }
    }
    return out;
}

const QString kBeyond =
    QStringLiteral("1 byte; loses nothing: it needs 1188 MHz, beyond the box's link (600 MHz "
                   "TMDS, no FRL)");
const QStringList kLeftOut = {
    "VIC 118 (3840x2160p120 16:9), " + kBeyond,
    "VIC 117 (3840x2160p100 16:9), " + kBeyond,
    "VIC 219 (4096x2160p120), " + kBeyond,
    "VIC 218 (4096x2160p100), " + kBeyond,
    "DTS-HD, 8 channels, up to 192 kHz, 3 bytes; loses nothing: another DTS-HD entry states all of it",
    "VIC 102 (4096x2160p60), 1 byte; loses 4096x2160p60, while VIC 97 (3840x2160p60 16:9) stays",
    "VIC 101 (4096x2160p50), 1 byte; loses 4096x2160p50, while VIC 96 (3840x2160p50 16:9) stays",
    "VIC 100 (4096x2160p30), 1 byte; loses 4096x2160p30, while VIC 95 (3840x2160p30 16:9) stays",
    "VIC 99 (4096x2160p25), 1 byte; loses 4096x2160p25, while VIC 94 (3840x2160p25 16:9) stays",
};
const QStringList kKept = {
    "VIC 98 (4096x2160p24), 2 bytes; loses 4096x2160p24, while VIC 93 (3840x2160p24 16:9) stays",
    "HDMI VIC 1 (3840x2160p30 16:9), 1 byte; loses only what sources older than HDMI 2.0 read: the others "
    "take "
    "VIC 95 (3840x2160p30 16:9)",
    "HDMI VIC 2 (3840x2160p25 16:9), 1 byte; loses only what sources older than HDMI 2.0 read: the others "
    "take "
    "VIC 94 (3840x2160p25 16:9)",
    "HDMI VIC 3 (3840x2160p24 16:9), 1 byte; loses only what sources older than HDMI 2.0 read: the others "
    "take "
    "VIC 93 (3840x2160p24 16:9)",
};

QStringList numbered(const QStringList &lines) {
    QStringList out;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        out << QStringLiteral("%1. %2").arg(i + 1, 3).arg(lines[i]);
    }
    return out;
}

} // namespace

class TestCliFit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void refusedOrFitted_data();
    void refusedOrFitted();
    void json();
    void badFitBy_data();
    void badFitBy();

private:
    QStringList arguments(const QString &line) const {
        QString expanded = line;
        expanded.replace(QLatin1Char('@'), dir_.path());
        return expanded.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
    QTemporaryDir dir_;
};

void TestCliFit::initTestCase() {
    QVERIFY(dir_.isValid());
    for (const auto &[name, image] :
         {std::pair{"tv.bin", sim::demoTopSinkEdid()}, {"receiver.bin", sim::demoBotSinkEdid()}}) {
        QFile file(dir_.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytesOf(image));
    }
}

void TestCliFit::refusedOrFitted_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QStringList>("out");
    QTest::addColumn<QStringList>("err"); // every line
    QTest::addColumn<QStringList>("fetched");
    const QString refusal =
        "veltrika: edid merge: the CTA-861 block holds 127 bytes; the merge needs 11 more";
    const QStringList reads = {"TV EDID values read.", "TV EDID values read.", "EDID values read."};
    QStringList leftOut;
    for (const QString &line : kLeftOut) {
        leftOut << "left out " + line;
    }
    QTest::newRow("merge refused, with its proposal")
        << "edid merge --video top --audio bot -o @/m.bin" << 1
        << QStringList{"What to leave out, least loss first (11 bytes missing; the box's link: 600 MHz TMDS, "
                       "no FRL):"} +
               numbered(kLeftOut + kKept) + QStringList{"--fit-by least-loss leaves out the first 9."}
        << reads + QStringList{refusal} << QStringList{"B5", "B6", "B4"};
    QTest::newRow("merge fitted by the least loss")
        << "edid merge --video top --audio bot -o @/m.bin --fit-by least-loss" << 0
        << QStringList{"@/m.bin: LG TV written, CTA-861 block 127 of 127 bytes"} << reads + leftOut
        << QStringList{"B5", "B6", "B4"};
    // Files alone: no box is looked for, and the link is not known.
    QTest::newRow("files, the link unknown")
        << "edid merge --video @/tv.bin --audio @/receiver.bin -o @/m.bin" << 1
        << QStringList{"What to leave out, least loss first (11 bytes missing; the box's link: unknown):"}
        << QStringList{refusal} << QStringList{};
    QTest::newRow("an edit that fits reads no link")
        << "edid edit top -o @/m.bin --remove-vic 102 --fit-by least-loss" << 0
        << QStringList{"@/m.bin: LG TV written, CTA-861 block 123 of 127 bytes"}
        << QStringList{"TV EDID values read."} << QStringList{"B5"};
}

void TestCliFit::refusedOrFitted() {
    QFETCH(QString, line);
    QFETCH(int, exitStatus);
    QFETCH(QStringList, out);
    QFETCH(QStringList, err);
    QFETCH(QStringList, fetched);
    CliRig rig;
    const QString written = dir_.filePath(QStringLiteral("m.bin"));
    QFile::remove(written);
    QCOMPARE(rig.run(arguments(line)), exitStatus);
    for (QString &text : out) {
        text.replace(QLatin1Char('@'), dir_.path());
    }
    const QStringList outLines = rig.outLines();
    QCOMPARE(outLines.mid(0, out.size()), out);
    QCOMPARE(rig.errLines(), err);
    QCOMPARE(fetches(rig), fetched);
    QCOMPARE(QFile::exists(written), exitStatus == 0);
    if (fetched.isEmpty()) {
        QVERIFY(rig.box.calls().empty());
    }
    if (exitStatus == 0) {
        QFile file(written);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.size(), 256);
        const edid::EdidDecoded decoded = edid::decodeEdid(std::span<const uint8_t>(
            reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())));
        QVERIFY(decoded.checksumsOk == (std::vector<bool>{true, true}));
    }
}

void TestCliFit::json() {
    CliRig rig;
    QCOMPARE(rig.run(arguments("--json edid merge --video top --audio bot -o @/j.bin")), 1);
    const QJsonObject fit = rig.json().value("fit").toObject();
    QCOMPARE(fit.value("missing_bytes").toInt(), 11);
    QCOMPARE(fit.value("link").toString(), QString("600 MHz TMDS, no FRL"));
    QCOMPARE(fit.value("least_loss").toInt(), 9);
    const QJsonArray candidates = fit.value("candidates").toArray();
    QCOMPARE(candidates.size(), kLeftOut.size() + kKept.size());
    QCOMPARE(candidates.at(4).toObject(),
             (QJsonObject{{"leave_out", "DTS-HD, 8 channels, up to 192 kHz"},
                          {"kind", "shadowed-audio"},
                          {"bytes", 3},
                          {"loses", "nothing: another DTS-HD entry states all of it"}}));
    QCOMPARE(rig.json().value("error").toString(),
             QString("edid merge: the CTA-861 block holds 127 bytes; the merge needs 11 more"));

    QCOMPARE(rig.run(arguments("--json edid merge --video top --audio bot -o @/j.bin --fit-by least-loss")),
             0);
    const QJsonArray leftOut = rig.json().value("left_out").toArray();
    QCOMPARE(leftOut.size(), kLeftOut.size());
    QCOMPARE(leftOut.at(0).toObject().value("kind").toString(), QString("beyond-link"));
    QCOMPARE(leftOut.at(8).toObject().value("kind").toString(), QString("4096-twin"));
    QCOMPARE(rig.json().value("cta_bytes").toInt(), 127);
    QVERIFY(!rig.json().contains("fit"));
}

void TestCliFit::badFitBy_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("message");
    QTest::newRow("another way") << "edid merge --video top --audio bot -o @/m.bin --fit-by most"
                                 << "veltrika: bad value for --fit-by: most (one of: least-loss)";
    QTest::newRow("no way") << "edid edit top -o @/m.bin --fit-by"
                            << "veltrika: --fit-by needs a value";
}

void TestCliFit::badFitBy() {
    QFETCH(QString, line);
    QFETCH(QString, message);
    CliRig rig;
    QCOMPARE(rig.run(arguments(line)), 2);
    QCOMPARE(rig.errLines().value(0), message);
    QVERIFY(rig.box.calls().empty());
}

QTEST_GUILESS_MAIN(TestCliFit)
#include "tst_cli_fit.moc"
