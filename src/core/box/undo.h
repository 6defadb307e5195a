#pragma once
// Taking back a change the journal recorded. What the entry overwrote, as far as it was
// known, goes back into the box through the restore planner (only what differs, read back and
// checked), sent through the gate as one more change, and so recorded as one more entry. A
// part that has changed again since the entry (the box holds neither what the entry left nor
// what it overwrote) is named, and put back only when the user insists.

#include "core/box/box_change.h"
#include "core/box/journal.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

struct UndoPlan {
    JournalEntry entry;
    BoxConfiguration wanted;        // what the entry overwrote, as far as it was known
    QStringList notKnown;           // what it overwrote that nobody had read: it stays as it is
    QStringList changedSince;       // "input: bot as entry 7 left it, matrix-swap now"
    std::vector<RestoreStep> steps; // from the box as read now to `wanted`
};

// The entry an undo takes when none is named: the newest that overwrote what the box keeps,
// is no undo itself and was not taken back by a later one.
std::optional<JournalEntry> lastUndoable(const std::vector<JournalEntry> &entries);

// The parts of the box to read before planning the entry's undo.
ConfigurationParts partsToRead(const JournalEntry &entry);

// The plan against the box as read now, or nothing with `why` set: the entry overwrote
// nothing that was known, or the box holds all of it again.
std::optional<UndoPlan> planUndo(const JournalEntry &entry, const BoxConfiguration &box, QString *why);

// The plan as the change the gate sends: "undo 7 (set input=bot)", noting the entry it undoes.
BoxChange undoChange(const UndoPlan &plan);

// The notes every front end shows with a plan: a line per part not known, then one per part
// changed since.
QStringList undoNotes(const UndoPlan &plan);
