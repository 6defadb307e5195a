#include "core/box/settings_table.h"

#include "core/box/status_record.h"

#include <algorithm>
#include <array>

namespace {

using namespace record;

constexpr SettingValue kOnOff[] = {{"on", 1}, {"off", 0}};
constexpr SettingValue kInputs[] = {{"top", 1}, {"bot", 2}, {"matrix-thru", 3}, {"matrix-swap", 4}};
constexpr SettingValue kPriorities[] = {{"normal", 0}, {"forced", 1}};
constexpr SettingValue kAudioSources[] = {{"hdmi", 1}, {"jack", 3}};
constexpr SettingValue kHdcpVersions[] = {{"1.4", 2}, {"2.2", 3}};
constexpr SettingValue kEdidModes[] = {{"automix", 1}, {"fixed", 2}, {"custom", 3}};
constexpr SettingValue kAutomixAlgorithms[] = {
    {"min-mixed", 0}, {"max-audio-min-video", 1}, {"top-priority", 2}, {"max-audio-max-video", 3}};
constexpr SettingValue kCustomEdidPresets[] = {{"0", 0}, {"1", 1}, {"2", 2}, {"3", 3},
                                               {"4", 4}, {"5", 5}, {"6", 6}, {"7", 7}};
constexpr SettingValue kHdrModes[] = {{"full", 0}, {"samsung", 1}};
constexpr SettingValue kCecDeviceTypes[] = {{"video-processor", 0}, {"audio-system", 1}};

constexpr std::nullopt_t kNoShadow = std::nullopt;

// clang-format off
constexpr std::array<SettingInfo, kSettingCount> kSettings = {{
    // setting                      name               register               shadow byte         record field        values
    {Setting::ActiveInput,       "input",           kRegActiveInput,       kNoShadow,          kActiveInput,       kInputs},
    {Setting::AutoSwitch,        "auto-switch",     kRegAutoSwitch,        kAutoSwitch,        kAutoSwitch,        kOnOff},
    {Setting::SwitchPriority,    "priority",        kRegSwitchPriority,    kSwitchPriority,    kSwitchPriority,    kPriorities},
    {Setting::AudioSource,       "audio-source",    kRegAudioSource,       kAudioSource,       kAudioSource,       kAudioSources},
    {Setting::HdcpVersion,       "hdcp",            kRegHdcpVersion,       kHdcpVersion,       kHdcpVersion,       kHdcpVersions},
    {Setting::Output420,         "out-420",         kRegOutput420,         kOutput420,         kOutput420,         kOnOff},
    {Setting::EdidMode,          "edid-mode",       kRegEdidMode,          kEdidMode,          kEdidMode,          kEdidModes},
    {Setting::AutomixAlgorithm,  "automix-algo",    kRegAutomixAlgorithm,  kNoShadow,          kAutomixAlgorithm,  kAutomixAlgorithms},
    {Setting::CustomEdidPreset,  "custom-edid",     kRegCustomEdidPreset,  kNoShadow,          kCustomEdidPreset,  kCustomEdidPresets},
    {Setting::ForceStereo,       "force-stereo",    kRegForceStereo,       kForceStereo,       kForceStereo,       kOnOff},
    {Setting::ForceMultichannel, "force-51",        kRegForceMultichannel, kForceMultichannel, kForceMultichannel, kOnOff},
    {Setting::Remove3d,          "remove-3d",       kRegRemove3d,          kRemove3d,          kRemove3d,          kOnOff},
    {Setting::HdrPacket,         "hdr-packet",      kRegHdrPacket,         kHdrPacket,         kHdrPacket,         kOnOff},
    {Setting::HdrHotkey,         "hdr-hotkey",      kRegHdrHotkey,         kHdrHotkey,         kHdrHotkey,         kOnOff},
    {Setting::ForceHdrActive,    "hdr-force",       kRegForceHdrActive,    kForceHdrActive,    kForceHdrActive,    kOnOff},
    {Setting::HdrMode,           "hdr-mode",        kRegHdrMode,           kHdrMode,           kHdrMode,           kHdrModes},
    {Setting::GreenLed,          "green-led",       kRegGreenLed,          kGreenLed,          kGreenLed,          kOnOff},
    {Setting::BlueLeds,          "blue-leds",       kRegBlueLeds,          kBlueLeds,          kBlueLeds,          kOnOff},
    {Setting::Bt2020,            "bt2020",          kRegBt2020,            kBt2020,            kBt2020,            kOnOff},
    {Setting::AllowYcbcr,        "allow-ycbcr",     kRegAllowYcbcr,        kAllowYcbcr,        kAllowYcbcr,        kOnOff},
    {Setting::CecProcessing,     "cec",             kRegCecProcessing,     kCecProcessing,     kCecProcessing,     kOnOff},
    {Setting::CecDeviceType,     "cec-device-type", kRegCecDeviceType,     kNoShadow,          kCecDeviceType,     kCecDeviceTypes},
    {Setting::AvrAudio,          "avr-audio",       kRegAvrAudio,          kAvrAudio,          kAvrAudio,          kOnOff},
    {Setting::ReplaceAvi,        "replace-avi",     kRegReplaceAvi,        kReplaceAvi,        kReplaceAvi,        kOnOff},
    {Setting::FullAudio,         "full-audio",      kRegFullAudio,         kFullAudio,         kFullAudio,         kOnOff},
}};
// clang-format on

constexpr bool rowsInEnumOrder() {
    for (size_t i = 0; i < kSettings.size(); ++i) {
        if (static_cast<size_t>(kSettings[i].setting) != i) {
            return false;
        }
    }
    return true;
}
static_assert(rowsInEnumOrder(), "settingInfo indexes the table by the enum");

} // namespace

std::span<const SettingInfo> allSettings() {
    return kSettings;
}

const SettingInfo &settingInfo(Setting setting) {
    return kSettings[static_cast<size_t>(setting)];
}

const SettingInfo *settingOfRegister(uint8_t reg) {
    const auto row = std::find_if(kSettings.begin(), kSettings.end(),
                                  [reg](const SettingInfo &info) { return info.reg == reg; });
    return row != kSettings.end() ? &*row : nullptr;
}

const SettingInfo *settingNamed(std::string_view name) {
    const auto row = std::find_if(kSettings.begin(), kSettings.end(),
                                  [name](const SettingInfo &info) { return info.name == name; });
    return row != kSettings.end() ? &*row : nullptr;
}

std::optional<std::string_view> settingValueName(const SettingInfo &info, uint8_t device) {
    for (const SettingValue &value : info.values) {
        if (value.device == device) {
            return value.name;
        }
    }
    return std::nullopt;
}

std::optional<uint8_t> settingValueNamed(const SettingInfo &info, std::string_view name) {
    for (const SettingValue &value : info.values) {
        if (value.name == name) {
            return value.device;
        }
    }
    return std::nullopt;
}
