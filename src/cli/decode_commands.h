#pragma once
// The commands that say what bytes mean: an EDID decoded or several compared, an infoframe,
// a CEC message. They need the box only for what they read from it.

#include "arguments.h"
#include "core/box/box_session.h"
#include "output.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <span>
#include <vector>

namespace cli {

struct Environment;

// An EDID file for decoding: the whole of a raw file (up to 256 blocks), the bytes of a hex
// text file as the window's loader reads them, the EDID of any other tool's form the EDID
// reader takes (core/edid/edid_formats.h); "-" reads standard input. Nothing, with the reason
// in `error`, for a file that cannot be read, is empty, is in no form, or breaks its form.
std::optional<QByteArray> readEdidFile(const QString &fileName, QString *error);
// readEdidFile for a SOURCE, which may also name one of the box's EDIDs: a name that is no
// file says which names are the box's, and the one nearest to it.
std::optional<QByteArray> readEdidSource(const QString &name, QString *error);

// Every EDID file of the invocation, read before the box is opened; box sources stay empty
// until the command runs. False with the reason in `error`.
bool loadDecodeInputs(const Invocation &invocation, std::vector<QByteArray> &edids, QString *error);

// edid decode of several EDIDs, which prints as it goes: with --json one object a line (JSON
// Lines) with the EDID's `file`, else a header line naming the EDID before its lines. An
// EDID that cannot be read, or holds no EDID header, is said on its line and on standard
// error, and the others go on; exit status 1 at the end when any failed. `session` is null
// only when no EDID of the box is named.
bool decodesEach(const Invocation &invocation);
int decodeEach(const Invocation &invocation, const Environment &environment, BoxSession *session,
               Output &output);

// Runs a decode command; `session` is null when the invocation needs no box.
int runDecodeCommand(const Invocation &invocation, std::vector<QByteArray> &edids, BoxSession *session,
                     Output &output);

// The bytes of a file or EDID read.
std::span<const uint8_t> bytesOf(const QByteArray &data);

// Reads the box's EDIDs that the invocation names into their places; the reason of each
// failed read, empty for those that came.
std::vector<QString> readBoxEdids(const Invocation &invocation, std::vector<QByteArray> &edids,
                                  BoxSession *session);
// The first failed read of the box's EDIDs, if any.
std::optional<QString> firstFailure(const std::vector<QString> &failures);

} // namespace cli
