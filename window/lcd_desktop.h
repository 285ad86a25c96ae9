// The desktop that is the handheld's LCD after the jump, at the booted
// machine's screen size whatever size the window's desktop opened with.
// Wine's virtual desktop changes its size only to a few sizes (the usual
// ones up to the X screen's, the X screen's own and its own first size), so
// the LCD is a desktop of its own, made at that size: Wine shows it as a
// second virtual desktop, over the first at the X screen's origin.
#pragma once

#include "ui/window/win32.h"

// A desktop of `width` x `height` pixels, or null (the reason on standard
// error). A thread that has no window yet may take it (SetThreadDesktop).
HDESK desktopOfSize(int width, int height);
