#pragma once
// A change to the box as one value: what a front end wants the box to take, built before the
// gate (box_gate.h) checks it, records it in the journal and sends it. Each kind carries what
// its frames are made of, and says in words what it does and what of the box it overwrites.

#include "core/box/box_configuration.h"
#include "core/box/box_session.h"
#include "core/box/packet_text.h"
#include "core/edid/edid_check.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

struct BoxChange {
    enum class Kind : uint8_t {
        Setting,       // one setting's register (the EDID mode and preset are settings too)
        SettingsBlock, // the 40 bytes of the settings block at once
        EdidWrite,     // the custom EDID: 32 window writes and the commit
        CecSend,       // a CEC message, then its activation
        CecStore,      // a CEC command stored for the SP or LP button
        HdrSend,       // the custom HDR infoframe, then its activation (the box keeps it)
        AviSend,       // the custom AVI bytes, their activation and REPLACE AVI told again
        Restore,       // the steps of a restore (box_configuration.h), then the box read back
        FactoryReset,  // the reset register with 1 (EDID), 2 (settings) or 3 (both)
    };
    Kind kind = Kind::Setting;
    Setting setting = Setting::ActiveInput; // Setting
    uint8_t value = 0;                      // Setting: the device value; FactoryReset: what it clears
    record::StatusRecord block{};           // SettingsBlock
    EdidImage edid{};                       // EdidWrite
    qsizetype edidBytesHeld = 0;            // EdidWrite: what the text or file held, also past 256
    EdidOrigin edidOrigin = EdidOrigin::Text;
    packets::PacketBytes packet;    // CecSend (with the count byte after the header), HdrSend, AviSend
    uint8_t replaceAvi = 0;         // AviSend: the REPLACE AVI value told after the bytes
    uint8_t cecSlot = 0;            // CecStore: the slot's command code
    packets::PacketText storedText; // CecStore: the text as the box stores it
    std::vector<RestoreStep> steps; // Restore, as planRestore made them
    BoxConfiguration wanted;        // Restore: what the box is to hold after the steps
    QString label;                  // Restore: the file or configuration it comes from
    std::optional<int> undoes;      // Restore: the journal entry it takes back

    static BoxChange ofSetting(Setting setting, uint8_t value);
    static BoxChange ofSettingsBlock(const record::StatusRecord &block);
    static BoxChange ofEdidWrite(const EdidImage &image, qsizetype bytesHeld, EdidOrigin origin);
    static BoxChange ofCecSend(const packets::PacketBytes &message);
    static BoxChange ofCecStore(uint8_t slotCode, const packets::PacketText &text);
    static BoxChange ofHdrSend(const packets::PacketBytes &infoframe);
    static BoxChange ofAviSend(const packets::PacketBytes &bytes, uint8_t replaceAvi);
    static BoxChange ofRestore(std::vector<RestoreStep> steps, const BoxConfiguration &wanted,
                               const QString &label);
    static BoxChange ofFactoryReset(FactoryReset what);
};

// The bytes of a CEC message as the CEC decoder takes them: a sent message without the count
// byte the box takes after the header.
std::vector<uint8_t> cecMessageBytes(const packets::PacketBytes &packet);

// The change in words, as the command line would ask for it: "set input=bot", "cec send
// 50:04", "edid write", "restore movie night", "reset all".
QString changeWords(const BoxChange &change);

// What of the box a change overwrites: settings, the custom EDID, the stored infoframes, and
// what the box keeps but gives no way to read back (the stored CEC commands).
struct ChangeScope {
    std::array<bool, kSettingCount> settings{};
    bool customEdid = false;
    bool hdrInfoframe = false;
    bool aviBytes = false;
    QStringList unreadable; // "cec-sp", "cec-lp"

    bool touches(Setting setting) const { return settings[static_cast<size_t>(setting)]; }
    bool empty() const;
    // Setting names, "edid", "hdr_infoframe", "avi", then the unreadable ones.
    QStringList names() const;
    // The parts of `configuration` in the scope.
    BoxConfiguration of(const BoxConfiguration &configuration) const;
    // `configuration` without the parts in the scope.
    BoxConfiguration without(const BoxConfiguration &configuration) const;
};
ChangeScope scopeOf(const BoxChange &change);

// What the box holds of the scope once the change is applied; nothing of a factory reset,
// whose defaults are the box's own.
BoxConfiguration changeOutcome(const BoxChange &change);

// The names of the parts a configuration holds, in the order of ChangeScope::names.
QStringList heldNames(const BoxConfiguration &configuration);
