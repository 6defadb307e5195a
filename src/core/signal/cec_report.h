#pragma once
// The decoded CEC message as the front ends show it: lines of text and a JSON object.

#include "core/signal/cec_decode.h"

#include <QJsonObject>
#include <QStringList>

namespace cec {

// "TV (0) -> Broadcast (15): Standby" and a line per operand, findings last.
QStringList cecDetailLines(const CecDecoded &decoded);
QJsonObject cecJson(const CecDecoded &decoded);

} // namespace cec
