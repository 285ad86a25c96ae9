// The framebuffer the kernel is told about: a row of the built-in table for
// the machine, or the display's own geometry when the machine has none.
#pragma once

#include "boot/platform_table.h"

#include <cstdint>

struct FrameBufferDescription {
    uint32_t cpu;
    uint32_t machine;
    uint32_t bpp;
    uint32_t width;
    uint32_t height;
    uint32_t line_bytes;
    uint32_t addr;
};

// Ends with a row whose `cpu` is 0.
extern const FrameBufferDescription fb_table[];

class FrameBufferInfo {
  public:
    // Chooses the description for `platform` and the display's colour depth.
    explicit FrameBufferInfo(PlatformId platform);

    // The framebuffer type code for the kernel.
    int fbType(bool reverse_video) const { return fbTypeOf(description_.bpp, reverse_video); }
    static int fbTypeOf(uint32_t bpp, bool reverse_video);

    uint32_t addr() const { return description_.addr; }
    uint32_t lineBytes() const { return description_.line_bytes; }
    uint32_t width() const { return description_.width; }
    uint32_t height() const { return description_.height; }
    uint32_t bpp() const { return description_.bpp; }

  private:
    FrameBufferDescription description_;
};
