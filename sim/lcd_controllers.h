// The display hardware of the simulated boards, as device models: the LCD
// controllers on the SA-11x0 and PXA2x0 chips, and the HP Jornada 7XX video
// controller with its own memory. They keep what is written to them; what
// the screen shows is read from them by sim/lcd.h. A view of the screen reads
// their registers on its own thread while the emulated processor writes them
// on the kernel's: each register is an atomic of its own.
#pragma once

#include "sim/device_model.h"
#include "sim/rgb_image.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace sim {

// The pixel size a controller's code names: `bits` lists the bits per pixel
// of each code, 0 for one no simulated screen takes. One table serves the
// display driver writing the code and the picture reading it.
template <size_t N>
int bitsPerPixelOfCode(const int (&bits)[N], uint32_t code) {
    return code < N ? bits[code] : 0;
}
template <size_t N>
uint32_t codeOfBitsPerPixel(const int (&bits)[N], int bits_per_pixel) {
    for (uint32_t code = 0; code < N; ++code) {
        if (bits[code] == bits_per_pixel)
            return code;
    }
    return 0;
}

// SA-11x0 LCD controller. DBAR1 points at the palette, which the DMA reads
// before the pixels: 16 entries (256 with 8 bits per pixel), the first
// entry's bits 13..12 telling the pixel size. A palette entry is 4-4-4 RGB,
// or a grey level in its low 4 bits on a monochrome panel.
class Sa11x0LcdController : public WordRegisters {
  public:
    static constexpr uint32_t kBase = 0xB0100000;
    static constexpr uint32_t kSize = 0x1000;
    static constexpr uint32_t kLccr0 = 0x00;
    static constexpr uint32_t kLcsr = 0x04;
    static constexpr uint32_t kDbar1 = 0x10;
    static constexpr uint32_t kDcar1 = 0x14;
    static constexpr uint32_t kDbar2 = 0x18;
    static constexpr uint32_t kDcar2 = 0x1C;
    static constexpr uint32_t kLccr1 = 0x20; // pixels per line - 16 in bits 9..0
    static constexpr uint32_t kLccr2 = 0x24; // lines per panel - 1 in bits 9..0
    static constexpr uint32_t kLccr3 = 0x28;
    static constexpr uint32_t kLccr0Enable = 0x01;
    static constexpr uint32_t kLccr0Mono = 0x02;
    static constexpr uint32_t kLccr0DualPanel = 0x04;
    static constexpr uint32_t kLccr0Active = 0x80;
    static constexpr uint32_t kPixelSizeShift = 12; // in the palette's first entry
    static constexpr int kPixelSizes[] = {4, 8, 16, 0};

    static uint32_t pixelsPerLineField(int pixels) { return static_cast<uint32_t>(pixels - 16); }
    static int pixelsPerLine(uint32_t lccr1) { return static_cast<int>(lccr1 & 0x3FF) + 16; }
    static uint32_t linesPerPanelField(int lines) { return static_cast<uint32_t>(lines - 1); }
    static int linesPerPanel(uint32_t lccr2) { return static_cast<int>(lccr2 & 0x3FF) + 1; }
    static int bitsPerPixel(uint16_t first_palette_entry) {
        return bitsPerPixelOfCode(kPixelSizes, (first_palette_entry >> kPixelSizeShift) & 3);
    }
    static uint16_t pixelSizeBits(int bits_per_pixel) {
        return static_cast<uint16_t>(codeOfBitsPerPixel(kPixelSizes, bits_per_pixel) << kPixelSizeShift);
    }
    static uint16_t paletteEntry(Rgb colour, bool mono) {
        if (mono)
            return static_cast<uint16_t>(colour.r >> 4);
        return static_cast<uint16_t>((colour.r >> 4) << 8 | (colour.g >> 4) << 4 | colour.b >> 4);
    }
    static Rgb paletteColour(uint16_t entry, bool mono) {
        auto level = [entry](int shift) { return static_cast<uint8_t>(((entry >> shift) & 15) * 17); };
        return mono ? Rgb{level(0), level(0), level(0)} : Rgb{level(8), level(4), level(0)};
    }

    uint32_t read32(uint32_t offset) override;
    void write32(uint32_t offset, uint32_t value) override;

  private:
    std::array<std::atomic<uint32_t>, 12> registers_{};
};

// PXA2x0 LCD controller. FDADR0 points at the frame descriptor {next
// descriptor, frame source, frame id, command} that channel 0 loads; a
// descriptor whose command has the palette bit loads the palette instead.
// FDADR0 takes a new value only while the controller is off.
class Pxa2x0LcdController : public WordRegisters {
  public:
    static constexpr uint32_t kBase = 0x44000000;
    static constexpr uint32_t kSize = 0x1000;
    static constexpr uint32_t kLccr0 = 0x000;
    static constexpr uint32_t kLccr1 = 0x004; // pixels per line - 1 in bits 9..0
    static constexpr uint32_t kLccr2 = 0x008; // lines per panel - 1 in bits 9..0
    static constexpr uint32_t kLccr3 = 0x00C; // bits per pixel code in bits 26..24 (and 29)
    static constexpr uint32_t kFbr0 = 0x020;
    static constexpr uint32_t kLcsr = 0x038;
    static constexpr uint32_t kFdadr0 = 0x200;
    static constexpr uint32_t kFsadr0 = 0x204;
    static constexpr uint32_t kFidr0 = 0x208;
    static constexpr uint32_t kLdcmd0 = 0x20C;
    static constexpr uint32_t kLccr0Enable = 0x01;
    static constexpr uint32_t kLdcmdPalette = 1u << 26;
    static constexpr uint32_t kLdcmdLength = 0x001FFFFF;
    // LCCR3's pixel size: bits 26..24, bit 29 above them.
    static constexpr int kPixelSizes[] = {0, 0, 4, 8, 16};

    static uint32_t pixelsPerLineField(int pixels) { return static_cast<uint32_t>(pixels - 1); }
    static int pixelsPerLine(uint32_t lccr1) { return static_cast<int>(lccr1 & 0x3FF) + 1; }
    static uint32_t linesPerPanelField(int lines) { return static_cast<uint32_t>(lines - 1); }
    static int linesPerPanel(uint32_t lccr2) { return static_cast<int>(lccr2 & 0x3FF) + 1; }
    static int bitsPerPixel(uint32_t lccr3) {
        return bitsPerPixelOfCode(kPixelSizes, ((lccr3 >> 24) & 7) | ((lccr3 >> 26) & 8));
    }
    static uint32_t pixelSizeField(int bits_per_pixel) {
        uint32_t code = codeOfBitsPerPixel(kPixelSizes, bits_per_pixel);
        return (code & 7) << 24 | (code & 8) << 26;
    }

    uint32_t read32(uint32_t offset) override;
    void write32(uint32_t offset, uint32_t value) override;

  private:
    std::array<std::atomic<uint32_t>, 4> lccr_{};
    std::atomic<uint32_t> fbr0_ = 0;
    std::atomic<uint32_t> fdadr0_ = 0;
};

// The HP Jornada 7XX video controller's registers: bytes, on a 16-bit bus
// at 0x48000000; its memory (VideoMemory) is at 0x48200000.
class S1d13806Registers : public DeviceModel {
  public:
    static constexpr uint32_t kBase = 0x48000000;
    static constexpr uint32_t kSize = 0x1000;
    static constexpr uint32_t kCount = 0x200;
    static constexpr uint32_t kLcdWidth = 0x032;    // width / 8 - 1
    static constexpr uint32_t kLcdHeight = 0x038;   // height - 1, two bytes
    static constexpr uint32_t kLcdMode = 0x040;     // bits per pixel code in bits 2..0; bit 7 blanks
    static constexpr uint32_t kLcdStart = 0x042;    // first pixel, in 32-bit words, three bytes
    static constexpr uint32_t kLcdOffset = 0x046;   // line pitch, in 16-bit words, two bytes
    static constexpr uint32_t kDisplayMode = 0x1FC; // bits 2..0: 0 no display, 1 the LCD
    static constexpr int kPixelSizes[] = {0, 0, 4, 8, 0, 16, 0, 0};

    static uint8_t widthField(int pixels) { return static_cast<uint8_t>(pixels / 8 - 1); }
    static int width(uint8_t lcd_width) { return (lcd_width + 1) * 8; }
    static uint32_t heightField(int lines) { return static_cast<uint32_t>(lines - 1); }
    static int height(uint8_t low, uint8_t high) { return (low | (high & 3) << 8) + 1; }
    static int bitsPerPixel(uint8_t lcd_mode) { return bitsPerPixelOfCode(kPixelSizes, lcd_mode & 7u); }
    static uint8_t pixelSizeCode(int bits_per_pixel) {
        return static_cast<uint8_t>(codeOfBitsPerPixel(kPixelSizes, bits_per_pixel));
    }

    uint8_t read8(uint32_t offset) override { return offset < kCount ? registers_[offset].load() : 0; }
    void write8(uint32_t offset, uint8_t value) override;
    uint32_t read32(uint32_t offset) override;
    void write32(uint32_t offset, uint32_t value) override;

  private:
    std::array<std::atomic<uint8_t>, kCount> registers_{};
};

// Memory of a device that the processor reads and writes like RAM: kept in
// host pages of its own, which an emulator can map in place.
class VideoMemory : public DeviceModel {
  public:
    static constexpr uint32_t kBase = 0x48200000;
    static constexpr uint32_t kSize = 0x140000; // 1.25 MB

    VideoMemory();
    ~VideoMemory() override;
    VideoMemory(const VideoMemory&) = delete;
    VideoMemory& operator=(const VideoMemory&) = delete;

    uint8_t* bytes() { return bytes_; }
    uint8_t read8(uint32_t offset) override { return offset < kSize ? bytes_[offset] : 0; }
    void write8(uint32_t offset, uint8_t value) override;
    uint32_t read32(uint32_t offset) override;
    void write32(uint32_t offset, uint32_t value) override;

  private:
    uint8_t* bytes_ = nullptr;
};

} // namespace sim
