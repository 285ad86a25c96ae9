// Contents of the "three segments" kernels: text, read-only data and
// initialised data with values a test can predict, and zero-initialised data.
#include <stdint.h>

#define W1(n) (0xD0000000u | (n))
#define W4(n) W1(n), W1((n) + 1), W1((n) + 2), W1((n) + 3)
#define W16(n) W4(n), W4((n) + 4), W4((n) + 8), W4((n) + 12)
#define W64(n) W16(n), W16((n) + 16), W16((n) + 32), W16((n) + 48)
#define W256(n) W64(n), W64((n) + 64), W64((n) + 128), W64((n) + 192)
#define W1024(n) W256(n), W256((n) + 256), W256((n) + 512), W256((n) + 768)

const char kernel_banner[] = "zandrel test kernel";
const uint32_t rodata_words[8] = {0x0DA7A000, 0x0DA7A001, 0x0DA7A002, 0x0DA7A003,
                                  0x0DA7A004, 0x0DA7A005, 0x0DA7A006, 0x0DA7A007};

// data_words[i] == 0xD0000000 | i; 6 KB, so the data segment spans two pages
// of the page list.
uint32_t data_words[1536] = {W1024(0), W256(1024), W256(1280)};
char data_marker[12] = "DATA-MARKER";

uint32_t bss_words[0x900];
uint8_t bss_bytes[3];

uint32_t kernel_checksum(void) {
    uint32_t sum = 0;
    for (unsigned i = 0; i < sizeof data_words / sizeof data_words[0]; ++i)
        sum += data_words[i] ^ rodata_words[i % 8];
    for (unsigned i = 0; i < sizeof bss_words / sizeof bss_words[0]; ++i)
        sum += bss_words[i];
    return sum + (uint32_t)kernel_banner[0] + bss_bytes[0] + (uint32_t)data_marker[0];
}
