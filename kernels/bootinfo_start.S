@ Entry of a test kernel written in C that takes BootInfo: r2 = BootInfo,
@ sp as the second stage set it. Calls kernel_main(bootinfo) and halts with a
@ branch to itself.
    .section .text.start, "ax"
    .arm
    .global _start
    .type _start, %function
_start:
    mov     r0, r2
    bl      kernel_main
1:  b       1b
    .size _start, . - _start
