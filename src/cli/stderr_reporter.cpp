#include "stderr_reporter.h"

#include "core/edid/spaced_hex.h"

namespace cli {

QString spacedBytes(std::span<const uint8_t> bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size() * 3));
    for (const uint8_t byte : bytes) {
        if (!text.isEmpty()) {
            text += QLatin1Char(' ');
        }
        text += edidByteText(byte);
    }
    return text;
}

// A message takes the progress line's place: carriage return, then clear to the line's end.
void StderrReporter::endProgressLine() {
    if (progressShown_) {
        err_ << "\r\x1b[K";
        progressShown_ = false;
    }
}

void StderrReporter::message(const QString &text) {
    if (quiet_ || holding_) {
        kept_ << text;
        return;
    }
    endProgressLine();
    err_ << text << '\n';
    err_.flush();
}

void StderrReporter::showKept() {
    for (const QString &text : std::as_const(kept_)) {
        err_ << text << '\n';
    }
    kept_.clear();
    err_.flush();
}

// The window's texts carry line feeds for its message boxes; one line each here.
void StderrReporter::statusMessage(const char *text, int /*ms*/) {
    message(QString::fromLatin1(text).trimmed());
}

void StderrReporter::linkWarning(const char *text) {
    message(QString::fromLatin1(text).trimmed());
}

void StderrReporter::consoleNote(const char *text) {
    message(QString::fromLatin1(text).trimmed());
}

void StderrReporter::transferProgress(int value, int total) {
    if (!terminal_ || quiet_ || holding_) {
        return;
    }
    if (total <= 0) {
        endProgressLine();
        err_.flush();
        return;
    }
    err_ << "\rEDID " << (value * 100 / total) << " %";
    err_.flush();
    progressShown_ = true;
}

void StderrReporter::requestSent(std::span<const uint8_t> request) {
    if (trace_) {
        endProgressLine();
        err_ << "-> " << spacedBytes(request) << '\n';
        err_.flush();
    }
}

void StderrReporter::replyReceived(std::span<const uint8_t> reply, bool silent) {
    if (trace_) {
        endProgressLine();
        err_ << (silent ? QStringLiteral("<- (silent)") : QStringLiteral("<- ") + spacedBytes(reply)) << '\n';
        err_.flush();
    }
}

} // namespace cli
