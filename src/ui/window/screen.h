// The device's screen as the layouts see it: its size in pixels and its
// resolution. Layouts are written in 1/96 inch and scaled with x() and y().
#pragma once

struct ScreenMetrics {
    int width = 0, height = 0; // pixels
    int dpi_x = 96, dpi_y = 96;

    int x(int units) const { return units * dpi_x / 96; }
    int y(int units) const { return units * dpi_y / 96; }
};

ScreenMetrics screenMetrics();
