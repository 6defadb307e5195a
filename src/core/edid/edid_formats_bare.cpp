// The readers of bare hex in any spelling and of base64 of a raw EDID: the forms without a
// mark of their own, tried last.

#include "core/edid/edid_formats_parts.h"

#include <optional>

namespace edid::formats {

namespace {

bool isBareSeparator(char c) {
    return isBlank(c) || c == '\n' || c == ',' || c == ':' || c == ';';
}

} // namespace

// 7. Bare hex in any spelling: bytes of two digits, or of one or two after "0x", between
// blanks, line ends, commas, colons or semicolons; also runs of digits without separators.
// None when anything else stands in the text.
std::optional<QByteArray> readBareHex(QByteArrayView text) {
    QByteArray bytes;
    const bool read = eachWord(text, isBareSeparator, [&bytes](QByteArrayView token) {
        if (startsWith(token, "0x") || startsWith(token, "0X")) {
            const std::optional<uint8_t> value = byteValue(token);
            if (value) {
                bytes.append(static_cast<char>(*value));
            }
            return value.has_value();
        }
        if (token.size() % 2 != 0 || !allHex(token)) {
            return false;
        }
        bytes += QByteArray::fromHex(token.toByteArray());
        return true;
    });
    if (!read || bytes.isEmpty()) {
        return std::nullopt;
    }
    return bytes;
}

// 7. Base64 of a raw EDID (blanks and line ends anywhere), as MIME or in the URL alphabet.
std::optional<QByteArray> readBase64(QByteArrayView text) {
    QByteArray compact;
    for (const char c : text) {
        if (!isBlank(c) && c != '\n') {
            compact.append(c);
        }
    }
    for (const auto alphabet : {QByteArray::Base64Encoding, QByteArray::Base64UrlEncoding}) {
        const QByteArray::FromBase64Result decoded =
            QByteArray::fromBase64Encoding(compact, alphabet | QByteArray::AbortOnBase64DecodingErrors);
        if (decoded && startsWithHeader(decoded.decoded) && decoded.decoded.size() % kBlock == 0) {
            return decoded.decoded;
        }
    }
    return std::nullopt;
}

} // namespace edid::formats
