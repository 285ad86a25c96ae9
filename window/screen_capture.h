// Pictures of the window system's screen, read through GDI: what the Wine
// desktop shows, as the display of the machine it stands for.
#pragma once

#include "sim/rgb_image.h"

#include <string>

// Paints what this thread's windows have waiting (a thread that has been
// busy, as the boot keeps the window's, leaves its windows half drawn) and
// hands the drawing to the X server.
void paintThisThreadsWindows();

// A picture of the window system's screen as a PNG file (ImageMagick's
// import): the Wine desktop at the top-left of the X screen, at its size now.
bool screenshot(const std::string& png_file);

// The screen's top-left `width` x `height` pixels; what lies beyond the
// screen is black.
sim::RgbImage captureScreen(int width, int height);
