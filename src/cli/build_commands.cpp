#include "build_commands.h"

#include "core/edid/edid_decode.h"
#include "core/edid/edid_fit.h"
#include "core/edid/edid_model.h"
#include "core/edid/edid_report.h"
#include "decode_commands.h"
#include "run_cli.h"

#include <QJsonArray>

namespace cli {
namespace {

QString editName(const EdidEdit &edit, const Invocation &invocation) {
    switch (edit.kind) {
    case EdidEdit::Kind::Name:
        return QStringLiteral("--name %1").arg(edit.text);
    case EdidEdit::Kind::RemoveVic:
        return QStringLiteral("--remove-vic %1").arg(edit.number);
    case EdidEdit::Kind::AddVic:
        return QStringLiteral("--add-vic %1").arg(edit.number);
    case EdidEdit::Kind::NativeVic:
        return QStringLiteral("--native-vic %1").arg(edit.number);
    case EdidEdit::Kind::AudioFrom:
        return QStringLiteral("--audio-from %1").arg(invocation.edidInputs[edit.input].name);
    case EdidEdit::Kind::RemoveAudio:
        return QStringLiteral("--remove-audio %1").arg(edit.text);
    case EdidEdit::Kind::NoDolbyVision:
        return QStringLiteral("--no-dolby-vision");
    case EdidEdit::Kind::NoHdr10Plus:
        return QStringLiteral("--no-hdr10plus");
    case EdidEdit::Kind::MaxFrl:
        return QStringLiteral("--max-frl %1").arg(edit.number);
    case EdidEdit::Kind::NoAllm:
        break;
    }
    return QStringLiteral("--no-allm");
}

edid::EditOutcome applyEdit(edid::EdidModel &model, const EdidEdit &edit,
                            const std::vector<edid::EdidModel> &models) {
    const auto vic = static_cast<uint8_t>(edit.number);
    switch (edit.kind) {
    case EdidEdit::Kind::Name:
        return edid::setProductName(model, edit.text);
    case EdidEdit::Kind::RemoveVic:
        return edid::removeVic(model, vic);
    case EdidEdit::Kind::AddVic:
        return edid::addVic(model, vic);
    case EdidEdit::Kind::NativeVic:
        return edid::setNativeVic(model, vic);
    case EdidEdit::Kind::AudioFrom:
        return edid::takeAudioBlock(model, models[edit.input]);
    case EdidEdit::Kind::RemoveAudio:
        return edid::removeAudioFormat(model, edit.text);
    case EdidEdit::Kind::NoDolbyVision:
        return edid::removeVendorVideoBlock(model, edid::VendorVideo::DolbyVision);
    case EdidEdit::Kind::NoHdr10Plus:
        return edid::removeVendorVideoBlock(model, edid::VendorVideo::Hdr10Plus);
    case EdidEdit::Kind::MaxFrl:
        return edid::setMaxFrl(model, edid::frlCodeOfGbps(edit.number).value_or(0));
    case EdidEdit::Kind::NoAllm:
        break;
    }
    return edid::setAllm(model, false);
}

QJsonObject candidateObject(const edid::FitCandidate &candidate) {
    return {{QStringLiteral("leave_out"), edid::fitCandidateWhat(candidate)},
            {QStringLiteral("kind"), edid::fitCutName(candidate.cut)},
            {QStringLiteral("bytes"), candidate.bytes},
            {QStringLiteral("loses"), edid::fitCandidateLoses(candidate)}};
}

QJsonArray candidateArray(std::span<const edid::FitCandidate> candidates) {
    QJsonArray array;
    for (const edid::FitCandidate &candidate : candidates) {
        array.append(candidateObject(candidate));
    }
    return array;
}

// The proposal of a refused edit, as lines on standard output and as "fit" in JSON.
void showProposal(const edid::FitProposal &proposal, Output &output) {
    output.lines << QStringLiteral(
                        "What to leave out, least loss first (%1 bytes missing; the box's link: %2):")
                        .arg(proposal.missingBytes)
                        .arg(proposal.link ? edid::linkLimitText(*proposal.link) : QStringLiteral("unknown"));
    for (size_t i = 0; i < proposal.candidates.size(); ++i) {
        output.lines << QStringLiteral("%1. %2").arg(i + 1, 3).arg(
            edid::fitCandidateText(proposal.candidates[i]));
    }
    if (proposal.leastLoss) {
        output.lines
            << QStringLiteral("--fit-by least-loss leaves out the first %1.").arg(*proposal.leastLoss);
    } else {
        output.lines << QStringLiteral("Leaving out all of them is not enough.");
    }
    output.json.insert(
        QStringLiteral("fit"),
        QJsonObject{{QStringLiteral("missing_bytes"), proposal.missingBytes},
                    {QStringLiteral("link"),
                     proposal.link ? QJsonValue(edid::linkLimitText(*proposal.link)) : QJsonValue()},
                    {QStringLiteral("candidates"), candidateArray(proposal.candidates)},
                    {QStringLiteral("least_loss"),
                     proposal.leastLoss ? QJsonValue(static_cast<int>(*proposal.leastLoss)) : QJsonValue()}});
}

// The link of the box, from its own EDID: read once, when a proposal needs it and the box is
// there (an input that is the box's own EDID is taken as read).
class BoxLink {
public:
    BoxLink(const Invocation &invocation, const std::vector<QByteArray> &edids, BoxSession *session)
        : invocation_(invocation), edids_(edids), session_(session) {}

    std::optional<edid::LinkLimit> get() {
        if (read_) {
            return link_;
        }
        read_ = true;
        for (size_t i = 0; i < invocation_.edidInputs.size(); ++i) {
            if (invocation_.edidInputs[i].source == EdidSource::Box) {
                link_ = edid::linkLimitOf(edid::decodeEdid(bytesOf(edids_[i])));
                return link_;
            }
        }
        if (session_ != nullptr) {
            const Outcome<EdidImage> own = session_->readEdid(EdidSource::Box);
            if (own.ok()) {
                link_ = edid::linkLimitOf(edid::decodeEdid(own.value));
            }
        }
        return link_;
    }

private:
    const Invocation &invocation_;
    const std::vector<QByteArray> &edids_;
    BoxSession *session_;
    bool read_ = false;
    std::optional<edid::LinkLimit> link_;
};

} // namespace

int runBuildCommand(const Invocation &invocation, std::vector<QByteArray> &edids, BoxSession *session,
                    StderrReporter &reporter, Output &output, QByteArray *built) {
    if (const std::optional<QString> failure = firstFailure(readBoxEdids(invocation, edids, session))) {
        output.error = *failure;
        return kExitFailed;
    }
    std::vector<edid::EdidModel> models;
    for (size_t i = 0; i < edids.size(); ++i) {
        models.push_back(edid::readEdidModel(bytesOf(edids[i])));
        if (!models.back().valid) {
            output.error = QStringLiteral("%1: not an EDID").arg(invocation.edidInputs[i].name);
            return kExitFailed;
        }
    }
    BoxLink link(invocation, edids, session);
    std::vector<edid::FitCandidate> leftOut;
    // An edit refused for space is fitted with --fit-by, else refused with its proposal.
    const auto fitted = [&](const edid::EditOutcome &outcome, const edid::EdidModel *before,
                            edid::EdidModel &model) {
        if (outcome.ok || !outcome.unfitted) {
            return outcome.ok;
        }
        if (!invocation.fitByLeastLoss) {
            showProposal(edid::proposeFit(*outcome.unfitted, link.get(), before), output);
            return false;
        }
        const edid::FittedEdit fit = edid::fitByLeastLoss(outcome, link.get(), before);
        if (!fit.model) {
            showProposal(fit.proposal, output);
            return false;
        }
        for (const edid::FitCandidate &candidate : fit.leftOut) {
            reporter.message(QStringLiteral("left out ") + edid::fitCandidateText(candidate));
        }
        leftOut.insert(leftOut.end(), fit.leftOut.begin(), fit.leftOut.end());
        model = *fit.model;
        return true;
    };
    edid::EdidModel model = models.front();
    if (invocation.command == Command::EdidMerge) {
        const edid::MergeOutcome merged = edid::mergeEdids(models[0], models[1]);
        model = merged.model;
        if (!fitted(merged.outcome, nullptr, model)) {
            output.error = QStringLiteral("edid merge: %1").arg(merged.outcome.reason);
            return kExitFailed;
        }
    }
    for (const EdidEdit &edit : invocation.edidEdits) {
        const edid::EdidModel before = model;
        const edid::EditOutcome outcome = applyEdit(model, edit, models);
        if (!fitted(outcome, &before, model)) {
            output.error = QStringLiteral("edid edit %1: %2").arg(editName(edit, invocation), outcome.reason);
            return kExitFailed;
        }
    }
    // The box takes 256 bytes: a base block alone is followed by an empty one.
    std::vector<uint8_t> bytes = edid::encodeEdidModel(model);
    bytes.resize(proto::kEdidSize, 0);
    *built = QByteArray(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    const edid::EdidDecoded decoded = edid::decodeEdid(bytes);
    output.json = edid::edidJson(decoded);
    output.json.insert(QStringLiteral("file"), invocation.outputFile);
    output.json.insert(QStringLiteral("cta_bytes"), edid::ctaContentBytes(model));
    if (invocation.fitByLeastLoss) {
        output.json.insert(QStringLiteral("left_out"), candidateArray(leftOut));
    }
    const QString saved =
        invocation.fileToStandardOutput ? QStringLiteral("standard output") : invocation.outputFile;
    output.lines << QStringLiteral("%1: %2 written, CTA-861 block %3 of 127 bytes")
                        .arg(saved, decoded.base.productName.value_or(QStringLiteral("EDID")))
                        .arg(edid::ctaContentBytes(model));
    return kExitOk;
}

} // namespace cli
