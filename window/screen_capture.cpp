#include "window/screen_capture.h"

#include "ui/window/win32.h"
#include "window/host_tools.h"

#include <cstdint>

void paintThisThreadsWindows() {
    for (HWND window = GetTopWindow(nullptr); window != nullptr; window = GetWindow(window, GW_HWNDNEXT)) {
        if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId())
            RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    // Wine hands the drawing to the X server when the thread looks at its messages.
    MSG pending;
    PeekMessageW(&pending, nullptr, 0, 0, PM_NOREMOVE);
}

bool screenshot(const std::string& png_file) {
    std::string desktop = std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "x" +
                          std::to_string(GetSystemMetrics(SM_CYSCREEN)) + "+0+0";
    return runHostTool({"import", "-window", "root", "-crop", desktop, "+repage", png_file});
}

sim::RgbImage captureScreen(int width, int height) {
    sim::RgbImage picture(width, height);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height; // rows from the top
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        PatBlt(memory, 0, 0, width, height, BLACKNESS);
        BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
        GdiFlush();
        const auto* pixels = static_cast<const uint32_t*>(bits); // 0x00RRGGBB
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint32_t pixel = pixels[static_cast<size_t>(y) * width + x];
                picture.set(x, y,
                            {static_cast<uint8_t>(pixel >> 16), static_cast<uint8_t>(pixel >> 8),
                             static_cast<uint8_t>(pixel)});
            }
        }
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return picture;
}
