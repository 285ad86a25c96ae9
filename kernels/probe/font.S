@ The screen's font: the printable ASCII glyphs (0x20 to 0x7E) of an 8x8
@ console font, one byte a row, the leftmost pixel in the top bit
@ (kernels/tools/psf_glyphs.c takes them out of the installed font).

    .section .rodata
    .global probe_font
probe_font:
    .incbin "probe_font.bin"
    .size probe_font, . - probe_font
