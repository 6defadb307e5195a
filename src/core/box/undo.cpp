#include "core/box/undo.h"

#include "core/base/code_text.h"
#include "core/box/typed_status.h"

#include <algorithm>
#include <functional>

namespace {

bool undone(const JournalEntry &entry, const std::vector<JournalEntry> &entries) {
    return std::any_of(entries.begin(), entries.end(), [&entry](const JournalEntry &later) {
        return later.undoes == entry.id && later.outcome == QLatin1String("applied");
    });
}

// One part of the box as the entry overwrote it, left it and as the box holds it now.
template <typename T> struct PartState {
    std::optional<T> before;
    std::optional<T> after;
    std::optional<T> now;
};

// Whether the part needs putting back; when it has changed again since, why. A setting
// names its values (`text`); bytes are only the same or not.
template <typename T>
bool needsPuttingBack(const PartState<T> &part, const QString &name, const QString &entryName,
                      const std::function<QString(const T &)> &text, QStringList &changedSince) {
    if (part.now && part.now == part.before) {
        return false;
    }
    if (part.now && part.after && part.now == part.after) {
        return true;
    }
    if (!part.now) {
        changedSince << QStringLiteral("%1: cannot be read in the box's EDID mode").arg(name);
    } else if (!part.after) {
        changedSince << (text ? QStringLiteral("%1: what %2 left is not known, %3 now")
                                    .arg(name, entryName, text(*part.now))
                              : QStringLiteral("%1: what %2 left is not known").arg(name, entryName));
    } else {
        changedSince << (text ? QStringLiteral("%1: %2 as %3 left it, %4 now")
                                    .arg(name, text(*part.after), entryName, text(*part.now))
                              : QStringLiteral("%1: not what %2 wrote").arg(name, entryName));
    }
    return true;
}

} // namespace

std::optional<JournalEntry> lastUndoable(const std::vector<JournalEntry> &entries) {
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (!it->undoes && !it->overwrites.isEmpty() && !undone(*it, entries)) {
            return *it;
        }
    }
    return std::nullopt;
}

ConfigurationParts partsToRead(const JournalEntry &entry) {
    return partsHeld(entry.before);
}

std::optional<UndoPlan> planUndo(const JournalEntry &entry, const BoxConfiguration &box, QString *why) {
    const QString entryName = QStringLiteral("entry %1").arg(entry.id);
    UndoPlan plan;
    plan.entry = entry;
    plan.wanted = entry.before;
    plan.notKnown = entry.notKnown();
    if (heldNames(entry.before).isEmpty()) {
        *why = entry.overwrites.isEmpty()
                   ? QStringLiteral("%1 (%2) overwrote nothing the box keeps").arg(entryName, entry.change)
                   : QStringLiteral("what %1 (%2) overwrote was not known: %3")
                         .arg(entryName, entry.change, plan.notKnown.join(QStringLiteral(", ")));
        return std::nullopt;
    }
    bool anything = false;
    for (const SettingInfo &info : allSettings()) {
        const PartState<uint8_t> part{entry.before.setting(info.setting), entry.after.setting(info.setting),
                                      box.setting(info.setting)};
        if (part.before) {
            anything |= needsPuttingBack<uint8_t>(
                part, nameText(info.name), entryName,
                [&info](const uint8_t &value) { return status::settingValueText(info.setting, value); },
                plan.changedSince);
        }
    }
    if (entry.before.customEdid) {
        anything |=
            needsPuttingBack<EdidImage>({entry.before.customEdid, entry.after.customEdid, box.customEdid},
                                        QStringLiteral("edid"), entryName, {}, plan.changedSince);
        // The EDID is written in CUSTOM mode on preset 0; the box goes back to its mode after.
        for (const Setting setting : {Setting::EdidMode, Setting::CustomEdidPreset}) {
            if (!plan.wanted.setting(setting) && box.setting(setting)) {
                plan.wanted.setSetting(setting, *box.setting(setting));
            }
        }
    }
    if (entry.before.hdrInfoframe) {
        anything |= needsPuttingBack<StoredHdrInfoframe>(
            {entry.before.hdrInfoframe, entry.after.hdrInfoframe, box.hdrInfoframe},
            QStringLiteral("hdr_infoframe"), entryName, {}, plan.changedSince);
    }
    if (entry.before.aviBytes) {
        anything |=
            needsPuttingBack<StoredAviBytes>({entry.before.aviBytes, entry.after.aviBytes, box.aviBytes},
                                             QStringLiteral("avi"), entryName, {}, plan.changedSince);
    }
    if (!anything) {
        *why = QStringLiteral("the box holds what %1 (%2) overwrote").arg(entryName, entry.change);
        return std::nullopt;
    }
    plan.steps = planRestore(box, plan.wanted);
    return plan;
}

BoxChange undoChange(const UndoPlan &plan) {
    BoxChange change = BoxChange::ofRestore(
        plan.steps, plan.wanted, QStringLiteral("undo %1 (%2)").arg(plan.entry.id).arg(plan.entry.change));
    change.undoes = plan.entry.id;
    return change;
}

QStringList undoNotes(const UndoPlan &plan) {
    QStringList notes;
    for (const QString &name : plan.notKnown) {
        notes << QStringLiteral("%1: what entry %2 overwrote was not known; it stays as it is")
                     .arg(name)
                     .arg(plan.entry.id);
    }
    for (const QString &line : plan.changedSince) {
        notes << QStringLiteral("changed since: %1").arg(line);
    }
    return notes;
}
