// Custom HDR and AVI infoframes.

#include "VeltrikaForm.h"

void MainWindow::WriteIF() {}

bool MainWindow::sendAVI() { return false; }
