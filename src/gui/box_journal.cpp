#include "box_journal.h"

#include "core/box/journal_text.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString g_journalDirectory;

const char *const kColumnTitles[] = {"Entry", "Time", "From", "Change", "What it overwrote", "Outcome"};

} // namespace

void installJournalDirectory(const QString &directory) {
    g_journalDirectory = directory;
}

QString installedJournalDirectory() {
    return g_journalDirectory;
}

BoxJournalWindow::BoxJournalWindow(const Journal *journal, QWidget *parent)
    : QWidget(parent, Qt::Window), journal_(journal) {
    setWindowTitle(tr("Box Journal"));
    table_ = new QTableWidget(0, kColumnCount, this);
    table_->setObjectName(QStringLiteral("journalTable"));
    QStringList titles;
    for (const char *title : kColumnTitles) {
        titles << tr(title);
    }
    table_->setHorizontalHeaderLabels(titles);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setColumnWidth(Entry, 50);
    table_->setColumnWidth(Time, 150);
    table_->setColumnWidth(From, 110);
    table_->setColumnWidth(Change, 230);
    table_->setColumnWidth(Overwrote, 280);

    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("journalNote"));
    note_->setWordWrap(true);
    auto *reloadButton = new QPushButton(tr("Reload"), this);
    reloadButton->setObjectName(QStringLiteral("journalReload"));
    connect(reloadButton, &QPushButton::clicked, this, [this] { reload(); });

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(note_, 1);
    bottom->addWidget(reloadButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(bottom);
    resize(980, 420);
    reload();
}

QString BoxJournalWindow::note() const {
    return note_->text();
}

void BoxJournalWindow::reload() {
    if (journal_ == nullptr) {
        table_->setRowCount(0);
        note_->setText(tr("No journal is kept: the changes to the box are recorded nowhere."));
        return;
    }
    const JournalRead read = journal_->read();
    table_->setRowCount(static_cast<int>(read.entries.size()));
    for (int row = 0; row < table_->rowCount(); ++row) {
        const JournalEntry &entry = read.entries[static_cast<size_t>(row)];
        const QStringList details = journalEntryDetails(entry);
        const QString from = entry.client.isEmpty()
                                 ? entry.frontEnd
                                 : QStringLiteral("%1 %2").arg(entry.frontEnd, entry.client);
        const QString overwrote =
            details.isEmpty() ? tr("nothing the box keeps") : details.join(QStringLiteral("; "));
        const QString cells[kColumnCount] = {
            QString::number(entry.id), journalTimeText(entry.time), from, entry.change, overwrote,
            journalOutcomeText(entry)};
        for (int column = 0; column < kColumnCount; ++column) {
            auto *item = new QTableWidgetItem(cells[column]);
            item->setToolTip(column == Overwrote && !details.isEmpty() ? details.join(QLatin1Char('\n'))
                                                                       : cells[column]);
            table_->setItem(row, column, item);
        }
    }
    table_->scrollToBottom();
    const QString count =
        read.entries.size() == 1 ? tr("1 change") : tr("%1 changes").arg(read.entries.size());
    QString note = tr("%1: %2, oldest first (the last %3 are kept).")
                       .arg(journal_->fileName(), count)
                       .arg(kMaxJournalEntries);
    if (!read.error.isEmpty()) {
        note = read.error;
    }
    for (const QString &warning : read.warnings) {
        note += QLatin1Char('\n') + warning;
    }
    note_->setText(note);
}
