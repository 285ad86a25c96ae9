#include "window/lcd_desktop.h"

#include <cstdio>

HDESK desktopOfSize(int width, int height) {
    // Plain buffers: the window's wide characters are not the C++ library's wchar_t.
    wchar_t size[32] = {}, name[48] = {};
    wsprintfW(size, L"%dx%d", width, height);
    wsprintfW(name, L"LCD %s", size);
    // Wine makes a new desktop at the size the registry names for it.
    HKEY desktops = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Explorer\\Desktops", 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &desktops, nullptr) != ERROR_SUCCESS) {
        std::fprintf(stderr,
                     "zandrel-window: no desktop of the machine's size: the registry can't name it\n");
        return nullptr;
    }
    RegSetValueExW(desktops, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(size),
                   static_cast<DWORD>((lstrlenW(size) + 1) * sizeof(wchar_t)));
    RegCloseKey(desktops);
    HDESK desktop = CreateDesktopW(name, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    if (desktop == nullptr)
        std::fprintf(stderr, "zandrel-window: no desktop of the machine's size (error %lu)\n",
                     static_cast<unsigned long>(GetLastError()));
    return desktop;
}
