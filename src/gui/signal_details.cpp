#include "signal_details.h"

#include "core/base/colon_hex.h"
#include "core/base/decode_findings.h"
#include "core/box/packet_text.h"
#include "core/signal/cec_report.h"
#include "core/signal/infoframe_report.h"
#include "decoded_view.h"

#include <QClipboard>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The CEC sender's rules without the count byte it puts after the header: the message itself.
constexpr packets::PacketSend kCecMessage = [] {
    packets::PacketSend send = packets::kCecSend;
    send.withCountByte = false;
    return send;
}();

struct TypedForm {
    const packets::PacketSend *send;
    const char *where;
};

QStringList typedLines(const QString &text, SignalDetailsWindow::Section section) {
    const TypedForm form =
        section == SignalDetailsWindow::CustomHdr   ? TypedForm{&packets::kHdrSend, "HDR text"}
        : section == SignalDetailsWindow::CustomAvi ? TypedForm{&packets::kAviSend, "AVI text"}
                                                    : TypedForm{&kCecMessage, "CEC text"};
    const packets::TextOutcome<packets::PacketBytes> packet = packets::packetBytesOf(text, *form.send);
    if (!packet.ok()) {
        return {findingLine({Finding::Severity::Failure, QLatin1String(form.where),
                             QStringLiteral("not sent as it stands (%1)").arg(QLatin1String(packet.error))})};
    }
    const std::span<const uint8_t> bytes = packet.value.bytes();
    QStringList lines{decoded::bytesLine(formatColonHex(bytes))};
    if (section == SignalDetailsWindow::Cec) {
        return lines << cec::cecDetailLines(cec::decodeCec(bytes));
    }
    const infoframe::Form shape =
        section == SignalDetailsWindow::CustomHdr ? infoframe::Form::Frame : infoframe::Form::AviPayload;
    return lines << infoframe::infoframeDetailLines(infoframe::decodeInfoframe(bytes, shape));
}

} // namespace

const std::array<const char *, SignalDetailsWindow::kSectionCount> SignalDetailsWindow::kSectionTitles = {
    "Captured HDR infoframe (input, every status tick)", "Custom HDR infoframe (HDR / IF)",
    "Custom AVI infoframe (HDR / IF)", "CEC command (CEC COMMANDER)"};

SignalDetailsWindow::SignalDetailsWindow(QTextEdit &hdrText, QTextEdit &aviText, QTextEdit &cecText,
                                         QWidget *parent)
    : QWidget(parent, Qt::Window) {
    setWindowTitle(tr("Signal Details"));
    sources_ = {nullptr, &hdrText, &aviText, &cecText};
    auto *grid = new QGridLayout;
    for (int s = 0; s < kSectionCount; ++s) {
        auto *box = new QGroupBox(tr(kSectionTitles[static_cast<size_t>(s)]), this);
        QPlainTextEdit *view = decoded::makeView(box);
        view->setObjectName(QStringLiteral("signalSection%1").arg(s));
        auto *boxLayout = new QVBoxLayout(box);
        boxLayout->addWidget(view);
        grid->addWidget(box, s / 2, s % 2);
        views_[static_cast<size_t>(s)] = view;
    }
    for (int s = CustomHdr; s < kSectionCount; ++s) {
        const auto section = static_cast<Section>(s);
        connect(sources_[static_cast<size_t>(s)], &QTextEdit::textChanged, this, [this, section] {
            if (isVisible()) {
                showTyped(section);
            }
        });
    }
    showCapture({});

    auto *copy = new QPushButton(tr("Copy as text"), this);
    copy->setObjectName(QStringLiteral("copySignalDetails"));
    connect(copy, &QPushButton::clicked, this, [this] { QGuiApplication::clipboard()->setText(text()); });
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(copy);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    resize(1000, 620);
}

void SignalDetailsWindow::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    for (int s = CustomHdr; s < kSectionCount; ++s) {
        showTyped(static_cast<Section>(s));
    }
}

void SignalDetailsWindow::showCapture(std::span<const uint8_t> payload) {
    const size_t length = std::min(payload.size(), capture_.size());
    // The same bytes as at the last tick mean the same lines.
    if (!shown_[Captured].isEmpty() && length == captureLength_ &&
        std::equal(payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(length),
                   capture_.begin())) {
        return;
    }
    capture_.fill(0);
    std::copy_n(payload.begin(), length, capture_.begin());
    captureLength_ = length;
    const std::span<const uint8_t> bytes = std::span<const uint8_t>(capture_).first(length);
    if (bytes.empty()) {
        showSection(Captured, {tr("No HDR infoframe captured.")});
        return;
    }
    showSection(Captured,
                QStringList{decoded::bytesLine(formatColonHex(bytes))} << infoframe::infoframeDetailLines(
                    infoframe::decodeInfoframe(bytes, infoframe::Form::HdrPayload)));
}

void SignalDetailsWindow::showTyped(Section section) {
    const QTextEdit *source = sources_[section];
    if (source != nullptr) {
        showSection(section, typedLines(source->toPlainText(), section));
    }
}

void SignalDetailsWindow::showSection(Section section, const QStringList &lines) {
    QString joined = lines.join(QLatin1Char('\n'));
    if (joined == shown_[section]) {
        return;
    }
    shown_[section] = std::move(joined);
    decoded::showLines(*views_[section], lines);
}

QString SignalDetailsWindow::text() const {
    QString out;
    for (size_t s = 0; s < kSectionCount; ++s) {
        out += QLatin1String(kSectionTitles[s]) + QLatin1String(":\n") + shown_[s] + QLatin1String("\n\n");
    }
    return out;
}
