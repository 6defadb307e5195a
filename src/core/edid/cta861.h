#pragma once
// The vocabulary of CTA-861, written once: the data block tags and extended tags, the
// vendors' OUIs, short video and audio descriptors, the FRL rates, sample rates, EOTFs and
// speakers, and the one walk over a CTA block's data block collection that the decoder
// (edid_decode.h) and the model (edid_model.h) both take, with its bounds and findings.

#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace edid {

namespace cta {

constexpr uint8_t kExtensionTag = 0x02; // byte 0 of a CTA-861 extension block
constexpr size_t kHeaderBytes = 4;      // tag, revision, timing offset, flags
constexpr size_t kContentBytes = 127;   // all but the checksum
constexpr size_t kDetailedTimingBytes = 18;

// The data blocks by their tag (bits 7-5 of the header byte) and, for tag 7, by their
// extended tag (the first payload byte): Tag or Ext, constant, value, name.
#define EDID_CTA_DATA_BLOCKS(X)                                                                              \
    X(Tag, Audio, 1, "Audio Data Block")                                                                     \
    X(Tag, Video, 2, "Video Data Block")                                                                     \
    X(Tag, Vendor, 3, "Vendor-Specific Data Block")                                                          \
    X(Tag, Speakers, 4, "Speaker Allocation Data Block")                                                     \
    X(Tag, VesaTransfer, 5, "VESA Display Transfer Characteristics Data Block")                              \
    X(Tag, Extended, 7, "")                                                                                  \
    X(Ext, VideoCapability, 0, "Video Capability Data Block")                                                \
    X(Ext, VendorVideo, 1, "Vendor-Specific Video Data Block")                                               \
    X(Ext, VesaDisplayDevice, 2, "VESA Video Display Device Data Block")                                     \
    X(Ext, VesaTimingBlock, 3, "VESA Video Timing Block Extension")                                          \
    X(Ext, Colorimetry, 5, "Colorimetry Data Block")                                                         \
    X(Ext, HdrStatic, 6, "HDR Static Metadata Data Block")                                                   \
    X(Ext, HdrDynamic, 7, "HDR Dynamic Metadata Data Block")                                                 \
    X(Ext, NativeResolution, 8, "Native Video Resolution Data Block")                                        \
    X(Ext, VideoFormatPreference, 13, "Video Format Preference Data Block")                                  \
    X(Ext, Ycbcr420Video, 14, "YCbCr 4:2:0 Video Data Block")                                                \
    X(Ext, Ycbcr420Map, 15, "YCbCr 4:2:0 Capability Map Data Block")                                         \
    X(Ext, VendorAudio, 17, "Vendor-Specific Audio Data Block")                                              \
    X(Ext, HdmiAudio, 18, "HDMI Audio Data Block")                                                           \
    X(Ext, RoomConfiguration, 19, "Room Configuration Data Block")                                           \
    X(Ext, SpeakerLocation, 20, "Speaker Location Data Block")                                               \
    X(Ext, Infoframe, 32, "InfoFrame Data Block")                                                            \
    X(Ext, DisplayIdTypeVii, 34, "DisplayID Type VII Video Timing Data Block")                               \
    X(Ext, DisplayIdTypeViii, 35, "DisplayID Type VIII Video Timing Data Block")                             \
    X(Ext, DisplayIdTypeX, 42, "DisplayID Type X Video Timing Data Block")                                   \
    X(Ext, HdmiForumOverride, 120, "HDMI Forum EDID Extension Override Data Block")                          \
    X(Ext, HdmiForumScdb, 121, "HDMI Forum Sink Capability Data Block")

// The vendor-specific blocks, which start with their vendor's OUI: the data block (tag 3),
// the video data block (extended tag 1) and the audio data block (extended tag 17).
enum VendorBlock : unsigned { kVsdb = 1, kVsvdb = 2, kVsadb = 4 };

// Vendors' OUIs, as the blocks store them least significant byte first: constant, value,
// name, the vendor-specific blocks whose name carries the vendor's.
#define EDID_CTA_OUIS(X)                                                                                     \
    X(Hdmi, 0x000C03, "HDMI", kVsdb)                                                                         \
    X(HdmiForum, 0xC45DD8, "HDMI Forum", kVsdb)                                                              \
    X(Dolby, 0x00D046, "Dolby", kVsvdb | kVsadb)                                                             \
    X(Hdr10Plus, 0x90848B, "HDR10+", kVsvdb)

// kTagAudio, ..., kExtVideoCapability, ...
#define EDID_CTA_CONSTANT(kind, name, value, text) constexpr uint8_t k##kind##name = value;
EDID_CTA_DATA_BLOCKS(EDID_CTA_CONSTANT)
#undef EDID_CTA_CONSTANT
#define EDID_CTA_CONSTANT(name, value, ...) constexpr uint32_t kOui##name = value;
EDID_CTA_OUIS(EDID_CTA_CONSTANT)
#undef EDID_CTA_CONSTANT

// "Audio Data Block", "Vendor-Specific Data Block (HDMI), OUI 00-0C-03", "Unknown Data
// Block (tag 6)", ...; a block of tag 7 without its extended tag has its own name.
QString dataBlockName(uint8_t tag, std::optional<uint8_t> extendedTag, uint32_t oui);

// Which vendor-specific block a data block is, 0 for none.
unsigned vendorBlock(uint8_t tag, std::optional<uint8_t> extendedTag);

// The OUI at the start of the bytes, least significant byte first; 0 when they are fewer than 3.
uint32_t ouiOf(std::span<const uint8_t> bytes);
// The OUI of a vendor-specific block (tag 3, or tag 7 with extended tag 1 or 17) from its
// payload (the bytes after the header byte), else 0.
uint32_t blockOui(uint8_t tag, std::span<const uint8_t> payload);

// --- Short descriptors --------------------------------------------------------------------

// A short video descriptor: codes 129 to 192 are VIC 1 to 64 marked native; 0, 128, 254
// and 255 are reserved.
constexpr bool svdNative(uint8_t svd) {
    return svd > 128 && svd <= 192;
}
constexpr uint8_t svdVic(uint8_t svd) {
    return svdNative(svd) ? static_cast<uint8_t>(svd & 0x7F) : svd;
}
constexpr bool svdReserved(uint8_t svd) {
    return svd == 0 || svd == 128 || svd >= 254;
}

constexpr size_t kSadBytes = 3;
// A short audio descriptor's coding (bits 6-3 of its first byte) and, for coding 15, its
// extended coding (bits 7-3 of its third byte).
constexpr uint8_t sadCoding(std::span<const uint8_t> sad) {
    return (sad[0] >> 3) & 0x0F;
}
constexpr uint8_t sadExtendedCoding(std::span<const uint8_t> sad) {
    return sad[2] >> 3;
}
// "LPCM", "AC-3", "E-AC-3", "MAT (TrueHD)", "DTS-HD", "MPEG-H 3D Audio", ...
QString audioCodingName(uint8_t coding, uint8_t extendedCoding);

// --- The data block collection ------------------------------------------------------------

// One data block of the collection.
struct DataBlock {
    uint8_t tag = 0;
    std::optional<uint8_t> extendedTag; // a block of tag 7 with at least one payload byte
    std::span<const uint8_t> payload;   // the bytes after the header byte (for tag 7 the extended tag first)
    size_t offset = 0;                  // of the header byte in the CTA block

    // The payload after the extended tag; the whole payload of other tags.
    std::span<const uint8_t> body() const { return extendedTag ? payload.subspan(1) : payload; }
    uint32_t oui() const { return blockOui(tag, payload); }
    unsigned vendorBlock() const { return cta::vendorBlock(tag, extendedTag); }
};

// Where the timing offset (byte 2) points: nowhere (0: no data blocks, no timings), into
// the header (1 to 3), into the block (4 to 127) or past its checksum.
enum class TimingOffset { None, InHeader, InBlock, PastBlock };

// A CTA block's layout as its header states it: the data block collection from byte 4 up
// to the timing offset (only revision 3 and later hold data blocks), its whole data blocks
// in order, then the detailed timings. A data block whose stated length runs past the
// collection ends the walk: the bytes after it mean nothing certain.
class CtaLayout {
public:
    explicit CtaLayout(std::span<const uint8_t, 128> block);

    class Iterator {
    public:
        Iterator(std::span<const uint8_t, 128> block, size_t at) : block_(block), at_(at) {}
        DataBlock operator*() const;
        Iterator &operator++();
        bool operator!=(const Iterator &other) const { return at_ != other.at_; }

    private:
        std::span<const uint8_t, 128> block_;
        size_t at_;
    };
    struct DataBlocks {
        Iterator first, last;
        Iterator begin() const { return first; }
        Iterator end() const { return last; }
    };

    TimingOffset timingOffset() const { return timingOffset_; }
    // The timing offset within [4, 127], 4 when it is 0: where the collection ends and the
    // timings start.
    size_t collectionEnd() const { return collectionEnd_; }
    // Every whole data block of the collection, in order.
    DataBlocks dataBlocks() const { return {Iterator(block_, kHeaderBytes), Iterator(block_, blocksEnd_)}; }
    // The byte after the last whole data block (4 for revisions 1 and 2).
    size_t blocksEnd() const { return blocksEnd_; }
    // "data block at 43 of length 19 runs past the data block collection (ends at 46)",
    // when one does.
    std::optional<QString> overrun() const;
    // The detailed timings: 18-byte descriptors from the collection's end up to the
    // checksum, ended by one that starts 00 00 (padding, or a display descriptor that a CTA
    // block does not carry); none when the offset is 0.
    size_t timingCount() const { return timingCount_; }
    std::span<const uint8_t> timing(size_t index) const { return slot(index); }
    // Every 18-byte slot from the collection's end up to the checksum, ended by one of 18 zero
    // bytes (padding): the detailed timings, and display descriptors (starting 00 00) between
    // them, as some blocks carry them; none when the offset is 0.
    size_t slotCount() const { return slotCount_; }
    std::span<const uint8_t> slot(size_t index) const {
        return block_.subspan(collectionEnd_ + index * kDetailedTimingBytes, kDetailedTimingBytes);
    }

private:
    std::span<const uint8_t, 128> block_;
    TimingOffset timingOffset_ = TimingOffset::None;
    size_t collectionEnd_ = kHeaderBytes;
    size_t blocksEnd_ = kHeaderBytes;
    bool overrun_ = false;
    size_t timingCount_ = 0;
    size_t slotCount_ = 0;
};

} // namespace cta

// --- Tables ---------------------------------------------------------------------------------

enum class AudioCoding : uint8_t {
    Lpcm = 1,
    Ac3 = 2,
    Mpeg1 = 3,
    Mp3 = 4,
    Mpeg2 = 5,
    AacLc = 6,
    Dts = 7,
    Atrac = 8,
    OneBitAudio = 9,
    EnhancedAc3 = 10,
    DtsHd = 11,
    Mat = 12,
    Dst = 13,
    WmaPro = 14,
    Extended = 15,
};
// The extended codings of coding 15 that the decoder reads more of.
enum class ExtendedAudioCoding : uint8_t {
    MpegH3d = 11,
    Ac4 = 12,
    Lpcm3d = 13,
};

// The sample rates of a short audio descriptor's rate mask, bit 0 first.
constexpr std::array<double, 7> kSampleRatesKhz = {32, 44.1, 48, 88.2, 96, 176.4, 192};
// The sample rates in kHz of a rate mask, highest first: at most the seven of the table, held
// in place.
class AudioRates {
public:
    const double *begin() const { return rates_.data(); }
    const double *end() const { return rates_.data() + count_; }
    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    void push_back(double rate) {
        if (count_ < rates_.size()) {
            rates_[count_++] = rate;
        }
    }

private:
    std::array<double, kSampleRatesKhz.size()> rates_{};
    size_t count_ = 0;
};
AudioRates audioRatesKhz(uint8_t rateMask);

// The VICs of the formats of HDMI VIC 1 to 4, which the HDMI VSDB lists: 3840x2160 at 30, 25
// and 24 Hz and 4096x2160 at 24 Hz.
constexpr std::array<uint8_t, 4> kHdmiVicFormats = {95, 94, 93, 98};

// The FRL rates of the HDMI Forum blocks by code: the link rate over all lanes, and the
// lanes ("3 Gbps x 3 lanes"); codes 7 to 15 are reserved.
struct FrlRate {
    int gbps;
    const char *lanes;
};
constexpr std::array<FrlRate, 7> kFrlRates = {{{0, "none"},
                                               {9, "3 Gbps x 3 lanes"},
                                               {18, "6 Gbps x 3 lanes"},
                                               {24, "6 Gbps x 4 lanes"},
                                               {32, "8 Gbps x 4 lanes"},
                                               {40, "10 Gbps x 4 lanes"},
                                               {48, "12 Gbps x 4 lanes"}}};
// The link rate of an FRL code in Gbps over all its lanes (9, 18, 24, 32, 40, 48), 0 for none
// and for a reserved code.
int frlGbps(uint8_t code);
QString frlText(uint8_t code); // "12 Gbps x 4 lanes (48 Gbps)"
// The FRL code of a link rate in Gbps over all lanes (0, 9, 18, 24, 32, 40, 48).
std::optional<uint8_t> frlCodeOfGbps(int gbps);
// "0, 9, 18, 24, 32, 40, 48"
QString frlGbpsList();

// The EOTFs of the HDR Static Metadata Data Block by bit: the short name of the decoded
// view and the long one of the window's boxes.
struct Eotf {
    const char *shortName;
    const char *name;
};
constexpr std::array<Eotf, 4> kEotfs = {
    {{"SDR", "SDR"}, {"HDR", "Traditional HDR"}, {"PQ", "PQ (SMPTE ST 2084)"}, {"HLG", "HLG"}}};
// "SDR", "HDR", "PQ", "HLG" for the bits set, in that order.
QStringList eotfNames(uint8_t eotfs);

// The speakers of the Speaker Allocation bits in order ("FL/FR", "LFE1", ...): the bits that
// name a speaker, bit 0 first.
constexpr int kSpeakerBits = 20;
QString speakerName(int bit);

} // namespace edid
