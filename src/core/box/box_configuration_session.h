#pragma once
// The box's configuration over the box session: read from the box, and restored into it
// step by step, with the box read back afterwards.

#include "core/box/box_configuration.h"
#include "core/box/box_session.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// A box busy with its EDID (after an EDID mode change) answers no settings: it is asked
// again every 100 ms for up to 5 s, longer than it takes.
constexpr uint32_t kConfigurationBusyPollMs = 100;
constexpr int kConfigurationBusyPolls = 50;

// The settings, asked again while the box is busy with its EDID.
Outcome<record::StatusRecord> readSettingsWhenReady(BoxSession &session, LinkClock &clock);

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

// What a restore did: the changes applied, and when a step was refused, that step and the
// ones after it, none of them tried again.
struct RestoreReport {
    std::vector<ConfigurationChange> applied;
    std::vector<ConfigurationChange> notApplied; // the refused step first
    LinkError error = LinkError::None;           // why that step failed
    LinkError readBackError = LinkError::None;   // the box could not be read after the steps
    QString readBackPart;
    std::vector<ConfigurationChange> mismatched; // what the box read back still holds otherwise
    bool ok() const {
        return error == LinkError::None && readBackError == LinkError::None && mismatched.empty();
    }
};

// Steps done of all the steps, after each step; (0, 0) at the end.
using RestoreProgress = std::function<void(int done, int total)>;

// Runs the steps in order and stops at the first one the box refuses. After the last step it
// reads the box back and holds it against the wanted configuration.
RestoreReport runRestore(BoxSession &session, LinkClock &clock, const std::vector<RestoreStep> &steps,
                         const BoxConfiguration &wanted, const RestoreProgress &progress = {});

// The lines of a report: "applied: input: top -> bot", "not applied: ...", ...; each change
// named by `nameOf` (the keys unless a front end gives its words).
QStringList restoreReportLines(const RestoreReport &report,
                               QString (*nameOf)(const ConfigurationChange &) = changeName);
