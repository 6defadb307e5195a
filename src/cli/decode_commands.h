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

// An EDID file for decoding: the whole of a raw file (up to 256 blocks), the bytes of a hex
// text file as the window's loader reads them, the EDID of any other tool's form the EDID
// reader takes (core/edid/edid_formats.h); "-" reads standard input. Nothing, with the reason
// in `error`, for a file that cannot be read, is empty, is in no form, or breaks its form.
std::optional<QByteArray> readEdidFile(const QString &fileName, QString *error);

// Every EDID file of the invocation, read before the box is opened; box sources stay empty
// until the command runs. False with the reason in `error`.
bool loadDecodeInputs(const Invocation &invocation, std::vector<QByteArray> &edids, QString *error);

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
