#pragma once
// What the bytes of an EDID mean: the base block, the CTA-861 extensions and the names of
// other extensions, decoded into values. The decoder is a pure function of the bytes: it
// reads no byte past the image or past the length a block states, and collects what is
// wrong as findings instead of stopping, each against a rule of edid_rules.h with its place.
// It reads the blocks a source reads: as many as byte 126 states, or an HDMI Forum EDID
// Extension Override Data Block. Texts and the JSON object are in edid_report.h.

#include "core/base/decode_findings.h"
#include "core/edid/cta861.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace edid {

struct DetailedTiming {
    uint32_t pixelClockKhz = 0;
    uint16_t hActive = 0;
    uint16_t vActive = 0; // lines of the frame: twice the field for an interlaced timing
    uint16_t hBlank = 0;
    uint16_t vBlank = 0;
    uint16_t hFrontPorch = 0;
    uint16_t hSync = 0;
    uint16_t vFrontPorch = 0;
    uint16_t vSync = 0;
    uint16_t hSizeMm = 0;
    uint16_t vSizeMm = 0;
    bool interlaced = false;
    // Bits 1 and 2 of the flags: the sync polarities of digital separate sync (other sync
    // gives them other meanings).
    bool hSyncPositive = false, vSyncPositive = false;
    double refreshHz = 0; // frames, or fields for an interlaced timing, per second
    int block = 0;        // the block it stands in
    uint8_t offset = 0;   // where its 18 bytes start in the block
};

struct StandardTiming {
    uint16_t hActive = 0;
    uint16_t vActive = 0;
    uint8_t refreshHz = 0;
    const char *aspect = "";
};

struct RangeLimits {
    uint16_t minVerticalHz = 0;
    uint16_t maxVerticalHz = 0;
    uint16_t minHorizontalKhz = 0;
    uint16_t maxHorizontalKhz = 0;
    uint16_t maxPixelClockMhz = 0; // 0: not given
    uint8_t offset = 0;            // of the descriptor in block 0
};

// CIE 1931 x/y coordinates as the base block stores them: 10-bit fractions of 1024.
struct Chromaticity {
    double redX = 0, redY = 0, greenX = 0, greenY = 0, blueX = 0, blueY = 0, whiteX = 0, whiteY = 0;
};

struct BaseBlock {
    bool headerRight = false;
    QString manufacturer; // three letters
    uint16_t productCode = 0;
    uint32_t serialNumber = 0;
    uint8_t week = 0; // 0xFF: the year is a model year
    uint16_t year = 0;
    bool modelYear = false;
    uint8_t version = 0;
    uint8_t revision = 0;
    bool digital = false;
    uint8_t widthCm = 0;
    uint8_t heightCm = 0;
    std::optional<double> gamma;
    bool firstTimingPreferred = false;
    bool srgbDefault = false; // sRGB is the default colour space (byte 24, bit 2)
    Chromaticity chromaticity;
    std::array<uint16_t, 8> chromaticityCodes{}; // the ten-bit codes: red x, y, green, blue, white
    std::vector<QString> establishedTimings;     // "640x480@60"
    std::vector<StandardTiming> standardTimings;
    std::vector<DetailedTiming> detailedTimings;
    std::optional<QString> productName; // the first name descriptor that is not empty
    std::vector<QString> productNames;  // every name descriptor, as it stands
    std::optional<QString> serialText;
    std::vector<QString> asciiTexts;
    std::optional<RangeLimits> rangeLimits;
    uint8_t extensionCount = 0; // byte 126
};

// One Short Audio Descriptor.
struct AudioFormat {
    uint8_t code = 0;               // bits 6-3 of the first byte
    uint8_t extendedCode = 0;       // for code 15: bits 7-3 of the third byte
    uint8_t maxChannels = 0;        // bits 2-0 of the first byte plus one
    uint8_t sampleRates = 0;        // bit 0: 32 kHz ... bit 6: 192 kHz
    uint8_t bitDepths = 0;          // LPCM: bit 0: 16, bit 1: 20, bit 2: 24 bits
    uint16_t maxBitrateKbps = 0;    // codes 2 to 8
    uint8_t codeDependent = 0;      // the third byte as it stands
    bool jointObjectCoding = false; // E-AC-3 carrying Dolby Atmos
    bool acmod28 = false;           // E-AC-3: joint object coding with ACMOD 28 as well
    bool matObjectPcm = false;      // MAT: object audio PCM and channel-based PCM besides TrueHD
    bool dtsX = false;              // DTS-HD: DTS:X as well (bit 1 of the third byte)
    // MPEG-H 3D Audio: the level (bits 2-0 of the first byte, 0 unspecified) and the Low
    // Complexity Profile; it and AC-4 state no channel count (maxChannels 0).
    std::optional<uint8_t> mpegHLevel;
    bool mpegHLowComplexity = false;

    bool statesChannels() const { return maxChannels != 0; }
};

// The name of a descriptor's coding: "LPCM", "AC-3", "E-AC-3", "MAT (TrueHD)", "DTS-HD", ...
QString audioFormatName(const AudioFormat &format);

struct VideoDescriptor {
    uint8_t vic = 0;
    bool native = false;
    bool ycbcr420Capable = false; // listed in the 4:2:0 capability map
    uint8_t index = 0;            // among the block's short video descriptors, reserved ones counted
};

struct HdrStatic {
    uint8_t eotfs = 0;       // bit 0 SDR, 1 traditional HDR, 2 PQ (SMPTE ST 2084), 3 HLG
    uint8_t descriptors = 0; // bit 0: static metadata type 1
    std::optional<uint8_t> maxLuminanceCode;
    std::optional<uint8_t> maxFrameAverageCode;
    std::optional<uint8_t> minLuminanceCode;
    std::optional<double> maxLuminance; // cd/m²: 50 * 2^(code / 32)
    std::optional<double> maxFrameAverageLuminance;
    std::optional<double> minLuminance; // max * (code / 255)² / 100; needs the max
};

struct HdmiVsdb {
    uint16_t physicalAddress = 0xFFFF; // a.b.c.d, one nibble each, a first
    bool supportsAi = false;
    bool deepColor48 = false, deepColor36 = false, deepColor30 = false, deepColorY444 = false;
    bool dviDual = false;
    uint16_t maxTmdsMhz = 0; // 0: not stated
    // Latency codes as stated: 0 unknown, 255 no such stream, else (code - 1) * 2 ms.
    std::optional<uint8_t> videoLatency, audioLatency, interlacedVideoLatency, interlacedAudioLatency;
    std::vector<uint8_t> hdmiVics;
    bool present3d = false;
};

struct HdmiForum {
    bool fromScdb = false; // the data block of tag 0x79 rather than the VSDB
    uint8_t version = 0;
    uint16_t maxTmdsMhz = 0; // 0: 340 MHz or less
    bool scdc = false, readRequest = false, ccbpci = false, lte340Scramble = false;
    bool independentView = false, dualView = false, osdDisparity = false;
    uint8_t maxFrlCode = 0; // 0 none, 1: 3 Gbps x 3 lanes ... 6: 12 Gbps x 4 lanes
    bool uhdVic = false, deepColor420_48 = false, deepColor420_36 = false, deepColor420_30 = false;
    bool allm = false, fva = false, negativeMvrr = false, cinemaVrr = false, mDelta = false, qms = false,
         fapaEndExtended = false, fapaStart = false;
    std::optional<uint8_t> vrrMin;
    std::optional<uint16_t> vrrMax;
    bool dsc = false; // DSC 1.2a
    bool dscNative420 = false;
    uint8_t dscMaxFrlCode = 0;
    uint8_t dscMaxSlicesCode = 0;
};
// VRR is supported when the range is stated and not 0 to 0 Hz.
bool vrrSupported(const HdmiForum &forum);

struct DolbyVision {
    uint8_t version = 0;
    uint8_t length = 0;           // bytes of the block after its OUI
    std::optional<int> dmVersion; // version 1 and 2: the major DM version
    bool supports2160p60 = false; // versions 0 and 1
    bool yuv422TwelveBit = false;
    bool globalDimming = false;
    std::optional<uint16_t> targetMinPq; // versions 0 and 2: 12-bit PQ codes
    std::optional<uint16_t> targetMaxPq;
    std::optional<double> targetMinLuminance; // cd/m²
    std::optional<double> targetMaxLuminance;
    std::optional<bool> colorimetryP3; // version 1
    std::optional<uint8_t> interfaceCode;
    std::optional<bool> backlightControl; // version 2
};

// The Dolby Vendor-Specific Audio Data Block.
struct DolbyAudio {
    uint8_t version = 0; // bits 2-0 of the first byte after the OUI, plus one
    uint8_t length = 0;  // bytes of the block after its OUI
    bool headphoneOnly = false;
    bool heightZone = false, surroundZone = false, centerZone = false; // speaker zones (height: Atmos)
    bool matPcm48kOnly = false; // Dolby MAT PCM decoding at 48 kHz only, no TrueHD
};

struct DataBlockEntry {
    uint8_t tag = 0;
    std::optional<uint8_t> extendedTag;
    uint32_t oui = 0;   // of a vendor-specific block, 0 for others
    uint8_t length = 0; // bytes after the header byte
    uint8_t offset = 0; // of the header byte in the block
};
// "Audio Data Block", "Vendor-Specific Data Block (HDMI), OUI 00-0C-03", "Unknown Data Block (tag 6)"
QString dataBlockName(const DataBlockEntry &entry);

struct CtaBlock {
    int block = 0;
    uint8_t revision = 0;
    bool underscan = false, basicAudio = false, ycbcr444 = false, ycbcr422 = false;
    uint8_t nativeDtdCount = 0;
    std::vector<DataBlockEntry> dataBlocks; // every data block in order, known or not
    std::vector<VideoDescriptor> videos;    // the Video Data Blocks' descriptors in order
    size_t svdCount = 0;                    // their short video descriptors, reserved ones counted
    std::vector<uint8_t> ycbcr420OnlyVics;  // YCbCr 4:2:0 Video Data Block
    bool ycbcr420MapPresent = false;
    std::vector<AudioFormat> audio;
    std::optional<uint32_t> speakerAllocation; // the three payload bytes, first in bits 0-7
    std::optional<uint16_t> colorimetry;       // byte 3 in bits 0-7, byte 4 in bits 8-15
    std::optional<uint8_t> videoCapability;
    std::optional<HdrStatic> hdrStatic;
    std::optional<HdmiVsdb> hdmi;
    std::optional<HdmiForum> hdmiForum;
    std::optional<DolbyVision> dolbyVision;
    bool hdr10Plus = false;
    std::optional<uint8_t> hdr10PlusApplicationVersion;
    std::optional<DolbyAudio> dolbyAudio;
    std::vector<DetailedTiming> detailedTimings;
    // The count of extension blocks an HDMI Forum EDID Extension Override Data Block states,
    // standing first in block 1 where a source reads it.
    std::optional<uint8_t> extensionOverride;
};

struct ExtensionEntry {
    int block = 0;
    uint8_t tag = 0;
};
// "CTA-861", "DisplayID", "Block Map", ...
QString extensionName(uint8_t tag);

struct EdidDecoded {
    size_t size = 0;               // bytes given
    std::vector<bool> checksumsOk; // per block decoded
    std::vector<uint8_t> checksums;
    BaseBlock base;
    std::vector<ExtensionEntry> extensions; // blocks 1 and on, in order
    std::vector<CtaBlock> cta;
    Findings findings;
    // The count of extension blocks of an HF-EEODB, which a source takes instead of byte 126.
    std::optional<uint8_t> extensionOverride;

    // The timing the base block marks preferred (its first detailed timing), if any.
    const DetailedTiming *preferredTiming() const;
    // The extension blocks a source reads: the HF-EEODB's count, else byte 126's.
    int extensionsStated() const { return extensionOverride ? *extensionOverride : base.extensionCount; }
    bool valid() const { return size >= 128 && base.headerRight; }
};

// One detailed timing descriptor (its 18 bytes), as it stands in the block given, at the
// offset given there.
DetailedTiming decodeDetailedTiming(std::span<const uint8_t> descriptor, int block, int offset = 0);

// Decodes the image: 128 bytes per block, the blocks the EDID states as far as it holds them
// in full.
EdidDecoded decodeEdid(std::span<const uint8_t> bytes);

// The EDID's manufacturer letters of the big-endian 16-bit ID: three 5-bit letters, 1 = A.
QString manufacturerId(uint8_t high, uint8_t low);

} // namespace edid
