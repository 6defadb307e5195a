// The CEC commander: send a CEC message, store one in the device's two slots.

#include "VeltrikaForm.h"

void MainWindow::WriteCEC() {}

void MainWindow::SaveCEC_1() {}

void MainWindow::SaveCEC_2() {}
