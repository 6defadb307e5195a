#pragma once
// The doctor's diagnosis as the front ends show it: the matrix as columns of text, the
// findings and the fixes in words, one capability with every cell's evidence, a fix's preview
// (what it sends, what the box would offer), and the whole as one JSON object.

#include "core/box/box_configuration.h"
#include "core/chain/chain_doctor.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <vector>

namespace chain {

// The matrix: a heading, then a line per row ("*" before a row with a finding), each column as
// wide as its widest value.
QStringList matrixLines(const Diagnosis &diagnosis);
// "1. LPCM 5.1: BOT (DENON-AVR) states it ...", then "   Fixes: 1, 2" (or why there is none).
QStringList findingLines(const Diagnosis &diagnosis);
// "1. automix algorithm Max Audio, Min Video (expected): brings ...", what it sends and the
// command lines that do the same, a custom EDID saved to `file`.
QStringList fixLines(const Diagnosis &diagnosis, const QString &file);
// One row: each column's value with its evidence, its findings and the fixes that bring them.
QStringList whyLines(const Diagnosis &diagnosis, Capability capability);

// What the fix changes of the box as the diagnosis read it, as a restore lists it.
std::vector<ConfigurationChange> fixDifferences(const Diagnosis &diagnosis, const ChainFix &fix);
// "brings LPCM 5.1, DTS:X; loses nothing; BOT (DENON-AVR) does not state: ALLM"
QString fixSummary(const Diagnosis &diagnosis, const ChainFix &fix);
// The rows whose value the fix would change: "LPCM 5.1: no -> yes".
QStringList fixOfferLines(const Diagnosis &diagnosis, const ChainFix &fix);
// The fix's preview: what it sends, then what the box would offer, and how that is known.
QStringList fixPreviewLines(const Diagnosis &diagnosis, size_t fix);

// {"columns", "matrix", "findings", "fixes", "notes"}
QJsonObject diagnosisJson(const Diagnosis &diagnosis, const QString &file);
// The short form for home automation: {"count", "findings": [{"key", "capability", "text"}],
// "fixes": [{"number", "fix", "brings"}]}.
QJsonObject diagnosisSummaryJson(const Diagnosis &diagnosis);

} // namespace chain
