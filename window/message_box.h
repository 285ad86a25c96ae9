// The window system's message box as the front ends find it from outside:
// a visible dialog of the box class with the box's text control.
#pragma once

#include "ui/window/win32.h"

constexpr int kMessageTextId = 0xFFFF; // the message box's text control

inline bool isMessageBox(HWND window) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    return lstrcmpW(name, L"#32770") == 0 && IsWindowVisible(window) &&
           GetDlgItem(window, kMessageTextId) != nullptr;
}
