// The infoframe and CEC decoders on exact bytes: checksum and length findings of each
// form, the HDR mastering fields and AVI bit fields, CEC names and operands.

#include "core/box/status_texts.h"
#include "core/signal/cec_report.h"
#include "core/signal/infoframe_report.h"

#include <QtTest>

#include <algorithm>
#include <vector>

using Bytes = std::vector<uint8_t>;
Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(infoframe::Form)

namespace {

// An HDR infoframe payload: PQ, type 1, BT.2020 primaries (G, B, R as sources send them),
// D65, 1000 / 0.005 cd/m², MaxCLL 1000, MaxFALL 400.
const Bytes kHdrPayload = {0x02, 0x00, 0xC2, 0x33, 0xC4, 0x86, 0x4C, 0x1D, 0xB8, 0x0B, 0xD0, 0x84, 0x80,
                           0x3E, 0x13, 0x3D, 0x42, 0x40, 0xE8, 0x03, 0x32, 0x00, 0xE8, 0x03, 0x90, 0x01};

Bytes frame(uint8_t type, uint8_t version, const Bytes &payload, int checksumDelta = 0) {
    Bytes f(4 + payload.size(), 0);
    f[0] = type;
    f[1] = version;
    f[2] = static_cast<uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), f.begin() + 4);
    unsigned sum = 0;
    for (uint8_t b : f) {
        sum += b;
    }
    f[3] = static_cast<uint8_t>(0x100 - (sum & 0xFF) + checksumDelta);
    return f;
}

QStringList findingTexts(const Findings &findings) {
    QStringList texts;
    for (const Finding &f : findings) {
        texts << findingLine(f);
    }
    return texts;
}

} // namespace

class TestPacketDecode : public QObject {
    Q_OBJECT

private slots:
    void hdrFields();
    void infoframeFindings_data();
    void infoframeFindings();
    void hdrCapture();
    void aviFields_data();
    void aviFields();
    void cecMessages_data();
    void cecMessages();
};

void TestPacketDecode::hdrFields() {
    const infoframe::InfoframeDecoded d =
        infoframe::decodeInfoframe(frame(0x87, 1, kHdrPayload), infoframe::Form::Frame);
    QVERIFY2(d.findings.empty(), qPrintable(findingTexts(d.findings).join('\n')));
    QCOMPARE(d.checksumOk, std::optional<bool>(true));
    QVERIFY(d.hdr.has_value());
    const infoframe::HdrMastering &h = *d.hdr;
    QCOMPARE(infoframe::eotfName(h.eotf), QStringLiteral("SMPTE ST 2084 (PQ)"));
    QVERIFY(h.primaries.has_value());
    QCOMPARE((*h.primaries)[0].x, 13250 * 0.00002); // 0x33C2
    QCOMPARE((*h.primaries)[2].y, 16000 * 0.00002);
    QCOMPARE(h.whitePoint->x, 15635 * 0.00002);
    QCOMPARE(h.maxMasteringLuminance, std::optional<uint16_t>(1000));
    QCOMPARE(*h.minMasteringLuminance, 50 * 0.0001);
    QCOMPARE(h.maxCll, std::optional<uint16_t>(1000));
    QCOMPARE(h.maxFall, std::optional<uint16_t>(400));
    const QStringList lines = infoframe::infoframeDetailLines(d);
    QVERIFY(lines.contains(QStringLiteral("  Primary 0 (green): x 0.26500, y 0.69000")));
    QVERIFY(lines.contains(QStringLiteral("  Primary 2 (red): x 0.68000, y 0.32000")));
    QVERIFY(lines.contains(QStringLiteral("  MaxFALL: 400 cd/m²")));
    // The same payload as the capture holds it, and as the custom text with its 31st byte.
    const infoframe::InfoframeDecoded capture =
        infoframe::decodeInfoframe(kHdrPayload, infoframe::Form::HdrPayload);
    QCOMPARE(capture.hdr->maxFall, h.maxFall);
    QVERIFY(capture.findings.empty());
    Bytes padded = frame(0x87, 1, kHdrPayload);
    padded.push_back(0);
    QVERIFY(infoframe::decodeInfoframe(padded, infoframe::Form::Frame).findings.empty());
}

void TestPacketDecode::infoframeFindings_data() {
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<infoframe::Form>("form");
    QTest::addColumn<QStringList>("findings");
    QTest::addColumn<int>("payloadBytes");
    using infoframe::Form;
    QTest::newRow("wrong checksum") << frame(0x87, 1, kHdrPayload, 1) << Form::Frame
                                    << QStringList{"Failure: Checksum: 0x75, should be 0x74"} << 26;
    Bytes cut = frame(0x87, 1, kHdrPayload);
    cut.resize(20);
    QTest::newRow("frame cut short")
        << cut << Form::Frame << QStringList{"Failure: Length: the header states 26 payload bytes, 16 follow"}
        << 16;
    QTest::newRow("three bytes")
        << Bytes{0x87, 0x01, 0x1A} << Form::Frame
        << QStringList{"Failure: Frame: 3 bytes: a frame starts with three header bytes and "
                       "the checksum"}
        << 0;
    Bytes overlong(40, 0x10);
    std::copy_n(Bytes{0x87, 0x01, 0xFF, 0x00}.begin(), 4, overlong.begin());
    QTest::newRow("length past 27")
        << overlong << Form::Frame
        << QStringList{"Failure: Header: length 255 is more than the 27 bytes an "
                       "infoframe carries",
                       "Failure: Length: the header states 255 payload bytes, 36 follow",
                       "Warning: Header: HDR infoframe length 255, should be 26"}
        << 27;
    Bytes trailing = frame(0x87, 1, kHdrPayload);
    trailing.push_back(0x55);
    QTest::newRow("bytes after the payload")
        << trailing << Form::Frame << QStringList{"Warning: Length: 1 bytes after the payload ignored"} << 26;
    QTest::newRow("unknown type")
        << frame(0x81, 1, {0x01, 0x02}) << Form::Frame
        << QStringList{"Failure: Header: type 0x81 is neither an HDR (0x87) nor an AVI "
                       "(0x82) infoframe"}
        << 2;
    QTest::newRow("HDR version 2") << frame(0x87, 2, kHdrPayload) << Form::Frame
                                   << QStringList{"Warning: Header: HDR infoframe version 2, should be 1"}
                                   << 26;
    QTest::newRow("capture short") << Bytes(kHdrPayload.begin(), kHdrPayload.begin() + 10) << Form::HdrPayload
                                   << QStringList{"Warning: Length: 10 of the 26 payload bytes"} << 10;
    QTest::newRow("AVI text short") << Bytes{0x60, 0xC8} << Form::AviPayload
                                    << QStringList{"Warning: Length: 2 of the 13 payload bytes"} << 2;
    QTest::newRow("empty payload") << Bytes{} << Form::AviPayload
                                   << QStringList{"Warning: Length: 0 of the 13 payload bytes",
                                                  "Failure: Payload: no payload bytes"}
                                   << 0;
    QTest::newRow("AVI version 2 VIC 200")
        << frame(0x82, 2, {0x00, 0x00, 0x00, 200, 0, 0, 0, 0, 0, 0, 0, 0, 0}) << Form::Frame
        << QStringList{"Warning: VIC: VIC 200 needs version 3 or later"} << 13;
}

void TestPacketDecode::infoframeFindings() {
    QFETCH(Bytes, bytes);
    QFETCH(infoframe::Form, form);
    QFETCH(QStringList, findings);
    QFETCH(int, payloadBytes);
    const infoframe::InfoframeDecoded d = infoframe::decodeInfoframe(bytes, form);
    QCOMPARE(findingTexts(d.findings), findings);
    QCOMPARE(int(d.payloadBytes), payloadBytes);
    QVERIFY(!infoframe::infoframeDetailLines(d).isEmpty());
}

// The capture block as the status tick reads it: type and length before the payload.
void TestPacketDecode::hdrCapture() {
    proto::ReplyBuffer block{};
    block[2] = 0x87;
    block[3] = 26;
    std::copy(kHdrPayload.begin(), kHdrPayload.end(), block.begin() + 4);
    const infoframe::InfoframeDecoded d = status::decodeHdrCapture(block);
    QVERIFY(d.findings.empty());
    QCOMPARE(d.hdr->maxCll, std::optional<uint16_t>(1000));
    // A length past the block is cut at its end (27 bytes), of which the 26 of the payload count.
    block[3] = 0xFF;
    QCOMPARE(status::decodeHdrCapture(block).payloadBytes, size_t{26});
    block[2] = 0x00;
    QCOMPARE(findingTexts(status::decodeHdrCapture(block).findings),
             QStringList{"Warning: Capture: no HDR infoframe captured"});
}

// AVI payloads as AVItext holds them, from data byte 1.
void TestPacketDecode::aviFields_data() {
    QTest::addColumn<Bytes>("payload");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("4:2:0 BT.2020 limited 2160p60")
        << Bytes{0x60, 0xC8, 0x60, 0x61, 0x00}
        << QStringList{"  Colour format: YCbCr 4:2:0", "  Colorimetry: ITU-R BT.2020 RGB or YCbCr",
                       "  Picture aspect: no data",    "  VIC: 97 (3840x2160p60 16:9)",
                       "  YCC quantization: limited",  "  Pixel repetition: none"};
    QTest::newRow("RGB 709 full, game, doubled")
        << Bytes{0x12, 0xA8, 0x88, 0x06, 0x71, 0, 0, 0, 0, 0, 0, 0, 0}
        << QStringList{"  Colour format: RGB",          "  Colorimetry: ITU-R BT.709",
                       "  Picture aspect: 16:9",        "  Active format: same as the picture",
                       "  RGB quantization: full",      "  IT content: yes",
                       "  VIC: 6 (1440x480i59.94 4:3)", "  YCC quantization: full",
                       "  Content type: game",          "  Pixel repetition: 2 times"};
    QTest::newRow("Y2 reserved format") << Bytes{0x80} << QStringList{"  Colour format: reserved (4)"};
}

void TestPacketDecode::aviFields() {
    QFETCH(Bytes, payload);
    QFETCH(QStringList, lines);
    const QStringList got =
        infoframe::infoframeDetailLines(infoframe::decodeInfoframe(payload, infoframe::Form::AviPayload));
    for (const QString &line : lines) {
        QVERIFY2(got.contains(line), qPrintable(line + QLatin1String("\n in \n") + got.join('\n')));
    }
}

void TestPacketDecode::cecMessages_data() {
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("image view on") << Bytes{0x50, 0x04}
                                   << QStringList{"Audio System (5) -> TV (0): 0x04 (Image View On)"};
    QTest::newRow("standby broadcast")
        << Bytes{0x0F, 0x36} << QStringList{"TV (0) -> Broadcast (15): 0x36 (Standby)"};
    QTest::newRow("polling") << Bytes{0x44}
                             << QStringList{
                                    "Playback Device 1 (4) -> Playback Device 1 (4): polling message"};
    QTest::newRow("report physical address")
        << Bytes{0x4F, 0x84, 0x21, 0x00, 0x04}
        << QStringList{"Playback Device 1 (4) -> Broadcast (15): 0x84 (Report Physical Address)",
                       "  Physical address: 2.1.0.0", "  Device type: Playback Device"};
    QTest::newRow("user control pressed")
        << Bytes{0x40, 0x44, 0x41}
        << QStringList{"Playback Device 1 (4) -> TV (0): 0x44 (User Control Pressed)",
                       "  UI command: 0x41 (Volume Up)"};
    QTest::newRow("feature abort") << Bytes{0x04, 0x00, 0x8F, 0x04}
                                   << QStringList{"TV (0) -> Playback Device 1 (4): 0x00 (Feature Abort)",
                                                  "  Feature opcode: 0x8f (Give Device Power Status)",
                                                  "  Abort reason: Refused"};
    QTest::newRow("power status") << Bytes{0x04, 0x90, 0x02}
                                  << QStringList{
                                         "TV (0) -> Playback Device 1 (4): 0x90 (Report Power Status)",
                                         "  Power status: In transition Standby to On"};
    QTest::newRow("OSD name") << Bytes{0x40, 0x47, 'V', 'E', 'L', 'T'}
                              << QStringList{"Playback Device 1 (4) -> TV (0): 0x47 (Set OSD Name)",
                                             "  OSD name: VELT"};
    QTest::newRow("vendor ID") << Bytes{0x0F, 0x87, 0x00, 0xE0, 0x91}
                               << QStringList{"TV (0) -> Broadcast (15): 0x87 (Device Vendor ID)",
                                              "  Vendor ID: 00-E0-91"};
    QTest::newRow("CEC version") << Bytes{0x40, 0x9E, 0x05}
                                 << QStringList{"Playback Device 1 (4) -> TV (0): 0x9e (CEC Version)",
                                                "  CEC version: 1.4"};
    QTest::newRow("active source too short")
        << Bytes{0x4F, 0x82, 0x10}
        << QStringList{"Playback Device 1 (4) -> Broadcast (15): 0x82 (Active Source)", "  Operands: 10",
                       "Failure: Operands: <Active Source> needs 2 operand bytes, has 1"};
    QTest::newRow("directed broadcast")
        << Bytes{0x40, 0x82, 0x10, 0x00}
        << QStringList{"Playback Device 1 (4) -> TV (0): 0x82 (Active Source)", "  Physical address: 1.0.0.0",
                       "Warning: Addressing: <Active Source> is broadcast"};
    QTest::newRow("unknown opcode") << Bytes{0x40, 0x50, 0x01}
                                    << QStringList{"Playback Device 1 (4) -> TV (0): 0x50", "  Operands: 01",
                                                   "Warning: Opcode: 0x50 is not a CEC 1.4 or 2.0 opcode"};
    Bytes tooLong(20, 0x40);
    QTest::newRow("past 16 bytes") << tooLong
                                   << QStringList{"Playback Device 1 (4) -> TV (0): 0x40",
                                                  "  Operands: 40:40:40:40:40:40:40:40:40:40:40:40:40:40",
                                                  "Failure: Length: 20 bytes: a message holds at most 16",
                                                  "Warning: Opcode: 0x40 is not a CEC 1.4 or 2.0 opcode"};
    QTest::newRow("empty") << Bytes{}
                           << QStringList{"Failure: Header: no bytes: a message starts with its header"};
}

void TestPacketDecode::cecMessages() {
    QFETCH(Bytes, bytes);
    QFETCH(QStringList, lines);
    QCOMPARE(cec::cecDetailLines(cec::decodeCec(bytes)), lines);
}

QTEST_GUILESS_MAIN(TestPacketDecode)
#include "tst_packet_decode.moc"
