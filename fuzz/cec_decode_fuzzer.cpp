// The CEC decoder on any bytes, exactly as long as given; its lines and JSON for a fixed
// share of the inputs.

#include "core/signal/cec_report.h"
#include "render_share.h"

#include <QJsonDocument>

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    const cec::CecDecoded decoded = cec::decodeCec(bytes);
    // Operands after the header and opcode, and never more than a message holds.
    if (decoded.operandBytes.size() > cec::kMaxMessageBytes - 2 || decoded.empty != (size == 0)) {
        std::abort();
    }
    if (!fuzzing::rendersInput(data, size)) {
        return 0;
    }
    if (cec::cecDetailLines(decoded).isEmpty()) {
        std::abort();
    }
    QJsonDocument(cec::cecJson(decoded)).toJson(QJsonDocument::Compact);
    return 0;
}
