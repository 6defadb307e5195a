#include "core/edid/edid_file.h"

namespace {
constexpr uint8_t kSpace = ' ';
constexpr uint8_t kCarriageReturn = '\r';
constexpr uint8_t kLineFeed = '\n';
} // namespace

QByteArray edidTextFromFile(std::span<const uint8_t> bytes) {
    // The look-ahead past a line's trailing space never leaves the bytes.
    const auto byteAt = [bytes](size_t index) -> uint8_t { return index < bytes.size() ? bytes[index] : 0; };

    QByteArray text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    size_t column = 0;
    size_t at = 0;
    while (at < bytes.size() && bytes[at] != 0) {
        ++column;
        if (column == kEdidTextLineEndColumn && bytes[at] == kSpace) {
            if (byteAt(at + 1) == kCarriageReturn && byteAt(at + 2) == kLineFeed) {
                text += static_cast<char>(kLineFeed);
                at += 3;
                column = 0;
                continue;
            }
            if (byteAt(at + 1) == kLineFeed) {
                text += static_cast<char>(kLineFeed);
                at += 2;
                column = 0;
                continue;
            }
        }
        text += static_cast<char>(bytes[at]);
        ++at;
    }
    return text;
}
