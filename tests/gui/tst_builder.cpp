// The Build page of EDID Details: what it loads (the box's EDID reads, a file, the text),
// the edits by meaning with the core's outcome, and "Use in EDID text", which renders the
// encoded bytes into the text as the window renders any EDID and sends the box nothing.

#include "core/edid_decode.h"
#include "core/edid_model.h"
#include "core/spaced_hex.h"
#include "edid_builder.h"
#include "edid_details.h"
#include "edid_text.h"
#include "file_dialogs.h"
#include "support/test_support.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

#include <functional>

namespace {

using Source = EdidBuilderPage::Source;
const QString kTv = QStringLiteral("lg-oled-c9-hdmi.bin");                               // DV, HF-VSDB
const QString kReceiver = QStringLiteral("lg-oled55b6v-hdmi-denon-avr-x2300w-hdmi.bin"); // Atmos

QString corpusPath(const QString &name) {
    return QStringLiteral(VELTRIKA_SOURCE_DIR "/tests/data/edid/") + name;
}

EdidImage corpusImage(const QString &name) {
    QFile file(corpusPath(name));
    EdidImage image{};
    if (file.open(QIODevice::ReadOnly)) {
        file.read(reinterpret_cast<char *>(image.data()), static_cast<qint64>(image.size()));
    }
    return image;
}

edid::EdidModel corpusModel(const QString &name) {
    const EdidImage image = corpusImage(name);
    return edid::readEdidModel(image);
}

std::vector<uint8_t> encoded256(const edid::EdidModel &model) {
    std::vector<uint8_t> bytes = edid::encodeEdidModel(model);
    bytes.resize(proto::kEdidSize, 0);
    return bytes;
}

// The frames of one EDID read: the fetch, one busy poll, the 16 window reads.
QList<QByteArray> edidReadFrames(int fetchCode) {
    QList<QByteArray> frames{bytes({0x10, 0x01, fetchCode}), bytes({0x11, 0x2A, 0xE1})};
    for (int offset = 0; offset < 256; offset += 16) {
        frames << bytes({0x11, 0x10, 0xB0, offset});
    }
    return frames;
}

class FixedFileDialogs : public FileDialogs {
public:
    QStringList names; // answered in turn
    QString openFileName(QWidget *, const QString &, const QString &, const QString &) override {
        return names.isEmpty() ? QString() : names.takeFirst();
    }
    QString saveFileName(QWidget *, const QString &, const QString &, const QString &) override { return {}; }
};

// An edit done on the page and the same edit on a model through the core.
struct Edit {
    std::function<void(EdidBuilderPage &)> onPage;
    std::function<edid::EditOutcome(edid::EdidModel &)> onModel;
};

template <typename T> T *in(QWidget &page, const char *name) {
    T *found = page.findChild<T *>(QLatin1String(name));
    Q_ASSERT(found != nullptr);
    return found;
}

// Brings the tabs that hold the widget to the front: a click goes where the window shows it.
QWidget *reveal(QWidget *widget) {
    for (QWidget *child = widget; child->parentWidget() != nullptr; child = child->parentWidget()) {
        if (auto *stack = qobject_cast<QStackedWidget *>(child->parentWidget())) {
            stack->setCurrentWidget(child);
        }
    }
    return widget;
}

void click(QWidget &page, const char *button) {
    QTest::mouseClick(reveal(in<QPushButton>(page, button)), Qt::LeftButton);
}

Edit editNamed(const QString &kind, uint8_t vic) {
    if (kind == "name") {
        return {[](EdidBuilderPage &page) {
                    in<QLineEdit>(page, "buildProductName")->setText("MIX TV");
                    click(page, "buildApplyName");
                },
                [](edid::EdidModel &m) { return edid::setProductName(m, "MIX TV"); }};
    }
    if (kind == "name not ASCII") {
        return {[](EdidBuilderPage &page) {
                    in<QLineEdit>(page, "buildProductName")->setText("FERNSEHER Ü");
                    click(page, "buildApplyName");
                },
                [](edid::EdidModel &m) { return edid::setProductName(m, "FERNSEHER Ü"); }};
    }
    if (kind == "uncheck VIC") {
        return {[](EdidBuilderPage &page) {
                    in<QListWidget>(page, "buildVics")->item(0)->setCheckState(Qt::Unchecked);
                },
                [vic](edid::EdidModel &m) { return edid::removeVic(m, vic); }};
    }
    if (kind == "add VIC") {
        return {[vic](EdidBuilderPage &page) {
                    in<QSpinBox>(page, "buildVicToAdd")->setValue(vic);
                    click(page, "buildAddVic");
                },
                [vic](edid::EdidModel &m) { return edid::addVic(m, vic); }};
    }
    if (kind == "remove DV") {
        return {[](EdidBuilderPage &page) { click(page, "buildRemoveDolbyVision"); },
                [](edid::EdidModel &m) {
                    return edid::removeVendorVideoBlock(m, edid::VendorVideo::DolbyVision);
                }};
    }
    if (kind == "max FRL 24") {
        return {[](EdidBuilderPage &page) { in<QComboBox>(page, "buildMaxFrl")->setCurrentText("24 Gbps"); },
                [](edid::EdidModel &m) { return edid::setMaxFrl(m, *edid::frlCodeOfGbps(24)); }};
    }
    if (kind == "ALLM off") {
        return {[](EdidBuilderPage &page) { in<QCheckBox>(page, "buildAllm")->click(); },
                [](edid::EdidModel &m) { return edid::setAllm(m, false); }};
    }
    // "remove audio": the second format of the list, which names each format once
    return {[](EdidBuilderPage &page) {
                in<QListWidget>(page, "buildAudioFormats")->setCurrentRow(1);
                click(page, "buildRemoveAudio");
            },
            [](edid::EdidModel &m) {
                QStringList names;
                const edid::EdidDecoded decoded = edid::decodeEdid(encoded256(m));
                for (const edid::AudioFormat &format : decoded.cta[0].audio) {
                    if (!names.contains(edid::audioFormatName(format))) {
                        names << edid::audioFormatName(format);
                    }
                }
                return edid::removeAudioFormat(m, names.value(1));
            }};
}

// The first VIC of the table the model's Video Data Block does not list yet.
uint8_t unlistedVic(const edid::EdidModel &model) {
    for (int vic = 1; vic < 256; ++vic) {
        edid::EdidModel copy = model;
        if (edid::addVic(copy, uint8_t(vic)).ok) {
            return uint8_t(vic);
        }
    }
    return 0;
}

// The first VIC of the table the model's CTA block has no room for.
uint8_t vicRefusedForSpace(const edid::EdidModel &model) {
    for (int vic = 1; vic < 256; ++vic) {
        edid::EdidModel copy = model;
        if (edid::addVic(copy, uint8_t(vic)).missingBytes > 0) {
            return uint8_t(vic);
        }
    }
    return 0;
}

QStringList listed(QListWidget &list) {
    QStringList out;
    for (int i = 0; i < list.count(); ++i) {
        out << list.item(i)->text() + (list.item(i)->checkState() == Qt::Checked ? " [x]" : "");
    }
    return out;
}

// The text as the runs of one format: each run's text, weight and colour.
QStringList formatRuns(QTextEdit &edit) {
    QStringList runs;
    for (QTextBlock block = edit.document()->begin(); block.isValid(); block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            runs << QString("%1|%2|%3")
                        .arg(it.fragment().text())
                        .arg(format.fontWeight())
                        .arg(format.foreground().color().name());
        }
        runs << "\n";
    }
    return runs;
}

} // namespace

class TestBuilder : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resqrc); }
    void init();
    void cleanup() { rig_.reset(); }
    void editAndUseInText_data();
    void editAndUseInText();
    void refusedEditChangesNothing_data();
    void refusedEditChangesNothing();
    void videoAndAudioFromTwoSources_data();
    void videoAndAudioFromTwoSources();
    void undoKeepsLaterTyping();

private:
    EdidBuilderPage &openBuild();
    void load(Source video, int audioIndex);
    std::unique_ptr<Rig> rig_;
    FixedFileDialogs dialogs_;
};

void TestBuilder::init() {
    rig_ = std::make_unique<Rig>();
    rig_->box.topSinkEdid() = corpusImage(kTv);
    rig_->box.botSinkEdid() = corpusImage(kReceiver);
    holdStatusTimer(rig_->start());
    dialogs_.names.clear();
    rig_->window().setFileDialogs(&dialogs_);
}

EdidBuilderPage &TestBuilder::openBuild() {
    rig_->window().findChild<QAction *>("actionEdidDetails")->trigger();
    auto *page = rig_->window().findChild<EdidBuilderPage *>();
    Q_ASSERT(page != nullptr);
    return *page;
}

void TestBuilder::load(Source video, int audioIndex) {
    EdidBuilderPage &page = openBuild();
    in<QComboBox>(page, "buildVideoFrom")->setCurrentIndex(video);
    in<QComboBox>(page, "buildAudioFrom")->setCurrentIndex(audioIndex);
    click(page, "buildLoad");
}

void TestBuilder::editAndUseInText_data() {
    QTest::addColumn<int>("source");
    QTest::addColumn<QString>("edit");
    QTest::newRow("box, name") << int(EdidBuilderPage::Box) << "name";
    QTest::newRow("TOP, uncheck the first VIC") << int(EdidBuilderPage::Top) << "uncheck VIC";
    QTest::newRow("TOP, add a VIC") << int(EdidBuilderPage::Top) << "add VIC";
    QTest::newRow("TOP, remove Dolby Vision") << int(EdidBuilderPage::Top) << "remove DV";
    QTest::newRow("TOP, max FRL 24 Gbps") << int(EdidBuilderPage::Top) << "max FRL 24";
    QTest::newRow("TOP, ALLM off") << int(EdidBuilderPage::Top) << "ALLM off";
    QTest::newRow("BOT, remove an audio format") << int(EdidBuilderPage::Bot) << "remove audio";
}

void TestBuilder::editAndUseInText() {
    QFETCH(int, source);
    QFETCH(QString, edit);
    auto *text = rig_->widget<QTextEdit>("EDIDtext");
    const QString plainBefore = text->toPlainText();
    const QStringList runsBefore = formatRuns(*text);
    const int from = int(rig_->box.frames().size());
    load(Source(source), 0);
    EdidBuilderPage &page = openBuild();
    const int fetch = source == EdidBuilderPage::Box ? 0xB4 : source == EdidBuilderPage::Top ? 0xB5 : 0xB6;
    QCOMPARE(requestsSince(rig_->box, from), edidReadFrames(fetch));

    const EdidImage read = source == EdidBuilderPage::Box   ? rig_->box.ownEdid()
                           : source == EdidBuilderPage::Top ? corpusImage(kTv)
                                                            : corpusImage(kReceiver);
    edid::EdidModel expected = edid::readEdidModel(read);
    QCOMPARE(page.encoded(), encoded256(expected));
    const Edit change = editNamed(edit, unlistedVic(expected));
    const uint8_t firstVic = edid::decodeEdid(encoded256(expected)).cta[0].videos[0].vic;
    const Edit applied = edit == "uncheck VIC" ? editNamed(edit, firstVic) : change;
    QVERIFY(applied.onModel(expected).ok);
    applied.onPage(page);
    QVERIFY2(!in<QLabel>(page, "buildMessage")->text().startsWith("Refused"),
             qPrintable(in<QLabel>(page, "buildMessage")->text()));
    QCOMPARE(page.encoded(), encoded256(expected));
    QCOMPARE(in<QLabel>(page, "buildByteCount")->text(),
             QString("CTA-861 block: %1 of 127 bytes").arg(edid::ctaContentBytes(expected)));
    QVERIFY(!in<QPushButton>(page, "buildUndo")->isEnabled());

    const int beforeUse = int(rig_->box.frames().size());
    click(page, "buildUse");
    EdidImage inText{};
    QCOMPARE(parseEdidText(text->toPlainText(), inText), qsizetype(proto::kEdidSize));
    const std::vector<uint8_t> expectedBytes = encoded256(expected);
    QVERIFY(std::equal(inText.begin(), inText.end(), expectedBytes.begin(), expectedBytes.end()));
    QTextEdit rendered;
    renderEdidText(rendered, inText);
    QCOMPARE(formatRuns(*text), formatRuns(rendered));
    QCOMPARE(requestsSince(rig_->box, beforeUse), QList<QByteArray>{});

    QVERIFY(in<QPushButton>(page, "buildUndo")->isEnabled());
    click(page, "buildUndo");
    QCOMPARE(text->toPlainText(), plainBefore);
    QCOMPARE(formatRuns(*text), runsBefore);
    QVERIFY(!in<QPushButton>(page, "buildUndo")->isEnabled());
    QCOMPARE(requestsSince(rig_->box, beforeUse), QList<QByteArray>{});
}

// What the user typed after a use is theirs: Undo then restores nothing over it.
void TestBuilder::undoKeepsLaterTyping() {
    load(EdidBuilderPage::Top, 0);
    EdidBuilderPage &page = openBuild();
    click(page, "buildUse");
    auto *text = rig_->widget<QTextEdit>("EDIDtext");
    QTextCursor cursor(text->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral("typed"));
    const QString typed = text->toPlainText();
    click(page, "buildUndo");
    QCOMPARE(text->toPlainText(), typed);
    QVERIFY(!in<QPushButton>(page, "buildUndo")->isEnabled());
}

void TestBuilder::refusedEditChangesNothing_data() {
    QTest::addColumn<int>("source");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<int>("vic");
    QTest::addColumn<bool>("fill"); // VICs added until the CTA block is full
    QTest::newRow("VIC not in the table") << int(EdidBuilderPage::Top) << "add VIC" << 250 << false;
    QTest::newRow("VIC listed already") << int(EdidBuilderPage::Top) << "add VIC" << -1 << false;
    QTest::newRow("name not ASCII") << int(EdidBuilderPage::Top) << "name not ASCII" << 0 << false;
    QTest::newRow("CTA block full") << int(EdidBuilderPage::Top) << "add VIC" << 0 << true;
    // The box's own EDID has no Dolby Vision block: the button is disabled, the click does nothing.
    QTest::newRow("no Dolby Vision") << int(EdidBuilderPage::Box) << "remove DV" << 0 << false;
}

void TestBuilder::refusedEditChangesNothing() {
    QFETCH(int, source);
    QFETCH(QString, edit);
    QFETCH(int, vic);
    QFETCH(bool, fill);
    load(Source(source), 0);
    EdidBuilderPage &page = openBuild();
    auto *message = in<QLabel>(page, "buildMessage");
    if (fill) {
        for (uint8_t next = unlistedVic(page.model()); next != 0; next = unlistedVic(page.model())) {
            editNamed("add VIC", next).onPage(page);
            QCOMPARE(message->text(), QString("VIC %1 added.").arg(next));
        }
        QVERIFY(edid::ctaContentBytes(page.model()) >= edid::kCtaContentBytes - 1);
    }
    const edid::EdidModel before = page.model();
    const std::vector<uint8_t> bytesBefore = page.encoded();
    const QString countBefore = in<QLabel>(page, "buildByteCount")->text();
    const QStringList vicsBefore = listed(*in<QListWidget>(page, "buildVics"));
    const QString decodedBefore = in<QPlainTextEdit>(page, "buildDecoded")->toPlainText();
    const uint8_t chosen = fill      ? vicRefusedForSpace(before)
                           : vic > 0 ? uint8_t(vic)
                           : vic < 0 ? edid::decodeEdid(bytesBefore).cta[0].videos[0].vic
                                     : unlistedVic(before);
    const Edit change = editNamed(edit, chosen);
    edid::EdidModel copy = before;
    const edid::EditOutcome outcome = change.onModel(copy);
    QVERIFY(!outcome.ok);
    QVERIFY(!outcome.reason.isEmpty());
    QCOMPARE(outcome.missingBytes > 0, fill);

    const QString messageBefore = message->text();
    change.onPage(page);
    if (edit == "remove DV") {
        QVERIFY(!in<QPushButton>(page, "buildRemoveDolbyVision")->isEnabled());
        // Two LPCM descriptors make one entry: removing LPCM removes both.
        QCOMPARE(listed(*in<QListWidget>(page, "buildAudioFormats")),
                 (QStringList{"LPCM: 2, 8 channels", "AC-3: 6 channels"}));
        QCOMPARE(message->text(), messageBefore);
    } else {
        QCOMPARE(message->text(), "Refused: " + outcome.reason);
    }
    QCOMPARE(page.encoded(), bytesBefore);
    QCOMPARE(in<QLabel>(page, "buildByteCount")->text(), countBefore);
    QCOMPARE(listed(*in<QListWidget>(page, "buildVics")), vicsBefore);
    QCOMPARE(in<QPlainTextEdit>(page, "buildDecoded")->toPlainText(), decodedBefore);
}

void TestBuilder::videoAndAudioFromTwoSources_data() {
    QTest::addColumn<int>("video");
    QTest::addColumn<int>("audio"); // index of "Audio from": 0 same as video, else source + 1
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("bot"); // the EDID of the BOT TV
    QTest::addColumn<QString>("videoFile");
    QTest::addColumn<QString>("audioFile"); // empty: no merge
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<QString>("refusal"); // empty: loaded
    const QString sony = QStringLiteral("sony-x900f-hdmi.bin");
    QTest::newRow("TOP video, BOT audio")
        << int(EdidBuilderPage::Top) << int(EdidBuilderPage::Bot) + 1 << QStringList{} << sony << kTv << sony
        << edidReadFrames(0xB5) + edidReadFrames(0xB6) << QString();
    QTest::newRow("BOT video, TOP audio")
        << int(EdidBuilderPage::Bot) << int(EdidBuilderPage::Top) + 1 << QStringList{} << kReceiver
        << kReceiver << kTv << edidReadFrames(0xB6) + edidReadFrames(0xB5) << QString();
    QTest::newRow("file video, BOT audio")
        << int(EdidBuilderPage::File) << int(EdidBuilderPage::Bot) + 1 << QStringList{corpusPath(kTv)} << sony
        << kTv << sony << edidReadFrames(0xB6) << QString();
    QTest::newRow("TOP for both: no merge")
        << int(EdidBuilderPage::Top) << int(EdidBuilderPage::Top) + 1 << QStringList{} << sony << kTv
        << QString() << edidReadFrames(0xB5) << QString();
    QTest::newRow("hex text file, audio the same")
        << int(EdidBuilderPage::File) << 0 << QStringList{corpusPath("lg-oled-c9-hdmi.txt")} << sony << kTv
        << QString() << QList<QByteArray>{} << QString();
    QTest::newRow("merge too big") << int(EdidBuilderPage::Top) << int(EdidBuilderPage::Bot) + 1
                                   << QStringList{} << kReceiver << kTv << kReceiver
                                   << edidReadFrames(0xB5) + edidReadFrames(0xB6)
                                   << "Refused: the CTA-861 block holds 127 bytes; the merge needs 11 more";
    QTest::newRow("file dialog cancelled")
        << int(EdidBuilderPage::Top) << int(EdidBuilderPage::File) + 1 << QStringList{} << sony << kTv << sony
        << edidReadFrames(0xB5) << "Audio: no file chosen";
    QTest::newRow("file not an EDID")
        << int(EdidBuilderPage::File) << 0 << QStringList{corpusPath("README.md")} << sony << kTv << QString()
        << QList<QByteArray>{} << QString("Video: %1 is not an EDID file").arg(corpusPath("README.md"));
}

void TestBuilder::videoAndAudioFromTwoSources() {
    QFETCH(int, video);
    QFETCH(int, audio);
    QFETCH(QStringList, files);
    QFETCH(QString, bot);
    QFETCH(QString, videoFile);
    QFETCH(QString, audioFile);
    QFETCH(QList<QByteArray>, frames);
    QFETCH(QString, refusal);
    rig_->box.botSinkEdid() = corpusImage(bot);
    dialogs_.names = files;
    const int from = int(rig_->box.frames().size());
    load(Source(video), audio);
    EdidBuilderPage &page = openBuild();
    QCOMPARE(requestsSince(rig_->box, from), frames);
    QVERIFY(dialogs_.names.isEmpty());
    if (!refusal.isEmpty()) {
        // Nothing loaded: the page stays as it was, empty.
        QCOMPARE(in<QLabel>(page, "buildMessage")->text(), refusal);
        QVERIFY(!page.model().valid);
        QCOMPARE(in<QLabel>(page, "buildByteCount")->text(), QString("CTA-861 block: none"));
        QVERIFY(!in<QPushButton>(page, "buildUse")->isEnabled());
        return;
    }

    edid::EdidModel expected = corpusModel(videoFile);
    if (!audioFile.isEmpty()) {
        const edid::MergeOutcome merged = edid::mergeEdids(expected, corpusModel(audioFile));
        QVERIFY2(merged.outcome.ok, qPrintable(merged.outcome.reason));
        expected = merged.model;
    }
    QCOMPARE(page.encoded(), encoded256(expected));
    QCOMPARE(in<QLabel>(page, "buildByteCount")->text(),
             QString("CTA-861 block: %1 of 127 bytes").arg(edid::ctaContentBytes(expected)));
    QVERIFY(in<QPushButton>(page, "buildRemoveDolbyVision")->isEnabled());
    click(page, "buildUse");
    EdidImage inText{};
    parseEdidText(rig_->widget<QTextEdit>("EDIDtext")->toPlainText(), inText);
    const std::vector<uint8_t> expectedBytes = encoded256(expected);
    QVERIFY(std::equal(inText.begin(), inText.end(), expectedBytes.begin(), expectedBytes.end()));
}

QTEST_MAIN(TestBuilder)
#include "tst_builder.moc"
