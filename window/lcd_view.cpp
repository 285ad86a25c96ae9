#include "window/lcd_view.h"

#include "sim/emulator/qemu_machine.h"
#include "sim/handheld.h"
#include "sim/lcd.h"
#include "ui/window/win32.h"
#include "window/screen_capture.h"

#include <cstdio>
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
constexpr DWORD kThreadEndMilliseconds = 10000; // the kernel's thread has posted its end by then

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

class LcdView {
  public:
    LcdView(const DeviceSession::HandOffTask& task, const LcdViewOptions& options)
        : task_(task), options_(options), profile_(sim::Handheld::get().profile()) {}

    int run();

  private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    static DWORD WINAPI kernelThread(void* view);
    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
    bool createWindow();
    // The LCD now: QEMU's latest picture once it has sent one, else the panel read in place.
    sim::RgbImage panel();
    void refresh();
    void paint();
    void onKernelStopped();
    void saveLastPicture();

    const DeviceSession::HandOffTask& task_;
    const LcdViewOptions& options_;
    const sim::DeviceProfile& profile_;
    HWND window_ = nullptr;
    Pixels shown_;
    bool stopped_ = false;
    int status_ = 1;
    std::mutex board_lock_;
    std::optional<sim::RgbImage> board_picture_;
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

DWORD WINAPI LcdView::kernelThread(void* data) {
    auto* view = static_cast<LcdView*>(data);
    view->status_ = view->task_([view](sim::RgbImage picture) {
        std::lock_guard<std::mutex> hold(view->board_lock_);
        view->board_picture_ = std::move(picture);
    });
    PostMessageW(view->window_, kKernelStopped, 0, 0);
    return 0;
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
        std::lock_guard<std::mutex> hold(board_lock_);
        if (board_picture_)
            return *board_picture_;
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
    KillTimer(window_, kRefreshTimer);
    stopped_ = true;
    refresh();
    UpdateWindow(window_);
    if (options_.last_picture.empty()) {
        std::fprintf(stderr,
                     "zandrel-window: the kernel has stopped; its screen stays until a key or a tap\n");
        std::fflush(stderr);
        return;
    }
    // Wine hands the window's drawing to the X server from the message loop: the picture is taken from there.
    SetTimer(window_, kLastPictureTimer, kSettleMilliseconds, nullptr);
}

void LcdView::saveLastPicture() {
    KillTimer(window_, kLastPictureTimer);
    if (!screenshot(options_.last_picture))
        std::fprintf(stderr, "zandrel-window: can't take the screenshot %s\n", options_.last_picture.c_str());
    PostQuitMessage(0);
}

LRESULT LcdView::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_TIMER:
        if (wparam == kLastPictureTimer)
            saveLastPicture();
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

int LcdView::run() {
    if (!createWindow())
        return task_({});
    if (options_.from_qemu && !sim::qemuBoardFor(profile_.processor).has_lcd)
        std::fprintf(stderr, "zandrel-window: QEMU %s has no LCD; the screen stays as Windows CE left it\n",
                     sim::qemuBoardFor(profile_.processor).name);
    refresh();
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    SetFocus(window_);
    UpdateWindow(window_);
    SetTimer(window_, kRefreshTimer, kRefreshMilliseconds, nullptr);
    HANDLE kernel = CreateThread(nullptr, 0, kernelThread, this, 0, nullptr);
    if (kernel == nullptr) {
        DestroyWindow(window_);
        return task_({});
    }
    // Windows CE's windows are gone: only the view takes input, the others may still paint.
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == window_ || message.message == WM_PAINT) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    WaitForSingleObject(kernel, kThreadEndMilliseconds);
    CloseHandle(kernel);
    DestroyWindow(window_);
    return status_;
}

} // namespace

void leaveTheWindowOnTheLcd() {
    paintThisThreadsWindows();
    const sim::DeviceProfile& profile = sim::Handheld::get().profile();
    sim::showOnLcd(captureScreen(profile.screen_width, profile.screen_height));
}

int runShowingTheLcd(const DeviceSession::HandOffTask& task, const LcdViewOptions& options) {
    return LcdView(task, options).run();
}
