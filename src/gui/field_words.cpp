#include "field_words.h"

#include <QHash>

namespace {

struct FieldWord {
    const char *key;
    const char *word;
};

// Where the form has a label or a check box for the thing, its words in sentence case.
// clang-format off
constexpr FieldWord kWords[] = {
    // The watcher's events, and the status as the watcher names its fields.
    {"attached",           "Attached"},
    {"detached",           "Detached"},
    {"active_input",       "Active input"},
    {"outputs",            "Outputs"},
    {"resolution",         "Resolution"},
    {"refresh_rate",       "Refresh rate"},
    {"scan",               "Scan"},
    {"3d",                 "3D"},
    {"vic",                "VIC"},
    {"hdmi",               "HDMI"},
    {"pixel_clock_band",   "Pixel clock band"},
    {"colour_space",       "Color space"},
    {"bit_depth",          "Bit depth"},
    {"quantization_range", "Quantization range"},
    {"colorimetry",        "Colorimetry"},
    {"hdr_eotf",           "HDR EOTF"},
    {"hdr_infoframe",      "HDR infoframe"},
    {"source_vendor",      "Source vendor"},
    {"source_product",     "Source product"},
    // The settings, by the command line's names.
    {"input",              "Active input"},
    {"auto-switch",        "Auto switch"},
    {"priority",           "Priority"},
    {"audio-source",       "Audio source"},
    {"hdcp",               "HDCP version"},
    {"out-420",            "4:2:0 output"},
    {"edid-mode",          "EDID mode"},
    {"automix-algo",       "Automix algo"},
    {"custom-edid",        "Custom EDID"},
    {"force-stereo",       "2.0 stereo"},
    {"force-51",           "5.1 multi"},
    {"remove-3d",          "3D remove"},
    {"hdr-packet",         "HDR packet"},
    {"hdr-hotkey",         "HDR hotkey"},
    {"hdr-force",          "Force HDR always active"},
    {"hdr-mode",           "HDR mode"},
    {"green-led",          "Green LED"},
    {"blue-leds",          "Blue LEDs"},
    {"bt2020",             "BT.2020"},
    {"allow-ycbcr",        "Allow YCbCr"},
    {"cec",                "CEC enable"},
    {"cec-device-type",    "CEC device type"},
    {"avr-audio",          "AVR audio"},
    {"replace-avi",        "Replace AVI"},
    {"full-audio",         "Full audio"},
    // The parts of a box configuration besides its settings.
    {"edid",               "EDID"},
    {"avi",                "AVI infoframe"},
};
// clang-format on

} // namespace

QString fieldWord(const QString &key) {
    static const QHash<QString, QString> words = [] {
        QHash<QString, QString> byKey;
        for (const FieldWord &entry : kWords) {
            byKey.insert(QLatin1String(entry.key), QLatin1String(entry.word));
        }
        return byKey;
    }();
    return words.value(key, key);
}
