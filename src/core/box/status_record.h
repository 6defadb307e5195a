#pragma once
// The 40-byte status record the device sends after the marker and flags byte of a
// status reply, and the setting registers that write its fields (core/settings_table.h
// says which register writes which field). The settings shadow has exactly this layout.

#include "core/box/frames.h"

#include <array>
#include <cstdint>

namespace record {

constexpr int kSize = proto::kSettingsBlockSize;
using StatusRecord = std::array<uint8_t, kSize>;

// Offsets in the record (add proto::kStatusRecordStart for the offset in the reply).
constexpr int kActiveInput = 0;   // 1 PORT A, 2 PORT B, 3 MATRIX THRU, 4 MATRIX SWAP
constexpr int kAudioSource = 1;   // 1 HDMI, 3 jack, 2 neither
constexpr int kEdidMode = 2;      // 1 automix, 2 fixed, 3 custom
constexpr int kHdcpVersion = 3;   // 2 HDCP 1.4, 3 HDCP 2.2, 1 neither
constexpr int kOutput420 = 4;     // 0 off, 1 on
constexpr int kCecProcessing = 5; // 1 on
constexpr int kAutoSwitch = 6;    // 0 off, 1 on
constexpr int kEdidModeSelectable = 9;
constexpr int kHdcpSelectable = 10;
constexpr int kAudioSelectable = 11;
constexpr int kForceStereo = 13;
constexpr int kForceMultichannel = 14;
constexpr int kRemove3d = 15;
constexpr int kHdrPacket = 16;
constexpr int kFullAudio = 17;
constexpr int kSwitchPriority = 18;   // 1 forced
constexpr int kCustomEdidPreset = 19; // 0 to 7
constexpr int kHdrHotkey = 21;
constexpr int kForceHdrActive = 22;
constexpr int kHdrMode = 24; // 1 Samsung HDR mode
constexpr int kGreenLed = 26;
constexpr int kBlueLeds = 27;
constexpr int kBt2020 = 28;
constexpr int kAllowYcbcr = 29;
constexpr int kCecDeviceType = 30; // 0 video processor, 1 audio system
constexpr int kAvrAudio = 31;
constexpr int kAutomixAlgorithm = 32; // 0 to 3
constexpr int kReplaceAvi = 33;

// Setting registers, written one byte at a time, and the record field each one sets.
constexpr uint8_t kRegActiveInput = 0x00;
constexpr uint8_t kRegAutoSwitch = 0x01;
constexpr uint8_t kRegAudioSource = 0x02;
constexpr uint8_t kRegHdcpVersion = 0x03;
constexpr uint8_t kRegOutput420 = 0x04;
constexpr uint8_t kRegEdidMode = 0x05;
constexpr uint8_t kRegForceStereo = 0x08;
constexpr uint8_t kRegForceMultichannel = 0x09;
constexpr uint8_t kRegRemove3d = 0x0A;
constexpr uint8_t kRegHdrPacket = 0x0B;
constexpr uint8_t kRegFullAudio = 0x0C;
constexpr uint8_t kRegSwitchPriority = 0x0D;
constexpr uint8_t kRegCustomEdidPreset = 0x0E;
constexpr uint8_t kRegHdrHotkey = 0x10;
constexpr uint8_t kRegForceHdrActive = 0x11;
constexpr uint8_t kRegHdrMode = 0x13;
constexpr uint8_t kRegGreenLed = 0x16;
constexpr uint8_t kRegBlueLeds = 0x17;
constexpr uint8_t kRegBt2020 = 0x18;
constexpr uint8_t kRegFactoryReset = 0x19; // 1 EDID, 2 settings, 3 both
constexpr uint8_t kRegAllowYcbcr = 0x1A;
constexpr uint8_t kRegCecProcessing = 0x1B;
constexpr uint8_t kRegCecDeviceType = 0x1C;
constexpr uint8_t kRegAvrAudio = 0x1D;
constexpr uint8_t kRegAutomixAlgorithm = 0x20;
constexpr uint8_t kRegReplaceAvi = 0x21;

// Values of the EDID mode field and register.
constexpr uint8_t kEdidModeAutomix = 1;
constexpr uint8_t kEdidModeFixed = 2;
constexpr uint8_t kEdidModeCustom = 3;

// What a factory reset clears, as bits of the value written to its register.
constexpr uint8_t kResetEdid = 0x01;
constexpr uint8_t kResetSettings = 0x02;

} // namespace record
