@ The benchmark kernel's initialised data: a generated file of the size the
@ build chose (bench_data.bin, found on the assembler's include path).
    .section .data, "aw"
    .global bench_data
    .type bench_data, %object
bench_data:
    .incbin "bench_data.bin"
    .size bench_data, . - bench_data

    .section .bss, "aw", %nobits
    .global bench_bss
bench_bss:
    .space 0x10000
