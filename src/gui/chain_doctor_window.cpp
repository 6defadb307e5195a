#include "chain_doctor_window.h"

#include "core/chain/chain_read.h"
#include "core/chain/chain_report.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// What a cell says of the chain: a TV states more than the box offers, the box offers less
// (or the input carries less), a fix brings it or takes it away.
const QColor kStatesMore(0xd6, 0xee, 0xd6);
const QColor kMissing(0xf6, 0xd4, 0xcc);

QString headerOf(const chain::ChainMatrix &m, chain::Column column) {
    const QString &name = m.names[static_cast<size_t>(column)];
    const QString title = column == chain::Column::Box     ? QObject::tr("Box offers")
                          : column == chain::Column::Input ? QObject::tr("Input carries")
                                                           : chain::columnName(column);
    return name.isEmpty() ? title : QStringLiteral("%1\n%2").arg(title, name);
}

QTableWidgetItem *cellItem(chain::Capability c, const chain::Cell &cell) {
    auto *item = new QTableWidgetItem(chain::valueText(c, cell));
    const QString evidence = chain::evidenceText(cell.evidence);
    item->setToolTip(cell.detail.isEmpty() ? evidence : QStringLiteral("%1\n%2").arg(cell.detail, evidence));
    return item;
}

} // namespace

ChainDoctorWindow::ChainDoctorWindow(BoxSession &session, ApplyFix applyFix, QWidget *parent)
    : QWidget(parent, Qt::Window), session_(session), applyFix_(std::move(applyFix)) {
    setWindowTitle(tr("Chain Doctor"));
    auto *readButton = new QPushButton(tr("Read"), this);
    readButton->setObjectName(QStringLiteral("chainRead"));
    connect(readButton, &QPushButton::clicked, this, [this] { read(); });
    state_ = new QLabel(
        tr("Read the box's EDID, the EDIDs of the TOP and BOT TVs, the settings and the input."), this);
    state_->setObjectName(QStringLiteral("chainState"));
    state_->setWordWrap(true);
    auto *top = new QHBoxLayout;
    top->addWidget(readButton);
    top->addWidget(state_, 1);

    matrix_ = new QTableWidget(0, kColumnCount, this);
    matrix_->setObjectName(QStringLiteral("chainMatrix"));
    matrix_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    matrix_->setSelectionMode(QAbstractItemView::NoSelection);
    matrix_->setWordWrap(false);
    matrix_->verticalHeader()->hide();
    matrix_->verticalHeader()->setDefaultSectionSize(matrix_->fontMetrics().height() + 4);
    matrix_->setColumnHidden(WithFix, true);

    findings_ = new QPlainTextEdit(this);
    findings_->setObjectName(QStringLiteral("chainFindings"));
    findings_->setReadOnly(true);
    fixes_ = new QTableWidget(0, 3, this);
    fixes_->setObjectName(QStringLiteral("chainFixes"));
    fixes_->setHorizontalHeaderLabels({tr("Fix"), QString(), QString()});
    fixes_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fixes_->setSelectionMode(QAbstractItemView::NoSelection);
    fixes_->verticalHeader()->hide();
    fixes_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    fixes_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Fixed);
    fixes_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Fixed);
    preview_ = new QPlainTextEdit(this);
    preview_->setObjectName(QStringLiteral("chainPreview"));
    preview_->setReadOnly(true);
    preview_->setPlaceholderText(tr("Preview a fix: what it sends, and what the box would offer."));

    auto *right = new QSplitter(Qt::Vertical, this);
    right->addWidget(findings_);
    right->addWidget(fixes_);
    right->addWidget(preview_);
    right->setSizes({260, 200, 200});
    auto *split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(matrix_);
    split->addWidget(right);
    split->setSizes({880, 520});
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(split, 1);
    resize(1400, 700);
}

void ChainDoctorWindow::read() {
    LinkClock *clock = installedClock();
    if (clock == nullptr || !session_.isOpen()) {
        state_->setText(tr("The box is not connected: nothing was read."));
        return;
    }
    const chain::ChainRead read = chain::readChain(session_, *clock);
    if (!read.ok()) {
        state_->setText(tr("The box's %1 could not be read (%2).")
                            .arg(read.failedPart, QLatin1String(linkErrorName(read.error))));
        return;
    }
    diagnosis_ = chain::diagnose(read.inputs);
    diagnosed_ = true;
    previewed_.reset();
    showDiagnosis();
}

void ChainDoctorWindow::showMatrix() {
    const chain::ChainMatrix &m = diagnosis_.matrix;
    QStringList headers = {tr("Capability")};
    for (chain::Column column :
         {chain::Column::Top, chain::Column::Bot, chain::Column::Box, chain::Column::Input}) {
        headers << headerOf(m, column);
    }
    headers << (previewed_ ? tr("Box with fix %1").arg(*previewed_ + 1) : QString());
    matrix_->setHorizontalHeaderLabels(headers);
    const auto capabilities = chain::allCapabilities();
    matrix_->setRowCount(static_cast<int>(capabilities.size()));
    for (int row = 0; row < matrix_->rowCount(); ++row) {
        const chain::CapabilityInfo &info = capabilities[static_cast<size_t>(row)];
        auto *name = new QTableWidgetItem(tr(info.name));
        matrix_->setItem(row, Capability, name);
        for (chain::Column column :
             {chain::Column::Top, chain::Column::Bot, chain::Column::Box, chain::Column::Input}) {
            matrix_->setItem(row, Top + static_cast<int>(column),
                             cellItem(info.capability, m.cell(column, info.capability)));
        }
        for (const chain::ChainFinding &finding : diagnosis_.findings) {
            if (finding.capability != info.capability) {
                continue;
            }
            QFont bold = name->font();
            bold.setBold(true);
            name->setFont(bold);
            name->setToolTip(finding.text);
            for (chain::Column sink : finding.sinks) {
                matrix_->item(row, Top + static_cast<int>(sink))->setBackground(kStatesMore);
            }
            matrix_->item(row, finding.kind == chain::FindingKind::SinkOnly ? Box : Input)
                ->setBackground(kMissing);
        }
        if (previewed_) {
            const chain::ChainFix &fix = diagnosis_.fixes[*previewed_];
            const chain::Cell &then = fix.box[static_cast<size_t>(info.capability)];
            const chain::Cell &now = m.cell(chain::Column::Box, info.capability);
            QTableWidgetItem *item = cellItem(info.capability, then);
            if (chain::exceeds(info.capability, then, now)) {
                item->setBackground(kStatesMore);
            } else if (chain::exceeds(info.capability, now, then)) {
                item->setBackground(kMissing);
            }
            matrix_->setItem(row, WithFix, item);
        }
    }
    matrix_->setColumnHidden(WithFix, !previewed_);
    matrix_->resizeColumnsToContents();
}

void ChainDoctorWindow::showDiagnosis() {
    const qsizetype count = static_cast<qsizetype>(diagnosis_.findings.size());
    state_->setText(count == 0 ? tr("Nothing is missing.")
                    : count == 1
                        ? tr("1 finding; the cells' tool tips say where each value was read.")
                        : tr("%1 findings; the cells' tool tips say where each value was read.").arg(count));
    showMatrix();
    QStringList text = chain::findingLines(diagnosis_);
    if (!diagnosis_.notes.isEmpty()) {
        text << QString();
        for (const QString &note : diagnosis_.notes) {
            text << QStringLiteral("Note: %1").arg(note);
        }
    }
    findings_->setPlainText(text.join(QLatin1Char('\n')));
    fixes_->setRowCount(static_cast<int>(diagnosis_.fixes.size()));
    for (int row = 0; row < fixes_->rowCount(); ++row) {
        const chain::ChainFix &fix = diagnosis_.fixes[static_cast<size_t>(row)];
        const QString summary = chain::fixSummary(diagnosis_, fix);
        auto *item = new QTableWidgetItem(QStringLiteral("%1. %2: %3").arg(row + 1).arg(fix.words, summary));
        item->setToolTip(summary);
        fixes_->setItem(row, 0, item);
        auto *previewButton = new QPushButton(tr("Preview"), fixes_);
        previewButton->setObjectName(QStringLiteral("chainPreview%1").arg(row + 1));
        connect(previewButton, &QPushButton::clicked, this,
                [this, row] { preview(static_cast<size_t>(row)); });
        fixes_->setCellWidget(row, 1, previewButton);
        auto *applyButton = new QPushButton(tr("Apply…"), fixes_);
        applyButton->setObjectName(QStringLiteral("chainApply%1").arg(row + 1));
        connect(applyButton, &QPushButton::clicked, this, [this, row] { apply(static_cast<size_t>(row)); });
        fixes_->setCellWidget(row, 2, applyButton);
        fixes_->setColumnWidth(1, previewButton->sizeHint().width());
        fixes_->setColumnWidth(2, applyButton->sizeHint().width());
    }
    fixes_->resizeRowsToContents();
    preview_->clear();
}

void ChainDoctorWindow::preview(size_t fix) {
    if (!diagnosed_ || fix >= diagnosis_.fixes.size()) {
        return;
    }
    previewed_ = fix;
    showMatrix();
    preview_->setPlainText(chain::fixPreviewLines(diagnosis_, fix).join(QLatin1Char('\n')));
}

void ChainDoctorWindow::apply(size_t fix) {
    if (!diagnosed_ || fix >= diagnosis_.fixes.size() || !applyFix_) {
        return;
    }
    if (applyFix_(diagnosis_, fix)) {
        read();
    }
}

QString ChainDoctorWindow::stateText() const {
    return state_->text();
}

QString ChainDoctorWindow::findingsText() const {
    return findings_->toPlainText();
}

QString ChainDoctorWindow::previewText() const {
    return preview_->toPlainText();
}
