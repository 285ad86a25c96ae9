// The display hardware of the simulated boards, as device models: the LCD
// controllers on the SA-11x0 and PXA2x0 chips, and the HP Jornada 7XX video
// controller with its own memory. They keep what is written to them; what
// the screen shows is read from them by sim/lcd.h. A view of the screen reads
// their registers on its own thread while the emulated processor writes them
// on the kernel's: each register is an atomic of its own.
#pragma once

#include "sim/device_model.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace sim {

// SA-11x0 LCD controller. DBAR1 points at the palette, which the DMA reads
// before the pixels: 16 entries (256 with 8 bits per pixel), the first
// entry's bits 13..12 telling the pixel size.
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
