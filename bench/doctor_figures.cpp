#include "doctor_figures.h"

#include "core/box/status_record.h"
#include "core/chain/chain_doctor.h"
#include "sim/sim_edid.h"
#include "sim/simulated_box.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace bench {
namespace {

constexpr int kRuns = 201;
constexpr int kPairRuns = 3;
constexpr double kLimitMs = 5;

std::optional<EdidImage> imageOf(const QString &path) {
    QFile file(path);
    EdidImage image{};
    if (!file.open(QIODevice::ReadOnly) ||
        file.read(reinterpret_cast<char *>(image.data()), qint64(image.size())) != qint64(image.size())) {
        std::fprintf(stderr, "bench: cannot read %s\n", qPrintable(path));
        return std::nullopt;
    }
    return image;
}

// The demo box's chain at the factory settings, its source sending 4K60 HDR10 as 4:2:0 at 10 bits.
chain::ChainInputs chainOf(const EdidImage &top, const EdidImage &bot) {
    chain::ChainInputs inputs;
    const record::StatusRecord settings = sim::SimulatedBox::factorySettings();
    inputs.top = top;
    inputs.bot = bot;
    inputs.box = sim::mixedEdid(top, bot, settings);
    status::VideoStatus video;
    video.vic = 97;
    video.hdmi = true;
    video.linkMode = 1;
    video.colourSpace = 3;
    video.colorimetry = 3;
    video.extendedColorimetry = 6;
    inputs.status.video = video;
    inputs.status.hdr = status::HdrCapture{2, std::vector<uint8_t>(26, 2)};
    inputs.status.settings = settings;
    return inputs;
}

template <typename Work> double wallMs(Work work) {
    const double start = wallNowMs();
    work();
    return wallNowMs() - start;
}

} // namespace

void doctorFigures(std::vector<Figure> &figures) {
    Figure demo{"Chain doctor, three EDIDs and a status (the demo), wall", "ms", {}, {}, kLimitMs, "<= 5 ms"};
    Figure pairs{"Chain doctor, every TV with every receiver, wall", "ms", {}, {}, kLimitMs, "<= 5 ms"};
    const QDir data(QStringLiteral(EDID_CORPUS_DIR));
    const std::optional<EdidImage> c9 = imageOf(data.filePath(QStringLiteral("lg-oled-c9-hdmi.bin")));
    const std::optional<EdidImage> denon =
        imageOf(data.filePath(QStringLiteral("lg-oled55b6v-hdmi-denon-avr-x2300w-hdmi.bin")));
    if (!c9 || !denon) {
        return;
    }
    size_t findings = 0;
    const chain::ChainInputs inputs = chainOf(*c9, *denon);
    for (int run = 0; run < kRuns; ++run) {
        demo.runs.push_back(wallMs([&] { findings += chain::diagnose(inputs).findings.size(); }));
    }
    QStringList tvs = {data.filePath(QStringLiteral("lg-oled-c9-hdmi.bin"))};
    QStringList receivers = {data.filePath(QStringLiteral("lg-oled55b6v-hdmi-denon-avr-x2300w-hdmi.bin"))};
    for (const QString &name :
         QDir(data.filePath(QStringLiteral("fit/tv"))).entryList({QStringLiteral("*.bin")})) {
        tvs << data.filePath(QStringLiteral("fit/tv/") + name);
    }
    for (const QString &name :
         QDir(data.filePath(QStringLiteral("fit/receiver"))).entryList({QStringLiteral("*.bin")})) {
        receivers << data.filePath(QStringLiteral("fit/receiver/") + name);
    }
    for (const QString &tv : tvs) {
        for (const QString &receiver : receivers) {
            const std::optional<EdidImage> top = imageOf(tv), bot = imageOf(receiver);
            if (!top || !bot) {
                continue;
            }
            const chain::ChainInputs pair = chainOf(*top, *bot);
            for (int run = 0; run < kPairRuns; ++run) {
                pairs.runs.push_back(wallMs([&] { findings += chain::diagnose(pair).findings.size(); }));
            }
        }
    }
    // The findings are counted so that the work cannot be left out.
    if (findings == 0) {
        demo.runs.clear();
        pairs.runs.clear();
    }
    figures.push_back(demo);
    figures.push_back(pairs);
}

} // namespace bench
