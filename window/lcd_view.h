// After the jump Windows CE is gone and the handheld's LCD is a Wine desktop
// of its own at the booted machine's screen size, over the window's. At the
// jump the window's own picture, what Windows CE showed, goes into the frame
// buffer, as the display driver leaves it on a device; then the kernel runs
// on a thread of its own while a window over the LCD's desktop, on a thread
// of that desktop, shows the LCD, read about ten times a second, until the
// kernel stops. The last picture stays until a key or a tap, or, with nobody
// at the screen, is saved as a screenshot. Closing the window's root window
// meanwhile stops the kernel and ends the view once the kernel's thread has
// ended.
#pragma once

#include "cli/device_session.h"

#include <string>

// The screen the window system shows, at the handheld's screen size, drawn
// into the handheld's frame buffer in its geometry and depth.
void leaveTheWindowOnTheLcd();

struct LcdViewOptions {
    // The hand-off runs on QEMU: its board sends the pictures
    // (sim::HandOffLimits::on_screen), and a board without an LCD, which
    // sends none, is named. Otherwise the kernel runs in this process and the
    // LCD is read in place.
    bool from_qemu = false;
    // Where the last picture is saved, a screenshot of the X screen, before
    // the view ends by itself; empty: it stays until a key or a tap.
    std::string last_picture;
};

// Runs `task` (the hand-off) and shows the LCD meanwhile; answers the task's
// status. A quit message on this thread meanwhile (the window closed) stops
// the kernel and is posted again once the kernel's thread has ended.
int runShowingTheLcd(const DeviceSession::HandOffTask& task, const LcdViewOptions& options);
