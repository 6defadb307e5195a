// Loading EDID files (raw images and hex text) and saving the EDID of the text box.

#include "core/edid/edid_file.h"
#include "core/edid/spaced_hex.h"
#include "edid_text.h"
#include "file_dialogs.h"
#include "support/test_support.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QtTest>

#include <sys/resource.h>

#include <array>
#include <csignal>
#include <memory>

namespace {

using Image = std::array<uint8_t, proto::kEdidSize>;

// One question a slot asked, with the arguments it passed.
struct DialogCall {
    bool save = false;
    QWidget *parent = nullptr;
    QString caption;
    QString directory;
    QString filter;
};

// Answers the file dialogs with queued names; an empty queue answers like a cancel.
class ScriptedDialogs : public FileDialogs {
public:
    QString openFileName(QWidget *parent, const QString &caption, const QString &directory,
                         const QString &filter) override {
        return answer(false, parent, caption, directory, filter);
    }
    QString saveFileName(QWidget *parent, const QString &caption, const QString &proposedName,
                         const QString &filter) override {
        return answer(true, parent, caption, proposedName, filter);
    }
    QStringList answers;
    QList<DialogCall> calls;

private:
    QString answer(bool save, QWidget *parent, const QString &caption, const QString &directory,
                   const QString &filter) {
        calls.append({save, parent, caption, directory, filter});
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
};

// A window on the simulated box whose file dialogs the test answers.
struct FileRig {
    FileRig() {
        rig.start().setFileDialogs(&dialogs);
        rig.boxWatcher.clear();
        rig.statusRecorder.clear();
    }
    QTextEdit &text() { return *rig.widget<QTextEdit>("EDIDtext"); }
    void load(const QString &name) {
        dialogs.answers << name;
        QVERIFY(QMetaObject::invokeMethod(&rig.window(), "LoadEDIDfromFile"));
    }
    void save(const QString &name) {
        dialogs.answers << name;
        QVERIFY(QMetaObject::invokeMethod(&rig.window(), "SaveEDIDtoFile"));
    }

    Rig rig;
    ScriptedDialogs dialogs;
};

const StatusMessage kLoaded{"File loaded", 2000};
const StatusMessage kSaving{"Saving file...", 2000};
const StatusMessage kSaved{"File saved", 2000};

QByteArray toBytes(std::span<const uint8_t> bytes) {
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

std::span<const uint8_t> spanOf(const QByteArray &bytes) {
    return {reinterpret_cast<const uint8_t *>(bytes.constData()), static_cast<size_t>(bytes.size())};
}

// The first 256 bytes, zero where the bytes are fewer.
Image imageOf(const QByteArray &bytes) {
    Image image{};
    std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), proto::kEdidSize), image.begin());
    return image;
}

// What the window loads from a file of `blocks` blocks: the first two; past two, the extension
// count 1 and block 0's checksum made right again for it.
Image loadedImageOf(const QByteArray &bytes, qsizetype blocks) {
    Image image = imageOf(bytes);
    if (blocks > 2) {
        image[126] = 1;
        image[127] = edidBlockChecksum(std::span<const uint8_t, 128>(image.data(), 128));
    }
    return image;
}

QString droppedText(qsizetype blocks) {
    return QStringLiteral("File loaded: %1 of %2 blocks dropped, the extension count set to 1")
        .arg(blocks - 2)
        .arg(blocks);
}

QByteArray readAll(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QByteArray("unreadable");
    }
    return file.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString testEdidPath(const QString &name) {
    return QFINDTESTDATA(QStringLiteral("../data/edid/") + name);
}

QByteArray testEdid(const QString &name) {
    const QString path = testEdidPath(name);
    if (path.isEmpty()) {
        qFatal("missing test EDID %s", qPrintable(name));
    }
    return readAll(path);
}

// A stream of hex text lines of 16 groups, each group followed by its space, each line
// ended by lineEnd, cut after `size` bytes.
QByteArray hexLines(qsizetype size, const QByteArray &lineEnd) {
    QByteArray text;
    for (int line = 0; text.size() < size; ++line) {
        for (int i = 0; i < kEdidBytesPerLine; ++i) {
            text += edidByteText(static_cast<uint8_t>(line * kEdidBytesPerLine + i + 1)).toLatin1() + ' ';
        }
        text += lineEnd;
    }
    return text.left(size);
}

// Those bytes as the loader shows them: complete lines become 47 characters and a line
// feed, a line cut short stays as it is.
QByteArray convertedHexLines(const QByteArray &bytes, const QByteArray &lineEnd) {
    const qsizetype lineLength = 48 + lineEnd.size();
    QByteArray text;
    qsizetype at = 0;
    for (; at + lineLength <= bytes.size(); at += lineLength) {
        text += bytes.mid(at, 47) + '\n';
    }
    return text + bytes.mid(at);
}

QTextCharFormat formatAt(QTextEdit &box, int position) {
    QTextCursor cursor(box.document());
    cursor.setPosition(position);
    cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
    return cursor.charFormat();
}

// Every character is black, and only the two checksum bytes are bold.
void verifyRawLook(QTextEdit &box) {
    for (int i = 0; i < static_cast<int>(proto::kEdidSize); ++i) {
        for (int digit = 0; digit < 2; ++digit) {
            const QTextCharFormat format = formatAt(box, i * 3 + digit);
            QCOMPARE(format.foreground().color(), QColor(Qt::black));
            QCOMPARE(format.fontWeight() == QFont::Bold, edidByteIsChecksum(i));
        }
    }
}

// Every character is blue, bold and of 8 points.
void verifyTextLook(QTextEdit &box) {
    const int length = box.document()->characterCount() - 1;
    QVERIFY(length > 0);
    for (int position = 0; position < length; ++position) {
        const QTextCharFormat format = formatAt(box, position);
        QCOMPARE(format.foreground().color(), QColor(0, 0, 255, 255));
        QCOMPARE(format.fontWeight(), int(QFont::Bold));
        QCOMPARE(format.fontPointSize(), 8.0);
    }
}

// The one box of a failed read or write: "Cannot ... file <name>:\n<reason>."
void verifyFileBox(const BoxWatcher &watcher, const QString &prefix) {
    QCOMPARE(watcher.boxes().size(), 1);
    const ShownBox &box = watcher.boxes().first();
    QCOMPARE(box.title, QStringLiteral("VELTRIKA Utility"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(box.hasParent);
    QVERIFY2(box.text.startsWith(prefix) && box.text.endsWith('.') && box.text.size() > prefix.size() + 1,
             qPrintable(box.text));
}

// Sets the size limit of files this process writes for as long as it lives, so that a
// write past it fails as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = SIG_DFL;
};

} // namespace

class TestEdidFiles : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resqrc); }
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
    }
    void cleanup() { dir.reset(); }

    void convertText_data();
    void convertText();
    void convertTextAtTheEdge_data();
    void convertTextAtTheEdge();

    void dialogAndCancel_data();
    void dialogAndCancel();
    void saveFormatErrorAsksNoDialog_data();
    void saveFormatErrorAsksNoDialog();
    void saveThenLoad();
    void savedFileIs256Bytes_data();
    void savedFileIs256Bytes();
    void rawFileLoads_data();
    void rawFileLoads();
    void fileThatIsNoEdidIsRefused_data();
    void fileThatIsNoEdidIsRefused();
    void loadIsOneUndoStep_data();
    void loadIsOneUndoStep();
    void realEdidsLoadAndSaveBack_data();
    void realEdidsLoadAndSaveBack();
    void savedRealEdidPassesEdidDecode_data();
    void savedRealEdidPassesEdidDecode();
    void hexTextFileLoads_data();
    void hexTextFileLoads();
    void textFileWithoutLineEndStaysUnconverted();
    void textFileCutAnywhere_data();
    void textFileCutAnywhere();
    void rawLoadAfterTextLoadIsBlack();
    void otherToolsFilesLoad_data();
    void otherToolsFilesLoad();
    void longerFileWritesAsFit_data();
    void longerFileWritesAsFit();
    void unreadableFile_data();
    void unreadableFile();
    void unwritableTarget_data();
    void unwritableTarget();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString path(const QString &name) const { return dir->filePath(name); }
};

void TestEdidFiles::convertText_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("text");

    const QByteArray line(47, 'A');
    QTest::newRow("space CR LF") << line + " \r\n" + line + " \r\n" << line + '\n' + line + '\n';
    QTest::newRow("space LF") << line + " \n" + line + " \n" << line + '\n' + line + '\n';
    QTest::newRow("mixed line ends") << line + " \r\n" + line + " \n" + line
                                     << line + '\n' + line + '\n' + line;
    QTest::newRow("no space at column 48") << line + "\r\n" + line + " \r\n"
                                           << line + "\r\n" + line + " \r\n";
    QTest::newRow("space CR without LF") << line + " \r" + line + " \r\n" << line + " \r" + line + " \r\n";
    QTest::newRow("space then other") << line + " X" + line << line + " X" + line;
    QTest::newRow("short line") << QByteArray(46, 'A') + " \r\n" + line + " \r\n"
                                << QByteArray(46, 'A') + " \r\n" + line + " \r\n";
    QTest::newRow("broken line stops later conversions") << line + " \r\n" + line + "X\r\n" + line + " \r\n"
                                                         << line + '\n' + line + "X\r\n" + line + " \r\n";
    QTest::newRow("ends at a zero byte") << QByteArray("AB CD\0EF", 8) << QByteArray("AB CD");
    QTest::newRow("starts with a zero byte") << QByteArray("\0AB", 3) << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("8-bit bytes copied") << QByteArray("\xFF\x80 \x7F") << QByteArray("\xFF\x80 \x7F");
}

void TestEdidFiles::convertText() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, text);
    QCOMPARE(edidTextFromFile(spanOf(file)), text);
}

// The bytes handed over end inside a line end; what lies behind them in memory is a
// line end that must not be seen.
void TestEdidFiles::convertTextAtTheEdge_data() {
    QTest::addColumn<QByteArray>("memory");
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("text");

    const QByteArray line(47, 'B');
    QTest::newRow("space last, CR LF behind") << line + " \r\n" << 48 << line + ' ';
    QTest::newRow("space last, LF behind") << line + " \n" << 48 << line + ' ';
    QTest::newRow("space CR last, LF behind") << line + " \r\n" << 49 << line + " \r";
    QTest::newRow("space LF last") << line + " \n\n" << 49 << line + '\n';
    QTest::newRow("space CR LF last") << line + " \r\n\n" << 50 << line + '\n';
    QTest::newRow("second line, space last") << line + " \r\n" + line + " \r\n"
                                             << 98 << line + '\n' + line + ' ';
    QTest::newRow("second line, space CR last") << line + " \n" + line + " \r\n"
                                                << 98 << line + '\n' + line + " \r";
    QTest::newRow("nothing handed over") << QByteArray(" \r\n") << 0 << QByteArray();
}

void TestEdidFiles::convertTextAtTheEdge() {
    QFETCH(QByteArray, memory);
    QFETCH(int, size);
    QFETCH(QByteArray, text);
    QCOMPARE(edidTextFromFile(spanOf(memory).first(static_cast<size_t>(size))), text);
}

void TestEdidFiles::dialogAndCancel_data() {
    QTest::addColumn<QString>("slot");
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("filter");
    QTest::newRow("load")
        << "LoadEDIDfromFile" << false << "Open file"
        << ""
        << "EDID files (*.bin *.dat *.txt *.inf *.reg *.hex *.edid *.xml *.log);;All files (*)";
    QTest::newRow("save") << "SaveEDIDtoFile" << true << "Save File"
                          << "VELTRIKA_edid0.bin"
                          << "Binary file (*.bin)";
}

void TestEdidFiles::dialogAndCancel() {
    QFETCH(QString, slot);
    QFETCH(bool, save);
    QFETCH(QString, caption);
    QFETCH(QString, directory);
    QFETCH(QString, filter);
    FileRig files;
    const QString before = files.text().toHtml();
    QVERIFY(QMetaObject::invokeMethod(&files.rig.window(), slot.toLatin1().constData()));
    QCOMPARE(files.dialogs.calls.size(), 1);
    const DialogCall &call = files.dialogs.calls.first();
    QCOMPARE(call.save, save);
    QCOMPARE(call.parent, &files.rig.window());
    QCOMPARE(call.caption, caption);
    QCOMPARE(call.directory, directory);
    QCOMPARE(call.filter, filter);
    QCOMPARE(files.text().toHtml(), before);
    QVERIFY(files.rig.boxWatcher.boxes().isEmpty());
    QVERIFY(files.rig.statusRecorder.messages().isEmpty());
}

void TestEdidFiles::saveFormatErrorAsksNoDialog_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("double space") << "AB  CD";
    QTest::newRow("tab separator") << "AB\tCD EF";
    QTest::newRow("one digit at the end") << "AB C";
    QTest::newRow("leading space") << " AB";
    // No byte at all is no EDID: it is not saved as 256 zeros.
    QTest::newRow("empty") << "";
    QTest::newRow("only a line feed") << "\n";
    QTest::newRow("GG is no byte") << "AB GG CD";
}

void TestEdidFiles::saveFormatErrorAsksNoDialog() {
    QFETCH(QString, text);
    FileRig files;
    files.text().setPlainText(text);
    files.save(path("never.bin"));
    QVERIFY(files.dialogs.calls.isEmpty());
    QCOMPARE(files.rig.boxWatcher.texts(), QStringList{"Hex Format Error"});
    const ShownBox &box = files.rig.boxWatcher.boxes().first();
    QCOMPARE(box.title, QStringLiteral("VELTRIKA Utility"));
    QVERIFY(box.hasParent);
    QCOMPARE(files.text().toPlainText(), text);
    QVERIFY(files.rig.statusRecorder.messages().isEmpty());
    QVERIFY(!QFile::exists(path("never.bin")));
}

void TestEdidFiles::saveThenLoad() {
    FileRig files;
    const Image image = imageOf(testEdid("lg-oled-c9-hdmi.bin"));
    // Typed in lower case, checksums not bold: the reloaded text is the rendering.
    files.text().setPlainText(formatEdidText(image).toLower());
    files.save(path("round.bin"));
    QCOMPARE(files.rig.statusRecorder.messages(), (QList<StatusMessage>{kSaving, kSaved}));
    QCOMPARE(readAll(path("round.bin")), toBytes(image));

    files.text().setPlainText(QStringLiteral("00"));
    files.rig.statusRecorder.clear();
    files.load(path("round.bin"));
    QCOMPARE(files.text().toPlainText(), formatEdidText(image));
    verifyRawLook(files.text());
    QCOMPARE(files.rig.statusRecorder.messages(), QList<StatusMessage>{kLoaded});
    QVERIFY(files.rig.boxWatcher.boxes().isEmpty());
}

void TestEdidFiles::savedFileIs256Bytes_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("file");

    Image numbered{};
    for (size_t i = 0; i < numbered.size(); ++i) {
        numbered[i] = static_cast<uint8_t>(255 - i);
    }
    QString longer = formatEdidText(numbered);
    for (int i = 0; i < 40; ++i) {
        longer += QStringLiteral("EE ");
    }
    QTest::newRow("296 bytes") << longer << toBytes(numbered);
    QTest::newRow("256 bytes") << formatEdidText(numbered) << toBytes(numbered);
    QTest::newRow("2 bytes") << "AB CD\n" << QByteArray("\xAB\xCD") + QByteArray(254, '\0');
}

void TestEdidFiles::savedFileIs256Bytes() {
    QFETCH(QString, text);
    QFETCH(QByteArray, file);
    FileRig files;
    files.text().setPlainText(text);
    files.save(path("saved.bin"));
    QCOMPARE(readAll(path("saved.bin")), file);
    QCOMPARE(files.rig.statusRecorder.messages(), (QList<StatusMessage>{kSaving, kSaved}));
}

// A file of more blocks than the box holds loads its first two and says how many it left out.
void TestEdidFiles::rawFileLoads_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("status");
    const QByteArray edid = testEdid("lg-34wk95uw-thunderbolt-dp1-tile0.bin");
    const QString loaded = kLoaded.text;
    QTest::newRow("1 byte") << QByteArray(1, '\0') << loaded;
    QTest::newRow("128 bytes") << edid.left(128) << loaded;
    QTest::newRow("255 bytes") << edid.left(255) << loaded;
    QTest::newRow("256 bytes") << edid.left(256) << loaded;
    QTest::newRow("257 bytes") << edid.left(257) << droppedText(3);
    QTest::newRow("384 bytes") << edid.left(384) << droppedText(3);
    QTest::newRow("512 bytes") << edid << droppedText(4);
    QTest::newRow("5000 bytes") << edid + QByteArray(4488, '\x5A') << droppedText(40);
}

void TestEdidFiles::rawFileLoads() {
    QFETCH(QByteArray, file);
    QFETCH(QString, status);
    FileRig files;
    QVERIFY(writeFile(path("raw.bin"), file));
    files.load(path("raw.bin"));
    QCOMPARE(files.text().toPlainText(), formatEdidText(loadedImageOf(file, (file.size() + 127) / 128)));
    verifyRawLook(files.text());
    QCOMPARE(files.rig.statusRecorder.messages(), (QList<StatusMessage>{{status, 2000}}));
    QVERIFY(files.rig.boxWatcher.boxes().isEmpty());
}

// Neither an empty file, nor one that is neither an EDID nor text, nor a text in no form
// (or one that breaks its form) replaces the text.
void TestEdidFiles::fileThatIsNoEdidIsRefused_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("reason");
    QTest::newRow("empty") << QByteArray() << "the file is empty.";
    QTest::newRow("PNG") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)
                         << "the file is neither an EDID nor text.";
    QTest::newRow("escape in text") << QByteArray("00 FF FF \x1b[0m")
                                    << "the file is neither an EDID nor text.";
    // A form that breaks says where, a text in no form says so.
    QByteArray xrandr = "HDMI-1 connected\n\tEDID:\n";
    for (int row = 0; row < 8; ++row) {
        xrandr += "\t\t" + QByteArray(row == 2 ? 31 : 32, 'a') + '\n';
    }
    QTest::newRow("xrandr, a digit short")
        << xrandr << "xrandr --verbose output, line 5: 31 hex digits, 32 expected.";
    QTest::newRow("a letter") << QByteArray("Dear box,\nplease show a picture.\n")
                              << "no EDID found: neither raw nor hex, nor any form of EDID text read.";
}

void TestEdidFiles::fileThatIsNoEdidIsRefused() {
    QFETCH(QByteArray, file);
    QFETCH(QString, reason);
    FileRig files;
    files.text().setPlainText(QStringLiteral("00 FF"));
    const QString before = files.text().toHtml();
    QVERIFY(writeFile(path("no.bin"), file));
    files.load(path("no.bin"));
    QCOMPARE(files.rig.boxWatcher.texts(),
             QStringList{QStringLiteral("Cannot read file %1:\n%2").arg(path("no.bin"), reason)});
    verifyFileBox(files.rig.boxWatcher, QStringLiteral("Cannot read file "));
    QCOMPARE(files.text().toHtml(), before);
    QVERIFY(files.rig.statusRecorder.messages().isEmpty());
}

// A load replaces the text as one step: Undo brings back what was typed, formats and all.
void TestEdidFiles::loadIsOneUndoStep_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("raw file") << "lg-oled-c9-hdmi.bin";
    QTest::newRow("hex text file") << "lg-oled-c9-hdmi.txt";
}

void TestEdidFiles::loadIsOneUndoStep() {
    QFETCH(QString, name);
    FileRig files;
    QTextEdit &text = files.text();
    text.setPlainText(QString());
    text.setFocus();
    QTest::keyClicks(&text, QStringLiteral("00 FF typed"));
    const QString typed = text.toHtml();
    files.load(testEdidPath(name));
    QVERIFY(text.toPlainText().startsWith(QStringLiteral("00 FF FF FF FF FF FF 00")));
    text.undo();
    QCOMPARE(text.toHtml(), typed);
    QCOMPARE(text.toPlainText(), QStringLiteral("00 FF typed"));
    text.redo();
    QVERIFY(text.toPlainText().startsWith(QStringLiteral("00 FF FF FF FF FF FF 00")));
}

void TestEdidFiles::realEdidsLoadAndSaveBack_data() {
    QTest::addColumn<QString>("name");
    for (const char *name :
         {"lg-oled-c9-hdmi.bin", "linuxhw-benq-pd2700u-C457DADB2E45.bin", "dell-3007wfp-dvi.bin",
          "samsung-q800t-hdmi2.1.bin", "apple-cinemahd-30-dvi.bin", "acer-xv273k-dp1.bin",
          "lg-34wk95uw-thunderbolt-dp1-tile0.bin", "MODIFIED-lg-oled-c9-hdmi-block0-badsum.bin"}) {
        QTest::newRow(name) << QString::fromLatin1(name);
    }
}

void TestEdidFiles::realEdidsLoadAndSaveBack() {
    QFETCH(QString, name);
    FileRig files;
    const QByteArray edid = testEdid(name);
    files.load(testEdidPath(name));
    files.save(path("back.bin"));
    const qsizetype blocks = edid.size() / 128;
    QCOMPARE(readAll(path("back.bin")), toBytes(loadedImageOf(edid, blocks)));
    if (blocks <= 2) {
        QCOMPARE(readAll(path("back.bin")).left(edid.size()), edid.left(256));
    }
    const StatusMessage loaded = blocks > 2 ? StatusMessage{droppedText(blocks), 2000} : kLoaded;
    QCOMPARE(files.rig.statusRecorder.messages(), (QList<StatusMessage>{loaded, kSaving, kSaved}));
}

// The checksum lines of edid-decode for the two blocks: true where it finds no fault.
void TestEdidFiles::savedRealEdidPassesEdidDecode_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<bool>>("right");
    QTest::newRow("LG OLED C9") << "lg-oled-c9-hdmi.bin" << QList<bool>{true, true};
    QTest::newRow("Samsung Q800T") << "samsung-q800t-hdmi2.1.bin" << QList<bool>{true, true};
    QTest::newRow("Apple Cinema HD") << "apple-cinemahd-30-dvi.bin" << QList<bool>{true, true};
    QTest::newRow("BenQ PD2700U") << "linuxhw-benq-pd2700u-C457DADB2E45.bin" << QList<bool>{true, false};
    QTest::newRow("modified block 0")
        << "MODIFIED-lg-oled-c9-hdmi-block0-badsum.bin" << QList<bool>{false, true};
}

void TestEdidFiles::savedRealEdidPassesEdidDecode() {
    QFETCH(QString, name);
    QFETCH(QList<bool>, right);
    const QString decoder = QStandardPaths::findExecutable(QStringLiteral("edid-decode"));
    if (decoder.isEmpty()) {
        QSKIP("edid-decode is not installed");
    }
    FileRig files;
    files.load(testEdidPath(name));
    files.save(path("decoded.bin"));

    QProcess process;
    process.start(decoder, {path("decoded.bin")});
    QVERIFY(process.waitForFinished());
    QList<bool> verdicts;
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        if (line.startsWith("Checksum: ")) {
            verdicts << !line.contains("should be");
        }
    }
    QCOMPARE(verdicts, right);
}

void TestEdidFiles::hexTextFileLoads_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("lineFeedsOnly");
    for (const char *name : {"lg-oled-c9-hdmi", "linuxhw-benq-pd2700u-C457DADB2E45"}) {
        QTest::addRow("%s CR LF", name) << QString::fromLatin1(name) << false;
        QTest::addRow("%s LF", name) << QString::fromLatin1(name) << true;
    }
}

void TestEdidFiles::hexTextFileLoads() {
    QFETCH(QString, name);
    QFETCH(bool, lineFeedsOnly);
    FileRig files;
    QByteArray text = testEdid(name + ".txt");
    QCOMPARE(text.count("\r\n"), 16);
    if (lineFeedsOnly) {
        text.replace("\r\n", "\n");
    }
    QVERIFY(writeFile(path("edid.txt"), text));
    files.load(path("edid.txt"));

    const Image image = imageOf(testEdid(name + ".bin"));
    QCOMPARE(files.text().toPlainText(), formatEdidText(image));
    verifyTextLook(files.text());
    Image parsed{};
    QCOMPARE(parseEdidText(files.text().toPlainText(), parsed), qsizetype(256));
    QVERIFY(parsed == image);
    QCOMPARE(files.rig.statusRecorder.messages(), QList<StatusMessage>{kLoaded});
    QVERIFY(files.rig.boxWatcher.boxes().isEmpty());
}

void TestEdidFiles::textFileWithoutLineEndStaysUnconverted() {
    FileRig files;
    // Seventeen groups on the first line: its column 48 holds a space followed by a digit.
    QByteArray text = testEdid("lg-oled-c9-hdmi.txt");
    text.insert(0, "AA ");
    QVERIFY(writeFile(path("edid.txt"), text));
    files.load(path("edid.txt"));

    // The trailing spaces stay; the text box shows each CR LF as one line break.
    QTextEdit expected;
    expected.setText(QString::fromLatin1(text));
    QCOMPARE(files.text().toPlainText(), expected.toPlainText());
    QCOMPARE(files.text().toPlainText().count(QStringLiteral(" \n")), 16);
    verifyTextLook(files.text());
    QCOMPARE(files.rig.statusRecorder.messages(), QList<StatusMessage>{kLoaded});

    // The text is only checked when it is parsed.
    files.save(path("never.bin"));
    QCOMPARE(files.rig.boxWatcher.texts(), QStringList{"Hex Format Error"});
    QVERIFY(files.dialogs.calls.size() == 1 && !files.dialogs.calls.first().save);
}

// Hex text files of any length: the loader sees their first 1024 bytes, so a line end
// can be cut by the end of the file or by the end of what is read.
void TestEdidFiles::textFileCutAnywhere_data() {
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::addColumn<int>("size");
    for (const char *lineEnd : {"\r\n", "\n"}) {
        const char *end = lineEnd[0] == '\r' ? "CR LF" : "LF";
        for (int size : {1,   2,   47,   48,   49,   50,   51,   97,   98,   99,   100,  800,
                         998, 999, 1000, 1001, 1022, 1023, 1024, 1025, 1026, 2048, 4095, 4096}) {
            QTest::addRow("%s %d", end, size) << QByteArray(lineEnd) << size;
        }
    }
}

void TestEdidFiles::textFileCutAnywhere() {
    QFETCH(QByteArray, lineEnd);
    QFETCH(int, size);
    FileRig files;
    const QByteArray file = hexLines(size, lineEnd);
    QVERIFY(writeFile(path("cut.txt"), file));
    files.load(path("cut.txt"));

    QTextEdit expected;
    expected.setText(QString::fromLatin1(convertedHexLines(file.left(kEdidFileReadSize), lineEnd)));
    QCOMPARE(files.text().toPlainText(), expected.toPlainText());
    QCOMPARE(files.rig.statusRecorder.messages(), QList<StatusMessage>{kLoaded});
}

void TestEdidFiles::rawLoadAfterTextLoadIsBlack() {
    FileRig files;
    files.load(testEdidPath("lg-oled-c9-hdmi.txt"));
    verifyTextLook(files.text());
    files.load(testEdidPath("samsung-q800t-hdmi2.1.bin"));
    QCOMPARE(files.text().toPlainText(), formatEdidText(imageOf(testEdid("samsung-q800t-hdmi2.1.bin"))));
    verifyRawLook(files.text());
}

// Every form of another tool loads as a raw file does: the first two blocks in the text, the
// blocks past them told.
void TestEdidFiles::otherToolsFilesLoad_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("edid");
    QTest::addColumn<QString>("status");
    const QString loaded = QStringLiteral("File loaded");
    QTest::newRow("edid-decode") << "lg-oled-c9.edid-decode.txt"
                                 << "lg-oled-c9-hdmi.bin" << loaded;
    QTest::newRow("xrandr, 4 blocks") << "lg-34wk95uw.xrandr-verbose.txt"
                                      << "lg-34wk95uw-thunderbolt-dp1-tile0.bin" << droppedText(4);
    QTest::newRow("XML, 3 blocks") << "acer-xv273k-dp1.quantumdata.xml"
                                   << "acer-xv273k-dp1.bin" << droppedText(3);
    QTest::newRow("Xorg log") << "panasonic-tx65gxr900.Xorg.0.log"
                              << "panasonic-tx65gxr900-hdmi.bin" << loaded;
    QTest::newRow("NVIDIA log, 1 block") << "dell-3007wfp.nvidia-Xorg.0.log"
                                         << "dell-3007wfp-dvi.bin" << loaded;
    QTest::newRow("table") << "sony-x900f.edid-bytes.dat"
                           << "sony-x900f-hdmi.bin" << loaded;
    QTest::newRow(".inf") << "denon-avr-x2300w.edid-override.inf"
                          << "lg-oled55b6v-hdmi-denon-avr-x2300w-hdmi.bin" << loaded;
    QTest::newRow(".reg") << "benq-pd2700u.reg"
                          << "linuxhw-benq-pd2700u-C457DADB2E45.bin" << loaded;
    QTest::newRow("continuous hex") << "dell-2408wfp.continuous-hex.txt"
                                    << "dell-2408wfp-dp.bin" << loaded;
    QTest::newRow("base64") << "samsung-q800t.base64.txt"
                            << "samsung-q800t-hdmi2.1.bin" << loaded;
}

void TestEdidFiles::otherToolsFilesLoad() {
    QFETCH(QString, file);
    QFETCH(QString, edid);
    QFETCH(QString, status);
    FileRig files;
    files.load(testEdidPath(QStringLiteral("formats/") + file));
    const QByteArray bytes = testEdid(edid);
    QCOMPARE(files.text().toPlainText(), formatEdidText(loadedImageOf(bytes, bytes.size() / 128)));
    verifyRawLook(files.text());
    QCOMPARE(files.rig.statusRecorder.messages(), (QList<StatusMessage>{{status, 2000}}));
    QVERIFY(files.rig.boxWatcher.boxes().isEmpty());
}

// A file of more blocks than the box holds goes to the box as `veltrika edid write --fit`
// sends it: the write asks nothing about the extension count and sends the fitted bytes.
void TestEdidFiles::longerFileWritesAsFit_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("edid");
    QTest::newRow("raw, 3 blocks") << "acer-xv273k-dp1.bin"
                                   << "acer-xv273k-dp1.bin";
    QTest::newRow("xrandr, 4 blocks") << "formats/lg-34wk95uw.xrandr-verbose.txt"
                                      << "lg-34wk95uw-thunderbolt-dp1-tile0.bin";
}

void TestEdidFiles::longerFileWritesAsFit() {
    QFETCH(QString, file);
    QFETCH(QString, edid);
    FileRig files;
    files.rig.widget<QRadioButton>("customEDID")->setChecked(true);
    files.rig.widget<QComboBox>("cmBEdid")->setCurrentIndex(0);
    files.load(testEdidPath(file));
    files.rig.statusRecorder.clear();
    QVERIFY(QMetaObject::invokeMethod(&files.rig.window(), "WriteEDID"));
    QCOMPARE(files.rig.boxWatcher.texts(), QStringList());
    const QByteArray bytes = testEdid(edid);
    QCOMPARE(toBytes(files.rig.box.customEdid()), toBytes(loadedImageOf(bytes, bytes.size() / 128)));
    QCOMPARE(files.rig.statusRecorder.messages().constLast(),
             (StatusMessage{"EDID values written...", 2000}));
}

void TestEdidFiles::unreadableFile_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("missing file") << "missing.bin";
    QTest::newRow("folder") << "folder";
    // Opens, but reading its first bytes fails.
    QTest::newRow("read error") << "/proc/self/mem";
}

void TestEdidFiles::unreadableFile() {
    QFETCH(QString, name);
    QVERIFY(QDir(dir->path()).mkpath(QStringLiteral("folder")));
    const QString fileName = name.startsWith('/') ? name : path(name);
    QFile probe(fileName);
    if (name.startsWith('/') && !probe.open(QIODevice::ReadOnly)) {
        QSKIP("this system does not let the process open its own memory");
    }
    FileRig files;
    const QString before = files.text().toHtml();
    files.load(fileName);
    verifyFileBox(files.rig.boxWatcher, QStringLiteral("Cannot read file %1:\n").arg(fileName));
    QCOMPARE(files.text().toHtml(), before);
    QVERIFY(files.rig.statusRecorder.messages().isEmpty());
}

void TestEdidFiles::unwritableTarget_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("opens");
    QTest::newRow("missing folder") << "missing/edid.bin" << false;
    QTest::newRow("folder") << "folder" << false;
    QTest::newRow("below a file") << "old.bin/edid.bin" << false;
    QTest::newRow("read-only folder") << "locked/old.bin" << false;
    QTest::newRow("full disk") << "old.bin" << true;
}

void TestEdidFiles::unwritableTarget() {
    QFETCH(QString, name);
    QFETCH(bool, opens);
    QDir root(dir->path());
    QVERIFY(root.mkpath(QStringLiteral("folder")) && root.mkpath(QStringLiteral("locked")));
    const QByteArray old = testEdid("samsung-q800t-hdmi2.1.bin");
    QVERIFY(writeFile(path("old.bin"), old) && writeFile(path("locked/old.bin"), old));
    QVERIFY(QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::ExeOwner));
    const auto unlock = qScopeGuard([this] {
        QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    if (name.startsWith(QStringLiteral("locked")) && writeFile(path("locked/probe"), "x")) {
        QSKIP("this user writes into read-only folders");
    }

    FileRig files;
    files.text().setPlainText(formatEdidText(imageOf(testEdid("lg-oled-c9-hdmi.bin"))));
    if (opens) {
        const FileSizeLimit limit(100);
        files.save(path(name));
    } else {
        files.save(path(name));
    }

    verifyFileBox(files.rig.boxWatcher, QStringLiteral("Cannot write file %1:\n").arg(path(name)));
    QCOMPARE(files.rig.statusRecorder.messages(),
             opens ? QList<StatusMessage>{kSaving} : QList<StatusMessage>{});
    QCOMPARE(readAll(path("old.bin")), old);
    QCOMPARE(readAll(path("locked/old.bin")), old);
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{"old.bin"});
}

QTEST_MAIN(TestEdidFiles)
#include "tst_edid_files.moc"
