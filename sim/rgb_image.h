// A picture in 8-bit RGB, rows from the top: what a screen shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb; // 3 bytes a pixel

    RgbImage() = default;
    RgbImage(int w, int h) : width(w), height(h), rgb(static_cast<size_t>(w) * h * 3, 0) {}
    Rgb at(int x, int y) const {
        const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return {p[0], p[1], p[2]};
    }
    void set(int x, int y, Rgb colour) {
        uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        p[0] = colour.r;
        p[1] = colour.g;
        p[2] = colour.b;
    }
    uint8_t* row(int y) { return &rgb[static_cast<size_t>(y) * width * 3]; }
};

// PNG files (libpng). False with `error` saying why.
bool writePng(const std::string& path, const RgbImage& image, std::string& error);
bool readPng(const std::string& path, RgbImage& image, std::string& error);
// A binary PPM (P6, 8-bit), as QEMU's screendump writes it.
bool readPpm(const std::string& path, RgbImage& image, std::string& error);

} // namespace sim
