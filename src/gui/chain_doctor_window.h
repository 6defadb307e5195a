#pragma once
// Chain Doctor: what the TVs on TOP and BOT state, what the box offers the source and what its
// input carries, a row per capability, each cell's evidence in its tool tip; the findings in
// words; and the fixes, each with Preview (what it sends, and the box's column it would give
// beside the box's own) and Apply, which the main window sends through its gate after asking.
// Reading the box sends reads only.

#include "core/box/box_session.h"
#include "core/chain/chain_doctor.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QPlainTextEdit;
class QTableWidget;

class ChainDoctorWindow : public QWidget {
    Q_OBJECT

public:
    // Sends fix `index` of the diagnosis as the window sends every change; true when it went.
    using ApplyFix = std::function<bool(const chain::Diagnosis &, size_t)>;

    enum Column { Capability, Top, Bot, Box, Input, WithFix, kColumnCount };

    ChainDoctorWindow(BoxSession &session, ApplyFix applyFix, QWidget *parent);

    // Reads the box and its TVs again and shows what the doctor makes of them.
    void read();
    // Shows what the fix sends and the column it would give the box.
    void preview(size_t fix);
    // Asks the main window to send the fix, and reads the box again when it went.
    void apply(size_t fix);
    const chain::Diagnosis &diagnosis() const { return diagnosis_; }
    QString stateText() const;
    QString findingsText() const;
    QString previewText() const;

private:
    void showDiagnosis();
    void showMatrix();

    BoxSession &session_;
    ApplyFix applyFix_;
    chain::Diagnosis diagnosis_;
    bool diagnosed_ = false;
    std::optional<size_t> previewed_;
    QLabel *state_ = nullptr;
    QTableWidget *matrix_ = nullptr;
    QPlainTextEdit *findings_ = nullptr;
    QTableWidget *fixes_ = nullptr;
    QPlainTextEdit *preview_ = nullptr;
};
