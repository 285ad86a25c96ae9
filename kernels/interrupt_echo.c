/* A kernel driven by its UART's receive interrupt: it maps its own page at
   the high exception vectors (0xFFFF0000) with the MMU, enables the
   receive interrupt at the UART and its source in the interrupt controller,
   unmasks interrupts in the CPSR and sleeps in a wait for interrupt. Its
   interrupt handler reads the bytes that came and echoes them until a line
   ends; then the kernel reports the line and halts with a branch to itself:

     ECHO: line "TEXT" in N interrupts, taken in IRQ mode from System mode

   With the kernel option "fiq" the source goes to FIQ instead (ICLR).
   Position independent: the SA-11x0 second stage runs it at 0xC0200000,
   the PXA2x0 one at 0xA0200000, and that address tells which board it is
   on. Every address outside the vector page is mapped to itself, uncached. */

typedef unsigned int u32;
typedef unsigned char u8;

#define SA_UART 0x80050000u    /* serial port 3 */
#define PXA_FFUART 0x40100000u /* full-function UART */
#define SA_CONTROLLER 0x90050000u
#define PXA_CONTROLLER 0x40D00000u
#define SA_UART_SOURCE 17
#define PXA_FFUART_SOURCE 22
/* Interrupt controller registers both families have at these offsets. */
#define ICIP 0x00
#define ICMR 0x04
#define ICLR 0x08
#define SA_ICFP 0x10
#define PXA_ICFP 0x0C

#define LINE_SIZE 80
#define HIGH_VECTORS 0xFFFF0000u
#define CPSR_I 0x80u
#define CPSR_F 0x40u

#pragma GCC visibility push(hidden)
void echo_main(u32 argc, u32 argv, u32 run_start);
void echo_interrupt(u32 cpsr, u32 spsr, u32 return_address);
void echo_unexpected(u32 vector, u32 return_address);
void echo_reset_entry(void);
void echo_undefined_entry(void);
void echo_swi_entry(void);
void echo_prefetch_abort_entry(void);
void echo_data_abort_entry(void);
void echo_reserved_entry(void);
void echo_irq_entry(void);
void echo_fiq_entry(void);
#pragma GCC visibility pop

/* The first-level table (one 1 MB section per entry), the second-level
   table of the top megabyte, and the page that becomes the vectors. */
static u32 sections[4096] __attribute__((aligned(16384)));
static u32 top_pages[256] __attribute__((aligned(1024)));
static u32 vector_page[1024] __attribute__((aligned(4096)));

static int pxa;
static u32 uart = SA_UART;
static u32 controller;
static u32 source_bit;
static int use_fiq;

static char line[LINE_SIZE];
static u32 length;
static volatile int line_done;
static volatile u32 interrupts;
static volatile u32 handler_mode, interrupted_mode;

static volatile u32* at(u32 address) {
    return (volatile u32*)address;
}

static void put_char(char c) {
    if (pxa) {
        while ((*at(uart + 0x14) & 0x20) == 0) /* LSR: transmitter ready */
            ;
        *at(uart) = (u8)c;
    } else {
        while ((*at(uart + 0x20) & 0x04) == 0) /* UTSR1: FIFO not full */
            ;
        *at(uart + 0x14) = (u8)c;
    }
}

static void put(const char* text) {
    for (; *text != 0; ++text) {
        if (*text == '\n')
            put_char('\r');
        put_char(*text);
    }
}

static void put_dec(u32 value) {
    char digits[12];
    int n = 0;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0)
        put_char(digits[--n]);
}

static void put_mode(u32 mode) {
    if (mode == 0x10)
        put("User");
    else if (mode == 0x11)
        put("FIQ");
    else if (mode == 0x12)
        put("IRQ");
    else if (mode == 0x13)
        put("Supervisor");
    else if (mode == 0x1F)
        put("System");
    else
        put("another");
}

static int has_option(u32 argc, u32 argv, const char* option) {
    for (u32 i = 1; i < argc; ++i) {
        const char* word = *(const char* const*)(argv + 4 * i);
        const char* o = option;
        while (*o != 0 && *word == *o)
            ++word, ++o;
        if (*o == 0 && *word == 0)
            return 1;
    }
    return 0;
}

/* Every megabyte mapped to itself, the vector page at 0xFFFF0000; then the
   MMU on with the high vectors. */
static void map_and_enable_mmu(void) {
    /* Bit 4 of a first-level descriptor is one on the SA-11x0 and zero on the XScale. */
    u32 bit4 = pxa ? 0 : 0x10;
    for (u32 i = 0; i < 4096; ++i)
        sections[i] = (i << 20) | 0xC00 /* read/write */ | bit4 | 0x2 /* section */;
    top_pages[(HIGH_VECTORS >> 12) & 0xFF] = (u32)vector_page | 0xFF0 /* read/write */ | 0x2 /* small page */;
    sections[HIGH_VECTORS >> 20] = (u32)top_pages | bit4 | 0x1 /* coarse table */;

    /* Each vector loads the address 8 words on; the addresses are taken
       where the kernel runs (PC-relative), one by one. */
    for (int i = 0; i < 8; ++i)
        vector_page[i] = 0xE59FF018; /* ldr pc, [pc, #0x18] */
    vector_page[8] = (u32)echo_reset_entry;
    vector_page[9] = (u32)echo_undefined_entry;
    vector_page[10] = (u32)echo_swi_entry;
    vector_page[11] = (u32)echo_prefetch_abort_entry;
    vector_page[12] = (u32)echo_data_abort_entry;
    vector_page[13] = (u32)echo_reserved_entry;
    vector_page[14] = (u32)echo_irq_entry;
    vector_page[15] = (u32)echo_fiq_entry;

    __asm__ volatile("mcr p15, 0, %0, c2, c0, 0\n" /* translation table base */
                     "mcr p15, 0, %1, c3, c0, 0\n" /* domain 0: client */
                     "mcr p15, 0, %2, c8, c7, 0\n" /* no stale translations */
                     "mrc p15, 0, r3, c1, c0, 0\n"
                     "orr r3, r3, #0x2000\n" /* high vectors */
                     "orr r3, r3, #0x1\n"    /* MMU */
                     "mcr p15, 0, r3, c1, c0, 0\n"
                     "mrc p15, 0, r3, c2, c0, 0\n" /* the XScale's wait for the change */
                     "mov r3, r3\n"
                     "sub pc, pc, #4\n"
                     :
                     : "r"((u32)sections), "r"(1u), "r"(0u)
                     : "r3", "memory");
}

static void receive_interrupt(int on) {
    if (pxa)
        *at(uart + 0x04) = on ? 0x41 : 0x40; /* IER: unit on, received data interrupt */
    else
        *at(uart + 0x0C) = on ? 0x0B : 0x03; /* UTCR3: receiver, transmitter, receive interrupt */
}

static void mask_interrupts(int masked) {
    u32 bit = use_fiq ? CPSR_F : CPSR_I;
    u32 cpsr;
    __asm__ volatile("mrs %0, cpsr" : "=r"(cpsr));
    cpsr = masked ? cpsr | bit : cpsr & ~bit;
    __asm__ volatile("msr cpsr_c, %0" : : "r"(cpsr) : "memory");
}

/* Sleeps until an interrupt is asked for, masked or not. */
static void wait_for_interrupt(void) {
    __asm__ volatile("mcr p15, 0, %0, c7, c0, 4" : : "r"(0) : "memory");
}

static int received(void) {
    return pxa ? (*at(uart + 0x14) & 0x01) != 0  /* LSR: data ready */
               : (*at(uart + 0x20) & 0x02) != 0; /* UTSR1: receive FIFO not empty */
}

/* The UART asked: the bytes that came, echoed, until the line ends. */
void echo_interrupt(u32 cpsr, u32 spsr, u32 return_address) {
    (void)return_address;
    ++interrupts;
    handler_mode = cpsr & 0x1F;
    interrupted_mode = spsr & 0x1F;
    while (!line_done && received()) {
        char c = (char)*at(pxa ? uart : uart + 0x14);
        if (c == '\r' || c == '\n') {
            line_done = 1;
            receive_interrupt(0);
            *at(controller + ICMR) &= ~source_bit;
        } else if ((u8)c >= 0x20 && length < LINE_SIZE - 1) {
            line[length++] = c;
            put_char(c);
        }
    }
    if (!pxa)
        *at(uart + 0x1C) = 0x04; /* UTSR0: the receiver-idle interrupt is answered */
}

void echo_unexpected(u32 vector, u32 return_address) {
    (void)return_address;
    put("\nECHO: unexpected exception at vector ");
    put_dec(vector);
    put("\n");
    for (;;)
        ;
}

void echo_main(u32 argc, u32 argv, u32 run_start) {
    pxa = (run_start & 0xF0000000u) == 0xA0000000u;
    uart = pxa ? PXA_FFUART : SA_UART;
    controller = pxa ? PXA_CONTROLLER : SA_CONTROLLER;
    source_bit = 1u << (pxa ? PXA_FFUART_SOURCE : SA_UART_SOURCE);
    use_fiq = has_option(argc, argv, "fiq");

    put("\nECHO: interrupt-driven echo\n");
    map_and_enable_mmu();
    receive_interrupt(1);
    u32 level = *at(controller + ICLR);
    *at(controller + ICLR) = use_fiq ? level | source_bit : level & ~source_bit;
    *at(controller + ICMR) |= source_bit;
    put("ECHO: type a line\n");
    /* Masked while the flag is looked at, so that an interrupt between the
       look and the wait cannot leave the wait without an end. */
    for (;;) {
        mask_interrupts(1);
        if (line_done)
            break;
        wait_for_interrupt();
        mask_interrupts(0);
    }
    line[length] = 0;
    put("\nECHO: line \"");
    put(line);
    put("\" in ");
    put_dec(interrupts);
    put(" interrupts, taken in ");
    put_mode(handler_mode);
    put(" mode from ");
    put_mode(interrupted_mode);
    put(" mode\n");
}
