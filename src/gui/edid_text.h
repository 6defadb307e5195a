#pragma once
// The EDID in its text box: the rendering with the checksum bytes in bold.

#include "core/box/frames.h"

#include <QColor>
#include <QFont>

#include <cstdint>
#include <span>

class QString;
class QTextEdit;

// Replaces the whole content of the box with the spaced hex text of the image: every
// character black, the two checksum bytes bold, the other line ends of normal weight.
// One step of the box's undo history: Undo brings back the text and formats it replaced.
void renderEdidText(QTextEdit &box, std::span<const uint8_t, proto::kEdidSize> image);

// Replaces the whole content of the box with the text in one format (the box's current
// format with the point size, colour and weight), as one step of its undo history.
void replaceEdidText(QTextEdit &box, const QString &text, int pointSize, const QColor &colour,
                     QFont::Weight weight);
