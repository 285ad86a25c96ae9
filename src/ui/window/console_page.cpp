// The Console page: the screen console's output box, the log file switch and
// the row of debugging controls. The output path itself (CR LF in the box,
// 7-bit bytes in the log file) is the ConsolePageOutput's.
#include "platform/wide_string.h"
#include "resources/resource.h"
#include "ui/menu_context.h"
#include "ui/window/screen.h"
#include "ui/window/tab_page.h"
#include "ui/window/wide_cast.h"

ConsolePage::ConsolePage(Application& app, TabControl& tabs)
    : TabPage(app, tabs, 2, L"WCONSOLE"), output(static_cast<ConsolePageControls&>(*this)) {}

void ConsolePage::init(HWND dialog) {
    TabPage::init(dialog);
    ScreenMetrics screen = screenMetrics();
    int width = screen.x((rect.right - rect.left) * 96 / screen.dpi_x - 10);
    int height = screen.y((rect.bottom - rect.top) * 96 / screen.dpi_y - 60);
    HWND output_box = item(IDC_OUTPUT);
    MoveWindow(output_box, screen.x(5), screen.y(60), width, height, TRUE);
    SendMessageW(output_box, EM_FMTLINES, TRUE, 0);
    // A long boot log must not stop at the edit control's default limit.
    SendMessageW(output_box, EM_SETLIMITTEXT, 0, 0);
    SetWindowTextW(item(IDC_LOG_NAME), L"bootlog.txt");
    enable(IDC_LOG_NAME, false);
    output.setSaveToFile(false);
}

void ConsolePage::command(int id, int) {
    MenuContext& menu = *MenuContext::instance();
    if (id >= IDC_DEBUG_BIT0 && id <= IDC_DEBUG_BIT7) {
        uint32_t bit = 1u << (id - IDC_DEBUG_BIT0);
        menu.debug_mask = checked(id) ? menu.debug_mask | bit : menu.debug_mask & ~bit;
    } else if (id >= IDC_HOOK_A && id <= IDC_HOOK_D) {
        DebugHook& hook = menu.debug_hooks[id - IDC_HOOK_A];
        if (hook.function != nullptr)
            hook.function(hook.argument, menu.debug_mask & 0xff, &hook);
    } else if (id == IDC_SAVE_TO_FILE) {
        output.setSaveToFile(checked(IDC_SAVE_TO_FILE));
        enable(IDC_LOG_NAME, output.saveToFile());
    }
}

void ConsolePage::appendToOutputBox(const char16_t* text) {
    HWND output_box = item(IDC_OUTPUT);
    LRESULT end = SendMessageW(output_box, WM_GETTEXTLENGTH, 0, 0);
    SendMessageW(output_box, EM_SETSEL, end, end);
    SendMessageW(output_box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(asWide(text)));
    SendMessageW(output_box, EM_SCROLLCARET, 0, 0);
    UpdateWindow(output_box);
}

void ConsolePage::readFileName(char16_t* buffer, size_t capacity) {
    GetWindowTextW(item(IDC_LOG_NAME), asWide(buffer), static_cast<int>(capacity));
}

void ConsolePage::saveToFileSwitchedOff() {
    check(IDC_SAVE_TO_FILE, false);
    enable(IDC_LOG_NAME, false);
}
