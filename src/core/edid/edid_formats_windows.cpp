// The readers of Windows' forms: a monitor .inf (its EDID_OVERRIDE values, or the comment
// block of hex above its sections) and a .reg export.

#include "core/edid/edid_formats_parts.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace edid::formats {

namespace {

// An .inf or .reg line with the lines its trailing backslashes continue it on.
struct LogicalLine {
    QByteArray text;
    std::vector<std::pair<qsizetype, qsizetype>> starts; // (offset in text, line number)
    qsizetype lineNumberAt(qsizetype offset) const {
        // The last line that starts at or before the offset (the starts ascend).
        const auto after = std::upper_bound(starts.begin(), starts.end(), offset,
                                            [](qsizetype at, const auto &start) { return at < start.first; });
        return after == starts.begin() ? starts.front().second : std::prev(after)->second;
    }
};

// The logical line that begins at line `index`, its comment (from a ';' outside quotes) removed;
// `index` moves to its last line.
LogicalLine logicalLine(const Lines &lines, qsizetype &index, bool comments) {
    LogicalLine logical;
    for (; index < lines.count(); ++index) {
        QByteArrayView line = lines.at(index);
        if (comments) {
            bool quoted = false;
            for (qsizetype at = 0; at < line.size(); ++at) {
                if (line[at] == '"') {
                    quoted = !quoted;
                } else if (line[at] == ';' && !quoted) {
                    line = line.first(at);
                    break;
                }
            }
        }
        line = trimmed(line);
        const bool continued = line.endsWith('\\');
        logical.starts.emplace_back(logical.text.size(), index + 1);
        logical.text += (continued ? line.chopped(1) : line).toByteArray();
        if (!continued) {
            break;
        }
    }
    return logical;
}

// The comma-separated fields of a logical line from `from` on, trimmed, with their offsets.
std::vector<std::pair<QByteArrayView, qsizetype>> fields(const QByteArray &text, qsizetype from = 0) {
    std::vector<std::pair<QByteArrayView, qsizetype>> result;
    const QByteArrayView view(text);
    qsizetype start = from;
    while (start <= view.size()) {
        qsizetype end = view.indexOf(',', start);
        if (end < 0) {
            end = view.size();
        }
        result.emplace_back(trimmed(view.sliced(start, end - start)), start);
        start = end + 1;
    }
    return result;
}

bool isOverrideLine(QByteArrayView line) {
    const QByteArrayView text = trimmed(line);
    return text.size() > 3 && equalsIgnoringCase(text.first(3), "HKR") &&
           containsIgnoringCase(text, "EDID_OVERRIDE");
}

// The hex of a comment line (";00 FF FF ..."), none for a line that is no comment.
std::optional<QByteArrayView> commentPayload(QByteArrayView line) {
    const QByteArrayView text = trimmed(line);
    if (!text.startsWith(';')) {
        return std::nullopt;
    }
    return trimmed(text.sliced(1));
}

// A comment line that begins with the EDID header: ";00 FF FF FF FF FF FF 00 ...".
bool commentStartsWithHeader(QByteArrayView line) {
    constexpr qsizetype kHeaderTextLength = 3 * 8 - 1;
    const std::optional<QByteArrayView> payload = commentPayload(line);
    if (!payload || payload->size() < kHeaderTextLength) {
        return false;
    }
    QByteArray bytes;
    return readGroups(payload->first(kHeaderTextLength), bytes).error.isEmpty() && startsWithHeader(bytes);
}

} // namespace

// 6. A monitor .inf: HKR,EDID_OVERRIDE,"0",0x01,0x00,0xFF,... one value of 128 bytes per block.
std::optional<Outcome> readInfOverride(const Lines &lines) {
    const qsizetype marker = lines.find(isOverrideLine);
    if (marker < 0) {
        return std::nullopt;
    }
    constexpr size_t kFirstByteField = 4;
    std::map<int, QByteArray> blocks;
    std::map<int, qsizetype> blockLines;
    for (qsizetype i = marker; i < lines.count(); ++i) {
        if (!isOverrideLine(lines.at(i))) {
            continue;
        }
        const qsizetype lineNumber = i + 1;
        const LogicalLine logical = logicalLine(lines, i, true);
        const auto parts = fields(logical.text);
        if (parts.size() <= kFirstByteField || !equalsIgnoringCase(parts[1].first, "EDID_OVERRIDE")) {
            return failAt(lineNumber, QStringLiteral("no HKR,EDID_OVERRIDE,\"BLOCK\",FLAGS,BYTES..."));
        }
        QByteArrayView name = parts[2].first;
        if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"')) {
            name = name.sliced(1, name.size() - 2);
        }
        bool number = false;
        const int block = QByteArray(name.data(), name.size()).toInt(&number);
        constexpr int kMostBlocks = 256;
        const bool decimal = !name.isEmpty() && std::all_of(name.begin(), name.end(),
                                                            [](char c) { return c >= '0' && c <= '9'; });
        if (!decimal || !number || block < 0 || block >= kMostBlocks) {
            return failAt(lineNumber, QStringLiteral("value %1 names no block").arg(quoted(parts[2].first)));
        }
        if (blocks.count(block) != 0) {
            return failAt(lineNumber, QStringLiteral("a second value for block %1").arg(block));
        }
        QByteArray bytes;
        for (size_t f = kFirstByteField; f < parts.size(); ++f) {
            const auto &[field, offset] = parts[f];
            // A comma at the end of the last line leaves an empty field.
            if (field.isEmpty() && f + 1 == parts.size()) {
                break;
            }
            const std::optional<uint8_t> value = byteValue(field);
            if (!value) {
                return failAt(logical.lineNumberAt(offset),
                              QStringLiteral("%1 is no byte").arg(quoted(field)));
            }
            bytes.append(static_cast<char>(*value));
        }
        if (bytes.size() != kBlock) {
            return failAt(lineNumber, QStringLiteral("EDID_OVERRIDE \"%1\" holds %2 bytes, %3 expected")
                                          .arg(block)
                                          .arg(bytes.size())
                                          .arg(kBlock));
        }
        blocks[block] = bytes;
        blockLines[block] = i + 1;
    }
    Outcome outcome = begunAt(marker);
    int expected = 0;
    for (const auto &[block, bytes] : blocks) {
        if (block != expected) {
            return failAt(marker + 1, QStringLiteral("no EDID_OVERRIDE \"%1\"").arg(expected));
        }
        outcome.bytes += bytes;
        outcome.lastLine = blockLines[block];
        ++expected;
    }
    return outcome;
}

// 6. The comment block of hex some tools write above an .inf's sections: ";00 FF FF FF ...".
std::optional<Outcome> readInfComment(const Lines &lines) {
    const qsizetype first = lines.find(commentStartsWithHeader);
    if (first < 0) {
        return std::nullopt;
    }
    Outcome outcome = begunAt(first);
    for (qsizetype i = first; i < lines.count(); ++i) {
        const std::optional<QByteArrayView> payload = commentPayload(lines.at(i));
        if (!payload || (!payload->isEmpty() && !startsWithByte(*payload))) {
            break;
        }
        const Groups groups = readGroups(*payload, outcome.bytes);
        if (!groups.error.isEmpty()) {
            return failAt(i + 1, groups.error);
        }
        if (groups.count > 0) {
            outcome.lastLine = i + 1;
        }
    }
    return outcome;
}

// 6. A .reg export: "EDID"=hex:00,ff,ff,...,\ with the lines it continues on.
std::optional<Outcome> readReg(const Lines &lines) {
    constexpr QByteArrayView kValue = "\"EDID\"=hex:";
    const qsizetype marker =
        lines.find([kValue](QByteArrayView line) { return containsIgnoringCase(line, kValue); });
    if (marker < 0) {
        return std::nullopt;
    }
    qsizetype index = marker;
    const LogicalLine logical = logicalLine(lines, index, false);
    const qsizetype start = QLatin1String(logical.text)
                                .indexOf(QLatin1String(kValue.data(), kValue.size()), 0, Qt::CaseInsensitive);
    Outcome outcome = begunAt(marker);
    const auto parts = fields(logical.text, start + kValue.size());
    for (size_t f = 0; f < parts.size(); ++f) {
        const auto &[field, offset] = parts[f];
        if (field.isEmpty() && f + 1 == parts.size()) {
            break;
        }
        if (field.size() != 2 || !allHex(field)) {
            return failAt(logical.lineNumberAt(offset), QStringLiteral("%1 is no byte").arg(quoted(field)));
        }
        outcome.bytes.append(static_cast<char>(byteOf(field)));
        outcome.lastLine = logical.lineNumberAt(offset);
    }
    return outcome;
}

} // namespace edid::formats
