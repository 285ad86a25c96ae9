/* A kernel that keeps drawing, as a running system does: bands of four
   colours that move along the lines of the frame buffer Windows CE's
   display controller scans, redrawn whole FRAMES times, then it halts. It
   finds the frame buffer in the controller (the HP Jornada 7XX: its video
   controller), at any depth: the bands are made of whole 32-bit words.
   Position independent like the probe: it runs at 0xC0200000 and at
   0xA0200000. */
typedef unsigned int u32;

#ifndef FRAMES
#define FRAMES 240
#endif
#define STEP 4       /* pixels the bands move each frame */
#define BAND_SHIFT 6 /* bands 64 pixels wide */

#pragma GCC visibility push(hidden)
void moving_bands(u32 bootinfo);
#pragma GCC visibility pop

#define SA_LCD 0xB0100000u
#define PXA_LCD 0x44000000u
#define VIDEO 0x48000000u
#define VIDEO_MEMORY 0x48200000u

struct frame {
    u32 address;
    int width;
    int height;
    int bpp;
    int line_bytes;
};

static u32 reg(u32 address) { return *(volatile u32*)address; }
static u32 reg8(u32 address) { return *(volatile unsigned char*)address; }
static u32 ram16(u32 address) { return *(volatile unsigned short*)address; }

static int pixel_size(u32 code, int four, int eight, int sixteen) {
    return code == (u32)four ? 4 : code == (u32)eight ? 8 : code == (u32)sixteen ? 16 : 0;
}

static void find_video(struct frame* f) {
    f->bpp = pixel_size(reg8(VIDEO + 0x040) & 7, 2, 3, 5);
    f->width = ((int)reg8(VIDEO + 0x032) + 1) * 8;
    f->height = (int)(reg8(VIDEO + 0x038) | (reg8(VIDEO + 0x039) & 3) << 8) + 1;
    f->line_bytes = (int)(reg8(VIDEO + 0x046) | (reg8(VIDEO + 0x047) & 7) << 8) * 2;
    f->address = VIDEO_MEMORY + 4 * (reg8(VIDEO + 0x042) | reg8(VIDEO + 0x043) << 8 | (reg8(VIDEO + 0x044) & 15) << 16);
}

static void find_pxa2x0(struct frame* f) {
    u32 lccr3 = reg(PXA_LCD + 0x00C);
    f->bpp = pixel_size(((lccr3 >> 24) & 7) | ((lccr3 >> 26) & 8), 2, 3, 4);
    f->width = (int)(reg(PXA_LCD + 0x004) & 0x3FF) + 1;
    f->height = (int)(reg(PXA_LCD + 0x008) & 0x3FF) + 1;
    f->line_bytes = f->width * f->bpp / 8;
    u32 descriptor = reg(PXA_LCD + 0x200);
    for (int step = 0; step < 4 && (reg(descriptor + 12) & (1u << 26)) != 0; ++step)
        descriptor = reg(descriptor); /* past a palette load */
    f->address = reg(descriptor + 4);
}

static void find_sa11x0(struct frame* f) {
    u32 lccr0 = reg(SA_LCD + 0x00);
    u32 dbar1 = reg(SA_LCD + 0x10);
    f->bpp = pixel_size((ram16(dbar1) >> 12) & 3, 0, 1, 2);
    f->width = (int)(reg(SA_LCD + 0x20) & 0x3FF) + 16;
    f->height = ((int)(reg(SA_LCD + 0x24) & 0x3FF) + 1) * ((lccr0 & 4) != 0 ? 2 : 1);
    f->line_bytes = f->width * f->bpp / 8;
    f->address = dbar1 + (f->bpp == 8 ? 512 : 32); /* past the palette */
}

void moving_bands(u32 bootinfo) {
    /* In .data: the linker script gives the kernel a data segment. */
    static u32 colours[4] __attribute__((section(".data"))) = {0xF800F800u, 0x07E007E0u, 0x001F001Fu, 0xFFFFFFFFu};
    u32 cpu = *(volatile u32*)(bootinfo + 24);
    u32 machine = *(volatile u32*)(bootinfo + 28);
    struct frame f;
    if ((machine & 0xFFFFFF00u) == 0x02C20200u)
        find_video(&f);
    else if ((cpu & 0xFFF00000u) == 0x0C200000u)
        find_pxa2x0(&f);
    else
        find_sa11x0(&f);
    if (f.bpp == 0)
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
