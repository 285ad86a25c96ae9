@ FlatJump_sa11x0(args_paddr, list_paddr, sp, code_paddr): leaves Windows CE
@ for the second stage copied to the physical page code_paddr. r0 to r2 are
@ handed on untouched. Never returns.

        .syntax unified
        .arm
        .text
        .align  2

        .global FlatJump_sa11x0
FlatJump_sa11x0:
        mrs     r4, cpsr
        orr     r4, r4, #0xC0           @ mask IRQ and FIQ
        msr     cpsr_fc, r4
        mov     r4, #0x2000             @ control: high vectors, bits 5 and 4;
        orr     r4, r4, #0x30           @ MMU, caches and write buffer off
        mov     r5, #0
        @ The next four instructions are already fetched when the MMU goes
        @ off, so nothing may be placed between them.
        mcr     p15, 0, r4, c1, c0, 0   @ MMU and caches off
        mcr     p15, 0, r5, c7, c7, 0   @ invalidate I and D caches
        mcr     p15, 0, r5, c8, c7, 0   @ invalidate I and D TLBs
        mov     pc, r3                  @ to the second stage
