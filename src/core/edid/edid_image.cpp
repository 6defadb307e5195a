#include "core/edid/edid_image.h"

uint8_t edidBlockChecksum(std::span<const uint8_t, kEdidBlockSize> block) {
    unsigned sum = 0;
    for (size_t i = 0; i + 1 < block.size(); ++i) {
        sum += block[i];
    }
    return static_cast<uint8_t>(0x100 - (sum & 0xFF));
}

bool edidChecksumsRight(std::span<const uint8_t, kEdidImageSize> image) {
    return image[kEdidChecksum0] == edidBlockChecksum(image.first<kEdidBlockSize>()) &&
           image[kEdidChecksum1] == edidBlockChecksum(image.last<kEdidBlockSize>());
}

void setEdidChecksums(std::span<uint8_t, kEdidImageSize> image) {
    image[kEdidChecksum0] = edidBlockChecksum(image.first<kEdidBlockSize>());
    image[kEdidChecksum1] = edidBlockChecksum(image.last<kEdidBlockSize>());
}
