#include "core/edid/spaced_hex.h"

#include "core/base/hex_digits.h"

#include <algorithm>

namespace {
constexpr int kGroupLength = 3; // two digits and their separator
} // namespace

QString edidByteText(uint8_t byte) {
    const char digits[] = {hexdigits::kUpper[byte >> 4], hexdigits::kUpper[byte & 0x0F]};
    return QString::fromLatin1(digits, 2);
}

QString formatEdidText(std::span<const uint8_t, kEdidImageSize> image) {
    QString text;
    text.reserve(kEdidTextLength);
    for (int i = 0; i < static_cast<int>(image.size()); ++i) {
        text += edidByteText(image[static_cast<size_t>(i)]);
        text += QLatin1Char(edidByteEndsLine(i) ? '\n' : ' ');
    }
    return text;
}

qsizetype edidTextLayoutBreak(QByteArrayView text) {
    const qsizetype length = text.size();
    for (qsizetype at = 0; at < length; at += kGroupLength) {
        const qsizetype separator = at + 2;
        // A group cut short by the end of the text has no low digit.
        if (separator > length) {
            return length;
        }
        if (!hexdigits::isDigit(text[at])) {
            return at;
        }
        if (!hexdigits::isDigit(text[at + 1])) {
            return at + 1;
        }
        if (separator < length && text[separator] != ' ' && text[separator] != '\n') {
            return separator;
        }
    }
    return -1;
}

qsizetype edidTextLayoutBreak(const QString &text) {
    return edidTextLayoutBreak(QByteArrayView(text.toLatin1()));
}

qsizetype parseEdidText(QByteArrayView text, std::span<uint8_t, kEdidImageSize> image) {
    std::fill(image.begin(), image.end(), uint8_t{0});
    if (edidTextLayoutBreak(text) >= 0) {
        return -1;
    }
    const qsizetype length = text.size();
    qsizetype groups = 0;
    for (qsizetype at = 0; at < length; at += kGroupLength) {
        if (groups < static_cast<qsizetype>(image.size())) {
            image[static_cast<size_t>(groups)] = hexdigits::pairValue(text[at], text[at + 1]);
        }
        ++groups;
    }
    return groups;
}

qsizetype parseEdidText(const QString &text, std::span<uint8_t, kEdidImageSize> image) {
    return parseEdidText(QByteArrayView(text.toUpper().toLatin1()), image);
}
