// Pictures of the window system's screen, read through GDI: what the Wine
// desktop shows, as the display of the machine it stands for.
#pragma once

#include "sim/rgb_image.h"

// Paints what this thread's windows have waiting (a thread that has been
// busy, as the boot keeps the window's, leaves its windows half drawn) and
// hands the drawing to the X server.
void paintThisThreadsWindows();

// The screen's top-left `width` x `height` pixels; what lies beyond the
// screen is black.
sim::RgbImage captureScreen(int width, int height);
