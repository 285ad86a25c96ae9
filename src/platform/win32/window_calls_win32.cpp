// The window half of the platform contract on Win32 (desktop Windows, and
// Wine for zandrel-window): message boxes, repaints and the screen's device
// context go to the real window system.
#include "platform/win32/reported_screen.h"
#include "platform/wince.h"

// After the contract: the Win32 headers define TRUE, MAX_PATH and the like as macros.
#include <windows.h>

#include "platform/win32/message_box_on_screen.h"

namespace {

LPCWSTR wide(const ce::WCHAR* text) {
    return reinterpret_cast<LPCWSTR>(text);
}

ReportedScreen reported;

} // namespace

void reportScreen(const ReportedScreen& screen) {
    reported = screen;
}

namespace ce {

int MessageBoxW(HWND owner, const WCHAR* text, const WCHAR* caption, UINT style) {
    return MessageBoxOnScreen(reinterpret_cast<::HWND>(owner), wide(text), wide(caption), style);
}

BOOL UpdateWindow(HWND window) {
    return ::UpdateWindow(reinterpret_cast<::HWND>(window));
}
HDC GetDC(HWND window) {
    return reinterpret_cast<HDC>(::GetDC(reinterpret_cast<::HWND>(window)));
}
int ReleaseDC(HWND window, HDC dc) {
    return ::ReleaseDC(reinterpret_cast<::HWND>(window), reinterpret_cast<::HDC>(dc));
}
int GetDeviceCaps(HDC dc, int index) {
    int figure = index == HORZRES     ? reported.width
                 : index == VERTRES   ? reported.height
                 : index == BITSPIXEL ? reported.bits_per_pixel
                                      : 0;
    if (figure != 0)
        return figure;
    return ::GetDeviceCaps(reinterpret_cast<::HDC>(dc), index);
}

} // namespace ce
