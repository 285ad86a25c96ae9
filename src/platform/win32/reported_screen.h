// A window build may stand for a screen other than the window system's own:
// zandrel-window's desktop is the handheld's display, whatever size and depth
// the X server and the Wine desktop underneath have (the desktop keeps the
// size it opened with when the Main page's machine changes). Such a build
// tells the Win32 window half the screen the device context reports.
#pragma once

struct ReportedScreen {
    int width = 0;
    int height = 0;
    int bits_per_pixel = 0;
};

// What GetDeviceCaps(HORZRES, VERTRES, BITSPIXEL) answers from now on; a
// zero field gives the window system's own figure again.
void reportScreen(const ReportedScreen& screen);
