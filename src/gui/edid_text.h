#pragma once
// The EDID in its text box: the rendering with the checksum bytes in bold.

#include "core/box/frames.h"

#include <cstdint>
#include <span>

class QTextEdit;

// Replaces the whole content of the box with the spaced hex text of the image: every
// character black, the two checksum bytes bold, the other line ends of normal weight.
void renderEdidText(QTextEdit &box, std::span<const uint8_t, proto::kEdidSize> image);
