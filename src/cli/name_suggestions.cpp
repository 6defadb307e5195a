#include "name_suggestions.h"

#include "arguments.h"

#include <algorithm>
#include <vector>

namespace cli {
namespace {

// The edit distance of two names: insertions, deletions, substitutions and swaps of two
// neighbours count one each.
qsizetype editDistance(const QString &a, const QString &b) {
    const qsizetype n = a.size();
    const qsizetype m = b.size();
    std::vector<std::vector<qsizetype>> d(static_cast<size_t>(n + 1),
                                          std::vector<qsizetype>(static_cast<size_t>(m + 1), 0));
    const auto at = [&d](qsizetype i, qsizetype j) -> qsizetype & {
        return d[static_cast<size_t>(i)][static_cast<size_t>(j)];
    };
    for (qsizetype i = 0; i <= n; ++i) {
        at(i, 0) = i;
    }
    for (qsizetype j = 0; j <= m; ++j) {
        at(0, j) = j;
    }
    for (qsizetype i = 1; i <= n; ++i) {
        for (qsizetype j = 1; j <= m; ++j) {
            const qsizetype cost = a[i - 1] == b[j - 1] ? 0 : 1;
            at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
            }
        }
    }
    return at(n, m);
}

// The candidate nearest to the name, when it is near enough to be what was meant: at most
// two edits, and fewer than the name has characters. Empty otherwise.
QString nearestName(const QString &name, const QStringList &candidates) {
    constexpr qsizetype kMostEdits = 2;
    QString nearest;
    qsizetype best = kMostEdits + 1;
    for (const QString &candidate : candidates) {
        const qsizetype distance = editDistance(name, candidate);
        if (distance < best && distance < name.size()) {
            best = distance;
            nearest = candidate;
        }
    }
    return nearest;
}

} // namespace

QString suggestion(const QString &name, const QStringList &candidates) {
    const QString nearest = nearestName(name, candidates);
    return nearest.isEmpty() ? QString() : QStringLiteral(" — did you mean %1?").arg(nearest);
}

QString commandSuggestion(const QStringList &words) {
    QString best;
    qsizetype bestDistance = 0;
    for (const CommandInfo &info : allCommands()) {
        const QString name = textOf(info.words);
        const qsizetype count = name.count(QLatin1Char(' ')) + 1;
        const QString typed = words.mid(0, count).join(QLatin1Char(' '));
        if (words.size() < count || nearestName(typed, {name}).isEmpty()) {
            continue;
        }
        const qsizetype distance = editDistance(typed, name);
        if (best.isEmpty() || distance < bestDistance) {
            best = name;
            bestDistance = distance;
        }
    }
    return best.isEmpty() ? QString() : QStringLiteral(" — did you mean %1?").arg(best);
}

} // namespace cli
