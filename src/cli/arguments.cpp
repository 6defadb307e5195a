#include "arguments.h"

#include "configuration_commands.h"
#include "core/base/colon_hex.h"
#include "core/box/messages.h"
#include "core/edid/cta861.h"
#include "core/edid/edid_model.h"
#include "doctor_command.h"
#include "global_options.h"
#include "journal_commands.h"
#include "name_suggestions.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace cli {
namespace {

// clang-format off
constexpr std::array<CommandInfo, 26> kCommands = {{
    {Command::Status,    "status",     "",
     "the status lines, the HDR capture, the firmware version and every setting", true},
    {Command::Get,       "get",        "[NAME...]",                              "settings as NAME=VALUE lines", true},
    {Command::Set,       "set",        "NAME=VALUE...",
     "writes each setting in the order given; stops at the first refusal", true},
    {Command::EdidRead,  "edid read",  "[box|top|bot] [-o FILE] [--format raw|hex|carray|inf] [--hex]",
     "reads the box's own EDID or a TV's; -o saves the 256 bytes (--format: raw, hex text, C array or Windows "
     ".inf; --hex: hex; -o - or --format alone: on standard output)", true},
    {Command::EdidWrite, "edid write", "FILE [--fix-checksums|--as-is] [--fit]",
     "writes an EDID file of any form read as the box's custom EDID; --fit keeps the first two blocks of a longer one",
     true},
    {Command::EdidCheck, "edid check", "FILE...",                                "the checksum of every block of each file", false},
    {Command::CecSend,   "cec send",   "HEX [--as-is]",
     "sends a CEC message (colon hex); one the CEC decoder fails only with --as-is", true},
    {Command::CecStore,  "cec store",  "sp|lp HEX [--as-is]",
     "stores a CEC command for the SP or LP button; one the CEC decoder fails only with --as-is", true},
    {Command::HdrSend,   "hdr send",   "HEX [--as-is]",
     "sends the custom HDR infoframe (colon hex); one the infoframe decoder fails only with --as-is", true},
    {Command::AviSend,   "avi send",   "HEX [--as-is]",
     "sends the custom AVI bytes (colon hex); ones the infoframe decoder fails only with --as-is", true},
    {Command::Reset,     "reset",      "--settings|--edid|--all --yes",          "factory reset; nothing is written without --yes", true},
    {Command::EdidDecode, "edid decode", "[FILE|-|box|top|bot]...",
     "what each EDID means, block by block, with its findings (default: box); several: each under its name, "
     "with --json one object a line", false},
    {Command::EdidCompare, "edid compare", "[A B C...]",
     "what each EDID offers a source, side by side (default: box top bot)", false},
    {Command::InfoframeDecode, "infoframe decode", "[HEX] [--form frame|hdr-payload|avi-payload]",
     "what an HDR or AVI infoframe means (default: the box's HDR capture)", false},
    {Command::CecDecode, "cec decode", "HEX", "what a CEC message means", false},
    {Command::EdidEdit, "edid edit",
     "SOURCE -o FILE [--name TEXT] [--remove-vic N]... [--add-vic N]... [--native-vic N] [--audio-from SOURCE] "
     "[--remove-audio FORMAT]... [--no-dolby-vision] [--no-hdr10plus] [--max-frl GBPS] [--no-allm] [--fit-by least-loss] "
     "[--format FORM] [--hex]",
     "edits an EDID (a file, box, top or bot) by meaning into FILE (-o -: on standard output); --fit-by least-loss "
     "leaves out what least matters where an edit does not fit", false},
    {Command::EdidMerge, "edid merge",
     "--video SOURCE --audio SOURCE -o FILE [--fit-by least-loss] [--format FORM] [--hex]",
     "the video of one EDID with the audio of another, into FILE (-o -: on standard output); --fit-by "
     "least-loss leaves out what least matters where they do not fit", false},
    {Command::Backup, "backup", "-o FILE",
     "the box's configuration (settings, EDID mode and custom EDID, stored infoframes) into FILE", true},
    {Command::Restore, "restore", "FILE|NAME [--dry-run] [--as-is] [--only settings|edid|packets]...",
     "puts a saved configuration back: sends only what differs, then reads the box back", true},
    {Command::ConfigList, "config list", "", "the named configurations", false},
    {Command::ConfigSave, "config save", "NAME [--replace]",
     "the box's configuration as the named configuration NAME; --replace replaces one of that name", true},
    {Command::ConfigDelete, "config delete", "NAME", "deletes the named configuration NAME", false},
    {Command::Monitor, "monitor", "[--interval MS] [--for SECONDS] [--count N] [--json]",
     "waits for the box, prints its whole status once, then every change, attach and detach as it happens",
     false},
    {Command::Journal, "journal", "[-n N] [--json]",
     "the changes made to the box, oldest first: when, from where, what each overwrote, the outcome", false},
    {Command::Undo, "undo", "[ENTRY] [--dry-run] [--force]",
     "puts back what a change of the journal overwrote (default: the last); --force also where the box changed since",
     true},
    {Command::Doctor, "doctor", "[--why FORMAT] [--apply N [--dry-run] [-o FILE] [--as-is]]",
     "what the TVs state, the box offers and the input carries, why something is missing and the fixes; --apply "
     "sends fix N through the checks and the journal", true},
}};
// clang-format on

constexpr bool rowsInEnumOrder() {
    for (size_t i = 0; i < kCommands.size(); ++i) {
        if (static_cast<size_t>(kCommands[i].command) != i) {
            return false;
        }
    }
    return true;
}
static_assert(rowsInEnumOrder(), "commandInfo indexes the table by the enum");

std::string utf8(const QString &string) {
    return string.toStdString();
}

QStringList settingNames() {
    QStringList names;
    for (const SettingInfo &setting : allSettings()) {
        names << textOf(setting.name);
    }
    return names;
}

bool isGroup(const QString &word) {
    return std::any_of(kCommands.begin(), kCommands.end(),
                       [&word](const CommandInfo &info) { return groupOf(info.words) == word; });
}

// The command whose words begin the arguments, and how many arguments they took.
const CommandInfo *commandOf(const QStringList &arguments, qsizetype at, qsizetype *taken) {
    for (const CommandInfo &info : kCommands) {
        const QStringList words = textOf(info.words).split(QLatin1Char(' '));
        if (arguments.size() - at >= words.size() && arguments.mid(at, words.size()) == words) {
            *taken = words.size();
            return &info;
        }
    }
    return nullptr;
}

// Parses the arguments after the command words into the invocation; an error text otherwise.
class CommandParser {
public:
    CommandParser(Invocation &invocation, QStringList arguments)
        : invocation_(invocation), arguments_(std::move(arguments)) {}

    QString parse() {
        switch (invocation_.command) {
        case Command::Status:
            return noArguments();
        case Command::Get:
            return names();
        case Command::Set:
            return writes();
        case Command::EdidRead:
            return edidRead();
        case Command::EdidWrite:
            return edidWrite();
        case Command::EdidCheck:
            return edidCheck();
        case Command::CecSend:
            return packet(packets::kCecSend);
        case Command::CecStore:
            return cecStore();
        case Command::HdrSend:
            return packet(packets::kHdrSend);
        case Command::AviSend:
            return packet(packets::kAviSend);
        case Command::Reset:
            return reset();
        case Command::EdidDecode:
            return edidNames({QStringLiteral("box")});
        case Command::EdidCompare:
            return edidCompare();
        case Command::InfoframeDecode:
            return infoframeDecode();
        case Command::CecDecode:
            return cecDecode();
        case Command::EdidEdit:
            return edidEdit();
        case Command::EdidMerge:
            return edidMerge();
        case Command::Backup:
        case Command::Restore:
        case Command::ConfigList:
        case Command::ConfigSave:
        case Command::ConfigDelete:
            return parseConfigurationArguments(invocation_, arguments_);
        case Command::Monitor:
            return monitor();
        case Command::Journal:
        case Command::Undo:
            return parseJournalArguments(invocation_, arguments_);
        case Command::Doctor:
            return parseDoctorArguments(invocation_, arguments_);
        }
        return QStringLiteral("unknown command");
    }

private:
    QString noArguments() const {
        return arguments_.isEmpty() ? QString()
                                    : QStringLiteral("unexpected argument: %1").arg(arguments_.first());
    }

    static QString emptyFileName() { return QStringLiteral("empty file name"); }

    static QString unknownSetting(const QString &name) {
        const QString nearest = suggestion(name, settingNames());
        return nearest.isEmpty() ? QStringLiteral("unknown setting: %1").arg(name)
                                 : QStringLiteral("unknown setting %1%2").arg(name, nearest);
    }

    QString names() {
        for (const QString &name : arguments_) {
            const SettingInfo *info = settingNamed(utf8(name));
            if (info == nullptr) {
                return unknownSetting(name);
            }
            invocation_.settings.push_back(info->setting);
        }
        return {};
    }

    QString writes() {
        if (arguments_.isEmpty()) {
            return QStringLiteral("set needs NAME=VALUE");
        }
        for (const QString &argument : arguments_) {
            const qsizetype equals = argument.indexOf(QLatin1Char('='));
            if (equals < 0) {
                return QStringLiteral("not NAME=VALUE: %1").arg(argument);
            }
            const QString name = argument.left(equals);
            const QString value = argument.mid(equals + 1);
            const SettingInfo *info = settingNamed(utf8(name));
            if (info == nullptr) {
                return unknownSetting(name);
            }
            const std::optional<uint8_t> device = settingValueNamed(*info, utf8(value));
            if (!device) {
                return QStringLiteral("bad value for %1: %2 (one of: %3)").arg(name, value, valueList(*info));
            }
            invocation_.writes.push_back({info->setting, *device});
        }
        return {};
    }

    QString edidRead() {
        bool sourceGiven = false;
        for (qsizetype i = 0; i < arguments_.size(); ++i) {
            const QString &argument = arguments_[i];
            QString error;
            if (argument == QLatin1String("-o")) {
                if (i + 1 >= arguments_.size() || arguments_[i + 1].isEmpty()) {
                    return QStringLiteral("-o needs a file name");
                }
                invocation_.outputFile = arguments_[++i];
            } else if (formatOption(i, &error)) {
                if (!error.isEmpty()) {
                    return error;
                }
            } else if (!sourceGiven && !argument.startsWith(QLatin1Char('-'))) {
                const std::optional<EdidSource> source = sourceNamed(argument);
                if (!source) {
                    return QStringLiteral("unknown EDID source: %1 (one of: box, top, bot)").arg(argument);
                }
                invocation_.source = *source;
                sourceGiven = true;
            } else {
                return QStringLiteral("unexpected argument: %1").arg(argument);
            }
        }
        settleStandardOutput();
        return {};
    }

    bool savesNowhere() const {
        return invocation_.outputFile.isEmpty() && !invocation_.fileToStandardOutput;
    }

    // "-o -", or a form without -o: the file's content goes to standard output.
    void settleStandardOutput() {
        invocation_.fileToStandardOutput =
            invocation_.outputFile == QLatin1String("-") || (invocation_.outputFile.isEmpty() && formatSet_);
    }

    // --format FORM, and --hex for --format hex; false when the argument is neither. A second
    // form that differs from the first is an error.
    bool formatOption(qsizetype &i, QString *error) {
        std::optional<EdidWriteFormat> format;
        if (arguments_[i] == QLatin1String("--hex")) {
            format = EdidWriteFormat::Hex;
        } else if (arguments_[i] == QLatin1String("--format")) {
            const std::optional<QString> name = valueOf(i, error);
            if (!name) {
                return true;
            }
            format = edidWriteFormatNamed(*name);
            if (!format) {
                *error =
                    QStringLiteral("bad value for --format: %1 (one of: raw, hex, carray, inf)").arg(*name);
                return true;
            }
        } else {
            return false;
        }
        if (formatSet_ && invocation_.fileFormat != *format) {
            *error = QStringLiteral("one --format (or --hex) only");
            return true;
        }
        invocation_.fileFormat = *format;
        formatSet_ = true;
        return true;
    }

    static std::optional<EdidSource> sourceNamed(const QString &name) {
        if (name == QLatin1String("box")) {
            return EdidSource::Box;
        }
        if (name == QLatin1String("top")) {
            return EdidSource::TopSink;
        }
        if (name == QLatin1String("bot")) {
            return EdidSource::BotSink;
        }
        return std::nullopt;
    }

    static EdidInput edidInputNamed(const QString &name) { return {name, sourceNamed(name)}; }

    // The EDIDs of edid decode and edid compare, in order: files, "-" (standard input, read
    // once) and box, top, bot; after "--" every argument is a file. The defaults when none is
    // given.
    QString edidNames(const QStringList &defaults) {
        bool filesOnly = false;
        bool standardInput = false;
        for (const QString &argument : arguments_) {
            if (!filesOnly && argument == QLatin1String("--")) {
                filesOnly = true;
                continue;
            }
            if (argument.isEmpty()) {
                return emptyFileName();
            }
            if (argument == QLatin1String("-")) {
                if (standardInput) {
                    return QStringLiteral("- given twice: standard input is read once");
                }
                standardInput = true;
            } else if (!filesOnly && argument.startsWith(QLatin1Char('-'))) {
                return QStringLiteral("unexpected argument: %1").arg(argument);
            }
            invocation_.edidInputs.push_back(edidInputNamed(argument));
        }
        if (invocation_.edidInputs.empty()) {
            for (const QString &name : defaults) {
                invocation_.edidInputs.push_back(edidInputNamed(name));
            }
        }
        return {};
    }

    QString edidCompare() {
        const QString error =
            edidNames({QStringLiteral("box"), QStringLiteral("top"), QStringLiteral("bot")});
        if (error.isEmpty() && invocation_.edidInputs.size() < 2) {
            return QStringLiteral("edid compare needs two or more EDIDs");
        }
        return error;
    }

    // Colon hex as the packet texts take it, without their length limits.
    QString decodeHex(const QString &text) {
        const QByteArray latin = text.toLatin1();
        size_t groups = 0;
        if (!isColonHexText(std::span<const char>(latin.constData(), static_cast<size_t>(latin.size())),
                            &groups)) {
            return QLatin1String(kHexFormatError);
        }
        if (groups > kColonHexOutputSize) {
            return QStringLiteral("at most %1 bytes").arg(kColonHexOutputSize);
        }
        std::array<uint8_t, kColonHexOutputSize> bytes{};
        const uint8_t count =
            parseColonHex(std::span<const char>(latin.constData(), static_cast<size_t>(latin.size())),
                          static_cast<size_t>(latin.size()), false, bytes);
        invocation_.decodeBytes.assign(bytes.begin(), bytes.begin() + count);
        return {};
    }

    QString infoframeDecode() {
        std::optional<QString> hex;
        for (qsizetype i = 0; i < arguments_.size(); ++i) {
            const QString &argument = arguments_[i];
            if (argument == QLatin1String("--form")) {
                const QString form = arguments_.value(i + 1);
                ++i;
                if (form == QLatin1String("frame")) {
                    invocation_.infoframeForm = infoframe::Form::Frame;
                } else if (form == QLatin1String("hdr-payload")) {
                    invocation_.infoframeForm = infoframe::Form::HdrPayload;
                } else if (form == QLatin1String("avi-payload")) {
                    invocation_.infoframeForm = infoframe::Form::AviPayload;
                } else {
                    return QStringLiteral("unknown form: %1 (one of: frame, hdr-payload, avi-payload)")
                        .arg(form);
                }
            } else if (!hex && !argument.startsWith(QLatin1Char('-'))) {
                hex = argument;
            } else {
                return QStringLiteral("unexpected argument: %1").arg(argument);
            }
        }
        if (!hex) {
            // The capture is an HDR payload whatever --form says.
            invocation_.infoframeForm = infoframe::Form::HdrPayload;
            return {};
        }
        return decodeHex(*hex);
    }

    QString cecDecode() {
        if (arguments_.size() != 1) {
            return QStringLiteral("one HEX text expected");
        }
        return decodeHex(arguments_.first());
    }

    // The value after an option, or why there is none.
    std::optional<QString> valueOf(qsizetype &i, QString *error) const {
        const QString &option = arguments_[i];
        if (i + 1 >= arguments_.size() || arguments_[i + 1].isEmpty()) {
            *error = QStringLiteral("%1 needs a value").arg(option);
            return std::nullopt;
        }
        return arguments_[++i];
    }

    // An option's number within [low, high], or why it is not one.
    std::optional<int> numberOf(qsizetype &i, int low, int high, QString *error) const {
        const QString option = arguments_[i];
        const std::optional<QString> value = valueOf(i, error);
        if (!value) {
            return std::nullopt;
        }
        bool isNumber = false;
        const int number = value->toInt(&isNumber);
        if (!isNumber || number < low || number > high) {
            *error = QStringLiteral("bad value for %1: %2 (%3 to %4)").arg(option, *value).arg(low).arg(high);
            return std::nullopt;
        }
        return number;
    }

    // -o FILE, --format FORM, --hex and --fit-by least-loss, the options both builders share;
    // false when the argument is none of them.
    bool outputOption(qsizetype &i, QString *error) {
        if (formatOption(i, error)) {
            return true;
        }
        if (arguments_[i] == QLatin1String("--fit-by")) {
            const std::optional<QString> how = valueOf(i, error);
            if (how && *how != QLatin1String("least-loss")) {
                *error = QStringLiteral("bad value for --fit-by: %1 (one of: least-loss)").arg(*how);
            }
            invocation_.fitByLeastLoss = how.has_value() && error->isEmpty();
            return true;
        }
        if (arguments_[i] != QLatin1String("-o")) {
            return false;
        }
        if (const std::optional<QString> file = valueOf(i, error)) {
            invocation_.outputFile = *file;
        }
        return true;
    }

    static std::optional<EdidEdit::Kind> vicEditNamed(const QString &option) {
        if (option == QLatin1String("--remove-vic")) {
            return EdidEdit::Kind::RemoveVic;
        }
        if (option == QLatin1String("--add-vic")) {
            return EdidEdit::Kind::AddVic;
        }
        if (option == QLatin1String("--native-vic")) {
            return EdidEdit::Kind::NativeVic;
        }
        return std::nullopt;
    }

    // One option of edid edit into the edits; false when it is none of them.
    bool editOption(qsizetype &i, QString *error) {
        using Kind = EdidEdit::Kind;
        const QString option = arguments_[i];
        if (const std::optional<Kind> vicEdit = vicEditNamed(option)) {
            if (const std::optional<int> vic = numberOf(i, 1, 255, error)) {
                invocation_.edidEdits.push_back({*vicEdit, {}, *vic});
            }
        } else if (option == QLatin1String("--name") || option == QLatin1String("--remove-audio")) {
            if (const std::optional<QString> text = valueOf(i, error)) {
                invocation_.edidEdits.push_back(
                    {option == QLatin1String("--name") ? Kind::Name : Kind::RemoveAudio, *text});
            }
        } else if (option == QLatin1String("--audio-from")) {
            if (const std::optional<QString> source = valueOf(i, error)) {
                audioSources_.push_back(edidInputNamed(*source));
                // The sources of --audio-from follow the edited source, in order.
                invocation_.edidEdits.push_back({Kind::AudioFrom, {}, 0, audioSources_.size()});
            }
        } else if (option == QLatin1String("--max-frl")) {
            const std::optional<int> gbps = numberOf(i, 0, edid::kFrlRates.back().gbps, error);
            if (gbps && !edid::frlCodeOfGbps(*gbps)) {
                *error = QStringLiteral("bad value for --max-frl: %1 (one of: %2)")
                             .arg(*gbps)
                             .arg(edid::frlGbpsList());
            } else if (gbps) {
                invocation_.edidEdits.push_back({Kind::MaxFrl, {}, *gbps});
            }
        } else if (option == QLatin1String("--no-dolby-vision")) {
            invocation_.edidEdits.push_back({Kind::NoDolbyVision, {}});
        } else if (option == QLatin1String("--no-hdr10plus")) {
            invocation_.edidEdits.push_back({Kind::NoHdr10Plus, {}});
        } else if (option == QLatin1String("--no-allm")) {
            invocation_.edidEdits.push_back({Kind::NoAllm, {}});
        } else {
            return false;
        }
        return true;
    }

    QString edidEdit() {
        QString error;
        std::optional<EdidInput> source;
        for (qsizetype i = 0; i < arguments_.size() && error.isEmpty(); ++i) {
            const QString &argument = arguments_[i];
            if (outputOption(i, &error) || editOption(i, &error)) {
                continue;
            }
            if (argument.isEmpty()) {
                error = emptyFileName();
            } else if (!source && !argument.startsWith(QLatin1Char('-'))) {
                source = edidInputNamed(argument);
            } else {
                error = QStringLiteral("unexpected argument: %1").arg(argument);
            }
        }
        if (!error.isEmpty()) {
            return error;
        }
        if (!source) {
            return QStringLiteral("edid edit needs a SOURCE");
        }
        invocation_.edidInputs.push_back(*source);
        invocation_.edidInputs.insert(invocation_.edidInputs.end(), audioSources_.begin(),
                                      audioSources_.end());
        settleStandardOutput();
        return savesNowhere() ? QStringLiteral("edid edit needs -o FILE") : QString();
    }

    QString edidMerge() {
        std::optional<EdidInput> video;
        std::optional<EdidInput> audio;
        QString error;
        for (qsizetype i = 0; i < arguments_.size() && error.isEmpty(); ++i) {
            const QString &argument = arguments_[i];
            if (outputOption(i, &error)) {
                continue;
            }
            if (argument == QLatin1String("--video") || argument == QLatin1String("--audio")) {
                if (const std::optional<QString> named = valueOf(i, &error)) {
                    (argument == QLatin1String("--video") ? video : audio) = edidInputNamed(*named);
                }
            } else {
                error = QStringLiteral("unexpected argument: %1").arg(argument);
            }
        }
        if (!error.isEmpty()) {
            return error;
        }
        if (!video || !audio) {
            return QStringLiteral("edid merge needs --video SOURCE and --audio SOURCE");
        }
        invocation_.edidInputs = {*video, *audio};
        settleStandardOutput();
        return savesNowhere() ? QStringLiteral("edid merge needs -o FILE") : QString();
    }

    // --interval MS (250 to 60000), --for SECONDS, --count N.
    QString monitor() {
        QString error;
        for (qsizetype i = 0; i < arguments_.size() && error.isEmpty(); ++i) {
            const QString &argument = arguments_[i];
            if (argument == QLatin1String("--interval")) {
                if (const std::optional<int> ms = numberOf(i, 250, 60000, &error)) {
                    invocation_.monitorIntervalMs = static_cast<uint32_t>(*ms);
                }
            } else if (argument == QLatin1String("--for")) {
                invocation_.monitorSeconds = numberOf(i, 1, 31 * 24 * 3600, &error);
            } else if (argument == QLatin1String("--count")) {
                invocation_.monitorCount = numberOf(i, 1, 1000000000, &error);
            } else {
                error = QStringLiteral("unexpected argument: %1").arg(argument);
            }
        }
        return error;
    }

    QString edidWrite() {
        bool policyGiven = false;
        for (const QString &argument : arguments_) {
            const bool fix = argument == QLatin1String("--fix-checksums");
            const bool asIs = argument == QLatin1String("--as-is");
            if (argument == QLatin1String("--fit")) {
                invocation_.fit = true;
            } else if (fix || asIs) {
                const ChecksumPolicy policy = fix ? ChecksumPolicy::Fix : ChecksumPolicy::AsIs;
                if (policyGiven && invocation_.checksums != policy) {
                    return QStringLiteral("--fix-checksums and --as-is exclude each other");
                }
                invocation_.checksums = policy;
                policyGiven = true;
            } else if (argument.isEmpty()) {
                return emptyFileName();
            } else if (argument.startsWith(QLatin1Char('-')) || !invocation_.files.isEmpty()) {
                return QStringLiteral("unexpected argument: %1").arg(argument);
            } else {
                invocation_.files << argument;
            }
        }
        return invocation_.files.isEmpty() ? QStringLiteral("edid write needs a FILE") : QString();
    }

    QString edidCheck() {
        if (arguments_.isEmpty()) {
            return QStringLiteral("edid check needs a FILE");
        }
        if (arguments_.contains(QString())) {
            return emptyFileName();
        }
        invocation_.files = arguments_;
        return {};
    }

    // The arguments but --as-is, which the packet commands take anywhere.
    QStringList withoutAsIs() {
        QStringList rest = arguments_;
        invocation_.packetAsIs = rest.removeAll(QStringLiteral("--as-is")) > 0;
        return rest;
    }

    QString packet(const packets::PacketSend &send) {
        const QStringList rest = withoutAsIs();
        if (rest.size() != 1) {
            return QStringLiteral("one HEX text expected");
        }
        invocation_.packetText = rest.first();
        const packets::TextOutcome<packets::PacketBytes> bytes =
            packets::packetBytesOf(invocation_.packetText, send);
        if (!bytes.ok()) {
            return packets::packetInputError(invocation_.packetText, bytes.error);
        }
        invocation_.packet = bytes.value;
        return {};
    }

    QString cecStore() {
        const QStringList rest = withoutAsIs();
        if (rest.size() != 2) {
            return QStringLiteral("cec store needs sp or lp and one HEX text");
        }
        const QString &slot = rest[0];
        if (slot == QLatin1String("sp")) {
            invocation_.cecSlot = proto::kStoreCecSlot1;
        } else if (slot == QLatin1String("lp")) {
            invocation_.cecSlot = proto::kStoreCecSlot2;
        } else {
            return QStringLiteral("unknown CEC slot: %1 (one of: sp, lp)").arg(slot);
        }
        invocation_.packetText = rest[1];
        const packets::TextOutcome<packets::PacketText> stored =
            packets::cecStoreTextOf(invocation_.packetText);
        if (!stored.ok()) {
            return packets::packetInputError(invocation_.packetText, stored.error);
        }
        invocation_.storedText = stored.value;
        return {};
    }

    QString reset() {
        std::optional<FactoryReset> what;
        bool yes = false;
        for (const QString &argument : arguments_) {
            std::optional<FactoryReset> named;
            if (argument == QLatin1String("--settings")) {
                named = FactoryReset::Settings;
            } else if (argument == QLatin1String("--edid")) {
                named = FactoryReset::Edid;
            } else if (argument == QLatin1String("--all")) {
                named = FactoryReset::Everything;
            } else if (argument == QLatin1String("--yes")) {
                yes = true;
                continue;
            } else {
                return QStringLiteral("unexpected argument: %1").arg(argument);
            }
            if (what && *what != *named) {
                return QStringLiteral("one of --settings, --edid and --all");
            }
            what = named;
        }
        if (!what) {
            return QStringLiteral("reset needs --settings, --edid or --all");
        }
        if (!yes) {
            return QStringLiteral("reset writes nothing without --yes");
        }
        invocation_.reset = *what;
        return {};
    }

    Invocation &invocation_;
    QStringList arguments_;
    std::vector<EdidInput> audioSources_; // edid edit's --audio-from, in order
    bool formatSet_ = false;              // by --format or --hex
};

} // namespace

QString textOf(std::string_view view) {
    return QString::fromLatin1(view.data(), static_cast<qsizetype>(view.size()));
}

QString valueList(const SettingInfo &info) {
    QStringList names;
    for (const SettingValue &value : info.values) {
        names << textOf(value.name);
    }
    return names.join(QStringLiteral(", "));
}

QString groupOf(std::string_view words) {
    const QString text = textOf(words);
    const qsizetype space = text.indexOf(QLatin1Char(' '));
    return space < 0 ? QString() : text.left(space);
}

std::span<const CommandInfo> allCommands() {
    return kCommands;
}

const CommandInfo &commandInfo(Command command) {
    return kCommands[static_cast<size_t>(command)];
}

bool needsBox(const Invocation &invocation) {
    if (commandInfo(invocation.command).needsBox) {
        return true;
    }
    if (invocation.command == Command::InfoframeDecode) {
        return invocation.decodeBytes.empty();
    }
    return std::any_of(invocation.edidInputs.begin(), invocation.edidInputs.end(),
                       [](const EdidInput &input) { return input.source.has_value(); });
}

Parsed parseArguments(const QStringList &arguments) {
    Invocation invocation;
    const auto fail = [&invocation](const QString &error) { return Parsed{invocation, error}; };
    qsizetype at = 0;
    for (; at < arguments.size() && arguments[at].startsWith(QLatin1Char('-')); ++at) {
        const QString &option = arguments[at];
        if (option == QLatin1String("--help") || option == QLatin1String("-h")) {
            invocation.request = Request::Help;
            return {invocation, {}};
        }
        if (option == QLatin1String("--version")) {
            invocation.request = Request::Version;
            return {invocation, {}};
        }
        QString error;
        if (!takeGlobalOption(option, invocation, &error)) {
            return fail(QStringLiteral("unknown option: %1").arg(option));
        }
        if (!error.isEmpty()) {
            return fail(error);
        }
    }
    if (at >= arguments.size()) {
        return fail(QStringLiteral("no command given"));
    }
    qsizetype taken = 0;
    const CommandInfo *info = commandOf(arguments, at, &taken);
    if (info == nullptr && isGroup(arguments[at])) {
        const QStringList rest = arguments.mid(at + 1);
        invocation.group = arguments[at];
        if (rest.contains(QLatin1String("--help"))) {
            invocation.request = Request::GroupHelp;
            return {invocation, {}};
        }
        if (rest.isEmpty()) {
            return fail(
                QStringLiteral("%1 needs a command:\n%2").arg(arguments[at], groupUsageText(arguments[at])));
        }
    }
    if (info == nullptr) {
        const QStringList words = arguments.mid(at);
        return fail(QStringLiteral("unknown command: %1%2")
                        .arg(words.join(QLatin1Char(' ')), commandSuggestion(words)));
    }
    invocation.command = info->command;
    QStringList rest = arguments.mid(at + taken);
    const QString globalError = takeGlobalOptions(*info, rest, invocation);
    if (!globalError.isEmpty()) {
        return fail(globalError);
    }
    if (rest.mid(0, rest.indexOf(QLatin1String("--"))).contains(QLatin1String("--help"))) {
        invocation.request = Request::CommandHelp;
        return {invocation, {}};
    }
    QString error = CommandParser(invocation, rest).parse();
    if (error.isEmpty() && invocation.fileToStandardOutput && invocation.json) {
        error =
            QStringLiteral("--json and the EDID cannot both go to standard output (-o FILE saves the EDID)");
    }
    return {invocation, error};
}

} // namespace cli
