#include "sim/rgb_image.h"

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <png.h>

namespace sim {

bool writePng(const std::string& path, const RgbImage& image, std::string& error) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    if (image.width <= 0 || image.height <= 0 || image.rgb.size() != png.width * png.height * 3u) {
        error = "no picture to write to \"" + path + "\"";
        return false;
    }
    if (png_image_write_to_file(&png, path.c_str(), 0, image.rgb.data(), 0, nullptr) == 0) {
        error = "can't write \"" + path + "\": " + png.message;
        return false;
    }
    return true;
}

bool readPng(const std::string& path, RgbImage& image, std::string& error) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&png, path.c_str()) == 0) {
        error = "can't read \"" + path + "\": " + png.message;
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    image = RgbImage(static_cast<int>(png.width), static_cast<int>(png.height));
    if (png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr) == 0) {
        error = "can't read \"" + path + "\": " + png.message;
        png_image_free(&png);
        return false;
    }
    return true;
}

namespace {

// The next header field of a PPM: a decimal number after white space and comments.
bool ppmNumber(const std::string& file, size_t& at, long& value) {
    while (at < file.size()) {
        if (file[at] == '#') {
            while (at < file.size() && file[at] != '\n')
                ++at;
        } else if (std::isspace(static_cast<unsigned char>(file[at]))) {
            ++at;
        } else {
            break;
        }
    }
    size_t start = at;
    value = 0;
    while (at < file.size() && file[at] >= '0' && file[at] <= '9' && at - start < 6)
        value = value * 10 + (file[at++] - '0');
    return at > start && at < file.size() && std::isspace(static_cast<unsigned char>(file[at]));
}

} // namespace

bool readPpm(const std::string& path, RgbImage& image, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "can't open \"" + path + "\"";
        return false;
    }
    std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t at = 2;
    long width = 0, height = 0, max = 0;
    if (file.compare(0, 2, "P6") != 0 || !ppmNumber(file, at, width) || !ppmNumber(file, at, height) ||
        !ppmNumber(file, at, max) || width <= 0 || height <= 0 || max != 255) {
        error = "\"" + path + "\" is not an 8-bit binary PPM picture";
        return false;
    }
    ++at; // the one white-space byte before the pixels
    size_t bytes = static_cast<size_t>(width) * height * 3;
    if (file.size() - at < bytes) {
        error = "\"" + path + "\" ends before its last pixel";
        return false;
    }
    image = RgbImage(static_cast<int>(width), static_cast<int>(height));
    std::memcpy(image.rgb.data(), file.data() + at, bytes);
    return true;
}

} // namespace sim
