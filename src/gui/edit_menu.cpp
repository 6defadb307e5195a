// The Edit menu: the last change to the box taken back. The journal says what it overwrote;
// the box is read, the undo planned, and shown first in the preview a loaded configuration
// shows (Apply or Cancel, Cancel the default); Apply sends it through the gate, which records
// it as one more change.

#include "VeltrikaForm.h"
#include "box_journal.h"
#include "core/box/journal_text.h"
#include "core/box/undo.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

namespace {
constexpr char kUndoTitle[] = "Undo Last Change to Box";
} // namespace

// The menu stands between File and View. Its action connects to itself, not to the window,
// whose connections are the form's alone.
void MainWindow::addEditMenu() {
    auto *edit = new QMenu(tr("Edit"), menuBar());
    edit->setObjectName(QStringLiteral("menuEdit"));
    menuBar()->insertMenu(menuBar()->actions().value(1), edit);
    QAction *undo = edit->addAction(tr("Undo Last Change to Box"));
    undo->setObjectName(QStringLiteral("actionUndoLastChange"));
    connect(undo, &QAction::triggered, undo, [this] { undoLastChange(); });
}

void MainWindow::undoLastChange() {
    if (!ui) {
        return;
    }
    const auto tell = [this](const QString &text) {
        QMessageBox::information(this, tr(kUndoTitle), text, QMessageBox::Ok);
    };
    if (journal_ == nullptr) {
        tell(tr("No journal is kept: there is no change to undo."));
        return;
    }
    const JournalRead read = journal_->read();
    const std::optional<JournalEntry> entry = lastUndoable(read.entries);
    if (!entry) {
        tell(read.error.isEmpty() ? tr("The journal holds no change to undo.") : read.error);
        return;
    }
    prepareTransferProgress();
    const BoxConfigurationRead box =
        readBoxConfiguration(*session_, *installedClock(), partsToRead(*entry), false);
    if (!box.ok()) {
        QMessageBox::warning(this, tr(kUndoTitle),
                             tr("The box's %1 could not be read (%2).\nNothing was sent.")
                                 .arg(box.failedPart, QLatin1String(linkErrorName(box.error))),
                             QMessageBox::Ok);
        return;
    }
    QString why;
    const std::optional<UndoPlan> plan = planUndo(*entry, box.configuration, &why);
    if (!plan) {
        tell(why[0].toUpper() + why.mid(1) + QLatin1Char('.'));
        return;
    }
    const BoxChange change = undoChange(*plan);
    QStringList lines;
    for (const RestoreStep &step : plan->steps) {
        lines << changeText(step.change);
    }
    const QStringList notes = undoNotes(*plan) + checkChange(change).lines();
    if (!notes.isEmpty()) {
        lines << QString() << notes;
    }
    const QString name = QStringLiteral("entry %1").arg(entry->id);
    const QString text = tr("Undo %1 (%2, %3, %4): put back what it overwrote?")
                             .arg(name, entry->change, entry->frontEnd, journalTimeText(entry->time));
    if (!confirmChanges(tr(kUndoTitle), text, lines)) {
        return;
    }
    const ChangeResult result =
        applyChange(change, Answer::Yes, [this](int done, int total) { transferProgress(done, total); });
    showRestoreSummary(tr(kUndoTitle), name, result.restore, static_cast<int>(plan->steps.size()));
    followRestore(result.restore, plan->wanted);
}

void MainWindow::showBoxJournal() {
    if (!ui) {
        return;
    }
    if (boxJournal_ == nullptr) {
        boxJournal_ = new BoxJournalWindow(journal_.get(), this);
    }
    boxJournal_->reload();
    boxJournal_->show();
    boxJournal_->raise();
    boxJournal_->activateWindow();
}
