@ PXA2x0 second stage: destinations and the kernel entry in the SDRAM region at 0xA0000000.

        .syntax unified
        .arm
        .text
        .align  2

        .include "second_stage.inc"

        second_stage SecondStage_pxa2x0, 1
