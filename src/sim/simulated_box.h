#pragma once
// A simulated box behind the USB seam: it answers every request frame the way the
// device does, keeps the status record, the register blocks, the EDID window and the
// stored packets, and can be told to misbehave. Time is the installed LinkClock's, so
// under a fake clock every busy period and time-out costs no real time.

#include "core/box/box_configuration.h"
#include "core/box/frames.h"
#include "core/box/status_record.h"
#include "core/box/usbxpress.h"
#include "core/edid/edid_image.h"

#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace sim {

// A clock for tests: time moves only when someone sleeps or the test advances it.
class FakeLinkClock : public LinkClock {
public:
    explicit FakeLinkClock(uint32_t start = 0) : now_(start) {}
    uint32_t tickCount() override { return now_; }
    void sleep(uint32_t ms) override;
    void advance(uint32_t ms) { now_ += ms; }
    void setNow(uint32_t now) { now_ = now; }
    // Every sleep asked for, in order.
    const std::vector<uint32_t> &sleeps() const { return sleeps_; }
    // Gives the memory back too: one long wait must not leave its log's size behind.
    void clearSleeps() { std::vector<uint32_t>().swap(sleeps_); }

private:
    uint32_t now_;
    std::vector<uint32_t> sleeps_;
};

// Ways one transaction can go wrong.
enum class Fault {
    Refuse,         // answers 0xEE 0x00: a wrong marker (too short for a window read)
    Silent,         // no reply byte ever arrives
    Short,          // the reply is cut to half its length, at least one byte
    Long,           // the reply is followed by filler up to 80 bytes
    WriteFail,      // the write call fails; the device sees nothing
    ReadFail,       // the read call fails and delivers nothing
    RxQueueFail,    // every receive-queue query of the transaction fails
    ReadOverreport, // the read delivers the reply but reports 100 bytes more than asked for
};

struct AttachedDevice {
    std::string serial;
    bool productStringFails = false;
};

struct LoggedFrame {
    uint32_t time = 0;            // the clock when the request arrived
    std::vector<uint8_t> request; // every byte written
    std::vector<uint8_t> reply;   // what the device queued in answer (empty when silent)
};

using ::EdidImage;

// Why a saved state was not taken.
enum class StateError {
    None,
    NotAState,      // too short for the header, or another file's first bytes
    UnknownVersion, // written by a later version of the box
    WrongLength,    // the header's length is not the version's, or the bytes end early or go on
    BadChecksum,    // the bytes after the header are damaged
    BadContent,     // a field holds what no box stores
};
// A short description for messages ("damaged (checksum)", ...).
const char *stateErrorText(StateError error);

using RegisterBlock = std::array<uint8_t, 80>; // a register block read answers its first n bytes

class SimulatedBox : public UsbXpress {
public:
    explicit SimulatedBox(LinkClock &clock);

    // UsbXpress
    int deviceCount(uint32_t *count) override;
    int productString(uint32_t index, char buffer[256], uint32_t option) override;
    int open(uint32_t index, UsbHandle *handle) override;
    int close(UsbHandle handle) override;
    int read(UsbHandle handle, uint8_t *buffer, uint32_t wanted, uint32_t *got) override;
    int write(UsbHandle handle, const uint8_t *bytes, uint32_t count, uint32_t *written) override;
    int flush(UsbHandle handle, uint8_t transmit, uint8_t receive) override;
    int setTimeouts(uint32_t readMs, uint32_t writeMs) override;
    int timeouts(uint32_t *readMs, uint32_t *writeMs) override;
    int rxQueue(UsbHandle handle, uint32_t *bytesWaiting, uint32_t *status) override;

    // Attached devices: one device with serial "2023" unless a test says otherwise.
    void setAttachedDevices(std::vector<AttachedDevice> devices);
    const std::vector<AttachedDevice> &attachedDevices() const { return devices_; }
    bool isOpen() const { return openIndex_ >= 0; }
    int openIndex() const { return openIndex_; }

    // Call faults, until cleared.
    void setDeviceCountFails(bool fails) { deviceCountFails_ = fails; }
    void setOpenFails(bool fails) { openFails_ = fails; }
    void setCloseFails(bool fails) { closeFails_ = fails; }
    // The box disappears: every later call fails.
    void vanish() { vanished_ = true; }
    // The box is pulled out of the USB port: it leaves the device list and its open handle
    // goes dead (every call on it fails as on a closed handle). It keeps its settings, its
    // EDIDs and its stored packets, as the real box keeps them without power.
    void unplug();
    // ... and put back: listed again as it was, to be found and opened afresh.
    void plugIn();
    bool pluggedIn() const { return !unplugged_; }
    // Unplugged when the frame after the next `frames` frames is written: that write and
    // everything after it meet a box that is gone.
    void unplugAfterFrames(int frames) { unplugAfterFrames_ = frames; }
    // The firmware the version block reports (a box updated while it was unplugged).
    void setFirmwareVersion(std::array<uint8_t, 4> version);

    // Transaction faults.
    void injectFault(Fault fault, uint8_t commandCode);        // every frame with this command code
    void injectFaultForRegister(Fault fault, uint8_t address); // every block read or write of this register
    // The count frames that follow the next `after` frames, whatever their code.
    void injectFaultForNext(Fault fault, int count, int after = 0);
    void clearFaults();

    // The device's state.
    static record::StatusRecord factorySettings();
    record::StatusRecord &statusRecord() { return record_; }
    RegisterBlock &registerBlock(uint8_t address) { return blocks_[address]; }
    EdidImage &topSinkEdid() { return topSinkEdid_; }
    EdidImage &botSinkEdid() { return botSinkEdid_; }
    EdidImage &customEdid() { return customEdid_; }
    EdidImage &edidWindow() { return window_; }
    // What a fetch of the device's own EDID copies: depends on the EDID mode and preset.
    EdidImage ownEdid() const;
    static EdidImage defaultCustomEdid();
    const std::string &storedCec(int slot) const { return storedCec_[slot == 1 ? 0 : 1]; }
    bool busy();
    void setBusyFor(uint32_t ms);
    uint32_t fetchBusyMs = 40;        // busy after an EDID fetch or commit
    uint32_t modeChangeBusyMs = 2500; // busy after an EDID mode change
    // The demo's box: its source follows a fixed script of incoming signals, one step every
    // kScriptStepMs from when it was made lively: a 1080p SDR source, then 4K HDR10 (4:2:0
    // 10-bit, PQ), then a 4K Dolby Vision-style 12-bit 4:2:2 source, a 4K24 disc player and a
    // DVI computer, with the source names changing, and round again.
    void setLively(bool lively);
    static constexpr uint32_t kScriptStepMs = 8000;
    // The step of the script the source shows now.
    uint32_t scriptStep() const { return scenario_; }

    // What the box keeps, as the one value a box configuration file holds too: every setting,
    // the custom EDID (whatever the EDID mode), the stored HDR infoframe and AVI bytes, and
    // the firmware version.
    BoxConfiguration keptConfiguration() const;
    // Takes each part the configuration holds, but the firmware version, which is the box's own.
    void keepConfiguration(const BoxConfiguration &configuration);

    // What survives a power cycle: the settings record, the custom EDID, the stored HDR
    // infoframe and AVI bytes and the two stored CEC commands, behind a versioned header
    // with the payload's length and checksum.
    std::vector<uint8_t> exportState() const;
    // Takes a state exportState gave; bytes that are not one change nothing.
    StateError importState(std::span<const uint8_t> bytes);

    // What the box received.
    const std::vector<LoggedFrame> &frames() const { return frames_; }
    // Every library call by name ("deviceCount", "open 0", "setTimeouts 0 4000", ...).
    const std::vector<std::string> &calls() const { return calls_; }
    void clearLog();
    // The log is kept from the start. A box that runs for long, like the demo's, switches
    // it off: it would grow by every call for as long as the box runs.
    void setLogging(bool logging) { logging_ = logging; }
    uint32_t readTimeoutMs() const { return readTimeoutMs_; }
    uint32_t writeTimeoutMs() const { return writeTimeoutMs_; }

private:
    using Reply = std::vector<uint8_t>;
    // A frame's parameters: the bytes after the direction, length byte and command code.
    using Params = std::span<const uint8_t>;

    int unreachable() const;
    bool isOpenHandle(UsbHandle handle) const;
    bool takeFault(const uint8_t *bytes, uint32_t count, Fault *fault);
    Reply answer(std::span<const uint8_t> frame);
    Reply readRegisterBlock(uint8_t count, Params params);
    Reply readStatus(uint8_t count);
    Reply readEdidWindow(Params params);
    Reply writeRegister(Params params);
    Reply writeSettingsBlock(uint8_t lengthByte, Params params);
    Reply fetchEdid(uint8_t code);
    Reply writeEdidWindow(Params params);
    Reply commitEdid();
    Reply storeCec(uint8_t code, uint8_t lengthByte, Params params);
    Reply storeInfoframe(uint8_t code, uint8_t lengthByte, Params params);
    Reply acceptAnnounced(uint8_t code, uint8_t lengthByte, Params params);
    Reply activate(Params params);
    bool factoryReset(uint8_t what);
    void followEdidMode(uint8_t previousMode);
    void followScenario();
    void showScenario(uint32_t index);
    void logCall(std::string call);

    LinkClock &clock_;
    std::vector<AttachedDevice> devices_;
    int openIndex_ = -1;
    UsbHandle openHandle_ = kNoDeviceHandle;
    UsbHandle nextHandle_;
    bool deviceCountFails_ = false, openFails_ = false, closeFails_ = false, vanished_ = false;
    bool unplugged_ = false;
    int unplugAfterFrames_ = -1;
    std::vector<AttachedDevice> unpluggedDevices_;
    std::map<uint8_t, Fault> codeFaults_;
    std::map<uint8_t, Fault> registerFaults_;
    Fault nextFault_ = Fault::Refuse;
    int nextFaultCount_ = 0;
    int framesBeforeNextFault_ = 0;
    record::StatusRecord record_{};
    std::array<RegisterBlock, 256> blocks_{};
    EdidImage topSinkEdid_{}, botSinkEdid_{}, customEdid_{}, window_{};
    std::array<std::string, 2> storedCec_;
    uint32_t busyStart_ = 0, busyLength_ = 0;
    bool lively_ = false;
    uint32_t livelyStart_ = 0, livelyFirstScenario_ = 0, scenario_ = 0;
    std::vector<uint8_t> inQueue_;
    // Faults of the transaction under way, set by its write.
    bool currentRxQueueFails_ = false, currentReadFails_ = false, currentOverreport_ = false;
    uint32_t readTimeoutMs_, writeTimeoutMs_;
    bool logging_ = true;
    std::vector<LoggedFrame> frames_;
    std::vector<std::string> calls_;
};

// A well-formed 256-byte EDID (base block and one CTA-861 extension, right checksums)
// whose monitor name descriptor carries name (at most 13 characters).
EdidImage buildEdid(const std::string &name, uint16_t productCode);
// The EDIDs of the TVs on the demo box's outputs: a 4K120 TV with Dolby Vision on TOP, a TV
// behind an AV receiver with Atmos and DTS-HD on BOT.
EdidImage demoTopSinkEdid();
EdidImage demoBotSinkEdid();

} // namespace sim
