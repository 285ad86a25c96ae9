/* The "three segments" contents in two loadable segments whose second one
   lies at the lower physical address: the symbol block follows the segment
   loaded last, not the highest one. */
ENTRY(_start)

PHDRS
{
    text PT_LOAD;
    data PT_LOAD;
}

SECTIONS
{
    .text 0xC0300000 : { KEEP(*(.text.start)) *(.text .text.*) *(.rodata .rodata.*) } :text
    .data 0xC0200000 : { *(.data .data.*) } :data
    .bss : { *(.bss .bss.*) *(COMMON) } :data
    /DISCARD/ : { *(.ARM.exidx*) *(.ARM.extab*) *(.note*) }
}
