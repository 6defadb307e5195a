// The command line in-process against the simulated box on a fake clock: every command's
// frames, every exit status, the texts on standard error, the JSON documents and the
// EDID files. A bad argument must leave the box untouched: not even looked for.

#include "arguments.h"
#include "cli_files.h"
#include "cli_rig.h"
#include "core/box/settings_table.h"
#include "core/box/status_texts.h"
#include "core/edid/edid_formats.h"
#include "core/edid/spaced_hex.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(EdidWriteFormat)

using namespace clitest;

class TestCli : public QObject, protected CliFiles {
    Q_OBJECT

private slots:
    void initTestCase() { makeFiles(); }
    void exitStatus_data();
    void exitStatus();
    void oddArgumentsNeverReachTheBox_data();
    void oddArgumentsNeverReachTheBox();
    void requests_data();
    void requests();
    void traceLines_data();
    void traceLines();
    void everySettingsRegister_data();
    void everySettingsRegister();
    void settingsText();
    void statusTextAndJson();
    void jsonDocuments_data();
    void jsonDocuments();
    void edidReadOutputs();
    void edidWriteFiles_data();
    void edidWriteFiles();
    void edidCheckVerdicts();
    void checksOfRealEdids_data();
    void checksOfRealEdids();
    void everyFormIsASource_data();
    void everyFormIsASource();
    void edidReadForms_data();
    void edidReadForms();
    void busyBoxIsAskedAgain();
    void groupListsItsCommands_data();
    void groupListsItsCommands();
    void fitWritesTheFirstTwoBlocks();
    void edidModeChangeIsNoFailure();
    void halfWrittenEdidIsNeverCommitted();
    void silentBoxEndsWithinTheTimeOuts_data();
    void silentBoxEndsWithinTheTimeOuts();
    void documentationNamesEverything_data();
    void documentationNamesEverything();
};

void TestCli::exitStatus_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("boxTouched");

    const QString cec32 = QStringLiteral("cec send ") + groups(32);
    const QString hdr32 = QStringLiteral("hdr send ") + groups(32);
    const QString avi14 = QStringLiteral("avi send ") + groups(14);
    // clang-format off
    // Usage and input errors: the box is not even looked for.
    QTest::newRow("no command") << "" << Setup::None << 2 << "veltrika: no command given" << false;
    QTest::newRow("unknown command") << "bogus" << Setup::None << 2 << "veltrika: unknown command: bogus" << false;
    QTest::newRow("edid alone") << "edid" << Setup::None << 2 << "veltrika: edid needs a command:" << false;
    QTest::newRow("misspelled command") << "edid wrtie @/good.bin" << Setup::None << 2
                                        << "veltrika: unknown command: edid wrtie @/good.bin — did you mean edid write?" << false;
    QTest::newRow("misspelled command word") << "staus" << Setup::None << 2
                                             << "veltrika: unknown command: staus — did you mean status?" << false;
    QTest::newRow("misspelled setting") << "get inptu" << Setup::None << 2
                                        << "veltrika: unknown setting inptu — did you mean input?" << false;
    QTest::newRow("misspelled setting to set") << "set edid-mod=custom" << Setup::None << 2
                                               << "veltrika: unknown setting edid-mod — did you mean edid-mode?" << false;
    QTest::newRow("8 bytes with --fix-checksums") << "edid write @/short.txt --fix-checksums" << Setup::CustomMode << 1
                                                  << "veltrika: edid write: nothing was written: the file holds 8 of 256 bytes (--as-is writes it as it is)" << false;
    QTest::newRow("zeros") << "edid write @/junk.bin" << Setup::CustomMode << 1
                           << "veltrika: edid write: nothing was written: block 0 does not start with the EDID header (--as-is writes it as it is)" << false;
    QTest::newRow("3 blocks") << "edid write @/three.bin" << Setup::CustomMode << 1
                              << "veltrika: edid write: nothing was written: the file holds 3 blocks, the box holds 2 (--fit keeps the first two)" << false;
    QTest::newRow("3 blocks as is") << "edid write @/three.bin --as-is" << Setup::CustomMode << 1
                                    << "veltrika: edid write: nothing was written: the file holds 3 blocks, the box holds 2 (--fit keeps the first two)" << false;
    QTest::newRow("unknown option") << "--frobnicate status" << Setup::None << 2 << "veltrika: unknown option: --frobnicate" << false;
    QTest::newRow("demo without file") << "--demo= status" << Setup::None << 2 << "veltrika: --demo= needs a file name" << false;
    QTest::newRow("unknown option after command") << "status --jsn" << Setup::None << 2 << "veltrika: unexpected argument: --jsn" << false;
    QTest::newRow("unknown setting") << "get nope" << Setup::None << 2 << "veltrika: unknown setting: nope" << false;
    QTest::newRow("set without value") << "set input" << Setup::None << 2 << "veltrika: not NAME=VALUE: input" << false;
    QTest::newRow("set nothing") << "set" << Setup::None << 2 << "veltrika: set needs NAME=VALUE" << false;
    QTest::newRow("second value bad") << "set input=bot hdcp=3.0" << Setup::None << 2
                                      << "veltrika: bad value for hdcp: 3.0 (one of: 1.4, 2.2)" << false;
    QTest::newRow("preset 8") << "set custom-edid=8" << Setup::None << 2
                              << "veltrika: bad value for custom-edid: 8 (one of: 0, 1, 2, 3, 4, 5, 6, 7)" << false;
    QTest::newRow("value case") << "set input=TOP" << Setup::None << 2
                                << "veltrika: bad value for input: TOP (one of: top, bot, matrix-thru, matrix-swap)" << false;
    QTest::newRow("edid source") << "edid read sideways" << Setup::None << 2
                                 << "veltrika: unknown EDID source: sideways (one of: box, top, bot)" << false;
    QTest::newRow("-o without file") << "edid read -o" << Setup::None << 2 << "veltrika: -o needs a file name" << false;
    QTest::newRow("-o unwritable") << "edid read -o @/no/such/dir/e.bin" << Setup::None << 2 << "veltrika: Cannot write file @/no/such/dir/e.bin: " << false;
    QTest::newRow("write without file") << "edid write" << Setup::None << 2 << "veltrika: edid write needs a FILE" << false;
    QTest::newRow("write two files") << "edid write @/good.bin @/good.txt" << Setup::None << 2 << "veltrika: unexpected argument: @/good.txt" << false;
    QTest::newRow("missing file") << "edid write @/missing.bin" << Setup::CustomMode << 2 << "veltrika: Cannot read file @/missing.bin: " << false;
    QTest::newRow("empty file") << "edid write @/empty.bin" << Setup::CustomMode << 2
                                << "veltrika: Cannot read file @/empty.bin: the file is empty." << false;
    QTest::newRow("directory") << "edid write @" << Setup::CustomMode << 2 << "veltrika: Cannot read file @: Is a directory." << false;
    QTest::newRow("bad hex text") << "edid write @/junk.txt" << Setup::CustomMode << 2 << "veltrika: @/junk.txt: Hex Format Error" << false;
    QTest::newRow("GG in hex text") << "edid write @/gg.txt" << Setup::CustomMode << 2 << "veltrika: @/gg.txt: Hex Format Error" << false;
    QTest::newRow("both policies") << "edid write @/bad.bin --fix-checksums --as-is" << Setup::CustomMode << 2
                                   << "veltrika: --fix-checksums and --as-is exclude each other" << false;
    QTest::newRow("check nothing") << "edid check" << Setup::None << 2 << "veltrika: edid check needs a FILE" << false;
    QTest::newRow("broken xrandr") << "edid write @/broken-xrandr.txt" << Setup::CustomMode << 2
                                   << "veltrika: @/broken-xrandr.txt: xrandr --verbose output, line 5: 31 hex digits, 32 expected" << false;
    QTest::newRow("decode broken xrandr") << "edid decode @/broken-xrandr.txt" << Setup::None << 2
                                          << "veltrika: @/broken-xrandr.txt: xrandr --verbose output, line 5: 31 hex digits, 32 expected" << false;
    QTest::newRow("unknown form") << "edid read -o @/e.xml --format xml" << Setup::None << 2
                                  << "veltrika: bad value for --format: xml (one of: raw, hex, carray, inf)" << false;
    QTest::newRow("form and JSON on standard output") << "--json edid read top --format carray" << Setup::None << 2
                                                      << "veltrika: --json and the EDID cannot both go to standard output (-o FILE saves the EDID)" << false;
    QTest::newRow("-o - and JSON after the command") << "edid merge --video top --audio bot -o - --json" << Setup::None << 2
                                                     << "veltrika: --json and the EDID cannot both go to standard output (-o FILE saves the EDID)" << false;
    QTest::newRow("SOURCE near a box name") << "edid decode tpo" << Setup::None << 2
                                            << "veltrika: Cannot read file tpo: No such file or directory (the box's EDIDs are box, top and bot) — did you mean top?" << false;
    QTest::newRow("compare, SOURCE near a box name") << "edid compare box bto" << Setup::None << 2
                                                     << "veltrika: Cannot read file bto: No such file or directory (the box's EDIDs are box, top and bot) — did you mean bot?" << false;
    QTest::newRow("SOURCE near no box name") << "edid edit @/tv.bin -o @/e.bin" << Setup::None << 2
                                             << "veltrika: Cannot read file @/tv.bin: No such file or directory (the box's EDIDs are box, top and bot)" << false;
    QTest::newRow("a FILE is never a box name") << "edid write tpo" << Setup::None << 2
                                                << "veltrika: Cannot read file tpo: No such file or directory." << false;
    QTest::newRow("standard input twice") << "edid decode - @/good.bin -" << Setup::None << 2
                                          << "veltrika: - given twice: standard input is read once" << false;
    QTest::newRow("two forms") << "edid read -o @/e.c --hex --format carray" << Setup::None << 2
                               << "veltrika: one --format (or --hex) only" << false;
    QTest::newRow("form without name") << "edid merge --video top --audio bot -o @/m.c --format" << Setup::None << 2
                                       << "veltrika: --format needs a value" << false;
    QTest::newRow("check missing") << "edid check @/good.bin @/missing.bin" << Setup::None << 2 << "veltrika: Cannot read file @/missing.bin: " << false;
    QTest::newRow("cec too short") << "cec send 5" << Setup::None << 2 << "veltrika: Error: min 2, max 31 data bytes" << false;
    QTest::newRow("cec 32 bytes") << cec32 << Setup::None << 2 << "veltrika: Error: min 2, max 31 data bytes" << false;
    QTest::newRow("cec two texts") << "cec send 50:04 0f:36" << Setup::None << 2 << "veltrika: one HEX text expected" << false;
    QTest::newRow("cec slot") << "cec store xp 50:04" << Setup::None << 2 << "veltrika: unknown CEC slot: xp (one of: sp, lp)" << false;
    QTest::newRow("cec store short") << "cec store sp 5" << Setup::None << 2 << "veltrika: CEC values not correct" << false;
    QTest::newRow("cec not hex") << "cec send zz:zz" << Setup::None << 2 << "veltrika: Hex Format Error" << false;
    QTest::newRow("cec store three digits") << "cec store lp 400:04" << Setup::None << 2 << "veltrika: Hex Format Error" << false;
    QTest::newRow("hdr gg group") << "hdr send 87:01:1a:gg:02" << Setup::None << 2 << "veltrika: Hex Format Error" << false;
    QTest::newRow("avi empty group") << "avi send 60::c8" << Setup::None << 2 << "veltrika: Hex Format Error" << false;
    QTest::newRow("hdr 32 bytes") << hdr32 << Setup::None << 2 << "veltrika: Error: min 2, max 31 data bytes" << false;
    QTest::newRow("avi 14 bytes") << avi14 << Setup::None << 2 << "veltrika: Error: min 2, max 13 data bytes" << false;
    QTest::newRow("reset without yes") << "reset --all" << Setup::None << 2 << "veltrika: reset writes nothing without --yes" << false;
    QTest::newRow("reset two kinds") << "reset --all --edid --yes" << Setup::None << 2 << "veltrika: one of --settings, --edid and --all" << false;
    QTest::newRow("reset no kind") << "reset --yes" << Setup::None << 2 << "veltrika: reset needs --settings, --edid or --all" << false;

    // Nothing to send, or no box needed.
    QTest::newRow("help") << "--help" << Setup::NoDevice << 0 << "" << false;
    QTest::newRow("version") << "--version" << Setup::NoDevice << 0 << "" << false;
    QTest::newRow("command help") << "set --help" << Setup::NoDevice << 0 << "" << false;
    QTest::newRow("edid help") << "edid --help" << Setup::NoDevice << 0 << "" << false;
    QTest::newRow("check without box") << "edid check @/good.bin @/good.txt" << Setup::NoDevice << 0 << "" << false;
    QTest::newRow("decode a file without box") << "edid decode @/good.txt" << Setup::NoDevice << 0 << "" << false;
    QTest::newRow("compare files without box") << "edid compare @/good.bin @/bad.bin" << Setup::NoDevice << 0 << "" << false;
    QTest::newRow("decode hex without box") << "infoframe decode 02:00:c2 --form hdr-payload" << Setup::NoDevice << 0 << "" << false;
    QTest::newRow("cec decode without box") << "cec decode 40:04" << Setup::NoDevice << 0 << "" << false;
    QTest::newRow("decode the box without box") << "edid decode" << Setup::NoDevice << 3 << "veltrika: no box found" << true;
    QTest::newRow("capture without box") << "infoframe decode" << Setup::NoDevice << 3 << "veltrika: no box found" << true;
    QTest::newRow("compare one") << "edid compare @/good.bin" << Setup::None << 2 << "veltrika: edid compare needs two or more EDIDs" << false;
    QTest::newRow("decode not hex") << "edid decode @/gg.txt" << Setup::None << 2 << "veltrika: @/gg.txt: Hex Format Error" << false;
    QTest::newRow("decode empty") << "edid decode @/empty.bin" << Setup::None << 2 << "veltrika: Cannot read file @/empty.bin: the file is empty." << false;
    QTest::newRow("compare a missing file") << "edid compare box @/missing.bin" << Setup::None << 2 << "veltrika: Cannot read file @/missing.bin: " << false;
    QTest::newRow("cec decode not hex") << "cec decode 4:04" << Setup::None << 2 << "veltrika: Hex Format Error" << false;
    QTest::newRow("infoframe form") << "infoframe decode 87:01 --form sideways" << Setup::None << 2
                                    << "veltrika: unknown form: sideways (one of: frame, hdr-payload, avi-payload)" << false;
    QTest::newRow("no EDID header") << "edid decode @/junk.bin" << Setup::None << 1 << "veltrika: @/junk.bin: not an EDID (no EDID header)" << false;
    QTest::newRow("compare, fetch refused") << "edid compare @/good.bin box" << Setup::RefuseFetch << 1 << "veltrika: edid read box: " << true;
    QTest::newRow("edit without -o") << "edid edit box" << Setup::None << 2 << "veltrika: edid edit needs -o FILE" << false;
    QTest::newRow("edit VIC 0") << "edid edit box -o @/e.bin --add-vic 0" << Setup::None << 2 << "veltrika: bad value for --add-vic: 0 (1 to 255)" << false;
    QTest::newRow("edit FRL 10") << "edid edit box -o @/e.bin --max-frl 10" << Setup::None << 2
                                 << "veltrika: bad value for --max-frl: 10 (one of: 0, 9, 18, 24, 32, 40, 48)" << false;
    QTest::newRow("edit two sources") << "edid edit box top -o @/e.bin" << Setup::None << 2 << "veltrika: unexpected argument: top" << false;
    QTest::newRow("merge without audio") << "edid merge --video box -o @/m.bin" << Setup::None << 2
                                         << "veltrika: edid merge needs --video SOURCE and --audio SOURCE" << false;
    QTest::newRow("edit what the source lacks") << "edid edit @/good.bin -o @/e.bin --no-dolby-vision" << Setup::NoDevice << 1
                                                << "veltrika: edid edit --no-dolby-vision: " << false;
    QTest::newRow("no capture") << "infoframe decode" << Setup::None << 1 << "veltrika: infoframe decode: the box has captured no HDR infoframe" << true;
    QTest::newRow("check wrong") << "edid check @/good.bin @/bad.bin" << Setup::NoDevice << 1
                                 << "veltrika: The EDID Checksum is not correct." << false;
    QTest::newRow("wrong checksum stops") << "edid write @/bad.bin" << Setup::CustomMode << 1
                                          << "The EDID Checksum is not correct." << false;

    // The box answers.
    QTest::newRow("status") << "status" << Setup::None << 0 << "" << true;
    QTest::newRow("get") << "get" << Setup::None << 0 << "" << true;
    QTest::newRow("set") << "set input=bot" << Setup::None << 0 << "" << true;
    QTest::newRow("edid read") << "edid read" << Setup::None << 0 << "EDID values read." << true;
    QTest::newRow("edid write") << "edid write @/good.bin" << Setup::CustomMode << 0 << "EDID values written..." << true;
    QTest::newRow("3 blocks fitted") << "edid write @/three.bin --fit" << Setup::CustomMode << 0
                                     << "@/three.bin: kept the first 2 of 3 blocks, the extension count set to 1" << true;
    QTest::newRow("zeros as is") << "edid write @/junk.bin --as-is" << Setup::CustomMode << 0
                                 << "@/junk.bin: written as it is: block 0 does not start with the EDID header" << true;
    QTest::newRow("cec send") << "cec send 50:04" << Setup::None << 0 << "CEC values written..." << true;
    QTest::newRow("cec store") << "cec store lp 0f:36" << Setup::None << 0 << "CEC values written..." << true;
    QTest::newRow("hdr send") << "hdr send 87:01:1a --as-is" << Setup::None << 0 << "Infoframe values written..." << true;
    QTest::newRow("avi send") << "avi send 40:a8:00:10" << Setup::None << 0 << "AVI values written..." << true;
    QTest::newRow("reset") << "reset --settings --yes" << Setup::None << 0 << "" << true;

    // The box refuses or fails.
    QTest::newRow("set refused") << "set input=bot" << Setup::RefuseRegisterWrite << 1 << "Error Writing values" << true;
    QTest::newRow("cec refused") << "cec send 50:04" << Setup::RefuseCec << 1 << "Error Writing CEC command." << true;
    QTest::newRow("hdr refused") << "hdr send 87:01 --as-is" << Setup::RefuseHdr << 1 << "Error Writing Infoframe values." << true;
    QTest::newRow("get silent") << "get" << Setup::SilentStatus << 1 << "veltrika: get: silent" << true;
    QTest::newRow("status silent") << "status" << Setup::SilentStatus << 1 << "veltrika: status: settings: silent" << true;
    QTest::newRow("status refused") << "status" << Setup::RefuseRegisterAccess << 1
                                    << "veltrika: status: firmware version: short reply" << true;
    QTest::newRow("fetch refused") << "edid read" << Setup::RefuseFetch << 1 << "veltrika: edid read box: refused" << true;
    QTest::newRow("reset refused") << "reset --edid --yes" << Setup::RefuseRegisterAccess << 1 << "Error Writing values" << true;
    QTest::newRow("not custom") << "edid write @/good.bin" << Setup::None << 1
                                << "Select CUSTOM EDID TABLE mode to upload an EDID table" << true;
    QTest::newRow("custom preset") << "edid write @/good.bin" << Setup::CustomPreset << 1
                                   << "Select CUSTOM EDID TABLE mode to upload an EDID table" << true;
    QTest::newRow("window refused") << "edid write @/good.bin" << Setup::RefuseWindowWrite << 1
                                    << "Error Writing EDID values." << true;

    QTest::newRow("box gone") << "set input=bot auto-switch=off hdcp=1.4" << Setup::VanishAfterTwoFrames << 1
                              << "veltrika: set hdcp=1.4: write failed" << true;

    // No box.
    QTest::newRow("not connected") << "status" << Setup::NoDevice << 3 << "VELTRIKA USB not connected!" << true;
    QTest::newRow("open fails") << "set input=bot" << Setup::OpenFails << 3 << "Usb device open error!" << true;
    // clang-format on
}

void TestCli::exitStatus() {
    QFETCH(QString, line);
    QFETCH(Setup, setup);
    QFETCH(int, exitStatus);
    QFETCH(QString, message);
    QFETCH(bool, boxTouched);
    CliRig rig;
    prepare(rig, setup);
    rig.box.clearLog();

    QCOMPARE(rig.run(arguments(line)), exitStatus);
    if (!message.isEmpty()) {
        message.replace(QLatin1Char('@'), dir_.path());
        const QStringList lines = rig.errLines();
        QVERIFY2(
            std::any_of(lines.begin(), lines.end(), [&](const QString &l) { return l.startsWith(message); }),
            qPrintable(lines.join(QLatin1Char('|'))));
    }
    if (!boxTouched) {
        const std::vector<std::string> &calls = rig.box.calls();
        QVERIFY2(calls.empty(), calls.empty() ? "" : calls.front().c_str());
    }
    // The box is never left open, and a failed build leaves no file.
    QVERIFY(!rig.box.isOpen());
    if (exitStatus != 0) {
        QVERIFY(!QFile::exists(path("e.bin")) && !QFile::exists(path("m.bin")));
    }
}

void TestCli::oddArgumentsNeverReachTheBox_data() {
    QTest::addColumn<QStringList>("arguments");
    const QString longText(100000, QLatin1Char('5'));
    // clang-format off
    QTest::newRow("empty command") << QStringList{""};
    QTest::newRow("empty setting") << QStringList{"get", ""};
    QTest::newRow("empty assignment") << QStringList{"set", "="};
    QTest::newRow("empty value") << QStringList{"set", "input="};
    QTest::newRow("two equals") << QStringList{"set", "input=bot=top"};
    QTest::newRow("empty hex") << QStringList{"cec", "send", ""};
    QTest::newRow("long hex") << QStringList{"hdr", "send", longText};
    QTest::newRow("long store") << QStringList{"cec", "store", "sp", longText};
    QTest::newRow("non-Latin-1") << QStringList{"avi", "send", QString::fromUtf8("\u00e4\u4e2d:\u4e2d")};
    QTest::newRow("empty file name") << QStringList{"edid", "write", ""};
    QTest::newRow("empty file to check") << QStringList{"edid", "check", "good.bin", ""};
    QTest::newRow("empty -o") << QStringList{"edid", "read", "-o", ""};
    QTest::newRow("long setting") << QStringList{"set", longText + "=on"};
    // clang-format on
}

void TestCli::oddArgumentsNeverReachTheBox() {
    QFETCH(QStringList, arguments);
    CliRig rig;
    rig.box.clearLog();
    QCOMPARE(rig.run(arguments), 2);
    QVERIFY(rig.box.calls().empty());
    QVERIFY(rig.errLines().first().startsWith(QStringLiteral("veltrika: ")));
}

void TestCli::requests_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QStringList>("expected");

    const QString settingsRead = QStringLiteral("11 2A E1");
    const QString videoRead = QStringLiteral("11 0E E0 06");
    // clang-format off
    QTest::newRow("set in order") << "set input=bot edid-mode=custom hdcp=1.4"
        << Setup::None << QStringList{"10 04 E0 00 02", "10 04 E0 05 03", "10 04 E0 03 02"};
    QTest::newRow("set stops at a refusal") << "set input=bot auto-switch=off"
        << Setup::RefuseRegisterWrite << QStringList{"10 04 E0 00 02"};
    QTest::newRow("get") << "get input" << Setup::None << QStringList{settingsRead, videoRead};
    QTest::newRow("status") << "status" << Setup::None
        << QStringList{"11 08 E0 07", settingsRead, videoRead, "11 0F E0 06", "11 1F E0 15", "11 1F E0 1E", "11 1F E0 1F"};
    // A box still listed that leaves its status read unanswered failed that read: the rest is read.
    QTest::newRow("status with its status read unanswered") << "status" << Setup::SilentStatus
        << QStringList{"11 08 E0 07", settingsRead, videoRead, "11 0F E0 06", "11 1F E0 15", "11 1F E0 1E", "11 1F E0 1F"};
    QTest::newRow("cec send") << "cec send 50:04" << Setup::None << QStringList{"10 03 B2 50 01 04", "10 03 B3 10"};
    QTest::newRow("cec activated after refusal") << "cec send 50:04" << Setup::RefuseCec
        << QStringList{"10 03 B2 50 01 04", "10 03 B3 10"};
    QTest::newRow("cec store sp") << "cec store sp 50:04" << Setup::None
        << QStringList{"10 0A E3 43 45 43 20 35 30 3A 30 34 0D"};
    QTest::newRow("cec store lp upper case") << "cec store lp 0f:36" << Setup::None
        << QStringList{"10 0A E4 43 45 43 20 30 46 3A 33 36 0D"};
    QTest::newRow("hdr send") << "hdr send 87:01:1a --as-is" << Setup::None << QStringList{"10 03 E5 87 01 1A", "10 03 B3 20"};
    QTest::newRow("hdr activated after refusal") << "hdr send --as-is 87:01" << Setup::RefuseHdr
        << QStringList{"10 02 E5 87 01", "10 02 B3 20"};
    QTest::newRow("avi send and replace-avi") << "avi send 40:a8" << Setup::None
        << QStringList{settingsRead, videoRead, "10 02 E6 40 A8", "10 02 B3 80", "10 04 E0 21 00"};
    QTest::newRow("avi refused is not activated") << "avi send 40:a8" << Setup::RefuseAvi
        << QStringList{settingsRead, videoRead, "10 02 E6 40 A8"};
    QTest::newRow("reset edid") << "reset --edid --yes" << Setup::None << QStringList{"10 04 E0 19 01"};
    QTest::newRow("reset settings") << "reset --yes --settings" << Setup::None << QStringList{"10 04 E0 19 02"};
    QTest::newRow("reset all") << "reset --all --yes" << Setup::None << QStringList{"10 04 E0 19 03"};
    QTest::newRow("not custom: nothing written") << "edid write @/good.bin" << Setup::None
        << QStringList{settingsRead, videoRead};
    // clang-format on
}

void TestCli::requests() {
    QFETCH(QString, line);
    QFETCH(Setup, setup);
    QFETCH(QStringList, expected);
    CliRig rig;
    prepare(rig, setup);
    rig.run(arguments(line));
    QCOMPARE(rig.requests(), expected);
}

void TestCli::traceLines_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QStringList>("expected");
    // clang-format off
    QTest::newRow("accepted") << "--trace set input=bot" << Setup::None
        << QStringList{"-> 10 04 E0 00 02", "<- E0 00"};
    QTest::newRow("refused") << "--trace set input=bot" << Setup::RefuseRegisterWrite
        << QStringList{"-> 10 04 E0 00 02", "<- EE 00", "Error Writing values", "veltrika: set input=bot: refused"};
    QTest::newRow("silent") << "--trace get input" << Setup::SilentStatus
        << QStringList{"-> 11 2A E1", "<- (silent)", "Error Reading values",
                       "-> 11 0E E0 06", "<- E0 00 10 10 00 60 00 00 00 00 40 A8 00 00", "veltrika: get: silent"};
    QTest::newRow("no trace") << "set input=bot" << Setup::None << QStringList{};
    // clang-format on
}

void TestCli::traceLines() {
    QFETCH(QString, line);
    QFETCH(Setup, setup);
    QFETCH(QStringList, expected);
    CliRig rig;
    prepare(rig, setup);
    rig.run(arguments(line));
    QCOMPARE(rig.errLines(), expected);
}

void TestCli::everySettingsRegister_data() {
    QTest::addColumn<QString>("assignment");
    QTest::addColumn<QString>("request");
    // clang-format off
    const std::pair<const char *, const char *> rows[] = {
        {"input=matrix-swap", "00 04"}, {"auto-switch=off", "01 00"}, {"priority=forced", "0D 01"},
        {"audio-source=jack", "02 03"}, {"hdcp=1.4", "03 02"}, {"out-420=on", "04 01"},
        {"edid-mode=fixed", "05 02"}, {"automix-algo=top-priority", "20 02"}, {"custom-edid=5", "0E 05"},
        {"force-stereo=on", "08 01"}, {"force-51=on", "09 01"}, {"remove-3d=on", "0A 01"},
        {"hdr-packet=off", "0B 00"}, {"hdr-hotkey=on", "10 01"}, {"hdr-force=on", "11 01"},
        {"hdr-mode=samsung", "13 01"}, {"green-led=off", "16 00"}, {"blue-leds=off", "17 00"},
        {"bt2020=on", "18 01"}, {"allow-ycbcr=off", "1A 00"}, {"cec=off", "1B 00"},
        {"cec-device-type=audio-system", "1C 01"}, {"avr-audio=on", "1D 01"}, {"replace-avi=on", "21 01"},
        {"full-audio=on", "0C 01"},
    };
    // clang-format on
    QCOMPARE(std::size(rows), size_t(kSettingCount));
    for (const auto &[assignment, request] : rows) {
        QTest::newRow(assignment) << assignment << QStringLiteral("10 04 E0 ") + QLatin1String(request);
    }
}

// Each name writes its register with its value, and reads back from its record field.

void TestCli::everySettingsRegister() {
    QFETCH(QString, assignment);
    QFETCH(QString, request);
    CliRig rig;
    QCOMPARE(rig.run({"set", assignment}), 0);
    QCOMPARE(rig.requests(), QStringList{request});
    QCOMPARE(rig.run({"get", assignment.section(QLatin1Char('='), 0, 0)}), 0);
    QCOMPARE(rig.outLines(), QStringList{assignment});
}

void TestCli::settingsText() {
    CliRig rig;
    rig.box.statusRecord()[record::kHdcpVersion] = 1; // neither version: the table lists no 1
    rig.box.statusRecord()[record::kActiveInput] = 4;
    QCOMPARE(rig.run({"get", "hdcp", "input", "cec-device-type"}), 0);
    QCOMPARE(rig.outLines(),
             QStringList({"hdcp=unknown(1)", "input=matrix-swap", "cec-device-type=video-processor"}));

    QCOMPARE(rig.run({"get"}), 0);
    const QStringList all = rig.outLines();
    QCOMPARE(all.size(), kSettingCount);
    QCOMPARE(all.first(), QStringLiteral("input=matrix-swap"));
    QCOMPARE(all.last(), QStringLiteral("full-audio=off"));
}

void TestCli::statusTextAndJson() {
    CliRig rig;
    QCOMPARE(rig.run({"status"}), 0);
    const QStringList lines = rig.outLines();
    QCOMPARE(lines.mid(0, 5),
             QStringList({"Input : 1920x1080p60 HDMI, Output: TX A, TX B",
                          "Color Space: YCbCr 4:4:4, ITU-R BT.709", "Source Info: STREAMCO Stream Box 4K",
                          "HDR input:  Not Active", "ver: 1.8.3.0"}));
    QCOMPARE(lines.size(), 5 + kSettingCount);

    // An HDR source: the capture appears as its own line and in the document.
    const uint8_t capture[] = {0, 0, 0x87, 3, 2, 0, 0x1A};
    std::copy(std::begin(capture), std::end(capture), rig.box.registerBlock(proto::kRegHdrCapture).begin());
    QCOMPARE(rig.run({"--json", "status"}), 0);
    const QJsonObject status = rig.json();
    QCOMPARE(status.value("video_format").toString(),
             QStringLiteral("Input : 1920x1080p60 HDMI, Output: TX A, TX B"));
    QCOMPARE(status.value("color_space").toString(),
             QStringLiteral("Color Space: YCbCr 4:4:4, ITU-R BT.709"));
    QCOMPARE(status.value("video_source").toString(), QStringLiteral("Source Info: STREAMCO Stream Box 4K"));
    QVERIFY(status.value("hdr_input").toString().startsWith(QStringLiteral("HDR input: ")));
    QCOMPARE(status.value("hdr_capture").toString(), QStringLiteral("02:00:1a"));
    QCOMPARE(status.value("firmware").toString(), QStringLiteral("1.8.3.0"));
    QCOMPARE(status.value("settings").toObject().size(), kSettingCount);
    QCOMPARE(status.value("settings").toObject().value("edid-mode").toString(), QStringLiteral("automix"));
    QVERIFY(!status.contains("error"));

    // A version that could not be read is null, never 0.0.0.0.
    rig.box.injectFaultForRegister(sim::Fault::Refuse, proto::kRegVersion);
    QCOMPARE(rig.run({"--json", "status"}), 1);
    QVERIFY(rig.json().value("firmware").isNull());
    QCOMPARE(rig.json().value("settings").toObject().size(), kSettingCount);
    QCOMPARE(rig.json().value("error").toString(), QStringLiteral("status: firmware version: short reply"));
}

void TestCli::jsonDocuments_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QByteArray>("expected"); // the whole document
    // clang-format off
    QTest::newRow("get") << "--json get input hdcp" << Setup::None << 0
        << QByteArray(R"({"input":"top","hdcp":"2.2"})");
    QTest::newRow("set") << "--json set input=matrix-thru" << Setup::None << 0
        << QByteArray(R"({"input":"matrix-thru"})");
    QTest::newRow("set refused") << "--json set input=bot" << Setup::RefuseRegisterWrite << 1
        << QByteArray(R"({"failed":"input","error":"set input=bot: refused"})");
    QTest::newRow("cec send") << "--json cec send 50:04" << Setup::None << 0
        << QByteArray(R"({"text":"50:04","bytes":"50 01 04"})");
    QTest::newRow("cec store") << "--json cec store sp 50:04" << Setup::None << 0
        << QByteArray(R"({"text":"50:04","bytes":"35 30 3A 30 34 0D","slot":"sp"})");
    QTest::newRow("reset") << "--json reset --all --yes" << Setup::None << 0 << QByteArray(R"({"reset":"all"})");
    QTest::newRow("usage error") << "--json get nope" << Setup::None << 2
        << QByteArray(R"({"error":"unknown setting: nope"})");
    QTest::newRow("no box") << "--json get" << Setup::NoDevice << 3 << QByteArray(R"({"error":"no box found"})");
    QTest::newRow("check") << "--json edid check @/good.bin" << Setup::None << 0
        << QByteArray(R"({"files":[{"file":"@/good.bin","right":true,"blocks":[)"
                      R"({"block":0,"checksum":"CS0","expected":"CS0","right":true},)"
                      R"({"block":1,"checksum":"CS1","expected":"CS1","right":true}]}],"right":true})");
    // clang-format on
}

void TestCli::jsonDocuments() {
    QFETCH(QString, line);
    QFETCH(Setup, setup);
    QFETCH(int, exitStatus);
    QFETCH(QByteArray, expected);
    expected.replace('@', dir_.path().toUtf8());
    expected.replace("CS0", edidByteText(good_[kEdidChecksum0]).toLatin1());
    expected.replace("CS1", edidByteText(good_[kEdidChecksum1]).toLatin1());
    CliRig rig;
    prepare(rig, setup);
    QCOMPARE(rig.run(arguments(line)), exitStatus);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(rig.outBytes, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(document, QJsonDocument::fromJson(expected));
}

void TestCli::edidReadOutputs() {
    CliRig rig;
    const EdidImage own = rig.box.ownEdid();
    QCOMPARE(rig.run({"edid", "read"}), 0);
    QCOMPARE(rig.out(), formatEdidText(own));
    QCOMPARE(rig.outLines().size(), 16);
    QCOMPARE(rig.requests().first(), QStringLiteral("10 01 B4"));

    QCOMPARE(rig.run({"edid", "read", "bot", "-o", path("bot.bin")}), 0);
    QCOMPARE(rig.requests().first(), QStringLiteral("10 01 B6"));
    QCOMPARE(readFile(path("bot.bin")), bytesOf(rig.box.botSinkEdid()));
    QVERIFY(rig.out().isEmpty());

    QCOMPARE(rig.run({"--json", "edid", "read", "top", "--hex", "-o", path("top.txt")}), 0);
    QCOMPARE(readFile(path("top.txt")), formatEdidText(rig.box.topSinkEdid()).toLatin1());
    QCOMPARE(rig.json().value("source").toString(), QStringLiteral("top"));
    QCOMPARE(rig.json().value("edid").toString(), formatEdidText(rig.box.topSinkEdid()));
    QCOMPARE(rig.json().value("checksums_right").toBool(), true);

    // A read that fails leaves an existing file as it was.
    writeFile(path("keep.bin"), "old");
    rig.box.injectFaultForNext(sim::Fault::Silent, 1, 5);
    QCOMPARE(rig.run({"edid", "read", "-o", path("keep.bin")}), 1);
    QCOMPARE(readFile(path("keep.bin")), QByteArray("old"));
    QCOMPARE(QDir(dir_.path()).entryList({"keep.bin*"}, QDir::Files | QDir::Hidden), QStringList{"keep.bin"});
}

void TestCli::edidWriteFiles_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("repaired"); // the box gets the file's image with right checksums
    // clang-format off
    QTest::newRow("raw") << "edid write @/good.bin" << false;
    QTest::newRow("hex text") << "edid write @/good.txt" << false;
    QTest::newRow("fixed") << "edid write @/bad.bin --fix-checksums" << true;
    QTest::newRow("as is") << "edid write --as-is @/bad.bin" << false;
    // clang-format on
}

void TestCli::edidWriteFiles() {
    QFETCH(QString, line);
    QFETCH(bool, repaired);
    const QString fileName = arguments(line).filter(QStringLiteral(".")).first();
    EdidImage expected = fileName.endsWith(QLatin1String(".txt")) ? good_ : imageOf(readFile(fileName));
    if (repaired) {
        setEdidChecksums(expected);
        QCOMPARE(expected, good_);
    }
    CliRig rig;
    prepare(rig, Setup::CustomMode);
    QCOMPARE(rig.run(arguments(line)), 0);
    QCOMPARE(rig.box.customEdid(), expected);
    // The mode check, 32 window writes, the commit.
    const QStringList requests = rig.requests();
    QCOMPARE(requests.size(), 2 + 32 + 1);
    QStringList lastWindow = {QStringLiteral("10 08 B0 F8")};
    for (size_t i = 248; i < 256; ++i) {
        lastWindow << edidByteText(expected[i]);
    }
    QCOMPARE(requests[2 + 31], lastWindow.join(QLatin1Char(' ')));
    QCOMPARE(requests.last(), QStringLiteral("10 08 B1"));
}

void TestCli::edidCheckVerdicts() {
    CliRig rig;
    QCOMPARE(rig.run(arguments("edid check @/bad.bin @/good.txt")), 1);
    const QString cs0 = edidByteText(good_[kEdidChecksum0]);
    const QString bad1 = edidByteText(good_[kEdidChecksum1] ^ 0x5A);
    const QString cs1 = edidByteText(good_[kEdidChecksum1]);
    QCOMPARE(rig.outLines(),
             QStringList({path("bad.bin") + ": block 0: checksum " + cs0 + " right",
                          path("bad.bin") + ": block 1: checksum " + bad1 + " wrong, should be " + cs1,
                          path("good.txt") + ": block 0: checksum " + cs0 + " right",
                          path("good.txt") + ": block 1: checksum " + cs1 + " right"}));
}

void TestCli::checksOfRealEdids_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("block0");
    QTest::addColumn<QString>("block1");
    // The verdicts of tests/data/edid/README.md, which agree with Debian's edid-decode.
    // clang-format off
    QTest::newRow("bad base block") << "MODIFIED-lg-oled-c9-hdmi-block0-badsum.bin" << "8E wrong, should be 8D" << "C6 right";
    QTest::newRow("acer") << "acer-xv273k-dp1.bin" << "21 right" << "C0 right";
    QTest::newRow("apple") << "apple-cinemahd-30-dvi.bin" << "F3 right" << "41 right";
    QTest::newRow("base block only") << "dell-3007wfp-dvi.bin" << "E9 right" << "00 right";
    QTest::newRow("lg tile") << "lg-34wk95uw-thunderbolt-dp1-tile0.bin" << "E2 right" << "E3 right";
    QTest::newRow("lg oled") << "lg-oled-c9-hdmi.bin" << "8E right" << "C6 right";
    QTest::newRow("lg oled text") << "lg-oled-c9-hdmi.txt" << "8E right" << "C6 right";
    QTest::newRow("benq as read") << "linuxhw-benq-pd2700u-C457DADB2E45.bin" << "D3 right" << "00 wrong, should be 01";
    QTest::newRow("benq text") << "linuxhw-benq-pd2700u-C457DADB2E45.txt" << "D3 right" << "00 wrong, should be 01";
    QTest::newRow("samsung") << "samsung-q800t-hdmi2.1.bin" << "6E right" << "67 right";
    // clang-format on
}

void TestCli::checksOfRealEdids() {
    QFETCH(QString, file);
    QFETCH(QString, block0);
    QFETCH(QString, block1);
    const QString path = QStringLiteral(VELTRIKA_SOURCE_DIR "/tests/data/edid/") + file;
    CliRig rig;
    const bool right = block0.endsWith(QLatin1String("right")) && block1.endsWith(QLatin1String("right"));
    QCOMPARE(rig.run({"edid", "check", path}), right ? 0 : 1);
    QCOMPARE(rig.outLines(),
             QStringList({path + ": block 0: checksum " + block0, path + ": block 1: checksum " + block1}));
}

// Every form another tool saves is a SOURCE of edid write (the first two blocks with --fit),
// decode, compare, check and edit: the box gets exactly the bytes of the corpus EDID.

void TestCli::everyFormIsASource_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("edid");
    QTest::addColumn<QStringList>("options");
    // clang-format off
    QTest::newRow("edid-decode") << "lg-oled-c9.edid-decode.txt" << "lg-oled-c9-hdmi.bin" << QStringList{};
    QTest::newRow("C array") << "samsung-q800t.carray.c" << "samsung-q800t-hdmi2.1.bin" << QStringList{};
    QTest::newRow("XML, 3 blocks") << "acer-xv273k-dp1.quantumdata.xml" << "acer-xv273k-dp1.bin" << QStringList{"--fit"};
    QTest::newRow("xrandr, 4 blocks") << "lg-34wk95uw.xrandr-verbose.txt" << "lg-34wk95uw-thunderbolt-dp1-tile0.bin" << QStringList{"--fit"};
    QTest::newRow("Xorg log") << "panasonic-tx65gxr900.Xorg.0.log" << "panasonic-tx65gxr900-hdmi.bin" << QStringList{};
    QTest::newRow("NVIDIA log") << "dell-3007wfp.nvidia-Xorg.0.log" << "dell-3007wfp-dvi.bin" << QStringList{};
    QTest::newRow("table") << "sony-x900f.edid-bytes.dat" << "sony-x900f-hdmi.bin" << QStringList{};
    QTest::newRow("labelled table") << "optoma-uhd.labelled-table.txt" << "linuxhw-optoma-uhd-C2A485A0B63E.bin" << QStringList{};
    QTest::newRow("ASCII dump") << "apple-cinemahd-30.ascii-dump.txt" << "apple-cinemahd-30-dvi.bin" << QStringList{};
    QTest::newRow(".inf") << "denon-avr-x2300w.edid-override.inf" << "lg-oled55b6v-hdmi-denon-avr-x2300w-hdmi.bin" << QStringList{};
    QTest::newRow(".inf comment") << "acer-xv273k-hdmi1.comment.inf" << "acer-xv273k-hdmi1.bin" << QStringList{};
    QTest::newRow(".reg, block 1 as read") << "benq-pd2700u.reg" << "linuxhw-benq-pd2700u-C457DADB2E45.bin" << QStringList{"--as-is"};
    QTest::newRow("continuous hex") << "dell-2408wfp.continuous-hex.txt" << "dell-2408wfp-dp.bin" << QStringList{};
    QTest::newRow("0x with commas") << "samsung-qp85a.0x-commas.txt" << "samsung-qp85a-8k-hdmi4.bin" << QStringList{};
    QTest::newRow("base64") << "samsung-q800t.base64.txt" << "samsung-q800t-hdmi2.1.bin" << QStringList{};
    // clang-format on
}

void TestCli::everyFormIsASource() {
    QFETCH(QString, file);
    QFETCH(QString, edid);
    QFETCH(QStringList, options);
    const QString data = QStringLiteral(VELTRIKA_SOURCE_DIR "/tests/data/edid/");
    const QString form = data + QStringLiteral("formats/") + file;
    const QByteArray bytes = readFile(data + edid);
    QByteArray expected = bytes.left(256);
    if (bytes.size() > 256) {
        // --fit: the extension count set to one, block 0's checksum moved with it.
        expected[126] = 1;
        expected[127] = static_cast<char>(expected[127] + bytes[126] - 1);
    }
    expected.resize(256, '\0');
    CliRig rig;
    QCOMPARE(rig.run({"set", "edid-mode=custom", "custom-edid=0"}), 0);
    QCOMPARE(rig.run(QStringList{"edid", "write", form} + options), 0);
    QCOMPARE(bytesOf(rig.box.customEdid()), expected);

    QCOMPARE(rig.run({"--json", "edid", "decode", form}), 0);
    const QJsonObject decoded = rig.json();
    QCOMPARE(rig.run({"--json", "edid", "decode", data + edid}), 0);
    QCOMPARE(decoded, rig.json());
    QCOMPARE(rig.run({"edid", "compare", form, data + edid}), 0);
    QCOMPARE(rig.run({"edid", "check", form}), rig.run({"edid", "check", data + edid}));
    QCOMPARE(rig.run({"edid", "edit", form, "-o", path("edited.bin"), "--name", "EDITED"}),
             rig.run({"edid", "edit", data + edid, "-o", path("edited-bin.bin"), "--name", "EDITED"}));
}

// edid read -o FILE --format: raw (the default), hex (also --hex), a C array, a Windows .inf.

void TestCli::edidReadForms_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<EdidWriteFormat>("format");
    QTest::newRow("default") << QStringList{} << EdidWriteFormat::Raw;
    QTest::newRow("raw") << QStringList{"--format", "raw"} << EdidWriteFormat::Raw;
    QTest::newRow("hex") << QStringList{"--format", "hex"} << EdidWriteFormat::Hex;
    QTest::newRow("--hex") << QStringList{"--hex"} << EdidWriteFormat::Hex;
    QTest::newRow("--hex and hex") << QStringList{"--hex", "--format", "hex"} << EdidWriteFormat::Hex;
    QTest::newRow("carray") << QStringList{"--format", "carray"} << EdidWriteFormat::CArray;
    QTest::newRow("inf") << QStringList{"--format", "inf"} << EdidWriteFormat::Inf;
}

void TestCli::edidReadForms() {
    QFETCH(QStringList, options);
    QFETCH(EdidWriteFormat, format);
    CliRig rig;
    const EdidImage top = rig.box.topSinkEdid();
    QCOMPARE(rig.run(QStringList{"edid", "read", "top", "-o", path("top.edid")} + options), 0);
    const QByteArray file = readFile(path("top.edid"));
    QCOMPARE(file, writeEdidFileContent(top, format));
    // What is written reads back as a SOURCE.
    QCOMPARE(rig.run({"--json", "edid", "decode", path("top.edid")}), 0);
    const QJsonObject decoded = rig.json();
    QCOMPARE(rig.run({"--json", "edid", "decode", "top"}), 0);
    QCOMPARE(decoded, rig.json());
    // The builders write the same forms.
    QCOMPARE(rig.run(QStringList{"edid", "edit", "top", "-o", path("edit.edid"), "--name", "X"} + options),
             0);
    QCOMPARE(readEdidFileContent(QByteArrayView(readFile(path("edit.edid")))).ok(), true);
}

void TestCli::busyBoxIsAskedAgain() {
    CliRig rig;
    prepare(rig, Setup::CustomMode);
    rig.box.setBusyFor(rig.box.modeChangeBusyMs);
    QCOMPARE(rig.run(arguments("edid write @/good.bin")), 0);
    QCOMPARE(rig.errLines().first(), QStringLiteral("EDID Writing Busy"));
    QCOMPARE(rig.box.customEdid(), good_);

    // A box that stays busy ends the command within a few seconds.
    rig.box.setBusyFor(60000);
    const uint32_t start = rig.clock.tickCount();
    QCOMPARE(rig.run({"get"}), 1);
    QVERIFY(rig.clock.tickCount() - start <= 6000);
    QCOMPARE(rig.errLines().last(), QStringLiteral("veltrika: get: busy"));
}

void TestCli::groupListsItsCommands_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("exitStatus");
    QTest::newRow("edid alone: usage error") << "edid" << 2;
    QTest::newRow("edid --help") << "edid --help" << 0;
}

// Every edid command and no other, on standard output for --help, with the error otherwise.

void TestCli::groupListsItsCommands() {
    QFETCH(QString, line);
    QFETCH(int, exitStatus);
    CliRig rig;
    QCOMPARE(rig.run(arguments(line)), exitStatus);
    const QString shown = exitStatus == 0 ? rig.out() : rig.errLines().join(QLatin1Char('\n'));
    QStringList listed;
    for (const QString &text : shown.split(QLatin1Char('\n'))) {
        if (text.startsWith(QLatin1String("  edid "))) {
            listed << text.mid(2).section(QLatin1Char(' '), 0, 1);
        }
    }
    QCOMPARE(listed, (QStringList{"edid read", "edid write", "edid check", "edid decode", "edid compare",
                                  "edid edit", "edid merge"}));
    QVERIFY(!shown.contains(QLatin1String("cec send")));
}

// --fit writes the first two blocks with the extension count set to 1 and block 0's
// checksum moved with it: here exactly the good EDID the file was made from.

void TestCli::fitWritesTheFirstTwoBlocks() {
    CliRig rig;
    prepare(rig, Setup::CustomMode);
    QCOMPARE(rig.run(arguments("edid write @/three.bin --fit")), 0);
    QVERIFY(rig.box.customEdid() == good_);
}

// The box is busy for a while after an EDID mode change; that is no failure to report.

void TestCli::edidModeChangeIsNoFailure() {
    CliRig rig;
    QCOMPARE(rig.run({"set", "edid-mode=custom"}), 0);
    QVERIFY2(!rig.errLines().contains(QStringLiteral("EDID Writing Busy")),
             qPrintable(rig.errLines().join('|')));
}

void TestCli::halfWrittenEdidIsNeverCommitted() {
    CliRig rig;
    prepare(rig, Setup::OneWindowWriteRefused);
    const EdidImage before = rig.box.customEdid();
    QCOMPARE(rig.run(arguments("edid write @/good.bin")), 1);
    QVERIFY(!rig.requests().contains(QStringLiteral("10 08 B1")));
    QCOMPARE(rig.box.customEdid(), before);
    QCOMPARE(rig.errLines().last(), QStringLiteral("veltrika: edid write: refused"));
}

void TestCli::silentBoxEndsWithinTheTimeOuts_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("timeOuts"); // link time-outs the command may wait out
    // clang-format off
    QTest::newRow("status: each read fails on its own") << "status" << 7;
    QTest::newRow("get: status and video reads") << "get" << 2;
    QTest::newRow("set stops at the first") << "set input=bot hdcp=1.4 cec=off" << 1;
    QTest::newRow("edid read: the fetch") << "edid read" << 1;
    QTest::newRow("edid write: the mode check") << "edid write @/good.bin" << 2;
    QTest::newRow("cec send and its activate") << "cec send 50:04" << 2;
    QTest::newRow("hdr send and its activate") << "hdr send 87:01 --as-is" << 2;
    QTest::newRow("avi send: the settings") << "avi send 40:a8" << 2;
    QTest::newRow("cec store") << "cec store sp 50:04" << 1;
    QTest::newRow("reset") << "reset --all --yes" << 1;
    // clang-format on
}

void TestCli::silentBoxEndsWithinTheTimeOuts() {
    QFETCH(QString, line);
    QFETCH(int, timeOuts);
    CliRig rig;
    prepare(rig, Setup::SilentBox);
    const uint32_t start = rig.clock.tickCount();
    QCOMPARE(rig.run(arguments(line)), 1);
    const uint32_t waited = rig.clock.tickCount() - start;
    // Each time-out, and the 100 ms before an activate.
    QVERIFY2(waited >= uint32_t(timeOuts) * kLinkTimeoutMs &&
                 waited <= uint32_t(timeOuts) * kLinkTimeoutMs + 200,
             qPrintable(QString::number(waited)));
    QVERIFY(rig.errLines().last().endsWith(QStringLiteral(": silent")));
}

// What the decode commands print, read back from their JSON: the bytes of a file, of the box
// and of its capture, never a frame that writes.

void TestCli::documentationNamesEverything_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("withValues");
    CliRig rig;
    rig.run({"--help"});
    QTest::newRow("--help") << rig.out() << true;
    const auto source = [](const char *name) {
        QFile file(QStringLiteral(VELTRIKA_SOURCE_DIR "/packaging/linux/") + QLatin1String(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    QTest::newRow("manual page") << source("veltrika.1").replace(QStringLiteral("\\-"), QStringLiteral("-"))
                                 << false;
    QTest::newRow("bash completion") << source("veltrika.bash-completion") << true;
}

// Every command word, setting name and value, as the words of the text.

void TestCli::documentationNamesEverything() {
    QFETCH(QString, text);
    QFETCH(bool, withValues);
    static const QRegularExpression kBreaks(QStringLiteral("[^A-Za-z0-9.\\-]+"));
    const QStringList words = text.split(kBreaks, Qt::SkipEmptyParts);
    QVERIFY(!words.isEmpty());
    for (const cli::CommandInfo &info : cli::allCommands()) {
        for (const QString &word :
             QString::fromLatin1(info.words.data(), qsizetype(info.words.size())).split(' ')) {
            QVERIFY2(words.contains(word), qPrintable(word));
        }
    }
    for (const SettingInfo &setting : allSettings()) {
        const QString name = cli::textOf(setting.name);
        QVERIFY2(words.contains(name), qPrintable(name));
        for (const SettingValue &value : setting.values) {
            const QString valueName = cli::textOf(value.name);
            QVERIFY2(!withValues || words.contains(valueName), qPrintable(name + '=' + valueName));
        }
    }
}

// The whole message of an input error, nothing sent: the length texts of the packet senders
// say how to write bytes typed without colons (and only then), and a file that is neither an
// EDID nor text is told as the window tells it.

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
