#include "core/chain/chain_fixes.h"

#include "core/box/status_record.h"
#include "core/box/typed_status.h"
#include "core/chain/chain_mix_model.h"
#include "core/edid/edid_model.h"

#include <algorithm>

namespace chain {
namespace {

using edid::EdidModel;
using edid::FitCandidate;

bool compared(Capability c) {
    return capabilityInfo(c).measure != Measure::Info;
}

template <typename T> bool includes(const std::vector<T> &big, const std::vector<T> &small) {
    return std::all_of(small.begin(), small.end(),
                       [&](const T &x) { return std::find(big.begin(), big.end(), x) != big.end(); });
}

// What the fix's column brings, takes away and offers that a TV cannot take, against the box now.
void measure(ChainFix &fix, const ChainMatrix &m, const std::vector<ChainFinding> &findings) {
    for (size_t i = 0; i < findings.size(); ++i) {
        const ChainFinding &f = findings[i];
        const Cell &offered = fix.box[static_cast<size_t>(f.capability)];
        if (f.kind == FindingKind::SinkOnly && std::none_of(f.sinks.begin(), f.sinks.end(), [&](Column s) {
                return offered.presence == Presence::Unknown ||
                       exceeds(f.capability, m.cell(s, f.capability), offered);
            })) {
            fix.resolves.push_back(i);
        }
    }
    for (const CapabilityInfo &info : allCapabilities()) {
        const Capability c = info.capability;
        const Cell &now = m.cell(Column::Box, c);
        const Cell &then = fix.box[static_cast<size_t>(c)];
        if (!compared(c)) {
            continue;
        }
        if (exceeds(c, now, then)) {
            fix.loses.push_back(c);
        }
        for (Column tv : {Column::Top, Column::Bot}) {
            if (exceeds(c, then, m.cell(tv, c)) && !exceeds(c, now, m.cell(tv, c))) {
                fix.oneSided.emplace_back(tv, c);
            }
        }
    }
}

// Y at least as good as X in all, better in one (or as good in all and listed first).
bool dominates(const ChainFix &y, const ChainFix &x) {
    return includes(y.resolves, x.resolves) && includes(x.loses, y.loses) &&
           includes(x.oneSided, y.oneSided) && y.settings.size() <= x.settings.size();
}

QString settingText(const SettingChange &change) {
    const SettingInfo &info = settingInfo(change.setting);
    return QStringLiteral("%1=%2").arg(
        QLatin1String(info.name.data(), static_cast<qsizetype>(info.name.size())),
        status::settingValueText(change.setting, change.value));
}

// The options the findings blame: taking now, and taking something of a finding's TVs' cells.
std::vector<const MixOption *> blamedOptions(const ChainMatrix &m, const BoxConfiguration &settings,
                                             const std::vector<ChainFinding> &findings) {
    std::vector<const MixOption *> blamed;
    for (const MixOption &option : mixOptions()) {
        if (!optionTakes(option, settings)) {
            continue;
        }
        const bool blames = std::any_of(findings.begin(), findings.end(), [&](const ChainFinding &f) {
            return f.kind == FindingKind::SinkOnly && !f.beyondBox &&
                   std::any_of(f.sinks.begin(), f.sinks.end(), [&](Column s) {
                       const Cell &cell = m.cell(s, f.capability);
                       const Cell after = optionApplied(option, f.capability, cell);
                       return after.presence != cell.presence || after.amount != cell.amount;
                   });
        });
        if (blames) {
            blamed.push_back(&option);
        }
    }
    return blamed;
}

std::vector<ChainFix> settingFixes(const ChainMatrix &m, const BoxConfiguration &settings,
                                   const std::vector<ChainFinding> &findings) {
    std::vector<ChainFix> fixes;
    const std::optional<uint8_t> mode = settings.setting(Setting::EdidMode);
    const std::optional<uint8_t> algorithm = settings.setting(Setting::AutomixAlgorithm);
    if (!mode || !algorithm) {
        return fixes;
    }
    const std::vector<const MixOption *> blamed = blamedOptions(m, settings, findings);
    for (uint8_t a = 0; a < kAutomixAlgorithms; ++a) {
        for (uint32_t subset = 0; subset < (1u << blamed.size()); ++subset) {
            ChainFix fix;
            BoxConfiguration after = settings;
            QStringList words;
            const bool modeChange = *mode != record::kEdidModeAutomix;
            if (modeChange) {
                words << QStringLiteral("EDID mode AUTOMIX with %1").arg(algorithmName(a));
            }
            if (a != *algorithm) {
                fix.settings.push_back({Setting::AutomixAlgorithm, a});
                if (!modeChange) {
                    words << QStringLiteral("automix algorithm %1").arg(algorithmName(a));
                }
            }
            for (size_t i = 0; i < blamed.size(); ++i) {
                if ((subset >> i & 1) != 0) {
                    const uint8_t giving = blamed[i]->taking != 0 ? 0 : 1;
                    fix.settings.push_back({blamed[i]->setting, giving});
                    words << QStringLiteral("%1 %2").arg(QLatin1String(blamed[i]->caption),
                                                         giving != 0 ? QStringLiteral("on")
                                                                     : QStringLiteral("off"));
                }
            }
            if (modeChange) {
                fix.settings.push_back({Setting::EdidMode, record::kEdidModeAutomix});
            }
            if (fix.settings.empty()) {
                continue;
            }
            // The box takes the settings in table order, the EDID mode last.
            std::stable_sort(
                fix.settings.begin(), fix.settings.end(), [](const SettingChange &x, const SettingChange &y) {
                    const bool xMode = x.setting == Setting::EdidMode, yMode = y.setting == Setting::EdidMode;
                    return xMode != yMode ? yMode : x.setting < y.setting;
                });
            QStringList keys;
            for (const SettingChange &change : fix.settings) {
                after.setSetting(change.setting, change.value);
                keys << settingText(change);
            }
            fix.kind = ChainFix::Kind::Settings;
            fix.key = keys.join(QLatin1Char(','));
            fix.words = words.join(QStringLiteral(", "));
            fix.box = expectedMix(m, a, after, m.boxLink);
            fix.expected = true;
            measure(fix, m, findings);
            if (!fix.resolves.empty()) {
                fixes.push_back(std::move(fix));
            }
        }
    }
    // A combination stays only for a finding that none of its parts brings alone (2.0 Stereo off
    // and another algorithm, where each alone leaves Atmos out); then only what no other fix
    // dominates.
    std::vector<bool> keep(fixes.size(), true);
    for (size_t i = 0; i < fixes.size(); ++i) {
        std::vector<size_t> byParts;
        for (const ChainFix &part : fixes) {
            if (part.settings.size() < fixes[i].settings.size() &&
                includes(fixes[i].settings, part.settings)) {
                byParts.insert(byParts.end(), part.resolves.begin(), part.resolves.end());
            }
        }
        keep[i] = !includes(byParts, fixes[i].resolves);
    }
    std::vector<ChainFix> kept;
    for (size_t i = 0; i < fixes.size(); ++i) {
        bool dominated = !keep[i];
        for (size_t j = 0; j < fixes.size() && !dominated; ++j) {
            dominated = keep[j] && j != i && dominates(fixes[j], fixes[i]) &&
                        (!dominates(fixes[i], fixes[j]) || j < i);
        }
        if (!dominated) {
            kept.push_back(std::move(fixes[i]));
        }
    }
    return kept;
}

int count(const ChainMatrix &m, Column column, bool audio) {
    int n = 0;
    for (const CapabilityInfo &info : allCapabilities()) {
        if ((info.domain == Domain::Audio) == audio && compared(info.capability) &&
            m.cell(column, info.capability).presence == Presence::Yes) {
            ++n;
        }
    }
    return n;
}

QStringList whats(std::span<const FitCandidate> candidates) {
    QStringList out;
    for (const FitCandidate &c : candidates) {
        out << edid::fitCandidateWhat(c);
    }
    return out;
}

// The model within the box's link: the formats beyond it left out, the FRL and TMDS rates
// stated no higher than the box's.
void keepWithinLink(EdidModel &model, const edid::LinkLimit &link, QStringList &notes) {
    const edid::FitProposal proposal = edid::proposeFit(model, link);
    std::vector<FitCandidate> beyond;
    std::copy_if(proposal.candidates.begin(), proposal.candidates.end(), std::back_inserter(beyond),
                 [](const FitCandidate &c) { return c.cut == edid::FitCut::BeyondLink; });
    if (!beyond.empty()) {
        edid::leaveOut(model, beyond);
        notes << QStringLiteral("left out beyond the box's link (%1): %2")
                     .arg(edid::linkLimitText(link), whats(beyond).join(QStringLiteral("; ")));
    }
    const edid::EdidDecoded decoded = edid::decodeEdid(edid::encodeEdidModel(model));
    const std::optional<edid::HdmiForum> forum =
        decoded.cta.empty() ? std::nullopt : decoded.cta.front().hdmiForum;
    if (!forum) {
        return;
    }
    if (edid::frlGbps(forum->maxFrlCode) > link.maxFrlGbps) {
        if (const std::optional<uint8_t> code = edid::frlCodeOfGbps(link.maxFrlGbps);
            code && edid::setMaxFrl(model, *code).ok) {
            notes << QStringLiteral("max FRL rate %1 Gbps stated as %2")
                         .arg(edid::frlGbps(forum->maxFrlCode))
                         .arg(link.maxFrlGbps > 0 ? QStringLiteral("%1 Gbps").arg(link.maxFrlGbps)
                                                  : QStringLiteral("none"));
        }
    }
    constexpr int kForumTmdsFloorMhz = 340;
    if (forum->maxTmdsMhz > link.maxTmdsMhz) {
        const uint16_t mhz =
            link.maxTmdsMhz > kForumTmdsFloorMhz ? static_cast<uint16_t>(link.maxTmdsMhz) : 0;
        if (edid::setMaxTmdsCharacterRate(model, mhz).ok) {
            notes << QStringLiteral("max TMDS character rate %1 MHz stated as %2 MHz")
                         .arg(forum->maxTmdsMhz)
                         .arg(link.maxTmdsMhz);
        }
    }
}

std::optional<ChainFix> customEdidFix(const ChainInputs &inputs, const ChainMatrix &m,
                                      const std::vector<ChainFinding> &findings, QStringList &notes) {
    if (!inputs.top || !inputs.bot || m.cell(Column::Top, Capability::Lpcm20).presence == Presence::Unknown ||
        m.cell(Column::Bot, Capability::Lpcm20).presence == Presence::Unknown) {
        return std::nullopt;
    }
    const Column video =
        count(m, Column::Bot, false) > count(m, Column::Top, false) ? Column::Bot : Column::Top;
    const Column audio =
        count(m, Column::Top, true) > count(m, Column::Bot, true) ? Column::Top : Column::Bot;
    const EdidImage &videoImage = video == Column::Top ? *inputs.top : *inputs.bot;
    const EdidImage &audioImage = audio == Column::Top ? *inputs.top : *inputs.bot;
    const EdidModel videoModel = edid::readEdidModel(videoImage);
    const EdidModel audioModel = edid::readEdidModel(audioImage);
    const edid::MergeOutcome merged = edid::mergeEdids(videoModel, audioModel);
    ChainFix fix;
    EdidModel model = merged.model;
    if (!merged.outcome.ok) {
        const edid::FittedEdit fitted = edid::fitByLeastLoss(merged.outcome, m.boxLink);
        if (!fitted.model) {
            notes << QStringLiteral("No custom EDID is proposed: %1.").arg(merged.outcome.reason);
            return std::nullopt;
        }
        model = *fitted.model;
        fix.notes << QStringLiteral("left out to fit the CTA-861 block's 127 bytes: %1")
                         .arg(whats(fitted.leftOut).join(QStringLiteral("; ")));
    }
    keepWithinLink(model, m.boxLink, fix.notes);
    const std::vector<uint8_t> bytes = edid::encodeEdidModel(model);
    if (bytes.size() != kEdidImageSize) {
        return std::nullopt;
    }
    EdidImage image{};
    std::copy(bytes.begin(), bytes.end(), image.begin());
    if (inputs.box && *inputs.box == image) {
        return std::nullopt;
    }
    fix.kind = ChainFix::Kind::CustomEdid;
    fix.key = QStringLiteral("custom-edid");
    fix.words = video == audio ? QStringLiteral("custom EDID: %1's EDID").arg(columnName(video))
                               : QStringLiteral("custom EDID: %1's video with %2's audio")
                                     .arg(columnName(video), columnName(audio));
    fix.settings = {{Setting::CustomEdidPreset, 0}, {Setting::EdidMode, record::kEdidModeCustom}};
    fix.edid = image;
    fix.box = edidColumn(image, Column::Box);
    fix.expected = false;
    measure(fix, m, findings);
    if (fix.resolves.empty()) {
        return std::nullopt;
    }
    return fix;
}

} // namespace

std::vector<ChainFix> planFixes(const ChainInputs &inputs, const ChainMatrix &matrix,
                                const BoxConfiguration &settings, std::vector<ChainFinding> &findings,
                                QStringList &notes) {
    std::vector<ChainFix> fixes = settingFixes(matrix, settings, findings);
    if (std::optional<ChainFix> custom = customEdidFix(inputs, matrix, findings, notes)) {
        fixes.push_back(std::move(*custom));
    }
    std::stable_sort(fixes.begin(), fixes.end(), [](const ChainFix &a, const ChainFix &b) {
        if (a.resolves.size() != b.resolves.size()) {
            return a.resolves.size() > b.resolves.size();
        }
        if (a.oneSided.size() != b.oneSided.size()) {
            return a.oneSided.size() < b.oneSided.size();
        }
        if (a.loses.size() != b.loses.size()) {
            return a.loses.size() < b.loses.size();
        }
        return a.settings.size() < b.settings.size();
    });
    for (size_t i = 0; i < fixes.size(); ++i) {
        for (size_t finding : fixes[i].resolves) {
            findings[finding].fixes.push_back(i);
        }
    }
    return fixes;
}

BoxConfiguration fixWanted(const ChainFix &fix) {
    BoxConfiguration wanted;
    for (const SettingChange &change : fix.settings) {
        wanted.setSetting(change.setting, change.value);
    }
    wanted.customEdid = fix.edid;
    return wanted;
}

BoxChange fixChange(const ChainFix &fix, const BoxConfiguration &box) {
    const BoxConfiguration wanted = fixWanted(fix);
    return BoxChange::ofRestore(planRestore(box, wanted), wanted,
                                QStringLiteral("chain doctor: %1").arg(fix.key));
}

QStringList fixCommands(const ChainFix &fix, size_t number, const QString &file) {
    if (fix.kind == ChainFix::Kind::Settings) {
        QStringList writes;
        for (const SettingChange &change : fix.settings) {
            writes << settingText(change);
        }
        return {QStringLiteral("veltrika set %1").arg(writes.join(QLatin1Char(' ')))};
    }
    return {QStringLiteral("veltrika doctor --apply %1 --dry-run -o %2").arg(number).arg(file),
            QStringLiteral("veltrika set edid-mode=custom custom-edid=0"),
            QStringLiteral("veltrika edid write %1").arg(file)};
}

} // namespace chain
