@ Entry of the test kernels: stays in a loop; the code is never run by the
@ loader tests, which only look at where the bytes land.
    .section .text.start, "ax"
    .arm
    .global _start
    .type _start, %function
_start:
    b _start
    .size _start, . - _start
