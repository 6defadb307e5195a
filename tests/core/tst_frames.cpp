// Every request frame kind, byte for byte.

#include "core/box/frames.h"

#include <QTest>

#include <numeric>
#include <vector>

namespace {

QByteArray toBytes(const proto::RequestFrame &frame) {
    return QByteArray(reinterpret_cast<const char *>(frame.bytes.data()),
                      static_cast<qsizetype>(frame.length));
}

QByteArray hex(const char *text) {
    return QByteArray::fromHex(text);
}

std::vector<uint8_t> counting(size_t count, uint8_t first = 0) {
    std::vector<uint8_t> values(count);
    std::iota(values.begin(), values.end(), first);
    return values;
}

QByteArray asBytes(const std::vector<uint8_t> &values) {
    return QByteArray(reinterpret_cast<const char *>(values.data()), static_cast<qsizetype>(values.size()));
}

} // namespace

class TestFrames : public QObject {
    Q_OBJECT

private slots:
    void requestBytes_data();
    void requestBytes();
};

void TestFrames::requestBytes_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("register block read of the version")
        << toBytes(proto::registerBlockRead(0x07, 8)) << hex("1108e007");
    QTest::newRow("register block read of the stored HDR infoframe")
        << toBytes(proto::registerBlockRead(0x23, 33)) << hex("1121e023");
    QTest::newRow("register write keeps length byte 4")
        << toBytes(proto::registerWrite(0x19, 3)) << hex("1004e01903");
    QTest::newRow("status read of 42 bytes") << toBytes(proto::statusRead(42)) << hex("112ae1");

    const std::vector<uint8_t> settings = counting(40, 0x80);
    QTest::newRow("settings block write carries the 40 bytes in order")
        << toBytes(proto::settingsBlockWrite(std::span<const uint8_t, 40>(settings.data(), 40)))
        << hex("1028e2") + asBytes(settings);

    QTest::newRow("fetch own EDID") << toBytes(proto::edidFetch(proto::kFetchOwnEdid)) << hex("1001b4");
    QTest::newRow("fetch TOP sink EDID")
        << toBytes(proto::edidFetch(proto::kFetchTopSinkEdid)) << hex("1001b5");
    QTest::newRow("fetch BOT sink EDID")
        << toBytes(proto::edidFetch(proto::kFetchBotSinkEdid)) << hex("1001b6");
    QTest::newRow("EDID window read at 0xF0") << toBytes(proto::edidWindowRead(0xF0)) << hex("1110b0f0");

    const std::vector<uint8_t> eight = counting(8, 0xA0);
    QTest::newRow("EDID window write at 0xF8")
        << toBytes(proto::edidWindowWrite(0xF8, std::span<const uint8_t, 8>(eight.data(), 8)))
        << hex("1008b0f8a0a1a2a3a4a5a6a7");
    QTest::newRow("EDID commit: length 8, no data") << toBytes(proto::edidCommit()) << hex("1008b1");

    const std::vector<uint8_t> cec = {0x50, 0x01, 0x04};
    QTest::newRow("CEC message") << toBytes(proto::dataFrame(proto::kCecMessage, cec)) << hex("1003b2500104");
    const std::vector<uint8_t> hdr = counting(31);
    QTest::newRow("HDR infoframe of 31 bytes")
        << toBytes(proto::dataFrame(proto::kHdrInfoframe, hdr)) << hex("101fe5") + asBytes(hdr);
    const std::vector<uint8_t> avi = {0x60, 0xC8, 0x60, 0x61, 0x00};
    QTest::newRow("AVI infoframe") << toBytes(proto::dataFrame(proto::kAviInfoframe, avi))
                                   << hex("1005e660c8606100");
    const std::vector<uint8_t> tooMany = counting(100);
    QTest::newRow("data frame never exceeds 67 bytes")
        << toBytes(proto::dataFrame(proto::kCecMessage, tooMany))
        << hex("1040b2") + asBytes(std::vector<uint8_t>(tooMany.begin(), tooMany.begin() + 64));

    const std::vector<uint8_t> text = {'5', '0', ':', '0', '4', 0x0D};
    QTest::newRow("packet store in slot 1: 13 bytes")
        << toBytes(proto::packetStore(proto::kStoreCecSlot1, text)) << hex("100ae3") + "CEC 50:04\r";
    QTest::newRow("packet store in slot 2")
        << toBytes(proto::packetStore(proto::kStoreCecSlot2, text)) << hex("100ae4") + "CEC 50:04\r";
    const std::vector<uint8_t> longest(60, 'A');
    QTest::newRow("packet store of 60 text bytes fills 67")
        << toBytes(proto::packetStore(proto::kStoreCecSlot1, longest))
        << hex("1040e3") + "CEC " + asBytes(longest);
    const std::vector<uint8_t> tooLong(99, 'B');
    QTest::newRow("packet store cuts text past the frame")
        << toBytes(proto::packetStore(proto::kStoreCecSlot1, tooLong))
        << hex("1040e3") + "CEC " + QByteArray(60, 'B');

    QTest::newRow("activate after CEC")
        << toBytes(proto::activate(0x03, proto::kActivateCec)) << hex("1003b310");
    QTest::newRow("activate after HDR")
        << toBytes(proto::activate(0x1F, proto::kActivateHdr)) << hex("101fb320");
    QTest::newRow("activate after AVI")
        << toBytes(proto::activate(0x05, proto::kActivateAvi)) << hex("1005b380");
}

void TestFrames::requestBytes() {
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);
    QCOMPARE(frame.toHex(' '), expected.toHex(' '));
}

QTEST_APPLESS_MAIN(TestFrames)
#include "tst_frames.moc"
