#include "core/edid/video_formats.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <mutex>
#include <string_view>

namespace {

// clang-format off
// VIC, active pixels and lines, interlaced, rate in mHz, aspect, pixel clock in kHz.
constexpr VideoFormat kVideoFormats[] = {
    {1, 640, 480, false, 59940, "4:3", 25175},
    {2, 720, 480, false, 59940, "4:3", 27000},
    {3, 720, 480, false, 59940, "16:9", 27000},
    {4, 1280, 720, false, 60000, "16:9", 74250},
    {5, 1920, 1080, true, 60000, "16:9", 74250},
    {6, 1440, 480, true, 59940, "4:3", 27000},
    {7, 1440, 480, true, 59940, "16:9", 27000},
    {8, 1440, 240, false, 60054, "4:3", 27000},
    {9, 1440, 240, false, 60054, "16:9", 27000},
    {10, 2880, 480, true, 59940, "4:3", 54000},
    {11, 2880, 480, true, 59940, "16:9", 54000},
    {12, 2880, 240, false, 60054, "4:3", 54000},
    {13, 2880, 240, false, 60054, "16:9", 54000},
    {14, 1440, 480, false, 59940, "4:3", 54000},
    {15, 1440, 480, false, 59940, "16:9", 54000},
    {16, 1920, 1080, false, 60000, "16:9", 148500},
    {17, 720, 576, false, 50000, "4:3", 27000},
    {18, 720, 576, false, 50000, "16:9", 27000},
    {19, 1280, 720, false, 50000, "16:9", 74250},
    {20, 1920, 1080, true, 50000, "16:9", 74250},
    {21, 1440, 576, true, 50000, "4:3", 27000},
    {22, 1440, 576, true, 50000, "16:9", 27000},
    {23, 1440, 288, false, 50080, "4:3", 27000},
    {24, 1440, 288, false, 50080, "16:9", 27000},
    {25, 2880, 576, true, 50000, "4:3", 54000},
    {26, 2880, 576, true, 50000, "16:9", 54000},
    {27, 2880, 288, false, 50080, "4:3", 54000},
    {28, 2880, 288, false, 50080, "16:9", 54000},
    {29, 1440, 576, false, 50000, "4:3", 54000},
    {30, 1440, 576, false, 50000, "16:9", 54000},
    {31, 1920, 1080, false, 50000, "16:9", 148500},
    {32, 1920, 1080, false, 24000, "16:9", 74250},
    {33, 1920, 1080, false, 25000, "16:9", 74250},
    {34, 1920, 1080, false, 30000, "16:9", 74250},
    {35, 2880, 480, false, 59940, "4:3", 108000},
    {36, 2880, 480, false, 59940, "16:9", 108000},
    {37, 2880, 576, false, 50000, "4:3", 108000},
    {38, 2880, 576, false, 50000, "16:9", 108000},
    {39, 1920, 1080, true, 50000, "16:9", 72000},
    {40, 1920, 1080, true, 100000, "16:9", 148500},
    {41, 1280, 720, false, 100000, "16:9", 148500},
    {42, 720, 576, false, 100000, "4:3", 54000},
    {43, 720, 576, false, 100000, "16:9", 54000},
    {44, 1440, 576, true, 100000, "4:3", 54000},
    {45, 1440, 576, true, 100000, "16:9", 54000},
    {46, 1920, 1080, true, 120000, "16:9", 148500},
    {47, 1280, 720, false, 120000, "16:9", 148500},
    {48, 720, 480, false, 119880, "4:3", 54000},
    {49, 720, 480, false, 119880, "16:9", 54000},
    {50, 1440, 480, true, 119880, "4:3", 54000},
    {51, 1440, 480, true, 119880, "16:9", 54000},
    {52, 720, 576, false, 200000, "4:3", 108000},
    {53, 720, 576, false, 200000, "16:9", 108000},
    {54, 1440, 576, true, 200000, "4:3", 108000},
    {55, 1440, 576, true, 200000, "16:9", 108000},
    {56, 720, 480, false, 239760, "4:3", 108000},
    {57, 720, 480, false, 239760, "16:9", 108000},
    {58, 1440, 480, true, 239760, "4:3", 108000},
    {59, 1440, 480, true, 239760, "16:9", 108000},
    {60, 1280, 720, false, 24000, "16:9", 59400},
    {61, 1280, 720, false, 25000, "16:9", 74250},
    {62, 1280, 720, false, 30000, "16:9", 74250},
    {63, 1920, 1080, false, 120000, "16:9", 297000},
    {64, 1920, 1080, false, 100000, "16:9", 297000},
    {65, 1280, 720, false, 24000, "64:27", 59400},
    {66, 1280, 720, false, 25000, "64:27", 74250},
    {67, 1280, 720, false, 30000, "64:27", 74250},
    {68, 1280, 720, false, 50000, "64:27", 74250},
    {69, 1280, 720, false, 60000, "64:27", 74250},
    {70, 1280, 720, false, 100000, "64:27", 148500},
    {71, 1280, 720, false, 120000, "64:27", 148500},
    {72, 1920, 1080, false, 24000, "64:27", 74250},
    {73, 1920, 1080, false, 25000, "64:27", 74250},
    {74, 1920, 1080, false, 30000, "64:27", 74250},
    {75, 1920, 1080, false, 50000, "64:27", 148500},
    {76, 1920, 1080, false, 60000, "64:27", 148500},
    {77, 1920, 1080, false, 100000, "64:27", 297000},
    {78, 1920, 1080, false, 120000, "64:27", 297000},
    {79, 1680, 720, false, 24000, "64:27", 59400},
    {80, 1680, 720, false, 25000, "64:27", 59400},
    {81, 1680, 720, false, 30000, "64:27", 59400},
    {82, 1680, 720, false, 50000, "64:27", 82500},
    {83, 1680, 720, false, 60000, "64:27", 99000},
    {84, 1680, 720, false, 100000, "64:27", 165000},
    {85, 1680, 720, false, 120000, "64:27", 198000},
    {86, 2560, 1080, false, 24000, "64:27", 99000},
    {87, 2560, 1080, false, 25000, "64:27", 90000},
    {88, 2560, 1080, false, 30000, "64:27", 118800},
    {89, 2560, 1080, false, 50000, "64:27", 185625},
    {90, 2560, 1080, false, 60000, "64:27", 198000},
    {91, 2560, 1080, false, 100000, "64:27", 371250},
    {92, 2560, 1080, false, 120000, "64:27", 495000},
    {93, 3840, 2160, false, 24000, "16:9", 297000},
    {94, 3840, 2160, false, 25000, "16:9", 297000},
    {95, 3840, 2160, false, 30000, "16:9", 297000},
    {96, 3840, 2160, false, 50000, "16:9", 594000},
    {97, 3840, 2160, false, 60000, "16:9", 594000},
    {98, 4096, 2160, false, 24000, "256:135", 297000},
    {99, 4096, 2160, false, 25000, "256:135", 297000},
    {100, 4096, 2160, false, 30000, "256:135", 297000},
    {101, 4096, 2160, false, 50000, "256:135", 594000},
    {102, 4096, 2160, false, 60000, "256:135", 594000},
    {103, 3840, 2160, false, 24000, "64:27", 297000},
    {104, 3840, 2160, false, 25000, "64:27", 297000},
    {105, 3840, 2160, false, 30000, "64:27", 297000},
    {106, 3840, 2160, false, 50000, "64:27", 594000},
    {107, 3840, 2160, false, 60000, "64:27", 594000},
    {108, 1280, 720, false, 48000, "16:9", 90000},
    {109, 1280, 720, false, 48000, "64:27", 90000},
    {110, 1680, 720, false, 48000, "64:27", 99000},
    {111, 1920, 1080, false, 48000, "16:9", 148500},
    {112, 1920, 1080, false, 48000, "64:27", 148500},
    {113, 2560, 1080, false, 48000, "64:27", 198000},
    {114, 3840, 2160, false, 48000, "16:9", 594000},
    {115, 4096, 2160, false, 48000, "256:135", 594000},
    {116, 3840, 2160, false, 48000, "64:27", 594000},
    {117, 3840, 2160, false, 100000, "16:9", 1188000},
    {118, 3840, 2160, false, 120000, "16:9", 1188000},
    {119, 3840, 2160, false, 100000, "64:27", 1188000},
    {120, 3840, 2160, false, 120000, "64:27", 1188000},
    {121, 5120, 2160, false, 24000, "64:27", 396000},
    {122, 5120, 2160, false, 25000, "64:27", 396000},
    {123, 5120, 2160, false, 30000, "64:27", 396000},
    {124, 5120, 2160, false, 48000, "64:27", 742500},
    {125, 5120, 2160, false, 50000, "64:27", 742500},
    {126, 5120, 2160, false, 60000, "64:27", 742500},
    {127, 5120, 2160, false, 100000, "64:27", 1485000},
    {193, 5120, 2160, false, 120000, "64:27", 1485000},
    {194, 7680, 4320, false, 24000, "16:9", 1188000},
    {195, 7680, 4320, false, 25000, "16:9", 1188000},
    {196, 7680, 4320, false, 30000, "16:9", 1188000},
    {197, 7680, 4320, false, 48000, "16:9", 2376000},
    {198, 7680, 4320, false, 50000, "16:9", 2376000},
    {199, 7680, 4320, false, 60000, "16:9", 2376000},
    {200, 7680, 4320, false, 100000, "16:9", 4752000},
    {201, 7680, 4320, false, 120000, "16:9", 4752000},
    {202, 7680, 4320, false, 24000, "64:27", 1188000},
    {203, 7680, 4320, false, 25000, "64:27", 1188000},
    {204, 7680, 4320, false, 30000, "64:27", 1188000},
    {205, 7680, 4320, false, 48000, "64:27", 2376000},
    {206, 7680, 4320, false, 50000, "64:27", 2376000},
    {207, 7680, 4320, false, 60000, "64:27", 2376000},
    {208, 7680, 4320, false, 100000, "64:27", 4752000},
    {209, 7680, 4320, false, 120000, "64:27", 4752000},
    {210, 10240, 4320, false, 24000, "64:27", 1485000},
    {211, 10240, 4320, false, 25000, "64:27", 1485000},
    {212, 10240, 4320, false, 30000, "64:27", 1485000},
    {213, 10240, 4320, false, 48000, "64:27", 2970000},
    {214, 10240, 4320, false, 50000, "64:27", 2970000},
    {215, 10240, 4320, false, 60000, "64:27", 2970000},
    {216, 10240, 4320, false, 100000, "64:27", 5940000},
    {217, 10240, 4320, false, 120000, "64:27", 5940000},
    {218, 4096, 2160, false, 100000, "256:135", 1188000},
    {219, 4096, 2160, false, 120000, "256:135", 1188000},
};
// clang-format on

constexpr bool sortedByCode() {
    for (size_t i = 1; i < std::size(kVideoFormats); ++i) {
        if (kVideoFormats[i - 1].vic >= kVideoFormats[i].vic) {
            return false;
        }
    }
    return true;
}
static_assert(sortedByCode(), "each code once, in order");
static_assert(std::size(kVideoFormats) == 127 + 27, "VIC 1 to 127 and 193 to 219");

constexpr bool sameSizeAndRate(const VideoFormat &a, const VideoFormat &b) {
    return a.hActive == b.hActive && a.vActive == b.vActive && a.interlaced == b.interlaced &&
           a.refreshMilliHz == b.refreshMilliHz;
}

// Several SD formats and some wide ones come in two aspects of the same raster; their
// names carry the aspect.
constexpr std::array<bool, std::size(kVideoFormats)> findTwins() {
    std::array<bool, std::size(kVideoFormats)> twins{};
    for (size_t i = 0; i < std::size(kVideoFormats); ++i) {
        for (const VideoFormat &other : kVideoFormats) {
            if (other.vic != kVideoFormats[i].vic && sameSizeAndRate(other, kVideoFormats[i]) &&
                std::string_view(other.aspect) != std::string_view(kVideoFormats[i].aspect)) {
                twins[i] = true;
            }
        }
    }
    return twins;
}
constexpr auto kTwins = findTwins();

} // namespace

// The row of each code, -1 for a reserved one: a lookup by index, where the EDID model's fuzz
// target looks codes up millions of times.
constexpr std::array<int16_t, 256> kRowOfCode = [] {
    std::array<int16_t, 256> rows{};
    rows.fill(-1);
    for (size_t i = 0; i < std::size(kVideoFormats); ++i) {
        rows[kVideoFormats[i].vic] = static_cast<int16_t>(i);
    }
    return rows;
}();

const VideoFormat *findVideoFormat(uint8_t vic) {
    const int16_t row = kRowOfCode[vic];
    return row < 0 ? nullptr : &kVideoFormats[row];
}

QString videoFormatName(const VideoFormat &format) {
    const double hz = std::round(format.refreshMilliHz / 10.0) / 100.0;
    QString name = QString::number(format.hActive) + QLatin1Char('x') + QString::number(format.vActive) +
                   QLatin1Char(format.interlaced ? 'i' : 'p') + QString::number(hz, 'g', 6);
    const VideoFormat *entry = findVideoFormat(format.vic);
    if (entry != nullptr && kTwins[static_cast<size_t>(entry - std::begin(kVideoFormats))]) {
        name += QLatin1Char(' ') + QLatin1String(format.aspect);
    }
    return name;
}

QString vicName(uint8_t vic) {
    // Each code named when first asked for, then shared: the detail lines name each
    // descriptor, and a process that decodes one EDID asks for a few dozen of the 256 codes.
    static std::mutex namesMutex;
    static std::array<QString, 256> names;
    const std::lock_guard<std::mutex> lock(namesMutex);
    QString &name = names[vic];
    if (name.isNull()) {
        const VideoFormat *format = findVideoFormat(vic);
        name = format != nullptr ? videoFormatName(*format) : QStringLiteral("reserved VIC %1").arg(vic);
    }
    return name;
}
