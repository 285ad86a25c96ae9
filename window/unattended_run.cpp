#include "window/unattended_run.h"

#include "window/screen_capture.h"

#include <cstdio>

namespace {

constexpr int kConsolePage = 2;
constexpr int kSettleMilliseconds = 500; // for the window system to paint
// Auto boot may wait as long as its seconds say; the window's closing ends the wait at once.
constexpr int kBootWaitMilliseconds = 24 * 60 * 60 * 1000;

} // namespace

void UnattendedRun::take(const char* name) const {
    Sleep(kSettleMilliseconds);
    std::string file = folder_ + "/" + name;
    if (!screenshot(file))
        std::fprintf(stderr, "zandrel-window: can't take the screenshot %s\n", file.c_str());
}

void UnattendedRun::drive(WindowDriver& window, bool auto_boot) {
    window.watchBootStarts(); // before the countdown can end
    std::fprintf(stderr,
                 "zandrel-window: screenshots go to %s (before-boot.png, console.png, kernel-screen.png)\n",
                 folder_.c_str());
    take("before-boot.png");
    window.showPage(kConsolePage);
    if (auto_boot) {
        std::fprintf(stderr, "zandrel-window: nobody at the screen; auto boot presses Boot\n");
    } else {
        std::fprintf(stderr, "zandrel-window: nobody at the screen; pressing Boot\n");
        window.clickBoot();
    }
    std::fflush(stderr);
    // The boot runs on the window's thread; a boot that jumps ends the process there.
    bool ended =
        window.waitUntil([&window] { return window.bootStartsHandled() > 0 || !IsWindow(window.root()); },
                         kBootWaitMilliseconds);
    if (window.bootStartsHandled() > 0) {
        came_back_ = true;
        take("console.png");
        return;
    }
    closed_before_boot_ = true;
    std::fprintf(stderr,
                 ended ? "zandrel-window: the window was closed before a boot started; nothing was booted\n"
                       : "zandrel-window: no boot started within a day; the run ends\n");
    std::fflush(stderr);
}

void UnattendedRun::atJump() const {
    // The boot has held the window's thread: the page is drawn whole first.
    paintThisThreadsWindows();
    take("console.png");
}
