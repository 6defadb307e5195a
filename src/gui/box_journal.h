#pragma once
// The window's side of the box journal (core/box/journal.h): where it is kept, and the Box
// Journal window of the View menu, a read-only list of the changes made to the box, from
// every front end, oldest first.

#include "core/box/journal.h"

#include <QWidget>

class QLabel;
class QTableWidget;

// Where the window keeps the box's journal, installed by main() before the window is built,
// as the platform is; with none installed the window keeps no journal.
void installJournalDirectory(const QString &directory);
QString installedJournalDirectory();

class BoxJournalWindow : public QWidget {
    Q_OBJECT

public:
    enum Column { Entry, Time, From, Change, Overwrote, Outcome, kColumnCount };

    // `journal` may be null: the window then says that no journal is kept.
    BoxJournalWindow(const Journal *journal, QWidget *parent);
    // Reads the journal again.
    void reload();
    QString note() const;

private:
    const Journal *journal_;
    QTableWidget *table_;
    QLabel *note_;
};
