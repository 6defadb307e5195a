// EDID transfers between the device and EDIDtext.

#include "VeltrikaForm.h"

void MainWindow::on_ProgressChange(int /*value*/, int /*total*/) {}

void MainWindow::readDeviceEdid() {}

void MainWindow::ReadEDID() { readDeviceEdid(); }

void MainWindow::readTvEdidA() {}

void MainWindow::readTvEdidB() {}

void MainWindow::WriteEDID() {}
