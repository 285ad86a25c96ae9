/* Three loadable segments (text, read-only data, data + bss) at the physical
   addresses of SA-11x0 RAM; the PXA2x0 second stage maps the low 28 bits of
   every destination onto 0xA0000000. */
ENTRY(_start)

PHDRS
{
    text PT_LOAD;
    rodata PT_LOAD;
    data PT_LOAD;
}

SECTIONS
{
    . = 0xC0200000;
    .text : { KEEP(*(.text.start)) *(.text .text.*) } :text
    . = ALIGN(0x1000);
    .rodata : { *(.rodata .rodata.*) } :rodata
    . = ALIGN(0x1000);
    .data : { *(.data .data.*) } :data
    .bss : { *(.bss .bss.*) *(COMMON) } :data
    /DISCARD/ : { *(.ARM.exidx*) *(.ARM.extab*) *(.note*) }
}
