#include "window/lcd_view.h"

#include "sim/emulator/qemu_machine.h"
#include "sim/handheld.h"
#include "sim/lcd.h"
#include "ui/window/win32.h"
#include "window/lcd_desktop.h"
#include "window/screen_capture.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace {

const wchar_t kViewClass[] = L"ZANDREL_LCD";
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT_PTR kLastPictureTimer = 2;
constexpr UINT kRefreshMilliseconds = 100; // about ten pictures a second
constexpr UINT kKernelStopped = WM_APP + 1;
constexpr DWORD kSettleMilliseconds = 500;      // for the X server to show the last picture
constexpr DWORD kThreadEndMilliseconds = 10000; // a thread told to end has ended by then
constexpr int kKernelStillRuns = 3;             // the status of a run that did not halt

// Pixels as GDI takes them: 0x00RRGGBB, rows from the top.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> bgrx;
    bool operator==(const Pixels&) const = default;
};

Pixels pixelsOf(const sim::RgbImage& picture) {
    Pixels pixels{picture.width, picture.height, {}};
    pixels.bgrx.resize(static_cast<size_t>(picture.width) * picture.height);
    const uint8_t* rgb = picture.rgb.data();
    for (uint32_t& pixel : pixels.bgrx) {
        pixel = uint32_t{rgb[0]} << 16 | uint32_t{rgb[1]} << 8 | rgb[2];
        rgb += 3;
    }
    return pixels;
}

// What the kernel's thread and the view share. Each holds it, so that either
// may end first: the window's thread may leave the view while the kernel
// still runs (the window closed under it), and the kernel's thread may
// still write the status and QEMU's pictures then.
struct KernelRun {
    explicit KernelRun(DeviceSession::HandOffTask run_task) : task(std::move(run_task)) {}

    const DeviceSession::HandOffTask task;
    std::atomic<bool> ended{false};
    std::atomic<int> status{1};
    std::atomic<HWND> view{nullptr}; // told when the kernel stops
    std::mutex board_lock;
    std::optional<sim::RgbImage> board_picture;
};

// A thread's own share of what it was started with (a `new` shared_ptr):
// the thread may outlive the function that started it.
template <typename T>
std::shared_ptr<T> takeShare(void* data) {
    auto* share = static_cast<std::shared_ptr<T>*>(data);
    std::shared_ptr<T> taken = std::move(*share);
    delete share;
    return taken;
}

DWORD WINAPI runKernel(void* data) {
    std::shared_ptr<KernelRun> run = takeShare<KernelRun>(data);
    int status = run->task([run](sim::RgbImage picture) {
        std::lock_guard<std::mutex> hold(run->board_lock);
        run->board_picture = std::move(picture);
    });
    run->status = status;
    run->ended = true;
    PostMessageW(run->view.load(), kKernelStopped, 0, 0);
    return 0;
}

// The window over the LCD's desktop, on a thread of its own, which takes that
// desktop before it makes the window.
class LcdView {
  public:
    LcdView(std::shared_ptr<KernelRun> run, const LcdViewOptions& options, HDESK desktop)
        : run_(std::move(run)), options_(options), profile_(sim::Handheld::get().profile()),
          desktop_(desktop) {}

    // Started with a `new std::shared_ptr<LcdView>`: the view lives until its thread ends.
    static DWORD WINAPI thread(void* data) { return takeShare<LcdView>(data)->show(); }

  private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    DWORD show();
    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
    bool createWindow();
    // The LCD now: QEMU's latest picture once it has sent one, else the panel read in place.
    sim::RgbImage panel();
    void refresh();
    void paint();
    void onKernelStopped();
    void onLastPictureShown();

    std::shared_ptr<KernelRun> run_;
    const LcdViewOptions options_;
    const sim::DeviceProfile& profile_;
    HDESK desktop_;
    HWND window_ = nullptr;
    Pixels shown_;
    bool stopped_ = false;
};

LRESULT CALLBACK LcdView::windowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* view = static_cast<LcdView*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        view->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
    }
    auto* view = reinterpret_cast<LcdView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (view == nullptr)
        return DefWindowProcW(window, message, wparam, lparam);
    return view->handle(message, wparam, lparam);
}

bool LcdView::createWindow() {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = windowProcedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    window_class.lpszClassName = kViewClass;
    if (RegisterClassW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;
    // The whole desktop: nothing of the window system shows beside the LCD.
    window_ =
        CreateWindowExW(WS_EX_TOPMOST, kViewClass, L"LCD", WS_POPUP, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                        GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, GetModuleHandleW(nullptr), this);
    return window_ != nullptr;
}

sim::RgbImage LcdView::panel() {
    {
        std::lock_guard<std::mutex> hold(run_->board_lock);
        if (run_->board_picture)
            return *run_->board_picture;
    }
    return sim::renderLcd();
}

void LcdView::refresh() {
    Pixels now = pixelsOf(sim::screenAsHeld(panel(), profile_));
    if (now == shown_)
        return;
    shown_ = std::move(now);
    InvalidateRect(window_, nullptr, FALSE);
}

void LcdView::paint() {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window_, &paint);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = shown_.width;
    format.bmiHeader.biHeight = -shown_.height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    if (!shown_.bgrx.empty())
        SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(shown_.width), static_cast<DWORD>(shown_.height), 0, 0,
                          0, static_cast<UINT>(shown_.height), shown_.bgrx.data(), &format, DIB_RGB_COLORS);
    // Black beside and below a picture smaller than the desktop.
    RECT client;
    GetClientRect(window_, &client);
    auto black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    RECT right{shown_.width, 0, client.right, client.bottom};
    RECT below{0, shown_.height, shown_.width, client.bottom};
    FillRect(dc, &right, black);
    FillRect(dc, &below, black);
    EndPaint(window_, &paint);
}

void LcdView::onKernelStopped() {
    if (stopped_)
        return;
    KillTimer(window_, kRefreshTimer);
    stopped_ = true;
    refresh();
    UpdateWindow(window_);
    // Wine hands the window's drawing to the X server from the message loop: the
    // last picture is on the screen only once the loop has run a while.
    SetTimer(window_, kLastPictureTimer, kSettleMilliseconds, nullptr);
}

void LcdView::onLastPictureShown() {
    KillTimer(window_, kLastPictureTimer);
    if (options_.last_picture.empty()) {
        std::fprintf(stderr,
                     "zandrel-window: the kernel has stopped; its screen stays until a key or a tap\n");
        std::fflush(stderr);
        return;
    }
    if (!screenshot(options_.last_picture))
        std::fprintf(stderr, "zandrel-window: can't take the screenshot %s\n", options_.last_picture.c_str());
    PostQuitMessage(0);
}

LRESULT LcdView::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_TIMER:
        if (wparam == kLastPictureTimer)
            onLastPictureShown();
        else
            refresh();
        return 0;
    case WM_PAINT:
        paint();
        return 0;
    case WM_ERASEBKGND:
        return 1; // painted whole by WM_PAINT
    case kKernelStopped:
        onKernelStopped();
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
        // The kernel has no keyboard or touch screen here; once it has stopped, input ends the view.
        if (stopped_ && options_.last_picture.empty())
            PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window_, message, wparam, lparam);
    }
}

// Until the kernel has stopped and its last picture is taken or left by a
// key or a tap, or until the window's thread ends the view.
DWORD LcdView::show() {
    if (desktop_ != nullptr && !SetThreadDesktop(desktop_))
        std::fprintf(stderr, "zandrel-window: the LCD shows on the window's desktop\n");
    if (!createWindow())
        return 1;
    if (options_.from_qemu && !sim::qemuBoardFor(profile_.processor).has_lcd)
        std::fprintf(stderr, "zandrel-window: QEMU %s has no LCD; the screen stays as Windows CE left it\n",
                     sim::qemuBoardFor(profile_.processor).name);
    refresh();
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    SetFocus(window_);
    UpdateWindow(window_);
    SetTimer(window_, kRefreshTimer, kRefreshMilliseconds, nullptr);
    run_->view = window_;
    if (run_->ended) // before the view could be told
        onKernelStopped();
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    run_->view = nullptr;
    DestroyWindow(window_);
    return 0;
}

// Windows CE's windows are gone: they take no input and show nothing, but
// this thread answers what is sent to them. A quit message here (the window
// closed through the window system) ends the program: answers true then,
// with the message's code in `quit_code`.
bool waitForTheView(HANDLE view, WPARAM& quit_code) {
    for (;;) {
        if (MsgWaitForMultipleObjects(1, &view, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0)
            return false;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit_code = message.wParam;
                return true;
            }
            if (message.message == WM_PAINT)
                DispatchMessageW(&message);
        }
    }
}

void hideThisThreadsWindows() {
    for (HWND window = GetTopWindow(nullptr); window != nullptr;) {
        HWND next = GetWindow(window, GW_HWNDNEXT);
        if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId())
            ShowWindow(window, SW_HIDE);
        window = next;
    }
}

} // namespace

void leaveTheWindowOnTheLcd() {
    paintThisThreadsWindows();
    const sim::DeviceProfile& profile = sim::Handheld::get().profile();
    sim::showOnLcd(captureScreen(profile.screen_width, profile.screen_height));
}

int runShowingTheLcd(const DeviceSession::HandOffTask& task, const LcdViewOptions& options) {
    auto run = std::make_shared<KernelRun>(task);
    const sim::DeviceProfile& profile = sim::Handheld::get().profile();
    auto* kernel_share = new std::shared_ptr<KernelRun>(run);
    HANDLE kernel = CreateThread(nullptr, 0, runKernel, kernel_share, 0, nullptr);
    if (kernel == nullptr) {
        delete kernel_share;
        return task({});
    }
    // The whole LCD at its own resolution, on a desktop of its size.
    HDESK desktop = desktopOfSize(profile.screen_width, profile.screen_height);
    hideThisThreadsWindows();
    auto* view_share = new std::shared_ptr<LcdView>(std::make_shared<LcdView>(run, options, desktop));
    DWORD view_thread = 0;
    HANDLE shown = CreateThread(nullptr, 0, LcdView::thread, view_share, 0, &view_thread);
    if (shown == nullptr)
        delete view_share;
    WPARAM quit_code = 0;
    bool closed = shown != nullptr && waitForTheView(shown, quit_code);
    if (closed) {
        std::fprintf(stderr, "zandrel-window: the window was closed; the kernel is stopped\n");
        // As Ctrl-A X on a terminal: the emulators look at the serial line's quit.
        if (sim::SerialInput* line = sim::Handheld::get().serial_input)
            line->requestQuit();
        PostThreadMessageW(view_thread, WM_QUIT, 0, 0);
    }
    // The view ends with the kernel, or is told to; the kernel's run has its own limits.
    if (shown != nullptr) {
        WaitForSingleObject(shown, closed ? kThreadEndMilliseconds : INFINITE);
        CloseHandle(shown);
    }
    bool ended = WaitForSingleObject(kernel, closed ? kThreadEndMilliseconds : INFINITE) == WAIT_OBJECT_0;
    CloseHandle(kernel);
    if (desktop != nullptr)
        CloseDesktop(desktop);
    if (closed)
        PostQuitMessage(static_cast<int>(quit_code)); // for the message loop that follows, if any
    return ended ? run->status.load() : kKernelStillRuns;
}
