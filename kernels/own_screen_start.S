@ Entry of the kernel with a screen of its own: r2 = BootInfo, sp as the
@ second stage set it. Paints and halts with a branch to itself.
    .section .text.start, "ax"
    .arm
    .global _start
    .type _start, %function
_start:
    mov     r0, r2
    bl      own_screen
1:  b       1b
    .size _start, . - _start
