// The edit tabs of the Build page: each control makes one edit of the core's model, and
// every edit, done or refused, shows the model again, so a control never shows what the
// model does not hold.

#include "core/edid/cta861.h"
#include "core/edid/edid_decode.h"
#include "core/edid/edid_report.h"
#include "core/edid/video_formats.h"
#include "edid_builder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

constexpr int kVicRole = Qt::UserRole;
constexpr int kNativeRole = Qt::UserRole + 1;
constexpr int k420Role = Qt::UserRole + 2;
constexpr int kRemovedRole = Qt::UserRole + 3;
constexpr int kFormatRole = Qt::UserRole;
constexpr int kChannelsRole = Qt::UserRole + 1;
constexpr int kRatesRole = Qt::UserRole + 2;
constexpr int kExtendedRole = Qt::UserRole + 3;
constexpr int kLuminanceUnstated = -1;
// The HDMI VSDB's deep colour bits in the order of their boxes.
constexpr uint8_t kDeepColorBits[] = {0x10, 0x20, 0x40, 0x08};

QPushButton *button(QWidget *parent, const QString &text, const char *name) {
    auto *made = new QPushButton(text, parent);
    made->setObjectName(QLatin1String(name));
    return made;
}

QCheckBox *checkBox(QWidget *parent, const QString &text, const QString &name) {
    auto *made = new QCheckBox(text, parent);
    made->setObjectName(name);
    return made;
}

QSpinBox *spinBox(QWidget *parent, const char *name, int min, int max, int step = 1) {
    auto *made = new QSpinBox(parent);
    made->setObjectName(QLatin1String(name));
    made->setRange(min, max);
    made->setSingleStep(step);
    return made;
}

QGroupBox *group(QWidget *parent, const QString &title, QLayout *content) {
    auto *box = new QGroupBox(title, parent);
    box->setLayout(content);
    return box;
}

// The value with one bit set or cleared: a box of the page stands for one bit of a byte.
template <typename T> T withBit(T value, int bit, bool on) {
    const auto mask = static_cast<T>(1u << bit);
    return static_cast<T>(on ? value | mask : value & ~mask);
}

QString vicText(uint8_t vic) {
    return QObject::tr("VIC %1: %2").arg(vic).arg(vicName(vic));
}

QString descriptorText(const edid::VideoDescriptor &video) {
    QString text = vicText(video.vic);
    if (video.native) {
        text += QObject::tr(" (native)");
    }
    if (video.ycbcr420Capable) {
        text += QObject::tr(" (also 4:2:0)");
    }
    return text;
}

void showDescriptor(QListWidgetItem &item, const edid::VideoDescriptor &video) {
    item.setText(descriptorText(video));
    item.setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item.setCheckState(Qt::Checked);
    item.setData(kVicRole, video.vic);
    item.setData(kNativeRole, video.native);
    item.setData(k420Role, video.ycbcr420Capable);
    item.setData(kRemovedRole, false);
}

// A row whose VIC the model no longer holds: unchecked, struck through and greyed, where
// it stood, until the next Load.
void showRemoved(QListWidgetItem &item) {
    QFont font = item.font();
    font.setStrikeOut(true);
    item.setFont(font);
    item.setCheckState(Qt::Unchecked);
    item.setFlags(Qt::ItemIsSelectable);
    item.setData(kRemovedRole, true);
}

bool isRemoved(const QListWidgetItem &item) {
    return item.data(kRemovedRole).toBool();
}

// Shows the descriptors in the rows as they stand when the model lost only VICs the rows
// show (a removal, or nothing): the rows of the lost VICs are struck through. False, with
// the rows unchanged, when the descriptors are not the live rows less some.
bool keepRows(QListWidget &list, const std::vector<edid::VideoDescriptor> &videos) {
    std::vector<bool> lost(static_cast<size_t>(list.count()), false);
    size_t next = 0;
    for (int row = 0; row < list.count(); ++row) {
        const QListWidgetItem &item = *list.item(row);
        if (isRemoved(item)) {
            continue;
        }
        if (next < videos.size() && item.data(kVicRole).toInt() == videos[next].vic) {
            ++next;
        } else {
            lost[static_cast<size_t>(row)] = true;
        }
    }
    if (next != videos.size() || list.count() == 0) {
        return false;
    }
    next = 0;
    for (int row = 0; row < list.count(); ++row) {
        QListWidgetItem &item = *list.item(row);
        if (lost[static_cast<size_t>(row)]) {
            showRemoved(item);
        } else if (!isRemoved(item)) {
            showDescriptor(item, videos[next++]);
        }
    }
    return true;
}

// Shows the item whose role holds the value as the current one, else the first.
void restoreCurrent(QListWidget &list, int role, const QVariant &value) {
    for (int row = 0; row < list.count(); ++row) {
        if (list.item(row)->data(role) == value) {
            list.setCurrentRow(row);
            return;
        }
    }
    list.setCurrentRow(list.count() > 0 ? 0 : -1);
}

} // namespace

std::optional<uint8_t> EdidBuilderPage::currentVic() const {
    const QListWidgetItem *item = vics_->currentItem();
    if (item == nullptr || isRemoved(*item)) {
        return std::nullopt;
    }
    return static_cast<uint8_t>(item->data(kVicRole).toInt());
}

QWidget *EdidBuilderPage::makeVideoEdits() {
    auto *tab = new QWidget(this);
    vics_ = new QListWidget(tab);
    vics_->setObjectName(QStringLiteral("buildVics"));
    connect(vics_, &QListWidget::itemChanged, this, &EdidBuilderPage::vicToggled);
    connect(vics_, &QListWidget::currentRowChanged, this, &EdidBuilderPage::showCurrentVic);

    nativeVic_ = button(tab, tr("Native"), "buildNativeVic");
    connect(nativeVic_, &QPushButton::clicked, this, [this] {
        if (const std::optional<uint8_t> vic = currentVic()) {
            apply(edid::setNativeVic(model_, *vic), tr("VIC %1 is native.").arg(*vic));
        }
    });
    vic420_ = checkBox(tab, tr("Also as YCbCr 4:2:0"), QStringLiteral("buildVic420"));
    connect(vic420_, &QCheckBox::toggled, this, [this](bool on) {
        if (const std::optional<uint8_t> vic = currentVic()) {
            apply(
                edid::setYcbcr420Capable(model_, *vic, on),
                (on ? tr("VIC %1 also as YCbCr 4:2:0.") : tr("VIC %1 no longer as YCbCr 4:2:0.")).arg(*vic));
        }
    });
    preferredVic_ = button(tab, tr("Preferred timing"), "buildPreferredVic");
    preferredVic_->setToolTip(tr("The EDID's detailed timing of this VIC becomes the preferred timing"));
    connect(preferredVic_, &QPushButton::clicked, this, [this] {
        if (const std::optional<uint8_t> vic = currentVic()) {
            apply(edid::setPreferredTimingFromVic(model_, *vic),
                  tr("The timing of VIC %1 is the preferred timing.").arg(*vic));
        }
    });
    auto *selected = new QVBoxLayout;
    selected->addWidget(nativeVic_);
    selected->addWidget(vic420_);
    selected->addWidget(preferredVic_);
    selected->addStretch(1);

    only420_ = new QListWidget(tab);
    only420_->setObjectName(QStringLiteral("buildOnly420"));
    connect(only420_, &QListWidget::itemChanged, this, [this](QListWidgetItem *item) {
        const auto vic = static_cast<uint8_t>(item->data(kVicRole).toInt());
        if (item->checkState() == Qt::Unchecked) {
            apply(edid::removeYcbcr420OnlyVic(model_, vic),
                  tr("VIC %1 removed from the 4:2:0 only list.").arg(vic));
        }
    });

    vicToAdd_ = spinBox(tab, "buildVicToAdd", 1, 255);
    vicToAdd_->setValue(16);
    addVic_ = button(tab, tr("Add VIC"), "buildAddVic");
    connect(addVic_, &QPushButton::clicked, this, [this] {
        const auto vic = static_cast<uint8_t>(vicToAdd_->value());
        apply(edid::addVic(model_, vic), tr("VIC %1 added.").arg(vic));
    });
    add420Only_ = button(tab, tr("Add as 4:2:0 only"), "buildAdd420Only");
    connect(add420Only_, &QPushButton::clicked, this, [this] {
        const auto vic = static_cast<uint8_t>(vicToAdd_->value());
        apply(edid::addYcbcr420OnlyVic(model_, vic), tr("VIC %1 added as YCbCr 4:2:0 only.").arg(vic));
    });
    auto *add = new QHBoxLayout;
    add->addWidget(new QLabel(tr("VIC"), tab));
    add->addWidget(vicToAdd_, 1);
    add->addWidget(addVic_);
    add->addWidget(add420Only_);

    auto *layout = new QGridLayout(tab);
    layout->addWidget(new QLabel(tr("Video Data Block (uncheck to remove)"), tab), 0, 0);
    layout->addWidget(new QLabel(tr("YCbCr 4:2:0 only"), tab), 0, 2);
    layout->addWidget(vics_, 1, 0);
    layout->addLayout(selected, 1, 1);
    layout->addWidget(only420_, 1, 2);
    layout->addLayout(add, 2, 0, 1, 3);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(2, 2);
    return tab;
}

void EdidBuilderPage::vicToggled(QListWidgetItem *item) {
    if (isRemoved(*item) || item->checkState() != Qt::Unchecked) {
        return;
    }
    const auto vic = static_cast<uint8_t>(item->data(kVicRole).toInt());
    const edid::EditOutcome outcome = edid::removeVic(model_, vic);
    if (!outcome.ok) {
        apply(outcome, QString());
        return;
    }
    // Every removal stands in the message, not only the last of several quick ones.
    removedVics_.push_back(vic);
    QStringList removed;
    for (const uint8_t each : removedVics_) {
        removed << QString::number(each);
    }
    apply(outcome, removedVics_.size() == 1 ? tr("VIC %1 removed.").arg(vic)
                                            : tr("VIC %1 removed; since the last Load: VICs %2.")
                                                  .arg(vic)
                                                  .arg(removed.join(QStringLiteral(", "))));
}

void EdidBuilderPage::showVideo(const edid::CtaBlock *cta) {
    const std::optional<uint8_t> current = currentVic();
    const QSignalBlocker blockVics(vics_);
    const QSignalBlocker blockOnly(only420_);
    only420_->clear();
    const std::vector<edid::VideoDescriptor> none;
    const std::vector<edid::VideoDescriptor> &videos = cta != nullptr ? cta->videos : none;
    if (!keepRows(*vics_, videos)) {
        vics_->clear();
        for (const edid::VideoDescriptor &video : videos) {
            showDescriptor(*new QListWidgetItem(vics_), video);
        }
    }
    if (cta != nullptr) {
        for (const uint8_t vic : cta->ycbcr420OnlyVics) {
            auto *item = new QListWidgetItem(vicText(vic), only420_);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Checked);
            item->setData(kVicRole, vic);
        }
    }
    if (current || vics_->currentItem() == nullptr) {
        restoreCurrent(*vics_, kVicRole, current ? QVariant(int(*current)) : QVariant());
    }
    const bool editable = cta != nullptr;
    vicToAdd_->setEnabled(editable);
    addVic_->setEnabled(editable);
    add420Only_->setEnabled(editable);
    showCurrentVic();
}

void EdidBuilderPage::showCurrentVic() {
    const QListWidgetItem *item = vics_->currentItem();
    const std::optional<uint8_t> vic = currentVic();
    nativeVic_->setEnabled(vic && *vic <= 64 && !item->data(kNativeRole).toBool());
    const QSignalBlocker block(vic420_);
    vic420_->setEnabled(vic.has_value());
    vic420_->setChecked(vic && item->data(k420Role).toBool());
    preferredVic_->setEnabled(vic.has_value());
}

QWidget *EdidBuilderPage::makeAudioEdits() {
    auto *tab = new QWidget(this);
    audioFormats_ = new QListWidget(tab);
    audioFormats_->setObjectName(QStringLiteral("buildAudioFormats"));
    connect(audioFormats_, &QListWidget::currentRowChanged, this, &EdidBuilderPage::showCurrentAudioFormat);

    audioChannels_ = spinBox(tab, "buildAudioChannels", 1, 8);
    auto *rates = new QHBoxLayout;
    for (const double khz : edid::kSampleRatesKhz) {
        const QString rate = QString::number(khz);
        audioRates_.push_back(checkBox(tab, rate, QStringLiteral("buildAudioRate%1").arg(rate)));
        rates->addWidget(audioRates_.back());
    }
    rates->addWidget(new QLabel(tr("kHz"), tab));
    rates->addStretch(1);
    setAudio_ = button(tab, tr("Set"), "buildSetAudio");
    connect(setAudio_, &QPushButton::clicked, this, [this] {
        const QListWidgetItem *item = audioFormats_->currentItem();
        if (item == nullptr) {
            return;
        }
        const QString format = item->data(kFormatRole).toString();
        std::optional<uint8_t> channels;
        if (!item->data(kExtendedRole).toBool() &&
            audioChannels_->value() != item->data(kChannelsRole).toInt()) {
            channels = static_cast<uint8_t>(audioChannels_->value());
        }
        uint8_t mask = 0;
        for (size_t bit = 0; bit < audioRates_.size(); ++bit) {
            mask |= audioRates_[bit]->isChecked() ? uint8_t(1u << bit) : uint8_t(0);
        }
        std::optional<uint8_t> rateMask;
        if (mask != item->data(kRatesRole).toInt()) {
            rateMask = mask;
        }
        if (!channels && !rateMask) {
            message_->setText(tr("%1 stays as it is: change its channels or rates first.").arg(format));
            return;
        }
        apply(edid::setAudioFormat(model_, format, channels, rateMask), tr("%1 set.").arg(format));
    });
    removeAudio_ = button(tab, tr("Remove"), "buildRemoveAudio");
    connect(removeAudio_, &QPushButton::clicked, this, [this] {
        const QListWidgetItem *item = audioFormats_->currentItem();
        if (item == nullptr) {
            message_->setText(tr("Choose the audio format to remove."));
            return;
        }
        const QString format = item->data(kFormatRole).toString();
        apply(edid::removeAudioFormat(model_, format), tr("%1 removed.").arg(format));
    });
    takeAudio_ = button(tab, tr("Take all audio formats"), "buildTakeAudio");
    takeAudio_->setToolTip(tr("The Audio Data Block of the EDID chosen in \"Take blocks from\""));
    connect(takeAudio_, &QPushButton::clicked, this,
            [this] { takeFromOther(&edid::takeAudioBlock, tr("Audio formats taken from %1.")); });

    auto *format = new QFormLayout;
    format->addRow(tr("Max channels"), audioChannels_);
    format->addRow(tr("Sample rates"), rates);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(setAudio_);
    buttons->addWidget(removeAudio_);
    buttons->addStretch(1);
    buttons->addWidget(takeAudio_);
    auto *right = new QVBoxLayout;
    right->addLayout(format);
    right->addLayout(buttons);
    right->addStretch(1);
    auto *layout = new QHBoxLayout(tab);
    layout->addWidget(audioFormats_, 2);
    layout->addLayout(right, 3);
    return tab;
}

void EdidBuilderPage::showAudio(const edid::CtaBlock *cta) {
    const QListWidgetItem *current = audioFormats_->currentItem();
    const QVariant currentFormat = current != nullptr ? current->data(kFormatRole) : QVariant();
    const QSignalBlocker block(audioFormats_);
    audioFormats_->clear();
    if (cta != nullptr) {
        // One entry per format: an edit of a format edits each of its descriptors.
        QStringList names;
        std::vector<std::vector<const edid::AudioFormat *>> descriptors;
        for (const edid::AudioFormat &format : cta->audio) {
            const QString name = edid::audioFormatName(format);
            qsizetype at = names.indexOf(name);
            if (at < 0) {
                at = names.size();
                names << name;
                descriptors.emplace_back();
            }
            descriptors[static_cast<size_t>(at)].push_back(&format);
        }
        for (size_t i = 0; i < descriptors.size(); ++i) {
            QStringList channels;
            int maxChannels = 0;
            int rates = 0;
            for (const edid::AudioFormat *format : descriptors[i]) {
                channels << QString::number(format->maxChannels);
                maxChannels = std::max<int>(maxChannels, format->maxChannels);
                rates |= format->sampleRates;
            }
            const QString &name = names[static_cast<qsizetype>(i)];
            auto *item = new QListWidgetItem(
                tr("%1: %2 channels").arg(name, channels.join(QLatin1String(", "))), audioFormats_);
            item->setData(kFormatRole, name);
            item->setData(kChannelsRole, maxChannels);
            item->setData(kRatesRole, rates);
            item->setData(kExtendedRole,
                          descriptors[i].front()->code == uint8_t(edid::AudioCoding::Extended));
        }
    }
    restoreCurrent(*audioFormats_, kFormatRole, currentFormat);
    takeAudio_->setEnabled(cta != nullptr);
    showCurrentAudioFormat();
}

void EdidBuilderPage::showCurrentAudioFormat() {
    const QListWidgetItem *item = audioFormats_->currentItem();
    const bool chosen = item != nullptr;
    audioChannels_->setEnabled(chosen && !item->data(kExtendedRole).toBool());
    audioChannels_->setValue(chosen ? item->data(kChannelsRole).toInt() : 1);
    const int rates = chosen ? item->data(kRatesRole).toInt() : 0;
    for (size_t bit = 0; bit < audioRates_.size(); ++bit) {
        audioRates_[bit]->setEnabled(chosen);
        audioRates_[bit]->setChecked((rates & (1 << bit)) != 0);
    }
    setAudio_->setEnabled(chosen);
    removeAudio_->setEnabled(chosen);
}

QWidget *EdidBuilderPage::makeSpeakerEdits() {
    auto *tab = new QWidget(this);
    auto *layout = new QGridLayout(tab);
    constexpr int kColumns = 5;
    for (int bit = 0; bit < edid::kSpeakerBits; ++bit) {
        const QString name = edid::speakerName(bit);
        speakers_.push_back(checkBox(tab, name, QStringLiteral("buildSpeaker%1").arg(bit)));
        layout->addWidget(speakers_.back(), bit / kColumns, bit % kColumns);
        connect(speakers_.back(), &QCheckBox::toggled, this, [this, bit, name](bool on) {
            const uint32_t allocation = withBit(shownSpeakers_, bit, on);
            apply(edid::setSpeakerAllocation(model_, allocation),
                  (on ? tr("%1 added to the speakers.") : tr("%1 removed from the speakers.")).arg(name));
        });
    }
    layout->setRowStretch(edid::kSpeakerBits / kColumns, 1);
    return tab;
}

void EdidBuilderPage::showSpeakers(const edid::CtaBlock *cta) {
    shownSpeakers_ = cta != nullptr ? cta->speakerAllocation.value_or(0) : 0;
    for (size_t bit = 0; bit < speakers_.size(); ++bit) {
        const QSignalBlocker block(speakers_[bit]);
        speakers_[bit]->setEnabled(cta != nullptr);
        speakers_[bit]->setChecked((shownSpeakers_ & (1u << bit)) != 0);
    }
}

QWidget *EdidBuilderPage::makeHdrEdits() {
    auto *tab = new QWidget(this);
    auto *eotfs = new QVBoxLayout;
    for (int bit = 0; bit < int(edid::kEotfs.size()); ++bit) {
        const QString name = QLatin1String(edid::kEotfs[size_t(bit)].name);
        eotfs_.push_back(checkBox(tab, name, QStringLiteral("buildEotf%1").arg(bit)));
        eotfs->addWidget(eotfs_.back());
        connect(eotfs_.back(), &QCheckBox::toggled, this, [this, bit, name](bool on) {
            const uint8_t bits = withBit(shownEotfs_, bit, on);
            apply(edid::setHdrEotfs(model_, bits),
                  (on ? tr("EOTF %1 set.") : tr("EOTF %1 cleared.")).arg(name));
        });
    }
    eotfs->addStretch(1);

    auto *luminance = new QFormLayout;
    static const char *const kLuminanceNames[] = {"buildMaxLuminance", "buildFrameAverageLuminance",
                                                  "buildMinLuminance"};
    const QString labels[] = {tr("Max"), tr("Max frame-average"), tr("Min")};
    for (size_t i = 0; i < std::size(kLuminanceNames); ++i) {
        luminance_.push_back(spinBox(tab, kLuminanceNames[i], kLuminanceUnstated, 255));
        luminance_.back()->setSpecialValueText(tr("not stated"));
        luminance->addRow(labels[i], luminance_.back());
    }
    setLuminance_ = button(tab, tr("Set"), "buildSetLuminance");
    connect(setLuminance_, &QPushButton::clicked, this, [this] {
        const auto code = [this](size_t i) -> std::optional<uint8_t> {
            const int value = luminance_[i]->value();
            return value == kLuminanceUnstated ? std::nullopt : std::optional<uint8_t>(uint8_t(value));
        };
        apply(edid::setHdrLuminance(model_, {code(0), code(1), code(2)}), tr("Luminance codes set."));
    });
    luminance->addRow(setLuminance_);

    removeDolbyVision_ = button(tab, tr("Remove"), "buildRemoveDolbyVision");
    connect(removeDolbyVision_, &QPushButton::clicked, this, [this] {
        apply(edid::removeVendorVideoBlock(model_, edid::VendorVideo::DolbyVision),
              tr("Dolby Vision removed."));
    });
    takeDolbyVision_ = button(tab, tr("Take"), "buildTakeDolbyVision");
    connect(takeDolbyVision_, &QPushButton::clicked, this, [this] {
        takeFromOther(
            [](edid::EdidModel &m, const edid::EdidModel &from) {
                return edid::takeVendorVideoBlock(m, from, edid::VendorVideo::DolbyVision);
            },
            tr("Dolby Vision taken from %1."));
    });
    removeHdr10Plus_ = button(tab, tr("Remove"), "buildRemoveHdr10Plus");
    connect(removeHdr10Plus_, &QPushButton::clicked, this, [this] {
        apply(edid::removeVendorVideoBlock(model_, edid::VendorVideo::Hdr10Plus), tr("HDR10+ removed."));
    });
    takeHdr10Plus_ = button(tab, tr("Take"), "buildTakeHdr10Plus");
    connect(takeHdr10Plus_, &QPushButton::clicked, this, [this] {
        takeFromOther(
            [](edid::EdidModel &m, const edid::EdidModel &from) {
                return edid::takeVendorVideoBlock(m, from, edid::VendorVideo::Hdr10Plus);
            },
            tr("HDR10+ taken from %1."));
    });
    auto *vendor = new QGridLayout;
    vendor->addWidget(new QLabel(tr("Dolby Vision"), tab), 0, 0);
    vendor->addWidget(removeDolbyVision_, 0, 1);
    vendor->addWidget(takeDolbyVision_, 0, 2);
    vendor->addWidget(new QLabel(tr("HDR10+"), tab), 1, 0);
    vendor->addWidget(removeHdr10Plus_, 1, 1);
    vendor->addWidget(takeHdr10Plus_, 1, 2);
    vendor->setRowStretch(2, 1);

    auto *layout = new QHBoxLayout(tab);
    layout->addWidget(group(tab, tr("EOTFs"), eotfs), 2);
    layout->addWidget(group(tab, tr("Luminance codes"), luminance), 3);
    layout->addWidget(group(tab, tr("Blocks (Take: from \"Take blocks from\")"), vendor), 3);
    return tab;
}

void EdidBuilderPage::showHdr(const edid::CtaBlock *cta) {
    const edid::HdrStatic *hdr = cta != nullptr && cta->hdrStatic ? &*cta->hdrStatic : nullptr;
    shownEotfs_ = hdr != nullptr ? hdr->eotfs : 0;
    for (size_t bit = 0; bit < eotfs_.size(); ++bit) {
        const QSignalBlocker block(eotfs_[bit]);
        eotfs_[bit]->setEnabled(cta != nullptr);
        eotfs_[bit]->setChecked((shownEotfs_ & (1u << bit)) != 0);
    }
    const std::optional<uint8_t> codes[] = {hdr ? hdr->maxLuminanceCode : std::nullopt,
                                            hdr ? hdr->maxFrameAverageCode : std::nullopt,
                                            hdr ? hdr->minLuminanceCode : std::nullopt};
    for (size_t i = 0; i < luminance_.size(); ++i) {
        luminance_[i]->setEnabled(hdr != nullptr);
        luminance_[i]->setValue(codes[i] ? int(*codes[i]) : kLuminanceUnstated);
    }
    setLuminance_->setEnabled(hdr != nullptr);
    removeDolbyVision_->setEnabled(cta != nullptr && cta->dolbyVision.has_value());
    removeHdr10Plus_->setEnabled(cta != nullptr && cta->hdr10Plus);
    takeDolbyVision_->setEnabled(cta != nullptr);
    takeHdr10Plus_->setEnabled(cta != nullptr);
}

QWidget *EdidBuilderPage::makeHdmiEdits() {
    auto *tab = new QWidget(this);
    maxFrl_ = new QComboBox(tab);
    maxFrl_->setObjectName(QStringLiteral("buildMaxFrl"));
    for (const edid::FrlRate &rate : edid::kFrlRates) {
        maxFrl_->addItem(tr("%1 Gbps").arg(rate.gbps), rate.gbps);
    }
    connect(maxFrl_, &QComboBox::currentIndexChanged, this, [this](int index) {
        const int gbps = maxFrl_->itemData(index).toInt();
        apply(edid::setMaxFrl(model_, edid::frlCodeOfGbps(gbps).value_or(0)),
              tr("Max FRL rate set to %1 Gbps.").arg(gbps));
    });
    allm_ = checkBox(tab, tr("ALLM"), QStringLiteral("buildAllm"));
    connect(allm_, &QCheckBox::toggled, this, [this](bool on) {
        apply(edid::setAllm(model_, on), on ? tr("ALLM set.") : tr("ALLM cleared."));
    });
    vrrMin_ = spinBox(tab, "buildVrrMin", 0, 63);
    vrrMax_ = spinBox(tab, "buildVrrMax", 0, 1023);
    setVrr_ = button(tab, tr("Set"), "buildSetVrr");
    connect(setVrr_, &QPushButton::clicked, this, [this] {
        const int min = vrrMin_->value();
        const int max = vrrMax_->value();
        apply(edid::setVrrRange(model_, uint8_t(min), uint16_t(max)),
              tr("VRR range set to %1 to %2 Hz.").arg(min).arg(max));
    });
    auto *vrr = new QHBoxLayout;
    vrr->addWidget(vrrMin_);
    vrr->addWidget(new QLabel(tr("to"), tab));
    vrr->addWidget(vrrMax_);
    vrr->addWidget(new QLabel(tr("Hz"), tab));
    vrr->addWidget(setVrr_);
    maxTmdsRate_ = spinBox(tab, "buildMaxTmdsRate", 0, 1275, 5);
    maxTmdsRate_->setSpecialValueText(tr("340 MHz or less"));
    maxTmdsRate_->setSuffix(tr(" MHz"));
    setMaxTmdsRate_ = button(tab, tr("Set"), "buildSetMaxTmdsRate");
    connect(setMaxTmdsRate_, &QPushButton::clicked, this, [this] {
        const int mhz = maxTmdsRate_->value();
        apply(edid::setMaxTmdsCharacterRate(model_, uint16_t(mhz)),
              tr("Max TMDS character rate set to %1 MHz.").arg(mhz));
    });
    auto *rate = new QHBoxLayout;
    rate->addWidget(maxTmdsRate_, 1);
    rate->addWidget(setMaxTmdsRate_);
    auto *forum = new QFormLayout;
    forum->addRow(tr("Max FRL"), maxFrl_);
    forum->addRow(allm_);
    forum->addRow(tr("VRR"), vrr);
    forum->addRow(tr("Max TMDS rate"), rate);

    maxTmdsClock_ = spinBox(tab, "buildMaxTmdsClock", 0, 1275, 5);
    maxTmdsClock_->setSpecialValueText(tr("not stated"));
    maxTmdsClock_->setSuffix(tr(" MHz"));
    setMaxTmdsClock_ = button(tab, tr("Set"), "buildSetMaxTmdsClock");
    connect(setMaxTmdsClock_, &QPushButton::clicked, this, [this] {
        const int mhz = maxTmdsClock_->value();
        apply(edid::setHdmiMaxTmdsClock(model_, uint16_t(mhz)), tr("Max TMDS clock set to %1 MHz.").arg(mhz));
    });
    auto *clock = new QHBoxLayout;
    clock->addWidget(maxTmdsClock_, 1);
    clock->addWidget(setMaxTmdsClock_);
    auto *deep = new QHBoxLayout;
    const QString deepNames[] = {tr("30 bit"), tr("36 bit"), tr("48 bit"), tr("YCbCr 4:4:4")};
    for (size_t i = 0; i < std::size(kDeepColorBits); ++i) {
        deepColor_.push_back(
            checkBox(tab, deepNames[i], QStringLiteral("buildDeepColor%1").arg(kDeepColorBits[i])));
        deep->addWidget(deepColor_.back());
        connect(deepColor_.back(), &QCheckBox::toggled, this, [this] {
            // The boxes cover every deep colour bit: together they are the new value.
            uint8_t bits = 0;
            for (size_t box = 0; box < deepColor_.size(); ++box) {
                bits |= deepColor_[box]->isChecked() ? kDeepColorBits[box] : uint8_t(0);
            }
            apply(edid::setDeepColor(model_, bits), tr("Deep colour set."));
        });
    }
    auto *vsdb = new QFormLayout;
    vsdb->addRow(tr("Max TMDS clock"), clock);
    vsdb->addRow(tr("Deep colour"), deep);

    auto *layout = new QHBoxLayout(tab);
    layout->addWidget(group(tab, tr("HDMI Forum"), forum), 1);
    layout->addWidget(group(tab, tr("HDMI VSDB"), vsdb), 1);
    return tab;
}

void EdidBuilderPage::showHdmi(const edid::CtaBlock *cta) {
    const edid::HdmiForum *forum = cta != nullptr && cta->hdmiForum ? &*cta->hdmiForum : nullptr;
    const QSignalBlocker blockFrl(maxFrl_);
    const QSignalBlocker blockAllm(allm_);
    for (QWidget *control : std::initializer_list<QWidget *>{maxFrl_, allm_, vrrMin_, vrrMax_, setVrr_,
                                                             maxTmdsRate_, setMaxTmdsRate_}) {
        control->setEnabled(forum != nullptr);
    }
    maxFrl_->setCurrentIndex(forum ? std::max(0, maxFrl_->findData(edid::frlGbps(forum->maxFrlCode))) : 0);
    allm_->setChecked(forum && forum->allm);
    vrrMin_->setValue(forum ? forum->vrrMin.value_or(0) : 0);
    vrrMax_->setValue(forum ? forum->vrrMax.value_or(0) : 0);
    maxTmdsRate_->setValue(forum ? forum->maxTmdsMhz : 0);

    const edid::HdmiVsdb *hdmi = cta != nullptr && cta->hdmi ? &*cta->hdmi : nullptr;
    maxTmdsClock_->setEnabled(hdmi != nullptr);
    setMaxTmdsClock_->setEnabled(hdmi != nullptr);
    maxTmdsClock_->setValue(hdmi ? hdmi->maxTmdsMhz : 0);
    const bool deep[] = {hdmi && hdmi->deepColor30, hdmi && hdmi->deepColor36, hdmi && hdmi->deepColor48,
                         hdmi && hdmi->deepColorY444};
    for (size_t box = 0; box < deepColor_.size(); ++box) {
        const QSignalBlocker block(deepColor_[box]);
        deepColor_[box]->setEnabled(hdmi != nullptr);
        deepColor_[box]->setChecked(deep[box]);
    }
}
