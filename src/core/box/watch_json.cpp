#include "core/box/watch_json.h"

#include "core/box/typed_status_json.h"

namespace watch {

QJsonObject eventJson(const WatchEvent &event, bool asState) {
    QJsonObject object;
    switch (event.kind) {
    case EventKind::Attached:
        object.insert(QStringLiteral("event"),
                      asState ? QStringLiteral("state") : QStringLiteral("attached"));
        object.insert(QStringLiteral("firmware"),
                      event.firmware.isEmpty() ? QJsonValue() : QJsonValue(event.firmware));
        object.insert(QStringLiteral("status"), status::typedStatusJson(event.status));
        break;
    case EventKind::Detached:
        object.insert(QStringLiteral("event"), QStringLiteral("detached"));
        object.insert(QStringLiteral("why"), event.why);
        break;
    case EventKind::Changed:
        object.insert(QStringLiteral("event"), QStringLiteral("changed"));
        object.insert(QStringLiteral("field"), event.field);
        object.insert(QStringLiteral("from"), event.from);
        object.insert(QStringLiteral("to"), event.to);
        break;
    }
    return object;
}

} // namespace watch
