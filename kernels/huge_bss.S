@ One word of data and 128 MB of zero-initialised memory: more than a 64 MB
@ machine has, so the loader must refuse it before it places anything.
    .section .data, "aw"
    .global huge_data
huge_data:
    .word 0x0B16B055

    .section .bss, "aw", %nobits
    .global huge_bss
huge_bss:
    .space 0x8000000
