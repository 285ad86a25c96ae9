/* A text segment and a data + bss segment at 0xC0200000, or at the address
   given with --defsym=kernel_base=ADDRESS; the bss follows the data without
   padding, so a data part that ends inside a word is directly followed by
   zero-initialised bytes. */
ENTRY(_start)

PHDRS
{
    text PT_LOAD;
    data PT_LOAD;
}

SECTIONS
{
    . = DEFINED(kernel_base) ? kernel_base : 0xC0200000;
    .text : { KEEP(*(.text.start)) *(.text .text.*) } :text
    . = ALIGN(0x1000);
    .data : { *(.data .data.*) } :data
    .bss : ALIGN(1) { *(.bss .bss.*) } :data
    /DISCARD/ : { *(.ARM.exidx*) *(.ARM.extab*) *(.note*) }
}
