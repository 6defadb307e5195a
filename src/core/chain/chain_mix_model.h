#pragma once
// What the doctor expects of the box's automatic mix, capability by capability: each
// algorithm as its name says it (Min Mixed Capabilities: what both TVs state; Max Audio, Min
// Video: the video both state and the audio either states; TOP Output Priority: TOP's; Max
// Audio, Max Video: what either states), then the options that take away (2.0 Stereo, 5.1
// Multi, HDR packet off, BT.2020 off, Allow YCbCr off), within the box's link. It is the
// algorithms' names read literally: a box's firmware may mix otherwise, so what it gives is
// an expectation, and the box's own EDID read after a change is what counts.

#include "core/box/box_configuration.h"
#include "core/box/settings_table.h"
#include "core/chain/chain_matrix.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <span>

namespace chain {

constexpr uint8_t kAutomixAlgorithms = 4;

// "Min Mixed Capabilities", "Max Audio, Min Video", "TOP Output Priority", "Max Audio, Max Video".
QString algorithmName(uint8_t algorithm);

// Whose capability an algorithm keeps for a row: what both TVs state, what either states, TOP's.
enum class Rule : uint8_t { Both, Either, Top };
Rule ruleOf(uint8_t algorithm, Domain domain);
// "keeps the audio both outputs state", "keeps the video either output states", "takes TOP's".
QString ruleWords(Rule rule, Domain domain);

// An automix option that takes capabilities away when it stands at `taking`.
struct MixOption {
    Setting setting;
    const char *caption; // the window's check box: "2.0 Stereo"
    uint8_t taking;      // the value at which it takes away
    const char *takes;   // "two-channel LPCM only"
};
std::span<const MixOption> mixOptions();

// The cell as an option leaves it; the same cell where it takes nothing of the row.
Cell optionApplied(const MixOption &option, Capability capability, Cell cell);
// Whether the settings have the option at its taking value.
bool optionTakes(const MixOption &option, const BoxConfiguration &settings);

// The box's column as the algorithm and the options of `settings` would make it from TOP's and
// BOT's, within the link (unknown: no limit). A row either TV's cell leaves unknown is unknown.
CapabilityColumn expectedMix(const ChainMatrix &matrix, uint8_t algorithm, const BoxConfiguration &settings,
                             const std::optional<edid::LinkLimit> &link);

} // namespace chain
