#pragma once
// Signal History: every event of the box since the window started (attached, detached, each
// changed field, from the watcher), newest at the bottom, kept to the last 10,000; a table
// that follows as it grows, Copy as text and Save as CSV (RFC 4180). The table and the text
// name the fields in words; the CSV keeps the keys.

#include "core/box/watcher.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QWidget>

#include <deque>

class FileDialogs;
class QLabel;
class QTableView;

// One row: when (local time), what happened, from, to.
struct HistoryEntry {
    QDateTime time;
    QString what; // the event or the field's key; the table and the text show its word
    QString from;
    QString to;
};

class SignalHistory : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr size_t kMaxEntries = 10000;
    enum Column { Time, What, From, To, kColumnCount };

    explicit SignalHistory(QObject *parent = nullptr) : QAbstractTableModel(parent) {}

    // Adds the watcher's events, stamped with `time`; the oldest go beyond 10,000.
    void add(const std::vector<watch::WatchEvent> &events, const QDateTime &time);
    static HistoryEntry entryOf(const watch::WatchEvent &event, const QDateTime &time);

    const std::deque<HistoryEntry> &entries() const { return entries_; }
    // Forgets every event (and the count of dropped ones).
    void clear();
    // How many older events were dropped to keep the last 10,000.
    qint64 dropped() const { return dropped_; }
    // "2026-12-08 10:15:02.120": local time to the millisecond.
    static QString timeText(const QDateTime &time);
    // Every row as a line, the fields in words, after a line on the dropped ones when there
    // are any.
    QString text() const;
    // RFC 4180: a header, every row with the fields' keys, fields quoted when they hold a
    // comma, a quote or a line break (a quote doubled), each record ended by CR LF.
    QByteArray csv() const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    void droppedChanged(qint64 dropped);

private:
    std::deque<HistoryEntry> entries_;
    qint64 dropped_ = 0;
};

class SignalHistoryWindow : public QWidget {
    Q_OBJECT

public:
    SignalHistoryWindow(SignalHistory &history, FileDialogs *&fileDialogs, QWidget *parent);
    // The note under the table: what is kept, and how many were dropped.
    QString note() const;
    // Save as CSV to the file the dialogs give; false when cancelled or not written.
    bool saveCsv();
    void copyText();

private:
    void showNote();

    SignalHistory &history_;
    FileDialogs *&fileDialogs_;
    QTableView *table_;
    QLabel *note_;
    bool following_ = true;
};
