@ Initialised data the probe kernel checks: 1536 words of a pattern the
@ kernel can recompute, then a text whose length (27) is not a multiple of 4.

    .data
    .align  2
    .global probe_pattern
probe_pattern:
    .set    i, 0
    .rept   1536
    .word   (i << 16) | (i ^ 0x5A5A)
    .set    i, i + 1
    .endr

    .section .probe_tail, "aw"
    .global probe_tail
probe_tail:
    .ascii  "zandrel probe data ends.end"
