#pragma once
// What to leave out of an EDID whose CTA-861 block holds more than its 127 bytes, ranked by
// how little a user loses: formats beyond the box's link (it cannot pass them anyway),
// detailed timings that a VIC or the base block states as well, audio descriptors that a
// richer one of the same coding covers, blocks no source reads, the 4096-wide twins of
// 3840-wide formats, and last HDMI VICs that the Video Data Block lists as VICs too (only
// sources older than HDMI 2.0 read them there, and without them they see no 4K at all). Each candidate says
// what it is, the bytes it saves and what is lost, in words. No candidate takes away an audio coding, a block
// a source reads, or a format the box passes that no other VIC of its size and rate stands for: the video and
// the audio asked for stay.

#include "core/edid/edid_decode.h"
#include "core/edid/edid_model.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace edid {

// What a box passes on its link, as the box's own EDID states it.
struct LinkLimit {
    int maxTmdsMhz = 0; // TMDS character rate
    int maxFrlGbps = 0; // 0: no FRL
};
// The HDMI Forum block's max TMDS character rate (when it states one over 340 MHz), else the
// HDMI VSDB's max TMDS clock, and the max FRL rate; nothing when it states no TMDS rate.
std::optional<LinkLimit> linkLimitOf(const EdidDecoded &decoded);
// The highest pixel clock in kHz the link carries a format at (in RGB, 8 bits).
uint64_t linkCapacityKhz(const LinkLimit &link);
// "600 MHz TMDS, no FRL", "600 MHz TMDS, FRL 48 Gbps"
QString linkLimitText(const LinkLimit &link);

// Whether a detailed timing carries the format of the VIC: its size, scan, rate and clock
// (these two within 0.5 %).
bool timingIsVic(const DetailedTiming &timing, uint8_t vic);
// Whether two detailed timings are the same raster and clock (their image sizes aside).
bool sameTiming(const DetailedTiming &a, const DetailedTiming &b);

enum class FitCut : uint8_t {
    BeyondLink,     // a format above the link's rate
    RepeatedTiming, // a detailed timing or HDMI VIC that a VIC or the base block states as well
    ShadowedAudio,  // an audio descriptor that another of the same coding covers
    UnusedBlock,    // a data block no source reads
    WideTwin,       // a 4096-wide format whose 3840-wide twin stays
};
// "beyond-link", "repeated-timing", "shadowed-audio", "unused-block", "4096-twin"
QString fitCutName(FitCut cut);

// One thing to leave out, with the bytes it saves; its words are made when asked for
// (fitCandidateWhat, fitCandidateLoses): a fit that only applies them needs none.
struct FitCandidate {
    FitCut cut = FitCut::BeyondLink;
    int bytes = 0; // what leaving it out alone saves of the CTA block
    // What it is, to find it again in a model: a VIC or an HDMI VIC, a timing's or an audio
    // descriptor's bytes, or a data block.
    uint8_t vic = 0;
    uint8_t hdmiVic = 0;
    TimingBytes timing{};
    std::array<uint8_t, cta::kSadBytes> sad{};
    CtaDataBlock block;
    // Why it may go: the link and the pixel clock the format needs on it; the VIC that stays
    // for it (its 3840-wide twin, the VIC of its timing or HDMI VIC); the base block's
    // detailed timing (1 to 4) that states it; why no source reads a block.
    LinkLimit link;
    uint32_t neededKhz = 0;
    uint8_t stays = 0;
    uint8_t baseTiming = 0;
    enum class Unused : uint8_t { ReservedTag, ReservedExtendedTag, Empty, OneExtension, NoFormat };
    Unused unused = Unused::ReservedTag;
};
// "VIC 118 (3840x2160p120 16:9)", "detailed timing 1920x1080p60", "DTS-HD, 8 channels, up to
// 192 kHz", "Unknown Data Block (tag 6)", "HDMI VIC 1 (3840x2160p30 16:9)"
QString fitCandidateWhat(const FitCandidate &candidate);
// "nothing: it needs 1188 MHz, beyond the box's link (600 MHz TMDS, no FRL)", "4096x2160p60,
// while VIC 97 (3840x2160p60 16:9) stays", ...
QString fitCandidateLoses(const FitCandidate &candidate);
// "<what>, 1 byte; loses <loses>" as the front ends list it.
QString fitCandidateText(const FitCandidate &candidate);

struct FitProposal {
    int missingBytes = 0;                 // over the CTA block's 127 bytes; 0 when it fits
    std::optional<LinkLimit> link;        // the box's link, when it was known
    std::vector<FitCandidate> candidates; // least loss first
    // How many of the first candidates, left out together, make it fit; nothing when all of
    // them are not enough (0 when it fits already).
    std::optional<size_t> leastLoss;
};

// The candidates of a model (one that fits or an edit's `unfitted` model). With `before`
// (the model an edit started from), only what it held is proposed: what the edit added is
// what the user asked for.
FitProposal proposeFit(const EdidModel &model, const std::optional<LinkLimit> &link,
                       const EdidModel *before = nullptr);

// Leaves the candidates (of a proposal for the model) out of it, in order.
void leaveOut(EdidModel &model, std::span<const FitCandidate> candidates);

// The least-loss fit of an edit's outcome: a refusal for space becomes the edit's model with
// the proposal's first candidates left out (`leftOut`), when they make it fit; any other
// refusal, or one the candidates cannot mend, stays as it was.
struct FittedEdit {
    EditOutcome outcome;
    std::optional<EdidModel> model; // the fitted model, when it fits
    FitProposal proposal;           // for an edit refused for space
    std::vector<FitCandidate> leftOut;
};
FittedEdit fitByLeastLoss(const EditOutcome &outcome, const std::optional<LinkLimit> &link,
                          const EdidModel *before = nullptr);

} // namespace edid
