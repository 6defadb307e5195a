// The one reader of EDID files on any content: what it reads is whole blocks (raw and the
// window's text apart), what it refuses says why, and every form the command line writes of
// what it read reads back to the same bytes.

#include "core/edid/edid_formats.h"

#include <cstdlib>
#include <span>

namespace {
constexpr qsizetype kBlock = 128;
constexpr qsizetype kWindowTextBytes = 256;

void require(bool holds) {
    if (!holds) {
        std::abort();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const EdidFileContent content = readEdidFileContent(std::span<const uint8_t>(data, size));
    // A place is a line of the text, counted from 1.
    for (const char *nowhere : {"line 0:", "line 0,", "line -", "column 0", "column -"}) {
        require(!content.reason.contains(QLatin1String(nowhere)));
    }
    if (!content.format) {
        require(!content.ok() && content.bytes.isEmpty());
        return 0;
    }
    if (!content.ok()) {
        require(content.bytes.isEmpty() || *content.format == EdidFileFormat::SpacedHex);
        return 0;
    }
    require(!content.bytes.isEmpty());
    switch (*content.format) {
    case EdidFileFormat::Raw:
        require(content.bytes ==
                QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
        return 0;
    case EdidFileFormat::SpacedHex:
        require(content.bytes.size() <= kWindowTextBytes && !content.text.isEmpty());
        return 0;
    default:
        break;
    }
    require(content.bytes.size() % kBlock == 0 && content.text.isEmpty());
    const std::span<const uint8_t> edid(reinterpret_cast<const uint8_t *>(content.bytes.constData()),
                                        static_cast<size_t>(content.bytes.size()));
    for (const EdidWriteFormat format :
         {EdidWriteFormat::Raw, EdidWriteFormat::Hex, EdidWriteFormat::CArray, EdidWriteFormat::Inf}) {
        const QByteArray file = writeEdidFileContent(edid, format);
        const EdidFileContent again = readEdidFileContent(QByteArrayView(file));
        // Raw bytes need a first byte of zero to read as raw; any other first byte is text.
        if (format == EdidWriteFormat::Raw && content.bytes.front() != 0) {
            continue;
        }
        require(again.ok() && again.bytes == content.bytes);
    }
    return 0;
}
