#include "ui/window/wince_shell.h"

#include "ui/window/screen.h"

#include <commctrl.h>
#include <cstring>
#include <vector>

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

// The templates are laid out in the dialog units of Tahoma 8 pt; a system
// font of another face shows the text in the same places.
const SystemFont kLayoutFont{L"Tahoma", 8};
SystemFont system_font = kLayoutFont;
constexpr size_t kTemplateHeaderBytes = 18; // style, extended style, item count, x, y, cx, cy

// Words of a template's menu or class field (none, an ordinal, or a string
// with its zero) or of its title (`string_only`); 0 when it runs past `count`.
size_t fieldWords(const WORD* field, size_t count, bool string_only) {
    if (count == 0)
        return 0;
    if (!string_only && field[0] == 0)
        return 1;
    if (!string_only && field[0] == 0xFFFF)
        return count >= 2 ? 2 : 0;
    for (size_t i = 0; i < count; ++i) {
        if (field[i] == 0)
            return i + 1;
    }
    return 0;
}

// The template with DS_SETFONT and the layout font after its title; empty
// when it is not a plain template without a font.
std::vector<BYTE> withLayoutFont(const BYTE* bytes, size_t size) {
    DWORD style = 0;
    if (size < kTemplateHeaderBytes)
        return {};
    std::memcpy(&style, bytes, sizeof(style));
    WORD first_words[2];
    std::memcpy(first_words, bytes, sizeof(first_words));
    bool extended = first_words[0] == 1 && first_words[1] == 0xFFFF;
    if (extended || (style & DS_SETFONT) != 0)
        return {};
    std::vector<WORD> words((size - kTemplateHeaderBytes) / sizeof(WORD));
    std::memcpy(words.data(), bytes + kTemplateHeaderBytes, words.size() * sizeof(WORD));
    size_t at = 0;
    for (bool string_only : {false, false, true}) { // menu, class, title
        size_t field = fieldWords(words.data() + at, words.size() - at, string_only);
        if (field == 0)
            return {};
        at += field;
    }
    size_t header = kTemplateHeaderBytes + at * sizeof(WORD);
    size_t items = (header + 3) & ~size_t{3};
    if (items > size)
        return {};

    std::vector<BYTE> copy(bytes, bytes + header);
    style |= DS_SETFONT;
    std::memcpy(copy.data(), &style, sizeof(style));
    auto appendWord = [&copy](WORD word) {
        copy.push_back(static_cast<BYTE>(word & 0xFF));
        copy.push_back(static_cast<BYTE>(word >> 8));
    };
    appendWord(static_cast<WORD>(kLayoutFont.points));
    for (const wchar_t* c = kLayoutFont.face; *c != 0; ++c)
        appendWord(static_cast<WORD>(*c));
    appendWord(0);
    copy.resize((copy.size() + 3) & ~size_t{3}, 0);
    copy.insert(copy.end(), bytes + items, bytes + size);
    return copy;
}

// The system font for the controls, made once for the process (the pages
// live as long).
HFONT systemFontHandle() {
    static HFONT font = nullptr;
    if (font == nullptr) {
        HDC screen = GetDC(nullptr);
        int height = -MulDiv(system_font.points, GetDeviceCaps(screen, LOGPIXELSY), 72);
        ReleaseDC(nullptr, screen);
        font =
            CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, system_font.face);
    }
    return font;
}

} // namespace

void useSystemFont(const SystemFont& font) {
    system_font = font;
}

HWND CreateDialogIndirectParamCE(HINSTANCE instance, const DLGTEMPLATE* dialog_template, DWORD size,
                                 HWND parent, DLGPROC procedure, LPARAM parameter) {
    std::vector<BYTE> copy = withLayoutFont(reinterpret_cast<const BYTE*>(dialog_template), size);
    const auto* used = copy.empty() ? dialog_template : reinterpret_cast<const DLGTEMPLATE*>(copy.data());
    return CreateDialogIndirectParamW(instance, used, parent, procedure, parameter);
}

void ShowInSystemFontCE(HWND dialog) {
    if (lstrcmpW(system_font.face, kLayoutFont.face) == 0)
        return;
    HFONT font = systemFontHandle();
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

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

namespace {

LRESULT CALLBACK tabControlKeys(HWND tabs, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR) {
    if (message != WM_KEYDOWN)
        return DefSubclassProc(tabs, message, wparam, lparam);
    NMTCKEYDOWN key{};
    key.hdr.hwndFrom = tabs;
    key.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(tabs));
    key.hdr.code = TCN_KEYDOWN;
    key.wVKey = static_cast<WORD>(wparam);
    key.flags = static_cast<UINT>(lparam);
    // The window procedure's answer to WM_NOTIFY does not carry the handling's:
    // a key that took the focus away was the parent's.
    if (SendMessageW(GetParent(tabs), WM_NOTIFY, key.hdr.idFrom, reinterpret_cast<LPARAM>(&key)) != 0 ||
        GetFocus() != tabs)
        return 0;
    bool vertical = (GetWindowLongW(tabs, GWL_STYLE) & TCS_VERTICAL) != 0;
    if (!vertical || (wparam != VK_UP && wparam != VK_DOWN))
        return DefSubclassProc(tabs, message, wparam, lparam);
    int selected = static_cast<int>(SendMessageW(tabs, TCM_GETCURSEL, 0, 0));
    int next = selected + (wparam == VK_DOWN ? 1 : -1);
    if (selected >= 0 && next >= 0 && next < static_cast<int>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0)))
        SendMessageW(tabs, TCM_SETCURFOCUS, next, 0); // notifies TCN_SELCHANGING and TCN_SELCHANGE
    return 0;
}

} // namespace

void TabControlKeysCE(HWND tabs) {
    SetWindowSubclass(tabs, tabControlKeys, 0, 0);
}

HWND GetLastDlgTabItem(HWND dialog) {
    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    return first != nullptr ? GetNextDlgTabItem(dialog, first, TRUE) : nullptr;
}
