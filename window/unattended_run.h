// A run with nobody at the screen (zandrel-window --unattended FOLDER, on a
// private X server): the window's boxes are answered, Boot is pressed once
// the window is up (unless auto boot presses it), and screenshots of the
// window before Boot, of the Console page at the end of the boot and, after
// the jump, of the kernel's screen when it stops go to FOLDER. A boot that
// comes back (failed or cancelled) ends the program, and so does the window
// closed before a boot started.
#pragma once

#include "window/window_driver.h"

#include <string>

class UnattendedRun {
  public:
    explicit UnattendedRun(std::string folder) : folder_(std::move(folder)) {}

    // The driver's script: from the window being up to the end of the boot.
    void drive(WindowDriver& window, bool auto_boot);
    // At the jump, on the window's thread: the Console page as the boot left it.
    void atJump() const;
    // A boot started and came back.
    bool bootCameBack() const { return came_back_; }
    // The window closed, or the wait ran out, before a boot started.
    bool endedBeforeBoot() const { return closed_before_boot_; }
    // Where the kernel's screen goes.
    std::string kernelScreenFile() const { return folder_ + "/kernel-screen.png"; }

  private:
    void take(const char* name) const;

    std::string folder_;
    bool came_back_ = false;
    bool closed_before_boot_ = false;
};
