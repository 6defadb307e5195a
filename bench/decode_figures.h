#pragma once
// The figures of `veltrika edid decode` as a process beside Debian's edid-decode: one EDID a
// process, paired run by run (and a process that only loads Qt Core, the floor under any
// process of the program), and a folder of 1,000 EDIDs in one process against edid-decode
// started once for each file.

#include "measure.h"

#include <QString>

#include <vector>

namespace bench {

// `folder`: where the 1,000 EDIDs are taken from (its first 1,000 files by name); empty: the
// EDIDs of tests/data/edid, copied over and over into a temporary folder.
void decodeFigures(std::vector<Figure> &figures, const QString &folder);

} // namespace bench
