// The EDID decoder on any bytes: the image exactly as given, on the heap, so that a read
// past its end is caught (libFuzzer hands every input over in a heap copy of its exact
// length); then, for a fixed share of the inputs, every front-end form of what was decoded.

#include "core/edid/edid_decode.h"
#include "core/edid/edid_report.h"
#include "render_share.h"

#include <QJsonDocument>

#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const edid::EdidDecoded decoded = edid::decodeEdid(std::span<const uint8_t>(data, size));
    // One verdict per block decoded, and never a block the bytes do not hold in full.
    if (decoded.checksumsOk.size() != decoded.checksums.size() || decoded.checksumsOk.size() > size / 128 ||
        decoded.cta.size() > decoded.extensions.size()) {
        std::abort();
    }
    for (const edid::CtaBlock &cta : decoded.cta) {
        if (cta.detailedTimings.size() > 6 || cta.videos.size() > 123) {
            std::abort();
        }
    }
    if (!fuzzing::rendersInput(data, size)) {
        return 0;
    }
    if (edid::edidDetailLines(decoded).isEmpty()) {
        std::abort();
    }
    QJsonDocument(edid::edidJson(decoded)).toJson(QJsonDocument::Compact);
    const edid::EdidSummary summary = edid::edidSummary(decoded);
    edid::compareSummaries({summary, summary});
    return 0;
}
