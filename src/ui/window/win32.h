// The window system's headers, after the platform contract: the Win32
// headers define TRUE, INVALID_HANDLE_VALUE and the like as macros, which
// the contract's own names must not meet.
#pragma once

#include "platform/wince.h"

#include <windows.h>

#include <commctrl.h>
