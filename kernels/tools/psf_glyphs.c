/* Takes the printable ASCII glyphs (0x20 to 0x7E, in that order) out of an
   8-pixel-wide console font in PC Screen Font format 1 (gzipped, as the
   console fonts are installed) and writes their rows, one byte a row, the
   leftmost pixel in the top bit.
   Usage: psf_glyphs FONT.psf.gz OUT.bin */
#include <stdio.h>
#include <stdlib.h>
#include <zlib.h>

#define PSF1_MODE512 0x01
#define PSF1_HAS_TABLE 0x02
#define PSF1_SEPARATOR 0xFFFF
#define PSF1_SEQUENCE 0xFFFE

static unsigned char font[1 << 16];

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: psf_glyphs FONT.psf.gz OUT.bin\n");
        return 2;
    }
    gzFile in = gzopen(argv[1], "rb");
    int size = in != NULL ? gzread(in, font, sizeof font) : -1;
    if (in != NULL)
        gzclose(in);
    if (size < 4 || font[0] != 0x36 || font[1] != 0x04) {
        fprintf(stderr, "psf_glyphs: %s is not a PC Screen Font (version 1)\n", argv[1]);
        return 1;
    }
    int glyphs = (font[2] & PSF1_MODE512) ? 512 : 256;
    int height = font[3];
    if (height != 8) {
        fprintf(stderr, "psf_glyphs: %s has glyphs %d rows high, not 8\n", argv[1], height);
        return 1;
    }
    long table = 4 + (long)glyphs * height;
    if (!(font[2] & PSF1_HAS_TABLE) || table > size) {
        fprintf(stderr, "psf_glyphs: %s has no Unicode table\n", argv[1]);
        return 1;
    }
    /* Which glyph shows each code point below 0x80. */
    int glyph_of[128];
    for (int c = 0; c < 128; ++c)
        glyph_of[c] = -1;
    long at = table;
    for (int glyph = 0; glyph < glyphs && at + 1 < size; ++glyph) {
        int in_sequence = 0;
        for (; at + 1 < size; at += 2) {
            unsigned code = font[at] | (unsigned)font[at + 1] << 8;
            if (code == PSF1_SEPARATOR) {
                at += 2;
                break;
            }
            if (code == PSF1_SEQUENCE)
                in_sequence = 1;
            else if (!in_sequence && code < 128 && glyph_of[code] < 0)
                glyph_of[code] = glyph;
        }
    }
    FILE* out = fopen(argv[2], "wb");
    if (out == NULL) {
        perror(argv[2]);
        return 1;
    }
    for (int c = 0x20; c < 0x7F; ++c) {
        if (glyph_of[c] < 0) {
            fprintf(stderr, "psf_glyphs: %s has no glyph for '%c'\n", argv[1], c);
            fclose(out);
            remove(argv[2]);
            return 1;
        }
        fwrite(font + 4 + (long)glyph_of[c] * height, 1, (size_t)height, out);
    }
    return fclose(out) == 0 ? 0 : 1;
}
