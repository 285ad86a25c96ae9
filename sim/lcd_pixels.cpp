#include "sim/lcd_pixels.h"

namespace sim {

namespace {

uint8_t expand(uint32_t value, int bits) {
    // The top bits repeated below, so the largest value is 255.
    uint32_t shifted = value << (8 - bits);
    return static_cast<uint8_t>(shifted | shifted >> bits);
}

} // namespace

Rgb rgb565(uint16_t value) {
    return {expand(value >> 11, 5), expand((value >> 5) & 0x3F, 6), expand(value & 0x1F, 5)};
}

uint16_t toRgb565(Rgb colour) {
    return static_cast<uint16_t>((colour.r >> 3) << 11 | (colour.g >> 2) << 5 | colour.b >> 3);
}

Rgb windowsPaletteColour(int bits_per_pixel, int index) {
    if (bits_per_pixel == 8)
        return {expand(static_cast<uint32_t>(index) >> 5, 3), expand((index >> 2) & 7, 3),
                expand(index & 3, 2)};
    uint8_t grey = static_cast<uint8_t>(index * 255 / ((1 << bits_per_pixel) - 1));
    return {grey, grey, grey};
}

uint32_t nearestPixelValue(const PixelFormat& format, Rgb colour) {
    if (format.bits_per_pixel == 16)
        return toRgb565(colour);
    uint32_t best = 0;
    int best_distance = 1 << 30;
    for (size_t i = 0; i < format.palette.size(); ++i) {
        const Rgb& entry = format.palette[i];
        int dr = entry.r - colour.r, dg = entry.g - colour.g, db = entry.b - colour.b;
        int distance = dr * dr + dg * dg + db * db;
        if (distance < best_distance) {
            best_distance = distance;
            best = static_cast<uint32_t>(i);
        }
    }
    return best;
}

uint32_t pixelValue(const uint8_t* line, int x, int bits_per_pixel) {
    switch (bits_per_pixel) {
    case 16:
        return line[2 * x] | uint32_t{line[2 * x + 1]} << 8;
    case 8:
        return line[x];
    default: {
        int per_byte = 8 / bits_per_pixel;
        int shift = (x % per_byte) * bits_per_pixel;
        return (line[x / per_byte] >> shift) & ((1u << bits_per_pixel) - 1);
    }
    }
}

void setPixelValue(uint8_t* line, int x, int bits_per_pixel, uint32_t value) {
    switch (bits_per_pixel) {
    case 16:
        line[2 * x] = static_cast<uint8_t>(value);
        line[2 * x + 1] = static_cast<uint8_t>(value >> 8);
        break;
    case 8:
        line[x] = static_cast<uint8_t>(value);
        break;
    default: {
        int per_byte = 8 / bits_per_pixel;
        int shift = (x % per_byte) * bits_per_pixel;
        uint8_t mask = static_cast<uint8_t>(((1u << bits_per_pixel) - 1) << shift);
        line[x / per_byte] = static_cast<uint8_t>((line[x / per_byte] & ~mask) | ((value << shift) & mask));
    }
    }
}

void decodeLine(const uint8_t* line, const PixelFormat& format, RgbImage& image, int y) {
    uint8_t* out = image.row(y);
    for (int x = 0; x < image.width; ++x, out += 3) {
        uint32_t value = pixelValue(line, x, format.bits_per_pixel);
        Rgb colour;
        if (format.bits_per_pixel == 16)
            colour = rgb565(static_cast<uint16_t>(value));
        else if (value < format.palette.size())
            colour = format.palette[value];
        out[0] = colour.r;
        out[1] = colour.g;
        out[2] = colour.b;
    }
}

} // namespace sim
