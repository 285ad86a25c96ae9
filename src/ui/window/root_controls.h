// The root window's child controls: the Boot and Cancel buttons, the progress
// bar and the tab control, each placed in a rectangle of the root window.
#pragma once

#include "ui/window/window.h"

#include <commctrl.h>

class RootWindow;

class ChildControl : public Window {
  public:
    ChildControl(Application& app, HWND parent, const RECT& rect) : Window(app, parent), rect_(rect) {}
    virtual bool create() = 0;
    const RECT& rectangle() const { return rect_; }

  protected:
    HWND createControl(DWORD ex_style, const wchar_t* window_class, const wchar_t* text, DWORD style, int id);
    RECT rect_;
};

class BootButton : public ChildControl {
  public:
    using ChildControl::ChildControl;
    bool create() override;
};

class CancelButton : public ChildControl {
  public:
    using ChildControl::ChildControl;
    bool create() override;
};

class ProgressBar : public ChildControl {
  public:
    using ChildControl::ChildControl;
    bool create() override;
    void step();
    void reset();
};

class TabControl : public ChildControl {
  public:
    using ChildControl::ChildControl;
    ~TabControl() override;
    bool create() override;
    // The page object of the selected tab, or null.
    class TabPage* selectedPage() const;

  private:
    HIMAGELIST images_ = nullptr;
};
