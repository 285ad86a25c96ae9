@ CPU routines of the ARM part: short ARM-state sequences without stack use,
@ each returning to its caller with "mov pc, lr" (the StrongARM has no BX).
@ All but GetCPSR need a privileged mode.

        .syntax unified
        .arm
        .text
        .align  2

@ Sets the I and F bits (0xC0) in the CPSR control field.
        .global DisableInterrupts
DisableInterrupts:
        mrs     r0, cpsr
        orr     r0, r0, #0xC0
        msr     cpsr_c, r0
        mov     pc, lr

@ Clears the I and F bits (0xC0) in the CPSR control field.
        .global EnableInterrupts
EnableInterrupts:
        mrs     r0, cpsr
        bic     r0, r0, #0xC0
        msr     cpsr_c, r0
        mov     pc, lr

        .global GetCPSR
GetCPSR:
        mrs     r0, cpsr
        mov     pc, lr

@ One reader per coprocessor 15 register.
        .macro  read_cp15 crn
        .global ReadCP15_\crn
ReadCP15_\crn:
        mrc     p15, 0, r0, \crn, c0, 0
        mov     pc, lr
        .endm

        read_cp15 c0            @ ID
        read_cp15 c1            @ control
        read_cp15 c2            @ translation table base
        read_cp15 c3            @ domain access control
        read_cp15 c5            @ fault status
        read_cp15 c6            @ fault address
        read_cp15 c13           @ process ID
        read_cp15 c14

@ Pushes every dirty line out of the data cache by loading one word from
@ every 32-byte line of dcache_flush_area over dcache_size bytes.
        .global CleanDCache
CleanDCache:
        ldr     r0, CleanDCache_area
        ldr     r1, CleanDCache_size
        ldr     r1, [r1]
        add     r1, r0, r1
1:      cmp     r0, r1
        ldrlo   r2, [r0], #32
        blo     1b
        mov     pc, lr

@ Addresses filled in when the routines are linked into the program.
CleanDCache_area:
        .word   dcache_flush_area
CleanDCache_size:
        .word   dcache_size
