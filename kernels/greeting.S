@ A kernel that is not the probe: it greets on the board's UART and then stops
@ for good. How it stops is chosen when it is built:
@   (default)         a branch to itself;
@   -DIDLE            a wait-for-interrupt loop with interrupts masked;
@   -DSPIN            it never stops: a loop that counts forever;
@   -DEXIT            a semihosting exit (SYS_EXIT, application exit).
@ Position independent: the SA-11x0 second stage runs it at 0xC0200000, the
@ PXA2x0 one at 0xA0200000, and that address tells which UART the board has.
    .syntax unified
    .section .text.start, "ax"
    .arm
    .global _start
    .type _start, %function
_start:
    adr     r0, _start
    and     r0, r0, #0xF0000000
    cmp     r0, #0xA0000000
    moveq   r8, #1
    ldreq   r4, =0x40100000         @ PXA2x0 full-function UART
    movne   r8, #0
    ldrne   r4, =0x80050000         @ SA-11x0 serial port 3
    adr     r5, greeting_offset     @ the text in the data segment, found PC-relative
    ldr     r0, greeting_offset
    add     r5, r5, r0
1:  ldrb    r6, [r5], #1
    cmp     r6, #0
    beq     stop
    cmp     r6, #'\n'
    moveq   r6, #'\r'
    bleq    put_char
    ldrb    r6, [r5, #-1]
    bl      put_char
    b       1b

@ Sends the byte in r6 on the UART at r4 (r8 nonzero: a PXA2x0 UART).
put_char:
    cmp     r8, #0
    bne     2f
1:  ldr     r7, [r4, #0x20]         @ UTSR1: transmit FIFO not full
    tst     r7, #0x04
    beq     1b
    str     r6, [r4, #0x14]         @ UTDR
    mov     pc, lr
2:  ldr     r7, [r4, #0x14]         @ LSR: transmit data request
    tst     r7, #0x20
    beq     2b
    str     r6, [r4]                @ THR
    mov     pc, lr

stop:
#if defined(IDLE)
    mrs     r0, cpsr
    orr     r0, r0, #0xC0           @ IRQ and FIQ masked
    msr     cpsr_c, r0
1:  mcr     p15, 0, r0, c7, c0, 4   @ wait for interrupt
    b       1b
#elif defined(SPIN)
    mov     r0, #0
1:  add     r0, r0, #1
    b       1b
#elif defined(EXIT)
    mov     r0, #0x18               @ SYS_EXIT
    ldr     r1, =0x20026            @ ADP_Stopped_ApplicationExit
    svc     0x123456
    b       stop
#else
    b       stop
#endif

    .ltorg
greeting_offset:
    .word   greeting - .
    .size _start, . - _start

    .section .data, "aw"
greeting:
    .asciz  "Hello from a kernel of its own.\nIt stops here.\n"
