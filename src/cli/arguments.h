#pragma once
// The command line of `veltrika`, read into one invocation before the box is touched:
// every name, value and hex text is checked here, so a bad argument never costs a frame.

#include "core/box/box_configuration.h"
#include "core/box/box_session.h"
#include "core/box/packet_text.h"
#include "core/box/settings_table.h"
#include "core/chain/chain_matrix.h"
#include "core/edid/edid_formats.h"
#include "core/signal/infoframe_decode.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace cli {

enum class Command : uint8_t {
    Status,
    Get,
    Set,
    EdidRead,
    EdidWrite,
    EdidCheck,
    CecSend,
    CecStore,
    HdrSend,
    AviSend,
    Reset,
    EdidDecode,
    EdidCompare,
    InfoframeDecode,
    CecDecode,
    EdidEdit,
    EdidMerge,
    Backup,
    Restore,
    ConfigList,
    ConfigSave,
    ConfigDelete,
    Monitor,
    Journal,
    Undo,
    Doctor,
};

// One row of the command table: how the command is named, used and described.
struct CommandInfo {
    Command command;
    std::string_view words;    // "status", "edid read"
    std::string_view synopsis; // what follows the words in a usage line
    std::string_view summary;
    bool needsBox; // whatever its arguments; a decode command needs it only for a box source
};

std::span<const CommandInfo> allCommands();
const CommandInfo &commandInfo(Command command);

enum class Request : uint8_t { Run, Help, Version, CommandHelp, GroupHelp };
// What an EDID write does with a block whose checksum is wrong.
enum class ChecksumPolicy : uint8_t { Stop, Fix, AsIs };

struct SettingWrite {
    Setting setting;
    uint8_t value;
};

// An EDID that a decode or compare command takes: one of the box's, or a file ("-" for
// standard input).
struct EdidInput {
    QString name; // as given
    std::optional<EdidSource> source;
};

// One edit of `edid edit`, in the order given.
struct EdidEdit {
    enum class Kind : uint8_t {
        Name,
        RemoveVic,
        AddVic,
        NativeVic,
        AudioFrom, // `input`: the EDID input whose audio it takes
        RemoveAudio,
        NoDolbyVision,
        NoHdr10Plus,
        MaxFrl, // `number`: the link rate in Gbps
        NoAllm,
    };
    Kind kind;
    QString text;
    int number = 0;
    size_t input = 0;
};

// backup, restore and config: the file or name they take (configuration_commands.h).
struct ConfigurationArguments {
    QString target;              // restore: FILE or NAME as given; config save, config delete: NAME
    bool dryRun = false;         // restore --dry-run
    bool asIs = false;           // restore --as-is: also what the check finds faults in
    ConfigurationParts only = 0; // restore --only, every one given; none: every part
    bool replace = false;        // config save --replace: over a configuration of that name
};

// journal and undo (journal_commands.h).
struct JournalArguments {
    std::optional<int> count; // journal -n: the last N entries
    std::optional<int> entry; // undo ENTRY; none: the last change
    bool dryRun = false;      // undo --dry-run
    bool force = false;       // undo --force
};

// doctor (doctor_command.h).
struct DoctorArguments {
    std::vector<chain::Capability> why; // --why: the rows it names
    QString apply;                      // --apply: a fix's number or key; empty: none
    bool dryRun = false;                // --apply N --dry-run
    bool asIs = false;                  // --apply N --as-is: also what the check finds faults in
};

struct Invocation {
    Request request = Request::Run;
    bool demo = false;
    QString demoFile; // empty: the default state file
    bool json = false;
    bool trace = false;
    bool quiet = false;
    Command command = Command::Status;

    std::vector<Setting> settings;    // get: empty for every setting
    std::vector<SettingWrite> writes; // set, in the order given
    EdidSource source = EdidSource::Box;
    QString outputFile;                                // edid read, edit and merge -o; doctor -o
    EdidWriteFormat fileFormat = EdidWriteFormat::Raw; // their --format (--hex: hex)
    bool fileToStandardOutput = false;                 // -o -, or --format without -o
    QStringList files;                                 // edid write (one), edid check (one or more)
    ChecksumPolicy checksums = ChecksumPolicy::Stop;
    bool fit = false;            // edid write --fit: a file of more blocks cut to the two the box holds
    bool fitByLeastLoss = false; // edid edit and merge --fit-by least-loss
    QString group;               // the first word of the commands `GROUP --help` lists ("edid")
    QString packetText;          // cec, hdr and avi commands, as typed
    packets::PacketBytes packet; // cec send, hdr send, avi send
    packets::PacketText storedText;
    bool packetAsIs = false; // the packet commands' --as-is: also what the decoders fail
    uint8_t cecSlot = 0;     // cec store
    FactoryReset reset = FactoryReset::Settings;
    std::vector<EdidInput> edidInputs; // edid decode, compare, edit (the source first), merge (video, audio)
    std::vector<EdidEdit> edidEdits;
    infoframe::Form infoframeForm = infoframe::Form::Frame; // infoframe decode
    std::vector<uint8_t> decodeBytes; // infoframe decode (none: the box's HDR capture), cec decode
    // backup (its -o is outputFile), restore, config
    ConfigurationArguments configuration;
    JournalArguments journal;
    DoctorArguments doctor;
    uint32_t monitorIntervalMs = 1000; // monitor --interval
    std::optional<int> monitorSeconds; // monitor --for
    std::optional<int> monitorCount;   // monitor --count
};

// Whether the invocation talks to the box.
bool needsBox(const Invocation &invocation);

// The invocation, or the reason there is none (a usage error); the options read before
// the error stay in it, so a failing --json run can still answer in JSON.
struct Parsed {
    Invocation invocation;
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// The arguments after the program name.
Parsed parseArguments(const QStringList &arguments);

// A name of the command or settings table as text.
QString textOf(std::string_view view);
// The names of a setting's values: "on, off".
QString valueList(const SettingInfo &info);
// The first word of a command of more than one ("edid" of "edid read"), else empty.
QString groupOf(std::string_view words);

// The text of `--help` and of `COMMAND --help` (usage.cpp).
QString usageText();
QString commandUsageText(const CommandInfo &info);
// The commands whose first word is the group's, with their synopses and summaries.
QString groupUsageText(const QString &group);

} // namespace cli
