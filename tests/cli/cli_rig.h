#pragma once
// The command line run in-process against the simulated box on a fake clock: its standard
// output and error as text, and what the box received.

#include "monitor_command.h"
#include "run_cli.h"
#include "sim/simulated_box.h"

#include <QByteArray>
#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTextStream>

#include <functional>

// Standard output on a full disk: every write fails.
class FullDevice : public QIODevice {
protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64) override { return -1; }
};

struct CliRig {
    sim::FakeLinkClock clock{1000};
    sim::SimulatedBox box{clock};
    QString demoFile;
    QString configurationDirectory;
    QString journalDirectory; // set: the changes are journaled there
    bool terminal = false;    // standard error is a terminal
    bool outTerminal = false; // standard output is a terminal
    bool outFull = false;     // standard output takes nothing (a full disk)
    // The monitor's wait and clock of its lines; unset, the fake clock sleeps and the system's
    // time stamps.
    std::function<bool(uint32_t)> wait;
    std::function<QDateTime()> now;
    QByteArray outBytes;
    QByteArray errBytes;

    int run(const QStringList &arguments) {
        outBytes.clear();
        errBytes.clear();
        box.clearLog();
        QTextStream out(&outBytes);
        QTextStream err(&errBytes);
        FullDevice full;
        if (outFull) {
            full.open(QIODevice::WriteOnly);
            out.setDevice(&full);
        }
        const cli::Environment environment{
            .out = out,
            .err = err,
            .errIsTerminal = terminal,
            .outIsTerminal = outTerminal,
            .clock = clock,
            .systemUsb = [this]() -> UsbXpress & { return box; },
            .defaultDemoFile = demoFile,
            .configurationDirectory = configurationDirectory,
            .keepJournal = !journalDirectory.isEmpty(),
            .journalDirectory = journalDirectory,
        };
        cli::setMonitorHooks({.wait = wait, .now = now});
        const int status = cli::runCli(arguments, environment);
        out.flush();
        err.flush();
        return status;
    }

    QString out() const { return QString::fromUtf8(outBytes); }
    QStringList outLines() const { return out().split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    QStringList errLines() const {
        return QString::fromUtf8(errBytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QJsonObject json() const { return QJsonDocument::fromJson(outBytes).object(); }

    // Every request the box received, as the trace writes it.
    QStringList requests() const {
        QStringList list;
        for (const sim::LoggedFrame &frame : box.frames()) {
            QStringList groups;
            for (const uint8_t byte : frame.request) {
                groups << QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
            }
            list << groups.join(QLatin1Char(' '));
        }
        return list;
    }
};
