#include "core/box/box_configuration_session.h"

namespace {

// The settings, asked again while the box is busy with its EDID.
Outcome<record::StatusRecord> readSettingsWhenReady(BoxSession &session, LinkClock &clock) {
    Outcome<record::StatusRecord> settings = session.readSettings();
    for (int poll = 0; poll < kConfigurationBusyPolls && settings.error == LinkError::Busy; ++poll) {
        clock.sleep(kConfigurationBusyPollMs);
        settings = session.readSettings();
    }
    return settings;
}

template <size_t N> Outcome<std::array<uint8_t, N>> readStoredBytes(BoxSession &session, uint8_t address) {
    const Outcome<proto::ReplyBuffer> block =
        session.readRegisters(address, static_cast<uint8_t>(proto::kBlockDataStart + N));
    Outcome<std::array<uint8_t, N>> bytes{block.error, {}};
    if (block.ok()) {
        std::copy_n(block.value.begin() + proto::kBlockDataStart, N, bytes.value.begin());
    }
    return bytes;
}

} // namespace

BoxConfigurationRead readBoxConfiguration(BoxSession &session, LinkClock &clock, ConfigurationParts parts,
                                          bool firmware) {
    BoxConfigurationRead read;
    const auto fail = [&read](LinkError error, const char *part) {
        read.error = error;
        read.failedPart = QLatin1String(part);
        return read;
    };
    if (firmware) {
        const Outcome<proto::ReplyBuffer> version =
            session.readRegisters(proto::kRegVersion, proto::kVersionBlockLength);
        if (!version.ok()) {
            return fail(version.error, "firmware version");
        }
        read.configuration.firmware = firmwareVersionOf(version.value);
    }
    const Outcome<record::StatusRecord> settings = readSettingsWhenReady(session, clock);
    if (!settings.ok()) {
        return fail(settings.error, "settings");
    }
    const std::optional<QString> version = read.configuration.firmware;
    read.configuration = configurationOfRecord(settings.value);
    read.configuration.firmware = version;
    if ((parts & partBit(ConfigurationPart::Edid)) != 0 && showsCustomEdid(read.configuration)) {
        const Outcome<EdidImage> edid = session.readEdid(EdidSource::Box);
        if (!edid.ok()) {
            return fail(edid.error, "custom EDID");
        }
        read.configuration.customEdid = edid.value;
    }
    if ((parts & partBit(ConfigurationPart::Packets)) != 0) {
        const auto hdr = readStoredBytes<proto::kStoredHdrBytes>(session, proto::kRegStoredHdrInfoframe);
        if (!hdr.ok()) {
            return fail(hdr.error, "HDR infoframe");
        }
        const auto avi = readStoredBytes<proto::kStoredAviBytes>(session, proto::kRegStoredAviBytes);
        if (!avi.ok()) {
            return fail(avi.error, "AVI bytes");
        }
        read.configuration.hdrInfoframe = hdr.value;
        read.configuration.aviBytes = avi.value;
    }
    return read;
}
