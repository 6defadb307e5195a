// The CEC commander and the custom infoframes: the exact frames for each text, the
// length limits at their edges and far past them, the 100 ms before each activate
// command, the traces on standard output and the refused paths.

#include "core/box/packet_text.h"
#include "support/test_support.h"

#include <QCheckBox>
#include <QTest>
#include <QTextEdit>

#include <cstdio>
#include <unistd.h>

using sim::Fault;

namespace {

// Colon hex groups 00, 01, 02, ... cut to `chars` characters: 92 characters are 31
// whole groups, 38 are 13 and 59 are 20.
QString colonText(int chars) {
    QStringList groups;
    for (int i = 0; i * 3 <= chars; ++i) {
        groups << QString::asprintf("%02x", i);
    }
    return groups.join(':').left(chars);
}

QByteArray counting(int count) {
    QByteArray values;
    for (int i = 0; i < count; ++i) {
        values.append(static_cast<char>(i));
    }
    return values;
}

QByteArray registerWrite(int reg, int value) {
    return bytes({0x10, 0x04, 0xE0, reg, value});
}

int frameCount(Rig &rig) {
    return static_cast<int>(rig.box.frames().size());
}

// What the process writes to its standard output while the capture lives.
class StdoutCapture {
public:
    StdoutCapture() {
        std::fflush(stdout);
        if (pipe(pipe_) == 0) {
            saved_ = dup(STDOUT_FILENO);
            dup2(pipe_[1], STDOUT_FILENO);
        }
    }
    ~StdoutCapture() { finish(); }
    QByteArray finish() {
        if (saved_ < 0) {
            return text_;
        }
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
        close(pipe_[1]);
        saved_ = -1;
        char chunk[256] = {};
        for (ssize_t got = read(pipe_[0], chunk, sizeof chunk); got > 0;
             got = read(pipe_[0], chunk, sizeof chunk)) {
            text_.append(chunk, got);
        }
        close(pipe_[0]);
        return text_;
    }

private:
    int pipe_[2] = {-1, -1};
    int saved_ = -1;
    QByteArray text_;
};

struct Sent {
    QList<QByteArray> requests;
    QList<StatusMessage> messages;
    QByteArray output;
};

// Puts `text` into the text box and runs the slot, from a clean log.
Sent run(Rig &rig, const char *textBox, const QString &text, const char *slot) {
    rig.widget<QTextEdit>(textBox)->setPlainText(text);
    rig.statusRecorder.clear();
    rig.clock.clearSleeps();
    const int from = frameCount(rig);
    StdoutCapture capture;
    QMetaObject::invokeMethod(&rig.window(), slot);
    Sent sent;
    sent.output = capture.finish();
    sent.requests = requestsSince(rig.box, from);
    sent.messages = rig.statusRecorder.messages();
    return sent;
}

QByteArray shadowOf(Rig &rig) {
    const int from = frameCount(rig);
    QMetaObject::invokeMethod(&rig.window(), "SetEPState");
    return requestsSince(rig.box, from).value(0).mid(3);
}

const StatusMessage kFormatError = {"Hex Format Error", 2000};

// The length rows every sender shares, with that sender's limits and message. A run of
// n colons passes the length rule but holds no byte: a format error.
void tooShortOrTooLong(int limit, int maxGroups, const char *message) {
    const QList<int> lengths = {0, 4, limit + 1, 200, 255, 261, 300};
    for (int length : lengths) {
        QTest::addRow("%d characters", length)
            << colonText(length) << QList<QByteArray>{} << QList<StatusMessage>{{message, 2000}};
    }
    for (int colons : {maxGroups + 2, limit}) {
        QTest::addRow("%d colons: %d groups", colons, colons - 1)
            << QString(colons, QLatin1Char(':')) << QList<QByteArray>{} << QList<StatusMessage>{kFormatError};
    }
}

} // namespace

class TestPackets : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resqrc); }
    void preparedText_data();
    void preparedText();
    void cecSend_data();
    void cecSend();
    void cecActivateComes100msLater();
    void refusedCecStillActivates();
    void failedCecActivateIsTraced_data();
    void failedCecActivateIsTraced();
    void cecStore_data();
    void cecStore();
    void refusedCecStore();
    void hdrSend_data();
    void hdrSend();
    void refusedHdrStillActivates100msLater();
    void failedHdrActivateIsTraced();
    void aviSend_data();
    void aviSend();
    void refusedAviSendsNothingMore();
    void failedAviActivateIsTraced();
    void refusedAviPersistenceWrite();
    void notHexSendsNothing_data();
    void notHexSendsNothing();
};

// "rejected" for no text; otherwise the bytes, carriage return included.
void TestPackets::preparedText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("minChars");
    QTest::addColumn<int>("maxChars");
    QTest::addColumn<QByteArray>("prepared");
    QTest::newRow("upper case") << "0f:a6" << 5 << 92 << QByteArray("0F:A6\r");
    QTest::newRow("at the lower limit") << "50:04" << 5 << 92 << QByteArray("50:04\r");
    QTest::newRow("below it") << "50:0" << 5 << 92 << QByteArray("rejected");
    QTest::newRow("at the upper limit")
        << colonText(38) << 5 << 38 << colonText(38).toUpper().toLatin1() + '\r';
    QTest::newRow("above it") << colonText(39) << 5 << 38 << QByteArray("rejected");
    QTest::newRow("261: an 8-bit count would wrap to 6")
        << colonText(261) << 5 << 92 << QByteArray("rejected");
    QTest::newRow("euro sign becomes ?") << "50:04€" << 5 << 92 << QByteArray("50:04?\r");
    QTest::newRow("e acute is Latin-1") << "50:04é" << 5 << 92 << QByteArray("50:04\xC9\r");
    QTest::newRow("sharp s grows to SS") << "50:04ß" << 5 << 92 << QByteArray("50:04SS\r");
    QTest::newRow("y diaeresis has no Latin-1 capital") << "50:04ÿ" << 5 << 92 << QByteArray("50:04?\r");
    QTest::newRow("emoji is two ?") << "50:04😀" << 5 << 92 << QByteArray("50:04??\r");
    QTest::newRow("counted after conversion") << "50:0ß" << 6 << 6 << QByteArray("50:0SS\r");
    QTest::newRow("fills the work buffer")
        << colonText(199) << 5 << 1000 << colonText(199).toUpper().toLatin1() + '\r';
    QTest::newRow("one more than the work buffer holds")
        << colonText(200) << 5 << 1000 << QByteArray("rejected");
}

void TestPackets::preparedText() {
    QFETCH(QString, text);
    QFETCH(int, minChars);
    QFETCH(int, maxChars);
    QFETCH(QByteArray, prepared);
    const auto result =
        packets::preparePacketText(text, {static_cast<size_t>(minChars), static_cast<size_t>(maxChars)});
    if (prepared == "rejected") {
        QVERIFY(!result);
        return;
    }
    QVERIFY(result);
    const auto chars = result->text();
    QCOMPARE(QByteArray(chars.data(), static_cast<qsizetype>(chars.size())), prepared);
    QCOMPARE(result->length, static_cast<size_t>(prepared.size()));
    QVERIFY(std::all_of(result->chars.begin() + prepared.size(), result->chars.end(),
                        [](char c) { return c == 0; }));
}

void TestPackets::cecSend_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::addColumn<QList<StatusMessage>>("messages");
    const QList<StatusMessage> written = {{"CEC values written...", 2000}};
    QTest::newRow("50:04 turn on") << "50:04"
                                   << QList<QByteArray>{bytes({0x10, 0x03, 0xB2, 0x50, 0x01, 0x04}),
                                                        bytes({0x10, 0x03, 0xB3, 0x10})}
                                   << written;
    QTest::newRow("0f:36 lower case")
        << "0f:36"
        << QList<QByteArray>{bytes({0x10, 0x03, 0xB2, 0x0F, 0x01, 0x36}), bytes({0x10, 0x03, 0xB3, 0x10})}
        << written;
    QTest::newRow("54:44:01") << "54:44:01"
                              << QList<QByteArray>{bytes({0x10, 0x04, 0xB2, 0x54, 0x02, 0x44, 0x01}),
                                                   bytes({0x10, 0x04, 0xB3, 0x10})}
                              << written;
    QTest::newRow("Enter after the text")
        << "50:04 \n"
        << QList<QByteArray>{bytes({0x10, 0x03, 0xB2, 0x50, 0x01, 0x04}), bytes({0x10, 0x03, 0xB3, 0x10})}
        << written;
    QTest::newRow("one group and spaces: too few bytes")
        << "50   " << QList<QByteArray>{} << QList<StatusMessage>{{"Error: min 2, max 31 data bytes", 2000}};
    const QByteArray groups = counting(31);
    QTest::newRow("92 characters") << colonText(92)
                                   << QList<QByteArray>{bytes({0x10, 0x20, 0xB2, 0x00, 0x1E}) + groups.mid(1),
                                                        bytes({0x10, 0x20, 0xB3, 0x10})}
                                   << written;
    tooShortOrTooLong(92, 31, "Error: min 2, max 31 data bytes");
}

void TestPackets::cecSend() {
    QFETCH(QString, text);
    QFETCH(QList<QByteArray>, requests);
    QFETCH(QList<StatusMessage>, messages);
    Rig rig;
    rig.start();
    const Sent sent = run(rig, "CECtext", text, "WriteCEC");
    QCOMPARE(sent.requests, requests);
    QCOMPARE(sent.messages, messages);
    QCOMPARE(sent.output, QByteArray());
}

void TestPackets::cecActivateComes100msLater() {
    Rig rig;
    rig.start();
    const int from = frameCount(rig);
    run(rig, "CECtext", "50:04", "WriteCEC");
    const auto &frames = rig.box.frames();
    QCOMPARE(frames.size(), size_t(from + 2));
    QCOMPARE(frames[size_t(from) + 1].time - frames[size_t(from)].time, 100u);
    QCOMPARE(rig.clock.sleeps(), std::vector<uint32_t>{100});
}

void TestPackets::refusedCecStillActivates() {
    Rig rig;
    rig.start();
    rig.box.injectFault(Fault::Refuse, proto::kCecMessage);
    const int from = frameCount(rig);
    const Sent sent = run(rig, "CECtext", "50:04", "WriteCEC");
    QCOMPARE(sent.requests, (QList<QByteArray>{bytes({0x10, 0x03, 0xB2, 0x50, 0x01, 0x04}),
                                               bytes({0x10, 0x03, 0xB3, 0x10})}));
    QCOMPARE(rig.box.frames()[size_t(from) + 1].time - rig.box.frames()[size_t(from)].time, 100u);
    QCOMPARE(sent.messages, (QList<StatusMessage>{{"Error Writing CEC command.", 4000}}));
    QCOMPARE(sent.output, QByteArray());
}

void TestPackets::failedCecActivateIsTraced_data() {
    QTest::addColumn<int>("fault");
    QTest::newRow("refused") << int(Fault::Refuse);
    QTest::newRow("short") << int(Fault::Short);
    QTest::newRow("silent") << int(Fault::Silent);
}

void TestPackets::failedCecActivateIsTraced() {
    QFETCH(int, fault);
    Rig rig;
    rig.start();
    rig.box.injectFault(Fault(fault), proto::kActivate);
    const Sent sent = run(rig, "CECtext", "50:04", "WriteCEC");
    QCOMPARE(sent.requests.size(), 2);
    QCOMPARE(sent.output, QByteArray("\nError Populating CEC values.\n"));
    // An activate left unanswered by a box still listed failed as a refused one did: the box
    // stays open.
    QCOMPARE(sent.messages, (QList<StatusMessage>{{"CEC values written...", 2000}}));
    QVERIFY(rig.window().session().isOpen());
}

void TestPackets::cecStore_data() {
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("message");
    const QString written = "CEC values written...";
    const QString notCorrect = "CEC values not correct";
    QTest::newRow("SP 50:04") << "SaveCEC_1"
                              << "50:04"
                              << QByteArray("\x10\x0A\xE3"
                                            "CEC 50:04\r")
                              << written;
    QTest::newRow("LP 50:04") << "SaveCEC_2"
                              << "50:04"
                              << QByteArray("\x10\x0A\xE4"
                                            "CEC 50:04\r")
                              << written;
    QTest::newRow("upper case") << "SaveCEC_1"
                                << "0f:36"
                                << QByteArray("\x10\x0A\xE3"
                                              "CEC 0F:36\r")
                                << written;
    QTest::newRow("euro sign") << "SaveCEC_2"
                               << "50:04€" << QByteArray() << "Hex Format Error";
    QTest::newRow("59 characters") << "SaveCEC_1" << colonText(59)
                                   << QByteArray("\x10\x40\xE3"
                                                 "CEC ") +
                                          colonText(59).toUpper().toLatin1() + '\r'
                                   << written;
    // Within the length after conversion, so the format decides.
    QTest::newRow("59 characters after conversion")
        << "SaveCEC_1"
        << "50:04" + QString(54, QChar(0x20AC)) << QByteArray() << "Hex Format Error";
    QTest::newRow("60 after conversion")
        << "SaveCEC_1"
        << "50:04" + QString(55, QChar(0x20AC)) << QByteArray() << notCorrect;
    const QList<int> rejected = {0, 4, 60, 200, 261, 300};
    for (int length : rejected) {
        QTest::addRow("%d characters", length)
            << "SaveCEC_2" << colonText(length) << QByteArray() << notCorrect;
    }
}

void TestPackets::cecStore() {
    QFETCH(QString, slot);
    QFETCH(QString, text);
    QFETCH(QByteArray, request);
    QFETCH(QString, message);
    Rig rig;
    rig.start();
    const Sent sent = run(rig, "CECtext", text, slot.toLatin1().constData());
    QCOMPARE(sent.requests, request.isEmpty() ? QList<QByteArray>{} : QList<QByteArray>{request});
    QCOMPARE(sent.messages, (QList<StatusMessage>{{message, 2000}}));
    QVERIFY(rig.clock.sleeps().empty());
    const int storedSlot = slot == "SaveCEC_1" ? 1 : 2;
    const std::string stored = rig.box.storedCec(storedSlot);
    QCOMPARE(QByteArray(stored.data(), qsizetype(stored.size())), request.mid(7));
}

void TestPackets::refusedCecStore() {
    Rig rig;
    rig.start();
    rig.box.injectFault(Fault::Refuse, proto::kStoreCecSlot2);
    const Sent sent = run(rig, "CECtext", "50:04", "SaveCEC_2");
    QCOMPARE(sent.requests.size(), 1);
    QCOMPARE(sent.messages, (QList<StatusMessage>{{"Error Writing CEC values.", 4000}}));
}

void TestPackets::hdrSend_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::addColumn<QList<StatusMessage>>("messages");
    const QList<StatusMessage> written = {{"Infoframe values written...", 2000}};
    QTest::newRow("87:01:1a") << "87:01:1a"
                              << QList<QByteArray>{bytes({0x10, 0x03, 0xE5, 0x87, 0x01, 0x1A}),
                                                   bytes({0x10, 0x03, 0xB3, 0x20})}
                              << written;
    QTest::newRow("92 characters") << colonText(92)
                                   << QList<QByteArray>{bytes({0x10, 0x1F, 0xE5}) + counting(31),
                                                        bytes({0x10, 0x1F, 0xB3, 0x20})}
                                   << written;
    tooShortOrTooLong(92, 31, "Error: min 2, max 31 data bytes");
}

void TestPackets::hdrSend() {
    QFETCH(QString, text);
    QFETCH(QList<QByteArray>, requests);
    QFETCH(QList<StatusMessage>, messages);
    Rig rig;
    rig.start();
    const Sent sent = run(rig, "IFtext", text, "WriteIF");
    QCOMPARE(sent.requests, requests);
    QCOMPARE(sent.messages, messages);
    QCOMPARE(sent.output, QByteArray());
}

void TestPackets::refusedHdrStillActivates100msLater() {
    Rig rig;
    rig.start();
    rig.box.injectFault(Fault::Refuse, proto::kHdrInfoframe);
    const int from = frameCount(rig);
    const Sent sent = run(rig, "IFtext", "87:01", "WriteIF");
    QCOMPARE(sent.requests,
             (QList<QByteArray>{bytes({0x10, 0x02, 0xE5, 0x87, 0x01}), bytes({0x10, 0x02, 0xB3, 0x20})}));
    QCOMPARE(rig.box.frames()[size_t(from) + 1].time - rig.box.frames()[size_t(from)].time, 100u);
    QCOMPARE(rig.clock.sleeps(), std::vector<uint32_t>{100});
    QCOMPARE(sent.messages, (QList<StatusMessage>{{"Error Writing Infoframe values.", 4000}}));
}

void TestPackets::failedHdrActivateIsTraced() {
    Rig rig;
    rig.start();
    rig.box.injectFault(Fault::Refuse, proto::kActivate);
    const Sent sent = run(rig, "IFtext", "87:01", "WriteIF");
    QCOMPARE(sent.requests.size(), 2);
    QCOMPARE(sent.output, QByteArray("\nError Populating IF values.\n"));
    QCOMPARE(sent.messages, (QList<StatusMessage>{{"Infoframe values written...", 2000}}));
}

void TestPackets::aviSend_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::addColumn<QList<StatusMessage>>("messages");
    const QList<StatusMessage> written = {{"AVI values written...", 2000}};
    const QByteArray example = bytes({0x10, 0x05, 0xE6, 0x60, 0xC8, 0x60, 0x61, 0x00});
    const QByteArray activate = bytes({0x10, 0x05, 0xB3, 0x80});
    QTest::newRow("example, replace off")
        << "60:c8:60:61:00" << false << QList<QByteArray>{example, activate, registerWrite(0x21, 0)}
        << written;
    QTest::newRow("example, replace on")
        << "60:c8:60:61:00" << true << QList<QByteArray>{example, activate, registerWrite(0x21, 1)}
        << written;
    QTest::newRow("38 characters") << colonText(38) << false
                                   << QList<QByteArray>{bytes({0x10, 0x0D, 0xE6}) + counting(13),
                                                        bytes({0x10, 0x0D, 0xB3, 0x80}),
                                                        registerWrite(0x21, 0)}
                                   << written;
    for (int length : {0, 4, 39, 200, 261, 300}) {
        QTest::addRow("%d characters", length)
            << colonText(length) << true << QList<QByteArray>{}
            << QList<StatusMessage>{{"Error: min 2, max 13 data bytes", 2000}};
    }
    for (int colons : {15, 38}) {
        QTest::addRow("%d colons: %d groups", colons, colons - 1)
            << QString(colons, QLatin1Char(':')) << true << QList<QByteArray>{}
            << QList<StatusMessage>{kFormatError};
    }
}

// The button sends; the box's state only says what the persistence write carries.
void TestPackets::aviSend() {
    QFETCH(QString, text);
    QFETCH(bool, replace);
    QFETCH(QList<QByteArray>, requests);
    QFETCH(QList<StatusMessage>, messages);
    Rig rig;
    rig.start();
    rig.widget<QCheckBox>("cbAviPersistent")->setChecked(replace);
    const QByteArray shadowBefore = shadowOf(rig);
    const Sent sent = run(rig, "AVItext", text, "sendAVI");
    QCOMPARE(sent.requests, requests);
    QCOMPARE(sent.messages, messages);
    QCOMPARE(sent.output, QByteArray());
    const bool sentFrame = !requests.isEmpty();
    QCOMPARE(shadowOf(rig).at(record::kReplaceAvi),
             sentFrame ? char(replace) : shadowBefore.at(record::kReplaceAvi));
    if (sentFrame) {
        const auto &frames = rig.box.frames();
        const size_t first = frames.size() - 4; // the two frames, the write and the settings block
        QCOMPARE(frames[first + 1].time - frames[first].time, 100u);
    }
}

void TestPackets::refusedAviSendsNothingMore() {
    Rig rig;
    rig.start();
    rig.widget<QCheckBox>("cbAviPersistent")->setChecked(true);
    rig.box.injectFault(Fault::Refuse, proto::kAviInfoframe);
    const Sent sent = run(rig, "AVItext", "60:c8:60:61:00", "sendAVI");
    QCOMPARE(sent.requests, QList<QByteArray>{bytes({0x10, 0x05, 0xE6, 0x60, 0xC8, 0x60, 0x61, 0x00})});
    QCOMPARE(sent.messages, (QList<StatusMessage>{{"Error Writing AVI command.", 4000}}));
    QVERIFY(rig.clock.sleeps().empty());
    QCOMPARE(sent.output, QByteArray());
    QCOMPARE(shadowOf(rig).at(record::kReplaceAvi), char(0));
    QCOMPARE(rig.box.statusRecord()[record::kReplaceAvi], uint8_t(0));
}

void TestPackets::failedAviActivateIsTraced() {
    Rig rig;
    rig.start();
    rig.widget<QCheckBox>("cbAviPersistent")->setChecked(true);
    rig.box.injectFault(Fault::Refuse, proto::kActivate);
    const Sent sent = run(rig, "AVItext", "60:c8", "sendAVI");
    QCOMPARE(sent.requests,
             (QList<QByteArray>{bytes({0x10, 0x02, 0xE6, 0x60, 0xC8}), bytes({0x10, 0x02, 0xB3, 0x80})}));
    QCOMPARE(sent.output, QByteArray("\nError Activating AVI values.\n"));
    QCOMPARE(sent.messages, (QList<StatusMessage>{{"AVI values written...", 2000}}));
    QCOMPARE(shadowOf(rig).at(record::kReplaceAvi), char(0));
}

void TestPackets::refusedAviPersistenceWrite() {
    Rig rig;
    rig.start();
    rig.box.injectFaultForRegister(Fault::Refuse, record::kRegReplaceAvi);
    rig.widget<QCheckBox>("cbAviPersistent")->setChecked(true);
    const Sent sent = run(rig, "AVItext", "60:c8", "sendAVI");
    QCOMPARE(sent.requests.size(), 3);
    QCOMPARE(sent.messages,
             (QList<StatusMessage>{{"AVI values written...", 2000}, {"Error Writing values", 4000}}));
    QCOMPARE(shadowOf(rig).at(record::kReplaceAvi), char(1));
}

// Every sender, every form that is not two hexadecimal digits per group: no packet frame
// and no activate command go out. The two check boxes still write their register.
void TestPackets::notHexSendsNothing_data() {
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("textBox");
    QTest::addColumn<QString>("checkBox"); // checked before the slot runs, when given
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<QByteArray>>("requests");
    struct Sender {
        const char *slot;
        const char *textBox;
        const char *checkBox;
        QList<QByteArray> requests;
    };
    const Sender senders[] = {
        {"WriteCEC", "CECtext", "", {}},
        {"SaveCEC_1", "CECtext", "", {}},
        {"SaveCEC_2", "CECtext", "", {}},
        {"WriteIF", "IFtext", "", {}},
        {"sendAVI", "AVItext", "", {}},
        {"hdrForceActivate", "IFtext", "cbHdrForceMode", {registerWrite(record::kRegForceHdrActive, 1)}},
        {"setAviPers", "AVItext", "cbAviPersistent", {registerWrite(record::kRegReplaceAvi, 1)}},
    };
    const char *forms[][2] = {
        {"non-hex digits", "zz:zz"},
        {"a g in a group", "4g:04"},
        {"non-hex after good groups", "87:01:1a:gg:02"},
        {"one digit", "50:4:04"},
        {"three digits", "400:04"},
        {"empty group", "50::04"},
        {"leading colon", ":50:04"},
        {"trailing colon", "50:04:"},
        {"space inside a group", "50:0 4"},
        {"space after a colon", "50: 04"},
        {"line break inside", "50:\n04"},
        {"euro sign", "50:04\u20ac"},
    };
    for (const Sender &sender : senders) {
        for (const auto &form : forms) {
            QTest::addRow("%s: %s", sender.slot, form[0]) << sender.slot << sender.textBox << sender.checkBox
                                                          << QString::fromUtf8(form[1]) << sender.requests;
        }
    }
}

void TestPackets::notHexSendsNothing() {
    QFETCH(QString, slot);
    QFETCH(QString, textBox);
    QFETCH(QString, checkBox);
    QFETCH(QString, text);
    QFETCH(QList<QByteArray>, requests);
    Rig rig;
    rig.start();
    if (!checkBox.isEmpty()) {
        const QSignalBlocker quiet(rig.widget<QCheckBox>(checkBox.toLatin1().constData()));
        rig.widget<QCheckBox>(checkBox.toLatin1().constData())->setChecked(true);
    }
    const Sent sent = run(rig, textBox.toLatin1().constData(), text, slot.toLatin1().constData());
    QCOMPARE(sent.requests, requests);
    QCOMPARE(sent.messages.value(0), kFormatError);
    QVERIFY(rig.clock.sleeps().empty());
    QCOMPARE(rig.widget<QTextEdit>(textBox.toLatin1().constData())->toPlainText(), text);
}

QTEST_MAIN(TestPackets)
#include "tst_packets.moc"
