#pragma once
// A short text from a printf format, made in one allocation: "0x%02x, should be 0x%02x".
// QString::arg makes a new string for each argument, and one more for each number, where
// the decoders make many short texts of numbers (their findings, the names of codes) and
// their fuzz targets make them millions of times. The format and what it is given must
// make Latin-1 text (the decoders' texts are ASCII), and hold integers and texts only: a
// number with a fraction would follow the locale (QCoreApplication sets it from the
// environment), where QString::number writes it alike everywhere.

#include <QString>

QString formatText(const char *format, ...) Q_ATTRIBUTE_FORMAT_PRINTF(1, 2);
