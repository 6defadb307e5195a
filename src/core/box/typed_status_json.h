#pragma once
// The typed status as one JSON object: every field by name (null where the box reports
// none or the read that carries it failed) and "settings", every setting by name.

#include "core/box/typed_status.h"

#include <QJsonObject>

namespace status {

QJsonObject typedStatusJson(const TypedStatus &status);

} // namespace status
