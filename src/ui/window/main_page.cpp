// The Main page: where the kernel comes from, the kernel, the machine, the
// root file system and the boot flags. The values come from and go to the
// settings through the page's form; this file moves them into the controls.
#include "resources/resource.h"
#include "ui/menu_context.h"
#include "ui/window/screen.h"
#include "ui/window/tab_page.h"
#include "ui/window/wide_cast.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

namespace {

constexpr int kTextSize = 260;
constexpr int kSpeedDigits = 8;

// Flag boxes in 1/96 inch from the origin of their column.
struct FlagBoxPlace {
    int id, x, y;
};
constexpr FlagBoxPlace kFlagBoxes[] = {
    {IDC_VERBOSE, 0, 0},   {IDC_SINGLE, 0, 20}, {IDC_ASK_NAME, 0, 40},
    {IDC_DEBUGGER, 0, 60}, {IDC_SERIAL, 0, 80}, {IDC_SPEED, 100, 80},
};

void addString(HWND combo, const char16_t* text) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(asWide(text)));
}

// The dropped list, wider than its box, stays on the screen: moved left as
// far as it would pass the screen's right edge.
LRESULT CALLBACK keepOnTheScreen(HWND list, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR) {
    if (message == WM_WINDOWPOSCHANGING) {
        auto* place = reinterpret_cast<WINDOWPOS*>(lparam);
        if ((place->flags & SWP_NOMOVE) == 0) {
            RECT now;
            GetWindowRect(list, &now);
            int width = (place->flags & SWP_NOSIZE) != 0 ? now.right - now.left : place->cx;
            place->x = std::max(0, std::min(place->x, GetSystemMetrics(SM_CXSCREEN) - width));
        }
    }
    return DefSubclassProc(list, message, wparam, lparam);
}

// The dropped list as wide as its longest entry, with the list's border, its
// items' margins and its scroll bar; the closed box keeps its size.
void fitDroppedWidth(HWND combo) {
    constexpr int kItemMargins = 4;
    HDC dc = GetDC(combo);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(combo, WM_GETFONT, 0, 0)));
    int widest = 0;
    int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::vector<wchar_t> entry(static_cast<size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, i, 0)) + 1,
                                   L'\0');
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
        SIZE text{};
        GetTextExtentPoint32W(dc, entry.data(), lstrlenW(entry.data()), &text);
        widest = std::max(widest, static_cast<int>(text.cx));
    }
    SelectObject(dc, old);
    ReleaseDC(combo, dc);
    int width = widest + kItemMargins + 2 * GetSystemMetrics(SM_CXBORDER) + GetSystemMetrics(SM_CXVSCROLL);
    SendMessageW(combo, CB_SETDROPPEDWIDTH, width, 0); // the list is never narrower than the box
    COMBOBOXINFO parts{};
    parts.cbSize = sizeof(parts);
    if (GetComboBoxInfo(combo, &parts) && parts.hwndList != nullptr)
        SetWindowSubclass(parts.hwndList, keepOnTheScreen, 0, 0);
}

} // namespace

MainPage::MainPage(Application& app, TabControl& tabs) : TabPage(app, tabs, 0, L"WMAIN") {}

void MainPage::init(HWND dialog) {
    TabPage::init(dialog);
    MenuContext& menu = *MenuContext::instance();
    form_.init(menu);

    HWND directories = item(IDC_DIRECTORY);
    for (const std::u16string& entry : form_.directories)
        addString(directories, entry.c_str());
    SendMessageW(directories, CB_SETCURSEL, menu.dirDefaultIndex(), 0);
    fitDroppedWidth(directories);

    HWND platforms = item(IDC_PLATFORM);
    for (const MainPageForm::PlatformChoice& choice : form_.platforms)
        addString(platforms, choice.name);
    SendMessageW(platforms, CB_SETCURSEL, form_.platform_selection, 0);
    fitDroppedWidth(platforms);

    // The box is 40 units wide, as long as "kalmor.gz" without the edit's margins.
    SendMessageW(item(IDC_KERNEL), EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(1, 1));
    setText(IDC_KERNEL, form_.kernel.c_str());
    if (form_.rootfs_checked >= 0)
        check(IDC_ROOT_WD + form_.rootfs_checked, true);
    setText(IDC_ROOTFS_FILE, form_.rootfs_file.c_str());
    enable(IDC_ROOTFS_FILE, form_.rootfs_file_enabled);

    arrangeFlagBoxes();
    check(IDC_ASK_NAME, form_.ask_name);
    check(IDC_DEBUGGER, form_.debugger);
    check(IDC_SINGLE, form_.single);
    check(IDC_VERBOSE, form_.verbose);
    check(IDC_SERIAL, form_.serial);

    HWND speeds = item(IDC_SPEED);
    for (const std::u16string& speed : form_.speeds)
        addString(speeds, speed.c_str());
    LRESULT entry = SendMessageW(speeds, CB_FINDSTRINGEXACT, -1,
                                 reinterpret_cast<LPARAM>(asWide(form_.speed_text.c_str())));
    if (entry != CB_ERR)
        SendMessageW(speeds, CB_SETCURSEL, entry, 0);
    else
        setText(IDC_SPEED, form_.speed_text.c_str()); // a speed of the user's own, in the edit field
    enable(IDC_SPEED, form_.speed_enabled);
}

// A second column on a wide, low screen; below the other controls otherwise.
void MainPage::arrangeFlagBoxes() {
    ScreenMetrics screen = screenMetrics();
    bool wide_and_low = screen.width > 320 && screen.height <= 240;
    int origin_x = wide_and_low ? 250 : 5, origin_y = wide_and_low ? 5 : 125;
    for (const FlagBoxPlace& place : kFlagBoxes) {
        SetWindowPos(item(place.id), nullptr, screen.x(origin_x + place.x), screen.y(origin_y + place.y), 0,
                     0, SWP_NOSIZE | SWP_NOZORDER);
    }
}

void MainPage::command(int id, int) {
    if (id >= IDC_ROOT_WD && id <= IDC_ROOT_NFS)
        enable(IDC_ROOTFS_FILE, checked(IDC_ROOT_MD));
    else if (id == IDC_SERIAL)
        enable(IDC_SPEED, checked(IDC_SERIAL));
}

void MainPage::store() {
    form_.directory = text(IDC_DIRECTORY, kTextSize);
    form_.kernel = text(IDC_KERNEL, kTextSize);
    form_.platform_selection = static_cast<int>(SendMessageW(item(IDC_PLATFORM), CB_GETCURSEL, 0, 0));
    form_.rootfs_checked = -1;
    for (int id = IDC_ROOT_NFS; id >= IDC_ROOT_WD; --id) {
        if (checked(id))
            form_.rootfs_checked = id - IDC_ROOT_WD;
    }
    form_.ask_name = checked(IDC_ASK_NAME);
    form_.debugger = checked(IDC_DEBUGGER);
    form_.verbose = checked(IDC_VERBOSE);
    form_.single = checked(IDC_SINGLE);
    form_.serial = checked(IDC_SERIAL);
    form_.rootfs_file = text(IDC_ROOTFS_FILE, kTextSize);
    form_.speed_text = text(IDC_SPEED, kSpeedDigits);
    form_.store(*MenuContext::instance());
}
