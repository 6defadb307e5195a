// The File menu's box configurations: the box's configuration saved into a file or as a
// named configuration, and one loaded back. A load shows what differs first and sends
// nothing until Apply; the restore then runs with the transfer bar and ends with a summary.

#include "VeltrikaForm.h"
#include "core/base/colon_hex.h"
#include "core/base/saved_file.h"
#include "core/box/box_configuration_file.h"
#include "core/box/box_configuration_session.h"
#include "core/box/named_configurations.h"
#include "field_words.h"
#include "file_dialogs.h"
#include "ui_VeltrikaForm.h"

#include <QAction>
#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QStatusBar>

namespace {

constexpr char kSaveTitle[] = "Save Box Configuration";
constexpr char kLoadTitle[] = "Load Box Configuration";
constexpr char kFilter[] = "Box configurations (*.json);;All files (*)";

QString linesOf(const QStringList &lines) {
    return lines.join(QLatin1Char('\n'));
}

// The window names a change as its labels do; the file's keys stay in files.
QString changeWord(const ConfigurationChange &change) {
    return fieldWord(changeName(change));
}

// One difference a line in the box's informative text: the box is as wide as its longest line.
void keepLinesWhole(QMessageBox &box) {
    if (auto *list = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"))) {
        list->setWordWrap(false);
    }
}

} // namespace

// Before File > Exit: the two file actions and the Configurations submenu, which lists the
// named configurations each time it opens. The actions connect to themselves, not to the
// window, whose connections are the form's alone.
void MainWindow::addConfigurationActions() {
    QMenu *file = ui->menuFile;
    QAction *exit = ui->actionExit;

    auto *save = new QAction(tr("Save Box Configuration…"), file);
    save->setObjectName(QStringLiteral("actionSaveBoxConfiguration"));
    connect(save, &QAction::triggered, save, [this] { saveBoxConfiguration(); });
    auto *load = new QAction(tr("Load Box Configuration…"), file);
    load->setObjectName(QStringLiteral("actionLoadBoxConfiguration"));
    connect(load, &QAction::triggered, load, [this] { loadBoxConfiguration(); });

    configurationsMenu_ = new QMenu(tr("Configurations"), file);
    configurationsMenu_->setObjectName(QStringLiteral("menuConfigurations"));
    connect(configurationsMenu_, &QMenu::aboutToShow, configurationsMenu_,
            [this] { fillConfigurationsMenu(); });

    file->insertAction(exit, save);
    file->insertAction(exit, load);
    file->insertMenu(exit, configurationsMenu_);
    file->insertSeparator(exit);
    fillConfigurationsMenu();
}

void MainWindow::fillConfigurationsMenu() {
    configurationsMenu_->clear();
    const QString directory = configurationsDirectory();
    const QStringList names = namedConfigurations(directory);
    for (const QString &name : names) {
        QAction *named = configurationsMenu_->addAction(name);
        named->setObjectName(QStringLiteral("configuration:") + name);
        const QString fileName = namedConfigurationFile(directory, name);
        connect(named, &QAction::triggered, named,
                [this, fileName, name] { loadConfigurationFile(fileName, name); });
    }
    if (names.isEmpty()) {
        configurationsMenu_->addAction(tr("No saved configurations"))->setEnabled(false);
    }
    configurationsMenu_->addSeparator();
    QAction *saveAs = configurationsMenu_->addAction(tr("Save Current As…"));
    saveAs->setObjectName(QStringLiteral("actionSaveCurrentConfigurationAs"));
    connect(saveAs, &QAction::triggered, saveAs, [this] { saveCurrentConfigurationAs(); });
}

void MainWindow::saveBoxConfiguration() {
    if (!ui) {
        return;
    }
    const QString fileName = fileDialogs_->saveFileName(
        this, tr(kSaveTitle), QStringLiteral("box-configuration.json"), tr(kFilter));
    if (!fileName.isEmpty()) {
        saveConfigurationInto(fileName, QFileInfo(fileName).fileName());
    }
}

void MainWindow::saveCurrentConfigurationAs() {
    if (!ui) {
        return;
    }
    const QString name =
        fileDialogs_->configurationName(this, tr("Save Current As"), tr("Name of the configuration:"));
    if (name.isEmpty()) {
        return;
    }
    const QString error = configurationNameError(name);
    if (!error.isEmpty()) {
        QMessageBox::warning(this, tr(kSaveTitle), tr("%1.\nNothing was saved.").arg(error), QMessageBox::Ok);
        return;
    }
    const QString directory = configurationsDirectory();
    const QString fileName = namedConfigurationFile(directory, name);
    if (QFileInfo::exists(fileName) &&
        QMessageBox::question(this, tr(kSaveTitle),
                              tr("A configuration named %1 exists. Replace it?").arg(name),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes) {
        return;
    }
    QString why;
    if (!makeFolders(directory, &why)) {
        QMessageBox::warning(this, tr(kSaveTitle),
                             tr("Cannot make the folder %1: %2.\nNothing was saved.").arg(directory, why),
                             QMessageBox::Ok);
        return;
    }
    saveConfigurationInto(fileName, name);
}

bool MainWindow::saveConfigurationInto(const QString &fileName, const QString &shownName) {
    prepareTransferProgress();
    const BoxConfigurationRead read =
        readBoxConfiguration(*session_, *installedClock(), kAllConfigurationParts, true);
    if (!read.ok()) {
        QMessageBox::warning(this, tr(kSaveTitle),
                             tr("The box's %1 could not be read (%2).\nNothing was saved.")
                                 .arg(read.failedPart, QLatin1String(linkErrorName(read.error))),
                             QMessageBox::Ok);
        return false;
    }
    QStringList notes;
    QString error;
    if (!saveConfigurationFile(fileName, read.configuration, QDateTime::currentDateTimeUtc(), &notes,
                               &error)) {
        QMessageBox::warning(this, tr(kSaveTitle), tr("Cannot write file %1: %2.").arg(fileName, error),
                             QMessageBox::Ok);
        return false;
    }
    const ConfigurationFileRead check = readConfigurationFile(fileName);
    if (!check.ok()) {
        notes << tr("A load will refuse it: %1").arg(check.error.text());
    }
    if (!notes.isEmpty()) {
        QMessageBox::warning(this, tr(kSaveTitle),
                             tr("%1 was saved, but:\n%2").arg(shownName, linesOf(notes)), QMessageBox::Ok);
    }
    statusBar()->showMessage(tr("Box configuration saved."), kConfirmMs);
    return true;
}

void MainWindow::loadBoxConfiguration() {
    if (!ui) {
        return;
    }
    const QString fileName = fileDialogs_->openFileName(this, tr(kLoadTitle), QString(), tr(kFilter));
    if (!fileName.isEmpty()) {
        loadConfigurationFile(fileName, QFileInfo(fileName).fileName());
    }
}

void MainWindow::loadConfigurationFile(const QString &fileName, const QString &shownName) {
    if (!ui) {
        return;
    }
    const ConfigurationFileRead file = readConfigurationFile(fileName);
    if (!file.ok()) {
        QMessageBox::warning(
            this, tr(kLoadTitle),
            tr("%1 cannot be loaded:\n%2\nNothing was sent.").arg(shownName, file.error.text()),
            QMessageBox::Ok);
        return;
    }
    const BoxConfiguration &wanted = file.file->configuration;
    prepareTransferProgress();
    const BoxConfigurationRead box =
        readBoxConfiguration(*session_, *installedClock(), partsHeld(wanted), wanted.firmware.has_value());
    if (!box.ok()) {
        QMessageBox::warning(this, tr(kLoadTitle),
                             tr("The box's %1 could not be read (%2).\nNothing was sent.")
                                 .arg(box.failedPart, QLatin1String(linkErrorName(box.error))),
                             QMessageBox::Ok);
        return;
    }
    const std::vector<RestoreStep> steps = planRestore(box.configuration, wanted);
    if (steps.empty()) {
        QMessageBox::information(this, tr(kLoadTitle), tr("The box holds what %1 holds.").arg(shownName),
                                 QMessageBox::Ok);
        return;
    }
    // What the check finds stands in the preview, whose Cancel is the default: the preview is
    // the question.
    const BoxChange change = BoxChange::ofRestore(steps, wanted, QStringLiteral("restore %1").arg(shownName));
    const GateVerdict verdict = checkChange(change);
    if (verdict.verdict == Verdict::Refused) {
        QMessageBox::warning(this, tr(kLoadTitle),
                             tr("%1 cannot be loaded:\n%2\nNothing was sent.")
                                 .arg(shownName, verdict.findings.join(QLatin1Char('\n'))),
                             QMessageBox::Ok);
        return;
    }
    if (!confirmRestore(shownName, steps, wanted, box.configuration, verdict.lines())) {
        return;
    }
    const ChangeResult result =
        applyChange(change, Answer::Yes, [this](int done, int total) { transferProgress(done, total); });
    showRestoreSummary(tr(kLoadTitle), shownName, result.restore, static_cast<int>(steps.size()));
    followRestore(result.restore, wanted);
}

// The differences, one a line, then what the check finds in them.
bool MainWindow::confirmRestore(const QString &shownName, const std::vector<RestoreStep> &steps,
                                const BoxConfiguration &wanted, const BoxConfiguration &box,
                                const QStringList &findings) {
    QStringList lines;
    for (const RestoreStep &step : steps) {
        lines << changeText(step.change, changeWord(step.change));
    }
    const QString text =
        steps.size() == 1
            ? tr("%1 differs from the box in one place. Apply the change?").arg(shownName)
            : tr("%1 differs from the box in %2 places. Apply the changes?").arg(shownName).arg(steps.size());
    if (wanted.firmware && wanted.firmware != box.firmware) {
        lines << QString()
              << tr("Saved from firmware %1; the box runs %2.")
                     .arg(*wanted.firmware, box.firmware.value_or(QString()));
    }
    if (!findings.isEmpty()) {
        lines << QString() << tr("The check finds:");
        // A finding begins with the part's key ("hdr_infoframe: "): the window says its word.
        for (const QString &finding : findings) {
            const qsizetype colon = finding.indexOf(QLatin1String(": "));
            lines << (colon < 0 ? finding : fieldWord(finding.left(colon)) + finding.mid(colon));
        }
    }
    return confirmChanges(tr(kLoadTitle), text, lines);
}

// The changes, one a line, with Apply and Cancel; Cancel is the default.
bool MainWindow::confirmChanges(const QString &title, const QString &text, const QStringList &lines) {
    QMessageBox preview(QMessageBox::Question, title, text, QMessageBox::Apply | QMessageBox::Cancel, this);
    preview.setObjectName(QStringLiteral("configurationPreview"));
    preview.setInformativeText(linesOf(lines));
    keepLinesWhole(preview);
    preview.setDefaultButton(QMessageBox::Cancel);
    preview.setEscapeButton(QMessageBox::Cancel);
    return preview.exec() == QMessageBox::Apply;
}

void MainWindow::showRestoreSummary(const QString &title, const QString &shownName,
                                    const RestoreReport &report, int planned) {
    const char *outcome = "Applied %1 of %2 changes from %3; the box holds them.";
    if (report.error != LinkError::None) {
        outcome =
            "Applied %1 of %2 changes from %3; the box refused the next one, and the rest were not sent.";
    } else if (report.readBackError != LinkError::None) {
        outcome = "Applied %1 of %2 changes from %3, but the box could not be read back.";
    } else if (!report.mismatched.empty()) {
        outcome = "Applied %1 of %2 changes from %3, but the box does not hold them all.";
    }
    QMessageBox summary(report.ok() ? QMessageBox::Information : QMessageBox::Warning, title,
                        tr(outcome).arg(report.applied.size()).arg(planned).arg(shownName), QMessageBox::Ok,
                        this);
    summary.setInformativeText(linesOf(restoreReportLines(report, changeWord)));
    keepLinesWhole(summary);
    summary.exec();
}

// What the window shows of the box that the ticks do not read: the stored infoframes (as the
// start-up reads them) and, after an EDID change, the box's own EDID at the next tick.
void MainWindow::followRestore(const RestoreReport &report, const BoxConfiguration &wanted) {
    if (!ui) {
        return;
    }
    for (const ConfigurationChange &change : report.applied) {
        switch (change.kind) {
        case ConfigurationChange::Kind::HdrInfoframe:
            ui->IFtext->setText(formatColonHex(*wanted.hdrInfoframe));
            break;
        case ConfigurationChange::Kind::AviBytes:
            ui->AVItext->setText(formatColonHex(*wanted.aviBytes));
            break;
        case ConfigurationChange::Kind::Edid:
            edidRefreshPending = true;
            break;
        case ConfigurationChange::Kind::Setting:
            if (partOfChange(change) == ConfigurationPart::Edid) {
                edidRefreshPending = true;
            }
            break;
        }
    }
}
