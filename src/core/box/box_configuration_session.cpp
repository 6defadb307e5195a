#include "core/box/box_configuration_session.h"

#include "core/box/packet_text.h"

namespace {

// Waits, with status reads, until the box is no longer busy with its EDID.
LinkError waitUntilReady(BoxSession &session, LinkClock &clock) {
    for (int poll = 0; poll <= kConfigurationBusyPolls; ++poll) {
        const Outcome<proto::ReplyBuffer> status = session.readStatus();
        if (!status.ok()) {
            return status.error;
        }
        if (!proto::deviceBusy(status.value)) {
            return LinkError::None;
        }
        clock.sleep(kConfigurationBusyPollMs);
    }
    return LinkError::Busy;
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

LinkError runStep(BoxSession &session, LinkClock &clock, const RestoreStep &step) {
    switch (step.change.kind) {
    case ConfigurationChange::Kind::Setting:
        return session.writeSetting(step.change.setting, step.change.to);
    case ConfigurationChange::Kind::Edid: {
        const LinkError ready = waitUntilReady(session, clock);
        return ready != LinkError::None ? ready : session.writeEdid(step.edid);
    }
    case ConfigurationChange::Kind::HdrInfoframe:
        return session.sendPacket(packets::kHdrSend, step.hdr);
    case ConfigurationChange::Kind::AviBytes: {
        const LinkError sent = session.sendPacket(packets::kAviSend, step.avi);
        return sent != LinkError::None ? sent : session.writeSetting(Setting::ReplaceAvi, step.replaceAvi);
    }
    }
    return LinkError::None;
}

} // namespace

Outcome<record::StatusRecord> readSettingsWhenReady(BoxSession &session, LinkClock &clock) {
    Outcome<record::StatusRecord> settings = session.readSettings();
    for (int poll = 0; poll < kConfigurationBusyPolls && settings.error == LinkError::Busy; ++poll) {
        clock.sleep(kConfigurationBusyPollMs);
        settings = session.readSettings();
    }
    return settings;
}

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

RestoreReport runRestore(BoxSession &session, LinkClock &clock, const std::vector<RestoreStep> &steps,
                         const BoxConfiguration &wanted, const RestoreProgress &progress) {
    RestoreReport report;
    const int total = static_cast<int>(steps.size());
    for (size_t i = 0; i < steps.size(); ++i) {
        const LinkError error = runStep(session, clock, steps[i]);
        if (error != LinkError::None) {
            report.error = error;
            for (size_t rest = i; rest < steps.size(); ++rest) {
                report.notApplied.push_back(steps[rest].change);
            }
            break;
        }
        report.applied.push_back(steps[i].change);
        if (progress) {
            progress(static_cast<int>(i) + 1, total);
        }
    }
    if (progress) {
        progress(0, 0);
    }
    if (report.error != LinkError::None) {
        return report;
    }
    BoxConfiguration wantedParts = wanted;
    wantedParts.firmware.reset();
    const BoxConfigurationRead back = readBoxConfiguration(session, clock, partsHeld(wantedParts), false);
    if (!back.ok()) {
        report.readBackError = back.error;
        report.readBackPart = back.failedPart;
        return report;
    }
    report.mismatched = configurationDifferences(back.configuration, wantedParts);
    return report;
}

QStringList restoreReportLines(const RestoreReport &report, QString (*nameOf)(const ConfigurationChange &)) {
    const auto text = [nameOf](const ConfigurationChange &change) {
        return changeText(change, nameOf(change));
    };
    QStringList lines;
    for (const ConfigurationChange &change : report.applied) {
        lines << QStringLiteral("applied: %1").arg(text(change));
    }
    for (size_t i = 0; i < report.notApplied.size(); ++i) {
        lines << QStringLiteral("%1: %2").arg(
            i == 0 ? QStringLiteral("not applied (%1)").arg(QLatin1String(linkErrorName(report.error)))
                   : QStringLiteral("not applied"),
            text(report.notApplied[i]));
    }
    if (report.readBackError != LinkError::None) {
        lines << QStringLiteral("not read back: %1 (%2)")
                     .arg(report.readBackPart, QLatin1String(linkErrorName(report.readBackError)));
    }
    for (const ConfigurationChange &change : report.mismatched) {
        lines << QStringLiteral("read back otherwise: %1").arg(text(change));
    }
    return lines;
}
