// What the probe kernel draws on the screen, checked in a picture of it: its
// report lines in its 8x8 font from the top, wrapped at the screen's width
// and scrolled so that the last ones stay, and the verdict in letters four
// times as large at the bottom, centred; white on black, or black on white
// with reverse video.
#pragma once

#include "sim/rgb_image.h"

#include <cstdint>
#include <string>
#include <vector>

// The glyphs the probe kernel draws with (0x20 to 0x7E, 8 rows of 8 pixels).
const std::vector<uint8_t>& probeFontGlyphs();

// "" when `picture` shows what the probe kernel draws for its serial
// `output`; otherwise where the first pixel differs and what was expected there.
std::string probeScreenDifference(const sim::RgbImage& picture, const std::string& output, bool reverse);

// A light pixel: white, or near it when the display has fewer bits for a colour.
bool isLight(sim::Rgb pixel);
