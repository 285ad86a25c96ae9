@ The code benchmark kernel's text: real program code (bench_code.bin, the
@ first bytes of a compiler binary of the ARM toolchain, found on the
@ assembler's include path), which gzip packs about 2:1 as it would a kernel.
    .section .text.bench_code, "ax"
    .global bench_code
    .type bench_code, %object
bench_code:
    .incbin "bench_code.bin"
    .size bench_code, . - bench_code

    .section .bss, "aw", %nobits
    .global bench_bss
bench_bss:
    .space 0x10000
