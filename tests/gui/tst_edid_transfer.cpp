// Reading EDIDs from the device and the TVs behind it, and writing a custom EDID.

#include "core/edid/spaced_hex.h"
#include "support/test_support.h"
#include "transfer_progress.h"

#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTextEdit>

#include <algorithm>

using sim::Fault;
Q_DECLARE_METATYPE(sim::EdidImage)

namespace {

constexpr uint32_t kEdidWindowReads = 16;
constexpr uint32_t kEdidWindowWrites = 32;

QByteArray windowRead(int offset) {
    return bytes({0x11, 0x10, 0xB0, offset});
}

// Numbered bytes behind the EDID header, one extension block stated: an EDID a source reads.
sim::EdidImage numberedImage() {
    sim::EdidImage image{};
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    const uint8_t header[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    std::copy(std::begin(header), std::end(header), image.begin());
    image[126] = 1;
    return image;
}

sim::EdidImage withChecksums(sim::EdidImage image) {
    image[127] = edidBlockChecksum(std::span<const uint8_t, 128>(image.data(), 128));
    image[255] = edidBlockChecksum(std::span<const uint8_t, 128>(image.data() + 128, 128));
    return image;
}

QString edidText(Rig &rig) {
    return rig.widget<QTextEdit>("EDIDtext")->toPlainText();
}

// Puts the window in custom EDID mode with the uploaded entry, as a user would before a write.
void chooseCustomMode(Rig &rig) {
    rig.widget<QRadioButton>("customEDID")->setChecked(true);
    rig.widget<QComboBox>("cmBEdid")->setCurrentIndex(0);
}

void invoke(MainWindow &window, const char *slot) {
    QVERIFY(QMetaObject::invokeMethod(&window, slot));
}

// Counts the show and hide events of one widget.
class ShowHideCounter : public QObject {
public:
    explicit ShowHideCounter(QWidget &widget) { widget.installEventFilter(this); }
    int shown = 0;
    int hidden = 0;

protected:
    bool eventFilter(QObject * /*watched*/, QEvent *event) override {
        shown += event->type() == QEvent::Show ? 1 : 0;
        hidden += event->type() == QEvent::Hide ? 1 : 0;
        return false;
    }
};

} // namespace

class TestEdidTransfer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resqrc); }
    void readSendsFetchPollsAndWindowReads();
    void readTextIsTheSpacedHexOfTheBytes();
    void readsOfTheTwoSinks_data();
    void readsOfTheTwoSinks();
    void refusedFetchKeepsTheText_data();
    void refusedFetchKeepsTheText();
    void failedWindowReadKeepsTheText_data();
    void failedWindowReadKeepsTheText();
    void readWithoutDeviceKeepsTheText();
    void busyPollStopsAfter502Reads();
    void readProgressAndOneBar();
    void barStaysShownThroughATransfer_data();
    void barStaysShownThroughATransfer();
    void writeRefusedOutsideCustomMode_data();
    void writeRefusedOutsideCustomMode();
    void writeSendsThe32BlocksAndCommit();
    void failingBlockIsNotCommitted_data();
    void failingBlockIsNotCommitted();
    void writeWithWrongChecksums_data();
    void writeWithWrongChecksums();
    void writeAsksWhatASourceCannotRead_data();
    void writeAsksWhatASourceCannotRead();
    void writeRefusesAPartialEdid_data();
    void writeRefusesAPartialEdid();
    void readIsOneUndoStep_data();
    void readIsOneUndoStep();
    void writeOfBadTextSendsNothing_data();
    void writeOfBadTextSendsNothing();
    void commitRefused();
    void topButtonChecksTheTextOnRelease();
    void bottomButtonOnlyReads();
    void progressBarPaintsAsTheStyle_data();
    void progressBarPaintsAsTheStyle();
};

void TestEdidTransfer::readSendsFetchPollsAndWindowReads() {
    Rig rig;
    MainWindow &window = rig.start();
    rig.box.fetchBusyMs = 125; // busy at 100, 110 and 120 ms after the fetch
    const int from = static_cast<int>(rig.box.frames().size());
    rig.clock.clearSleeps();
    invoke(window, "ReadEDID");

    QList<QByteArray> expected = {bytes({0x10, 0x01, 0xB4})};
    for (int i = 0; i < 4; ++i) {
        expected << bytes({0x11, 0x2A, 0xE1});
    }
    for (uint32_t offset = 0; offset < 256; offset += 16) {
        expected << windowRead(static_cast<int>(offset));
    }
    QCOMPARE(requestsSince(rig.box, from), expected);
    const auto &frames = rig.box.frames();
    const uint32_t fetchTime = frames[static_cast<size_t>(from)].time;
    const std::vector<uint32_t> pollTimes = {100, 110, 120, 130};
    for (size_t i = 0; i < pollTimes.size(); ++i) {
        QCOMPARE(frames[static_cast<size_t>(from) + 1 + i].time - fetchTime, pollTimes[i]);
    }
    QCOMPARE(frames[static_cast<size_t>(from) + 5].time - fetchTime, 140u);
    QCOMPARE(rig.clock.sleeps(), (std::vector<uint32_t>{100, 10, 10, 10, 10}));
    QCOMPARE(rig.statusRecorder.messages().constLast(), (StatusMessage{"EDID values read.", 2000}));
}

void TestEdidTransfer::readTextIsTheSpacedHexOfTheBytes() {
    Rig rig;
    const sim::EdidImage image = numberedImage();
    rig.box.customEdid() = image;
    rig.box.statusRecord()[record::kEdidMode] = 3;
    rig.box.statusRecord()[record::kCustomEdidPreset] = 0;
    rig.start();
    QCOMPARE(edidText(rig), formatEdidText(image));
    QCOMPARE(edidText(rig).size(), 768);
    std::array<uint8_t, 256> parsed{};
    QCOMPARE(parseEdidText(edidText(rig), parsed), qsizetype(256));
    QVERIFY(parsed == image);
    const QTextCharFormat format = rig.widget<QTextEdit>("EDIDtext")->textCursor().charFormat();
    QCOMPARE(format.fontPointSize(), 8.0);
    QCOMPARE(format.foreground().color(), QColor(Qt::black));
}

void TestEdidTransfer::readsOfTheTwoSinks_data() {
    QTest::addColumn<QString>("slot");
    QTest::addColumn<int>("fetchCode");
    QTest::addColumn<bool>("top");
    QTest::newRow("TOP") << "readTvEdidA" << 0xB5 << true;
    QTest::newRow("BOT") << "readTvEdidB" << 0xB6 << false;
}

void TestEdidTransfer::readsOfTheTwoSinks() {
    QFETCH(QString, slot);
    QFETCH(int, fetchCode);
    QFETCH(bool, top);
    Rig rig;
    MainWindow &window = rig.start();
    const int from = static_cast<int>(rig.box.frames().size());
    invoke(window, slot.toLatin1().constData());
    QCOMPARE(requestsSince(rig.box, from).first(), bytes({0x10, 0x01, fetchCode}));
    QCOMPARE(edidText(rig), formatEdidText(top ? rig.box.topSinkEdid() : rig.box.botSinkEdid()));
    QCOMPARE(rig.statusRecorder.messages().constLast(), (StatusMessage{"TV EDID values read.", 2000}));
}

// The window still holds what an earlier fetch left there (here another display's EDID):
// a refused fetch ends the read before any window read, with the text and its error kept.
void TestEdidTransfer::refusedFetchKeepsTheText_data() {
    QTest::addColumn<QString>("slot");
    QTest::addColumn<int>("fetchCode");
    QTest::newRow("device") << "ReadEDID" << 0xB4;
    QTest::newRow("TOP") << "readTvEdidA" << 0xB5;
    QTest::newRow("BOT") << "readTvEdidB" << 0xB6;
}

void TestEdidTransfer::refusedFetchKeepsTheText() {
    QFETCH(QString, slot);
    QFETCH(int, fetchCode);
    Rig rig;
    MainWindow &window = rig.start();
    rig.box.edidWindow() = numberedImage();
    const QString before = edidText(rig);
    rig.box.injectFault(Fault::Refuse, static_cast<uint8_t>(fetchCode));
    const int from = static_cast<int>(rig.box.frames().size());
    rig.statusRecorder.clear();
    invoke(window, slot.toLatin1().constData());
    QCOMPARE(requestsSince(rig.box, from), (QList<QByteArray>{bytes({0x10, 0x01, fetchCode})}));
    QCOMPARE(edidText(rig), before);
    QCOMPARE(rig.statusRecorder.messages(), (QList<StatusMessage>{{"Error Writing values", 4000}}));
    QVERIFY(window.statusBar()->findChild<QProgressBar *>()->isHidden());
}

void TestEdidTransfer::failedWindowReadKeepsTheText_data() {
    QTest::addColumn<int>("fault");
    QTest::newRow("refused") << int(Fault::Refuse);
    QTest::newRow("short") << int(Fault::Short);
    QTest::newRow("silent: no byte arrives") << int(Fault::Silent);
    QTest::newRow("read call fails") << int(Fault::ReadFail);
}

void TestEdidTransfer::failedWindowReadKeepsTheText() {
    QFETCH(int, fault);
    Rig rig;
    MainWindow &window = rig.start();
    const QString before = edidText(rig);
    const int from = static_cast<int>(rig.box.frames().size());
    rig.statusRecorder.clear();
    // The fetch and one status read come first; then four window reads succeed.
    rig.box.injectFaultForNext(Fault(fault), 1, 2 + 4);
    invoke(window, "ReadEDID");
    const QList<QByteArray> sent = requestsSince(rig.box, from);
    QCOMPARE(sent.size(), 2 + 5);
    QCOMPARE(sent.constLast(), windowRead(0x40));
    QCOMPARE(edidText(rig), before);
    // A read the USB library fails closes the box: one message. A box still listed that
    // leaves one window read unanswered ends the read as a refusal does, and stays open.
    const bool loss = fault == int(Fault::ReadFail);
    const QList<StatusMessage> lost{{"VELTRIKA USB not connected!", 0}};
    QCOMPARE(rig.statusRecorder.messages(), loss ? lost : QList<StatusMessage>());
    QVERIFY(!window.statusBar()->findChild<QProgressBar *>()->isVisible());
    QCOMPARE(window.session().isOpen(), !loss);
}

void TestEdidTransfer::readWithoutDeviceKeepsTheText() {
    Rig rig;
    rig.box.setAttachedDevices({});
    MainWindow &window = rig.start();
    rig.widget<QTextEdit>("EDIDtext")->setPlainText("00 11 22");
    invoke(window, "ReadEDID");
    QCOMPARE(edidText(rig), QString("00 11 22"));
    QVERIFY(!rig.statusRecorder.texts().contains("EDID values read."));
}

void TestEdidTransfer::busyPollStopsAfter502Reads() {
    Rig rig;
    MainWindow &window = rig.start();
    rig.box.fetchBusyMs = 100000;
    const int from = static_cast<int>(rig.box.frames().size());
    invoke(window, "ReadEDID");
    const QList<QByteArray> sent = requestsSince(rig.box, from);
    QCOMPARE(sent.count(bytes({0x11, 0x2A, 0xE1})), 502);
    QCOMPARE(sent.size(), 1 + 502 + 16);
    QCOMPARE(sent.constLast(), windowRead(0xF0));
}

void TestEdidTransfer::readProgressAndOneBar() {
    Rig rig;
    MainWindow &window = rig.start();
    auto *bar = window.statusBar()->findChild<QProgressBar *>();
    QVERIFY(bar != nullptr);
    QVERIFY(!bar->isTextVisible());
    QSignalSpy values(bar, &QProgressBar::valueChanged);
    invoke(window, "ReadEDID");
    QList<int> expected;
    for (int value = 16; value <= 240; value += 16) {
        expected << value;
    }
    QList<int> seen;
    for (const QList<QVariant> &arguments : values) {
        seen << arguments.first().toInt();
    }
    QCOMPARE(seen, expected);
    QCOMPARE(bar->maximum(), 255);
    QVERIFY(bar->isHidden());
    for (int i = 0; i < 5; ++i) {
        invoke(window, "readTvEdidB");
    }
    QCOMPARE(window.statusBar()->findChildren<QProgressBar *>().size(), 1);
}

void TestEdidTransfer::barStaysShownThroughATransfer_data() {
    QTest::addColumn<QString>("slot");
    QTest::newRow("write") << "WriteEDID";
    QTest::newRow("read") << "ReadEDID";
    QTest::newRow("read of a TV") << "readTvEdidA";
}

// A transfer shows the bar at its first step that moves it and hides it at the end; in
// between the bar only moves. A bar hidden and shown again at every step would lay the
// status bar out and paint it again between the waits the box needs.
void TestEdidTransfer::barStaysShownThroughATransfer() {
    QFETCH(QString, slot);
    Rig rig;
    MainWindow &window = rig.start();
    chooseCustomMode(rig);
    rig.widget<QTextEdit>("EDIDtext")->setPlainText(formatEdidText(withChecksums(numberedImage())));
    window.show(); // a hidden window's widgets get no show or hide events
    auto *bar = window.statusBar()->findChild<QProgressBar *>();
    QVERIFY(bar != nullptr);
    ShowHideCounter counter(*bar);
    invoke(window, slot.toLatin1().constData());
    QCOMPARE(counter.shown, 1);
    QCOMPARE(counter.hidden, 1);
    QVERIFY(bar->isHidden());
}

void TestEdidTransfer::writeRefusedOutsideCustomMode_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("preset");
    QTest::newRow("automix") << "automixEDID" << 0;
    QTest::newRow("fixed") << "fixedEDID" << 0;
    QTest::newRow("custom with a built-in table") << "customEDID" << 1;
}

void TestEdidTransfer::writeRefusedOutsideCustomMode() {
    QFETCH(QString, mode);
    QFETCH(int, preset);
    Rig rig;
    MainWindow &window = rig.start();
    rig.widget<QRadioButton>(mode.toLatin1().constData())->setChecked(true);
    rig.widget<QComboBox>("cmBEdid")->setCurrentIndex(preset);
    // A text that would not parse: the mode check must come before any parse.
    rig.widget<QTextEdit>("EDIDtext")->setPlainText("00  11");
    const size_t framesBefore = rig.box.frames().size();
    rig.boxWatcher.clear();
    invoke(window, "WriteEDID");
    QCOMPARE(rig.boxWatcher.texts(),
             QStringList{"\nSelect CUSTOM EDID TABLE mode to upload an EDID table\n"});
    QCOMPARE(rig.boxWatcher.boxes().first().title, QString("VELTRIKA Utility"));
    QVERIFY(rig.boxWatcher.boxes().first().hasParent);
    QCOMPARE(rig.box.frames().size(), framesBefore);
}

void TestEdidTransfer::writeSendsThe32BlocksAndCommit() {
    Rig rig;
    MainWindow &window = rig.start();
    chooseCustomMode(rig);
    const sim::EdidImage image = withChecksums(numberedImage());
    rig.widget<QTextEdit>("EDIDtext")->setPlainText(formatEdidText(image).toLower());
    const int from = static_cast<int>(rig.box.frames().size());
    rig.clock.clearSleeps();
    rig.statusRecorder.clear();
    auto *bar = window.statusBar()->findChild<QProgressBar *>();
    QSignalSpy values(bar, &QProgressBar::valueChanged);
    invoke(window, "WriteEDID");

    const QList<QByteArray> sent = requestsSince(rig.box, from);
    QCOMPARE(sent.size(), int(kEdidWindowWrites) + 1);
    for (uint32_t block = 0; block < kEdidWindowWrites; ++block) {
        const int offset = static_cast<int>(block * 8);
        QCOMPARE(sent[static_cast<int>(block)],
                 bytes({0x10, 0x08, 0xB0, offset}) +
                     QByteArray(reinterpret_cast<const char *>(image.data() + offset), 8));
    }
    QCOMPARE(sent.constLast(), bytes({0x10, 0x08, 0xB1}));
    QCOMPARE(rig.clock.sleeps(), std::vector<uint32_t>(kEdidWindowWrites, 30));
    QVERIFY(rig.box.customEdid() == image);
    QCOMPARE(rig.statusRecorder.messages(), (QList<StatusMessage>{{"EDID values written...", 2000}}));
    QCOMPARE(values.size(), 31);
    QCOMPARE(values.constLast().first().toInt(), 31);
    QCOMPARE(bar->maximum(), 32);
    QVERIFY(bar->isHidden());
}

// The other blocks still go out, but a window with a block missing is never committed:
// the device keeps the EDID it had, and the error is the last word on the status bar.
void TestEdidTransfer::failingBlockIsNotCommitted_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("blocksArrived");
    QTest::newRow("first block refused") << int(Fault::Refuse) << 0 << 32;
    QTest::newRow("sixth block refused") << int(Fault::Refuse) << 5 << 32;
    QTest::newRow("last block answered short") << int(Fault::Short) << 31 << 32;
    // A write call that fails is a loss: the box is closed and nothing follows the block.
    QTest::newRow("a block whose write call fails") << int(Fault::WriteFail) << 17 << 17;
}

void TestEdidTransfer::failingBlockIsNotCommitted() {
    QFETCH(int, fault);
    QFETCH(int, block);
    QFETCH(int, blocksArrived);
    Rig rig;
    MainWindow &window = rig.start();
    chooseCustomMode(rig);
    rig.widget<QTextEdit>("EDIDtext")->setPlainText(formatEdidText(withChecksums(numberedImage())));
    const sim::EdidImage customBefore = rig.box.customEdid();
    const int from = static_cast<int>(rig.box.frames().size());
    rig.statusRecorder.clear();
    rig.box.injectFaultForNext(Fault(fault), 1, block);
    invoke(window, "WriteEDID");
    const QList<QByteArray> sent = requestsSince(rig.box, from);
    QCOMPARE(sent.size(), blocksArrived);
    QVERIFY(rig.box.customEdid() == customBefore);
    if (fault == int(Fault::WriteFail)) {
        QCOMPARE(rig.statusRecorder.messages(), (QList<StatusMessage>{{"VELTRIKA USB not connected!", 0}}));
        QVERIFY(!window.session().isOpen());
        return;
    }
    QCOMPARE(sent.constLast().first(4), bytes({0x10, 0x08, 0xB0, 0xF8}));
    QCOMPARE(rig.statusRecorder.messages(), (QList<StatusMessage>{{"Error Writing EDID values.", 2000}}));
    QVERIFY(window.statusBar()->findChild<QProgressBar *>()->isHidden());
}

void TestEdidTransfer::writeWithWrongChecksums_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("sent");
    QTest::newRow("Yes sends the bytes unchanged") << int(QMessageBox::Yes) << true;
    QTest::newRow("No sends nothing") << int(QMessageBox::No) << false;
}

void TestEdidTransfer::writeWithWrongChecksums() {
    QFETCH(int, answer);
    QFETCH(bool, sent);
    Rig rig;
    MainWindow &window = rig.start();
    chooseCustomMode(rig);
    sim::EdidImage image = withChecksums(numberedImage());
    image[255] ^= 0x01;
    rig.widget<QTextEdit>("EDIDtext")->setPlainText(formatEdidText(image));
    const size_t framesBefore = rig.box.frames().size();
    const sim::EdidImage customBefore = rig.box.customEdid();
    rig.boxWatcher.clear();
    rig.boxWatcher.queueAnswer(QMessageBox::StandardButton(answer));
    invoke(window, "WriteEDID");

    QCOMPARE(rig.boxWatcher.boxes().size(), 1);
    const ShownBox &question = rig.boxWatcher.boxes().first();
    QCOMPARE(question.title, QString("VELTRIKA Utility"));
    QCOMPARE(question.text, QString("The EDID Checksum is not correct."));
    QCOMPARE(question.informativeText, QString("Write anyway?"));
    QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(question.defaultButton, QMessageBox::No);
    QCOMPARE(question.icon, QMessageBox::NoIcon);
    QVERIFY(!question.hasParent);
    if (sent) {
        QCOMPARE(rig.box.frames().size(), framesBefore + kEdidWindowWrites + 1);
        QVERIFY(rig.box.customEdid() == image);
    } else {
        QCOMPARE(rig.box.frames().size(), framesBefore);
        QVERIFY(rig.box.customEdid() == customBefore);
    }
}

// Its own question before the checksums', default No; a No sends nothing, a Yes the
// bytes exactly as they stand.
void TestEdidTransfer::writeAsksWhatASourceCannotRead_data() {
    QTest::addColumn<sim::EdidImage>("image");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<bool>("sent");
    const QString question = QStringLiteral("A source may not be able to read this EDID:\n%1.");
    const QString header = question.arg(QStringLiteral("block 0 does not start with the EDID header"));
    const QString twoExtensions =
        question.arg(QStringLiteral("the EDID states 2 extension blocks, the box holds 1"));
    const QString checksum = QStringLiteral("The EDID Checksum is not correct.");
    sim::EdidImage twoStated = numberedImage();
    twoStated[126] = 2;
    sim::EdidImage brokenHeader = withChecksums(numberedImage());
    brokenHeader[1] = 0xFE;
    sim::EdidImage emptyBlock1 = numberedImage();
    std::fill(emptyBlock1.begin() + 128, emptyBlock1.end(), uint8_t{0});
    QTest::newRow("zeros of an empty file: No")
        << sim::EdidImage{} << QList<int>{QMessageBox::No} << QStringList{header} << false;
    QTest::newRow("2 extensions stated: Escape")
        << withChecksums(twoStated) << QList<int>{} << QStringList{twoExtensions} << false;
    QTest::newRow("broken header: Yes, then the checksum question: No")
        << brokenHeader << QList<int>{QMessageBox::Yes, QMessageBox::No} << QStringList{header, checksum}
        << false;
    QTest::newRow("2 extensions stated: Yes sends it")
        << withChecksums(twoStated) << QList<int>{QMessageBox::Yes} << QStringList{twoExtensions} << true;
    // A CTA-861 block whose first data block runs past the collection: the decoder fails it.
    sim::EdidImage runsPast = numberedImage();
    const uint8_t ctaStart[] = {0x02, 0x03, 0x06, 0x00, 0x53};
    std::copy(std::begin(ctaStart), std::end(ctaStart), runsPast.begin() + 128);
    const QString runsPastQuestion = question.arg(QStringLiteral(
        "Failure: Block 1, CTA-861 Extension Block: data block at 4 of length 19 runs past the "
        "data block collection (ends at 6)"));
    QTest::newRow("the decoder fails it: No")
        << withChecksums(runsPast) << QList<int>{QMessageBox::No} << QStringList{runsPastQuestion} << false;
    QTest::newRow("the decoder fails it: Yes sends it")
        << withChecksums(runsPast) << QList<int>{QMessageBox::Yes} << QStringList{runsPastQuestion} << true;
    QTest::newRow("block 1 empty: Yes, Yes sends it as it is")
        << emptyBlock1 << QList<int>{QMessageBox::Yes, QMessageBox::Yes}
        << QStringList{question.arg(QStringLiteral("the EDID states 1 extension block, block 1 is empty")),
                       checksum}
        << true;
}

void TestEdidTransfer::writeAsksWhatASourceCannotRead() {
    QFETCH(sim::EdidImage, image);
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, texts);
    QFETCH(bool, sent);
    Rig rig;
    MainWindow &window = rig.start();
    chooseCustomMode(rig);
    rig.widget<QTextEdit>("EDIDtext")->setPlainText(formatEdidText(image));
    const int from = static_cast<int>(rig.box.frames().size());
    const sim::EdidImage customBefore = rig.box.customEdid();
    rig.boxWatcher.clear();
    for (const int answer : answers) {
        rig.boxWatcher.queueAnswer(QMessageBox::StandardButton(answer));
    }
    invoke(window, "WriteEDID");
    QCOMPARE(rig.boxWatcher.texts(), texts);
    const ShownBox &question = rig.boxWatcher.boxes().first();
    QCOMPARE(question.title, QString("VELTRIKA Utility"));
    QCOMPARE(question.informativeText, QString("Write it to the box anyway?"));
    QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(question.defaultButton, QMessageBox::No);
    QCOMPARE(question.icon, QMessageBox::Warning);
    const QList<QByteArray> requests = requestsSince(rig.box, from);
    if (sent) {
        QCOMPARE(requests.size(), int(kEdidWindowWrites) + 1);
        QCOMPARE(requests.first(), bytes({0x10, 0x08, 0xB0, 0x00}) +
                                       QByteArray(reinterpret_cast<const char *>(image.data()), 8));
        QCOMPARE(requests.constLast(), bytes({0x10, 0x08, 0xB1}));
        QVERIFY(rig.box.customEdid() == image);
    } else {
        QVERIFY(requests.isEmpty());
        QVERIFY(rig.box.customEdid() == customBefore);
    }
}

// Neither 128 nor 256 bytes: refused outright, no question, nothing sent. A base block alone
// is completed with an empty block as before.
void TestEdidTransfer::writeRefusesAPartialEdid_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("requests");
    const QString refused = QStringLiteral("The EDID text holds no whole EDID: %1.\nNothing was written.");
    sim::EdidImage base = withChecksums(numberedImage());
    base[126] = 0;
    base[127] = edidBlockChecksum(std::span<const uint8_t, 128>(base.data(), 128));
    const QString full = formatEdidText(base);
    QTest::newRow("8 bytes of header")
        << "00 FF FF FF FF FF FF 00"
        << QStringList{refused.arg(QStringLiteral("the text holds 8 of 256 bytes"))} << 0;
    QTest::newRow("255 bytes") << full.left(255 * 3 - 1)
                               << QStringList{refused.arg(QStringLiteral("the text holds 255 of 256 bytes"))}
                               << 0;
    QTest::newRow("3 blocks") << full + full.left(128 * 3)
                              << QStringList{refused.arg(
                                     QStringLiteral("the text holds 3 blocks, the box holds 2"))}
                              << 0;
    QTest::newRow("base block alone") << full.left(128 * 3) << QStringList{} << int(kEdidWindowWrites) + 1;
}

void TestEdidTransfer::writeRefusesAPartialEdid() {
    QFETCH(QString, text);
    QFETCH(QStringList, texts);
    QFETCH(int, requests);
    Rig rig;
    MainWindow &window = rig.start();
    chooseCustomMode(rig);
    rig.widget<QTextEdit>("EDIDtext")->setPlainText(text);
    const int from = static_cast<int>(rig.box.frames().size());
    rig.boxWatcher.clear();
    invoke(window, "WriteEDID");
    QCOMPARE(rig.boxWatcher.texts(), texts);
    QCOMPARE(requestsSince(rig.box, from).size(), requests);
    if (!texts.isEmpty()) {
        QCOMPARE(rig.boxWatcher.boxes().first().icon, QMessageBox::Warning);
        QCOMPARE(rig.boxWatcher.boxes().first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
}

// A read replaces the text as one step: Undo brings back the typed text and its formats.
void TestEdidTransfer::readIsOneUndoStep_data() {
    QTest::addColumn<QString>("slot");
    QTest::newRow("Read Veltrika EDID") << "ReadEDID";
    QTest::newRow("Read TV EDID (TOP)") << "readTvEdidA";
    QTest::newRow("Read TV EDID (BOT)") << "readTvEdidB";
}

void TestEdidTransfer::readIsOneUndoStep() {
    QFETCH(QString, slot);
    Rig rig;
    MainWindow &window = rig.start();
    auto *text = rig.widget<QTextEdit>("EDIDtext");
    text->setPlainText(QString());
    QTest::keyClicks(text, QStringLiteral("00 11 typed"));
    text->setTextColor(Qt::red);
    QTest::keyClicks(text, QStringLiteral(" red"));
    const QString typed = text->toHtml();
    rig.clock.advance(rig.box.fetchBusyMs);
    invoke(window, slot.toLatin1().constData());
    QVERIFY(edidText(rig).startsWith(QStringLiteral("00 FF FF FF FF FF FF 00")));
    QCOMPARE(text->currentCharFormat().fontPointSize(), 8.0);
    text->undo();
    QCOMPARE(text->toHtml(), typed);
    QCOMPARE(edidText(rig), QStringLiteral("00 11 typed red"));
}

// An empty box (as after a failed EDID read at start-up) is no EDID either: 256 zeros have
// right checksums and would replace the device's EDID without a question.
void TestEdidTransfer::writeOfBadTextSendsNothing_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("double space") << "00 11  22";
    QTest::newRow("empty") << "";
    QTest::newRow("GG is no byte") << "00 11 GG";
    QTest::newRow("a non-digit past byte 256") << QString("00 ").repeated(300) + "0Z";
}

void TestEdidTransfer::writeOfBadTextSendsNothing() {
    QFETCH(QString, text);
    Rig rig;
    MainWindow &window = rig.start();
    chooseCustomMode(rig);
    rig.widget<QTextEdit>("EDIDtext")->setPlainText(text);
    const sim::EdidImage customBefore = rig.box.customEdid();
    const size_t framesBefore = rig.box.frames().size();
    rig.boxWatcher.clear();
    invoke(window, "WriteEDID");
    QCOMPARE(rig.boxWatcher.texts(), QStringList{"Hex Format Error"});
    QCOMPARE(rig.box.frames().size(), framesBefore);
    QVERIFY(rig.box.customEdid() == customBefore);
}

void TestEdidTransfer::commitRefused() {
    Rig rig;
    MainWindow &window = rig.start();
    chooseCustomMode(rig);
    rig.widget<QTextEdit>("EDIDtext")->setPlainText(formatEdidText(withChecksums(numberedImage())));
    rig.box.injectFault(Fault::Refuse, proto::kEdidCommit);
    rig.statusRecorder.clear();
    invoke(window, "WriteEDID");
    QCOMPARE(rig.statusRecorder.messages(), (QList<StatusMessage>{{"Error Populating EDID values.", 2000}}));
}

void TestEdidTransfer::topButtonChecksTheTextOnRelease() {
    Rig rig;
    sim::EdidImage broken = withChecksums(numberedImage());
    broken[127] ^= 0x10;
    rig.box.topSinkEdid() = broken;
    MainWindow &window = rig.start();
    window.show();
    auto *button = rig.widget<QPushButton>("pbReadTvEdidA");
    rig.boxWatcher.clear();
    QTest::mousePress(button, Qt::LeftButton);
    QCOMPARE(edidText(rig), formatEdidText(broken));
    QVERIFY(rig.boxWatcher.boxes().isEmpty());
    rig.boxWatcher.queueAnswer(QMessageBox::Yes);
    QTest::mouseRelease(button, Qt::LeftButton);
    QCOMPARE(rig.boxWatcher.texts(), QStringList{"The EDID Checksum is not correct."});
    QCOMPARE(edidText(rig), formatEdidText(withChecksums(numberedImage())));
}

void TestEdidTransfer::bottomButtonOnlyReads() {
    Rig rig;
    sim::EdidImage broken = withChecksums(numberedImage());
    broken[255] ^= 0x10;
    rig.box.botSinkEdid() = broken;
    MainWindow &window = rig.start();
    window.show();
    auto *button = rig.widget<QPushButton>("pbReadTvEdidB");
    rig.boxWatcher.clear();
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(edidText(rig), formatEdidText(broken));
    QVERIFY(rig.boxWatcher.boxes().isEmpty());
}

void TestEdidTransfer::progressBarPaintsAsTheStyle_data() {
    QTest::addColumn<int>("width");
    QTest::newRow("as laid out") << 100;
    QTest::newRow("resized") << 173;
}

// The bar put together from its drawn ends shows what the style draws: the empty bar, the
// full one, and at every step the full bar up to the step and the empty one after it. (The
// ends are drawn on a clear pixmap first: antialiased edges may round one step apart.)
void TestEdidTransfer::progressBarPaintsAsTheStyle() {
    QFETCH(int, width);
    const auto render = [width](QProgressBar &bar, int value) {
        bar.resize(width, 20);
        bar.setTextVisible(false);
        bar.setRange(0, 32);
        bar.setValue(value);
        QImage image(bar.size(), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        bar.render(&image);
        return image;
    };
    const auto sameLook = [](const QImage &a, const QImage &b, int from, int to) {
        for (int y = 0; y < a.height(); ++y) {
            for (int x = from; x < to; ++x) {
                const QRgb p = a.pixel(x, y);
                const QRgb q = b.pixel(x, y);
                if (std::abs(qRed(p) - qRed(q)) > 1 || std::abs(qGreen(p) - qGreen(q)) > 1 ||
                    std::abs(qBlue(p) - qBlue(q)) > 1 || std::abs(qAlpha(p) - qAlpha(q)) > 1) {
                    return false;
                }
            }
        }
        return true;
    };
    QProgressBar plain;
    TransferProgressBar cached(nullptr);
    const QImage empty = render(plain, 0);
    const QImage full = render(plain, 32);
    QVERIFY(sameLook(render(cached, 0), empty, 0, width));
    QVERIFY(sameLook(render(cached, 32), full, 0, width));
    const QImage half = render(cached, 16);
    QVERIFY(sameLook(half, full, 0, width / 2));
    QVERIFY(sameLook(half, empty, width / 2, width));
    QVERIFY(!sameLook(empty, full, 0, width));
}

QTEST_MAIN(TestEdidTransfer)
#include "tst_edid_transfer.moc"
