#pragma once
// The Build page of EDID Details: an EDID model loaded from the text, the box, a TV or a
// file (the video of one, the audio of another), edited by meaning, and put into the EDID
// text as the window renders an EDID. Nothing reaches the box from here: the user writes
// the text with the window's own EDID write.

#include "core/box/box_session.h"
#include "core/edid/edid_model.h"

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
class QTabWidget;
class QTextEdit;

namespace edid {
struct CtaBlock;
}

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
    // The model of a load or edit, shown as loaded or edited.
    void takeModel(const edid::EdidModel &model, bool loaded);
    // role names the source in a refusal ("Video: no file chosen"); sourceList is the list
    // it was chosen in, for the caption of the file dialog.
    std::optional<edid::EdidModel> readSource(Source source, const QString &role, const QString &sourceList);
    void apply(const edid::EditOutcome &outcome, const QString &done);
    // A load or edit refused for space: "Fit by leaving out…" offers the proposal for what it
    // made; nothing changes until the user chooses.
    void offerFit(const edid::EditOutcome &outcome, bool load, const QString &done);
    void fitByLeavingOut();
    // An edit with a block of the EDID chosen in "Take blocks from".
    void takeFromOther(edid::EditOutcome (*take)(edid::EdidModel &, const edid::EdidModel &),
                       const QString &done);
    void showModel();
    void useInEdidText();
    void undoUse();
    void vicToggled(QListWidgetItem *item);

    // The tabs of the edits (edid_builder_edits.cpp): each made once, shown from the
    // decoded model after every edit.
    QWidget *makeVideoEdits();
    QWidget *makeAudioEdits();
    QWidget *makeSpeakerEdits();
    QWidget *makeHdrEdits();
    QWidget *makeHdmiEdits();
    void showVideo(const edid::CtaBlock *cta);
    void showCurrentVic();
    void showAudio(const edid::CtaBlock *cta);
    void showCurrentAudioFormat();
    void showSpeakers(const edid::CtaBlock *cta);
    void showHdr(const edid::CtaBlock *cta);
    void showHdmi(const edid::CtaBlock *cta);
    std::optional<uint8_t> currentVic() const;

    QPointer<QTextEdit> edidText_;
    BoxSession &session_;
    FileDialogs *fileDialogs_;
    edid::EdidModel model_;
    std::optional<QTextDocumentFragment> textBeforeUse_; // the whole text, formats too
    // The load or edit refused for space that "Fit by leaving out…" fits.
    struct PendingFit {
        edid::EditOutcome outcome;
        std::optional<edid::EdidModel> before; // an edit's model; none for a load
        QString done;                          // the message of the load or edit done
    };
    std::optional<PendingFit> pendingFit_;
    QString textAfterUse_; // what the use left; an Undo after later typing would lose that typing

    QComboBox *videoFrom_ = nullptr;
    QComboBox *audioFrom_ = nullptr;
    QComboBox *takeFrom_ = nullptr;
    QLabel *message_ = nullptr;
    QPushButton *fit_ = nullptr;
    QLabel *byteCount_ = nullptr;
    QLineEdit *productName_ = nullptr;
    QPushButton *applyName_ = nullptr;
    QTabWidget *edits_ = nullptr;

    QListWidget *vics_ = nullptr;
    // The VICs removed since the last Load, in the order of their removal: their rows stay
    // in the list, struck through, so that no row moves under the pointer.
    std::vector<uint8_t> removedVics_;
    QPushButton *nativeVic_ = nullptr;
    QCheckBox *vic420_ = nullptr;
    QPushButton *preferredVic_ = nullptr;
    QSpinBox *vicToAdd_ = nullptr;
    QPushButton *addVic_ = nullptr;
    QPushButton *add420Only_ = nullptr;
    QListWidget *only420_ = nullptr;

    QListWidget *audioFormats_ = nullptr;
    QSpinBox *audioChannels_ = nullptr;
    std::vector<QCheckBox *> audioRates_; // bit 0 (32 kHz) first
    QPushButton *setAudio_ = nullptr;
    QPushButton *removeAudio_ = nullptr;
    QPushButton *takeAudio_ = nullptr;
    std::vector<QCheckBox *> speakers_; // bit 0 (FL/FR) first
    uint32_t shownSpeakers_ = 0;        // with the bits no speaker is named for

    std::vector<QCheckBox *> eotfs_; // bit 0 (SDR) first
    uint8_t shownEotfs_ = 0;
    std::vector<QSpinBox *> luminance_; // max, max frame-average, min; -1: not stated
    QPushButton *setLuminance_ = nullptr;
    QPushButton *removeDolbyVision_ = nullptr;
    QPushButton *takeDolbyVision_ = nullptr;
    QPushButton *removeHdr10Plus_ = nullptr;
    QPushButton *takeHdr10Plus_ = nullptr;

    QComboBox *maxFrl_ = nullptr;
    QCheckBox *allm_ = nullptr;
    QSpinBox *vrrMin_ = nullptr;
    QSpinBox *vrrMax_ = nullptr;
    QPushButton *setVrr_ = nullptr;
    QSpinBox *maxTmdsRate_ = nullptr;
    QPushButton *setMaxTmdsRate_ = nullptr;
    QSpinBox *maxTmdsClock_ = nullptr;
    QPushButton *setMaxTmdsClock_ = nullptr;
    std::vector<QCheckBox *> deepColor_; // 30, 36, 48 bit, YCbCr 4:4:4
    QPlainTextEdit *decoded_ = nullptr;
    QPushButton *use_ = nullptr;
    QPushButton *undo_ = nullptr;
};
