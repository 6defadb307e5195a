#pragma once
// "Fit by leaving out": what an edit that does not fit the CTA-861 block may leave out, least
// loss first, each with the bytes it saves and what is lost; the least-loss set is checked,
// and the dialog takes only a choice that fits.

#include "core/edid/edid_fit.h"
#include "core/edid/edid_model.h"

#include <QDialog>

#include <vector>

class QLabel;
class QListWidget;
class QPushButton;

class EdidFitDialog : public QDialog {
    Q_OBJECT

public:
    EdidFitDialog(const edid::EdidModel &unfitted, edid::FitProposal proposal, QWidget *parent);

    // The candidates checked, in the proposal's order.
    std::vector<edid::FitCandidate> chosen() const;

private:
    void showSaved();

    edid::EdidModel unfitted_;
    edid::FitProposal proposal_;
    QListWidget *candidates_ = nullptr;
    QLabel *saved_ = nullptr;
    QPushButton *leaveOut_ = nullptr;
};
