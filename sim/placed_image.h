// What a kernel file puts where, read on the host independently of the
// loader, and the comparison of that with the memory the kernel is entered
// with: every segment's file bytes and zero fill, the symbol block after the
// last segment, and the file-system image after that, each placed as the
// second stage places it.
#pragma once

#include "sim/hand_off.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace sim {

struct PlacedRange {
    uint32_t address = 0; // physical, as the second stage puts it
    uint32_t size = 0;
    std::vector<uint8_t> bytes; // empty: `size` zero bytes
};

struct ExpectedPlacement {
    std::vector<PlacedRange> ranges;
    std::string error; // the kernel file could not be read as an ELF executable
};

// A host file's bytes, inflated when it is gzipped; false with `error` set when unreadable.
bool readHostFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes, std::string& error);

// The ranges `kernel` (an ELF file's bytes) and `image` (none when empty) fill.
ExpectedPlacement expectedPlacement(const std::vector<uint8_t>& kernel, const std::vector<uint8_t>& image,
                                    JumpRoutine variant);

// Reads physical memory as the kernel finds it; false where there is none.
using PhysicalReader = std::function<bool(uint32_t paddr, uint8_t* out, uint32_t size)>;

struct PlacementCheck {
    bool ok = false;
    std::string line; // "placed image verified: N ranges, M bytes" or the first mismatch
};

PlacementCheck verifyPlacement(const ExpectedPlacement& expected, const PhysicalReader& read);

} // namespace sim
