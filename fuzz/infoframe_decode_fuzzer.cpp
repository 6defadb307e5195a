// The infoframe decoder on any bytes: the first byte picks the form (a whole frame, an HDR
// payload or an AVI payload), the rest is the infoframe, exactly as long as given; the
// rest is also decoded as the HDR capture block of a status tick.

#include "core/infoframe_decode.h"

#include <QJsonDocument>

#include <algorithm>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const auto form = static_cast<infoframe::Form>(data[0] % 3);
    const std::vector<uint8_t> bytes(data + 1, data + size);
    const infoframe::InfoframeDecoded decoded = infoframe::decodeInfoframe(bytes, form);
    // A frame that states a payload it does not hold cannot have its checksum verified.
    if (decoded.payloadBytes > infoframe::kMaxPayload ||
        (decoded.checksumOk && form != infoframe::Form::Frame) ||
        (decoded.checksumOk && bytes.size() < 4u + decoded.length.value_or(0))) {
        std::abort();
    }
    if (infoframe::infoframeDetailLines(decoded).isEmpty()) {
        std::abort();
    }
    QJsonDocument(infoframe::infoframeJson(decoded)).toJson(QJsonDocument::Compact);
    // The same bytes as a capture block holds them, from its first byte.
    proto::ReplyBuffer capture{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), capture.size()), capture.begin());
    if (infoframe::decodeHdrCapture(capture).payloadBytes > infoframe::kHdrPayloadLength) {
        std::abort();
    }
    return 0;
}
