// Every text of the window shows whole in its own font: each label, button, check box,
// radio button, combo box item and tab title against its contents rectangle, the status
// lines with the widest texts their builders can produce, and the text boxes with their
// longest allowed content. CTest runs it at scale 1 and, in a process of its own, at
// QT_SCALE_FACTOR=2.

#include "core/box/frames.h"
#include "core/box/packet_text.h"
#include "core/box/status_texts.h"
#include "dialog_font.h"
#include "edid_text.h"
#include "support/test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimerEvent>
#include <QToolButton>

#include <array>
#include <functional>
#include <memory>

namespace {

// What a widget's text has to fit into: the part of the widget its style draws the text in.
QRect textRect(QWidget *widget) {
    if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        QStyle::SubElement element = QStyle::SE_PushButtonContents;
        if (qobject_cast<QCheckBox *>(widget)) {
            element = QStyle::SE_CheckBoxContents;
        } else if (qobject_cast<QRadioButton *>(widget)) {
            element = QStyle::SE_RadioButtonContents;
        }
        return button->style()->subElementRect(element, &option, button);
    }
    if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        return combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField,
                                              combo);
    }
    auto *label = qobject_cast<QLabel *>(widget);
    return label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(),
                                          -label->margin());
}

QString fitReport(const QString &text, int advance, int height, const QRect &room) {
    return QStringLiteral("\"%1\" needs %2x%3, has %4x%5")
        .arg(text)
        .arg(advance)
        .arg(height)
        .arg(room.width())
        .arg(room.height());
}

// The widest of the texts in font.
QString widest(const QStringList &texts, const QFontMetrics &metrics) {
    QString best;
    for (const QString &text : texts) {
        if (metrics.horizontalAdvance(text) > metrics.horizontalAdvance(best)) {
            best = text;
        }
    }
    return best;
}

// Every video status block that picks a different entry of the input line's tables: each
// code (and one past them), HDMI or not, each link mode, each set of outputs, and each
// vendor-specific form with its details.
QList<proto::ReplyBuffer> inputLineBlocks() {
    struct Vsif {
        uint8_t format;
        uint8_t detail;
    };
    const Vsif forms[] = {{0, 0},
                          {status::kVsifHdmiVic, 1},
                          {status::kVsifHdmiVic, 2},
                          {status::kVsifHdmiVic, 3},
                          {status::kVsifHdmiVic, 4},
                          {status::kVsif3d, 0x00},
                          {status::kVsif3d, 0x60},
                          {status::kVsif3d, 0x80}};
    QList<proto::ReplyBuffer> blocks;
    for (int code = 0; code <= 108; ++code) {
        for (const uint8_t flags : {uint8_t{0}, status::kHdmiModeBit}) {
            for (const uint8_t link : {status::kLinkPlain, status::kLink420TenBit, status::kLink600MHz}) {
                for (const uint8_t outputs :
                     {uint8_t{0}, status::kOutputTxA, status::kOutputTxB, status::kOutputsMask}) {
                    for (const Vsif &form : forms) {
                        proto::ReplyBuffer block{};
                        block[status::kVideoCode] = static_cast<uint8_t>(code);
                        block[status::kVideoFlags] = flags;
                        block[status::kVideoLinkMode] = link;
                        block[status::kVideoOutputs] = outputs;
                        block[status::kVideoVsifFormat] = form.format;
                        block[status::kVideoVsifDetail] = form.detail;
                        blocks << block;
                    }
                }
            }
        }
    }
    return blocks;
}

// The input lines without a vendor-specific infoframe: the format table itself.
QList<proto::ReplyBuffer> plainInputLineBlocks() {
    QList<proto::ReplyBuffer> blocks = inputLineBlocks();
    blocks.removeIf([](const proto::ReplyBuffer &block) { return block[status::kVideoVsifFormat] != 0; });
    return blocks;
}

// Every combination of colour space, colorimetry and extended colorimetry.
QList<proto::ReplyBuffer> colourSpaceBlocks() {
    QList<proto::ReplyBuffer> blocks;
    for (int space = 0; space < 4; ++space) {
        for (int colorimetry = 0; colorimetry < 4; ++colorimetry) {
            for (int extended = 0; extended < 8; ++extended) {
                proto::ReplyBuffer block{};
                block[status::kVideoAviByte1] = static_cast<uint8_t>(space << 5);
                block[status::kVideoAviByte2] = static_cast<uint8_t>(colorimetry << 6);
                block[status::kVideoAviByte3] = static_cast<uint8_t>(extended << 4);
                blocks << block;
            }
        }
    }
    return blocks;
}

// The source product block with both name fields full of one character.
proto::ReplyBuffer sourceBlock(char character) {
    proto::ReplyBuffer block{};
    std::fill_n(block.begin() + status::kSourceVendor, status::kSourceVendorSize, uint8_t(character));
    std::fill_n(block.begin() + status::kSourceProduct, status::kSourceProductSize, uint8_t(character));
    return block;
}

QList<proto::ReplyBuffer> sourceBlocks() {
    QList<proto::ReplyBuffer> blocks;
    for (int character = 1; character < 256; ++character) {
        blocks << sourceBlock(char(character));
    }
    return blocks;
}

QList<proto::ReplyBuffer> hdrBlocks() {
    QList<proto::ReplyBuffer> blocks;
    for (int eotf = 0; eotf < 4; ++eotf) {
        proto::ReplyBuffer block{};
        block[status::kCapturePayload] = static_cast<uint8_t>(eotf);
        blocks << block;
    }
    return blocks;
}

// The capture block with the longest dump, every payload byte the given one.
proto::ReplyBuffer captureBlock(uint8_t value) {
    proto::ReplyBuffer block{};
    block[status::kCaptureType] = status::kHdrInfoframeType;
    block[status::kCaptureLength] = 0xFF;
    std::fill(block.begin() + status::kCapturePayload, block.begin() + status::kCaptureLast + 1, value);
    return block;
}

// The reply a status line is built from, the register it comes from, and its builder.
struct StatusLine {
    const char *row;
    const char *label;
    uint8_t reg;
    int blockLength;
    QList<proto::ReplyBuffer> (*blocks)();
    QString (*build)(const proto::ReplyBuffer &);
    // The line may be longer than its panel and show the whole text in its tool tip: the
    // source's free names, and the input line with the 3D and HDMI VIC forms.
    bool toolTipAllowed;
};

const StatusLine kStatusLines[] = {
    {"input, every form", "label_video_format", proto::kRegVideoStatus, proto::kVideoStatusLength,
     inputLineBlocks, status::inputLine, true},
    {"input, format table", "label_video_format", proto::kRegVideoStatus, proto::kVideoStatusLength,
     plainInputLineBlocks, status::inputLine, false},
    {"colour space", "lblCsc", proto::kRegVideoStatus, proto::kVideoStatusLength, colourSpaceBlocks,
     status::colourSpaceLine, false},
    {"source", "lblVideoSource", proto::kRegSourceProduct, proto::kSourceProductLength, sourceBlocks,
     status::sourceInfoLine, true},
    {"HDR", "lblHdrInput", proto::kRegHdrCapture, proto::kHdrCaptureLength, hdrBlocks, status::hdrLine,
     false},
};

// Colon hex of count groups, each two of the widest hex digit in font.
QString widestColonHex(size_t count, const QFontMetrics &metrics) {
    QStringList digits;
    for (const char digit : QByteArrayLiteral("0123456789abcdefABCDEF")) {
        digits << QString(QChar::fromLatin1(digit));
    }
    const QString pair = widest(digits, metrics).repeated(2);
    QStringList groups;
    for (size_t i = 0; i < count; ++i) {
        groups << pair;
    }
    return groups.join(QLatin1Char(':'));
}

size_t groupsOf(packets::TextLimits limits) {
    return (limits.maxChars + 1) / 3;
}

} // namespace

class TestFit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void texts_data();
    void texts();
    void statusLines_data();
    void statusLines();
    void sourceNameStaysPlainInItsToolTip();
    void tabTitles();
    void textBoxes_data();
    void textBoxes();
    void missingDialogFaceTakesTheNearestFace();
    void artworkForTwiceThePixels_data();
    void artworkForTwiceThePixels();

private:
    void showPageOf(QWidget *widget);
    void tick();
    template <typename T> T *find(const char *name) {
        return rig_->window().findChild<T *>(QLatin1String(name));
    }

    std::unique_ptr<Rig> rig_;
};

void TestFit::initTestCase() {
    Q_INIT_RESOURCE(resqrc);
    rig_ = std::make_unique<Rig>();
    QCOMPARE(QFontInfo(QApplication::font()).family(), QString(kDialogFontFamily));
    MainWindow &window = rig_->start();
    holdStatusTimer(window);
    window.show();
    qInfo("scale %g, device pixel ratio %g", qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble(),
          window.devicePixelRatioF());
}

void TestFit::cleanupTestCase() {
    rig_.reset();
}

void TestFit::showPageOf(QWidget *widget) {
    auto *tabs = find<QTabWidget>("tabWidget");
    for (int i = 0; i < tabs->count(); ++i) {
        if (tabs->widget(i)->isAncestorOf(widget)) {
            tabs->setCurrentIndex(i);
        }
    }
    QCoreApplication::processEvents();
}

void TestFit::tick() {
    QTimerEvent event(statusTimerId(rig_->window()));
    QCoreApplication::sendEvent(&rig_->window(), &event);
}

void TestFit::texts_data() {
    QTest::addColumn<QString>("name");
    for (QWidget *widget : rig_->window().findChildren<QWidget *>()) {
        const QString name = widget->objectName();
        const bool textBearing = qobject_cast<QLabel *>(widget) || qobject_cast<QAbstractButton *>(widget) ||
                                 qobject_cast<QComboBox *>(widget);
        if (textBearing && !name.isEmpty() && !name.startsWith(QLatin1String("qt_"))) {
            QTest::newRow(qPrintable(name)) << name;
        }
    }
}

// The form's own texts, and every item of the combo boxes.
void TestFit::texts() {
    QFETCH(QString, name);
    QWidget *widget = find<QWidget>(qPrintable(name));
    showPageOf(widget);
    QStringList texts;
    if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        QVERIFY2(combo->count() > 0, "the attached box fills every combo box");
        for (int i = 0; i < combo->count(); ++i) {
            texts << combo->itemText(i);
        }
    } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        texts << button->text();
    } else if (auto *label = qobject_cast<QLabel *>(widget); Qt::mightBeRichText(label->text())) {
        // A rich text label lays its document out; its size hint is the document's.
        QVERIFY2(label->sizeHint().width() <= label->width() && label->sizeHint().height() <= label->height(),
                 qPrintable(QStringLiteral("%1x%2 in %3x%4")
                                .arg(label->sizeHint().width())
                                .arg(label->sizeHint().height())
                                .arg(label->width())
                                .arg(label->height())));
        return;
    } else {
        texts << label->text();
    }
    const QRect room = textRect(widget);
    const QFontMetrics metrics = widget->fontMetrics();
    for (const QString &text : texts) {
        const int advance = metrics.horizontalAdvance(text);
        QVERIFY2(advance <= room.width() && metrics.height() <= room.height(),
                 qPrintable(fitReport(text, advance, metrics.height(), room)));
    }
}

void TestFit::statusLines_data() {
    QTest::addColumn<int>("line");
    for (int i = 0; i < int(std::size(kStatusLines)); ++i) {
        QTest::newRow(kStatusLines[i].row) << i;
    }
}

// The widest line the builder makes from any of its table entries, shown by the window's
// own status tick from the box's register block.
void TestFit::statusLines() {
    QFETCH(int, line);
    const StatusLine &status = kStatusLines[line];
    auto *label = find<QLabel>(status.label);
    const QFontMetrics metrics = label->fontMetrics();
    proto::ReplyBuffer widestBlock{};
    int widestAdvance = -1;
    for (const proto::ReplyBuffer &block : status.blocks()) {
        const int advance = metrics.horizontalAdvance(status.build(block));
        if (advance > widestAdvance) {
            widestAdvance = advance;
            widestBlock = block;
        }
    }
    std::copy_n(widestBlock.begin(), status.blockLength, rig_->box.registerBlock(status.reg).begin());
    tick();
    const QString text = status.build(widestBlock);
    QCOMPARE(label->text(), text);
    qInfo("%s: \"%s\", %d of %d px", status.label, qPrintable(text), widestAdvance, textRect(label).width());

    const QRect room = textRect(label);
    if (widestAdvance <= room.width()) {
        QVERIFY(metrics.height() <= room.height());
        QCOMPARE(label->toolTip(), QString());
    } else {
        QVERIFY2(status.toolTipAllowed, qPrintable(fitReport(text, widestAdvance, metrics.height(), room)));
        QCOMPARE(QTextDocumentFragment::fromHtml(label->toolTip()).toPlainText(), text);
    }
    rig_->box.registerBlock(status.reg).fill(0);
    tick();
    QCOMPARE(label->toolTip(), QString());
}

// Whatever a source calls itself is shown as it is, in the line and in the tool tip.
void TestFit::sourceNameStaysPlainInItsToolTip() {
    const QByteArray vendor = "<b>WWWWW";
    const QByteArray product = "</b>\t\t\t\t\t\t<i>W";
    auto &block = rig_->box.registerBlock(proto::kRegSourceProduct);
    block.fill(0);
    std::copy(vendor.begin(), vendor.end(), block.begin() + status::kSourceVendor);
    std::copy(product.begin(), product.end(), block.begin() + status::kSourceProduct);
    tick();
    const QString expected = QStringLiteral("Source Info: <b>WWWWW </b>\t\t\t\t\t\t<i>W");
    auto *label = find<QLabel>("lblVideoSource");
    QCOMPARE(label->text(), expected);
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QVERIFY(label->fontMetrics().horizontalAdvance(expected) > textRect(label).width());
    QCOMPARE(QTextDocumentFragment::fromHtml(label->toolTip()).toPlainText(), expected);
    block.fill(0);
    tick();
}

// All four titles stand whole in the bar, with no scroll buttons.
void TestFit::tabTitles() {
    auto *tabs = find<QTabWidget>("tabWidget");
    QTabBar *bar = tabs->tabBar();
    QCoreApplication::processEvents();
    for (QToolButton *scroll : bar->findChildren<QToolButton *>()) {
        QVERIFY(!scroll->isVisible());
    }
    QVERIFY2(bar->tabRect(bar->count() - 1).right() < tabs->width(),
             qPrintable(QString::number(bar->tabRect(bar->count() - 1).right())));
    const QFontMetrics metrics = bar->fontMetrics();
    for (int i = 0; i < bar->count(); ++i) {
        const int advance = metrics.horizontalAdvance(bar->tabText(i));
        QVERIFY2(advance < bar->tabRect(i).width(),
                 qPrintable(fitReport(bar->tabText(i), advance, 0, bar->tabRect(i))));
    }
    qInfo("tab bar: %d of %d px", bar->tabRect(bar->count() - 1).right() + 1, tabs->width());
}

void TestFit::textBoxes_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("groups");
    QTest::newRow("EDIDtext") << "EDIDtext" << int(proto::kEdidSize);
    QTest::newRow("CECtext") << "CECtext" << int(groupsOf(packets::kCecSend.limits));
    QTest::newRow("IFtext") << "IFtext" << int(groupsOf(packets::kHdrSend.limits));
    QTest::newRow("AVItext") << "AVItext" << int(groupsOf(packets::kAviSend.limits));
    QTest::newRow("txtHdrIf") << "txtHdrIf" << 0;
}

// The longest allowed content: every line shows, or the box scrolls to it; an EDID line
// never wraps.
void TestFit::textBoxes() {
    QFETCH(QString, name);
    QFETCH(int, groups);
    auto *box = find<QTextEdit>(qPrintable(name));
    showPageOf(box);
    const QFontMetrics metrics = box->fontMetrics();
    if (name == QLatin1String("EDIDtext")) {
        std::array<uint8_t, proto::kEdidSize> image{};
        image.fill(0xDD);
        renderEdidText(*box, image);
    } else if (name == QLatin1String("txtHdrIf")) {
        int widestValue = 0;
        for (int value = 1; value < 256; ++value) {
            if (metrics.horizontalAdvance(status::hdrCaptureDump(captureBlock(uint8_t(value)))) >
                metrics.horizontalAdvance(status::hdrCaptureDump(captureBlock(uint8_t(widestValue))))) {
                widestValue = value;
            }
        }
        const proto::ReplyBuffer block = captureBlock(uint8_t(widestValue));
        const QString widestDump = status::hdrCaptureDump(block);
        std::copy_n(block.begin(), proto::kHdrCaptureLength,
                    rig_->box.registerBlock(proto::kRegHdrCapture).begin());
        tick();
        QCOMPARE(box->toPlainText(), widestDump);
    } else {
        box->setPlainText(widestColonHex(size_t(groups), metrics));
    }
    QCoreApplication::processEvents();

    QTextDocument *document = box->document();
    int lines = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        lines += block.layout()->lineCount();
        if (name == QLatin1String("EDIDtext") && !block.text().isEmpty()) {
            QCOMPARE(block.layout()->lineCount(), 1);
        }
    }
    const int contentHeight = int(document->size().height());
    const int viewHeight = box->viewport()->height();
    qInfo("%s: %d lines, %d of %d px", qPrintable(name), lines, contentHeight, viewHeight);
    if (contentHeight > viewHeight) {
        QVERIFY2(
            box->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff,
            qPrintable(
                QStringLiteral("%1 lines need %2 px of %3").arg(lines).arg(contentHeight).arg(viewHeight)));
        QVERIFY(box->verticalScrollBar()->maximum() > 0);
    }
    box->clear();
    rig_->box.registerBlock(proto::kRegHdrCapture).fill(0);
}

// Without the faces the program says so to its caller and takes Liberation Sans, which
// the scripts install, at the same size.
void TestFit::missingDialogFaceTakesTheNearestFace() {
    const QFont before = QApplication::font();
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    QFile notAFont(QDir(empty.path()).filePath(QStringLiteral("tahoma.ttf")));
    for (const bool withBrokenFile : {false, true}) {
        if (withBrokenFile) {
            QVERIFY(notAFont.open(QIODevice::WriteOnly));
            notAFont.write("not a font");
            notAFont.close();
        }
        QApplication::setFont(before);
        QVERIFY(!installDialogFont(empty.path()));
        QCOMPARE(QFontInfo(QApplication::font()).family(), QString("Liberation Sans"));
        QCOMPARE(QApplication::font().pointSize(), kDialogFontPointSize);
    }
    QApplication::setFont(before);
}

void TestFit::artworkForTwiceThePixels_data() {
    QTest::addColumn<int>("size");
    QTest::newRow("16") << 16;
    QTest::newRow("32") << 32;
    QTest::newRow("48") << 48;
}

// Each small image has its variant of twice the pixels, which Qt takes for the plain name
// on a screen of that pixel ratio: the window icon and the title image use it at scale 2.
void TestFit::artworkForTwiceThePixels() {
    QFETCH(int, size);
    const QString name = QStringLiteral(":/Veltrika_%1.png").arg(size);
    QCOMPARE(QImage(name).size(), QSize(size, size));
    QCOMPARE(QImage(QStringLiteral(":/Veltrika_%1@2x.png").arg(size)).size(), QSize(2 * size, 2 * size));
    if (size == 32) {
        const bool twice = qApp->devicePixelRatio() >= 2.0;
        QCOMPARE(rig_->window().windowIcon().availableSizes().contains(QSize(64, 64)), twice);
        qInfo("window icon sizes: %s",
              qPrintable(QDebug::toString(rig_->window().windowIcon().availableSizes())));
    }
}

QTEST_MAIN(TestFit)
#include "tst_fit.moc"
