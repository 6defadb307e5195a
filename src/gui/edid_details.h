#pragma once
// EDID Details: the decoded EDID of the EDID manager's text, following the text as it
// changes, and the comparison of the box's own EDID with the EDIDs of the two TVs. The
// window only reads: the text, the files and the box's EDIDs stay as they are.

#include "core/box/box_session.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <vector>

class EdidBuilderPage;
class FileDialogs;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTextEdit;

class EdidDetailsWindow : public QWidget {
    Q_OBJECT

public:
    // The column headers of the comparison, in the order the EDIDs are read.
    static const QStringList kCompareColumns;

    EdidDetailsWindow(QTextEdit &edidText, BoxSession &session, QWidget *parent);

    // The texts "Copy as text" puts on the clipboard.
    QString detailsText() const;
    QString compareText() const;
    // The file dialogs of the Build page's "File…" source.
    void setFileDialogs(FileDialogs *dialogs);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *makeDetailsPage();
    QWidget *makeComparePage();
    void scheduleRefresh();
    void refreshDetails();
    void readForComparison();
    void showComparison();

    QPointer<QTextEdit> edidText_;
    BoxSession &session_;
    QTabWidget *tabs_ = nullptr;
    QLabel *detailsState_ = nullptr;
    QPlainTextEdit *details_ = nullptr;
    QPushButton *readButton_ = nullptr;
    QLabel *compareState_ = nullptr;
    QTableWidget *compare_ = nullptr;
    EdidBuilderPage *builder_ = nullptr;
    // Coalesces the several changes of one edit (a clear and an insertion) into one decode.
    QTimer refreshTimer_;
    // The last comparison: a row per summary line, a cell per EDID read.
    struct CompareRow {
        QString label;
        QStringList cells;
        bool differs = false;
    };
    std::vector<CompareRow> comparison_;
    std::vector<bool> readFailed_;
    QString decodedText_;
    bool decodedOnce_ = false;
};
