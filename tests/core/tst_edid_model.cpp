// The EDID model: every corpus EDID written back unedited, each edit and the merge on exact
// bytes and as the decoder reads them back, refused edits with the bytes they lack, and
// edid-decode --check on everything the model writes.

#include "core/edid_builder.h"
#include "core/edid_decode.h"
#include "core/edid_model.h"

#include <QDir>
#include <QtTest>

#include <functional>

using namespace testedid;
Q_DECLARE_METATYPE(testedid::Bytes)

namespace {

QStringList findingLines(const Findings &findings) {
    QStringList lines;
    for (const Finding &f : findings) {
        lines << findingLine(f);
    }
    return lines;
}

// The first two blocks of an image with their checksums right.
Bytes firstTwoBlocksFixed(Bytes bytes) {
    bytes.resize(std::min<size_t>(bytes.size() / kEdidBlockSize, 2) * kEdidBlockSize);
    for (size_t block = 0; block < bytes.size() / kEdidBlockSize; ++block) {
        fixChecksum(bytes, block);
    }
    return bytes;
}

} // namespace

class TestEdidModel : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
};

void TestEdidModel::roundTrip_data() {
    QTest::addColumn<Bytes>("source");
    QTest::addColumn<QStringList>("findings");
    QTest::addColumn<bool>("editable");
    const QDir data(QFINDTESTDATA("../data/edid"));
    const QStringList files = data.entryList({QStringLiteral("*.bin")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 16);
    // What reading each source notices; the rest read without a finding.
    const std::map<QString, QStringList> noticed = {
        {"MODIFIED-lg-oled-c9-hdmi-block0-badsum.bin",
         {"Warning: Block 0, Checksum: 0x8e corrected to 0x8d"}},
        {"linuxhw-benq-pd2700u-C457DADB2E45.bin", {"Warning: Block 1, Checksum: 0x00 corrected to 0x01"}},
        {"acer-xv273k-dp1.bin", {"Warning: 3 blocks: only the base block and block 1 are kept"}},
        {"lg-34wk95uw-thunderbolt-dp1-tile0.bin",
         {"Warning: 4 blocks: only the base block and block 1 are kept"}},
    };
    for (const QString &file : files) {
        const auto it = noticed.find(file);
        const Bytes bytes = readFile(data.filePath(file));
        QTest::newRow(qPrintable(file)) << bytes << (it == noticed.end() ? QStringList() : it->second)
                                        << (bytes.size() >= 256 && bytes[128] == 0x02);
    }
    // A CTA block stating no data blocks and no timings (offset 0), with zeros after it.
    Bytes empty = concat({baseBlock(1), Bytes{0x02, 0x03, 0x00, 0x00}, Bytes(124, 0)});
    fixChecksum(empty, 1);
    QTest::newRow("offset 0") << empty << QStringList() << true;
    // Revision 1 holds no data blocks: the bytes before its timings are carried as they are.
    Bytes revision1 = ctaEdid({0x11, 0x22});
    revision1[129] = 0x01;
    fixChecksum(revision1, 1);
    QTest::newRow("revision 1") << revision1 << QStringList() << true;
    // An offset past the block is no layout the model can write; the block goes unchanged.
    Bytes pastBlock = ctaEdid(block(2, {16}));
    pastBlock[130] = 0xF0;
    fixChecksum(pastBlock, 1);
    QTest::newRow("offset past the block") << pastBlock
                                           << QStringList{"Warning: Block 1, CTA-861 Extension Block: its "
                                                          "layout cannot be read back exactly; it is "
                                                          "carried unchanged"}
                                           << false;
    // Bytes after the last whole block are dropped.
    QTest::newRow("partial block") << concat({baseBlock(0), Bytes(5, 0xAA)})
                                   << QStringList{"Warning: 5 bytes after the last whole block ignored"}
                                   << false;
}

void TestEdidModel::roundTrip() {
    QFETCH(Bytes, source);
    QFETCH(QStringList, findings);
    QFETCH(bool, editable);
    const edid::EdidModel model = edid::readEdidModel(source);
    QCOMPARE(findingLines(model.findings), findings);
    QCOMPARE(model.ctaEditable, editable);
    // The bytes as given, the checksums right; block 2 and on dropped, the count kept.
    QCOMPARE(edid::encodeEdidModel(model), firstTwoBlocksFixed(source));
    QVERIFY(edid::ctaContentBytes(model) <= edid::kCtaContentBytes);
}

QTEST_GUILESS_MAIN(TestEdidModel)
#include "tst_edid_model.moc"
