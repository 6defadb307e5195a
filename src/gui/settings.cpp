// The setting slots: each control writes one device register and keeps its byte of the
// settings shadow. One table says, slot by slot, which controls give the value, which
// register takes it and which shadow byte follows it; every slot finds its row by its
// own name.

#include "VeltrikaForm.h"
#include "ui_VeltrikaForm.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <utility>

namespace {

constexpr int kNoShadow = -1;
constexpr int kMessageMs = 2000;

enum class Rule {
    FirstChecked, // the value of the first checked button, else the fallback
    SumOfChecked, // the values of the checked buttons added up; nothing when none is checked
    ComboIndex,   // the current index plus an offset, written only once start-up is complete
};

struct Pick {
    QAbstractButton *button = nullptr;
    uint8_t value = 0;
};

constexpr size_t kMaxPicks = 3;

struct ValueFrom {
    Rule rule = Rule::FirstChecked;
    std::array<Pick, kMaxPicks> picks{};
    std::optional<uint8_t> otherwise;
    QComboBox *combo = nullptr;
    int indexOffset = 0;
};

ValueFrom fromButtons(Rule rule, std::initializer_list<Pick> picks, std::optional<uint8_t> otherwise) {
    ValueFrom from;
    from.rule = rule;
    std::copy_n(picks.begin(), std::min(picks.size(), kMaxPicks), from.picks.begin());
    from.otherwise = otherwise;
    return from;
}

// 1 when the button is checked, else 0.
ValueFrom oneWhenChecked(QAbstractButton *button) {
    return fromButtons(Rule::FirstChecked, {{button, 1}}, 0);
}

// The value of the first checked button; with none checked nothing is written.
ValueFrom firstChecked(std::initializer_list<Pick> picks) {
    return fromButtons(Rule::FirstChecked, picks, std::nullopt);
}

ValueFrom sumOfChecked(std::initializer_list<Pick> picks) {
    return fromButtons(Rule::SumOfChecked, picks, std::nullopt);
}

ValueFrom currentIndex(QComboBox *combo, int offset) {
    ValueFrom from;
    from.rule = Rule::ComboIndex;
    from.combo = combo;
    from.indexOffset = offset;
    return from;
}

struct Setting {
    const char *slot;
    ValueFrom value;
    uint8_t reg;
    int shadow; // byte of the settings shadow that takes the value written
};

// clang-format off
auto settingsTable(const Ui::MainWindow &f) {
    using namespace record;
    return std::to_array<Setting>({
        // slot              value written                                                     register                shadow byte
        {"SetActivePort",    currentIndex(f.cmbInputSel, 1),                                   kRegActiveInput,        kNoShadow},
        {"SetAutoSwitch",    oneWhenChecked(f.autoSwEn),                                       kRegAutoSwitch,         kAutoSwitch},
        {"SetAudioSource",   firstChecked({{f.audioHdmi, 1}, {f.audioJack, 3}}),               kRegAudioSource,        kAudioSource},
        {"SetHDCP_Version",  firstChecked({{f.hdcp14, 2}, {f.hdcp22, 3}}),                     kRegHdcpVersion,        kHdcpVersion},
        {"SetOut_420",       oneWhenChecked(f.enable420),                                      kRegOutput420,          kOutput420},
        {"SetEDID_Mode",     firstChecked({{f.automixEDID, 1}, {f.fixedEDID, 2}, {f.customEDID, 3}}),
                                                                                               kRegEdidMode,           kEdidMode},
        {"force2c",          oneWhenChecked(f.cb2cForce),                                      kRegForceStereo,        kForceStereo},
        {"force51",          oneWhenChecked(f.cb51),                                           kRegForceMultichannel,  kForceMultichannel},
        {"set3D",            oneWhenChecked(f.cb3D),                                           kRegRemove3d,           kRemove3d},
        {"forceHdr",         oneWhenChecked(f.cbHdr),                                          kRegHdrPacket,          kHdrPacket},
        {"forceFullAudio",   oneWhenChecked(f.cbFull),                                         kRegFullAudio,          kFullAudio},
        {"setSwPriority",    oneWhenChecked(f.pPrioForce),                                     kRegSwitchPriority,     kSwitchPriority},
        {"changeCustomEdid", currentIndex(f.cmBEdid, 0),                                       kRegCustomEdidPreset,   kNoShadow},
        {"CecLpRepurp",      oneWhenChecked(f.bHdrRepurpEn),                                   kRegHdrHotkey,          kHdrHotkey},
        {"hdrForceActivate", oneWhenChecked(f.cbHdrForceMode),                                 kRegForceHdrActive,     kForceHdrActive},
        {"hdrSamsung",       oneWhenChecked(f.bSamHdr),                                        kRegHdrMode,            kHdrMode},
        {"setLogoLed",       oneWhenChecked(f.enableLed),                                      kRegGreenLed,           kGreenLed},
        {"setBlueLed",       oneWhenChecked(f.enableBLed),                                     kRegBlueLeds,           kBlueLeds},
        {"setBt2020",        oneWhenChecked(f.cbBt2020),                                       kRegBt2020,             kBt2020},
        {"factoryReset",     sumOfChecked({{f.cbClearSettings, 2}, {f.cbClearEdid, 1}}),       kRegFactoryReset,       kNoShadow},
        {"setYUV",           oneWhenChecked(f.cbYUV),                                          kRegAllowYcbcr,         kAllowYcbcr},
        {"setCEC",           oneWhenChecked(f.cbCec),                                          kRegCecProcessing,      kCecProcessing},
        {"setCecLa",         currentIndex(f.cmbLa, 0),                                         kRegCecDeviceType,      kNoShadow},
        {"setAVR",           oneWhenChecked(f.enableAVR),                                      kRegAvrAudio,           kAvrAudio},
        {"setEdidAlgo",      currentIndex(f.cmbEdidAlgo, 0),                                   kRegAutomixAlgorithm,   kNoShadow},
        {"setAviPers",       oneWhenChecked(f.cbAviPersistent),                                kRegReplaceAvi,         kReplaceAvi},
    });
}
// clang-format on

static_assert(std::tuple_size_v<decltype(settingsTable(std::declval<const Ui::MainWindow &>()))> == 26);

std::optional<uint8_t> valueOf(const ValueFrom &from) {
    if (from.rule == Rule::ComboIndex) {
        // No current item: the device reported a value the box does not list. Any value
        // written in its place would change a setting nobody touched.
        if (from.combo->currentIndex() < 0) {
            return std::nullopt;
        }
        return static_cast<uint8_t>(from.combo->currentIndex() + from.indexOffset);
    }
    std::optional<uint8_t> sum;
    for (const Pick &pick : from.picks) {
        if (pick.button == nullptr || !pick.button->isChecked()) {
            continue;
        }
        if (from.rule == Rule::FirstChecked) {
            return pick.value;
        }
        sum = static_cast<uint8_t>(sum.value_or(0) + pick.value);
    }
    return sum ? sum : from.otherwise;
}

} // namespace

// The shadow byte takes the value whether or not the device accepted it.
MainWindow::SettingWrite MainWindow::applySetting(const char *slot) {
    const auto table = settingsTable(*ui);
    const auto row = std::find_if(table.begin(), table.end(), [slot](const Setting &setting) {
        return std::strcmp(setting.slot, slot) == 0;
    });
    if (row == table.end() || (row->value.rule == Rule::ComboIndex && !startupComplete)) {
        return SettingWrite::NothingToWrite;
    }
    const std::optional<uint8_t> value = valueOf(row->value);
    if (!value) {
        return SettingWrite::NothingToWrite;
    }
    const bool accepted = WriteRegister(row->reg, *value);
    if (row->shadow != kNoShadow) {
        settingsShadow[static_cast<size_t>(row->shadow)] = *value;
    }
    return accepted ? SettingWrite::Accepted : SettingWrite::Refused;
}

void MainWindow::SetActivePort() {
    applySetting(__func__);
}

void MainWindow::SetAutoSwitch() {
    applySetting(__func__);
}

void MainWindow::SetAudioSource() {
    applySetting(__func__);
}

void MainWindow::SetHDCP_Version() {
    applySetting(__func__);
}

void MainWindow::SetOut_420() {
    applySetting(__func__);
}

// The device rebuilds its EDID after a mode change; the ticks read it again once it is ready.
// A refused mode change keeps its "Error Writing values" on the status bar.
void MainWindow::SetEDID_Mode() {
    const SettingWrite written = applySetting(__func__);
    if (written != SettingWrite::NothingToWrite) {
        ui->EDIDtext->setEnabled(ui->customEDID->isChecked());
    }
    if (written != SettingWrite::Refused) {
        showStatus("EDID Writing Busy", kMessageMs);
    }
    edidRefreshPending = true;
}

// No control calls it: the whole settings shadow goes to the device in one block.
void MainWindow::SetEPState() {
    WriteSettingsBlock(settingsShadow);
}

void MainWindow::force2c() {
    applySetting(__func__);
}

void MainWindow::force51() {
    applySetting(__func__);
}

void MainWindow::forceHdr() {
    applySetting(__func__);
}

void MainWindow::forceFullAudio() {
    applySetting(__func__);
}

void MainWindow::setSwPriority() {
    applySetting(__func__);
}

void MainWindow::changeCustomEdid() {
    applySetting(__func__);
}

void MainWindow::CecLpRepurp() {
    applySetting(__func__);
}

// Forcing HDR sends the custom HDR infoframe first; its outcome does not stop the write.
void MainWindow::hdrForceActivate() {
    if (ui->cbHdrForceMode->isChecked()) {
        sendHdrInfoframe();
    }
    applySetting(__func__);
}

void MainWindow::hdrSamsung() {
    applySetting(__func__);
}

void MainWindow::setLogoLed() {
    applySetting(__func__);
}

void MainWindow::setBt2020() {
    applySetting(__func__);
}

void MainWindow::setBlueLed() {
    applySetting(__func__);
}

void MainWindow::factoryReset() {
    if (ui->leReset->text() != QLatin1String("RESET")) {
        showStatus("Type RESET into the text box and click OK", kMessageMs);
        return;
    }
    if (applySetting(__func__) == SettingWrite::NothingToWrite) {
        showStatus("Choose the reset from the checkboxes", kMessageMs);
    }
    ui->leReset->clear();
    ui->cbClearSettings->setChecked(false);
    ui->cbClearEdid->setChecked(false);
}

void MainWindow::setYUV() {
    applySetting(__func__);
}

void MainWindow::setCEC() {
    applySetting(__func__);
}

void MainWindow::setCecLa() {
    applySetting(__func__);
}

void MainWindow::setAVR() {
    applySetting(__func__);
}

void MainWindow::set3D() {
    applySetting(__func__);
}

void MainWindow::setEdidAlgo() {
    applySetting(__func__);
}

// Replacing the AVI infoframe sends it first; a good send has written register 0x21
// already, so the register is written twice.
void MainWindow::setAviPers() {
    if (ui->cbAviPersistent->isChecked()) {
        sendAVI();
    }
    applySetting(__func__);
}
