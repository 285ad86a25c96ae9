// The program's entry on the device (WinMain's body): the settings, the
// application and root window, the message loop, and the teardown in a
// fixed order. Answers the exit code.
#pragma once

#include "ui/window/win32.h"

int runProgram(HINSTANCE instance);
