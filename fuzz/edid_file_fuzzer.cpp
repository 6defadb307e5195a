// The EDID file loader's conversion on any file of up to 4096 bytes, as the loader reads
// it (the first 1024 bytes into a cleared area) and on the bytes alone.

#include "core/edid/edid_file.h"
#include "core/edid/spaced_hex.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace {
constexpr size_t kLargestFile = 4096;

void checkText(const QByteArray &text, size_t inputSize) {
    // Line ends only ever shrink; the text stops at the first zero byte.
    if (static_cast<size_t>(text.size()) > inputSize || text.contains('\0')) {
        std::abort();
    }
    std::array<uint8_t, kEdidImageSize> image{};
    parseEdidText(QString::fromLatin1(text), image);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > kLargestFile) {
        return 0;
    }
    std::array<uint8_t, kEdidFileReadSize> area{};
    std::copy_n(data, std::min(size, area.size()), area.begin());
    if (edidFileIsRaw(area)) {
        const auto image = edidFileImage(area);
        std::array<uint8_t, kEdidImageSize> again{};
        if (parseEdidText(formatEdidText(image), again) != kEdidImageSize ||
            !std::equal(again.begin(), again.end(), image.begin())) {
            std::abort();
        }
    } else {
        checkText(edidTextFromFile(area), area.size());
    }
    // Exactly the file's bytes, on the heap: the look-ahead past a line end stays inside.
    const std::vector<uint8_t> bytes(data, data + size);
    checkText(edidTextFromFile(bytes), size);
    return 0;
}
