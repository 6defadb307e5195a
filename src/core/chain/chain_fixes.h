#pragma once
// The doctor's own: the fixes for a diagnosis's findings. Every combination of automix
// algorithm and of the options the findings blame is held against what the box offers now;
// one that brings a finding stays unless another brings as much with no more loss, no more
// that a TV cannot take and no more settings. Then the custom EDID: the video of the TV that
// states the most video with the audio of the one that states the most audio, merged as
// `veltrika edid merge` merges them, fitted by the least loss, and kept within the box's link.

#include "core/chain/chain_doctor.h"

#include <vector>

namespace chain {

// The fixes for the findings, best first; each finding learns the fixes that bring it.
std::vector<ChainFix> planFixes(const ChainInputs &inputs, const ChainMatrix &matrix,
                                const BoxConfiguration &settings, std::vector<ChainFinding> &findings,
                                QStringList &notes);

} // namespace chain
