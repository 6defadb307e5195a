// The View menu and its two Details windows: the decoded EDID follows the EDID manager's
// text, the comparison reads the three EDIDs with the session's own EDID read and writes
// nothing, a failed read shows in its column, and Signal Details follows the status tick
// and the typed infoframes and CEC command. Nothing the windows do changes a text.

#include "core/edid/spaced_hex.h"
#include "decoded_view.h"
#include "edid_details.h"
#include "signal_details.h"
#include "support/test_support.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

using sim::Fault;

namespace {

void tick(MainWindow &window) {
    QTimerEvent event(statusTimerId(window));
    QCoreApplication::sendEvent(&window, &event);
}

QString edidText(Rig &rig) {
    return rig.widget<QTextEdit>("EDIDtext")->toPlainText();
}

// The frames of one EDID read from the source with this fetch code: the fetch, one busy
// poll, the 16 window reads.
QList<QByteArray> edidReadFrames(int fetchCode) {
    QList<QByteArray> frames{bytes({0x10, 0x01, fetchCode}), bytes({0x11, 0x2A, 0xE1})};
    for (int offset = 0; offset < 256; offset += 16) {
        frames << bytes({0x11, 0x10, 0xB0, offset});
    }
    return frames;
}

int frameCount(Rig &rig) {
    return static_cast<int>(rig.box.frames().size());
}

// The view's line that begins with `start`, and its colour; an invalid colour when none does.
struct ShownLine {
    QString text;
    QColor colour;
};
ShownLine lineStartingWith(QPlainTextEdit &view, const QString &start) {
    for (QTextBlock block = view.document()->begin(); block.isValid(); block = block.next()) {
        if (block.text().startsWith(start)) {
            const QTextCharFormat format = block.begin().fragment().charFormat();
            return {block.text(), format.hasProperty(QTextFormat::ForegroundBrush)
                                      ? format.foreground().color()
                                      : QColor()};
        }
    }
    return {};
}

QString twoEdidBlocks(const QString &name, uint16_t productCode) {
    return formatEdidText(sim::buildEdid(name.toStdString(), productCode));
}

} // namespace

class TestDetails : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resqrc); }
    void init();
    void cleanup() { rig_.reset(); }
    void viewMenuStandsBetweenFileAndHelp();
    void shortcutsOpenOneWindowEach_data();
    void shortcutsOpenOneWindowEach();
    void edidDetailsFollowTheText_data();
    void edidDetailsFollowTheText();
    void compareReadsTheThreeEdidsAndWritesNothing();
    void failedReadShowsInItsColumn_data();
    void failedReadShowsInItsColumn();
    void compareWithoutBoxSendsNothing();
    void signalDetailsFollowTheStatusTick();
    void signalDetailsDecodeTypedTexts_data();
    void signalDetailsDecodeTypedTexts();
    void copyAsText_data();
    void copyAsText();

private:
    EdidDetailsWindow &openEdidDetails();
    SignalDetailsWindow &openSignalDetails();
    template <typename T> T *inWindow(QWidget &window, const char *name) {
        return window.findChild<T *>(QLatin1String(name));
    }
    std::unique_ptr<Rig> rig_;
};

void TestDetails::init() {
    rig_ = std::make_unique<Rig>();
    holdStatusTimer(rig_->start());
}

EdidDetailsWindow &TestDetails::openEdidDetails() {
    rig_->window().findChild<QAction *>("actionEdidDetails")->trigger();
    auto *details = rig_->window().findChild<EdidDetailsWindow *>();
    Q_ASSERT(details != nullptr);
    return *details;
}

SignalDetailsWindow &TestDetails::openSignalDetails() {
    rig_->window().findChild<QAction *>("actionSignalDetails")->trigger();
    auto *details = rig_->window().findChild<SignalDetailsWindow *>();
    Q_ASSERT(details != nullptr);
    return *details;
}

void TestDetails::viewMenuStandsBetweenFileAndHelp() {
    QMenuBar *bar = rig_->window().menuBar();
    QStringList titles;
    for (QAction *action : bar->actions()) {
        titles << action->text();
    }
    QCOMPARE(titles, (QStringList{"File", "Edit", "View", "Help"}));
    auto *view = rig_->widget<QMenu>("menuView");
    QVERIFY(view != nullptr);
    QStringList entries;
    for (QAction *action : view->actions()) {
        entries << action->text() + " " + action->shortcut().toString();
    }
    QCOMPARE(entries, (QStringList{"EDID Details… Ctrl+D", "Signal Details… Ctrl+I", "Signal History… Ctrl+H",
                                   "Box Journal… Ctrl+J", "Chain Doctor… Ctrl+K"}));
}

void TestDetails::shortcutsOpenOneWindowEach_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("title");
    QTest::newRow("Ctrl+D") << int(Qt::Key_D) << "EDID Details";
    QTest::newRow("Ctrl+I") << int(Qt::Key_I) << "Signal Details";
}

void TestDetails::shortcutsOpenOneWindowEach() {
    QFETCH(int, key);
    QFETCH(QString, title);
    MainWindow &window = rig_->window();
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    const auto detailsWindows = [&window, &title] {
        QList<QWidget *> found;
        for (QWidget *widget : window.findChildren<QWidget *>()) {
            if (widget->isWindow() && widget->windowTitle() == title) {
                found << widget;
            }
        }
        return found;
    };
    // Typed in the EDID text, the shortcut opens the window and leaves the text alone.
    auto *edit = rig_->widget<QTextEdit>("EDIDtext");
    const QString before = edit->toPlainText();
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key(key), Qt::ControlModifier);
    QCOMPARE(edit->toPlainText(), before);
    QCOMPARE(detailsWindows().size(), 1);
    QWidget *first = detailsWindows().front();
    QVERIFY(first->isVisible());
    first->close();
    QVERIFY(!first->isVisible());
    // Asked again, the same window comes back.
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key(key), Qt::ControlModifier);
    QCOMPARE(detailsWindows(), QList<QWidget *>{first});
    QVERIFY(first->isVisible());
}

void TestDetails::edidDetailsFollowTheText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QColor>("colour");

    // The simulated box's EDID has sRGB's chromaticities without the sRGB flag, and no Video
    // Capability Data Block: two warnings of the decoder's own.
    const QString good = twoEdidBlocks("EDITED TV", 0x1234);
    QTest::newRow("an edited EDID") << good
                                    << "EDID MANAGER text: 2 of 2 blocks decoded, 2 warning(s), 0 failure(s)."
                                    << "  Display product name: 'EDITED TV'" << QColor();
    QString wrongChecksum = good;
    wrongChecksum.replace(381, 2, "00"); // the last byte of block 0
    QTest::newRow("wrong checksum") << wrongChecksum
                                    << "EDID MANAGER text: 2 of 2 blocks decoded, 2 warning(s), 1 failure(s)."
                                    << "Failure: Block 0, Checksum: 0x00, should be 0x"
                                    << decoded::kFailureColour;
    QTest::newRow("half an EDID")
        << good.left(383) << "EDID MANAGER text: 2 of 2 blocks decoded, 3 warning(s), 0 failure(s)."
        << "Warning: EDID text: the text holds 128 of 256 bytes; the bytes after them count as zero"
        << decoded::kWarningColour;
    QTest::newRow("half an EDID: what a source finds")
        << good.left(383) << "EDID MANAGER text: 2 of 2 blocks decoded, 3 warning(s), 0 failure(s)."
        << "Warning: EDID text: a source may not read it: the EDID states 1 extension block, block 1 is empty"
        << decoded::kWarningColour;
    QTest::newRow("more than 256 bytes")
        << good + "00 11"
        << "EDID MANAGER text: 2 of 2 blocks decoded, 3 warning(s), 0 failure(s)."
        << "Warning: EDID text: the text holds 258 bytes; only the first 256 are the EDID"
        << decoded::kWarningColour;
    QString notHex = good;
    notHex.replace(51, 2, "g1"); // byte 17, line 2
    for (const int at : {54, 57, 60}) {
        notHex.replace(at, 2, "ZZ");
    }
    const QString notAByte = "' is not a byte: two hexadecimal digits and then one space or a line feed";
    QTest::newRow("not hex digits") << notHex << "The EDID text is not spaced hex."
                                    << "Failure: EDID text: line 2, column 4: 'g1 " + notAByte
                                    << decoded::kFailureColour;
    QTest::newRow("comma on line 2") << "00 FF FF\n00,11"
                                     << "The EDID text is not spaced hex."
                                     << "Failure: EDID text: line 2, column 1: '00," + notAByte
                                     << decoded::kFailureColour;
    QTest::newRow("two spaces") << "00  FF"
                                << "The EDID text is not spaced hex."
                                << "Failure: EDID text: line 1, column 4: ' FF" + notAByte
                                << decoded::kFailureColour;
    QTest::newRow("tab") << "00 11\tFF"
                         << "The EDID text is not spaced hex."
                         << "Failure: EDID text: line 1, column 4: '11\\t" + notAByte
                         << decoded::kFailureColour;
    QTest::newRow("one digit at the end")
        << "00 FF\nF"
        << "The EDID text is not spaced hex."
        << "Failure: EDID text: line 2, column 2: the text ends one digit into a byte"
        << decoded::kFailureColour;
    QTest::newRow("PNG loaded as text")
        << QString::fromLatin1("\x89PNG\n\x1a\nIHDR") << "The EDID text is not text."
        << "Failure: EDID text: not text: byte 0x89 at offset 0" << decoded::kFailureColour;
    QTest::newRow("xrandr dump") << "\tEDID:\n\t\t00ffffffffffff00\n"
                                 << "The EDID text is not spaced hex."
                                 << "Failure: EDID text: line 1, column 1: '\\tED" + notAByte
                                 << decoded::kFailureColour;
    QTest::newRow("break after tabs on line 3")
        << "00 FF\n00 11\n\t\tZZ"
        << "The EDID text is not spaced hex."
        << "Failure: EDID text: line 3, column 1: '\\t\\tZ" + notAByte << decoded::kFailureColour;
    QTest::newRow("empty") << ""
                           << "The EDID text holds no byte."
                           << "Failure: EDID text: the text holds no byte" << decoded::kFailureColour;
}

void TestDetails::edidDetailsFollowTheText() {
    QFETCH(QString, text);
    QFETCH(QString, state);
    QFETCH(QString, line);
    QFETCH(QColor, colour);
    EdidDetailsWindow &details = openEdidDetails();
    auto *view = inWindow<QPlainTextEdit>(details, "edidDetailsView");
    // At first the window shows the box's own EDID, which the start-up read into the text.
    QVERIFY(view->toPlainText().contains("Display product name: 'VELTRIKA"));
    const int from = frameCount(*rig_);

    auto *edit = rig_->widget<QTextEdit>("EDIDtext");
    edit->setPlainText(text);
    QTRY_COMPARE(lineStartingWith(*view, line).text.left(line.size()), line);
    QCOMPARE(lineStartingWith(*view, line).colour, colour);
    QCOMPARE(details.detailsText().section('\n', 0, 0), state);
    QCOMPARE(edidText(*rig_), text);
    QCOMPARE(requestsSince(rig_->box, from), QList<QByteArray>{});
}

void TestDetails::compareReadsTheThreeEdidsAndWritesNothing() {
    EdidDetailsWindow &details = openEdidDetails();
    edidText(*rig_);
    rig_->widget<QTextEdit>("EDIDtext")->setPlainText("12 34");
    const int from = frameCount(*rig_);
    QTest::mouseClick(inWindow<QPushButton>(details, "readCompare"), Qt::LeftButton);

    QCOMPARE(requestsSince(rig_->box, from),
             edidReadFrames(0xB4) + edidReadFrames(0xB5) + edidReadFrames(0xB6));
    // The same frames as the session's own read of each, in the same order.
    const int reference = frameCount(*rig_);
    for (EdidSource source : {EdidSource::Box, EdidSource::TopSink, EdidSource::BotSink}) {
        QVERIFY(rig_->window().session().readEdid(source).ok());
    }
    QCOMPARE(requestsSince(rig_->box, reference), requestsSince(rig_->box, from).mid(0, reference - from));
    QCOMPARE(edidText(*rig_), QString("12 34"));

    auto *table = inWindow<QTableWidget>(details, "edidCompareTable");
    QCOMPARE(table->columnCount(), 3);
    QCOMPARE(table->horizontalHeaderItem(1)->text(), QString("TOP TV"));
    const auto rowOf = [table](const QString &label) {
        for (int r = 0; r < table->rowCount(); ++r) {
            if (table->verticalHeaderItem(r)->text() == label) {
                return r;
            }
        }
        return -1;
    };
    const int name = rowOf("Name");
    const int ac3 = rowOf("AC-3");
    QVERIFY(name >= 0 && ac3 >= 0);
    QCOMPARE(table->item(name, 0)->text(), QString("VELTRIKA MIX"));
    QCOMPARE(table->item(name, 1)->text(), QString("LG TV"));
    QCOMPARE(table->item(name, 2)->text(), QString("DENON-AVR"));
    for (int c = 0; c < 3; ++c) {
        QVERIFY(table->item(name, c)->background().style() != Qt::NoBrush);
        QCOMPARE(table->item(ac3, c)->background().style(), Qt::NoBrush);
    }
    QVERIFY(
        details.compareText().contains(QRegularExpression("\n\\* Name +VELTRIKA MIX +LG TV +DENON-AVR\n")));
    QVERIFY(details.compareText().contains(QRegularExpression("\n  AC-3 +yes +yes +yes\n")));
}

void TestDetails::failedReadShowsInItsColumn_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("fetchCode"); // the fetch that fails, or 0
    QTest::addColumn<int>("after");     // else the frame that fails, counted from the first fetch
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("shown");
    QTest::newRow("TOP fetch refused") << int(Fault::Refuse) << 0xB5 << 0 << 1 << "read failed: refused";
    QTest::newRow("BOT fetch silent") << int(Fault::Silent) << 0xB6 << 0 << 2 << "read failed: silent";
    QTest::newRow("TOP window read short")
        << int(Fault::Short) << 0 << 18 + 7 << 1 << "read failed: short reply";
    QTest::newRow("box window read fails")
        << int(Fault::ReadFail) << 0 << 2 << 0 << "read failed: read failed";
}

void TestDetails::failedReadShowsInItsColumn() {
    QFETCH(int, fault);
    QFETCH(int, fetchCode);
    QFETCH(int, after);
    QFETCH(int, column);
    QFETCH(QString, shown);
    EdidDetailsWindow &details = openEdidDetails();
    const QString before = edidText(*rig_);
    if (fetchCode != 0) {
        rig_->box.injectFault(Fault(fault), uint8_t(fetchCode));
    } else {
        rig_->box.injectFaultForNext(Fault(fault), 1, after);
    }
    QTest::mouseClick(inWindow<QPushButton>(details, "readCompare"), Qt::LeftButton);

    auto *table = inWindow<QTableWidget>(details, "edidCompareTable");
    const QStringList names = {"VELTRIKA MIX", "LG TV", "DENON-AVR"};
    // A loss closes the box: the reads after it find none.
    const bool loss = fault == int(Fault::ReadFail);
    for (int c = 0; c < 3; ++c) {
        const QString other = loss && c > column ? QString("read failed: no device") : names[c];
        QCOMPARE(table->item(0, c)->text(), c == column ? shown : other);
        if (c == column) {
            QCOMPARE(table->item(0, c)->foreground().color(), decoded::kFailureColour);
        }
    }
    QCOMPARE(edidText(*rig_), before);
    if (loss) {
        // The window finds the box again at its next look, for the tests that follow.
        QVERIFY(details.compareText().contains(QString("%1 of 3 reads failed.").arg(3 - column)));
        rig_->box.clearFaults();
        QCoreApplication::processEvents();
        rig_->window().lookForBox();
        QVERIFY(rig_->window().session().isOpen());
        return;
    }
    // The other two still compare: their names differ, their audio does not.
    QVERIFY(table->item(0, (column + 1) % 3)->background().style() != Qt::NoBrush);
    QVERIFY(details.compareText().contains("1 of 3 reads failed."));
}

void TestDetails::compareWithoutBoxSendsNothing() {
    rig_.reset();
    rig_ = std::make_unique<Rig>();
    rig_->box.setAttachedDevices({});
    rig_->start();
    rig_->widget<QTextEdit>("EDIDtext")->setPlainText("00 11");
    EdidDetailsWindow &details = openEdidDetails();
    QTest::mouseClick(inWindow<QPushButton>(details, "readCompare"), Qt::LeftButton);
    auto *table = inWindow<QTableWidget>(details, "edidCompareTable");
    for (int c = 0; c < 3; ++c) {
        QCOMPARE(table->item(0, c)->text(), QString("read failed: no device"));
    }
    QVERIFY(rig_->box.frames().empty());
    QCOMPARE(edidText(*rig_), QString("00 11"));
}

void TestDetails::signalDetailsFollowTheStatusTick() {
    MainWindow &window = rig_->window();
    sim::RegisterBlock &capture = rig_->box.registerBlock(proto::kRegHdrCapture);
    capture.fill(0);
    tick(window);
    SignalDetailsWindow &details = openSignalDetails();
    auto *view = inWindow<QPlainTextEdit>(details, "signalSection0");
    QCOMPARE(view->toPlainText(), QString("No HDR infoframe captured."));

    // HLG, descriptor 0, MaxCLL 1000 and MaxFALL 400 at payload bytes 22 to 25.
    capture[2] = 0x87;
    capture[3] = 26;
    capture[4] = 0x03;
    capture[4 + 22] = 0xE8;
    capture[4 + 23] = 0x03;
    capture[4 + 24] = 0x90;
    capture[4 + 25] = 0x01;
    tick(window);
    const QString shown = view->toPlainText();
    QVERIFY2(shown.startsWith("Bytes: 03:00:00:"), qPrintable(shown));
    QVERIFY2(shown.contains("EOTF: HLG"), qPrintable(shown));
    QVERIFY2(shown.contains("MaxCLL: 1000 cd/m²"), qPrintable(shown));
    QVERIFY2(shown.contains("MaxFALL: 400 cd/m²"), qPrintable(shown));

    // The same number of lines: the changed ones are replaced, a finding keeps its colour.
    const qsizetype lines = shown.count('\n');
    capture[4 + 22] = 0xA0;
    capture[4 + 23] = 0x0F;
    tick(window);
    QVERIFY(view->toPlainText().contains("MaxCLL: 4000 cd/m²"));
    QCOMPARE(view->toPlainText().count('\n'), lines);
    for (const int eotf : {7, 6}) {
        capture[4] = uint8_t(eotf);
        tick(window);
        const QString warning = QString("Warning: EOTF: reserved EOTF %1").arg(eotf);
        QCOMPARE(lineStartingWith(*view, warning).text, warning);
        QCOMPARE(lineStartingWith(*view, warning).colour, decoded::kWarningColour);
        QCOMPARE(lineStartingWith(*view, "  EOTF").colour, QColor());
    }

    // A length past the block is cut at its end.
    capture[4] = 0x03;
    capture[3] = 40;
    tick(window);
    QVERIFY(view->toPlainText().startsWith("Bytes: 03:00:00:"));
    // The block ends with byte 30: 27 payload bytes from byte 4.
    QCOMPARE(view->toPlainText().section('\n', 0, 0).mid(7).split(':').size(), 27);

    // Closed, the window follows no tick; opened again, it shows the last one.
    const QString cut = view->toPlainText();
    details.close();
    capture[2] = 0x00;
    tick(window);
    QCOMPARE(view->toPlainText(), cut);
    openSignalDetails();
    QCOMPARE(view->toPlainText(), QString("No HDR infoframe captured."));
}

void TestDetails::signalDetailsDecodeTypedTexts_data() {
    QTest::addColumn<QString>("edit");
    QTest::addColumn<int>("section");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QColor>("colour");
    const QString hdr =
        "87:01:1a:%1:02:00:c2:33:c4:86:4c:1d:b8:0b:d0:84:80:3e:13:3d:42:40:e8:03:32:00:e8:03:90:01";
    QTest::newRow("HDR frame, checksum right") << "IFtext" << int(SignalDetailsWindow::CustomHdr)
                                               << hdr.arg("74") << "  EOTF: SMPTE ST 2084 (PQ)" << QColor();
    QTest::newRow("HDR frame, checksum wrong")
        << "IFtext" << int(SignalDetailsWindow::CustomHdr) << hdr.arg("00")
        << "Type 0x87, version 1, length 26, checksum 0x00 (WRONG)" << QColor();
    QTest::newRow("HDR text too short")
        << "IFtext" << int(SignalDetailsWindow::CustomHdr) << "87"
        << "Failure: HDR text: not sent as it stands (Error: min 2, max 31 data bytes)"
        << decoded::kFailureColour;
    QTest::newRow("AVI payload") << "AVItext" << int(SignalDetailsWindow::CustomAvi) << "40:a8:00:10"
                                 << "Bytes: 40:a8:00:10" << QColor();
    QTest::newRow("CEC Image View On") << "CECtext" << int(SignalDetailsWindow::Cec) << "50:04"
                                       << "Audio System (5) -> TV (0): 0x04 (Image View On)" << QColor();
    QTest::newRow("CEC text too long")
        << "CECtext" << int(SignalDetailsWindow::Cec) << QString("50").append(QString(":04").repeated(31))
        << "Failure: CEC text: not sent as it stands (Error: min 2, max 31 data bytes)"
        << decoded::kFailureColour;
    QTest::newRow("AVI text not hex")
        << "AVItext" << int(SignalDetailsWindow::CustomAvi) << "40:a8:zz"
        << "Failure: AVI text: not sent as it stands (Hex Format Error)" << decoded::kFailureColour;
}

void TestDetails::signalDetailsDecodeTypedTexts() {
    QFETCH(QString, edit);
    QFETCH(int, section);
    QFETCH(QString, text);
    QFETCH(QString, line);
    QFETCH(QColor, colour);
    SignalDetailsWindow &details = openSignalDetails();
    const int from = frameCount(*rig_);
    auto *source = rig_->widget<QTextEdit>(edit.toLatin1().constData());
    source->setPlainText(text);
    auto *view =
        inWindow<QPlainTextEdit>(details, QString("signalSection%1").arg(section).toLatin1().constData());
    const ShownLine shown = lineStartingWith(*view, line);
    QVERIFY2(shown.text.startsWith(line), qPrintable(view->toPlainText()));
    QCOMPARE(shown.colour, colour);
    QCOMPARE(source->toPlainText(), text);
    QCOMPARE(requestsSince(rig_->box, from), QList<QByteArray>{});
}

void TestDetails::copyAsText_data() {
    QTest::addColumn<QString>("button");
    QTest::newRow("EDID details") << "copyEdidDetails";
    QTest::newRow("EDID comparison") << "copyEdidCompare";
    QTest::newRow("signal details") << "copySignalDetails";
}

void TestDetails::copyAsText() {
    QFETCH(QString, button);
    EdidDetailsWindow &edid = openEdidDetails();
    QTest::mouseClick(inWindow<QPushButton>(edid, "readCompare"), Qt::LeftButton);
    SignalDetailsWindow &signal = openSignalDetails();
    QGuiApplication::clipboard()->clear();
    auto *copy = rig_->window().findChild<QPushButton *>(button);
    QVERIFY(copy != nullptr);
    copy->click();
    const QString expected = button == "copyEdidDetails"   ? edid.detailsText()
                             : button == "copyEdidCompare" ? edid.compareText()
                                                           : signal.text();
    QVERIFY(expected.size() > 100);
    QCOMPARE(QGuiApplication::clipboard()->text(), expected);
}

QTEST_MAIN(TestDetails)
#include "tst_details.moc"
