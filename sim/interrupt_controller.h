// The processors' interrupt controllers as far as the UARTs' interrupts go:
// the pending bits of the sources (ICPR), the mask (ICMR), the level register
// that sends a source to FIQ instead of IRQ (ICLR), and what reaches the
// processor (ICIP, ICFP). A source is pending while its device asks for its
// interrupt (SerialDevice::interruptPending). Other registers read 0.
// ICIP and ICFP are the processor's IRQ and FIQ lines (lines()).
#pragma once

#include "sim/board_devices.h"

#include <memory>
#include <vector>

namespace sim {

class InterruptController : public DeviceModel {
  public:
    struct Layout {
        uint32_t icip, icmr, iclr, icfp, icpr;
    };
    // SA-11x0 at 0x90050000, serial port 3 is source 17.
    static constexpr uint32_t kSa11x0Base = 0x90050000;
    static constexpr Layout kSa11x0{0x00, 0x04, 0x08, 0x10, 0x20};
    static constexpr uint32_t kSa11x0Serial3 = 17;
    // PXA2x0 at 0x40D00000: FFUART 22, BTUART 21, STUART 20.
    static constexpr uint32_t kPxa2x0Base = 0x40D00000;
    static constexpr Layout kPxa2x0{0x00, 0x04, 0x08, 0x0C, 0x10};
    static constexpr uint32_t kPxa2x0Ffuart = 22, kPxa2x0Btuart = 21, kPxa2x0Stuart = 20;
    static constexpr uint32_t kSize = 0x1000;

    struct Source {
        uint32_t number;
        std::shared_ptr<SerialDevice> device;
    };
    InterruptController(Layout layout, std::vector<Source> sources)
        : layout_(layout), sources_(std::move(sources)) {}

    uint8_t read8(uint32_t offset) override {
        return static_cast<uint8_t>(read32(offset & ~3u) >> (8 * (offset & 3)));
    }
    void write8(uint32_t, uint8_t) override {}
    uint32_t read32(uint32_t offset) override;
    void write32(uint32_t offset, uint32_t value) override;

    uint32_t pending();
    // The unmasked sources pending; only those are asked.
    uint32_t requested();
    // An unmasked source pending: what wakes a processor that waits for an interrupt.
    bool interruptRequested() { return requested() != 0; }
    struct Lines {
        uint32_t irq; // ICIP
        uint32_t fiq; // ICFP
    };
    Lines lines() {
        uint32_t sources = requested();
        return {sources & ~level_, sources & level_};
    }
    // Whether an unmasked source has its interrupt enabled at the device.
    bool interruptEnabled();
    // ICMR, as the kernel last wrote it.
    const uint32_t* mask() const { return &mask_; }

  private:
    Layout layout_;
    std::vector<Source> sources_;
    uint32_t mask_ = 0;
    uint32_t level_ = 0;
};

} // namespace sim
