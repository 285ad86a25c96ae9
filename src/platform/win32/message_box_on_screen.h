// MessageBoxW as the device shows it: a box is never wider than the screen,
// its text wraps to fit (a word longer than a line is broken), and the box
// lies on the screen. The window system's own box is as wide as its text's
// longest line, wider than a 240-pixel screen for most of the program's
// messages; here it is laid out again, narrower, before it shows.
#pragma once

// After the contract, as everywhere: the Win32 headers define TRUE and the like as macros.
#include "platform/wince.h"

#include <windows.h>

int MessageBoxOnScreen(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style);
