#include "core/chain/chain_read.h"

#include "core/box/box_configuration_session.h"

namespace chain {
namespace {

ChainRead failure(ChainRead read, LinkError error, const char *part) {
    read.error = error;
    read.failedPart = QLatin1String(part);
    return read;
}

} // namespace

ChainRead readChain(BoxSession &session, LinkClock &clock) {
    const Outcome<record::StatusRecord> settings = readSettingsWhenReady(session, clock);
    if (!settings.ok()) {
        return failure({}, settings.error, "settings");
    }
    const StatusBlocks blocks = session.readStatusBlocks();
    if (isLinkLoss(blocks.loss)) {
        return failure({}, blocks.loss, "status");
    }
    ChainInputs inputs;
    inputs.status = status::typedStatusOf(blocks, settings.value);
    return readChainEdids(session, std::move(inputs));
}

ChainRead readChainEdids(BoxSession &session, ChainInputs inputs) {
    ChainRead read;
    read.inputs = std::move(inputs);
    const Outcome<EdidImage> box = session.readEdid(EdidSource::Box);
    if (!box.ok()) {
        return failure(std::move(read), box.error, "box EDID");
    }
    read.inputs.box = box.value;
    for (const EdidSource tv : {EdidSource::TopSink, EdidSource::BotSink}) {
        const Outcome<EdidImage> edid = session.readEdid(tv);
        if (isLinkLoss(edid.error)) {
            return failure(std::move(read), edid.error, tv == EdidSource::TopSink ? "TOP EDID" : "BOT EDID");
        }
        if (edid.ok()) {
            (tv == EdidSource::TopSink ? read.inputs.top : read.inputs.bot) = edid.value;
        }
    }
    return read;
}

} // namespace chain
