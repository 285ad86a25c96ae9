#include "ui/window/screen.h"

#include "ui/window/win32.h"

ScreenMetrics screenMetrics() {
    HDC screen = GetDC(nullptr);
    ScreenMetrics metrics;
    metrics.width = GetDeviceCaps(screen, HORZRES);
    metrics.height = GetDeviceCaps(screen, VERTRES);
    metrics.dpi_x = GetDeviceCaps(screen, LOGPIXELSX);
    metrics.dpi_y = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return metrics;
}
