// The program's one top-level window: command bar, Boot and Cancel buttons
// with the progress bar between them, and the tab control with the pages.
// A Boot click or the auto-boot timer starts the boot on this thread.
#pragma once

#include "ui/views.h"
#include "ui/window/root_controls.h"
#include "ui/window/window.h"

class TabPage;

class RootWindow : public Window, public RootWindowView {
  public:
    explicit RootWindow(Application& app);
    // Deletes the child objects; a window still open is closed first.
    ~RootWindow() override;

    LRESULT handleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) override;
    bool create();
    // Nonzero when the message moved the focus or was a page's dialog message.
    bool preTranslate(MSG* message);
    void cancelAutoBoot();

    ce::HWND handle() const override { return reinterpret_cast<ce::HWND>(hwnd); }
    void progressStep(const char* label) override;
    void resetProgress() override;

  private:
    void onCreate(const CREATESTRUCTW& creation);
    void createChildren(RECT area);
    LRESULT onNotify(const NMHDR& header);
    void onCommand(WPARAM wparam);
    void onTimer();
    void restoreFocus();
    void bootStart(bool ask);
    TabPage* visiblePage() const;
    bool keyboardRing(const MSG& message);
    LRESULT tabKey(WORD key);
    void focusIntoPage();

    BootButton* boot_button = nullptr;
    CancelButton* cancel_button = nullptr;
    ProgressBar* progress_bar = nullptr;
    TabControl* tab_control = nullptr;
    TabPage* main_page = nullptr;
    TabPage* option_page = nullptr;
    TabPage* console_page = nullptr;
    int button_width = 50;
    int bar_height = 0;
    HWND saved_focus = nullptr;
    bool booting = false; // a boot runs; its message boxes must not start another
};
