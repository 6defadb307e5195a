#include "edid_builder.h"

#include "core/edid_decode.h"
#include "core/edid_file.h"
#include "core/edid_report.h"
#include "core/spaced_hex.h"
#include "core/video_formats.h"
#include "decoded_view.h"
#include "edid_text.h"
#include "file_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace {

constexpr int kFrlGbps[] = {0, 9, 18, 24, 32, 40, 48};
constexpr int kVicRole = Qt::UserRole;

// The box's EDIDs by the entries of the source list.
EdidSource boxSourceOf(EdidBuilderPage::Source source) {
    return source == EdidBuilderPage::Top   ? EdidSource::TopSink
           : source == EdidBuilderPage::Bot ? EdidSource::BotSink
                                            : EdidSource::Box;
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

    message_ = new QLabel(tr("Load an EDID to build on."), this);
    message_->setObjectName(QStringLiteral("buildMessage"));
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(true);
    byteCount_ = new QLabel(this);
    byteCount_->setObjectName(QStringLiteral("buildByteCount"));

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

    vics_ = new QListWidget(this);
    vics_->setObjectName(QStringLiteral("buildVics"));
    connect(vics_, &QListWidget::itemChanged, this, &EdidBuilderPage::vicToggled);
    vicToAdd_ = new QSpinBox(this);
    vicToAdd_->setObjectName(QStringLiteral("buildVicToAdd"));
    vicToAdd_->setRange(1, 255);
    vicToAdd_->setValue(16);
    addVic_ = new QPushButton(tr("Add VIC"), this);
    addVic_->setObjectName(QStringLiteral("buildAddVic"));
    connect(addVic_, &QPushButton::clicked, this, [this] {
        const auto vic = static_cast<uint8_t>(vicToAdd_->value());
        apply(edid::addVic(model_, vic), tr("VIC %1 added.").arg(vic));
    });
    auto *addVic = new QHBoxLayout;
    addVic->addWidget(vicToAdd_, 1);
    addVic->addWidget(addVic_);
    auto *video = new QVBoxLayout;
    video->addWidget(vics_);
    video->addLayout(addVic);

    removeDolbyVision_ = new QPushButton(tr("Remove Dolby Vision"), this);
    removeDolbyVision_->setObjectName(QStringLiteral("buildRemoveDolbyVision"));
    connect(removeDolbyVision_, &QPushButton::clicked, this, [this] {
        apply(edid::removeVendorVideoBlock(model_, edid::VendorVideo::DolbyVision),
              tr("Dolby Vision removed."));
    });
    removeHdr10Plus_ = new QPushButton(tr("Remove HDR10+"), this);
    removeHdr10Plus_->setObjectName(QStringLiteral("buildRemoveHdr10Plus"));
    connect(removeHdr10Plus_, &QPushButton::clicked, this, [this] {
        apply(edid::removeVendorVideoBlock(model_, edid::VendorVideo::Hdr10Plus), tr("HDR10+ removed."));
    });
    maxFrl_ = new QComboBox(this);
    maxFrl_->setObjectName(QStringLiteral("buildMaxFrl"));
    for (const int gbps : kFrlGbps) {
        maxFrl_->addItem(tr("%1 Gbps").arg(gbps), gbps);
    }
    connect(maxFrl_, &QComboBox::currentIndexChanged, this, [this](int index) {
        const int gbps = maxFrl_->itemData(index).toInt();
        apply(edid::setMaxFrl(model_, edid::frlCodeOfGbps(gbps).value_or(0)),
              tr("Max FRL rate set to %1 Gbps.").arg(gbps));
    });
    allm_ = new QCheckBox(tr("ALLM"), this);
    allm_->setObjectName(QStringLiteral("buildAllm"));
    connect(allm_, &QCheckBox::toggled, this, [this](bool on) {
        apply(edid::setAllm(model_, on), on ? tr("ALLM set.") : tr("ALLM cleared."));
    });
    auto *vendor = new QFormLayout;
    vendor->addRow(removeDolbyVision_);
    vendor->addRow(removeHdr10Plus_);
    vendor->addRow(tr("Max FRL"), maxFrl_);
    vendor->addRow(allm_);

    audioFormats_ = new QListWidget(this);
    audioFormats_->setObjectName(QStringLiteral("buildAudioFormats"));
    removeAudio_ = new QPushButton(tr("Remove"), this);
    removeAudio_->setObjectName(QStringLiteral("buildRemoveAudio"));
    connect(removeAudio_, &QPushButton::clicked, this, [this] {
        const QListWidgetItem *item = audioFormats_->currentItem();
        if (item == nullptr) {
            message_->setText(tr("Choose the audio format to remove."));
            return;
        }
        const QString format = item->data(Qt::UserRole).toString();
        apply(edid::removeAudioFormat(model_, format), tr("%1 removed.").arg(format));
    });
    auto *audio = new QVBoxLayout;
    audio->addWidget(audioFormats_);
    audio->addWidget(removeAudio_);

    auto *editsRow = new QHBoxLayout;
    const auto group = [this](const QString &title, QLayout *content) {
        auto *box = new QGroupBox(title, this);
        box->setLayout(content);
        return box;
    };
    editsRow->addWidget(group(tr("Video Data Block"), video), 3);
    editsRow->addWidget(group(tr("HDR and HDMI"), vendor), 2);
    editsRow->addWidget(group(tr("Audio formats"), audio), 2);

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
    layout->addWidget(message_);
    layout->addLayout(form);
    layout->addLayout(editsRow, 2);
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

std::optional<edid::EdidModel> EdidBuilderPage::readSource(Source source, const QString &role) {
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
        const QString fileName = fileDialogs_->openFileName(this, tr("Open file"), QString(),
                                                            tr("Binary Files (*.bin);;All files (*.*)"));
        if (fileName.isEmpty()) {
            return failed(tr("no file chosen"));
        }
        QFile file(fileName);
        std::array<uint8_t, kEdidFileReadSize> area{};
        if (!file.open(QIODevice::ReadOnly) ||
            file.read(reinterpret_cast<char *>(area.data()), kEdidFileReadSize) < 0) {
            return failed(tr("cannot read file %1: %2").arg(fileName, file.errorString()));
        }
        if (edidFileIsRaw(area)) {
            model = edid::readEdidModel(area);
        } else {
            EdidImage image{};
            if (parseEdidText(QString::fromLatin1(edidTextFromFile(area)), image) <= 0) {
                return failed(tr("%1 is not an EDID file").arg(fileName));
            }
            model = edid::readEdidModel(bytesOf(image));
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
    const std::optional<edid::EdidModel> videoModel = readSource(video, tr("Video"));
    if (!videoModel) {
        return;
    }
    if (sameAudio) {
        model_ = *videoModel;
        message_->setText(tr("Loaded from %1.").arg(kSourceNames[video]));
    } else {
        const std::optional<edid::EdidModel> audioModel = readSource(audio, tr("Audio"));
        if (!audioModel) {
            return;
        }
        const edid::MergeOutcome merged = edid::mergeEdids(*videoModel, *audioModel);
        if (!merged.outcome.ok) {
            message_->setText(tr("Refused: %1").arg(merged.outcome.reason));
            return;
        }
        model_ = merged.model;
        message_->setText(tr("Video from %1, audio from %2.").arg(kSourceNames[video], kSourceNames[audio]));
    }
    if (!model_.ctaProblem.isEmpty()) {
        message_->setText(message_->text() + QLatin1Char(' ') + model_.ctaProblem);
    }
    showModel();
}

void EdidBuilderPage::apply(const edid::EditOutcome &outcome, const QString &done) {
    message_->setText(outcome.ok ? done : tr("Refused: %1").arg(outcome.reason));
    // Refused or not, the controls show the model: a refused uncheck is checked again.
    showModel();
}

void EdidBuilderPage::vicToggled(QListWidgetItem *item) {
    const auto vic = static_cast<uint8_t>(item->data(kVicRole).toInt());
    if (item->checkState() == Qt::Unchecked) {
        apply(edid::removeVic(model_, vic), tr("VIC %1 removed.").arg(vic));
    }
}

void EdidBuilderPage::showModel() {
    const std::vector<uint8_t> bytes = encoded();
    const edid::EdidDecoded decoded = edid::decodeEdid(bytes);
    const edid::CtaBlock *cta = decoded.cta.empty() ? nullptr : &decoded.cta.front();
    const bool loaded = model_.valid;

    byteCount_->setText(model_.extension == edid::EdidModel::Extension::Cta
                            ? tr("CTA-861 block: %1 of %2 bytes")
                                  .arg(edid::ctaContentBytes(model_))
                                  .arg(edid::kCtaContentBytes)
                            : tr("CTA-861 block: none"));

    const QSignalBlocker blockVics(vics_);
    vics_->clear();
    audioFormats_->clear();
    if (cta != nullptr) {
        for (const edid::VideoDescriptor &video : cta->videos) {
            auto *item =
                new QListWidgetItem(tr("VIC %1: %2%3")
                                        .arg(video.vic)
                                        .arg(vicName(video.vic), video.native ? tr(" (native)") : QString()),
                                    vics_);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Checked);
            item->setData(kVicRole, video.vic);
        }
        // One entry per format: removing a format removes each of its descriptors.
        QStringList names;
        std::vector<QStringList> channels;
        for (const edid::AudioFormat &format : cta->audio) {
            const QString name = edid::audioFormatName(format);
            qsizetype at = names.indexOf(name);
            if (at < 0) {
                at = names.size();
                names << name;
                channels.emplace_back();
            }
            channels[static_cast<size_t>(at)] << QString::number(format.maxChannels);
        }
        for (qsizetype i = 0; i < names.size(); ++i) {
            auto *item = new QListWidgetItem(
                tr("%1: %2 channels")
                    .arg(names[i], channels[static_cast<size_t>(i)].join(QLatin1String(", "))),
                audioFormats_);
            item->setData(Qt::UserRole, names[i]);
        }
    }
    productName_->setEnabled(loaded);
    applyName_->setEnabled(loaded);
    productName_->setText(decoded.base.productName.value_or(QString()));
    vicToAdd_->setEnabled(loaded);
    addVic_->setEnabled(loaded);
    removeAudio_->setEnabled(audioFormats_->count() > 0);
    removeDolbyVision_->setEnabled(cta != nullptr && cta->dolbyVision.has_value());
    removeHdr10Plus_->setEnabled(cta != nullptr && cta->hdr10Plus);
    const bool forum = cta != nullptr && cta->hdmiForum.has_value();
    maxFrl_->setEnabled(forum);
    allm_->setEnabled(forum);
    const QSignalBlocker blockAllm(allm_);
    allm_->setChecked(forum && cta->hdmiForum->allm);
    const QSignalBlocker blockFrl(maxFrl_);
    maxFrl_->setCurrentIndex(forum ? maxFrl_->findData(edid::frlGbps(cta->hdmiForum->maxFrlCode)) : 0);
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
    textBeforeUse_ = QTextDocumentFragment(edidText_->document());
    renderEdidText(*edidText_, std::span<const uint8_t, proto::kEdidSize>(bytes.data(), proto::kEdidSize));
    textAfterUse_ = edidText_->toPlainText();
    undo_->setEnabled(true);
    message_->setText(tr("The EDID text holds the built EDID: write it with \"Write EDID to Veltrika\"."));
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
