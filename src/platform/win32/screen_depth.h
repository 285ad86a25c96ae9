// A window build may stand for a screen other than the window system's own:
// zandrel-window's desktop is the handheld's display, whatever depth the X
// server underneath has. Such a build tells the Win32 window half the depth
// the screen's device context reports.
#pragma once

// Bits per pixel that GetDeviceCaps(BITSPIXEL) answers from now on; 0 gives
// the window system's depth again.
void reportScreenDepth(int bits_per_pixel);
