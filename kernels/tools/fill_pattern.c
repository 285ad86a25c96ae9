/* Writes SIZE bytes of a fixed pseudo-random pattern (xorshift32 words,
   little-endian) to FILE: initialised data for the benchmark kernel that
   neither compresses away nor repeats within a page. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: fill_pattern FILE SIZE\n");
        return 2;
    }
    FILE* out = fopen(argv[1], "wb");
    if (out == NULL) {
        perror(argv[1]);
        return 1;
    }
    unsigned long size = strtoul(argv[2], NULL, 0);
    uint32_t state = 0x2545F491u;
    for (unsigned long i = 0; i < size; i += 4) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        unsigned char word[4] = {(unsigned char)state, (unsigned char)(state >> 8), (unsigned char)(state >> 16),
                                 (unsigned char)(state >> 24)};
        size_t count = size - i < 4 ? size - i : 4;
        if (fwrite(word, 1, count, out) != count) {
            perror(argv[1]);
            return 1;
        }
    }
    return fclose(out) == 0 ? 0 : 1;
}
