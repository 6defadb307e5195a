#include "core/box/box_session.h"

#include "core/box/status_texts.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr uint32_t kProductStringSize = 256;

// Waits between frames.
constexpr uint32_t kAfterFetchMs = 100;
constexpr uint32_t kBetweenBusyPollsMs = 10;
constexpr int kMaxBusyPolls = 502;
constexpr uint32_t kAfterWindowWriteMs = 30;
constexpr uint32_t kBeforeActivateMs = 100;

constexpr int kReadProgressTotal = 255;
constexpr int kWriteBlocks = proto::kEdidSize / proto::kEdidWindowWriteLength;
// The control synchronisation reads the video status block with the status record.
constexpr uint8_t kVideoStatusSyncLength = 14;

bool serialMatches(const std::array<char, kProductStringSize> &reported, const char *serial) {
    // A string the library left unterminated is compared within its buffer only.
    const size_t reportedLength = strnlen(reported.data(), reported.size());
    return reportedLength == std::strlen(serial) && std::memcmp(reported.data(), serial, reportedLength) == 0;
}

uint8_t fetchCodeOf(EdidSource source) {
    switch (source) {
    case EdidSource::TopSink:
        return proto::kFetchTopSinkEdid;
    case EdidSource::BotSink:
        return proto::kFetchBotSinkEdid;
    case EdidSource::Box:
        break;
    }
    return proto::kFetchOwnEdid;
}

class BusyFlag {
public:
    explicit BusyFlag(bool &flag) : flag_(flag) { flag_ = true; }
    ~BusyFlag() { flag_ = false; }
    BusyFlag(const BusyFlag &) = delete;
    BusyFlag &operator=(const BusyFlag &) = delete;

private:
    bool &flag_;
};

} // namespace

bool isLinkLoss(LinkError error) {
    switch (error) {
    case LinkError::NoDevice:
    case LinkError::Unplugged:
    case LinkError::WriteFailed:
    case LinkError::ReadFailed:
    case LinkError::RxQueueFailed:
        return true;
    case LinkError::None:
    case LinkError::Silent:
    case LinkError::Refused:
    case LinkError::Short:
    case LinkError::Busy:
        break;
    }
    return false;
}

const char *linkErrorName(LinkError error) {
    switch (error) {
    case LinkError::None:
        return "none";
    case LinkError::NoDevice:
        return "no device";
    case LinkError::Refused:
        return "refused";
    case LinkError::Silent:
        return "silent";
    case LinkError::Unplugged:
        return "unplugged";
    case LinkError::Short:
        return "short reply";
    case LinkError::WriteFailed:
        return "write failed";
    case LinkError::ReadFailed:
        return "read failed";
    case LinkError::RxQueueFailed:
        return "receive queue failed";
    case LinkError::Busy:
        return "busy";
    }
    return "unknown";
}

BoxSession::BoxSession(UsbXpress &usb, LinkClock &clock, BoxReporter &reporter)
    : usb_(usb), clock_(clock), reporter_(reporter) {}

std::optional<uint32_t> BoxSession::findIndex(const char *serial) {
    uint32_t count = 0;
    if (usb_.deviceCount(&count) == usbstatus::kSuccess) {
        for (uint32_t i = 0; i < count; ++i) {
            std::array<char, kProductStringSize> reported{};
            if (usb_.productString(i, reported.data(), kSerialNumberString) == usbstatus::kSuccess &&
                serialMatches(reported, serial)) {
                return i;
            }
        }
    }
    return std::nullopt;
}

std::optional<uint32_t> BoxSession::find(const char *serial) {
    handle_ = kNoDeviceHandle;
    serial_ = serial;
    const std::optional<uint32_t> index = findIndex(serial);
    if (!index) {
        reporter_.linkWarning("VELTRIKA USB not connected!");
    }
    return index;
}

bool BoxSession::listed(const char *serial) {
    return findIndex(serial).has_value();
}

Attach BoxSession::attachQuietly(const char *serial) {
    if (isOpen()) {
        return Attach::Open;
    }
    serial_ = serial;
    const std::optional<uint32_t> index = findIndex(serial);
    if (!index) {
        return Attach::NotFound;
    }
    if (usb_.open(*index, &handle_) != usbstatus::kSuccess) {
        handle_ = kNoDeviceHandle;
        return Attach::OpenFailed;
    }
    return Attach::Open;
}

void BoxSession::closeLost() {
    if (handle_ == kNoDeviceHandle) {
        return;
    }
    const UsbHandle handle = handle_;
    handle_ = kNoDeviceHandle;
    usb_.close(handle);
}

bool BoxSession::open(uint32_t index) {
    if (usb_.open(index, &handle_) != usbstatus::kSuccess) {
        handle_ = kNoDeviceHandle;
        reporter_.linkWarning("Usb device open error!");
        return false;
    }
    return true;
}

void BoxSession::close() {
    if (handle_ == kNoDeviceHandle) {
        return;
    }
    const UsbHandle handle = handle_;
    // Forget the handle first: a second close from a nested loop must find nothing open.
    handle_ = kNoDeviceHandle;
    if (usb_.close(handle) != usbstatus::kSuccess) {
        reporter_.linkWarning("Unable to close device handle!");
    }
}

Attach BoxSession::attach(const char *serial) {
    const std::optional<uint32_t> index = find(serial);
    if (!index) {
        return Attach::NotFound;
    }
    return open(*index) ? Attach::Open : Attach::OpenFailed;
}

// Each transfer runs under its own time-outs and puts the library's own back.
bool BoxSession::libraryWrite(const uint8_t *bytes, uint32_t count) {
    uint32_t savedRead = 0;
    uint32_t savedWrite = 0;
    usb_.timeouts(&savedRead, &savedWrite);
    usb_.setTimeouts(0, kLinkTimeoutMs);
    uint32_t written = 0;
    const int status = usb_.write(handle_, bytes, count, &written);
    usb_.setTimeouts(savedRead, savedWrite);
    return status == usbstatus::kSuccess;
}

bool BoxSession::libraryRead(uint8_t *buffer, uint32_t count, uint32_t *got) {
    uint32_t savedRead = 0;
    uint32_t savedWrite = 0;
    usb_.timeouts(&savedRead, &savedWrite);
    usb_.setTimeouts(kLinkTimeoutMs, 0);
    const int status = usb_.read(handle_, buffer, count, got);
    usb_.setTimeouts(savedRead, savedWrite);
    return status == usbstatus::kSuccess;
}

Exchange BoxSession::exchange(const proto::RequestFrame &frame, uint32_t minimumLength) {
    Exchange result;
    const uint32_t start = clock_.tickCount();
    const BusyFlag busy(busy_);
    if (handle_ == kNoDeviceHandle) {
        result.error = LinkError::NoDevice;
        return result;
    }
    const auto request = std::span<const uint8_t>(frame.bytes).first(frame.length);
    reporter_.requestSent(request);
    usb_.flush(handle_, 1, 1);
    if (!libraryWrite(request.data(), frame.length)) {
        reporter_.replyReceived({}, true);
        result.error = LinkError::WriteFailed;
        return result;
    }
    uint32_t waiting = 0;
    while (waiting < 1) {
        if (clock_.tickCount() - start >= kLinkTimeoutMs) {
            break;
        }
        uint32_t queueStatus = 0;
        if (usb_.rxQueue(handle_, &waiting, &queueStatus) != usbstatus::kSuccess) {
            // One warning per transaction: polling on would stack a modal box per query.
            reporter_.replyReceived({}, true);
            reporter_.linkWarning("Error Checking RX Queue");
            result.error = LinkError::RxQueueFailed;
            return result;
        }
    }
    if (waiting < 1) {
        reporter_.replyReceived({}, true);
        // Unplugged is what the USB layer says: a box still listed only left this request
        // unanswered, and stays open.
        result.error = listed(serial_.c_str()) ? LinkError::Silent : LinkError::Unplugged;
        return result;
    }
    proto::ReplyBuffer scratch{};
    uint32_t got = 0;
    const bool readOk = libraryRead(scratch.data(), proto::kReplySize, &got);
    // Whatever the library claims, no more than the scratch area holds is taken.
    result.received = std::min<uint32_t>(got, proto::kReplySize);
    std::copy_n(scratch.begin(), result.received, result.reply.begin());
    reporter_.replyReceived(std::span<const uint8_t>(result.reply).first(result.received), false);
    if (!readOk) {
        result.error = LinkError::ReadFailed;
    } else if (result.received < minimumLength) {
        result.error = LinkError::Short;
    }
    return result;
}

Exchange BoxSession::transact(const proto::RequestFrame &frame, uint32_t minimumLength) {
    const Exchange result = exchange(frame, minimumLength);
    tellLoss(result.error);
    return result;
}

// A transaction that found no box open lost nothing: only a box that was open is lost.
void BoxSession::tellLoss(LinkError error) {
    if (error != LinkError::NoDevice && isLinkLoss(error)) {
        reporter_.linkLost(error);
    }
}

Exchange BoxSession::transactAccepted(const proto::RequestFrame &frame, uint32_t minimumLength,
                                      uint8_t marker) {
    Exchange result = exchange(frame, minimumLength);
    tellLoss(result.error);
    if (result.ok() && !proto::hasMarker(result.reply, marker)) {
        result.error = LinkError::Refused;
    }
    return result;
}

Outcome<proto::ReplyBuffer> BoxSession::readRegisters(uint8_t address, uint8_t count) {
    const Exchange result =
        transactAccepted(proto::registerBlockRead(address, count), count, proto::kRegisterAccess);
    if (!result.ok()) {
        // A block that was not accepted reads as zeros, never as part of a reply.
        reporter_.statusMessage("...", kConfirmMs);
        return {result.error, {}};
    }
    if (observer_ != nullptr) {
        observer_->registersRead(address, count, result.reply);
    }
    return {LinkError::None, result.reply};
}

LinkError BoxSession::writeRegister(uint8_t address, uint8_t value) {
    const Exchange result = transactAccepted(proto::registerWrite(address, value), proto::kMarkerReplyLength,
                                             proto::kRegisterAccess);
    if (!result.ok()) {
        reporter_.statusMessage("Error Writing values", kRefusalMs);
    }
    return result.error;
}

Outcome<proto::ReplyBuffer> BoxSession::readStatus(uint8_t count) {
    const Exchange result = transactAccepted(proto::statusRead(count), count, proto::kStatusRead);
    if (!result.ok()) {
        reporter_.statusMessage("Error Reading values", kRefusalMs);
    }
    return {result.error, result.reply};
}

LinkError BoxSession::writeSettingsBlock(std::span<const uint8_t, proto::kSettingsBlockSize> settings) {
    const Exchange result = transactAccepted(proto::settingsBlockWrite(settings), proto::kMarkerReplyLength,
                                             proto::kSettingsBlock);
    if (!result.ok()) {
        reporter_.statusMessage("Error Writing values", kRefusalMs);
    }
    return result.error;
}

Outcome<record::StatusRecord> BoxSession::readSettings() {
    const Outcome<proto::ReplyBuffer> status = readStatus();
    const Outcome<proto::ReplyBuffer> video = readRegisters(proto::kRegVideoStatus, kVideoStatusSyncLength);
    if (!status.ok()) {
        return {status.error, {}};
    }
    if (!video.ok()) {
        return {video.error, {}};
    }
    // A box busy with its EDID reports no settings.
    if (proto::deviceBusy(status.value)) {
        return {LinkError::Busy, {}};
    }
    std::copy_n(status.value.begin() + proto::kStatusRecordStart, record::kSize, shadow_.begin());
    if (observer_ != nullptr) {
        observer_->settingsRead(shadow_);
    }
    return {LinkError::None, shadow_};
}

LinkError BoxSession::writeSetting(Setting setting, uint8_t value) {
    const SettingInfo &info = settingInfo(setting);
    const LinkError error = writeRegister(info.reg, value);
    if (info.shadow) {
        shadow_[static_cast<size_t>(*info.shadow)] = value;
    }
    return error;
}

LinkError BoxSession::writeSettingsShadow() {
    return writeSettingsBlock(shadow_);
}

LinkError BoxSession::factoryReset(FactoryReset what) {
    return writeRegister(record::kRegFactoryReset, static_cast<uint8_t>(what));
}

StatusBlocks BoxSession::readStatusBlocks() {
    StatusBlocks blocks;
    const auto read = [this, &blocks](uint8_t address, uint8_t count, proto::ReplyBuffer &block) {
        const Outcome<proto::ReplyBuffer> outcome = readRegisters(address, count);
        block = outcome.value;
        if (isLinkLoss(outcome.error) && blocks.loss == LinkError::None) {
            blocks.loss = outcome.error;
        }
        return outcome.ok();
    };
    blocks.videoStatusRead = read(proto::kRegVideoStatus, proto::kVideoStatusLength, blocks.videoStatus);
    blocks.sourceProductRead =
        read(proto::kRegSourceProduct, proto::kSourceProductLength, blocks.sourceProduct);
    blocks.hdrCaptureRead = read(proto::kRegHdrCapture, proto::kHdrCaptureLength, blocks.hdrCapture);
    blocks.shown = read(proto::kRegInputValid, proto::kInputValidLength, blocks.inputValid);
    return blocks;
}

Outcome<EdidImage> BoxSession::readEdid(EdidSource source) {
    reporter_.transferProgress(0, 0);
    const uint8_t fetchCode = fetchCodeOf(source);
    // A refused fetch leaves the window as an earlier fetch or write left it: taking that as
    // the EDID asked for would pass off another display's EDID as this one.
    const Exchange fetch =
        transactAccepted(proto::edidFetch(fetchCode), proto::kMarkerReplyLength, fetchCode);
    if (!fetch.ok()) {
        reporter_.statusMessage("Error Writing values", kRefusalMs);
        return {fetch.error, {}};
    }
    clock_.sleep(kAfterFetchMs);
    // A box still busy after the last poll is not reported: the window is read anyway.
    for (int poll = 0; poll < kMaxBusyPolls; ++poll) {
        const Outcome<proto::ReplyBuffer> status = readStatus();
        clock_.sleep(kBetweenBusyPollsMs);
        if (!proto::deviceBusy(status.value)) {
            break;
        }
    }

    Outcome<EdidImage> result;
    for (uint32_t offset = 0; offset < proto::kEdidSize; offset += proto::kEdidWindowReadLength) {
        reporter_.transferProgress(static_cast<int>(offset), kReadProgressTotal);
        // The window read's reply is the 16 bytes alone, without a marker. Only bytes that
        // arrived may count: no reply at all ends the read too.
        const Exchange window =
            transact(proto::edidWindowRead(static_cast<uint8_t>(offset)), proto::kEdidWindowReadLength);
        if (!window.ok()) {
            reporter_.transferProgress(0, 0);
            return {window.error, {}};
        }
        std::copy_n(window.reply.begin(), proto::kEdidWindowReadLength, result.value.begin() + offset);
    }
    reporter_.transferProgress(0, 0);
    if (source == EdidSource::Box && observer_ != nullptr) {
        observer_->ownEdidRead(result.value);
    }
    reporter_.statusMessage(source == EdidSource::Box ? "EDID values read." : "TV EDID values read.",
                            kConfirmMs);
    return result;
}

LinkError BoxSession::writeEdid(std::span<const uint8_t, proto::kEdidSize> image) {
    LinkError firstError = LinkError::None;
    for (int block = 0; block < kWriteBlocks; ++block) {
        reporter_.transferProgress(block, kWriteBlocks);
        const auto offset = static_cast<uint8_t>(block * proto::kEdidWindowWriteLength);
        const proto::RequestFrame frame =
            proto::edidWindowWrite(offset, image.subspan(offset).first<proto::kEdidWindowWriteLength>());
        const Exchange written = transactAccepted(frame, proto::kMarkerReplyLength, proto::kEdidWindow);
        if (!written.ok()) {
            reporter_.statusMessage("Error Writing EDID values.", kConfirmMs);
            if (firstError == LinkError::None) {
                firstError = written.error;
            }
        }
        clock_.sleep(kAfterWindowWriteMs);
    }
    // A window with a block missing would become the custom EDID half old, half new: the
    // box keeps the EDID it has, and the error stays on the status bar.
    if (firstError != LinkError::None) {
        reporter_.transferProgress(0, 0);
        return firstError;
    }
    const Exchange commit =
        transactAccepted(proto::edidCommit(), proto::kMarkerReplyLength, proto::kEdidCommit);
    reporter_.statusMessage(commit.ok() ? "EDID values written..." : "Error Populating EDID values.",
                            kConfirmMs);
    reporter_.transferProgress(0, 0);
    return commit.error;
}

LinkError BoxSession::sendPacket(const packets::PacketSend &send, std::span<const uint8_t> data) {
    const proto::RequestFrame frame = proto::dataFrame(send.code, data);
    const Exchange sent = transactAccepted(frame, proto::kMarkerReplyLength, send.code);
    reporter_.statusMessage(sent.ok() ? send.accepted : send.refused, sent.ok() ? kConfirmMs : kRefusalMs);
    if (!sent.ok() && !send.activateAfterRefusal) {
        return sent.error;
    }
    clock_.sleep(kBeforeActivateMs);
    const Exchange activated = transactAccepted(proto::activate(frame.bytes[1], send.selector),
                                                proto::kMarkerReplyLength, proto::kActivate);
    if (!activated.ok()) {
        reporter_.consoleNote(send.activateFailed);
        return activated.error;
    }
    return sent.error;
}

LinkError BoxSession::storeCec(uint8_t slotCode, const packets::PacketText &text) {
    const Exchange stored =
        transactAccepted(proto::packetStore(slotCode, text.bytes()), proto::kMarkerReplyLength, slotCode);
    reporter_.statusMessage(stored.ok() ? packets::kCecStored : packets::kCecStoreRefused,
                            stored.ok() ? kConfirmMs : kRefusalMs);
    return stored.error;
}
