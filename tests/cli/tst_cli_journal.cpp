// The gate on the command line: packets the decoders fail stop before the box is looked for
// (exactly their frames with --as-is); the journal records each change with what it replaced,
// read just before it; undo puts it back, refuses a part changed since unless --force, and
// takes back an EDID write; a journal that cannot be written does not stop the change.

#include "cli_rig.h"
#include "core/box/status_record.h"

#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

namespace {

// "50:04" and zero bytes up to `count` groups.
QString cecGroups(int count) {
    QStringList list{QStringLiteral("50"), QStringLiteral("04")};
    while (list.size() < count) {
        list << QStringLiteral("00");
    }
    return list.join(QLatin1Char(':'));
}

QString cecFrame(const char *code, int count) {
    QString frame = QStringLiteral("10 %1 %2 50 %3 04")
                        .arg(count + 1, 2, 16, QLatin1Char('0'))
                        .arg(QLatin1String(code))
                        .arg(count - 1, 2, 16, QLatin1Char('0'))
                        .toUpper();
    for (int i = 2; i < count; ++i) {
        frame += QStringLiteral(" 00");
    }
    return frame;
}

// The requests that change the box.
QStringList writes(const CliRig &rig) {
    QStringList list = rig.requests();
    list.removeIf([](const QString &request) { return !request.startsWith(QLatin1String("10 ")); });
    return list;
}

} // namespace

class TestCliJournal : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir_.isValid()); }
    void packetsTheDecodersFail_data();
    void packetsTheDecodersFail();
    void journalAndUndo();
    void undoAfterTheFieldChangedAgain();
    void edidWriteUndone();
    void unwritableJournalGoesOn();

private:
    QString path(const char *name) const { return dir_.filePath(QLatin1String(name)); }
    // One journal per test.
    QString journalFolder() const { return dir_.filePath(QLatin1String(QTest::currentTestFunction())); }
    QTemporaryDir dir_;
};

void TestCliJournal::packetsTheDecodersFail_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("requests");
    const QString seventeen = cecGroups(17);
    const QString hdr = QStringLiteral("87:01:1a:00:02:00");
    // clang-format off
    QTest::newRow("CEC of 17 bytes") << QStringList{"cec", "send", seventeen} << 1
        << "veltrika: cec send: nothing was sent: Failure: Length: 17 bytes: a message holds at most 16 (--as-is sends it as it is)"
        << QStringList{};
    QTest::newRow("CEC of 17 bytes as it is") << QStringList{"cec", "send", seventeen, "--as-is"} << 0
        << "CEC values written..." << QStringList{cecFrame("B2", 17), QStringLiteral("10 12 B3 10")};
    QTest::newRow("CEC of 17 bytes stored") << QStringList{"cec", "store", "sp", seventeen} << 1
        << "veltrika: cec store: nothing was sent: Failure: Length: 17 bytes: a message holds at most 16 (--as-is sends it as it is)"
        << QStringList{};
    QTest::newRow("HDR stating 26 bytes, 2 following") << QStringList{"hdr", "send", hdr} << 1
        << "veltrika: hdr send: nothing was sent: Failure: Length: the header states 26 payload bytes, 2 follow (--as-is sends it as it is)"
        << QStringList{};
    QTest::newRow("HDR stating 26 bytes, 2 following, as it is") << QStringList{"hdr", "send", "--as-is", hdr} << 0
        << "Infoframe values written..." << QStringList{"10 06 E5 87 01 1A 00 02 00", "10 06 B3 20"};
    // clang-format on
}

void TestCliJournal::packetsTheDecodersFail() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QStringList, requests);
    CliRig rig;
    QCOMPARE(rig.run(arguments), status);
    QCOMPARE(rig.requests(), requests);
    QVERIFY2(rig.errLines().contains(message), qPrintable(rig.errLines().join('\n')));
    // Stopped by the check: the box was not even looked for.
    QCOMPARE(rig.box.calls().empty(), requests.isEmpty());
}

// A set is read first and recorded, its undo puts back what it replaced and is recorded too.
void TestCliJournal::journalAndUndo() {
    CliRig rig;
    rig.journalDirectory = journalFolder();
    QCOMPARE(rig.run({"set", "input=bot"}), 0);
    QCOMPARE(rig.requests(), (QStringList{"11 2A E1", "11 0E E0 06", "10 04 E0 00 02"}));
    QCOMPARE(rig.run({"journal"}), 0);
    QCOMPARE(rig.outLines().size(), 2);
    QVERIFY(rig.outLines()[0].startsWith(QLatin1String("1  ")));
    QVERIFY(rig.outLines()[0].endsWith(QLatin1String("  command line  set input=bot  applied")));
    QCOMPARE(rig.outLines()[1], QStringLiteral("    input: top -> bot"));

    QCOMPARE(rig.run({"undo", "--dry-run"}), 0);
    QCOMPARE(rig.outLines(), QStringList{"input: bot -> top"});
    QCOMPARE(writes(rig), QStringList());
    QCOMPARE(rig.run({"undo"}), 0);
    QCOMPARE(writes(rig), QStringList{"10 04 E0 00 01"});
    QCOMPARE(rig.box.statusRecord()[record::kActiveInput], 1);
    QCOMPARE(rig.run({"--json", "journal", "-n", "1"}), 0);
    const QJsonObject undo = QJsonDocument::fromJson(rig.outBytes).array().first().toObject();
    QCOMPARE(undo.value("change").toString(), QStringLiteral("undo 1 (set input=bot)"));
    QCOMPARE(undo.value("undoes").toInt(), 1);
    QCOMPARE(undo.value("outcome").toString(), QStringLiteral("applied"));
    QCOMPARE(rig.run({"undo"}), 1);
    QCOMPARE(rig.errLines().last(),
             "veltrika: undo: no change to undo in " + journalFolder() + "/2023.jsonl");
}

void TestCliJournal::undoAfterTheFieldChangedAgain() {
    CliRig rig;
    rig.journalDirectory = journalFolder();
    QCOMPARE(rig.run({"set", "input=bot"}), 0);
    rig.box.statusRecord()[record::kActiveInput] = 4; // at the box's buttons
    QCOMPARE(rig.run({"undo"}), 1);
    QCOMPARE(rig.errLines().last(),
             QStringLiteral("veltrika: undo 1: nothing was sent: changed since: input: bot as "
                            "entry 1 left it, matrix-swap now (--force puts it back anyway)"));
    QCOMPARE(writes(rig), QStringList());
    QCOMPARE(rig.run({"undo", "1", "--force"}), 0);
    QCOMPARE(writes(rig), QStringList{"10 04 E0 00 01"});
    QCOMPARE(rig.box.statusRecord()[record::kActiveInput], 1);
}

// The custom EDID an EDID write replaced is read before it (the box is in custom mode on
// preset 0) and written back by the undo.
void TestCliJournal::edidWriteUndone() {
    CliRig rig;
    rig.journalDirectory = journalFolder();
    const sim::EdidImage first = sim::buildEdid("FIRST", 0x0101);
    const sim::EdidImage second = sim::buildEdid("SECOND", 0x0202);
    for (const auto &[name, image] : {std::pair{"first.bin", first}, std::pair{"second.bin", second}}) {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char *>(image.data()), static_cast<qsizetype>(image.size()));
    }
    QCOMPARE(rig.run({"set", "edid-mode=custom", "custom-edid=0"}), 0);
    QCOMPARE(rig.run({"edid", "write", path("first.bin")}), 0);
    QCOMPARE(rig.run({"edid", "write", path("second.bin")}), 0);
    QVERIFY(rig.box.customEdid() == second);
    QCOMPARE(rig.run({"journal", "-n", "1"}), 0);
    QVERIFY(rig.outLines()[1].startsWith(QLatin1String("    edid: ")));
    QVERIFY(rig.outLines()[1].endsWith(QLatin1String(" of 256 bytes changed")));
    QCOMPARE(rig.run({"undo"}), 0);
    QVERIFY(rig.box.customEdid() == first);
}

void TestCliJournal::unwritableJournalGoesOn() {
    QFile file(path("not-a-folder"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    CliRig rig;
    rig.journalDirectory = path("not-a-folder");
    QCOMPARE(rig.run({"set", "input=bot"}), 0);
    QCOMPARE(writes(rig), QStringList{"10 04 E0 00 02"});
    QCOMPARE(rig.errLines(), QStringList{"journal: cannot make the folder " + path("not-a-folder") +
                                         "; the change is not recorded"});
}

QTEST_GUILESS_MAIN(TestCliJournal)
#include "tst_cli_journal.moc"
