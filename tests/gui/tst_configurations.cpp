// The File menu's box configurations: saving the box into a file and as a named
// configuration, and loading one back: the preview of the differences (Cancel the
// default, nothing sent but reads), Apply with its summary, a file refused before the box
// is read, and a box that refuses a write in the middle.

#include "core/box/box_configuration_file.h"
#include "core/box/named_configurations.h"
#include "file_dialogs.h"
#include "support/test_support.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

namespace {

// Answers the file and name dialogs with queued answers; an empty queue answers like a cancel.
class ScriptedDialogs : public FileDialogs {
public:
    QString openFileName(QWidget *, const QString &, const QString &, const QString &) override {
        return next(files);
    }
    QString saveFileName(QWidget *, const QString &, const QString &, const QString &) override {
        return next(files);
    }
    QString configurationName(QWidget *, const QString &, const QString &) override { return next(names); }
    QStringList files;
    QStringList names;

private:
    static QString next(QStringList &queue) { return queue.isEmpty() ? QString() : queue.takeFirst(); }
};

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList actionTexts(const QMenu &menu) {
    QStringList texts;
    for (const QAction *action : menu.actions()) {
        texts << action->text();
    }
    return texts;
}

bool onlyReadsSince(const sim::SimulatedBox &box, size_t from) {
    for (size_t i = from; i < box.frames().size(); ++i) {
        if (box.frames()[i].request[0] != proto::kFromDevice) {
            return false;
        }
    }
    return true;
}

} // namespace

class TestConfigurations : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void fileMenu();
    void saveThenLoad();
    void previewCancelledSendsNothing();
    void previewInWords_data();
    void previewInWords();
    void refusedFileReadsNothing();
    void refusalInTheMiddle();
    void namedConfigurations();

private:
    QAction &action(const char *name) { return *rig_->window().findChild<QAction *>(QLatin1String(name)); }
    QString path(const char *name) const { return dir_.filePath(QLatin1String(name)); }
    void trigger(const char *name) { action(name).trigger(); }

    QTemporaryDir dir_;
    std::unique_ptr<Rig> rig_;
    ScriptedDialogs dialogs_;
};

void TestConfigurations::initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("XDG_DATA_HOME", dir_.filePath(QStringLiteral("data")).toLocal8Bit());
}

void TestConfigurations::init() {
    rig_ = std::make_unique<Rig>();
    rig_->start().setFileDialogs(&dialogs_);
    holdStatusTimer(rig_->window());
    rig_->boxWatcher.clear();
    rig_->box.clearLog();
}

void TestConfigurations::cleanup() {
    rig_.reset();
    QDir(dir_.filePath(QStringLiteral("data"))).removeRecursively();
}

void TestConfigurations::fileMenu() {
    auto *file = rig_->window().findChild<QMenu *>(QStringLiteral("menuFile"));
    QCOMPARE(actionTexts(*file), QStringList({"Save Box Configuration…", "Load Box Configuration…",
                                              "Configurations", QString(), "Exit"}));
    QCOMPARE(file->actions().last(), rig_->window().findChild<QAction *>(QStringLiteral("actionExit")));
    auto *configurations = rig_->window().findChild<QMenu *>(QStringLiteral("menuConfigurations"));
    emit configurations->aboutToShow();
    QCOMPARE(actionTexts(*configurations),
             QStringList({"No saved configurations", QString(), "Save Current As…"}));
    QVERIFY(!configurations->actions().first()->isEnabled());
}

void TestConfigurations::saveThenLoad() {
    sim::SimulatedBox &box = rig_->box;
    box.statusRecord()[record::kActiveInput] = 3;
    box.statusRecord()[record::kGreenLed] = 0;
    dialogs_.files << path("saved.json");
    trigger("actionSaveBoxConfiguration");
    QVERIFY(rig_->boxWatcher.boxes().isEmpty());
    QVERIFY(rig_->statusRecorder.texts().contains("Box configuration saved."));
    const ConfigurationFileRead saved = readConfigurationFile(path("saved.json"));
    QVERIFY2(saved.ok(), qPrintable(saved.error.text()));
    QCOMPARE(saved.file->configuration.setting(Setting::ActiveInput), std::optional<uint8_t>(3));

    box.statusRecord()[record::kActiveInput] = 1;
    box.statusRecord()[record::kGreenLed] = 1;
    box.registerBlock(proto::kRegStoredAviBytes)[proto::kBlockDataStart] = 0x00;
    rig_->boxWatcher.queueAnswer(QMessageBox::Apply);
    dialogs_.files << path("saved.json");
    trigger("actionLoadBoxConfiguration");
    const QList<ShownBox> &shown = rig_->boxWatcher.boxes();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0].title, QStringLiteral("Load Box Configuration"));
    QCOMPARE(shown[0].text,
             QStringLiteral("saved.json differs from the box in 3 places. Apply the changes?"));
    QCOMPARE(shown[0].informativeText,
             QStringLiteral("Active input: top -> matrix-thru\nGreen LED: on -> off\n"
                            "AVI infoframe: 13 bytes differ in 1 place"));
    QCOMPARE(shown[0].buttons, QMessageBox::Apply | QMessageBox::Cancel);
    QCOMPARE(shown[0].defaultButton, QMessageBox::Cancel);
    QCOMPARE(shown[1].text, QStringLiteral("Applied 3 of 3 changes from saved.json; the box holds them."));
    QCOMPARE(shown[1].informativeText,
             QStringLiteral("applied: Active input: top -> matrix-thru\napplied: Green LED: on -> off\n"
                            "applied: AVI infoframe: 13 bytes differ in 1 place"));
    QCOMPARE(box.statusRecord()[record::kActiveInput], 3);
    QCOMPARE(box.statusRecord()[record::kGreenLed], 0);
    QCOMPARE(rig_->widget<QTextEdit>("AVItext")->toPlainText(),
             QStringLiteral("40:a8:00:10:00:00:00:00:00:00:00:00:00"));

    // Loaded again, the file holds nothing the box lacks.
    rig_->boxWatcher.clear();
    dialogs_.files << path("saved.json");
    trigger("actionLoadBoxConfiguration");
    QCOMPARE(rig_->boxWatcher.texts(), QStringList{"The box holds what saved.json holds."});
}

void TestConfigurations::previewCancelledSendsNothing() {
    QVERIFY(writeFile(path("input.json"), R"({"format": "veltrika-box-configuration", "version": 1,
        "settings": {"input": "bot"}, "edid": {"mode": "fixed"}})"));
    dialogs_.files << path("input.json");
    trigger("actionLoadBoxConfiguration");
    QCOMPARE(rig_->boxWatcher.boxes().size(), 1);
    QCOMPARE(rig_->boxWatcher.boxes()[0].informativeText,
             QStringLiteral("Active input: top -> bot\nEDID mode: automix -> fixed"));
    QVERIFY(!rig_->box.frames().empty());
    QVERIFY(onlyReadsSince(rig_->box, 0));
    QCOMPARE(rig_->box.statusRecord(), sim::SimulatedBox::factorySettings());
}

void TestConfigurations::previewInWords_data() {
    QTest::addColumn<QByteArray>("members");
    QTest::addColumn<QString>("line");
    QTest::newRow("hdr-force") << QByteArray(R"("settings": {"hdr-force": "on"})")
                               << "Force HDR always active: off -> on";
    QTest::newRow("hdr_infoframe") << QByteArray(R"("hdr_infoframe": "87:01:1a")")
                                   << "HDR infoframe: 31 bytes differ in 25 places\n\nThe check finds:\n"
                                      "HDR infoframe: Failure: Checksum: 0x00, should be 0x5e";
    QTest::newRow("custom-edid") << QByteArray(R"("edid": {"mode": "automix", "preset": 3})")
                                 << "Custom EDID: 0 -> 3";
}

// The preview names each difference as the window's labels do, not by the file's keys.
void TestConfigurations::previewInWords() {
    QFETCH(QByteArray, members);
    QFETCH(QString, line);
    QVERIFY(writeFile(path("one.json"),
                      R"({"format": "veltrika-box-configuration", "version": 1, )" + members + "}"));
    dialogs_.files << path("one.json");
    trigger("actionLoadBoxConfiguration");
    QCOMPARE(rig_->boxWatcher.boxes().size(), 1);
    QCOMPARE(rig_->boxWatcher.boxes()[0].informativeText, line);
    QVERIFY(onlyReadsSince(rig_->box, 0));
}

void TestConfigurations::refusedFileReadsNothing() {
    QVERIFY(writeFile(path("newer.json"), R"({"format": "veltrika-box-configuration", "version": 2})"));
    dialogs_.files << path("newer.json");
    trigger("actionLoadBoxConfiguration");
    QCOMPARE(
        rig_->boxWatcher.texts(),
        QStringList{"newer.json cannot be loaded:\nline 1, column 42 (version): version 2 is newer than this "
                    "program reads (1)\nNothing was sent."});
    QVERIFY(rig_->box.frames().empty());
}

void TestConfigurations::refusalInTheMiddle() {
    QVERIFY(writeFile(path("three.json"), R"({"format": "veltrika-box-configuration", "version": 1,
        "settings": {"input": "bot", "hdcp": "1.4", "green-led": "off"}, "hdr_infoframe": "87:01:1a"})"));
    rig_->box.injectFaultForRegister(sim::Fault::Refuse, record::kRegGreenLed);
    rig_->boxWatcher.queueAnswer(QMessageBox::Apply);
    dialogs_.files << path("three.json");
    trigger("actionLoadBoxConfiguration");
    const QList<ShownBox> &shown = rig_->boxWatcher.boxes();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[1].icon, QMessageBox::Warning);
    QCOMPARE(shown[1].text,
             QStringLiteral("Applied 2 of 4 changes from three.json; the box refused the next one, "
                            "and the rest were not sent."));
    QCOMPARE(shown[1].informativeText,
             QStringLiteral("applied: Active input: top -> bot\napplied: HDCP version: 2.2 -> 1.4\n"
                            "not applied (refused): Green LED: on -> off\n"
                            "not applied: HDR infoframe: 31 bytes differ in 25 places"));
}

void TestConfigurations::namedConfigurations() {
    dialogs_.names << QStringLiteral("movie night");
    trigger("actionSaveCurrentConfigurationAs");
    const QString file = namedConfigurationFile(configurationsDirectory(), QStringLiteral("movie night"));
    QVERIFY(QFile::exists(file));
    auto *configurations = rig_->window().findChild<QMenu *>(QStringLiteral("menuConfigurations"));
    emit configurations->aboutToShow();
    QCOMPARE(actionTexts(*configurations), QStringList({"movie night", QString(), "Save Current As…"}));

    // A name that exists is replaced only on Yes; No is the default.
    dialogs_.names << QStringLiteral("movie night");
    rig_->box.statusRecord()[record::kActiveInput] = 2;
    trigger("actionSaveCurrentConfigurationAs");
    QCOMPARE(rig_->boxWatcher.texts(), QStringList{"A configuration named movie night exists. Replace it?"});
    QCOMPARE(rig_->boxWatcher.boxes()[0].defaultButton, QMessageBox::No);

    // The named one loads like a file.
    rig_->boxWatcher.clear();
    configurations->actions().first()->trigger();
    QCOMPARE(rig_->boxWatcher.boxes().size(), 1);
    QCOMPARE(rig_->boxWatcher.boxes()[0].text,
             QStringLiteral("movie night differs from the box in one place. Apply the change?"));

    // A name that cannot be a file's is refused.
    rig_->boxWatcher.clear();
    dialogs_.names << QStringLiteral("../up");
    trigger("actionSaveCurrentConfigurationAs");
    QCOMPARE(rig_->boxWatcher.texts(),
             QStringList{
                 "a configuration's name begins with neither a dot nor a dash: ../up.\nNothing was saved."});
}

QTEST_MAIN(TestConfigurations)
#include "tst_configurations.moc"
