#include "edid_fit_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

EdidFitDialog::EdidFitDialog(const edid::EdidModel &unfitted, edid::FitProposal proposal, QWidget *parent)
    : QDialog(parent), unfitted_(unfitted), proposal_(std::move(proposal)) {
    setObjectName(QStringLiteral("buildFitDialog"));
    setWindowTitle(tr("Fit by leaving out"));
    const QString link = proposal_.link ? edid::linkLimitText(*proposal_.link) : tr("unknown");
    auto *intro = new QLabel(
        proposal_.candidates.empty()
            ? tr("The CTA-861 block needs %1 bytes more than its %2, and nothing can be left out without "
                 "losing what was asked for (the box's link: %3).")
                  .arg(proposal_.missingBytes)
                  .arg(edid::kCtaContentBytes)
                  .arg(link)
            : tr("The CTA-861 block needs %1 bytes more than its %2. Leave out, least loss first (the box's "
                 "link: %3):")
                  .arg(proposal_.missingBytes)
                  .arg(edid::kCtaContentBytes)
                  .arg(link),
        this);
    intro->setWordWrap(true);
    candidates_ = new QListWidget(this);
    candidates_->setObjectName(QStringLiteral("buildFitCandidates"));
    const size_t leastLoss = proposal_.leastLoss.value_or(0);
    for (size_t i = 0; i < proposal_.candidates.size(); ++i) {
        auto *item = new QListWidgetItem(edid::fitCandidateText(proposal_.candidates[i]), candidates_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(i < leastLoss ? Qt::Checked : Qt::Unchecked);
    }
    saved_ = new QLabel(this);
    saved_->setObjectName(QStringLiteral("buildFitSaved"));
    saved_->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    leaveOut_ = buttons->addButton(tr("Leave out"), QDialogButtonBox::AcceptRole);
    leaveOut_->setObjectName(QStringLiteral("buildFitLeaveOut"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(candidates_, &QListWidget::itemChanged, this, &EdidFitDialog::showSaved);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(candidates_, 1);
    layout->addWidget(saved_);
    layout->addWidget(buttons);
    resize(760, 420);
    showSaved();
}

std::vector<edid::FitCandidate> EdidFitDialog::chosen() const {
    std::vector<edid::FitCandidate> out;
    for (int i = 0; i < candidates_->count(); ++i) {
        if (candidates_->item(i)->checkState() == Qt::Checked) {
            out.push_back(proposal_.candidates[static_cast<size_t>(i)]);
        }
    }
    return out;
}

void EdidFitDialog::showSaved() {
    edid::EdidModel fitted = unfitted_;
    edid::leaveOut(fitted, chosen());
    const int bytes = edid::ctaContentBytes(fitted);
    const int saved = edid::ctaContentBytes(unfitted_) - bytes;
    const bool fits = bytes <= edid::kCtaContentBytes;
    saved_->setText(fits ? tr("Leaving out the checked saves %1 bytes: the CTA-861 block then holds %2 of %3 "
                              "bytes.")
                               .arg(saved)
                               .arg(bytes)
                               .arg(edid::kCtaContentBytes)
                         : tr("Leaving out the checked saves %1 bytes: %2 more are needed.")
                               .arg(saved)
                               .arg(bytes - edid::kCtaContentBytes));
    leaveOut_->setEnabled(fits);
}
