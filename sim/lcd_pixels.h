// How the simulated screens keep a pixel: its bits in a pixel line, and the
// colours Windows CE's display drivers give the pixel values.
#pragma once

#include "sim/rgb_image.h"

#include <cstdint>
#include <vector>

namespace sim {

// A pixel line's format: 4, 8 or 16 bits a pixel, the leftmost pixel in the
// lowest bits (little-endian); 16 bits are 5-6-5 RGB, fewer index a palette.
struct PixelFormat {
    int bits_per_pixel = 16;
    std::vector<Rgb> palette;
};

Rgb rgb565(uint16_t value);
uint16_t toRgb565(Rgb colour);
// The colours of Windows CE's palettes: 8 bits a pixel 3-3-2 RGB, 4 bits a
// pixel 16 grey levels; index 0 is black and the highest is white.
Rgb windowsPaletteColour(int bits_per_pixel, int index);
// The pixel value Windows CE draws for `colour`.
uint32_t nearestPixelValue(const PixelFormat& format, Rgb colour);

uint32_t pixelValue(const uint8_t* line, int x, int bits_per_pixel);
void setPixelValue(uint8_t* line, int x, int bits_per_pixel, uint32_t value);
// Decodes `width` pixels of one line into the picture's row `y`.
void decodeLine(const uint8_t* line, const PixelFormat& format, RgbImage& image, int y);

} // namespace sim
