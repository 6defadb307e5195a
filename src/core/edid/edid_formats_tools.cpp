// The readers of what tools and logs write: edid-decode's hex dump, C array and QuantumData
// XML, xrandr --verbose, the Xorg and NVIDIA X logs, the tables of rows and the dumps with an
// ASCII column.

#include "core/edid/edid_formats_parts.h"
#include "core/edid/edid_image.h"

#include <algorithm>
#include <optional>

namespace edid::formats {

namespace {

constexpr qsizetype kRowsPerBlock = kBlock / kBytesPerRow;
constexpr qsizetype kDigitsPerRow = 2 * kBytesPerRow;
constexpr qsizetype kDigitsPerBlock = 2 * kBlock;
// Where a tab stop falls, for the indentation of xrandr's lines.
constexpr qsizetype kTabWidth = 8;

// The first line that is one of the two titles, blanks around it aside; -1 when none is.
qsizetype findTitle(const Lines &lines, QByteArrayView first, QByteArrayView second) {
    return lines.find([first, second](QByteArrayView line) {
        const QByteArrayView text = trimmed(line);
        return text == first || text == second;
    });
}

// Rows of blank-separated bytes, each of exactly `perRow` bytes, onto the outcome.
bool readRow(QByteArrayView payload, qsizetype index, qsizetype perRow, Outcome &outcome) {
    const Groups groups = readGroups(payload, outcome.bytes);
    if (!groups.error.isEmpty()) {
        outcome = failAt(index + 1, groups.error);
        return false;
    }
    if (groups.count != perRow) {
        outcome = failAt(index + 1, QStringLiteral("%1 bytes, %2 expected").arg(groups.count).arg(perRow));
        return false;
    }
    outcome.lastLine = index + 1;
    return true;
}

// Skips blanks, line ends and C comments; false when a comment is not closed.
bool skipSpaceAndComments(QByteArrayView text, qsizetype &at) {
    while (at < text.size()) {
        if (isBlank(text[at]) || text[at] == '\n') {
            ++at;
        } else if (startsWith(text.sliced(at), "//")) {
            while (at < text.size() && text[at] != '\n') {
                ++at;
            }
        } else if (startsWith(text.sliced(at), "/*")) {
            const qsizetype end = text.indexOf("*/", at + 2);
            if (end < 0) {
                return false;
            }
            at = end + 2;
        } else {
            break;
        }
    }
    return true;
}

QByteArray blockTag(qsizetype number, bool closing) {
    return (closing ? QByteArray("</BLOCK") : QByteArray("<BLOCK")) + QByteArray::number(number) + '>';
}

// How far a line is indented, a tab counting to the next multiple of eight columns.
qsizetype indentation(QByteArrayView line) {
    qsizetype width = 0;
    for (const char c : line) {
        if (c == ' ') {
            ++width;
        } else if (c == '\t') {
            width = (width / kTabWidth + 1) * kTabWidth;
        } else {
            break;
        }
    }
    return width;
}

// A row of hex digits that must hold exactly `digits` of them.
bool readDigitRow(QByteArrayView payload, qsizetype index, Outcome &outcome) {
    const QByteArrayView row = trimmed(payload);
    const auto bad = std::find_if_not(row.begin(), row.end(), isHex);
    if (bad != row.end()) {
        outcome = failAt(index + 1, QStringLiteral("%1 is no hex digit").arg(quoted(QByteArrayView(bad, 1))));
        return false;
    }
    if (row.size() != kDigitsPerRow) {
        outcome = failAt(index + 1,
                         QStringLiteral("%1 hex digits, %2 expected").arg(row.size()).arg(kDigitsPerRow));
        return false;
    }
    outcome.bytes += QByteArray::fromHex(row.toByteArray());
    outcome.lastLine = index + 1;
    return true;
}

// What follows the prefix of an X server log line ("[   4.514] (II) modeset(0): "); none for
// a line without one.
std::optional<QByteArrayView> logPayload(QByteArrayView line) {
    qsizetype at = 0;
    const auto skipBlanks = [&] {
        while (at < line.size() && isBlank(line[at])) {
            ++at;
        }
    };
    skipBlanks();
    if (at < line.size() && line[at] == '[') {
        const qsizetype close = line.indexOf(']', at);
        if (close < 0) {
            return std::nullopt;
        }
        at = close + 1;
        skipBlanks();
    }
    // The kind of message: (II), (--), (**), (==), (WW), (EE), (NI), (??).
    constexpr qsizetype kLongestKind = 4;
    const qsizetype kindEnd = line.indexOf(')', at);
    if (at >= line.size() || line[at] != '(' || kindEnd < 0 || kindEnd - at > kLongestKind) {
        return std::nullopt;
    }
    const qsizetype source = line.indexOf("):", kindEnd + 1);
    if (source < 0) {
        return std::nullopt;
    }
    return line.sliced(source + 2);
}

// A row of a table: a label of hex digits, a bar, the bytes ("00 | 00 FF FF ...").
struct BarRow {
    QByteArrayView label;
    QByteArrayView payload;
};

std::optional<BarRow> barRow(QByteArrayView line) {
    constexpr qsizetype kLongestLabel = 4;
    const QByteArrayView text = trimmed(line);
    qsizetype at = 0;
    while (at < text.size() && isHex(text[at])) {
        ++at;
    }
    const QByteArrayView label = text.first(at);
    while (at < text.size() && isBlank(text[at])) {
        ++at;
    }
    if (label.isEmpty() || label.size() > kLongestLabel || at >= text.size() || text[at] != '|') {
        return std::nullopt;
    }
    const QByteArrayView payload = text.sliced(at + 1);
    return startsWithByte(payload) ? std::optional<BarRow>(BarRow{label, payload}) : std::nullopt;
}

// The header of a table's columns: "0x   00 01 02 ... 0F".
bool isColumnHeader(QByteArrayView text) {
    if (!startsWith(text, "0x") && !startsWith(text, "0X")) {
        return false;
    }
    QByteArray ignored;
    return readGroups(text.sliced(2), ignored).error.isEmpty();
}

bool isRule(QByteArrayView text) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) {
        return c == '-' || c == '=' || c == '+' || c == '_' || isBlank(c);
    });
}

// A row's label is its offset (00, 10, ..., F0, from 00 again or 100 on past 256 bytes), or
// with one digit its row in the block (0 to 7) or in the 256 bytes (0 to F).
bool labelFits(QByteArrayView label, qsizetype row) {
    const uint value = QByteArray(label.data(), label.size()).toUInt(nullptr, 16);
    const qsizetype offset = row * kBytesPerRow;
    if (label.size() == 1) {
        return value == static_cast<uint>(row % kRowsPerBlock) ||
               value == static_cast<uint>(row % kBytesPerRow);
    }
    return value == static_cast<uint>(offset) || value == static_cast<uint>(offset % kEdidImageSize);
}

QString expectedLabel(QByteArrayView label, qsizetype row) {
    if (label.size() == 1) {
        return QString::number(row % kRowsPerBlock, 16).toUpper();
    }
    const qsizetype offset = row * kBytesPerRow;
    const qsizetype shown = label.size() <= 2 ? offset % kEdidImageSize : offset;
    return QString::number(shown, 16).toUpper().rightJustified(label.size(), QLatin1Char('0'));
}

// A dump row: 8 bytes, a dash, 8 bytes, then an ASCII column or nothing
// ("00 FF FF FF FF FF FF 00-06 10 F4 01 ...    ........"); an offset label ("0000:") may lead.
constexpr qsizetype kDumpRowLength = 3 * kBytesPerRow - 1;

QByteArrayView withoutOffsetLabel(QByteArrayView line) {
    const QByteArrayView text = trimmed(line);
    qsizetype at = 0;
    while (at < text.size() && isHex(text[at])) {
        ++at;
    }
    if (at > 0 && at < text.size() && text[at] == ':') {
        return trimmed(text.sliced(at + 1));
    }
    return text;
}

bool readDumpRow(QByteArrayView line, QByteArray *out) {
    const QByteArrayView text = withoutOffsetLabel(line);
    if (text.size() < kDumpRowLength || (text.size() > kDumpRowLength && !isBlank(text[kDumpRowLength]))) {
        return false;
    }
    constexpr qsizetype kDashAfter = 7;
    for (qsizetype i = 0; i < kBytesPerRow; ++i) {
        const qsizetype at = 3 * i;
        if (!isHex(text[at]) || !isHex(text[at + 1])) {
            return false;
        }
        if (i + 1 < kBytesPerRow && text[at + 2] != (i == kDashAfter ? '-' : ' ')) {
            return false;
        }
    }
    if (out != nullptr) {
        for (qsizetype i = 0; i < kBytesPerRow; ++i) {
            out->append(static_cast<char>(byteOf(text.sliced(3 * i, 2))));
        }
    }
    return true;
}

} // namespace

// 2. edid-decode's hex dump: rows of 16 bytes after its title, a blank line between blocks.
std::optional<Outcome> readEdidDecodeHex(const Lines &lines) {
    const qsizetype marker = findTitle(lines, "edid-decode (hex):", "EDID (hex):");
    if (marker < 0) {
        return std::nullopt;
    }
    Outcome outcome = begunAt(marker);
    for (qsizetype i = marker + 1; i < lines.count(); ++i) {
        const QByteArrayView line = lines.at(i);
        if (trimmed(line).isEmpty()) {
            continue;
        }
        if (!startsWithByte(line)) {
            break;
        }
        if (!readRow(line, i, kBytesPerRow, outcome)) {
            return outcome;
        }
    }
    return outcome;
}

// 2. A C array of bytes, as `edid-decode -o carray` writes it: `unsigned char edid[] = {0x00, ...};`.
std::optional<Outcome> readCArray(const Lines &lines) {
    qsizetype brace = -1;
    const qsizetype marker = lines.find([&brace](QByteArrayView line) {
        const qsizetype open = line.indexOf('[');
        const qsizetype close = open < 0 ? -1 : line.indexOf(']', open);
        const qsizetype equals = close < 0 ? -1 : line.indexOf('=', close);
        brace = equals < 0 ? -1 : line.indexOf('{', equals);
        const QByteArrayView type = open < 0 ? QByteArrayView() : line.first(open);
        return brace >= 0 && (type.contains("char") || type.contains("uint8_t"));
    });
    if (marker < 0) {
        return std::nullopt;
    }
    const QByteArrayView text = lines.text();
    Outcome outcome = begunAt(marker);
    qsizetype at = lines.offsetOf(marker) + brace + 1;
    while (true) {
        if (!skipSpaceAndComments(text, at)) {
            return failAt(lines.numberAt(at), QStringLiteral("a comment is not closed"));
        }
        if (at >= text.size()) {
            return failAt(outcome.markerLine, QStringLiteral("the array is not closed by '}'"));
        }
        if (text[at] == '}') {
            return outcome;
        }
        const qsizetype start = at;
        while (at < text.size() && text[at] != ',' && text[at] != '}' && text[at] != '\n' &&
               !isBlank(text[at]) && text[at] != '/') {
            ++at;
        }
        const QByteArrayView token = text.sliced(start, at - start);
        const std::optional<uint8_t> value =
            startsWith(token, "0x") || startsWith(token, "0X") ? byteValue(token) : std::optional<uint8_t>();
        if (!value) {
            return failAt(lines.numberAt(start), QStringLiteral("%1 is no byte").arg(quoted(token)));
        }
        outcome.bytes.append(static_cast<char>(*value));
        outcome.lastLine = lines.numberAt(start);
        if (!skipSpaceAndComments(text, at)) {
            return failAt(lines.numberAt(at), QStringLiteral("a comment is not closed"));
        }
        if (at < text.size() && text[at] == ',') {
            ++at;
        } else if (at < text.size() && text[at] != '}') {
            return failAt(
                lines.numberAt(at),
                QStringLiteral("a comma expected before %1")
                    .arg(quoted(text.sliced(at, std::min<qsizetype>(kQuotedLength, text.size() - at)))));
        }
    }
}

// 2. QuantumData XML as edid-decode writes it: <BLOCK0>256 hex digits</BLOCK0>, <BLOCK1>...
std::optional<Outcome> readQuantumDataXml(const Lines &lines) {
    const QByteArrayView text = lines.text();
    const qsizetype first = text.indexOf("<BLOCK0>");
    const qsizetype dataObject = text.indexOf("<DATAOBJ>");
    if (first < 0 && dataObject < 0) {
        return std::nullopt;
    }
    Outcome outcome;
    outcome.markerLine = lines.numberAt(first >= 0 ? first : dataObject);
    qsizetype from = 0;
    qsizetype number = 0;
    for (;; ++number) {
        const QByteArray open = blockTag(number, false);
        const qsizetype start = text.indexOf(open, from);
        if (start < 0) {
            break;
        }
        const qsizetype end = text.indexOf(blockTag(number, true), start);
        if (end < 0) {
            return failAt(lines.numberAt(start), QStringLiteral("%1 is not closed").arg(QLatin1String(open)));
        }
        qsizetype digits = 0;
        for (qsizetype at = start + open.size(); at < end; ++at) {
            if (isBlank(text[at]) || text[at] == '\n') {
                continue;
            }
            if (!isHex(text[at])) {
                return failAt(lines.numberAt(at),
                              QStringLiteral("%1 is no hex digit").arg(quoted(text.sliced(at, 1))));
            }
            ++digits;
        }
        if (digits != kDigitsPerBlock) {
            return failAt(lines.numberAt(start), QStringLiteral("%1 holds %2 hex digits, %3 expected")
                                                     .arg(QLatin1String(open))
                                                     .arg(digits)
                                                     .arg(kDigitsPerBlock));
        }
        QByteArray block;
        for (qsizetype at = start + open.size(); at < end; ++at) {
            if (isHex(text[at])) {
                block.append(text[at]);
            }
        }
        outcome.bytes += QByteArray::fromHex(block);
        outcome.lastLine = lines.numberAt(end);
        from = end;
    }
    const qsizetype stray = text.indexOf("<BLOCK", from);
    if (stray >= 0) {
        return failAt(lines.numberAt(stray),
                      QStringLiteral("%1 expected").arg(QLatin1String(blockTag(number, false))));
    }
    return outcome;
}

// 3. xrandr --verbose: below "EDID:" (or "EDID_DATA:"), rows of 32 hex digits indented further.
std::optional<Outcome> readXrandr(const Lines &lines) {
    const qsizetype marker = findTitle(lines, "EDID:", "EDID_DATA:");
    if (marker < 0) {
        return std::nullopt;
    }
    Outcome outcome = begunAt(marker);
    const qsizetype depth = indentation(lines.at(marker));
    for (qsizetype i = marker + 1; i < lines.count(); ++i) {
        const QByteArrayView line = lines.at(i);
        if (trimmed(line).isEmpty() || indentation(line) <= depth) {
            break;
        }
        if (!readDigitRow(line, i, outcome)) {
            return outcome;
        }
    }
    return outcome;
}

// 4. Xorg.0.log: after "EDID (in hex):", log lines of 32 hex digits.
std::optional<Outcome> readXorgLog(const Lines &lines) {
    const qsizetype marker = lines.find([](QByteArrayView line) {
        const std::optional<QByteArrayView> payload = logPayload(line);
        return payload && trimmed(*payload) == "EDID (in hex):";
    });
    if (marker < 0) {
        return std::nullopt;
    }
    Outcome outcome = begunAt(marker);
    for (qsizetype i = marker + 1; i < lines.count(); ++i) {
        const std::optional<QByteArrayView> payload = logPayload(lines.at(i));
        if (!payload) {
            break;
        }
        const QByteArrayView row = trimmed(*payload);
        // A row with a digit too few or too many is still a row; words end the EDID.
        if (!allHex(row)) {
            break;
        }
        if (!readDigitRow(row, i, outcome)) {
            return outcome;
        }
    }
    return outcome;
}

// 4. NVIDIA's X log: after "Raw EDID bytes:", log lines of 16 bytes (8, two blanks, 8).
std::optional<Outcome> readNvidiaLog(const Lines &lines) {
    // "Raw EDID bytes:", after the display's name in newer drivers ("DFP-1: Raw EDID bytes:").
    const qsizetype marker = lines.find([](QByteArrayView line) {
        const std::optional<QByteArrayView> payload = logPayload(line);
        return payload && trimmed(*payload).endsWith("Raw EDID bytes:");
    });
    if (marker < 0) {
        return std::nullopt;
    }
    Outcome outcome = begunAt(marker);
    for (qsizetype i = marker + 1; i < lines.count(); ++i) {
        const std::optional<QByteArrayView> payload = logPayload(lines.at(i));
        if (!payload) {
            break;
        }
        if (trimmed(*payload).isEmpty()) {
            continue;
        }
        if (!startsWithByte(*payload)) {
            break;
        }
        if (!readRow(*payload, i, kBytesPerRow, outcome)) {
            return outcome;
        }
    }
    return outcome;
}

// 5. Tables of rows "00 | 00 FF FF ...": after "EDID BYTES:" (a header of columns and a
// rule before the rows), or with a one-digit label repeated per block.
std::optional<Outcome> readBarTable(const Lines &lines) {
    const qsizetype titled = lines.find([](QByteArrayView line) { return trimmed(line) == "EDID BYTES:"; });
    const qsizetype first = lines.find([](QByteArrayView line) { return barRow(line).has_value(); },
                                       std::max<qsizetype>(titled, 0));
    if (titled < 0 && first < 0) {
        return std::nullopt;
    }
    Outcome outcome;
    outcome.markerLine = (titled >= 0 ? titled : first) + 1;
    if (first < 0) {
        return outcome;
    }
    qsizetype rows = 0;
    for (qsizetype i = first; i < lines.count(); ++i) {
        const QByteArrayView text = trimmed(lines.at(i));
        if (const std::optional<BarRow> row = barRow(text)) {
            if (!labelFits(row->label, rows)) {
                return failAt(i + 1,
                              QStringLiteral("row %1 where %2 expected")
                                  .arg(QString::fromLatin1(row->label), expectedLabel(row->label, rows)));
            }
            if (!readRow(row->payload, i, kBytesPerRow, outcome)) {
                return outcome;
            }
            ++rows;
            continue;
        }
        if (text.isEmpty() || isRule(text) || isColumnHeader(text)) {
            continue;
        }
        // A block's title between blocks ("Block 1:"), not another table.
        if (rows % kRowsPerBlock == 0 && text.endsWith(':') && !text.contains('|') && text != "EDID BYTES:") {
            continue;
        }
        break;
    }
    return outcome;
}

// 5. A dump with a dash between the 8th and 9th byte of each row and an ASCII column.
std::optional<Outcome> readAsciiDump(const Lines &lines) {
    const qsizetype first = lines.find([](QByteArrayView line) { return readDumpRow(line, nullptr); });
    if (first < 0) {
        return std::nullopt;
    }
    Outcome outcome = begunAt(first);
    for (qsizetype i = first; i < lines.count(); ++i) {
        const QByteArrayView line = lines.at(i);
        if (readDumpRow(line, &outcome.bytes)) {
            outcome.lastLine = i + 1;
            continue;
        }
        if (trimmed(line).isEmpty()) {
            continue;
        }
        if (startsWithByte(withoutOffsetLabel(line))) {
            return failAt(i + 1, QStringLiteral("no row of 8 bytes, a dash and 8 bytes"));
        }
        break;
    }
    return outcome;
}

} // namespace edid::formats
