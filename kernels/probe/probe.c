/* The probe kernel: checks what the loader handed over and reports it on the
   board's UART, one "PROBE:" line per finding, then a verdict line:
   "PROBE VERDICT: PASS" or "PROBE VERDICT: FAIL (first reason)". The same
   lines appear on the screen, which it finds as a kernel does (screen.c),
   and the verdict in large letters below them.

   Extra kernel options it understands:
     md_size=N      bytes of the file-system image (decimal or 0x hex)
     md_crc32=0xX   the image's CRC-32, checked when given

   Position independent (compiled -fPIE, no GOT): it runs at its link address
   on the SA-11x0 and 0x20000000 lower on the PXA2x0. Addresses the loader
   wrote (argv, BootInfo, the symbol block) are the ones the kernel runs at;
   symbol values are link addresses. */

#include "probe.h"

struct probe_entry {
    u32 sp;
    u32 cpsr;
    u32 control;
    u32 run_start;
    u32 link_start;
};

#define SA_UART 0x80050000u
#define PXA_FFUART 0x40100000u
/* The interrupt controllers' mask registers and the UARTs' sources. */
#define SA_ICMR 0x90050004u
#define SA_UART3_IRQ 17
#define PXA_ICMR 0x40D00004u
#define PXA_FFUART_IRQ 22

/* Everything is local to the kernel: addresses are reached PC-relative. */
#pragma GCC visibility push(hidden)
extern u32 probe_pattern[1536];
extern const char probe_tail[27];
extern char probe_end[];
extern void _start(void);
void probe_main(u32 argc, u32 argv, u32 bootinfo, const struct probe_entry* entry);
#pragma GCC visibility pop

static u32 zeroed[3072];   /* 12 KB of bss: must read as zero */
static u32 crc_table[256]; /* built after the bss check */

static u32 uart_base PROBE_STATE = SA_UART;
static int uart_is_pxa PROBE_STATE = 0;
static int failures PROBE_STATE = 0;
static const char* first_failure PROBE_STATE = 0;
static char reason_buffer[96] PROBE_STATE = {0};

/* ---- output ---- */

void put_char(char c) {
    screen_char(c);
    volatile u32* regs = (volatile u32*)uart_base;
    if (uart_is_pxa) {
        while ((regs[0x14 / 4] & 0x20) == 0) /* LSR: transmitter ready */
            ;
        regs[0] = (u8)c;
    } else {
        while ((regs[0x20 / 4] & 0x04) == 0) /* UTSR1: FIFO not full */
            ;
        regs[0x14 / 4] = (u8)c;
    }
}

void uart_receive_on(void) {
    volatile u32* regs = (volatile u32*)uart_base;
    if (uart_is_pxa) {
        regs[0x04 / 4] = 0x41; /* IER: unit on, received data interrupt */
        *(volatile u32*)PXA_ICMR |= 1u << PXA_FFUART_IRQ;
    } else {
        regs[0x0C / 4] = 0x0B; /* UTCR3: receiver, transmitter, receive interrupt */
        *(volatile u32*)SA_ICMR |= 1u << SA_UART3_IRQ;
    }
}

/* Sleeps until an interrupt is asked for; with IRQs masked the processor
   just goes on after it. */
static void wait_for_interrupt(void) {
    __asm__ volatile("mcr p15, 0, %0, c7, c0, 4" : : "r"(0) : "memory");
}

char get_char(void) {
    volatile u32* regs = (volatile u32*)uart_base;
    if (uart_is_pxa) {
        while ((regs[0x14 / 4] & 0x01) == 0) /* LSR: data ready */
            wait_for_interrupt();
        return (char)regs[0];
    }
    while ((regs[0x20 / 4] & 0x02) == 0) /* UTSR1: receive FIFO not empty */
        wait_for_interrupt();
    char c = (char)regs[0x14 / 4];
    regs[0x1C / 4] = 0x04; /* UTSR0: the receiver-idle interrupt is answered */
    return c;
}

void put(const char* text) {
    for (; *text != 0; ++text) {
        if (*text == '\n')
            put_char('\r');
        put_char(*text);
    }
}

void put_hex(u32 value) {
    put("0x");
    for (int shift = 28; shift >= 0; shift -= 4)
        put_char("0123456789abcdef"[(value >> shift) & 15]);
}

void put_dec(int value) {
    static const u32 powers[] = {1000000000, 100000000, 10000000, 1000000, 100000, 10000, 1000, 100, 10, 1};
    u32 v = (u32)value;
    if (value < 0) {
        put_char('-');
        v = (u32)(-value);
    }
    int started = 0;
    for (int i = 0; i < 10; ++i) {
        int digit = 0;
        while (v >= powers[i]) {
            v -= powers[i];
            ++digit;
        }
        if (digit != 0 || started || i == 9) {
            put_char((char)('0' + digit));
            started = 1;
        }
    }
}

static void put_quoted(u32 address, u32 limit) {
    put_char('"');
    for (u32 a = address; a < limit && peek8(a) != 0; ++a) {
        u32 c = peek8(a);
        put_char(c >= 0x20 && c < 0x7F ? (char)c : '?');
    }
    put_char('"');
}

void fail(const char* reason) {
    put("PROBE: FAIL: ");
    put(reason);
    put("\n");
    if (failures++ == 0)
        first_failure = reason;
}

/* A failure with one number in it: "what 0x..." */
void fail_at(const char* what, u32 value) {
    if (failures == 0) {
        int n = 0;
        for (const char* p = what; *p != 0 && n < 80; ++p)
            reason_buffer[n++] = *p;
        reason_buffer[n++] = ' ';
        reason_buffer[n++] = '0';
        reason_buffer[n++] = 'x';
        for (int shift = 28; shift >= 0; shift -= 4)
            reason_buffer[n++] = "0123456789abcdef"[(value >> shift) & 15];
        reason_buffer[n] = 0;
        fail(reason_buffer);
    } else {
        fail(what);
    }
}

/* ---- text in memory ---- */

static u32 string_length(u32 address, u32 limit) {
    u32 n = 0;
    while (address + n < limit && peek8(address + n) != 0)
        ++n;
    return n;
}

/* Does the zero-terminated text at `address` equal `text`? */
static int memory_equals(u32 address, const char* text) {
    for (; *text != 0; ++text, ++address) {
        if (peek8(address) != (u8)*text)
            return 0;
    }
    return peek8(address) == 0;
}

/* Does the text at `address` start with `prefix`? */
static int memory_starts(u32 address, const char* prefix) {
    for (; *prefix != 0; ++prefix, ++address) {
        if (peek8(address) != (u8)*prefix)
            return 0;
    }
    return 1;
}

/* Decimal or 0x hex number at `address`; 0 in *ok when there is none. */
static u32 parse_number(u32 address, int* ok) {
    u32 value = 0;
    int digits = 0;
    if (peek8(address) == '0' && (peek8(address + 1) == 'x' || peek8(address + 1) == 'X')) {
        for (address += 2;; ++address, ++digits) {
            u32 c = peek8(address);
            u32 d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                break;
            value = (value << 4) | d;
        }
    } else {
        for (;; ++address, ++digits) {
            u32 c = peek8(address);
            if (c < '0' || c > '9')
                break;
            value = (value << 3) + (value << 1) + (c - '0');
        }
    }
    *ok = digits > 0 && peek8(address) == 0;
    return value;
}

static u32 round_up(u32 value, u32 multiple) {
    return (value + multiple - 1) & ~(multiple - 1);
}

/* ---- checks ---- */

static u32 crc32(u32 address, u32 size) {
    u32 crc = 0xFFFFFFFFu;
    for (u32 i = 0; i < size; ++i)
        crc = crc_table[(crc ^ peek8(address + i)) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

static void build_crc_table(void) {
    for (u32 n = 0; n < 256; ++n) {
        u32 c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        crc_table[n] = c;
    }
}

static void check_data(void) {
    for (u32 i = 0; i < 1536; ++i) {
        if (probe_pattern[i] != ((i << 16) | (i ^ 0x5A5A))) {
            fail_at("data pattern wrong at", (u32)&probe_pattern[i]);
            return;
        }
    }
    static const char expected_tail[] = "zandrel probe data ends.end";
    for (u32 i = 0; i < sizeof(probe_tail); ++i) {
        if (probe_tail[i] != expected_tail[i]) {
            fail_at("data tail wrong at", (u32)&probe_tail[i]);
            return;
        }
    }
    put("PROBE: data ");
    put_dec((int)(sizeof(u32) * 1536 + sizeof(probe_tail)));
    put(" bytes as linked\n");
}

static void check_bss(void) {
    const u32* words[] = {zeroed, crc_table};
    const u32 counts[] = {3072, 256};
    for (int k = 0; k < 2; ++k) {
        for (u32 i = 0; i < counts[k]; ++i) {
            if (words[k][i] != 0) {
                fail_at("bss not zero at", (u32)&words[k][i]);
                return;
            }
        }
    }
    /* The bytes between the end of .data and the first bss word. */
    u32 tail_end = (u32)probe_tail + sizeof(probe_tail);
    for (u32 a = tail_end; (a & 3) != 0; ++a) {
        if (peek8(a) != 0) {
            fail_at("bss padding not zero at", a);
            return;
        }
    }
    put("PROBE: bss ");
    put_dec((int)sizeof(zeroed) + (int)sizeof(crc_table));
    put(" bytes zero\n");
}

/* Argument page: entry, argc, argv, bootinfo, BootInfo (36 bytes), 16 argv
   words, then the strings one after another. */
static void check_arguments(u32 argc, u32 argv, u32 bootinfo) {
    u32 page = bootinfo - 16;
    put("PROBE: argc ");
    put_dec((int)argc);
    put("\n");
    if (argv != page + 52)
        fail_at("argv is not in the argument page:", argv);
    if (argc < 1 || argc > 16) {
        fail_at("argc out of range:", argc);
        return;
    }
    if (peek32(page + 4) != argc || peek32(page + 8) != argv || peek32(page + 12) != bootinfo)
        fail("argument page words differ from the registers");
    u32 expected = page + 116;
    for (u32 i = 0; i < argc; ++i) {
        u32 text = peek32(argv + 4 * i);
        put("PROBE: argv[");
        put_dec((int)i);
        put("] ");
        if (text != expected || text >= page + 4080) {
            put_hex(text);
            put("\n");
            fail_at("argument string out of place:", text);
            return;
        }
        put_quoted(text, page + 4080);
        put("\n");
        u32 length = string_length(text, page + 4080);
        if (text + length >= page + 4080) {
            fail_at("argument string runs past the page:", text);
            return;
        }
        expected = text + length + 1;
    }
    if (string_length(peek32(argv), page + 4080) == 0)
        fail("argv[0] is empty");
}

void put_bootinfo(u32 bootinfo) {
    u32 length = peek16(bootinfo);
    u32 magic = peek32(bootinfo + 4);
    put("PROBE: bootinfo length ");
    put_dec((int)length);
    put(" magic ");
    put_hex(magic);
    put("\n");
    put("PROBE: bootinfo fb ");
    put_hex(peek32(bootinfo + 8));
    put(" ");
    put_dec((short)peek16(bootinfo + 14));
    put("x");
    put_dec((short)peek16(bootinfo + 16));
    put(" linebytes ");
    put_dec((short)peek16(bootinfo + 12));
    put(" type ");
    put_dec((short)peek16(bootinfo + 18));
    put("\n");
    put("PROBE: bootinfo console ");
    put_dec((short)peek16(bootinfo + 20));
    put(" cpu ");
    put_hex(peek32(bootinfo + 24));
    put(" machine ");
    put_hex(peek32(bootinfo + 28));
    put(" timezone ");
    put_dec((int)peek32(bootinfo + 32));
    put("\n");
}

static void check_bootinfo(u32 bootinfo) {
    u32 length = peek16(bootinfo);
    u32 magic = peek32(bootinfo + 4);
    put_bootinfo(bootinfo);
    if (length != 36)
        fail_at("bootinfo length is not 36:", length);
    if (magic != BOOTINFO_MAGIC)
        fail_at("bootinfo magic wrong:", magic);
    if (peek16(bootinfo + 2) != 0 || peek16(bootinfo + 22) != 0)
        fail("bootinfo reserved fields not zero");
    u32 console = peek16(bootinfo + 20);
    if (console != 1 && console != 2)
        fail_at("bootinfo console type unknown:", console);
}

struct symbol_block {
    u32 start;
    u32 end;
};

static u32 section_header(u32 block, u32 i) {
    return block + 52 + 40 * i;
}

/* The symbol block after the last segment: ELF header copy, section headers
   with rewritten offsets, section names, .symtab and .strtab. */
static int check_symbols(u32 block, u32 offset, struct symbol_block* found) {
    put("PROBE: symbols at ");
    put_hex(block);
    if (peek32(block) != 0x464C457Fu) {
        put("\n");
        fail("no ELF header copy after the kernel");
        return 0;
    }
    u32 shnum = peek16(block + 48);
    u32 shstrndx = peek16(block + 50);
    if (peek32(block + 24) != 0 || peek32(block + 28) != 0 || peek16(block + 44) != 0 ||
        peek32(block + 32) != 52 || peek16(block + 46) != 40 || shnum == 0 || shnum > 64 ||
        shstrndx >= shnum) {
        put("\n");
        fail("ELF header copy not rewritten as expected");
        return 0;
    }
    u32 table = 52 + 40 * shnum;
    u32 names = block + table;
    if (peek32(section_header(block, shstrndx) + 16) != table) {
        put("\n");
        fail("section name table offset not rewritten");
        return 0;
    }
    u32 block_size = table + round_up(peek32(section_header(block, shstrndx) + 20), 4);
    u32 symtab = 0, strtab = 0;
    for (u32 i = 0; i < shnum; ++i) {
        u32 header = section_header(block, i);
        u32 name = names + peek32(header);
        if (memory_equals(name, ".symtab"))
            symtab = header;
        else if (memory_equals(name, ".strtab"))
            strtab = header;
        else if (i != shstrndx && peek32(header + 16) != 0) {
            put("\n");
            fail_at("section offset not cleared in header", i);
            return 0;
        }
    }
    if (symtab == 0 || strtab == 0) {
        put("\n");
        fail("no .symtab or .strtab in the symbol block");
        return 0;
    }
    u32 symtab_size = peek32(symtab + 20);
    u32 strtab_size = peek32(strtab + 20);
    if (peek32(symtab + 16) != block_size || peek32(strtab + 16) != block_size + round_up(symtab_size, 4)) {
        put("\n");
        fail("symbol table offsets not rewritten");
        return 0;
    }
    u32 symbols = block + block_size;
    u32 strings = block + peek32(strtab + 16);
    u32 count = symtab_size >> 4;
    u32 start_value = 0, main_value = 0;
    for (u32 i = 0; i < count; ++i) {
        u32 symbol = symbols + 16 * i;
        u32 name = peek32(symbol);
        if (name >= strtab_size)
            continue;
        if (memory_equals(strings + name, "_start"))
            start_value = peek32(symbol + 4);
        else if (memory_equals(strings + name, "probe_main"))
            main_value = peek32(symbol + 4);
    }
    put(": ");
    put_dec((int)shnum);
    put(" sections, ");
    put_dec((int)count);
    put(" symbols, ");
    put_dec((int)strtab_size);
    put(" bytes of names, _start ");
    put_hex(start_value);
    put("\n");
    if (start_value != (u32)_start - offset)
        fail_at("symbol _start does not name the entry:", start_value);
    if (main_value != (u32)probe_main - offset)
        fail_at("symbol probe_main does not name its code:", main_value);
    found->start = block;
    found->end = strings + strtab_size;
    return 1;
}

/* The number of the option "name=value", or 0 in *present when absent. */
static u32 option(u32 argc, u32 argv, const char* name, int* present) {
    *present = 0;
    for (u32 i = 1; i < argc; ++i) {
        u32 text = peek32(argv + 4 * i);
        if (memory_starts(text, name)) {
            u32 n = 0;
            while (name[n] != 0)
                ++n;
            int ok = 0;
            u32 value = parse_number(text + n, &ok);
            if (!ok) {
                fail("option value is not a number");
                return 0;
            }
            *present = 1;
            return value;
        }
    }
    return 0;
}

static int has_image_argument(u32 argc, u32 argv) {
    for (u32 i = 1; i < argc; ++i) {
        if (memory_starts(peek32(argv + 4 * i), "m="))
            return 1;
    }
    return 0;
}

static void choose_uart(u32 bootinfo) {
    u32 cpu = 0;
    if (bootinfo != 0 && peek32(bootinfo + 4) == BOOTINFO_MAGIC)
        cpu = peek32(bootinfo + 24);
    if ((cpu & 0xFFF00000u) == 0x0C200000u) {
        uart_base = PXA_FFUART;
        uart_is_pxa = 1;
    } else {
        uart_base = SA_UART;
        uart_is_pxa = 0;
    }
}

void probe_main(u32 argc, u32 argv, u32 bootinfo, const struct probe_entry* entry) {
    choose_uart(bootinfo);
    screen_find(bootinfo);
    put("\n");
    screen_start();
    put("PROBE: zandrel probe kernel\n");
    put("PROBE: uart ");
    put(uart_is_pxa ? "pxa2x0 ffuart " : "sa11x0 serial ");
    put_hex(uart_base);
    put("\n");
    screen_report();

    /* Where it runs: the link address, or its low 28 bits in the SDRAM region. */
    u32 expected_start = uart_is_pxa ? (entry->link_start & 0x0FFFFFFFu) | 0xA0000000u : entry->link_start;
    u32 offset = entry->run_start - entry->link_start;
    put("PROBE: entry ");
    put_hex(entry->run_start);
    put(" linked ");
    put_hex(entry->link_start);
    put("\n");
    if (entry->run_start != expected_start)
        fail_at("entered at the wrong address:", entry->run_start);

    /* Mode, interrupt masks and state; the flags are whatever they were. */
    put("PROBE: cpsr control bits ");
    put_hex(entry->cpsr & 0xFF);
    put("\n");
    if ((entry->cpsr & 0x1F) != 0x1F)
        fail_at("not in System mode: cpsr", entry->cpsr);
    if ((entry->cpsr & 0xC0) != 0xC0)
        fail_at("IRQ and FIQ not masked: cpsr", entry->cpsr);
    put("PROBE: control ");
    put_hex(entry->control);
    put("\n");
    if ((entry->control & 0x100D) != 0) /* I-cache, write buffer, D-cache, MMU */
        fail_at("MMU, caches or write buffer on: control", entry->control);

    check_bss();
    build_crc_table();
    check_data();
    check_bootinfo(bootinfo);
    check_arguments(argc, argv, bootinfo);

    u32 kernel_end = (u32)probe_end;
    struct symbol_block symbols = {0, 0};
    if (check_symbols(round_up(kernel_end, 4), offset, &symbols))
        kernel_end = symbols.end;
    u32 last_end = kernel_end;

    int sized = 0, summed = 0;
    u32 image_size = option(argc, argv, "md_size=", &sized);
    u32 image_crc = option(argc, argv, "md_crc32=", &summed);
    if (has_image_argument(argc, argv)) {
        u32 image = round_up(kernel_end, 4096);
        put("PROBE: image at ");
        put_hex(image);
        if (sized) {
            u32 crc = crc32(image, image_size);
            put(" size ");
            put_dec((int)image_size);
            put(" crc32 ");
            put_hex(crc);
            put("\n");
            if (summed && crc != image_crc)
                fail_at("image checksum differs: crc32", crc);
            last_end = image + image_size;
        } else {
            put(" size unknown (no md_size= option)\n");
            last_end = 0;
        }
    }

    put("PROBE: stack ");
    put_hex(entry->sp);
    if (last_end != 0) {
        u32 expected_sp = (last_end + 0x2000) & ~0xFFFu;
        put(" expected ");
        put_hex(expected_sp);
        put("\n");
        if (entry->sp != expected_sp)
            fail_at("stack pointer breaks the rule:", entry->sp);
    } else {
        put("\n");
    }

    put("PROBE VERDICT: ");
    if (failures == 0) {
        put("PASS\n");
    } else {
        put("FAIL (");
        put(first_failure);
        put(")\n");
    }
    screen_verdict(failures == 0);
    probe_console(argc, argv, bootinfo);
}
