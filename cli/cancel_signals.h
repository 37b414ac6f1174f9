#pragma once
// Ctrl-C (SIGINT) and SIGTERM ask the run to stop instead of killing the process mid-write: the
// handler only sets the cancel flag, the engine unwinds at its next progress report, and the tool
// exits with 128 + the signal's number having written nothing. A second signal of the same kind
// ends the process at once, for a run that has stopped reporting.

#include "core/cancel_flag.h"

namespace vantorra {

// Installs the handlers for SIGINT and SIGTERM; `flag` must outlive the run.
void installCancelSignals(CancelFlag& flag);

// The signal that requested the cancel (SIGINT or SIGTERM), 0 when none arrived.
int cancelSignal();

// The exit status for a run stopped by a signal: 130 for SIGINT, 143 for SIGTERM.
int cancelledExitStatus();

}  // namespace vantorra
