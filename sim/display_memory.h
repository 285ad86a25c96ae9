// Where each machine's display keeps its picture. The HP Jornada 7XX video
// controller has its own memory at a fixed address; elsewhere the display
// driver takes RAM frames when the device starts, in the kernel's part of RAM
// at the bottom of the first bank, and the LCD controller reads them there.
// Those frames never belong to program memory or the object store.
#pragma once

#include "sim/device_profile.h"

#include <cstdint>

namespace sim {

struct DisplayMemory {
    uint32_t address;    // physical address of the first pixel line
    uint32_t line_bytes; // bytes from one pixel line to the next
    // Bytes set aside from `address` on: the pixel lines, rounded up to whole
    // frames, and one frame more for what the controller reads beside them
    // (a palette, DMA descriptors).
    uint32_t reserved_bytes;
    bool in_ram; // false: the video controller's own memory
};

DisplayMemory displayMemory(const DeviceProfile& profile);

} // namespace sim
