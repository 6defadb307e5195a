#include "core/chain/chain_doctor.h"

#include "core/base/format_text.h"
#include "core/box/status_record.h"
#include "core/chain/chain_fixes.h"
#include "core/chain/chain_mix_model.h"
#include "core/edid/cta861.h"
#include "core/edid/video_formats.h"

#include <algorithm>

namespace chain {
namespace {

constexpr uint8_t kYcbcr422 = 1;
constexpr uint8_t kYcbcr420 = 3;
constexpr int kPlainBits = 8;

const Cell &cellAt(const ChainMatrix &m, Column column, Capability c) {
    return m.cell(column, c);
}

bool isFormatRow(Capability c) {
    return c == Capability::Uhd60Full || c == Capability::Uhd120 || c == Capability::Fhd120 ||
           c == Capability::Uhd8k;
}

QString mhzText(uint64_t khz) {
    return QString::number(static_cast<double>(khz) / 1000.0, 'f', khz % 1000 == 0 ? 0 : 2);
}

// "TOP (LG TV) states it (VIC 118)", "BOT (DENON-AVR) states 48 Gbps"
QString statesClause(const ChainMatrix &m, Column column, Capability c) {
    const Cell &cell = cellAt(m, column, c);
    const QString who = columnLabel(m, column);
    if (cell.presence == Presence::Unknown) {
        return QStringLiteral("what %1 states is not known").arg(who);
    }
    if (capabilityInfo(c).measure != Measure::Flag) {
        return QStringLiteral("%1 states %2").arg(who, valueText(c, cell));
    }
    if (cell.presence == Presence::No) {
        return cell.detail.isEmpty() ? QStringLiteral("%1 does not state it").arg(who)
                                     : QStringLiteral("%1 states %2").arg(who, cell.detail);
    }
    return cell.detail.isEmpty() ? QStringLiteral("%1 states it").arg(who)
                                 : QStringLiteral("%1 states it (%2)").arg(who, cell.detail);
}

QString boxClause(const ChainMatrix &m, Capability c) {
    const Cell &cell = cellAt(m, Column::Box, c);
    if (capabilityInfo(c).measure != Measure::Flag) {
        return QStringLiteral("the box's EDID states %1").arg(valueText(c, cell));
    }
    return cell.detail.isEmpty() ? QStringLiteral("the box's EDID does not")
                                 : QStringLiteral("the box's EDID does not (%1)").arg(cell.detail);
}

QString sentence(QString text) {
    if (!text.isEmpty()) {
        text[0] = text[0].toUpper();
    }
    return text + QLatin1Char('.');
}

class Reasoner {
public:
    Reasoner(const ChainMatrix &matrix, const BoxConfiguration &settings) : m_(matrix), settings_(settings) {}

    ChainFinding sinkFinding(Capability c, const std::vector<Column> &sinks) const {
        ChainFinding f;
        f.capability = c;
        f.kind = FindingKind::SinkOnly;
        f.sinks = sinks;
        QString states;
        if (sinks.size() == 2 && capabilityInfo(c).measure == Measure::Flag) {
            states = QStringLiteral("%1 and %2 state it")
                         .arg(columnLabel(m_, sinks[0]), columnLabel(m_, sinks[1]));
        } else {
            QStringList clauses;
            for (Column s : sinks) {
                clauses << statesClause(m_, s, c);
            }
            states = clauses.join(QStringLiteral(" and "));
        }
        QStringList text = {QStringLiteral("%1: %2; %3.")
                                .arg(QLatin1String(capabilityInfo(c).name), states, boxClause(m_, c))};
        f.beyondBox = linkReason(c, sinks, text);
        if (!f.beyondBox) {
            settingReasons(c, sinks, text);
        }
        f.text = text.join(QLatin1Char(' '));
        return f;
    }

private:
    std::optional<uint8_t> setting(Setting s) const { return settings_.setting(s); }

    // What the box's link cannot carry, whatever its settings.
    bool linkReason(Capability c, const std::vector<Column> &sinks, QStringList &text) const {
        const QString link = edid::linkLimitText(m_.boxLink);
        if (c == Capability::MaxTmds || c == Capability::Frl) {
            const uint32_t passes = static_cast<uint32_t>(c == Capability::MaxTmds ? m_.boxLink.maxTmdsMhz
                                                                                   : m_.boxLink.maxFrlGbps);
            const bool beyond = std::all_of(sinks.begin(), sinks.end(),
                                            [&](Column s) { return cellAt(m_, s, c).amount > passes; });
            if (beyond) {
                text
                    << QStringLiteral("The box's link passes no more (%1), whatever its settings.").arg(link);
            }
            return beyond;
        }
        if (!isFormatRow(c)) {
            return false;
        }
        uint32_t least = UINT32_MAX;
        for (Column s : sinks) {
            least = std::min(least, cellAt(m_, s, c).neededKhz);
        }
        if (least <= edid::linkCapacityKhz(m_.boxLink)) {
            return false;
        }
        text << QStringLiteral("It needs %1 MHz, beyond the box's link (%2): no setting brings it.")
                    .arg(mhzText(least), link);
        return true;
    }

    void settingReasons(Capability c, const std::vector<Column> &sinks, QStringList &text) const {
        const std::optional<uint8_t> mode = setting(Setting::EdidMode);
        if (!mode) {
            text << QStringLiteral("The box's settings were not read: why is not known.");
            return;
        }
        if (*mode == record::kEdidModeFixed) {
            text << QStringLiteral(
                "The EDID mode is FIXED: the box offers its fixed table, whatever the TVs state.");
            return;
        }
        if (*mode == record::kEdidModeCustom) {
            const uint8_t preset = setting(Setting::CustomEdidPreset).value_or(0);
            text << (preset == 0
                         ? QStringLiteral("The EDID mode is CUSTOM: the box offers the uploaded custom EDID, "
                                          "which does not state it.")
                         : QStringLiteral(
                               "The EDID mode is CUSTOM with preset %1: the box offers that table, "
                               "which does not state it.")
                               .arg(preset));
            return;
        }
        const uint8_t algorithm = setting(Setting::AutomixAlgorithm).value_or(0);
        const Domain domain = capabilityInfo(c).domain;
        const Rule rule = ruleOf(algorithm, domain);
        const QString intro = QStringLiteral("The automix algorithm is %1, which %2")
                                  .arg(algorithmName(algorithm), ruleWords(rule, domain));
        const auto in = [&](Column s) { return std::find(sinks.begin(), sinks.end(), s) != sinks.end(); };
        bool explained = false;
        if (rule == Rule::Top && !in(Column::Top)) {
            text << sentence(QStringLiteral("%1, and %2").arg(intro, statesClause(m_, Column::Top, c)));
            explained = true;
        } else if (rule == Rule::Both && !(in(Column::Top) && in(Column::Bot))) {
            text << sentence(
                QStringLiteral("%1, and %2")
                    .arg(intro, statesClause(m_, in(Column::Top) ? Column::Bot : Column::Top, c)));
            explained = true;
        }
        for (const MixOption &option : mixOptions()) {
            if (optionTakes(option, settings_) && optionTakesFromSinks(option, c, sinks)) {
                text << QStringLiteral("%1 is %2: the box's mix has %3.")
                            .arg(QLatin1String(option.caption),
                                 option.taking != 0 ? QStringLiteral("on") : QStringLiteral("off"),
                                 QLatin1String(option.takes));
                explained = true;
            }
        }
        if (!explained) {
            text << sentence(
                QStringLiteral("%1, which would keep it; the box's EDID leaves it out nonetheless (a box's "
                               "firmware may mix otherwise than its algorithm's name says, or leave it out "
                               "to fit its EDID's 256 bytes)")
                    .arg(intro));
        }
    }

    // Whether the option, applied to what the TVs state, leaves no more than the box offers.
    bool optionTakesFromSinks(const MixOption &option, Capability c, const std::vector<Column> &sinks) const {
        const Cell &box = cellAt(m_, Column::Box, c);
        return std::all_of(sinks.begin(), sinks.end(), [&](Column s) {
            return !exceeds(c, optionApplied(option, c, cellAt(m_, s, c)), box);
        });
    }

    const ChainMatrix &m_;
    const BoxConfiguration &settings_;
};

// --- The input ---------------------------------------------------------------------------------

struct InputSignal {
    uint32_t pixelClockKhz = 0;
    uint8_t space = 0;
    int bits = kPlainBits;
    bool hdr = false;
    QString eotf;
    QString format;
};

std::optional<InputSignal> inputSignalOf(const status::TypedStatus &status) {
    if (!status.video) {
        return std::nullopt;
    }
    const status::VideoStatus &video = *status.video;
    const uint8_t vic = status::inputVicOf(video);
    const VideoFormat *format = vic != 0 ? findVideoFormat(vic) : nullptr;
    if (format == nullptr) {
        return std::nullopt;
    }
    InputSignal signal;
    signal.pixelClockKhz = format->pixelClockKhz;
    signal.space = video.colourSpace & 0x03;
    signal.bits = status::bitDepthOf(video);
    signal.format = videoFormatName(*format);
    if (status.hdr && !status.hdr->payload.empty()) {
        static constexpr const char *kEotfs[] = {"SDR", "HDR", "PQ", "HLG"};
        signal.hdr = status.hdr->eotf == 2 || status.hdr->eotf == 3;
        signal.eotf = status.hdr->eotf < 4 ? QLatin1String(kEotfs[status.hdr->eotf]) : QString();
    }
    return signal;
}

// The TMDS character rate a format takes in a colour space at a depth: 4:2:0 half the pixel
// clock, 4:2:2 the pixel clock (12 bits at most in the same rate), else the clock times depth / 8.
uint64_t rateKhz(uint32_t pixelClockKhz, uint8_t space, int bits) {
    if (space == kYcbcr422) {
        return pixelClockKhz;
    }
    const uint64_t clock = space == kYcbcr420 ? pixelClockKhz / 2 : pixelClockKhz;
    return clock * static_cast<uint64_t>(bits) / kPlainBits;
}

QString spaceName(uint8_t space) {
    static constexpr const char *kSpaces[] = {"RGB", "YCbCr 4:2:2", "YCbCr 4:4:4", "YCbCr 4:2:0"};
    return QLatin1String(kSpaces[space & 0x03]);
}

// Whether the box's link carries the rate: "which the box's link carries" or "beyond ...".
QString rateAgainstLink(const ChainMatrix &m, uint64_t khz, bool *beyond) {
    *beyond = khz > edid::linkCapacityKhz(m.boxLink);
    return QStringLiteral("%1 MHz, %2 the box's link (%3)")
        .arg(mhzText(khz), *beyond ? QStringLiteral("beyond") : QStringLiteral("within"),
             edid::linkLimitText(m.boxLink));
}

void inputFindings(const ChainMatrix &m, const status::TypedStatus &status, std::vector<ChainFinding> &out) {
    const std::optional<InputSignal> signal = inputSignalOf(status);
    if (!signal) {
        return;
    }
    const auto finding = [&](Capability c, const QString &text) {
        ChainFinding f;
        f.capability = c;
        f.kind = FindingKind::NotCarried;
        f.beyondBox = true;
        f.text = text;
        out.push_back(std::move(f));
    };
    const QString carried =
        QStringLiteral("%1 %2 at %3 bits").arg(signal->format, spaceName(signal->space)).arg(signal->bits);
    const Cell &full = cellAt(m, Column::Box, Capability::Uhd60Full);
    const bool uhd60 = cellAt(m, Column::Input, Capability::Uhd60Full).presence == Presence::Yes ||
                       cellAt(m, Column::Input, Capability::Uhd60Only420).presence == Presence::Yes ||
                       (signal->space == kYcbcr422 && signal->format.startsWith(QLatin1String("3840x2160p")));
    if (uhd60 && full.presence == Presence::Yes &&
        (signal->space == kYcbcr420 || signal->space == kYcbcr422)) {
        bool beyond = false;
        const QString rate = rateAgainstLink(m, rateKhz(signal->pixelClockKhz, 0, signal->bits), &beyond);
        finding(Capability::Uhd60Full,
                QStringLiteral(
                    "4K60 RGB/4:4:4: the box's EDID offers it (%1); the input carries %2. At %3 bits, 4:4:4 "
                    "takes %4: %5")
                    .arg(full.detail, carried)
                    .arg(signal->bits)
                    .arg(rate, beyond ? QStringLiteral(
                                            "a source sends it as 4:2:0 or 4:2:2, and no setting of the box "
                                            "changes that.")
                                      : QStringLiteral("the source chose %1 (a setting of the source).")
                                            .arg(spaceName(signal->space))));
    }
    if (!signal->hdr) {
        return;
    }
    const Cell &deep = cellAt(m, Column::Box, Capability::Deep10);
    const uint32_t part = signal->space == kYcbcr420 ? kDeep420 : kDeepRgb;
    if (signal->bits == kPlainBits && signal->space != kYcbcr422 && deep.presence == Presence::Yes &&
        (deep.amount & part) != 0) {
        bool beyond = false;
        const QString rate = rateAgainstLink(m, rateKhz(signal->pixelClockKhz, signal->space, 10), &beyond);
        finding(
            Capability::Deep10,
            QStringLiteral(
                "10-bit deep colour: the box's EDID offers it (%1); the input carries HDR (%2) as %3. At 10 "
                "bits it takes %4: %5")
                .arg(valueText(Capability::Deep10, deep), signal->eotf, carried, rate,
                     beyond ? QStringLiteral("the source sends 8 bits.")
                            : QStringLiteral("the source chose 8 bits (a setting of the source).")));
    }
    if (cellAt(m, Column::Box, Capability::Bt2020).presence == Presence::Yes &&
        cellAt(m, Column::Input, Capability::Bt2020).presence == Presence::No) {
        finding(
            Capability::Bt2020,
            QStringLiteral("BT.2020: the box's EDID offers it; the input carries HDR (%1) without BT.2020 "
                           "colorimetry: the source chose it.")
                .arg(signal->eotf));
    }
}

QStringList notesOf(const ChainMatrix &m, const BoxConfiguration &settings) {
    QStringList notes;
    for (Column tv : {Column::Top, Column::Bot}) {
        const Cell &any = cellAt(m, tv, Capability::Lpcm20);
        if (any.presence == Presence::Unknown) {
            notes << QStringLiteral("%1's EDID: %2 (what it states is not known).")
                         .arg(columnName(tv), any.evidence.what);
        }
    }
    if (cellAt(m, Column::Box, Capability::Lpcm20).presence == Presence::Unknown) {
        notes << QStringLiteral("The box's EDID: %1 (what the box offers is not known).")
                     .arg(cellAt(m, Column::Box, Capability::Lpcm20).evidence.what);
    }
    notes << QStringLiteral(
                 "The box's link (%1) is the most its status tells of an input (its 600 MHz band; it "
                 "has no FRL link), or what its own mix states where that is more.")
                 .arg(edid::linkLimitText(m.boxLink));
    if (!settings.setting(Setting::EdidMode)) {
        notes << QStringLiteral(
            "The box's settings were not read: why it offers what it offers is not known.");
        return notes;
    }
    notes << QStringLiteral(
        "What another automix algorithm or option would offer is expected of its name; a box's "
        "firmware may mix otherwise, and the box's EDID read after the change is what counts.");
    if (settings.setting(Setting::FullAudio) == 1) {
        notes << QStringLiteral("FULL Audio is on: what it changes in the box's mix is not known.");
    }
    if (settings.setting(Setting::AvrAudio) == 1) {
        notes << QStringLiteral(
            "AVR Audio is on (TOP output audio, BOT output video): how it changes the box's mix is "
            "not known.");
    }
    return notes;
}

} // namespace

QString columnLabel(const ChainMatrix &matrix, Column column) {
    if (column == Column::Box) {
        return QStringLiteral("the box");
    }
    const QString &name = matrix.names[static_cast<size_t>(column)];
    return name.isEmpty() ? columnName(column) : QStringLiteral("%1 (%2)").arg(columnName(column), name);
}

Diagnosis diagnose(const ChainInputs &inputs) {
    Diagnosis d;
    d.matrix = buildMatrix(inputs);
    if (inputs.status.settings) {
        d.settings = configurationOfRecord(*inputs.status.settings);
        // In CUSTOM mode on preset 0 the box's own EDID is its custom EDID.
        if (showsCustomEdid(d.settings) && inputs.box) {
            d.settings.customEdid = *inputs.box;
        }
    }
    const Reasoner reasoner(d.matrix, d.settings);
    for (const CapabilityInfo &info : allCapabilities()) {
        std::vector<Column> sinks;
        for (Column tv : {Column::Top, Column::Bot}) {
            if (exceeds(info.capability, cellAt(d.matrix, tv, info.capability),
                        cellAt(d.matrix, Column::Box, info.capability))) {
                sinks.push_back(tv);
            }
        }
        if (!sinks.empty()) {
            d.findings.push_back(reasoner.sinkFinding(info.capability, sinks));
        }
    }
    inputFindings(d.matrix, inputs.status, d.findings);
    d.notes = notesOf(d.matrix, d.settings);
    d.fixes = planFixes(inputs, d.matrix, d.settings, d.findings, d.notes);
    return d;
}

} // namespace chain
