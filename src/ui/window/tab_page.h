// The pages under the tab control: modeless dialogs from the templates WMAIN,
// WOPTION and WCONSOLE. They fill their controls from the settings when they
// are created and copy them back when a boot starts.
#pragma once

#include "console/console_page_output.h"
#include "ui/main_page_form.h"
#include "ui/views.h"
#include "ui/window/window.h"

class TabControl;

class TabPage : public Window {
  public:
    TabPage(Application& app, TabControl& tabs, int page_index, const wchar_t* template_name);

    LRESULT handleMessage(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) override;
    virtual bool create();
    virtual void init(HWND dialog);
    virtual void command(int id, int notification);
    virtual void hide();
    virtual void show();

  protected:
    HWND item(int id) const { return GetDlgItem(hwnd, id); }
    bool checked(int id) const;
    void check(int id, bool on);
    void enable(int id, bool on) { EnableWindow(item(id), on); }
    void setText(int id, const char16_t* text);
    std::u16string text(int id, int capacity) const;

    TabControl& tab_control;
    RECT rect{};
    int index;
    const wchar_t* template_name;
};

// Index 0 the Main page, 1 the Option page, 2 the Console page; recorded in
// the settings context. Null for any other index.
TabPage* createPage(Application& app, TabControl& tabs, int index);

class MainPage : public TabPage, public SettingsPage {
  public:
    MainPage(Application& app, TabControl& tabs);
    void init(HWND dialog) override;
    void command(int id, int notification) override;
    void store() override;

  private:
    void arrangeFlagBoxes();

    MainPageForm form_;
};

class OptionPage : public TabPage, public SettingsPage {
  public:
    OptionPage(Application& app, TabControl& tabs);
    void init(HWND dialog) override;
    void command(int id, int notification) override;
    void store() override;

  private:
    HWND seconds_box_ = nullptr;
    HWND spin_ = nullptr;
};

class ConsolePage : public TabPage, public ConsolePageControls {
  public:
    ConsolePage(Application& app, TabControl& tabs);
    void init(HWND dialog) override;
    void command(int id, int notification) override;

    void appendToOutputBox(const char16_t* text) override;
    void readFileName(char16_t* buffer, size_t capacity) override;
    void saveToFileSwitchedOff() override;

    // Closes the log file when the page goes.
    ConsolePageOutput output;
};
