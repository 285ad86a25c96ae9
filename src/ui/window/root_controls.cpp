#include "ui/window/root_controls.h"

#include "resources/resource.h"
#include "ui/window/tab_page.h"
#include "ui/window/wince_shell.h"

#include <commctrl.h>

namespace {

constexpr int kProgressSteps = 11;
constexpr int kTabImageWidth = 16;
constexpr int kTabImageHeight = 36;
const wchar_t* const kTabBitmaps[] = {L"IDI_ZANMENU_MAIN", L"IDI_ZANMENU_OPTION", L"IDI_ZANMENU_CONSOLE"};

} // namespace

HWND ChildControl::createControl(DWORD ex_style, const wchar_t* window_class, const wchar_t* text,
                                 DWORD style, int id) {
    hwnd = CreateWindowExW(ex_style, window_class, text, style, rect_.left, rect_.top,
                           rect_.right - rect_.left, rect_.bottom - rect_.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), app.module_instance, nullptr);
    return hwnd;
}

bool BootButton::create() {
    return createControl(0, L"BUTTON", L"Boot", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_NOTIFY, IDC_BOOT);
}

bool CancelButton::create() {
    return createControl(0, L"BUTTON", L"Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_NOTIFY, IDC_CANCEL);
}

bool ProgressBar::create() {
    if (!createControl(WS_EX_CLIENTEDGE, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE | PBS_SMOOTH,
                       IDC_PROGRESS))
        return false;
    SendMessageW(hwnd, PBM_SETRANGE, 0, MAKELPARAM(0, kProgressSteps));
    SendMessageW(hwnd, PBM_SETSTEP, 1, 0);
    SendMessageW(hwnd, PBM_SETPOS, 0, 0);
    return true;
}

void ProgressBar::step() {
    SendMessageW(hwnd, PBM_STEPIT, 0, 0);
}

void ProgressBar::reset() {
    SendMessageW(hwnd, PBM_SETPOS, 0, 0);
}

bool TabControl::create() {
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | TCS_MULTILINE | TCS_VERTICAL;
    if (!createControl(0, WC_TABCONTROLW, L"", style, IDC_TABS))
        return false;
    images_ = ImageList_Create(kTabImageWidth, kTabImageHeight, ILC_COLOR, 3, 0);
    for (const wchar_t* name : kTabBitmaps) {
        HBITMAP bitmap = LoadBitmapW(app.module_instance, name);
        ImageList_Add(images_, bitmap, nullptr);
        DeleteObject(bitmap);
    }
    SendMessageW(hwnd, TCM_SETPADDING, 0, MAKELPARAM(1, 1));
    SendMessageW(hwnd, TCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_));
    TabControlKeysCE(hwnd);
    return true;
}

TabControl::~TabControl() {
    if (images_ != nullptr)
        ImageList_Destroy(images_);
}

TabPage* TabControl::selectedPage() const {
    TCITEMW item{};
    item.mask = TCIF_PARAM;
    int selected = static_cast<int>(SendMessageW(hwnd, TCM_GETCURSEL, 0, 0));
    if (selected < 0 || !SendMessageW(hwnd, TCM_GETITEMW, selected, reinterpret_cast<LPARAM>(&item)))
        return nullptr;
    return reinterpret_cast<TabPage*>(item.lParam);
}
