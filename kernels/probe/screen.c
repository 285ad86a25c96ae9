/* The probe kernel's screen: where the frame buffer is, as BootInfo says or,
   when its address is 0, as the LCD controller Windows CE left running says;
   the report drawn in an 8x8 font, white on black (the reverse with reverse
   video), and a large PASS or FAIL at the bottom. */
#include "probe.h"

#include "../lcd_frame.h"

#define GLYPH 8
#define VERDICT_SCALE 4
/* The band at the bottom that holds the verdict. */
#define VERDICT_BAND (GLYPH * VERDICT_SCALE + 8)

#pragma GCC visibility push(hidden)
extern const u8 probe_font[95 * GLYPH];
#pragma GCC visibility pop

struct screen {
    struct lcd_frame bootinfo;   /* as BootInfo describes it; bpp 0 when its type names none */
    struct lcd_frame controller; /* as the controller scans it; width 0 when it is off */
    const char* controller_name;
    int reverse;
    int found;   /* a frame to draw on */
    int drawing; /* report lines go there */
    struct lcd_frame frame;
    u32 foreground;
    u32 background;
    int columns;
    int rows;
    int column;
    int row;
};

static struct screen screen PROBE_STATE = {0};

/* ---- the controllers, as Windows CE left them ---- */

/* BootInfo's framebuffer type: the pixel size, and whether video is reversed. */
static int type_pixel_size(u32 type) {
    return type == 10 || type == 8 ? 4 : type == 3 || type == 4 ? 8 : type == 5 || type == 6 ? 16 : 0;
}

static int type_reversed(u32 type) {
    return type == 8 || type == 4 || type == 6 || type == 0;
}

void screen_find(u32 bootinfo) {
    u32 cpu = 0, machine = 0;
    if (bootinfo != 0 && peek32(bootinfo + 4) == BOOTINFO_MAGIC) {
        struct lcd_frame* b = &screen.bootinfo;
        b->address = peek32(bootinfo + 8);
        b->line_bytes = (short)peek16(bootinfo + 12);
        b->width = (short)peek16(bootinfo + 14);
        b->height = (short)peek16(bootinfo + 16);
        b->bpp = type_pixel_size(peek16(bootinfo + 18));
        screen.reverse = type_reversed(peek16(bootinfo + 18));
        cpu = peek32(bootinfo + 24);
        machine = peek32(bootinfo + 28);
    }
    struct lcd_frame* c = &screen.controller;
    screen.controller_name = lcd_frame_find(cpu, machine, c);
    /* A dual panel's lower half must follow the upper one for one frame buffer. */
    if (c->width != 0 && c->lower_half != 0 &&
        c->lower_half != c->address + (u32)(c->height / 2 * c->line_bytes))
        fail_at("lcd panel halves are not one frame buffer: dbar2", c->lower_half);

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

static u32 line_address(int y) {
    return screen.frame.address + (u32)(y * screen.frame.line_bytes);
}

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
    if (c == '\b') {
        if (screen.column > 0)
            --screen.column;
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

static void put_frame(const struct lcd_frame* f) {
    put_dec(f->width);
    put("x");
    put_dec(f->height);
    put(" ");
    put_dec(f->bpp);
    put(" bpp linebytes ");
    put_dec(f->line_bytes);
}

void screen_report(void) {
    const struct lcd_frame* b = &screen.bootinfo;
    const struct lcd_frame* c = &screen.controller;
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
        int turned = b->line_bytes == 0 && b->address == 0 && b->width == c->height &&
                     b->height == c->width && b->width != b->height;
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
