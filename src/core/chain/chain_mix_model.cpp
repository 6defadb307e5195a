#include "core/chain/chain_mix_model.h"

#include <algorithm>

namespace chain {
namespace {

constexpr uint8_t kMinMixed = 0;
constexpr uint8_t kMaxAudioMinVideo = 1;
constexpr uint8_t kTopPriority = 2;

constexpr uint32_t kFrontPair = 0x01;
constexpr uint32_t kUpTo51 = 0x0F; // FL/FR, LFE1, FC, BL/BR

// clang-format off
constexpr MixOption kOptions[] = {
    {Setting::ForceStereo,       "2.0 Stereo",  1, "two-channel LPCM only"},
    {Setting::ForceMultichannel, "5.1 Multi",   1, "at most six channels"},
    {Setting::HdrPacket,         "HDR packet",  0, "no HDR static metadata"},
    {Setting::Bt2020,            "BT.2020",     0, "no BT.2020 colorimetry"},
    {Setting::AllowYcbcr,        "Allow YCbCr", 0, "no YCbCr"},
};
// clang-format on

Cell taken(Cell cell) {
    cell.presence = Presence::No;
    cell.amount = 0;
    cell.detail.clear();
    return cell;
}

bool isAudioCoding(Capability c) {
    return capabilityInfo(c).domain == Domain::Audio && c != Capability::Lpcm20 &&
           c != Capability::LpcmRates && c != Capability::Speakers;
}

Cell combined(Capability capability, const Cell &top, const Cell &bot, Rule rule) {
    if (rule == Rule::Top) {
        return top;
    }
    if (top.presence == Presence::Unknown || bot.presence == Presence::Unknown) {
        Cell cell;
        cell.detail = QStringLiteral("a TV's EDID is not known");
        return cell;
    }
    const bool both = rule == Rule::Both;
    Cell cell = top;
    switch (capabilityInfo(capability).measure) {
    case Measure::Info:
        // What each takes of 4K60 (full colour, 4:2:0), mixed as parts.
        cell.amount = both ? top.amount & bot.amount : top.amount | bot.amount;
        cell.presence = cell.amount == kUhd60As420 ? Presence::Yes : Presence::No;
        break;
    case Measure::Flag: {
        const bool present = both ? top.presence == Presence::Yes && bot.presence == Presence::Yes
                                  : top.presence == Presence::Yes || bot.presence == Presence::Yes;
        cell.presence = present ? Presence::Yes : Presence::No;
        cell.amount = present ? 1 : 0;
        // What a format needs on the link: the harder TV's where both must take it.
        const auto needs = [](const Cell &c) {
            return c.presence == Presence::Yes ? c.neededKhz : UINT32_MAX;
        };
        cell.neededKhz = both ? std::max(top.neededKhz, bot.neededKhz) : std::min(needs(top), needs(bot));
        break;
    }
    case Measure::Level:
        cell.amount = both ? std::min(top.amount, bot.amount) : std::max(top.amount, bot.amount);
        cell.presence = cell.amount > 0 ? Presence::Yes : Presence::No;
        break;
    case Measure::Set:
        cell.amount = both ? top.amount & bot.amount : top.amount | bot.amount;
        cell.presence = cell.amount != 0 ? Presence::Yes : Presence::No;
        break;
    }
    cell.detail.clear();
    return cell;
}

bool isFormatRow(Capability c) {
    return c == Capability::Uhd60Full || c == Capability::Uhd120 || c == Capability::Fhd120 ||
           c == Capability::Uhd8k;
}

} // namespace

QString algorithmName(uint8_t algorithm) {
    static constexpr const char *kNames[] = {"Min Mixed Capabilities", "Max Audio, Min Video",
                                             "TOP Output Priority", "Max Audio, Max Video"};
    return algorithm < kAutomixAlgorithms ? QLatin1String(kNames[algorithm])
                                          : QStringLiteral("unknown (%1)").arg(algorithm);
}

Rule ruleOf(uint8_t algorithm, Domain domain) {
    switch (algorithm) {
    case kMinMixed:
        return Rule::Both;
    case kMaxAudioMinVideo:
        return domain == Domain::Audio ? Rule::Either : Rule::Both;
    case kTopPriority:
        return Rule::Top;
    default:
        break;
    }
    return Rule::Either;
}

QString ruleWords(Rule rule, Domain domain) {
    const QLatin1String what(domain == Domain::Audio ? "audio" : "video");
    switch (rule) {
    case Rule::Both:
        return QStringLiteral("keeps the %1 both outputs state").arg(what);
    case Rule::Either:
        return QStringLiteral("keeps the %1 either output states").arg(what);
    case Rule::Top:
        break;
    }
    return QStringLiteral("takes TOP's %1").arg(what);
}

std::span<const MixOption> mixOptions() {
    return kOptions;
}

bool optionTakes(const MixOption &option, const BoxConfiguration &settings) {
    return settings.setting(option.setting) == option.taking;
}

Cell optionApplied(const MixOption &option, Capability c, Cell cell) {
    if (cell.presence == Presence::Unknown) {
        return cell;
    }
    switch (option.setting) {
    case Setting::ForceStereo:
        if (isAudioCoding(c) && c != Capability::Lpcm20) {
            return taken(cell);
        }
        if (c == Capability::Speakers) {
            cell.amount &= kFrontPair;
            cell.presence = cell.amount != 0 ? Presence::Yes : Presence::No;
        }
        return cell;
    case Setting::ForceMultichannel:
        if (c == Capability::Lpcm71) {
            return taken(cell);
        }
        if (c == Capability::Speakers) {
            cell.amount &= kUpTo51;
            cell.presence = cell.amount != 0 ? Presence::Yes : Presence::No;
        }
        return cell;
    case Setting::HdrPacket:
        return c == Capability::Hdr10 || c == Capability::Hlg ? taken(cell) : cell;
    case Setting::Bt2020:
        return c == Capability::Bt2020 ? taken(cell) : cell;
    case Setting::AllowYcbcr:
        if (c == Capability::Uhd60Only420) {
            cell.amount &= ~kUhd60As420;
            cell.presence = Presence::No;
            return cell;
        }
        if (c == Capability::Deep10 || c == Capability::Deep12) {
            cell.amount &= ~kDeep420;
            cell.presence = cell.amount != 0 ? Presence::Yes : Presence::No;
        }
        return cell;
    default:
        break;
    }
    return cell;
}

CapabilityColumn expectedMix(const ChainMatrix &matrix, uint8_t algorithm, const BoxConfiguration &settings,
                             const std::optional<edid::LinkLimit> &link) {
    CapabilityColumn column;
    const bool stereo = optionTakes(kOptions[0], settings);
    for (const CapabilityInfo &info : allCapabilities()) {
        const Capability c = info.capability;
        Cell cell = combined(c, matrix.cell(Column::Top, c), matrix.cell(Column::Bot, c),
                             ruleOf(algorithm, info.domain));
        if (link && cell.presence != Presence::Unknown) {
            if (c == Capability::MaxTmds) {
                cell.amount = std::min(cell.amount, static_cast<uint32_t>(link->maxTmdsMhz));
            } else if (c == Capability::Frl) {
                cell.amount = std::min(cell.amount, static_cast<uint32_t>(link->maxFrlGbps));
                cell.presence = cell.amount > 0 ? Presence::Yes : Presence::No;
            }
        }
        for (const MixOption &option : kOptions) {
            // 2.0 Stereo leaves nothing for 5.1 Multi to take.
            const bool shadowed = stereo && option.setting == Setting::ForceMultichannel;
            if (optionTakes(option, settings) && !shadowed) {
                cell = optionApplied(option, c, cell);
            }
        }
        cell.evidence = {Column::Box, -1, -1, QStringLiteral("expected of %1").arg(algorithmName(algorithm))};
        column[static_cast<size_t>(c)] = cell;
    }
    // A format the mix's own link rates do not carry is no longer offered (as the box's link
    // caps them, or as the TVs state them).
    const Cell &tmds = column[static_cast<size_t>(Capability::MaxTmds)];
    const Cell &frl = column[static_cast<size_t>(Capability::Frl)];
    uint64_t capacity = link ? edid::linkCapacityKhz(*link) : UINT64_MAX;
    if (tmds.presence != Presence::Unknown && frl.presence != Presence::Unknown) {
        capacity = std::min(
            capacity, edid::linkCapacityKhz({static_cast<int>(tmds.amount), static_cast<int>(frl.amount)}));
    }
    for (Cell &cell : column) {
        const Capability c = static_cast<Capability>(&cell - column.data());
        if (cell.presence == Presence::Yes && isFormatRow(c) && cell.neededKhz > capacity) {
            cell = taken(cell);
        }
    }
    return column;
}

} // namespace chain
