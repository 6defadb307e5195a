#pragma once
// How the decoders write a code: "0x1f" for a byte, and the name a table gives it, or
// "reserved (n)" past the table's end.

#include <QLatin1String>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <string_view>

inline QString hexCode(uint8_t byte) {
    return QStringLiteral("0x%1").arg(byte, 2, 16, QLatin1Char('0'));
}

inline QString codeName(uint8_t code, std::initializer_list<const char *> names) {
    return code < names.size() ? QLatin1String(names.begin()[code])
                               : QStringLiteral("reserved (%1)").arg(code);
}

// A name a table holds, as text: "input", "matrix-swap".
inline QString nameText(std::string_view name) {
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}
