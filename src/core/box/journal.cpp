#include "core/box/journal.h"

#include "core/base/code_text.h"
#include "core/box/box_change.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

#ifdef _WIN32
#define NOMINMAX
#include <io.h>
#include <windows.h>
#else
#include <sys/file.h>
#endif

namespace {

// The start of the file read for the first entry's number, the end for the last one's: a few
// lines, then more only when they hold no entry.
constexpr qint64 kHeadBytes = 8 * 1024;
constexpr qint64 kLastLineBytes = 4 * 1024;
constexpr qint64 kTailBytes = 64 * 1024;
// A journal larger than this (written by hand or by another program) is read from its end.
constexpr qint64 kMostBytesRead = 4 * kMaxJournalBytes;
// Another process appends one line under the lock; one that holds it this long is stuck.
constexpr int kLockWaitMs = 3000;
// A trim keeps nine tenths of either bound, so that it comes once in many entries.
constexpr int kKeptEntries = kMaxJournalEntries * 9 / 10;
constexpr qint64 kKeptBytes = kMaxJournalBytes * 9 / 10;

constexpr char kId[] = "id";
constexpr char kTime[] = "time";
constexpr char kFrontEnd[] = "front_end";
constexpr char kClient[] = "client";
constexpr char kChange[] = "change";
constexpr char kOverwrites[] = "overwrites";
constexpr char kBefore[] = "before";
constexpr char kAfter[] = "after";
constexpr char kUndoes[] = "undoes";
constexpr char kOutcome[] = "outcome";
constexpr char kReason[] = "reason";
constexpr char kSettings[] = "settings";
constexpr char kEdid[] = "edid";
constexpr char kHdr[] = "hdr_infoframe";
constexpr char kAvi[] = "avi";

QString key(const char *name) {
    return QLatin1String(name);
}

bool tryLockFile(int descriptor) {
#ifdef _WIN32
    OVERLAPPED overlapped{};
    return LockFileEx(reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)),
                      LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &overlapped) != 0;
#else
    return flock(descriptor, LOCK_EX | LOCK_NB) == 0;
#endif
}

// The journal's lock, held while a line is appended or the file read; closing the lock file
// (at the end of the scope) releases it, also when the process dies.
class JournalLock {
public:
    explicit JournalLock(const QString &journalFile) : file_(journalFile + QStringLiteral(".lock")) {}

    bool acquire(QString *error) {
        if (!file_.open(QIODevice::ReadWrite)) {
            *error = QStringLiteral("cannot open %1: %2").arg(file_.fileName(), file_.errorString());
            return false;
        }
        for (int waitedMs = 0; !tryLockFile(file_.handle()); ++waitedMs) {
            if (waitedMs >= kLockWaitMs) {
                *error = QStringLiteral("%1 stays locked by another program").arg(file_.fileName());
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

private:
    QFile file_;
};

template <size_t N> QString hexText(const std::array<uint8_t, N> &bytes) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(N)).toHex());
}

// Exactly 2N hexadecimal digits, or nothing.
template <size_t N> std::optional<std::array<uint8_t, N>> bytesOfHex(const QJsonValue &value) {
    const QByteArray text = value.toString().toLatin1().toLower();
    const QByteArray bytes = QByteArray::fromHex(text);
    // fromHex passes over what is no digit: a text of anything else comes back otherwise.
    if (!value.isString() || bytes.size() != static_cast<qsizetype>(N) || bytes.toHex() != text) {
        return std::nullopt;
    }
    std::array<uint8_t, N> array{};
    std::copy_n(bytes.constData(), N, reinterpret_cast<char *>(array.data()));
    return array;
}

std::optional<BoxConfiguration> configurationOf(const QJsonValue &value) {
    if (!value.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();
    BoxConfiguration configuration;
    const QJsonObject settings = object.value(key(kSettings)).toObject();
    for (auto it = settings.begin(); it != settings.end(); ++it) {
        const SettingInfo *info = settingNamed(it.key().toStdString());
        if (info == nullptr) {
            return std::nullopt;
        }
        // A value the table names goes by its name, one it does not by its number.
        std::optional<uint8_t> device;
        const int number = it->toInt(-1);
        if (it->isString()) {
            device = settingValueNamed(*info, it->toString().toStdString());
        } else if (it->isDouble() && it->toDouble() == number && number >= 0 && number <= 0xFF) {
            device = static_cast<uint8_t>(number);
        }
        if (!device) {
            return std::nullopt;
        }
        configuration.setSetting(info->setting, *device);
    }
    const auto part = [&object](const char *name, auto &into, auto parse) {
        const QJsonValue text = object.value(key(name));
        if (text.isUndefined()) {
            return true;
        }
        into = parse(text);
        return into.has_value();
    };
    if (!part(kEdid, configuration.customEdid, bytesOfHex<kEdidImageSize>) ||
        !part(kHdr, configuration.hdrInfoframe, bytesOfHex<proto::kStoredHdrBytes>) ||
        !part(kAvi, configuration.aviBytes, bytesOfHex<proto::kStoredAviBytes>)) {
        return std::nullopt;
    }
    return configuration;
}

std::optional<int> entryNumber(const QJsonObject &object) {
    const QJsonValue id = object.value(key(kId));
    const int number = id.toInt(0);
    if (!id.isDouble() || number < 1 || id.toDouble() != number) {
        return std::nullopt;
    }
    return number;
}

QJsonObject firstLineObject(const JournalEntry &entry) {
    QJsonObject object{{key(kId), entry.id},
                       {key(kTime), entry.time.toUTC().toString(Qt::ISODateWithMs)},
                       {key(kFrontEnd), entry.frontEnd},
                       {key(kClient), entry.client},
                       {key(kChange), entry.change},
                       {key(kOverwrites), QJsonArray::fromStringList(entry.overwrites)},
                       {key(kBefore), journalConfigurationObject(entry.before)},
                       {key(kAfter), journalConfigurationObject(entry.after)}};
    if (entry.undoes) {
        object.insert(key(kUndoes), *entry.undoes);
    }
    return object;
}

std::optional<JournalEntry> entryOf(const QJsonObject &object) {
    JournalEntry entry;
    const std::optional<int> id = entryNumber(object);
    const std::optional<BoxConfiguration> before = configurationOf(object.value(key(kBefore)));
    const std::optional<BoxConfiguration> after = configurationOf(object.value(key(kAfter)));
    entry.time = QDateTime::fromString(object.value(key(kTime)).toString(), Qt::ISODateWithMs);
    if (!id || !before || !after || !entry.time.isValid() || !object.value(key(kChange)).isString() ||
        !object.value(key(kOverwrites)).isArray()) {
        return std::nullopt;
    }
    entry.id = *id;
    entry.frontEnd = object.value(key(kFrontEnd)).toString();
    entry.client = object.value(key(kClient)).toString();
    entry.change = object.value(key(kChange)).toString();
    for (const QJsonValue &name : object.value(key(kOverwrites)).toArray()) {
        entry.overwrites << name.toString();
    }
    entry.before = *before;
    entry.after = *after;
    if (object.contains(key(kUndoes))) {
        entry.undoes = object.value(key(kUndoes)).toInt();
    }
    return entry;
}

QByteArray lineOf(const QJsonObject &object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

// One line of the file as a JSON object with an entry number, or nothing when it is damaged.
std::optional<QJsonObject> lineObject(QByteArrayView line) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject() || !entryNumber(document.object())) {
        return std::nullopt;
    }
    return document.object();
}

// What the file says of its entries: the first and last numbers, and whether its last line
// is whole.
struct Tail {
    int firstId = 0; // 0: no entry found at the start
    int lastId = 0;
    qint64 size = 0;
    bool endsWithLineFeed = true;
};

// The number of the first entry begun in the lines, or of the last (`fromEnd`); 0 when none
// begins one. An outcome line does not count: another process may record the outcome of an
// older entry after a newer one began. A read that began or ended inside a line leaves that
// piece out.
int entryNumberIn(const QByteArray &bytes, bool fromStart, bool toEnd, bool fromEnd) {
    QList<QByteArray> lines = bytes.split('\n');
    if (!fromStart && !lines.isEmpty()) {
        lines.removeFirst();
    }
    if (!toEnd && !lines.isEmpty()) {
        lines.removeLast();
    }
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const std::optional<QJsonObject> object = lineObject(lines[fromEnd ? lines.size() - 1 - i : i]);
        if (object && !object->contains(key(kOutcome))) {
            return *entryNumber(*object);
        }
    }
    return 0;
}

// The entries are begun in their order: the first line that begins one has the first number,
// the last the last. Only the ends are read, more of them only when they hold none.
Tail readTail(QFile &file, bool numbers) {
    Tail tail;
    tail.size = file.isSequential() ? 0 : file.size(); // a device is nothing to read back
    if (tail.size == 0) {
        return tail;
    }
    file.seek(tail.size - 1);
    tail.endsWithLineFeed = file.read(1) == "\n";
    if (!numbers) {
        return tail;
    }
    file.seek(0);
    const qint64 head = std::min(kHeadBytes, tail.size);
    tail.firstId = entryNumberIn(file.read(head), true, head == tail.size, false);
    for (const qint64 most : {kLastLineBytes, kTailBytes, kMostBytesRead}) {
        const qint64 window = std::min(most, tail.size);
        file.seek(tail.size - window);
        tail.lastId = entryNumberIn(file.read(window), window == tail.size, true, true);
        if (tail.lastId > 0 || window == tail.size) {
            break;
        }
    }
    return tail;
}

// Keeps the newest entries, nine tenths of either bound, in their order; damaged lines go.
QByteArray trimmed(const QByteArray &content) {
    std::map<int, QByteArray> entries;
    for (const QByteArray &line : content.split('\n')) {
        if (const std::optional<QJsonObject> object = lineObject(line)) {
            entries[*entryNumber(*object)] += line + '\n';
        }
    }
    int kept = 0;
    qint64 bytes = 0;
    auto first = entries.end();
    while (first != entries.begin()) {
        const auto previous = std::prev(first);
        if (kept + 1 > kKeptEntries || bytes + previous->second.size() > kKeptBytes) {
            break;
        }
        ++kept;
        bytes += previous->second.size();
        first = previous;
    }
    QByteArray out;
    out.reserve(bytes);
    for (auto it = first; it != entries.end(); ++it) {
        out += it->second;
    }
    return out;
}

// A failed trim leaves the file as it was: it is tried again after the next entry.
void trim(const QString &fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    const QByteArray content = file.read(kMostBytesRead);
    file.close();
    QSaveFile save(fileName);
    if (save.open(QIODevice::WriteOnly)) {
        save.write(trimmed(content));
        save.commit();
    }
}

QString safeSerial(const QString &serial) {
    QString safe;
    for (const QChar c : serial) {
        safe += c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('.') ? c : QLatin1Char('_');
    }
    return safe.isEmpty() || safe.startsWith(QLatin1Char('.')) ? QLatin1Char('_') + safe : safe;
}

} // namespace

QStringList JournalEntry::notKnown() const {
    const QStringList known = heldNames(before);
    QStringList missing;
    for (const QString &name : overwrites) {
        if (!known.contains(name)) {
            missing << name;
        }
    }
    return missing;
}

QString defaultJournalDirectory(const QString &xdgStateHome, const QString &home) {
    const QString base =
        QDir::isAbsolutePath(xdgStateHome) ? xdgStateHome : home + QStringLiteral("/.local/state");
    return base + QStringLiteral("/veltrika/journal");
}

QString demoJournalDirectory(const QString &demoStateFile) {
    return demoStateFile + QStringLiteral(".journal");
}

QJsonObject journalConfigurationObject(const BoxConfiguration &configuration) {
    QJsonObject object;
    QJsonObject settings;
    for (const SettingInfo &info : allSettings()) {
        if (const std::optional<uint8_t> value = configuration.setting(info.setting)) {
            const std::optional<std::string_view> name = settingValueName(info, *value);
            settings.insert(nameText(info.name),
                            name ? QJsonValue(nameText(*name)) : QJsonValue(int{*value}));
        }
    }
    if (!settings.isEmpty()) {
        object.insert(key(kSettings), settings);
    }
    if (configuration.customEdid) {
        object.insert(key(kEdid), hexText(*configuration.customEdid));
    }
    if (configuration.hdrInfoframe) {
        object.insert(key(kHdr), hexText(*configuration.hdrInfoframe));
    }
    if (configuration.aviBytes) {
        object.insert(key(kAvi), hexText(*configuration.aviBytes));
    }
    return object;
}

QJsonObject journalEntryObject(const JournalEntry &entry) {
    QJsonObject object = firstLineObject(entry);
    object.insert(key(kOutcome), entry.outcome.isEmpty() ? QJsonValue() : QJsonValue(entry.outcome));
    if (!entry.reason.isEmpty()) {
        object.insert(key(kReason), entry.reason);
    }
    return object;
}

Journal::Journal(const QString &directory, const QString &serial)
    : directory_(directory),
      fileName_(directory + QLatin1Char('/') + safeSerial(serial) + QStringLiteral(".jsonl")) {}

bool Journal::append(const QByteArray &line, JournalEntry *numbered, QString *error) {
    if (!QDir().mkpath(directory_)) {
        *error = QStringLiteral("cannot make the folder %1").arg(directory_);
        return false;
    }
    JournalLock lock(fileName_);
    if (!lock.acquire(error)) {
        return false;
    }
    QFile file(fileName_);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        *error = QStringLiteral("cannot open %1: %2").arg(fileName_, file.errorString());
        return false;
    }
    const Tail tail = readTail(file, numbered != nullptr);
    QByteArray bytes = line;
    if (numbered != nullptr) {
        numbered->id = tail.lastId + 1;
        bytes = lineOf(firstLineObject(*numbered));
    }
    // A line cut short by a full disk keeps to itself: the next one starts on a line of its own.
    if (!tail.endsWithLineFeed) {
        bytes.prepend('\n');
    }
    // Under the lock nobody else writes: the end read is the end written to.
    if (!file.isSequential()) {
        file.seek(tail.size);
    }
    if (file.write(bytes) != bytes.size()) {
        *error = QStringLiteral("cannot write %1: %2").arg(fileName_, file.errorString());
        return false;
    }
    file.close();
    const int entries = numbered != nullptr && tail.firstId > 0 ? numbered->id - tail.firstId + 1 : 0;
    if (entries > kMaxJournalEntries || tail.size + bytes.size() > kMaxJournalBytes) {
        trim(fileName_);
    }
    return true;
}

bool Journal::begin(JournalEntry &entry, QString *error) {
    return append({}, &entry, error);
}

bool Journal::finish(const JournalEntry &entry, QString *error) {
    QJsonObject object{{key(kId), entry.id}, {key(kOutcome), entry.outcome}};
    if (!entry.reason.isEmpty()) {
        object.insert(key(kReason), entry.reason);
    }
    return append(lineOf(object), nullptr, error);
}

JournalRead Journal::read() const {
    JournalRead read;
    if (!QFileInfo::exists(fileName_)) {
        return read;
    }
    // Read under the lock where it can be taken (a line half written would look damaged); a
    // journal in a folder this user may only read is read all the same.
    JournalLock lock(fileName_);
    QString lockError;
    lock.acquire(&lockError);
    QFile file(fileName_);
    if (!file.open(QIODevice::ReadOnly)) {
        read.error = QStringLiteral("cannot read %1: %2").arg(fileName_, file.errorString());
        return read;
    }
    // A device in the journal's place (/dev/full, a pipe) holds no entry: nothing is read from it.
    if (file.isSequential()) {
        return read;
    }
    const qint64 size = file.size();
    if (size > kMostBytesRead) {
        file.seek(size - kMostBytesRead);
    }
    const QList<QByteArray> lines = file.read(kMostBytesRead).split('\n');
    std::map<int, size_t> byId;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        if (line.trimmed().isEmpty()) {
            continue;
        }
        const QString place = QStringLiteral("line %1").arg(i + 1);
        const std::optional<QJsonObject> object = lineObject(line);
        const std::optional<JournalEntry> entry =
            object && !object->contains(key(kOutcome)) ? entryOf(*object) : std::nullopt;
        if (entry && !byId.contains(entry->id)) {
            byId[entry->id] = read.entries.size();
            read.entries.push_back(*entry);
        } else if (object && object->value(key(kOutcome)).isString() &&
                   byId.contains(*entryNumber(*object))) {
            JournalEntry &outcomeOf = read.entries[byId[*entryNumber(*object)]];
            outcomeOf.outcome = object->value(key(kOutcome)).toString();
            outcomeOf.reason = object->value(key(kReason)).toString();
        } else {
            read.warnings << QStringLiteral("%1: %2: damaged, skipped").arg(fileName_, place);
        }
    }
    return read;
}
