#include "edid_builder.h"

#include "core/edid/edid_check.h"
#include "core/edid/edid_decode.h"
#include "core/edid/edid_file.h"
#include "core/edid/edid_fit.h"
#include "core/edid/edid_formats.h"
#include "core/edid/edid_report.h"
#include "core/edid/spaced_hex.h"
#include "decoded_view.h"
#include "edid_fit_dialog.h"
#include "edid_text.h"
#include "file_dialogs.h"

#include <QComboBox>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace {

// The box's EDIDs by the entries of the source list.
EdidSource boxSourceOf(EdidBuilderPage::Source source) {
    return source == EdidBuilderPage::Top   ? EdidSource::TopSink
           : source == EdidBuilderPage::Bot ? EdidSource::BotSink
                                            : EdidSource::Box;
}

// A source as it stands within a sentence: "Loaded from the EDID text."
QString sourceInSentence(EdidBuilderPage::Source source) {
    switch (source) {
    case EdidBuilderPage::EdidText:
        return EdidBuilderPage::tr("the EDID text");
    case EdidBuilderPage::Box:
        return EdidBuilderPage::tr("the box");
    case EdidBuilderPage::File:
        return EdidBuilderPage::tr("the file");
    default:
        return EdidBuilderPage::kSourceNames[source];
    }
}

std::span<const uint8_t> bytesOf(const EdidImage &image) {
    return image;
}

} // namespace

const QStringList EdidBuilderPage::kSourceNames = {QStringLiteral("The EDID text"), QStringLiteral("Box"),
                                                   QStringLiteral("TOP"), QStringLiteral("BOT"),
                                                   QStringLiteral("File…")};
const QString EdidBuilderPage::kSameAsVideo = QStringLiteral("Same as video");

EdidBuilderPage::EdidBuilderPage(QTextEdit &edidText, BoxSession &session, QWidget *parent)
    : QWidget(parent), edidText_(&edidText), session_(session), fileDialogs_(&qtFileDialogs()) {
    videoFrom_ = new QComboBox(this);
    videoFrom_->setObjectName(QStringLiteral("buildVideoFrom"));
    videoFrom_->addItems(kSourceNames);
    audioFrom_ = new QComboBox(this);
    audioFrom_->setObjectName(QStringLiteral("buildAudioFrom"));
    audioFrom_->addItems(QStringList{kSameAsVideo} + kSourceNames);
    auto *load = new QPushButton(tr("Load"), this);
    load->setObjectName(QStringLiteral("buildLoad"));
    connect(load, &QPushButton::clicked, this, &EdidBuilderPage::load);
    auto *sources = new QHBoxLayout;
    sources->addWidget(new QLabel(tr("Video from"), this));
    sources->addWidget(videoFrom_);
    sources->addWidget(new QLabel(tr("Audio from"), this));
    sources->addWidget(audioFrom_);
    sources->addWidget(load);
    sources->addStretch(1);
    takeFrom_ = new QComboBox(this);
    takeFrom_->setObjectName(QStringLiteral("buildTakeFrom"));
    takeFrom_->addItems(kSourceNames);
    takeFrom_->setCurrentIndex(Bot);
    sources->addWidget(new QLabel(tr("Take blocks from"), this));
    sources->addWidget(takeFrom_);

    message_ = new QLabel(tr("Load an EDID to build on."), this);
    message_->setObjectName(QStringLiteral("buildMessage"));
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(true);
    byteCount_ = new QLabel(this);
    byteCount_->setObjectName(QStringLiteral("buildByteCount"));
    fit_ = new QPushButton(tr("Fit by leaving out…"), this);
    fit_->setObjectName(QStringLiteral("buildFit"));
    fit_->setVisible(false);
    connect(fit_, &QPushButton::clicked, this, &EdidBuilderPage::fitByLeavingOut);
    auto *messageRow = new QHBoxLayout;
    messageRow->addWidget(message_, 1);
    messageRow->addWidget(fit_, 0, Qt::AlignTop);

    productName_ = new QLineEdit(this);
    productName_->setObjectName(QStringLiteral("buildProductName"));
    productName_->setMaxLength(13);
    applyName_ = new QPushButton(tr("Apply"), this);
    applyName_->setObjectName(QStringLiteral("buildApplyName"));
    connect(applyName_, &QPushButton::clicked, this,
            [this] { apply(edid::setProductName(model_, productName_->text()), tr("Product name set.")); });
    auto *name = new QHBoxLayout;
    name->addWidget(productName_, 1);
    name->addWidget(applyName_);

    edits_ = new QTabWidget(this);
    edits_->setObjectName(QStringLiteral("buildEdits"));
    edits_->addTab(makeVideoEdits(), tr("Video"));
    edits_->addTab(makeAudioEdits(), tr("Audio"));
    edits_->addTab(makeSpeakerEdits(), tr("Speakers"));
    edits_->addTab(makeHdrEdits(), tr("HDR"));
    edits_->addTab(makeHdmiEdits(), tr("HDMI"));

    decoded_ = decoded::makeView(this);
    decoded_->setObjectName(QStringLiteral("buildDecoded"));

    use_ = new QPushButton(tr("Use in EDID text"), this);
    use_->setObjectName(QStringLiteral("buildUse"));
    connect(use_, &QPushButton::clicked, this, &EdidBuilderPage::useInEdidText);
    undo_ = new QPushButton(tr("Undo"), this);
    undo_->setObjectName(QStringLiteral("buildUndo"));
    undo_->setEnabled(false);
    connect(undo_, &QPushButton::clicked, this, &EdidBuilderPage::undoUse);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(byteCount_, 1);
    bottom->addWidget(use_);
    bottom->addWidget(undo_);

    auto *form = new QFormLayout;
    form->addRow(tr("Product name"), name);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(sources);
    layout->addLayout(messageRow);
    layout->addLayout(form);
    layout->addWidget(edits_, 2);
    layout->addWidget(decoded_, 3);
    layout->addLayout(bottom);
    showModel();
}

void EdidBuilderPage::setFileDialogs(FileDialogs *dialogs) {
    fileDialogs_ = dialogs != nullptr ? dialogs : &qtFileDialogs();
}

std::vector<uint8_t> EdidBuilderPage::encoded() const {
    std::vector<uint8_t> bytes = edid::encodeEdidModel(model_);
    if (!bytes.empty()) {
        // The box and the text take 256 bytes: a base block alone is followed by an empty one.
        bytes.resize(proto::kEdidSize, 0);
    }
    return bytes;
}

std::optional<edid::EdidModel> EdidBuilderPage::readSource(Source source, const QString &role,
                                                           const QString &sourceList) {
    const auto failed = [this, &role](const QString &why) {
        message_->setText(tr("%1: %2").arg(role, why));
        return std::nullopt;
    };
    edid::EdidModel model;
    if (source == EdidText) {
        if (edidText_ == nullptr) {
            return failed(tr("the EDID text is gone"));
        }
        EdidImage image{};
        const qsizetype groups = parseEdidText(edidText_->toPlainText(), image);
        if (groups <= 0) {
            return failed(groups < 0 ? tr("the EDID text is not spaced hex")
                                     : tr("the EDID text holds no byte"));
        }
        model = edid::readEdidModel(bytesOf(image));
    } else if (source == File) {
        const QString fileName = fileDialogs_->openFileName(this, tr("%1: open an EDID file").arg(sourceList),
                                                            QString(), tr(kEdidFileFilter));
        if (fileName.isEmpty()) {
            return failed(tr("no file chosen"));
        }
        QFile file(fileName);
        QByteArray data;
        if (!file.open(QIODevice::ReadOnly) ||
            ((data = file.read(kEdidFileMaxBytes)).isEmpty() && file.error() != QFileDevice::NoError)) {
            return failed(tr("cannot read file %1: %2").arg(fileName, file.errorString()));
        }
        const EdidFileContent content = readEdidFileContent(QByteArrayView(data));
        if (content.format == EdidFileFormat::Raw) {
            // As the loader has always read a raw file: its first 1024 bytes, zero past its end.
            std::array<uint8_t, kEdidFileReadSize> area{};
            std::copy_n(data.constData(), std::min<qsizetype>(data.size(), kEdidFileReadSize),
                        reinterpret_cast<char *>(area.data()));
            model = edid::readEdidModel(area);
        } else if (content.format == EdidFileFormat::SpacedHex && content.ok()) {
            EdidImage image{};
            std::copy(content.bytes.begin(), content.bytes.end(), image.begin());
            model = edid::readEdidModel(bytesOf(image));
        } else if (content.fromOtherTool() && content.ok()) {
            model = edid::readEdidModel(
                std::span<const uint8_t>(reinterpret_cast<const uint8_t *>(content.bytes.constData()),
                                         static_cast<size_t>(content.bytes.size())));
        } else if (content.fromOtherTool()) {
            // Another tool's form that breaks says where.
            return failed(tr("%1: %2").arg(fileName, content.reason));
        } else {
            return failed(tr("%1 is not an EDID file").arg(fileName));
        }
    } else {
        // A transaction is under way (a message box's nested loop): reading now would cut into it.
        if (session_.linkBusy()) {
            return failed(tr("the box is busy: load again in a moment"));
        }
        const Outcome<EdidImage> read = session_.readEdid(boxSourceOf(source));
        if (!read.ok()) {
            return failed(tr("read failed: %1").arg(QLatin1String(linkErrorName(read.error))));
        }
        model = edid::readEdidModel(bytesOf(read.value));
    }
    if (!model.valid) {
        return failed(tr("not an EDID"));
    }
    return model;
}

void EdidBuilderPage::load() {
    const auto video = static_cast<Source>(videoFrom_->currentIndex());
    // "Audio from" lists "Same as video" first, then the sources of "Video from".
    const int audioIndex = audioFrom_->currentIndex();
    const auto audio = static_cast<Source>(std::max(audioIndex - 1, 0));
    const bool sameAudio = audioIndex == 0 || (audio == video && video != File);
    pendingFit_.reset();
    fit_->setVisible(false);
    const std::optional<edid::EdidModel> videoModel = readSource(video, tr("Video"), tr("Video from"));
    if (!videoModel) {
        return;
    }
    if (sameAudio) {
        message_->setText(tr("Loaded from %1.").arg(sourceInSentence(video)));
        takeModel(*videoModel, true);
        return;
    }
    const std::optional<edid::EdidModel> audioModel = readSource(audio, tr("Audio"), tr("Audio from"));
    if (!audioModel) {
        return;
    }
    const edid::MergeOutcome merged = edid::mergeEdids(*videoModel, *audioModel);
    const QString done =
        tr("Video from %1, audio from %2.").arg(sourceInSentence(video), sourceInSentence(audio));
    if (!merged.outcome.ok) {
        message_->setText(tr("Refused: %1").arg(merged.outcome.reason));
        offerFit(merged.outcome, true, done);
        return;
    }
    message_->setText(done);
    takeModel(merged.model, true);
}

void EdidBuilderPage::takeModel(const edid::EdidModel &model, bool loaded) {
    model_ = model;
    if (loaded && !model_.ctaProblem.isEmpty()) {
        message_->setText(message_->text() + QLatin1Char(' ') + model_.ctaProblem);
    }
    if (loaded) {
        removedVics_.clear();
        // The rows of VICs removed from the last model go with it.
        vics_->clear();
    }
    showModel();
}

void EdidBuilderPage::apply(const edid::EditOutcome &outcome, const QString &done) {
    message_->setText(outcome.ok ? done : tr("Refused: %1").arg(outcome.reason));
    pendingFit_.reset();
    fit_->setVisible(false);
    offerFit(outcome, false, done);
    // Refused or not, the controls show the model: a refused uncheck is checked again.
    showModel();
}

void EdidBuilderPage::offerFit(const edid::EditOutcome &outcome, bool load, const QString &done) {
    if (outcome.ok || !outcome.unfitted) {
        return;
    }
    pendingFit_ = PendingFit{outcome, load ? std::nullopt : std::optional<edid::EdidModel>(model_), done};
    fit_->setVisible(true);
}

void EdidBuilderPage::fitByLeavingOut() {
    if (!pendingFit_) {
        return;
    }
    // The box's own EDID states its link; without it, no format is left out for the link.
    std::optional<edid::LinkLimit> link;
    if (!session_.linkBusy()) {
        const Outcome<EdidImage> own = session_.readEdid(EdidSource::Box);
        if (own.ok()) {
            link = edid::linkLimitOf(edid::decodeEdid(own.value));
        }
    }
    const PendingFit pending = *pendingFit_;
    const edid::EdidModel *before = pending.before ? &*pending.before : nullptr;
    auto *dialog = new EdidFitDialog(*pending.outcome.unfitted,
                                     edid::proposeFit(*pending.outcome.unfitted, link, before), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog, pending] {
        const std::vector<edid::FitCandidate> chosen = dialog->chosen();
        edid::EdidModel fitted = *pending.outcome.unfitted;
        edid::leaveOut(fitted, chosen);
        if (edid::ctaContentBytes(fitted) > edid::kCtaContentBytes) {
            return;
        }
        QStringList whats;
        for (const edid::FitCandidate &c : chosen) {
            whats << edid::fitCandidateWhat(c);
        }
        pendingFit_.reset();
        fit_->setVisible(false);
        message_->setText(tr("%1 Left out to fit: %2.").arg(pending.done, whats.join(QStringLiteral("; "))));
        takeModel(fitted, !pending.before);
    });
    dialog->open();
}

void EdidBuilderPage::takeFromOther(edid::EditOutcome (*take)(edid::EdidModel &, const edid::EdidModel &),
                                    const QString &done) {
    const auto source = static_cast<Source>(takeFrom_->currentIndex());
    const std::optional<edid::EdidModel> other =
        readSource(source, tr("Take blocks from"), tr("Take blocks from"));
    if (other) {
        apply(take(model_, *other), done.arg(sourceInSentence(source)));
    }
}

void EdidBuilderPage::showModel() {
    const std::vector<uint8_t> bytes = encoded();
    const edid::EdidDecoded decoded = edid::decodeEdid(bytes);
    // A CTA block that is carried unchanged offers no edit: its controls stay empty.
    const edid::CtaBlock *cta = model_.ctaEditable && !decoded.cta.empty() ? &decoded.cta.front() : nullptr;
    const bool loaded = model_.valid;

    byteCount_->setText(model_.extension == edid::EdidModel::Extension::Cta
                            ? tr("CTA-861 block: %1 of %2 bytes")
                                  .arg(edid::ctaContentBytes(model_))
                                  .arg(edid::kCtaContentBytes)
                            : tr("CTA-861 block: none"));

    productName_->setEnabled(loaded);
    applyName_->setEnabled(loaded);
    productName_->setText(decoded.base.productName.value_or(QString()));
    showVideo(cta);
    showAudio(cta);
    showSpeakers(cta);
    showHdr(cta);
    showHdmi(cta);
    use_->setEnabled(loaded);
    if (loaded) {
        decoded::showLines(*decoded_, edid::edidDetailLines(decoded));
    } else {
        decoded::showLines(*decoded_, {});
    }
}

void EdidBuilderPage::useInEdidText() {
    const std::vector<uint8_t> bytes = encoded();
    if (edidText_ == nullptr || bytes.size() != proto::kEdidSize) {
        return;
    }
    const std::span<const uint8_t, proto::kEdidSize> image(bytes.data(), proto::kEdidSize);
    textBeforeUse_ = QTextDocumentFragment(edidText_->document());
    renderEdidText(*edidText_, image);
    textAfterUse_ = edidText_->toPlainText();
    undo_->setEnabled(true);
    const EdidCheck check = checkEdidForSource(image, static_cast<qsizetype>(bytes.size()), EdidOrigin::Text);
    message_->setText(
        check.ok() ? tr("The EDID text holds the built EDID: write it with \"Write EDID to Veltrika\".")
                   : tr("The EDID text holds the built EDID, but a source may not be able to read it: %1.")
                         .arg(check.reasons.join(QStringLiteral("; "))));
}

void EdidBuilderPage::undoUse() {
    if (edidText_ == nullptr || !textBeforeUse_) {
        return;
    }
    if (edidText_->toPlainText() != textAfterUse_) {
        textBeforeUse_.reset();
        undo_->setEnabled(false);
        message_->setText(tr("The EDID text has changed since it was used: nothing undone."));
        return;
    }
    edidText_->clear();
    QTextCursor cursor(edidText_->document());
    cursor.insertFragment(*textBeforeUse_);
    textBeforeUse_.reset();
    undo_->setEnabled(false);
    message_->setText(tr("The EDID text is back as it was."));
}
