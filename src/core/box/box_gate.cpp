#include "core/box/box_gate.h"

#include "core/base/code_text.h"
#include "core/box/messages.h"
#include "core/edid/edid_decode.h"
#include "core/signal/cec_decode.h"
#include "core/signal/infoframe_decode.h"

#include <algorithm>

namespace {

// What the findings of a verdict are gathered into, with the one reason it is refused.
struct Check {
    QStringList findings;
    QString refusal;
    bool checksumsWrong = false;

    void failuresOf(const Findings &decoded, const QString &prefix) {
        for (const Finding &finding : decoded) {
            if (finding.severity == Finding::Severity::Failure) {
                findings << prefix + findingLine(finding);
            }
        }
    }
    void refuse(const QString &reason) {
        if (refusal.isEmpty()) {
            refusal = reason;
        }
    }
};

void checkSettingValue(Setting setting, uint8_t value, Check &check) {
    const SettingInfo &info = settingInfo(setting);
    if (settingValueName(info, value)) {
        return;
    }
    QStringList names;
    for (const SettingValue &named : info.values) {
        names << nameText(named.name);
    }
    check.refuse(QStringLiteral("bad value for %1: %2 (one of: %3)")
                     .arg(nameText(info.name))
                     .arg(value)
                     .arg(names.join(QStringLiteral(", "))));
}

// Whether a source can read it (a text or file that holds no whole EDID too: the window stops
// at it, the command line writes it with --as-is), then, for one it can, what the decoder
// fails. The checksums are a finding apart: they can be repaired.
void checkEdid(const EdidImage &image, qsizetype bytesHeld, EdidOrigin origin, const QString &prefix,
               Check &check) {
    const EdidCheck structure = checkEdidForSource(image, bytesHeld, origin);
    for (const QString &reason : structure.reasons) {
        check.findings << prefix + reason;
    }
    // An EDID whose structure a source cannot read fails the decoder for the same reason.
    if (structure.ok()) {
        Findings failures;
        for (const Finding &finding : edid::decodeEdid(image).findings) {
            if (!finding.where.endsWith(QLatin1String("Checksum"))) {
                failures.push_back(finding);
            }
        }
        check.failuresOf(failures, prefix);
    }
    check.checksumsWrong = check.checksumsWrong || !edidChecksumsRight(image);
}

// The groups a packet kind takes (its data frame's bytes without a count byte).
void checkGroups(size_t groups, const packets::PacketSend &send, Check &check) {
    const size_t maxGroups = (send.limits.maxChars + 1) / 3;
    if (groups < packets::kMinPacketBytes || groups > maxGroups) {
        check.refuse(QString::fromLatin1(send.lengthError));
    }
}

void checkCecStore(const packets::PacketText &text, Check &check) {
    const size_t chars = text.length == 0 ? 0 : text.length - 1;
    size_t groups = 0;
    if (chars < packets::kCecStoreLimits.minChars || chars > packets::kCecStoreLimits.maxChars ||
        !isColonHexText(text.text().first(chars), &groups) || groups < packets::kMinPacketBytes) {
        check.refuse(QLatin1String(packets::kCecStoreLengthError));
        return;
    }
    std::array<uint8_t, kColonHexOutputSize> bytes{};
    const uint8_t count = parseColonHex(text.text(), text.length, false, bytes);
    check.failuresOf(cec::decodeCec(std::span<const uint8_t>(bytes).first(count)).findings, {});
}

void checkRestoreStep(const RestoreStep &step, Check &check) {
    switch (step.change.kind) {
    case ConfigurationChange::Kind::Setting:
        checkSettingValue(step.change.setting, step.change.to, check);
        break;
    case ConfigurationChange::Kind::Edid:
        checkEdid(step.edid, kEdidImageSize, EdidOrigin::File, QStringLiteral("edid: "), check);
        break;
    case ConfigurationChange::Kind::HdrInfoframe:
        check.failuresOf(infoframe::decodeInfoframe(step.hdr, infoframe::Form::Frame).findings,
                         QStringLiteral("hdr_infoframe: "));
        break;
    case ConfigurationChange::Kind::AviBytes:
        check.failuresOf(infoframe::decodeInfoframe(step.avi, infoframe::Form::AviPayload).findings,
                         QStringLiteral("avi: "));
        checkSettingValue(Setting::ReplaceAvi, step.replaceAvi, check);
        break;
    }
}

// `into` with every part `from` holds in its place.
void merge(BoxConfiguration &into, const BoxConfiguration &from) {
    for (const SettingInfo &info : allSettings()) {
        if (const std::optional<uint8_t> value = from.setting(info.setting)) {
            into.setSetting(info.setting, *value);
        }
    }
    if (from.customEdid) {
        into.customEdid = from.customEdid;
    }
    if (from.hdrInfoframe) {
        into.hdrInfoframe = from.hdrInfoframe;
    }
    if (from.aviBytes) {
        into.aviBytes = from.aviBytes;
    }
}

QString outcomeReason(const ChangeResult &result) {
    if (!result.restore.ok()) {
        return restoreReportLines(result.restore).join(QStringLiteral("; "));
    }
    const QString error = QLatin1String(linkErrorName(result.error));
    return result.failedPart.isEmpty() ? error : QStringLiteral("%1: %2").arg(result.failedPart, error);
}

} // namespace

QStringList GateVerdict::lines() const {
    QStringList all = findings;
    if (checksumsWrong) {
        all << QLatin1String(kWrongEdidChecksum);
    }
    return all;
}

QString frontEndName(FrontEnd frontEnd) {
    switch (frontEnd) {
    case FrontEnd::Window:
        return QStringLiteral("window");
    case FrontEnd::Bridge:
        return QStringLiteral("bridge");
    case FrontEnd::CommandLine:
        break;
    }
    return QStringLiteral("command line");
}

GateVerdict checkChange(const BoxChange &change) {
    Check check;
    switch (change.kind) {
    case BoxChange::Kind::Setting:
        checkSettingValue(change.setting, change.value, check);
        break;
    case BoxChange::Kind::SettingsBlock:
        // The block carries back what the box reported, also a value the table does not name.
        for (const SettingInfo &info : allSettings()) {
            const uint8_t value = change.block[static_cast<size_t>(info.recordOffset)];
            if (!settingValueName(info, value)) {
                check.findings
                    << QStringLiteral("%1: the value %2 has no name").arg(nameText(info.name)).arg(value);
            }
        }
        break;
    case BoxChange::Kind::EdidWrite:
        checkEdid(change.edid, change.edidBytesHeld, change.edidOrigin, {}, check);
        break;
    case BoxChange::Kind::CecSend: {
        checkGroups(change.packet.count > 0 ? change.packet.count - 1u : 0u, packets::kCecSend, check);
        const std::vector<uint8_t> message = cecMessageBytes(change.packet);
        check.failuresOf(cec::decodeCec(message).findings, {});
        break;
    }
    case BoxChange::Kind::CecStore:
        checkCecStore(change.storedText, check);
        break;
    case BoxChange::Kind::HdrSend:
        checkGroups(change.packet.count, packets::kHdrSend, check);
        check.failuresOf(infoframe::decodeInfoframe(change.packet.bytes(), infoframe::Form::Frame).findings,
                         {});
        break;
    case BoxChange::Kind::AviSend:
        checkGroups(change.packet.count, packets::kAviSend, check);
        check.failuresOf(
            infoframe::decodeInfoframe(change.packet.bytes(), infoframe::Form::AviPayload).findings, {});
        checkSettingValue(Setting::ReplaceAvi, change.replaceAvi, check);
        break;
    case BoxChange::Kind::Restore:
        for (const RestoreStep &step : change.steps) {
            checkRestoreStep(step, check);
        }
        break;
    case BoxChange::Kind::FactoryReset:
        if (change.value < record::kResetEdid ||
            change.value > (record::kResetEdid | record::kResetSettings)) {
            check.refuse(QStringLiteral("no factory reset clears %1").arg(change.value));
        }
        break;
    }
    GateVerdict verdict;
    if (!check.refusal.isEmpty()) {
        verdict.verdict = Verdict::Refused;
        verdict.findings = {check.refusal};
        return verdict;
    }
    verdict.findings = check.findings;
    verdict.checksumsWrong = check.checksumsWrong;
    verdict.verdict = verdict.findings.isEmpty() && !verdict.checksumsWrong ? Verdict::Ok : Verdict::Ask;
    return verdict;
}

BoxGate::BoxGate(BoxSession &session, LinkClock &clock, Journal *journal)
    : session_(session), clock_(clock), journal_(journal) {
    session_.setReadObserver(this);
}

BoxGate::~BoxGate() {
    session_.setReadObserver(nullptr);
}

ChangeResult BoxGate::applyChange(const BoxChange &change, const ChangeOrigin &origin, Answer answer,
                                  const RestoreProgress &progress) {
    ChangeResult result;
    result.verdict = checkChange(change);
    if (result.verdict.verdict == Verdict::Refused ||
        (result.verdict.verdict == Verdict::Ask && answer != Answer::Yes)) {
        return result;
    }
    const ChangeScope scope = scopeOf(change);
    JournalEntry entry;
    entry.time = QDateTime::currentDateTimeUtc();
    entry.frontEnd = frontEndName(origin.frontEnd);
    entry.client = origin.client;
    entry.change = changeWords(change);
    entry.overwrites = scope.names();
    entry.before = scope.of(known_);
    entry.after = changeOutcome(change);
    entry.undoes = change.undoes;
    // A setting written with the value the box holds already overwrites nothing (the window
    // writes back every check box the status tick sets), nor does a restore of no step.
    const bool settingsOnly =
        change.kind == BoxChange::Kind::Setting || change.kind == BoxChange::Kind::SettingsBlock;
    const bool overwritesNothing = (settingsOnly && entry.before == entry.after) ||
                                   (change.kind == BoxChange::Kind::Restore && change.steps.empty());
    bool recording = journal_ != nullptr && !overwritesNothing;
    if (recording && !journal_->begin(entry, &result.journalWarning)) {
        recording = false;
    }
    send(change, progress, result);
    learn(change, result);
    if (recording) {
        entry.outcome = result.ok() ? QStringLiteral("applied") : QStringLiteral("failed");
        entry.reason = result.ok() ? QString() : outcomeReason(result);
        journal_->finish(entry, &result.journalWarning);
        result.journalEntry = entry;
    }
    return result;
}

void BoxGate::send(const BoxChange &change, const RestoreProgress &progress, ChangeResult &result) {
    result.sent = true;
    switch (change.kind) {
    case BoxChange::Kind::Setting:
        result.error = session_.writeSetting(change.setting, change.value);
        break;
    case BoxChange::Kind::SettingsBlock:
        result.error = session_.writeSettingsBlock(change.block);
        break;
    case BoxChange::Kind::EdidWrite:
        result.error = session_.writeEdid(change.edid);
        break;
    case BoxChange::Kind::CecSend:
        result.error = session_.sendPacket(packets::kCecSend, change.packet.bytes());
        break;
    case BoxChange::Kind::CecStore:
        result.error = session_.storeCec(change.cecSlot, change.storedText);
        break;
    case BoxChange::Kind::HdrSend:
        result.error = session_.sendPacket(packets::kHdrSend, change.packet.bytes());
        break;
    case BoxChange::Kind::AviSend:
        result.error = session_.sendPacket(packets::kAviSend, change.packet.bytes());
        // After activated AVI bytes the box is told again whether to keep replacing AVI.
        if (result.error == LinkError::None) {
            result.error = session_.writeSetting(Setting::ReplaceAvi, change.replaceAvi);
            result.failedPart = result.error == LinkError::None ? QString() : QStringLiteral("replace-avi");
        }
        break;
    case BoxChange::Kind::Restore:
        result.restore = runRestore(session_, clock_, change.steps, change.wanted, progress);
        result.error =
            result.restore.error != LinkError::None ? result.restore.error : result.restore.readBackError;
        break;
    case BoxChange::Kind::FactoryReset:
        result.error = session_.factoryReset(static_cast<FactoryReset>(change.value));
        break;
    }
}

// What the box holds after the change: what it took, and what it may or may not have taken
// is no longer known. A restore that read the box back has told the truth already.
void BoxGate::learn(const BoxChange &change, const ChangeResult &result) {
    const ChangeScope scope = scopeOf(change);
    if (change.kind == BoxChange::Kind::Restore) {
        if (result.restore.error == LinkError::None && result.restore.readBackError == LinkError::None) {
            return;
        }
        known_ = scope.without(known_);
        BoxChange applied = change;
        applied.steps.resize(result.restore.applied.size());
        merge(known_, changeOutcome(applied));
        return;
    }
    known_ = scope.without(known_);
    if (result.ok()) {
        merge(known_, changeOutcome(change));
    }
}

void BoxGate::readBefore(const BoxChange &change) {
    const ChangeScope scope = scopeOf(change);
    const BoxConfiguration wanted = scope.of(known_);
    const bool settingUnknown =
        std::any_of(allSettings().begin(), allSettings().end(), [&](const SettingInfo &info) {
            return scope.touches(info.setting) && !wanted.setting(info.setting);
        });
    // The custom EDID is readable only in CUSTOM mode on preset 0: the mode is read first.
    const bool edidUnknown = scope.customEdid && !known_.customEdid;
    if (settingUnknown || (edidUnknown && !showsCustomEdid(known_))) {
        session_.readSettings();
    }
    if (edidUnknown && showsCustomEdid(known_)) {
        session_.readEdid(EdidSource::Box);
    }
    if (scope.hdrInfoframe && !known_.hdrInfoframe) {
        session_.readRegisters(proto::kRegStoredHdrInfoframe, proto::kStoredHdrBlockLength);
    }
    if (scope.aviBytes && !known_.aviBytes) {
        session_.readRegisters(proto::kRegStoredAviBytes, proto::kStoredAviBlockLength);
    }
}

void BoxGate::settingsRead(const record::StatusRecord &record) {
    merge(known_, configurationOfRecord(record));
}

void BoxGate::ownEdidRead(const EdidImage &image) {
    // In any other mode the box's own EDID is a mix or a preset, not the uploaded one.
    if (showsCustomEdid(known_)) {
        known_.customEdid = image;
    }
}

void BoxGate::registersRead(uint8_t address, uint8_t count, const proto::ReplyBuffer &block) {
    const auto stored = [&](auto &into, uint8_t blockLength) {
        if (count >= blockLength) {
            std::remove_reference_t<decltype(*into)> bytes{};
            std::copy_n(block.begin() + proto::kBlockDataStart, bytes.size(), bytes.begin());
            into = bytes;
        }
    };
    if (address == proto::kRegStoredHdrInfoframe) {
        stored(known_.hdrInfoframe, proto::kStoredHdrBlockLength);
    } else if (address == proto::kRegStoredAviBytes) {
        stored(known_.aviBytes, proto::kStoredAviBlockLength);
    }
}
