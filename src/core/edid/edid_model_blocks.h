#pragma once
// What the model's edits, its merge and its fit share: finding, making and laying out data
// blocks, the removal of a VIC's descriptors with the 4:2:0 capability map that follows
// them, and the one wrapper that keeps an edit only when it worked and fits. The front ends
// edit through edid_model.h; this is the model's own.

#include "core/edid/edid_model.h"

#include <algorithm>
#include <bitset>

// The helpers that take what to match or do are templates: a std::function of a lambda that
// captures more than two words allocates, and the fuzz target runs them millions of times.

namespace edid::detail {

EditOutcome refused(const QString &reason);

bool isExtended(const CtaDataBlock &b, uint8_t extendedTag);
bool isHdmiForum(const CtaDataBlock &b); // the HF-VSDB or the SCDB
bool isHdmiVsdb(const CtaDataBlock &b);
// The blocks a merge takes from the audio source: the Audio Data Blocks, the Speaker
// Allocation, and the extended audio blocks (vendor-specific audio, HDMI audio, room
// configuration, speaker location).
bool isAudioBlock(const CtaDataBlock &b);

CtaDataBlock makeBlock(uint8_t tag, std::span<const uint8_t> payload);

template <typename Match> CtaDataBlock *findBlock(EdidModel &model, const Match &matches) {
    const auto found = std::find_if(model.dataBlocks.begin(), model.dataBlocks.end(), matches);
    return found == model.dataBlocks.end() ? nullptr : &*found;
}
// Inserts a block after the last of those that match, or at the end.
template <typename Match> void insertAfter(EdidModel &model, const CtaDataBlock &block, const Match &after) {
    const auto last = std::find_if(model.dataBlocks.rbegin(), model.dataBlocks.rend(), after);
    model.dataBlocks.insert(last == model.dataBlocks.rend() ? model.dataBlocks.end() : last.base(), block);
}
// Removes the blocks of the kind whose payload is minLength bytes or shorter.
template <typename Match> void eraseEmpty(EdidModel &model, const Match &kind, size_t minLength) {
    std::erase_if(model.dataBlocks, [&](const CtaDataBlock &b) { return kind(b) && b.length <= minLength; });
}
// Removes the payload bytes [from, from + count) of a block.
void erasePayload(CtaDataBlock &b, size_t from, size_t count);
bool appendPayload(CtaDataBlock &b, std::span<const uint8_t> bytes);
// The payload byte at index of a block, the block grown with zeros to reach it; null past
// the longest payload.
uint8_t *payloadByte(CtaDataBlock &b, size_t index);

// Why the data blocks of a model cannot be edited, if they cannot.
std::optional<EditOutcome> ctaNotEditable(const EdidModel &model);
// The refusal of a model over the CTA block's bytes: "the CTA-861 block holds 127 bytes;
// the <what> needs 11 more", with the model as `unfitted`.
EditOutcome tooBig(EdidModel unfitted, const char *what);
// Runs an edit of the CTA block on a copy and keeps it only when it worked and fits; one
// that does not fit is refused with the bytes missing and what it made (`unfitted`).
template <typename Edit> EditOutcome editCta(EdidModel &model, const Edit &edit) {
    if (const auto notEditable = ctaNotEditable(model)) {
        return *notEditable;
    }
    EdidModel next = model;
    EditOutcome outcome = edit(next);
    if (!outcome.ok) {
        return outcome;
    }
    if (ctaContentBytes(next) > kCtaContentBytes) {
        return tooBig(std::move(next), "edit");
    }
    model = std::move(next);
    return outcome;
}

// "VIC 97 (3840x2160p60)", made once for every code.
QString vicText(uint8_t vic);

// The descriptors of every Video Data Block in order.
std::vector<uint8_t> allSvds(const EdidModel &model);

// The 4:2:0 capability map as one flag per descriptor of the Video Data Blocks (a CTA block
// holds fewer than kMaxDescriptors, and so does the merge of two before it is fitted).
struct CapabilityMap {
    static constexpr size_t kMaxDescriptors = 256;
    std::bitset<kMaxDescriptors> capable;
    size_t count = 0;
    bool empty = false; // the empty map names every descriptor
    size_t length = 0;

    // The flag of the descriptor at index goes, those after it move up.
    void erase(size_t index);
    void append(bool flag);
};
// Nothing without a map.
std::optional<CapabilityMap> capabilityMap(const EdidModel &model);
// Writes the map back for the descriptors as they are now: empty while it names all, else
// as many bytes as its last set bit needs (no fewer than it had, no more than the
// descriptors fill), and no map when it names none.
void writeCapabilityMap(EdidModel &model, const CapabilityMap &map);

// Removes the VIC from every YCbCr 4:2:0 Video Data Block; how many descriptors it had.
int eraseYcbcr420OnlyVic(EdidModel &model, uint8_t vic);
// Removes every descriptor of the VIC from the Video Data Blocks and the YCbCr 4:2:0 Video
// Data Block, the capability map following, and the HDMI VIC of its format; blocks left
// empty go. How many descriptors there were.
int eraseVicEverywhere(EdidModel &model, uint8_t vic);

} // namespace edid::detail
