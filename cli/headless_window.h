// The window without a screen: the root window's progress display, the
// Main and Option pages as forms, and the Console page's output box on
// standard output.
#pragma once

#include "cli/terminal.h"
#include "console/console_page_output.h"
#include "ui/main_page_form.h"
#include "ui/views.h"

class MenuContext;

class HeadlessRootWindow : public RootWindowView {
  public:
    explicit HeadlessRootWindow(Terminal& terminal) : terminal_(terminal) {}
    ce::HWND handle() const override;
    void progressStep(const char* label) override;
    void resetProgress() override;
    int position() const { return position_; }

  private:
    Terminal& terminal_;
    int position_ = 0;
};

class HeadlessMainPage : public SettingsPage {
  public:
    explicit HeadlessMainPage(MenuContext& menu) : menu_(menu) { form.init(menu); }
    void store() override { form.store(menu_); }
    MainPageForm form;

  private:
    MenuContext& menu_;
};

class HeadlessOptionPage : public SettingsPage {
  public:
    explicit HeadlessOptionPage(MenuContext& menu) : menu_(menu) { form.init(menu); }
    void store() override { form.store(menu_); }
    OptionPageForm form;

  private:
    MenuContext& menu_;
};

class HeadlessConsolePage : public ConsolePageControls {
  public:
    explicit HeadlessConsolePage(Terminal& terminal) : terminal_(terminal), output(*this) {}
    void appendToOutputBox(const char16_t* text) override;
    void readFileName(char16_t* buffer, size_t capacity) override;
    void saveToFileSwitchedOff() override {}

  private:
    Terminal& terminal_;

  public:
    ConsolePageOutput output;
};
