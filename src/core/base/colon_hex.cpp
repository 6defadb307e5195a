#include "core/base/colon_hex.h"

#include "core/base/hex_digits.h"

#include <algorithm>

QString formatColonHex(std::span<const uint8_t> bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()) * 3);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            text += QLatin1Char(':');
        }
        text += QLatin1Char(hexdigits::kLower[bytes[i] >> 4]);
        text += QLatin1Char(hexdigits::kLower[bytes[i] & 0x0F]);
    }
    return text;
}

bool isColonHexText(std::span<const char> text, size_t *groups) {
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\n' || text[end - 1] == '\r')) {
        --end;
    }
    // Two digits, then a colon before every further group: 3n - 1 characters for n groups.
    if ((end + 1) % 3 != 0) {
        return false;
    }
    for (size_t at = 0; at < end; at += 3) {
        if (!hexdigits::isDigit(text[at]) || !hexdigits::isDigit(text[at + 1]) ||
            (at + 2 < end && text[at + 2] != ':')) {
            return false;
        }
    }
    if (groups != nullptr) {
        *groups = (end + 1) / 3;
    }
    return true;
}

namespace {

constexpr size_t kCountByte = 1;

// The characters of a colon hex text, with zero for every position outside it.
class ColonText {
public:
    ColonText(std::span<const char> text, size_t length) : text_(text.first(std::min(length, text.size()))) {}
    size_t size() const { return text_.size(); }
    char at(ptrdiff_t position) const {
        return position >= 0 && static_cast<size_t>(position) < text_.size()
                   ? text_[static_cast<size_t>(position)]
                   : '\0';
    }
    uint8_t pairAt(ptrdiff_t position) const { return hexdigits::pairValue(at(position), at(position + 1)); }

private:
    std::span<const char> text_;
};

} // namespace

uint8_t parseColonHex(std::span<const char> text, size_t length, bool withCountByte,
                      std::span<uint8_t, kColonHexOutputSize> output) {
    std::fill(output.begin(), output.end(), uint8_t{0});
    const ColonText colonText(text, length);
    size_t out = 0;
    ptrdiff_t lastColon = 0;
    for (size_t p = 0; p < colonText.size(); ++p) {
        const auto position = static_cast<ptrdiff_t>(p);
        if (colonText.at(position) != ':') {
            continue;
        }
        // The group after the last colon needs a place of its own.
        if (out + 1 >= output.size()) {
            break;
        }
        output[out] = colonText.pairAt(position - 2);
        lastColon = position;
        ++out;
        if (withCountByte && out == kCountByte) {
            out = kCountByte + 1;
        }
        if (colonText.at(position + 3) != ':') {
            break;
        }
    }
    output[out] = colonText.pairAt(lastColon + 1);
    if (withCountByte) {
        output[kCountByte] = static_cast<uint8_t>(out - 1);
    }
    return static_cast<uint8_t>(out + 1);
}
