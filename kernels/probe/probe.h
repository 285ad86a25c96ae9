/* What the parts of the probe kernel share: its report on the UART (and on
   the screen, kernels/probe/screen.c) and reading the memory and registers
   the loader and Windows CE left. */
#ifndef ZANDREL_PROBE_H
#define ZANDREL_PROBE_H

typedef unsigned int u32;
typedef unsigned short u16;
typedef unsigned char u8;

#define BOOTINFO_MAGIC 0x13536135u

/* Everything is local to the kernel: addresses are reached PC-relative. */
#pragma GCC visibility push(hidden)

/* The probe's own state lives in .data: the bss is under test and may hold
   anything until it has been checked. */
#define PROBE_STATE __attribute__((section(".data.probe_state")))

void put_char(char c);
void put(const char* text);
void put_hex(u32 value);
void put_dec(int value);
/* A finding that fails the verdict; the first one is named in it. */
void fail(const char* reason);
void fail_at(const char* what, u32 value);

/* The console's input: the UART's receiver and its interrupt on, then one
   byte at a time, waiting for an interrupt while nothing has come. */
void uart_receive_on(void);
char get_char(void);
/* BootInfo's fields, three report lines. */
void put_bootinfo(u32 bootinfo);
/* After the report: with "a" in the arguments it asks for the root device,
   with "s" it offers a prompt of a few commands until "halt". */
void probe_console(u32 argc, u32 argv, u32 bootinfo);

/* The screen: found from BootInfo or the LCD controller, then cleared; from
   then on every report line is also drawn there. */
void screen_find(u32 bootinfo);
void screen_start(void);
/* Reports the screen and checks BootInfo's description against the controller's. */
void screen_report(void);
void screen_char(char c);
/* The verdict in large letters at the bottom of the screen. */
void screen_verdict(int pass);

#pragma GCC visibility pop

static inline u32 peek8(u32 address) {
    return *(const volatile u8*)address;
}
static inline u32 peek16(u32 address) {
    return peek8(address) | (peek8(address + 1) << 8);
}
static inline u32 peek32(u32 address) {
    return peek16(address) | (peek16(address + 2) << 16);
}
/* A device register, read as the word or byte it is. */
static inline u32 register32(u32 address) {
    return *(const volatile u32*)address;
}
static inline u32 register8(u32 address) {
    return *(const volatile u8*)address;
}

#endif
