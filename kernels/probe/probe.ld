/* The probe kernel: text and read-only data in one segment, data and bss in a
   second, linked at the SA-11x0 kernel address. The code is position
   independent, so it also runs where the PXA2x0 second stage puts it
   (0xA0200000). .probe_tail ends the data with a length that is not a
   multiple of 4, so the bss clearing starts in the middle of a word. */
ENTRY(_start)

PHDRS
{
    text PT_LOAD;
    data PT_LOAD;
}

SECTIONS
{
    . = 0xC0200000;
    .text : { KEEP(*(.text.start)) *(.text .text.*) } :text
    .rodata : { *(.rodata .rodata.*) } :text
    . = ALIGN(0x1000);
    .data : { *(.data .data.*) KEEP(*(.probe_tail)) } :data
    .bss : { *(.bss .bss.*) *(COMMON) } :data
    probe_end = .;
    .got : { *(.got .got.*) }
    /DISCARD/ : { *(.ARM.exidx*) *(.ARM.extab*) *(.note*) *(.comment) }
}
ASSERT(SIZEOF(.got) == 0, "the probe kernel must not need a GOT: it runs at two addresses")
