/* A kernel that keeps drawing, as a running system does: bands of four
   colours that move along the lines of the frame buffer Windows CE's
   display controller scans, redrawn whole FRAMES times, then it halts. It
   finds the frame buffer in the controller (lcd_frame.h), at any depth: the
   bands are made of whole 32-bit words.
   Position independent like the probe: it runs at 0xC0200000 and at
   0xA0200000. */
#include "lcd_frame.h"

typedef unsigned int u32;

#ifndef FRAMES
#define FRAMES 240
#endif
#define STEP 4       /* pixels the bands move each frame */
#define BAND_SHIFT 6 /* bands 64 pixels wide */

#pragma GCC visibility push(hidden)
void kernel_main(u32 bootinfo);
#pragma GCC visibility pop

void kernel_main(u32 bootinfo) {
    /* In .data: the linker script gives the kernel a data segment. */
    static u32 colours[4]
        __attribute__((section(".data"))) = {0xF800F800u, 0x07E007E0u, 0x001F001Fu, 0xFFFFFFFFu};
    u32 cpu = *(volatile u32*)(bootinfo + 24);
    u32 machine = *(volatile u32*)(bootinfo + 28);
    struct lcd_frame f;
    lcd_frame_find(cpu, machine, &f);
    if (f.width == 0)
        return;
    u32 per_word = f.bpp == 16 ? 2 : f.bpp == 8 ? 4 : 8;
    u32 words = (u32)f.line_bytes >> 2;
    for (u32 frame = 0; frame < FRAMES; ++frame) {
        for (int y = 0; y < f.height; ++y) {
            volatile u32* line = (volatile u32*)(f.address + (u32)(y * f.line_bytes));
            for (u32 word = 0; word < words; ++word)
                line[word] = colours[((word * per_word + frame * STEP) >> BAND_SHIFT) & 3];
        }
    }
}
