@ A small file whose kernel reaches far: 29 MB of zero-initialised memory
@ after one word of data, so that its final place covers most of the lower
@ half of a 64 MB machine's RAM.
    .section .data, "aw"
    .global big_data
big_data:
    .word 0x0B16B055

    .section .bss, "aw", %nobits
    .global big_bss
big_bss:
    .space 0x1D00000
