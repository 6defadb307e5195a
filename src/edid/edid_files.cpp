// Loading and saving EDID files.

#include "VeltrikaForm.h"

void MainWindow::LoadEDIDfromFile() {}

void MainWindow::SaveEDIDtoFile() {}
