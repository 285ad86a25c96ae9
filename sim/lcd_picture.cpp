// What the screen shows: each controller's registers read as the hardware
// reads them, and the pixel lines from the memory they point at.
#include "loader/elf_format.h"
#include "sim/board_devices.h"
#include "sim/display_memory.h"
#include "sim/handheld.h"
#include "sim/lcd.h"
#include "sim/lcd_controllers.h"
#include "sim/lcd_pixels.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

// Geometry the registers can express: 10-bit line and pixel counts.
constexpr int kLargestSide = 2048;

struct ScanOut {
    PixelFormat format;
    int width = 0;
    int height = 0;
    uint32_t line_bytes = 0; // from one line's start to the next
    // Where each line's pixels start: the first panel's lines, then a dual
    // panel's second half.
    uint32_t first_line = 0;
    uint32_t second_half = 0; // 0: one panel
};

bool sensible(int width, int height) {
    return width > 0 && height > 0 && width <= kLargestSide && height <= kLargestSide;
}

RgbImage blank(const DeviceProfile& profile) {
    DisplayMemory display = displayMemory(profile);
    return RgbImage(display.width, display.height);
}

template <typename Read>
RgbImage scanOut(const ScanOut& scan, Read read_line) {
    RgbImage image(scan.width, scan.height);
    uint32_t shown = static_cast<uint32_t>(scan.width * scan.format.bits_per_pixel / 8);
    std::vector<uint8_t> line(shown);
    int half = scan.second_half != 0 ? scan.height / 2 : scan.height;
    for (int y = 0; y < scan.height; ++y) {
        uint32_t at = y < half ? scan.first_line + static_cast<uint32_t>(y) * scan.line_bytes
                               : scan.second_half + static_cast<uint32_t>(y - half) * scan.line_bytes;
        // A line the memory does not hold stays black.
        if (read_line(at, line.data(), shown))
            decodeLine(line.data(), scan.format, image, y);
    }
    return image;
}

RgbImage fromRam(const ScanOut& scan) {
    PhysicalMemory& ram = PhysicalMemory::get();
    return scanOut(
        scan, [&ram](uint32_t paddr, uint8_t* out, uint32_t size) { return ram.read(paddr, out, size); });
}

std::vector<Rgb> readPalette(uint32_t paddr, uint32_t count, bool xscale, bool mono) {
    std::vector<uint8_t> bytes(2 * count);
    std::vector<Rgb> palette(count);
    if (!PhysicalMemory::get().read(paddr, bytes.data(), 2 * count))
        return palette;
    for (uint32_t i = 0; i < count; ++i) {
        uint16_t entry = elf::get16(&bytes[2 * i]);
        palette[i] = xscale ? rgb565(entry) : Sa11x0LcdController::paletteColour(entry, mono);
    }
    return palette;
}

RgbImage renderSa11x0(const DeviceProfile& profile, Sa11x0LcdController& lcd) {
    using C = Sa11x0LcdController;
    uint32_t lccr0 = lcd.read32(C::kLccr0);
    bool dual = (lccr0 & C::kLccr0DualPanel) != 0;
    ScanOut scan;
    scan.width = C::pixelsPerLine(lcd.read32(C::kLccr1));
    scan.height = C::linesPerPanel(lcd.read32(C::kLccr2)) * (dual ? 2 : 1);
    uint32_t dbar1 = lcd.read32(C::kDbar1);
    uint8_t first_entry[2] = {};
    if ((lccr0 & C::kLccr0Enable) == 0 || !sensible(scan.width, scan.height) ||
        !PhysicalMemory::get().read(dbar1, first_entry, 2))
        return blank(profile);
    scan.format.bits_per_pixel = C::bitsPerPixel(elf::get16(first_entry));
    if (scan.format.bits_per_pixel == 0)
        return blank(profile); // reserved: the controller shows nothing sensible
    uint32_t entries = scan.format.bits_per_pixel == 8 ? 256 : 16;
    if (scan.format.bits_per_pixel < 16)
        scan.format.palette = readPalette(dbar1, entries, false, (lccr0 & C::kLccr0Mono) != 0);
    scan.line_bytes = static_cast<uint32_t>(scan.width * scan.format.bits_per_pixel / 8);
    scan.first_line = dbar1 + 2 * entries;
    scan.second_half = dual ? lcd.read32(C::kDbar2) : 0;
    return fromRam(scan);
}

RgbImage renderPxa2x0(const DeviceProfile& profile, Pxa2x0LcdController& lcd) {
    using C = Pxa2x0LcdController;
    ScanOut scan;
    scan.width = C::pixelsPerLine(lcd.read32(C::kLccr1));
    scan.height = C::linesPerPanel(lcd.read32(C::kLccr2));
    scan.format.bits_per_pixel = C::bitsPerPixel(lcd.read32(C::kLccr3));
    if ((lcd.read32(C::kLccr0) & C::kLccr0Enable) == 0 || !sensible(scan.width, scan.height) ||
        scan.format.bits_per_pixel == 0)
        return blank(profile);
    // Channel 0's descriptors: a palette load first, then the frame.
    uint32_t descriptor = lcd.read32(C::kFdadr0);
    for (int step = 0; step < 4; ++step) {
        uint8_t words[16];
        if (!PhysicalMemory::get().read(descriptor, words, sizeof words))
            return blank(profile);
        uint32_t command = elf::get32(words + 12);
        if ((command & C::kLdcmdPalette) == 0) {
            scan.first_line = elf::get32(words + 4);
            scan.line_bytes = static_cast<uint32_t>(scan.width * scan.format.bits_per_pixel / 8);
            return fromRam(scan);
        }
        uint32_t entries = std::min<uint32_t>((command & C::kLdcmdLength) / 2, 256);
        scan.format.palette = readPalette(elf::get32(words + 4), entries, true, false);
        descriptor = elf::get32(words);
    }
    return blank(profile);
}

RgbImage renderS1d13806(const DeviceProfile& profile, S1d13806Registers& video, VideoMemory& memory) {
    using V = S1d13806Registers;
    ScanOut scan;
    scan.width = V::width(video.read8(V::kLcdWidth));
    scan.height = V::height(video.read8(V::kLcdHeight), video.read8(V::kLcdHeight + 1));
    uint8_t mode = video.read8(V::kLcdMode);
    scan.format.bits_per_pixel = V::bitsPerPixel(mode);
    if ((video.read8(V::kDisplayMode) & 7) == 0 || (mode & 0x80) != 0 || !sensible(scan.width, scan.height) ||
        scan.format.bits_per_pixel == 0)
        return blank(profile);
    // Its look-up table is not modelled: fewer bits a pixel show grey levels.
    for (int i = 0; scan.format.bits_per_pixel < 16 && i < (1 << scan.format.bits_per_pixel); ++i) {
        uint8_t grey = static_cast<uint8_t>(i * 255 / ((1 << scan.format.bits_per_pixel) - 1));
        scan.format.palette.push_back({grey, grey, grey});
    }
    scan.first_line = 4 * (video.read8(V::kLcdStart) | video.read8(V::kLcdStart + 1) << 8 |
                           (video.read8(V::kLcdStart + 2) & 0x0F) << 16);
    scan.line_bytes = 2u * (video.read8(V::kLcdOffset) | (video.read8(V::kLcdOffset + 1) & 7) << 8);
    return scanOut(scan, [&memory](uint32_t offset, uint8_t* out, uint32_t size) {
        if (offset >= VideoMemory::kSize || VideoMemory::kSize - offset < size)
            return false;
        std::memcpy(out, memory.bytes() + offset, size);
        return true;
    });
}

} // namespace

RgbImage renderLcd() {
    const DeviceProfile& profile = Handheld::get().profile();
    auto* video = boardDevice<S1d13806Registers>(S1d13806Registers::kBase);
    auto* video_memory = boardDevice<VideoMemory>(VideoMemory::kBase);
    if (video != nullptr && video_memory != nullptr)
        return renderS1d13806(profile, *video, *video_memory);
    if (auto* pxa = boardDevice<Pxa2x0LcdController>(Pxa2x0LcdController::kBase))
        return renderPxa2x0(profile, *pxa);
    if (auto* sa = boardDevice<Sa11x0LcdController>(Sa11x0LcdController::kBase))
        return renderSa11x0(profile, *sa);
    return blank(profile);
}

} // namespace sim
