// Keeping the controls in step with the device: every tick reads the status record
// and sets each control to the device's state. Signals are not blocked, so a check box
// or combo box that changes runs its slot and tells the device its own value again;
// radio buttons and the REPLACE AVI box react to clicks only and stay quiet.

#include "VeltrikaForm.h"
#include "ui_VeltrikaForm.h"

#include <algorithm>

namespace {

// The first control is checked when the field is 1, the second otherwise.
void pickPair(uint8_t value, QAbstractButton *whenOne, QAbstractButton *otherwise) {
    whenOne->setChecked(value == 1);
    otherwise->setChecked(value != 1);
}

void checkWhenOne(uint8_t value, QAbstractButton *box) {
    box->setChecked(value == 1);
}

void enableWhenOne(uint8_t value, std::initializer_list<QWidget *> widgets) {
    for (QWidget *widget : widgets) {
        widget->setEnabled(value == 1);
    }
}

// Sets each button's checked state in turn; a field value outside the list changes nothing.
struct ButtonStates {
    uint8_t value;
    std::initializer_list<bool> checked;
};

bool applyStates(uint8_t value, std::initializer_list<ButtonStates> states,
                 std::initializer_list<QAbstractButton *> buttons) {
    for (const ButtonStates &state : states) {
        if (state.value != value) {
            continue;
        }
        auto checked = state.checked.begin();
        for (QAbstractButton *button : buttons) {
            button->setChecked(*checked++);
        }
        return true;
    }
    return false;
}

} // namespace

void MainWindow::checkPendingEdidRefresh() {
    if (!edidRefreshPending) {
        return;
    }
    proto::ReplyBuffer status{};
    if (!ReadStatus(status, proto::kStatusReplyLength) || proto::deviceBusy(status)) {
        return;
    }
    edidRefreshPending = false;
    const QString shown = ui->EDIDtext->toPlainText();
    if (!shown.isEmpty() && shown != deviceEdidText) {
        return;
    }
    readDeviceEdid();
}

void MainWindow::syncControls() {
    const Outcome<record::StatusRecord> settings = session_->readSettings();
    tickSettings_ = settings.ok() ? std::optional(settings.value) : std::nullopt;
    if (!settings.ok()) {
        return;
    }
    const record::StatusRecord &device = settings.value;
    using namespace record;

    ui->cmbInputSel->setCurrentIndex(device[kActiveInput] - 1);
    ui->cmBEdid->setCurrentIndex(device[kCustomEdidPreset]);
    ui->cmbLa->setCurrentIndex(device[kCecDeviceType]);
    ui->cmbEdidAlgo->setCurrentIndex(device[kAutomixAlgorithm]);

    applyStates(device[kAudioSource], {{1, {true, false}}, {2, {false, false}}, {3, {false, true}}},
                {ui->audioHdmi, ui->audioJack});
    if (applyStates(device[kEdidMode],
                    {{kEdidModeAutomix, {true, false, false}},
                     {kEdidModeFixed, {false, false, true}},
                     {kEdidModeCustom, {false, true, false}}},
                    {ui->automixEDID, ui->customEDID, ui->fixedEDID})) {
        ui->EDIDtext->setEnabled(device[kEdidMode] == kEdidModeCustom);
    }
    applyStates(device[kHdcpVersion], {{1, {false, false}}, {2, {true, false}}, {3, {false, true}}},
                {ui->hdcp14, ui->hdcp22});
    applyStates(device[kOutput420], {{0, {true, false}}, {1, {false, true}}},
                {ui->disable420, ui->enable420});
    if (applyStates(device[kAutoSwitch], {{0, {true, false}}, {1, {false, true}}},
                    {ui->autoSwDis, ui->autoSwEn})) {
        ui->pPrioForce->setEnabled(device[kAutoSwitch] == 1);
        ui->bPrioNorm->setEnabled(device[kAutoSwitch] == 1);
    }
    enableWhenOne(device[kAudioSelectable], {ui->audioHdmi, ui->audioJack});
    enableWhenOne(device[kHdcpSelectable], {ui->hdcp22, ui->hdcp14});
    enableWhenOne(device[kEdidModeSelectable],
                  {ui->automixEDID, ui->customEDID, ui->fixedEDID, ui->EDIDtext});

    checkWhenOne(device[kForceStereo], ui->cb2cForce);
    checkWhenOne(device[kForceMultichannel], ui->cb51);
    checkWhenOne(device[kFullAudio], ui->cbFull);
    checkWhenOne(device[kRemove3d], ui->cb3D);
    checkWhenOne(device[kHdrPacket], ui->cbHdr);
    pickPair(device[kSwitchPriority], ui->pPrioForce, ui->bPrioNorm);
    pickPair(device[kHdrHotkey], ui->bHdrRepurpEn, ui->bHdrRepurpDis);
    pickPair(device[kHdrMode], ui->bSamHdr, ui->bFullHdr);
    checkWhenOne(device[kForceHdrActive], ui->cbHdrForceMode);
    pickPair(device[kGreenLed], ui->enableLed, ui->disableLed);
    pickPair(device[kBlueLeds], ui->enableBLed, ui->disableBLed);
    checkWhenOne(device[kCecProcessing], ui->cbCec);
    checkWhenOne(device[kAllowYcbcr], ui->cbYUV);
    checkWhenOne(device[kBt2020], ui->cbBt2020);
    pickPair(device[kAvrAudio], ui->enableAVR, ui->disableAVR);
    checkWhenOne(device[kReplaceAvi], ui->cbAviPersistent);
}
