// What the file benchmarks share: a console that prints nothing, and reading
// a file the way the ELF loader does.
#pragma once

#include "console/console.h"
#include "file/file_manager.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

class QuietConsole : public Console {
  public:
    void vprint(const char16_t*, va_list) override {}
};

// Reads every byte of the open `file` in increasing offsets, one page's data
// (4080 bytes) at a time, until a short read; the bytes read, or nothing when
// the file reports damaged data (said on standard error).
inline std::optional<uint64_t> readLikeTheLoader(FileManager& file) {
    constexpr uint32_t kPageData = 4080;
    std::vector<char> page(kPageData);
    uint64_t total = 0;
    for (uint32_t offset = 0;; offset += kPageData) {
        uint32_t count = file.read(page.data(), kPageData, offset);
        if (count == 0xFFFFFFFFu) {
            std::fprintf(stderr, "damaged data at %u\n", offset);
            return std::nullopt;
        }
        total += count;
        if (count < kPageData)
            return total;
    }
}
