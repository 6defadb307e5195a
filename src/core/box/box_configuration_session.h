#pragma once
// The box's configuration over the box session: read from the box.

#include "core/box/box_configuration.h"
#include "core/box/box_session.h"

#include <QString>

// A box busy with its EDID (after an EDID mode change) answers no settings: it is asked
// again every 100 ms for up to 5 s, longer than it takes.
constexpr uint32_t kConfigurationBusyPollMs = 100;
constexpr int kConfigurationBusyPolls = 50;

struct BoxConfigurationRead {
    BoxConfiguration configuration;
    LinkError error = LinkError::None;
    QString failedPart; // what could not be read: "settings", "custom EDID", ...
    bool ok() const { return error == LinkError::None; }
};

// Reads the settings and, of the parts asked for, the custom EDID when the box shows it (in
// CUSTOM mode on preset 0; in any other mode the box gives no way to read it), the stored
// HDR infoframe and AVI bytes; and the firmware version when asked. Stops at the first
// read that fails.
BoxConfigurationRead readBoxConfiguration(BoxSession &session, LinkClock &clock, ConfigurationParts parts,
                                          bool firmware);
