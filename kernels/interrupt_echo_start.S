@ Entry and exception entries of the interrupt-driven echo kernel
@ (interrupt_echo.c): r0 = argc, r1 = argv, sp as the second stage set it.
@ The IRQ and FIQ modes get stacks of their own; the kernel runs in System
@ mode and halts with a branch to itself.
    .syntax unified
    .section .text.start, "ax"
    .arm
    .global _start
    .type _start, %function
_start:
    mov     r4, r0
    adr     r2, irq_stack_top_offset @ the stacks in the bss, found PC-relative
    ldr     r3, irq_stack_top_offset
    add     r2, r2, r3
    msr     cpsr_c, #0xD2           @ IRQ mode, IRQ and FIQ masked
    mov     sp, r2
    adr     r2, fiq_stack_top_offset
    ldr     r3, fiq_stack_top_offset
    add     r2, r2, r3
    msr     cpsr_c, #0xD1           @ FIQ mode
    mov     sp, r2
    msr     cpsr_c, #0xDF           @ back to System mode, its stack as it was
    mov     r0, r4
    adr     r2, _start              @ where the kernel runs tells the board
    bl      echo_main
    .global echo_halt
echo_halt:
    b       echo_halt

irq_stack_top_offset:
    .word   irq_stack + 1024 - irq_stack_top_offset
fiq_stack_top_offset:
    .word   fiq_stack + 1024 - fiq_stack_top_offset
    .size _start, . - _start

@ An interrupt: the handler in C, then back where the processor was.
    .global echo_irq_entry
    .type echo_irq_entry, %function
echo_irq_entry:
    sub     lr, lr, #4              @ the instruction the interrupt came before
    stmfd   sp!, {r0-r3, r12, lr}
    mrs     r0, cpsr
    mrs     r1, spsr
    mov     r2, lr
    bl      echo_interrupt
    ldmfd   sp!, {r0-r3, r12, pc}^  @ restores the CPSR from the SPSR
    .size echo_irq_entry, . - echo_irq_entry

    .global echo_fiq_entry
    .type echo_fiq_entry, %function
echo_fiq_entry:
    sub     lr, lr, #4
    stmfd   sp!, {r0-r3, r12, lr}
    mrs     r0, cpsr
    mrs     r1, spsr
    mov     r2, lr
    bl      echo_interrupt
    ldmfd   sp!, {r0-r3, r12, pc}^
    .size echo_fiq_entry, . - echo_fiq_entry

@ Any other exception: its vector offset in r0, the return address in r1.
    .macro unexpected name, offset
    .global \name
    .type \name, %function
\name:
    mov     r0, #\offset
    mov     r1, lr
    b       echo_unexpected
    .size \name, . - \name
    .endm
    unexpected echo_reset_entry, 0x00
    unexpected echo_undefined_entry, 0x04
    unexpected echo_swi_entry, 0x08
    unexpected echo_prefetch_abort_entry, 0x0C
    unexpected echo_data_abort_entry, 0x10
    unexpected echo_reserved_entry, 0x14

    .section .bss
    .balign 8
irq_stack:
    .space  1024
fiq_stack:
    .space  1024
