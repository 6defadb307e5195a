#pragma once
// Texts both front ends show for the same input errors and states, in the window's words.

constexpr char kHexFormatError[] = "Hex Format Error";
constexpr char kSelectCustomEdidMode[] = "\nSelect CUSTOM EDID TABLE mode to upload an EDID table\n";
constexpr char kWrongEdidChecksum[] = "The EDID Checksum is not correct.";
constexpr char kEdidWritingBusy[] = "EDID Writing Busy";
