#pragma once
// The chain's capability matrix: what the TVs on TOP and BOT state, what the box offers the
// source (its own EDID) and what the input carries now (the box's status), one row for each
// capability people ask about. Every cell says where it was read: the EDID, its block and
// byte, or the status field. The values come from the decoder (edid_decode.h); the bytes of
// an EDID are looked at only to say where a value stands.

#include "core/box/typed_status.h"
#include "core/edid/edid_decode.h"
#include "core/edid/edid_fit.h"
#include "core/edid/edid_image.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace chain {

// The rows: constant, key (as --why names it), name, domain, measure.
#define CHAIN_CAPABILITIES(X)                                                                                \
    X(Uhd60Full, "4k60", "4K60 RGB/4:4:4", Video, Flag)                                                      \
    X(Uhd60Only420, "4k60-420-only", "4K60 4:2:0 only", Video, Info)                                         \
    X(Uhd120, "4k120", "4K120", Video, Flag)                                                                 \
    X(Fhd120, "1080p120", "1080p120", Video, Flag)                                                           \
    X(Uhd8k, "8k", "8K", Video, Flag)                                                                        \
    X(Deep10, "10-bit", "10-bit deep colour", Video, Set)                                                    \
    X(Deep12, "12-bit", "12-bit deep colour", Video, Set)                                                    \
    X(Hdr10, "hdr10", "HDR10 (PQ)", Video, Flag)                                                             \
    X(Hlg, "hlg", "HLG", Video, Flag)                                                                        \
    X(Hdr10Plus, "hdr10plus", "HDR10+", Video, Flag)                                                         \
    X(DolbyVision, "dolby-vision", "Dolby Vision", Video, Flag)                                              \
    X(Bt2020, "bt2020", "BT.2020", Video, Flag)                                                              \
    X(Allm, "allm", "ALLM", Video, Flag)                                                                     \
    X(Vrr, "vrr", "VRR", Video, Flag)                                                                        \
    X(MaxTmds, "tmds", "Max TMDS", Link, Level)                                                              \
    X(Frl, "frl", "FRL rate", Link, Level)                                                                   \
    X(Lpcm20, "lpcm-2.0", "LPCM 2.0", Audio, Flag)                                                           \
    X(Lpcm51, "lpcm-5.1", "LPCM 5.1", Audio, Flag)                                                           \
    X(Lpcm71, "lpcm-7.1", "LPCM 7.1", Audio, Flag)                                                           \
    X(LpcmRates, "lpcm-rates", "LPCM rates", Audio, Level)                                                   \
    X(DolbyDigital, "dd", "Dolby Digital", Audio, Flag)                                                      \
    X(DolbyDigitalPlus, "ddplus", "DD+", Audio, Flag)                                                        \
    X(AtmosJoc, "atmos-ddplus", "Atmos (DD+ JOC)", Audio, Flag)                                              \
    X(AtmosMat, "atmos-truehd", "Atmos (TrueHD/MAT)", Audio, Flag)                                           \
    X(Dts, "dts", "DTS", Audio, Flag)                                                                        \
    X(DtsHdMa, "dts-hd-ma", "DTS-HD MA", Audio, Flag)                                                        \
    X(DtsX, "dts-x", "DTS:X", Audio, Flag)                                                                   \
    X(Speakers, "speakers", "Speaker allocation", Audio, Set)

#define CHAIN_CAPABILITY_ENUM(constant, ...) constant,
enum class Capability : uint8_t { CHAIN_CAPABILITIES(CHAIN_CAPABILITY_ENUM) };
#undef CHAIN_CAPABILITY_ENUM
#define CHAIN_CAPABILITY_COUNT(...) +1
constexpr size_t kCapabilityCount = 0 CHAIN_CAPABILITIES(CHAIN_CAPABILITY_COUNT);
#undef CHAIN_CAPABILITY_COUNT

enum class Domain : uint8_t { Video, Link, Audio };
// How two cells of a row compare: a flag is there or not, a level is more or less (a link
// rate, the highest LPCM rate), a set holds parts (deep colour by encoding, speakers).
// An informational row is shown and never compared.
enum class Measure : uint8_t { Flag, Level, Set, Info };

struct CapabilityInfo {
    Capability capability;
    const char *key;
    const char *name;
    Domain domain;
    Measure measure;
};
std::span<const CapabilityInfo> allCapabilities();
const CapabilityInfo &capabilityInfo(Capability capability);
// The rows a word names: a key, a name in any case and spelling ("DTS:X", "dtsx", "HDR10+"),
// or the first part of keys ("atmos": both Atmos rows, "lpcm": every LPCM row). None: a word
// that names no row.
std::vector<Capability> capabilitiesNamed(const QString &word);
// "4k60, 4k60-420-only, ...": every key.
QString capabilityKeys();

enum class Column : uint8_t { Top, Bot, Box, Input };
constexpr size_t kColumnCount = 4;
// "TOP", "BOT", "box", "input"
QString columnName(Column column);

enum class Presence : uint8_t { No, Yes, Unknown };

// Where a cell was read: an EDID's block and byte, or a field of the box's status.
struct Evidence {
    Column column = Column::Box;
    int block = -1; // of the EDID; -1: none
    int byte = -1;  // in the block; -1: none
    QString what;   // "Audio Data Block, E-AC-3", "no HDMI Forum block", "status: colour space"
};
// "BOT EDID, block 1, byte 23: Audio Data Block, E-AC-3"; "input status: colour space YCbCr 4:2:0"
QString evidenceText(const Evidence &evidence);

struct Cell {
    Presence presence = Presence::Unknown;
    // Flag: 1 or 0; Level: MHz (TMDS), Gbps (FRL), the highest LPCM rate's place (1: 32 kHz
    // ... 7: 192 kHz); Set: one bit per part.
    uint32_t amount = 0;
    // A video format's row: the least pixel clock in kHz a link needs for it (half the
    // format's where a 4:2:0 format counts).
    uint32_t neededKhz = 0;
    // What stands behind the value, in words: "VIC 97", "8 channels", "no E-AC-3", "2 channels".
    QString detail;
    Evidence evidence;
};
// The value as a column shows it: "yes", "no", "600 MHz", "48 Gbps", "up to 192 kHz",
// "RGB, 4:2:0", "FL/FR, LFE1", "unknown".
QString valueText(Capability capability, const Cell &cell);
// Whether `has` states more of the row than `other`: a flag the other lacks, a higher level,
// a part the other's set lacks. Never for an unknown cell or an informational row.
bool exceeds(Capability capability, const Cell &has, const Cell &other);

using CapabilityColumn = std::array<Cell, kCapabilityCount>;

// How the 4K60 4:2:0 only row's cells hold what they take: 4K60 in full colour, as 4:2:0; the
// row's cell is there when the second alone is.
constexpr uint32_t kUhd60Full = 0x1;
constexpr uint32_t kUhd60As420 = 0x2;

// The parts of a Set row: deep colour in RGB (and YCbCr 4:4:4) and in 4:2:0.
constexpr uint32_t kDeepRgb = 0x1;
constexpr uint32_t kDeep420 = 0x2;

// What the chain's doctor reads: the three EDIDs (none where a read failed) and the typed
// status of the box, with its settings.
struct ChainInputs {
    std::optional<EdidImage> top;
    std::optional<EdidImage> bot;
    std::optional<EdidImage> box;
    status::TypedStatus status;
};

struct ChainMatrix {
    std::array<CapabilityColumn, kColumnCount> columns;
    // The product name each EDID gives, "" where it gives none; the input's source names.
    std::array<QString, kColumnCount> names;
    // The link the box passes: the most its status tells of an input (600 MHz TMDS, no FRL),
    // or more where its own mix states more.
    edid::LinkLimit boxLink;

    const Cell &cell(Column column, Capability capability) const {
        return columns[static_cast<size_t>(column)][static_cast<size_t>(capability)];
    }
};

// The column of one EDID: what it states, each cell with its place. An EDID that is no EDID
// (no header, too short) gives unknown cells that say so.
CapabilityColumn edidColumn(std::span<const uint8_t> image, Column column, QString *name = nullptr);
// The column of the input from the box's status.
CapabilityColumn inputColumn(const status::TypedStatus &status);

ChainMatrix buildMatrix(const ChainInputs &inputs);

} // namespace chain
