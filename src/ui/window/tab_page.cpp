#include "ui/window/tab_page.h"

#include "ui/menu_context.h"
#include "ui/window/root_controls.h"
#include "ui/window/wide_cast.h"
#include "ui/window/wince_shell.h"

#include <commctrl.h>
#include <vector>

TabPage::TabPage(Application& app, TabControl& tabs, int page_index, const wchar_t* name)
    : Window(app, tabs.hwnd), tab_control(tabs), index(page_index), template_name(name) {}

LRESULT TabPage::handleMessage(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        init(dialog);
        return 1;
    case WM_COMMAND:
        command(LOWORD(wparam), HIWORD(wparam));
        return 1;
    default:
        return 0;
    }
}

bool TabPage::create() {
    HRSRC resource = FindResourceW(app.module_instance, template_name, MAKEINTRESOURCEW(5)); // RT_DIALOG
    HGLOBAL loaded = resource != nullptr ? LoadResource(app.module_instance, resource) : nullptr;
    if (loaded == nullptr)
        return false;
    auto* dialog_template = static_cast<const DLGTEMPLATE*>(LockResource(loaded));
    return CreateDialogIndirectParamCE(app.module_instance, dialog_template,
                                       SizeofResource(app.module_instance, resource), parent, pageDialogProc,
                                       reinterpret_cast<LPARAM>(this)) != nullptr;
}

// The common part: the page's tab, the display area, hidden until chosen.
void TabPage::init(HWND dialog) {
    hwnd = dialog;
    ShowInSystemFontCE(dialog);
    TCITEMW tab{};
    tab.mask = TCIF_IMAGE | TCIF_PARAM;
    tab.iImage = index;
    tab.lParam = reinterpret_cast<LPARAM>(this);
    SendMessageW(parent, TCM_INSERTITEMW, index, reinterpret_cast<LPARAM>(&tab));
    rect = tab_control.rectangle();
    SendMessageW(parent, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&rect));
    hide();
}

void TabPage::command(int, int) {}

void TabPage::hide() {
    ShowWindow(hwnd, SW_HIDE);
}

void TabPage::show() {
    MoveWindow(hwnd, rect.left, 0, rect.right - rect.left, rect.bottom - rect.top, TRUE);
    ShowWindow(hwnd, SW_SHOW);
}

bool TabPage::checked(int id) const {
    return SendMessageW(item(id), BM_GETCHECK, 0, 0) != 0;
}

void TabPage::check(int id, bool on) {
    SendMessageW(item(id), BM_SETCHECK, on ? 1 : 0, 0);
}

void TabPage::setText(int id, const char16_t* text) {
    SetWindowTextW(item(id), asWide(text));
}

// At most `capacity` - 1 characters, as read into a buffer of that size.
std::u16string TabPage::text(int id, int capacity) const {
    std::vector<char16_t> buffer(capacity, 0);
    GetWindowTextW(item(id), asWide(buffer.data()), capacity);
    return buffer.data();
}

TabPage* createPage(Application& app, TabControl& tabs, int index) {
    MenuContext* menu = MenuContext::instance();
    TabPage* page = nullptr;
    switch (index) {
    case 0: {
        auto* main_page = new MainPage(app, tabs);
        menu->main_page = main_page;
        page = main_page;
        break;
    }
    case 1: {
        auto* option_page = new OptionPage(app, tabs);
        menu->option_page = option_page;
        page = option_page;
        break;
    }
    case 2: {
        auto* console_page = new ConsolePage(app, tabs);
        menu->console_page = &console_page->output;
        page = console_page;
        break;
    }
    default:
        return nullptr;
    }
    page->create();
    return page;
}
