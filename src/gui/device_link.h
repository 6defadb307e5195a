#pragma once
// The device link: finds and opens the box among the USB devices and carries out link
// transactions, one request frame out and one reply of at most 64 bytes back, each
// bounded by the link time-out. It holds the process's one device handle and the
// link-busy flag; it knows nothing of what the bytes mean.

#include "core/frames.h"
#include "core/usbxpress.h"

#include <cstdint>

constexpr char kDeviceSerial[] = "2023";
constexpr uint32_t kLinkTimeoutMs = 4000;

// Looks for a device whose serial string is exactly `serial`; the lowest index wins.
bool FindDevice(const char *serial, uint32_t *index);
bool OpenDevice(uint32_t index);
void CloseDevice();

bool LinkWrite(const uint8_t *bytes, uint32_t count, uint32_t *written, uint32_t timeoutMs);
bool LinkRead(uint8_t *buffer, uint32_t count, uint32_t *read, uint32_t timeoutMs);

// Sends one request and takes its reply. True also when no device is open or no reply
// byte came within the time-out; then the reply buffer is left as it was. `received`,
// when given, tells how many reply bytes reached the buffer (0 in those two cases).
bool LinkTransact(proto::ReplyBuffer &reply, const uint8_t *request, uint32_t minimumLength,
                  uint32_t requestLength, uint32_t *received = nullptr);

// One transaction whose reply counts only when it arrived in full and begins with `marker`.
bool transactAccepted(proto::ReplyBuffer &reply, const proto::RequestFrame &frame, uint32_t minimumLength,
                      uint8_t marker);

// The link shows its messages through a presenter: by default a standalone warning box
// (no owner window, a blank title, one OK button). A harness that drives the link far
// faster than a person reads may put its own; nullptr brings the box back.
using LinkMessagePresenter = void (*)(const char *text);
void installLinkMessagePresenter(LinkMessagePresenter presenter);

UsbHandle deviceHandle();
void forgetDevice(); // the handle becomes "no device open" without a close call
bool linkBusy();
