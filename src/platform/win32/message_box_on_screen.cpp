#include "platform/win32/message_box_on_screen.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace {

constexpr int kTextId = 0xFFFF; // the message box's text control

thread_local HHOOK layout_hook = nullptr;

bool isButton(HWND window) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    return lstrcmpiW(name, L"Button") == 0;
}

RECT placeInParent(HWND child) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The height of `text` drawn by `control` in lines of at most `width` pixels.
int wrappedHeight(HWND control, int width) {
    int length = GetWindowTextLengthW(control);
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(control, text.data(), length + 1);
    UINT format = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_EDITCONTROL | DT_LEFT;
    if ((GetWindowLongW(control, GWL_STYLE) & SS_NOPREFIX) != 0)
        format |= DT_NOPREFIX;
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT bounds{0, 0, width, 0};
    DrawTextW(dc, text.data(), -1, &bounds, format);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return bounds.bottom;
}

// `box`, laid out by the window system (its text control and buttons placed),
// made to fit a screen of `screen_width` x `screen_height` pixels.
void fitMessageBox(HWND box, int screen_width, int screen_height) {
    RECT frame;
    GetWindowRect(box, &frame);
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    HWND text = GetDlgItem(box, kTextId);
    if (width > screen_width && text != nullptr) {
        int narrower = width - screen_width;
        RECT client;
        GetClientRect(box, &client);
        RECT text_place = placeInParent(text);
        int right_margin = client.right - text_place.right;
        int line_width = client.right - narrower - right_margin - text_place.left;
        if (line_width > 0) {
            // A word longer than a line breaks where the line ends, as the measure assumed.
            SetWindowLongW(text, GWL_STYLE, GetWindowLongW(text, GWL_STYLE) | SS_EDITCONTROL);
            int text_height = wrappedHeight(text, line_width);
            int taller = std::max(0, text_height - static_cast<int>(text_place.bottom - text_place.top));
            SetWindowPos(text, nullptr, 0, 0, line_width, text_height,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            // The buttons stay one row, centred, below the text.
            std::vector<HWND> buttons;
            LONG row_left = std::numeric_limits<LONG>::max(), row_right = std::numeric_limits<LONG>::min();
            for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
                 child = GetWindow(child, GW_HWNDNEXT)) {
                // The box itself is not shown yet: its buttons are known by their own style.
                if (!isButton(child) || (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) == 0)
                    continue;
                RECT place = placeInParent(child);
                row_left = std::min(row_left, place.left);
                row_right = std::max(row_right, place.right);
                buttons.push_back(child);
            }
            int new_client_width = client.right - narrower;
            LONG shift = buttons.empty() ? 0 : (new_client_width - (row_right - row_left)) / 2 - row_left;
            for (HWND button : buttons) {
                RECT place = placeInParent(button);
                SetWindowPos(button, nullptr, place.left + shift, place.top + taller, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
            width = screen_width;
            height += taller;
        }
    }
    int x = std::max(0, (screen_width - width) / 2), y = std::max(0, (screen_height - height) / 2);
    SetWindowPos(box, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK afterInitDialog(int code, WPARAM wparam, LPARAM lparam) {
    const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
    if (code == HC_ACTION && message->message == WM_INITDIALOG &&
        GetDlgItem(message->hwnd, kTextId) != nullptr)
        fitMessageBox(message->hwnd, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    return CallNextHookEx(layout_hook, code, wparam, lparam);
}

} // namespace

int MessageBoxOnScreen(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
    // A box inside a box (none in the program) is laid out by the outer box's hook.
    bool own_hook = layout_hook == nullptr;
    if (own_hook)
        layout_hook = SetWindowsHookExW(WH_CALLWNDPROCRET, afterInitDialog, nullptr, GetCurrentThreadId());
    int answer = MessageBoxW(owner, text, caption, style);
    if (own_hook && layout_hook != nullptr) {
        UnhookWindowsHookEx(layout_hook);
        layout_hook = nullptr;
    }
    return answer;
}
