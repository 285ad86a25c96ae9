// One run of zandrel-sim: a simulated handheld, the program's entry without
// a screen, the settings the pages would store, and a press of Boot.
#pragma once

#include "cli/options.h"

// Returns the exit status: 1 the boot failed or was cancelled, 2 a usage
// error. A boot that reaches the jump does not come back: the process ends
// with the status of the hand-off (cli/hand_off_runner.h).
int runSession(const CliOptions& options);
