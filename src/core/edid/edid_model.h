#pragma once
// An EDID of two blocks (the base block and one extension) held close to its bytes so that
// it can be edited by meaning and written back: the base block as it stands, and a CTA-861
// extension as its header, its data blocks in order (each its payload bytes) and its
// detailed timings. What no edit touches is written back byte for byte; the encoder lays
// the data blocks out in order, then the timings, pads, sets the timing offset and the
// checksums. An edit either fits the 127 bytes of the CTA block's content or is refused
// with the number of bytes missing and what it would have made, for edid_fit.h to propose
// what to leave out; a refused edit leaves the model as it was.

#include "core/base/decode_findings.h"
#include "core/edid/cta861.h"
#include "core/edid/edid_image.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace edid {

constexpr int kCtaContentBytes = static_cast<int>(cta::kContentBytes); // all but the checksum
constexpr int kDataBlockPayloadMax = 31;
constexpr int kTimingBytes = static_cast<int>(cta::kDetailedTimingBytes);

// One data block of the collection: the three tag bits of its header and the bytes after
// the header (for tag 7 the extended tag first).
struct CtaDataBlock {
    uint8_t tag = 0;
    uint8_t length = 0;
    std::array<uint8_t, kDataBlockPayloadMax> payload{};

    std::span<const uint8_t> bytes() const { return std::span<const uint8_t>(payload).first(length); }
    std::optional<uint8_t> extendedTag() const;
    // The OUI of a vendor-specific block (tag 3, or tag 7 with extended tag 1 or 17), else 0.
    uint32_t oui() const;
};

using TimingBytes = std::array<uint8_t, kTimingBytes>;

struct EdidModel {
    enum class Extension { None, Cta, Other };

    bool valid = false; // at least one block of 128 bytes
    std::array<uint8_t, 128> base{};
    Extension extension = Extension::None;
    // Block 1 as read. A non-CTA extension and a CTA block whose layout cannot be read back
    // exactly are written from here unchanged (so is one whose collection runs past its
    // timing offset); a CTA block takes bytes 0, 1 and 3 (tag,
    // revision, flags), the unread rest of the collection and the padding from here.
    std::array<uint8_t, 128> block1{};
    bool ctaEditable = false;
    QString ctaProblem; // why a CTA block is carried unchanged
    std::vector<CtaDataBlock> dataBlocks;
    uint8_t collectionTailStart = 4; // bytes [tail start, timing offset) of block1: no whole data block
    uint8_t collectionEnd = 4;       // the timing offset as read
    std::vector<TimingBytes> timings;
    uint8_t paddingStart = 4; // padding as read: kept while the layout ends where it did
    bool timingOffsetZero = false;
    // What reading the source noticed: blocks dropped, checksums corrected, a CTA block
    // carried unchanged.
    Findings findings;
};

// Reads up to the first two blocks of an EDID image of any size.
EdidModel readEdidModel(std::span<const uint8_t> bytes);

// 128 bytes for a base block alone, else 256; the checksums are right. Empty for an
// invalid model and for one whose CTA block holds more than its bytes (an edit's
// `unfitted` model, to be fitted first).
std::vector<uint8_t> encodeEdidModel(const EdidModel &model);
// The same into an image, zeros after them; how many bytes were written (0, 128 or 256).
size_t encodeEdidModel(const EdidModel &model, EdidImage &out);

// Bytes the CTA block's header, data blocks and timings take, at most kCtaContentBytes.
int ctaContentBytes(const EdidModel &model);

struct EditOutcome {
    bool ok = true;
    int missingBytes = 0; // refused for space: the bytes the CTA block would need more
    QString reason;       // why the edit was refused
    // Refused for space: the model the edit made, over the CTA block's bytes. It is never
    // encoded so; edid_fit.h proposes what to leave out of it.
    std::shared_ptr<const EdidModel> unfitted;
};

// --- Edits: each leaves the model as it was when refused ---------------------------------

// The Display Product Name descriptor: up to 13 printable ASCII characters. A source
// without one takes it in place of a dummy descriptor.
EditOutcome setProductName(EdidModel &model, const QString &name);

// The base block's extension count set to the blocks the model holds: on purpose only,
// never by another edit.
EditOutcome fitExtensionCount(EdidModel &model);

// Video Data Block: removes every descriptor of the VIC (also from the YCbCr 4:2:0 Video
// Data Block, and the HDMI VSDB's HDMI VIC of its format); the 4:2:0 capability map follows
// the descriptors.
EditOutcome removeVic(EdidModel &model, uint8_t vic);
// Appends a VIC of the video format table to the Video Data Block.
EditOutcome addVic(EdidModel &model, uint8_t vic);
// Marks the VIC (1 to 64, already listed) native, and no other.
EditOutcome setNativeVic(EdidModel &model, uint8_t vic);
// The 4:2:0 capability map's bit for a listed VIC.
EditOutcome setYcbcr420Capable(EdidModel &model, uint8_t vic, bool capable);
// The YCbCr 4:2:0 Video Data Block (VICs sent only as 4:2:0).
EditOutcome addYcbcr420OnlyVic(EdidModel &model, uint8_t vic);
EditOutcome removeYcbcr420OnlyVic(EdidModel &model, uint8_t vic);

// Audio: the Audio Data Blocks of another EDID in place of this one's, with its Speaker
// Allocation and, where it has one, its Room Configuration and the Speaker Location blocks
// that go with it, each in place of this one's or added after the audio.
EditOutcome takeAudioBlock(EdidModel &model, const EdidModel &from);
// FORMAT is a decoder name ("LPCM", "AC-3", "E-AC-3", "MAT (TrueHD)", "DTS-HD", ...), any
// case; "MLP" and "TrueHD" name MAT as well.
EditOutcome removeAudioFormat(EdidModel &model, const QString &format);
// Channels 1 to 8 (not for the extended codes), rates as the descriptor's mask (bit 0:
// 32 kHz ... bit 6: 192 kHz).
EditOutcome setAudioFormat(EdidModel &model, const QString &format, std::optional<uint8_t> channels,
                           std::optional<uint8_t> rates);
// The three payload bytes, first in bits 0-7.
EditOutcome setSpeakerAllocation(EdidModel &model, uint32_t allocation);

// HDR Static Metadata: the EOTF bits and the luminance codes as stored (max, max frame
// average, min: each needs the ones before it).
struct HdrLuminanceCodes {
    std::optional<uint8_t> max, frameAverage, min;
};
EditOutcome setHdrEotfs(EdidModel &model, uint8_t eotfs);
EditOutcome setHdrLuminance(EdidModel &model, const HdrLuminanceCodes &codes);

enum class VendorVideo { DolbyVision, Hdr10Plus };
EditOutcome removeVendorVideoBlock(EdidModel &model, VendorVideo which);
// Another EDID's block in place of this one's, or added.
EditOutcome takeVendorVideoBlock(EdidModel &model, const EdidModel &from, VendorVideo which);

// HDMI Forum (the HF-VSDB or the SCDB, whichever the source has).
EditOutcome setMaxFrl(EdidModel &model, uint8_t code); // 0 to 6
EditOutcome setAllm(EdidModel &model, bool allm);
EditOutcome setVrrRange(EdidModel &model, uint8_t minHz, uint16_t maxHz); // 0-63, 0-1023
EditOutcome setMaxTmdsCharacterRate(EdidModel &model, uint16_t mhz);      // 0, or 345 to 1275 in 5s

// HDMI VSDB: max TMDS clock (5 to 1275 MHz in 5s), deep colour bits (of byte 6: 0x40
// 48-bit, 0x20 36, 0x10 30, 0x08 4:4:4).
EditOutcome setHdmiMaxTmdsClock(EdidModel &model, uint16_t mhz);
EditOutcome setDeepColor(EdidModel &model, uint8_t bits);

// The detailed timing of the VIC that the EDID already holds (base block or CTA block)
// becomes the first of the base block, trading places with the one that was.
EditOutcome setPreferredTimingFromVic(EdidModel &model, uint8_t vic);

// The video of one EDID (base block, physical address, every block but audio, the
// timings) with the audio of another (Audio Data Blocks, Speaker Allocation, the audio
// extended blocks and the basic-audio flag). The extension count is set to one. A merge
// that does not fit is refused with the video source as the model and the merge as
// `unfitted`.
struct MergeOutcome {
    EditOutcome outcome;
    EdidModel model;
};
MergeOutcome mergeEdids(const EdidModel &video, const EdidModel &audio);

} // namespace edid
