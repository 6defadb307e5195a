#pragma once
// One attached box: finding and opening it by its serial, closing it, and every operation
// of the wire protocol. Each operation returns what it got or why it failed; what a user
// must be told goes to the session's reporter. The session owns the device handle, the
// link-busy flag and the settings shadow; it runs on the installed USB library and clock.

#include "core/box/box_reporter.h"
#include "core/box/frames.h"
#include "core/box/packet_text.h"
#include "core/box/settings_table.h"
#include "core/box/status_record.h"
#include "core/box/usbxpress.h"
#include "core/edid/edid_image.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

constexpr char kDeviceSerial[] = "2023";
constexpr uint32_t kLinkTimeoutMs = 4000;

// Why an operation failed.
enum class LinkError : uint8_t {
    None,
    NoDevice,      // no box is open: nothing was sent
    Refused,       // the reply does not begin with the request's marker
    Silent,        // no reply byte came within the link time-out; the box is still listed
    Unplugged,     // no reply byte came, and the box is no longer listed
    Short,         // fewer reply bytes came than the request needs
    WriteFailed,   // the library could not write the request
    ReadFailed,    // the library could not read the reply
    RxQueueFailed, // the library could not tell whether a reply is waiting
    Busy,          // the box is still busy with EDID work
};

// A short name for messages and machine-readable output ("refused", "silent", ...).
const char *linkErrorName(LinkError error);

// True when the USB layer says the box is gone: no box open, a call of the library failed,
// or a request went unanswered and the box is no longer listed. A box still listed that
// leaves a request unanswered failed that request only, as a refusal, a short reply or a
// busy box did: it stays open.
bool isLinkLoss(LinkError error);

template <typename T> struct Outcome {
    LinkError error = LinkError::None;
    T value{};
    bool ok() const { return error == LinkError::None; }
};

// One transaction: the reply holds the bytes that arrived (zero elsewhere).
struct Exchange {
    LinkError error = LinkError::None;
    proto::ReplyBuffer reply{};
    uint32_t received = 0;
    bool ok() const { return error == LinkError::None; }
};

enum class Attach : uint8_t { NotFound, OpenFailed, Open };

// Where an EDID read takes its EDID from.
enum class EdidSource : uint8_t { Box, TopSink, BotSink };

// The four register blocks the status panel is rendered from; each is all zero when its
// read failed. Only the last read decides whether the panel is shown; the typed status
// takes only the blocks that were read.
struct StatusBlocks {
    proto::ReplyBuffer videoStatus{};
    proto::ReplyBuffer sourceProduct{};
    proto::ReplyBuffer hdrCapture{};
    proto::ReplyBuffer inputValid{};
    bool shown = false;
    bool videoStatusRead = false;
    bool sourceProductRead = false;
    bool hdrCaptureRead = false;
    // The first link loss among the four reads, None when there was none.
    LinkError loss = LinkError::None;
};

// What a factory reset clears.
enum class FactoryReset : uint8_t { Edid = 1, Settings = 2, Everything = 3 };

// Told of what the session read from the box, as it reads it: the gate keeps it as what a
// change would overwrite, so that recording that costs no frame of its own.
class BoxReadObserver {
public:
    virtual ~BoxReadObserver() = default;
    virtual void settingsRead(const record::StatusRecord &record) = 0;
    virtual void ownEdidRead(const EdidImage &image) = 0;
    // An accepted read of `count` bytes of the register block at `address`, marker first.
    virtual void registersRead(uint8_t address, uint8_t count, const proto::ReplyBuffer &block) = 0;
};

class BoxSession {
public:
    BoxSession(UsbXpress &usb, LinkClock &clock, BoxReporter &reporter);
    ~BoxSession() = default;
    BoxSession(const BoxSession &) = delete;
    BoxSession &operator=(const BoxSession &) = delete;

    // The lowest index whose serial string is exactly `serial`.
    std::optional<uint32_t> find(const char *serial);
    bool open(uint32_t index);
    // Closes the box if one is open; a second close does nothing.
    void close();
    // find, then open.
    Attach attach(const char *serial = kDeviceSerial);
    // find and open without a word to the user: for looking again and again for a box that
    // may be plugged in at any time.
    Attach attachQuietly(const char *serial = kDeviceSerial);
    // Whether a box with the serial is listed, without a word to the user.
    bool listed(const char *serial = kDeviceSerial);
    // Drops the handle of a box that was lost: the library is told to close it, and its
    // failure to (the box is gone) is no news to the user.
    void closeLost();
    bool isOpen() const { return handle_ != kNoDeviceHandle; }
    // True while a transaction runs: a tick delivered by a message box inside it waits.
    bool linkBusy() const { return busy_; }
    // Told of every settings read, own EDID read and register block read that succeeds;
    // nullptr for none. The caller keeps ownership.
    void setReadObserver(BoxReadObserver *observer) { observer_ = observer; }

    // One request and its reply of at least `minimumLength` bytes.
    Exchange transact(const proto::RequestFrame &frame, uint32_t minimumLength);
    // ... whose reply must also begin with `marker`.
    Exchange transactAccepted(const proto::RequestFrame &frame, uint32_t minimumLength, uint8_t marker);

    // Register and status access. The register block is all zero when its read failed; the
    // status reply holds whatever bytes arrived.
    Outcome<proto::ReplyBuffer> readRegisters(uint8_t address, uint8_t count);
    LinkError writeRegister(uint8_t address, uint8_t value);
    Outcome<proto::ReplyBuffer> readStatus(uint8_t count = proto::kStatusReplyLength);
    LinkError writeSettingsBlock(std::span<const uint8_t, proto::kSettingsBlockSize> settings);

    // The status record, read with the video status block that must come with it; the
    // settings shadow takes it. Fails also while the box is busy.
    Outcome<record::StatusRecord> readSettings();
    // Writes one setting's register with `value`; its shadow byte takes the value whether
    // or not the box accepted it.
    LinkError writeSetting(Setting setting, uint8_t value);
    const record::StatusRecord &settingsShadow() const { return shadow_; }
    // The whole settings shadow in one block.
    LinkError writeSettingsShadow();
    LinkError factoryReset(FactoryReset what);
    StatusBlocks readStatusBlocks();

    // Fetch, busy poll and 16 window reads. The image counts only when all 256 bytes arrived.
    Outcome<EdidImage> readEdid(EdidSource source);
    // 32 window writes and, only when every one was accepted, the commit.
    LinkError writeEdid(std::span<const uint8_t, proto::kEdidSize> image);

    // A CEC message or infoframe, then the activate command; None only when that was accepted.
    LinkError sendPacket(const packets::PacketSend &send, std::span<const uint8_t> data);
    // A CEC command stored in the box's slot 1 or 2, as the prepared text.
    LinkError storeCec(uint8_t slotCode, const packets::PacketText &text);

private:
    std::optional<uint32_t> findIndex(const char *serial);
    void tellLoss(LinkError error);
    bool libraryWrite(const uint8_t *bytes, uint32_t count);
    bool libraryRead(uint8_t *buffer, uint32_t count, uint32_t *got);
    Exchange exchange(const proto::RequestFrame &frame, uint32_t minimumLength);

    UsbXpress &usb_;
    LinkClock &clock_;
    BoxReporter &reporter_;
    UsbHandle handle_ = kNoDeviceHandle;
    // The serial of the box looked for last: a request it leaves unanswered asks whether
    // it is still listed.
    std::string serial_ = kDeviceSerial;
    bool busy_ = false;
    record::StatusRecord shadow_{};
    BoxReadObserver *observer_ = nullptr;
};
