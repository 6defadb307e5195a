#include "core/signal/cec_report.h"

#include "core/base/code_text.h"

namespace cec {

QStringList cecDetailLines(const CecDecoded &d) {
    QStringList lines;
    if (!d.empty) {
        QString line = QStringLiteral("%1 (%2) -> %3 (%4)")
                           .arg(logicalAddressName(d.initiator, false))
                           .arg(d.initiator)
                           .arg(logicalAddressName(d.destination, true))
                           .arg(d.destination);
        if (!d.opcode) {
            line += QStringLiteral(": polling message");
        } else {
            line += QStringLiteral(": ") + opcodeText(*d.opcode);
        }
        lines << line;
        for (const Operand &o : d.operands) {
            lines << QStringLiteral("  %1: %2").arg(o.name, o.value);
        }
        if (d.operands.empty() && !d.operandBytes.empty()) {
            QStringList bytes;
            for (uint8_t b : d.operandBytes) {
                bytes << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0'));
            }
            lines << QStringLiteral("  Operands: %1").arg(bytes.join(QLatin1Char(':')));
        }
    }
    for (const Finding &f : d.findings) {
        lines << findingLine(f);
    }
    return lines;
}

QJsonObject cecJson(const CecDecoded &d) {
    QJsonObject o;
    if (!d.empty) {
        o[QStringLiteral("initiator")] = d.initiator;
        o[QStringLiteral("initiator_name")] = logicalAddressName(d.initiator, false);
        o[QStringLiteral("destination")] = d.destination;
        o[QStringLiteral("destination_name")] = logicalAddressName(d.destination, true);
    }
    o[QStringLiteral("opcode")] = d.opcode ? QJsonValue(*d.opcode) : QJsonValue(QJsonValue::Null);
    o[QStringLiteral("opcode_name")] =
        d.opcodeName.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(d.opcodeName);
    QJsonObject operands;
    for (const Operand &op : d.operands) {
        operands[op.name] = op.value;
    }
    o[QStringLiteral("operands")] = operands;
    insertFindings(o, d.findings);
    return o;
}
} // namespace cec
