// Drives the real window from a second thread while the program's entry runs
// its message loop on the first: finds controls, clicks, types, presses keys,
// answers message boxes, and reads everything back through the window system.
#pragma once

#include "ui/window/win32.h"

#include <functional>
#include <string>
#include <vector>

class WindowDriver {
  public:
    // Runs the program's entry on this thread and `script` on a second one;
    // answers the entry's exit code. Whatever the script leaves open (a box,
    // the window) is closed after it, so the entry always returns.
    static int run(const std::function<void(WindowDriver&)>& script);

    HWND root() const { return root_; }
    HWND control(int id) const;
    HWND pageOf(int id) const { return GetParent(control(id)); }
    std::string text(HWND window) const;
    std::string text(int id) const { return text(control(id)); }
    void setText(int id, const char* text);
    bool checked(int id) const;
    bool enabled(int id) const { return IsWindowEnabled(control(id)) != FALSE; }
    int selection(int id) const;
    // A click on a button whose handling returns at once (a check box).
    void click(int id);
    // A click on Boot: the boot runs on the window's thread, so nothing waits for it.
    void clickBoot();
    void key(HWND window, UINT virtual_key);
    // A tap on the tab of page `index`.
    void tapTab(int index);
    // The same tap sent past the message loop, so that it does not stop the
    // auto-boot countdown as a tap of the user's does.
    void showPage(int index);
    // From now on counts the boot starts the root window has finished
    // handling (a Boot click or the auto-boot timer): each one that returns
    // failed, was cancelled or was refused; a boot that jumps never returns.
    void watchBootStarts();
    int bootStartsHandled() const;
    HWND focus() const;

    // Real input on the X server (xdotool), as a person gives it: the pointer
    // goes to the window first, so that the desktop takes the keys. Each
    // answers false when xdotool could not be run.
    bool pressKeys(const std::vector<std::string>& keys);
    bool clickAt(HWND window, POINT client_point);

    // The message box with this caption, once it shows; null after the wait.
    HWND waitForBox(const wchar_t* caption, int milliseconds = 10000) const;
    std::string boxText(HWND box) const;
    // The icon the box shows; null when it has none.
    HICON boxIcon(HWND box) const;
    void answer(HWND box, int button);
    // True when no message box of the program shows for this long.
    bool noBoxFor(int milliseconds) const;
    bool waitUntil(const std::function<bool()>& condition, int milliseconds = 5000) const;

  private:
    struct Work {
        WindowDriver& driver;
        const std::function<void(WindowDriver&)>& script;
    };
    static DWORD WINAPI drive(void* work);
    void closeWhatIsLeft();

    HWND root_ = nullptr;
    DWORD window_thread_ = 0;
};

// Text of the output box: "BOOT START" count and the like.
size_t countOf(const std::string& text, const std::string& part);
