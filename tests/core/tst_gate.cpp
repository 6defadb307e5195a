// The gate every change passes: its verdicts on what the settings table, the EDID check and
// the decoders find; the journal it keeps on the simulated box (what a change overwrote, with
// no frame of its own), and the journal's file under faults: a full disk, a folder that cannot
// be made, damaged lines, another box's serial, its bounds and two processes appending at once;
// and the undo planned from an entry against the box as it is now.

#include "core/base/colon_hex.h"
#include "core/box/box_gate.h"
#include "core/box/undo.h"
#include "sim/simulated_box.h"
#include "support/recording_reporter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <set>

Q_DECLARE_METATYPE(BoxChange)
Q_DECLARE_METATYPE(Verdict)
Q_DECLARE_METATYPE(JournalEntry)
Q_DECLARE_METATYPE(BoxConfiguration)

namespace {

constexpr int kAppendedByEachProcess = 100;

packets::PacketBytes packet(const QString &text, const packets::PacketSend &send) {
    const packets::TextOutcome<packets::PacketBytes> bytes = packets::packetBytesOf(text, send);
    Q_ASSERT(bytes.ok());
    return bytes.value;
}

QString groups(int count) {
    QStringList list{QStringLiteral("50"), QStringLiteral("04")};
    while (list.size() < count) {
        list << QStringLiteral("00");
    }
    return list.join(QLatin1Char(':'));
}

EdidImage fileImage(const char *name, qsizetype *held = nullptr) {
    QFile file(QStringLiteral(VELTRIKA_SOURCE_DIR "/tests/data/edid/") + QLatin1String(name));
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    EdidImage image{};
    std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), 256),
                reinterpret_cast<char *>(image.data()));
    if (held != nullptr) {
        *held = bytes.size();
    }
    return image;
}

JournalEntry settingEntry(int id, std::optional<uint8_t> before, std::optional<uint8_t> after) {
    JournalEntry entry;
    entry.id = id;
    entry.time = QDateTime::currentDateTimeUtc();
    entry.frontEnd = QStringLiteral("command line");
    entry.change = QStringLiteral("set input=bot");
    entry.overwrites = {QStringLiteral("input")};
    if (before) {
        entry.before.setSetting(Setting::ActiveInput, *before);
    }
    if (after) {
        entry.after.setSetting(Setting::ActiveInput, *after);
    }
    entry.outcome = QStringLiteral("applied");
    return entry;
}

BoxConfiguration input(uint8_t value) {
    BoxConfiguration configuration;
    configuration.setSetting(Setting::ActiveInput, value);
    return configuration;
}

// The box on the fake clock, attached and read once as a status tick reads it.
struct GateRig {
    sim::FakeLinkClock clock{1000};
    sim::SimulatedBox box{clock};
    RecordingReporter reporter;
    BoxSession session{box, clock, reporter};
    std::unique_ptr<Journal> journal;
    std::unique_ptr<BoxGate> gate;

    explicit GateRig(const QString &directory) {
        journal = std::make_unique<Journal>(directory, QStringLiteral("2023"));
        gate = std::make_unique<BoxGate>(session, clock, journal.get());
        session.attach();
        session.readSettings();
        box.clearLog();
    }
    ChangeResult set(Setting setting, uint8_t value) {
        return gate->applyChange(BoxChange::ofSetting(setting, value), {FrontEnd::Window, {}}, Answer::No);
    }
    QStringList requests() const {
        QStringList list;
        for (const sim::LoggedFrame &frame : box.frames()) {
            list << RecordingReporter::hex(frame.request);
        }
        return list;
    }
};

// Appends entries as the gate does, for the test of two processes at once.
int appendEntries(const QString &directory) {
    Journal journal(directory, QStringLiteral("2023"));
    for (int i = 0; i < kAppendedByEachProcess; ++i) {
        JournalEntry entry = settingEntry(0, 1, 2);
        entry.frontEnd = QStringLiteral("process %1").arg(QCoreApplication::applicationPid());
        QString error;
        if (!journal.begin(entry, &error) || !journal.finish(entry, &error)) {
            return 1;
        }
    }
    return 0;
}

} // namespace

class TestGate : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir_.isValid()); }
    void verdicts_data();
    void verdicts();
    void journalRecordsWhatItOverwrote();
    void unwritableJournal_data();
    void unwritableJournal();
    void damagedLinesAreSkipped();
    void oneFilePerSerial();
    void bounded_data();
    void bounded();
    void twoProcessesAppendAtOnce();
    void undoPlans_data();
    void undoPlans();
    void lastUndoable();

private:
    QString path(const QString &name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

void TestGate::verdicts_data() {
    QTest::addColumn<BoxChange>("change");
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<QStringList>("lines");

    sim::FakeLinkClock clock;
    sim::SimulatedBox box(clock);
    const auto stored = std::span<const uint8_t>(box.registerBlock(proto::kRegStoredHdrInfoframe))
                            .subspan(proto::kBlockDataStart, proto::kStoredHdrBytes);
    RestoreStep badHdr;
    badHdr.change.kind = ConfigurationChange::Kind::HdrInfoframe;
    badHdr.hdr = StoredHdrInfoframe{0x87, 0x01, 0x1A, 0x22};
    qsizetype benqHeld = 0;
    const EdidImage benq = fileImage("linuxhw-benq-pd2700u-C457DADB2E45.bin", &benqHeld);

    // clang-format off
    QTest::newRow("setting") << BoxChange::ofSetting(Setting::ActiveInput, 4) << Verdict::Ok << QStringList{};
    QTest::newRow("setting value nobody names") << BoxChange::ofSetting(Setting::ActiveInput, 7) << Verdict::Refused
        << QStringList{"bad value for input: 7 (one of: top, bot, matrix-thru, matrix-swap)"};
    QTest::newRow("CEC 50:04") << BoxChange::ofCecSend(packet("50:04", packets::kCecSend)) << Verdict::Ok << QStringList{};
    QTest::newRow("CEC 17 bytes") << BoxChange::ofCecSend(packet(groups(17), packets::kCecSend)) << Verdict::Ask
        << QStringList{"Failure: Length: 17 bytes: a message holds at most 16"};
    QTest::newRow("CEC stored, 17 bytes") << BoxChange::ofCecStore(proto::kStoreCecSlot1, packets::cecStoreTextOf(groups(17)).value)
        << Verdict::Ask << QStringList{"Failure: Length: 17 bytes: a message holds at most 16"};
    QTest::newRow("HDR stating 26 bytes, 2 following") << BoxChange::ofHdrSend(packet("87:01:1a:00:02:00", packets::kHdrSend))
        << Verdict::Ask << QStringList{"Failure: Length: the header states 26 payload bytes, 2 follow"};
    QTest::newRow("HDR whole") << BoxChange::ofHdrSend(packet(formatColonHex(stored), packets::kHdrSend)) << Verdict::Ok << QStringList{};
    QTest::newRow("AVI two bytes (a warning only)") << BoxChange::ofAviSend(packet("40:a8", packets::kAviSend), 0) << Verdict::Ok << QStringList{};
    QTest::newRow("EDID of zeros") << BoxChange::ofEdidWrite(EdidImage{}, 256, EdidOrigin::File) << Verdict::Ask
        << QStringList{"block 0 does not start with the EDID header"};
    QTest::newRow("EDID of 8 bytes") << BoxChange::ofEdidWrite(fileImage("lg-oled-c9-hdmi.bin"), 8, EdidOrigin::Text) << Verdict::Ask
        << QStringList{"the text holds 8 of 256 bytes"};
    QTest::newRow("EDID the decoder fails") << BoxChange::ofEdidWrite(benq, benqHeld, EdidOrigin::File) << Verdict::Ask
        << QStringList{"Failure: Block 1, CTA-861 Extension Block: data block at 43 of length 19 runs past the data block collection (ends at 46)",
                       "The EDID Checksum is not correct."};
    QTest::newRow("EDID whole") << BoxChange::ofEdidWrite(fileImage("lg-oled-c9-hdmi.bin"), 256, EdidOrigin::File) << Verdict::Ok << QStringList{};
    QTest::newRow("restore of an HDR infoframe with a wrong checksum") << BoxChange::ofRestore({badHdr}, {}, {}) << Verdict::Ask
        << QStringList{"hdr_infoframe: Failure: Checksum: 0x22, should be 0x5e"};
    QTest::newRow("reset of nothing known") << BoxChange::ofFactoryReset(static_cast<FactoryReset>(4)) << Verdict::Refused
        << QStringList{"no factory reset clears 4"};
    // clang-format on
}

void TestGate::verdicts() {
    QFETCH(BoxChange, change);
    QFETCH(Verdict, verdict);
    QFETCH(QStringList, lines);
    const GateVerdict found = checkChange(change);
    QCOMPARE(found.lines(), lines);
    QCOMPARE(found.verdict, verdict);
}

// The entry holds what the tick read and what the change sent, and costs no frame; a write of
// what the box holds already overwrites nothing; a refused one is recorded as failed and what
// the box holds is then not known.
void TestGate::journalRecordsWhatItOverwrote() {
    GateRig rig(path(QStringLiteral("journal")));
    const ChangeResult bot = rig.set(Setting::ActiveInput, 2);
    QVERIFY(bot.ok());
    QCOMPARE(rig.requests(), QStringList{"10 04 E0 00 02"});
    QVERIFY(bot.journalEntry);
    QCOMPARE(bot.journalEntry->before, input(1));
    QCOMPARE(bot.journalEntry->after, input(2));
    QVERIFY(!rig.set(Setting::ActiveInput, 2).journalEntry);
    rig.box.injectFaultForRegister(sim::Fault::Refuse, record::kRegActiveInput);
    QVERIFY(!rig.set(Setting::ActiveInput, 3).ok());
    QCOMPARE(rig.gate->known().setting(Setting::ActiveInput), std::nullopt);
    QCOMPARE(rig.requests(), (QStringList{"10 04 E0 00 02", "10 04 E0 00 02", "10 04 E0 00 03"}));

    const JournalRead read = rig.journal->read();
    QCOMPARE(read.warnings, QStringList());
    QCOMPARE(read.entries.size(), size_t(2));
    const JournalEntry &refused = read.entries[1];
    QCOMPARE(refused.id, 2);
    QCOMPARE(refused.change, QStringLiteral("set input=matrix-thru"));
    QCOMPARE(refused.frontEnd, QStringLiteral("window"));
    QCOMPARE(refused.before, input(2));
    QCOMPARE(refused.after, input(3));
    QCOMPARE(refused.outcome, QStringLiteral("failed"));
    QCOMPARE(refused.reason, QStringLiteral("refused"));
}

void TestGate::unwritableJournal_data() {
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("warning");
    QTest::newRow("disk full") << QStringLiteral("full") << QStringLiteral("No space left on device");
    QTest::newRow("folder that is a file")
        << QStringLiteral("file") << QStringLiteral("cannot make the folder");
}

// The change goes on; the result says why it is not recorded.
void TestGate::unwritableJournal() {
    QFETCH(QString, directory);
    QFETCH(QString, warning);
    QVERIFY(QDir().mkpath(path(QStringLiteral("full"))));
    QFile::link(QStringLiteral("/dev/full"), path(QStringLiteral("full/2023.jsonl")));
    QFile file(path(QStringLiteral("file")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    GateRig rig(path(directory));
    const ChangeResult result = rig.set(Setting::ActiveInput, 2);
    QVERIFY(result.ok());
    QCOMPARE(rig.requests(), QStringList{"10 04 E0 00 02"});
    QVERIFY2(result.journalWarning.contains(warning), qPrintable(result.journalWarning));
    QVERIFY(!result.journalEntry);
    QVERIFY(rig.journal->read().entries.empty());
}

// A damaged line (not JSON, cut short) is skipped with its place; the next entry, after a line
// cut short, takes the next number on a line of its own.
void TestGate::damagedLinesAreSkipped() {
    Journal journal(path(QStringLiteral("damaged")), QStringLiteral("2023"));
    JournalEntry first = settingEntry(0, 1, 2);
    QString error;
    QVERIFY(journal.begin(first, &error));
    QVERIFY(journal.finish(first, &error));
    QFile file(journal.fileName());
    QVERIFY(file.open(QIODevice::Append));
    file.write("not json\n{\"id\":2,\"change\":\"set inp");
    file.close();
    JournalEntry second = settingEntry(0, 2, 3);
    QVERIFY(journal.begin(second, &error));
    QCOMPARE(second.id, 2);
    const JournalRead read = journal.read();
    QCOMPARE(read.warnings, (QStringList{journal.fileName() + ": line 3: damaged, skipped",
                                         journal.fileName() + ": line 4: damaged, skipped"}));
    QCOMPARE(read.entries.size(), size_t(2));
    QCOMPARE(read.entries[0].outcome, QStringLiteral("applied"));
    QCOMPARE(read.entries[1].id, 2);
    QCOMPARE(read.entries[1].outcome, QString());
}

void TestGate::oneFilePerSerial() {
    Journal first(path(QStringLiteral("boxes")), QStringLiteral("2023"));
    Journal second(path(QStringLiteral("boxes")), QStringLiteral("../2024"));
    JournalEntry entry = settingEntry(0, 1, 2);
    QString error;
    QVERIFY(first.begin(entry, &error));
    entry.change = QStringLiteral("set input=matrix-swap");
    QVERIFY(second.begin(entry, &error));
    QCOMPARE(entry.id, 1);
    QCOMPARE(second.fileName(), path(QStringLiteral("boxes/_.._2024.jsonl")));
    QCOMPARE(first.read().entries.size(), size_t(1));
    QCOMPARE(second.read().entries.front().change, QStringLiteral("set input=matrix-swap"));
}

void TestGate::bounded_data() {
    QTest::addColumn<int>("entries");
    QTest::addColumn<bool>("large");
    QTest::newRow("500 entries") << kMaxJournalEntries + 20 << false;
    // An entry of every part, both ways, is some 2.3 KB: 1 MB comes before 500 entries.
    QTest::newRow("1 MB") << 470 << true;
}

void TestGate::bounded() {
    QFETCH(int, entries);
    QFETCH(bool, large);
    Journal journal(path(QString::fromLatin1(QTest::currentDataTag())), QStringLiteral("2023"));
    JournalEntry entry = settingEntry(0, 1, 2);
    if (large) {
        entry.before = configurationOfRecord(sim::SimulatedBox::factorySettings());
        entry.before.customEdid = sim::buildEdid("EVERY PART", 0x0101);
        entry.before.hdrInfoframe = StoredHdrInfoframe{0x87, 0x01, 0x1A};
        entry.before.aviBytes = StoredAviBytes{0x40, 0xA8};
        entry.after = entry.before;
    }
    QString error;
    for (int i = 0; i < entries; ++i) {
        QVERIFY(journal.begin(entry, &error));
        QVERIFY(journal.finish(entry, &error));
    }
    const JournalRead read = journal.read();
    QCOMPARE(read.warnings, QStringList());
    QVERIFY(read.entries.size() <= size_t(kMaxJournalEntries));
    QVERIFY(read.entries.size() < size_t(entries));
    QVERIFY(QFileInfo(journal.fileName()).size() <= kMaxJournalBytes);
    QCOMPARE(read.entries.back().id, entries);
    QCOMPARE(read.entries.back().outcome, QStringLiteral("applied"));
    QCOMPARE(read.entries.back().before, entry.before);
}

// Two processes append 100 entries each at the same time: 200 entries, numbered 1 to 200,
// each with its outcome, no line damaged.
void TestGate::twoProcessesAppendAtOnce() {
    const QString directory = path(QStringLiteral("shared"));
    QProcess first;
    QProcess second;
    for (QProcess *process : {&first, &second}) {
        process->start(QCoreApplication::applicationFilePath(), {QStringLiteral("--append"), directory});
    }
    for (QProcess *process : {&first, &second}) {
        QVERIFY(process->waitForFinished(30000));
        QCOMPARE(process->exitCode(), 0);
    }
    const JournalRead read = Journal(directory, QStringLiteral("2023")).read();
    QCOMPARE(read.warnings, QStringList());
    QCOMPARE(read.entries.size(), size_t(2 * kAppendedByEachProcess));
    std::set<int> ids;
    std::set<QString> writers;
    for (const JournalEntry &entry : read.entries) {
        ids.insert(entry.id);
        writers.insert(entry.frontEnd);
        QCOMPARE(entry.outcome, QStringLiteral("applied"));
    }
    QCOMPARE(ids.size(), size_t(2 * kAppendedByEachProcess));
    QCOMPARE(*ids.rbegin(), 2 * kAppendedByEachProcess);
    QCOMPARE(writers.size(), size_t(2));
}

void TestGate::undoPlans_data() {
    QTest::addColumn<JournalEntry>("entry");
    QTest::addColumn<BoxConfiguration>("box");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("notes");
    QTest::addColumn<QString>("why");
    JournalEntry send;
    send.id = 1;
    send.change = QStringLiteral("cec send 50:04");
    JournalEntry reset = settingEntry(1, 2, std::nullopt);
    reset.change = QStringLiteral("reset settings");
    // clang-format off
    QTest::newRow("the box holds what the entry left") << settingEntry(1, 1, 2) << input(2)
        << QStringList{"input: bot -> top"} << QStringList{} << QString();
    QTest::newRow("changed since") << settingEntry(1, 1, 2) << input(4)
        << QStringList{"input: matrix-swap -> top"}
        << QStringList{"changed since: input: bot as entry 1 left it, matrix-swap now"} << QString();
    QTest::newRow("what a reset left is not known") << reset << input(1)
        << QStringList{"input: top -> bot"}
        << QStringList{"changed since: input: what entry 1 left is not known, top now"} << QString();
    QTest::newRow("put back already") << settingEntry(1, 1, 2) << input(1) << QStringList{} << QStringList{}
        << "the box holds what entry 1 (set input=bot) overwrote";
    QTest::newRow("nothing known") << settingEntry(1, std::nullopt, 2) << input(2) << QStringList{} << QStringList{}
        << "what entry 1 (set input=bot) overwrote was not known: input";
    QTest::newRow("a CEC message") << send << input(2) << QStringList{} << QStringList{}
        << "entry 1 (cec send 50:04) overwrote nothing the box keeps";
    // clang-format on
}

void TestGate::undoPlans() {
    QFETCH(JournalEntry, entry);
    QFETCH(BoxConfiguration, box);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, notes);
    QFETCH(QString, why);
    QString found;
    const std::optional<UndoPlan> plan = planUndo(entry, box, &found);
    QCOMPARE(found, why);
    QCOMPARE(plan.has_value(), why.isEmpty());
    if (plan) {
        QStringList lines;
        for (const RestoreStep &step : plan->steps) {
            lines << changeText(step.change);
        }
        QCOMPARE(lines, steps);
        QCOMPARE(undoNotes(*plan), notes);
        QCOMPARE(undoChange(*plan).undoes, std::optional(entry.id));
    }
}

// The last change that overwrote what the box keeps, is no undo and was not undone.
void TestGate::lastUndoable() {
    JournalEntry send;
    send.id = 3;
    JournalEntry undoOfTwo = settingEntry(4, 2, 1);
    undoOfTwo.undoes = 2;
    const std::vector<JournalEntry> entries{settingEntry(1, 1, 2), settingEntry(2, 2, 3), send, undoOfTwo};
    QCOMPARE(::lastUndoable(entries)->id, 1);
    QCOMPARE(::lastUndoable({send, undoOfTwo}), std::nullopt);
}

// "--append DIRECTORY": one of the processes of twoProcessesAppendAtOnce.
int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--append") {
        return appendEntries(QString::fromLocal8Bit(argv[2]));
    }
    TestGate test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_gate.moc"
