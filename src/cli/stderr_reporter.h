#pragma once
// The session's reports on standard error: the window's texts one per line, the EDID
// transfer's progress when standard error is a terminal, and with --trace every frame.
// Quiet, the messages are kept and shown only when the command fails.

#include "core/box/box_reporter.h"

#include <QStringList>
#include <QTextStream>

#include <span>

namespace cli {

class StderrReporter : public BoxReporter {
public:
    StderrReporter(QTextStream &err, bool terminal, bool trace, bool quiet)
        : err_(err), terminal_(terminal), trace_(trace), quiet_(quiet) {}

    void statusMessage(const char *text, int ms) override;
    void transferProgress(int value, int total) override;
    void linkWarning(const char *text) override;
    void consoleNote(const char *text) override;
    void requestSent(std::span<const uint8_t> request) override;
    void replyReceived(std::span<const uint8_t> reply, bool silent) override;

    // A message of the command line itself.
    void message(const QString &text);
    // Quiet: shows the messages kept so far (the command failed).
    void showKept();
    // While held, messages are kept as when quiet: the reads that tell the journal what a
    // change overwrites are not the command's news, unless the command fails.
    void hold(bool holding) { holding_ = holding; }

private:
    void endProgressLine();

    QTextStream &err_;
    bool terminal_;
    bool trace_;
    bool quiet_;
    bool holding_ = false;
    bool progressShown_ = false;
    QStringList kept_;
};

// Upper-case two-digit hex, one space between bytes.
QString spacedBytes(std::span<const uint8_t> bytes);

} // namespace cli
