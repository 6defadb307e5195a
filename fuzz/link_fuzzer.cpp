// The box session's link against a USB library whose every answer comes from the fuzz
// input: call results, device strings, handles, bytes waiting, bytes read and the counts
// it claims, and the time each receive-queue query takes (from any start, across the wrap
// of the tick count). The session's reporter checks that every warning is one of the
// link's own and that a transaction shows at most one.

#include "core/box/box_session.h"
#include "sim/simulated_box.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr uint32_t kLongestQueryMs = 5000;
// Once the script is used up every query takes this long, so any wait comes to an end.
constexpr uint32_t kQueryMsWhenDone = 1000;
constexpr int kMaxTransactions = 8;
// The script byte that asks for a device search before the open (a used-up script reads 0).
constexpr uint8_t kSearchFirst = 0xA5;

class Script {
public:
    Script(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t word() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value = value << 8 | byte();
        }
        return value;
    }
    bool done() const { return at_ >= size_; }
    // A call result: success most of the time, any status otherwise.
    int result() {
        const uint8_t pick = byte();
        return pick < 0xE0 ? usbstatus::kSuccess : pick;
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};

class ScriptedUsb : public UsbXpress {
public:
    ScriptedUsb(Script &script, sim::FakeLinkClock &clock) : script_(script), clock_(clock) {}

    int deviceCount(uint32_t *count) override {
        *count = script_.byte() % 4;
        return script_.result();
    }
    int productString(uint32_t /*index*/, char buffer[256], uint32_t /*option*/) override {
        // Up to the whole 256 bytes, with or without a terminating zero.
        // (Two statements: the operands of + are unsequenced, and seeds rely on the order.)
        size_t length = script_.byte();
        length += script_.byte() == 0xFF ? 1 : 0;
        for (size_t i = 0; i < length; ++i) {
            buffer[i] = static_cast<char>(script_.byte() % 2 == 0 ? kDeviceSerial[i % 4] : script_.byte());
        }
        if (length < 256) {
            buffer[length] = '\0';
        }
        return script_.result();
    }
    int open(uint32_t /*index*/, UsbHandle *handle) override {
        *handle = script_.byte();
        return script_.result();
    }
    int close(UsbHandle /*handle*/) override { return script_.result(); }
    int read(UsbHandle /*handle*/, uint8_t *buffer, uint32_t wanted, uint32_t *got) override {
        if (wanted > proto::kReplySize) {
            std::abort();
        }
        const uint32_t delivered = std::min<uint32_t>(script_.byte(), wanted);
        for (uint32_t i = 0; i < delivered; ++i) {
            buffer[i] = script_.byte();
        }
        // The count the library claims need not be the count it delivered.
        *got = script_.byte() < 0xC0 ? delivered : script_.word();
        return script_.result();
    }
    int write(UsbHandle /*handle*/, const uint8_t * /*bytes*/, uint32_t count, uint32_t *written) override {
        if (count == 0 || count > proto::kMaxRequestLength) {
            std::abort();
        }
        *written = count;
        lastWriteFailed = script_.result() != usbstatus::kSuccess;
        return lastWriteFailed ? usbstatus::kWriteError : usbstatus::kSuccess;
    }
    int flush(UsbHandle /*handle*/, uint8_t /*transmit*/, uint8_t /*receive*/) override {
        return script_.result();
    }
    int setTimeouts(uint32_t /*readMs*/, uint32_t /*writeMs*/) override { return script_.result(); }
    int timeouts(uint32_t *readMs, uint32_t *writeMs) override {
        *readMs = script_.word();
        *writeMs = script_.word();
        return script_.result();
    }
    int rxQueue(UsbHandle /*handle*/, uint32_t *bytesWaiting, uint32_t *status) override {
        const uint32_t took = script_.done() ? kQueryMsWhenDone : script_.word() % kLongestQueryMs;
        clock_.advance(took);
        longestQuery = std::max(longestQuery, took);
        *bytesWaiting = script_.byte() < 0x80 ? 0 : script_.byte();
        *status = script_.byte();
        const int result = script_.result();
        rxQueueFailed = rxQueueFailed || result != usbstatus::kSuccess;
        return result;
    }

    bool lastWriteFailed = false;
    bool rxQueueFailed = false;
    uint32_t longestQuery = 0;

private:
    Script &script_;
    sim::FakeLinkClock &clock_;
};

class CheckingReporter : public BoxReporter {
public:
    void statusMessage(const char * /*text*/, int /*ms*/) override {}
    void transferProgress(int /*value*/, int /*total*/) override {}
    void consoleNote(const char * /*text*/) override {}
    void linkWarning(const char *text) override {
        constexpr std::string_view kLinkMessages[] = {"VELTRIKA USB not connected!", "Usb device open error!",
                                                      "Unable to close device handle!",
                                                      "Error Checking RX Queue"};
        if (std::find(std::begin(kLinkMessages), std::end(kLinkMessages), text) == std::end(kLinkMessages)) {
            std::abort();
        }
        ++warnings;
    }
    int warnings = 0;
};

void transact(Script &script, ScriptedUsb &usb, sim::FakeLinkClock &clock, BoxSession &session,
              CheckingReporter &reporter) {
    proto::RequestFrame frame;
    frame.length = 1 + script.byte() % proto::kMaxRequestLength;
    for (uint32_t i = 0; i < frame.length; ++i) {
        frame.bytes[i] = script.byte();
    }
    const uint32_t minimumLength = script.byte() % (proto::kReplySize + 8);
    usb.lastWriteFailed = false;
    usb.rxQueueFailed = false;
    usb.longestQuery = 0;
    reporter.warnings = 0;
    const uint32_t start = clock.tickCount();
    const Exchange result = session.transact(frame, minimumLength);
    const uint32_t elapsed = clock.tickCount() - start;

    if (result.received > proto::kReplySize || session.linkBusy()) {
        std::abort();
    }
    // Only bytes that arrived are in the reply; the rest is zero.
    for (size_t i = result.received; i < result.reply.size(); ++i) {
        if (result.reply[i] != 0) {
            std::abort();
        }
    }
    if ((usb.lastWriteFailed || usb.rxQueueFailed) && (result.ok() || result.received != 0)) {
        std::abort();
    }
    if (result.ok() && result.received < minimumLength) {
        std::abort();
    }
    // A failing queue query ends the wait with one warning, never one per query.
    if (reporter.warnings > (usb.rxQueueFailed ? 1 : 0)) {
        std::abort();
    }
    // The wait for the first reply byte ends within the time-out and one last query.
    if (elapsed > kLinkTimeoutMs + usb.longestQuery) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Script script(data, size);
    sim::FakeLinkClock clock(script.word());
    ScriptedUsb usb(script, clock);
    CheckingReporter reporter;
    BoxSession session(usb, clock, reporter);
    std::optional<uint32_t> index;
    if (script.byte() == kSearchFirst && (index = session.find(kDeviceSerial))) {
        session.open(*index);
    } else {
        session.open(script.byte());
    }
    const int transactions = script.byte() % (kMaxTransactions + 1);
    for (int i = 0; i < transactions; ++i) {
        transact(script, usb, clock, session, reporter);
    }
    session.close();
    if (session.isOpen()) {
        std::abort();
    }
    return 0;
}
