// One run of zandrel-sim: a simulated handheld, the program's entry without
// a screen, the settings the pages would store, and a press of Boot.
#pragma once

#include "cli/options.h"

// Returns the exit status: 0 the kernel was entered, 1 the boot failed or
// was cancelled, 2 a usage error.
int runSession(const CliOptions& options);
