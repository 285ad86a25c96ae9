#include "window/window_driver.h"

#include "window/host_tools.h"
#include "window/message_box.h"
#include "window/win_text.h"

#include "resources/resource.h"
#include "ui/window/program.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kPollMilliseconds = 10;
constexpr DWORD kScriptEndMilliseconds = 30000;

struct Search {
    int id;
    HWND found;
};

BOOL CALLBACK findControl(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    if (GetDlgCtrlID(window) != search->id)
        return TRUE;
    search->found = window;
    return FALSE;
}

struct BoxSearch {
    DWORD thread;
    HWND found;
};

BOOL CALLBACK findAnyBox(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<BoxSearch*>(data);
    if (!isMessageBox(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

void sleepShortly() {
    Sleep(kPollMilliseconds);
}

WNDPROC root_procedure = nullptr;
volatile LONG boot_starts_handled = 0;

// The root window's procedure, subclassed: counts the boot starts it returns from.
LRESULT CALLBACK countBootStarts(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT result = CallWindowProcW(root_procedure, window, message, wparam, lparam);
    if ((message == WM_COMMAND && wparam == IDC_BOOT) || (message == WM_TIMER && wparam == IDT_AUTO_BOOT))
        InterlockedIncrement(&boot_starts_handled);
    return result;
}

LPARAM centreOfTab(HWND tabs, int index) {
    RECT item{};
    SendMessageW(tabs, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item));
    return MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
}

} // namespace

int WindowDriver::run(const std::function<void(WindowDriver&)>& script) {
    WindowDriver driver;
    driver.window_thread_ = GetCurrentThreadId();
    root_procedure = nullptr;
    boot_starts_handled = 0;
    Work work{driver, script};
    // A thread of the window system's own: a plain thread may not call it.
    HANDLE second = CreateThread(nullptr, 0, &WindowDriver::drive, &work, 0, nullptr);
    int exit_code = runProgram(GetModuleHandleW(nullptr));
    // The script sees the window gone and ends. One that does not still uses
    // what this frame holds: the process ends here.
    if (WaitForSingleObject(second, kScriptEndMilliseconds) != WAIT_OBJECT_0) {
        std::fprintf(stderr,
                     "zandrel-window: the window has closed, and its driver did not end within %lu s\n",
                     static_cast<unsigned long>(kScriptEndMilliseconds / 1000));
        std::fflush(nullptr);
        ExitProcess(static_cast<UINT>(exit_code));
    }
    CloseHandle(second);
    UnregisterClassW(L"ZANDREL", GetModuleHandleW(nullptr));
    return exit_code;
}

DWORD WINAPI WindowDriver::drive(void* data) {
    Work& work = *static_cast<Work*>(data);
    WindowDriver& driver = work.driver;
    // Ready once its children are made: the last step gives the Boot button the focus.
    bool ready = driver.waitUntil([&driver] {
        driver.root_ = FindWindowW(L"ZANDREL", nullptr);
        return driver.root_ != nullptr && driver.focus() != nullptr &&
               driver.focus() == driver.control(IDC_BOOT);
    });
    if (ready)
        work.script(driver);
    driver.closeWhatIsLeft();
    return 0;
}

void WindowDriver::closeWhatIsLeft() {
    for (int round = 0; round < 100 && root_ != nullptr && IsWindow(root_); ++round) {
        BoxSearch search{window_thread_, nullptr};
        EnumThreadWindows(window_thread_, findAnyBox, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr)
            PostMessageW(search.found, WM_COMMAND, GetDlgItem(search.found, IDNO) != nullptr ? IDNO : IDOK,
                         0);
        else
            PostMessageW(root_, WM_COMMAND, IDC_CANCEL, 0);
        Sleep(50);
        if (search.found == nullptr)
            break;
    }
}

HWND WindowDriver::control(int id) const {
    Search search{id, nullptr};
    EnumChildWindows(root_, findControl, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string WindowDriver::text(HWND window) const {
    LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
    return utf8(buffer.data());
}

void WindowDriver::setText(int id, const char* text) {
    int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::vector<wchar_t> wide(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), size);
    SendMessageW(control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.data()));
}

bool WindowDriver::checked(int id) const {
    return SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int WindowDriver::selection(int id) const {
    return static_cast<int>(SendMessageW(control(id), CB_GETCURSEL, 0, 0));
}

void WindowDriver::click(int id) {
    SendMessageW(control(id), BM_CLICK, 0, 0);
}

void WindowDriver::clickBoot() {
    PostMessageW(control(IDC_BOOT), BM_CLICK, 0, 0);
}

void WindowDriver::key(HWND window, UINT virtual_key) {
    PostMessageW(window, WM_KEYDOWN, virtual_key, 1);
    PostMessageW(window, WM_KEYUP, virtual_key, 0xC0000001);
}

void WindowDriver::tapTab(int index) {
    HWND tabs = control(IDC_TABS);
    LPARAM at = centreOfTab(tabs, index);
    PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(tabs, WM_LBUTTONUP, 0, at);
}

void WindowDriver::showPage(int index) {
    HWND tabs = control(IDC_TABS);
    LPARAM at = centreOfTab(tabs, index);
    SendMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(tabs, WM_LBUTTONUP, 0, at);
}

void WindowDriver::watchBootStarts() {
    if (root_procedure != nullptr)
        return;
    root_procedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(root_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(countBootStarts)));
}

int WindowDriver::bootStartsHandled() const {
    return static_cast<int>(boot_starts_handled);
}

namespace {

bool xdotool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "xdotool");
    return runHostTool(std::move(arguments));
}

// The window system's screen is the virtual desktop, which sits at the X screen's origin.
POINT onScreen(HWND window, POINT client_point) {
    ClientToScreen(window, &client_point);
    return client_point;
}

} // namespace

bool WindowDriver::pressKeys(const std::vector<std::string>& keys) {
    RECT client;
    GetClientRect(root_, &client);
    POINT inside = onScreen(root_, {client.right - 2, client.bottom - 2});
    std::vector<std::string> arguments = {
        "mousemove", std::to_string(inside.x), std::to_string(inside.y), "key", "--delay", "100"};
    arguments.insert(arguments.end(), keys.begin(), keys.end());
    return xdotool(arguments);
}

bool WindowDriver::clickAt(HWND window, POINT client_point) {
    POINT at = onScreen(window, client_point);
    return xdotool({"mousemove", std::to_string(at.x), std::to_string(at.y), "click", "1"});
}

HWND WindowDriver::focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(window_thread_, &info);
    return info.hwndFocus;
}

HWND WindowDriver::waitForBox(const wchar_t* caption, int milliseconds) const {
    HWND box = nullptr;
    waitUntil(
        [&box, caption] {
            box = FindWindowW(L"#32770", caption);
            return box != nullptr && IsWindowVisible(box);
        },
        milliseconds);
    return box;
}

std::string WindowDriver::boxText(HWND box) const {
    return text(GetDlgItem(box, kMessageTextId));
}

HICON WindowDriver::boxIcon(HWND box) const {
    const int kIconId = 1088; // the icon control of the window system's message box
    return reinterpret_cast<HICON>(SendMessageW(GetDlgItem(box, kIconId), STM_GETICON, 0, 0));
}

void WindowDriver::answer(HWND box, int button) {
    PostMessageW(box, WM_COMMAND, button, 0);
    waitUntil([box] { return !IsWindow(box); });
}

bool WindowDriver::noBoxFor(int milliseconds) const {
    return !waitUntil(
        [this] {
            BoxSearch search{window_thread_, nullptr};
            EnumThreadWindows(window_thread_, findAnyBox, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        milliseconds);
}

bool WindowDriver::waitUntil(const std::function<bool()>& condition, int milliseconds) const {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        sleepShortly();
    }
    return true;
}

size_t countOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}
