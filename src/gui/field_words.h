#pragma once
// The words people read for the program's keys: the fields of the box's status, its
// settings and the parts of a box configuration, as the window's own labels and check boxes
// say them. Files, exports and the command line keep the keys; the window shows these.

#include <QString>

// "Force HDR always active" for "hdr-force"; a key without a word is shown as it is.
QString fieldWord(const QString &key);
