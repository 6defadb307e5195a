// The setting slots: each control writes one setting of the box. One table says, setting
// by setting, which controls give the value; the session's settings table says which
// register takes it and which shadow byte follows it.

#include "VeltrikaForm.h"
#include "core/box/messages.h"
#include "ui_VeltrikaForm.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <optional>
#include <utility>

namespace {

enum class Rule {
    FirstChecked, // the value of the first checked button, else the fallback
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

ValueFrom fromButtons(std::initializer_list<Pick> picks, std::optional<uint8_t> otherwise) {
    ValueFrom from;
    from.rule = Rule::FirstChecked;
    std::copy_n(picks.begin(), std::min(picks.size(), kMaxPicks), from.picks.begin());
    from.otherwise = otherwise;
    return from;
}

// 1 when the button is checked, else 0.
ValueFrom oneWhenChecked(QAbstractButton *button) {
    return fromButtons({{button, 1}}, 0);
}

// The value of the first checked button; with none checked nothing is written.
ValueFrom firstChecked(std::initializer_list<Pick> picks) {
    return fromButtons(picks, std::nullopt);
}

// The device value the settings table gives the named value of a setting.
uint8_t deviceValue(Setting setting, std::string_view name) {
    return settingValueNamed(settingInfo(setting), name).value_or(0);
}

ValueFrom currentIndex(QComboBox *combo, int offset) {
    ValueFrom from;
    from.rule = Rule::ComboIndex;
    from.combo = combo;
    from.indexOffset = offset;
    return from;
}

// Where each setting's value comes from; a setting without a case here fails to compile.
ValueFrom controlValue(const Ui::MainWindow &f, Setting setting) {
    switch (setting) {
    case Setting::ActiveInput:
        return currentIndex(f.cmbInputSel, 1);
    case Setting::AutoSwitch:
        return oneWhenChecked(f.autoSwEn);
    case Setting::SwitchPriority:
        return oneWhenChecked(f.pPrioForce);
    case Setting::AudioSource:
        return firstChecked({{f.audioHdmi, deviceValue(Setting::AudioSource, "hdmi")},
                             {f.audioJack, deviceValue(Setting::AudioSource, "jack")}});
    case Setting::HdcpVersion:
        return firstChecked({{f.hdcp14, deviceValue(Setting::HdcpVersion, "1.4")},
                             {f.hdcp22, deviceValue(Setting::HdcpVersion, "2.2")}});
    case Setting::Output420:
        return oneWhenChecked(f.enable420);
    case Setting::EdidMode:
        return firstChecked({{f.automixEDID, record::kEdidModeAutomix},
                             {f.fixedEDID, record::kEdidModeFixed},
                             {f.customEDID, record::kEdidModeCustom}});
    case Setting::AutomixAlgorithm:
        return currentIndex(f.cmbEdidAlgo, 0);
    case Setting::CustomEdidPreset:
        return currentIndex(f.cmBEdid, 0);
    case Setting::ForceStereo:
        return oneWhenChecked(f.cb2cForce);
    case Setting::ForceMultichannel:
        return oneWhenChecked(f.cb51);
    case Setting::Remove3d:
        return oneWhenChecked(f.cb3D);
    case Setting::HdrPacket:
        return oneWhenChecked(f.cbHdr);
    case Setting::HdrHotkey:
        return oneWhenChecked(f.bHdrRepurpEn);
    case Setting::ForceHdrActive:
        return oneWhenChecked(f.cbHdrForceMode);
    case Setting::HdrMode:
        return oneWhenChecked(f.bSamHdr);
    case Setting::GreenLed:
        return oneWhenChecked(f.enableLed);
    case Setting::BlueLeds:
        return oneWhenChecked(f.enableBLed);
    case Setting::Bt2020:
        return oneWhenChecked(f.cbBt2020);
    case Setting::AllowYcbcr:
        return oneWhenChecked(f.cbYUV);
    case Setting::CecProcessing:
        return oneWhenChecked(f.cbCec);
    case Setting::CecDeviceType:
        return currentIndex(f.cmbLa, 0);
    case Setting::AvrAudio:
        return oneWhenChecked(f.enableAVR);
    case Setting::ReplaceAvi:
        return oneWhenChecked(f.cbAviPersistent);
    case Setting::FullAudio:
        return oneWhenChecked(f.cbFull);
    }
    return {};
}

std::optional<uint8_t> valueOf(const ValueFrom &from) {
    if (from.rule == Rule::ComboIndex) {
        // No current item: the device reported a value the box does not list. Any value
        // written in its place would change a setting nobody touched.
        if (from.combo->currentIndex() < 0) {
            return std::nullopt;
        }
        return static_cast<uint8_t>(from.combo->currentIndex() + from.indexOffset);
    }
    for (const Pick &pick : from.picks) {
        if (pick.button != nullptr && pick.button->isChecked()) {
            return pick.value;
        }
    }
    return from.otherwise;
}

} // namespace

std::optional<uint8_t> MainWindow::controlsValue(Setting setting) const {
    return valueOf(controlValue(*ui, setting));
}

MainWindow::SettingWrite MainWindow::applySetting(Setting setting) {
    if (controlValue(*ui, setting).rule == Rule::ComboIndex && !startupComplete) {
        return SettingWrite::NothingToWrite;
    }
    const std::optional<uint8_t> value = controlsValue(setting);
    if (!value) {
        return SettingWrite::NothingToWrite;
    }
    return applyChange(BoxChange::ofSetting(setting, *value), Answer::No).ok() ? SettingWrite::Accepted
                                                                               : SettingWrite::Refused;
}

void MainWindow::SetActivePort() {
    applySetting(Setting::ActiveInput);
}

void MainWindow::SetAutoSwitch() {
    applySetting(Setting::AutoSwitch);
}

void MainWindow::SetAudioSource() {
    applySetting(Setting::AudioSource);
}

void MainWindow::SetHDCP_Version() {
    applySetting(Setting::HdcpVersion);
}

void MainWindow::SetOut_420() {
    applySetting(Setting::Output420);
}

// The device rebuilds its EDID after a mode change; the ticks read it again once it is ready.
// A refused mode change keeps its "Error Writing values" on the status bar.
void MainWindow::SetEDID_Mode() {
    const SettingWrite written = applySetting(Setting::EdidMode);
    if (written != SettingWrite::NothingToWrite) {
        ui->EDIDtext->setEnabled(ui->customEDID->isChecked());
    }
    if (written != SettingWrite::Refused) {
        showStatus(kEdidWritingBusy, kConfirmMs);
    }
    edidRefreshPending = true;
}

// No control calls it: the whole settings shadow goes to the device in one block.
void MainWindow::SetEPState() {
    WriteSettingsBlock(session_->settingsShadow());
}

void MainWindow::force2c() {
    applySetting(Setting::ForceStereo);
}

void MainWindow::force51() {
    applySetting(Setting::ForceMultichannel);
}

void MainWindow::forceHdr() {
    applySetting(Setting::HdrPacket);
}

void MainWindow::forceFullAudio() {
    applySetting(Setting::FullAudio);
}

void MainWindow::setSwPriority() {
    applySetting(Setting::SwitchPriority);
}

void MainWindow::changeCustomEdid() {
    applySetting(Setting::CustomEdidPreset);
}

void MainWindow::CecLpRepurp() {
    applySetting(Setting::HdrHotkey);
}

// Forcing HDR sends the custom HDR infoframe first; its outcome does not stop the write.
void MainWindow::hdrForceActivate() {
    if (ui->cbHdrForceMode->isChecked()) {
        sendHdrInfoframe();
    }
    applySetting(Setting::ForceHdrActive);
}

void MainWindow::hdrSamsung() {
    applySetting(Setting::HdrMode);
}

void MainWindow::setLogoLed() {
    applySetting(Setting::GreenLed);
}

void MainWindow::setBt2020() {
    applySetting(Setting::Bt2020);
}

void MainWindow::setBlueLed() {
    applySetting(Setting::BlueLeds);
}

void MainWindow::factoryReset() {
    if (ui->leReset->text() != QLatin1String("RESET")) {
        showStatus("Type RESET into the text box and click OK", kConfirmMs);
        return;
    }
    const int what = (ui->cbClearSettings->isChecked() ? record::kResetSettings : 0) |
                     (ui->cbClearEdid->isChecked() ? record::kResetEdid : 0);
    if (what == 0) {
        showStatus("Choose the reset from the checkboxes", kConfirmMs);
    } else {
        applyChange(BoxChange::ofFactoryReset(static_cast<FactoryReset>(what)), Answer::No);
    }
    ui->leReset->clear();
    ui->cbClearSettings->setChecked(false);
    ui->cbClearEdid->setChecked(false);
}

void MainWindow::setYUV() {
    applySetting(Setting::AllowYcbcr);
}

void MainWindow::setCEC() {
    applySetting(Setting::CecProcessing);
}

void MainWindow::setCecLa() {
    applySetting(Setting::CecDeviceType);
}

void MainWindow::setAVR() {
    applySetting(Setting::AvrAudio);
}

void MainWindow::set3D() {
    applySetting(Setting::Remove3d);
}

void MainWindow::setEdidAlgo() {
    applySetting(Setting::AutomixAlgorithm);
}

// Replacing the AVI infoframe sends it first; a good send has written register 0x21
// already, so the register is written twice.
void MainWindow::setAviPers() {
    if (ui->cbAviPersistent->isChecked()) {
        sendAVI();
    }
    applySetting(Setting::ReplaceAvi);
}
