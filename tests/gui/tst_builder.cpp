// The Build page of EDID Details: what it loads (the box's EDID reads, a file, the text),
// the edits by meaning with the core's outcome, and "Use in EDID text", which renders the
// encoded bytes into the text as the window renders any EDID and sends the box nothing.

#include "core/edid/edid_decode.h"
#include "core/edid/edid_fit.h"
#include "core/edid/edid_model.h"
#include "core/edid/spaced_hex.h"
#include "edid_builder.h"
#include "edid_details.h"
#include "edid_text.h"
#include "file_dialogs.h"
#include "support/test_support.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>
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
    QStringList names;    // answered in turn
    QStringList captions; // of the dialogs asked, in turn
    QString openFileName(QWidget *, const QString &caption, const QString &, const QString &) override {
        captions << caption;
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

// The CTA block of the model as the decoder reads it back.
edid::CtaBlock ctaOf(const edid::EdidModel &model) {
    const edid::EdidDecoded decoded = edid::decodeEdid(encoded256(model));
    return decoded.cta.empty() ? edid::CtaBlock{} : decoded.cta.front();
}

// The audio format names in the order of the page's list, which names each format once.
QStringList audioNames(const edid::EdidModel &model) {
    QStringList names;
    for (const edid::AudioFormat &format : ctaOf(model).audio) {
        if (!names.contains(edid::audioFormatName(format))) {
            names << edid::audioFormatName(format);
        }
    }
    return names;
}

void selectVic(EdidBuilderPage &page, uint8_t vic) {
    auto *vics = in<QListWidget>(page, "buildVics");
    for (int row = 0; row < vics->count(); ++row) {
        if (vics->item(row)->data(Qt::UserRole).toInt() == vic) {
            vics->setCurrentRow(row);
        }
    }
}

void setSpin(EdidBuilderPage &page, const char *name, int value) {
    in<QSpinBox>(page, name)->setValue(value);
}

void toggle(EdidBuilderPage &page, const QString &box) {
    // A click at the centre of a wide box misses its label: the box's own click() stands for it.
    in<QCheckBox>(page, qPrintable(box))->click();
}

// The edit of each kind, on the page and on a model; VIC is the one the edit names, OTHER
// the EDID the page's "Take blocks from" reads.
Edit editNamed(const QString &kind, uint8_t vic, const edid::EdidModel &other = {}) {
    using Model = edid::EdidModel;
    const auto onVic = [vic](const char *control) {
        return [vic, control](EdidBuilderPage &page) {
            selectVic(page, vic);
            if (QString(control) == "buildVic420") {
                toggle(page, control);
            } else {
                click(page, control);
            }
        };
    };
    if (kind == "name" || kind == "name not ASCII") {
        const QString name = kind == "name" ? "MIX TV" : "FERNSEHER Ü";
        return {[name](EdidBuilderPage &page) {
                    in<QLineEdit>(page, "buildProductName")->setText(name);
                    click(page, "buildApplyName");
                },
                [name](Model &m) { return edid::setProductName(m, name); }};
    }
    if (kind == "uncheck VIC") {
        return {[vic](EdidBuilderPage &page) {
                    selectVic(page, vic);
                    in<QListWidget>(page, "buildVics")->currentItem()->setCheckState(Qt::Unchecked);
                },
                [vic](Model &m) { return edid::removeVic(m, vic); }};
    }
    if (kind == "add VIC" || kind == "add 4:2:0 only") {
        const bool only = kind != "add VIC";
        return {
            [vic, only](EdidBuilderPage &page) {
                setSpin(page, "buildVicToAdd", vic);
                click(page, only ? "buildAdd420Only" : "buildAddVic");
            },
            [vic, only](Model &m) { return only ? edid::addYcbcr420OnlyVic(m, vic) : edid::addVic(m, vic); }};
    }
    if (kind == "add and uncheck 4:2:0 only") {
        // Two added, the first unchecked: the second stays.
        const auto second = uint8_t(vic + 1);
        return {[vic, second](EdidBuilderPage &page) {
                    for (const uint8_t added : {vic, second}) {
                        setSpin(page, "buildVicToAdd", added);
                        click(page, "buildAdd420Only");
                    }
                    in<QListWidget>(page, "buildOnly420")->item(0)->setCheckState(Qt::Unchecked);
                },
                [vic, second](Model &m) {
                    for (const uint8_t added : {vic, second}) {
                        if (const edid::EditOutcome outcome = edid::addYcbcr420OnlyVic(m, added);
                            !outcome.ok) {
                            return outcome;
                        }
                    }
                    return edid::removeYcbcr420OnlyVic(m, vic);
                }};
    }
    if (kind == "native VIC") {
        return {onVic("buildNativeVic"), [vic](Model &m) { return edid::setNativeVic(m, vic); }};
    }
    if (kind == "also 4:2:0") {
        return {onVic("buildVic420"), [vic](Model &m) { return edid::setYcbcr420Capable(m, vic, true); }};
    }
    if (kind == "preferred timing") {
        return {onVic("buildPreferredVic"),
                [vic](Model &m) { return edid::setPreferredTimingFromVic(m, vic); }};
    }
    if (kind == "remove DV") {
        return {[](EdidBuilderPage &page) { click(page, "buildRemoveDolbyVision"); },
                [](Model &m) { return edid::removeVendorVideoBlock(m, edid::VendorVideo::DolbyVision); }};
    }
    if (kind == "take DV" || kind == "take HDR10+") {
        const auto which = kind == "take DV" ? edid::VendorVideo::DolbyVision : edid::VendorVideo::Hdr10Plus;
        return {[which](EdidBuilderPage &page) {
                    click(page, which == edid::VendorVideo::DolbyVision ? "buildTakeDolbyVision"
                                                                        : "buildTakeHdr10Plus");
                },
                [which, other](Model &m) { return edid::takeVendorVideoBlock(m, other, which); }};
    }
    if (kind == "take audio") {
        return {[](EdidBuilderPage &page) { click(page, "buildTakeAudio"); },
                [other](Model &m) { return edid::takeAudioBlock(m, other); }};
    }
    if (kind == "max FRL 24") {
        return {[](EdidBuilderPage &page) { in<QComboBox>(page, "buildMaxFrl")->setCurrentText("24 Gbps"); },
                [](Model &m) { return edid::setMaxFrl(m, *edid::frlCodeOfGbps(24)); }};
    }
    if (kind == "ALLM off") {
        return {[](EdidBuilderPage &page) { toggle(page, "buildAllm"); },
                [](Model &m) { return edid::setAllm(m, false); }};
    }
    if (kind == "VRR 48-120") {
        return {[](EdidBuilderPage &page) {
                    setSpin(page, "buildVrrMin", 48);
                    setSpin(page, "buildVrrMax", 120);
                    click(page, "buildSetVrr");
                },
                [](Model &m) { return edid::setVrrRange(m, 48, 120); }};
    }
    if (kind == "TMDS rate 500" || kind == "TMDS rate 100") {
        const int mhz = kind == "TMDS rate 500" ? 500 : 100;
        return {[mhz](EdidBuilderPage &page) {
                    setSpin(page, "buildMaxTmdsRate", mhz);
                    click(page, "buildSetMaxTmdsRate");
                },
                [mhz](Model &m) { return edid::setMaxTmdsCharacterRate(m, uint16_t(mhz)); }};
    }
    if (kind == "TMDS clock 340") {
        return {[](EdidBuilderPage &page) {
                    setSpin(page, "buildMaxTmdsClock", 340);
                    click(page, "buildSetMaxTmdsClock");
                },
                [](Model &m) { return edid::setHdmiMaxTmdsClock(m, 340); }};
    }
    if (kind == "deep colour 48") {
        return {[](EdidBuilderPage &page) { toggle(page, "buildDeepColor64"); },
                [](Model &m) {
                    const edid::HdmiVsdb hdmi = ctaOf(m).hdmi.value_or(edid::HdmiVsdb{});
                    const int bits = 0x40 | (hdmi.deepColor36 ? 0x20 : 0) | (hdmi.deepColor30 ? 0x10 : 0) |
                                     (hdmi.deepColorY444 ? 0x08 : 0);
                    return edid::setDeepColor(m, uint8_t(bits));
                }};
    }
    if (kind == "EOTF HDR") {
        return {[](EdidBuilderPage &page) { toggle(page, "buildEotf1"); },
                [](Model &m) {
                    return edid::setHdrEotfs(
                        m, uint8_t(ctaOf(m).hdrStatic.value_or(edid::HdrStatic{}).eotfs | 2));
                }};
    }
    if (kind == "luminance" || kind == "min luminance alone") {
        const bool all = kind == "luminance";
        return {[all](EdidBuilderPage &page) {
                    setSpin(page, "buildMaxLuminance", all ? 96 : -1);
                    setSpin(page, "buildFrameAverageLuminance", all ? 80 : -1);
                    setSpin(page, "buildMinLuminance", 20);
                    click(page, "buildSetLuminance");
                },
                [all](Model &m) {
                    return edid::setHdrLuminance(
                        m, all ? edid::HdrLuminanceCodes{96, 80, 20}
                               : edid::HdrLuminanceCodes{std::nullopt, std::nullopt, 20});
                }};
    }
    if (kind == "speaker TpFL/TpFR") {
        return {[](EdidBuilderPage &page) { toggle(page, "buildSpeaker8"); },
                [](Model &m) {
                    return edid::setSpeakerAllocation(m, ctaOf(m).speakerAllocation.value_or(0) | 0x100);
                }};
    }
    // The first format of the list, which names each format once: its channels (6 for all
    // its descriptors), or its rates without 192 kHz, or the format removed.
    const auto format = [](Model &m) { return audioNames(m).value(0); };
    if (kind == "audio 6 channels") {
        return {[](EdidBuilderPage &page) {
                    in<QListWidget>(page, "buildAudioFormats")->setCurrentRow(0);
                    setSpin(page, "buildAudioChannels", 6);
                    click(page, "buildSetAudio");
                },
                [format](Model &m) { return edid::setAudioFormat(m, format(m), 6, std::nullopt); }};
    }
    if (kind == "audio without 192 kHz") {
        return {[](EdidBuilderPage &page) {
                    in<QListWidget>(page, "buildAudioFormats")->setCurrentRow(0);
                    toggle(page, "buildAudioRate192");
                    click(page, "buildSetAudio");
                },
                [format](Model &m) {
                    uint8_t rates = 0;
                    for (const edid::AudioFormat &f : ctaOf(m).audio) {
                        rates |= edid::audioFormatName(f) == format(m) ? f.sampleRates : 0;
                    }
                    return edid::setAudioFormat(m, format(m), std::nullopt, uint8_t(rates & ~0x40));
                }};
    }
    // "remove audio": the second format of the list
    return {[](EdidBuilderPage &page) {
                in<QListWidget>(page, "buildAudioFormats")->setCurrentRow(1);
                click(page, "buildRemoveAudio");
            },
            [](Model &m) { return edid::removeAudioFormat(m, audioNames(m).value(1)); }};
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
    void fileDialogsSayWhatTheyOpen_data();
    void fileDialogsSayWhatTheyOpen();
    void quickRemovalsRemoveTheClickedVics();
    void useIsOneUndoStepOfTheText();
    void useSaysWhatASourceCannotRead();
    void fitByLeavingOut_data();
    void fitByLeavingOut();

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
    dialogs_.captions.clear();
    rig_->window().setFileDialogs(&dialogs_);
}

void TestBuilder::fileDialogsSayWhatTheyOpen_data() {
    QTest::addColumn<int>("video");
    QTest::addColumn<int>("audio");
    QTest::addColumn<bool>("take");
    QTest::addColumn<QStringList>("captions");
    const int file = EdidBuilderPage::File;
    QTest::newRow("video and audio from files")
        << file << file + 1 << false
        << QStringList{"Video from: open an EDID file", "Audio from: open an EDID file"};
    QTest::newRow("blocks taken from a file")
        << int(EdidBuilderPage::Top) << 0 << true << QStringList{"Take blocks from: open an EDID file"};
}

void TestBuilder::fileDialogsSayWhatTheyOpen() {
    QFETCH(int, video);
    QFETCH(int, audio);
    QFETCH(bool, take);
    QFETCH(QStringList, captions);
    dialogs_.names = {corpusPath(kTv), corpusPath(kReceiver), corpusPath(kReceiver)};
    load(Source(video), audio);
    EdidBuilderPage &page = openBuild();
    if (take) {
        in<QComboBox>(page, "buildTakeFrom")->setCurrentIndex(EdidBuilderPage::File);
        click(page, "buildTakeAudio");
    }
    QCOMPARE(dialogs_.captions, captions);
}

// Four quick clicks on the boxes of the 4096x2160 VICs, each where the row stood before the
// first: each removes the VIC it hit, the rows stay put, and every removal is told.
void TestBuilder::quickRemovalsRemoveTheClickedVics() {
    load(EdidBuilderPage::Top, 0);
    EdidBuilderPage &page = openBuild();
    auto *vics = in<QListWidget>(page, "buildVics");
    reveal(vics);
    page.window()->resize(900, 900);
    page.window()->show();
    QVERIFY(QTest::qWaitForWindowExposed(page.window()));
    const QStringList rowsBefore = listed(*vics);
    const QList<int> clicked{102, 101, 219, 218};
    QList<QPoint> boxes;
    const int indicator = vics->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, vics);
    for (const int vic : clicked) {
        for (int row = 0; row < vics->count(); ++row) {
            if (vics->item(row)->data(Qt::UserRole).toInt() == vic) {
                const QRect rect = vics->visualItemRect(vics->item(row));
                boxes << QPoint(rect.left() + 2 + indicator / 2, rect.center().y());
            }
        }
    }
    QCOMPARE(boxes.size(), clicked.size());
    for (const QPoint &at : boxes) {
        QVERIFY(vics->viewport()->rect().contains(at));
    }
    for (const QPoint &at : boxes) {
        QTest::mouseClick(vics->viewport(), Qt::LeftButton, {}, at);
    }
    const edid::EdidDecoded decoded = edid::decodeEdid(page.encoded());
    std::vector<int> left;
    for (const edid::VideoDescriptor &video : decoded.cta.front().videos) {
        left.push_back(video.vic);
    }
    for (const int vic : clicked) {
        QVERIFY2(std::find(left.begin(), left.end(), vic) == left.end(), qPrintable(QString::number(vic)));
    }
    QVERIFY(std::find(left.begin(), left.end(), 16) != left.end());
    QCOMPARE(int(left.size()), rowsBefore.size() - clicked.size());
    // The rows stand where they stood: the removed ones unchecked and struck through.
    QStringList rowsAfter = rowsBefore;
    for (qsizetype row = 4; row < 8; ++row) {
        rowsAfter[row].remove(QStringLiteral(" [x]"));
    }
    QCOMPARE(listed(*vics), rowsAfter);
    for (int row = 0; row < vics->count(); ++row) {
        const QListWidgetItem *item = vics->item(row);
        const bool removed = clicked.contains(item->data(Qt::UserRole).toInt());
        QCOMPARE(item->checkState(), removed ? Qt::Unchecked : Qt::Checked);
        QCOMPARE(item->font().strikeOut(), removed);
    }
    QCOMPARE(in<QLabel>(page, "buildMessage")->text(),
             QString("VIC 218 removed; since the last Load: VICs 102, 101, 219, 218."));
    const QString shots = qEnvironmentVariable("VELTRIKA_TEST_SHOTS");
    if (!shots.isEmpty()) {
        QVERIFY(page.window()->grab().save(shots + QStringLiteral("/build-four-removals.png")));
    }
    // The next Load shows the model's rows alone.
    load(EdidBuilderPage::Top, 0);
    QCOMPARE(listed(*vics), rowsBefore);
    QCOMPARE(in<QLabel>(page, "buildMessage")->text(), QString("Loaded from TOP."));
}

// Use replaces the text as one step of its undo history: Ctrl+Z brings back what was typed.
void TestBuilder::useIsOneUndoStepOfTheText() {
    auto *text = rig_->widget<QTextEdit>("EDIDtext");
    text->setPlainText(QString());
    QTest::keyClicks(text, QStringLiteral("00 FF typed"));
    const QString typed = text->toHtml();
    load(EdidBuilderPage::Top, 0);
    EdidBuilderPage &page = openBuild();
    click(page, "buildUse");
    const std::vector<uint8_t> built = page.encoded();
    QCOMPARE(text->toPlainText(),
             formatEdidText(std::span<const uint8_t, proto::kEdidSize>(built.data(), 256)));
    QTest::keyClick(text, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(text->toHtml(), typed);
}

// Use says when a source may not read what it put into the text (the file's extension
// count of 2 is kept as it was read).
void TestBuilder::useSaysWhatASourceCannotRead() {
    dialogs_.names = {corpusPath("acer-xv273k-dp1.bin")};
    load(EdidBuilderPage::File, 0);
    EdidBuilderPage &page = openBuild();
    click(page, "buildUse");
    QCOMPARE(in<QLabel>(page, "buildMessage")->text(),
             QString("The EDID text holds the built EDID, but a source may not be able to read it: the EDID "
                     "states 2 extension blocks, the box holds 1."));
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
    QTest::addColumn<int>("takeFrom");      // the source of "Take blocks from", -1 none
    QTest::addColumn<QString>("otherFile"); // the file chosen for it
    const int top = EdidBuilderPage::Top;
    const int bot = EdidBuilderPage::Bot;
    const auto row = [](const char *name, int source, const char *edit, int takeFrom = -1,
                        const QString &file = QString()) {
        QTest::newRow(name) << source << QString(edit) << takeFrom << file;
    };
    row("box, name", EdidBuilderPage::Box, "name");
    row("TOP, uncheck a VIC", top, "uncheck VIC");
    row("TOP, add a VIC", top, "add VIC");
    row("TOP, native VIC", top, "native VIC");
    row("TOP, a VIC also as 4:2:0", top, "also 4:2:0");
    row("TOP, a VIC as 4:2:0 only", top, "add 4:2:0 only");
    row("BOT, a 4:2:0 only VIC added and unchecked", bot, "add and uncheck 4:2:0 only");
    row("BOT, preferred timing from a VIC", bot, "preferred timing");
    row("TOP, remove Dolby Vision", top, "remove DV");
    row("TOP, Dolby Vision taken from BOT", top, "take DV", bot);
    row("box, HDR10+ taken from a file", EdidBuilderPage::Box, "take HDR10+", EdidBuilderPage::File,
        "samsung-q800t-hdmi2.1.bin");
    row("TOP, EOTF traditional HDR", top, "EOTF HDR");
    row("TOP, luminance codes", top, "luminance");
    row("TOP, max FRL 24 Gbps", top, "max FRL 24");
    row("TOP, ALLM off", top, "ALLM off");
    row("TOP, VRR 48 to 120 Hz", top, "VRR 48-120");
    row("TOP, max TMDS character rate", top, "TMDS rate 500");
    row("TOP, max TMDS clock", top, "TMDS clock 340");
    row("TOP, deep colour 48 bit", top, "deep colour 48");
    // TOP whole has no room for BOT's audio with its speakers: the box's EDID takes them, its
    // own speakers replaced.
    row("box, audio and speakers taken from BOT", EdidBuilderPage::Box, "take audio", bot);
    row("BOT, remove an audio format", bot, "remove audio");
    row("BOT, 6 channels for each descriptor of a format", bot, "audio 6 channels");
    row("BOT, a format without 192 kHz", bot, "audio without 192 kHz");
    row("BOT, speakers TpFL/TpFR", bot, "speaker TpFL/TpFR");
}

// The VIC an edit of the kind names in the model.
uint8_t vicFor(const QString &kind, const edid::EdidModel &model) {
    const std::vector<uint8_t> bytes = encoded256(model);
    for (const edid::VideoDescriptor &video : ctaOf(model).videos) {
        edid::EdidModel copy = model;
        if ((kind == "uncheck VIC") || (kind == "native VIC" && !video.native && video.vic <= 64) ||
            (kind == "also 4:2:0" && !video.ycbcr420Capable) ||
            (kind == "preferred timing" && edid::setPreferredTimingFromVic(copy, video.vic).ok &&
             encoded256(copy) != bytes)) {
            return video.vic;
        }
    }
    return kind == "preferred timing" ? 0 : unlistedVic(model);
}

void TestBuilder::editAndUseInText() {
    QFETCH(int, source);
    QFETCH(QString, edit);
    QFETCH(int, takeFrom);
    QFETCH(QString, otherFile);
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
    edid::EdidModel other;
    if (takeFrom >= 0) {
        in<QComboBox>(page, "buildTakeFrom")->setCurrentIndex(takeFrom);
        other = corpusModel(takeFrom == EdidBuilderPage::Bot ? kReceiver : otherFile);
        dialogs_.names = otherFile.isEmpty() ? QStringList{} : QStringList{corpusPath(otherFile)};
    }
    const uint8_t vic = vicFor(edit, expected);
    QVERIFY(vic != 0);
    const Edit applied = editNamed(edit, vic, other);
    const std::vector<uint8_t> unedited = encoded256(expected);
    const edid::EditOutcome outcome = applied.onModel(expected);
    QVERIFY2(outcome.ok, qPrintable(outcome.reason));
    QVERIFY(encoded256(expected) != unedited);
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
    // The box's own EDID in FIXED mode has no Dolby Vision block: the button is disabled, the
    // click does nothing.
    QTest::newRow("no Dolby Vision") << int(EdidBuilderPage::Box) << "remove DV" << 0 << false;
    QTest::newRow("min luminance without max")
        << int(EdidBuilderPage::Top) << "min luminance alone" << 0 << false;
    QTest::newRow("TMDS character rate 100 MHz")
        << int(EdidBuilderPage::Top) << "TMDS rate 100" << 0 << false;
    // "Take blocks from" is BOT: the receiver's EDID has no HDR10+ block.
    QTest::newRow("HDR10+ from an EDID without") << int(EdidBuilderPage::Top) << "take HDR10+" << 0 << false;
    QTest::newRow("preferred timing of a VIC without a timing")
        << int(EdidBuilderPage::Top) << "preferred timing" << 118 << false;
}

void TestBuilder::refusedEditChangesNothing() {
    QFETCH(int, source);
    QFETCH(QString, edit);
    QFETCH(int, vic);
    QFETCH(bool, fill);
    if (edit == "remove DV") {
        rig_->box.statusRecord()[record::kEdidMode] = record::kEdidModeFixed;
    }
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
    const Edit change = editNamed(edit, chosen, corpusModel(kReceiver));
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
    QTest::newRow("colon hex file video, table file audio")
        << int(EdidBuilderPage::File) << int(EdidBuilderPage::File) + 1
        << QStringList{corpusPath("formats/lg-oled-c9.colon-hex.txt"),
                       corpusPath("formats/sony-x900f.edid-bytes.dat")}
        << sony << kTv << sony << QList<QByteArray>{} << QString();
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

// The merge of the demo's TVs does not fit: "Fit by leaving out…" reads the box's own EDID
// for its link and lists what may go, the least-loss set checked; the dialog takes only a
// choice that fits, and the page then holds the merge with that left out.
void TestBuilder::fitByLeavingOut_data() {
    QTest::addColumn<QList<int>>("toggled"); // the rows of the list the user checks or unchecks
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QStringList>("leftOut"); // empty: the choice does not fit
    const QStringList leastLoss = {"VIC 118 (3840x2160p120 16:9)",
                                   "VIC 117 (3840x2160p100 16:9)",
                                   "VIC 219 (4096x2160p120)",
                                   "VIC 218 (4096x2160p100)",
                                   "DTS-HD, 8 channels, up to 192 kHz",
                                   "VIC 102 (4096x2160p60)",
                                   "VIC 101 (4096x2160p50)",
                                   "VIC 100 (4096x2160p30)",
                                   "VIC 99 (4096x2160p25)"};
    QTest::newRow("the least-loss set")
        << QList<int>{}
        << "Leaving out the checked saves 11 bytes: the CTA-861 block then holds 127 of 127 bytes."
        << leastLoss;
    QTest::newRow("one fewer: not enough")
        << QList<int>{4} << "Leaving out the checked saves 8 bytes: 3 more are needed." << QStringList{};
    QStringList other = leastLoss.mid(1);
    other << "VIC 98 (4096x2160p24)";
    // VIC 98 takes HDMI VIC 4 with it: the same format.
    QTest::newRow("VIC 98 in the place of VIC 118")
        << QList<int>{0, 9}
        << "Leaving out the checked saves 12 bytes: the CTA-861 block then holds 126 of 127 bytes." << other;
}

void TestBuilder::fitByLeavingOut() {
    QFETCH(QList<int>, toggled);
    QFETCH(QString, saved);
    QFETCH(QStringList, leftOut);
    load(EdidBuilderPage::Top, int(EdidBuilderPage::Bot) + 1);
    EdidBuilderPage &page = openBuild();
    const QString refusal = "Refused: the CTA-861 block holds 127 bytes; the merge needs 11 more";
    QCOMPARE(in<QLabel>(page, "buildMessage")->text(), refusal);
    QVERIFY(!page.model().valid);
    QVERIFY(!in<QPushButton>(page, "buildFit")->isHidden());
    const QString shots = qEnvironmentVariable("VELTRIKA_TEST_SHOTS");
    if (!shots.isEmpty()) {
        page.window()->resize(900, 700);
        QVERIFY(page.window()->grab().save(shots + QStringLiteral("/build-fit-refused.png")));
    }
    const int from = int(rig_->box.frames().size());
    click(page, "buildFit");
    QCOMPARE(requestsSince(rig_->box, from), edidReadFrames(0xB4));
    auto *dialog = page.findChild<QDialog *>(QStringLiteral("buildFitDialog"));
    QVERIFY(dialog != nullptr && dialog->isVisible());
    auto *list = in<QListWidget>(*dialog, "buildFitCandidates");
    QCOMPARE(list->count(), 13);
    for (int row = 0; row < list->count(); ++row) {
        QCOMPARE(list->item(row)->checkState(), row < 9 ? Qt::Checked : Qt::Unchecked);
    }
    for (const int row : toggled) {
        QListWidgetItem *item = list->item(row);
        item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
    QCOMPARE(in<QLabel>(*dialog, "buildFitSaved")->text(), saved);
    auto *leaveOut = in<QPushButton>(*dialog, "buildFitLeaveOut");
    QCOMPARE(leaveOut->isEnabled(), !leftOut.isEmpty());
    if (!shots.isEmpty()) {
        QVERIFY(
            dialog->grab().save(shots + QStringLiteral("/build-fit-%1.png").arg(QTest::currentDataTag())));
    }
    if (leftOut.isEmpty()) {
        dialog->reject();
        QCOMPARE(in<QLabel>(page, "buildMessage")->text(), refusal);
        QVERIFY(!page.model().valid);
        QVERIFY(!in<QPushButton>(page, "buildFit")->isHidden());
        return;
    }
    leaveOut->click();
    QCOMPARE(in<QLabel>(page, "buildMessage")->text(),
             "Video from TOP, audio from BOT. Left out to fit: " + leftOut.join("; ") + ".");
    QVERIFY(in<QPushButton>(page, "buildFit")->isHidden());
    const edid::EdidModel merged =
        *edid::mergeEdids(corpusModel(kTv), corpusModel(kReceiver)).outcome.unfitted;
    const edid::FitProposal proposal = edid::proposeFit(merged, edid::LinkLimit{600, 0});
    std::vector<edid::FitCandidate> chosen;
    for (const edid::FitCandidate &c : proposal.candidates) {
        if (leftOut.contains(edid::fitCandidateWhat(c))) {
            chosen.push_back(c);
        }
    }
    edid::EdidModel expected = merged;
    edid::leaveOut(expected, chosen);
    QCOMPARE(page.encoded(), encoded256(expected));
    QCOMPARE(in<QLabel>(page, "buildByteCount")->text(),
             QString("CTA-861 block: %1 of 127 bytes").arg(edid::ctaContentBytes(expected)));
}

QTEST_MAIN(TestBuilder)
#include "tst_builder.moc"
