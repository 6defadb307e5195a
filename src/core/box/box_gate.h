#pragma once
// The one way a change reaches the box. Every front end (the window, the command line, the
// bridge, and whatever offers fixes later) builds a BoxChange and:
//
//  1. asks checkChange() what the gate makes of it: Ok, Ask (findings a person may overrule:
//     an EDID a source may not read or the decoder fails, a packet the infoframe or CEC
//     decoder fails, a setting value the table does not name in a settings block) or Refused
//     (what can never go: a value the settings table does not name, a packet outside its
//     length rules, a factory reset of nothing it knows);
//  2. answers it as that front end does: the window asks a person (default No), the command
//     line needs --as-is, the bridge never overrules;
//  3. hands it to applyChange() with that answer. The gate checks again, records in the
//     journal what the change will overwrite (what the session last read of it, or what the
//     gate itself sent since; never a read of its own), sends it through the session's
//     operations, and records the outcome.
//
// A front end whose time allows it may call readBefore() first, so that the journal knows
// what the change overwrites even where nothing had read it yet. Reads go to the session as
// they always did; the gate sees what they find through the session's read observer.
//
// Undo (undo.h) plans a change from a journal entry and sends it through the same gate.

#include "core/box/box_change.h"
#include "core/box/box_configuration_session.h"
#include "core/box/journal.h"

#include <QString>
#include <QStringList>

#include <optional>

enum class Verdict : uint8_t { Ok, Ask, Refused };

struct GateVerdict {
    Verdict verdict = Verdict::Ok;
    // Ask: one line per finding ("Failure: Length: 17 bytes: a message holds at most 16");
    // Refused: the reason, one line.
    QStringList findings;
    // An EDID's checksums are wrong: a finding of its own, which the window asks about (and
    // offers to repair) with a question of its own and the command line with its own options.
    bool checksumsWrong = false;
    // The findings, then the checksums' line when they are wrong.
    QStringList lines() const;
};

// The front end's answer to a verdict of Ask: Yes when a person overrules the findings.
enum class Answer : uint8_t { No, Yes };

enum class FrontEnd : uint8_t { Window, CommandLine, Bridge };

struct ChangeOrigin {
    FrontEnd frontEnd = FrontEnd::CommandLine;
    QString client; // the bridge's client id
};

// "window", "command line", "bridge".
QString frontEndName(FrontEnd frontEnd);

struct ChangeResult {
    GateVerdict verdict;
    bool sent = false;                 // frames went to the box
    LinkError error = LinkError::None; // why the box did not take it (or its first part)
    // The part that failed, when not the first: "replace-avi" after an AVI send.
    QString failedPart;
    RestoreReport restore;                    // Restore: what was applied
    std::optional<JournalEntry> journalEntry; // the entry that records it, with its outcome
    QString journalWarning;                   // why the journal could not record it; the change went on
    bool ok() const { return sent && error == LinkError::None && restore.ok(); }
};

// What the gate makes of a change, before anything is sent: needs no box.
GateVerdict checkChange(const BoxChange &change);

class BoxGate : private BoxReadObserver {
public:
    // `journal` may be null: the changes are then recorded nowhere. The caller keeps the
    // session, the clock and the journal; the gate watches the session's reads while it lives.
    BoxGate(BoxSession &session, LinkClock &clock, Journal *journal);
    ~BoxGate() override;
    BoxGate(const BoxGate &) = delete;
    BoxGate &operator=(const BoxGate &) = delete;

    // Sends the change when the verdict is Ok, or Ask with the answer Yes; a Restore reports
    // each step done to `progress`. Nothing is sent otherwise (result.sent is false).
    ChangeResult applyChange(const BoxChange &change, const ChangeOrigin &origin, Answer answer,
                             const RestoreProgress &progress = {});

    // Reads from the box what the change overwrites and the gate does not know: the settings,
    // the custom EDID (only readable in CUSTOM mode on preset 0), the stored infoframes.
    void readBefore(const BoxChange &change);

    // What the gate knows the box holds: from the session's reads and its own changes since.
    const BoxConfiguration &known() const { return known_; }
    Journal *journal() const { return journal_; }

private:
    void settingsRead(const record::StatusRecord &record) override;
    void ownEdidRead(const EdidImage &image) override;
    void registersRead(uint8_t address, uint8_t count, const proto::ReplyBuffer &block) override;

    void send(const BoxChange &change, const RestoreProgress &progress, ChangeResult &result);
    void learn(const BoxChange &change, const ChangeResult &result);

    BoxSession &session_;
    LinkClock &clock_;
    Journal *journal_;
    BoxConfiguration known_;
};
