#pragma once
// The decoded infoframe as the front ends show it: lines of text and a JSON object.

#include "core/signal/infoframe_decode.h"

#include <QJsonObject>
#include <QStringList>

namespace infoframe {

// The decoded infoframe as lines of text, findings last.
QStringList infoframeDetailLines(const InfoframeDecoded &decoded);
// type, version, length, checksum_ok, and the fields in the names of the lines.
QJsonObject infoframeJson(const InfoframeDecoded &decoded);

} // namespace infoframe
