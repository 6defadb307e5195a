// The infoframe decoder on any bytes: the first byte picks the form (a whole frame, an HDR
// payload or an AVI payload), the rest is the infoframe, exactly as long as given; its
// lines and JSON for a fixed share of the inputs.

#include "core/signal/infoframe_report.h"
#include "render_share.h"

#include <QJsonDocument>

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
    if (!fuzzing::rendersInput(data, size)) {
        return 0;
    }
    if (infoframe::infoframeDetailLines(decoded).isEmpty()) {
        std::abort();
    }
    QJsonDocument(infoframe::infoframeJson(decoded)).toJson(QJsonDocument::Compact);
    return 0;
}
