#include "signal_history.h"

#include "core/base/saved_file.h"
#include "field_words.h"
#include "file_dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

namespace {

const char *const kColumnTitles[] = {"Time", "What", "From", "To"};

QString csvField(const QString &field) {
    static const QString kSpecial = QStringLiteral(",\"\r\n");
    if (std::none_of(field.begin(), field.end(), [](QChar c) { return kSpecial.contains(c); })) {
        return field;
    }
    QString quoted = field;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

HistoryEntry SignalHistory::entryOf(const watch::WatchEvent &event, const QDateTime &time) {
    HistoryEntry entry{time, QLatin1String(watch::eventKindName(event.kind)), {}, {}};
    switch (event.kind) {
    case watch::EventKind::Attached:
        entry.to = event.firmware.isEmpty() ? QStringLiteral("firmware unknown")
                                            : QStringLiteral("firmware %1").arg(event.firmware);
        break;
    case watch::EventKind::Detached:
        entry.to = event.why;
        break;
    case watch::EventKind::Changed:
        entry.what = event.field;
        entry.from = status::fieldValueText(event.from);
        entry.to = status::fieldValueText(event.to);
        break;
    }
    return entry;
}

void SignalHistory::add(const std::vector<watch::WatchEvent> &events, const QDateTime &time) {
    if (events.empty()) {
        return;
    }
    const int first = static_cast<int>(entries_.size());
    beginInsertRows({}, first, first + static_cast<int>(events.size()) - 1);
    for (const watch::WatchEvent &event : events) {
        entries_.push_back(entryOf(event, time));
    }
    endInsertRows();
    if (entries_.size() > kMaxEntries) {
        const auto excess = static_cast<int>(entries_.size() - kMaxEntries);
        beginRemoveRows({}, 0, excess - 1);
        entries_.erase(entries_.begin(), entries_.begin() + excess);
        dropped_ += excess;
        endRemoveRows();
        emit droppedChanged(dropped_);
    }
}

void SignalHistory::clear() {
    beginResetModel();
    std::deque<HistoryEntry>().swap(entries_);
    dropped_ = 0;
    endResetModel();
    emit droppedChanged(dropped_);
}

QString SignalHistory::timeText(const QDateTime &time) {
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QString SignalHistory::text() const {
    QString text;
    if (dropped_ > 0) {
        text += QStringLiteral("(%1 older events dropped; the last %2 are kept)\n")
                    .arg(dropped_)
                    .arg(kMaxEntries);
    }
    for (const HistoryEntry &entry : entries_) {
        text += timeText(entry.time) + QLatin1String("  ") + fieldWord(entry.what);
        if (!entry.from.isEmpty()) {
            text += QLatin1String("  ") + entry.from + QLatin1String(" -> ") + entry.to;
        } else if (!entry.to.isEmpty()) {
            text += QLatin1String("  ") + entry.to;
        }
        text += QLatin1Char('\n');
    }
    return text;
}

QByteArray SignalHistory::csv() const {
    QString text = QStringLiteral("time,what,from,to\r\n");
    for (const HistoryEntry &entry : entries_) {
        text += csvField(timeText(entry.time)) + QLatin1Char(',') + csvField(entry.what) + QLatin1Char(',') +
                csvField(entry.from) + QLatin1Char(',') + csvField(entry.to) + QLatin1String("\r\n");
    }
    return text.toUtf8();
}

int SignalHistory::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int SignalHistory::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant SignalHistory::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole || index.row() >= rowCount()) {
        return {};
    }
    const HistoryEntry &entry = entries_[static_cast<size_t>(index.row())];
    switch (index.column()) {
    case Time:
        return timeText(entry.time);
    case What:
        return fieldWord(entry.what);
    case From:
        return entry.from;
    case To:
        return entry.to;
    default:
        break;
    }
    return {};
}

QVariant SignalHistory::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    return tr(kColumnTitles[section]);
}

SignalHistoryWindow::SignalHistoryWindow(SignalHistory &history, FileDialogs *&fileDialogs, QWidget *parent)
    : QWidget(parent, Qt::Window), history_(history), fileDialogs_(fileDialogs) {
    setWindowTitle(tr("Signal History"));
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("historyTable"));
    table_->setModel(&history_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setColumnWidth(SignalHistory::Time, 190);
    table_->setColumnWidth(SignalHistory::What, 150);
    table_->setColumnWidth(SignalHistory::From, 230);

    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("historyNote"));
    auto *copy = new QPushButton(tr("Copy as text"), this);
    copy->setObjectName(QStringLiteral("historyCopy"));
    auto *save = new QPushButton(tr("Save as CSV…"), this);
    save->setObjectName(QStringLiteral("historySave"));
    connect(copy, &QPushButton::clicked, this, [this] { copyText(); });
    connect(save, &QPushButton::clicked, this, [this] { saveCsv(); });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(note_, 1);
    buttons->addWidget(copy);
    buttons->addWidget(save);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(buttons);
    resize(820, 420);

    // It follows as the history grows, unless the user has scrolled up to read.
    QScrollBar *bar = table_->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this,
            [this, bar](int value) { following_ = value == bar->maximum(); });
    connect(&history_, &QAbstractItemModel::rowsInserted, this, [this] {
        if (following_) {
            table_->scrollToBottom();
        }
    });
    connect(&history_, &SignalHistory::droppedChanged, this, [this] { showNote(); });
    showNote();
    table_->scrollToBottom();
}

QString SignalHistoryWindow::note() const {
    return note_->text();
}

void SignalHistoryWindow::showNote() {
    note_->setText(
        history_.dropped() == 0
            ? tr("Every event since the start (the last %1 are kept).").arg(SignalHistory::kMaxEntries)
            : tr("%1 older events dropped: the last %2 are kept.")
                  .arg(history_.dropped())
                  .arg(SignalHistory::kMaxEntries));
}

void SignalHistoryWindow::copyText() {
    QGuiApplication::clipboard()->setText(history_.text());
}

bool SignalHistoryWindow::saveCsv() {
    const QString fileName = fileDialogs_->saveFileName(this, tr("Save Signal History as CSV"),
                                                        QStringLiteral("signal-history.csv"),
                                                        tr("CSV files (*.csv);;All files (*)"));
    if (fileName.isEmpty()) {
        return false;
    }
    const QByteArray bytes = history_.csv();
    QString error;
    if (!saveFile(fileName,
                  {reinterpret_cast<const uint8_t *>(bytes.constData()), static_cast<size_t>(bytes.size())},
                  &error)) {
        QMessageBox::warning(this, tr("Signal History"),
                             tr("Cannot write file %1: %2.").arg(fileName, error));
        return false;
    }
    return true;
}
