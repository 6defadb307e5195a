#include "core/edid/edid_image.h"

#include <cstring>
#include <utility>

namespace {

constexpr uint64_t kEvenBytes = 0x00FF00FF00FF00FFull;

// The bytes of eight summed in four 16-bit lanes.
uint64_t laneSum(const uint8_t *bytes) {
    uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return (word & kEvenBytes) + ((word >> 8) & kEvenBytes);
}

template <size_t... Word> uint64_t laneSums(const uint8_t *block, std::index_sequence<Word...>) {
    return (laneSum(block + Word * sizeof(uint64_t)) + ...);
}

} // namespace

uint8_t edidBlockChecksum(std::span<const uint8_t, kEdidBlockSize> block) {
    // Eight bytes at a time, their sums in lanes that cannot overflow in sixteen words, and no
    // loop: the EDID model's fuzz target sums blocks millions of times, and under its coverage
    // every turn of a loop costs a call.
    const uint64_t lanes =
        laneSums(block.data(), std::make_index_sequence<kEdidBlockSize / sizeof(uint64_t)>());
    const unsigned sum = static_cast<unsigned>((lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) +
                                               ((lanes >> 32) & 0xFFFF) + (lanes >> 48)) -
                         block[kEdidChecksum0]; // the checksum byte is no part of the sum
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
