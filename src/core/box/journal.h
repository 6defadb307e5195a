#pragma once
// The journal of the changes made to one box, kept per box serial in one JSON Lines file,
// DIRECTORY/SERIAL.jsonl. Before the gate sends a change it appends one line: the entry's
// number, the time, the front end (and the bridge's client id), the change in words, what it
// overwrites, what of that the box held (as far as it had been read) and what it sends.
// After the change a second line with the same number gives the outcome. An entry without
// that line was cut short (the program ended before the box answered).
//
//     {"id":7,"time":"2026-12-08T09:15:02.120Z","front_end":"command line","client":"",
//      "change":"set input=bot","overwrites":["input"],"before":{"settings":{"input":"top"}},
//      "after":{"settings":{"input":"bot"}}}
//     {"id":7,"outcome":"applied"}
//
// Lines are appended whole under a lock (DIRECTORY/SERIAL.jsonl.lock), so the bridge and a
// command may write at once. The file keeps at most 500 entries and 1 MB: when either is
// passed, the oldest tenth goes. A damaged line is skipped with a warning. A journal that
// cannot be written is the caller's warning, never a reason to stop a change.

#include "core/box/box_configuration.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

constexpr int kMaxJournalEntries = 500;
constexpr qint64 kMaxJournalBytes = 1024 * 1024;

struct JournalEntry {
    int id = 0; // 1, 2, ... in the order the entries were begun
    QDateTime time;
    QString frontEnd;          // "window", "command line", "bridge"
    QString client;            // the bridge's client id
    QString change;            // in words: "set input=bot"
    QStringList overwrites;    // what it overwrites, by name: "input", "edid", "cec-sp"
    BoxConfiguration before;   // what the box held of that, where it was known
    BoxConfiguration after;    // what the change made it hold; nothing after a factory reset
    std::optional<int> undoes; // the entry this one took back
    QString outcome;           // "applied" or "failed"; empty while not recorded
    QString reason;            // why it failed

    // What it overwrote that nobody had read: in `overwrites`, not in `before`.
    QStringList notKnown() const;
    bool operator==(const JournalEntry &other) const = default;
};

// $XDG_STATE_HOME/veltrika/journal, or ~/.local/state/veltrika/journal when XDG_STATE_HOME is
// unset or not an absolute path.
QString defaultJournalDirectory(const QString &xdgStateHome, const QString &home);
// The demo box's journal, beside its state file: FILE.journal.
QString demoJournalDirectory(const QString &demoStateFile);

// The entry as one JSON object: its first line with the outcome and reason added.
QJsonObject journalEntryObject(const JournalEntry &entry);
// A configuration as the journal holds it: {"settings": {"input": "top", ...}, "edid": "<512 hex
// digits>", "hdr_infoframe": "<colon hex>", "avi": "<colon hex>"}, each part only when held.
QJsonObject journalConfigurationObject(const BoxConfiguration &configuration);

struct JournalRead {
    std::vector<JournalEntry> entries; // oldest first
    QStringList warnings;              // "line 12: damaged, skipped"
    QString error;                     // the file exists but could not be read
};

class Journal {
public:
    Journal(const QString &directory, const QString &serial);

    const QString &fileName() const { return fileName_; }
    // Appends the entry's first line and sets its number; false with `error` when it could
    // not be written.
    bool begin(JournalEntry &entry, QString *error);
    // Appends the outcome line of an entry that begin() numbered.
    bool finish(const JournalEntry &entry, QString *error);
    // Every entry, its outcome merged in. No file is no entry.
    JournalRead read() const;

private:
    bool append(const QByteArray &line, JournalEntry *numbered, QString *error);

    QString directory_;
    QString fileName_;
};
