@ 20 MB of initialised data for the large probe kernel: a generated pattern
@ (probe_big_data.bin, found on the assembler's include path) that neither
@ compresses away nor repeats within a page, so a chunk put in the wrong
@ place shows.
    .section .data.big, "aw"
    .global probe_big_data
probe_big_data:
    .incbin "probe_big_data.bin"
