/* The frame buffer Windows CE's display driver left a display controller
   scanning, read from the controller's registers: the SA-11x0 or PXA2x0 LCD
   controller, or the HP Jornada 7XX's video controller with its own memory.
   For the test kernels that draw on the screen. */
#ifndef ZANDREL_LCD_FRAME_H
#define ZANDREL_LCD_FRAME_H

struct lcd_frame {
    unsigned int address; /* the first pixel line */
    int width;            /* as the controller scans it */
    int height;
    int bpp;
    int line_bytes;
    unsigned int lower_half; /* a dual panel's: where the controller reads its lower half; else 0 */
};

#pragma GCC visibility push(hidden)
/* The frame of the controller of the machine that BootInfo's cpu and
   machine words name; width 0 when the controller is off or scans a depth
   other than 4, 8 or 16 bits a pixel. Answers the controller's name. */
const char* lcd_frame_find(unsigned int cpu, unsigned int machine, struct lcd_frame* f);
#pragma GCC visibility pop

#endif
