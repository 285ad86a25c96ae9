@ Entry of the probe kernel: r0 = argc, r1 = argv, r2 = BootInfo, sp as the
@ second stage set it. Records the processor state before anything changes
@ it, reports, and halts with a branch to itself.

    .section .text.start, "ax"
    .arm
    .global _start
    .type _start, %function
_start:
    mov     r4, sp                  @ stack pointer at entry
    mrs     r5, cpsr
    mrc     p15, 0, r6, c1, c0, 0   @ control register
    adr     r7, _start              @ where the kernel runs
    ldr     r8, link_start          @ where it was linked
    sub     sp, sp, #32
    stmia   sp, {r4-r8}             @ struct probe_entry
    mov     r3, sp
    bl      probe_main
    .global probe_halt
probe_halt:
    b       probe_halt

link_start:
    .word   _start
    .size _start, . - _start
