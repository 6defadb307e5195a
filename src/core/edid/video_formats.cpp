#include "core/edid/video_formats.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <mutex>
#include <string_view>

namespace {

// clang-format off
// VIC, active pixels and lines, interlaced, rate in mHz, aspect, pixel clock in kHz; front
// porch, sync and back porch in pixels, then in lines (of one field when interlaced), and
// whether the horizontal and the vertical sync are positive.
constexpr VideoFormat kVideoFormats[] = {
    {1, 640, 480, false, 59940, "4:3", 25175, 16, 96, 48, 10, 2, 33, false, false},
    {2, 720, 480, false, 59940, "4:3", 27000, 16, 62, 60, 9, 6, 30, false, false},
    {3, 720, 480, false, 59940, "16:9", 27000, 16, 62, 60, 9, 6, 30, false, false},
    {4, 1280, 720, false, 60000, "16:9", 74250, 110, 40, 220, 5, 5, 20, true, true},
    {5, 1920, 1080, true, 60000, "16:9", 74250, 88, 44, 148, 2, 5, 15, true, true},
    {6, 1440, 480, true, 59940, "4:3", 27000, 38, 124, 114, 4, 3, 15, false, false},
    {7, 1440, 480, true, 59940, "16:9", 27000, 38, 124, 114, 4, 3, 15, false, false},
    {8, 1440, 240, false, 60054, "4:3", 27000, 38, 124, 114, 4, 3, 15, false, false},
    {9, 1440, 240, false, 60054, "16:9", 27000, 38, 124, 114, 4, 3, 15, false, false},
    {10, 2880, 480, true, 59940, "4:3", 54000, 76, 248, 228, 4, 3, 15, false, false},
    {11, 2880, 480, true, 59940, "16:9", 54000, 76, 248, 228, 4, 3, 15, false, false},
    {12, 2880, 240, false, 60054, "4:3", 54000, 76, 248, 228, 4, 3, 15, false, false},
    {13, 2880, 240, false, 60054, "16:9", 54000, 76, 248, 228, 4, 3, 15, false, false},
    {14, 1440, 480, false, 59940, "4:3", 54000, 32, 124, 120, 9, 6, 30, false, false},
    {15, 1440, 480, false, 59940, "16:9", 54000, 32, 124, 120, 9, 6, 30, false, false},
    {16, 1920, 1080, false, 60000, "16:9", 148500, 88, 44, 148, 4, 5, 36, true, true},
    {17, 720, 576, false, 50000, "4:3", 27000, 12, 64, 68, 5, 5, 39, false, false},
    {18, 720, 576, false, 50000, "16:9", 27000, 12, 64, 68, 5, 5, 39, false, false},
    {19, 1280, 720, false, 50000, "16:9", 74250, 440, 40, 220, 5, 5, 20, true, true},
    {20, 1920, 1080, true, 50000, "16:9", 74250, 528, 44, 148, 2, 5, 15, true, true},
    {21, 1440, 576, true, 50000, "4:3", 27000, 24, 126, 138, 2, 3, 19, false, false},
    {22, 1440, 576, true, 50000, "16:9", 27000, 24, 126, 138, 2, 3, 19, false, false},
    {23, 1440, 288, false, 50080, "4:3", 27000, 24, 126, 138, 2, 3, 19, false, false},
    {24, 1440, 288, false, 50080, "16:9", 27000, 24, 126, 138, 2, 3, 19, false, false},
    {25, 2880, 576, true, 50000, "4:3", 54000, 48, 252, 276, 2, 3, 19, false, false},
    {26, 2880, 576, true, 50000, "16:9", 54000, 48, 252, 276, 2, 3, 19, false, false},
    {27, 2880, 288, false, 50080, "4:3", 54000, 48, 252, 276, 2, 3, 19, false, false},
    {28, 2880, 288, false, 50080, "16:9", 54000, 48, 252, 276, 2, 3, 19, false, false},
    {29, 1440, 576, false, 50000, "4:3", 54000, 24, 128, 136, 5, 5, 39, false, false},
    {30, 1440, 576, false, 50000, "16:9", 54000, 24, 128, 136, 5, 5, 39, false, false},
    {31, 1920, 1080, false, 50000, "16:9", 148500, 528, 44, 148, 4, 5, 36, true, true},
    {32, 1920, 1080, false, 24000, "16:9", 74250, 638, 44, 148, 4, 5, 36, true, true},
    {33, 1920, 1080, false, 25000, "16:9", 74250, 528, 44, 148, 4, 5, 36, true, true},
    {34, 1920, 1080, false, 30000, "16:9", 74250, 88, 44, 148, 4, 5, 36, true, true},
    {35, 2880, 480, false, 59940, "4:3", 108000, 64, 248, 240, 9, 6, 30, false, false},
    {36, 2880, 480, false, 59940, "16:9", 108000, 64, 248, 240, 9, 6, 30, false, false},
    {37, 2880, 576, false, 50000, "4:3", 108000, 48, 256, 272, 5, 5, 39, false, false},
    {38, 2880, 576, false, 50000, "16:9", 108000, 48, 256, 272, 5, 5, 39, false, false},
    {39, 1920, 1080, true, 50000, "16:9", 72000, 32, 168, 184, 23, 5, 57, true, false},
    {40, 1920, 1080, true, 100000, "16:9", 148500, 528, 44, 148, 2, 5, 15, true, true},
    {41, 1280, 720, false, 100000, "16:9", 148500, 440, 40, 220, 5, 5, 20, true, true},
    {42, 720, 576, false, 100000, "4:3", 54000, 12, 64, 68, 5, 5, 39, false, false},
    {43, 720, 576, false, 100000, "16:9", 54000, 12, 64, 68, 5, 5, 39, false, false},
    {44, 1440, 576, true, 100000, "4:3", 54000, 24, 126, 138, 2, 3, 19, false, false},
    {45, 1440, 576, true, 100000, "16:9", 54000, 24, 126, 138, 2, 3, 19, false, false},
    {46, 1920, 1080, true, 120000, "16:9", 148500, 88, 44, 148, 2, 5, 15, true, true},
    {47, 1280, 720, false, 120000, "16:9", 148500, 110, 40, 220, 5, 5, 20, true, true},
    {48, 720, 480, false, 119880, "4:3", 54000, 16, 62, 60, 9, 6, 30, false, false},
    {49, 720, 480, false, 119880, "16:9", 54000, 16, 62, 60, 9, 6, 30, false, false},
    {50, 1440, 480, true, 119880, "4:3", 54000, 38, 124, 114, 4, 3, 15, false, false},
    {51, 1440, 480, true, 119880, "16:9", 54000, 38, 124, 114, 4, 3, 15, false, false},
    {52, 720, 576, false, 200000, "4:3", 108000, 12, 64, 68, 5, 5, 39, false, false},
    {53, 720, 576, false, 200000, "16:9", 108000, 12, 64, 68, 5, 5, 39, false, false},
    {54, 1440, 576, true, 200000, "4:3", 108000, 24, 126, 138, 2, 3, 19, false, false},
    {55, 1440, 576, true, 200000, "16:9", 108000, 24, 126, 138, 2, 3, 19, false, false},
    {56, 720, 480, false, 239760, "4:3", 108000, 16, 62, 60, 9, 6, 30, false, false},
    {57, 720, 480, false, 239760, "16:9", 108000, 16, 62, 60, 9, 6, 30, false, false},
    {58, 1440, 480, true, 239760, "4:3", 108000, 38, 124, 114, 4, 3, 15, false, false},
    {59, 1440, 480, true, 239760, "16:9", 108000, 38, 124, 114, 4, 3, 15, false, false},
    {60, 1280, 720, false, 24000, "16:9", 59400, 1760, 40, 220, 5, 5, 20, true, true},
    {61, 1280, 720, false, 25000, "16:9", 74250, 2420, 40, 220, 5, 5, 20, true, true},
    {62, 1280, 720, false, 30000, "16:9", 74250, 1760, 40, 220, 5, 5, 20, true, true},
    {63, 1920, 1080, false, 120000, "16:9", 297000, 88, 44, 148, 4, 5, 36, true, true},
    {64, 1920, 1080, false, 100000, "16:9", 297000, 528, 44, 148, 4, 5, 36, true, true},
    {65, 1280, 720, false, 24000, "64:27", 59400, 1760, 40, 220, 5, 5, 20, true, true},
    {66, 1280, 720, false, 25000, "64:27", 74250, 2420, 40, 220, 5, 5, 20, true, true},
    {67, 1280, 720, false, 30000, "64:27", 74250, 1760, 40, 220, 5, 5, 20, true, true},
    {68, 1280, 720, false, 50000, "64:27", 74250, 440, 40, 220, 5, 5, 20, true, true},
    {69, 1280, 720, false, 60000, "64:27", 74250, 110, 40, 220, 5, 5, 20, true, true},
    {70, 1280, 720, false, 100000, "64:27", 148500, 440, 40, 220, 5, 5, 20, true, true},
    {71, 1280, 720, false, 120000, "64:27", 148500, 110, 40, 220, 5, 5, 20, true, true},
    {72, 1920, 1080, false, 24000, "64:27", 74250, 638, 44, 148, 4, 5, 36, true, true},
    {73, 1920, 1080, false, 25000, "64:27", 74250, 528, 44, 148, 4, 5, 36, true, true},
    {74, 1920, 1080, false, 30000, "64:27", 74250, 88, 44, 148, 4, 5, 36, true, true},
    {75, 1920, 1080, false, 50000, "64:27", 148500, 528, 44, 148, 4, 5, 36, true, true},
    {76, 1920, 1080, false, 60000, "64:27", 148500, 88, 44, 148, 4, 5, 36, true, true},
    {77, 1920, 1080, false, 100000, "64:27", 297000, 528, 44, 148, 4, 5, 36, true, true},
    {78, 1920, 1080, false, 120000, "64:27", 297000, 88, 44, 148, 4, 5, 36, true, true},
    {79, 1680, 720, false, 24000, "64:27", 59400, 1360, 40, 220, 5, 5, 20, true, true},
    {80, 1680, 720, false, 25000, "64:27", 59400, 1228, 40, 220, 5, 5, 20, true, true},
    {81, 1680, 720, false, 30000, "64:27", 59400, 700, 40, 220, 5, 5, 20, true, true},
    {82, 1680, 720, false, 50000, "64:27", 82500, 260, 40, 220, 5, 5, 20, true, true},
    {83, 1680, 720, false, 60000, "64:27", 99000, 260, 40, 220, 5, 5, 20, true, true},
    {84, 1680, 720, false, 100000, "64:27", 165000, 60, 40, 220, 5, 5, 95, true, true},
    {85, 1680, 720, false, 120000, "64:27", 198000, 60, 40, 220, 5, 5, 95, true, true},
    {86, 2560, 1080, false, 24000, "64:27", 99000, 998, 44, 148, 4, 5, 11, true, true},
    {87, 2560, 1080, false, 25000, "64:27", 90000, 448, 44, 148, 4, 5, 36, true, true},
    {88, 2560, 1080, false, 30000, "64:27", 118800, 768, 44, 148, 4, 5, 36, true, true},
    {89, 2560, 1080, false, 50000, "64:27", 185625, 548, 44, 148, 4, 5, 36, true, true},
    {90, 2560, 1080, false, 60000, "64:27", 198000, 248, 44, 148, 4, 5, 11, true, true},
    {91, 2560, 1080, false, 100000, "64:27", 371250, 218, 44, 148, 4, 5, 161, true, true},
    {92, 2560, 1080, false, 120000, "64:27", 495000, 548, 44, 148, 4, 5, 161, true, true},
    {93, 3840, 2160, false, 24000, "16:9", 297000, 1276, 88, 296, 8, 10, 72, true, true},
    {94, 3840, 2160, false, 25000, "16:9", 297000, 1056, 88, 296, 8, 10, 72, true, true},
    {95, 3840, 2160, false, 30000, "16:9", 297000, 176, 88, 296, 8, 10, 72, true, true},
    {96, 3840, 2160, false, 50000, "16:9", 594000, 1056, 88, 296, 8, 10, 72, true, true},
    {97, 3840, 2160, false, 60000, "16:9", 594000, 176, 88, 296, 8, 10, 72, true, true},
    {98, 4096, 2160, false, 24000, "256:135", 297000, 1020, 88, 296, 8, 10, 72, true, true},
    {99, 4096, 2160, false, 25000, "256:135", 297000, 968, 88, 128, 8, 10, 72, true, true},
    {100, 4096, 2160, false, 30000, "256:135", 297000, 88, 88, 128, 8, 10, 72, true, true},
    {101, 4096, 2160, false, 50000, "256:135", 594000, 968, 88, 128, 8, 10, 72, true, true},
    {102, 4096, 2160, false, 60000, "256:135", 594000, 88, 88, 128, 8, 10, 72, true, true},
    {103, 3840, 2160, false, 24000, "64:27", 297000, 1276, 88, 296, 8, 10, 72, true, true},
    {104, 3840, 2160, false, 25000, "64:27", 297000, 1056, 88, 296, 8, 10, 72, true, true},
    {105, 3840, 2160, false, 30000, "64:27", 297000, 176, 88, 296, 8, 10, 72, true, true},
    {106, 3840, 2160, false, 50000, "64:27", 594000, 1056, 88, 296, 8, 10, 72, true, true},
    {107, 3840, 2160, false, 60000, "64:27", 594000, 176, 88, 296, 8, 10, 72, true, true},
    {108, 1280, 720, false, 48000, "16:9", 90000, 960, 40, 220, 5, 5, 20, true, true},
    {109, 1280, 720, false, 48000, "64:27", 90000, 960, 40, 220, 5, 5, 20, true, true},
    {110, 1680, 720, false, 48000, "64:27", 99000, 810, 40, 220, 5, 5, 20, true, true},
    {111, 1920, 1080, false, 48000, "16:9", 148500, 638, 44, 148, 4, 5, 36, true, true},
    {112, 1920, 1080, false, 48000, "64:27", 148500, 638, 44, 148, 4, 5, 36, true, true},
    {113, 2560, 1080, false, 48000, "64:27", 198000, 998, 44, 148, 4, 5, 11, true, true},
    {114, 3840, 2160, false, 48000, "16:9", 594000, 1276, 88, 296, 8, 10, 72, true, true},
    {115, 4096, 2160, false, 48000, "256:135", 594000, 1020, 88, 296, 8, 10, 72, true, true},
    {116, 3840, 2160, false, 48000, "64:27", 594000, 1276, 88, 296, 8, 10, 72, true, true},
    {117, 3840, 2160, false, 100000, "16:9", 1188000, 1056, 88, 296, 8, 10, 72, true, true},
    {118, 3840, 2160, false, 120000, "16:9", 1188000, 176, 88, 296, 8, 10, 72, true, true},
    {119, 3840, 2160, false, 100000, "64:27", 1188000, 1056, 88, 296, 8, 10, 72, true, true},
    {120, 3840, 2160, false, 120000, "64:27", 1188000, 176, 88, 296, 8, 10, 72, true, true},
    {121, 5120, 2160, false, 24000, "64:27", 396000, 1996, 88, 296, 8, 10, 22, true, true},
    {122, 5120, 2160, false, 25000, "64:27", 396000, 1696, 88, 296, 8, 10, 22, true, true},
    {123, 5120, 2160, false, 30000, "64:27", 396000, 664, 88, 128, 8, 10, 22, true, true},
    {124, 5120, 2160, false, 48000, "64:27", 742500, 746, 88, 296, 8, 10, 297, true, true},
    {125, 5120, 2160, false, 50000, "64:27", 742500, 1096, 88, 296, 8, 10, 72, true, true},
    {126, 5120, 2160, false, 60000, "64:27", 742500, 164, 88, 128, 8, 10, 72, true, true},
    {127, 5120, 2160, false, 100000, "64:27", 1485000, 1096, 88, 296, 8, 10, 72, true, true},
    {193, 5120, 2160, false, 120000, "64:27", 1485000, 164, 88, 128, 8, 10, 72, true, true},
    {194, 7680, 4320, false, 24000, "16:9", 1188000, 2552, 176, 592, 16, 20, 144, true, true},
    {195, 7680, 4320, false, 25000, "16:9", 1188000, 2352, 176, 592, 16, 20, 44, true, true},
    {196, 7680, 4320, false, 30000, "16:9", 1188000, 552, 176, 592, 16, 20, 44, true, true},
    {197, 7680, 4320, false, 48000, "16:9", 2376000, 2552, 176, 592, 16, 20, 144, true, true},
    {198, 7680, 4320, false, 50000, "16:9", 2376000, 2352, 176, 592, 16, 20, 44, true, true},
    {199, 7680, 4320, false, 60000, "16:9", 2376000, 552, 176, 592, 16, 20, 44, true, true},
    {200, 7680, 4320, false, 100000, "16:9", 4752000, 2112, 176, 592, 16, 20, 144, true, true},
    {201, 7680, 4320, false, 120000, "16:9", 4752000, 352, 176, 592, 16, 20, 144, true, true},
    {202, 7680, 4320, false, 24000, "64:27", 1188000, 2552, 176, 592, 16, 20, 144, true, true},
    {203, 7680, 4320, false, 25000, "64:27", 1188000, 2352, 176, 592, 16, 20, 44, true, true},
    {204, 7680, 4320, false, 30000, "64:27", 1188000, 552, 176, 592, 16, 20, 44, true, true},
    {205, 7680, 4320, false, 48000, "64:27", 2376000, 2552, 176, 592, 16, 20, 144, true, true},
    {206, 7680, 4320, false, 50000, "64:27", 2376000, 2352, 176, 592, 16, 20, 44, true, true},
    {207, 7680, 4320, false, 60000, "64:27", 2376000, 552, 176, 592, 16, 20, 44, true, true},
    {208, 7680, 4320, false, 100000, "64:27", 4752000, 2112, 176, 592, 16, 20, 144, true, true},
    {209, 7680, 4320, false, 120000, "64:27", 4752000, 352, 176, 592, 16, 20, 144, true, true},
    {210, 10240, 4320, false, 24000, "64:27", 1485000, 1492, 176, 592, 16, 20, 594, true, true},
    {211, 10240, 4320, false, 25000, "64:27", 1485000, 2492, 176, 592, 16, 20, 44, true, true},
    {212, 10240, 4320, false, 30000, "64:27", 1485000, 288, 176, 296, 16, 20, 144, true, true},
    {213, 10240, 4320, false, 48000, "64:27", 2970000, 1492, 176, 592, 16, 20, 594, true, true},
    {214, 10240, 4320, false, 50000, "64:27", 2970000, 2492, 176, 592, 16, 20, 44, true, true},
    {215, 10240, 4320, false, 60000, "64:27", 2970000, 288, 176, 296, 16, 20, 144, true, true},
    {216, 10240, 4320, false, 100000, "64:27", 5940000, 2192, 176, 592, 16, 20, 144, true, true},
    {217, 10240, 4320, false, 120000, "64:27", 5940000, 288, 176, 296, 16, 20, 144, true, true},
    {218, 4096, 2160, false, 100000, "256:135", 1188000, 800, 88, 296, 8, 10, 72, true, true},
    {219, 4096, 2160, false, 120000, "256:135", 1188000, 88, 88, 128, 8, 10, 72, true, true},
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

std::span<const VideoFormat> videoFormats() {
    return kVideoFormats;
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
