// What the settings context needs of the window and its pages. The Win32
// window implements these; so does the headless front end.
#pragma once

#include "platform/wince.h"

class RootWindowView {
  public:
    virtual ~RootWindowView() = default;
    // Owner of message boxes.
    virtual ce::HWND handle() const = 0;
    // Prints "[progress] %S\n" for a nonempty label and steps the progress bar.
    virtual void progressStep(const char* label) = 0;
    virtual void resetProgress() = 0;
};

// The Main and Option pages: copy their controls into the Preferences.
class SettingsPage {
  public:
    virtual ~SettingsPage() = default;
    virtual void store() = 0;
};

// The Console page's output path.
class ConsoleView {
  public:
    virtual ~ConsoleView() = default;
    virtual void append(const char16_t* text, bool screen_only) = 0;
};
