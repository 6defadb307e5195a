#pragma once
// What the box keeps, as one value: its settings, the EDID mode and preset with the custom
// EDID, the stored HDR infoframe and AVI bytes, and the firmware version they were read
// from. Every part is optional: a configuration read from the box holds what was read, one
// read from a file what the file holds. The stored CEC commands are no part of it: the box
// does not give them back.
//
// The planner holds the box's configuration against a wanted one and lists what differs,
// each difference as a step with the frames that make it, in an order the box accepts.

#include "core/box/frames.h"
#include "core/box/settings_table.h"
#include "core/box/status_record.h"
#include "core/edid/edid_image.h"

#include <QJsonObject>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

using StoredHdrInfoframe = std::array<uint8_t, proto::kStoredHdrBytes>;
using StoredAviBytes = std::array<uint8_t, proto::kStoredAviBytes>;

// The parts a restore can be limited to, as bits.
enum class ConfigurationPart : uint8_t {
    Settings = 0x01, // every setting but the EDID mode and preset
    Edid = 0x02,     // the EDID mode, the preset and the custom EDID
    Packets = 0x04,  // the stored HDR infoframe and AVI bytes
};
using ConfigurationParts = uint8_t;
constexpr ConfigurationParts kAllConfigurationParts = 0x07;
constexpr ConfigurationParts partBit(ConfigurationPart part) {
    return static_cast<ConfigurationParts>(part);
}

// "settings", "edid" or "packets", as --only names the part.
QString partName(ConfigurationPart part);
// The EDID mode and the preset are the EDID's part; every other setting is a setting.
ConfigurationPart partOfSetting(Setting setting);

struct BoxConfiguration {
    std::array<std::optional<uint8_t>, kSettingCount> settings{}; // device values, by the table's enum
    std::optional<EdidImage> customEdid;
    std::optional<StoredHdrInfoframe> hdrInfoframe;
    std::optional<StoredAviBytes> aviBytes;
    std::optional<QString> firmware; // "1.8.3.0"

    std::optional<uint8_t> setting(Setting which) const { return settings[static_cast<size_t>(which)]; }
    void setSetting(Setting which, uint8_t value) { settings[static_cast<size_t>(which)] = value; }
    // True when the configuration holds anything of the part.
    bool holds(ConfigurationPart part) const;
    bool operator==(const BoxConfiguration &other) const = default;
};

// The parts the configuration holds anything of.
ConfigurationParts partsHeld(const BoxConfiguration &configuration);

// Every setting as the status record reports it; nothing else.
BoxConfiguration configurationOfRecord(const record::StatusRecord &record);
// The record with each setting the configuration holds in its field; the other bytes stay.
record::StatusRecord recordWithSettings(const BoxConfiguration &configuration, record::StatusRecord record);
// The configuration with only the parts asked for (the firmware version stays).
BoxConfiguration onlyParts(const BoxConfiguration &configuration, ConfigurationParts parts);
// True when the box shows its custom EDID as its own: CUSTOM mode on preset 0, the uploaded one.
bool showsCustomEdid(const BoxConfiguration &configuration);

// "1.8.3.0" from the version block of a register block read.
QString firmwareVersionOf(const proto::ReplyBuffer &versionBlock);

// One difference between what the box holds and what is wanted.
struct ConfigurationChange {
    enum class Kind : uint8_t { Setting, Edid, HdrInfoframe, AviBytes };
    Kind kind = Kind::Setting;
    Setting setting = Setting::ActiveInput; // Kind::Setting
    std::optional<uint8_t> from;            // the box's value; none when it was not read
    uint8_t to = 0;
    // Kind::Edid and the packets: how many bytes, and in how many places they differ from the
    // box's (none when the box's are not known).
    int bytes = 0;
    std::optional<int> differing;
    bool operator==(const ConfigurationChange &other) const = default;
};
ConfigurationPart partOfChange(const ConfigurationChange &change);
// "input", "edid", "hdr_infoframe", "avi": as the file names the part.
QString changeName(const ConfigurationChange &change);
// One line: "input: top -> bot", "edid: 256 bytes differ in 14 places"; a front end that
// shows people words instead of the keys gives the word for changeName() as `name`.
QString changeText(const ConfigurationChange &change);
QString changeText(const ConfigurationChange &change, const QString &name);
// The same as an object: {"part", "name", "from", "to"} or {"part", "name", "bytes", "differing"}.
QJsonObject changeObject(const ConfigurationChange &change);

// One step of a restore: the change it makes and what it sends for it.
struct RestoreStep {
    ConfigurationChange change;
    EdidImage edid{};         // Kind::Edid
    StoredHdrInfoframe hdr{}; // Kind::HdrInfoframe
    StoredAviBytes avi{};     // Kind::AviBytes
    uint8_t replaceAvi = 0;   // Kind::AviBytes: the REPLACE AVI setting told again after the bytes
    // The request frames of the step in order. An EDID write first waits, with status reads,
    // for a box busy with its EDID; those reads are not listed.
    std::vector<proto::RequestFrame> frames() const;
};

// The steps that make the box hold the wanted configuration, in the order the box takes
// them: the settings in table order, then what the EDID write needs before it (preset 0 in
// CUSTOM mode) and the write, then the HDR infoframe and the AVI bytes, and last the preset
// and the EDID mode wanted. Nothing is listed for what the box holds already.
std::vector<RestoreStep> planRestore(const BoxConfiguration &box, const BoxConfiguration &wanted);

// The parts of the wanted configuration that the box does not hold (a part the box's
// configuration lacks counts as different), as changes from the box's to the wanted.
std::vector<ConfigurationChange> configurationDifferences(const BoxConfiguration &box,
                                                          const BoxConfiguration &wanted);
