// Where each machine's display keeps its picture, and in what shape. The HP
// Jornada 7XX video controller has its own memory at a fixed address;
// elsewhere the display driver takes RAM frames when the device starts, in
// the kernel's part of RAM at the bottom of the first bank, and the LCD
// controller reads them there. Those frames never belong to program memory
// or the object store.
#pragma once

#include "sim/device_profile.h"

#include <cstdint>

namespace sim {

struct DisplayMemory {
    uint32_t address;    // physical address of the first pixel line
    uint32_t line_bytes; // bytes from one pixel line to the next
    // The frame buffer as the controller scans it. The iPAQs' panels scan
    // 320x240 and Windows CE's display driver turns its 240x320 picture.
    int width;
    int height;
    int bits_per_pixel;
    // Memory set aside for the display, from `reserved_base` on. In RAM: one
    // frame for what the controller reads beside the pixels (the SA-11x0
    // palette, which ends where the pixel lines start; the PXA2x0 frame
    // descriptors and palette), then the pixel lines rounded up to whole
    // frames. The video controller's memory holds only the pixel lines.
    uint32_t reserved_base;
    uint32_t reserved_bytes;
    bool in_ram; // false: the video controller's own memory
};

DisplayMemory displayMemory(const DeviceProfile& profile);
// Whether the screen is an iPAQ's, which scans turned from what Windows CE shows.
bool scansTurned(const DeviceProfile& profile);

} // namespace sim
