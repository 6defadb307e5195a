// The EDID hex text parser on any text: it never reads past the text, a text that breaks
// the layout leaves an all-zero image, every byte it reads comes from two hexadecimal
// digits of the text, and what it reads formats and parses back alike.

#include "core/base/hex_digits.h"
#include "core/edid/spaced_hex.h"

#include <QByteArrayView>
#include <QString>

#include <algorithm>
#include <array>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArrayView text(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    std::array<uint8_t, kEdidImageSize> image;
    image.fill(0xA5);
    const qsizetype groups = parseEdidText(text, image);
    const auto isZero = [](uint8_t byte) { return byte == 0; };
    if (groups < 0) {
        if (!std::all_of(image.begin(), image.end(), isZero)) {
            std::abort();
        }
        return 0;
    }
    // Every group is three characters; the last may end with the text.
    if (groups != static_cast<qsizetype>((size + 2) / 3)) {
        std::abort();
    }
    if (groups < static_cast<qsizetype>(image.size()) &&
        !std::all_of(image.begin() + groups, image.end(), isZero)) {
        std::abort();
    }

    for (qsizetype group = 0; group < groups; ++group) {
        const char high = text[group * 3];
        const char low = text[group * 3 + 1];
        if (!hexdigits::isDigit(high) || !hexdigits::isDigit(low) ||
            (group < static_cast<qsizetype>(image.size()) &&
             image[static_cast<size_t>(group)] != hexdigits::pairValue(high, low))) {
            std::abort();
        }
    }

    std::array<uint8_t, kEdidImageSize> again{};
    const QString formatted = formatEdidText(image);
    if (formatted.size() != kEdidTextLength || parseEdidText(formatted, again) != kEdidImageSize ||
        again != image) {
        std::abort();
    }
    // The window's form: upper case first, then 8-bit characters.
    parseEdidText(QString::fromLatin1(text), again);
    return 0;
}
