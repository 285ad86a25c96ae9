// The window half of the platform contract on Win32 (desktop Windows, and
// Wine for zandrel-window): message boxes, repaints and the screen's device
// context go to the real window system.
#include "platform/win32/screen_depth.h"
#include "platform/wince.h"

// After the contract: the Win32 headers define TRUE, MAX_PATH and the like as macros.
#include <windows.h>

namespace {

LPCWSTR wide(const ce::WCHAR* text) {
    return reinterpret_cast<LPCWSTR>(text);
}

int reported_depth = 0;

} // namespace

void reportScreenDepth(int bits_per_pixel) {
    reported_depth = bits_per_pixel;
}

namespace ce {

int MessageBoxW(HWND owner, const WCHAR* text, const WCHAR* caption, UINT style) {
    return ::MessageBoxW(reinterpret_cast<::HWND>(owner), wide(text), wide(caption), style);
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
    if (index == BITSPIXEL && reported_depth != 0)
        return reported_depth;
    return ::GetDeviceCaps(reinterpret_cast<::HDC>(dc), index);
}

} // namespace ce
