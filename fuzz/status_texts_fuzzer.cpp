// The status-text builders and the capture decode on any reply blocks, and the video format
// names on any code.

#include "core/box/status_texts.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
constexpr qsizetype kLongestLine = 512;

void check(const QString &text) {
    if (text.size() > kLongestLine) {
        std::abort();
    }
    for (const QChar c : text) {
        if (c.unicode() > 0xFF) {
            std::abort();
        }
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    proto::ReplyBuffer block{};
    std::copy_n(data, std::min(size, block.size()), block.begin());
    check(status::inputLine(block));
    check(status::colourSpaceLine(block));
    check(status::sourceInfoLine(block));
    check(status::hdrLine(block));
    check(status::hdrCaptureDump(block));
    if (status::decodeHdrCapture(block).payloadBytes > infoframe::kHdrPayloadLength) {
        std::abort();
    }
    if (size >= 2) {
        const char *name = status::lookupVideoFormatName(static_cast<uint16_t>(data[0] | data[1] << 8));
        if (name == nullptr || std::strlen(name) > 64) {
            std::abort();
        }
    }
    return 0;
}
