// What a simulated device leaves behind in the process: the boot and settings
// contexts, the console, COM1 and the version record.
#pragma once

// Drops all of it, so that a device made next starts as a fresh process would.
void forgetProcessState();
