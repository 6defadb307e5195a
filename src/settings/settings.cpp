// The setting slots: each control writes one device register.

#include "VeltrikaForm.h"

void MainWindow::SetActivePort() {}

void MainWindow::SetAutoSwitch() {}

void MainWindow::SetAudioSource() {}

void MainWindow::SetHDCP_Version() {}

void MainWindow::SetOut_420() {}

void MainWindow::SetEDID_Mode() {}

void MainWindow::SetEPState() {}

void MainWindow::force2c() {}

void MainWindow::force51() {}

void MainWindow::forceHdr() {}

void MainWindow::forceFullAudio() {}

void MainWindow::setSwPriority() {}

void MainWindow::changeCustomEdid() {}

void MainWindow::CecLpRepurp() {}

void MainWindow::hdrForceActivate() {}

void MainWindow::hdrSamsung() {}

void MainWindow::setLogoLed() {}

void MainWindow::setBt2020() {}

void MainWindow::setBlueLed() {}

void MainWindow::factoryReset() {}

void MainWindow::setYUV() {}

void MainWindow::setCEC() {}

void MainWindow::setCecLa() {}

void MainWindow::setAVR() {}

void MainWindow::set3D() {}

void MainWindow::setEdidAlgo() {}

void MainWindow::setAviPers() {}
