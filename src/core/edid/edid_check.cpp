#include "core/edid/edid_check.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<uint8_t, 8> kEdidHeader = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr qsizetype kBlocksTheBoxHolds = static_cast<qsizetype>(kEdidImageSize) / kEdidBlockSize;

QString originName(EdidOrigin origin) {
    return origin == EdidOrigin::File ? QStringLiteral("file") : QStringLiteral("text");
}

bool isNonText(uint8_t byte) {
    if (byte == '\t' || byte == '\n' || byte == '\f' || byte == '\r') {
        return false;
    }
    return byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte <= 0x9F);
}

} // namespace

bool EdidCheck::whole() const {
    return bytesHeld == kEdidBlockSize || bytesHeld == static_cast<qsizetype>(kEdidImageSize);
}

qsizetype EdidCheck::blocksHeld() const {
    return (bytesHeld + kEdidBlockSize - 1) / kEdidBlockSize;
}

EdidCheck checkEdidForSource(std::span<const uint8_t> bytes, EdidOrigin origin) {
    EdidImage image{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), image.size()), image.begin());
    return checkEdidForSource(image, static_cast<qsizetype>(bytes.size()), origin);
}

EdidCheck checkEdidForSource(std::span<const uint8_t, kEdidImageSize> image, qsizetype bytesHeld,
                             EdidOrigin origin) {
    EdidCheck check;
    check.bytesHeld = std::max<qsizetype>(bytesHeld, 0);

    if (check.bytesHeld > static_cast<qsizetype>(kEdidImageSize)) {
        check.reasons << QStringLiteral("the %1 holds %2 blocks, the box holds %3")
                             .arg(originName(origin))
                             .arg(check.blocksHeld())
                             .arg(kBlocksTheBoxHolds);
    } else if (!check.whole()) {
        check.reasons << QStringLiteral("the %1 holds %2 of %3 bytes")
                             .arg(originName(origin))
                             .arg(check.bytesHeld)
                             .arg(kEdidImageSize);
    }
    if (!std::equal(kEdidHeader.begin(), kEdidHeader.end(), image.begin())) {
        check.reasons << QStringLiteral("block 0 does not start with the EDID header");
    }
    const int extensions = image[kEdidExtensionCountByte];
    if (extensions > kBlocksTheBoxHolds - 1) {
        check.reasons << QStringLiteral("the EDID states %1 extension blocks, the box holds %2")
                             .arg(extensions)
                             .arg(kBlocksTheBoxHolds - 1);
    } else if (extensions == 1) {
        const auto block1 = image.last<kEdidBlockSize>();
        if (std::all_of(block1.begin(), block1.end(), [](uint8_t b) { return b == 0; })) {
            check.reasons << QStringLiteral("the EDID states 1 extension block, block 1 is empty");
        }
    }
    return check;
}

void fitEdidToBox(std::span<uint8_t, kEdidImageSize> image) {
    const uint8_t stated = image[kEdidExtensionCountByte];
    image[kEdidExtensionCountByte] = 1;
    image[kEdidChecksum0] = static_cast<uint8_t>(image[kEdidChecksum0] + stated - 1);
}

qsizetype firstNonTextByte(QByteArrayView text) {
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (isNonText(static_cast<uint8_t>(text[at]))) {
            return at;
        }
    }
    return -1;
}
