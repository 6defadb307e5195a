#pragma once
// The Build page of EDID Details: an EDID model loaded from the text, the box, a TV or a
// file (the video of one, the audio of another), edited by meaning, and put into the EDID
// text as the window renders an EDID. Nothing reaches the box from here: the user writes
// the text with the window's own EDID write.

#include "core/box_session.h"
#include "core/edid_model.h"

#include <QPointer>
#include <QString>
#include <QTextDocumentFragment>
#include <QWidget>

#include <optional>
#include <vector>

class FileDialogs;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTextEdit;

class EdidBuilderPage : public QWidget {
    Q_OBJECT

public:
    // The entries of "Video from"; "Audio from" has kSameAsVideo first, then these.
    enum Source { EdidText, Box, Top, Bot, File };
    static const QStringList kSourceNames;
    static const QString kSameAsVideo;

    EdidBuilderPage(QTextEdit &edidText, BoxSession &session, QWidget *parent);

    void setFileDialogs(FileDialogs *dialogs);
    // The model as it stands; invalid before the first load.
    const edid::EdidModel &model() const { return model_; }
    // The 256 bytes "Use in EDID text" puts into the text; empty before the first load.
    std::vector<uint8_t> encoded() const;

private:
    void load();
    std::optional<edid::EdidModel> readSource(Source source, const QString &role);
    void apply(const edid::EditOutcome &outcome, const QString &done);
    void showModel();
    void useInEdidText();
    void undoUse();
    void vicToggled(QListWidgetItem *item);

    QPointer<QTextEdit> edidText_;
    BoxSession &session_;
    FileDialogs *fileDialogs_;
    edid::EdidModel model_;
    std::optional<QTextDocumentFragment> textBeforeUse_; // the whole text, formats too
    QString textAfterUse_; // what the use left; an Undo after later typing would lose that typing

    QComboBox *videoFrom_ = nullptr;
    QComboBox *audioFrom_ = nullptr;
    QLabel *message_ = nullptr;
    QLabel *byteCount_ = nullptr;
    QLineEdit *productName_ = nullptr;
    QPushButton *applyName_ = nullptr;
    QListWidget *vics_ = nullptr;
    QSpinBox *vicToAdd_ = nullptr;
    QPushButton *addVic_ = nullptr;
    QPushButton *removeDolbyVision_ = nullptr;
    QPushButton *removeHdr10Plus_ = nullptr;
    QComboBox *maxFrl_ = nullptr;
    QCheckBox *allm_ = nullptr;
    QListWidget *audioFormats_ = nullptr;
    QPushButton *removeAudio_ = nullptr;
    QPlainTextEdit *decoded_ = nullptr;
    QPushButton *use_ = nullptr;
    QPushButton *undo_ = nullptr;
};
