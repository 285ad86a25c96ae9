@ A data segment of 4083 bytes (not a whole number of words; a page of the
@ page list holds 4080, so its last 3 bytes get a page of their own) directly
@ followed by zero-initialised bytes. Byte i of tail_data is
@ ((i * 7 + 0x5B) & 0xFF) | 1, never 0.
    .section .data, "aw"
    .global tail_data
    .type tail_data, %object
tail_data:
    .set i, 0
    .rept 4083
    .byte ((i * 7 + 0x5B) & 0xFF) | 1
    .set i, i + 1
    .endr
    .size tail_data, . - tail_data

    .section .bss, "aw", %nobits
    .global tail_bss
    .type tail_bss, %object
tail_bss:
    .space 0x105
    .size tail_bss, . - tail_bss
