#include "core/chain/chain_read.h"

#include "core/box/box_configuration_session.h"

namespace chain {

ChainRead readChain(BoxSession &session, LinkClock &clock) {
    ChainRead read;
    const auto fail = [&read](LinkError error, const char *part) {
        read.error = error;
        read.failedPart = QLatin1String(part);
        return read;
    };
    const Outcome<record::StatusRecord> settings = readSettingsWhenReady(session, clock);
    if (!settings.ok()) {
        return fail(settings.error, "settings");
    }
    const StatusBlocks blocks = session.readStatusBlocks();
    if (isLinkLoss(blocks.loss)) {
        return fail(blocks.loss, "status");
    }
    read.inputs.status = status::typedStatusOf(blocks, settings.value);
    const Outcome<EdidImage> box = session.readEdid(EdidSource::Box);
    if (!box.ok()) {
        return fail(box.error, "box EDID");
    }
    read.inputs.box = box.value;
    for (const EdidSource tv : {EdidSource::TopSink, EdidSource::BotSink}) {
        const Outcome<EdidImage> edid = session.readEdid(tv);
        if (isLinkLoss(edid.error)) {
            return fail(edid.error, tv == EdidSource::TopSink ? "TOP EDID" : "BOT EDID");
        }
        if (edid.ok()) {
            (tv == EdidSource::TopSink ? read.inputs.top : read.inputs.bot) = edid.value;
        }
    }
    return read;
}

} // namespace chain
