// One run of zandrel-sim: a simulated handheld, the program's entry without
// a screen, the settings the pages would store, and a press of Boot.
#pragma once

#include "cli/options.h"

#include <functional>

// Returns the exit status: 1 the boot failed or was cancelled, 2 a usage
// error. A boot that reaches the jump does not come back: the process ends
// with the status of the hand-off (cli/hand_off_runner.h). `at_boot` is
// called right before Boot is pressed (a benchmark starts its counts there).
int runSession(const CliOptions& options, const std::function<void()>& at_boot = {});
