// The EDID as spaced hex text in EDIDtext, and its checksum check.

#include "VeltrikaForm.h"

void MainWindow::CalculateChkSum() {}
