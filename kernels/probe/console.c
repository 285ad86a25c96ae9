/* The probe kernel's console input, as a kernel's boot flags ask for it:
   "a" asks for the root device and reads a line, "s" offers a prompt
   ("probe> ") with help, args, bootinfo, mem ADDR [COUNT] and halt. Lines end
   with a carriage return or a line feed (one of each in a row is one end);
   backspace and delete take back the last character. */

#include "probe.h"

#define LINE_SIZE 80
#define BACKSPACE 0x08
#define DELETE 0x7F

static int last_was_return PROBE_STATE = 0;

static int is_flag(u32 text, char letter) {
    return peek8(text) == (u8)letter && peek8(text + 1) == 0;
}

static int has_flag(u32 argc, u32 argv, char letter) {
    for (u32 i = 1; i < argc; ++i) {
        if (is_flag(peek32(argv + 4 * i), letter))
            return 1;
    }
    return 0;
}

/* One line into `line`, echoed as it is typed. */
static void read_line(char* line) {
    u32 length = 0;
    for (;;) {
        char c = get_char();
        if (c == '\n' && last_was_return) {
            last_was_return = 0;
            continue;
        }
        last_was_return = c == '\r';
        if (c == '\r' || c == '\n')
            break;
        if (c == BACKSPACE || c == DELETE) {
            if (length > 0) {
                --length;
                put("\b \b");
            }
        } else if ((u8)c >= 0x20 && length < LINE_SIZE - 1) {
            line[length++] = c;
            put_char(c);
        }
    }
    line[length] = 0;
    put("\n");
}

static int same_word(const char* word, const char* name) {
    for (; *name != 0; ++word, ++name) {
        if (*word != *name)
            return 0;
    }
    return *word == 0 || *word == ' ';
}

static const char* skip_blanks(const char* text) {
    while (*text == ' ')
        ++text;
    return text;
}

static const char* next_word(const char* text) {
    while (*text != 0 && *text != ' ')
        ++text;
    return skip_blanks(text);
}

/* A decimal or 0x hex number ending in a blank or the end; 0 in *ok when there is none. */
static u32 number(const char* text, int* ok) {
    u32 value = 0;
    int digits = 0;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        for (text += 2;; ++text, ++digits) {
            char c = *text;
            u32 d;
            if (c >= '0' && c <= '9')
                d = (u32)(c - '0');
            else if (c >= 'a' && c <= 'f')
                d = (u32)(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                d = (u32)(c - 'A' + 10);
            else
                break;
            value = (value << 4) | d;
        }
    } else {
        for (;; ++text, ++digits) {
            if (*text < '0' || *text > '9')
                break;
            value = value * 10 + (u32)(*text - '0');
        }
    }
    *ok = digits > 0 && (*text == 0 || *text == ' ');
    return value;
}

static void put_arguments(u32 argc, u32 argv) {
    put("argc ");
    put_dec((int)argc);
    put("\n");
    for (u32 i = 0; i < argc; ++i) {
        put("argv[");
        put_dec((int)i);
        put("] \"");
        for (u32 a = peek32(argv + 4 * i); peek8(a) != 0; ++a)
            put_char((char)peek8(a));
        put("\"\n");
    }
}

/* mem ADDR [COUNT]: COUNT words (1 to 64, default 1) from the word address ADDR, four a line. */
static void put_memory(const char* arguments) {
    int ok = 0, counted = 1;
    u32 address = number(arguments, &ok);
    const char* rest = next_word(arguments);
    u32 count = *rest != 0 ? number(rest, &counted) : 1;
    if (!ok || !counted || (address & 3) != 0 || count == 0 || count > 64) {
        put("usage: mem ADDR [COUNT] (a word address, 1 to 64 words)\n");
        return;
    }
    for (u32 i = 0; i < count; ++i) {
        if (i % 4 == 0) {
            if (i != 0)
                put("\n");
            put_hex(address + 4 * i);
            put(":");
        }
        put(" ");
        put_hex(register32(address + 4 * i));
    }
    put("\n");
}

static void prompt(u32 argc, u32 argv, u32 bootinfo) {
    char line[LINE_SIZE];
    for (;;) {
        put("probe> ");
        read_line(line);
        const char* command = skip_blanks(line);
        if (*command == 0)
            continue;
        if (same_word(command, "help"))
            put("commands: help, args, bootinfo, mem ADDR [COUNT], halt\n");
        else if (same_word(command, "args"))
            put_arguments(argc, argv);
        else if (same_word(command, "bootinfo"))
            put_bootinfo(bootinfo);
        else if (same_word(command, "mem"))
            put_memory(next_word(command));
        else if (same_word(command, "halt"))
            break;
        else
            put("unknown command (help lists them)\n");
    }
    put("PROBE: halted at the prompt\n");
}

void probe_console(u32 argc, u32 argv, u32 bootinfo) {
    int ask = has_flag(argc, argv, 'a');
    int single = has_flag(argc, argv, 's');
    if (!ask && !single)
        return;
    uart_receive_on();
    if (ask) {
        char line[LINE_SIZE];
        put("root device: ");
        read_line(line);
        put("PROBE: root device \"");
        put(line);
        put("\"\n");
    }
    if (single)
        prompt(argc, argv, bootinfo);
}
