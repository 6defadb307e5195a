#pragma once
// The 256-byte EDID image the box holds and the utility edits: two 128-byte blocks, each
// ending in the checksum byte that makes the block sum to zero modulo 256.

#include <array>
#include <cstdint>
#include <span>

constexpr uint32_t kEdidImageSize = 256;
constexpr int kEdidBlockSize = 128;
constexpr int kEdidChecksum0 = kEdidBlockSize - 1;
constexpr int kEdidChecksum1 = static_cast<int>(kEdidImageSize) - 1;

using EdidImage = std::array<uint8_t, kEdidImageSize>;

// The byte that makes the 128 bytes of a block sum to zero modulo 256 in its last place.
uint8_t edidBlockChecksum(std::span<const uint8_t, kEdidBlockSize> block);

// True when bytes 127 and 255 both hold the checksums of their blocks.
bool edidChecksumsRight(std::span<const uint8_t, kEdidImageSize> image);
// Writes the checksums of both blocks into bytes 127 and 255.
void setEdidChecksums(std::span<uint8_t, kEdidImageSize> image);
