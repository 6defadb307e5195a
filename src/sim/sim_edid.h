#pragma once
// The simulated box's own EDIDs, as the simulator makes them (sim_edid.cpp, sim_mix.cpp).

#include "core/box/status_record.h"
#include "core/edid/edid_image.h"

#include <cstdint>
#include <span>

namespace sim {

// The box's maker, "VLT", in bytes 8 and 9 of a base block.
void putBoxManufacturer(std::span<uint8_t> edid);

// The box's own EDID in automix mode, built from the EDIDs of its TVs by the settings'
// algorithm and options, within what the box passes (600 MHz TMDS, no FRL).
EdidImage mixedEdid(const EdidImage &top, const EdidImage &bot, const record::StatusRecord &settings);

} // namespace sim
