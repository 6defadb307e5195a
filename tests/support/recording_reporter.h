#pragma once
// A reporter for tests without widgets: every report of a session as one line, in order.

#include "core/box/box_reporter.h"
#include "core/box/box_session.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <span>

class RecordingReporter : public BoxReporter {
public:
    void statusMessage(const char *text, int ms) override {
        lines << QStringLiteral("status %1 (%2)").arg(QString::fromLatin1(text)).arg(ms);
    }
    void transferProgress(int value, int total) override {
        progress << QStringLiteral("%1/%2").arg(value).arg(total);
    }
    void linkWarning(const char *text) override {
        lines << QStringLiteral("warning %1").arg(QString::fromLatin1(text));
        warningWhileBusy = busyProbe && busyProbe();
    }
    void consoleNote(const char *text) override {
        lines << QStringLiteral("console %1").arg(QString::fromLatin1(text).trimmed());
    }
    void linkLost(LinkError error) override { losses << QString::fromLatin1(linkErrorName(error)); }
    void requestSent(std::span<const uint8_t> request) override { trace << "-> " + hex(request); }
    void replyReceived(std::span<const uint8_t> reply, bool silent) override {
        trace << (silent ? QStringLiteral("<- (silent)") : "<- " + hex(reply));
    }

    static QString hex(std::span<const uint8_t> bytes) {
        QStringList groups;
        for (uint8_t byte : bytes) {
            groups << QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
        }
        return groups.join(QLatin1Char(' '));
    }

    QStringList lines;    // status messages, warnings and console notes
    QStringList progress; // transfer progress as value/total
    QStringList trace;    // frames and replies
    QStringList losses;   // the link losses told, by name
    std::function<bool()> busyProbe;
    bool warningWhileBusy = false;
};
