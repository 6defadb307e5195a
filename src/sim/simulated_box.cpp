#include "sim/simulated_box.h"

#include "core/box/settings_table.h"
#include "core/box/status_texts.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace sim {
namespace {

// Every request frame starts with direction, length byte and command code.
constexpr uint32_t kFrameHeaderLength = 3;
// The answer to a frame the device does not take.
constexpr uint8_t kRefusalMarker = 0xEE;
// Second byte of every answer that carries no data.
constexpr uint8_t kAnswerPad = 0x00;

// The host learns of waiting data once per 1 ms USB frame.
constexpr uint32_t kUsbFrameMs = 1;
constexpr uint32_t kDefaultTimeoutMs = 1000;
constexpr UsbHandle kFirstHandle = 0x5A01;
constexpr uint32_t kRxQueueEmpty = 0x00;
constexpr uint32_t kRxQueueReady = 0x02;
constexpr uint32_t kOverreportBytes = 100;

constexpr uint32_t kLongReplyLength = 80;
constexpr uint8_t kLongReplyFiller = 0xA5;

using record::kEdidModeAutomix;
using record::kResetEdid;
using record::kResetSettings;

// Register write: address and value follow the command code.
constexpr size_t kRegisterWriteParams = 2;
// Window write: the offset and 8 bytes follow the command code.
constexpr size_t kWindowWriteParams = 1 + proto::kEdidWindowWriteLength;
using proto::kStoredAviBytes;
using proto::kStoredHdrBytes;

// The register blocks as the status texts read them.
using status::kCaptureLength;
using status::kCapturePayload;
using status::kCaptureType;
using status::kHdrInfoframeType;
using status::kSourceProduct;
using status::kSourceProductSize;
using status::kSourceVendor;
using status::kSourceVendorSize;
using status::kVideoAviByte1;
using status::kVideoAviByte2;
using status::kVideoAviByte3;
using status::kVideoFlags;
using status::kVideoLinkMode;
using status::kVideoOutputs;
using status::kVideoVsifFormat;
constexpr int kVideoVic = status::kVideoCode;
constexpr int kVideoHdmiVicOr3d = status::kVideoVsifDetail;
constexpr uint8_t kHdmiMode = status::kHdmiModeBit;
constexpr uint8_t kTxA = status::kOutputTxA;
constexpr uint8_t kTxB = status::kOutputTxB;

// Source product block: the source's product description infoframe.
constexpr int kSourceType = 2;
constexpr int kSourceLength = 3;
constexpr uint8_t kProductDescriptionType = 0x83;
constexpr uint8_t kProductDescriptionLength = 25;

// HDR infoframes: the captured one (type, length, payload) and the stored custom one
// (type, version, length, checksum, payload).
constexpr uint8_t kHdrInfoframeVersion = 0x01;
constexpr size_t kHdrPayloadSize = 26;
constexpr uint8_t kEotfSdr = 0;
constexpr uint8_t kEotfPq = 2;
constexpr size_t kInfoframeType = 0;
constexpr size_t kInfoframeVersion = 1;
constexpr size_t kInfoframeLength = 2;
constexpr size_t kInfoframeChecksum = 3;
constexpr size_t kInfoframePayload = 4;

constexpr int kVersionStart = 2;
constexpr std::array<uint8_t, 4> kFirmwareVersion = {1, 8, 3, 0};
constexpr int kInputValid = 2;

struct Scenario {
    uint8_t vic;
    uint8_t flags;
    uint8_t linkMode;
    uint8_t outputs;
    uint8_t hdmiVicOr3d;
    uint8_t vsifFormat;
    uint8_t aviByte1; // colour space in bits 6 and 5
    uint8_t aviByte2; // colorimetry in bits 7 and 6, picture format below
    uint8_t aviByte3; // extended colorimetry in bits 6 to 4
    const char *vendor;
    const char *product;
    uint8_t eotf; // kEotfSdr: the source sends no HDR infoframe
};

// The script of the lively box's source, one step after the other; the first is what the
// box shows at power-up.
constexpr std::array<Scenario, 5> kScenarios = {{
    // 1080p60 SDR: YCbCr 4:4:4, BT.709, 8-bit, the default quantization range.
    {16, kHdmiMode, 0, kTxA | kTxB, 0, 0, 0x40, 0xA8, 0x00, "STREAMCO", "Stream Box 4K", kEotfSdr},
    // 4K60 HDR10: YCbCr 4:2:0 10-bit, BT.2020, limited range, PQ.
    {97, kHdmiMode, 1, kTxA | kTxB, 0, 0, 0x60, 0xE8, 0x64, "GAMEWRKS", "Console One X", kEotfPq},
    // 4K60 Dolby Vision-style: YCbCr 4:2:2 12-bit on the 600 MHz link, BT.2020, PQ.
    {97, kHdmiMode, 2, kTxA | kTxB, 0, 0, 0x20, 0xC8, 0x64, "CINEVUE", "Vision Player 12", kEotfPq},
    // A 4K24 disc, by the HDMI VIC of its vendor-specific infoframe.
    {0, kHdmiMode, 0, kTxA, 3, 0x20, 0x00, 0x00, 0x00, "DISCPLAY", "UHD Player 900", kEotfSdr},
    // A computer on DVI.
    {4, 0, 0, kTxB, 0, 0, 0x00, 0x00, 0x00, "PCBOX", "Workstation", kEotfSdr},
}};
constexpr uint32_t kScenarioPeriodMs = SimulatedBox::kScriptStepMs;

// Mastering display data of an HDR infoframe, 16 bits each, low byte first: BT.2020
// primaries and D65 in 0.00002 steps, 1000 cd/m2 peak, 0.005 cd/m2 black, MaxCLL, MaxFALL.
std::array<uint8_t, kHdrPayloadSize> hdrPayload(uint8_t eotf) {
    constexpr std::array<uint16_t, 12> kMastering = {8500,  39850, 6550, 2300, 35400, 14600,
                                                     15635, 16450, 1000, 50,   1000,  400};
    std::array<uint8_t, kHdrPayloadSize> payload{};
    payload[0] = eotf;
    payload[1] = 0x00; // static metadata descriptor 1
    for (size_t i = 0; i < kMastering.size(); ++i) {
        payload[2 + 2 * i] = static_cast<uint8_t>(kMastering[i] & 0xFF);
        payload[3 + 2 * i] = static_cast<uint8_t>(kMastering[i] >> 8);
    }
    return payload;
}

void copyName(RegisterBlock &block, int at, size_t size, const char *name) {
    std::fill_n(block.begin() + at, size, 0);
    const size_t length = std::min(std::strlen(name), size);
    std::copy_n(name, length, block.begin() + at);
}

std::vector<uint8_t> refusal() {
    return {kRefusalMarker, kAnswerPad};
}
std::vector<uint8_t> acceptance(uint8_t code) {
    return {code, kAnswerPad};
}

std::string callName(const char *name, uint32_t first, uint32_t second) {
    return std::string(name) + ' ' + std::to_string(first) + ' ' + std::to_string(second);
}
std::string callName(const char *name, uint32_t argument) {
    return std::string(name) + ' ' + std::to_string(argument);
}

} // namespace

void FakeLinkClock::sleep(uint32_t ms) {
    now_ += ms;
    sleeps_.push_back(ms);
}

SimulatedBox::SimulatedBox(LinkClock &clock)
    : clock_(clock), devices_{AttachedDevice{"2023"}}, nextHandle_(kFirstHandle), record_(factorySettings()),
      readTimeoutMs_(kDefaultTimeoutMs), writeTimeoutMs_(kDefaultTimeoutMs) {
    topSinkEdid_ = demoTopSinkEdid();
    botSinkEdid_ = demoBotSinkEdid();
    customEdid_ = defaultCustomEdid();

    RegisterBlock &version = blocks_[proto::kRegVersion];
    std::copy(kFirmwareVersion.begin(), kFirmwareVersion.end(), version.begin() + kVersionStart);
    blocks_[proto::kRegInputValid][kInputValid] = 1;

    // The custom HDR infoframe the box holds from the factory: PQ with the mastering data.
    RegisterBlock &storedHdr = blocks_[proto::kRegStoredHdrInfoframe];
    const auto payload = hdrPayload(kEotfPq);
    uint8_t *const infoframe = storedHdr.data() + proto::kBlockDataStart;
    infoframe[kInfoframeType] = kHdrInfoframeType;
    infoframe[kInfoframeVersion] = kHdrInfoframeVersion;
    infoframe[kInfoframeLength] = static_cast<uint8_t>(kHdrPayloadSize);
    std::copy(payload.begin(), payload.end(), infoframe + kInfoframePayload);
    unsigned sum = 0;
    for (size_t i = 0; i < kInfoframePayload + kHdrPayloadSize; ++i) {
        sum += infoframe[i];
    }
    // The checksum makes all bytes of the infoframe add up to zero.
    infoframe[kInfoframeChecksum] = static_cast<uint8_t>(0x100 - (sum & 0xFF));

    // Custom AVI bytes from data byte 1: YCbCr 4:4:4, BT.709, 16:9, 1920x1080p60.
    constexpr std::array<uint8_t, 4> kAviBytes = {0x40, 0xA8, 0x00, 16};
    std::copy(kAviBytes.begin(), kAviBytes.end(),
              blocks_[proto::kRegStoredAviBytes].begin() + proto::kBlockDataStart);

    showScenario(0);
}

record::StatusRecord SimulatedBox::factorySettings() {
    record::StatusRecord settings{};
    settings[record::kActiveInput] = 1;
    settings[record::kAudioSource] = 1;
    settings[record::kEdidMode] = kEdidModeAutomix;
    settings[record::kHdcpVersion] = 3;
    settings[record::kCecProcessing] = 1;
    settings[record::kAutoSwitch] = 1;
    settings[record::kEdidModeSelectable] = 1;
    settings[record::kHdcpSelectable] = 1;
    settings[record::kAudioSelectable] = 1;
    settings[record::kHdrPacket] = 1;
    settings[record::kGreenLed] = 1;
    settings[record::kBlueLeds] = 1;
    settings[record::kAllowYcbcr] = 1;
    return settings;
}

// ---- Library calls -------------------------------------------------------------------

void SimulatedBox::logCall(std::string call) {
    if (logging_) {
        calls_.push_back(std::move(call));
    }
}

// A box that has gone answers no call at all.
int SimulatedBox::unreachable() const {
    return vanished_ ? usbstatus::kDeviceIoFailed : usbstatus::kSuccess;
}

bool SimulatedBox::isOpenHandle(UsbHandle handle) const {
    return openIndex_ >= 0 && handle == openHandle_;
}

int SimulatedBox::deviceCount(uint32_t *count) {
    logCall("deviceCount");
    if (const int status = unreachable()) {
        return status;
    }
    if (count == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    if (deviceCountFails_) {
        return usbstatus::kSystemError;
    }
    *count = static_cast<uint32_t>(devices_.size());
    return usbstatus::kSuccess;
}

int SimulatedBox::productString(uint32_t index, char buffer[256], uint32_t option) {
    constexpr size_t kBufferSize = 256;
    logCall(callName("productString", index, option));
    if (buffer == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    // A failed query leaves an empty string, never a stale one that could match.
    buffer[0] = '\0';
    if (const int status = unreachable()) {
        return status;
    }
    if (index >= devices_.size()) {
        return usbstatus::kDeviceNotFound;
    }
    const AttachedDevice &device = devices_[index];
    if (device.productStringFails) {
        return usbstatus::kDeviceIoFailed;
    }
    std::string text;
    switch (option) {
    case kSerialNumberString:
        text = device.serial;
        break;
    case kDescriptionString:
        text = "VELTRIKA USB";
        break;
    case kManufacturerString:
        text = "Veltrika Devices";
        break;
    default:
        return usbstatus::kInvalidParameter;
    }
    // A string of 256 characters or more fills the whole buffer and leaves no terminating
    // zero, as a library may: the caller has to stay within the 256 bytes.
    const size_t length = std::min(text.size(), kBufferSize);
    std::copy_n(text.begin(), length, buffer);
    if (length < kBufferSize) {
        buffer[length] = '\0';
    }
    return usbstatus::kSuccess;
}

int SimulatedBox::open(uint32_t index, UsbHandle *handle) {
    logCall(callName("open", index));
    if (const int status = unreachable()) {
        return status;
    }
    if (handle == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    if (index >= devices_.size()) {
        return usbstatus::kDeviceNotFound;
    }
    // The model has one device that can be open at a time.
    if (openFails_ || openIndex_ >= 0) {
        return usbstatus::kDeviceIoFailed;
    }
    openIndex_ = static_cast<int>(index);
    openHandle_ = nextHandle_++;
    inQueue_.clear();
    *handle = openHandle_;
    return usbstatus::kSuccess;
}

int SimulatedBox::close(UsbHandle handle) {
    logCall("close");
    if (const int status = unreachable()) {
        return status;
    }
    if (!isOpenHandle(handle)) {
        return usbstatus::kInvalidHandle;
    }
    if (closeFails_) {
        return usbstatus::kDeviceIoFailed;
    }
    openIndex_ = -1;
    openHandle_ = kNoDeviceHandle;
    inQueue_.clear();
    return usbstatus::kSuccess;
}

int SimulatedBox::read(UsbHandle handle, uint8_t *buffer, uint32_t wanted, uint32_t *got) {
    logCall(callName("read", wanted));
    if (got != nullptr) {
        *got = 0;
    }
    if (const int status = unreachable()) {
        return status;
    }
    if (!isOpenHandle(handle)) {
        return usbstatus::kInvalidHandle;
    }
    if (got == nullptr || (buffer == nullptr && wanted > 0)) {
        return usbstatus::kInvalidParameter;
    }
    if (currentReadFails_) {
        return usbstatus::kReadError;
    }
    if (inQueue_.empty()) {
        return usbstatus::kReadTimedOut;
    }
    const uint32_t count = std::min<uint32_t>(wanted, static_cast<uint32_t>(inQueue_.size()));
    std::copy_n(inQueue_.begin(), count, buffer);
    inQueue_.erase(inQueue_.begin(), inQueue_.begin() + count);
    if (currentOverreport_) {
        constexpr uint32_t kMostReportable = std::numeric_limits<uint32_t>::max() - kOverreportBytes;
        *got = wanted > kMostReportable ? std::numeric_limits<uint32_t>::max() : wanted + kOverreportBytes;
    } else {
        *got = count;
    }
    return usbstatus::kSuccess;
}

int SimulatedBox::write(UsbHandle handle, const uint8_t *bytes, uint32_t count, uint32_t *written) {
    logCall(callName("write", count));
    if (written != nullptr) {
        *written = 0;
    }
    if (unplugAfterFrames_ == 0) {
        unplugAfterFrames_ = -1;
        unplug();
    } else if (unplugAfterFrames_ > 0) {
        --unplugAfterFrames_;
    }
    if (const int status = unreachable()) {
        return status;
    }
    if (!isOpenHandle(handle)) {
        return usbstatus::kInvalidHandle;
    }
    if (written == nullptr || bytes == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    if (count == 0 || count > proto::kMaxRequestLength) {
        return usbstatus::kInvalidRequestLength;
    }

    currentRxQueueFails_ = false;
    currentReadFails_ = false;
    currentOverreport_ = false;
    Fault fault = Fault::Refuse;
    const bool faulty = takeFault(bytes, count, &fault);
    if (faulty && fault == Fault::WriteFail) {
        return usbstatus::kWriteError;
    }
    *written = count;

    followScenario();
    LoggedFrame logged;
    logged.time = clock_.tickCount();
    logged.request.assign(bytes, bytes + count);
    // A refused or lost frame changes nothing in the device.
    const bool ignored = faulty && (fault == Fault::Refuse || fault == Fault::Silent);
    if (!ignored) {
        logged.reply = answer(logged.request);
    }
    if (faulty) {
        switch (fault) {
        case Fault::Refuse:
            logged.reply = refusal();
            break;
        case Fault::Short:
            logged.reply.resize(std::max<size_t>(1, logged.reply.size() / 2));
            break;
        case Fault::Long:
            logged.reply.resize(std::max<size_t>(kLongReplyLength, logged.reply.size()), kLongReplyFiller);
            break;
        case Fault::ReadFail:
            currentReadFails_ = true;
            break;
        case Fault::RxQueueFail:
            currentRxQueueFails_ = true;
            break;
        case Fault::ReadOverreport:
            currentOverreport_ = true;
            break;
        case Fault::Silent:    // nothing is queued
        case Fault::WriteFail: // the call failed before the device saw the frame
            break;
        }
    }
    inQueue_.insert(inQueue_.end(), logged.reply.begin(), logged.reply.end());
    if (logging_) {
        frames_.push_back(std::move(logged));
    }
    return usbstatus::kSuccess;
}

int SimulatedBox::flush(UsbHandle handle, uint8_t transmit, uint8_t receive) {
    logCall(callName("flush", transmit, receive));
    if (const int status = unreachable()) {
        return status;
    }
    if (!isOpenHandle(handle)) {
        return usbstatus::kInvalidHandle;
    }
    // Requests are answered as they arrive, so only the receive side can hold anything.
    if (receive != 0) {
        inQueue_.clear();
    }
    return usbstatus::kSuccess;
}

int SimulatedBox::setTimeouts(uint32_t readMs, uint32_t writeMs) {
    logCall(callName("setTimeouts", readMs, writeMs));
    if (const int status = unreachable()) {
        return status;
    }
    readTimeoutMs_ = readMs;
    writeTimeoutMs_ = writeMs;
    return usbstatus::kSuccess;
}

int SimulatedBox::timeouts(uint32_t *readMs, uint32_t *writeMs) {
    logCall("timeouts");
    if (const int status = unreachable()) {
        return status;
    }
    if (readMs == nullptr || writeMs == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    *readMs = readTimeoutMs_;
    *writeMs = writeTimeoutMs_;
    return usbstatus::kSuccess;
}

int SimulatedBox::rxQueue(UsbHandle handle, uint32_t *bytesWaiting, uint32_t *status) {
    logCall("rxQueue");
    if (bytesWaiting != nullptr) {
        *bytesWaiting = 0;
    }
    if (status != nullptr) {
        *status = kRxQueueEmpty;
    }
    if (const int failure = unreachable()) {
        return failure;
    }
    if (!isOpenHandle(handle)) {
        return usbstatus::kInvalidHandle;
    }
    if (bytesWaiting == nullptr || status == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    // A query that shows nothing waiting costs a USB frame, also when it fails: that is
    // what lets a caller's time-out pass under a clock that moves only when slept on.
    if (currentRxQueueFails_) {
        clock_.sleep(kUsbFrameMs);
        return usbstatus::kDeviceIoFailed;
    }
    if (inQueue_.empty()) {
        clock_.sleep(kUsbFrameMs);
        return usbstatus::kSuccess;
    }
    *bytesWaiting = static_cast<uint32_t>(inQueue_.size());
    *status = kRxQueueReady;
    return usbstatus::kSuccess;
}

// ---- Set-up and faults ---------------------------------------------------------------

void SimulatedBox::setAttachedDevices(std::vector<AttachedDevice> devices) {
    devices_ = std::move(devices);
    if (openIndex_ >= static_cast<int>(devices_.size())) {
        openIndex_ = -1;
        openHandle_ = kNoDeviceHandle;
        inQueue_.clear();
    }
}

void SimulatedBox::unplug() {
    if (unplugged_) {
        return;
    }
    unplugged_ = true;
    unpluggedDevices_ = std::move(devices_);
    devices_.clear();
    openIndex_ = -1;
    openHandle_ = kNoDeviceHandle;
    inQueue_.clear();
}

void SimulatedBox::plugIn() {
    if (!unplugged_) {
        return;
    }
    unplugged_ = false;
    devices_ = std::move(unpluggedDevices_);
    unpluggedDevices_.clear();
}

void SimulatedBox::setFirmwareVersion(std::array<uint8_t, 4> version) {
    std::copy(version.begin(), version.end(), blocks_[proto::kRegVersion].begin() + kVersionStart);
}

void SimulatedBox::injectFault(Fault fault, uint8_t commandCode) {
    codeFaults_[commandCode] = fault;
}

void SimulatedBox::injectFaultForRegister(Fault fault, uint8_t address) {
    registerFaults_[address] = fault;
}

void SimulatedBox::injectFaultForNext(Fault fault, int count, int after) {
    nextFault_ = fault;
    nextFaultCount_ = std::max(0, count);
    framesBeforeNextFault_ = std::max(0, after);
}

void SimulatedBox::clearFaults() {
    codeFaults_.clear();
    registerFaults_.clear();
    nextFaultCount_ = 0;
    framesBeforeNextFault_ = 0;
}

// A fault for the next frames comes first, then one by register, then one by command code.
bool SimulatedBox::takeFault(const uint8_t *bytes, uint32_t count, Fault *fault) {
    if (nextFaultCount_ > 0 && framesBeforeNextFault_ > 0) {
        --framesBeforeNextFault_;
    } else if (nextFaultCount_ > 0) {
        --nextFaultCount_;
        *fault = nextFault_;
        return true;
    }
    if (count < kFrameHeaderLength) {
        return false;
    }
    // Block reads and register writes both carry the register right after the command code.
    if (count > kFrameHeaderLength && bytes[2] == proto::kRegisterAccess) {
        const auto found = registerFaults_.find(bytes[kFrameHeaderLength]);
        if (found != registerFaults_.end()) {
            *fault = found->second;
            return true;
        }
    }
    const auto found = codeFaults_.find(bytes[2]);
    if (found == codeFaults_.end()) {
        return false;
    }
    *fault = found->second;
    return true;
}

// The memory goes too: a long run's log would otherwise keep the size of its longest step.
void SimulatedBox::clearLog() {
    std::vector<LoggedFrame>().swap(frames_);
    std::vector<std::string>().swap(calls_);
}

// ---- Busy periods and the lively source ----------------------------------------------

bool SimulatedBox::busy() {
    if (busyLength_ == 0) {
        return false;
    }
    // Unsigned difference: a wrap of the tick count is harmless.
    if (clock_.tickCount() - busyStart_ >= busyLength_) {
        busyLength_ = 0;
        return false;
    }
    return true;
}

// A new busy period never shortens one that is still running.
void SimulatedBox::setBusyFor(uint32_t ms) {
    const uint32_t now = clock_.tickCount();
    const uint32_t remaining = busy() ? busyLength_ - (now - busyStart_) : 0;
    if (ms > remaining) {
        busyStart_ = now;
        busyLength_ = ms;
    }
}

void SimulatedBox::setLively(bool lively) {
    if (lively && !lively_) {
        livelyStart_ = clock_.tickCount();
        livelyFirstScenario_ = scenario_;
    }
    lively_ = lively;
}

// The source changes only between frames: the box looks at the clock when a frame arrives.
void SimulatedBox::followScenario() {
    if (!lively_) {
        return;
    }
    const uint32_t periods = (clock_.tickCount() - livelyStart_) / kScenarioPeriodMs;
    const uint32_t index = static_cast<uint32_t>((livelyFirstScenario_ + periods) % kScenarios.size());
    if (index != scenario_) {
        showScenario(index);
    }
}

void SimulatedBox::showScenario(uint32_t index) {
    scenario_ = index;
    const Scenario &scenario = kScenarios[index];

    RegisterBlock &video = blocks_[proto::kRegVideoStatus];
    video.fill(0);
    video[kVideoVic] = scenario.vic;
    video[kVideoFlags] = scenario.flags;
    video[kVideoLinkMode] = scenario.linkMode;
    video[kVideoOutputs] = scenario.outputs;
    video[kVideoHdmiVicOr3d] = scenario.hdmiVicOr3d;
    video[kVideoAviByte1] = scenario.aviByte1;
    video[kVideoAviByte2] = scenario.aviByte2;
    video[kVideoAviByte3] = scenario.aviByte3;
    video[kVideoVsifFormat] = scenario.vsifFormat;

    RegisterBlock &source = blocks_[proto::kRegSourceProduct];
    source.fill(0);
    source[kSourceType] = kProductDescriptionType;
    source[kSourceLength] = kProductDescriptionLength;
    copyName(source, kSourceVendor, kSourceVendorSize, scenario.vendor);
    copyName(source, kSourceProduct, kSourceProductSize, scenario.product);

    RegisterBlock &capture = blocks_[proto::kRegHdrCapture];
    capture.fill(0);
    if (scenario.eotf != kEotfSdr) {
        const auto payload = hdrPayload(scenario.eotf);
        capture[kCaptureType] = kHdrInfoframeType;
        capture[kCaptureLength] = static_cast<uint8_t>(payload.size());
        std::copy(payload.begin(), payload.end(), capture.begin() + kCapturePayload);
    }
}

// ---- Frames --------------------------------------------------------------------------

SimulatedBox::Reply SimulatedBox::answer(std::span<const uint8_t> frame) {
    if (frame.size() < kFrameHeaderLength) {
        return refusal();
    }
    const uint8_t direction = frame[0];
    const uint8_t lengthByte = frame[1];
    const uint8_t code = frame[2];
    const Params params = frame.subspan(kFrameHeaderLength);
    if (direction == proto::kFromDevice) {
        switch (code) {
        case proto::kRegisterAccess:
            return readRegisterBlock(lengthByte, params);
        case proto::kStatusRead:
            return readStatus(lengthByte);
        case proto::kEdidWindow:
            return readEdidWindow(params);
        default:
            return refusal();
        }
    }
    if (direction != proto::kToDevice) {
        return refusal();
    }
    switch (code) {
    case proto::kRegisterAccess:
        return writeRegister(params);
    case proto::kSettingsBlock:
        return writeSettingsBlock(lengthByte, params);
    case proto::kStoreCecSlot1:
    case proto::kStoreCecSlot2:
        return storeCec(code, lengthByte, params);
    case proto::kHdrInfoframe:
    case proto::kAviInfoframe:
        return storeInfoframe(code, lengthByte, params);
    case proto::kEdidWindow:
        return writeEdidWindow(params);
    case proto::kEdidCommit:
        return commitEdid();
    case proto::kCecMessage:
        return acceptAnnounced(code, lengthByte, params);
    case proto::kActivate:
        return activate(params);
    case proto::kFetchOwnEdid:
    case proto::kFetchTopSinkEdid:
    case proto::kFetchBotSinkEdid:
        return fetchEdid(code);
    default:
        return refusal();
    }
}

// The length byte counts the reply, marker included; the device sends no more than the block holds.
SimulatedBox::Reply SimulatedBox::readRegisterBlock(uint8_t count, Params params) {
    if (params.empty() || count == 0) {
        return refusal();
    }
    const RegisterBlock &block = blocks_[params[0]];
    Reply reply(block.begin(), block.begin() + std::min<size_t>(count, block.size()));
    reply[0] = proto::kRegisterAccess;
    return reply;
}

SimulatedBox::Reply SimulatedBox::readStatus(uint8_t count) {
    if (count == 0) {
        return refusal();
    }
    Reply reply(proto::kStatusReplyLength, 0);
    reply[0] = proto::kStatusRead;
    reply[proto::kStatusFlagsByte] = busy() ? proto::kBusyBit : 0;
    std::copy(record_.begin(), record_.end(), reply.begin() + proto::kStatusRecordStart);
    reply.resize(std::min<size_t>(count, reply.size()));
    return reply;
}

// The window is read in 16-byte blocks from any offset, wrapping at its end; the answer is
// the data alone, without a marker.
SimulatedBox::Reply SimulatedBox::readEdidWindow(Params params) {
    if (params.empty()) {
        return refusal();
    }
    Reply reply(proto::kEdidWindowReadLength, 0);
    for (size_t i = 0; i < reply.size(); ++i) {
        reply[i] = window_[(params[0] + i) % window_.size()];
    }
    return reply;
}

// Only setting registers and the factory reset can be written; the rest are read-only blocks.
SimulatedBox::Reply SimulatedBox::writeRegister(Params params) {
    if (params.size() < kRegisterWriteParams) {
        return refusal();
    }
    const uint8_t reg = params[0];
    const uint8_t value = params[1];
    if (reg == record::kRegFactoryReset) {
        return factoryReset(value) ? acceptance(proto::kRegisterAccess) : refusal();
    }
    const SettingInfo *setting = settingOfRegister(reg);
    if (setting == nullptr) {
        return refusal();
    }
    record_[static_cast<size_t>(setting->recordOffset)] = value;
    if (reg == record::kRegEdidMode) {
        setBusyFor(modeChangeBusyMs);
    }
    return acceptance(proto::kRegisterAccess);
}

bool SimulatedBox::factoryReset(uint8_t what) {
    if (what < kResetEdid || what > (kResetEdid | kResetSettings)) {
        return false;
    }
    if ((what & kResetSettings) != 0) {
        const uint8_t previousMode = record_[record::kEdidMode];
        record_ = factorySettings();
        followEdidMode(previousMode);
    }
    if ((what & kResetEdid) != 0) {
        customEdid_ = defaultCustomEdid();
        setBusyFor(fetchBusyMs);
    }
    return true;
}

// The device rebuilds its EDID when a reset or a settings block changes the EDID mode.
void SimulatedBox::followEdidMode(uint8_t previousMode) {
    if (record_[record::kEdidMode] != previousMode) {
        setBusyFor(modeChangeBusyMs);
    }
}

SimulatedBox::Reply SimulatedBox::writeSettingsBlock(uint8_t lengthByte, Params params) {
    if (lengthByte != proto::kSettingsBlockSize || params.size() < proto::kSettingsBlockSize) {
        return refusal();
    }
    // Only the fields that have a setting register are settings; the rest is the device's to say.
    const uint8_t previousMode = record_[record::kEdidMode];
    for (const SettingInfo &setting : allSettings()) {
        const auto offset = static_cast<size_t>(setting.recordOffset);
        record_[offset] = params[offset];
    }
    followEdidMode(previousMode);
    return acceptance(proto::kSettingsBlock);
}

SimulatedBox::Reply SimulatedBox::fetchEdid(uint8_t code) {
    switch (code) {
    case proto::kFetchTopSinkEdid:
        window_ = topSinkEdid_;
        break;
    case proto::kFetchBotSinkEdid:
        window_ = botSinkEdid_;
        break;
    default:
        window_ = ownEdid();
        break;
    }
    setBusyFor(fetchBusyMs);
    return acceptance(code);
}

SimulatedBox::Reply SimulatedBox::writeEdidWindow(Params params) {
    if (params.size() < kWindowWriteParams) {
        return refusal();
    }
    const uint8_t offset = params[0];
    for (size_t i = 0; i < proto::kEdidWindowWriteLength; ++i) {
        window_[(offset + i) % window_.size()] = params[1 + i];
    }
    return acceptance(proto::kEdidWindow);
}

SimulatedBox::Reply SimulatedBox::commitEdid() {
    customEdid_ = window_;
    setBusyFor(fetchBusyMs);
    return acceptance(proto::kEdidCommit);
}

// The store frame's length byte counts "CEC " and the text after it.
SimulatedBox::Reply SimulatedBox::storeCec(uint8_t code, uint8_t lengthByte, Params params) {
    const size_t prefix = proto::kStoredCecPrefix.size();
    if (lengthByte < prefix || params.size() < lengthByte ||
        !std::equal(proto::kStoredCecPrefix.begin(), proto::kStoredCecPrefix.end(), params.begin())) {
        return refusal();
    }
    storedCec_[code == proto::kStoreCecSlot1 ? 0 : 1].assign(params.begin() + prefix,
                                                             params.begin() + lengthByte);
    return acceptance(code);
}

// A stored infoframe replaces the previous one whole; what it does not carry reads as zero.
SimulatedBox::Reply SimulatedBox::storeInfoframe(uint8_t code, uint8_t lengthByte, Params params) {
    const bool hdr = code == proto::kHdrInfoframe;
    const size_t room = hdr ? kStoredHdrBytes : kStoredAviBytes;
    if (lengthByte == 0 || lengthByte > room || params.size() < lengthByte) {
        return refusal();
    }
    RegisterBlock &block = blocks_[hdr ? proto::kRegStoredHdrInfoframe : proto::kRegStoredAviBytes];
    std::fill_n(block.begin() + proto::kBlockDataStart, room, 0);
    std::copy_n(params.begin(), lengthByte, block.begin() + proto::kBlockDataStart);
    return acceptance(code);
}

// A data frame is taken when it carries all the bytes its length byte announces.
SimulatedBox::Reply SimulatedBox::acceptAnnounced(uint8_t code, uint8_t lengthByte, Params params) {
    if (lengthByte == 0 || params.size() < lengthByte) {
        return refusal();
    }
    return acceptance(code);
}

SimulatedBox::Reply SimulatedBox::activate(Params params) {
    if (params.empty()) {
        return refusal();
    }
    switch (params[0]) {
    case proto::kActivateCec:
    case proto::kActivateHdr:
    case proto::kActivateAvi:
        return acceptance(proto::kActivate);
    default:
        return refusal();
    }
}

} // namespace sim
