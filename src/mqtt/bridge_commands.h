#pragma once
// What a message on one of the bridge's command topics asks of the box, checked as the
// command line checks its arguments: the setting and its value by name, the packet's colon
// hex by its kind's length and format, the configuration by its name. A message that is not
// one is refused with the reason, before any frame.

#include "core/box/packet_text.h"
#include "core/box/settings_table.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>

namespace mqtt {

// Far more than any command's payload: a longer one is refused before it is read.
constexpr qsizetype kMaxCommandPayload = 256;

enum class CommandKind : uint8_t { Set, CecSend, HdrSend, AviSend, ApplyConfiguration, Undo };

// The topic after "<prefix>/<id>/" of each kind; a setting's is "set/" and its name.
constexpr char kSetTopic[] = "set/";
constexpr char kCecSendTopic[] = "cec/send";
constexpr char kHdrSendTopic[] = "hdr/send";
constexpr char kAviSendTopic[] = "avi/send";
constexpr char kApplyTopic[] = "configuration/apply";
constexpr char kUndoTopic[] = "undo"; // "last" or an entry's number
constexpr char kUndoLast[] = "last";

struct BridgeCommand {
    CommandKind kind = CommandKind::Set;
    Setting setting = Setting::ActiveInput; // Set
    uint8_t value = 0;                      // Set: the value as the box stores it
    packets::PacketBytes packet;            // the sends
    int entry = 0;                          // Undo: the journal entry; 0 for the last change
    QString text;                           // the payload as text: the value's name, the hex, the name
};

// What the bridge lets through.
struct CommandPermissions {
    bool write = false;   // settings, configurations and undo
    bool packets = false; // raw CEC and infoframes, on top of write
};

struct CommandParse {
    BridgeCommand command;
    QString refusal; // why it is refused; empty when it may go to the box
    bool ok() const { return refusal.isEmpty(); }
};

// The command a message asks for. `topic` is what follows "<prefix>/<id>/".
CommandParse parseCommand(QStringView topic, QByteArrayView payload, CommandPermissions permissions);

// "set input=top", "cec send 40:04", "apply configuration night", "undo last": for logs and
// results.
QString commandText(const BridgeCommand &command);

} // namespace mqtt
