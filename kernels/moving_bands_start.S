@ Entry of the kernel that keeps drawing: r2 = BootInfo, sp as the second
@ stage set it. Draws its frames and halts with a branch to itself.
    .section .text.start, "ax"
    .arm
    .global _start
    .type _start, %function
_start:
    mov     r0, r2
    bl      moving_bands
1:  b       1b
    .size _start, . - _start
