#pragma once
// What the command line proposes for a name it does not know: the known name at most two
// edits away ("— did you mean input?").

#include <QString>
#include <QStringList>

namespace cli {

// " — did you mean input?" when a name is near the misspelled one; empty otherwise.
QString suggestion(const QString &name, const QStringList &candidates);
// The same for unknown command words: the command name nearest to them, each name held
// against as many words as it has.
QString commandSuggestion(const QStringList &words);

} // namespace cli
