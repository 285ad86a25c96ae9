/* A kernel with a screen of its own, as a user's kernel has: it ignores
   BootInfo's frame buffer, takes the display controller Windows CE left
   running, points it at a frame buffer in its own memory and paints four
   bands from the top: red, green, blue, white (16 bits a pixel). The HP
   Jornada 7XX's video controller keeps its own memory: there the kernel
   paints further into it and moves the controller's start address.
   Position independent like the probe: it runs at 0xC0200000 and at
   0xA0200000. */
typedef unsigned int u32;
typedef unsigned short u16;

#pragma GCC visibility push(hidden)
void kernel_main(u32 bootinfo);
#pragma GCC visibility pop

#define SA_LCD 0xB0100000u
#define PXA_LCD 0x44000000u
#define VIDEO 0x48000000u
#define VIDEO_MEMORY 0x48200000u
#define PAINTED_AT 0x60000u /* in the video memory, past Windows CE's picture */

/* Palette (SA-11x0: 16 entries, 16 bits a pixel) or descriptor (PXA2x0),
   then the largest screen's pixels. */
static u32 frame[32 + 480 * 800 / 2] __attribute__((aligned(16)));

static volatile u32* reg(u32 address) { return (volatile u32*)address; }
static volatile unsigned char* reg8(u32 address) { return (volatile unsigned char*)address; }

static void paint(u32 pixels, int width, int height, int line_bytes) {
    static const u16 bands[4] = {0xF800, 0x07E0, 0x001F, 0xFFFF};
    int band_height = height / 4;
    for (int y = 0; y < height; ++y) {
        int band = 0;
        for (int from = band_height; band < 3 && y >= from; from += band_height)
            ++band;
        volatile u16* line = (volatile u16*)(pixels + (u32)(y * line_bytes));
        for (int x = 0; x < width; ++x)
            line[x] = bands[band];
    }
}

void kernel_main(u32 bootinfo) {
    u32 cpu = *(volatile u32*)(bootinfo + 24);
    u32 machine = *(volatile u32*)(bootinfo + 28);
    u32 own = (u32)frame;
    if ((machine & 0xFFFFFF00u) == 0x02C20200u) {
        int width = (*reg8(VIDEO + 0x032) + 1) * 8;
        int height = (*reg8(VIDEO + 0x038) | (*reg8(VIDEO + 0x039) & 3) << 8) + 1;
        paint(VIDEO_MEMORY + PAINTED_AT, width, height, width * 2);
        u32 start = PAINTED_AT / 4; /* in 32-bit words */
        *reg8(VIDEO + 0x042) = (unsigned char)start;
        *reg8(VIDEO + 0x043) = (unsigned char)(start >> 8);
        *reg8(VIDEO + 0x044) = (unsigned char)(start >> 16);
    } else if ((cpu & 0xFFF00000u) == 0x0C200000u) {
        int width = (int)(*reg(PXA_LCD + 0x004) & 0x3FF) + 1;
        int height = (int)(*reg(PXA_LCD + 0x008) & 0x3FF) + 1;
        u32 pixels = own + 16;
        paint(pixels, width, height, width * 2);
        /* The descriptor {next, source, id, command} leads to itself. */
        frame[0] = own;
        frame[1] = pixels;
        frame[2] = 0;
        frame[3] = (u32)(width * height * 2);
        u32 lccr0 = *reg(PXA_LCD);
        *reg(PXA_LCD) = lccr0 & ~1u; /* a new descriptor is taken while the controller is off */
        *reg(PXA_LCD + 0x200) = own;
        *reg(PXA_LCD) = lccr0;
    } else {
        int width = (int)(*reg(SA_LCD + 0x20) & 0x3FF) + 16;
        int height = (int)(*reg(SA_LCD + 0x24) & 0x3FF) + 1;
        u32 pixels = own + 32;
        paint(pixels, width, height, width * 2);
        volatile u16* palette = (volatile u16*)own;
        palette[0] = 0x2000; /* 16 bits a pixel */
        u32 lccr0 = *reg(SA_LCD);
        *reg(SA_LCD) = lccr0 & ~1u;
        *reg(SA_LCD + 0x10) = own;
        *reg(SA_LCD) = lccr0;
    }
}
