#pragma once
// The box's settings: each is one register written a byte at a time, a field of the status
// record that reports it back, and, for most, a byte of the settings shadow that follows
// every write. One table describes them all, named by an enum.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

enum class Setting : uint8_t {
    ActiveInput,
    AutoSwitch,
    SwitchPriority,
    AudioSource,
    HdcpVersion,
    Output420,
    EdidMode,
    AutomixAlgorithm,
    CustomEdidPreset,
    ForceStereo,
    ForceMultichannel,
    Remove3d,
    HdrPacket,
    HdrHotkey,
    ForceHdrActive,
    HdrMode,
    GreenLed,
    BlueLeds,
    Bt2020,
    AllowYcbcr,
    CecProcessing,
    CecDeviceType,
    AvrAudio,
    ReplaceAvi,
    FullAudio,
};
constexpr int kSettingCount = 25;

// A value as people name it and as the box stores it.
struct SettingValue {
    std::string_view name;
    uint8_t device;
};

struct SettingInfo {
    Setting setting;
    std::string_view name; // as the command line names it
    uint8_t reg;
    std::optional<int> shadow; // the settings shadow byte a write updates
    int recordOffset;          // where the status record reports it
    std::span<const SettingValue> values;
};

std::span<const SettingInfo> allSettings();
const SettingInfo &settingInfo(Setting setting);
// The setting a register writes, if any.
const SettingInfo *settingOfRegister(uint8_t reg);
const SettingInfo *settingNamed(std::string_view name);

// The name of a device value, or nothing for a value the table does not list.
std::optional<std::string_view> settingValueName(const SettingInfo &info, uint8_t device);
std::optional<uint8_t> settingValueNamed(const SettingInfo &info, std::string_view name);
