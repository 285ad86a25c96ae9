#include "lcd_frame.h"

typedef unsigned int u32;

#define SA_LCD 0xB0100000u
#define PXA_LCD 0x44000000u
#define S1D13806 0x48000000u /* the HP Jornada 7XX video controller */
#define S1D13806_MEMORY 0x48200000u
#define JORNADA_7XX 0x02C20200u
#define PXA2X0_CPU 0x0C200000u

/* RAM is read a byte at a time: a descriptor or palette may lie anywhere. */
static u32 peek8(u32 address) {
    return *(const volatile unsigned char*)address;
}
static u32 peek16(u32 address) {
    return peek8(address) | (peek8(address + 1) << 8);
}
static u32 peek32(u32 address) {
    return peek16(address) | (peek16(address + 2) << 16);
}
/* A device register, read as the word or byte it is. */
static u32 register32(u32 address) {
    return *(const volatile u32*)address;
}
static u32 register8(u32 address) {
    return *(const volatile unsigned char*)address;
}

static int pixel_size(u32 code, u32 four, u32 eight, u32 sixteen) {
    return code == four ? 4 : code == eight ? 8 : code == sixteen ? 16 : 0;
}

static void read_sa11x0(struct lcd_frame* f) {
    u32 lccr0 = register32(SA_LCD + 0x00);
    if ((lccr0 & 1) == 0)
        return;
    u32 dbar1 = register32(SA_LCD + 0x10);
    /* The palette's first entry tells the pixel size. */
    f->bpp = pixel_size((peek16(dbar1) >> 12) & 3, 0, 1, 2);
    f->width = (int)(register32(SA_LCD + 0x20) & 0x3FF) + 16;
    f->height = ((int)(register32(SA_LCD + 0x24) & 0x3FF) + 1) * ((lccr0 & 4) != 0 ? 2 : 1);
    f->line_bytes = f->width * f->bpp / 8;
    f->address = dbar1 + (f->bpp == 8 ? 512 : 32); /* past the palette */
    if ((lccr0 & 4) != 0)
        f->lower_half = register32(SA_LCD + 0x18);
}

static void read_pxa2x0(struct lcd_frame* f) {
    if ((register32(PXA_LCD + 0x000) & 1) == 0)
        return;
    u32 lccr3 = register32(PXA_LCD + 0x00C);
    f->bpp = pixel_size(((lccr3 >> 24) & 7) | ((lccr3 >> 26) & 8), 2, 3, 4);
    f->width = (int)(register32(PXA_LCD + 0x004) & 0x3FF) + 1;
    f->height = (int)(register32(PXA_LCD + 0x008) & 0x3FF) + 1;
    f->line_bytes = f->width * f->bpp / 8;
    /* Channel 0's descriptors {next, source, id, command}: past a palette load to the frame. */
    u32 descriptor = register32(PXA_LCD + 0x200);
    for (int step = 0; step < 4; ++step) {
        if ((peek32(descriptor + 12) & (1u << 26)) == 0) {
            f->address = peek32(descriptor + 4);
            return;
        }
        descriptor = peek32(descriptor);
    }
    f->width = 0;
}

static void read_s1d13806(struct lcd_frame* f) {
    if ((register8(S1D13806 + 0x1FC) & 7) == 0) /* no display */
        return;
    f->bpp = pixel_size(register8(S1D13806 + 0x040) & 7, 2, 3, 5);
    f->width = ((int)register8(S1D13806 + 0x032) + 1) * 8;
    f->height = (int)(register8(S1D13806 + 0x038) | (register8(S1D13806 + 0x039) & 3) << 8) + 1;
    f->line_bytes = (int)(register8(S1D13806 + 0x046) | (register8(S1D13806 + 0x047) & 7) << 8) * 2;
    f->address = S1D13806_MEMORY + 4 * (register8(S1D13806 + 0x042) | register8(S1D13806 + 0x043) << 8 |
                                        (register8(S1D13806 + 0x044) & 15) << 16);
}

const char* lcd_frame_find(unsigned int cpu, unsigned int machine, struct lcd_frame* f) {
    const char* name;
    f->address = f->lower_half = 0;
    f->width = f->height = f->bpp = f->line_bytes = 0;
    if ((machine & 0xFFFFFF00u) == JORNADA_7XX) {
        name = "video controller";
        read_s1d13806(f);
    } else if ((cpu & 0xFFF00000u) == PXA2X0_CPU) {
        name = "pxa2x0 lcd controller";
        read_pxa2x0(f);
    } else {
        name = "sa11x0 lcd controller";
        read_sa11x0(f);
    }
    if (f->bpp == 0)
        f->width = 0;
    return name;
}
