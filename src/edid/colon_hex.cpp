#include "colon_hex.h"

QString formatColonHex(std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size() * 3));
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            text += QLatin1Char(':');
        }
        text += QLatin1Char(kDigits[bytes[i] >> 4]);
        text += QLatin1Char(kDigits[bytes[i] & 0x0F]);
    }
    return text;
}
