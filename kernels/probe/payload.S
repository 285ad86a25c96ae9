@ Program code the probe carries for the capacity benchmark: the first bytes
@ of the toolchain's compilers (probe_payload.bin, on the assembler's include
@ path), which gzip packs about 2:1 as it would a kernel's text.
    .section .text.payload, "ax"
    .global probe_payload
probe_payload:
    .incbin "probe_payload.bin"
    .size probe_payload, . - probe_payload
