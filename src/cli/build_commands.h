#pragma once
// edid edit and edid merge: an EDID built by meaning from one or two sources. One that does
// not fit the CTA-861 block is refused with what to leave out, least loss first, or with
// --fit-by least-loss fitted by leaving that out, each thing left out said on standard error.

#include "arguments.h"
#include "core/box/box_session.h"
#include "output.h"
#include "stderr_reporter.h"

#include <QByteArray>

#include <vector>

namespace cli {

// Builds the EDID into `built` (256 bytes, checksums right); an edit that is refused (it
// does not fit, or names what the source lacks) leaves `built` empty and says why.
int runBuildCommand(const Invocation &invocation, std::vector<QByteArray> &edids, BoxSession *session,
                    StderrReporter &reporter, Output &output, QByteArray *built);

} // namespace cli
