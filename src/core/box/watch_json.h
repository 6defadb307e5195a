#pragma once
// A watcher's event as a JSON object, for the monitor's JSON Lines and the bridge's event
// topic: {"event": "attached"|"state", "firmware", "status"}, {"event": "detached", "why"} or
// {"event": "changed", "field", "from", "to"}. The first attach may be shown as the state.

#include "core/box/watcher.h"

#include <QJsonObject>

namespace watch {

QJsonObject eventJson(const WatchEvent &event, bool asState);

} // namespace watch
