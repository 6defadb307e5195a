// The command line's output in-process: global options anywhere, files and EDIDs on standard
// output, several EDIDs decoded in one run, a full disk, the messages of --quiet and of a
// terminal, and input errors said in full.

#include "arguments.h"
#include "cli_files.h"
#include "cli_rig.h"
#include "core/box/status_texts.h"

#include <QTest>

using namespace clitest;

class TestCliOutput : public QObject, protected CliFiles {
    Q_OBJECT

private slots:
    void initTestCase() { makeFiles(); }
    void globalOptionsAnywhere_data();
    void globalOptionsAnywhere();
    void fileOnStandardOutput_data();
    void fileOnStandardOutput();
    void decodeSeveral_data();
    void decodeSeveral();
    void fullStandardOutputIsAFailure_data();
    void fullStandardOutputIsAFailure();
    void quietShowsMessagesOnlyOnFailure();
    void progressOnlyOnATerminal();
    void decodedOutput_data();
    void decodedOutput();
    void inputErrorsInFull_data();
    void inputErrorsInFull();
};

void TestCliOutput::globalOptionsAnywhere_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("global"); // the global options taken, as "json trace quiet demo=FILE"
    QTest::addColumn<QString>("values"); // what the command kept: its EDIDs, edits, -o and hex
    QTest::addColumn<QString>("error");
    // clang-format off
    QTest::newRow("after the command") << "status --json" << "json" << "" << "";
    QTest::newRow("after its arguments") << "set input=bot --trace --quiet" << "trace quiet" << "" << "";
    QTest::newRow("on both sides") << "--quiet edid read top -o x.bin --demo=@/b" << "quiet demo=@/b" << "x.bin" << "";
    QTest::newRow("after the hex") << "cec send 50:04 --json --demo" << "json demo=" << "50:04" << "";
    QTest::newRow("between files") << "edid decode a.bin --trace b.bin" << "trace" << "a.bin b.bin" << "";
    QTest::newRow("the value of an option") << "edid edit top -o e.bin --name --json" << "" << "top --json e.bin" << "";
    QTest::newRow("the file of -o") << "edid read -o --quiet" << "" << "--quiet" << "";
    QTest::newRow("after --") << "edid decode -- --json a.bin" << "" << "--json a.bin" << "";
    QTest::newRow("not a form") << "infoframe decode --form --json" << "" << ""
                                << "unknown form: --json (one of: frame, hdr-payload, avi-payload)";
    QTest::newRow("demo without file") << "status --demo=" << "demo=" << "" << "--demo= needs a file name";
    // clang-format on
}

// --json, --trace, --quiet and --demo[=FILE] before or after the command and its arguments,
// but never the value of the command's own option nor after "--".

void TestCliOutput::globalOptionsAnywhere() {
    QFETCH(QString, line);
    QFETCH(QString, global);
    QFETCH(QString, values);
    QFETCH(QString, error);
    const cli::Parsed parsed = cli::parseArguments(arguments(line));
    QCOMPARE(parsed.error, error);
    const cli::Invocation &invocation = parsed.invocation;
    QStringList taken;
    const std::array<std::pair<bool, const char *>, 3> flags = {
        {{invocation.json, "json"}, {invocation.trace, "trace"}, {invocation.quiet, "quiet"}}};
    for (const auto &[set, name] : flags) {
        if (set) {
            taken << QLatin1String(name);
        }
    }
    if (invocation.demo) {
        taken << QStringLiteral("demo=") + invocation.demoFile;
    }
    QCOMPARE(taken.join(' '), global.replace('@', dir_.path()));
    QStringList kept;
    for (const cli::EdidInput &input : invocation.edidInputs) {
        kept << input.name;
    }
    for (const cli::EdidEdit &edit : invocation.edidEdits) {
        kept << edit.text;
    }
    kept << invocation.outputFile << invocation.packetText;
    kept.removeAll(QString());
    QCOMPARE(kept.join(' '), values);
}

void TestCliOutput::fileOnStandardOutput_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("terminal");   // standard output is a terminal
    QTest::addColumn<QString>("message"); // standard error's last line
    // clang-format off
    QTest::newRow("raw, -o -") << "edid read top -o -" << false << "TV EDID values read.";
    QTest::newRow("hex, -o -") << "edid read top -o - --format hex" << false << "TV EDID values read.";
    QTest::newRow("C array without -o") << "edid read top --format carray" << false << "TV EDID values read.";
    QTest::newRow(".inf without -o") << "edid read top --format inf" << false << "TV EDID values read.";
    QTest::newRow("hex text on a terminal") << "edid read --hex" << true << "EDID values read.";
    QTest::newRow("edited, -o -") << "edid edit top --name X -o -" << false
                                  << "standard output: X written, CTA-861 block 124 of 127 bytes";
    QTest::newRow("merged, C array") << "edid merge --video top --audio @/good.bin --format carray" << false
                                     << "standard output: LG TV written, CTA-861 block 119 of 127 bytes";
    QTest::newRow("raw on a terminal") << "edid read top -o -" << true
                                       << "veltrika: the raw EDID is not written to a terminal: --format hex prints it "
                                          "as text, or redirect standard output (> FILE)";
    QTest::newRow("raw edit on a terminal") << "edid edit top --format raw" << true
                                            << "veltrika: the raw EDID is not written to a terminal: --format hex prints "
                                               "it as text, or redirect standard output (> FILE)";
    // clang-format on
}

// -o -, or a form without -o, puts on standard output exactly what -o FILE writes into the
// file, and nothing else; raw bytes never go to a terminal, and then the box is not asked.

void TestCliOutput::fileOnStandardOutput() {
    QFETCH(QString, line);
    QFETCH(bool, terminal);
    QFETCH(QString, message);
    const bool refused = message.startsWith(QLatin1String("veltrika: "));
    CliRig rig;
    rig.outTerminal = terminal;
    QCOMPARE(rig.run(arguments(line)), refused ? 2 : 0);
    QCOMPARE(rig.errLines().last(), message.replace('@', dir_.path()));
    if (refused) {
        QVERIFY(rig.outBytes.isEmpty());
        QVERIFY(rig.box.calls().empty());
        return;
    }
    const QByteArray printed = rig.outBytes;
    QString toFile = line.contains(QLatin1String(" -o -")) ? line : line + QStringLiteral(" -o -");
    toFile.replace(QStringLiteral(" -o -"), QStringLiteral(" -o @/standard.out"));
    QCOMPARE(rig.run(arguments(toFile)), 0);
    QCOMPARE(printed, readFile(path("standard.out")));
}

void TestCliOutput::decodeSeveral_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("errors"); // each EDID's, empty when it decoded
    const QString missing = QStringLiteral(
        "Cannot read file @/missing.bin: No such file or directory (the box's EDIDs are box, top and bot)");
    // clang-format off
    QTest::newRow("JSON Lines, one unreadable, one no EDID")
        << "--json edid decode @/good.bin @/missing.bin @/junk.bin top" << Setup::None
        << QStringList{"@/good.bin", "@/missing.bin", "@/junk.bin", "top"}
        << QStringList{"", missing, "@/junk.bin: not an EDID (no EDID header)", ""};
    QTest::newRow("JSON Lines, the box refuses its own")
        << "edid decode box @/good.txt --json" << Setup::RefuseFetch
        << QStringList{"box", "@/good.txt"} << QStringList{"edid read box: refused", ""};
    QTest::newRow("text, one unreadable") << "edid decode @/good.bin @/missing.bin bot" << Setup::None
        << QStringList{"@/good.bin", "@/missing.bin", "bot"} << QStringList{"", missing, ""};
    QTest::newRow("text, all read") << "edid decode @/good.txt box" << Setup::None
        << QStringList{"@/good.txt", "box"} << QStringList{"", ""};
    // clang-format on
}

// Several EDIDs in one run: each as its own decode shows it, named (with --json one object a
// line with its `file`); one that cannot be read is said on its line and on standard error,
// the others go on, and the run ends with exit status 1.

void TestCliOutput::decodeSeveral() {
    QFETCH(QString, line);
    QFETCH(Setup, setup);
    QFETCH(QStringList, names);
    QFETCH(QStringList, errors);
    names.replaceInStrings(QStringLiteral("@"), dir_.path());
    errors.replaceInStrings(QStringLiteral("@"), dir_.path());
    const bool json = line.contains(QLatin1String("--json"));
    CliRig rig;
    prepare(rig, setup);
    QStringList expectedErr;
    QByteArray expectedOut;
    for (qsizetype i = 0; i < names.size(); ++i) {
        // Each as a decode of it alone shows it, with the box's messages of its read.
        CliRig alone;
        prepare(alone, setup);
        alone.run(QStringList{"edid", "decode", names[i]} + (json ? QStringList{"--json"} : QStringList{}));
        for (const QString &message : alone.errLines()) {
            if (!message.startsWith(QLatin1String("veltrika: "))) {
                expectedErr << message;
            }
        }
        if (!errors[i].isEmpty()) {
            expectedErr << QStringLiteral("veltrika: ") + errors[i];
        }
        if (json) {
            QJsonObject object = alone.json();
            object.remove(QStringLiteral("error"));
            object.insert(QStringLiteral("file"), names[i]);
            if (!errors[i].isEmpty()) {
                object.insert(QStringLiteral("error"), errors[i]);
            }
            expectedOut += QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
        } else if (errors[i].isEmpty()) {
            expectedOut += (expectedOut.isEmpty() ? "" : "\n") +
                           QStringLiteral("==> %1 <==\n").arg(names[i]).toUtf8() + alone.outBytes;
        }
    }
    const qsizetype failed = errors.size() - errors.count(QString());
    if (failed > 0) {
        expectedErr << QStringLiteral("veltrika: edid decode: %1 of %2 EDIDs could not be decoded")
                           .arg(failed)
                           .arg(names.size());
    }
    QCOMPARE(rig.run(arguments(line)), failed > 0 ? 1 : 0);
    QCOMPARE(rig.errLines(), expectedErr);
    QCOMPARE(rig.outBytes, expectedOut);
}

void TestCliOutput::fullStandardOutputIsAFailure_data() {
    QTest::addColumn<QString>("line");
    QTest::newRow("one decode") << "edid decode @/good.bin";
    QTest::newRow("several decodes") << "--json edid decode @/good.bin @/good.txt";
    QTest::newRow("a file on standard output") << "edid read top -o -";
    QTest::newRow("settings") << "get input";
}

// A result that does not reach standard output (a full disk) is never a success.

void TestCliOutput::fullStandardOutputIsAFailure() {
    QFETCH(QString, line);
    CliRig rig;
    rig.outFull = true;
    QCOMPARE(rig.run(arguments(line)), 2);
    QCOMPARE(rig.errLines().last(), QStringLiteral("veltrika: Cannot write to standard output."));
}

void TestCliOutput::quietShowsMessagesOnlyOnFailure() {
    CliRig rig;
    QCOMPARE(rig.run({"--quiet", "cec", "send", "50:04"}), 0);
    QVERIFY(rig.errBytes.isEmpty());
    rig.box.injectFault(sim::Fault::Refuse, proto::kCecMessage);
    QCOMPARE(rig.run({"--quiet", "cec", "send", "50:04"}), 1);
    QCOMPARE(rig.errLines(), QStringList({"Error Writing CEC command.", "veltrika: cec send: refused"}));
}

void TestCliOutput::progressOnlyOnATerminal() {
    CliRig rig;
    prepare(rig, Setup::CustomMode);
    QCOMPARE(rig.run(arguments("edid write @/good.bin")), 0);
    QCOMPARE(rig.errBytes, QByteArray("EDID values written...\n"));

    rig.terminal = true;
    rig.clock.advance(rig.box.fetchBusyMs); // the box is done with the last commit
    QCOMPARE(rig.run(arguments("edid write @/good.bin")), 0);
    QVERIFY(rig.errBytes.startsWith("\rEDID 0 %\rEDID 3 %"));
    QVERIFY(rig.errBytes.contains("\rEDID 96 %"));
    // The message takes the progress line's place.
    QVERIFY(rig.errBytes.endsWith("\rEDID 96 %\r\x1b[KEDID values written...\n"));
    rig.clock.advance(rig.box.fetchBusyMs);
    QCOMPARE(rig.run(arguments("--quiet edid write @/good.bin")), 0);
    QVERIFY(rig.errBytes.isEmpty());
}

// After an EDID mode change the box is busy rebuilding its EDID and reports no settings.

void TestCliOutput::decodedOutput_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value"); // the value under key, as compact JSON
    // clang-format off
    QTest::newRow("file name") << "edid decode @/good.txt" << "name" << "\"FILE TV\"";
    QTest::newRow("bad checksum found") << "edid decode @/bad.bin" << "checksums_ok" << "[true,false]";
    QTest::newRow("the box's own") << "edid decode" << "name" << "\"VELTRIKA MIX\"";
    QTest::newRow("the TV on BOT") << "edid decode bot" << "name" << "\"DENON-AVR\"";
    QTest::newRow("compare names") << "edid compare @/good.bin box top" << "rows/0/values" << "[\"FILE TV\",\"VELTRIKA MIX\",\"LG TV\"]";
    QTest::newRow("compare marks the difference") << "edid compare @/good.bin box" << "rows/0/differs" << "true";
    QTest::newRow("cec opcode") << "cec decode 40:04" << "opcode_name" << "\"Image View On\"";
    QTest::newRow("captured HDR") << "infoframe decode" << "hdr/eotf" << "\"SMPTE ST 2084 (PQ)\"";
    QTest::newRow("edited name") << "edid edit box -o @/e.bin --name MIX --remove-vic 97" << "name" << "\"MIX\"";
    QTest::newRow("merged: the video source's name") << "edid merge --video top --audio @/good.bin -o @/m.bin" << "name" << "\"LG TV\"";
    QTest::newRow("typed frame") << "infoframe decode 87:01:02:00:02:00" << "type" << "135";
    // clang-format on
}

void TestCliOutput::decodedOutput() {
    QFETCH(QString, line);
    QFETCH(QString, key);
    QFETCH(QString, value);
    CliRig rig;
    // A captured PQ infoframe: type, announced length, then the payload from the EOTF.
    sim::RegisterBlock &capture = rig.box.registerBlock(proto::kRegHdrCapture);
    if (!line.contains(QLatin1String("--form")) && line.endsWith(QLatin1String("infoframe decode"))) {
        capture[status::kCaptureType] = 0x87;
        capture[status::kCaptureLength] = 2;
        capture[status::kCapturePayload] = 0x02;
    }
    QCOMPARE(rig.run(arguments(QStringLiteral("--json ") + line)), 0);
    if (line.contains(QLatin1String(" -o "))) {
        // What was written reads back as what was printed.
        const QString written = arguments(line).at(arguments(line).indexOf(QStringLiteral("-o")) + 1);
        CliRig reader;
        QCOMPARE(
            reader.run({QStringLiteral("--json"), QStringLiteral("edid"), QStringLiteral("decode"), written}),
            0);
        QJsonObject printed = rig.json();
        printed.remove(QStringLiteral("file"));
        printed.remove(QStringLiteral("cta_bytes"));
        QCOMPARE(reader.json(), printed);
        QFile::remove(written);
    }
    QJsonValue found = rig.json();
    for (const QString &part : key.split(QLatin1Char('/'))) {
        bool isIndex = false;
        const int index = part.toInt(&isIndex);
        found = isIndex ? found.toArray().at(index) : found.toObject().value(part);
    }
    const QByteArray compact = QJsonDocument(QJsonArray{found}).toJson(QJsonDocument::Compact);
    QCOMPARE(QString::fromUtf8(compact.mid(1, compact.size() - 2)), value);
    for (const QString &request : rig.requests()) {
        QVERIFY2(!request.startsWith(QLatin1String("10 ")) || request.startsWith(QLatin1String("10 01 ")),
                 qPrintable(request));
    }
}

void TestCliOutput::inputErrorsInFull_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("message");
    const QString colons = QStringLiteral(" (write the bytes as colon-separated pairs, e.g. 50:04)");
    QStringList groups;
    for (int i = 0; i < 32; ++i) {
        groups << QStringLiteral("0f");
    }
    QTest::newRow("cec without colons") << "cec send 5004"
                                        << "Error: min 2, max 31 data bytes" + colons;
    QTest::newRow("hdr without colons") << "hdr send 87"
                                        << "Error: min 2, max 31 data bytes" + colons;
    QTest::newRow("avi without colons") << "avi send 4"
                                        << "Error: min 2, max 13 data bytes" + colons;
    QTest::newRow("cec store without colons") << "cec store sp 5004"
                                              << "CEC values not correct" + colons;
    QTest::newRow("cec of 32 bytes") << "cec send " + groups.join(':') << "Error: min 2, max 31 data bytes";
    QTest::newRow("digits without colons, long enough") << "cec send 500400"
                                                        << "Hex Format Error";
    QTest::newRow("a picture") << "edid write @/red.png"
                               << "Cannot read file @/red.png: the file is neither an EDID nor text.";
}

void TestCliOutput::inputErrorsInFull() {
    QFETCH(QString, line);
    QFETCH(QString, message);
    CliRig rig;
    prepare(rig, Setup::CustomMode);
    rig.box.clearLog();
    QCOMPARE(rig.run(arguments(line)), 2);
    QCOMPARE(rig.errLines().value(0), "veltrika: " + message.replace(QLatin1Char('@'), dir_.path()));
    QVERIFY(rig.box.calls().empty());
}

QTEST_GUILESS_MAIN(TestCliOutput)
#include "tst_cli_output.moc"
