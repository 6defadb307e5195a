#include "decode_commands.h"

#include "core/box/messages.h"
#include "core/box/status_texts.h"
#include "core/edid/edid_decode.h"
#include "core/edid/edid_formats.h"
#include "core/edid/edid_report.h"
#include "core/edid/spaced_hex.h"
#include "core/signal/cec_report.h"
#include "core/signal/infoframe_report.h"
#include "name_suggestions.h"
#include "run_cli.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <array>
#include <cstdio>

namespace cli {
namespace {

// 256 blocks: more than any EDID holds, and a bound for whatever file is named.
constexpr qint64 kMaxEdidFileBytes = 256 * kEdidBlockSize;

// One of the box's EDIDs, or why it could not be read.
std::optional<QByteArray> readBoxEdid(EdidSource source, BoxSession &session, QString *error) {
    const Outcome<EdidImage> read = session.readEdid(source);
    if (!read.ok()) {
        *error = QStringLiteral("edid read %1: %2").arg(edidSourceName(source), linkErrorName(read.error));
        return std::nullopt;
    }
    return QByteArray(reinterpret_cast<const char *>(read.value.data()),
                      static_cast<qsizetype>(read.value.size()));
}

QString notAnEdid(const QString &name) {
    return QStringLiteral("%1: not an EDID (no EDID header)").arg(name);
}

int edidDecode(const Invocation &invocation, std::vector<QByteArray> &edids, BoxSession *session,
               Output &output) {
    if (const std::optional<QString> failure = firstFailure(readBoxEdids(invocation, edids, session))) {
        output.error = *failure;
        return kExitFailed;
    }
    const edid::EdidDecoded decoded = edid::decodeEdid(bytesOf(edids.front()));
    // Only the form that is printed: a process that decodes one EDID is mostly its start.
    if (invocation.json) {
        output.json = edid::edidJson(decoded);
    } else {
        output.lines = edid::edidDetailLines(decoded);
    }
    if (!decoded.valid()) {
        output.error = notAnEdid(invocation.edidInputs.front().name);
        return kExitFailed;
    }
    return kExitOk;
}

// The rows as columns of text: the label, then one column per EDID; a row whose values
// differ is marked with '*'.
QStringList comparisonLines(const QStringList &names, const std::vector<edid::SummaryRow> &rows) {
    qsizetype labelWidth = 0;
    std::vector<qsizetype> widths(static_cast<size_t>(names.size()), 0);
    for (qsizetype column = 0; column < names.size(); ++column) {
        widths[static_cast<size_t>(column)] = names[column].size();
    }
    for (const edid::SummaryRow &row : rows) {
        labelWidth = std::max(labelWidth, row.label.size());
        for (qsizetype column = 0; column < row.values.size() && column < names.size(); ++column) {
            widths[static_cast<size_t>(column)] =
                std::max(widths[static_cast<size_t>(column)], row.values[column].size());
        }
    }
    const auto line = [&](const QString &mark, const QString &label, const QStringList &values) {
        QString text = mark + label.leftJustified(labelWidth);
        for (qsizetype column = 0; column < values.size() && column < names.size(); ++column) {
            text += QStringLiteral("  ") + values[column].leftJustified(widths[static_cast<size_t>(column)]);
        }
        while (text.endsWith(QLatin1Char(' '))) {
            text.chop(1);
        }
        return text;
    };
    QStringList lines{line(QStringLiteral("  "), QString(), names)};
    for (const edid::SummaryRow &row : rows) {
        lines << line(row.differs ? QStringLiteral("* ") : QStringLiteral("  "), row.label, row.values);
    }
    return lines;
}

int edidCompare(const Invocation &invocation, std::vector<QByteArray> &edids, BoxSession *session,
                Output &output) {
    const std::vector<QString> failures = readBoxEdids(invocation, edids, session);
    std::vector<edid::EdidSummary> summaries;
    QStringList names;
    QJsonArray sources;
    for (size_t i = 0; i < invocation.edidInputs.size(); ++i) {
        names << invocation.edidInputs[i].name;
        QJsonObject source{{QStringLiteral("name"), invocation.edidInputs[i].name}};
        if (failures[i].isEmpty()) {
            summaries.push_back(edid::edidSummary(edid::decodeEdid(bytesOf(edids[i]))));
        } else {
            summaries.push_back({});
            source.insert(QStringLiteral("error"), failures[i]);
        }
        sources.append(source);
    }
    std::vector<edid::SummaryRow> rows = edid::compareSummaries(summaries);
    // A column whose EDID could not be read says so where its name would stand.
    for (size_t i = 0; i < failures.size(); ++i) {
        if (!failures[i].isEmpty() && !rows.empty()) {
            rows.front().values[static_cast<qsizetype>(i)] = QStringLiteral("(read failed)");
        }
    }
    QJsonArray rowArray;
    for (const edid::SummaryRow &row : rows) {
        rowArray.append(QJsonObject{{QStringLiteral("label"), row.label},
                                    {QStringLiteral("values"), QJsonArray::fromStringList(row.values)},
                                    {QStringLiteral("differs"), row.differs}});
    }
    output.lines = comparisonLines(names, rows);
    output.json = {{QStringLiteral("sources"), sources}, {QStringLiteral("rows"), rowArray}};
    if (const std::optional<QString> failure = firstFailure(failures)) {
        output.error = *failure;
        return kExitFailed;
    }
    return kExitOk;
}

int infoframeDecode(const Invocation &invocation, BoxSession *session, Output &output) {
    std::vector<uint8_t> bytes = invocation.decodeBytes;
    if (bytes.empty() && session != nullptr) {
        const StatusBlocks blocks = session->readStatusBlocks();
        if (!blocks.shown) {
            output.error = QStringLiteral("infoframe decode: the HDR capture could not be read");
            return kExitFailed;
        }
        const std::span<const uint8_t> payload = status::hdrCapturePayload(blocks.hdrCapture);
        if (payload.empty()) {
            output.error = QStringLiteral("infoframe decode: the box has captured no HDR infoframe");
            return kExitFailed;
        }
        bytes.assign(payload.begin(), payload.end());
    }
    const infoframe::InfoframeDecoded decoded = infoframe::decodeInfoframe(bytes, invocation.infoframeForm);
    output.lines = infoframe::infoframeDetailLines(decoded);
    output.json = infoframe::infoframeJson(decoded);
    return kExitOk;
}

int cecDecode(const Invocation &invocation, Output &output) {
    const cec::CecDecoded decoded = cec::decodeCec(invocation.decodeBytes);
    output.lines = cec::cecDetailLines(decoded);
    output.json = cec::cecJson(decoded);
    return kExitOk;
}

} // namespace

std::span<const uint8_t> bytesOf(const QByteArray &data) {
    return {reinterpret_cast<const uint8_t *>(data.constData()), static_cast<size_t>(data.size())};
}

std::vector<QString> readBoxEdids(const Invocation &invocation, std::vector<QByteArray> &edids,
                                  BoxSession *session) {
    std::vector<QString> failures(invocation.edidInputs.size());
    for (size_t i = 0; i < invocation.edidInputs.size(); ++i) {
        const EdidInput &input = invocation.edidInputs[i];
        if (!input.source || session == nullptr) {
            continue;
        }
        const Outcome<EdidImage> read = session->readEdid(*input.source);
        if (read.ok()) {
            edids[i] = QByteArray(reinterpret_cast<const char *>(read.value.data()),
                                  static_cast<qsizetype>(read.value.size()));
        } else {
            failures[i] = QStringLiteral("edid read %1: %2")
                              .arg(edidSourceName(*input.source), linkErrorName(read.error));
        }
    }
    return failures;
}

std::optional<QString> firstFailure(const std::vector<QString> &failures) {
    const auto failed =
        std::find_if(failures.begin(), failures.end(), [](const QString &f) { return !f.isEmpty(); });
    return failed == failures.end() ? std::nullopt : std::optional<QString>(*failed);
}

namespace {

// A SOURCE that is no file may have meant one of the box's EDIDs: the reason says which
// names are the box's, and the nearest, instead of its full stop.
std::optional<QByteArray> readEdid(const QString &fileName, QString *error, bool source) {
    const bool standardInput = fileName == QLatin1String("-");
    const auto cannotRead = [&](const QString &reason) {
        *error = QStringLiteral("Cannot read file %1: %2").arg(fileName, reason);
        if (source && !standardInput && !QFileInfo::exists(fileName)) {
            *error +=
                QStringLiteral(" (the box's EDIDs are box, top and bot)") +
                suggestion(fileName, {QStringLiteral("box"), QStringLiteral("top"), QStringLiteral("bot")});
        } else {
            *error += QLatin1Char('.');
        }
        return std::nullopt;
    };
    QFile file(fileName);
    if (!standardInput && QFileInfo(fileName).isDir()) {
        return cannotRead(QStringLiteral("Is a directory"));
    }
    if (!(standardInput ? file.open(stdin, QIODevice::ReadOnly) : file.open(QIODevice::ReadOnly))) {
        return cannotRead(file.errorString());
    }
    const QByteArray data = file.read(kEdidFileMaxBytes);
    if (data.isEmpty()) {
        return cannotRead(file.error() == QFileDevice::NoError ? QStringLiteral("the file is empty")
                                                               : file.errorString());
    }
    const EdidFileContent content = readEdidFileContent(QByteArrayView(data));
    if (content.format == EdidFileFormat::Raw) {
        return data.left(kMaxEdidFileBytes);
    }
    // A picture, say: what the window says of it.
    if (content.notText) {
        return cannotRead(content.reason);
    }
    // A text in no form at all, or this program's own text that breaks its layout, as always.
    if (!content.ok() && (!content.format || *content.format == EdidFileFormat::SpacedHex)) {
        *error = QStringLiteral("%1: %2").arg(fileName, QLatin1String(kHexFormatError));
        return std::nullopt;
    }
    // Another tool's form that breaks says where.
    if (!content.ok()) {
        *error = QStringLiteral("%1: %2").arg(fileName, content.reason);
        return std::nullopt;
    }
    return content.bytes;
}

} // namespace

std::optional<QByteArray> readEdidFile(const QString &fileName, QString *error) {
    return readEdid(fileName, error, false);
}

std::optional<QByteArray> readEdidSource(const QString &name, QString *error) {
    return readEdid(name, error, true);
}

bool loadDecodeInputs(const Invocation &invocation, std::vector<QByteArray> &edids, QString *error) {
    edids.assign(invocation.edidInputs.size(), QByteArray());
    for (size_t i = 0; i < invocation.edidInputs.size(); ++i) {
        const EdidInput &input = invocation.edidInputs[i];
        if (input.source) {
            continue;
        }
        const std::optional<QByteArray> data = readEdidSource(input.name, error);
        if (!data) {
            return false;
        }
        edids[i] = *data;
    }
    return true;
}

bool decodesEach(const Invocation &invocation) {
    return invocation.command == Command::EdidDecode && invocation.edidInputs.size() > 1;
}

int decodeEach(const Invocation &invocation, const Environment &environment, BoxSession *session,
               Output &output) {
    output.streamed = true;
    QTextStream &out = environment.out;
    qsizetype failed = 0;
    bool firstShown = true;
    for (const EdidInput &input : invocation.edidInputs) {
        QString error;
        const std::optional<QByteArray> bytes =
            input.source ? readBoxEdid(*input.source, *session, &error) : readEdidSource(input.name, &error);
        QJsonObject object;
        if (bytes) {
            const edid::EdidDecoded decoded = edid::decodeEdid(bytesOf(*bytes));
            if (invocation.json) {
                object = edid::edidJson(decoded);
            } else {
                out << (firstShown ? "" : "\n") << "==> " << input.name << " <==\n";
                for (const QString &line : edid::edidDetailLines(decoded)) {
                    out << line << '\n';
                }
                firstShown = false;
            }
            if (!decoded.valid()) {
                error = notAnEdid(input.name);
            }
        }
        if (invocation.json) {
            object.insert(QStringLiteral("file"), input.name);
            if (!error.isEmpty()) {
                object.insert(QStringLiteral("error"), error);
            }
            out << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
        }
        if (!error.isEmpty()) {
            ++failed;
            out.flush();
            environment.err << "veltrika: " << error << '\n';
            environment.err.flush();
        }
    }
    out.flush();
    if (failed > 0) {
        output.error = QStringLiteral("edid decode: %1 of %2 EDIDs could not be decoded")
                           .arg(failed)
                           .arg(invocation.edidInputs.size());
        return kExitFailed;
    }
    return kExitOk;
}

int runDecodeCommand(const Invocation &invocation, std::vector<QByteArray> &edids, BoxSession *session,
                     Output &output) {
    switch (invocation.command) {
    case Command::EdidDecode:
        return edidDecode(invocation, edids, session, output);
    case Command::EdidCompare:
        return edidCompare(invocation, edids, session, output);
    case Command::InfoframeDecode:
        return infoframeDecode(invocation, session, output);
    case Command::CecDecode:
        return cecDecode(invocation, output);
    default:
        break;
    }
    return kExitOk;
}

} // namespace cli
