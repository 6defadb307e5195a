// The box session without widgets: finding, opening and closing the box, the link
// transaction and its error kinds, and every operation's frames, waits, results and reports.

#include "core/box/box_session.h"
#include "core/edid/spaced_hex.h"
#include "sim/simulated_box.h"
#include "support/recording_reporter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

using sim::AttachedDevice;
using sim::Fault;

Q_DECLARE_METATYPE(std::vector<AttachedDevice>)
Q_DECLARE_METATYPE(LinkError)

namespace {

// A fault of the transaction table: no reply, and the serial gone from the list meanwhile.
constexpr int kSilentUnlisted = -2;

// The simulated box on a fake clock and a session on it.
struct SessionRig {
    sim::FakeLinkClock clock{1000};
    sim::SimulatedBox box{clock};
    RecordingReporter reporter;
    BoxSession session{box, clock, reporter};

    bool attach() {
        const bool open = session.attach() == Attach::Open;
        box.clearLog();
        clock.clearSleeps();
        return open;
    }
    QList<QByteArray> requests() const {
        QList<QByteArray> list;
        for (const sim::LoggedFrame &frame : box.frames()) {
            list << QByteArray(reinterpret_cast<const char *>(frame.request.data()),
                               static_cast<qsizetype>(frame.request.size()));
        }
        return list;
    }
};

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray array;
    for (int value : values) {
        array.append(static_cast<char>(value));
    }
    return array;
}

QString status(const char *text, int ms) {
    return QStringLiteral("status %1 (%2)").arg(QString::fromLatin1(text)).arg(ms);
}

} // namespace

class TestSession : public QObject {
    Q_OBJECT

private slots:
    void findDevice_data();
    void findDevice();
    void openAndCloseFailures();
    void transactErrorKinds_data();
    void transactErrorKinds();
    void transactWithoutDeviceSendsNothing();
    void silentBoxTimesOutAcrossTheWrap();
    void queueFailureWarnsOnceWhileBusy();
    void transfersRestoreLibraryTimeouts();
    void traceShowsEveryFrameAndReply();
    void registerOperations();
    void failedBlockReadIsZero();
    void readSettingsTakesTheShadow();
    void busyBoxGivesNoSettings();
    void settingShadowFollowsEveryWrite();
    void statusBlocks();
    void readEdid_data();
    void readEdid();
    void edidReadFailures_data();
    void edidReadFailures();
    void writeEdidCommitsOnlyAWholeWindow_data();
    void writeEdidCommitsOnlyAWholeWindow();
    void packets_data();
    void packets();
    void storeCec();
    void systemClockNeverWakesEarly_data();
    void systemClockNeverWakesEarly();
};

void TestSession::findDevice_data() {
    QTest::addColumn<std::vector<AttachedDevice>>("devices");
    QTest::addColumn<int>("index");

    using Devices = std::vector<AttachedDevice>;
    QTest::newRow("the one box") << Devices{{"2023"}} << 0;
    QTest::newRow("two boxes: the lower index wins") << Devices{{"2023"}, {"2023"}} << 0;
    QTest::newRow("box behind another device") << Devices{{"1999"}, {"2023"}} << 1;
    QTest::newRow("trailing space is another device") << Devices{{"2023 "}} << -1;
    QTest::newRow("trailing digit is another device") << Devices{{"20231"}} << -1;
    QTest::newRow("prefix is another device") << Devices{{"202"}} << -1;
    QTest::newRow("leading space is another device") << Devices{{" 2023"}} << -1;
    QTest::newRow("failing query is skipped") << Devices{{"2023", true}, {"2023"}} << 1;
    QTest::newRow("only failing queries") << Devices{{"2023", true}} << -1;
    QTest::newRow("no device attached") << Devices{} << -1;
    // The library fills all 256 bytes and leaves no terminating zero.
    QTest::newRow("unterminated serial")
        << Devices{{std::string("2023") + std::string(300, 'x')}, {"2023"}} << 1;
}

void TestSession::findDevice() {
    QFETCH(std::vector<AttachedDevice>, devices);
    QFETCH(int, index);
    SessionRig rig;
    rig.box.setAttachedDevices(devices);
    const std::optional<uint32_t> found = rig.session.find(kDeviceSerial);
    QCOMPARE(found.has_value(), index >= 0);
    QVERIFY(!rig.session.isOpen());
    if (found) {
        QCOMPARE(int(*found), index);
        QVERIFY(rig.reporter.lines.isEmpty());
    } else {
        QCOMPARE(rig.reporter.lines, QStringList{"warning VELTRIKA USB not connected!"});
    }
}

void TestSession::openAndCloseFailures() {
    SessionRig rig;
    rig.box.setDeviceCountFails(true);
    QCOMPARE(rig.session.attach(), Attach::NotFound);
    rig.box.setDeviceCountFails(false);
    rig.box.setOpenFails(true);
    QCOMPARE(rig.session.attach(), Attach::OpenFailed);
    QVERIFY(!rig.session.isOpen());
    rig.box.setOpenFails(false);
    QCOMPARE(rig.session.attach(), Attach::Open);
    rig.box.setCloseFails(true);
    rig.session.close();
    rig.session.close();
    QVERIFY(!rig.session.isOpen());
    QCOMPARE(std::count(rig.box.calls().begin(), rig.box.calls().end(), std::string("close")), 1);
    QCOMPARE(rig.reporter.lines,
             (QStringList{"warning VELTRIKA USB not connected!", "warning Usb device open error!",
                          "warning Unable to close device handle!"}));
}

// Each row is one case of the transaction: a status read (42 bytes) against a box with one
// fault, or none, and the link loss it is told as. A box still listed that leaves the request
// unanswered failed that request only; unplugged is what the USB layer says.
void TestSession::transactErrorKinds_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<uint32_t>("minimum");
    QTest::addColumn<LinkError>("error");
    QTest::addColumn<uint32_t>("received");
    QTest::addColumn<QString>("loss");

    constexpr int kNone = -1;
    QTest::newRow("reply of exactly the minimum") << kNone << 42u << LinkError::None << 42u << "";
    QTest::newRow("one byte short of the minimum") << kNone << 43u << LinkError::Short << 42u << "";
    QTest::newRow("write fails") << int(Fault::WriteFail) << 42u << LinkError::WriteFailed << 0u
                                 << "write failed";
    QTest::newRow("queue query fails")
        << int(Fault::RxQueueFail) << 42u << LinkError::RxQueueFailed << 0u << "receive queue failed";
    QTest::newRow("silent box, still listed") << int(Fault::Silent) << 42u << LinkError::Silent << 0u << "";
    QTest::newRow("silent box, its serial no longer listed")
        << kSilentUnlisted << 42u << LinkError::Unplugged << 0u << "unplugged";
    QTest::newRow("read fails") << int(Fault::ReadFail) << 42u << LinkError::ReadFailed << 0u
                                << "read failed";
    QTest::newRow("short reply") << int(Fault::Short) << 42u << LinkError::Short << 21u << "";
    QTest::newRow("reply longer than 64 bytes is cut")
        << int(Fault::Long) << 42u << LinkError::None << 64u << "";
    QTest::newRow("library claims more than it delivered")
        << int(Fault::ReadOverreport) << 42u << LinkError::None << 64u << "";
    QTest::newRow("refused") << int(Fault::Refuse) << 2u << LinkError::Refused << 2u << "";
}

void TestSession::transactErrorKinds() {
    QFETCH(int, fault);
    QFETCH(uint32_t, minimum);
    QFETCH(LinkError, error);
    QFETCH(uint32_t, received);
    QFETCH(QString, loss);
    SessionRig rig;
    QVERIFY(rig.attach());
    if (fault == kSilentUnlisted) {
        // The open handle stays, the list no longer names the serial.
        rig.box.setAttachedDevices({{"2024"}});
        rig.box.injectFaultForNext(Fault::Silent, 1);
    } else if (fault >= 0) {
        rig.box.injectFaultForNext(Fault(fault), 1);
    }
    const Exchange result = rig.session.transactAccepted(proto::statusRead(42), minimum, proto::kStatusRead);
    QCOMPARE(result.error, error);
    QCOMPARE(result.received, received);
    QCOMPARE(rig.reporter.losses, loss.isEmpty() ? QStringList() : QStringList{loss});
    QCOMPARE(isLinkLoss(result.error), !loss.isEmpty());
    QVERIFY(!rig.session.linkBusy());
    // Only bytes that arrived are in the reply; the rest stays zero.
    QVERIFY(
        std::all_of(result.reply.begin() + received, result.reply.end(), [](uint8_t b) { return b == 0; }));
    QCOMPARE(result.reply[0], received == 0                 ? uint8_t(0)
                              : fault == int(Fault::Refuse) ? uint8_t(0xEE)
                                                            : proto::kStatusRead);
}

void TestSession::transactWithoutDeviceSendsNothing() {
    SessionRig rig;
    const Exchange result =
        rig.session.transactAccepted(proto::registerWrite(0x0B, 1), 2, proto::kRegisterAccess);
    QCOMPARE(result.error, LinkError::NoDevice);
    QVERIFY(!rig.session.linkBusy());
    QVERIFY(rig.box.frames().empty());
    QVERIFY(rig.reporter.trace.isEmpty());
    // Without a box every operation fails with its message, and sends nothing.
    QCOMPARE(rig.session.writeRegister(0x0B, 1), LinkError::NoDevice);
    QCOMPARE(rig.reporter.lines, QStringList{status("Error Writing values", 4000)});
}

void TestSession::silentBoxTimesOutAcrossTheWrap() {
    SessionRig rig;
    QVERIFY(rig.attach());
    const uint32_t start = 0xFFFFFFFFu - 1500;
    rig.clock.setNow(start);
    rig.box.injectFault(Fault::Silent, proto::kStatusRead);
    QCOMPARE(rig.session.transact(proto::statusRead(42), 42).error, LinkError::Silent);
    QCOMPARE(uint32_t(rig.clock.tickCount() - start), kLinkTimeoutMs);
}

void TestSession::queueFailureWarnsOnceWhileBusy() {
    SessionRig rig;
    QVERIFY(rig.attach());
    rig.reporter.busyProbe = [&] { return rig.session.linkBusy(); };
    rig.box.injectFault(Fault::RxQueueFail, proto::kStatusRead);
    QCOMPARE(rig.session.readStatus().error, LinkError::RxQueueFailed);
    QCOMPARE(rig.reporter.lines,
             (QStringList{"warning Error Checking RX Queue", status("Error Reading values", 4000)}));
    QVERIFY(rig.reporter.warningWhileBusy);
    QVERIFY(!rig.session.linkBusy());
}

void TestSession::transfersRestoreLibraryTimeouts() {
    SessionRig rig;
    QVERIFY(rig.attach());
    rig.box.setTimeouts(111, 222);
    rig.box.clearLog();
    QVERIFY(rig.session.transact(proto::registerWrite(0x16, 1), 2).ok());
    const std::vector<std::string> expected = {
        "flush 1 1", "timeouts", "setTimeouts 0 4000", "write 5", "setTimeouts 111 222",
        "rxQueue",   "timeouts", "setTimeouts 4000 0", "read 64", "setTimeouts 111 222",
    };
    QCOMPARE(rig.box.calls(), expected);
    QCOMPARE(rig.box.readTimeoutMs(), 111u);
    QCOMPARE(rig.box.writeTimeoutMs(), 222u);
}

void TestSession::traceShowsEveryFrameAndReply() {
    SessionRig rig;
    QVERIFY(rig.attach());
    rig.session.writeRegister(0x0B, 1);
    rig.box.injectFaultForNext(Fault::Silent, 1);
    rig.session.writeRegister(0x0B, 0);
    rig.box.injectFaultForNext(Fault::WriteFail, 1);
    rig.session.writeRegister(0x0B, 0);
    QCOMPARE(rig.reporter.trace, (QStringList{"-> 10 04 E0 0B 01", "<- E0 00", "-> 10 04 E0 0B 00",
                                              "<- (silent)", "-> 10 04 E0 0B 00", "<- (silent)"}));
}

void TestSession::registerOperations() {
    SessionRig rig;
    QVERIFY(rig.attach());
    const Outcome<proto::ReplyBuffer> version = rig.session.readRegisters(proto::kRegVersion, 8);
    QVERIFY(version.ok());
    QCOMPARE(version.value[0], proto::kRegisterAccess);
    QCOMPARE(rig.session.writeRegister(0x19, 3), LinkError::None);
    QVERIFY(rig.session.readStatus().ok());
    record::StatusRecord settings{};
    settings[record::kGreenLed] = 1;
    QCOMPARE(rig.session.writeSettingsBlock(settings), LinkError::None);
    QCOMPARE(rig.session.factoryReset(FactoryReset::Edid), LinkError::None);

    QByteArray block = bytes({0x10, 0x28, 0xE2});
    for (uint8_t byte : settings) {
        block.append(static_cast<char>(byte));
    }
    QCOMPARE(rig.requests(),
             (QList<QByteArray>{bytes({0x11, 0x08, 0xE0, 0x07}), bytes({0x10, 0x04, 0xE0, 0x19, 0x03}),
                                bytes({0x11, 0x2A, 0xE1}), block, bytes({0x10, 0x04, 0xE0, 0x19, 0x01})}));
    QVERIFY(rig.reporter.lines.isEmpty());
}

void TestSession::failedBlockReadIsZero() {
    SessionRig rig;
    QVERIFY(rig.attach());
    rig.box.injectFaultForNext(Fault::Short, 1);
    const Outcome<proto::ReplyBuffer> block = rig.session.readRegisters(proto::kRegStoredHdrInfoframe, 33);
    QCOMPARE(block.error, LinkError::Short);
    QCOMPARE(block.value, proto::ReplyBuffer{});
    QCOMPARE(rig.reporter.lines, QStringList{status("...", 2000)});
}

void TestSession::readSettingsTakesTheShadow() {
    SessionRig rig;
    QVERIFY(rig.attach());
    rig.box.statusRecord()[record::kBt2020] = 1;
    const Outcome<record::StatusRecord> settings = rig.session.readSettings();
    QVERIFY(settings.ok());
    QCOMPARE(settings.value, rig.box.statusRecord());
    QCOMPARE(rig.session.settingsShadow(), rig.box.statusRecord());
    QCOMPARE(rig.requests(), (QList<QByteArray>{bytes({0x11, 0x2A, 0xE1}), bytes({0x11, 0x0E, 0xE0, 0x06})}));
}

void TestSession::busyBoxGivesNoSettings() {
    SessionRig rig;
    QVERIFY(rig.attach());
    rig.box.setBusyFor(100);
    rig.box.statusRecord()[record::kBt2020] = 1;
    const Outcome<record::StatusRecord> settings = rig.session.readSettings();
    QCOMPARE(settings.error, LinkError::Busy);
    QCOMPARE(rig.session.settingsShadow(), record::StatusRecord{});
    // The video block is read all the same, as the sync always reads both.
    QCOMPARE(rig.requests().size(), 2);
}

void TestSession::settingShadowFollowsEveryWrite() {
    SessionRig rig;
    QVERIFY(rig.attach());
    rig.box.injectFault(Fault::Refuse, proto::kRegisterAccess);
    // Refused, the shadow takes the value all the same; a setting without a shadow byte leaves it.
    QCOMPARE(rig.session.writeSetting(Setting::GreenLed, 1), LinkError::Refused);
    QCOMPARE(rig.session.writeSetting(Setting::ActiveInput, 3), LinkError::Refused);
    record::StatusRecord expected{};
    expected[record::kGreenLed] = 1;
    QCOMPARE(rig.session.settingsShadow(), expected);
    rig.box.clearFaults();
    QCOMPARE(rig.session.writeSettingsShadow(), LinkError::None);
    QCOMPARE(rig.requests().mid(0, 2), (QList<QByteArray>{bytes({0x10, 0x04, 0xE0, 0x16, 0x01}),
                                                          bytes({0x10, 0x04, 0xE0, 0x00, 0x03})}));
    QCOMPARE(rig.requests().last().mid(0, 3), bytes({0x10, 0x28, 0xE2}));
    QCOMPARE(rig.reporter.lines, QStringList(2, status("Error Writing values", 4000)));
}

void TestSession::statusBlocks() {
    SessionRig rig;
    QVERIFY(rig.attach());
    StatusBlocks blocks = rig.session.readStatusBlocks();
    QVERIFY(blocks.shown);
    QCOMPARE(blocks.videoStatus, [&] {
        proto::ReplyBuffer expected{};
        std::copy_n(rig.box.registerBlock(proto::kRegVideoStatus).begin(), 15, expected.begin());
        expected[0] = proto::kRegisterAccess;
        return expected;
    }());
    QCOMPARE(rig.requests(),
             (QList<QByteArray>{bytes({0x11, 0x0F, 0xE0, 0x06}), bytes({0x11, 0x1F, 0xE0, 0x15}),
                                bytes({0x11, 0x1F, 0xE0, 0x1E}), bytes({0x11, 0x1F, 0xE0, 0x1F})}));
    rig.box.injectFaultForRegister(Fault::Refuse, proto::kRegInputValid);
    blocks = rig.session.readStatusBlocks();
    QVERIFY(!blocks.shown);
    QVERIFY(blocks.videoStatus[0] == proto::kRegisterAccess);
}

void TestSession::readEdid_data() {
    QTest::addColumn<int>("source");
    QTest::addColumn<int>("fetch");
    QTest::addColumn<QString>("done");
    QTest::newRow("box") << int(EdidSource::Box) << 0xB4 << "EDID values read.";
    QTest::newRow("top") << int(EdidSource::TopSink) << 0xB5 << "TV EDID values read.";
    QTest::newRow("bot") << int(EdidSource::BotSink) << 0xB6 << "TV EDID values read.";
}

void TestSession::readEdid() {
    QFETCH(int, source);
    QFETCH(int, fetch);
    QFETCH(QString, done);
    SessionRig rig;
    QVERIFY(rig.attach());
    rig.box.fetchBusyMs = 25;
    const Outcome<EdidImage> read = rig.session.readEdid(EdidSource(source));
    QVERIFY(read.ok());
    const EdidImage expected = fetch == 0xB4   ? rig.box.ownEdid()
                               : fetch == 0xB5 ? rig.box.topSinkEdid()
                                               : rig.box.botSinkEdid();
    QCOMPARE(read.value, expected);

    // Fetch, 100 ms, a status read every 10 ms until the box is idle, then the 16 windows.
    const QList<QByteArray> requests = rig.requests();
    QCOMPARE(requests.first(), bytes({0x10, 0x01, fetch}));
    const qsizetype polls = requests.count(bytes({0x11, 0x2A, 0xE1}));
    QVERIFY(polls >= 1);
    QCOMPARE(requests.size(), 1 + polls + 16);
    for (int block = 0; block < 16; ++block) {
        QCOMPARE(requests[1 + polls + block], bytes({0x11, 0x10, 0xB0, block * 16}));
    }
    QCOMPARE(rig.clock.sleeps().front(), 100u);
    QVERIFY(std::all_of(rig.clock.sleeps().begin() + 1, rig.clock.sleeps().end(), [](uint32_t ms) {
        return ms == 10 || ms == 1; // the busy poll's waits, and the box's USB frames
    }));
    QStringList progress{"0/0"};
    for (int offset = 0; offset < 256; offset += 16) {
        progress << QStringLiteral("%1/255").arg(offset);
    }
    progress << "0/0";
    QCOMPARE(rig.reporter.progress, progress);
    QCOMPARE(rig.reporter.lines, QStringList{status(qPrintable(done), 2000)});
}

void TestSession::edidReadFailures_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("after"); // frames before the faulty one: 0 is the fetch
    QTest::addColumn<LinkError>("error");
    QTest::addColumn<QStringList>("lines");

    const QStringList refusedFetch{status("Error Writing values", 4000)};
    QTest::newRow("refused fetch") << int(Fault::Refuse) << 0 << LinkError::Refused << refusedFetch;
    QTest::newRow("silent fetch") << int(Fault::Silent) << 0 << LinkError::Silent << refusedFetch;
    // Frames: fetch, one status read, then the windows.
    QTest::newRow("short window") << int(Fault::Short) << 5 << LinkError::Short << QStringList();
    QTest::newRow("silent window") << int(Fault::Silent) << 2 << LinkError::Silent << QStringList();
    QTest::newRow("refused window") << int(Fault::Refuse) << 17 << LinkError::Short << QStringList();
}

void TestSession::edidReadFailures() {
    QFETCH(int, fault);
    QFETCH(int, after);
    QFETCH(LinkError, error);
    QFETCH(QStringList, lines);
    SessionRig rig;
    QVERIFY(rig.attach());
    rig.box.fetchBusyMs = 0;
    rig.box.injectFaultForNext(Fault(fault), 1, after);
    const Outcome<EdidImage> read = rig.session.readEdid(EdidSource::Box);
    QCOMPARE(read.error, error);
    QCOMPARE(read.value, EdidImage{});
    QCOMPARE(rig.reporter.lines, lines);
    QCOMPARE(rig.reporter.progress.last(), QString("0/0"));
}

void TestSession::writeEdidCommitsOnlyAWholeWindow_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("after");
    QTest::addColumn<LinkError>("error");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("committed");

    constexpr int kNone = -1;
    QTest::newRow("accepted") << kNone << 0 << LinkError::None
                              << QStringList{status("EDID values written...", 2000)} << true;
    QTest::newRow("first block refused") << int(Fault::Refuse) << 0 << LinkError::Refused
                                         << QStringList{status("Error Writing EDID values.", 2000)} << false;
    QTest::newRow("last block silent") << int(Fault::Silent) << 31 << LinkError::Silent
                                       << QStringList{status("Error Writing EDID values.", 2000)} << false;
    QTest::newRow("commit refused") << int(Fault::Refuse) << 32 << LinkError::Refused
                                    << QStringList{status("Error Populating EDID values.", 2000)} << false;
}

void TestSession::writeEdidCommitsOnlyAWholeWindow() {
    QFETCH(int, fault);
    QFETCH(int, after);
    QFETCH(LinkError, error);
    QFETCH(QStringList, lines);
    QFETCH(bool, committed);
    SessionRig rig;
    QVERIFY(rig.attach());
    const EdidImage before = rig.box.customEdid();
    const EdidImage image = sim::buildEdid("NEW EDID", 0x4242);
    if (fault >= 0) {
        rig.box.injectFaultForNext(Fault(fault), 1, after);
    }
    QCOMPARE(rig.session.writeEdid(image), error);
    QCOMPARE(rig.reporter.lines, lines);
    QCOMPARE(rig.box.customEdid(), committed ? image : before);
    const QList<QByteArray> requests = rig.requests();
    // The commit goes out only after 32 accepted window writes.
    QCOMPARE(requests.size(), fault < 0 || after == 32 ? 33 : 32);
    QByteArray first = bytes({0x10, 0x08, 0xB0, 0x00});
    first.append(reinterpret_cast<const char *>(image.data()), 8);
    QCOMPARE(requests.first(), first);
    QCOMPARE(rig.clock.sleeps().front(), 30u);
    QCOMPARE(std::count(rig.clock.sleeps().begin(), rig.clock.sleeps().end(), 30u), 32);
    QCOMPARE(rig.reporter.progress.first(), QString("0/32"));
    QCOMPARE(rig.reporter.progress.last(), QString("0/0"));
}

void TestSession::packets_data() {
    QTest::addColumn<int>("kind"); // 0 CEC, 1 HDR, 2 AVI
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("after");
    QTest::addColumn<LinkError>("error");
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::addColumn<QStringList>("lines");

    constexpr int kNone = -1;
    const QByteArray cec = bytes({0x10, 0x03, 0xB2, 0x50, 0x01, 0x04});
    const QByteArray hdr = bytes({0x10, 0x02, 0xE5, 0x87, 0x01});
    const QByteArray avi = bytes({0x10, 0x02, 0xE6, 0x60, 0xC8});
    const auto activate = [](int length, int selector) { return bytes({0x10, length, 0xB3, selector}); };
    QTest::newRow("CEC") << 0 << kNone << 0 << LinkError::None << QList<QByteArray>{cec, activate(3, 0x10)}
                         << QStringList{status("CEC values written...", 2000)};
    QTest::newRow("refused CEC is activated")
        << 0 << int(Fault::Refuse) << 0 << LinkError::Refused << QList<QByteArray>{cec, activate(3, 0x10)}
        << QStringList{status("Error Writing CEC command.", 4000)};
    QTest::newRow("HDR activation refused")
        << 1 << int(Fault::Refuse) << 1 << LinkError::Refused << QList<QByteArray>{hdr, activate(2, 0x20)}
        << QStringList{status("Infoframe values written...", 2000), "console Error Populating IF values."};
    QTest::newRow("refused AVI is not activated")
        << 2 << int(Fault::Refuse) << 0 << LinkError::Refused << QList<QByteArray>{avi}
        << QStringList{status("Error Writing AVI command.", 4000)};
    QTest::newRow("AVI") << 2 << kNone << 0 << LinkError::None << QList<QByteArray>{avi, activate(2, 0x80)}
                         << QStringList{status("AVI values written...", 2000)};
}

void TestSession::packets() {
    QFETCH(int, kind);
    QFETCH(int, fault);
    QFETCH(int, after);
    QFETCH(LinkError, error);
    QFETCH(QList<QByteArray>, requests);
    QFETCH(QStringList, lines);
    const packets::PacketSend *sends[] = {&packets::kCecSend, &packets::kHdrSend, &packets::kAviSend};
    const char *texts[] = {"50:04", "87:01", "60:c8"};
    SessionRig rig;
    QVERIFY(rig.attach());
    if (fault >= 0) {
        rig.box.injectFaultForNext(Fault(fault), 1, after);
    }
    const packets::TextOutcome<packets::PacketBytes> packet =
        packets::packetBytesOf(texts[kind], *sends[kind]);
    QVERIFY(packet.ok());
    QCOMPARE(rig.session.sendPacket(*sends[kind], packet.value.bytes()), error);
    QCOMPARE(rig.requests(), requests);
    QCOMPARE(rig.reporter.lines, lines);
    QCOMPARE(std::count(rig.clock.sleeps().begin(), rig.clock.sleeps().end(), 100u),
             requests.size() > 1 ? 1 : 0);
}

void TestSession::storeCec() {
    SessionRig rig;
    QVERIFY(rig.attach());
    const packets::TextOutcome<packets::PacketText> text = packets::cecStoreTextOf("5b:44:40");
    QVERIFY(text.ok());
    QCOMPARE(rig.session.storeCec(proto::kStoreCecSlot2, text.value), LinkError::None);
    QCOMPARE(rig.box.storedCec(2), std::string("5B:44:40\r"));
    QCOMPARE(rig.requests().first().mid(0, 7), bytes({0x10, 13, 0xE4, 'C', 'E', 'C', ' '}));
    rig.box.injectFaultForNext(Fault::Refuse, 1);
    QCOMPARE(rig.session.storeCec(proto::kStoreCecSlot1, text.value), LinkError::Refused);
    QCOMPARE(rig.reporter.lines,
             (QStringList{status("CEC values written...", 2000), status("Error Writing CEC values.", 4000)}));
}

void TestSession::systemClockNeverWakesEarly_data() {
    QTest::addColumn<uint32_t>("ms");
    QTest::newRow("no wait") << 0u;
    QTest::newRow("shorter than the spin") << 1u;
    QTest::newRow("a busy poll") << 10u;
    QTest::newRow("after a window write") << 30u;
}

// The waits between frames are lower bounds for the device: a wait may end late, never early.
void TestSession::systemClockNeverWakesEarly() {
    QFETCH(uint32_t, ms);
    SystemLinkClock clock;
    QElapsedTimer elapsed;
    elapsed.start();
    const uint32_t before = clock.tickCount();
    clock.sleep(ms);
    QVERIFY(elapsed.nsecsElapsed() >= qint64(ms) * 1000000);
    QVERIFY(clock.tickCount() - before >= ms);
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
