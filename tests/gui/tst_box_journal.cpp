// The window's changes through the gate: its packet texts go out as typed with no question,
// each change lands in the journal, Edit > Undo Last Change to Box previews the undo (Cancel
// the default) and sends it on Apply, View > Box Journal lists both, and a journal that cannot
// be written is said once.

#include "box_journal.h"
#include "support/test_support.h"

#include <QAction>
#include <QLabel>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

namespace {

QList<QByteArray> writesSince(const sim::SimulatedBox &box, int from) {
    QList<QByteArray> writes = requestsSince(box, from);
    writes.removeIf([](const QByteArray &request) { return request.at(0) != 0x10; });
    return writes;
}

void trigger(Rig &rig, const char *action) {
    QAction *found = rig.window().findChild<QAction *>(QLatin1String(action));
    QVERIFY(found != nullptr);
    found->trigger();
}

} // namespace

class TestBoxJournal : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir_.isValid()); }
    void cleanup() { installJournalDirectory({}); }
    void packetsGoAsTyped();
    void undoLastChange();
    void journalThatCannotBeWritten();

private:
    QTemporaryDir dir_;
};

// A CEC message of 17 bytes, which the CEC decoder fails: sent as typed, no question.
void TestBoxJournal::packetsGoAsTyped() {
    installJournalDirectory(dir_.filePath(QStringLiteral("packets")));
    Rig rig;
    MainWindow &window = rig.start();
    QStringList groups{QStringLiteral("50"), QStringLiteral("04")};
    while (groups.size() < 17) {
        groups << QStringLiteral("00");
    }
    rig.widget<QTextEdit>("CECtext")->setPlainText(groups.join(QLatin1Char(':')));
    const int from = static_cast<int>(rig.box.frames().size());
    rig.boxWatcher.clear();
    QVERIFY(QMetaObject::invokeMethod(&window, "WriteCEC"));
    QByteArray message = bytes({0x10, 0x12, 0xB2, 0x50, 0x10, 0x04});
    message.append(15, '\0');
    QCOMPARE(requestsSince(rig.box, from), (QList<QByteArray>{message, bytes({0x10, 0x12, 0xB3, 0x10})}));
    QVERIFY(rig.boxWatcher.boxes().isEmpty());
    QCOMPARE(window.gate().journal()->read().entries.back().change,
             QStringLiteral("cec send 50:04:00:00:00:00:00:00:00:00:00:00:00:00:00:00:00"));
}

void TestBoxJournal::undoLastChange() {
    installJournalDirectory(dir_.filePath(QStringLiteral("undo")));
    Rig rig;
    rig.start();
    rig.widget<QRadioButton>("hdcp14")->click();
    const int from = static_cast<int>(rig.box.frames().size());
    rig.boxWatcher.clear();
    trigger(rig, "actionUndoLastChange");
    QCOMPARE(rig.boxWatcher.boxes().size(), 1);
    const ShownBox preview = rig.boxWatcher.boxes().first();
    QCOMPARE(preview.title, QStringLiteral("Undo Last Change to Box"));
    QVERIFY2(preview.text.startsWith(QLatin1String("Undo entry 1 (set hdcp=1.4, window, ")),
             qPrintable(preview.text));
    QCOMPARE(preview.informativeText, QStringLiteral("hdcp: 1.4 -> 2.2"));
    QCOMPARE(preview.buttons, QMessageBox::Apply | QMessageBox::Cancel);
    QCOMPARE(preview.defaultButton, QMessageBox::Cancel);
    QCOMPARE(writesSince(rig.box, from), QList<QByteArray>{});

    rig.boxWatcher.clear();
    rig.boxWatcher.queueAnswer(QMessageBox::Apply);
    trigger(rig, "actionUndoLastChange");
    QCOMPARE(writesSince(rig.box, from), QList<QByteArray>{bytes({0x10, 0x04, 0xE0, 0x03, 0x03})});
    QCOMPARE(rig.boxWatcher.texts().last(),
             QStringLiteral("Applied 1 of 1 changes from entry 1; the box holds them."));

    trigger(rig, "actionBoxJournal");
    auto *table = rig.window().findChild<QTableWidget *>(QStringLiteral("journalTable"));
    QVERIFY(table != nullptr);
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(0, BoxJournalWindow::Change)->text(), QStringLiteral("set hdcp=1.4"));
    QCOMPARE(table->item(0, BoxJournalWindow::Overwrote)->text(), QStringLiteral("hdcp: 2.2 -> 1.4"));
    QCOMPARE(table->item(1, BoxJournalWindow::Change)->text(), QStringLiteral("undo 1 (set hdcp=1.4)"));
    QCOMPARE(table->item(1, BoxJournalWindow::Outcome)->text(), QStringLiteral("applied"));
}

// Two changes reach the box; the warning stands once, after the slot.
void TestBoxJournal::journalThatCannotBeWritten() {
    const QString notAFolder = dir_.filePath(QStringLiteral("not-a-folder"));
    QFile file(notAFolder);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    installJournalDirectory(notAFolder);
    Rig rig;
    rig.start();
    const int from = static_cast<int>(rig.box.frames().size());
    rig.boxWatcher.clear();
    rig.widget<QRadioButton>("hdcp14")->click();
    rig.widget<QRadioButton>("hdcp22")->click();
    QCoreApplication::processEvents();
    QCOMPARE(writesSince(rig.box, from), (QList<QByteArray>{bytes({0x10, 0x04, 0xE0, 0x03, 0x02}),
                                                            bytes({0x10, 0x04, 0xE0, 0x03, 0x03})}));
    QCOMPARE(rig.boxWatcher.texts(),
             QStringList{QStringLiteral(
                             "The box journal cannot be written: cannot make the folder %1.\nChanges still "
                             "reach the box, but they are not recorded and cannot be undone.")
                             .arg(notAFolder)});
}

QTEST_MAIN(TestBoxJournal)
#include "tst_box_journal.moc"
