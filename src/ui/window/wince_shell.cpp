#include "ui/window/wince_shell.h"

#include "ui/window/screen.h"

namespace {

const wchar_t kCommandBarClass[] = L"ZandrelCommandBar";
constexpr int kCloseButtonId = 1;
constexpr int kBarHeight = 26; // in 1/96 inch, the device's command bar

LRESULT CALLBACK commandBarProc(HWND bar, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_COMMAND && LOWORD(wparam) == kCloseButtonId && HIWORD(wparam) == BN_CLICKED) {
        PostMessageW(GetParent(bar), WM_CLOSE, 0, 0);
        return 0;
    }
    return DefWindowProcW(bar, message, wparam, lparam);
}

bool registerCommandBarClass(HINSTANCE instance) {
    WNDCLASSW existing;
    if (GetClassInfoW(instance, kCommandBarClass, &existing))
        return true;
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = commandBarProc;
    window_class.hInstance = instance;
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    window_class.lpszClassName = kCommandBarClass;
    return RegisterClassW(&window_class) != 0;
}

// A top-level window on the device covers the screen and has no caption.
void fillScreen(HWND window) {
    LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    SetWindowLongPtrW(window, GWL_STYLE, (style & ~(WS_CAPTION | WS_THICKFRAME)) | WS_POPUP);
    SetWindowPos(window, nullptr, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                 SWP_NOZORDER | SWP_FRAMECHANGED);
}

} // namespace

HWND CommandBar_Create(HINSTANCE instance, HWND parent, int id) {
    if (!registerCommandBarClass(instance))
        return nullptr;
    fillScreen(parent);
    RECT client;
    GetClientRect(parent, &client);
    return CreateWindowExW(0, kCommandBarClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, client.right,
                           screenMetrics().y(kBarHeight), parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

BOOL CommandBar_AddAdornments(HWND command_bar, DWORD, DWORD) {
    if (command_bar == nullptr)
        return FALSE;
    RECT bar;
    GetClientRect(command_bar, &bar);
    int size = bar.bottom - 4;
    HWND close = CreateWindowExW(
        0, L"BUTTON", L"X", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, bar.right - size - 2, 2, size, size,
        command_bar, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCloseButtonId)),
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(command_bar, GWLP_HINSTANCE)), nullptr);
    return close != nullptr;
}

int CommandBar_Height(HWND command_bar) {
    RECT bar{};
    if (command_bar == nullptr || !GetWindowRect(command_bar, &bar))
        return 0;
    return bar.bottom - bar.top;
}

HWND GetLastDlgTabItem(HWND dialog) {
    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    return first != nullptr ? GetNextDlgTabItem(dialog, first, TRUE) : nullptr;
}
