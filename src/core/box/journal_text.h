#pragma once
// The journal's entries as text, as the command line lists them and the window shows them.

#include "core/box/journal.h"

#include <QString>
#include <QStringList>

// "2026-12-08 10:15:02": local time, to the second.
QString journalTimeText(const QDateTime &time);
// "applied", "failed: refused", or "outcome not recorded" for an entry cut short.
QString journalOutcomeText(const JournalEntry &entry);
// "7  2026-12-08 10:15:02  command line  set input=bot  applied"; the bridge with its client id.
QString journalEntryLine(const JournalEntry &entry);
// What the entry overwrote, a line per part: "input: top -> bot", "edid: 14 of 256 bytes
// changed", "cec-sp: what it replaced is not known".
QStringList journalEntryDetails(const JournalEntry &entry);
