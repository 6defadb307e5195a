#pragma once
// What the bytes of a CEC message mean: the header's initiator and destination, the
// opcode (the CEC 1.4 and 2.0 set) and the operands of the common messages. Operands
// missing or left over, and a message sent to one device that must go to all (or the
// other way round), are findings.

#include "core/base/decode_findings.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace cec {

constexpr uint8_t kBroadcast = 15;
constexpr size_t kMaxMessageBytes = 16; // header, opcode and 14 operand bytes

struct Operand {
    QString name;  // "Physical address"
    QString value; // "1.0.0.0"
};

struct CecDecoded {
    bool empty = true;
    uint8_t initiator = 0;
    uint8_t destination = 0;
    std::optional<uint8_t> opcode; // none: a polling message
    QString opcodeName;            // "Image View On", or "" for an opcode outside the set
    std::vector<Operand> operands;
    std::vector<uint8_t> operandBytes;
    Findings findings;
};

CecDecoded decodeCec(std::span<const uint8_t> bytes);

// "TV", "Playback Device 1", ..., 15 is "Broadcast" as destination, "Unregistered" as initiator.
QString logicalAddressName(uint8_t address, bool asDestination);
// The opcode's name, empty when it is not one of the set.
QString opcodeName(uint8_t opcode);
// The name of a <User Control Pressed> code, empty when it has none.
QString uiCommandName(uint8_t code);
// "0x36 (Standby)", or "0x36" alone for an opcode outside the set.
QString opcodeText(uint8_t opcode);

} // namespace cec
