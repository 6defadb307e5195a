// The reader of EDID files: tells the forms apart, in the order edid_formats.h gives, and
// holds the small readers of hex that every form's reader shares.

#include "core/edid/edid_formats.h"

#include "core/edid/edid_check.h"
#include "core/edid/edid_file.h"
#include "core/edid/edid_formats_parts.h"
#include "core/edid/edid_image.h"
#include "core/edid/spaced_hex.h"

#include <algorithm>
#include <array>
#include <initializer_list>

namespace edid::formats {

namespace {

constexpr std::array<uint8_t, 8> kHeader = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

} // namespace

bool equalsIgnoringCase(QByteArrayView a, QByteArrayView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool containsIgnoringCase(QByteArrayView view, QByteArrayView part) {
    return QLatin1String(view.data(), view.size())
        .contains(QLatin1String(part.data(), part.size()), Qt::CaseInsensitive);
}

bool startsWithHeader(QByteArrayView bytes) {
    return bytes.size() >= static_cast<qsizetype>(kHeader.size()) &&
           std::equal(kHeader.begin(), kHeader.end(), reinterpret_cast<const uint8_t *>(bytes.data()));
}

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

std::optional<uint8_t> byteValue(QByteArrayView token) {
    if (startsWith(token, "0x") || startsWith(token, "0X")) {
        token = token.sliced(2);
    }
    if (token.isEmpty() || token.size() > 2 || !allHex(token)) {
        return std::nullopt;
    }
    return token.size() == 1 ? hexdigits::value(token[0]) : byteOf(token);
}

Outcome failAt(qsizetype lineNumber, const QString &what) {
    Outcome outcome;
    outcome.failure = QStringLiteral("line %1: %2").arg(lineNumber).arg(what);
    return outcome;
}

Outcome begunAt(qsizetype index) {
    Outcome outcome;
    outcome.markerLine = index + 1;
    return outcome;
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

bool startsWithByte(QByteArrayView line) {
    const QByteArrayView text = trimmed(line);
    return text.size() >= 2 && isHex(text[0]) && isHex(text[1]) && (text.size() == 2 || isBlank(text[2]));
}

} // namespace edid::formats

using namespace edid::formats;

namespace {

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
