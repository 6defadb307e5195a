#pragma once
// What the doctor reads from the box, in one go: the settings (asked again while the box is
// busy with its EDID), the status blocks, the box's own EDID and the EDIDs of the TVs on TOP
// and BOT. Without the box's EDID or settings the doctor can say nothing: the read fails. A TV
// whose EDID cannot be read (no TV on that output) leaves its column unknown.

#include "core/box/box_session.h"
#include "core/chain/chain_matrix.h"

#include <QString>

namespace chain {

struct ChainRead {
    ChainInputs inputs;
    LinkError error = LinkError::None;
    QString failedPart; // "settings", "box EDID", ...
    bool ok() const { return error == LinkError::None; }
};

ChainRead readChain(BoxSession &session, LinkClock &clock);
// The three EDIDs alone into `inputs` (the box's, then the TVs'), for a front end that has the
// status already.
ChainRead readChainEdids(BoxSession &session, ChainInputs inputs);

} // namespace chain
