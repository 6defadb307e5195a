#include "core/signal/cec_decode.h"

#include "core/base/code_text.h"

#include <QJsonArray>

#include <algorithm>
#include <array>
#include <iterator>

namespace cec {

namespace {

struct Named {
    uint8_t code;
    const char *name;
};

// clang-format off
// The CEC 1.4 and 2.0 opcodes, by code.
constexpr Named kOpcodes[] = {
    {0x00, "Feature Abort"},
    {0x04, "Image View On"},
    {0x05, "Tuner Step Increment"},
    {0x06, "Tuner Step Decrement"},
    {0x07, "Tuner Device Status"},
    {0x08, "Give Tuner Device Status"},
    {0x09, "Record On"},
    {0x0A, "Record Status"},
    {0x0B, "Record Off"},
    {0x0D, "Text View On"},
    {0x0F, "Record TV Screen"},
    {0x1A, "Give Deck Status"},
    {0x1B, "Deck Status"},
    {0x32, "Set Menu Language"},
    {0x33, "Clear Analogue Timer"},
    {0x34, "Set Analogue Timer"},
    {0x35, "Timer Status"},
    {0x36, "Standby"},
    {0x41, "Play"},
    {0x42, "Deck Control"},
    {0x43, "Timer Cleared Status"},
    {0x44, "User Control Pressed"},
    {0x45, "User Control Released"},
    {0x46, "Give OSD Name"},
    {0x47, "Set OSD Name"},
    {0x64, "Set OSD String"},
    {0x67, "Set Timer Program Title"},
    {0x70, "System Audio Mode Request"},
    {0x71, "Give Audio Status"},
    {0x72, "Set System Audio Mode"},
    {0x73, "Set Audio Volume Level"},
    {0x7A, "Report Audio Status"},
    {0x7D, "Give System Audio Mode Status"},
    {0x7E, "System Audio Mode Status"},
    {0x80, "Routing Change"},
    {0x81, "Routing Information"},
    {0x82, "Active Source"},
    {0x83, "Give Physical Address"},
    {0x84, "Report Physical Address"},
    {0x85, "Request Active Source"},
    {0x86, "Set Stream Path"},
    {0x87, "Device Vendor ID"},
    {0x89, "Vendor Command"},
    {0x8A, "Vendor Remote Button Down"},
    {0x8B, "Vendor Remote Button Up"},
    {0x8C, "Give Device Vendor ID"},
    {0x8D, "Menu Request"},
    {0x8E, "Menu Status"},
    {0x8F, "Give Device Power Status"},
    {0x90, "Report Power Status"},
    {0x91, "Get Menu Language"},
    {0x92, "Select Analogue Service"},
    {0x93, "Select Digital Service"},
    {0x97, "Set Digital Timer"},
    {0x99, "Clear Digital Timer"},
    {0x9A, "Set Audio Rate"},
    {0x9D, "Inactive Source"},
    {0x9E, "CEC Version"},
    {0x9F, "Get CEC Version"},
    {0xA0, "Vendor Command with ID"},
    {0xA1, "Clear External Timer"},
    {0xA2, "Set External Timer"},
    {0xA3, "Report Short Audio Descriptor"},
    {0xA4, "Request Short Audio Descriptor"},
    {0xA5, "Give Features"},
    {0xA6, "Report Features"},
    {0xA7, "Request Current Latency"},
    {0xA8, "Report Current Latency"},
    {0xC0, "Initiate ARC"},
    {0xC1, "Report ARC Initiated"},
    {0xC2, "Report ARC Terminated"},
    {0xC3, "Request ARC Initiation"},
    {0xC4, "Request ARC Termination"},
    {0xC5, "Terminate ARC"},
    {0xF8, "CDC Message"},
    {0xFF, "Abort"},
};
// <User Control Pressed> codes, by code.
constexpr Named kUiCommands[] = {
    {0x00, "Select"},
    {0x01, "Up"},
    {0x02, "Down"},
    {0x03, "Left"},
    {0x04, "Right"},
    {0x05, "Right Up"},
    {0x06, "Right Down"},
    {0x07, "Left Up"},
    {0x08, "Left Down"},
    {0x09, "Device Root Menu"},
    {0x0A, "Device Setup Menu"},
    {0x0B, "Contents Menu"},
    {0x0C, "Favorite Menu"},
    {0x0D, "Back"},
    {0x10, "Media Top Menu"},
    {0x11, "Media Context Sensitive Menu"},
    {0x1D, "Number Entry Mode"},
    {0x1E, "Number 11"},
    {0x1F, "Number 12"},
    {0x20, "Number 0 or Number 10"},
    {0x21, "Number 1"},
    {0x22, "Number 2"},
    {0x23, "Number 3"},
    {0x24, "Number 4"},
    {0x25, "Number 5"},
    {0x26, "Number 6"},
    {0x27, "Number 7"},
    {0x28, "Number 8"},
    {0x29, "Number 9"},
    {0x2A, "Dot"},
    {0x2B, "Enter"},
    {0x2C, "Clear"},
    {0x2F, "Next Favorite"},
    {0x30, "Channel Up"},
    {0x31, "Channel Down"},
    {0x32, "Previous Channel"},
    {0x33, "Sound Select"},
    {0x34, "Input Select"},
    {0x35, "Display Information"},
    {0x36, "Help"},
    {0x37, "Page Up"},
    {0x38, "Page Down"},
    {0x40, "Power"},
    {0x41, "Volume Up"},
    {0x42, "Volume Down"},
    {0x43, "Mute"},
    {0x44, "Play"},
    {0x45, "Stop"},
    {0x46, "Pause"},
    {0x47, "Record"},
    {0x48, "Rewind"},
    {0x49, "Fast Forward"},
    {0x4A, "Eject"},
    {0x4B, "Skip Forward"},
    {0x4C, "Skip Backward"},
    {0x4D, "Stop Record"},
    {0x4E, "Pause Record"},
    {0x50, "Angle"},
    {0x51, "Sub Picture"},
    {0x52, "Video On Demand"},
    {0x53, "Electronic Program Guide"},
    {0x54, "Timer Programming"},
    {0x55, "Initial Configuration"},
    {0x56, "Select Broadcast Type"},
    {0x57, "Select Sound Presentation"},
    {0x58, "Audio Description"},
    {0x59, "Internet"},
    {0x5A, "3D Mode"},
    {0x60, "Play Function"},
    {0x61, "Pause Play Function"},
    {0x62, "Record Function"},
    {0x63, "Pause Record Function"},
    {0x64, "Stop Function"},
    {0x65, "Mute Function"},
    {0x66, "Restore Volume Function"},
    {0x67, "Tune Function"},
    {0x68, "Select Media Function"},
    {0x69, "Select AV Input Function"},
    {0x6A, "Select Audio Input Function"},
    {0x6B, "Power Toggle Function"},
    {0x6C, "Power Off Function"},
    {0x6D, "Power On Function"},
    {0x71, "F1 Blue"},
    {0x72, "F2 Red"},
    {0x73, "F3 Green"},
    {0x74, "F4 Yellow"},
    {0x75, "F5"},
    {0x76, "Data"},
};
// clang-format on

template <size_t N> const char *lookup(const Named (&table)[N], uint8_t code) {
    const auto *found =
        std::lower_bound(std::begin(table), std::end(table), code,
                         [](const Named &entry, uint8_t value) { return entry.code < value; });
    return found != std::end(table) && found->code == code ? found->name : nullptr;
}

constexpr std::array<const char *, 16> kLogicalAddresses = {"TV",
                                                            "Recording Device 1",
                                                            "Recording Device 2",
                                                            "Tuner 1",
                                                            "Playback Device 1",
                                                            "Audio System",
                                                            "Tuner 2",
                                                            "Tuner 3",
                                                            "Playback Device 2",
                                                            "Recording Device 3",
                                                            "Tuner 4",
                                                            "Playback Device 3",
                                                            "Backup 1",
                                                            "Backup 2",
                                                            "Specific Use",
                                                            "Unregistered"};

enum class Addressing { Either, Direct, Broadcast };

// How a message must be addressed, and the operand bytes it carries (at least, at most).
struct Shape {
    uint8_t opcode;
    Addressing addressing;
    uint8_t minOperands;
    uint8_t maxOperands;
};
constexpr Shape kShapes[] = {
    {0x00, Addressing::Direct, 2, 2},     // Feature Abort
    {0x04, Addressing::Direct, 0, 0},     // Image View On
    {0x0D, Addressing::Direct, 0, 0},     // Text View On
    {0x32, Addressing::Broadcast, 3, 3},  // Set Menu Language
    {0x36, Addressing::Either, 0, 0},     // Standby
    {0x44, Addressing::Direct, 1, 2},     // User Control Pressed
    {0x45, Addressing::Direct, 0, 0},     // User Control Released
    {0x46, Addressing::Direct, 0, 0},     // Give OSD Name
    {0x47, Addressing::Direct, 1, 14},    // Set OSD Name
    {0x64, Addressing::Direct, 2, 14},    // Set OSD String
    {0x70, Addressing::Direct, 0, 2},     // System Audio Mode Request
    {0x71, Addressing::Direct, 0, 0},     // Give Audio Status
    {0x72, Addressing::Either, 1, 1},     // Set System Audio Mode
    {0x7A, Addressing::Direct, 1, 1},     // Report Audio Status
    {0x7D, Addressing::Direct, 0, 0},     // Give System Audio Mode Status
    {0x7E, Addressing::Direct, 1, 1},     // System Audio Mode Status
    {0x80, Addressing::Broadcast, 4, 4},  // Routing Change
    {0x81, Addressing::Broadcast, 2, 2},  // Routing Information
    {0x82, Addressing::Broadcast, 2, 2},  // Active Source
    {0x83, Addressing::Direct, 0, 0},     // Give Physical Address
    {0x84, Addressing::Broadcast, 3, 3},  // Report Physical Address
    {0x85, Addressing::Broadcast, 0, 0},  // Request Active Source
    {0x86, Addressing::Broadcast, 2, 2},  // Set Stream Path
    {0x87, Addressing::Broadcast, 3, 3},  // Device Vendor ID
    {0x89, Addressing::Direct, 1, 14},    // Vendor Command
    {0x8C, Addressing::Direct, 0, 0},     // Give Device Vendor ID
    {0x8D, Addressing::Direct, 1, 1},     // Menu Request
    {0x8E, Addressing::Direct, 1, 1},     // Menu Status
    {0x8F, Addressing::Direct, 0, 0},     // Give Device Power Status
    {0x90, Addressing::Direct, 1, 1},     // Report Power Status
    {0x91, Addressing::Direct, 0, 0},     // Get Menu Language
    {0x9D, Addressing::Direct, 2, 2},     // Inactive Source
    {0x9E, Addressing::Direct, 1, 1},     // CEC Version
    {0x9F, Addressing::Direct, 0, 0},     // Get CEC Version
    {0xA0, Addressing::Either, 3, 14},    // Vendor Command with ID
    {0xA5, Addressing::Direct, 0, 0},     // Give Features
    {0xA6, Addressing::Broadcast, 4, 14}, // Report Features
    {0xA7, Addressing::Broadcast, 2, 2},  // Request Current Latency
    {0xA8, Addressing::Broadcast, 4, 5},  // Report Current Latency
    {0xC0, Addressing::Direct, 0, 0},     // Initiate ARC
    {0xC1, Addressing::Direct, 0, 0},     // Report ARC Initiated
    {0xC2, Addressing::Direct, 0, 0},     // Report ARC Terminated
    {0xC3, Addressing::Direct, 0, 0},     // Request ARC Initiation
    {0xC4, Addressing::Direct, 0, 0},     // Request ARC Termination
    {0xC5, Addressing::Direct, 0, 0},     // Terminate ARC
    {0xFF, Addressing::Direct, 0, 0},     // Abort
};

const Shape *shapeOf(uint8_t opcode) {
    const auto *found = std::find_if(std::begin(kShapes), std::end(kShapes),
                                     [&](const Shape &shape) { return shape.opcode == opcode; });
    return found != std::end(kShapes) ? found : nullptr;
}

QString physicalAddress(std::span<const uint8_t> two) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(two[0] >> 4)
        .arg(two[0] & 0xF)
        .arg(two[1] >> 4)
        .arg(two[1] & 0xF);
}

QString text(std::span<const uint8_t> bytes) {
    QString out;
    for (uint8_t c : bytes) {
        out += QChar(c >= 0x20 && c < 0x7F ? c : '.');
    }
    return out;
}

QString cecVersionName(uint8_t version) {
    return codeName(version, {"1.1", "1.2", "1.2a", "1.3", "1.3a", "1.4", "2.0"});
}

void decodeOperands(uint8_t opcode, std::span<const uint8_t> o, std::vector<Operand> &out) {
    const auto add = [&](const char *name, const QString &value) {
        out.push_back({QLatin1String(name), value});
    };
    switch (opcode) {
    case 0x00:
        add("Feature opcode", opcodeText(o[0]));
        add("Abort reason",
            codeName(o[1], {"Unrecognized opcode", "Not in correct mode to respond", "Cannot provide source",
                            "Invalid operand", "Refused", "Unable to determine"}));
        break;
    case 0x32:
        add("Language", text(o.first(3)));
        break;
    case 0x44: {
        const QString name = uiCommandName(o[0]);
        add("UI command",
            name.isEmpty() ? hexCode(o[0]) : QStringLiteral("%1 (%2)").arg(hexCode(o[0]), name));
        if (o.size() > 1) {
            add("UI command operand", hexCode(o[1]));
        }
        break;
    }
    case 0x47:
        add("OSD name", text(o));
        break;
    case 0x64:
        add("Display control",
            codeName(o[0] >> 6, {"for the default time", "until cleared", "clear previous message"}));
        add("OSD string", text(o.subspan(1)));
        break;
    case 0x70:
        if (o.size() >= 2) {
            add("Physical address", physicalAddress(o));
        }
        break;
    case 0x72:
    case 0x7E:
        add("System audio", codeName(o[0], {"off", "on"}));
        break;
    case 0x7A:
        add("Mute", (o[0] & 0x80) != 0 ? QStringLiteral("on") : QStringLiteral("off"));
        add("Volume", (o[0] & 0x7F) == 0x7F ? QStringLiteral("unknown") : QString::number(o[0] & 0x7F));
        break;
    case 0x80:
        add("Original address", physicalAddress(o));
        add("New address", physicalAddress(o.subspan(2)));
        break;
    case 0x81:
    case 0x82:
    case 0x86:
    case 0x9D:
    case 0xA7:
        add("Physical address", physicalAddress(o));
        break;
    case 0x84:
        add("Physical address", physicalAddress(o));
        add("Device type", codeName(o[2], {"TV", "Recording Device", "Reserved", "Tuner", "Playback Device",
                                           "Audio System", "Pure CEC Switch", "Video Processor"}));
        break;
    case 0x87:
    case 0xA0:
        add("Vendor ID", QStringLiteral("%1-%2-%3")
                             .arg(o[0], 2, 16, QLatin1Char('0'))
                             .arg(o[1], 2, 16, QLatin1Char('0'))
                             .arg(o[2], 2, 16, QLatin1Char('0'))
                             .toUpper());
        break;
    case 0x8D:
        add("Menu request", codeName(o[0], {"activate", "deactivate", "query"}));
        break;
    case 0x8E:
        add("Menu state", codeName(o[0], {"activated", "deactivated"}));
        break;
    case 0x90:
        add("Power status",
            codeName(o[0], {"On", "Standby", "In transition Standby to On", "In transition On to Standby"}));
        break;
    case 0x9E:
    case 0xA6:
        add("CEC version", cecVersionName(o[0]));
        break;
    case 0xA8:
        add("Physical address", physicalAddress(o));
        add("Video latency", o[2] == 0 || o[2] > 251 ? QStringLiteral("invalid (%1)").arg(o[2])
                                                     : QStringLiteral("%1 ms").arg((o[2] - 1) * 2));
        break;
    default:
        break;
    }
}

} // namespace

QString logicalAddressName(uint8_t address, bool asDestination) {
    if (address == kBroadcast && asDestination) {
        return QStringLiteral("Broadcast");
    }
    return QLatin1String(kLogicalAddresses[address & 0x0F]);
}

QString opcodeName(uint8_t opcode) {
    const char *name = lookup(kOpcodes, opcode);
    return name != nullptr ? QLatin1String(name) : QString();
}

QString uiCommandName(uint8_t code) {
    const char *name = lookup(kUiCommands, code);
    return name != nullptr ? QLatin1String(name) : QString();
}

QString opcodeText(uint8_t opcode) {
    const QString name = opcodeName(opcode);
    return name.isEmpty() ? hexCode(opcode) : QStringLiteral("%1 (%2)").arg(hexCode(opcode), name);
}

CecDecoded decodeCec(std::span<const uint8_t> bytes) {
    CecDecoded d;
    if (bytes.empty()) {
        addFailure(d.findings, QStringLiteral("Header"),
                   QStringLiteral("no bytes: a message starts with its header"));
        return d;
    }
    d.empty = false;
    d.initiator = bytes[0] >> 4;
    d.destination = bytes[0] & 0x0F;
    if (bytes.size() > kMaxMessageBytes) {
        addFailure(d.findings, QStringLiteral("Length"),
                   QStringLiteral("%1 bytes: a message holds at most 16").arg(bytes.size()));
    }
    if (d.initiator == kBroadcast && d.destination == kBroadcast && bytes.size() > 1) {
        addWarning(d.findings, QStringLiteral("Header"), QStringLiteral("initiator and destination both 15"));
    }
    if (bytes.size() == 1) {
        return d; // a polling message
    }
    d.opcode = bytes[1];
    d.opcodeName = opcodeName(bytes[1]);
    const std::span<const uint8_t> operands = bytes.subspan(2, std::min(bytes.size(), kMaxMessageBytes) - 2);
    d.operandBytes.assign(operands.begin(), operands.end());
    if (d.opcodeName.isEmpty()) {
        addWarning(d.findings, QStringLiteral("Opcode"),
                   QStringLiteral("%1 is not a CEC 1.4 or 2.0 opcode").arg(hexCode(bytes[1])));
        return d;
    }
    const Shape *shape = shapeOf(bytes[1]);
    if (shape == nullptr) {
        return d; // named, operands shown as bytes
    }
    const bool broadcast = d.destination == kBroadcast;
    if (shape->addressing == Addressing::Direct && broadcast) {
        addWarning(d.findings, QStringLiteral("Addressing"),
                   QStringLiteral("<%1> is sent to one device, not broadcast").arg(d.opcodeName));
    } else if (shape->addressing == Addressing::Broadcast && !broadcast) {
        addWarning(d.findings, QStringLiteral("Addressing"),
                   QStringLiteral("<%1> is broadcast").arg(d.opcodeName));
    }
    if (operands.size() < shape->minOperands) {
        addFailure(d.findings, QStringLiteral("Operands"),
                   QStringLiteral("<%1> needs %2 operand bytes, has %3")
                       .arg(d.opcodeName)
                       .arg(shape->minOperands)
                       .arg(operands.size()));
        return d;
    }
    if (operands.size() > shape->maxOperands) {
        addWarning(d.findings, QStringLiteral("Operands"),
                   QStringLiteral("<%1> takes %2 operand bytes, %3 more ignored")
                       .arg(d.opcodeName)
                       .arg(shape->maxOperands)
                       .arg(operands.size() - shape->maxOperands));
    }
    decodeOperands(bytes[1], operands.first(std::min<size_t>(operands.size(), shape->maxOperands)),
                   d.operands);
    return d;
}

} // namespace cec
