@ SA-11x0 second stage: destinations and the kernel entry as stored.

        .syntax unified
        .arm
        .text
        .align  2

        .include "second_stage.inc"

        second_stage SecondStage_sa11x0, 0
