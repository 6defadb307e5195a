#pragma once
// The chain's doctor: from the matrix of what the TVs state, what the box offers and what the
// input carries, and from the box's settings, one finding for every capability that a TV
// states and the box does not offer, and for the input carrying less of its own format than
// the box offers (4:2:0 where 4:4:4 is offered, HDR at 8 bits or outside BT.2020). Each
// finding says why in plain words from what was read and set, and names the fixes that would
// bring it: another automix algorithm or option (what the box would then offer is expected of
// the algorithm's name, mix_model.h), or a custom EDID built from the TVs' own (TOP's video
// with BOT's audio, fitted, within the box's link). A fix is a planned change for the gate
// (core/box/box_gate.h): nothing here sends anything.

#include "core/box/box_change.h"
#include "core/box/box_configuration.h"
#include "core/chain/chain_matrix.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace chain {

enum class FindingKind : uint8_t {
    SinkOnly,   // a TV states it, the box does not offer it
    NotCarried, // the box offers it, the input carries less of its format
};

struct ChainFinding {
    Capability capability = Capability::Uhd60Full;
    FindingKind kind = FindingKind::SinkOnly;
    std::vector<Column> sinks; // SinkOnly: the TVs that state more than the box offers
    QString text;              // why, in plain words
    bool beyondBox = false;    // the box's link or the source decides: no setting brings it
    std::vector<size_t> fixes; // the fixes that bring it, by their place in Diagnosis::fixes
};

struct SettingChange {
    Setting setting = Setting::AutomixAlgorithm;
    uint8_t value = 0;
    bool operator==(const SettingChange &) const = default;
};

struct ChainFix {
    enum class Kind : uint8_t { Settings, CustomEdid };
    Kind kind = Kind::Settings;
    QString key;   // "automix-algo=max-audio-min-video", "custom-edid"
    QString words; // "automix algorithm Max Audio, Min Video", "custom EDID: TOP's video with BOT's audio"
    std::vector<SettingChange> settings; // in the order the box takes them
    std::optional<EdidImage> edid;       // a custom EDID
    CapabilityColumn box;                // what the box would offer
    bool expected = true;                // of the algorithm's name; false: decoded from the EDID it writes
    std::vector<size_t> resolves;        // the findings it brings, by their place
    std::vector<Capability> loses;       // what the box offers now and would not
    // What it would offer that a TV does not state (and the box does not offer it now): a
    // source that sends it reaches that TV with what it cannot take.
    std::vector<std::pair<Column, Capability>> oneSided;
    QStringList notes; // how a custom EDID was built: what the fit and the link left out
};

struct Diagnosis {
    ChainMatrix matrix;
    // The box's settings as read (none when the read failed), and its custom EDID where the box
    // shows it as its own (CUSTOM mode on preset 0).
    BoxConfiguration settings;
    std::vector<ChainFinding> findings;
    std::vector<ChainFix> fixes; // most findings brought first
    // What the doctor cannot know and says so: a TV not read, the box's link, the settings
    // whose effect on the mix is not known (FULL Audio, AVR Audio).
    QStringList notes;
};

Diagnosis diagnose(const ChainInputs &inputs);

// "TOP (LG TV)", "BOT", "the box"
QString columnLabel(const ChainMatrix &matrix, Column column);

// What the fix asks the box to hold: its settings and a custom EDID.
BoxConfiguration fixWanted(const ChainFix &fix);
// The change the gate sends for the fix against the box as read (its settings and, in CUSTOM
// mode on preset 0, its custom EDID): only what differs, as a restore sends it, recorded in
// the journal as "chain doctor: <key>".
BoxChange fixChange(const ChainFix &fix, const BoxConfiguration &box);
// The command lines that do the same: "veltrika set automix-algo=max-audio-min-video"; a
// custom EDID saved by `veltrika doctor --apply NUMBER --dry-run -o FILE` and written.
QStringList fixCommands(const ChainFix &fix, size_t number, const QString &file);

} // namespace chain
