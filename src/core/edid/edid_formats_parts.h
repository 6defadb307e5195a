#pragma once
// What the readers of EDID files share (edid_formats.h is their interface): the text in
// numbered lines, what a form made of it and where it breaks, the small readers of hex they
// all use, and the readers of each family of forms. edid_formats.cpp tells the forms apart
// (and holds what is shared here); edid_formats_tools.cpp reads what edid-decode, xrandr and
// the X servers write and the tables and dumps, edid_formats_windows.cpp Windows' .inf and
// .reg, edid_formats_bare.cpp bare hex and base64; edid_formats_write.cpp writes the forms.

#include "core/base/hex_digits.h"
#include "core/edid/edid_image.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace edid::formats {

constexpr qsizetype kBlock = kEdidBlockSize;
constexpr qsizetype kBytesPerRow = 16;
// How much of a piece of text a reason quotes.
constexpr qsizetype kQuotedLength = 12;

inline bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

inline bool isHex(char c) {
    return hexdigits::isDigit(c);
}

inline QByteArrayView trimmed(QByteArrayView view) {
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

inline bool startsWith(QByteArrayView view, QByteArrayView prefix) {
    return view.size() >= prefix.size() && view.first(prefix.size()) == prefix;
}

bool equalsIgnoringCase(QByteArrayView a, QByteArrayView b);

bool containsIgnoringCase(QByteArrayView view, QByteArrayView part);

inline bool allHex(QByteArrayView view) {
    return !view.isEmpty() && std::all_of(view.begin(), view.end(), isHex);
}

bool startsWithHeader(QByteArrayView bytes);

// A piece of the text as a reason quotes it: short, and no control character in it.
QString quoted(QByteArrayView view);

inline uint8_t byteOf(QByteArrayView twoDigits) {
    return hexdigits::pairValue(twoDigits[0], twoDigits[1]);
}

// The value of one or two hex digits, with or without "0x"; none for anything else.
std::optional<uint8_t> byteValue(QByteArrayView token);

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

Outcome failAt(qsizetype lineNumber, const QString &what);

// The outcome of a form whose mark stands at line `index` (counted from 0).
Outcome begunAt(qsizetype index);

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

Groups readGroups(QByteArrayView payload, QByteArray &out);

// A line that means to hold bytes: its first word is two hex digits.
bool startsWithByte(QByteArrayView line);

// The readers of the forms with a mark of their own, in edid_formats_tools.cpp and
// edid_formats_windows.cpp: none where the text bears no mark of the form, else the bytes
// or what breaks the form and where.
std::optional<Outcome> readEdidDecodeHex(const Lines &lines);
std::optional<Outcome> readCArray(const Lines &lines);
std::optional<Outcome> readQuantumDataXml(const Lines &lines);
std::optional<Outcome> readXrandr(const Lines &lines);
std::optional<Outcome> readXorgLog(const Lines &lines);
std::optional<Outcome> readNvidiaLog(const Lines &lines);
std::optional<Outcome> readBarTable(const Lines &lines);
std::optional<Outcome> readAsciiDump(const Lines &lines);
std::optional<Outcome> readInfOverride(const Lines &lines);
std::optional<Outcome> readInfComment(const Lines &lines);
std::optional<Outcome> readReg(const Lines &lines);

// Bare hex and base64, in edid_formats_bare.cpp: the bytes, or none where the text is not
// that form.
std::optional<QByteArray> readBareHex(QByteArrayView text);
std::optional<QByteArray> readBase64(QByteArrayView text);

} // namespace edid::formats
