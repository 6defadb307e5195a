#include "run_cli.h"

#include "arguments.h"
#include "box_changes.h"
#include "build_commands.h"
#include "configuration_commands.h"
#include "core/base/saved_file.h"
#include "core/box/box_session.h"
#include "core/box/messages.h"
#include "core/box/status_texts.h"
#include "core/box/typed_status_json.h"
#include "core/edid/edid_check.h"
#include "core/edid/edid_formats.h"
#include "core/edid/spaced_hex.h"
#include "core/product.h"
#include "decode_commands.h"
#include "doctor_command.h"
#include "journal_commands.h"
#include "monitor_command.h"
#include "output.h"
#include "sim/demo_state.h"
#include "sim/simulated_box.h"
#include "stderr_reporter.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace cli {
namespace {

// A box busy rebuilding its EDID (after an EDID mode change) reports no settings: asked
// again every 100 ms for up to 5 s, longer than the box takes.
constexpr uint32_t kBusyRetryMs = 100;
constexpr int kBusyRetries = 50;

// What is read before the box is opened.
struct Inputs {
    EdidImage image{};
    qsizetype edidBytesHeld = 0; // edid write: what the file held (256 once fitted)
    EdidVerdicts verdicts{};
    std::vector<std::pair<QString, EdidVerdicts>> checked;
    std::unique_ptr<QSaveFile> output;
    std::vector<QByteArray> edids; // edid decode, edid compare
    // backup, restore, config
    ConfigurationInputs configuration;
};

// The first 256 bytes of the data as the window's loader takes them (zero where it holds fewer).
EdidImage imageOf(const QByteArray &data) {
    EdidImage image{};
    std::copy_n(data.constData(), std::min<qsizetype>(data.size(), static_cast<qsizetype>(image.size())),
                reinterpret_cast<char *>(image.data()));
    return image;
}

// The first 256 bytes of the file. A file without a single byte is no EDID.
std::optional<EdidImage> loadEdidFile(const QString &fileName, QString *error) {
    const std::optional<QByteArray> data = readEdidFile(fileName, error);
    if (!data) {
        return std::nullopt;
    }
    return imageOf(*data);
}

// Puts into inputs.image what `edid write` would send, when the gate finds nothing in it: a
// file of more blocks than the box holds only with --fit (its first two, the extension count
// set to one and block 0's checksum moved with it), one a source may not read or the decoder
// fails only with --as-is. The checksums are checked after.
int checkEdidToWrite(const Invocation &invocation, StderrReporter &reporter, const QByteArray &data,
                     Inputs &inputs, Output &output) {
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t *>(data.constData()),
                                         static_cast<size_t>(data.size()));
    const EdidCheck check = checkEdidForSource(bytes, EdidOrigin::File);
    inputs.image = imageOf(data);
    inputs.edidBytesHeld = data.size();
    const qsizetype boxBlocks = static_cast<qsizetype>(proto::kEdidSize) / kEdidBlockSize;
    if (check.blocksHeld() > boxBlocks) {
        if (!invocation.fit) {
            output.error = QStringLiteral("edid write: nothing was written: %1 (--fit keeps the first two)")
                               .arg(check.reasons.first());
            return kExitFailed;
        }
        fitEdidToBox(inputs.image);
        inputs.edidBytesHeld = static_cast<qsizetype>(proto::kEdidSize);
        reporter.message(QStringLiteral("%1: kept the first %2 of %3 blocks, the extension count set to 1")
                             .arg(invocation.files.first())
                             .arg(boxBlocks)
                             .arg(check.blocksHeld()));
    }
    const QStringList findings =
        checkChange(BoxChange::ofEdidWrite(inputs.image, inputs.edidBytesHeld, EdidOrigin::File)).findings;
    if (findings.isEmpty()) {
        return kExitOk;
    }
    output.json.insert(QStringLiteral("source_check"), QJsonArray::fromStringList(findings));
    if (invocation.checksums == ChecksumPolicy::AsIs) {
        reporter.message(QStringLiteral("%1: written as it is: %2")
                             .arg(invocation.files.first(), findings.join(QStringLiteral("; "))));
        return kExitOk;
    }
    output.error = QStringLiteral("edid write: nothing was written: %1 (--as-is writes it as it is)")
                       .arg(findings.join(QStringLiteral("; ")));
    return kExitFailed;
}

// The change a packet command makes, as parsed.
BoxChange packetChange(const Invocation &invocation) {
    switch (invocation.command) {
    case Command::CecSend:
        return BoxChange::ofCecSend(invocation.packet);
    case Command::CecStore:
        return BoxChange::ofCecStore(invocation.cecSlot, invocation.storedText);
    case Command::HdrSend:
        return BoxChange::ofHdrSend(invocation.packet);
    default:
        break;
    }
    // The AVI send's REPLACE AVI comes from the box, read before it is sent.
    return BoxChange::ofAviSend(invocation.packet, 0);
}

QString resetName(FactoryReset what) {
    switch (what) {
    case FactoryReset::Edid:
        return QStringLiteral("edid");
    case FactoryReset::Settings:
        return QStringLiteral("settings");
    case FactoryReset::Everything:
        break;
    }
    return QStringLiteral("all");
}

QString checksumPolicyName(ChecksumPolicy policy, bool right) {
    if (right) {
        return QStringLiteral("right");
    }
    return policy == ChecksumPolicy::Fix ? QStringLiteral("repaired") : QStringLiteral("as-is");
}

// Writes the bytes into the output file opened before the box was touched, or for standard
// output, in the form of --format: the 256 raw bytes (the default), their spaced hex text
// (also --hex), a C array or a Windows .inf.
int commitOutputFile(const Invocation &invocation, QSaveFile *file,
                     std::span<const uint8_t, proto::kEdidSize> image, Output &output) {
    const QByteArray bytes = writeEdidFileContent(image, invocation.fileFormat);
    if (file == nullptr) {
        output.bytes = bytes;
        return kExitOk;
    }
    if (!writeAll(*file, {reinterpret_cast<const uint8_t *>(bytes.constData()),
                          static_cast<size_t>(bytes.size())}) ||
        !file->commit()) {
        output.error =
            QStringLiteral("Cannot write file %1: %2.").arg(invocation.outputFile, file->errorString());
        return kExitUsage;
    }
    output.json.insert(QStringLiteral("file"), invocation.outputFile);
    return kExitOk;
}

// edid edit and edid merge: the EDID built, then saved; nothing is saved when an edit is refused.
int buildEdidFile(const Invocation &invocation, Inputs &inputs, BoxSession *session, StderrReporter &reporter,
                  Output &output) {
    QByteArray built;
    const int status = runBuildCommand(invocation, inputs.edids, session, reporter, output, &built);
    if (status != kExitOk) {
        return status;
    }
    EdidImage image{};
    std::copy_n(built.constData(), std::min<qsizetype>(built.size(), static_cast<qsizetype>(image.size())),
                reinterpret_cast<char *>(image.data()));
    return commitOutputFile(invocation, inputs.output.get(), image, output);
}

// Opened now: a file that cannot be written costs no read of the box. Standard output needs
// no opening.
int openOutputFile(const Invocation &invocation, Inputs &inputs, Output &output) {
    if (invocation.fileToStandardOutput) {
        return kExitOk;
    }
    inputs.output = std::make_unique<QSaveFile>(invocation.outputFile);
    if (!inputs.output->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        output.error = QStringLiteral("Cannot write file %1: %2.")
                           .arg(invocation.outputFile, inputs.output->errorString());
        return kExitUsage;
    }
    return kExitOk;
}

// Reads the files, checks the checksums and opens the output file: everything that can fail
// without the box fails here, before the first frame.
int prepareInputs(const Invocation &invocation, StderrReporter &reporter, Inputs &inputs, Output &output) {
    switch (invocation.command) {
    case Command::EdidWrite: {
        const std::optional<QByteArray> data = readEdidFile(invocation.files.first(), &output.error);
        if (!data) {
            return kExitUsage;
        }
        const int checked = checkEdidToWrite(invocation, reporter, *data, inputs, output);
        if (checked != kExitOk) {
            return checked;
        }
        inputs.verdicts = edidVerdicts(inputs.image);
        if (allRight(inputs.verdicts)) {
            return kExitOk;
        }
        output.json.insert(QStringLiteral("blocks"), verdictArray(inputs.verdicts));
        if (invocation.checksums == ChecksumPolicy::Stop) {
            reporter.message(QLatin1String(kWrongEdidChecksum));
            for (const QString &line : verdictLines(invocation.files.first(), inputs.verdicts)) {
                reporter.message(line);
            }
            output.error = QStringLiteral("edid write: nothing was written (--fix-checksums repairs, --as-is "
                                          "writes as it is)");
            return kExitFailed;
        }
        if (invocation.checksums == ChecksumPolicy::Fix) {
            setEdidChecksums(inputs.image);
        }
        return kExitOk;
    }
    case Command::EdidCheck:
        for (const QString &fileName : invocation.files) {
            const std::optional<EdidImage> image = loadEdidFile(fileName, &output.error);
            if (!image) {
                return kExitUsage;
            }
            inputs.checked.emplace_back(fileName, edidVerdicts(*image));
        }
        return kExitOk;
    case Command::EdidRead:
    case Command::Doctor:
        return invocation.outputFile.isEmpty() && !invocation.fileToStandardOutput
                   ? kExitOk
                   : openOutputFile(invocation, inputs, output);
    case Command::EdidEdit:
    case Command::EdidMerge:
        if (!loadDecodeInputs(invocation, inputs.edids, &output.error)) {
            return kExitUsage;
        }
        return openOutputFile(invocation, inputs, output);
    case Command::EdidDecode:
    case Command::EdidCompare:
        return loadDecodeInputs(invocation, inputs.edids, &output.error) ? kExitOk : kExitUsage;
    case Command::CecSend:
    case Command::CecStore:
    case Command::HdrSend:
    case Command::AviSend:
        // What the decoders fail stops the command before the box is looked for.
        return answerFindings(textOf(commandInfo(invocation.command).words),
                              checkChange(packetChange(invocation)).findings, invocation.packetAsIs,
                              QStringLiteral("--as-is sends it as it is"), reporter, output)
                   ? kExitOk
                   : kExitFailed;
    case Command::Status:
    case Command::Get:
    case Command::Set:
    case Command::Reset:
    case Command::InfoframeDecode:
    case Command::CecDecode:
    case Command::Backup:
    case Command::Restore:
    case Command::ConfigList:
    case Command::ConfigSave:
    case Command::ConfigDelete:
    case Command::Monitor:
    case Command::Journal:
    case Command::Undo:
        break;
    }
    return kExitOk;
}

void checkFiles(const Inputs &inputs, Output &output, int *status) {
    QJsonArray files;
    bool everyRight = true;
    for (const auto &[fileName, verdicts] : inputs.checked) {
        output.lines << verdictLines(fileName, verdicts);
        everyRight = everyRight && allRight(verdicts);
        files.append(QJsonObject{{QStringLiteral("file"), fileName},
                                 {QStringLiteral("blocks"), verdictArray(verdicts)},
                                 {QStringLiteral("right"), allRight(verdicts)}});
    }
    output.json.insert(QStringLiteral("files"), files);
    output.json.insert(QStringLiteral("right"), everyRight);
    if (!everyRight) {
        output.error = QLatin1String(kWrongEdidChecksum);
        *status = kExitFailed;
    }
}

// The commands that talk to the box, each as the window's control does it.
class BoxCommands {
public:
    BoxCommands(const Invocation &invocation, BoxSession &session, CommandLineGate &gate, LinkClock &clock,
                StderrReporter &reporter, Inputs &inputs, Output &output)
        : invocation_(invocation), session_(session), gate_(gate), clock_(clock), reporter_(reporter),
          inputs_(inputs), output_(output) {}

    int run() {
        switch (invocation_.command) {
        case Command::Status:
            return status();
        case Command::Get:
            return get();
        case Command::Set:
            return set();
        case Command::EdidRead:
            return edidRead();
        case Command::EdidWrite:
            return edidWrite();
        case Command::CecSend:
            return sendPacket(BoxChange::ofCecSend(invocation_.packet));
        case Command::CecStore:
            return cecStore();
        case Command::HdrSend:
            return sendPacket(BoxChange::ofHdrSend(invocation_.packet));
        case Command::AviSend:
            return aviSend();
        case Command::Reset:
            return reset();
        case Command::EdidDecode:
        case Command::EdidCompare:
        case Command::InfoframeDecode:
        case Command::CecDecode:
            return runDecodeCommand(invocation_, inputs_.edids, &session_, output_);
        case Command::EdidEdit:
        case Command::EdidMerge:
            return buildEdidFile(invocation_, inputs_, &session_, reporter_, output_);
        case Command::Backup:
        case Command::Restore:
        case Command::ConfigList:
        case Command::ConfigSave:
        case Command::ConfigDelete:
            return runConfigurationCommand(invocation_, session_, gate_, clock_, reporter_,
                                           inputs_.configuration, output_);
        case Command::Undo:
            return runUndo(invocation_, session_, gate_, clock_, reporter_, output_);
        case Command::Doctor:
            return runDoctor(invocation_, session_, gate_, clock_, reporter_, inputs_.output.get(), output_);
        case Command::EdidCheck:
        case Command::Monitor:
        case Command::Journal:
            break;
        }
        return kExitOk;
    }

private:
    int fail(const QString &what, LinkError error) {
        output_.error = QStringLiteral("%1: %2").arg(what, QLatin1String(linkErrorName(error)));
        return kExitFailed;
    }

    Outcome<record::StatusRecord> readSettings() {
        Outcome<record::StatusRecord> settings = session_.readSettings();
        for (int retry = 0; retry < kBusyRetries && settings.error == LinkError::Busy; ++retry) {
            if (retry == 0) {
                reporter_.message(QLatin1String(kEdidWritingBusy));
            }
            clock_.sleep(kBusyRetryMs);
            settings = session_.readSettings();
        }
        return settings;
    }

    // The start-up's version read, then a tick: the settings, then the status blocks.
    int status() {
        StatusView view;
        LinkError firstError = LinkError::None;
        QString failed;
        const auto note = [&](LinkError error, const char *what) {
            if (error != LinkError::None && firstError == LinkError::None) {
                firstError = error;
                failed = QLatin1String(what);
            }
        };
        const Outcome<proto::ReplyBuffer> version =
            session_.readRegisters(proto::kRegVersion, proto::kVersionBlockLength);
        note(version.error, "status: firmware version");
        if (version.ok()) {
            view.firmware = status::firmwareVersionText(version.value);
        }
        std::optional<record::StatusRecord> settingsRead;
        if (!isLinkLoss(version.error)) {
            const Outcome<record::StatusRecord> settings = readSettings();
            note(settings.error, "status: settings");
            if (settings.ok()) {
                view.settings = settings.value;
                settingsRead = settings.value;
            }
        }
        const StatusBlocks blocks = isLinkLoss(firstError) ? StatusBlocks{} : session_.readStatusBlocks();
        if (blocks.shown) {
            view.lines = {status::inputLine(blocks.videoStatus), status::colourSpaceLine(blocks.videoStatus),
                          status::sourceInfoLine(blocks.sourceProduct), status::hdrLine(blocks.hdrCapture)};
            const QString dump = status::hdrCaptureDump(blocks.hdrCapture);
            if (!dump.isEmpty()) {
                view.hdrCapture = dump;
            }
        } else if (firstError == LinkError::None) {
            note(LinkError::Refused, "status: status lines");
        }
        output_.lines = statusLines(view);
        output_.json = statusObject(view);
        output_.json.insert(QStringLiteral("signal"),
                            status::typedStatusJson(status::typedStatusOf(blocks, settingsRead)));
        return firstError == LinkError::None ? kExitOk : fail(failed, firstError);
    }

    int get() {
        const Outcome<record::StatusRecord> settings = readSettings();
        if (!settings.ok()) {
            return fail(QStringLiteral("get"), settings.error);
        }
        output_.lines = settingLines(settings.value, invocation_.settings);
        output_.json = settingsObject(settings.value, invocation_.settings);
        return kExitOk;
    }

    int set() {
        for (const SettingWrite &write : invocation_.writes) {
            const SettingInfo &info = settingInfo(write.setting);
            const QString name = textOf(info.name);
            const QString value = settingValueText(info, write.value);
            const LinkError error =
                gate_.apply(BoxChange::ofSetting(write.setting, write.value), Answer::No).error;
            if (error != LinkError::None) {
                output_.json.insert(QStringLiteral("failed"), name);
                return fail(QStringLiteral("set %1=%2").arg(name, value), error);
            }
            output_.json.insert(name, value);
        }
        return kExitOk;
    }

    int edidRead() {
        const Outcome<EdidImage> read = session_.readEdid(invocation_.source);
        if (!read.ok()) {
            return fail(QStringLiteral("edid read %1").arg(edidSourceName(invocation_.source)), read.error);
        }
        const QString text = formatEdidText(read.value);
        output_.json = {{QStringLiteral("source"), edidSourceName(invocation_.source)},
                        {QStringLiteral("edid"), text},
                        {QStringLiteral("checksums_right"), edidChecksumsRight(read.value)}};
        if (!inputs_.output && !invocation_.fileToStandardOutput) {
            output_.lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            return kExitOk;
        }
        return commitOutputFile(invocation_, inputs_.output.get(), read.value, output_);
    }

    int edidWrite() {
        output_.json.insert(QStringLiteral("file"), invocation_.files.first());
        output_.json.insert(QStringLiteral("checksums"),
                            checksumPolicyName(invocation_.checksums, allRight(inputs_.verdicts)));
        output_.json.insert(QStringLiteral("blocks"), verdictArray(inputs_.verdicts));
        const Outcome<record::StatusRecord> settings = readSettings();
        if (!settings.ok()) {
            return fail(QStringLiteral("edid write: reading the EDID mode"), settings.error);
        }
        if (settings.value[record::kEdidMode] != record::kEdidModeCustom ||
            settings.value[record::kCustomEdidPreset] != 0) {
            reporter_.message(QString::fromLatin1(kSelectCustomEdidMode).trimmed());
            output_.error =
                QStringLiteral("edid write: the box is not in CUSTOM EDID mode (set edid-mode=custom "
                               "custom-edid=0)");
            return kExitFailed;
        }
        // Whatever the gate finds was answered before the box was opened: --as-is, or nothing.
        const BoxChange change =
            BoxChange::ofEdidWrite(inputs_.image, inputs_.edidBytesHeld, EdidOrigin::File);
        const LinkError error =
            gate_.apply(change, invocation_.checksums == ChecksumPolicy::AsIs ? Answer::Yes : Answer::No)
                .error;
        return error == LinkError::None ? kExitOk : fail(QStringLiteral("edid write"), error);
    }

    void describePacket(std::span<const uint8_t> bytes) {
        output_.json.insert(QStringLiteral("text"), invocation_.packetText);
        output_.json.insert(QStringLiteral("bytes"), spacedBytes(bytes));
    }

    // The decoders' findings were answered before the box was opened: --as-is, or nothing.
    LinkError sendPacketChange(const BoxChange &change) {
        return gate_.apply(change, invocation_.packetAsIs ? Answer::Yes : Answer::No).error;
    }

    int sendPacket(const BoxChange &change) {
        describePacket(invocation_.packet.bytes());
        const LinkError error = sendPacketChange(change);
        return error == LinkError::None ? kExitOk
                                        : fail(textOf(commandInfo(invocation_.command).words), error);
    }

    int cecStore() {
        describePacket(invocation_.storedText.bytes());
        output_.json.insert(QStringLiteral("slot"), invocation_.cecSlot == proto::kStoreCecSlot1
                                                        ? QStringLiteral("sp")
                                                        : QStringLiteral("lp"));
        const LinkError error =
            sendPacketChange(BoxChange::ofCecStore(invocation_.cecSlot, invocation_.storedText));
        return error == LinkError::None ? kExitOk : fail(QStringLiteral("cec store"), error);
    }

    // After activated AVI bytes the box learns again whether to keep replacing AVI, as the
    // window tells it from its check box: here the setting the box reports.
    int aviSend() {
        const Outcome<record::StatusRecord> settings = readSettings();
        if (!settings.ok()) {
            return fail(QStringLiteral("avi send: reading replace-avi"), settings.error);
        }
        describePacket(invocation_.packet.bytes());
        const ChangeResult sent =
            gate_.apply(BoxChange::ofAviSend(invocation_.packet, settings.value[record::kReplaceAvi]),
                        invocation_.packetAsIs ? Answer::Yes : Answer::No);
        if (sent.error == LinkError::None) {
            return kExitOk;
        }
        return fail(sent.failedPart.isEmpty() ? QStringLiteral("avi send")
                                              : QStringLiteral("avi send: %1").arg(sent.failedPart),
                    sent.error);
    }

    int reset() {
        output_.json = {{QStringLiteral("reset"), resetName(invocation_.reset)}};
        const LinkError error = gate_.apply(BoxChange::ofFactoryReset(invocation_.reset), Answer::No).error;
        return error == LinkError::None ? kExitOk : fail(QStringLiteral("reset"), error);
    }

    const Invocation &invocation_;
    BoxSession &session_;
    CommandLineGate &gate_;
    LinkClock &clock_;
    StderrReporter &reporter_;
    Inputs &inputs_;
    Output &output_;
};

// The journal of the box the invocation talks to: the demo box's beside its state file. None
// when the environment keeps none.
std::unique_ptr<Journal> journalOf(const Invocation &invocation, const Environment &environment) {
    if (!environment.keepJournal) {
        return nullptr;
    }
    const QString directory =
        invocation.demo ? demoJournalDirectory(invocation.demoFile.isEmpty() ? environment.defaultDemoFile
                                                                             : invocation.demoFile)
                        : environment.journalDirectory;
    return std::make_unique<Journal>(directory, QLatin1String(kDeviceSerial));
}

// The box attached, `run` on its session, and the box closed.
int runOnBox(UsbXpress &usb, const Environment &environment, StderrReporter &reporter, Output &output,
             const std::function<int(BoxSession &)> &run) {
    BoxSession session(usb, environment.clock, reporter);
    switch (session.attach()) {
    case Attach::NotFound:
        output.error = QStringLiteral("no box found");
        return kExitNoBox;
    case Attach::OpenFailed:
        output.error = QStringLiteral("the box could not be opened");
        return kExitNoBox;
    case Attach::Open:
        break;
    }
    const int status = run(session);
    session.close();
    return status;
}

// The demo box with its state loaded from the file, `run` on it, and its state saved after.
int onDemoBox(const Invocation &invocation, const Environment &environment, Output &output,
              const std::function<int(sim::SimulatedBox &, UsbXpress &)> &run) {
    const QString fileName =
        invocation.demoFile.isEmpty() ? environment.defaultDemoFile : invocation.demoFile;
    sim::SimulatedBox box(environment.clock);
    box.setLogging(false);
    sim::SharedDemoBox shared(box, fileName);
    if (!shared.load(&output.error)) {
        return kExitUsage;
    }
    const int status = run(box, shared);
    QString saveError;
    if (!shared.save(&saveError)) {
        output.error = output.error.isEmpty() ? saveError : output.error + QStringLiteral("; ") + saveError;
        return status == kExitOk ? kExitUsage : status;
    }
    return status;
}

// `run` on the invocation's box: the demo box with --demo, else the box on USB.
int onTheBox(const Invocation &invocation, const Environment &environment, StderrReporter &reporter,
             Output &output, const std::function<int(BoxSession &)> &run) {
    if (invocation.demo) {
        return onDemoBox(invocation, environment, output, [&](sim::SimulatedBox &, UsbXpress &usb) {
            return runOnBox(usb, environment, reporter, output, run);
        });
    }
    return runOnBox(environment.systemUsb(), environment, reporter, output, run);
}

int runInvocation(const Invocation &invocation, const Environment &environment, StderrReporter &reporter,
                  Output &output) {
    // The monitor on the demo box: its source follows its script from the start.
    if (invocation.command == Command::Monitor) {
        if (!invocation.demo) {
            return runMonitor(environment.systemUsb(), invocation, environment);
        }
        return onDemoBox(invocation, environment, output, [&](sim::SimulatedBox &box, UsbXpress &usb) {
            box.setLively(true);
            return runMonitor(usb, invocation, environment);
        });
    }
    if (decodesEach(invocation)) {
        if (!needsBox(invocation)) {
            return decodeEach(invocation, environment, nullptr, output);
        }
        return onTheBox(invocation, environment, reporter, output, [&](BoxSession &session) {
            return decodeEach(invocation, environment, &session, output);
        });
    }
    if (invocation.fileToStandardOutput && invocation.fileFormat == EdidWriteFormat::Raw &&
        environment.outIsTerminal) {
        output.error = QStringLiteral("the raw EDID is not written to a terminal: --format hex prints it as "
                                      "text, or redirect standard output (> FILE)");
        return kExitUsage;
    }
    Inputs inputs;
    int prepared = prepareInputs(invocation, reporter, inputs, output);
    if (prepared == kExitOk && isConfigurationCommand(invocation.command)) {
        prepared = prepareConfigurationInputs(invocation, environment.configurationDirectory,
                                              inputs.configuration, output);
    }
    if (prepared != kExitOk) {
        return prepared;
    }
    if (!needsBox(invocation) && isConfigurationCommand(invocation.command)) {
        return runConfigurationFiles(invocation, environment.configurationDirectory, output);
    }
    if (invocation.command == Command::Journal) {
        const std::unique_ptr<Journal> journal = journalOf(invocation, environment);
        if (!journal) {
            output.error = QStringLiteral("journal: no journal is kept");
            return kExitFailed;
        }
        return runJournalList(invocation, *journal, reporter, output);
    }
    if (!needsBox(invocation)) {
        if (invocation.command == Command::EdidEdit || invocation.command == Command::EdidMerge) {
            return buildEdidFile(invocation, inputs, nullptr, reporter, output);
        }
        if (invocation.command != Command::EdidCheck) {
            return runDecodeCommand(invocation, inputs.edids, nullptr, output);
        }
        int status = kExitOk;
        checkFiles(inputs, output, &status);
        return status;
    }
    return onTheBox(invocation, environment, reporter, output, [&](BoxSession &session) {
        const std::unique_ptr<Journal> journal = journalOf(invocation, environment);
        BoxGate boxGate(session, environment.clock, journal.get());
        CommandLineGate gate(boxGate, reporter);
        return BoxCommands(invocation, session, gate, environment.clock, reporter, inputs, output).run();
    });
}

// Writes a file's content to standard output as it is; false when it could not.
bool printBytes(const Environment &environment, const QByteArray &bytes) {
    environment.out.flush();
    QIODevice *device = environment.out.device();
    if (device == nullptr || device->write(bytes) != bytes.size()) {
        return false;
    }
    auto *file = qobject_cast<QFileDevice *>(device);
    return file == nullptr || file->flush();
}

void print(const Environment &environment, const Invocation &invocation, const Output &output) {
    if (invocation.json && output.jsonList && output.error.isEmpty()) {
        environment.out << QJsonDocument(*output.jsonList).toJson(QJsonDocument::Indented);
    } else if (invocation.json) {
        QJsonObject document = output.json;
        if (!output.error.isEmpty()) {
            document.insert(QStringLiteral("error"), output.error);
        }
        environment.out << QJsonDocument(document).toJson(QJsonDocument::Indented);
    } else {
        for (const QString &line : output.lines) {
            environment.out << line << '\n';
        }
    }
    environment.out.flush();
}

} // namespace

int runCli(const QStringList &arguments, const Environment &environment) {
    const Parsed parsed = parseArguments(arguments);
    const Invocation &invocation = parsed.invocation;
    if (!parsed.ok()) {
        environment.err << "veltrika: " << parsed.error << "\nTry 'veltrika --help'.\n";
        environment.err.flush();
        print(environment, invocation, Output{{}, {}, parsed.error});
        return kExitUsage;
    }
    switch (invocation.request) {
    case Request::Help:
        environment.out << usageText();
        environment.out.flush();
        return kExitOk;
    case Request::Version:
        environment.out << "veltrika (" << kProductTitle << ") " << kProductVersion << '\n';
        environment.out.flush();
        return kExitOk;
    case Request::CommandHelp:
        environment.out << commandUsageText(commandInfo(invocation.command));
        environment.out.flush();
        return kExitOk;
    case Request::GroupHelp:
        environment.out << groupUsageText(invocation.group);
        environment.out.flush();
        return kExitOk;
    case Request::Run:
        break;
    }
    StderrReporter reporter(environment.err, environment.errIsTerminal, invocation.trace, invocation.quiet);
    Output output;
    const int status = runInvocation(invocation, environment, reporter, output);
    if (status != kExitOk) {
        reporter.showKept();
        if (!output.error.isEmpty()) {
            environment.err << "veltrika: " << output.error << '\n';
            environment.err.flush();
        }
    }
    bool printed = true;
    if (!output.bytes.isEmpty()) {
        // Standard output holds the file alone: what the command says of it goes to standard error.
        for (const QString &line : output.lines) {
            reporter.message(line);
        }
        printed = printBytes(environment, output.bytes);
    } else if (!output.streamed && (invocation.command != Command::Monitor || status != kExitOk)) {
        // The monitor has printed its lines as they came, and so has a decode of several EDIDs.
        print(environment, invocation, output);
    }
    // A result that did not reach standard output (a full disk) is no success.
    if (!printed || environment.out.status() != QTextStream::Ok) {
        environment.err << "veltrika: Cannot write to standard output.\n";
        environment.err.flush();
        return status == kExitOk ? kExitUsage : status;
    }
    return status;
}

} // namespace cli
