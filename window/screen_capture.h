// Pictures of the window system's screen, read through GDI: what the Wine
// desktop shows, as the display of the machine it stands for.
#pragma once

#include "sim/rgb_image.h"

// The screen's top-left `width` x `height` pixels; what lies beyond the
// screen is black.
sim::RgbImage captureScreen(int width, int height);
