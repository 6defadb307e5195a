#pragma once
// What the box session tells the user, through one interface that each front end adapts:
// the window to its status bar, progress bar and message boxes, the command line to its
// standard error.

#include <cstdint>
#include <span>

enum class LinkError : uint8_t; // box_session.h

// How long a status message stands: confirmations, input errors, EDID refusals and a
// refused block read briefly; refusals of register writes, status reads and packets longer.
constexpr int kConfirmMs = 2000;
constexpr int kRefusalMs = 4000;

class BoxReporter {
public:
    virtual ~BoxReporter() = default;
    // The outcome of an operation, in the window's words, shown for `ms` milliseconds.
    virtual void statusMessage(const char *text, int ms) = 0;
    // An EDID transfer's progress: `value` of `total`; (0, 0) when no transfer shows.
    virtual void transferProgress(int value, int total) = 0;
    // A fault of the USB link itself: no box, open or close failure, receive queue failure.
    // The transaction waits until the user has seen it.
    virtual void linkWarning(const char *text) = 0;
    // A failure nobody needs to act on at once (a refused activate command), for the console.
    virtual void consoleNote(const char *text) = 0;
    // A transaction on the open box ended in a link loss (the box is gone or stopped
    // answering): told once per transaction, after its other reports.
    virtual void linkLost(LinkError /*error*/) {}
    // Every frame as it goes and its reply as it arrived: a trace for those who ask for it.
    virtual void requestSent(std::span<const uint8_t> /*request*/) {}
    virtual void replyReceived(std::span<const uint8_t> /*reply*/, bool /*silent*/) {}
};
