#include "ui/window/root_window.h"

#include "console/console.h"
#include "platform/wide_format.h"
#include "platform/win32/message_box_on_screen.h"
#include "resources/resource.h"
#include "ui/menu_context.h"
#include "ui/window/screen.h"
#include "ui/window/tab_page.h"
#include "ui/window/wide_cast.h"
#include "ui/window/wince_shell.h"

#include <commctrl.h>

namespace {

constexpr int kBuildNumber = 15;
constexpr int kTitleSize = 32;

bool shiftDown() {
    return (GetKeyState(VK_SHIFT) & 0x8000) != 0;
}

// The timer's period in milliseconds: a count of seconds whose product with
// 1000 does not fit 32 bits waits as long as a timer can.
UINT autoBootPeriod(int seconds) {
    constexpr UINT kLongestPeriod = USER_TIMER_MAXIMUM;
    return static_cast<UINT>(seconds) > kLongestPeriod / 1000 ? kLongestPeriod
                                                              : static_cast<UINT>(seconds) * 1000;
}

} // namespace

RootWindow::RootWindow(Application& application) : Window(application, nullptr) {}

RootWindow::~RootWindow() {
    if (hwnd != nullptr && IsWindow(hwnd)) {
        // Closed without WM_DESTROY (Cancel): no message may reach the objects below.
        SetWindowLongPtrW(hwnd, 0, 0);
        for (TabPage* page : {main_page, option_page, console_page}) {
            if (page != nullptr && page->hwnd != nullptr)
                SetWindowLongPtrW(page->hwnd, DWLP_USER, 0);
        }
        DestroyWindow(hwnd);
    }
    delete boot_button;
    delete cancel_button;
    delete progress_bar;
    delete main_page;
    delete option_page;
    delete console_page;
    delete tab_control;
}

bool RootWindow::create() {
    ClassName name = className(app.module_instance);
    char16_t title[kTitleSize];
    wsprintfW(title, kTitleSize, u"%s Build %d", fromWide(name.text), kBuildNumber);
    HWND window = CreateWindowExW(0, name.text, asWide(title), WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, app.module_instance, this);
    if (window == nullptr)
        return false;
    int auto_boot = MenuContext::instance()->prefs.auto_boot;
    if (auto_boot > 0)
        SetTimer(window, IDT_AUTO_BOOT, autoBootPeriod(auto_boot), nullptr);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    return true;
}

LRESULT RootWindow::handleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        hwnd = window;
        onCreate(*reinterpret_cast<CREATESTRUCTW*>(lparam));
        return 1;
    case WM_DESTROY:
        cancelAutoBoot(); // closing during the countdown must not boot
        PostQuitMessage(0);
        return 1;
    case WM_ACTIVATE:
        if (LOWORD(wparam) == WA_INACTIVE)
            saved_focus = GetFocus();
        else
            restoreFocus();
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 1;
    }
    case WM_NOTIFY:
        return onNotify(*reinterpret_cast<NMHDR*>(lparam));
    case WM_COMMAND:
        onCommand(wparam);
        return 1;
    case WM_TIMER:
        onTimer();
        return 1;
    case WM_ENTERMENULOOP:
        saved_focus = GetFocus();
        return 1;
    case WM_EXITMENULOOP:
        restoreFocus();
        return 1;
    default:
        return 0;
    }
}

void RootWindow::onCreate(const CREATESTRUCTW& creation) {
    app.command_bar = CommandBar_Create(creation.hInstance, hwnd, IDC_COMMAND_BAR);
    CommandBar_AddAdornments(app.command_bar, 0, 0);
    bar_height = CommandBar_Height(app.command_bar);

    button_width = 50;
    if (screenMetrics().width > 320)
        button_width += button_width / 2;

    RECT area;
    GetClientRect(hwnd, &area);
    area.top += bar_height;
    createChildren(area);
}

void RootWindow::createChildren(RECT area) {
    RECT row{area.left, area.top, area.left + button_width, area.top + bar_height};
    boot_button = new BootButton(app, hwnd, row);
    boot_button->create();
    row = {area.right - button_width, area.top, area.right, area.top + bar_height};
    cancel_button = new CancelButton(app, hwnd, row);
    cancel_button->create();
    row = {area.left + button_width, area.top, area.right - button_width, area.top + bar_height};
    progress_bar = new ProgressBar(app, hwnd, row);
    progress_bar->create();
    MenuContext::instance()->root_window = this;

    area.top += bar_height;
    tab_control = new TabControl(app, hwnd, area);
    tab_control->create();
    main_page = createPage(app, *tab_control, 0);
    option_page = createPage(app, *tab_control, 1);
    console_page = createPage(app, *tab_control, 2);
    main_page->show();
    SetFocus(boot_button->hwnd);
}

LRESULT RootWindow::onNotify(const NMHDR& header) {
    TabPage* page = tab_control->selectedPage();
    switch (header.code) {
    case TCN_SELCHANGING:
        if (page != nullptr)
            page->hide();
        return 1;
    case TCN_SELCHANGE:
        if (page != nullptr)
            page->show();
        return 1;
    case TCN_KEYDOWN:
        return tabKey(reinterpret_cast<const NMTCKEYDOWN&>(header).wVKey);
    default:
        return 1;
    }
}

// The whole wParam: only click notifications act.
void RootWindow::onCommand(WPARAM wparam) {
    if (wparam == IDC_BOOT) {
        bootStart(true);
    } else if (wparam == IDC_CANCEL) {
        cancelAutoBoot();
        PostQuitMessage(0);
    }
}

void RootWindow::onTimer() {
    cancelAutoBoot();
    bootStart(false);
}

void RootWindow::cancelAutoBoot() {
    KillTimer(hwnd, IDT_AUTO_BOOT);
}

void RootWindow::restoreFocus() {
    SetFocus(saved_focus != nullptr && IsWindowEnabled(saved_focus) ? saved_focus : boot_button->hwnd);
}

void RootWindow::bootStart(bool ask) {
    if (booting)
        return;
    booting = true;
    MenuContext& menu = *MenuContext::instance();
    if (ask) {
        menu.readPages();
        if (menu.prefs.safety_message) {
            UINT icon = menu.prefs.pause_before_boot ? MB_ICONQUESTION : MB_ICONEXCLAMATION;
            int answer = MessageBoxOnScreen(hwnd, L"Data in memory will be lost.\nAre you sure?", L"WARNING",
                                            MB_YESNO | icon);
            if (answer != IDYES) {
                booting = false;
                return;
            }
            UpdateWindow(hwnd);
        }
    }
    progress_bar->reset();
    menu.print(u"BOOT START\n");
    menu.readPages();
    menu.save();
    menu.startBoot();
    booting = false;
}

void RootWindow::progressStep(const char* label) {
    if (label != nullptr && *label != 0)
        Console::current()->print(u"[progress] %S\n", label);
    progress_bar->step();
}

void RootWindow::resetProgress() {
    progress_bar->reset();
}

TabPage* RootWindow::visiblePage() const {
    for (TabPage* page : {main_page, option_page, console_page}) {
        if (page != nullptr && IsWindowVisible(page->hwnd))
            return page;
    }
    return nullptr;
}

bool RootWindow::preTranslate(MSG* message) {
    TabPage* page = visiblePage();
    if (keyboardRing(*message))
        return true;
    return page != nullptr && IsDialogMessageW(page->hwnd, message);
}

// Boot -> Cancel -> tab control -> the page's controls -> tab control, and back.
bool RootWindow::keyboardRing(const MSG& message) {
    if (message.message != WM_KEYDOWN)
        return false;
    HWND next = nullptr, previous = nullptr;
    LRESULT wants = 0;
    if (message.hwnd == boot_button->hwnd) {
        next = cancel_button->hwnd;
        previous = tab_control->hwnd;
    } else if (message.hwnd == cancel_button->hwnd) {
        next = tab_control->hwnd;
        previous = boot_button->hwnd;
    } else {
        TabPage* page = visiblePage();
        if (page == nullptr)
            return false;
        HWND last = GetLastDlgTabItem(page->hwnd);
        if (last == nullptr || (message.hwnd != last && !IsChild(last, message.hwnd)))
            return false;
        wants = SendMessageW(last, WM_GETDLGCODE, message.wParam, reinterpret_cast<LPARAM>(&message));
        next = tab_control->hwnd;
    }
    HWND target = nullptr;
    switch (message.wParam) {
    case VK_LEFT:
    case VK_UP:
        target = (wants & DLGC_WANTARROWS) ? nullptr : previous;
        break;
    case VK_RIGHT:
    case VK_DOWN:
        target = (wants & DLGC_WANTARROWS) ? nullptr : next;
        break;
    case VK_TAB:
        target = (wants & DLGC_WANTTAB) ? nullptr : (shiftDown() ? previous : next);
        break;
    default:
        break;
    }
    if (target == nullptr)
        return false;
    SetFocus(target);
    return true;
}

LRESULT RootWindow::tabKey(WORD key) {
    bool forwards;
    if (key == VK_TAB)
        forwards = !shiftDown();
    else if (key == VK_LEFT)
        forwards = false;
    else if (key == VK_RIGHT)
        forwards = true;
    else
        return 0;
    if (forwards)
        focusIntoPage();
    else
        SetFocus(cancel_button->hwnd);
    return 1;
}

// The first tab stop of the selected page; with no page selected the focus stays.
void RootWindow::focusIntoPage() {
    TabPage* page = tab_control->selectedPage();
    HWND target = page != nullptr ? GetNextDlgTabItem(page->hwnd, nullptr, FALSE) : nullptr;
    if (target != nullptr)
        SetFocus(target);
}
