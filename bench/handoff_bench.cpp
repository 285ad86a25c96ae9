// Emulated instructions the second stage spends per 32-bit word it copies:
// the real SecondStage block on Unicorn walks a page list laid out as the
// loader lays it out (4080 data bytes after each 16-byte link, pages
// scattered), then enters a kernel that halts at once. Prints, per variant,
// the instructions per word and the emulation's wall time.
//   zandrel_handoff_bench [MB]
#include "arch/arm/arm_code.h"
#include "sim/emulator/arm_emulator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

constexpr uint32_t kPage = 4096;
constexpr uint32_t kChunk = kPage - 16;

struct Variant {
    const char* name;
    sim::Processor processor;
    const ArmCode* block;
    uint32_t ram_base;
};

void put(std::vector<uint8_t>& ram, uint32_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        ram[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

int measure(const Variant& variant, uint32_t bytes) {
    const uint32_t ram_size = 64 * 1024 * 1024;
    std::vector<uint8_t> ram(ram_size, 0);
    const uint32_t base = variant.ram_base;
    const uint32_t kernel = base + 0x00200000; // destination: the kernel at +2 MB
    const uint32_t chunks = (bytes + kChunk - 1) / kChunk;
    // Source pages in the upper half of RAM, in a shuffled order, as Windows CE hands them out.
    std::vector<uint32_t> pages;
    for (uint32_t i = 0; i < chunks + 4; ++i)
        pages.push_back(ram_size / 2 + i * kPage);
    std::shuffle(pages.begin(), pages.end(), std::mt19937(1));
    uint32_t code = pages[chunks], stack = pages[chunks + 1], args = pages[chunks + 2],
             head = pages[chunks + 3];

    uint32_t link = head; // the first link slot
    uint32_t copied = 0;
    for (uint32_t i = 0; i < chunks; ++i) {
        uint32_t page = pages[i];
        uint32_t len = std::min(kChunk, bytes - copied);
        for (uint32_t b = 0; b < len; b += 4)
            put(ram, page + 16 + b, copied + b);
        put(ram, link + 0, base + page);      // next: the new page's link slot
        put(ram, link + 4, base + page + 16); // src
        put(ram, link + 8, kernel + copied);  // dst
        put(ram, link + 12, len);
        link = page;
        copied += len;
    }
    // The slot filled last ends the list; the slot after it stays unused.
    uint32_t last = chunks == 1 ? head : pages[chunks - 2];
    put(ram, last, 0xFFFFFFFFu);
    // The kernel's entry: a branch to itself right after the copied bytes.
    uint32_t entry = kernel + ((copied + 3) & ~3u);
    put(ram, entry - base, sim::kArmBranchToSelf);
    put(ram, args + 0, entry);
    put(ram, args + 4, 1);
    put(ram, args + 8, base + args + 52);
    put(ram, args + 12, base + args + 16);
    std::copy(variant.block->bytes, variant.block->bytes + variant.block->size, ram.begin() + code);

    sim::ArmEmulator cpu(variant.processor);
    if (!cpu.ok() || !cpu.mapHostMemory(base, ram_size, ram.data())) {
        std::fprintf(stderr, "%s: can't set up the emulator: %s\n", variant.name, cpu.error().c_str());
        return 1;
    }
    cpu.setCpsr(0xDF);
    cpu.setRegister(0, base + args);
    cpu.setRegister(1, base + head);
    cpu.setRegister(2, base + stack + kPage);
    auto start = std::chrono::steady_clock::now();
    sim::EmulationResult result = cpu.run(base + code, sim::instructionLimit(4'000'000'000ull));
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result.stop != sim::EmulationStop::kHalted || result.state.r[15] != entry) {
        std::fprintf(stderr, "%s: the second stage did not reach the kernel: %s\n", variant.name,
                     result.reason.c_str());
        return 1;
    }
    for (uint32_t b = 0; b < copied; b += 4 * 997) {
        if (cpu.readWord(kernel + b) != b) {
            std::fprintf(stderr, "%s: word at +0x%x not copied\n", variant.name, b);
            return 1;
        }
    }
    double words = copied / 4.0;
    std::printf("%s %.3f %.3f %.1f\n", variant.name, result.instructions / words, seconds,
                result.instructions / seconds / 1e6);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // The copy (at +2 MB) stays below the source pages in the upper half of
    // the 64 MB of RAM.
    uint32_t megabytes = argc > 1 ? static_cast<uint32_t>(std::atoi(argv[1])) : 12;
    if (megabytes == 0 || megabytes > 13) {
        std::fprintf(stderr, "usage: %s [MB, 1 to 13]\n", argv[0]);
        return 2;
    }
    const Variant variants[] = {
        {"sa11x0", sim::Processor::SA1110, &SecondStage_sa11x0_code, 0xC0000000},
        {"pxa2x0", sim::Processor::PXA270, &SecondStage_pxa2x0_code, 0xA0000000},
    };
    for (const Variant& variant : variants) {
        if (measure(variant, megabytes * 1024 * 1024) != 0)
            return 1;
    }
    return 0;
}
