#include "core/edid/edid_formats.h"

#include "core/base/hex_digits.h"
#include "core/edid/edid_check.h"
#include "core/edid/edid_file.h"
#include "core/edid/edid_image.h"
#include "core/edid/spaced_hex.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <map>
#include <vector>

namespace {

constexpr qsizetype kBlock = kEdidBlockSize;
constexpr std::array<uint8_t, 8> kHeader = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr qsizetype kBytesPerRow = 16;
constexpr qsizetype kRowsPerBlock = kBlock / kBytesPerRow;
constexpr qsizetype kDigitsPerRow = 2 * kBytesPerRow;
constexpr qsizetype kDigitsPerBlock = 2 * kBlock;
// Where a tab stop falls, for the indentation of xrandr's lines.
constexpr qsizetype kTabWidth = 8;
// How much of a piece of text a reason quotes.
constexpr qsizetype kQuotedLength = 12;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

bool isHex(char c) {
    return hexdigits::isDigit(c);
}

QByteArrayView trimmed(QByteArrayView view) {
    qsizetype start = 0;
    qsizetype end = view.size();
    while (start < end && isBlank(view[start])) {
        ++start;
    }
    while (end > start && isBlank(view[end - 1])) {
        --end;
    }
    return view.sliced(start, end - start);
}

bool startsWith(QByteArrayView view, QByteArrayView prefix) {
    return view.size() >= prefix.size() && view.first(prefix.size()) == prefix;
}

bool equalsIgnoringCase(QByteArrayView a, QByteArrayView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool containsIgnoringCase(QByteArrayView view, QByteArrayView part) {
    return QLatin1String(view.data(), view.size())
        .contains(QLatin1String(part.data(), part.size()), Qt::CaseInsensitive);
}

bool allHex(QByteArrayView view) {
    return !view.isEmpty() && std::all_of(view.begin(), view.end(), isHex);
}

bool startsWithHeader(QByteArrayView bytes) {
    return bytes.size() >= static_cast<qsizetype>(kHeader.size()) &&
           std::equal(kHeader.begin(), kHeader.end(), reinterpret_cast<const uint8_t *>(bytes.data()));
}

// A piece of the text as a reason quotes it: short, and no control character in it.
QString quoted(QByteArrayView view) {
    QString text;
    for (qsizetype i = 0; i < std::min(view.size(), kQuotedLength); ++i) {
        const auto c = static_cast<uint8_t>(view[i]);
        text += (c < 0x20 || (c >= 0x7F && c <= 0x9F)) ? QLatin1Char('?') : QLatin1Char(static_cast<char>(c));
    }
    if (view.size() > kQuotedLength) {
        text += QStringLiteral("...");
    }
    return QStringLiteral("'%1'").arg(text);
}

uint8_t byteOf(QByteArrayView twoDigits) {
    return hexdigits::pairValue(twoDigits[0], twoDigits[1]);
}

// The value of one or two hex digits, with or without "0x"; none for anything else.
std::optional<uint8_t> byteValue(QByteArrayView token) {
    if (startsWith(token, "0x") || startsWith(token, "0X")) {
        token = token.sliced(2);
    }
    if (token.isEmpty() || token.size() > 2 || !allHex(token)) {
        return std::nullopt;
    }
    return token.size() == 1 ? hexdigits::value(token[0]) : byteOf(token);
}

// The text in lines, each without its line end (LF or CR LF), numbered from 1.
class Lines {
public:
    explicit Lines(QByteArrayView text) : text_(text) {
        starts_.push_back(0);
        for (qsizetype at = 0; at < text.size(); ++at) {
            if (text[at] == '\n') {
                starts_.push_back(at + 1);
            }
        }
    }
    qsizetype count() const { return static_cast<qsizetype>(starts_.size()); }
    QByteArrayView at(qsizetype index) const {
        const qsizetype start = starts_[static_cast<size_t>(index)];
        qsizetype end = index + 1 < count() ? starts_[static_cast<size_t>(index + 1)] - 1 : text_.size();
        if (end > start && text_[end - 1] == '\r') {
            --end;
        }
        return text_.sliced(start, end - start);
    }
    // The number of the line that holds the character at the offset.
    qsizetype numberAt(qsizetype offset) const {
        const auto after = std::upper_bound(starts_.begin(), starts_.end(), offset);
        return static_cast<qsizetype>(after - starts_.begin());
    }
    qsizetype offsetOf(qsizetype index) const { return starts_[static_cast<size_t>(index)]; }
    QByteArrayView text() const { return text_; }

    // The index of the first line from `from` on for which the test holds; -1 when none does.
    template <typename Test> qsizetype find(Test test, qsizetype from = 0) const {
        for (qsizetype i = from; i < count(); ++i) {
            if (test(at(i))) {
                return i;
            }
        }
        return -1;
    }

private:
    QByteArrayView text_;
    std::vector<qsizetype> starts_;
};

// What one form made of the text: the bytes, or what breaks it and where.
struct Outcome {
    QByteArray bytes;
    QString failure;        // "line 12: 31 hex digits, 32 expected"
    qsizetype markerLine{}; // the line the form begins on, numbered from 1
    qsizetype lastLine{};   // the line the last byte stood on
};

Outcome failAt(qsizetype lineNumber, const QString &what) {
    Outcome outcome;
    outcome.failure = QStringLiteral("line %1: %2").arg(lineNumber).arg(what);
    return outcome;
}

// The outcome of a form whose mark stands at line `index` (counted from 0).
Outcome begunAt(qsizetype index) {
    Outcome outcome;
    outcome.markerLine = index + 1;
    return outcome;
}

// The first line that is one of the two titles, blanks around it aside; -1 when none is.
qsizetype findTitle(const Lines &lines, QByteArrayView first, QByteArrayView second) {
    return lines.find([first, second](QByteArrayView line) {
        const QByteArrayView text = trimmed(line);
        return text == first || text == second;
    });
}

// Blank-separated groups of two hex digits onto `out`: how many, or why a group is no byte.
struct Groups {
    qsizetype count = 0;
    QString error;
};

// Hands each word of the text between separators to `take` until it returns false; false then.
template <typename Separator, typename Take>
bool eachWord(QByteArrayView text, Separator isSeparator, Take take) {
    qsizetype at = 0;
    while (at < text.size()) {
        if (isSeparator(text[at])) {
            ++at;
            continue;
        }
        qsizetype end = at;
        while (end < text.size() && !isSeparator(text[end])) {
            ++end;
        }
        if (!take(text.sliced(at, end - at))) {
            return false;
        }
        at = end;
    }
    return true;
}

Groups readGroups(QByteArrayView payload, QByteArray &out) {
    Groups groups;
    eachWord(payload, isBlank, [&](QByteArrayView group) {
        if (group.size() != 2 || !allHex(group)) {
            groups.error = QStringLiteral("%1 is no byte").arg(quoted(group));
            return false;
        }
        out.append(static_cast<char>(byteOf(group)));
        ++groups.count;
        return true;
    });
    return groups;
}

// A line that means to hold bytes: its first word is two hex digits.
bool startsWithByte(QByteArrayView line) {
    const QByteArrayView text = trimmed(line);
    return text.size() >= 2 && isHex(text[0]) && isHex(text[1]) && (text.size() == 2 || isBlank(text[2]));
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

QByteArray blockTag(qsizetype number, bool closing) {
    return (closing ? QByteArray("</BLOCK") : QByteArray("<BLOCK")) + QByteArray::number(number) + '>';
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

bool isBareSeparator(char c) {
    return isBlank(c) || c == '\n' || c == ',' || c == ':' || c == ';';
}

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

// The content as 8-bit text: UTF-16 with its byte order mark converted (other characters
// than Latin-1 become '?'), UTF-8's byte order mark dropped; up to its first zero byte.
QByteArray textOf(QByteArrayView content) {
    const auto startsWithBytes = [content](std::initializer_list<uint8_t> mark) {
        return content.size() >= static_cast<qsizetype>(mark.size()) &&
               std::equal(mark.begin(), mark.end(), reinterpret_cast<const uint8_t *>(content.data()));
    };
    if (startsWithBytes({0xFF, 0xFE}) || startsWithBytes({0xFE, 0xFF})) {
        const bool little = static_cast<uint8_t>(content[0]) == 0xFF;
        QString text;
        text.reserve(content.size() / 2);
        for (qsizetype at = 2; at + 1 < content.size(); at += 2) {
            const auto first = static_cast<uint8_t>(content[at]);
            const auto second = static_cast<uint8_t>(content[at + 1]);
            text += QChar(static_cast<char16_t>(little ? (second << 8 | first) : (first << 8 | second)));
        }
        QByteArray latin = text.toLatin1();
        const qsizetype zero = latin.indexOf('\0');
        return zero < 0 ? latin : latin.first(zero);
    }
    if (startsWithBytes({0xEF, 0xBB, 0xBF})) {
        content = content.sliced(3);
    }
    const qsizetype zero = content.indexOf('\0');
    return (zero < 0 ? content : content.first(zero)).toByteArray();
}

bool onlyHexAndBlanks(QByteArrayView text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return isHex(c) || isBlank(c) || c == '\n'; });
}

struct Form {
    EdidFileFormat format;
    std::optional<Outcome> (*read)(const Lines &);
};

// Forms 2 to 6, in the order they are told apart.
constexpr std::array<Form, 11> kMarkedForms = {{
    {EdidFileFormat::EdidDecodeHex, readEdidDecodeHex},
    {EdidFileFormat::CArray, readCArray},
    {EdidFileFormat::QuantumDataXml, readQuantumDataXml},
    {EdidFileFormat::XrandrVerbose, readXrandr},
    {EdidFileFormat::XorgLog, readXorgLog},
    {EdidFileFormat::NvidiaLog, readNvidiaLog},
    {EdidFileFormat::Table, readBarTable},
    {EdidFileFormat::AsciiDump, readAsciiDump},
    {EdidFileFormat::WindowsInf, readInfOverride},
    {EdidFileFormat::WindowsInf, readInfComment},
    {EdidFileFormat::WindowsReg, readReg},
}};

EdidFileContent fromForm(EdidFileFormat format, const Outcome &outcome) {
    EdidFileContent content;
    content.format = format;
    const QString name = edidFileFormatName(format);
    if (!outcome.failure.isEmpty()) {
        content.reason = QStringLiteral("%1, %2").arg(name, outcome.failure);
    } else if (outcome.bytes.isEmpty()) {
        content.reason =
            QStringLiteral("%1, line %2: no EDID bytes follow").arg(name).arg(outcome.markerLine);
    } else if (outcome.bytes.size() % kBlock != 0) {
        content.reason =
            QStringLiteral("%1, line %2: the EDID ends after %3 bytes, a multiple of %4 expected")
                .arg(name)
                .arg(outcome.lastLine)
                .arg(outcome.bytes.size())
                .arg(kBlock);
    } else {
        content.bytes = outcome.bytes;
    }
    return content;
}

} // namespace

bool EdidFileContent::fromOtherTool() const {
    return format && *format != EdidFileFormat::Raw && *format != EdidFileFormat::SpacedHex;
}

QString edidFileFormatName(EdidFileFormat format) {
    switch (format) {
    case EdidFileFormat::Raw:
        return QStringLiteral("raw EDID");
    case EdidFileFormat::SpacedHex:
        return QStringLiteral("hex text");
    case EdidFileFormat::EdidDecodeHex:
        return QStringLiteral("edid-decode hex dump");
    case EdidFileFormat::CArray:
        return QStringLiteral("C array");
    case EdidFileFormat::QuantumDataXml:
        return QStringLiteral("QuantumData XML");
    case EdidFileFormat::XrandrVerbose:
        return QStringLiteral("xrandr --verbose output");
    case EdidFileFormat::XorgLog:
        return QStringLiteral("Xorg log");
    case EdidFileFormat::NvidiaLog:
        return QStringLiteral("NVIDIA X log");
    case EdidFileFormat::Table:
        return QStringLiteral("EDID table");
    case EdidFileFormat::AsciiDump:
        return QStringLiteral("hex dump");
    case EdidFileFormat::WindowsInf:
        return QStringLiteral("Windows .inf");
    case EdidFileFormat::WindowsReg:
        return QStringLiteral("Windows .reg export");
    case EdidFileFormat::BareHex:
        return QStringLiteral("hex");
    case EdidFileFormat::Base64:
        return QStringLiteral("base64");
    }
    return {};
}

EdidFileContent readEdidFileContent(std::span<const uint8_t> content) {
    return readEdidFileContent(QByteArrayView(reinterpret_cast<const char *>(content.data()),
                                              static_cast<qsizetype>(content.size())));
}

EdidFileContent readEdidFileContent(QByteArrayView content) {
    EdidFileContent result;
    content = content.first(std::min(content.size(), kEdidFileMaxBytes));
    if (content.isEmpty()) {
        result.reason = QStringLiteral("the file is empty");
        return result;
    }
    // 1. The loader's two modes: a first byte of zero is a raw image, whatever its length.
    if (content[0] == 0) {
        result.format = EdidFileFormat::Raw;
        result.bytes = content.toByteArray();
        return result;
    }
    // The loader's text: the first 1024 bytes, line ends converted, up to a zero byte.
    const QByteArrayView area = content.first(std::min<qsizetype>(content.size(), kEdidFileReadSize));
    const QByteArray areaText = edidTextFromFile(std::span<const uint8_t>(
        reinterpret_cast<const uint8_t *>(area.data()), static_cast<size_t>(area.size())));
    // Neither an EDID nor text (a picture, say).
    if (firstNonTextByte(areaText) >= 0) {
        result.reason = QStringLiteral("the file is neither an EDID nor text");
        result.notText = true;
        return result;
    }
    EdidImage image{};
    const qsizetype groups = parseEdidText(QByteArrayView(areaText), image);
    if (groups > 0) {
        result.format = EdidFileFormat::SpacedHex;
        result.text = areaText;
        result.bytes = QByteArray(reinterpret_cast<const char *>(image.data()),
                                  std::min(groups, static_cast<qsizetype>(image.size())));
        return result;
    }

    // 2 to 6: the forms with a mark of their own.
    const QByteArray text = textOf(content);
    const Lines lines(text);
    for (const Form &form : kMarkedForms) {
        if (const std::optional<Outcome> outcome = form.read(lines)) {
            return fromForm(form.format, *outcome);
        }
    }

    // 7. Bare hex of whole blocks, base64 of a raw EDID.
    const std::optional<QByteArray> bare = readBareHex(text);
    if (bare && bare->size() % kBlock == 0) {
        result.format = EdidFileFormat::BareHex;
        result.bytes = *bare;
        return result;
    }
    if (const std::optional<QByteArray> decoded = readBase64(text)) {
        result.format = EdidFileFormat::Base64;
        result.bytes = *decoded;
        return result;
    }
    // Hex digits and blanks that make no whole blocks stay the window's text, as they always were.
    if (onlyHexAndBlanks(text)) {
        result.format = EdidFileFormat::SpacedHex;
        result.text = areaText;
        const qsizetype at = std::max<qsizetype>(edidTextLayoutBreak(QByteArrayView(areaText)), 0);
        const Lines textLines(areaText);
        const qsizetype line = textLines.numberAt(at);
        result.reason = QStringLiteral("hex text, line %1, column %2: not 16 bytes a line as \"00 FF FF\"")
                            .arg(line)
                            .arg(at - textLines.offsetOf(line - 1) + 1);
        return result;
    }
    if (bare) {
        result.format = EdidFileFormat::BareHex;
        result.reason =
            QStringLiteral("hex, %1 bytes: a multiple of %2 expected").arg(bare->size()).arg(kBlock);
        return result;
    }
    result.reason = QStringLiteral("no EDID found: neither raw nor hex, nor any form of EDID text read");
    return result;
}

std::optional<EdidWriteFormat> edidWriteFormatNamed(QStringView name) {
    if (name == u"raw") {
        return EdidWriteFormat::Raw;
    }
    if (name == u"hex") {
        return EdidWriteFormat::Hex;
    }
    if (name == u"carray") {
        return EdidWriteFormat::CArray;
    }
    if (name == u"inf") {
        return EdidWriteFormat::Inf;
    }
    return std::nullopt;
}

namespace {

QByteArray spacedHex(std::span<const uint8_t> edid) {
    QByteArray text;
    for (size_t i = 0; i < edid.size(); ++i) {
        text += edidByteText(edid[i]).toLatin1();
        text += edidByteEndsLine(static_cast<int>(i)) ? '\n' : ' ';
    }
    if (!text.isEmpty() && !text.endsWith('\n')) {
        text.back() = '\n';
    }
    return text;
}

// As edid-decode writes it with -o carray: eight bytes a line after a tab, a blank line
// between blocks.
QByteArray cArray(std::span<const uint8_t> edid) {
    constexpr size_t kPerLine = 8;
    QByteArray text = "const unsigned char edid[] = {\n";
    for (size_t i = 0; i < edid.size(); ++i) {
        const char digits[] = {'0', 'x', hexdigits::kLower[edid[i] >> 4], hexdigits::kLower[edid[i] & 0x0F],
                               ','};
        text += i % kPerLine == 0 ? "\t" : " ";
        text += QByteArrayView(digits, sizeof digits);
        if (i % kPerLine == kPerLine - 1 || i + 1 == edid.size()) {
            text += '\n';
        }
        // A blank line between blocks.
        if (i % kBlock == kBlock - 1 && i + 1 < edid.size()) {
            text += '\n';
        }
    }
    return text + "};\n";
}

// The monitor's name from its name descriptor, fit for an .inf's strings; "Monitor" without one.
QByteArray monitorName(std::span<const uint8_t> edid) {
    constexpr size_t kFirstDescriptor = 54;
    constexpr size_t kDescriptorSize = 18;
    constexpr size_t kDescriptors = 4;
    constexpr uint8_t kNameTag = 0xFC;
    constexpr size_t kTextStart = 5;
    QByteArray name;
    for (size_t d = 0; d < kDescriptors && name.isEmpty(); ++d) {
        const size_t at = kFirstDescriptor + d * kDescriptorSize;
        if (at + kDescriptorSize > edid.size() || edid[at] != 0 || edid[at + 1] != 0 ||
            edid[at + 3] != kNameTag) {
            continue;
        }
        for (size_t i = at + kTextStart; i < at + kDescriptorSize && edid[i] != '\n'; ++i) {
            const char c = static_cast<char>(edid[i]);
            const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                               c == ' ' || c == '-' || c == '.' || c == '_' || c == '+';
            name += plain ? c : '_';
        }
        name = name.trimmed();
    }
    return name.isEmpty() ? QByteArray("Monitor") : name;
}

// Windows' hardware ID of the monitor: MONITOR\ and its manufacturer and product code (GSMC0A0).
QByteArray hardwareId(std::span<const uint8_t> edid) {
    constexpr size_t kManufacturer = 8;
    constexpr size_t kProduct = 10;
    constexpr int kLetterBits = 5;
    constexpr unsigned kLetterMask = 0x1F;
    QByteArray id = "MONITOR\\";
    if (edid.size() < kProduct + 2) {
        return id + "Default_Monitor";
    }
    const unsigned packed = static_cast<unsigned>(edid[kManufacturer]) << 8 | edid[kManufacturer + 1];
    for (const int shift : {2 * kLetterBits, kLetterBits, 0}) {
        const unsigned letter = packed >> shift & kLetterMask;
        id += (letter >= 1 && letter <= 26) ? static_cast<char>('A' + letter - 1) : 'X';
    }
    const unsigned product = static_cast<unsigned>(edid[kProduct + 1]) << 8 | edid[kProduct];
    return id + QByteArray::number(product, 16).toUpper().rightJustified(4, '0');
}

// A monitor .inf that gives Windows this EDID instead of the monitor's: Device Manager, the
// monitor, Update driver, Browse, Let me pick, Have Disk. One value of 128 bytes per block.
QByteArray windowsInf(std::span<const uint8_t> edid) {
    const QByteArray id = hardwareId(edid);
    const QByteArray name = monitorName(edid);
    QByteArray text;
    const auto line = [&text](const QByteArray &content) { text += content + "\r\n"; };
    line("; An EDID override for " + name + " (" + id + "), written by veltrika.");
    line("; Install: Device Manager, the monitor, Update driver, Browse my computer, Let me pick,");
    line("; Have Disk, this file. Windows then reads the EDID below instead of the monitor's.");
    line("");
    line("[Version]");
    line("Signature=\"$WINDOWS NT$\"");
    line("Class=Monitor");
    line("ClassGUID={4d36e96e-e325-11ce-bfc1-08002be10318}");
    line("Provider=%Provider%");
    line("DriverVer=01/01/2025,1.0.0.0");
    line("");
    line("[Manufacturer]");
    line("%Provider%=Monitors,NTx86,NTamd64,NTarm64");
    for (const char *platform : {"NTx86", "NTamd64", "NTarm64"}) {
        line("");
        line(QByteArray("[Monitors.") + platform + "]");
        line("%Monitor%=Install," + id);
    }
    line("");
    line("[Install]");
    line("");
    line("[Install.HW]");
    line("AddReg=EdidOverride");
    line("");
    line("[EdidOverride]");
    for (size_t block = 0; block * kBlock < edid.size(); ++block) {
        QByteArray row =
            "HKR,EDID_OVERRIDE,\"" + QByteArray::number(static_cast<qulonglong>(block)) + "\",0x01,";
        for (size_t i = 0; i < static_cast<size_t>(kBlock); ++i) {
            const uint8_t byte = edid[block * kBlock + i];
            const char digits[] = {'0', 'x', hexdigits::kUpper[byte >> 4], hexdigits::kUpper[byte & 0x0F]};
            row += QByteArrayView(digits, sizeof digits);
            if (i + 1 == static_cast<size_t>(kBlock)) {
                line(row);
            } else if (i % kBytesPerRow == kBytesPerRow - 1) {
                line(row + ",\\");
                row = "    ";
            } else {
                row += ',';
            }
        }
    }
    line("");
    line("[Strings]");
    line("Provider=\"VELTRIKA Utility\"");
    line("Monitor=\"" + name + " (EDID override)\"");
    return text;
}

} // namespace

QByteArray writeEdidFileContent(std::span<const uint8_t> edid, EdidWriteFormat format) {
    switch (format) {
    case EdidWriteFormat::Raw:
        break;
    case EdidWriteFormat::Hex:
        return spacedHex(edid);
    case EdidWriteFormat::CArray:
        return cArray(edid);
    case EdidWriteFormat::Inf:
        return windowsInf(edid);
    }
    return {reinterpret_cast<const char *>(edid.data()), static_cast<qsizetype>(edid.size())};
}
