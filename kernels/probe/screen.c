/* The probe kernel's screen: where the frame buffer is, as BootInfo says or,
   when its address is 0, as the LCD controller Windows CE left running says;
   the report drawn in an 8x8 font, white on black (the reverse with reverse
   video), and a large PASS or FAIL at the bottom. */
#include "probe.h"

#define SA_LCD 0xB0100000u
#define PXA_LCD 0x44000000u
#define S1D13806 0x48000000u /* the HP Jornada 7XX video controller */
#define S1D13806_MEMORY 0x48200000u
#define JORNADA_7XX 0x02C20200u

#define GLYPH 8
#define VERDICT_SCALE 4
/* The band at the bottom that holds the verdict. */
#define VERDICT_BAND (GLYPH * VERDICT_SCALE + 8)

#pragma GCC visibility push(hidden)
extern const u8 probe_font[95 * GLYPH];
#pragma GCC visibility pop

struct frame {
    u32 address;
    int width;
    int height;
    int bpp;
    int line_bytes;
};

struct screen {
    struct frame bootinfo;   /* as BootInfo describes it; bpp 0 when its type names none */
    struct frame controller; /* as the controller scans it; width 0 when it is off */
    const char* controller_name;
    int reverse;
    int found;    /* a frame to draw on */
    int drawing;  /* report lines go there */
    struct frame frame;
    u32 foreground;
    u32 background;
    int columns;
    int rows;
    int column;
    int row;
};

static struct screen screen PROBE_STATE = {0};

/* ---- the controllers, as Windows CE left them ---- */

static int sa11x0_pixel_size(u32 palette) {
    u32 code = (peek16(palette) >> 12) & 3; /* the first palette entry tells it */
    return code == 0 ? 4 : code == 1 ? 8 : code == 2 ? 16 : 0;
}

static void read_sa11x0(struct frame* f) {
    u32 lccr0 = register32(SA_LCD + 0x00);
    if ((lccr0 & 1) == 0)
        return;
    u32 dbar1 = register32(SA_LCD + 0x10);
    int dual = (lccr0 & 4) != 0;
    f->bpp = sa11x0_pixel_size(dbar1);
    f->width = (int)(register32(SA_LCD + 0x20) & 0x3FF) + 16;
    f->height = ((int)(register32(SA_LCD + 0x24) & 0x3FF) + 1) * (dual ? 2 : 1);
    f->line_bytes = f->width * f->bpp / 8;
    f->address = dbar1 + (f->bpp == 8 ? 512 : 32); /* past the palette */
    /* A dual panel's lower half must follow the upper one for one frame buffer. */
    u32 dbar2 = register32(SA_LCD + 0x18);
    if (dual && dbar2 != f->address + (u32)(f->height / 2 * f->line_bytes))
        fail_at("lcd panel halves are not one frame buffer: dbar2", dbar2);
}

static void read_pxa2x0(struct frame* f) {
    if ((register32(PXA_LCD + 0x000) & 1) == 0)
        return;
    u32 lccr3 = register32(PXA_LCD + 0x00C);
    u32 code = ((lccr3 >> 24) & 7) | ((lccr3 >> 26) & 8);
    f->bpp = code == 2 ? 4 : code == 3 ? 8 : code == 4 ? 16 : 0;
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

static void read_s1d13806(struct frame* f) {
    if ((register8(S1D13806 + 0x1FC) & 7) == 0) /* no display */
        return;
    u32 code = register8(S1D13806 + 0x040) & 7;
    f->bpp = code == 2 ? 4 : code == 3 ? 8 : code == 5 ? 16 : 0;
    f->width = ((int)register8(S1D13806 + 0x032) + 1) * 8;
    f->height = (int)(register8(S1D13806 + 0x038) | (register8(S1D13806 + 0x039) & 3) << 8) + 1;
    f->line_bytes = (int)(register8(S1D13806 + 0x046) | (register8(S1D13806 + 0x047) & 7) << 8) * 2;
    f->address = S1D13806_MEMORY +
                 4 * (register8(S1D13806 + 0x042) | register8(S1D13806 + 0x043) << 8 |
                      (register8(S1D13806 + 0x044) & 15) << 16);
}

/* BootInfo's framebuffer type: the pixel size, and whether video is reversed. */
static int type_pixel_size(u32 type) {
    return type == 10 || type == 8 ? 4 : type == 3 || type == 4 ? 8 : type == 5 || type == 6 ? 16 : 0;
}

static int type_reversed(u32 type) { return type == 8 || type == 4 || type == 6 || type == 0; }

void screen_find(u32 bootinfo) {
    u32 cpu = 0, machine = 0;
    if (bootinfo != 0 && peek32(bootinfo + 4) == BOOTINFO_MAGIC) {
        struct frame* b = &screen.bootinfo;
        b->address = peek32(bootinfo + 8);
        b->line_bytes = (short)peek16(bootinfo + 12);
        b->width = (short)peek16(bootinfo + 14);
        b->height = (short)peek16(bootinfo + 16);
        b->bpp = type_pixel_size(peek16(bootinfo + 18));
        screen.reverse = type_reversed(peek16(bootinfo + 18));
        cpu = peek32(bootinfo + 24);
        machine = peek32(bootinfo + 28);
    }
    struct frame* c = &screen.controller;
    if ((machine & 0xFFFFFF00u) == JORNADA_7XX) {
        screen.controller_name = "video controller";
        read_s1d13806(c);
    } else if ((cpu & 0xFFF00000u) == 0x0C200000u) {
        screen.controller_name = "pxa2x0 lcd controller";
        read_pxa2x0(c);
    } else {
        screen.controller_name = "sa11x0 lcd controller";
        read_sa11x0(c);
    }
    if (c->bpp == 0)
        c->width = 0;

    /* The controller's geometry is what the panel shows; BootInfo's is what a kernel is told. */
    if (c->width != 0) {
        screen.frame = *c;
        if (screen.bootinfo.address != 0)
            screen.frame.address = screen.bootinfo.address;
        screen.found = 1;
    } else if (screen.bootinfo.address != 0 && screen.bootinfo.bpp != 0 && screen.bootinfo.width > 0 &&
               screen.bootinfo.height > 0) {
        screen.frame = screen.bootinfo;
        if (screen.frame.line_bytes <= 0)
            screen.frame.line_bytes = screen.frame.width * screen.frame.bpp / 8;
        screen.found = 1;
    }
}

/* ---- pixels ---- */

static u32 line_address(int y) { return screen.frame.address + (u32)(y * screen.frame.line_bytes); }

static void set_pixel(int x, int y, u32 value) {
    u32 line = line_address(y);
    switch (screen.frame.bpp) {
    case 16:
        *(volatile u16*)(line + 2 * (u32)x) = (u16)value;
        break;
    case 8:
        *(volatile u8*)(line + (u32)x) = (u8)value;
        break;
    default: { /* 4: the leftmost pixel in the low bits of its byte */
        volatile u8* byte = (volatile u8*)(line + (u32)x / 2);
        int shift = (x & 1) * 4;
        *byte = (u8)((*byte & ~(0xF << shift)) | (value & 0xF) << shift);
    }
    }
}

/* Lines [first, first + count) in the background; every pixel byte of the
   two colours is 0x00 or 0xFF. */
static void clear_lines(int first, int count) {
    u32 fill = screen.background != 0 ? 0xFFFFFFFFu : 0;
    for (int y = first; y < first + count; ++y) {
        u32 line = line_address(y);
        u32 end = line + (u32)screen.frame.line_bytes;
        for (; line < end && (line & 3) != 0; ++line)
            *(volatile u8*)line = (u8)fill;
        for (; line + 4 <= end; line += 4)
            *(volatile u32*)line = fill;
        for (; line < end; ++line)
            *(volatile u8*)line = (u8)fill;
    }
}

static void copy_line(int to, int from) {
    u32 target = line_address(to), source = line_address(from);
    u32 bytes = (u32)screen.frame.line_bytes;
    if (((target | source | bytes) & 3) == 0) {
        for (u32 i = 0; i < bytes; i += 4)
            *(volatile u32*)(target + i) = *(volatile u32*)(source + i);
    } else {
        for (u32 i = 0; i < bytes; ++i)
            *(volatile u8*)(target + i) = *(volatile u8*)(source + i);
    }
}

/* A glyph with its pixels `scale` times as large, its top left at (x, y). */
static void draw_glyph(char c, int x, int y, int scale) {
    if (c < 0x20 || c > 0x7E)
        c = '?';
    const u8* rows = &probe_font[(c - 0x20) * GLYPH];
    for (int r = 0; r < GLYPH; ++r) {
        for (int column = 0; column < GLYPH; ++column) {
            u32 value = (rows[r] & (0x80u >> column)) != 0 ? screen.foreground : screen.background;
            for (int dy = 0; dy < scale; ++dy) {
                for (int dx = 0; dx < scale; ++dx)
                    set_pixel(x + column * scale + dx, y + r * scale + dy, value);
            }
        }
    }
}

/* ---- the report on the screen ---- */

void screen_start(void) {
    if (!screen.found)
        return;
    u32 all = (1u << screen.frame.bpp) - 1;
    screen.foreground = screen.reverse ? 0 : all;
    screen.background = screen.reverse ? all : 0;
    screen.columns = screen.frame.width / GLYPH;
    screen.rows = (screen.frame.height - VERDICT_BAND) / GLYPH;
    if (screen.columns < 1 || screen.rows < 1)
        return;
    clear_lines(0, screen.frame.height);
    screen.drawing = 1;
}

static void scroll(void) {
    for (int y = 0; y < (screen.rows - 1) * GLYPH; ++y)
        copy_line(y, y + GLYPH);
    clear_lines((screen.rows - 1) * GLYPH, GLYPH);
    --screen.row;
}

void screen_char(char c) {
    if (!screen.drawing || c == '\r')
        return;
    if (c == '\n') {
        screen.column = 0;
        ++screen.row;
        return;
    }
    if (screen.column == screen.columns) {
        screen.column = 0;
        ++screen.row;
    }
    if (screen.row == screen.rows)
        scroll();
    draw_glyph(c, screen.column * GLYPH, screen.row * GLYPH, 1);
    ++screen.column;
}

void screen_verdict(int pass) {
    if (!screen.drawing)
        return;
    const char* word = pass ? "PASS" : "FAIL";
    int size = GLYPH * VERDICT_SCALE;
    int x = (screen.frame.width - 4 * size) / 2;
    int y = screen.frame.height - size - 4;
    for (int i = 0; i < 4; ++i)
        draw_glyph(word[i], x + i * size, y, VERDICT_SCALE);
}

static void put_frame(const struct frame* f) {
    put_dec(f->width);
    put("x");
    put_dec(f->height);
    put(" ");
    put_dec(f->bpp);
    put(" bpp linebytes ");
    put_dec(f->line_bytes);
}

void screen_report(void) {
    const struct frame* b = &screen.bootinfo;
    const struct frame* c = &screen.controller;
    put("PROBE: ");
    put(screen.controller_name);
    if (c->width == 0) {
        put(" off\n");
    } else {
        put(" ");
        put_frame(c);
        put(" at ");
        put_hex(c->address);
        put("\n");
        /* A description of the display itself (line bytes and address 0)
           may name the picture turned from how the panel scans it. */
        int turned = b->line_bytes == 0 && b->address == 0 && b->width == c->height && b->height == c->width &&
                     b->width != b->height;
        if (turned)
            put("PROBE: screen turned: bootinfo names the display, the controller scans it across\n");
        else if (b->width != c->width || b->height != c->height)
            fail_at("bootinfo screen size differs from the controller's: width", (u32)b->width);
        if (b->bpp != 0 && b->bpp != c->bpp)
            fail_at("bootinfo bits per pixel differ from the controller's:", (u32)b->bpp);
        if (b->line_bytes != 0 && b->line_bytes != c->line_bytes)
            fail_at("bootinfo line bytes differ from the controller's:", (u32)b->line_bytes);
        if (b->address != 0 && b->address != c->address)
            fail_at("bootinfo screen address differs from the controller's:", b->address);
    }
    if (!screen.found) {
        put("PROBE: screen none: bootinfo gives no address and the controller is off\n");
        return;
    }
    put("PROBE: screen ");
    put_hex(screen.frame.address);
    put(" ");
    put_frame(&screen.frame);
    put(b->address != 0 ? " from bootinfo" : " from the controller");
    put(screen.reverse ? ", black on white\n" : ", white on black\n");
}
