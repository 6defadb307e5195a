#include "edid_details.h"

#include "core/base/decode_findings.h"
#include "core/edid/edid_check.h"
#include "core/edid/edid_decode.h"
#include "core/edid/edid_report.h"
#include "core/edid/spaced_hex.h"
#include "decoded_view.h"
#include "edid_builder.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <vector>

namespace {

constexpr EdidSource kCompareSources[] = {EdidSource::Box, EdidSource::TopSink, EdidSource::BotSink};
const QColor kDifferenceColour{0xFF, 0xE0, 0x99};
const QString kTextWhere = QStringLiteral("EDID text");

struct DecodedText {
    QString state;
    QStringList lines;
};

// "line 3, column 15" of a position in the text, both counted from 1 in characters as the
// text shows them: a tab or another control character is one, and so is a character
// outside the Basic Multilingual Plane (two UTF-16 units).
QString positionText(const QString &text, qsizetype at) {
    qsizetype line = 1;
    qsizetype column = 1;
    const qsizetype end = std::clamp<qsizetype>(at, 0, text.size());
    for (qsizetype i = 0; i < end; ++i) {
        if (text[i] == QLatin1Char('\n')) {
            ++line;
            column = 1;
        } else if (!text[i].isLowSurrogate()) {
            ++column;
        }
    }
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

// Characters as they may be shown: control characters as C escapes.
QString visibleText(const QString &text) {
    QString out;
    for (const QChar c : text) {
        if (c == QLatin1Char('\t')) {
            out += QLatin1String("\\t");
        } else if (c == QLatin1Char('\r')) {
            out += QLatin1String("\\r");
        } else if (c == QLatin1Char('\n')) {
            out += QLatin1String("\\n");
        } else if (!c.isPrint()) {
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return out;
}

QString failureLine(const QString &text) {
    return findingLine({Finding::Severity::Failure, kTextWhere, text});
}

QString warningLine(const QString &text) {
    return findingLine({Finding::Severity::Warning, kTextWhere, text});
}

// Why a text is no EDID, where that shows: the group of three characters that breaks the
// layout, at its first character.
QString layoutFailure(const QString &text) {
    const qsizetype at = edidTextLayoutBreak(text);
    if (at >= text.size()) {
        return failureLine(
            QStringLiteral("%1: the text ends one digit into a byte").arg(positionText(text, at)));
    }
    const qsizetype group = at - at % 3;
    return failureLine(
        QStringLiteral("%1: '%2' is not a byte: two hexadecimal digits and then one space or a line feed")
            .arg(positionText(text, group), visibleText(text.mid(group, 3))));
}

// The first character that is no character of a text file, as its byte: a file that is
// not text (a picture) loaded or pasted into the box.
std::optional<qsizetype> nonTextAt(const QString &text) {
    for (qsizetype at = 0; at < text.size(); ++at) {
        const char16_t c = text[at].unicode();
        if (c <= 0xFF) {
            const char byte = static_cast<char>(c);
            if (firstNonTextByte(QByteArrayView(&byte, 1)) == 0) {
                return at;
            }
        }
    }
    return std::nullopt;
}

DecodedText decodeEdidText(const QString &text) {
    std::array<uint8_t, proto::kEdidSize> image{};
    const qsizetype groups = parseEdidText(text, image);
    if (const std::optional<qsizetype> at = nonTextAt(text); groups < 0 && at) {
        return {QStringLiteral("The EDID text is not text."),
                {failureLine(QStringLiteral("not text: byte 0x%1 at offset %2")
                                 .arg(text[*at].unicode(), 2, 16, QLatin1Char('0'))
                                 .arg(*at))}};
    }
    if (groups < 0) {
        return {QStringLiteral("The EDID text is not spaced hex."), {layoutFailure(text)}};
    }
    if (groups == 0) {
        return {QStringLiteral("The EDID text holds no byte."),
                {failureLine(QStringLiteral("the text holds no byte"))}};
    }
    QStringList textWarnings;
    const qsizetype size = static_cast<qsizetype>(image.size());
    if (groups < size) {
        textWarnings << warningLine(
            QStringLiteral("the text holds %1 of %2 bytes; the bytes after them count as zero")
                .arg(groups)
                .arg(size));
    } else if (groups > size) {
        textWarnings << warningLine(
            QStringLiteral("the text holds %1 bytes; only the first %2 are the EDID").arg(groups).arg(size));
    }
    // What a source would find, as the write asks about it.
    const EdidCheck check = checkEdidForSource(image, groups, EdidOrigin::Text);
    // The text's length is told above already.
    for (qsizetype i = check.whole() ? 0 : 1; i < check.reasons.size(); ++i) {
        textWarnings << warningLine(QStringLiteral("a source may not read it: %1").arg(check.reasons[i]));
    }
    const edid::EdidDecoded decoded = edid::decodeEdid(image);
    const QStringList lines = textWarnings + edid::edidDetailLines(decoded);
    const auto count = [&decoded](Finding::Severity severity) {
        return std::count_if(decoded.findings.begin(), decoded.findings.end(),
                             [severity](const Finding &f) { return f.severity == severity; });
    };
    const qsizetype warnings = count(Finding::Severity::Warning) + textWarnings.size();
    const qsizetype failures = count(Finding::Severity::Failure);
    return {QStringLiteral("EDID MANAGER text: %1 of %2 blocks decoded, %3 warning(s), %4 failure(s).")
                .arg(decoded.checksumsOk.size())
                .arg(size / 128)
                .arg(warnings)
                .arg(failures),
            lines};
}

void copyToClipboard(const QString &text) {
    QGuiApplication::clipboard()->setText(text);
}

QPushButton *copyButton(QWidget *parent) {
    return new QPushButton(QObject::tr("Copy as text"), parent);
}

} // namespace

const QStringList EdidDetailsWindow::kCompareColumns = {QStringLiteral("Box"), QStringLiteral("TOP TV"),
                                                        QStringLiteral("BOT TV")};

EdidDetailsWindow::EdidDetailsWindow(QTextEdit &edidText, BoxSession &session, QWidget *parent)
    : QWidget(parent, Qt::Window), edidText_(&edidText), session_(session) {
    setWindowTitle(tr("EDID Details"));
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("edidDetailsTabs"));
    tabs_->addTab(makeDetailsPage(), tr("Details"));
    tabs_->addTab(makeComparePage(), tr("Compare"));
    builder_ = new EdidBuilderPage(edidText, session, this);
    tabs_->addTab(builder_, tr("Build"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    resize(840, 660);

    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(0);
    connect(&refreshTimer_, &QTimer::timeout, this, &EdidDetailsWindow::refreshDetails);
    connect(&edidText, &QTextEdit::textChanged, this, &EdidDetailsWindow::scheduleRefresh);
}

void EdidDetailsWindow::setFileDialogs(FileDialogs *dialogs) {
    builder_->setFileDialogs(dialogs);
}

QWidget *EdidDetailsWindow::makeDetailsPage() {
    auto *page = new QWidget;
    detailsState_ = new QLabel(page);
    detailsState_->setTextFormat(Qt::PlainText);
    details_ = decoded::makeView(page);
    details_->setObjectName(QStringLiteral("edidDetailsView"));
    QPushButton *copy = copyButton(page);
    copy->setObjectName(QStringLiteral("copyEdidDetails"));
    connect(copy, &QPushButton::clicked, this, [this] { copyToClipboard(detailsText()); });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(detailsState_, 1);
    buttons->addWidget(copy);
    auto *layout = new QVBoxLayout(page);
    layout->addLayout(buttons);
    layout->addWidget(details_);
    return page;
}

QWidget *EdidDetailsWindow::makeComparePage() {
    auto *page = new QWidget;
    readButton_ = new QPushButton(tr("Read"), page);
    readButton_->setObjectName(QStringLiteral("readCompare"));
    compareState_ = new QLabel(tr("Read the box's EDID and the EDIDs of the TOP and BOT TVs."), page);
    compareState_->setTextFormat(Qt::PlainText);
    compareState_->setWordWrap(true);
    QPushButton *copy = copyButton(page);
    copy->setObjectName(QStringLiteral("copyEdidCompare"));
    connect(readButton_, &QPushButton::clicked, this, &EdidDetailsWindow::readForComparison);
    connect(copy, &QPushButton::clicked, this, [this] { copyToClipboard(compareText()); });

    compare_ = new QTableWidget(0, static_cast<int>(kCompareColumns.size()), page);
    compare_->setObjectName(QStringLiteral("edidCompareTable"));
    compare_->setHorizontalHeaderLabels(kCompareColumns);
    compare_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    compare_->setSelectionMode(QAbstractItemView::NoSelection);
    compare_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    compare_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(readButton_);
    buttons->addWidget(compareState_, 1);
    buttons->addWidget(copy);
    auto *layout = new QVBoxLayout(page);
    layout->addLayout(buttons);
    layout->addWidget(compare_);
    return page;
}

void EdidDetailsWindow::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    refreshDetails();
}

void EdidDetailsWindow::scheduleRefresh() {
    // A hidden window decodes nothing; it catches up when shown.
    if (isVisible()) {
        refreshTimer_.start();
    }
}

void EdidDetailsWindow::refreshDetails() {
    refreshTimer_.stop();
    if (edidText_ == nullptr) {
        return;
    }
    const QString text = edidText_->toPlainText();
    if (decodedOnce_ && text == decodedText_) {
        return;
    }
    decodedText_ = text;
    decodedOnce_ = true;
    const DecodedText decoded = decodeEdidText(text);
    detailsState_->setText(decoded.state);
    decoded::showLines(*details_, decoded.lines);
}

void EdidDetailsWindow::readForComparison() {
    // A transaction is under way (a message box's nested loop): reading now would cut into it.
    if (session_.linkBusy()) {
        compareState_->setText(tr("The box is busy: read again in a moment."));
        return;
    }
    readButton_->setEnabled(false);
    std::vector<edid::EdidSummary> summaries;
    std::array<std::optional<LinkError>, std::size(kCompareSources)> failed{};
    for (size_t i = 0; i < std::size(kCompareSources); ++i) {
        const Outcome<EdidImage> read = session_.readEdid(kCompareSources[i]);
        if (read.ok()) {
            summaries.push_back(edid::edidSummary(edid::decodeEdid(read.value)));
        } else {
            failed[i] = read.error;
        }
    }
    readButton_->setEnabled(true);

    comparison_.clear();
    readFailed_.clear();
    for (const std::optional<LinkError> &error : failed) {
        readFailed_.push_back(error.has_value());
    }
    bool firstRow = true;
    for (const edid::SummaryRow &row : edid::compareSummaries(summaries)) {
        CompareRow out{row.label, {}, row.differs};
        qsizetype value = 0;
        for (const std::optional<LinkError> &error : failed) {
            if (error) {
                // The failure stands once, at the top of its column.
                out.cells
                    << (firstRow ? QStringLiteral("read failed: %1").arg(QLatin1String(linkErrorName(*error)))
                                 : QString());
                continue;
            }
            const bool invalid = !summaries[static_cast<size_t>(value)].valid;
            out.cells << (firstRow && invalid ? tr("not an EDID") : row.values.value(value));
            ++value;
        }
        comparison_.push_back(out);
        firstRow = false;
    }
    const auto failures = std::count(readFailed_.begin(), readFailed_.end(), true);
    compareState_->setText(failures == 0 ? tr("Rows in colour differ.")
                                         : tr("Rows in colour differ; %1 of 3 reads failed.").arg(failures));
    showComparison();
}

void EdidDetailsWindow::showComparison() {
    compare_->clearContents();
    compare_->setRowCount(static_cast<int>(comparison_.size()));
    QStringList labels;
    for (const CompareRow &row : comparison_) {
        labels << row.label;
    }
    compare_->setVerticalHeaderLabels(labels);
    for (int r = 0; r < static_cast<int>(comparison_.size()); ++r) {
        const CompareRow &row = comparison_[static_cast<size_t>(r)];
        for (int c = 0; c < static_cast<int>(row.cells.size()); ++c) {
            auto *item = new QTableWidgetItem(row.cells[c]);
            if (readFailed_[static_cast<size_t>(c)]) {
                item->setForeground(decoded::kFailureColour);
            } else if (row.differs) {
                item->setBackground(kDifferenceColour);
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
            }
            compare_->setItem(r, c, item);
        }
    }
}

QString EdidDetailsWindow::detailsText() const {
    return detailsState_->text() + QLatin1Char('\n') + details_->toPlainText() + QLatin1Char('\n');
}

QString EdidDetailsWindow::compareText() const {
    if (comparison_.empty()) {
        return compareState_->text() + QLatin1Char('\n');
    }
    // Columns as wide as their longest text; a leading "* " marks a row that differs.
    qsizetype labelWidth = 0;
    std::vector<qsizetype> widths;
    for (const QString &header : kCompareColumns) {
        widths.push_back(header.size());
    }
    for (const CompareRow &row : comparison_) {
        labelWidth = std::max(labelWidth, row.label.size());
        for (qsizetype c = 0; c < row.cells.size(); ++c) {
            widths[static_cast<size_t>(c)] = std::max(widths[static_cast<size_t>(c)], row.cells[c].size());
        }
    }
    const auto line = [&](bool differs, const QString &label, const QStringList &cells) {
        QString out = (differs ? QLatin1String("* ") : QLatin1String("  ")) + label.leftJustified(labelWidth);
        for (qsizetype c = 0; c < cells.size(); ++c) {
            out += QLatin1String("  ") + cells[c].leftJustified(widths[static_cast<size_t>(c)]);
        }
        while (out.endsWith(QLatin1Char(' '))) {
            out.chop(1);
        }
        return out;
    };
    QStringList lines{line(false, QString(), kCompareColumns)};
    for (const CompareRow &row : comparison_) {
        lines << line(row.differs, row.label, row.cells);
    }
    lines << QString() << tr("* the EDIDs differ here. %1").arg(compareState_->text());
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
