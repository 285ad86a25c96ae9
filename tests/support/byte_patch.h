// Little-endian stores into a file's bytes, for tests that damage or adjust
// real files (kernels, snapshots) at known offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline void put16(std::string& bytes, size_t at, uint32_t value) {
    bytes[at] = static_cast<char>(value);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

inline void put32(std::string& bytes, size_t at, uint32_t value) {
    put16(bytes, at, value & 0xFFFF);
    put16(bytes, at + 2, value >> 16);
}
